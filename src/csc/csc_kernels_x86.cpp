// Built once per tier. SIMD row routines for the colour converter: each
// converts whole vectors of pixels with the reference's integer arithmetic
// (16-bit lanes, 32-bit where products outgrow them) and leaves the rest of
// the row to the scalar routine. The picture walk is the reference's driver;
// the YUV <-> RGB stems choose their row routines once per picture, and from
// SSSE3 on use byte shuffles and pmaddubsw instead of splitting pixels into
// channels (the SSE2 tier keeps the shift-and-mask versions).
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

struct YuvToRgbFuncs {
    CscYuvToRgbPairFunc pair;  // 4:2:0 row pairs
    CscYuvToRgbRowFunc row;    // packed 4:2:2 rows
};

#if RL_TIER_HAS_SSSE3
// ---- YUV to RGB with byte shuffles ---------------------------------------------------
// Luma is widened by pmaddubsw into even and odd pixels, so that one 16-bit
// chroma lane serves both pixels of its pair without duplication. Channel
// bytes then come out of packus per 128-bit lane as [8 even | 8 odd] pixels
// of that lane's 16; the stores undo that order with one shuffle.

// Chroma terms of kHalf pixel pairs with the luma offset folded in:
// 74 (Y - 16) + 102 (V - 128) = 74 Y + 102 V - 14240 and so on. The 16-bit
// products wrap for 129 U, but the sums are exact modulo 2^16 and in range.
struct ChromaTerms {
    VecI r, g, b;
};
static inline ChromaTerms MakeChromaTerms(VecI u, VecI v)
{
    ChromaTerms c;
    c.r = RLV(add_epi16)(RLV(mullo_epi16)(v, Set16(102)), Set16(-14240));
    c.g = RLV(sub_epi16)(RLV(sub_epi16)(Set16(8672), RLV(mullo_epi16)(u, Set16(25))),
                         RLV(mullo_epi16)(v, Set16(52)));
    c.b = RLV(add_epi16)(RLV(mullo_epi16)(u, Set16(129)), Set16(-17696));
    return c;
}

// kStep luma bytes to R, G, B bytes. Blue can pass 32767 before the shift;
// the saturating add keeps it at a value that still clamps to 255.
static inline void LumaToRgb(VecI y, const ChromaTerms& c, VecI* r, VecI* g, VecI* b)
{
    const VecI le = RLV(maddubs_epi16)(y, Set16(74));
    const VecI lo = RLV(maddubs_epi16)(y, Set16(74 << 8));
    *r = RLV(packus_epi16)(RLV(srai_epi16)(RLV(adds_epi16)(le, c.r), 6), RLV(srai_epi16)(RLV(adds_epi16)(lo, c.r), 6));
    *g = RLV(packus_epi16)(RLV(srai_epi16)(RLV(adds_epi16)(le, c.g), 6), RLV(srai_epi16)(RLV(adds_epi16)(lo, c.g), 6));
    *b = RLV(packus_epi16)(RLV(srai_epi16)(RLV(adds_epi16)(le, c.b), 6), RLV(srai_epi16)(RLV(adds_epi16)(lo, c.b), 6));
}

static inline VecI Broadcast16(const int8_t* m)
{
#if RL_TIER_HAS_AVX2
    return _mm256_broadcastsi128_si256(Load128(m));
#else
    return Load128(m);
#endif
}

// [8 even | 8 odd] pixels of each 128-bit lane back to memory order.
static const int8_t kEvenOddToOrder[16] = {0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15};

// kStep pixels of a 4:2:0 row: luma bytes, chroma as 16-bit lanes in order.
template <int Kind>
static inline void LoadChroma420(const CscYuvRow& in, bool swapped, int x, VecI* u, VecI* v)
{
    if (Kind == kCscPlanar420) {
        *u = VWidenU8(in.u + x / 2);
        *v = VWidenU8(in.v + x / 2);
    } else {
        const VecI uv = VLoad(in.base + x);
        const VecI lo = RLV_AND(uv, Set16(0xFF)), hi = RLV(srli_epi16)(uv, 8);
        *u = swapped ? hi : lo;
        *v = swapped ? lo : hi;
    }
}

