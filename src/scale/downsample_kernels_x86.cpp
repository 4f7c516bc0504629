// Vector variants of the averaging and bilinear kernels, built once per tier.
// Each tier exports only the names its column of the kernel table selects;
// the SSE4.1 column is selected on RL_CPU_SSE41 alone, so its kernels are
// built with the SSSE3 tier's flags (every SSE4.1 processor has SSSE3) rather
// than with the SSE4 tier's SSE4.2 flags.
#include <string.h>

#include "scale/downsample_kernels.h"
#include "simd/tier.h"

namespace Ravvel {
namespace RL_TIER_NS {

static inline uint8_t Avg(uint32_t a, uint32_t b) { return static_cast<uint8_t>((a + b + 1) >> 1); }

// ---- Dyadic halving, quarter, one third --------------------------------------

[[maybe_unused]] static void HalveRows(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                       int32_t width, int32_t height)
{
    if (width < 2 || height < 2) return;
    const int32_t ow = width / 2, oh = height / 2;
    const __m128i lowBytes = _mm_set1_epi16(0x00ff);
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(2 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        int32_t x = 0;
        for (; x + 16 <= ow; x += 16) {
            __m128i h[2];
            for (int half = 0; half < 2; ++half) {
                const __m128i a = Load128(r0 + 2 * x + 16 * half), b = Load128(r1 + 2 * x + 16 * half);
                // Even bytes against odd bytes first, then the two rows: the reference order.
                const __m128i ha = _mm_and_si128(_mm_avg_epu8(a, _mm_srli_epi16(a, 8)), lowBytes);
                const __m128i hb = _mm_and_si128(_mm_avg_epu8(b, _mm_srli_epi16(b, 8)), lowBytes);
                h[half] = _mm_avg_epu16(ha, hb);
            }
            Store128(d + x, _mm_packus_epi16(h[0], h[1]));
        }
        for (; x < ow; ++x) d[x] = Avg(Avg(r0[2 * x], r0[2 * x + 1]), Avg(r1[2 * x], r1[2 * x + 1]));
    }
}

[[maybe_unused]] static void QuarterRows(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                         int32_t width, int32_t height)
{
    if (width < 4 || height < 4) return;
    const int32_t ow = width / 4, oh = height / 4;
    const __m128i lowByte = _mm_set1_epi32(0xff);
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(4 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        int32_t x = 0;
        for (; x + 16 <= ow; x += 16) {
            __m128i q[4];
            for (int k = 0; k < 4; ++k) {
                const __m128i a = Load128(r0 + 4 * x + 16 * k), b = Load128(r1 + 4 * x + 16 * k);
                const __m128i ha = _mm_and_si128(_mm_avg_epu8(a, _mm_srli_epi32(a, 8)), lowByte);
                const __m128i hb = _mm_and_si128(_mm_avg_epu8(b, _mm_srli_epi32(b, 8)), lowByte);
                q[k] = _mm_avg_epu16(ha, hb);
            }
            Store128(d + x, _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3])));
        }
        for (; x < ow; ++x) d[x] = Avg(Avg(r0[4 * x], r0[4 * x + 1]), Avg(r1[4 * x], r1[4 * x + 1]));
    }
}

#if RL_TIER_HAS_SSSE3
[[maybe_unused]] static void OneThirdRows(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, int32_t width,
                         int32_t height)
{
    if (height < 1 || width < 3) return;
    const int32_t ow = width / 3;
    // Columns 3x and 3x + 1 of four outputs, zero-extended to 16 bits.
    const __m128i evens = _mm_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i odds = _mm_setr_epi8(1, -1, 4, -1, 7, -1, 10, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(3 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        int32_t x = 0;
        for (; x + 8 <= ow && 3 * x + 28 <= width; x += 8) {
            __m128i h[2];
            const uint8_t* rows[2] = {r0, r1};
            for (int r = 0; r < 2; ++r) {
                const __m128i a = Load128(rows[r] + 3 * x), b = Load128(rows[r] + 3 * x + 12);
                const __m128i e = _mm_unpacklo_epi64(_mm_shuffle_epi8(a, evens), _mm_shuffle_epi8(b, evens));
                const __m128i o = _mm_unpacklo_epi64(_mm_shuffle_epi8(a, odds), _mm_shuffle_epi8(b, odds));
                h[r] = _mm_avg_epu16(e, o);
            }
            const __m128i v = _mm_avg_epu16(h[0], h[1]);
            Store64(d + x, _mm_packus_epi16(v, v));
        }
        for (; x < ow; ++x) d[x] = Avg(Avg(r0[3 * x], r0[3 * x + 1]), Avg(r1[3 * x], r1[3 * x + 1]));
    }
}
#endif

// ---- Packed pixels -------------------------------------------------------------

static inline __m128i AvgPixelPairs(__m128i a, __m128i b)
{
    // a holds pixels 0..3, b pixels 4..7 (4 bytes each): average 2k with 2k + 1.
    const __m128i even = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), 0x88));
    const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), 0xdd));
    return _mm_avg_epu8(odd, even);
}

