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
    WeighRows(d, rows, t, n, x, width);
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
            VecI sum = VMulloI16(VAnd(a, lowBytes), c[0]);
            sum = VAddI16(sum, VMulloI16(VSrliI16(a, 8), c[1]));
            sum = VAddI16(sum, VMulloI16(VAnd(b, lowBytes), c[2]));
            sum = VAddI16(sum, VMulloI16(VSrliI16(b, 8), c[3]));
            sum = VAddI16(sum, VMulloI16(VAnd(e, lowBytes), c[4]));
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

// Generic positions for outputs [from, to) of one row: the columns the
// per-call tables do not cover. Plain code on purpose: these columns are few,
// and AVX2 gathers are mis-emulated by the processor emulator CI runs tiers on.
static void FourTapGenericRow(uint8_t* d, const uint8_t* row, const int8_t* table, uint32_t xStart, uint32_t xStep,
                              int32_t from, int32_t to)
{
    FourTapGenericOutputs(d, row, table, xStart, xStep, from, to);
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

// Sets of at most eight outputs per group take a cheaper form: one shuffle
// gathers the (i - 1, i) sample pairs of the group's outputs, another the
// (i + 1, i + 2) pairs, and two maddubs give each output's four-tap sum in a
// 16-bit lane. AVX2 handles two groups at once, one per 128-bit lane.
struct PairLine {
    __m128i shuffle[2];
    __m128i taps[2];
};

static void SetupPairLine(PairLine* l, const int8_t (*entries)[4], const int32_t* offsets, int32_t outputs)
{
    alignas(16) int8_t sh[2][16], tp[2][16];
    for (int q = 0; q < 8; ++q)
        for (int half = 0; half < 2; ++half)
            for (int m = 0; m < 2; ++m) {
                const bool used = q < outputs;
                sh[half][2 * q + m] = used ? static_cast<int8_t>(offsets[q] + 2 * half + m) : static_cast<int8_t>(-128);
                tp[half][2 * q + m] = used ? entries[q][2 * half + m] : 0;
            }
    for (int half = 0; half < 2; ++half) {
        l->shuffle[half] = _mm_load_si128(reinterpret_cast<const __m128i*>(sh[half]));
        l->taps[half] = _mm_load_si128(reinterpret_cast<const __m128i*>(tp[half]));
    }
}

// Each group stores eight bytes; the bytes past its own outputs are
// rewritten by the next group or by the generic outputs that follow.
static void PairGroups(uint8_t* d, const uint8_t* row, const PairLine& l, int32_t groups, int32_t outputs,
                       int32_t inputs)
{
    int32_t g = 0;
#if RL_TIER_HAS_AVX2
    const __m256i sh0 = _mm256_broadcastsi128_si256(l.shuffle[0]), sh1 = _mm256_broadcastsi128_si256(l.shuffle[1]);
    const __m256i tp0 = _mm256_broadcastsi128_si256(l.taps[0]), tp1 = _mm256_broadcastsi128_si256(l.taps[1]);
    const __m256i round = _mm256_set1_epi16(32);
    for (; g + 2 <= groups; g += 2) {
        const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(row + inputs * g - 1)),
                                                  Load128(row + inputs * (g + 1) - 1), 1);
        __m256i sum = _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_shuffle_epi8(v, sh0), tp0),
                                       _mm256_maddubs_epi16(_mm256_shuffle_epi8(v, sh1), tp1));
        sum = _mm256_srai_epi16(_mm256_add_epi16(sum, round), 6);
        const __m256i packed = _mm256_packus_epi16(sum, sum);
        Store64(d + outputs * g, _mm256_castsi256_si128(packed));
        Store64(d + outputs * (g + 1), _mm256_extracti128_si256(packed, 1));
    }
#endif
    const __m128i round128 = _mm_set1_epi16(32);
    for (; g < groups; ++g) {
        const __m128i v = Load128(row + inputs * g - 1);
        __m128i sum = _mm_add_epi16(_mm_maddubs_epi16(_mm_shuffle_epi8(v, l.shuffle[0]), l.taps[0]),
                                    _mm_maddubs_epi16(_mm_shuffle_epi8(v, l.shuffle[1]), l.taps[1]));
        sum = _mm_srai_epi16(_mm_add_epi16(sum, round128), 6);
        Store64(d + outputs * g, _mm_packus_epi16(sum, sum));
    }
}

// ---- Generic positions through a column table ----------------------------------
//
// Every row of a plane samples the same columns with the same phases, so the
// pair shuffles and tap pairs of each output are built once per call. A block
// covers eight outputs per 128-bit lane, read from one 16-byte window.

enum { kBlockOutputs = kVecBytes / 2, kLanes = kVecBytes / 16, kMaxTableOutputs = 2048 };

struct FourTapBlock {
    uint8_t shuffle[2][kVecBytes];
    int8_t taps[2][kVecBytes];
    int32_t base[kLanes];
};

// 16-bit lanes hold every four-tap sum exactly when no phase's taps add up
// (in magnitude) past 128; the designed table stays far below that.
static bool TableFits16(const int8_t* table)
{
    for (int p = 0; p < 64; ++p) {
        int32_t total = 0;
        for (int k = 0; k < 4; ++k) total += AbsI(table[4 * p + k]);
        if (total > 128) return false;
    }
    return true;
}