// kStep pixels of a packed 4:2:2 row. `split` gathers, per 128-bit lane of
// four macropixels, the 8 luma bytes, then 4 U and 4 V.
static inline void Load422(const uint8_t* p, VecI split, int x, VecI* y, VecI* u, VecI* v)
{
    const VecI s0 = RLV(shuffle_epi8)(VLoad(p + 2 * x), split);
    const VecI s1 = RLV(shuffle_epi8)(VLoad(p + 2 * x + kVecBytes), split);
    VecI yy = RLV(unpacklo_epi64)(s0, s1);
    VecI cc = RLV(unpackhi_epi64)(s0, s1);
#if RL_TIER_HAS_AVX2
    yy = _mm256_permute4x64_epi64(yy, 0xD8);
    cc = _mm256_permute4x64_epi64(cc, 0xD8);
#endif
    static const int8_t kUvGroup[16] = {0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15};
    cc = RLV(shuffle_epi8)(cc, Broadcast16(kUvGroup));
    *y = yy;
    *u = RLV(unpacklo_epi8)(cc, VZero());
    *v = RLV(unpackhi_epi8)(cc, VZero());
}

static inline VecI Split422Mask(const CscYuv422Layout& l)
{
    alignas(16) int8_t m[16];
    for (int k = 0; k < 4; ++k) {
        m[2 * k] = static_cast<int8_t>(4 * k + l.y0);
        m[2 * k + 1] = static_cast<int8_t>(4 * k + l.y1);
        m[8 + k] = static_cast<int8_t>(4 * k + l.u);
        m[12 + k] = static_cast<int8_t>(4 * k + l.v);
    }
    return Broadcast16(m);
}

// Destinations. Each is built once per row and takes channel bytes in the
// [even | odd] lane order. PR, PG, PB, PA: byte positions of the channels.
template <int PR, int PG, int PB, int PA>
struct FastOut4 {
    VecI order;
    explicit FastOut4(const CscRgbRow&) : order(Broadcast16(kEvenOddToOrder)) {}
    inline void Put(const CscRgbRow& o, int x, VecI r, VecI g, VecI b) const
    {
        VecI c[4], out[4];
        c[PR] = RLV(shuffle_epi8)(r, order);
        c[PG] = RLV(shuffle_epi8)(g, order);
        c[PB] = RLV(shuffle_epi8)(b, order);
        c[PA] = Set32(-1);
        Interleave4(c[0], c[1], c[2], c[3], out);
        uint8_t* d = o.base + 4 * x;
        for (int j = 0; j < 4; ++j) VStore(d + j * kVecBytes, out[j]);
    }
};

// Byte b of a lane's 48 output bytes is channel position b % 3 of pixel b / 3;
// entry [j][k] picks, for output vector j, the bytes of position k from the
// [even | odd] ordered channel vector.
static const int8_t kRgb3Gather[3][3][16] = {
    {{0, -1, -1, 8, -1, -1, 1, -1, -1, 9, -1, -1, 2, -1, -1, 10},
     {-1, 0, -1, -1, 8, -1, -1, 1, -1, -1, 9, -1, -1, 2, -1, -1},
     {-1, -1, 0, -1, -1, 8, -1, -1, 1, -1, -1, 9, -1, -1, 2, -1}},
    {{-1, -1, 3, -1, -1, 11, -1, -1, 4, -1, -1, 12, -1, -1, 5, -1},
     {10, -1, -1, 3, -1, -1, 11, -1, -1, 4, -1, -1, 12, -1, -1, 5},
     {-1, 10, -1, -1, 3, -1, -1, 11, -1, -1, 4, -1, -1, 12, -1, -1}},
    {{-1, 13, -1, -1, 6, -1, -1, 14, -1, -1, 7, -1, -1, 15, -1, -1},
     {-1, -1, 13, -1, -1, 6, -1, -1, 14, -1, -1, 7, -1, -1, 15, -1},
     {5, -1, -1, 13, -1, -1, 6, -1, -1, 14, -1, -1, 7, -1, -1, 15}},
};

