// Vector super-resolution kernels, compiled once per tier. The smooth and
// simple paths, the activity and range tests and the temporal comparison run
// on 16 source pixels at a time; from SSSE3 on the pattern classes are found
// for 16 pixels at once and each classified pixel takes its four phases with
// byte multiply-adds over the padded 16-tap layout. Edge columns, row tails
// and (below SSSE3) the classified pixels reuse the reference pieces. The AVX2
// tier runs the adaptive 2x filter on 32 source columns per step and filters
// only the blocks that need classification, one block at a time.
#include "scale/super_resolution_kernels.h"
#include "scale/super_resolution_kernels_ref.h"
#include "simd/tier.h"

namespace Ravvel {
namespace RL_TIER_NS {

static inline __m128i AbsI16(__m128i v)
{
#if RL_TIER_HAS_SSSE3
    return _mm_abs_epi16(v);
#else
    const __m128i sign = _mm_srai_epi16(v, 15);
    return _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
#endif
}

// (a ? b : c) per byte for masks of whole bytes.
static inline __m128i Select(__m128i mask, __m128i b, __m128i c)
{
    return _mm_or_si128(_mm_and_si128(mask, b), _mm_andnot_si128(mask, c));
}

static inline uint32_t Load32U(const uint8_t* p)
{
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

static inline __m128i Lo16(__m128i v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
static inline __m128i Hi16(__m128i v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }

// (a + b + 2c + 2) >> 2 per byte: rounding c with the floor of (a + b) / 2 is exact.
static inline __m128i Smooth(__m128i a, __m128i b, __m128i c)
{
    const __m128i floorAvg = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
    return _mm_avg_epu8(floorAvg, c);
}

// 3 x (edge neighbours) + 2 x (diagonal neighbours) - 20 x centre, absolute, for eight 16-bit lanes.
static inline __m128i Activity(__m128i nm, __m128i n0, __m128i np, __m128i cm, __m128i c0, __m128i cp, __m128i sm,
                               __m128i s0, __m128i sp)
{
    const __m128i edges = _mm_add_epi16(_mm_add_epi16(n0, s0), _mm_add_epi16(cm, cp));
    const __m128i diag = _mm_add_epi16(_mm_add_epi16(nm, np), _mm_add_epi16(sm, sp));
    const __m128i l = _mm_sub_epi16(
        _mm_add_epi16(_mm_mullo_epi16(edges, _mm_set1_epi16(3)), _mm_add_epi16(diag, diag)),
        _mm_mullo_epi16(c0, _mm_set1_epi16(20)));
    return AbsI16(l);
}

static inline int16_t ClampI16(int64_t v) { return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v)); }

// 4T of a quantiser, as the 16-bit limit the activity is compared with.
static inline int16_t ActivityLimit(int qp, int thresholdScale)
{
    return ClampI16(4 * static_cast<int64_t>(thresholdScale) * qp_threshold[qp > 51 ? 51 : qp]);
}

// ---- Coefficient setup -------------------------------------------------------------

static void SetupCoeffs(int8_t* pad, const int8_t* orig)
{
    static const int kFrom[16] = {0, 1, 2, -1, 3, 5, 4, -1, 6, 7, 9, -1, 8, 10, 11, -1};
    const int groups = kSRClasses * kSRPhases;
    int g = 0;
#if RL_TIER_HAS_SSSE3
    const __m128i perm = _mm_setr_epi8(0, 1, 2, -128, 3, 5, 4, -128, 6, 7, 9, -128, 8, 10, 11, -128);
    // The last group's 16-byte load would pass the end of the table.
    for (; g + 1 < groups; ++g) Store128(pad + g * 16, _mm_shuffle_epi8(Load128(orig + g * 12), perm));
#endif
    for (; g < groups; ++g)
        for (int t = 0; t < 16; ++t) pad[g * 16 + t] = kFrom[t] < 0 ? 0 : orig[g * 12 + kFrom[t]];
}

// ---- Simple 1.5x -----------------------------------------------------------------------

// 24 output bytes x0 m0 x1 x2 m1 x3 ... from 16 samples x and 8 mids m (low half).
static inline void StoreTriples(uint8_t* d, __m128i x, __m128i m)
{
#if RL_TIER_HAS_SSSE3
    const __m128i ix0 = _mm_setr_epi8(0, -128, 1, 2, -128, 3, 4, -128, 5, 6, -128, 7, 8, -128, 9, 10);
    const __m128i im0 = _mm_setr_epi8(-128, 0, -128, -128, 1, -128, -128, 2, -128, -128, 3, -128, -128, 4, -128, -128);
    const __m128i ix1 = _mm_setr_epi8(-128, 11, 12, -128, 13, 14, -128, 15, -128, -128, -128, -128, -128, -128, -128, -128);
    const __m128i im1 = _mm_setr_epi8(5, -128, -128, 6, -128, -128, 7, -128, -128, -128, -128, -128, -128, -128, -128, -128);
    Store128(d, _mm_or_si128(_mm_shuffle_epi8(x, ix0), _mm_shuffle_epi8(m, im0)));
    Store64(d + 16, _mm_or_si128(_mm_shuffle_epi8(x, ix1), _mm_shuffle_epi8(m, im1)));
#else
    alignas(16) uint8_t xs[16], ms[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(xs), x);
    _mm_store_si128(reinterpret_cast<__m128i*>(ms), m);
    for (int p = 0; p < 8; ++p) {
        d[3 * p] = xs[2 * p];
        d[3 * p + 1] = ms[p];
        d[3 * p + 2] = xs[2 * p + 1];
    }
#endif
}

// The simple 3x3 blocks of 16 source columns from c (8 blocks, 24 output columns).
static inline void Simple16(const uint8_t* r0, const uint8_t* r1, int c, uint8_t* d, int dstStride)
{
    const __m128i a = Load128(r0 + c), b = Load128(r1 + c);
    const __m128i even = _mm_set1_epi16(0x00ff);
    const __m128i ae = _mm_and_si128(a, even), ao = _mm_srli_epi16(a, 8);
    const __m128i be = _mm_and_si128(b, even), bo = _mm_srli_epi16(b, 8);
    const __m128i one = _mm_set1_epi16(1), two = _mm_set1_epi16(2);
    const __m128i midA = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(ae, ao), one), 1);
    const __m128i midB = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(be, bo), one), 1);
    const __m128i quad = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_add_epi16(ae, ao), _mm_add_epi16(be, bo)), two), 2);
    StoreTriples(d, a, _mm_packus_epi16(midA, midA));
    StoreTriples(d + dstStride, _mm_avg_epu8(a, b), _mm_packus_epi16(quad, quad));
    StoreTriples(d + 2 * dstStride, b, _mm_packus_epi16(midB, midB));
}

static void SimpleRowPair(const uint8_t* r0, const uint8_t* r1, int width, uint8_t* d, int dstStride)
{
    int c = 0;
    for (; c + 16 <= width; c += 16) Simple16(r0, r1, c, d + 3 * c / 2, dstStride);
    for (; c < width - 1; c += 2) SRSimpleBlock1pt5(r0, r1, c, d + 3 * c / 2, dstStride);
}

