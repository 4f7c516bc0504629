// Multi-tap filters, built once per tier. Sums stay in 16-bit lanes: the taps
// of every filter we design keep |sum of tap x sample| well below 32768, and
// pairs of taps stay within the range that maddubs adds without saturating.
#include "scale/multitap.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

static inline uint8_t ClampTap(int32_t sum)
{
    const int32_t v = (sum + 32) >> 6;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

static inline int32_t ClampRow(int32_t r, int32_t h) { return r < 0 ? 0 : (r >= h ? h - 1 : r); }

static inline int32_t AbsI(int32_t v) { return v < 0 ? -v : v; }

#if RL_TIER_HAS_AVX2
static inline VecI VSraiI16(VecI a, int n) { return _mm256_srai_epi16(a, n); }
static inline VecI VUnpackLoU8(VecI a, VecI b) { return _mm256_unpacklo_epi8(a, b); }
static inline VecI VUnpackHiU8(VecI a, VecI b) { return _mm256_unpackhi_epi8(a, b); }
static inline VecI VPackUsI16(VecI a, VecI b) { return _mm256_packus_epi16(a, b); }
static inline VecI VSet1I32(int32_t x) { return _mm256_set1_epi32(x); }
static inline VecI VAndSi(VecI a, VecI b) { return _mm256_and_si256(a, b); }
#else
static inline VecI VSraiI16(VecI a, int n) { return _mm_srai_epi16(a, n); }
static inline VecI VUnpackLoU8(VecI a, VecI b) { return _mm_unpacklo_epi8(a, b); }
static inline VecI VUnpackHiU8(VecI a, VecI b) { return _mm_unpackhi_epi8(a, b); }
static inline VecI VPackUsI16(VecI a, VecI b) { return _mm_packus_epi16(a, b); }
static inline VecI VSet1I32(int32_t x) { return _mm_set1_epi32(x); }
static inline VecI VAndSi(VecI a, VecI b) { return _mm_and_si128(a, b); }
#endif

#if RL_TIER_HAS_SSSE3
#if RL_TIER_HAS_AVX2
static inline VecI VMaddUbs(VecI a, VecI b) { return _mm256_maddubs_epi16(a, b); }
#else
static inline VecI VMaddUbs(VecI a, VecI b) { return _mm_maddubs_epi16(a, b); }
#endif
// A tap pair (t0 on the first byte, t1 on the second) repeated in every 16-bit lane.
static inline VecI TapPair(int8_t t0, int8_t t1)
{
    return VSet1I16(static_cast<int16_t>(static_cast<uint8_t>(t0) | (static_cast<uint16_t>(static_cast<uint8_t>(t1)) << 8)));
}
// Sum over rows of tap x sample for kVecBytes columns of an even number of rows.
static inline void FilterRowsStore(uint8_t* d, const uint8_t* const* rows, const VecI* pairs, int nPairs, int32_t x)
{
    VecI lo = VZero(), hi = VZero();
    for (int k = 0; k < nPairs; ++k) {
        const VecI a = VLoad(rows[2 * k] + x), b = VLoad(rows[2 * k + 1] + x);
        lo = VAddI16(lo, VMaddUbs(VUnpackLoU8(a, b), pairs[k]));
        hi = VAddI16(hi, VMaddUbs(VUnpackHiU8(a, b), pairs[k]));
    }
    const VecI round = VSet1I16(32);
    lo = VSraiI16(VAddI16(lo, round), 6);
    hi = VSraiI16(VAddI16(hi, round), 6);
    // In-lane unpack followed by in-lane pack restores the column order.
    VStore(d + x, VPackUsI16(lo, hi));
}
#else
// kVecBytes / 2 columns, one tap per row in 16-bit lanes.
static inline void FilterRowsStoreHalf(uint8_t* d, const uint8_t* const* rows, const VecI* taps, int n, int32_t x)
{
    VecI sum = VSet1I16(32);
    for (int k = 0; k < n; ++k) sum = VAddI16(sum, VMulloI16(VWidenU8(rows[k] + x), taps[k]));
    VNarrowStoreU8(d + x, VSraiI16(sum, 6));
}
#endif

// Vertical filter of `n` rows (n even, at most 6) over `width` columns.
static void FilterRows(uint8_t* d, const uint8_t* const* rows, const int8_t* t, int n, int32_t width)
{
    int32_t x = 0;
#if RL_TIER_HAS_SSSE3
    VecI pairs[3];
    for (int k = 0; k < n / 2; ++k) pairs[k] = TapPair(t[2 * k], t[2 * k + 1]);
    for (; x + kVecBytes <= width; x += kVecBytes) FilterRowsStore(d, rows, pairs, n / 2, x);
#else
    VecI taps[6];
    for (int k = 0; k < n; ++k) taps[k] = VSet1I16(t[k]);
    for (; x + kVecBytes / 2 <= width; x += kVecBytes / 2) FilterRowsStoreHalf(d, rows, taps, n, x);
#endif
    for (; x < width; ++x) {
        int32_t sum = 0;
        for (int k = 0; k < n; ++k) sum += t[k] * rows[k][x];
        d[x] = ClampTap(sum);
    }
}

// Whether 16-bit sums (and maddubs pairs) are exact for these taps.
static bool TapsFit(const int8_t* t, int n)
{
    int32_t total = 0;
    for (int k = 0; k < n; ++k) total += AbsI(t[k]);
    for (int k = 0; k + 1 < n; k += 2)
        if (AbsI(t[k]) + AbsI(t[k + 1]) > 128) return false;
    return total <= 128;
}

}  // namespace RL_TIER_NS