template <int PR, int PG, int PB>
struct FastOut3 {
    VecI m[3][3];
    explicit FastOut3(const CscRgbRow&)
    {
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) m[j][k] = Broadcast16(kRgb3Gather[j][k]);
    }
    inline void Put(const CscRgbRow& o, int x, VecI r, VecI g, VecI b) const
    {
        VecI c[3], out[3];
        c[PR] = r;
        c[PG] = g;
        c[PB] = b;
        for (int j = 0; j < 3; ++j)
            out[j] = RLV_OR(RLV_OR(RLV(shuffle_epi8)(c[0], m[j][0]), RLV(shuffle_epi8)(c[1], m[j][1])),
                            RLV(shuffle_epi8)(c[2], m[j][2]));
        uint8_t* d = o.base + 3 * x;
#if RL_TIER_HAS_AVX2
        // Lane 0 holds bytes 0-47 of the 96, lane 1 bytes 48-95.
        VStore(d, _mm256_permute2x128_si256(out[0], out[1], 0x20));
        VStore(d + 32, _mm256_blend_epi32(out[2], out[0], 0xF0));
        VStore(d + 64, _mm256_permute2x128_si256(out[1], out[2], 0x31));
#else
        VStore(d, out[0]);
        VStore(d + 16, out[1]);
        VStore(d + 32, out[2]);
#endif
    }
};

struct FastOutPlanar {
    VecI order;
    explicit FastOutPlanar(const CscRgbRow&) : order(Broadcast16(kEvenOddToOrder)) {}
    inline void Put(const CscRgbRow& o, int x, VecI r, VecI g, VecI b) const
    {
        VStore(o.r + x, RLV(shuffle_epi8)(r, order));
        VStore(o.g + x, RLV(shuffle_epi8)(g, order));
        VStore(o.b + x, RLV(shuffle_epi8)(b, order));
    }
};

// Rows rows[0..N-1] sharing the chroma of rows[0] (N = 2: a 4:2:0 row pair;
// N = 1: one row, also for packed 4:2:2).
template <int Kind, class Out, int N>
static inline void FastYuvToRgbRows(const CscYuvToRgbArgs* rows, int x0, int x1)
{
    const CscYuvRow& in = rows[0].in;
    const bool swapped = in.v < in.u;
    const VecI split = Kind == kCscPacked422 ? Split422Mask(in.lay) : VZero();
    const Out out0(rows[0].out);
    int x = x0;
    for (; x + kStep <= x1; x += kStep) {
        VecI y, u, v, r, g, b;
        if (Kind == kCscPacked422) {
            Load422(in.base, split, x, &y, &u, &v);
        } else {
            LoadChroma420<Kind>(in, swapped, x, &u, &v);
            y = VLoad(in.y + x);
        }
        const ChromaTerms c = MakeChromaTerms(u, v);
        LumaToRgb(y, c, &r, &g, &b);
        out0.Put(rows[0].out, x, r, g, b);
        for (int i = 1; i < N; ++i) {
            LumaToRgb(VLoad(rows[i].in.y + x), c, &r, &g, &b);
            out0.Put(rows[i].out, x, r, g, b);
        }
    }
    for (int i = 0; i < N; ++i) CscYuvToRgbRow_c(rows[i], x, x1);
}

template <int Kind, class Out>
static void FastYuvToRgbRow(const CscYuvToRgbArgs& a, int x0, int x1)
{
    FastYuvToRgbRows<Kind, Out, 1>(&a, x0, x1);
}

template <int Kind, class Out>
static void FastYuvToRgbPair(const CscYuvToRgbArgs& top, const CscYuvToRgbArgs& bottom, int x0, int x1)
{
    const CscYuvToRgbArgs rows[2] = {top, bottom};
    FastYuvToRgbRows<Kind, Out, 2>(rows, x0, x1);
}

