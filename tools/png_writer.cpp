#include "png_writer.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#ifdef RAVVEL_TOOL_HAVE_PNG
#include <png.h>
#endif

namespace rvtool {

#ifdef RAVVEL_TOOL_HAVE_PNG

bool PngAvailable()
{
    return true;
}

std::string WritePng(const std::string& path, const RgbImage& img)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return path + ": " + std::strerror(errno);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(f);
        return path + ": out of memory";
    }
    // libpng reports errors by longjmp; nothing with a destructor lives between here and the calls.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return path + ": PNG encoding failed";
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(img.width), static_cast<png_uint_32>(img.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Level 6 is close to 9 in size for these pictures and several times faster.
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    for (int y = 0; y < img.height; ++y) png_write_row(png, const_cast<png_bytep>(img.Row(y)));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) return path + ": " + std::strerror(errno);
    return std::string();
}

#else

bool PngAvailable()
{
    return false;
}

std::string WritePng(const std::string& path, const RgbImage&)
{
    return path + ": this ravvel was built without libpng, no PNG output";
}

#endif

}  // namespace rvtool