[[maybe_unused]] static void InterleavedHalve(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, int32_t width,
                             int32_t height, int32_t channels)
{
    if (width < 2 || height < 2 || channels < 1) return;
    const int32_t ow = width / 2, oh = height / 2;
    for (int32_t y = 0; y < oh; ++y) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(2 * y) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        int32_t x = 0;
        if (channels == 4) {
            for (; x + 4 <= ow; x += 4) {
                const __m128i a = _mm_avg_epu8(Load128(r0 + 8 * x), Load128(r1 + 8 * x));
                const __m128i b = _mm_avg_epu8(Load128(r0 + 8 * x + 16), Load128(r1 + 8 * x + 16));
                Store128(d + 4 * x, AvgPixelPairs(a, b));
            }
        }
#if RL_TIER_HAS_SSSE3
        else if (channels == 3) {
            // Four outputs from 24 source bytes: pixel 2k against pixel 2k + 1.
            const __m128i first = _mm_setr_epi8(0, 1, 2, 6, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
            const __m128i second = _mm_setr_epi8(3, 4, 5, 9, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
            const __m128i firstHi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 0, 1, 2, 6, 7, 8, -1, -1, -1, -1);
            const __m128i secondHi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 3, 4, 5, 9, 10, 11, -1, -1, -1, -1);
            for (; x + 4 <= ow && 6 * x + 28 <= 3 * width; x += 4) {
                const __m128i a = _mm_avg_epu8(Load128(r0 + 6 * x), Load128(r1 + 6 * x));
                const __m128i b = _mm_avg_epu8(Load128(r0 + 6 * x + 12), Load128(r1 + 6 * x + 12));
                const __m128i f = _mm_or_si128(_mm_shuffle_epi8(a, first), _mm_shuffle_epi8(b, firstHi));
                const __m128i s = _mm_or_si128(_mm_shuffle_epi8(a, second), _mm_shuffle_epi8(b, secondHi));
                const __m128i v = _mm_avg_epu8(s, f);
                Store64(d + 3 * x, v);
                Store32(d + 3 * x + 8, _mm_srli_si128(v, 8));
            }
        }
#endif
        for (; x < ow; ++x)
            for (int32_t c = 0; c < channels; ++c) {
                const int32_t p = 2 * x * channels + c;
                d[x * channels + c] = Avg(Avg(r0[p + channels], r1[p + channels]), Avg(r1[p], r0[p]));
            }
    }
}

