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
        AveragePairsRow(d, r0, r1, x, ow, 2);
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
        AveragePairsRow(d, r0, r1, x, ow, 4);
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
        AveragePairsRow(d, r0, r1, x, ow, 3);
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
        InterleavedHalveRow(d, r0, r1, x, ow, channels);
    }
}

[[maybe_unused]] static void InterleavedGeneral(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                               const uint8_t* src, int32_t srcStride, int32_t srcWidth, int32_t srcHeight,
                               int32_t channels)
{
    if (dstWidth < 1 || dstHeight < 1 || channels < 1) return;
    const uint32_t xStep = static_cast<uint32_t>(FastBilinearStepX(srcWidth, dstWidth));
    const uint32_t yStep = static_cast<uint32_t>(BilinearStep15(srcHeight, dstHeight));
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
        InterleavedGeneralRow(d, r0, r1, col, dstWidth - 1, xStep, channels);
    }
    InterleavedGeneralEdges(dst, dstStride, dstWidth, dstHeight, src, srcStride, xStep, yStep, channels);
}

// ---- General bilinear, SSE2 ------------------------------------------------------
//
// Without byte shuffles the samples are fetched as 16-bit words. Eight
// outputs at a time: for each output l the two samples (p[rx], p[rx+1]) of a
// row become a 16-bit pair in 32-bit lane l, so that madd with a weight pair
// gives the two-tap sum exactly as the reference adds it.

