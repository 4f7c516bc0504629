// Built once per tier. SIMD row routines for the colour converter: each
// converts whole vectors of pixels with the reference's integer arithmetic
// (16-bit lanes, 32-bit where products outgrow them) and leaves the rest of
// the row to the scalar routine. The picture walk is the reference's driver.
#include "csc/csc_kernels.h"
#include "simd/tier.h"

#if RL_TIER_HAS_AVX2
#define RLV(op) _mm256_##op
#define RLV_AND(a, b) _mm256_and_si256(a, b)
#define RLV_OR(a, b) _mm256_or_si256(a, b)
#else
#define RLV(op) _mm_##op
#define RLV_AND(a, b) _mm_and_si128(a, b)
#define RLV_OR(a, b) _mm_or_si128(a, b)
#endif

namespace Ravvel {
namespace RL_TIER_NS {

// Pixels per step: one vector of bytes.
enum { kStep = kVecBytes, kHalf = kVecBytes / 2, kQuarter = kVecBytes / 4 };

static inline VecI Set16(int v) { return RLV(set1_epi16)(static_cast<int16_t>(v)); }
static inline VecI Set32(int32_t v) { return RLV(set1_epi32)(v); }
// Factors for a multiply-add over (even, odd) 16-bit lane pairs.
static inline VecI Pair16(int even, int odd)
{
    return Set32(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(even)) |
                                      (static_cast<uint32_t>(static_cast<uint16_t>(odd)) << 16)));
}
static inline __m128i Count(int bits) { return _mm_cvtsi32_si128(bits); }
// Byte bits/8 of every 32-bit lane, zero-extended.
static inline VecI Chan(VecI p, __m128i bits) { return RLV_AND(RLV(srl_epi32)(p, bits), Set32(0xFF)); }
static inline VecI Shl32(VecI p, __m128i bits) { return RLV(sll_epi32)(p, bits); }

// In-order packing and interleaving: on AVX2 the 128-bit lanes are put back
// in memory order.
#if RL_TIER_HAS_AVX2
static inline VecI PackU8(VecI lo, VecI hi) { return _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8); }
static inline VecI PackI16(VecI lo, VecI hi) { return _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8); }
static inline void Zip8(VecI a, VecI b, VecI* lo, VecI* hi)
{
    const VecI t0 = _mm256_unpacklo_epi8(a, b), t1 = _mm256_unpackhi_epi8(a, b);
    *lo = _mm256_permute2x128_si256(t0, t1, 0x20);
    *hi = _mm256_permute2x128_si256(t0, t1, 0x31);
}
// kHalf bytes of a and of b, interleaved.
static inline VecI ZipHalves(const uint8_t* a, const uint8_t* b)
{
    const __m128i x = Load128(a), y = Load128(b);
    return _mm256_set_m128i(_mm_unpackhi_epi8(x, y), _mm_unpacklo_epi8(x, y));
}
#else
static inline VecI PackU8(VecI lo, VecI hi) { return _mm_packus_epi16(lo, hi); }
static inline VecI PackI16(VecI lo, VecI hi) { return _mm_packs_epi32(lo, hi); }
static inline void Zip8(VecI a, VecI b, VecI* lo, VecI* hi)
{
    *lo = _mm_unpacklo_epi8(a, b);
    *hi = _mm_unpackhi_epi8(a, b);
}
static inline VecI ZipHalves(const uint8_t* a, const uint8_t* b) { return _mm_unpacklo_epi8(Load64(a), Load64(b)); }
#endif