[[maybe_unused]] static void InterleavedGeneral(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                               const uint8_t* src, int32_t srcStride, int32_t srcWidth, int32_t srcHeight,
                               int32_t channels)
{
    if (dstWidth < 1 || dstHeight < 1 || channels < 1) return;
    const uint32_t xStep = static_cast<uint32_t>(FastBilinearStepX(srcWidth, dstWidth));
    const uint32_t yStep = static_cast<uint32_t>(BilinearStep15(srcHeight, dstHeight));
    const uint32_t lastCol = (xStep * static_cast<uint32_t>(dstWidth - 1) + 32768u) >> 16;
    const uint32_t ch = static_cast<uint32_t>(channels);
    for (int32_t row = 0; row < dstHeight - 1; ++row) {
        const uint32_t ry = (16384u + static_cast<uint32_t>(row) * yStep) >> 15;
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(ry) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(row) * dstStride;
        int32_t col = 0;
        if (channels == 4) {
            for (; col + 4 <= dstWidth - 1; col += 4) {
                __m128i pair[4];
                for (int k = 0; k < 4; ++k) {
                    const uint32_t rx = (32768u + static_cast<uint32_t>(col + k) * xStep) >> 16;
                    pair[k] = _mm_avg_epu8(Load64(r0 + 4 * rx), Load64(r1 + 4 * rx));
                }
                Store128(d + 4 * col, AvgPixelPairs(_mm_unpacklo_epi64(pair[0], pair[1]),
                                                    _mm_unpacklo_epi64(pair[2], pair[3])));
            }
        }
        for (; col < dstWidth - 1; ++col) {
            const uint32_t rx = (32768u + static_cast<uint32_t>(col) * xStep) >> 16;
            for (uint32_t c = 0; c < ch; ++c) {
                const uint32_t p = rx * ch + c;
                d[col * channels + static_cast<int32_t>(c)] = Avg(Avg(r0[p + ch], r1[p + ch]), Avg(r1[p], r0[p]));
            }
        }
        memcpy(d + (dstWidth - 1) * channels, r0 + lastCol * ch, ch);
    }
    const uint32_t lastRow = (yStep * static_cast<uint32_t>(dstHeight - 1) + 16384u) >> 15;
    const uint8_t* r = src + static_cast<ptrdiff_t>(lastRow) * srcStride;
    uint8_t* d = dst + static_cast<ptrdiff_t>(dstHeight - 1) * dstStride;
    for (int32_t col = 0; col < dstWidth; ++col) {
        const uint32_t rx = (32768u + static_cast<uint32_t>(col) * xStep) >> 16;
        memcpy(d + col * channels, r + rx * ch, ch);
    }
}

// ---- General bilinear ------------------------------------------------------------
//
// Eight outputs at a time. For each output l the two samples (p[rx], p[rx+1])
// of a row are placed as a 16-bit pair in 32-bit lane l, so that madd with a
// weight pair gives the two-tap sum exactly as the reference adds it.

// Sample pairs of eight outputs from one row: lanes 0..3 in *lo, 4..7 in *hi.
// `rel` holds rx - base of the eight outputs (32-bit).
static inline void SamplePairs(const uint8_t* row, int32_t base, __m128i relLo, __m128i relHi, __m128i* lo,
                               __m128i* hi, const uint32_t* rx)
{
#if RL_TIER_HAS_SSSE3
    (void)rx;
    // One 16-byte window and a shuffle: byte rel, zero, byte rel + 1, zero.
    const __m128i window = Load128(row + base);
    const __m128i fill = _mm_set1_epi32(static_cast<int32_t>(0x80018000u));
    *lo = _mm_shuffle_epi8(window, _mm_add_epi32(_mm_or_si128(relLo, _mm_slli_epi32(relLo, 16)), fill));
    *hi = _mm_shuffle_epi8(window, _mm_add_epi32(_mm_or_si128(relHi, _mm_slli_epi32(relHi, 16)), fill));
#else
    (void)base;
    (void)relLo;
    (void)relHi;
    uint16_t w[8];
    for (int l = 0; l < 8; ++l) memcpy(&w[l], row + rx[l], 2);
    const __m128i words = _mm_setr_epi16(static_cast<int16_t>(w[0]), static_cast<int16_t>(w[1]), static_cast<int16_t>(w[2]),
                           static_cast<int16_t>(w[3]), static_cast<int16_t>(w[4]), static_cast<int16_t>(w[5]),
                           static_cast<int16_t>(w[6]), static_cast<int16_t>(w[7]));
    *lo = _mm_unpacklo_epi8(words, _mm_setzero_si128());
    *hi = _mm_unpackhi_epi8(words, _mm_setzero_si128());
#endif
}

// Whether eight consecutive outputs stay within one 16-byte window
// (rx[7] + 1 - rx[0] <= 15) for a step with `fracBits` fraction bits.
static inline bool WindowFits(uint32_t step, int fracBits)
{
    return ((7ull * step + ((1ull << fracBits) - 1)) >> fracBits) <= 14;
}