// ---- Adaptive 2x ------------------------------------------------------------------------

#if RL_TIER_HAS_SSSE3
// A block's 4x4 window holds row r, column j at byte 4r + j; its pixels are
// P (1, 1), Q (1, 2) in the upper row and R (2, 1), S (2, 2) in the lower one.
// Shuffles of the window (the same in both lanes) with one pixel per lane:
// the upper and lower pairs in the padded tap layout
// NW N NE 0, W E C 0, SW S med(N,W,C) 0, SE med(N,C,E) med(C,W,S) 0 with the
// median slots empty; the three operands of the medians of the upper pixel
// (slots 10, 13, 14) and of the lower one (slots 3, 7, 11); and the moves of
// either pixel's medians into their tap slots.
alignas(32) static const int8_t kBlockShuffles[7][32] = {
    {0, 1, 2, -128, 4, 6, 5, -128, 8, 9, -128, -128, 10, -128, -128, -128,
     1, 2, 3, -128, 5, 7, 6, -128, 9, 10, -128, -128, 11, -128, -128, -128},
    {4, 5, 6, -128, 8, 10, 9, -128, 12, 13, -128, -128, 14, -128, -128, -128,
     5, 6, 7, -128, 9, 11, 10, -128, 13, 14, -128, -128, 15, -128, -128, -128},
    {-128, -128, -128, 5, -128, -128, -128, 5, -128, -128, 1, 9, -128, 1, 5, -128,
     -128, -128, -128, 6, -128, -128, -128, 6, -128, -128, 2, 10, -128, 2, 6, -128},
    {-128, -128, -128, 8, -128, -128, -128, 9, -128, -128, 4, 8, -128, 5, 4, -128,
     -128, -128, -128, 9, -128, -128, -128, 10, -128, -128, 5, 9, -128, 6, 5, -128},
    {-128, -128, -128, 9, -128, -128, -128, 10, -128, -128, 5, 13, -128, 6, 9, -128,
     -128, -128, -128, 10, -128, -128, -128, 11, -128, -128, 6, 14, -128, 7, 10, -128},
    {-128, -128, -128, -128, -128, -128, -128, -128, -128, -128, 10, -128, -128, 13, 14, -128,
     -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, 10, -128, -128, 13, 14, -128},
    {-128, -128, -128, -128, -128, -128, -128, -128, -128, -128, 3, -128, -128, 7, 11, -128,
     -128, -128, -128, -128, -128, -128, -128, -128, -128, -128, 3, -128, -128, 7, 11, -128}};

static inline __m128i Med3U8(__m128i a, __m128i b, __m128i c)
{
    return _mm_max_epu8(_mm_min_epu8(a, b), _mm_min_epu8(_mm_max_epu8(a, b), c));
}

static inline __m128i AtLeast(__m128i v, __m128i m) { return _mm_cmpeq_epi8(_mm_max_epu8(v, m), v); }

// Pattern classes of the 16 pixels of the source row whose neighbours are
// the rows n, c, s, each given at column offsets -1, 0, +1.
static void ClassesRow16(const __m128i n[3], const __m128i c[3], const __m128i s[3], uint8_t classes[16])
{
    const __m128i v[9] = {n[0], n[1], n[2], c[0], c[1], c[2], s[0], s[1], s[2]};
    __m128i lo = v[0], hi = v[0];
    for (int k = 1; k < 9; ++k) {
        lo = _mm_min_epu8(lo, v[k]);
        hi = _mm_max_epu8(hi, v[k]);
    }
    // (lo + hi) >> 1 without the rounding of pavgb.
    const __m128i m = _mm_sub_epi8(_mm_avg_epu8(lo, hi), _mm_and_si128(_mm_xor_si128(lo, hi), _mm_set1_epi8(1)));
    __m128i cls = _mm_setzero_si128();
    for (int k = 0; k < 8; ++k)
        cls = _mm_or_si128(cls, _mm_and_si128(AtLeast(v[k], m), _mm_set1_epi8(static_cast<char>(1 << k))));
    cls = _mm_xor_si128(cls, AtLeast(v[8], m));
    _mm_store_si128(reinterpret_cast<__m128i*>(classes), cls);
}

// One half (lane) of a block shuffle: 0 for the left pixels, 1 for the right ones.
static inline __m128i BlockShuffle128(__m128i v, int k, int half)
{
    return _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(kBlockShuffles[k] + 16 * half)));
}

// (sum + 32) >> 6 of the four phases of one pixel, in phase order.
static inline __m128i PixelPhases(__m128i in, const int8_t* taps)
{
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i s0 = _mm_madd_epi16(_mm_maddubs_epi16(in, Load128(taps)), ones);
    const __m128i s1 = _mm_madd_epi16(_mm_maddubs_epi16(in, Load128(taps + 16)), ones);
    const __m128i s2 = _mm_madd_epi16(_mm_maddubs_epi16(in, Load128(taps + 32)), ones);
    const __m128i s3 = _mm_madd_epi16(_mm_maddubs_epi16(in, Load128(taps + 48)), ones);
    const __m128i sums = _mm_hadd_epi32(_mm_hadd_epi32(s0, s1), _mm_hadd_epi32(s2, s3));
    return _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(32)), 6);
}

// Classified outputs of the blocks of `need` (bits 2b, 2b + 1: block b at
// column x + 2b) of the row pair rows[0..3], written over the smooth ones: the
// 4x4 output block of block b starts at d + 4b. Reads source columns
// x - 1 .. x + 16.
static void FilterBlocks16(const uint8_t* const rows[4], int x, unsigned need, const uint8_t classes[2][16],
                           const int8_t* coeffsPad, uint8_t* d, int dstStride)
{
    const __m128i rowOrder = _mm_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15);
    unsigned blocks = need & 0x5555u;
    while (blocks) {
        const int l = __builtin_ctz(blocks);
        blocks &= blocks - 1;
        const int from = x + l - 1;
        const __m128i w01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Load32U(rows[0] + from))),
                                               _mm_cvtsi32_si128(static_cast<int>(Load32U(rows[1] + from))));
        const __m128i w23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Load32U(rows[2] + from))),
                                               _mm_cvtsi32_si128(static_cast<int>(Load32U(rows[3] + from))));
        const __m128i window = _mm_unpacklo_epi64(w01, w23);
        __m128i phases[4];  // P, R (left pixels), Q, S (right pixels)
        for (int half = 0; half < 2; ++half) {
            const __m128i med = Med3U8(BlockShuffle128(window, 2, half), BlockShuffle128(window, 3, half),
                                       BlockShuffle128(window, 4, half));
            const __m128i upperIn = _mm_or_si128(BlockShuffle128(window, 0, half), BlockShuffle128(med, 5, half));
            const __m128i lowerIn = _mm_or_si128(BlockShuffle128(window, 1, half), BlockShuffle128(med, 6, half));
            phases[2 * half] = PixelPhases(upperIn, coeffsPad + classes[0][l + half] * 64);
            phases[2 * half + 1] = PixelPhases(lowerIn, coeffsPad + classes[1][l + half] * 64);
        }
        // P0..P3 Q0..Q3 R0..R3 S0..S3, then one dword per output row.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(phases[0], phases[2]), _mm_packs_epi32(phases[1], phases[3]));
        const __m128i out = _mm_shuffle_epi8(bytes, rowOrder);
        uint8_t* o = d + 2 * l;
        Store32(o, out);
        Store32(o + dstStride, _mm_srli_si128(out, 4));
        Store32(o + 2 * static_cast<ptrdiff_t>(dstStride), _mm_srli_si128(out, 8));
        Store32(o + 3 * static_cast<ptrdiff_t>(dstStride), _mm_srli_si128(out, 12));
    }
}
#endif

