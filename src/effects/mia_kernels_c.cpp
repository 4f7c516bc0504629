#include <cstddef>
#include <cstring>

#include "effects/mia_kernels.h"

namespace Ravvel {

void MiaApplyTable_c(uint8_t* plane, int32_t stride, int32_t width, int32_t height, const uint8_t* table)
{
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* p = plane + static_cast<ptrdiff_t>(r) * stride;
        for (int32_t c = 0; c < width; ++c) p[c] = table[p[c]];
    }
}

void MiaApplyTableMasked_c(uint8_t* plane, int32_t stride, int32_t width, int32_t height, const uint8_t* table,
                           const uint8_t* mask, int32_t maskStride, int32_t maskStep)
{
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* p = plane + static_cast<ptrdiff_t>(r) * stride;
        const uint8_t* m = mask + static_cast<ptrdiff_t>(r) * maskStride;
        for (int32_t c = 0; c < width; ++c) {
            const uint32_t s = p[c], a = m[static_cast<ptrdiff_t>(c) * maskStep];
            p[c] = static_cast<uint8_t>((table[s] * a + (256 - a) * s) >> 8);
        }
    }
}

void MiaScaleMask_c(const uint8_t* mask, int32_t mw, int32_t mh, uint8_t* out, int32_t w, int32_t h)
{
    if (!mask || !out || mw < 1 || mh < 1 || w < 1 || h < 1) return;
    const int64_t scale = static_cast<int64_t>(w) * 512 / mw;
    int64_t previous = -1;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* o = out + static_cast<ptrdiff_t>(y) * w;
        int64_t sy = ((h >> 1) + static_cast<int64_t>(y) * mh) / h;
        if (sy > mh - 1) sy = mh - 1;
        if (sy < 0) sy = 0;
        if (sy == previous) {
            std::memcpy(o, o - w, static_cast<size_t>(w));
            continue;
        }
        previous = sy;
        const uint8_t* m = mask + static_cast<ptrdiff_t>(sy) * mw;
        int64_t filled = 0;
        int32_t b = 0;
        while (b < mw) {
            const uint8_t value = m[b];
            while (b < mw && m[b] == value) ++b;
            // A run ends halfway between its last mask column and the next one.
            int64_t end = b < mw ? ((2 * static_cast<int64_t>(b) - 1) * scale + 512) >> 10 : w;
            if (end > w) end = w;
            if (end > filled) {
                std::memset(o + filled, value, static_cast<size_t>(end - filled));
                filled = end;
            }
        }
    }
}

}  // namespace Ravvel