// Positions x of outputs col .. col + 7, and their integer parts.
static inline void Positions(uint32_t start, uint32_t step, int32_t col, int fracBits, __m128i* xLo, __m128i* xHi,
                             uint32_t* rx)
{
    const uint32_t x0 = start + static_cast<uint32_t>(col) * step;
    for (int l = 0; l < 8; ++l) rx[l] = (x0 + static_cast<uint32_t>(l) * step) >> fracBits;
    const __m128i lanes = _mm_setr_epi32(0, static_cast<int32_t>(step), static_cast<int32_t>(2 * step),
                                         static_cast<int32_t>(3 * step));
    *xLo = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(x0)), lanes);
    *xHi = _mm_add_epi32(*xLo, _mm_set1_epi32(static_cast<int32_t>(4 * step)));
}

[[maybe_unused]] static void GeneralFast(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,
                        int32_t srcStride, int32_t srcWidth, uint32_t xStep, uint32_t yStep)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    const uint32_t lastCol = (xStep * static_cast<uint32_t>(dstWidth - 1) + 32768u) >> 16;
    const bool vector = WindowFits(xStep, 16);
    (void)srcWidth;  // bounds the 16-byte windows of the shuffle path
    const __m128i lowHalf = _mm_set1_epi32(0xffff);
    for (int32_t row = 0; row < dstHeight - 1; ++row) {
        const uint32_t y = 16384u + static_cast<uint32_t>(row) * yStep;
        const uint32_t ry = y >> 15, fy = y & 0x7fff;
        const uint32_t wy1 = fy, wy0 = 32767 - fy;
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(ry) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(row) * dstStride;
        const __m128i vy0 = _mm_set1_epi16(static_cast<int16_t>(wy0)), vy1 = _mm_set1_epi16(static_cast<int16_t>(wy1));
        int32_t col = 0;
        if (vector) {
            for (; col + 8 <= dstWidth - 1; col += 8) {
                __m128i xLo, xHi;
                uint32_t rx[8];
                Positions(32768u, xStep, col, 16, &xLo, &xHi, rx);
#if RL_TIER_HAS_SSSE3
                if (static_cast<int32_t>(rx[0]) + 16 > srcWidth) break;
#endif
                const __m128i base = _mm_set1_epi32(static_cast<int32_t>(rx[0]));
                const __m128i relLo = _mm_sub_epi32(_mm_srli_epi32(xLo, 16), base);
                const __m128i relHi = _mm_sub_epi32(_mm_srli_epi32(xHi, 16), base);
                __m128i p0lo, p0hi, p1lo, p1hi;
                SamplePairs(r0, static_cast<int32_t>(rx[0]), relLo, relHi, &p0lo, &p0hi, rx);
                SamplePairs(r1, static_cast<int32_t>(rx[0]), relLo, relHi, &p1lo, &p1hi, rx);
                // Weight pairs (65535 - fx, fx) in each 32-bit lane.
                const __m128i fLo = _mm_or_si128(_mm_slli_epi32(xLo, 16), _mm_andnot_si128(xLo, lowHalf));
                const __m128i fHi = _mm_or_si128(_mm_slli_epi32(xHi, 16), _mm_andnot_si128(xHi, lowHalf));
                __m128i sLo = _mm_add_epi32(_mm_madd_epi16(_mm_mulhi_epu16(fLo, vy0), p0lo),
                                            _mm_madd_epi16(_mm_mulhi_epu16(fLo, vy1), p1lo));
                __m128i sHi = _mm_add_epi32(_mm_madd_epi16(_mm_mulhi_epu16(fHi, vy0), p0hi),
                                            _mm_madd_epi16(_mm_mulhi_epu16(fHi, vy1), p1hi));
                const __m128i one = _mm_set1_epi32(1);
                sLo = _mm_srli_epi32(_mm_add_epi32(_mm_srli_epi32(sLo, 14), one), 1);
                sHi = _mm_srli_epi32(_mm_add_epi32(_mm_srli_epi32(sHi, 14), one), 1);
                const __m128i packed = _mm_packs_epi32(sLo, sHi);
                Store64(d + col, _mm_packus_epi16(packed, packed));
            }
        }
        for (; col < dstWidth - 1; ++col) {
            const uint32_t x = 32768u + static_cast<uint32_t>(col) * xStep;
            const uint32_t rx = x >> 16, fx = x & 0xffff;
            const uint32_t sum = ((fx * wy1) >> 16) * r1[rx + 1] + (((65535 - fx) * wy1) >> 16) * r1[rx] +
                                 ((fx * wy0) >> 16) * r0[rx + 1] + (((65535 - fx) * wy0) >> 16) * r0[rx];
            const uint32_t v = ((sum >> 14) + 1) >> 1;
            d[col] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
        d[dstWidth - 1] = r0[lastCol];
    }
    const uint32_t lastRow = (yStep * static_cast<uint32_t>(dstHeight - 1) + 16384u) >> 15;
    const uint8_t* r = src + static_cast<ptrdiff_t>(lastRow) * srcStride;
    uint8_t* d = dst + static_cast<ptrdiff_t>(dstHeight - 1) * dstStride;
    for (int32_t col = 0; col < dstWidth; ++col) d[col] = r[(32768u + static_cast<uint32_t>(col) * xStep) >> 16];
}