template <int Kind, class Out>
static YuvToRgbFuncs FuncsFor()
{
    YuvToRgbFuncs f;
    f.pair = FastYuvToRgbPair<Kind, Out>;
    f.row = FastYuvToRgbRow<Kind, Out>;
    return f;
}

template <int Kind>
static YuvToRgbFuncs PickYuvToRgb(int32_t format)
{
    switch (format) {
    case RL_FORMAT_RGB24: return FuncsFor<Kind, FastOut3<0, 1, 2>>();
    case RL_FORMAT_BGR24: return FuncsFor<Kind, FastOut3<2, 1, 0>>();
    case RL_FORMAT_RGBA: return FuncsFor<Kind, FastOut4<0, 1, 2, 3>>();
    case RL_FORMAT_BGRA: return FuncsFor<Kind, FastOut4<2, 1, 0, 3>>();
    case RL_FORMAT_ARGB: return FuncsFor<Kind, FastOut4<1, 2, 3, 0>>();
    case RL_FORMAT_ABGR: return FuncsFor<Kind, FastOut4<3, 2, 1, 0>>();
    default: return FuncsFor<Kind, FastOutPlanar>();
    }
}
#else
// Without pshufb and pmaddubsw: luma widened by unpacks, chroma duplicated.
template <int Kind, class Out>
static void SlowPairT(const CscYuvToRgbArgs& top, const CscYuvToRgbArgs& bottom, int x0, int x1)
{
    YuvToRgbRowT<Kind, Out>(top, x0, x1);
    YuvToRgbRowT<Kind, Out>(bottom, x0, x1);
}

template <int Kind, class Out>
static YuvToRgbFuncs FuncsFor()
{
    YuvToRgbFuncs f;
    f.pair = SlowPairT<Kind, Out>;
    f.row = YuvToRgbRowT<Kind, Out>;
    return f;
}

template <int Kind>
static YuvToRgbFuncs PickYuvToRgb(int32_t format)
{
    switch (format) {
    case RL_FORMAT_RGB24: return FuncsFor<Kind, Store3<0, 1, 2>>();
    case RL_FORMAT_BGR24: return FuncsFor<Kind, Store3<2, 1, 0>>();
    case RL_FORMAT_RGBA: return FuncsFor<Kind, Store4<0, 1, 2, 3>>();
    case RL_FORMAT_BGRA: return FuncsFor<Kind, Store4<2, 1, 0, 3>>();
    case RL_FORMAT_ARGB: return FuncsFor<Kind, Store4<1, 2, 3, 0>>();
    case RL_FORMAT_ABGR: return FuncsFor<Kind, Store4<3, 2, 1, 0>>();
    default: return FuncsFor<Kind, StorePlanar>();
    }
}
#endif

static inline int32_t FormatOf(const SRLPictureInfo* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p->eFormat) & RL_FORMAT_MASK);
}