// ---- 3-byte pixels <-> 32-bit lanes --------------------------------------------
// Load3To4 reads kQuarter pixels (3 * kQuarter bytes) plus 4 bytes beyond;
// Store3From4 writes them plus 4 scratch bytes beyond. Callers keep two
// pixels of slack at the end of the row.
#if RL_TIER_HAS_AVX2
static inline VecI Load3To4(const uint8_t* s)
{
    const VecI m = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3, 4, 5, -1, 6,
                                    7, 8, -1, 9, 10, 11, -1);
    return _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(Load128(s)), Load128(s + 12), 1), m);
}
static inline void Store3From4(uint8_t* d, VecI p)
{
    const VecI m = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8, 9, 10,
                                    12, 13, 14, -1, -1, -1, -1);
    const VecI c = _mm256_shuffle_epi8(p, m);
    Store128(d, _mm256_castsi256_si128(c));
    Store128(d + 12, _mm256_extracti128_si256(c, 1));
}
#elif RL_TIER_HAS_SSSE3
static inline VecI Load3To4(const uint8_t* s)
{
    return _mm_shuffle_epi8(Load128(s), _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
}
static inline void Store3From4(uint8_t* d, VecI p)
{
    Store128(d, _mm_shuffle_epi8(p, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1)));
}
#else
// Without a byte shuffle: move the second pixel of each 64-bit half next to
// the first, then close the gap between the halves.
static inline VecI Expand64(VecI q)
{
    const VecI first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const VecI second = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
    return _mm_or_si128(_mm_and_si128(q, first), _mm_and_si128(_mm_slli_epi64(q, 8), second));
}
static inline VecI Load3To4(const uint8_t* s)
{
    const VecI v = Load128(s);
    return _mm_unpacklo_epi64(Expand64(v), Expand64(_mm_srli_si128(v, 6)));
}
static inline void Store3From4(uint8_t* d, VecI p)
{
    const VecI first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const VecI second = _mm_set_epi32(0x0000FFFF, static_cast<int32_t>(0xFF000000u), 0x0000FFFF,
                                      static_cast<int32_t>(0xFF000000u));
    const VecI r = _mm_or_si128(_mm_and_si128(p, first), _mm_and_si128(_mm_srli_epi64(p, 8), second));
    const VecI low6 = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
    const VecI next6 = _mm_set_epi32(0, -1, static_cast<int32_t>(0xFFFF0000u), 0);
    Store128(d, _mm_or_si128(_mm_and_si128(r, low6), _mm_and_si128(_mm_srli_si128(r, 2), next6)));
}
#endif

// kStep pixels whose four byte planes are c0..c3, interleaved in memory order.
static inline void Interleave4(VecI c0, VecI c1, VecI c2, VecI c3, VecI out[4])
{
    const VecI a0 = RLV(unpacklo_epi8)(c0, c1), a1 = RLV(unpackhi_epi8)(c0, c1);
    const VecI b0 = RLV(unpacklo_epi8)(c2, c3), b1 = RLV(unpackhi_epi8)(c2, c3);
    const VecI q0 = RLV(unpacklo_epi16)(a0, b0), q1 = RLV(unpackhi_epi16)(a0, b0);
    const VecI q2 = RLV(unpacklo_epi16)(a1, b1), q3 = RLV(unpackhi_epi16)(a1, b1);
#if RL_TIER_HAS_AVX2
    // Each 128-bit lane holds its own quarter; one lane swap per pair.
    out[0] = _mm256_permute2x128_si256(q0, q1, 0x20);
    out[1] = _mm256_permute2x128_si256(q2, q3, 0x20);
    out[2] = _mm256_permute2x128_si256(q0, q1, 0x31);
    out[3] = _mm256_permute2x128_si256(q2, q3, 0x31);
#else
    out[0] = q0;
    out[1] = q1;
    out[2] = q2;
    out[3] = q3;
#endif
}

// Byte permutation inside every 32-bit lane: out byte k = in byte from[k].
struct BytePerm {
#if RL_TIER_HAS_SSSE3
    VecI mask;
#else
    __m128i from[4];
#endif
};
static inline BytePerm MakePerm(const int from[4])
{
    BytePerm p;
#if RL_TIER_HAS_SSSE3
    alignas(32) int8_t m[kVecBytes];
    for (int i = 0; i < kVecBytes; ++i) m[i] = static_cast<int8_t>((i & ~3) + from[i & 3]);
    p.mask = VLoad(m);
#else
    for (int k = 0; k < 4; ++k) p.from[k] = Count(8 * from[k]);
#endif
    return p;
}
static inline VecI ApplyPerm(VecI v, const BytePerm& p)
{
#if RL_TIER_HAS_SSSE3
    return RLV(shuffle_epi8)(v, p.mask);
#else
    VecI r = Chan(v, p.from[0]);
    r = RLV_OR(r, RLV(slli_epi32)(Chan(v, p.from[1]), 8));
    r = RLV_OR(r, RLV(slli_epi32)(Chan(v, p.from[2]), 16));
    return RLV_OR(r, RLV(slli_epi32)(Chan(v, p.from[3]), 24));
#endif
}

// Exchanges the two bytes of every 16-bit lane (U, V <-> V, U).
static inline VecI SwapBytes16(VecI v) { return RLV_OR(RLV(slli_epi16)(v, 8), RLV(srli_epi16)(v, 8)); }

// ---- YUV to RGB -------------------------------------------------------------------

struct YuvShifts {
    __m128i y0, y1, u, v;  // packed 4:2:2: byte positions as shift counts
    bool swapped;          // semi-planar: V before U
};

static inline YuvShifts MakeYuvShifts(const CscYuvRow& in)
{
    YuvShifts s;
    s.y0 = Count(8 * in.lay.y0);
    s.y1 = Count(8 * in.lay.y1);
    s.u = Count(8 * in.lay.u);
    s.v = Count(8 * in.lay.v);
    s.swapped = in.v < in.u;
    return s;
}

