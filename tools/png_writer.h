// PNG output of RGB24 pictures (through libpng when the build found it).
#ifndef RAVVEL_TOOLS_PNG_WRITER_H
#define RAVVEL_TOOLS_PNG_WRITER_H

#include <string>

#include "image.h"

namespace rvtool {

// False when this build has no PNG support (see PngAvailable()).
bool PngAvailable();

// Writes `img` as an 8-bit RGB PNG. Returns an empty string on success, else
// a one-line reason.
std::string WritePng(const std::string& path, const RgbImage& img);

}  // namespace rvtool

#endif