// Sample pairs of eight outputs from one row: lanes 0..3 in *lo, 4..7 in *hi.
static inline void SamplePairs(const uint8_t* row, const uint32_t* rx, __m128i* lo, __m128i* hi)
{
    uint16_t w[8];
    for (int l = 0; l < 8; ++l) memcpy(&w[l], row + rx[l], 2);
    const __m128i words = _mm_setr_epi16(static_cast<int16_t>(w[0]), static_cast<int16_t>(w[1]), static_cast<int16_t>(w[2]),
                           static_cast<int16_t>(w[3]), static_cast<int16_t>(w[4]), static_cast<int16_t>(w[5]),
                           static_cast<int16_t>(w[6]), static_cast<int16_t>(w[7]));
    *lo = _mm_unpacklo_epi8(words, _mm_setzero_si128());
    *hi = _mm_unpackhi_epi8(words, _mm_setzero_si128());
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

[[maybe_unused]] static void GeneralFastPairs(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,
                        int32_t srcStride, int32_t srcWidth, uint32_t xStep, uint32_t yStep)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    (void)srcWidth;
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
        {
            for (; col + 8 <= dstWidth - 1; col += 8) {
                __m128i xLo, xHi;
                uint32_t rx[8];
                Positions(32768u, xStep, col, 16, &xLo, &xHi, rx);
                __m128i p0lo, p0hi, p1lo, p1hi;
                SamplePairs(r0, rx, &p0lo, &p0hi);
                SamplePairs(r1, rx, &p1lo, &p1hi);
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
        GeneralBilinearFastRow(d, r0, r1, fy, col, dstWidth - 1, xStep);
    }
    GeneralBilinearEdges(dst, dstStride, dstWidth, dstHeight, src, srcStride, xStep, yStep, 32768u, 16);
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

[[maybe_unused]] static void GeneralAccuratePairs(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,
                            int32_t srcStride, int32_t srcWidth, uint32_t xStep, uint32_t yStep)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    (void)srcWidth;
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
        {
            for (; col + 8 <= dstWidth - 1; col += 8) {
                __m128i xLo, xHi;
                uint32_t rx[8];
                Positions(16384u, xStep, col, 15, &xLo, &xHi, rx);
                __m128i p0lo, p0hi, p1lo, p1hi;
                SamplePairs(r0, rx, &p0lo, &p0hi);
                SamplePairs(r1, rx, &p1lo, &p1hi);
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
        GeneralBilinearAccurateRow(d, r0, r1, fy, col, dstWidth - 1, xStep);
    }
    GeneralBilinearEdges(dst, dstStride, dstWidth, dstHeight, src, srcStride, xStep, yStep, 16384u, 15);
}

// Row r's vertical fraction is (start + r * yStep) mod 2^15, which repeats
// every 2^(15 - trailing zeros of yStep's fraction) rows.
[[maybe_unused]] static int32_t FractionPeriod(uint32_t yStep)
{
    const uint32_t f = yStep & 0x7fff;
    return f ? static_cast<int32_t>(32768u >> __builtin_ctz(f)) : 1;
}

#if RL_TIER_HAS_SSSE3
// (wy0 * A + wy1 * B + 2^29) >> 30 in 32-bit lanes (see AccurateCombine).
static inline VecI AccurateCombineV(VecI a, VecI b, VecI wy)
{
#if RL_TIER_HAS_SSE41
    // a, b < 2^23: b << 16 puts b's low word in the high word, and the high
    // word of b << 1 is b >> 15, so a blend builds each pair in one step.
    const VecI lowPairs = VAnd(VBlendOddWords(a, VSlliI32(b, 16)), VSet1I32(0x7fff7fff));
    const VecI highPairs = VBlendOddWords(VSrliI32(a, 15), VSlliI32(b, 1));
#else
    const VecI low15 = VSet1I32(0x7fff);
    const VecI lowPairs = VOr(VAnd(a, low15), VSlliI32(VAnd(b, low15), 16));
    const VecI highPairs = VOr(VSrliI32(a, 15), VSlliI32(VSrliI32(b, 15), 16));
#endif
    const VecI lo = VAddI32(VMaddI16(lowPairs, wy), VSet1I32(1 << 29));
    const VecI hi = VMaddI16(highPairs, wy);
    return VSrliI32(VAddI32(hi, VSrliI32(lo, 15)), 15);
}

// ---- General bilinear through windows of eight outputs ---------------------------
//
// Every row of a general pass samples the same columns, so offsets and
// horizontal weights are worked out once per call (2048 outputs at a time,
// on the stack). Eight consecutive outputs whose samples fit one 16-byte
// window share one load, shuffled into (p[rx], p[rx + 1]) 16-bit pairs for
// madd: outputs 0..3 and 4..7 in two 128-bit halves. On AVX2 the window is
// broadcast to both lanes, so no lane insert is needed, and four windows make
// 32 outputs, packed together and put back in order with one dword permute.
// Steeper ratios, whose eight outputs span more than 15 bytes, give each half
// its own window of four outputs ("wide" windows).
enum { kHalves = 32 / kVecBytes };  // vector registers per window
struct Window8 {
    uint8_t ctrl[32];  // (p[rx], p[rx + 1]) 16-bit pairs of outputs 0..3 | 4..7
    uint16_t u[16];    // (max - fx, fx) pairs, same order
};
enum { kWindowChunk = 2048 / 8 };

struct WindowBase {
    int32_t lane[2];  // window start of outputs 0..3 and 4..7 (equal unless wide)
};

// Windows for the outputs from `first` on, stopping before `end` and at the
// first window whose samples do not fit 16 bytes inside the row (each half
// its own 16 bytes when wide). Positions wrap like the reference's 32-bit
// arithmetic.
static int32_t BuildWindows(Window8* win, WindowBase* base, int32_t maxWindows, int32_t first, int32_t end,
                            uint32_t start, uint32_t step, int fracBits, int32_t srcWidth, bool wide)
{
    const uint32_t fracMask = (1u << fracBits) - 1;
    const int span = wide ? 4 : 8;
    int32_t n = 0;
    for (; n < maxWindows; ++n) {
        const int32_t col0 = first + 8 * n;
        if (col0 + 8 > end) break;
        bool fits = true;
        for (int h = 0; h < 8 / span; ++h) {
            const uint32_t x0 = start + static_cast<uint32_t>(col0 + span * h) * step;
            const int32_t lo = static_cast<int32_t>(x0 >> fracBits);
            const int32_t hi =
                static_cast<int32_t>((x0 + static_cast<uint32_t>(span - 1) * step) >> fracBits);
            // Near the row's end the window ends at the row's last byte instead.
            const int32_t b = lo + 16 <= srcWidth ? lo : srcWidth - 16;
            fits = fits && b >= 0 && hi >= lo && hi + 1 - b <= 15;
            for (int k = 0; k < span / 4; ++k) base[n].lane[h + k] = b;
        }
        if (!fits) break;
        for (int q = 0; q < 8; ++q) {
            const uint32_t x = start + static_cast<uint32_t>(col0 + q) * step;
            const uint8_t rel =
                static_cast<uint8_t>((x >> fracBits) - static_cast<uint32_t>(base[n].lane[q >> 2]));
            uint8_t* c = win[n].ctrl + 4 * q;
            c[0] = rel;
            c[1] = 0x80;
            c[2] = static_cast<uint8_t>(rel + 1);
            c[3] = 0x80;
            win[n].u[2 * q] = static_cast<uint16_t>(fracMask - (x & fracMask));
            win[n].u[2 * q + 1] = static_cast<uint16_t>(x & fracMask);
        }
    }
    return n;
}

// The sample pairs of window w in one row, one register per half.
template <bool kWide>
static inline __attribute__((always_inline)) void WindowPairs(const uint8_t* row, const Window8& w,
                                                              const WindowBase& b, VecI* pairs)
{
#if RL_TIER_HAS_AVX2
    const __m256i v = kWide ? _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(row + b.lane[0])),
                                                      Load128(row + b.lane[1]), 1)
                            : _mm256_broadcastsi128_si256(Load128(row + b.lane[0]));
    pairs[0] = VShuffleU8(v, VLoad(w.ctrl));
#else
    const __m128i v0 = Load128(row + b.lane[0]);
    pairs[0] = VShuffleU8(v0, Load128(w.ctrl));
    pairs[1] = VShuffleU8(kWide ? Load128(row + b.lane[1]) : v0, Load128(w.ctrl + 16));
#endif
}