void RL_TIERED(VeskFilterVert)(const uint8_t* src, int32_t srcStride, int32_t width, int32_t height, uint8_t* dst,
                               int32_t dstStride, const int8_t* taps, int32_t n)
{
    using namespace RL_TIER_NS;
    if (n != 6 || !TapsFit(taps, n)) {
        VeskFilterVert_c(src, srcStride, width, height, dst, dstStride, taps, n);
        return;
    }
    int8_t t[6];
    for (int k = 0; k < 6; ++k) t[k] = taps[5 - k];  // tap n-1-k weighs row k
    const uint8_t* rows[6];
    for (int32_t y = 0; y < height / 2; ++y) {
        for (int k = 0; k < 6; ++k)
            rows[k] = src + static_cast<ptrdiff_t>(ClampRow(2 * y - 2 + k, height)) * srcStride;
        FilterRows(dst + static_cast<ptrdiff_t>(y) * dstStride, rows, t, 6, width);
    }
}

void RL_TIERED(VeskFilterHor)(const uint8_t* src, int32_t srcStride, int32_t width, int32_t rows, uint8_t* dst,
                              int32_t dstStride, const int8_t* taps, int32_t n)
{
    using namespace RL_TIER_NS;
    if (n != 6 || !TapsFit(taps, n)) {
        VeskFilterHor_c(src, srcStride, width, rows, dst, dstStride, taps, n);
        return;
    }
    const int32_t outW = width / 2;
    // kVecBytes / 2 outputs per step, reading 2 * that + 4 bytes from 2x - 2.
    const int32_t lanes = kVecBytes / 2;
#if RL_TIER_HAS_SSSE3
    const VecI p0 = TapPair(taps[5], taps[4]), p1 = TapPair(taps[3], taps[2]), p2 = TapPair(taps[1], taps[0]);
#else
    const VecI c[6] = {VSet1I16(taps[5]), VSet1I16(taps[4]), VSet1I16(taps[3]),
                       VSet1I16(taps[2]), VSet1I16(taps[1]), VSet1I16(taps[0])};
    const VecI lowBytes = VSet1I16(0x00ff);
#endif
    const VecI round = VSet1I16(32);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(y) * srcStride - 2;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        int32_t x = 0;
        for (; x + lanes <= outW; x += lanes) {
            const VecI a = VLoad(s + 2 * x), b = VLoad(s + 2 * x + 2), e = VLoad(s + 2 * x + 4);
#if RL_TIER_HAS_SSSE3
            VecI sum = VAddI16(VAddI16(VMaddUbs(a, p0), VMaddUbs(b, p1)), VMaddUbs(e, p2));
#else
            VecI sum = VMulloI16(VAndSi(a, lowBytes), c[0]);
            sum = VAddI16(sum, VMulloI16(VSrliI16(a, 8), c[1]));
            sum = VAddI16(sum, VMulloI16(VAndSi(b, lowBytes), c[2]));
            sum = VAddI16(sum, VMulloI16(VSrliI16(b, 8), c[3]));
            sum = VAddI16(sum, VMulloI16(VAndSi(e, lowBytes), c[4]));
            sum = VAddI16(sum, VMulloI16(VSrliI16(e, 8), c[5]));
#endif
            VNarrowStoreU8(d + x, VSraiI16(VAddI16(sum, round), 6));
        }
        for (; x < outW; ++x) {
            int32_t sum = 0;
            for (int k = 0; k < 6; ++k) sum += taps[5 - k] * s[2 * x + k];
            d[x] = ClampTap(sum);
        }
    }
}