// Two output rows (phases 0/1 and 2/3 of 16 pixels) from column 2x, keeping
// the bytes of the pixels set in *keep (if given).
static inline void StoreQuads(uint8_t* d, int dstStride, __m128i p0, __m128i p1, __m128i p2, __m128i p3,
                              const __m128i* keepPixels)
{
    uint8_t* d1 = d + dstStride;
    if (!keepPixels) {
        Store128(d, _mm_unpacklo_epi8(p0, p1));
        Store128(d + 16, _mm_unpackhi_epi8(p0, p1));
        Store128(d1, _mm_unpacklo_epi8(p2, p3));
        Store128(d1 + 16, _mm_unpackhi_epi8(p2, p3));
        return;
    }
    const __m128i keep = *keepPixels;
    const __m128i keepLo = _mm_unpacklo_epi8(keep, keep), keepHi = _mm_unpackhi_epi8(keep, keep);
    Store128(d, Select(keepLo, Load128(d), _mm_unpacklo_epi8(p0, p1)));
    Store128(d + 16, Select(keepHi, Load128(d + 16), _mm_unpackhi_epi8(p0, p1)));
    Store128(d1, Select(keepLo, Load128(d1), _mm_unpacklo_epi8(p2, p3)));
    Store128(d1 + 16, Select(keepHi, Load128(d1 + 16), _mm_unpackhi_epi8(p2, p3)));
}

// Eight interior blocks: source columns x..x+15 of the row pair at y.
static void Group2x(const uint8_t* const rows[4], const uint8_t* const prevRows[4], int x, int y, uint8_t* dst,
                    int dstStride, const uint8_t* qpList, int qpStride, int thresholdScale, int chroma,
                    const int8_t* coeffsPad)
{
    // Blocks whose 4x4 window is unchanged are left alone.
    unsigned skip = 0;
    if (prevRows) {
        __m128i e0 = _mm_set1_epi8(-1), e2 = e0;
        for (int i = 0; i < 4; ++i) {
            e0 = _mm_and_si128(e0, _mm_cmpeq_epi8(Load128(rows[i] + x - 1), Load128(prevRows[i] + x - 1)));
            e2 = _mm_and_si128(e2, _mm_cmpeq_epi8(Load128(rows[i] + x + 1), Load128(prevRows[i] + x + 1)));
        }
        const unsigned eq = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(e0, e2)));
        for (int b = 0; b < 8; ++b)
            if (((eq >> (2 * b)) & 3) == 3) skip |= 3u << (2 * b);
        if (skip == 0xffff) return;
    }

    __m128i r[4][3];
    for (int i = 0; i < 4; ++i) {
        r[i][0] = Load128(rows[i] + x - 1);
        r[i][1] = Load128(rows[i] + x);
        r[i][2] = Load128(rows[i] + x + 1);
    }

    // Largest activity of each block's four pixels against 4T.
    __m128i act[2];
    for (int h = 0; h < 2; ++h) {
        // Widened directly: through a function pointer the widening would not be inlined.
        __m128i w[4][3];
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 3; ++j) w[i][j] = h ? Hi16(r[i][j]) : Lo16(r[i][j]);
        const __m128i up = Activity(w[0][0], w[0][1], w[0][2], w[1][0], w[1][1], w[1][2], w[2][0], w[2][1], w[2][2]);
        const __m128i low = Activity(w[1][0], w[1][1], w[1][2], w[2][0], w[2][1], w[2][2], w[3][0], w[3][1], w[3][2]);
        const __m128i m = _mm_max_epi16(up, low);
        const __m128i swapped = _mm_shufflehi_epi16(_mm_shufflelo_epi16(m, 0xb1), 0xb1);
        act[h] = _mm_max_epi16(m, swapped);
    }
    __m128i limit[2];
    if ((chroma == 0 || chroma == 1) && (x & 15) == 1) {
        // Blocks 0-3 read quantiser column x >> shift, blocks 4-7 column
        // (x + 8) >> shift, and block 7 (x & 15 == 15) the average of that
        // column and the next.
        const int shift = 4 - chroma;
        const uint8_t* qpRow = qpList + static_cast<ptrdiff_t>(y >> shift) * qpStride;
        const int q0 = qpRow[x >> shift], q1 = qpRow[(x + 8) >> shift], q2 = qpRow[((x + 8) >> shift) + 1];
        limit[0] = _mm_set1_epi16(ActivityLimit(q0, thresholdScale));
        limit[1] = q1 == q0 && q2 == q0 ? limit[0]
                                        : Select(_mm_setr_epi16(0, 0, 0, 0, 0, 0, -1, -1),
                                                 _mm_set1_epi16(ActivityLimit((q1 + q2) >> 1, thresholdScale)),
                                                 _mm_set1_epi16(ActivityLimit(q1, thresholdScale)));
    } else {
        alignas(16) int16_t l[16];
        for (int b = 0; b < 8; ++b)
            l[2 * b] = l[2 * b + 1] = ClampI16(
                4 * static_cast<int64_t>(SRBlockThreshold2x(qpList, qpStride, y, x + 2 * b, thresholdScale, chroma)));
        limit[0] = _mm_load_si128(reinterpret_cast<const __m128i*>(l));
        limit[1] = _mm_load_si128(reinterpret_cast<const __m128i*>(l + 8));
    }
    const __m128i smooth = _mm_packs_epi16(_mm_cmpgt_epi16(limit[0], act[0]), _mm_cmpgt_epi16(limit[1], act[1]));
    const unsigned smoothBits = static_cast<unsigned>(_mm_movemask_epi8(smooth));
    const unsigned need = ~smoothBits & ~skip & 0xffff;

    __m128i keep = _mm_setzero_si128();
    if (skip) {
        alignas(16) uint8_t skipBytes[16];
        for (int l = 0; l < 16; ++l) skipBytes[l] = ((skip >> l) & 1) ? 0xff : 0;
        keep = _mm_load_si128(reinterpret_cast<const __m128i*>(skipBytes));
    }

    uint8_t* d = dst + static_cast<ptrdiff_t>(2 * y) * dstStride + 2 * x;
    for (int half = 0; half < 2; ++half) {
        const __m128i* n = r[half];
        const __m128i* c = r[half + 1];
        const __m128i* s = r[half + 2];
        const __m128i p0 = Smooth(c[0], n[1], c[1]), p1 = Smooth(c[2], n[1], c[1]);
        const __m128i p2 = Smooth(c[0], s[1], c[1]), p3 = Smooth(c[2], s[1], c[1]);
        uint8_t* row = d + static_cast<ptrdiff_t>(2 * half) * dstStride;
        StoreQuads(row, dstStride, p0, p1, p2, p3, skip ? &keep : nullptr);
    }