// Packs the dword results of windows 0 .. n - 1 (`op(i, s)` fills s[kHalves]
// with window i's eight) and stores them in output order.
template <class WindowOp>
static inline __attribute__((always_inline)) void StoreWindows(uint8_t* d, int32_t n, WindowOp op)
{
    int32_t i = 0;
#if RL_TIER_HAS_AVX2
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; i + 4 <= n; i += 4) {
        VecI s0, s1, s2, s3;
        op(i, &s0);
        op(i + 1, &s1);
        op(i + 2, &s2);
        op(i + 3, &s3);
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(s0, s1), _mm256_packs_epi32(s2, s3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8 * i), _mm256_permutevar8x32_epi32(bytes, order));
    }
    for (; i < n; ++i) {
        VecI s;
        op(i, &s);
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(s, s), _mm256_setzero_si256());
        // Outputs 0..3 are dword 0, outputs 4..7 dword 4.
        Store64(d + 8 * i, _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(bytes, order)));
    }
#else
    for (; i + 2 <= n; i += 2) {
        VecI s0[2], s1[2];
        op(i, s0);
        op(i + 1, s1);
        Store128(d + 8 * i, _mm_packus_epi16(_mm_packs_epi32(s0[0], s0[1]), _mm_packs_epi32(s1[0], s1[1])));
    }
    for (; i < n; ++i) {
        VecI s[2];
        op(i, s);
        const __m128i words = _mm_packs_epi32(s[0], s[1]);
        Store64(d + 8 * i, _mm_packus_epi16(words, words));
    }
#endif
}

// Every window of one output row: `combine(i, h, pa, pc)` gives half h of
// window i from its upper and (when kLower) lower sample pairs.
template <bool kLower, bool kWide, class Combine>
static inline __attribute__((always_inline)) void RowWindows(uint8_t* d, const uint8_t* r0, const uint8_t* r1,
                                                             const Window8* win, const WindowBase* base,
                                                             int32_t n, Combine combine)
{
    StoreWindows(d, n, [&](int32_t i, VecI* s) {
        VecI pa[kHalves], pc[kHalves] = {};
        WindowPairs<kWide>(r0, win[i], base[i], pa);
        if (kLower) WindowPairs<kWide>(r1, win[i], base[i], pc);
        for (int h = 0; h < kHalves; ++h) s[h] = combine(i, h, pa[h], pc[h]);
    });
}