// Row routines chosen once per picture from the two formats.
static void YuvToRgb(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    const int32_t sf = FormatOf(src), df = FormatOf(dst);
    if (!CscRgbChannelTable(df)) return;
    YuvToRgbFuncs f;
    if (sf == RL_FORMAT_I420 || sf == RL_FORMAT_YV12) f = PickYuvToRgb<kCscPlanar420>(df);
    else if (sf == RL_FORMAT_NV12 || sf == RL_FORMAT_NV21) f = PickYuvToRgb<kCscSemi420>(df);
    else if (CscYuv422Table(sf)) f = PickYuvToRgb<kCscPacked422>(df);
    else return;
    CscDriveYuvToRgbPaired(src, dst, f.pair, f.row);
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

#if RL_TIER_HAS_SSSE3
// ---- RGB to YUV with pmaddubsw ---------------------------------------------------------
// The packed pixels are never split into channels: pmaddubsw multiplies every
// byte by a weight laid out by the channel table (zero for alpha) and phaddw
// finishes the per-pixel sum. Luma takes the unsigned weights 66, 129, 25
// against (pixel - 128); chroma the signed weights against the pixel. Every
// intermediate stays within 16 bits until the pairs are summed in 32 bits.
//
// On AVX2 phaddw works per 128-bit lane, so the results of pixel vectors
// (p0, p1) hold pixels 0-3 and 8-11 of the 16 in lane 0 and 4-7, 12-15 in
// lane 1; one dword permutation puts them back in memory order.

static inline VecI ChannelWeights(const CscRgbChannels& ch, int wr, int wg, int wb)
{
    const uint32_t w = (static_cast<uint32_t>(static_cast<uint8_t>(wr)) << (8 * ch.r)) |
                       (static_cast<uint32_t>(static_cast<uint8_t>(wg)) << (8 * ch.g)) |
                       (static_cast<uint32_t>(static_cast<uint8_t>(wb)) << (8 * ch.b));
    return Set32(static_cast<int32_t>(w));
}

struct RgbWeights {
    VecI y, u, v;
};
static inline RgbWeights MakeRgbWeights(const CscRgbChannels& ch)
{
    RgbWeights w;
    w.y = ChannelWeights(ch, 66, 129, 25);
    w.u = ChannelWeights(ch, -38, -74, 112);
    w.v = ChannelWeights(ch, 112, -94, -18);
    return w;
}

// kStep pixels from x as four vectors of kQuarter 4-byte pixels.
template <int Kind>
static inline void LoadPixels(const uint8_t* base, int x, VecI p[4])
{
#if RL_TIER_HAS_AVX2
    if (Kind == kRgb3) {
        // One 32-byte load per 8 pixels, its dwords spread so that each lane
        // holds 12 bytes; the last group is loaded 8 bytes early so that
        // nothing past the 96 bytes of the block is read.
        const uint8_t* s = base + 3 * x;
        const VecI mask = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3, 4, 5,
                                           -1, 6, 7, 8, -1, 9, 10, 11, -1);
        const VecI spread = _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5);
        const VecI spreadLast = _mm256_setr_epi32(2, 3, 4, 4, 5, 6, 7, 7);
        for (int j = 0; j < 3; ++j)
            p[j] = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(VLoad(s + 24 * j), spread), mask);
        p[3] = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(VLoad(s + 64), spreadLast), mask);
        return;
    }
#endif
    for (int j = 0; j < 4; ++j)
        p[j] = Kind == kRgb4 ? VLoad(base + 4 * x + j * kVecBytes) : Load3To4(base + 3 * x + j * 3 * kQuarter);
}

// Pixels of slack that a block of 3-byte pixels needs after it.
enum { kRgb3Slack = RL_TIER_HAS_AVX2 ? 0 : 2 };

// Luma of the pixels of p0, p1 in 16-bit lanes: 66 R + 129 G + 25 B less
// 220 * 128 fits in 16 bits; adding back 28160 + 128 + 16 * 256 and shifting
// gives ((S + 128) >> 8) + 16 in unsigned lanes.
static inline VecI LumaPair(VecI p0, VecI p1, VecI wy)
{
#if RL_TIER_HAS_AVX2
    const VecI bias = _mm256_set1_epi8(static_cast<char>(0x80));
    const VecI s0 = _mm256_xor_si256(p0, bias), s1 = _mm256_xor_si256(p1, bias);
#else
    const VecI bias = _mm_set1_epi8(static_cast<char>(0x80));
    const VecI s0 = _mm_xor_si128(p0, bias), s1 = _mm_xor_si128(p1, bias);
#endif
    const VecI s = RLV(hadd_epi16)(RLV(maddubs_epi16)(wy, s0), RLV(maddubs_epi16)(wy, s1));
    return RLV(srli_epi16)(RLV(add_epi16)(s, Set16(32384)), 8);
}