#if RL_TIER_HAS_SSSE3
    // Classified blocks overwrite their smooth bytes.
    if (need) {
        alignas(16) uint8_t classes[2][16];
        for (int t = 0; t < 2; ++t) ClassesRow16(r[t], r[t + 1], r[t + 2], classes[t]);
        FilterBlocks16(rows, x, need, classes, coeffsPad, d, dstStride);
    }
#endif
#if !RL_TIER_HAS_SSSE3
    for (int b = 0; b < 8; ++b)
        if ((need >> (2 * b)) & 1) SRClassifiedBlock2x(rows, x + 2 * b, dst, dstStride, y, coeffsPad);
#endif
}


#if RL_TIER_HAS_AVX2
// ---- Adaptive 2x, 32 source columns per step (256-bit) -------------------------------
//
// One step covers the 16 blocks of source columns x..x+31 in both rows of the
// pair. Everything is first written with the smooth rule; the blocks that need
// classification are then filtered one at a time (their four pixels together)
// and overwrite the smooth bytes. On camera content a small share of blocks is
// classified, so the per-pixel filter work only runs where it is needed.

// (a + b) >> 1 per byte, exact.
static inline __m256i FloorAvg256(__m256i a, __m256i b)
{
    return _mm256_sub_epi8(_mm256_avg_epu8(a, b), _mm256_and_si256(_mm256_xor_si256(a, b), _mm256_set1_epi8(1)));
}

// (h + v + 2c + 2) >> 2 per byte: rounding c with the floor of (h + v) / 2 is exact.
static inline __m256i Smooth256(__m256i h, __m256i v, __m256i c) { return _mm256_avg_epu8(FloorAvg256(h, v), c); }

static inline __m256i AtLeast256(__m256i v, __m256i m) { return _mm256_cmpeq_epi8(_mm256_max_epu8(v, m), v); }

static inline __m256i Med3U8x32(__m256i a, __m256i b, __m256i c)
{
    return _mm256_max_epu8(_mm256_min_epu8(a, b), _mm256_min_epu8(_mm256_max_epu8(a, b), c));
}


// The limit of the last uniform quantiser seen: quantisers rarely change
// along a row, so most steps reuse it.
struct LimitCache {
    int qp;
    __m256i limit;
};

// Limits of the eight blocks from column o (o = 16k + 1) for luma (shift 4)
// and chroma (shift 3): blocks 0-3 read quantiser column o >> shift, blocks
// 4-7 column (o + 8) >> shift, and block 7 (x & 15 == 15) the average of that
// column and the next.
static inline __m256i BlockLimits16(const uint8_t* qpRow, int o, int shift, int thresholdScale, LimitCache* cache)
{
    const int i0 = o >> shift, i1 = (o + 8) >> shift;
    const int q0 = qpRow[i0], q1 = qpRow[i1], q2 = qpRow[i1 + 1];
    if (q0 == cache->qp && q1 == q0 && q2 == q0) return cache->limit;
    const __m256i a = _mm256_set1_epi16(ActivityLimit(q0, thresholdScale));
    if (q1 == q0 && q2 == q0) {
        cache->qp = q0;
        cache->limit = a;
        return a;
    }
    const __m256i b = _mm256_set1_epi16(ActivityLimit(q1, thresholdScale));
    const __m256i c = _mm256_set1_epi16(ActivityLimit((q1 + q2) >> 1, thresholdScale));
    const __m256i upper = _mm256_setr_epi16(0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i last = _mm256_setr_epi16(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1);
    return _mm256_blendv_epi8(_mm256_blendv_epi8(a, b, upper), c, last);
}

// Whether each pixel's activity stays below its block's limit, for the 16
// pixels from column o of the rows pair (window rows 0..3).
static inline __m256i QuietPixels16(const uint8_t* const rows[4], int o, __m256i limit)
{
    __m256i w[4][3], hs[4];
    for (int r = 0; r < 4; ++r) {
        for (int j = 0; j < 3; ++j) w[r][j] = _mm256_cvtepu8_epi16(Load128(rows[r] + o - 1 + j));
        hs[r] = _mm256_add_epi16(_mm256_add_epi16(w[r][0], w[r][1]), w[r][2]);
    }
    // L = 3 x edges + 2 x diagonals - 20 x centre = 2 x (3x3 sum) + edges - 22 x centre.
    const __m256i k22 = _mm256_set1_epi16(22);
    const __m256i mid = _mm256_add_epi16(hs[1], hs[2]);
    const __m256i l0 = _mm256_sub_epi16(
        _mm256_add_epi16(_mm256_slli_epi16(_mm256_add_epi16(hs[0], mid), 1),
                         _mm256_add_epi16(_mm256_add_epi16(w[0][1], w[2][1]), _mm256_add_epi16(w[1][0], w[1][2]))),
        _mm256_mullo_epi16(w[1][1], k22));
    const __m256i l1 = _mm256_sub_epi16(
        _mm256_add_epi16(_mm256_slli_epi16(_mm256_add_epi16(mid, hs[3]), 1),
                         _mm256_add_epi16(_mm256_add_epi16(w[1][1], w[3][1]), _mm256_add_epi16(w[2][0], w[2][2]))),
        _mm256_mullo_epi16(w[2][1], k22));
    const __m256i act = _mm256_max_epi16(_mm256_abs_epi16(l0), _mm256_abs_epi16(l1));
    return _mm256_cmpgt_epi16(limit, act);
}

// One bit per pixel lane set for blocks whose two lanes are both set.
static inline uint32_t BothOfPair(uint32_t bits)
{
    const uint32_t pair = bits & (bits >> 1) & 0x55555555u;
    return pair | (pair << 1);
}

// 0xff bytes for the set bits of `bits`, lane k for bit k.
static inline __m256i BitsToBytes(uint32_t bits)
{
    const __m256i spread = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int32_t>(bits)),
                                               _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2,
                                                                2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3));
    const __m256i bit = _mm256_set1_epi64x(static_cast<int64_t>(0x8040201008040201ull));
    return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit), bit);
}

