#include <cstring>

#include "effects/edge_kernels.h"

namespace Ravvel {

void SobelMagnitudeRow_c(const uint8_t* a, const uint8_t* m, const uint8_t* b, uint8_t* mag, uint8_t* flags,
                         int32_t x0, int32_t x1)
{
    for (int32_t x = x0; x < x1; ++x) {
        const int gx = (a[x + 1] + 2 * m[x + 1] + b[x + 1]) - (a[x - 1] + 2 * m[x - 1] + b[x - 1]);
        const int gy = (b[x - 1] + 2 * b[x] + b[x + 1]) - (a[x - 1] + 2 * a[x] + a[x + 1]);
        const int ax = gx < 0 ? -gx : gx, ay = gy < 0 ? -gy : gy;
        const int big = ax > ay ? ax : ay, small = ax > ay ? ay : ax;
        const int v = (big + (small >> 2)) >> 2;
        mag[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
        if (flags) flags[x] = ax > ay ? 1 : 0;
    }
}

void SobelSuppressRow_c(const uint8_t* up, const uint8_t* mid, const uint8_t* down, const uint8_t* flags,
                        uint8_t* out, int32_t x0, int32_t x1)
{
    for (int32_t x = x0; x < x1; ++x) {
        const uint8_t v = mid[x];
        const bool keep = flags[x] ? (v > mid[x - 1] && v > mid[x + 1]) : (v > up[x] && v > down[x]);
        out[x] = keep ? v : 0;
    }
}

void SobelLumaFilter8_c(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height, int32_t srcStride,
                        int32_t dstStride, uint8_t* work)
{
    const int32_t lastRow = SobelLastInterior(height), lastCol = SobelLastInterior(width);
    if (lastRow == 0 || lastCol == 0) return;
    auto srcRow = [&](int32_t r) { return src + static_cast<ptrdiff_t>(r) * srcStride; };
    auto dstRow = [&](int32_t r) { return dst + static_cast<ptrdiff_t>(r) * dstStride; };
    if (work == nullptr) {
        for (int32_t r = 1; r <= lastRow; ++r)
            SobelMagnitudeRow_c(srcRow(r - 1), srcRow(r), srcRow(r + 1), dstRow(r), nullptr, 1, lastCol + 1);
        return;
    }
    // Each row's magnitudes go to a ring of three rows in the work buffer;
    // the row above is thinned as soon as its lower neighbours exist.
    auto magRow = [&](int32_t r) { return work + static_cast<ptrdiff_t>(r % 3) * width; };
    auto flagRow = [&](int32_t r) { return work + static_cast<ptrdiff_t>(3 + r % 3) * width; };
    std::memset(magRow(0), 0, static_cast<size_t>(lastCol) + 1);
    for (int32_t r = 1; r <= lastRow; ++r) {
        magRow(r)[0] = 0;
        SobelMagnitudeRow_c(srcRow(r - 1), srcRow(r), srcRow(r + 1), magRow(r), flagRow(r), 1, lastCol + 1);
        if (r < 2) continue;
        uint8_t* out = dstRow(r - 1);
        SobelSuppressRow_c(magRow(r - 2), magRow(r - 1), magRow(r), flagRow(r - 1), out, 1, lastCol);
        out[lastCol] = magRow(r - 1)[lastCol];
    }
    std::memcpy(dstRow(lastRow) + 1, magRow(lastRow) + 1, static_cast<size_t>(lastCol));
}

}  // namespace Ravvel