// Y of the two pixels of each macropixel as two 16-bit lanes.
static inline VecI PackedLuma16(VecI p, const YuvShifts& s)
{
    return RLV_OR(Chan(p, s.y0), RLV(slli_epi32)(Chan(p, s.y1), 16));
}

// kStep pixels from x as 16-bit lanes: luma split by an in-lane unpack (on
// AVX2 ylo holds pixels 0-7 and 16-23, yhi 8-15 and 24-31) and one U, V pair
// per two pixels in memory order, so that an in-lane duplicate lines chroma up
// with luma and an in-lane pack gives bytes in memory order.
template <int Kind>
static inline void LoadYuv(const CscYuvRow& in, const YuvShifts& s, int x, VecI* ylo, VecI* yhi, VecI* u, VecI* v)
{
    if (Kind == kCscPacked422) {
        const VecI p0 = VLoad(in.base + 2 * x), p1 = VLoad(in.base + 2 * x + kVecBytes);
        const VecI l0 = PackedLuma16(p0, s), l1 = PackedLuma16(p1, s);
#if RL_TIER_HAS_AVX2
        *ylo = _mm256_permute2x128_si256(l0, l1, 0x20);
        *yhi = _mm256_permute2x128_si256(l0, l1, 0x31);
#else
        *ylo = l0;
        *yhi = l1;
#endif
        *u = PackI16(Chan(p0, s.u), Chan(p1, s.u));
        *v = PackI16(Chan(p0, s.v), Chan(p1, s.v));
        return;
    }
    const VecI y = VLoad(in.y + x);
    *ylo = RLV(unpacklo_epi8)(y, VZero());
    *yhi = RLV(unpackhi_epi8)(y, VZero());
    if (Kind == kCscPlanar420) {
        *u = VWidenU8(in.u + x / 2);
        *v = VWidenU8(in.v + x / 2);
    } else {
        const VecI uv = VLoad(in.base + x);
        const VecI lo = RLV_AND(uv, Set16(0xFF)), hi = RLV(srli_epi16)(uv, 8);
        *u = s.swapped ? hi : lo;
        *v = s.swapped ? lo : hi;
    }
}

// The reference arithmetic: L = 74 (Y - 16), chroma terms 102, 52, 25, 129
// times (C - 128), an arithmetic shift by 6 and a clamp. Blue alone can leave
// 16 bits; it saturates where the clamp gives 255 anyway.
static inline void YuvToRgb8(VecI ylo, VecI yhi, VecI u16, VecI v16, VecI* r, VecI* g, VecI* b)
{
    const VecI u = RLV(sub_epi16)(u16, Set16(128));
    const VecI v = RLV(sub_epi16)(v16, Set16(128));
    const VecI vr = RLV(mullo_epi16)(v, Set16(102));
    const VecI guv = RLV(add_epi16)(RLV(mullo_epi16)(u, Set16(25)), RLV(mullo_epi16)(v, Set16(52)));
    const VecI ub = RLV(mullo_epi16)(u, Set16(129));
    const VecI vrL = RLV(unpacklo_epi16)(vr, vr), vrH = RLV(unpackhi_epi16)(vr, vr);
    const VecI gL = RLV(unpacklo_epi16)(guv, guv), gH = RLV(unpackhi_epi16)(guv, guv);
    const VecI ubL = RLV(unpacklo_epi16)(ub, ub), ubH = RLV(unpackhi_epi16)(ub, ub);
    const VecI lL = RLV(mullo_epi16)(RLV(sub_epi16)(ylo, Set16(16)), Set16(74));
    const VecI lH = RLV(mullo_epi16)(RLV(sub_epi16)(yhi, Set16(16)), Set16(74));
    *r = RLV(packus_epi16)(RLV(srai_epi16)(RLV(add_epi16)(lL, vrL), 6), RLV(srai_epi16)(RLV(add_epi16)(lH, vrH), 6));
    *g = RLV(packus_epi16)(RLV(srai_epi16)(RLV(sub_epi16)(lL, gL), 6), RLV(srai_epi16)(RLV(sub_epi16)(lH, gH), 6));
    *b = RLV(packus_epi16)(RLV(srai_epi16)(RLV(adds_epi16)(lL, ubL), 6),
                           RLV(srai_epi16)(RLV(adds_epi16)(lH, ubH), 6));
}