// Two output rows of 32 source pixels: phases 0/1 interleaved at d, 2/3 at
// d + dstStride; the pixels of keepBits keep the bytes already there.
static inline void StorePhases32(uint8_t* d, int dstStride, __m256i p0, __m256i p1, __m256i p2, __m256i p3,
                                 uint32_t keepBits)
{
    p0 = _mm256_permute4x64_epi64(p0, 0xd8);
    p1 = _mm256_permute4x64_epi64(p1, 0xd8);
    p2 = _mm256_permute4x64_epi64(p2, 0xd8);
    p3 = _mm256_permute4x64_epi64(p3, 0xd8);
    __m256i o[4] = {_mm256_unpacklo_epi8(p0, p1), _mm256_unpackhi_epi8(p0, p1), _mm256_unpacklo_epi8(p2, p3),
                    _mm256_unpackhi_epi8(p2, p3)};
    uint8_t* at[4] = {d, d + 32, d + dstStride, d + dstStride + 32};
    if (keepBits) {
        const __m256i keep = _mm256_permute4x64_epi64(BitsToBytes(keepBits), 0xd8);
        const __m256i keepLo = _mm256_unpacklo_epi8(keep, keep), keepHi = _mm256_unpackhi_epi8(keep, keep);
        for (int k = 0; k < 4; ++k)
            o[k] = _mm256_blendv_epi8(o[k], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at[k])),
                                      (k & 1) ? keepHi : keepLo);
    }
    for (int k = 0; k < 4; ++k) _mm256_storeu_si256(reinterpret_cast<__m256i*>(at[k]), o[k]);
}

// Pattern classes of the 32 pixels from column x of the source row whose
// neighbours are the rows n, c, s.
static void ClassifyRow32(const uint8_t* n, const uint8_t* c, const uint8_t* s, int x, uint8_t classes[32])
{
    const __m256i v[9] = {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(n + x - 1)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(n + x)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(n + x + 1)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + x - 1)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + x)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + x + 1)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x - 1)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x)),
                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x + 1))};
    __m256i lo = v[0], hi = v[0];
    for (int k = 1; k < 9; ++k) {
        lo = _mm256_min_epu8(lo, v[k]);
        hi = _mm256_max_epu8(hi, v[k]);
    }
    const __m256i m = FloorAvg256(lo, hi);
    __m256i cls = _mm256_setzero_si256();
    for (int k = 0; k < 8; ++k)
        cls = _mm256_or_si256(cls, _mm256_and_si256(AtLeast256(v[k], m), _mm256_set1_epi8(static_cast<char>(1 << k))));
    cls = _mm256_xor_si256(cls, AtLeast256(v[8], m));
    _mm256_store_si256(reinterpret_cast<__m256i*>(classes), cls);
}

static inline __m256i BlockShuffle(__m256i v, int k)
{
    return _mm256_shuffle_epi8(v, _mm256_load_si256(reinterpret_cast<const __m256i*>(kBlockShuffles[k])));
}

// Phase sums of a pixel pair given one pixel per lane, with filters ta and
// tb: (sum + 32) >> 6 of phases 0, 2 of both pixels in lane 0 and of phases
// 1, 3 in lane 1 (left pixel first).
static inline __m256i PairPhases(__m256i in, const int8_t* ta, const int8_t* tb)
{
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i a = _mm256_permute2x128_si256(in, in, 0x00), b = _mm256_permute2x128_si256(in, in, 0x11);
    const __m256i* pa = reinterpret_cast<const __m256i*>(ta);
    const __m256i* pb = reinterpret_cast<const __m256i*>(tb);
    const __m256i a01 = _mm256_madd_epi16(_mm256_maddubs_epi16(a, _mm256_loadu_si256(pa)), ones);
    const __m256i a23 = _mm256_madd_epi16(_mm256_maddubs_epi16(a, _mm256_loadu_si256(pa + 1)), ones);
    const __m256i b01 = _mm256_madd_epi16(_mm256_maddubs_epi16(b, _mm256_loadu_si256(pb)), ones);
    const __m256i b23 = _mm256_madd_epi16(_mm256_maddubs_epi16(b, _mm256_loadu_si256(pb + 1)), ones);
    // Sums of the four partial sums of each phase, without the slower horizontal adds.
    const __m256i sa = _mm256_add_epi32(_mm256_unpacklo_epi32(a01, a23), _mm256_unpackhi_epi32(a01, a23));
    const __m256i sb = _mm256_add_epi32(_mm256_unpacklo_epi32(b01, b23), _mm256_unpackhi_epi32(b01, b23));
    const __m256i sums = _mm256_add_epi32(_mm256_unpacklo_epi64(sa, sb), _mm256_unpackhi_epi64(sa, sb));
    return _mm256_srai_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(32)), 6);
}

// Classified outputs of the blocks of `need` (bits 2b, 2b + 1: block b at
// column x + 2b) of the row pair rows[0..3], written over the smooth ones: the
// 4x4 output block of block b starts at d + 4b. Reads source columns
// x - 1 .. x + 32.
static void FilterBlocks32(const uint8_t* const rows[4], int x, uint32_t need, const uint8_t classes[2][32],
                           const int8_t* coeffsPad, uint8_t* d, int dstStride)
{
    const __m128i rowOrder = _mm_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15);
    uint32_t blocks = need & 0x55555555u;
    while (blocks) {
        const int l = __builtin_ctz(blocks);
        blocks &= blocks - 1;
        const int from = x + l - 1;
        const __m128i w01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Load32U(rows[0] + from))),
                                               _mm_cvtsi32_si128(static_cast<int>(Load32U(rows[1] + from))));
        const __m128i w23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Load32U(rows[2] + from))),
                                               _mm_cvtsi32_si128(static_cast<int>(Load32U(rows[3] + from))));
        const __m256i window = _mm256_broadcastsi128_si256(_mm_unpacklo_epi64(w01, w23));
        const __m256i med = Med3U8x32(BlockShuffle(window, 2), BlockShuffle(window, 3), BlockShuffle(window, 4));
        const __m256i upperIn = _mm256_or_si256(BlockShuffle(window, 0), BlockShuffle(med, 5));
        const __m256i lowerIn = _mm256_or_si256(BlockShuffle(window, 1), BlockShuffle(med, 6));
        const __m256i upper = PairPhases(upperIn, coeffsPad + classes[0][l] * 64, coeffsPad + classes[0][l + 1] * 64);
        const __m256i lower = PairPhases(lowerIn, coeffsPad + classes[1][l] * 64, coeffsPad + classes[1][l + 1] * 64);
        // Lane 0: phases 0, 2 of P, Q, R, S; lane 1: phases 1, 3.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(upper, lower), _mm256_setzero_si256());
        const __m128i quads = _mm_unpacklo_epi8(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
        // One dword per output row: two phases of the left pixel, then of the right one.
        const __m128i out = _mm_shuffle_epi8(quads, rowOrder);
        uint8_t* o = d + 2 * l;
        Store32(o, out);
        Store32(o + dstStride, _mm_srli_si128(out, 4));
        Store32(o + 2 * static_cast<ptrdiff_t>(dstStride), _mm_srli_si128(out, 8));
        Store32(o + 3 * static_cast<ptrdiff_t>(dstStride), _mm_srli_si128(out, 12));
    }
}