namespace RL_TIER_NS {

static inline uint8_t Apply4(const int8_t* t, const uint8_t* s)
{
    return ClampTap(t[0] * s[0] + t[1] * s[1] + t[2] * s[2] + t[3] * s[3]);
}

// Generic positions for outputs [from, to) of one row.
static void FourTapGenericRow(uint8_t* d, const uint8_t* row, const int8_t* table, uint32_t xStart, uint32_t xStep,
                              int32_t from, int32_t to)
{
    int32_t j = from;
#if RL_TIER_HAS_AVX2
    const __m256i laneOffsets = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                   _mm256_set1_epi32(static_cast<int32_t>(xStep)));
    const __m256i phaseMask = _mm256_set1_epi32(63), ones = _mm256_set1_epi16(1), round = _mm256_set1_epi32(32);
    const __m256i pick = _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0);
    const int* tableWords = reinterpret_cast<const int*>(table);
    const int* rowWords = reinterpret_cast<const int*>(row - 1);
    for (; j + 8 <= to; j += 8) {
        const __m256i x = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(xStart + static_cast<uint32_t>(j) * xStep)),
                                           laneOffsets);
        const __m256i idx = _mm256_srli_epi32(x, 16);
        const __m256i phase = _mm256_and_si256(_mm256_srli_epi32(x, 10), phaseMask);
        const __m256i taps = _mm256_i32gather_epi32(tableWords, phase, 4);
        const __m256i samples = _mm256_i32gather_epi32(rowWords, idx, 1);
        __m256i sum = _mm256_madd_epi16(_mm256_maddubs_epi16(samples, taps), ones);
        sum = _mm256_srai_epi32(_mm256_add_epi32(sum, round), 6);
        const __m256i packed = _mm256_packus_epi16(_mm256_packs_epi32(sum, sum), _mm256_setzero_si256());
        Store64(d + j, _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(packed, pick)));
    }
#endif
    for (; j < to; ++j) {
        const uint32_t x = xStart + static_cast<uint32_t>(j) * xStep;
        d[j] = Apply4(table + ((x >> 10) & 63) * 4, row + (x >> 16) - 1);
    }
}

#if RL_TIER_HAS_SSSE3
// Fixed-pattern filter of one special set: every group of G outputs reads at
// most S + 3 <= 15 consecutive samples, so one load and a shuffle per four
// outputs build the four-sample windows.
struct SpecialLine {
    __m128i shuffle[3];
    __m128i taps[3];
    int blocks;
};

static void SetupSpecialLine(SpecialLine* l, const int8_t (*entries)[4], const int32_t* offsets, int32_t outputs)
{
    l->blocks = (outputs + 3) / 4;
    for (int b = 0; b < 3; ++b) {
        alignas(16) int8_t sh[16], tp[16];
        for (int q = 0; q < 4; ++q) {
            const int k = 4 * b + q;
            for (int m = 0; m < 4; ++m) {
                sh[4 * q + m] = k < outputs ? static_cast<int8_t>(offsets[k] + m) : static_cast<int8_t>(-128);
                tp[4 * q + m] = k < outputs ? entries[k][m] : 0;
            }
        }
        l->shuffle[b] = _mm_load_si128(reinterpret_cast<const __m128i*>(sh));
        l->taps[b] = _mm_load_si128(reinterpret_cast<const __m128i*>(tp));
    }
}