// Destination layouts. PR, PG, PB, PA: byte positions of the channels.
template <int PR, int PG, int PB, int PA>
struct Store4 {
    enum { kSlack = 0 };
    static inline void Put(const CscRgbRow& o, int x, VecI r, VecI g, VecI b)
    {
        VecI c[4], out[4];
        c[PR] = r;
        c[PG] = g;
        c[PB] = b;
        c[PA] = Set32(-1);
        Interleave4(c[0], c[1], c[2], c[3], out);
        uint8_t* d = o.base + 4 * x;
        for (int j = 0; j < 4; ++j) VStore(d + j * kVecBytes, out[j]);
    }
};
template <int PR, int PG, int PB>
struct Store3 {
    enum { kSlack = 2 };
    static inline void Put(const CscRgbRow& o, int x, VecI r, VecI g, VecI b)
    {
        VecI c[4], out[4];
        c[PR] = r;
        c[PG] = g;
        c[PB] = b;
        c[3] = VZero();
        Interleave4(c[0], c[1], c[2], c[3], out);
        uint8_t* d = o.base + 3 * x;
        for (int j = 0; j < 4; ++j) Store3From4(d + j * 3 * kQuarter, out[j]);
    }
};
struct StorePlanar {
    enum { kSlack = 0 };
    static inline void Put(const CscRgbRow& o, int x, VecI r, VecI g, VecI b)
    {
        VStore(o.r + x, r);
        VStore(o.g + x, g);
        VStore(o.b + x, b);
    }
};

template <int Kind, class Out>
static void YuvToRgbRowT(const CscYuvToRgbArgs& a, int x0, int x1)
{
    const YuvShifts s = MakeYuvShifts(a.in);
    int x = x0;
    for (; x + kStep + Out::kSlack <= x1; x += kStep) {
        VecI ylo, yhi, u, v, r, g, b;
        LoadYuv<Kind>(a.in, s, x, &ylo, &yhi, &u, &v);
        YuvToRgb8(ylo, yhi, u, v, &r, &g, &b);
        Out::Put(a.out, x, r, g, b);
    }
    CscYuvToRgbRow_c(a, x, x1);
}

template <int Kind>
static CscYuvToRgbRowFunc PickYuvToRgb(int32_t format)
{
    switch (format) {
    case RL_FORMAT_RGB24: return YuvToRgbRowT<Kind, Store3<0, 1, 2>>;
    case RL_FORMAT_BGR24: return YuvToRgbRowT<Kind, Store3<2, 1, 0>>;
    case RL_FORMAT_RGBA: return YuvToRgbRowT<Kind, Store4<0, 1, 2, 3>>;
    case RL_FORMAT_BGRA: return YuvToRgbRowT<Kind, Store4<2, 1, 0, 3>>;
    case RL_FORMAT_ARGB: return YuvToRgbRowT<Kind, Store4<1, 2, 3, 0>>;
    case RL_FORMAT_ABGR: return YuvToRgbRowT<Kind, Store4<3, 2, 1, 0>>;
    case RL_FORMAT_RGB_PLANAR:
    case RL_FORMAT_BGR_PLANAR: return YuvToRgbRowT<Kind, StorePlanar>;
    default: return CscYuvToRgbRow_c;
    }
}

static void YuvToRgbRow(const CscYuvToRgbArgs& a, int x0, int x1)
{
    CscYuvToRgbRowFunc f = CscYuvToRgbRow_c;
    if (a.in.kind == kCscPlanar420) f = PickYuvToRgb<kCscPlanar420>(a.out.format);
    else if (a.in.kind == kCscSemi420) f = PickYuvToRgb<kCscSemi420>(a.out.format);
    else f = PickYuvToRgb<kCscPacked422>(a.out.format);
    f(a, x0, x1);
}

// ---- RGB sources ---------------------------------------------------------------------

enum { kRgb3 = 0, kRgb4 = 1, kRgbPlanar = 2 };

struct RgbShifts {
    __m128i r, g, b;
};
static inline RgbShifts MakeRgbShifts(const CscRgbRow& in)
{
    RgbShifts s;
    s.r = Count(8 * in.ch.r);
    s.g = Count(8 * in.ch.g);
    s.b = Count(8 * in.ch.b);
    return s;
}

// kStep pixels from x as 16-bit R, G, B in two halves each.
template <int Kind>
static inline void LoadRgb(const CscRgbRow& in, const RgbShifts& s, int x, VecI r[2], VecI g[2], VecI b[2])
{
    if (Kind == kRgbPlanar) {
        r[0] = VWidenU8(in.r + x);
        r[1] = VWidenU8(in.r + x + kHalf);
        g[0] = VWidenU8(in.g + x);
        g[1] = VWidenU8(in.g + x + kHalf);
        b[0] = VWidenU8(in.b + x);
        b[1] = VWidenU8(in.b + x + kHalf);
        return;
    }
    VecI p[4];
    for (int j = 0; j < 4; ++j)
        p[j] = Kind == kRgb4 ? VLoad(in.base + 4 * x + j * kVecBytes) : Load3To4(in.base + 3 * x + j * 3 * kQuarter);
    r[0] = PackI16(Chan(p[0], s.r), Chan(p[1], s.r));
    r[1] = PackI16(Chan(p[2], s.r), Chan(p[3], s.r));
    g[0] = PackI16(Chan(p[0], s.g), Chan(p[1], s.g));
    g[1] = PackI16(Chan(p[2], s.g), Chan(p[3], s.g));
    b[0] = PackI16(Chan(p[0], s.b), Chan(p[1], s.b));
    b[1] = PackI16(Chan(p[2], s.b), Chan(p[3], s.b));
}