template <bool kLower, bool kWide>
static inline __attribute__((always_inline)) void FastWindows(uint8_t* d, const uint8_t* r0,
                                                              const uint8_t* r1, const Window8* win,
                                                              const WindowBase* base, int32_t n, uint32_t wy0,
                                                              uint32_t wy1)
{
    const VecI vy0 = VSet1I16(static_cast<int16_t>(wy0)), vy1 = VSet1I16(static_cast<int16_t>(wy1));
    const VecI half = VSet1I32(16384);
    RowWindows<kLower, kWide>(d, r0, r1, win, base, n, [&](int32_t i, int h, VecI pa, VecI pc) {
        const VecI u = VLoad(win[i].u + 8 * h);
        VecI sum = VMaddI16(pa, VMulhiU16(u, vy0));
        if (kLower) sum = VAddI32(sum, VMaddI16(pc, VMulhiU16(u, vy1)));
        return VSrliI32(VAddI32(sum, half), 15);
    });
}

template <bool kLower, bool kWide>
static inline __attribute__((always_inline)) void AccurateWindows(uint8_t* d, const uint8_t* r0,
                                                                  const uint8_t* r1, const Window8* win,
                                                                  const WindowBase* base, int32_t n,
                                                                  uint32_t wy0, uint32_t wy1)
{
    const VecI wy = VSet1I32(static_cast<int32_t>(wy0 | (wy1 << 16)));
    RowWindows<kLower, kWide>(d, r0, r1, win, base, n, [&](int32_t i, int h, VecI pa, VecI pc) {
        const VecI u = VLoad(win[i].u + 8 * h);
        return AccurateCombineV(VMaddI16(pa, u), kLower ? VMaddI16(pc, u) : VZero(), wy);
    });
}

// The accurate kernel's weights of one vertical phase. Its 30-bit products
// wy * wx split at bit 15, so that X = 2^15 * sum(high x p) + sum(low x p)
// with every madd in 32 bits, and (X + 2^29) >> 30 = (H + ((L + 2^29) >> 15))
// >> 15 exactly.
struct PhaseWindow {
    uint16_t high[2][16];  // [source row]
    uint16_t low[2][16];
};

static void BuildPhaseWindows(PhaseWindow* pw, const Window8* win, int32_t n, uint32_t fy)
{
    const VecI vy[2] = {VSet1I16(static_cast<int16_t>(32767 - fy)), VSet1I16(static_cast<int16_t>(fy))};
    const VecI low15 = VSet1I16(0x7fff);
    for (int32_t i = 0; i < n; ++i)
        for (int h = 0; h < kHalves; ++h) {
            const VecI u = VLoad(win[i].u + 8 * h);
            for (int j = 0; j < 2; ++j) {
                const VecI lo = VMulloI16(u, vy[j]), hi = VMulhiU16(u, vy[j]);
                VStore(pw[i].high[j] + 8 * h, VOr(VAddI16(hi, hi), VSrliI16(lo, 15)));
                VStore(pw[i].low[j] + 8 * h, VAnd(lo, low15));
            }
        }
}

template <bool kLower, bool kWide>
static inline __attribute__((always_inline)) void AccuratePhaseWindows(uint8_t* d, const uint8_t* r0,
                                                                       const uint8_t* r1, const Window8* win,
                                                                       const WindowBase* base,
                                                                       const PhaseWindow* pw, int32_t n)
{
    const VecI round = VSet1I32(1 << 29);
    RowWindows<kLower, kWide>(d, r0, r1, win, base, n, [&](int32_t i, int h, VecI pa, VecI pc) {
        VecI hs = VMaddI16(pa, VLoad(pw[i].high[0] + 8 * h));
        VecI ls = VMaddI16(pa, VLoad(pw[i].low[0] + 8 * h));
        if (kLower) {
            hs = VAddI32(hs, VMaddI16(pc, VLoad(pw[i].high[1] + 8 * h)));
            ls = VAddI32(ls, VMaddI16(pc, VLoad(pw[i].low[1] + 8 * h)));
        }
        return VSrliI32(VAddI32(hs, VSrliI32(VAddI32(ls, round), 15)), 15);
    });
}

// Both general kernels: the window table of a chunk of the row, then
// every row through it, finished by the reference row code past the last
// window. A zero vertical fraction leaves the lower row out (its terms are 0).
//
// When the vertical fraction repeats with a short period (every 2 rows for
// 540 to 360, every 32 for 540 to 384), the accurate kernel's split weights
// are worked out once per phase and the rows of that phase run together.
// The fast kernel keeps row order: its weight multiplies cost less than
// giving up the sequential reads of a large plane (measured).
enum { kMaxOrderedPeriod = 64 };

