// Reference averaging and bilinear kernels, the portable "SSE" column kernels
// and the kernel-table filler.
#include <cmath>
#include <cstring>

#include "scale/downsample_kernels.h"

namespace Ravvel {

namespace {

inline uint8_t Avg(uint32_t a, uint32_t b) { return static_cast<uint8_t>((a + b + 1) >> 1); }

}  // namespace

void AveragePairsRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, int32_t from, int32_t to, int32_t step)
{
    for (int32_t x = from; x < to; ++x)
        d[x] = Avg(Avg(r0[step * x], r0[step * x + 1]), Avg(r1[step * x], r1[step * x + 1]));
}

void InterleavedHalveRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, int32_t from, int32_t to,
                         int32_t channels)
{
    for (int32_t x = from; x < to; ++x)
        for (int32_t c = 0; c < channels; ++c) {
            const int32_t p = 2 * x * channels + c;
            d[x * channels + c] = Avg(Avg(r0[p + channels], r1[p + channels]), Avg(r1[p], r0[p]));
        }
}

int32_t FastBilinearStepX(int32_t srcWidth, int32_t dstWidth)
{
    const float ratio = static_cast<float>(srcWidth) / static_cast<float>(dstWidth);
    return static_cast<int32_t>(roundf(ratio * 65536.0f));
}

int32_t BilinearStep15(int32_t srcSize, int32_t dstSize)
{
    const float ratio = static_cast<float>(srcSize) / static_cast<float>(dstSize);
    return static_cast<int32_t>(roundf(ratio * 32768.0f));
}

int32_t TruncatedStep15(int32_t srcSize, int32_t dstSize)
{
    const float ratio = static_cast<float>(srcSize) / static_cast<float>(dstSize);
    return static_cast<int32_t>(ratio * 32768.0f);
}

void DyadicBilinearDownsampler_c(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                 int32_t width, int32_t height)
{
    if (width < 2 || height < 2) return;
    const int32_t ow = width / 2, oh = height / 2;
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(2 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        AveragePairsRow(d, r0, r1, 0, ow, 2);
    }
}

void BilinearNVXYChromaDownsampler_c(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                     int32_t width, int32_t height)
{
    if (width < 2 || height < 2) return;
    const int32_t ow = width / 2, oh = height / 2;
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(2 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        for (int32_t i = 0; i < ow; i += 2) {
            const int32_t j = 2 * i;
            d[i] = Avg(Avg(r0[j], r0[j + 2]), Avg(r1[j], r1[j + 2]));
            d[i + 1] = Avg(Avg(r0[j + 1], r0[j + 3]), Avg(r1[j + 1], r1[j + 3]));
        }
    }
}

void InterleavedBilinearDownsampler_c(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                      int32_t width, int32_t height, int32_t channels)
{
    if (width < 2 || height < 2 || channels < 1) return;
    const int32_t ow = width / 2, oh = height / 2;
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(2 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        InterleavedHalveRow(d, r0, r1, 0, ow, channels);
    }
}

void DyadicBilinearQuarterDownsampler_c(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                        int32_t width, int32_t height)
{
    if (width < 4 || height < 4) return;
    const int32_t ow = width / 4, oh = height / 4;
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(4 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        AveragePairsRow(d, r0, r1, 0, ow, 4);
    }
}

void DyadicBilinearOneThirdDownsampler_c(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                         int32_t width, int32_t height)
{
    if (height < 1 || width < 3) return;
    const int32_t ow = width / 3;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(3 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        AveragePairsRow(d, r0, r1, 0, ow, 3);
    }
}

void GeneralBilinearFastRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, uint32_t fy, int32_t from, int32_t to,
                            uint32_t xStep)
{
    const uint32_t wy1 = fy, wy0 = 32767 - fy;
    for (int32_t col = from; col < to; ++col) {
        const uint32_t x = 32768u + static_cast<uint32_t>(col) * xStep;
        const uint32_t rx = x >> 16, fx = x & 0xffff;
        const uint32_t sum = ((fx * wy1) >> 16) * r1[rx + 1] + (((65535 - fx) * wy1) >> 16) * r1[rx] +
                             ((fx * wy0) >> 16) * r0[rx + 1] + (((65535 - fx) * wy0) >> 16) * r0[rx];
        const uint32_t v = ((sum >> 14) + 1) >> 1;
        d[col] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
}

void GeneralBilinearAccurateRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, uint32_t fy, int32_t from,
                                int32_t to, uint32_t xStep)
{
    const uint64_t wy1 = fy, wy0 = 32767 - fy;
    for (int32_t col = from; col < to; ++col) {
        const uint32_t x = 16384u + static_cast<uint32_t>(col) * xStep;
        const uint32_t rx = x >> 15;
        const uint64_t wx1 = x & 0x7fff, wx0 = 32767 - wx1;
        const uint64_t sum = wy0 * wx0 * r0[rx] + wy0 * wx1 * r0[rx + 1] + wy1 * wx0 * r1[rx] +
                             wy1 * wx1 * r1[rx + 1] + (1ull << 29);
        const uint64_t v = sum >> 30;
        d[col] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
}

void GeneralBilinearEdges(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,
                          int32_t srcStride, uint32_t xStep, uint32_t yStep, uint32_t xStart, int xShift)
{
    const uint32_t lastCol = (xStep * static_cast<uint32_t>(dstWidth - 1) + xStart) >> xShift;
    for (int32_t row = 0; row < dstHeight - 1; ++row) {
        const uint32_t ry = (16384u + static_cast<uint32_t>(row) * yStep) >> 15;
        dst[static_cast<ptrdiff_t>(row) * dstStride + dstWidth - 1] = src[static_cast<ptrdiff_t>(ry) * srcStride + lastCol];
    }
    const uint32_t lastRow = (yStep * static_cast<uint32_t>(dstHeight - 1) + 16384u) >> 15;
    const uint8_t* r = src + static_cast<ptrdiff_t>(lastRow) * srcStride;
    uint8_t* d = dst + static_cast<ptrdiff_t>(dstHeight - 1) * dstStride;
    for (int32_t col = 0; col < dstWidth; ++col) d[col] = r[(xStart + static_cast<uint32_t>(col) * xStep) >> xShift];
}

void VeskGeneralBilinearFastDownsampler_c(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                          const uint8_t* src, int32_t srcStride, int32_t srcWidth, int32_t srcHeight)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    const uint32_t xStep = static_cast<uint32_t>(FastBilinearStepX(srcWidth, dstWidth));
    const uint32_t yStep = static_cast<uint32_t>(BilinearStep15(srcHeight, dstHeight));
    for (int32_t row = 0; row < dstHeight - 1; ++row) {
        const uint32_t y = 16384u + static_cast<uint32_t>(row) * yStep;
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(y >> 15) * srcStride;
        GeneralBilinearFastRow(dst + static_cast<ptrdiff_t>(row) * dstStride, r0, r0 + srcStride, y & 0x7fff, 0,
                               dstWidth - 1, xStep);
    }
    GeneralBilinearEdges(dst, dstStride, dstWidth, dstHeight, src, srcStride, xStep, yStep, 32768u, 16);
}

void VeskGeneralBilinearAccurateDownsampler_c(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                              const uint8_t* src, int32_t srcStride, int32_t srcWidth,
                                              int32_t srcHeight)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    const uint32_t xStep = static_cast<uint32_t>(BilinearStep15(srcWidth, dstWidth));
    const uint32_t yStep = static_cast<uint32_t>(BilinearStep15(srcHeight, dstHeight));
    for (int32_t row = 0; row < dstHeight - 1; ++row) {
        const uint32_t y = 16384u + static_cast<uint32_t>(row) * yStep;
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(y >> 15) * srcStride;
        GeneralBilinearAccurateRow(dst + static_cast<ptrdiff_t>(row) * dstStride, r0, r0 + srcStride, y & 0x7fff, 0,
                                   dstWidth - 1, xStep);
    }
    GeneralBilinearEdges(dst, dstStride, dstWidth, dstHeight, src, srcStride, xStep, yStep, 16384u, 15);
}

void GeneralBilinearAccurateNVXYRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, uint32_t fy, int32_t from,
                                    int32_t to, uint32_t xStep)
{
    const uint64_t wy1 = fy, wy0 = 32767 - fy;
    for (int32_t k = from; k < to; ++k) {
        const uint32_t x = static_cast<uint32_t>(k) * xStep;
        const uint32_t off = 2 * (x >> 15);
        const uint64_t wx1 = x & 0x7fff, wx0 = 32767 - wx1;
        for (int c = 0; c < 2; ++c) {
            const uint64_t sum = wy0 * wx0 * r0[off + c] + wy0 * wx1 * r0[off + 2 + c] + wy1 * wx0 * r1[off + c] +
                                 wy1 * wx1 * r1[off + 2 + c] + (1ull << 29);
            const uint64_t v = sum >> 30;
            d[2 * k + c] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
}

void GeneralBilinearAccurateNVXYChromaDownsampler_c(uint8_t* dst, int32_t dstStride, int32_t dstWidth,
                                                    int32_t dstHeight, const uint8_t* src, int32_t srcStride,
                                                    int32_t srcWidth, int32_t srcHeight)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    const uint32_t xStep = static_cast<uint32_t>(TruncatedStep15(srcWidth, dstWidth));
    const uint32_t yStep = static_cast<uint32_t>(TruncatedStep15(srcHeight, dstHeight));
    // The last pair of every row is copied from this byte offset.
    const int32_t lastIndex = (dstWidth - 3) / 2 + 1;  // C division: 1 for w = 2, 0 for w = 1
    const int32_t pairs = dstWidth >= 3 ? lastIndex : 0;
    const uint32_t lastPair = 2 * ((static_cast<uint32_t>(lastIndex) * xStep) >> 15);
    for (int32_t row = 0; row < dstHeight; ++row) {
        const uint32_t y = static_cast<uint32_t>(row) * yStep;
        const uint32_t ry = y >> 15, fy = y & 0x7fff;
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(ry) * srcStride;
        // Only the last row can sit on the last source row; it then filters with itself.
        const uint8_t* r1 = (row < dstHeight - 1 || static_cast<int32_t>(ry) < srcHeight - 1) ? r0 + srcStride : r0;
        uint8_t* d = dst + static_cast<ptrdiff_t>(row) * dstStride;
        if (dstWidth < 3) {
            d[0] = r0[row < dstHeight - 1 ? lastPair : 0];
            if (dstWidth > 1) d[1] = r0[(row < dstHeight - 1 ? lastPair : 0) + 1];
            continue;
        }
        GeneralBilinearAccurateNVXYRow(d, r0, r1, fy, 0, pairs, xStep);
        d[2 * pairs] = r0[lastPair];
        if (2 * pairs + 1 < dstWidth) d[2 * pairs + 1] = r0[lastPair + 1];
    }
}

void InterleavedGeneralRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, int32_t from, int32_t to,
                           uint32_t xStep, int32_t channels)
{
    for (int32_t col = from; col < to; ++col) {
        const uint32_t rx = (32768u + static_cast<uint32_t>(col) * xStep) >> 16;
        for (int32_t c = 0; c < channels; ++c) {
            const uint32_t p = rx * static_cast<uint32_t>(channels) + static_cast<uint32_t>(c);
            d[col * channels + c] = Avg(Avg(r0[p + channels], r1[p + channels]), Avg(r1[p], r0[p]));
        }
    }
}

void InterleavedGeneralEdges(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                             const uint8_t* src, int32_t srcStride, uint32_t xStep, uint32_t yStep, int32_t channels)
{
    const size_t bytes = static_cast<size_t>(channels);
    const uint32_t lastCol = (xStep * static_cast<uint32_t>(dstWidth - 1) + 32768u) >> 16;
    for (int32_t row = 0; row < dstHeight - 1; ++row) {
        const uint32_t ry = (16384u + static_cast<uint32_t>(row) * yStep) >> 15;
        std::memcpy(dst + static_cast<ptrdiff_t>(row) * dstStride + (dstWidth - 1) * channels,
                    src + static_cast<ptrdiff_t>(ry) * srcStride + lastCol * static_cast<uint32_t>(channels), bytes);
    }
    const uint32_t lastRow = (yStep * static_cast<uint32_t>(dstHeight - 1) + 16384u) >> 15;
    const uint8_t* r = src + static_cast<ptrdiff_t>(lastRow) * srcStride;
    uint8_t* d = dst + static_cast<ptrdiff_t>(dstHeight - 1) * dstStride;
    for (int32_t col = 0; col < dstWidth; ++col) {
        const uint32_t rx = (32768u + static_cast<uint32_t>(col) * xStep) >> 16;
        std::memcpy(d + col * channels, r + rx * static_cast<uint32_t>(channels), bytes);
    }
}