// 66 R + 129 G + 25 B + 128 stays below 65536: exact in unsigned 16-bit lanes.
static inline VecI Luma16(VecI r, VecI g, VecI b)
{
    const VecI s = RLV(add_epi16)(RLV(add_epi16)(RLV(mullo_epi16)(r, Set16(66)), RLV(mullo_epi16)(g, Set16(129))),
                                  RLV(add_epi16)(RLV(mullo_epi16)(b, Set16(25)), Set16(128)));
    return RLV(add_epi16)(RLV(srli_epi16)(s, 8), Set16(16));
}

// Chroma from per-pair sums in 32-bit lanes (each below 2^16):
// (cb * B + cr * R + cg * G + round) >> shift, + 128.
static inline VecI Chroma32(VecI rs, VecI gs, VecI bs, int cr, int cg, int cb, int round, int shift)
{
    const VecI br = RLV_OR(bs, RLV(slli_epi32)(rs, 16));
    const VecI g1 = RLV_OR(gs, Set32(0x10000));
    const VecI sum = RLV(add_epi32)(RLV(madd_epi16)(br, Pair16(cb, cr)), RLV(madd_epi16)(g1, Pair16(cg, round)));
    const __m128i n = Count(shift);
    return RLV(add_epi32)(RLV(sra_epi32)(sum, n), Set32(128));
}

static inline VecI PairSum32(VecI v) { return RLV(madd_epi16)(v, Set16(1)); }

template <int Kind>
static void RgbToYuv420RowT(const CscRgbToYuv420Args& a, int x0, int x1)
{
    const RgbShifts s0 = MakeRgbShifts(a.in[0]), s1 = MakeRgbShifts(a.in[1]);
    const bool semi = a.cStep == 2;
    uint8_t* uv = a.u < a.v ? a.u : a.v;
    const bool vFirst = a.v < a.u;
    const int slack = Kind == kRgb3 ? 2 : 0;
    int x = x0;
    for (; x + kStep + slack <= x1; x += kStep) {
        VecI r0[2], g0[2], b0[2], r1[2], g1[2], b1[2];
        LoadRgb<Kind>(a.in[0], s0, x, r0, g0, b0);
        LoadRgb<Kind>(a.in[1], s1, x, r1, g1, b1);
        VStore(a.y[0] + x, PackU8(Luma16(r0[0], g0[0], b0[0]), Luma16(r0[1], g0[1], b0[1])));
        VStore(a.y[1] + x, PackU8(Luma16(r1[0], g1[0], b1[0]), Luma16(r1[1], g1[1], b1[1])));
        VecI u32[2], v32[2];
        for (int h = 0; h < 2; ++h) {
            const VecI rs = PairSum32(RLV(add_epi16)(r0[h], r1[h]));
            const VecI gs = PairSum32(RLV(add_epi16)(g0[h], g1[h]));
            const VecI bs = PairSum32(RLV(add_epi16)(b0[h], b1[h]));
            u32[h] = Chroma32(rs, gs, bs, -38, -74, 112, 512, 10);
            v32[h] = Chroma32(rs, gs, bs, 112, -94, -18, 512, 10);
        }
        const VecI u16 = PackI16(u32[0], u32[1]);
        const VecI v16 = PackI16(v32[0], v32[1]);
        if (semi) {
            VStore(uv + x, vFirst ? RLV_OR(v16, RLV(slli_epi16)(u16, 8)) : RLV_OR(u16, RLV(slli_epi16)(v16, 8)));
        } else {
            VNarrowStoreU8(a.u + x / 2, u16);
            VNarrowStoreU8(a.v + x / 2, v16);
        }
    }
    CscRgbToYuv420Row_c(a, x, x1);
}

static inline int RgbKind(const CscRgbRow& r) { return r.step == 1 ? kRgbPlanar : (r.step == 3 ? kRgb3 : kRgb4); }

static void RgbToYuv420Row(const CscRgbToYuv420Args& a, int x0, int x1)
{
    switch (RgbKind(a.in[0])) {
    case kRgb3: RgbToYuv420RowT<kRgb3>(a, x0, x1); break;
    case kRgb4: RgbToYuv420RowT<kRgb4>(a, x0, x1); break;
    default: RgbToYuv420RowT<kRgbPlanar>(a, x0, x1); break;
    }
}

