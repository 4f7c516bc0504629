#include <cstddef>

#include "imageops/alpha_blend_kernels.h"

namespace Ravvel {

namespace {

inline uint8_t Blend(uint32_t fg, uint32_t bg, uint32_t a)
{
    return static_cast<uint8_t>((bg * (256 - a) + fg * a) >> 8);
}

}  // namespace

void alpha_blend_1_c(const uint8_t* fg, const uint8_t* bg, const uint8_t* alpha, uint8_t* out, uint32_t width,
                     uint32_t height)
{
    const size_t n = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < n; ++i) out[i] = Blend(fg[i], bg[i], alpha[i]);
}

void alpha_blend_4_c(const uint8_t* fg, const uint8_t* bg, const uint8_t* alpha, uint8_t* out, uint32_t width,
                     uint32_t height)
{
    const size_t n = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t a = alpha[i];
        for (size_t k = 4 * i; k < 4 * i + 4; ++k) out[k] = Blend(fg[k], bg[k], a);
    }
}

void alpha_blend_1_s2_c(const uint8_t* fg, const uint8_t* bg, const uint8_t* alpha, uint8_t* out, uint32_t width,
                        uint32_t height)
{
    const size_t w = width;
    for (size_t r = 0; r < height; ++r) {
        const uint8_t* a = alpha + 2 * r * 2 * w;
        const size_t row = r * w;
        for (size_t c = 0; c < w; ++c) out[row + c] = Blend(fg[row + c], bg[row + c], a[2 * c]);
    }
}

}  // namespace Ravvel