// Blocks for outputs [first, end), stopping at the first lane whose four-sample
// windows do not fit 16 bytes of the padded row.
static int32_t BuildFourTapColumns(FourTapBlock* blocks, int32_t maxBlocks, int32_t first, int32_t end,
                                   uint32_t xStart, uint32_t xStep, const int8_t* table, int32_t srcWidth)
{
    int32_t b = 0;
    for (; b < maxBlocks; ++b) {
        const int32_t col0 = first + b * kBlockOutputs;
        if (col0 + kBlockOutputs > end) break;
        FourTapBlock& fb = blocks[b];
        for (int h = 0; h < kLanes; ++h) {
            const uint32_t x0 = xStart + static_cast<uint32_t>(col0 + 8 * h) * xStep;
            const int32_t base = static_cast<int32_t>(x0 >> 16) - 1;
            const int32_t last = static_cast<int32_t>((x0 + 7 * xStep) >> 16) + 2;
            if (last < base + 3 || last - base > 15 || base > srcWidth) return b;
            fb.base[h] = base;
            for (int q = 0; q < 8; ++q) {
                const uint32_t x = x0 + static_cast<uint32_t>(q) * xStep;
                const int32_t rel = static_cast<int32_t>(x >> 16) - 1 - base;
                const int8_t* t = table + ((x >> 10) & 63) * 4;
                for (int half = 0; half < 2; ++half)
                    for (int m = 0; m < 2; ++m) {
                        fb.shuffle[half][16 * h + 2 * q + m] = static_cast<uint8_t>(rel + 2 * half + m);
                        fb.taps[half][16 * h + 2 * q + m] = t[2 * half + m];
                    }
            }
        }
    }
    return b;
}

#if RL_TIER_HAS_AVX2
static inline VecI VWindows(const uint8_t* row, const int32_t* base)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(row + base[0])), Load128(row + base[1]), 1);
}
#else
static inline VecI VWindows(const uint8_t* row, const int32_t* base) { return Load128(row + base[0]); }
#endif

static void FourTapTableRow(uint8_t* d, const uint8_t* row, const FourTapBlock* blocks, int32_t blockCount)
{
    const VecI round = VSet1I16(32);
    for (int32_t b = 0; b < blockCount; ++b) {
        const FourTapBlock& fb = blocks[b];
        const VecI v = VWindows(row, fb.base);
        const VecI sum = VAddI16(VMaddUbs(VShuffleU8(v, VLoad(fb.shuffle[0])), VLoad(fb.taps[0])),
                                 VMaddUbs(VShuffleU8(v, VLoad(fb.shuffle[1])), VLoad(fb.taps[1])));
        VNarrowStoreU8(d + b * kBlockOutputs, VSraiI16(VAddI16(sum, round), 6));
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
    FourTapGeometry g;
    SetupFourTapGeometry(&g, dstWidth, dstHeight, srcWidth, srcHeight, tune);
#if RL_TIER_HAS_SSSE3
    const FourTapSpecialRatio& hor = g.hor;
    const int32_t groups = g.groups;
    SpecialLine line = {};
    PairLine pairLine = {};
    const bool pairs = hor.iSet && hor.iOutputs <= 8;
    if (pairs)
        SetupPairLine(&pairLine, g.special[hor.iSet], g.offsets, hor.iOutputs);
    else if (hor.iSet)
        SetupSpecialLine(&line, g.special[hor.iSet], g.offsets, hor.iOutputs);
    // Generic outputs start after the groups; a table covers them up to a cap.
    const int32_t genericFirst = groups * hor.iOutputs;
    FourTapBlock blocks[kMaxTableOutputs / kBlockOutputs];
    int32_t tableEnd = dstWidth < genericFirst + kMaxTableOutputs ? dstWidth : genericFirst + kMaxTableOutputs;
    const int32_t blockCount =
        TableFits16(table) ? BuildFourTapColumns(blocks, kMaxTableOutputs / kBlockOutputs, genericFirst, tableEnd,
                                                 g.xStart, g.xStep, table, srcWidth)
                           : 0;
    tableEnd = genericFirst + blockCount * kBlockOutputs;
#endif

    uint8_t* row = tempRow + 16;
    for (int32_t r = 0; r < dstHeight; ++r) {
        const int32_t i = static_cast<int32_t>((g.yStart + static_cast<uint32_t>(r) * g.yStep) >> 16);
        const uint8_t* rows[4];
        for (int k = 0; k < 4; ++k) rows[k] = src + static_cast<ptrdiff_t>(ClampRow(i - 1 + k, srcHeight)) * srcStride;
        FilterRows(row, rows, FourTapRowTaps(g, table, r), 4, srcWidth);
        row[-1] = row[0];
        row[srcWidth] = row[srcWidth - 1];

        uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstStride;
        int32_t j = 0;
#if RL_TIER_HAS_SSSE3
        if (pairs && groups > 0)
            PairGroups(d, row, pairLine, groups, hor.iOutputs, hor.iInputs);
        else if (groups > 0)
            SpecialGroups(d, row, line, groups, hor.iOutputs, hor.iInputs);
        FourTapTableRow(d + genericFirst, row, blocks, blockCount);
        j = tableEnd;
#else
        j = FourTapSpecialOutputs(d, row, g);
#endif
        FourTapGenericRow(d, row, table, g.xStart, g.xStep, j, dstWidth);
    }
}

}  // namespace Ravvel