// Macropixels for the pixels of one vector half: Y pairs in 16-bit lanes,
// U and V per pair in 32-bit lanes, each moved to its byte.
static inline VecI Macropixels(VecI y16, VecI u32, VecI v32, const YuvShifts& s)
{
    const VecI y0 = RLV_AND(y16, Set32(0xFFFF));
    const VecI y1 = RLV(srli_epi32)(y16, 16);
    return RLV_OR(RLV_OR(Shl32(y0, s.y0), Shl32(y1, s.y1)), RLV_OR(Shl32(u32, s.u), Shl32(v32, s.v)));
}

static inline YuvShifts LayoutShifts(const CscYuv422Layout& l)
{
    YuvShifts s;
    s.y0 = Count(8 * l.y0);
    s.y1 = Count(8 * l.y1);
    s.u = Count(8 * l.u);
    s.v = Count(8 * l.v);
    s.swapped = false;
    return s;
}

template <int Kind>
static void RgbToYuv422RowT(const CscRgbToYuv422Args& a, int x0, int x1)
{
    const RgbShifts s = MakeRgbShifts(a.in);
    const YuvShifts o = LayoutShifts(a.lay);
    const int slack = Kind == kRgb3 ? 2 : 0;
    int x = x0;
    for (; x + kStep + slack <= x1; x += kStep) {
        VecI r[2], g[2], b[2];
        LoadRgb<Kind>(a.in, s, x, r, g, b);
        for (int h = 0; h < 2; ++h) {
            const VecI rs = PairSum32(r[h]), gs = PairSum32(g[h]), bs = PairSum32(b[h]);
            const VecI u32 = Chroma32(rs, gs, bs, -38, -74, 112, 256, 9);
            const VecI v32 = Chroma32(rs, gs, bs, 112, -94, -18, 256, 9);
            VStore(a.out + 2 * x + h * kVecBytes, Macropixels(Luma16(r[h], g[h], b[h]), u32, v32, o));
        }
    }
    CscRgbToYuv422Row_c(a, x, x1);
}

static void RgbToYuv422Row(const CscRgbToYuv422Args& a, int x0, int x1)
{
    switch (RgbKind(a.in)) {
    case kRgb3: RgbToYuv422RowT<kRgb3>(a, x0, x1); break;
    case kRgb4: RgbToYuv422RowT<kRgb4>(a, x0, x1); break;
    default: RgbToYuv422RowT<kRgbPlanar>(a, x0, x1); break;
    }
}

// ---- RGB to RGB (4-byte and planar; the rest stays scalar) -----------------------------

static void Rgb4ToRgb4Row(const CscRgbToRgbArgs& a, int x0, int x1)
{
    // Every 4-byte layout has alpha, so the conversion is a byte permutation.
    int from[4];
    from[a.out.ch.r] = a.in.ch.r;
    from[a.out.ch.g] = a.in.ch.g;
    from[a.out.ch.b] = a.in.ch.b;
    from[a.out.ch.a] = a.in.ch.a;
    const BytePerm p = MakePerm(from);
    int x = x0;
    for (; x + kQuarter <= x1; x += kQuarter) VStore(a.out.base + 4 * x, ApplyPerm(VLoad(a.in.base + 4 * x), p));
    CscRgbToRgbRow_c(a, x, x1);
}

static void Rgb4ToPlanarRow(const CscRgbToRgbArgs& a, int x0, int x1)
{
    const RgbShifts s = MakeRgbShifts(a.in);
    int x = x0;
    for (; x + kStep <= x1; x += kStep) {
        VecI r[2], g[2], b[2];
        LoadRgb<kRgb4>(a.in, s, x, r, g, b);
        VStore(a.out.r + x, PackU8(r[0], r[1]));
        VStore(a.out.g + x, PackU8(g[0], g[1]));
        VStore(a.out.b + x, PackU8(b[0], b[1]));
    }
    CscRgbToRgbRow_c(a, x, x1);
}

template <class Out>
static void PlanarToRgb4RowT(const CscRgbToRgbArgs& a, int x0, int x1)
{
    int x = x0;
    for (; x + kStep <= x1; x += kStep) Out::Put(a.out, x, VLoad(a.in.r + x), VLoad(a.in.g + x), VLoad(a.in.b + x));
    CscRgbToRgbRow_c(a, x, x1);
}