// Weighted sums over each pixel pair of p0, p1 in 32-bit lanes. Per pixel the
// chroma weights give at most 112 * 255 in magnitude.
static inline VecI PairWeighted(VecI p0, VecI p1, VecI w)
{
    return RLV(madd_epi16)(RLV(hadd_epi16)(RLV(maddubs_epi16)(p0, w), RLV(maddubs_epi16)(p1, w)), Set16(1));
}

#if RL_TIER_HAS_AVX2
static inline VecI InOrder(VecI v) { return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)); }
#else
static inline VecI InOrder(VecI v) { return v; }
#endif

// Planar sources pair R with G and B with a zero byte in 16-bit lanes, so
// that pmaddubsw gives per-pixel sums without any horizontal add, already in
// memory order after the packs.
static inline VecI Bytes2(int lo, int hi)
{
    return Set16(static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint8_t>(lo) | (static_cast<uint8_t>(hi) << 8))));
}

// One row of kStep pixels from x: luma in 16-bit lanes and the chroma
// weighted sums of every pixel pair in 32-bit lanes, each in two halves
// (packed sources: in the order InOrder restores; planar: in unpack order).
template <int Kind>
static inline void RowSums(const CscRgbRow& in, const RgbWeights& w, int x, VecI y16[2], VecI u[2], VecI v[2])
{
    if (Kind == kRgbPlanar) {
        const VecI r = VLoad(in.r + x), g = VLoad(in.g + x), b = VLoad(in.b + x);
#if RL_TIER_HAS_AVX2
        const VecI bias = _mm256_set1_epi8(static_cast<char>(0x80));
#else
        const VecI bias = _mm_set1_epi8(static_cast<char>(0x80));
#endif
        for (int h = 0; h < 2; ++h) {
            const VecI rg = h ? RLV(unpackhi_epi8)(r, g) : RLV(unpacklo_epi8)(r, g);
            const VecI b0 = h ? RLV(unpackhi_epi8)(b, VZero()) : RLV(unpacklo_epi8)(b, VZero());
#if RL_TIER_HAS_AVX2
            const VecI srg = _mm256_xor_si256(rg, bias), sb0 = _mm256_xor_si256(b0, bias);
#else
            const VecI srg = _mm_xor_si128(rg, bias), sb0 = _mm_xor_si128(b0, bias);
#endif
            const VecI ys = RLV(add_epi16)(RLV(maddubs_epi16)(Bytes2(66, 129), srg), RLV(maddubs_epi16)(Bytes2(25, 0), sb0));
            y16[h] = RLV(srli_epi16)(RLV(add_epi16)(ys, Set16(32384)), 8);
            u[h] = RLV(madd_epi16)(
                RLV(add_epi16)(RLV(maddubs_epi16)(rg, Bytes2(-38, -74)), RLV(maddubs_epi16)(b0, Bytes2(112, 0))), Set16(1));
            v[h] = RLV(madd_epi16)(
                RLV(add_epi16)(RLV(maddubs_epi16)(rg, Bytes2(112, -94)), RLV(maddubs_epi16)(b0, Bytes2(-18, 0))), Set16(1));
        }
        return;
    }
    VecI p[4];
    LoadPixels<Kind>(in.base, x, p);
    for (int h = 0; h < 2; ++h) {
        y16[h] = LumaPair(p[2 * h], p[2 * h + 1], w.y);
        u[h] = PairWeighted(p[2 * h], p[2 * h + 1], w.u);
        v[h] = PairWeighted(p[2 * h], p[2 * h + 1], w.v);
    }
}

template <int Kind>
static inline VecI Ordered(VecI v)
{
    return Kind == kRgbPlanar ? v : InOrder(v);
}