// Limits of the sixteen blocks from any odd column x, one 16-bit lane per pixel.
static inline void BlockLimits32(const uint8_t* qpRow, int x, int shift, int thresholdScale, __m256i lim[2])
{
    alignas(32) int16_t l[32];
    for (int b = 0; b < 16; ++b) {
        const int bx = x + 2 * b;
        const uint8_t* q = qpRow + (bx >> shift);
        l[2 * b] = l[2 * b + 1] = ActivityLimit((bx & 15) == 15 ? (q[0] + q[1]) >> 1 : q[0], thresholdScale);
    }
    lim[0] = _mm256_load_si256(reinterpret_cast<const __m256i*>(l));
    lim[1] = _mm256_load_si256(reinterpret_cast<const __m256i*>(l + 16));
}

// Sixteen interior blocks: source columns x..x+31 (x odd) of the row pair.
// Reads source columns x - 1 .. x + 32. shift is
// 4 - chroma (4 or 3); `cache` is null for an x that is not 1 modulo 32.
static void Step2x32(const uint8_t* const rows[4], const uint8_t* const prevRows[4], int x, uint8_t* d,
                     int dstStride, const uint8_t* qpRow, int shift, int thresholdScale, LimitCache* cache,
                     const int8_t* coeffsPad)
{
    uint32_t skip = 0;
    if (prevRows) {
        __m256i eq = _mm256_set1_epi8(-1);
        for (int i = 0; i < 4; ++i) {
            const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[i] + x - 1));
            const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prevRows[i] + x - 1));
            const __m256i a2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[i] + x + 1));
            const __m256i b2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prevRows[i] + x + 1));
            eq = _mm256_and_si256(eq, _mm256_and_si256(_mm256_cmpeq_epi8(a0, b0), _mm256_cmpeq_epi8(a2, b2)));
        }
        // Lane 2b covers columns x + 2b - 1 and x + 2b + 1, lane 2b + 1 the other two of block b.
        skip = BothOfPair(static_cast<uint32_t>(_mm256_movemask_epi8(eq)));
        if (skip == 0xffffffffu) return;
    }

    __m256i lim[2];
    if (cache) {
        lim[0] = BlockLimits16(qpRow, x, shift, thresholdScale, cache);
        lim[1] = BlockLimits16(qpRow, x + 16, shift, thresholdScale, cache);
    } else {
        BlockLimits32(qpRow, x, shift, thresholdScale, lim);
    }
    const __m256i quiet0 = QuietPixels16(rows, x, lim[0]);
    const __m256i quiet1 = QuietPixels16(rows, x + 16, lim[1]);
    const __m256i quiet = _mm256_permute4x64_epi64(_mm256_packs_epi16(quiet0, quiet1), 0xd8);
    const uint32_t smooth = BothOfPair(static_cast<uint32_t>(_mm256_movemask_epi8(quiet)));
    const uint32_t need = ~smooth & ~skip;

    // Classes first: their stores are long done when the blocks read them.
    alignas(32) uint8_t classes[2][32];
    if (need)
        for (int t = 0; t < 2; ++t) ClassifyRow32(rows[t], rows[t + 1], rows[t + 2], x, classes[t]);
    for (int t = 0; t < 2; ++t) {
        const uint8_t* n = rows[t];
        const uint8_t* c = rows[t + 1];
        const uint8_t* s = rows[t + 2];
        const __m256i cl = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + x - 1));
        const __m256i cc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + x));
        const __m256i cr = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + x + 1));
        const __m256i nc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(n + x));
        const __m256i sc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
        StorePhases32(d + static_cast<ptrdiff_t>(2 * t) * dstStride, dstStride, Smooth256(cl, nc, cc),
                      Smooth256(cr, nc, cc), Smooth256(cl, sc, cc), Smooth256(cr, sc, cc), skip);
    }
    if (need) FilterBlocks32(rows, x, need, classes, coeffsPad, d, dstStride);
}
#endif

#if RL_TIER_HAS_SSSE3
// ---- Adaptive 1.5x, classified blocks ----------------------------------------------------
//
// A block's 4x4 window holds row i, column j at byte 4i + j; its pixels TL
// (1, 1), TR (1, 2), BL (2, 1), BR (2, 2) each see the window turned so that
// the block's centre lies to their lower right. Shuffles of the window, one
// pixel per 16-byte half (left pixels first): the oriented neighbourhood in
// raster order for the class bits (upper pixels, lower pixels) and in the
// padded tap layout (upper, lower).
alignas(32) static const int8_t kOriented1pt5[4][32] = {
    {0, 1, 2, 4, 5, 6, 8, 9, 10, -128, -128, -128, -128, -128, -128, -128,
     3, 2, 1, 7, 6, 5, 11, 10, 9, -128, -128, -128, -128, -128, -128, -128},
    {12, 13, 14, 8, 9, 10, 4, 5, 6, -128, -128, -128, -128, -128, -128, -128,
     15, 14, 13, 11, 10, 9, 7, 6, 5, -128, -128, -128, -128, -128, -128, -128},
    {0, 1, 2, -128, 4, 5, 6, -128, 8, 9, 10, -128, -128, -128, -128, -128,
     3, 2, 1, -128, 7, 6, 5, -128, 11, 10, 9, -128, -128, -128, -128, -128},
    {12, 13, 14, -128, 8, 9, 10, -128, 4, 5, 6, -128, -128, -128, -128, -128,
     15, 14, 13, -128, 11, 10, 9, -128, 7, 6, 5, -128, -128, -128, -128, -128}};

// Class of a pixel from its nine oriented bits (south-east last).
static inline int OrientedClass(uint32_t bits)
{
    const uint32_t b = bits & 0x1ff;
    return static_cast<int>((b ^ (0u - (b >> 8))) & 0xff);
}

// The nine outputs O[i][j] of a classified block, stored as the 3x3 block at
// d from bytes O00 O01 O02 O20 O10 O11 O12 O22 O21 of `bytes`.
static inline void StoreBlock1pt5(__m128i bytes, uint8_t* d, int dstStride)
{
    const __m128i out =
        _mm_shuffle_epi8(bytes, _mm_setr_epi8(0, 1, 2, -128, 4, 5, 6, -128, 3, 8, 7, -128, -128, -128, -128, -128));
    const uint32_t rowBytes[3] = {static_cast<uint32_t>(_mm_cvtsi128_si32(out)),
                                  static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(out, 4))),
                                  static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(out, 8)))};
    for (int i = 0; i < 3; ++i) {
        uint8_t* o = d + static_cast<ptrdiff_t>(i) * dstStride;
        const uint16_t pair = static_cast<uint16_t>(rowBytes[i]);
        __builtin_memcpy(o, &pair, 2);
        o[2] = static_cast<uint8_t>(rowBytes[i] >> 16);
    }
}

#if !RL_TIER_HAS_AVX2
static inline __m128i Oriented1pt5(__m128i v, int k, int half)
{
    return _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(kOriented1pt5[k] + 16 * half)));
}

// One filter output of a classified pixel as four partial sums.
static inline __m128i Partial1pt5(__m128i in, const int8_t* taps)
{
    return _mm_madd_epi16(_mm_maddubs_epi16(in, Load128(taps)), _mm_set1_epi16(1));
}