// (wy0 * A + wy1 * B + 2^29) >> 30 with A, B < 2^23, without 64-bit lanes:
// split A and B at bit 15 and recombine, which is exact because every
// partial sum stays below 2^31.
static inline __m128i AccurateCombine(__m128i a, __m128i b, __m128i wy)
{
    const __m128i low15 = _mm_set1_epi32(0x7fff);
    const __m128i lowPairs = _mm_or_si128(_mm_and_si128(a, low15), _mm_slli_epi32(_mm_and_si128(b, low15), 16));
    const __m128i highPairs = _mm_or_si128(_mm_srli_epi32(a, 15), _mm_slli_epi32(_mm_srli_epi32(b, 15), 16));
    const __m128i lo = _mm_add_epi32(_mm_madd_epi16(lowPairs, wy), _mm_set1_epi32(1 << 29));
    const __m128i hi = _mm_madd_epi16(highPairs, wy);
    return _mm_srli_epi32(_mm_add_epi32(hi, _mm_srli_epi32(lo, 15)), 15);
}

static inline uint8_t AccurateScalar(uint32_t wx0, uint32_t wx1, uint32_t wy0, uint32_t wy1, uint32_t p00,
                                     uint32_t p01, uint32_t p10, uint32_t p11)
{
    const uint32_t a = wx0 * p00 + wx1 * p01, b = wx0 * p10 + wx1 * p11;
    const uint32_t lo = wy0 * (a & 0x7fff) + wy1 * (b & 0x7fff) + (1u << 29);
    const uint32_t hi = wy0 * (a >> 15) + wy1 * (b >> 15);
    const uint32_t v = (hi + (lo >> 15)) >> 15;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}

