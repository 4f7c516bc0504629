// Rotation of a tightly packed plane by 90, 180 or 270 degrees clockwise.
#ifndef RAVVEL_IMAGEOPS_ROTATE_KERNELS_H
#define RAVVEL_IMAGEOPS_ROTATE_KERNELS_H

#include <cstdint>

#include "ravvel.h"

namespace Ravvel {

// src holds width x height pixels of bytesPerPixel bytes, row after row with
// no padding; dst receives the rotated plane, equally packed (height x width
// for 90 and 270 degrees). A zero width, height or pixel size does nothing.
// src and dst must not overlap. Returns RL_OK.
using RotateFunc = int32_t (*)(const uint8_t* src, uint32_t bytesPerPixel, uint32_t width, uint32_t height,
                               uint8_t* dst);

RAVVEL_API int32_t image_rotate_90D_c(const uint8_t* src, uint32_t bytesPerPixel, uint32_t width, uint32_t height,
                                      uint8_t* dst);
RAVVEL_API int32_t image_rotate_180D_c(const uint8_t* src, uint32_t bytesPerPixel, uint32_t width, uint32_t height,
                                       uint8_t* dst);
RAVVEL_API int32_t image_rotate_270D_c(const uint8_t* src, uint32_t bytesPerPixel, uint32_t width, uint32_t height,
                                       uint8_t* dst);

}  // namespace Ravvel

#endif