// Groups [0, groups): output g x G + k at source S x g + offset k.
static void SpecialGroups(uint8_t* d, const uint8_t* row, const SpecialLine& l, int32_t groups, int32_t outputs,
                          int32_t inputs)
{
    const __m128i ones = _mm_set1_epi16(1), round = _mm_set1_epi16(32);
    for (int32_t g = 0; g < groups; ++g) {
        const __m128i v = Load128(row + inputs * g - 1);
        __m128i s[3];
        for (int b = 0; b < 3; ++b)
            s[b] = b < l.blocks ? _mm_madd_epi16(_mm_maddubs_epi16(_mm_shuffle_epi8(v, l.shuffle[b]), l.taps[b]), ones)
                                : _mm_setzero_si128();
        __m128i lo = _mm_srai_epi16(_mm_add_epi16(_mm_packs_epi32(s[0], s[1]), round), 6);
        __m128i hi = _mm_srai_epi16(_mm_add_epi16(_mm_packs_epi32(s[2], s[2]), round), 6);
        // The 16-byte store runs past this group into outputs written later:
        // grouped outputs end at least 16 before the row's end.
        Store128(d + outputs * g, _mm_packus_epi16(lo, hi));
    }
}
#endif

}  // namespace RL_TIER_NS

void RL_TIERED(VeskGeneralFourTapFilter)(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                         const uint8_t* src, int32_t srcStride, int32_t srcWidth, int32_t srcHeight,
                                         const int8_t* table, uint8_t* tempRow, uint8_t tune)
{
    using namespace RL_TIER_NS;
    if (dstWidth < 1 || dstHeight < 1 || srcWidth < 1 || srcHeight < 1) return;
    const uint32_t xStep = static_cast<uint32_t>((static_cast<int64_t>(srcWidth) * 65536 + dstWidth / 2) / dstWidth);
    const uint32_t yStep =
        static_cast<uint32_t>((static_cast<int64_t>(srcHeight) * 65536 + dstHeight / 2) / dstHeight);
    const uint32_t xStart = (xStep >> 1) - 32768u, yStart = (yStep >> 1) - 32768u;
    const FourTapSpecialRatio hor = FindSpecialRatio(dstWidth, srcWidth);
    const FourTapSpecialRatio ver = hor.iSet ? FindSpecialRatio(dstHeight, srcHeight) : FourTapSpecialRatio{};
    const int8_t(*special)[kSpecialEntries][4] = tune ? pSpecialTune : pSpecial;
    int32_t groups = hor.iSet ? (dstWidth - 16) / hor.iOutputs : 0;
    if (groups < 0) groups = 0;
    int32_t offsets[kSpecialEntries] = {};
    for (int32_t k = 0; k < hor.iOutputs; ++k)
        offsets[k] = ((2 * k + 1) * hor.iInputs - hor.iOutputs) / (2 * hor.iOutputs);
#if RL_TIER_HAS_SSSE3
    SpecialLine line = {};
    if (hor.iSet) SetupSpecialLine(&line, special[hor.iSet], offsets, hor.iOutputs);
#endif

    uint8_t* row = tempRow + 16;
    for (int32_t r = 0; r < dstHeight; ++r) {
        const uint32_t y = yStart + static_cast<uint32_t>(r) * yStep;
        const int32_t i = static_cast<int32_t>(y >> 16);
        const int8_t* t = ver.iSet ? special[ver.iSet][r % ver.iPeriod] : table + ((y >> 10) & 63) * 4;
        const uint8_t* rows[4];
        for (int k = 0; k < 4; ++k) rows[k] = src + static_cast<ptrdiff_t>(ClampRow(i - 1 + k, srcHeight)) * srcStride;
        FilterRows(row, rows, t, 4, srcWidth);
        row[-1] = row[0];
        row[srcWidth] = row[srcWidth - 1];

        uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstStride;
        int32_t j = 0;
#if RL_TIER_HAS_SSSE3
        if (groups > 0) SpecialGroups(d, row, line, groups, hor.iOutputs, hor.iInputs);
        j = groups * hor.iOutputs;
#else
        for (int32_t g = 0; g < groups; ++g)
            for (int32_t k = 0; k < hor.iOutputs; ++k, ++j)
                d[j] = Apply4(special[hor.iSet][k], row + hor.iInputs * g + offsets[k] - 1);
#endif
        FourTapGenericRow(d, row, table, xStart, xStep, j, dstWidth);
    }
}

}  // namespace Ravvel