[[maybe_unused]] static void GeneralAccurate(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,
                            int32_t srcStride, int32_t srcWidth, uint32_t xStep, uint32_t yStep)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    const uint32_t lastCol = (xStep * static_cast<uint32_t>(dstWidth - 1) + 16384u) >> 15;
    const bool vector = WindowFits(xStep, 15);
    (void)srcWidth;  // bounds the 16-byte windows of the shuffle path
    const __m128i low15 = _mm_set1_epi32(0x7fff), max15 = _mm_set1_epi32(32767);
    for (int32_t row = 0; row < dstHeight - 1; ++row) {
        const uint32_t y = 16384u + static_cast<uint32_t>(row) * yStep;
        const uint32_t ry = y >> 15, fy = y & 0x7fff;
        const uint32_t wy1 = fy, wy0 = 32767 - fy;
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(ry) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(row) * dstStride;
        const __m128i wy = _mm_set1_epi32(static_cast<int32_t>(wy0 | (wy1 << 16)));
        int32_t col = 0;
        if (vector) {
            for (; col + 8 <= dstWidth - 1; col += 8) {
                __m128i xLo, xHi;
                uint32_t rx[8];
                Positions(16384u, xStep, col, 15, &xLo, &xHi, rx);
#if RL_TIER_HAS_SSSE3
                if (static_cast<int32_t>(rx[0]) + 16 > srcWidth) break;
#endif
                const __m128i base = _mm_set1_epi32(static_cast<int32_t>(rx[0]));
                const __m128i relLo = _mm_sub_epi32(_mm_srli_epi32(xLo, 15), base);
                const __m128i relHi = _mm_sub_epi32(_mm_srli_epi32(xHi, 15), base);
                __m128i p0lo, p0hi, p1lo, p1hi;
                SamplePairs(r0, static_cast<int32_t>(rx[0]), relLo, relHi, &p0lo, &p0hi, rx);
                SamplePairs(r1, static_cast<int32_t>(rx[0]), relLo, relHi, &p1lo, &p1hi, rx);
                // Weight pairs (32767 - fx, fx).
                const __m128i fxLo = _mm_and_si128(xLo, low15), fxHi = _mm_and_si128(xHi, low15);
                const __m128i wLo = _mm_or_si128(_mm_sub_epi32(max15, fxLo), _mm_slli_epi32(fxLo, 16));
                const __m128i wHi = _mm_or_si128(_mm_sub_epi32(max15, fxHi), _mm_slli_epi32(fxHi, 16));
                const __m128i vLo = AccurateCombine(_mm_madd_epi16(p0lo, wLo), _mm_madd_epi16(p1lo, wLo), wy);
                const __m128i vHi = AccurateCombine(_mm_madd_epi16(p0hi, wHi), _mm_madd_epi16(p1hi, wHi), wy);
                const __m128i packed = _mm_packs_epi32(vLo, vHi);
                Store64(d + col, _mm_packus_epi16(packed, packed));
            }
        }
        for (; col < dstWidth - 1; ++col) {
            const uint32_t x = 16384u + static_cast<uint32_t>(col) * xStep;
            const uint32_t rx = x >> 15, wx1 = x & 0x7fff;
            d[col] = AccurateScalar(32767 - wx1, wx1, wy0, wy1, r0[rx], r0[rx + 1], r1[rx], r1[rx + 1]);
        }
        d[dstWidth - 1] = r0[lastCol];
    }
    const uint32_t lastRow = (yStep * static_cast<uint32_t>(dstHeight - 1) + 16384u) >> 15;
    const uint8_t* r = src + static_cast<ptrdiff_t>(lastRow) * srcStride;
    uint8_t* d = dst + static_cast<ptrdiff_t>(dstHeight - 1) * dstStride;
    for (int32_t col = 0; col < dstWidth; ++col) d[col] = r[(16384u + static_cast<uint32_t>(col) * xStep) >> 15];
}

[[maybe_unused]] static void NVXYChromaAccurate(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                                const uint8_t* src, int32_t srcStride, int32_t srcHeight,
                                                uint32_t xStep, uint32_t yStep)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    const int32_t lastIndex = (dstWidth - 3) / 2 + 1;
    const int32_t pairs = dstWidth >= 3 ? lastIndex : 0;
    const uint32_t lastPair = 2 * ((static_cast<uint32_t>(lastIndex) * xStep) >> 15);
    for (int32_t row = 0; row < dstHeight; ++row) {
        const uint32_t y = static_cast<uint32_t>(row) * yStep;
        const uint32_t ry = y >> 15, fy = y & 0x7fff;
        const uint32_t wy1 = fy, wy0 = 32767 - fy;
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(ry) * srcStride;
        const uint8_t* r1 = (row < dstHeight - 1 || static_cast<int32_t>(ry) < srcHeight - 1) ? r0 + srcStride : r0;
        uint8_t* d = dst + static_cast<ptrdiff_t>(row) * dstStride;
        if (dstWidth < 3) {
            const uint32_t off = row < dstHeight - 1 ? lastPair : 0;
            d[0] = r0[off];
            if (dstWidth > 1) d[1] = r0[off + 1];
            continue;
        }
        for (int32_t k = 0; k < pairs; ++k) {
            const uint32_t x = static_cast<uint32_t>(k) * xStep;
            const uint32_t off = 2 * (x >> 15), wx1 = x & 0x7fff, wx0 = 32767 - wx1;
            d[2 * k] = AccurateScalar(wx0, wx1, wy0, wy1, r0[off], r0[off + 2], r1[off], r1[off + 2]);
            d[2 * k + 1] = AccurateScalar(wx0, wx1, wy0, wy1, r0[off + 1], r0[off + 3], r1[off + 1], r1[off + 3]);
        }
        d[2 * pairs] = r0[lastPair];
        if (2 * pairs + 1 < dstWidth) d[2 * pairs + 1] = r0[lastPair + 1];
    }
}

}  // namespace RL_TIER_NS

// ---- Exported names per column ---------------------------------------------------