// The windows of one output row; `pw` is the phase's weights or null.
template <bool kWide>
static inline __attribute__((always_inline)) void WindowRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1,
                                                            const Window8* win, const WindowBase* base,
                                                            const PhaseWindow* pw, int32_t n, uint32_t fy,
                                                            bool accurate)
{
    if (pw) {
        if (fy)
            AccuratePhaseWindows<true, kWide>(d, r0, r1, win, base, pw, n);
        else
            AccuratePhaseWindows<false, kWide>(d, r0, r1, win, base, pw, n);
    } else if (accurate) {
        if (fy)
            AccurateWindows<true, kWide>(d, r0, r1, win, base, n, 32767 - fy, fy);
        else
            AccurateWindows<false, kWide>(d, r0, r1, win, base, n, 32767, 0);
    } else {
        if (fy)
            FastWindows<true, kWide>(d, r0, r1, win, base, n, 32767 - fy, fy);
        else
            FastWindows<false, kWide>(d, r0, r1, win, base, n, 32767, 0);
    }
}

static inline __attribute__((always_inline)) void GeneralWindows(uint8_t* dst, int32_t dstStride,
                                                                 int32_t dstWidth, int32_t dstHeight,
                                                                 const uint8_t* src, int32_t srcStride,
                                                                 int32_t srcWidth, uint32_t xStep,
                                                                 uint32_t yStep, bool accurate)
{
    enum { kPhaseChunk = 1024 / 8 };
    Window8 win[kWindowChunk + 1];
    WindowBase base[kWindowChunk + 1];
    PhaseWindow phase[kPhaseChunk + 1];
    const uint32_t xStart = accurate ? 16384u : 32768u;
    const int fracBits = accurate ? 15 : 16;
    const int32_t rows = dstHeight - 1;
    const int32_t period = FractionPeriod(yStep);
    const bool byPhase = accurate && period <= kMaxOrderedPeriod;
    const int32_t phases = byPhase ? (period < rows ? period : rows) : 1;
    const int32_t rowStep = byPhase ? period : 1;
    const int32_t chunk = byPhase ? static_cast<int32_t>(kPhaseChunk) : static_cast<int32_t>(kWindowChunk);
    // The ratio is the same along the row: the first window tells whether
    // eight outputs fit one window.
    const bool wide =
        BuildWindows(win, base, 1, 0, dstWidth - 1, xStart, xStep, fracBits, srcWidth, false) == 0;
    for (int32_t first = 0; first < dstWidth - 1;) {
        const int32_t n =
            BuildWindows(win, base, chunk, first, dstWidth - 1, xStart, xStep, fracBits, srcWidth, wide);
        int32_t vecEnd = first + 8 * n;
        const int32_t end = n == chunk ? vecEnd : dstWidth - 1;
        // The last few outputs of the row: one more window ending at the last
        // output, overlapping outputs already written with the same values.
        int32_t tail = 0;
        if (vecEnd < end && end >= 8 && vecEnd + 8 > end)
            tail = BuildWindows(win + n, base + n, 1, end - 8, end, xStart, xStep, fracBits, srcWidth, wide);
        if (tail) vecEnd = end;
        for (int32_t ph = 0; ph < phases; ++ph) {
            if (byPhase)
                BuildPhaseWindows(phase, win, n + tail,
                                  (16384u + static_cast<uint32_t>(ph) * yStep) & 0x7fff);
            for (int32_t row = ph; row < rows; row += rowStep) {
                const uint32_t y = 16384u + static_cast<uint32_t>(row) * yStep;
                const uint32_t fy = y & 0x7fff;
                const uint8_t* r0 = src + static_cast<ptrdiff_t>(y >> 15) * srcStride;
                const uint8_t* r1 = r0 + srcStride;
                uint8_t* d = dst + static_cast<ptrdiff_t>(row) * dstStride;
                for (int part = 0; part < 1 + tail; ++part) {
                    // Part 0: the windows of the chunk; part 1: the tail window.
                    uint8_t* const dp = part ? d + end - 8 : d + first;
                    const PhaseWindow* const pw = byPhase ? phase + part * n : nullptr;
                    const int32_t cnt = part ? 1 : n;
                    if (wide)
                        WindowRow<true>(dp, r0, r1, win + part * n, base + part * n, pw, cnt, fy, accurate);
                    else
                        WindowRow<false>(dp, r0, r1, win + part * n, base + part * n, pw, cnt, fy, accurate);
                }
                if (accurate)
                    GeneralBilinearAccurateRow(d, r0, r1, fy, vecEnd, end, xStep);
                else
                    GeneralBilinearFastRow(d, r0, r1, fy, vecEnd, end, xStep);
            }
        }
        first = end;
    }
    GeneralBilinearEdges(dst, dstStride, dstWidth, dstHeight, src, srcStride, xStep, yStep, xStart, fracBits);
}