static void RgbToRgbRow(const CscRgbToRgbArgs& a, int x0, int x1)
{
    if (a.in.step == 4 && a.out.step == 4) return Rgb4ToRgb4Row(a, x0, x1);
    if (a.in.step == 4 && a.out.step == 1) return Rgb4ToPlanarRow(a, x0, x1);
    if (a.in.step == 1 && a.out.step == 4) {
        switch (a.out.format) {
        case RL_FORMAT_RGBA: return PlanarToRgb4RowT<Store4<0, 1, 2, 3>>(a, x0, x1);
        case RL_FORMAT_BGRA: return PlanarToRgb4RowT<Store4<2, 1, 0, 3>>(a, x0, x1);
        case RL_FORMAT_ARGB: return PlanarToRgb4RowT<Store4<1, 2, 3, 0>>(a, x0, x1);
        case RL_FORMAT_ABGR: return PlanarToRgb4RowT<Store4<3, 2, 1, 0>>(a, x0, x1);
        default: break;
        }
    }
    CscRgbToRgbRow_c(a, x0, x1);
}

// ---- YUV to YUV ----------------------------------------------------------------------

static void Chroma420Row(const CscChroma420Args& a, int x0, int x1)
{
    int k = x0;
    if (a.inStep == 1 && a.outStep == 2) {
        uint8_t* uv = a.ou < a.ov ? a.ou : a.ov;
        const uint8_t* first = a.ou < a.ov ? a.u : a.v;
        const uint8_t* second = a.ou < a.ov ? a.v : a.u;
        for (; k + kStep <= x1; k += kStep) {
            VecI lo, hi;
            Zip8(VLoad(first + k), VLoad(second + k), &lo, &hi);
            VStore(uv + 2 * k, lo);
            VStore(uv + 2 * k + kVecBytes, hi);
        }
    } else if (a.inStep == 2 && a.outStep == 1) {
        const uint8_t* uv = a.u < a.v ? a.u : a.v;
        uint8_t* even = a.u < a.v ? a.ou : a.ov;
        uint8_t* odd = a.u < a.v ? a.ov : a.ou;
        for (; k + kStep <= x1; k += kStep) {
            const VecI p0 = VLoad(uv + 2 * k), p1 = VLoad(uv + 2 * k + kVecBytes);
            VStore(even + k, PackU8(RLV_AND(p0, Set16(0xFF)), RLV_AND(p1, Set16(0xFF))));
            VStore(odd + k, PackU8(RLV(srli_epi16)(p0, 8), RLV(srli_epi16)(p1, 8)));
        }
    }
    CscChroma420Row_c(a, k, x1);
}

static void Yuv420To422Row(const CscYuv420To422Args& a, int x0, int x1)
{
    const CscYuvRow& in = a.in;
    const bool uFirst = a.lay.u < a.lay.v;
    const bool lumaFirst = a.lay.y0 == 0;
    const bool semi = in.kind == kCscSemi420;
    // Semi-planar chroma arrives as U, V pairs (or V, U); swap when the
    // macropixel wants the other order.
    const bool swap = semi && ((in.u < in.v) != uFirst);
    const uint8_t* c0 = uFirst ? in.u : in.v;
    const uint8_t* c1 = uFirst ? in.v : in.u;
    int x = x0;
    for (; x + kStep <= x1; x += kStep) {
        const VecI y = VLoad(in.y + x);
        VecI c;
        if (semi) {
            c = VLoad(in.base + x);
            if (swap) c = SwapBytes16(c);
        } else {
            c = ZipHalves(c0 + x / 2, c1 + x / 2);
        }
        VecI lo, hi;
        if (lumaFirst) Zip8(y, c, &lo, &hi);
        else Zip8(c, y, &lo, &hi);
        VStore(a.out + 2 * x, lo);
        VStore(a.out + 2 * x + kVecBytes, hi);
    }
    CscYuv420To422Row_c(a, x, x1);
}

static void Yuv422To420Row(const CscYuv422To420Args& a, int x0, int x1)
{
    const YuvShifts s = LayoutShifts(a.lay);
    const bool semi = a.cStep == 2;
    uint8_t* uv = a.u < a.v ? a.u : a.v;
    const bool vFirst = a.v < a.u;
    int x = x0;
    for (; x + kStep <= x1; x += kStep) {
        const VecI p0 = VLoad(a.in[0] + 2 * x), p1 = VLoad(a.in[0] + 2 * x + kVecBytes);
        const VecI q0 = VLoad(a.in[1] + 2 * x), q1 = VLoad(a.in[1] + 2 * x + kVecBytes);
        VStore(a.y[0] + x, PackU8(PackedLuma16(p0, s), PackedLuma16(p1, s)));
        VStore(a.y[1] + x, PackU8(PackedLuma16(q0, s), PackedLuma16(q1, s)));
        // (a + b + 1) >> 1 on every byte; only the chroma bytes are kept.
        const VecI m0 = RLV(avg_epu8)(p0, q0), m1 = RLV(avg_epu8)(p1, q1);
        const VecI u16 = PackI16(Chan(m0, s.u), Chan(m1, s.u));
        const VecI v16 = PackI16(Chan(m0, s.v), Chan(m1, s.v));
        if (semi) {
            VStore(uv + x, vFirst ? RLV_OR(v16, RLV(slli_epi16)(u16, 8)) : RLV_OR(u16, RLV(slli_epi16)(v16, 8)));
        } else {
            VNarrowStoreU8(a.u + x / 2, u16);
            VNarrowStoreU8(a.v + x / 2, v16);
        }
    }
    CscYuv422To420Row_c(a, x, x1);
}