template <int Kind>
static void FastRgbToYuv420Row(const CscRgbToYuv420Args& a, int x0, int x1)
{
    const RgbWeights w = MakeRgbWeights(a.in[0].ch);
    const bool semi = a.cStep == 2;
    uint8_t* uv = a.u < a.v ? a.u : a.v;
    const bool vFirst = a.v < a.u;
    const int slack = Kind == kRgb3 ? kRgb3Slack : 0;
    // (sum + 512) >> 10, + 128, with the 128 moved inside the shift.
    const VecI round = Set32(512 + (128 << 10));
    int x = x0;
    for (; x + kStep + slack <= x1; x += kStep) {
        VecI us[2], vs[2];
        for (int i = 0; i < 2; ++i) {
            VecI y16[2], pu[2], pv[2];
            RowSums<Kind>(a.in[i], w, x, y16, pu, pv);
            VStore(a.y[i] + x, Ordered<Kind>(RLV(packus_epi16)(y16[0], y16[1])));
            for (int h = 0; h < 2; ++h) {
                us[h] = i ? RLV(add_epi32)(us[h], pu[h]) : pu[h];
                vs[h] = i ? RLV(add_epi32)(vs[h], pv[h]) : pv[h];
            }
        }
        const VecI u16 = Ordered<Kind>(RLV(packs_epi32)(RLV(srai_epi32)(RLV(add_epi32)(us[0], round), 10),
                                                        RLV(srai_epi32)(RLV(add_epi32)(us[1], round), 10)));
        const VecI v16 = Ordered<Kind>(RLV(packs_epi32)(RLV(srai_epi32)(RLV(add_epi32)(vs[0], round), 10),
                                                        RLV(srai_epi32)(RLV(add_epi32)(vs[1], round), 10)));
        if (semi) {
            VStore(uv + x, vFirst ? RLV_OR(v16, RLV(slli_epi16)(u16, 8)) : RLV_OR(u16, RLV(slli_epi16)(v16, 8)));
        } else {
#if RL_TIER_HAS_AVX2
            const VecI b = _mm256_permute4x64_epi64(_mm256_packus_epi16(u16, v16), 0xD8);
            Store128(a.u + x / 2, _mm256_castsi256_si128(b));
            Store128(a.v + x / 2, _mm256_extracti128_si256(b, 1));
#else
            const VecI b = _mm_packus_epi16(u16, v16);
            Store64(a.u + x / 2, b);
            Store64(a.v + x / 2, _mm_srli_si128(b, 8));
#endif
        }
    }
    CscRgbToYuv420Row_c(a, x, x1);
}

template <int Kind>
static void FastRgbToYuv422Row(const CscRgbToYuv422Args& a, int x0, int x1)
{
    const RgbWeights w = MakeRgbWeights(a.in.ch);
    // Y1 always sits two bytes after Y0, so one shift places the luma pair.
    const __m128i sy = Count(8 * a.lay.y0), su = Count(8 * a.lay.u), sv = Count(8 * a.lay.v);
    const int slack = Kind == kRgb3 ? kRgb3Slack : 0;
    const VecI round = Set32(256 + (128 << 9));
    int x = x0;
    for (; x + kStep + slack <= x1; x += kStep) {
        VecI y16[2], u[2], v[2], m[2];
        RowSums<Kind>(a.in, w, x, y16, u, v);
        for (int h = 0; h < 2; ++h) {
            const VecI u32 = RLV(srai_epi32)(RLV(add_epi32)(u[h], round), 9);
            const VecI v32 = RLV(srai_epi32)(RLV(add_epi32)(v[h], round), 9);
            m[h] = RLV_OR(RLV_OR(Shl32(y16[h], sy), Shl32(u32, su)), Shl32(v32, sv));
        }
#if RL_TIER_HAS_AVX2
        if (Kind == kRgbPlanar) {
            // Unpack halves: lane 0 of each holds the earlier pixels.
            VStore(a.out + 2 * x, _mm256_permute2x128_si256(m[0], m[1], 0x20));
            VStore(a.out + 2 * x + kVecBytes, _mm256_permute2x128_si256(m[0], m[1], 0x31));
            continue;
        }
        m[0] = _mm256_permute4x64_epi64(m[0], 0xD8);
        m[1] = _mm256_permute4x64_epi64(m[1], 0xD8);
#endif
        VStore(a.out + 2 * x, m[0]);
        VStore(a.out + 2 * x + kVecBytes, m[1]);
    }
    CscRgbToYuv422Row_c(a, x, x1);
}