// The nine classified outputs of the block at column c (window columns
// c - 1 .. c + 2 of rows[0..3]) with threshold midpoint m, written as the
// 3x3 block at d; `table` has phases 1 and 2 exchanged.
static void ClassifiedBlock1pt5(const uint8_t* const rows[4], int c, int m, uint8_t* d, int dstStride,
                                const int8_t* table)
{
    const int from = c - 1;
    const __m128i w01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Load32U(rows[0] + from))),
                                           _mm_cvtsi32_si128(static_cast<int>(Load32U(rows[1] + from))));
    const __m128i w23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Load32U(rows[2] + from))),
                                           _mm_cvtsi32_si128(static_cast<int>(Load32U(rows[3] + from))));
    const __m128i window = _mm_unpacklo_epi64(w01, w23);
    const __m128i atLeast = AtLeast(window, _mm_set1_epi8(static_cast<char>(m)));
    // Pixels TL, TR, BL, BR: shuffle row (upper 0, lower 1) and half.
    const int8_t* taps[4];
    __m128i in[4];
    for (int p = 0; p < 4; ++p) {
        const int bits = _mm_movemask_epi8(Oriented1pt5(atLeast, p >> 1, p & 1));
        taps[p] = table + OrientedClass(static_cast<uint32_t>(bits)) * 64;
        in[p] = Oriented1pt5(window, 2 + (p >> 1), p & 1);
    }
    // Table phases 0, 2, 1, 3 at 0, 16, 32, 48.
    const __m128i o00 = Partial1pt5(in[0], taps[0]), o01 = Partial1pt5(in[0], taps[0] + 32);
    const __m128i o10 = Partial1pt5(in[0], taps[0] + 16), o11 = Partial1pt5(in[0], taps[0] + 48);
    const __m128i o02 = Partial1pt5(in[1], taps[1]), o12 = Partial1pt5(in[1], taps[1] + 16);
    const __m128i o20 = Partial1pt5(in[2], taps[2]), o21 = Partial1pt5(in[2], taps[2] + 32);
    const __m128i o22 = Partial1pt5(in[3], taps[3]);
    const __m128i round = _mm_set1_epi32(16);
    const __m128i top = _mm_hadd_epi32(_mm_hadd_epi32(o00, o01), _mm_hadd_epi32(o02, o20));
    const __m128i middle = _mm_hadd_epi32(_mm_hadd_epi32(o10, o11), _mm_hadd_epi32(o12, o22));
    const __m128i h = _mm_hadd_epi32(o21, o21);
    const __m128i last = _mm_hadd_epi32(h, h);
    const __m128i words =
        _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(top, round), 5), _mm_srai_epi32(_mm_add_epi32(middle, round), 5));
    const __m128i lastWords = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(last, round), 5), _mm_setzero_si128());
    StoreBlock1pt5(_mm_packus_epi16(words, lastWords), d, dstStride);
}
#else
static inline __m256i Oriented1pt5(__m256i v, int k)
{
    return _mm256_shuffle_epi8(v, _mm256_load_si256(reinterpret_cast<const __m256i*>(kOriented1pt5[k])));
}


// The nine classified outputs of the block at column c (window columns
// c - 1 .. c + 2 of rows[0..3]) with threshold midpoint m, written as the
// 3x3 block at d; `table` has phases 1 and 2 exchanged.
static void ClassifiedBlock1pt5(const uint8_t* const rows[4], int c, int m, uint8_t* d, int dstStride,
                                const int8_t* table)
{
    const int from = c - 1;
    const __m128i w01 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Load32U(rows[0] + from))),
                                           _mm_cvtsi32_si128(static_cast<int>(Load32U(rows[1] + from))));
    const __m128i w23 = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(Load32U(rows[2] + from))),
                                           _mm_cvtsi32_si128(static_cast<int>(Load32U(rows[3] + from))));
    const __m256i window = _mm256_broadcastsi128_si256(_mm_unpacklo_epi64(w01, w23));
    const __m256i atLeast = AtLeast256(window, _mm256_set1_epi8(static_cast<char>(m)));
    const uint32_t upperBits = static_cast<uint32_t>(_mm256_movemask_epi8(Oriented1pt5(atLeast, 0)));
    const uint32_t lowerBits = static_cast<uint32_t>(_mm256_movemask_epi8(Oriented1pt5(atLeast, 1)));
    const int8_t* tl = table + OrientedClass(upperBits) * 64;
    const int8_t* tr = table + OrientedClass(upperBits >> 16) * 64;
    const int8_t* bl = table + OrientedClass(lowerBits) * 64;
    const int8_t* br = table + OrientedClass(lowerBits >> 16) * 64;

    const __m256i upper = Oriented1pt5(window, 2), lower = Oriented1pt5(window, 3);
    const __m256i tlIn = _mm256_permute2x128_si256(upper, upper, 0x00);
    const __m256i trIn = _mm256_permute2x128_si256(upper, upper, 0x11);
    const __m256i ones = _mm256_set1_epi16(1);
    // Lane 0 | lane 1: O[0][0] | O[1][0], O[0][1] | O[1][1], O[0][2] | O[1][2],
    // O[2][0] | O[2][2], and O[2][1] in lane 0 of the last.
    const __m256i m0 = _mm256_madd_epi16(
        _mm256_maddubs_epi16(tlIn, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tl))), ones);
    const __m256i m1 = _mm256_madd_epi16(
        _mm256_maddubs_epi16(tlIn, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tl + 32))), ones);
    const __m256i m2 = _mm256_madd_epi16(
        _mm256_maddubs_epi16(trIn, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tr))), ones);
    const __m256i m3 = _mm256_madd_epi16(
        _mm256_maddubs_epi16(lower, _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(bl)), Load128(br), 1)),
        ones);
    const __m256i m4 = _mm256_madd_epi16(
        _mm256_maddubs_epi16(lower, _mm256_inserti128_si256(_mm256_setzero_si256(), Load128(bl + 32), 0)), ones);
    const __m256i s01 = _mm256_add_epi32(_mm256_unpacklo_epi32(m0, m1), _mm256_unpackhi_epi32(m0, m1));
    const __m256i s23 = _mm256_add_epi32(_mm256_unpacklo_epi32(m2, m3), _mm256_unpackhi_epi32(m2, m3));
    const __m256i sums = _mm256_add_epi32(_mm256_unpacklo_epi64(s01, s23), _mm256_unpackhi_epi64(s01, s23));
    const __m256i h = _mm256_hadd_epi32(m4, m4);
    const __m256i last = _mm256_hadd_epi32(h, h);
    const __m256i round = _mm256_set1_epi32(16);
    const __m256i words = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(sums, round), 5),
                                             _mm256_srai_epi32(_mm256_add_epi32(last, round), 5));
    const __m256i bytes = _mm256_packus_epi16(words, words);
    // Lane 0: O00 O01 O02 O20 O21 ...; lane 1: O10 O11 O12 O22 ...
    StoreBlock1pt5(_mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1)), d, dstStride);
}
#endif
#endif

}  // namespace RL_TIER_NS

using namespace RL_TIER_NS;

void RL_TIERED(setup_coeffs)(int8_t* pad, const int8_t* orig) { SetupCoeffs(pad, orig); }