static void Yuv422To422Row(const CscYuv422To422Args& a, int x0, int x1)
{
    int from[4];
    from[a.outLay.y0] = a.inLay.y0;
    from[a.outLay.u] = a.inLay.u;
    from[a.outLay.y1] = a.inLay.y1;
    from[a.outLay.v] = a.inLay.v;
    const BytePerm p = MakePerm(from);
    int x = x0;
    for (; x + kHalf <= x1; x += kHalf) VStore(a.out + 2 * x, ApplyPerm(VLoad(a.in + 2 * x), p));
    CscYuv422To422Row_c(a, x, x1);
}

static void EvenPickRow(const CscEvenPickArgs& a, int x0, int x1)
{
    int k = x0;
    for (; k + kStep <= x1; k += kStep) {
        const VecI p0 = VLoad(a.in + 2 * k), p1 = VLoad(a.in + 2 * k + kVecBytes);
        VStore(a.out + k, PackU8(RLV_AND(p0, Set16(0xFF)), RLV_AND(p1, Set16(0xFF))));
    }
    CscEvenPickRow_c(a, k, x1);
}

}  // namespace RL_TIER_NS

// ---- Table kernels -----------------------------------------------------------------------

#define RL_CSC_STEM(stem, driver, row)                                                   \
    int32_t RL_TIERED(stem##_intri)(const SRLPictureInfo* src, SRLPictureInfo* dst)      \
    {                                                                                    \
        driver(src, dst, RL_TIER_NS::row);                                               \
        return RL_OK;                                                                    \
    }

RL_CSC_STEM(yuv420p_to_rgb, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(yuv420p_to_rgbx, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(yuv420p_to_rgbp, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(yuv422_to_rgb, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(yuv422_to_rgbx, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(yuv422_to_rgbp, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(nvxx_to_rgb, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(nvxx_to_rgbx, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(nvxx_to_rgbp, CscDriveYuvToRgb, YuvToRgbRow)
RL_CSC_STEM(rgb_to_yuv420p, CscDriveRgbToYuv420, RgbToYuv420Row)
RL_CSC_STEM(rgbx_to_yuv420p, CscDriveRgbToYuv420, RgbToYuv420Row)
RL_CSC_STEM(rgbp_to_yuv420p, CscDriveRgbToYuv420, RgbToYuv420Row)
RL_CSC_STEM(rgb_to_nvxx, CscDriveRgbToYuv420, RgbToYuv420Row)
RL_CSC_STEM(rgbx_to_nvxx, CscDriveRgbToYuv420, RgbToYuv420Row)
RL_CSC_STEM(rgbp_to_nvxx, CscDriveRgbToYuv420, RgbToYuv420Row)
RL_CSC_STEM(rgb_to_yuv422, CscDriveRgbToYuv422, RgbToYuv422Row)
RL_CSC_STEM(rgbx_to_yuv422, CscDriveRgbToYuv422, RgbToYuv422Row)
RL_CSC_STEM(rgbp_to_yuv422, CscDriveRgbToYuv422, RgbToYuv422Row)
RL_CSC_STEM(rgbx_to_rgbx, CscDriveRgbToRgb, RgbToRgbRow)
RL_CSC_STEM(rgbx_to_rgbp, CscDriveRgbToRgb, RgbToRgbRow)
RL_CSC_STEM(rgbp_to_rgbx, CscDriveRgbToRgb, RgbToRgbRow)
RL_CSC_STEM(yuv420p_to_nvxx, CscDriveYuv420General, Chroma420Row)
RL_CSC_STEM(nvxx_to_yuv420p, CscDriveYuv420General, Chroma420Row)
RL_CSC_STEM(yuv420p_to_yuv422, CscDriveYuv420To422, Yuv420To422Row)
RL_CSC_STEM(nvxx_to_yuv422, CscDriveYuv420To422, Yuv420To422Row)
RL_CSC_STEM(yuv422_to_yuv420p, CscDriveYuv422To420, Yuv422To420Row)
RL_CSC_STEM(yuv422_to_nvxx, CscDriveYuv422To420, Yuv422To420Row)
RL_CSC_STEM(yuv422_to_yuv422, CscDriveYuv422To422, Yuv422To422Row)
RL_CSC_STEM(i420_2_to_yuv420p, CscDriveI4202To420, EvenPickRow)

}  // namespace Ravvel