void InterleavedGeneralBilinearFastDownsampler_c(uint8_t* dst, int32_t dstStride, int32_t dstWidth,
                                                 int32_t dstHeight, const uint8_t* src, int32_t srcStride,
                                                 int32_t srcWidth, int32_t srcHeight, int32_t channels)
{
    if (dstWidth < 1 || dstHeight < 1 || channels < 1) return;
    const uint32_t xStep = static_cast<uint32_t>(FastBilinearStepX(srcWidth, dstWidth));
    const uint32_t yStep = static_cast<uint32_t>(BilinearStep15(srcHeight, dstHeight));
    for (int32_t row = 0; row < dstHeight - 1; ++row) {
        const uint32_t ry = (16384u + static_cast<uint32_t>(row) * yStep) >> 15;
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(ry) * srcStride;
        InterleavedGeneralRow(dst + static_cast<ptrdiff_t>(row) * dstStride, r0, r0 + srcStride, 0, dstWidth - 1,
                              xStep, channels);
    }
    InterleavedGeneralEdges(dst, dstStride, dstWidth, dstHeight, src, srcStride, xStep, yStep, channels);
}

// ---- The SSE column --------------------------------------------------------
// Selected on RL_CPU_SSE alone, which does not promise SSE2, so these stay
// portable code: eight samples at a time in a 64-bit word (SWAR), exact
// rounded averages with the same order as the reference.