[[maybe_unused]] static void GeneralFastWindows(uint8_t* dst, int32_t dstStride, int32_t dstWidth,
                                                int32_t dstHeight, const uint8_t* src, int32_t srcStride,
                                                int32_t srcWidth, uint32_t xStep, uint32_t yStep)
{
    GeneralWindows(dst, dstStride, dstWidth, dstHeight, src, srcStride, srcWidth, xStep, yStep, false);
}

[[maybe_unused]] static void GeneralAccurateWindows(uint8_t* dst, int32_t dstStride, int32_t dstWidth,
                                                    int32_t dstHeight, const uint8_t* src, int32_t srcStride,
                                                    int32_t srcWidth, uint32_t xStep, uint32_t yStep)
{
    GeneralWindows(dst, dstStride, dstWidth, dstHeight, src, srcStride, srcWidth, xStep, yStep, true);
}
#endif  // RL_TIER_HAS_SSSE3

// ---- Interleaved pairs (NV12 / NV21 chroma) -------------------------------------
//
// Every row reads the same pair offsets with the same horizontal weights, so
// they are worked out once per chunk of pairs. Four output pairs per step:
// each reads its four source bytes (this pair and the next) per row as one
// 32-bit load, and words are reordered to (u, u', v, v') so that one madd per
// component gives the horizontal sum. (Reordering the bytes in general
// registers instead, or merging the loads there, measured slower.)
// When the vertical fraction repeats within kMaxOrderedPeriod rows, the rows
// run phase by phase with the 30-bit weights wy * wx split at bit 15 (see the
// planar accurate kernel); otherwise AccurateCombine works per row.
enum { kNVChunkGroups = 128, kNVMaxOrderedPeriod = 64 };

struct NVGroup {
    uint32_t off[4];  // byte offset of every pair's source pair
    __m128i w[2];     // (32767 - fx, fx) per component: pairs 0-1, pairs 2-3
};

struct NVPhaseGroup {
    __m128i high[2][2];  // [source row][pairs 0-1, 2-3]
    __m128i low[2][2];
};

// Words (u, v, u', v') of two pairs to (u, u', v, v').
static inline __m128i SplitComponents(__m128i v)
{
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xd8), 0xd8);
}

static inline __m128i GatherPairs(const uint8_t* row, const uint32_t* off)
{
    const __m128i a0 = Load32(row + off[0]), a1 = Load32(row + off[1]);
    const __m128i a2 = Load32(row + off[2]), a3 = Load32(row + off[3]);
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(a0, a1), _mm_unpacklo_epi32(a2, a3));
}

