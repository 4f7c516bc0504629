#include <cstring>

#include "scale/upsample_kernels.h"

namespace Ravvel {

void ScaleFilterCols_C(uint8_t* dst, const uint8_t* src, int dstWidth, int x, int dx)
{
    // Unsigned steps: the positions the callers pass never wrap, and a direct
    // caller that gets them wrong must not hit signed-overflow UB here.
    uint32_t pos = static_cast<uint32_t>(x);
    for (int j = 0; j < dstWidth; ++j) {
        const int32_t xj = static_cast<int32_t>(pos);
        const int i = xj >> 16;
        const int f = (xj >> 9) & 127;
        const int a = src[i];
        const int b = src[i + 1];
        dst[j] = static_cast<uint8_t>(a + (((b - a) * f + 64) >> 7));
        pos += static_cast<uint32_t>(dx);
    }
}

void ScaleFilterCols64_C(uint8_t* dst, const uint8_t* src, int dstWidth, int64_t x, int64_t dx)
{
    uint64_t pos = static_cast<uint64_t>(x);
    for (int j = 0; j < dstWidth; ++j) {
        const int64_t xj = static_cast<int64_t>(pos);
        const int64_t i = xj >> 16;
        const int f = static_cast<int>((xj >> 9) & 127);
        const int a = src[i];
        const int b = src[i + 1];
        dst[j] = static_cast<uint8_t>(a + (((b - a) * f + 64) >> 7));
        pos += static_cast<uint64_t>(dx);
    }
}

bool BuildColumnPlan(int32_t* starts, uint8_t* controls, int8_t* weights, int groups, int x, int dx,
                     int lastIndex)
{
    if (lastIndex < 15) return false;
    uint32_t pos = static_cast<uint32_t>(x);
    for (int g = 0; g < groups; ++g) {
        int32_t xs[8];
        for (int k = 0; k < 8; ++k, pos += static_cast<uint32_t>(dx)) xs[k] = static_cast<int32_t>(pos);
        // Positions are monotonic: the extremes are the first and last outputs.
        const int i0 = xs[0] >> 16, i7 = xs[7] >> 16;
        const int lo = i0 < i7 ? i0 : i7, hi = i0 < i7 ? i7 : i0;
        if (hi - lo > 14 || lo < 0 || hi + 1 > lastIndex) return false;
        // Near the row's end the window slides back so that it stays inside.
        const int start = lo + 15 <= lastIndex ? lo : lastIndex - 15;
        starts[g] = start;
        for (int k = 0; k < 8; ++k) {
            const int rel = (xs[k] >> 16) - start;
            const int f = (xs[k] >> 9) & 127;
            uint8_t* c = controls + 16 * g + 2 * k;
            int8_t* w = weights + 16 * g + 2 * k;
            c[0] = static_cast<uint8_t>(rel);
            c[1] = static_cast<uint8_t>(f ? rel + 1 : rel);
            w[0] = static_cast<int8_t>(f ? 128 - f : 64);
            w[1] = static_cast<int8_t>(f ? f : 64);
        }
    }
    return true;
}

void ScaleFilterColsPlanned_C(uint8_t* dst, const uint8_t* src, const int32_t* starts,
                              const uint8_t* controls, const int8_t* weights, int groups)
{
    for (int g = 0; g < groups; ++g) {
        const uint8_t* window = src + starts[g];
        for (int k = 0; k < 8; ++k) {
            const uint8_t* c = controls + 16 * g + 2 * k;
            const int8_t* w = weights + 16 * g + 2 * k;
            dst[8 * g + k] = static_cast<uint8_t>((window[c[0]] * w[0] + window[c[1]] * w[1] + 64) >> 7);
        }
    }
}

void InterpolateRow_C(uint8_t* dst, const uint8_t* src, ptrdiff_t lowerOffset, int width, int fraction)
{
    if (width <= 0) return;
    const uint8_t* lower = src + lowerOffset;
    if (fraction == 0) {
        std::memmove(dst, src, static_cast<size_t>(width));
        return;
    }
    if (fraction == 128) {
        for (int i = 0; i < width; ++i) dst[i] = static_cast<uint8_t>((src[i] + lower[i] + 1) >> 1);
        return;
    }
    const int f1 = 256 - fraction;
    for (int i = 0; i < width; ++i)
        dst[i] = static_cast<uint8_t>((src[i] * f1 + lower[i] * fraction + 128) >> 8);
}

}  // namespace Ravvel