namespace {

// Byte-wise (a + b + 1) >> 1 on eight lanes at once.
inline uint64_t AvgBytes8(uint64_t a, uint64_t b) { return (a | b) - (((a ^ b) >> 1) & 0x7f7f7f7f7f7f7f7full); }

inline uint64_t Load8(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Sixteen source bytes of two rows to eight output bytes.
inline uint64_t HalveSixteen(const uint8_t* r0, const uint8_t* r1)
{
    const uint64_t lo = 0x00ff00ff00ff00ffull;
    uint64_t out = 0;
    for (int half = 0; half < 2; ++half) {
        const uint64_t a = Load8(r0 + 8 * half), b = Load8(r1 + 8 * half);
        // Even bytes against odd bytes, in 16-bit lanes whose high byte is zero.
        const uint64_t h0 = AvgBytes8(a & lo, (a >> 8) & lo);
        const uint64_t h1 = AvgBytes8(b & lo, (b >> 8) & lo);
        uint64_t v = AvgBytes8(h0, h1);  // four results in the low byte of each 16-bit lane
        v = (v | (v >> 8)) & 0x0000ffff0000ffffull;
        v = (v | (v >> 16)) & 0xffffffffull;
        out |= v << (32 * half);
    }
    return out;
}

void HalveSwar(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, int32_t width,
               int32_t height)
{
    if (width < 2 || height < 2) return;
    const int32_t ow = width / 2, oh = height / 2;
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(2 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        int32_t x = 0;
        for (; x + 8 <= ow; x += 8) {
            const uint64_t v = HalveSixteen(r0 + 2 * x, r1 + 2 * x);
            std::memcpy(d + x, &v, 8);
        }
        AveragePairsRow(d, r0, r1, x, ow, 2);
    }
}

}  // namespace

void RLDyadicBilinearDownsamplerWidthx32_sse(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                             int32_t width, int32_t height)
{
    HalveSwar(dst, dstStride, src, srcStride, width, height);
}

void RLDyadicBilinearDownsamplerWidthx16_sse(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                             int32_t width, int32_t height)
{
    HalveSwar(dst, dstStride, src, srcStride, width, height);
}

void RLDyadicBilinearDownsamplerWidthx8_sse(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                            int32_t width, int32_t height)
{
    HalveSwar(dst, dstStride, src, srcStride, width, height);
}

void RLDyadicBilinearQuarterDownsampler_sse(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                            int32_t width, int32_t height)
{
    if (width < 4 || height < 4) return;
    const int32_t ow = width / 4, oh = height / 4;
    const uint64_t lo = 0x000000ff000000ffull;
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(4 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        int32_t x = 0;
        // Two outputs per 8 source bytes; only bytes 0, 1 of each group of four count.
        for (; x + 2 <= ow; x += 2) {
            const uint64_t a = Load8(r0 + 4 * x), b = Load8(r1 + 4 * x);
            const uint64_t v = AvgBytes8(AvgBytes8(a & lo, (a >> 8) & lo), AvgBytes8(b & lo, (b >> 8) & lo));
            d[x] = static_cast<uint8_t>(v);
            d[x + 1] = static_cast<uint8_t>(v >> 32);
        }
        AveragePairsRow(d, r0, r1, x, ow, 4);
    }
}

// ---- Kernel table ----------------------------------------------------------

void FillDownsampleFuncs(DownsampleFuncs* f, uint32_t flags)
{
    f->pfHalveWidthx32 = DyadicBilinearDownsampler_c;
    f->pfHalveWidthx16 = DyadicBilinearDownsampler_c;
    f->pfHalveNVXYChroma = BilinearNVXYChromaDownsampler_c;
    f->pfOneThird = DyadicBilinearOneThirdDownsampler_c;
    f->pfQuarter = DyadicBilinearQuarterDownsampler_c;
    f->pfGeneralFast = VeskGeneralBilinearFastDownsampler_c;
    f->pfGeneralAccurate = VeskGeneralBilinearAccurateDownsampler_c;
    f->pfGeneralAccurateNVXYChroma = GeneralBilinearAccurateNVXYChromaDownsampler_c;
    f->pfInterleavedHalve = InterleavedBilinearDownsampler_c;
    f->pfInterleavedGeneral = InterleavedGeneralBilinearFastDownsampler_c;
    if (flags & RL_CPU_SSE) {
        f->pfHalveWidthx32 = RLDyadicBilinearDownsamplerWidthx32_sse;
        f->pfHalveWidthx16 = RLDyadicBilinearDownsamplerWidthx16_sse;
        f->pfQuarter = RLDyadicBilinearQuarterDownsampler_sse;
    }
    if (flags & RL_CPU_SSE2) {
        f->pfGeneralFast = GeneralBilinearFastDownsamplerWrap_sse2;
        f->pfGeneralAccurate = GeneralBilinearAccurateDownsamplerWrap_sse2;
        f->pfGeneralAccurateNVXYChroma = GeneralBilinearAccurateNVXYChromaDownsamplerWrap_sse2;
        f->pfInterleavedHalve = InterleavedBilinearDownsampler_sse2;
        f->pfInterleavedGeneral = InterleavedGeneralBilinearFastDownsampler_sse2;
    }
    if (flags & RL_CPU_SSSE3) {
        f->pfHalveWidthx32 = RLDyadicBilinearDownsamplerWidthx32_ssse3;
        f->pfHalveWidthx16 = RLDyadicBilinearDownsamplerWidthx16_ssse3;
        f->pfOneThird = RLDyadicBilinearOneThirdDownsampler_ssse3;
        f->pfQuarter = RLDyadicBilinearQuarterDownsampler_ssse3;
        f->pfGeneralFast = GeneralBilinearFastDownsamplerWrap_ssse3;
        f->pfInterleavedHalve = InterleavedBilinearDownsampler_ssse3;
        f->pfInterleavedGeneral = InterleavedGeneralBilinearFastDownsampler_ssse3;
    }
    if (flags & RL_CPU_SSE41) {
        f->pfOneThird = RLDyadicBilinearOneThirdDownsampler_sse4;
        f->pfQuarter = RLDyadicBilinearQuarterDownsampler_sse4;
        f->pfGeneralAccurate = GeneralBilinearAccurateDownsamplerWrap_sse41;
        f->pfInterleavedHalve = InterleavedBilinearDownsampler_sse4;
        f->pfInterleavedGeneral = InterleavedGeneralBilinearFastDownsampler_sse4;
    }
    if (flags & RL_CPU_AVX) {
        f->pfInterleavedHalve = InterleavedBilinearDownsampler_avx;
        f->pfInterleavedGeneral = InterleavedGeneralBilinearFastDownsampler_avx;
    }
    if (flags & RL_CPU_AVX2) {
        f->pfGeneralFast = GeneralBilinearFastDownsamplerWrap_avx2;
        f->pfGeneralAccurate = GeneralBilinearAccurateDownsamplerWrap_avx2;
        f->pfInterleavedHalve = InterleavedBilinearDownsampler_avx2;
        f->pfInterleavedGeneral = InterleavedGeneralBilinearFastDownsampler_avx2;
    }
}

}  // namespace Ravvel