template <int Kind>
static CscRgbToYuv420RowFunc Yuv420RowFor()
{
    return FastRgbToYuv420Row<Kind>;
}
template <int Kind>
static CscRgbToYuv422RowFunc Yuv422RowFor()
{
    return FastRgbToYuv422Row<Kind>;
}
#else
template <int Kind>
static CscRgbToYuv420RowFunc Yuv420RowFor()
{
    return RgbToYuv420RowT<Kind>;
}
template <int Kind>
static CscRgbToYuv422RowFunc Yuv422RowFor()
{
    return RgbToYuv422RowT<Kind>;
}
#endif

static void RgbToYuv420(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    const CscRgbChannels* ch = CscRgbChannelTable(FormatOf(src));
    if (!ch) return;
    CscDriveRgbToYuv420(src, dst,
                        ch->bpp == 1   ? Yuv420RowFor<kRgbPlanar>()
                        : ch->bpp == 3 ? Yuv420RowFor<kRgb3>()
                                       : Yuv420RowFor<kRgb4>());
}

static void RgbToYuv422(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    const CscRgbChannels* ch = CscRgbChannelTable(FormatOf(src));
    if (!ch) return;
    CscDriveRgbToYuv422(src, dst,
                        ch->bpp == 1   ? Yuv422RowFor<kRgbPlanar>()
                        : ch->bpp == 3 ? Yuv422RowFor<kRgb3>()
                                       : Yuv422RowFor<kRgb4>());
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

// Stems that choose their row routines once per picture.
#define RL_CSC_PICTURE_STEM(stem, convert)                                              \
    int32_t RL_TIERED(stem##_intri)(const SRLPictureInfo* src, SRLPictureInfo* dst)      \
    {                                                                                    \
        RL_TIER_NS::convert(src, dst);                                                   \
        return RL_OK;                                                                    \
    }

#define RL_CSC_STEM(stem, driver, row)                                                   \
    int32_t RL_TIERED(stem##_intri)(const SRLPictureInfo* src, SRLPictureInfo* dst)      \
    {                                                                                    \
        driver(src, dst, RL_TIER_NS::row);                                               \
        return RL_OK;                                                                    \
    }

RL_CSC_PICTURE_STEM(yuv420p_to_rgb, YuvToRgb)
RL_CSC_PICTURE_STEM(yuv420p_to_rgbx, YuvToRgb)
RL_CSC_PICTURE_STEM(yuv420p_to_rgbp, YuvToRgb)
RL_CSC_PICTURE_STEM(yuv422_to_rgb, YuvToRgb)
RL_CSC_PICTURE_STEM(yuv422_to_rgbx, YuvToRgb)
RL_CSC_PICTURE_STEM(yuv422_to_rgbp, YuvToRgb)
RL_CSC_PICTURE_STEM(nvxx_to_rgb, YuvToRgb)
RL_CSC_PICTURE_STEM(nvxx_to_rgbx, YuvToRgb)
RL_CSC_PICTURE_STEM(nvxx_to_rgbp, YuvToRgb)
RL_CSC_PICTURE_STEM(rgb_to_yuv420p, RgbToYuv420)
RL_CSC_PICTURE_STEM(rgbx_to_yuv420p, RgbToYuv420)
RL_CSC_PICTURE_STEM(rgbp_to_yuv420p, RgbToYuv420)
RL_CSC_PICTURE_STEM(rgb_to_nvxx, RgbToYuv420)
RL_CSC_PICTURE_STEM(rgbx_to_nvxx, RgbToYuv420)
RL_CSC_PICTURE_STEM(rgbp_to_nvxx, RgbToYuv420)
RL_CSC_PICTURE_STEM(rgb_to_yuv422, RgbToYuv422)
RL_CSC_PICTURE_STEM(rgbx_to_yuv422, RgbToYuv422)
RL_CSC_PICTURE_STEM(rgbp_to_yuv422, RgbToYuv422)
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