// The samples of a group as madd operands: pairs 0-1 in v[0], pairs 2-3 in v[1].
static inline void GroupSamples(const uint8_t* row, const NVGroup& g, __m128i v[2])
{
    const __m128i bytes = GatherPairs(row, g.off);
    v[0] = SplitComponents(_mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
    v[1] = SplitComponents(_mm_unpackhi_epi8(bytes, _mm_setzero_si128()));
}

static int32_t BuildNVGroups(NVGroup* groups, int32_t maxGroups, int32_t first, int32_t end, uint32_t xStep)
{
    int32_t n = 0;
    for (; n < maxGroups && first + 4 * n + 4 <= end; ++n) {
        uint16_t w[2][8];
        for (int q = 0; q < 4; ++q) {
            const uint32_t x = static_cast<uint32_t>(first + 4 * n + q) * xStep;
            const uint16_t fx = static_cast<uint16_t>(x & 0x7fff);
            groups[n].off[q] = 2 * (x >> 15);
            uint16_t* p = w[q >> 1] + 4 * (q & 1);
            p[0] = p[2] = static_cast<uint16_t>(32767 - fx);
            p[1] = p[3] = fx;
        }
        groups[n].w[0] = Load128(w[0]);
        groups[n].w[1] = Load128(w[1]);
    }
    return n;
}

static void BuildNVPhase(NVPhaseGroup* pg, const NVGroup* groups, int32_t n, uint32_t fy)
{
    const __m128i vy[2] = {_mm_set1_epi16(static_cast<int16_t>(32767 - fy)),
                           _mm_set1_epi16(static_cast<int16_t>(fy))};
    const __m128i low15 = _mm_set1_epi16(0x7fff);
    for (int32_t i = 0; i < n; ++i)
        for (int j = 0; j < 2; ++j)
            for (int h = 0; h < 2; ++h) {
                const __m128i lo = _mm_mullo_epi16(groups[i].w[h], vy[j]);
                const __m128i hi = _mm_mulhi_epu16(groups[i].w[h], vy[j]);
                pg[i].high[j][h] = _mm_or_si128(_mm_add_epi16(hi, hi), _mm_srli_epi16(lo, 15));
                pg[i].low[j][h] = _mm_and_si128(lo, low15);
            }
}

template <bool kLower>
static inline __attribute__((always_inline)) void NVPhaseRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1,
                                                             const NVGroup* groups, const NVPhaseGroup* pg,
                                                             int32_t n)
{
    const __m128i round = _mm_set1_epi32(1 << 29);
    for (int32_t i = 0; i < n; ++i) {
        __m128i a[2], c[2] = {_mm_setzero_si128(), _mm_setzero_si128()}, out[2];
        GroupSamples(r0, groups[i], a);
        if (kLower) GroupSamples(r1, groups[i], c);
        for (int h = 0; h < 2; ++h) {
            __m128i hs = _mm_madd_epi16(a[h], pg[i].high[0][h]);
            __m128i ls = _mm_add_epi32(_mm_madd_epi16(a[h], pg[i].low[0][h]), round);
            if (kLower) {
                hs = _mm_add_epi32(hs, _mm_madd_epi16(c[h], pg[i].high[1][h]));
                ls = _mm_add_epi32(ls, _mm_madd_epi16(c[h], pg[i].low[1][h]));
            }
            out[h] = _mm_srli_epi32(_mm_add_epi32(hs, _mm_srli_epi32(ls, 15)), 15);
        }
        const __m128i packed = _mm_packs_epi32(out[0], out[1]);
        Store64(d + 8 * i, _mm_packus_epi16(packed, packed));
    }
}

template <bool kLower>
static inline __attribute__((always_inline)) void NVCombineRow(uint8_t* d, const uint8_t* r0,
                                                               const uint8_t* r1, const NVGroup* groups,
                                                               int32_t n, __m128i wy)
{
    for (int32_t i = 0; i < n; ++i) {
        __m128i a[2], c[2] = {_mm_setzero_si128(), _mm_setzero_si128()}, out[2];
        GroupSamples(r0, groups[i], a);
        if (kLower) GroupSamples(r1, groups[i], c);
        for (int h = 0; h < 2; ++h)
            out[h] = AccurateCombine(_mm_madd_epi16(a[h], groups[i].w[h]),
                                     kLower ? _mm_madd_epi16(c[h], groups[i].w[h]) : _mm_setzero_si128(), wy);
        const __m128i packed = _mm_packs_epi32(out[0], out[1]);
        Store64(d + 8 * i, _mm_packus_epi16(packed, packed));
    }
}