void RL_TIERED(simple_scale_1pt5_process_block)(const uint8_t* src, int width, int height, int srcStride,
                                                uint8_t* dst, int dstStride, int firstRow, int rowLimit)
{
    for (int r = firstRow; r < rowLimit; r += 2) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(r) * srcStride;
        const uint8_t* r1 = r + 1 < height ? r0 + srcStride : r0;
        SimpleRowPair(r0, r1, width, dst + static_cast<ptrdiff_t>(3 * r / 2) * dstStride, dstStride);
    }
}

void RL_TIERED(brillane_2x2_process_block)(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                           int dstStride, int firstRow, int rowLimit, const uint8_t* qpList,
                                           int qpStride, const uint8_t* prev, int prevStride, int thresholdScale,
                                           int chroma, const int8_t* coeffsPad)
{
    for (int y = firstRow; y < rowLimit; y += 2) {
        SREdgeColumns2x(src, width, height, srcStride, dst, dstStride, y);
        const uint8_t* rows[4];
        const uint8_t* prevRows[4];
        SRRows2x(src, srcStride, height, y, rows);
        if (prev) SRRows2x(prev, prevStride, height, y, prevRows);
        int x = 1;
#if RL_TIER_HAS_AVX2
        if ((chroma == 0 || chroma == 1) && width >= 34) {
            const int shift = 4 - chroma;
            const uint8_t* qpRow = qpList + static_cast<ptrdiff_t>(y >> shift) * qpStride;
            uint8_t* d = dst + static_cast<ptrdiff_t>(2 * y) * dstStride;
            const uint8_t* const* before = prev ? prevRows : nullptr;
            LimitCache cache = {-1, _mm256_setzero_si256()};
            // A step reads source columns x - 1 .. x + 32.
            for (; x + 33 <= width; x += 32)
                Step2x32(rows, before, x, d + 2 * x, dstStride, qpRow, shift, thresholdScale, &cache, coeffsPad);
            // The last blocks of the row: one step ending at the last interior
            // column, overlapping blocks already written (with the same values).
            if (x < width - 1) {
                x = width - 33;
                Step2x32(rows, before, x, d + 2 * x, dstStride, qpRow, shift, thresholdScale, nullptr, coeffsPad);
                x = width - 1;
            }
        }
#endif
        // A group reads source columns x - 1 .. x + 16.
        for (; x + 16 <= width - 1; x += 16)
            Group2x(rows, prev ? prevRows : nullptr, x, y, dst, dstStride, qpList, qpStride, thresholdScale, chroma,
                    coeffsPad);
        for (; x < width - 1; x += 2) {
            if (prev && SRWindowUnchanged(rows, prevRows, x)) continue;
            SRAdaptiveBlock2x(rows, x, dst, dstStride, y,
                              SRBlockThreshold2x(qpList, qpStride, y, x, thresholdScale, chroma), coeffsPad);
        }
    }
}

void RL_TIERED(brillane_1pt5_process_block)(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                            int dstStride, int firstRow, int rowLimit, const uint8_t* qpList,
                                            int qpStride, int level, int chroma)
{
    const int8_t* table = &coeffs_sym1pt5_alt[0][0][0];
    const int shift = 4 - chroma;
    for (int r = firstRow; r < rowLimit; r += 2) {
        const uint8_t* rows[4];
        SRRows1pt5(src, srcStride, height, r, rows);
        uint8_t* d = dst + static_cast<ptrdiff_t>(3 * r / 2) * dstStride;
        const uint8_t* qpRow = qpList + static_cast<ptrdiff_t>(r >> shift) * qpStride;
        // Every block first takes the simple values; classified blocks are
        // written again below.
        SimpleRowPair(rows[1], rows[2], width, d, dstStride);
        int c = 2;
        // Eight blocks read source columns c - 1 .. c + 16.
        for (; c + 16 < width; c += 16) {
            __m128i hi0 = Load128(rows[0] + c - 1), lo0 = hi0, hi1 = Load128(rows[0] + c + 1), lo1 = hi1;
            for (int i = 1; i < 4; ++i) {
                const __m128i a = Load128(rows[i] + c - 1), b = Load128(rows[i] + c + 1);
                hi0 = _mm_max_epu8(hi0, a);
                lo0 = _mm_min_epu8(lo0, a);
                hi1 = _mm_max_epu8(hi1, b);
                lo1 = _mm_min_epu8(lo1, b);
            }
            __m128i hi = _mm_max_epu8(hi0, hi1), lo = _mm_min_epu8(lo0, lo1);
            // Byte 2b: the extremes of block b's 4x4 window.
            hi = _mm_max_epu8(hi, _mm_srli_epi16(hi, 8));
            lo = _mm_min_epu8(lo, _mm_srli_epi16(lo, 8));
            const __m128i range = _mm_sub_epi8(hi, lo);
            // Blocks to classify (bit 2b): one threshold for the eight blocks
            // when their quantisers agree, as they mostly do.
            const int q = qpRow[c >> shift];
            bool uniform = true;
            for (int b = 1; b < 8; ++b) uniform = uniform && qpRow[(c + 2 * b) >> shift] == q;
            unsigned classify = 0;
            if (uniform) {
                const int t = level * qp_threshold[q > 51 ? 51 : q];
                if (t <= 255) {
                    const __m128i tb = _mm_set1_epi8(static_cast<char>(t < 0 ? 0 : t));
                    classify = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(range, tb), range))) &
                               0x5555u;
                }
            } else {
                alignas(16) uint8_t ranges[16];
                _mm_store_si128(reinterpret_cast<__m128i*>(ranges), range);
                for (int b = 0; b < 8; ++b)
                    if (!(SRBlockThreshold1pt5(qpList, qpStride, r, c + 2 * b, level, chroma) > ranges[2 * b]))
                        classify |= 1u << (2 * b);
            }
            if (!classify) continue;
#if RL_TIER_HAS_SSSE3
            alignas(16) uint8_t mids[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(mids),
                            _mm_sub_epi8(_mm_avg_epu8(lo, hi), _mm_and_si128(_mm_xor_si128(lo, hi), _mm_set1_epi8(1))));
            while (classify) {
                const int l = __builtin_ctz(classify);
                classify &= classify - 1;
                const int cb = c + l;
                ClassifiedBlock1pt5(rows, cb, mids[l], d + 3 * cb / 2, dstStride, table);
            }
#else
            while (classify) {
                const int l = __builtin_ctz(classify);
                classify &= classify - 1;
                const int cb = c + l;
                SRAdaptiveBlock1pt5(rows, cb, d + 3 * cb / 2, dstStride,
                                    SRBlockThreshold1pt5(qpList, qpStride, r, cb, level, chroma), table, true);
            }
#endif
        }
        for (; c < width - 2; c += 2)
            SRAdaptiveBlock1pt5(rows, c, d + 3 * c / 2, dstStride, SRBlockThreshold1pt5(qpList, qpStride, r, c, level, chroma),
                                table, true);
    }
}

}  // namespace Ravvel