#define RL_DS_GENERAL_WRAP(name, body, stepX)                                                                    \
    void name(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,          \
              int32_t srcStride, int32_t srcWidth, int32_t srcHeight)                                            \
    {                                                                                                            \
        if (dstWidth < 1 || dstHeight < 1) return;                                                               \
        RL_TIER_NS::body(dst, dstStride, dstWidth, dstHeight, src, srcStride, srcWidth,                          \
                         static_cast<uint32_t>(stepX(srcWidth, dstWidth)),                                       \
                         static_cast<uint32_t>(BilinearStep15(srcHeight, dstHeight)));                           \
    }
#define RL_DS_DYADIC(name, body)                                                                                 \
    void name(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, int32_t width,             \
              int32_t height)                                                                                    \
    {                                                                                                            \
        RL_TIER_NS::body(dst, dstStride, src, srcStride, width, height);                                         \
    }
#define RL_DS_INTERLEAVED(name)                                                                                  \
    void name(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, int32_t width,             \
              int32_t height, int32_t channels)                                                                  \
    {                                                                                                            \
        RL_TIER_NS::InterleavedHalve(dst, dstStride, src, srcStride, width, height, channels);                   \
    }
#define RL_DS_INTERLEAVED_GENERAL(name)                                                                          \
    void name(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,          \
              int32_t srcStride, int32_t srcWidth, int32_t srcHeight, int32_t channels)                          \
    {                                                                                                            \
        RL_TIER_NS::InterleavedGeneral(dst, dstStride, dstWidth, dstHeight, src, srcStride, srcWidth, srcHeight, \
                                       channels);                                                                \
    }

#if defined(RAVVEL_BUILD_TIER_SSE2)
RL_DS_GENERAL_WRAP(GeneralBilinearFastDownsamplerWrap_sse2, GeneralFast, FastBilinearStepX)
RL_DS_GENERAL_WRAP(GeneralBilinearAccurateDownsamplerWrap_sse2, GeneralAccurate, BilinearStep15)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_sse2)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_sse2)

void GeneralBilinearAccurateNVXYChromaDownsamplerWrap_sse2(uint8_t* dst, int32_t dstStride, int32_t dstWidth,
                                                           int32_t dstHeight, const uint8_t* src, int32_t srcStride,
                                                           int32_t srcWidth, int32_t srcHeight)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    RL_TIER_NS::NVXYChromaAccurate(dst, dstStride, dstWidth, dstHeight, src, srcStride, srcHeight,
                                   static_cast<uint32_t>(TruncatedStep15(srcWidth, dstWidth)),
                                   static_cast<uint32_t>(TruncatedStep15(srcHeight, dstHeight)));
}

#elif defined(RAVVEL_BUILD_TIER_SSSE3)
RL_DS_DYADIC(RLDyadicBilinearDownsamplerWidthx32_ssse3, HalveRows)
RL_DS_DYADIC(RLDyadicBilinearDownsamplerWidthx16_ssse3, HalveRows)
RL_DS_DYADIC(RLDyadicBilinearOneThirdDownsampler_ssse3, OneThirdRows)
RL_DS_DYADIC(RLDyadicBilinearQuarterDownsampler_ssse3, QuarterRows)
RL_DS_GENERAL_WRAP(GeneralBilinearFastDownsamplerWrap_ssse3, GeneralFast, FastBilinearStepX)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_ssse3)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_ssse3)
// The SSE4.1 column.
RL_DS_DYADIC(RLDyadicBilinearOneThirdDownsampler_sse4, OneThirdRows)
RL_DS_DYADIC(RLDyadicBilinearQuarterDownsampler_sse4, QuarterRows)
RL_DS_GENERAL_WRAP(GeneralBilinearAccurateDownsamplerWrap_sse41, GeneralAccurate, BilinearStep15)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_sse4)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_sse4)

#elif defined(RAVVEL_BUILD_TIER_AVX)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_avx)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_avx)

#elif defined(RAVVEL_BUILD_TIER_AVX2)
RL_DS_GENERAL_WRAP(GeneralBilinearFastDownsamplerWrap_avx2, GeneralFast, FastBilinearStepX)
RL_DS_GENERAL_WRAP(GeneralBilinearAccurateDownsamplerWrap_avx2, GeneralAccurate, BilinearStep15)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_avx2)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_avx2)
#endif

}  // namespace Ravvel