[[maybe_unused]] static void NVXYChromaAccurate(uint8_t* dst, int32_t dstStride, int32_t dstWidth,
                                                int32_t dstHeight, const uint8_t* src, int32_t srcStride,
                                                int32_t srcHeight, uint32_t xStep, uint32_t yStep)
{
    if (dstWidth < 1 || dstHeight < 1) return;
    const int32_t lastIndex = (dstWidth - 3) / 2 + 1;
    const int32_t pairs = dstWidth >= 3 ? lastIndex : 0;
    const uint32_t lastPair = 2 * ((static_cast<uint32_t>(lastIndex) * xStep) >> 15);
    // Rows, with the lower row of the last one clamped to the plane.
    auto rowsOf = [&](int32_t row, const uint8_t** r0, const uint8_t** r1) {
        const uint32_t y = static_cast<uint32_t>(row) * yStep;
        *r0 = src + static_cast<ptrdiff_t>(y >> 15) * srcStride;
        *r1 = (row < dstHeight - 1 || static_cast<int32_t>(y >> 15) < srcHeight - 1) ? *r0 + srcStride : *r0;
        return y & 0x7fff;
    };
    NVGroup groups[kNVChunkGroups];
    NVPhaseGroup phase[kNVChunkGroups];
    const int32_t period = FractionPeriod(yStep);
    const bool byPhase = period <= kNVMaxOrderedPeriod;
    const int32_t phases = byPhase ? (period < dstHeight ? period : dstHeight) : 1;
    const int32_t rowStep = byPhase ? period : 1;
    for (int32_t first = 0; first < pairs;) {
        const int32_t n = BuildNVGroups(groups, kNVChunkGroups, first, pairs, xStep);
        const int32_t end = n == kNVChunkGroups ? first + 4 * n : pairs;
        for (int32_t ph = 0; ph < phases; ++ph) {
            if (byPhase) BuildNVPhase(phase, groups, n, (static_cast<uint32_t>(ph) * yStep) & 0x7fff);
            for (int32_t row = ph; row < dstHeight; row += rowStep) {
                const uint8_t *r0, *r1;
                const uint32_t fy = rowsOf(row, &r0, &r1);
                uint8_t* d = dst + static_cast<ptrdiff_t>(row) * dstStride + 2 * first;
                if (byPhase) {
                    if (fy)
                        NVPhaseRow<true>(d, r0, r1, groups, phase, n);
                    else
                        NVPhaseRow<false>(d, r0, r1, groups, phase, n);
                } else {
                    const __m128i wy = _mm_set1_epi32(static_cast<int32_t>((32767 - fy) | (fy << 16)));
                    if (fy)
                        NVCombineRow<true>(d, r0, r1, groups, n, wy);
                    else
                        NVCombineRow<false>(d, r0, r1, groups, n, wy);
                }
                GeneralBilinearAccurateNVXYRow(dst + static_cast<ptrdiff_t>(row) * dstStride, r0, r1, fy,
                                               first + 4 * n, end, xStep);
            }
        }
        first = end;
    }
    for (int32_t row = 0; row < dstHeight; ++row) {
        const uint8_t *r0, *r1;
        rowsOf(row, &r0, &r1);
        uint8_t* d = dst + static_cast<ptrdiff_t>(row) * dstStride;
        if (dstWidth < 3) {
            const uint32_t off = row < dstHeight - 1 ? lastPair : 0;
            d[0] = r0[off];
            if (dstWidth > 1) d[1] = r0[off + 1];
            continue;
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
RL_DS_GENERAL_WRAP(GeneralBilinearFastDownsamplerWrap_sse2, GeneralFastPairs, FastBilinearStepX)
RL_DS_GENERAL_WRAP(GeneralBilinearAccurateDownsamplerWrap_sse2, GeneralAccuratePairs, BilinearStep15)
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
RL_DS_GENERAL_WRAP(GeneralBilinearFastDownsamplerWrap_ssse3, GeneralFastWindows, FastBilinearStepX)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_ssse3)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_ssse3)
// The SSE4.1 column.
RL_DS_DYADIC(RLDyadicBilinearOneThirdDownsampler_sse4, OneThirdRows)
RL_DS_DYADIC(RLDyadicBilinearQuarterDownsampler_sse4, QuarterRows)
RL_DS_GENERAL_WRAP(GeneralBilinearAccurateDownsamplerWrap_sse41, GeneralAccurateWindows, BilinearStep15)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_sse4)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_sse4)

#elif defined(RAVVEL_BUILD_TIER_AVX)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_avx)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_avx)

#elif defined(RAVVEL_BUILD_TIER_AVX2)
RL_DS_GENERAL_WRAP(GeneralBilinearFastDownsamplerWrap_avx2, GeneralFastWindows, FastBilinearStepX)
RL_DS_GENERAL_WRAP(GeneralBilinearAccurateDownsamplerWrap_avx2, GeneralAccurateWindows, BilinearStep15)
RL_DS_INTERLEAVED(InterleavedBilinearDownsampler_avx2)
RL_DS_INTERLEAVED_GENERAL(InterleavedGeneralBilinearFastDownsampler_avx2)
#endif

}  // namespace Ravvel
