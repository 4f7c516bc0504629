// Built once per tier.
#include <stddef.h>

#include "effects/video_filter_kernels.h"
#include "ravvel.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

// Sixteen-bit lanes per half vector: a half is widened, worked on and narrowed.
enum { kHalf = kVecBytes / 2 };

// Packed R, G, B bytes repeat every three bytes; a block of three vectors
// (48 or 96 bytes) starts on a pixel and holds six halves whose first byte
// has channel (k * kHalf) % 3.
constexpr int HalfPhase(int k) { return (k * kHalf) % 3; }

// Per-lane constants of the six halves of a block, built at compile time:
// filling them on every call cost as much as the row's arithmetic.
struct SepiaWeights {
    int16_t v[6][5][kHalf];  // [half][tap -2..+2][lane]
    constexpr SepiaWeights() : v()
    {
        const int16_t taps[3][5] = {
            {0, 0, 101, 197, 48},  // R byte: taps -2, -1, 0, +1, +2
            {0, 89, 176, 43, 0},   // G byte
            {70, 137, 34, 0, 0},   // B byte
        };
        for (int k = 0; k < 6; ++k)
            for (int t = 0; t < 5; ++t)
                for (int l = 0; l < kHalf; ++l) v[k][t][l] = taps[(HalfPhase(k) + l) % 3][t];
    }
};

// Cinnamon: the multiplier that turns t^2 into the lane's curve with one
// high-half multiply (4t for R lanes, flagged by -1 here; 512 for G lanes,
// i.e. t^2 >> 7), and the mask of the B lanes.
struct CinnamonLanes {
    int16_t rMask[6][kHalf];
    int16_t gMul[6][kHalf];
    int16_t bMask[6][kHalf];
    constexpr CinnamonLanes() : rMask(), gMul(), bMask()
    {
        for (int k = 0; k < 6; ++k)
            for (int l = 0; l < kHalf; ++l) {
                const int ch = (HalfPhase(k) + l) % 3;
                rMask[k][l] = ch == 0 ? -1 : 0;
                gMul[k][l] = ch == 1 ? 512 : 0;
                bMask[k][l] = ch == 2 ? -1 : 0;
            }
    }
};

alignas(32) static constexpr SepiaWeights kSepiaWeights{};
alignas(32) static constexpr CinnamonLanes kCinnamonLanes{};

#if RL_TIER_HAS_AVX2
static inline VecI AndNotV(VecI mask, VecI x) { return _mm256_andnot_si256(mask, x); }
static inline VecI ShiftLeft16(VecI x, int n) { return _mm256_slli_epi16(x, n); }
static inline VecI MinI16(VecI a, VecI b) { return _mm256_min_epi16(a, b); }
static inline VecI GreaterI16(VecI a, VecI b) { return _mm256_cmpgt_epi16(a, b); }
static inline VecI AddSatU16(VecI a, VecI b) { return _mm256_adds_epu16(a, b); }
#else
static inline VecI AndNotV(VecI mask, VecI x) { return _mm_andnot_si128(mask, x); }
static inline VecI ShiftLeft16(VecI x, int n) { return _mm_slli_epi16(x, n); }
static inline VecI MinI16(VecI a, VecI b) { return _mm_min_epi16(a, b); }
static inline VecI GreaterI16(VecI a, VecI b) { return _mm_cmpgt_epi16(a, b); }
static inline VecI AddSatU16(VecI a, VecI b) { return _mm_adds_epu16(a, b); }
#endif

#if RL_TIER_HAS_AVX
// Four doubles per step: u' = u*cos + v*sin + 128, v' = v*cos - u*sin + 128,
// truncated toward zero, in the reference's operation order.
static inline void Rotate4(__m128i u32, __m128i v32, __m128i* ou, __m128i* ov)
{
    const __m256d c = _mm256_set1_pd(kHueAngleCos), s = _mm256_set1_pd(kHueAngleSin), k128 = _mm256_set1_pd(128.0);
    const __m256d du = _mm256_cvtepi32_pd(u32), dv = _mm256_cvtepi32_pd(v32);
    const __m256d nu = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(du, c), _mm256_mul_pd(dv, s)), k128);
    const __m256d nv = _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(dv, c), _mm256_mul_pd(du, s)), k128);
    *ou = _mm256_cvttpd_epi32(nu);
    *ov = _mm256_cvttpd_epi32(nv);
}
#endif

// Two doubles per step, same operations.
static inline void Rotate2(__m128i u32, __m128i v32, __m128i* ou, __m128i* ov)
{
    const __m128d c = _mm_set1_pd(kHueAngleCos), s = _mm_set1_pd(kHueAngleSin), k128 = _mm_set1_pd(128.0);
    const __m128d du = _mm_cvtepi32_pd(u32), dv = _mm_cvtepi32_pd(v32);
    const __m128d nu = _mm_add_pd(_mm_add_pd(_mm_mul_pd(du, c), _mm_mul_pd(dv, s)), k128);
    const __m128d nv = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(dv, c), _mm_mul_pd(du, s)), k128);
    *ou = _mm_cvttpd_epi32(nu);
    *ov = _mm_cvttpd_epi32(nv);
}

// Eight samples minus 128 as two vectors of four int32.
static inline void Centre8(const uint8_t* p, __m128i* lo, __m128i* hi)
{
    const __m128i w = _mm_sub_epi16(_mm_unpacklo_epi8(Load64(p), _mm_setzero_si128()), _mm_set1_epi16(128));
    *lo = _mm_srai_epi32(_mm_unpacklo_epi16(w, w), 16);
    *hi = _mm_srai_epi32(_mm_unpackhi_epi16(w, w), 16);
}

// Rotates eight (U, V) pairs. Truncated values outside 0..255 saturate in
// the packs, which matches the reference's limits: anything not above 0
// truncates to 0 or below, anything above 255 to 255 or above.
static inline void RotateEight(uint8_t* u, uint8_t* v)
{
    __m128i u0, u1, v0, v1, ru[2], rv[2];
    Centre8(u, &u0, &u1);
    Centre8(v, &v0, &v1);
#if RL_TIER_HAS_AVX
    Rotate4(u0, v0, &ru[0], &rv[0]);
    Rotate4(u1, v1, &ru[1], &rv[1]);
#else
    __m128i a, b, c, d;
    Rotate2(u0, v0, &a, &c);
    Rotate2(_mm_srli_si128(u0, 8), _mm_srli_si128(v0, 8), &b, &d);
    ru[0] = _mm_unpacklo_epi64(a, b);
    rv[0] = _mm_unpacklo_epi64(c, d);
    Rotate2(u1, v1, &a, &c);
    Rotate2(_mm_srli_si128(u1, 8), _mm_srli_si128(v1, 8), &b, &d);
    ru[1] = _mm_unpacklo_epi64(a, b);
    rv[1] = _mm_unpacklo_epi64(c, d);
#endif
    const __m128i pu = _mm_packs_epi32(ru[0], ru[1]), pv = _mm_packs_epi32(rv[0], rv[1]);
    Store64(u, _mm_packus_epi16(pu, pu));
    Store64(v, _mm_packus_epi16(pv, pv));
}

}  // namespace RL_TIER_NS

void RL_TIERED(HueRotateChroma)(uint8_t* u, int32_t uStride, uint8_t* v, int32_t vStride, int32_t width,
                                int32_t height)
{
    using namespace RL_TIER_NS;
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* pu = u + static_cast<ptrdiff_t>(r) * uStride;
        uint8_t* pv = v + static_cast<ptrdiff_t>(r) * vStride;
        int32_t c = 0;
        for (; c + 8 <= width; c += 8) RotateEight(pu + c, pv + c);
        if (c < width) HueRotateChroma_c(pu + c, uStride, pv + c, vStride, width - c, 1);
    }
}

// Each output byte is a weighted sum of the input bytes two before to two
// after it, with weights by channel: R' = 101 R + 197 G + 48 B (taps 0, +1,
// +2 of an R byte), G' = 89 R + 176 G + 43 B (taps -1, 0, +1), B' = 70 R +
// 137 G + 34 B (taps -2, -1, 0). Products fit 16 bits; the sums are added
// with unsigned saturation, which only ever clips sums whose result is
// limited to 255 anyway (B' never passes 61583).
void RL_TIERED(SepiaRgbRow)(const uint8_t* in, uint8_t* out, int32_t pixels)
{
    using namespace RL_TIER_NS;
    if (pixels <= 0) return;
    // The first pixel has no left neighbours: the vector blocks start at pixel 1.
    SepiaRgbRow_c(in, out, 1);
    const VecI round = VSet1I16(128);
    const ptrdiff_t bytes = static_cast<ptrdiff_t>(pixels) * 3;
    ptrdiff_t j = 3;
    for (; j + 3 * kVecBytes + 2 <= bytes; j += 3 * kVecBytes) {
        for (int k = 0; k < 6; ++k) {
            const uint8_t* p = in + j + k * kHalf;
            VecI sum = round;
            for (int t = 0; t < 5; ++t)
                sum = AddSatU16(sum, VMulloI16(VWidenU8(p + t - 2), VLoad(kSepiaWeights.v[k][t])));
            VNarrowStoreU8(out + j + k * kHalf, VSrliI16(sum, 8));
        }
    }
    const int32_t done = static_cast<int32_t>(j / 3);
    if (done < pixels)
        SepiaRgbRow_c(in + 3 * static_cast<ptrdiff_t>(done), out + 3 * static_cast<ptrdiff_t>(done), pixels - done);
}

// Cinnamon's curves in closed form on 16-bit lanes x = 0..255, with
// t = min(x, 256 - x): R = t^3 >> 14 for x <= 128 and 256 - (t^3 >> 14)
// above; G likewise with t^2 >> 7; B = (x >> 1) + 37. At x = 128 both forms
// agree, so t never passes 128: t^2 fits 16 bits and t^2 * 4t 32 bits, and
// both R and G are one high-half multiply of t^2 (by 4t or by 512). R = 256
// at x = 255 saturates to 255 when narrowed.
void RL_TIERED(CinnamonRgbRow)(uint8_t* rgb, int32_t pixels)
{
    using namespace RL_TIER_NS;
    const VecI k256 = VSet1I16(256), k128 = VSet1I16(128), k37 = VSet1I16(37);
    const ptrdiff_t bytes = static_cast<ptrdiff_t>(pixels) * 3;
    ptrdiff_t j = 0;
    for (; j + 3 * kVecBytes <= bytes; j += 3 * kVecBytes) {
        for (int k = 0; k < 6; ++k) {
            uint8_t* p = rgb + j + k * kHalf;
            const VecI x = VWidenU8(p);
            const VecI t = MinI16(x, VSubI16(k256, x));
            const VecI high = GreaterI16(x, k128);
            const VecI mul = VOr(VAnd(VLoad(kCinnamonLanes.rMask[k]), ShiftLeft16(t, 2)),
                                 VLoad(kCinnamonLanes.gMul[k]));
            const VecI c = VMulhiU16(VMulloI16(t, t), mul);
            const VecI rg = VOr(VAnd(high, VSubI16(k256, c)), AndNotV(high, c));
            const VecI bMask = VLoad(kCinnamonLanes.bMask[k]);
            const VecI b = VAddI16(VSrliI16(x, 1), k37);
            VNarrowStoreU8(p, VOr(VAnd(bMask, b), AndNotV(bMask, rg)));
        }
    }
    const int32_t done = static_cast<int32_t>(j / 3);
    if (done < pixels) CinnamonRgbRow_c(rgb + 3 * static_cast<ptrdiff_t>(done), pixels - done);
}

#if RL_TIER_HAS_AVX2
namespace RL_TIER_NS {

// Planar R, G, B of sixteen pixels in 16-bit lanes, each 0..255.
struct Rgb16 {
    __m256i r, g, b;
};

// Sixteen chroma samples as 16-bit lanes, each repeated for its two luma
// columns: lo covers luma columns 0..15 of the block, hi columns 16..31.
static inline void Repeat16(__m256i c, __m256i* lo, __m256i* hi)
{
    const __m256i q = _mm256_permute4x64_epi64(c, 0xD8);
    *lo = _mm256_unpacklo_epi16(q, q);
    *hi = _mm256_unpackhi_epi16(q, q);
}

static inline __m256i Clamp0To255(__m256i x)
{
    return _mm256_min_epi16(_mm256_max_epi16(x, _mm256_setzero_si256()), _mm256_set1_epi16(255));
}

// The converter's formulas on sixteen luma bytes: l = 74 (y - 16), then
// (l + 102 (v - 128)) >> 6, (l - 25 (u - 128) - 52 (v - 128)) >> 6 and
// (l + 129 (u - 128)) >> 6, limited to 0..255. Only the blue sum can pass
// 16 bits, and only where its result is limited to 255 anyway, so it is
// added with signed saturation.
static inline Rgb16 ToRgb16(const uint8_t* y, __m256i vr, __m256i ugvg, __m256i ub)
{
    const __m256i l = _mm256_mullo_epi16(
        _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y))),
                         _mm256_set1_epi16(16)),
        _mm256_set1_epi16(74));
    Rgb16 o;
    o.r = Clamp0To255(_mm256_srai_epi16(_mm256_add_epi16(l, vr), 6));
    o.g = Clamp0To255(_mm256_srai_epi16(_mm256_sub_epi16(l, ugvg), 6));
    o.b = Clamp0To255(_mm256_srai_epi16(_mm256_adds_epi16(l, ub), 6));
    return o;
}

// Sepia on 16-bit lanes: products fit 16 bits and the sums are added with
// unsigned saturation, which only clips sums whose result is 255 anyway.
static inline __m256i SepiaChannel(const Rgb16& p, int wr, int wg, int wb)
{
    __m256i s = _mm256_adds_epu16(_mm256_set1_epi16(128), _mm256_mullo_epi16(p.r, _mm256_set1_epi16(wr)));
    s = _mm256_adds_epu16(s, _mm256_mullo_epi16(p.g, _mm256_set1_epi16(wg)));
    s = _mm256_adds_epu16(s, _mm256_mullo_epi16(p.b, _mm256_set1_epi16(wb)));
    return _mm256_min_epi16(_mm256_srli_epi16(s, 8), _mm256_set1_epi16(255));
}

// Cinnamon's R (power 3) or G (power 2) curve, as in CinnamonRgbRow.
static inline __m256i CinnamonCurve(__m256i x, bool cube)
{
    const __m256i k256 = _mm256_set1_epi16(256);
    const __m256i t = _mm256_min_epi16(x, _mm256_sub_epi16(k256, x));
    const __m256i high = _mm256_cmpgt_epi16(x, _mm256_set1_epi16(128));
    const __m256i t2 = _mm256_mullo_epi16(t, t);
    const __m256i c = cube ? _mm256_mulhi_epu16(t2, _mm256_slli_epi16(t, 2)) : _mm256_srli_epi16(t2, 7);
    const __m256i v = _mm256_blendv_epi8(c, _mm256_sub_epi16(k256, c), high);
    return _mm256_min_epi16(v, _mm256_set1_epi16(255));
}

static inline void ApplyLook(Rgb16* p, int32_t mode)
{
    if (mode == RL_VIDEO_FILTER_SEPIA) {
        Rgb16 o;
        o.r = SepiaChannel(*p, 101, 197, 48);
        o.g = SepiaChannel(*p, 89, 176, 43);
        o.b = SepiaChannel(*p, 70, 137, 34);
        *p = o;
    } else {
        p->r = CinnamonCurve(p->r, true);
        p->g = CinnamonCurve(p->g, false);
        p->b = _mm256_add_epi16(_mm256_srli_epi16(p->b, 1), _mm256_set1_epi16(37));
    }
}

// ((66 R + 129 G + 25 B + 128) >> 8) + 16: the sum stays below 65536.
static inline __m256i Luma16(const Rgb16& p)
{
    __m256i s = _mm256_add_epi16(_mm256_mullo_epi16(p.r, _mm256_set1_epi16(66)),
                                 _mm256_mullo_epi16(p.g, _mm256_set1_epi16(129)));
    s = _mm256_add_epi16(s, _mm256_mullo_epi16(p.b, _mm256_set1_epi16(25)));
    s = _mm256_add_epi16(s, _mm256_set1_epi16(128));
    return _mm256_add_epi16(_mm256_srli_epi16(s, 8), _mm256_set1_epi16(16));
}

static inline void StoreBytes32(uint8_t* dst, __m256i lo, __m256i hi)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
}

// Sums of the 2x2 blocks of one channel: rows added per column, then
// column pairs, as eight 32-bit sums per 16-lane input.
static inline __m256i PairSums(__m256i row0, __m256i row1)
{
    return _mm256_madd_epi16(_mm256_add_epi16(row0, row1), _mm256_set1_epi16(1));
}

// (a * rs + b * gs + c * bs + 512) >> 10, plus 128, for sixteen blocks, as bytes.
static inline __m128i Chroma16(const __m256i rs[2], const __m256i gs[2], const __m256i bs[2], int a, int b, int c)
{
    __m256i w[2];
    for (int i = 0; i < 2; ++i) {
        __m256i s = _mm256_mullo_epi32(rs[i], _mm256_set1_epi32(a));
        s = _mm256_add_epi32(s, _mm256_mullo_epi32(gs[i], _mm256_set1_epi32(b)));
        s = _mm256_add_epi32(s, _mm256_mullo_epi32(bs[i], _mm256_set1_epi32(c)));
        s = _mm256_add_epi32(s, _mm256_set1_epi32(512));
        w[i] = _mm256_add_epi32(_mm256_srai_epi32(s, 10), _mm256_set1_epi32(128));
    }
    const __m256i w16 = _mm256_permute4x64_epi64(_mm256_packs_epi32(w[0], w[1]), 0xD8);
    const __m256i b8 = _mm256_permute4x64_epi64(_mm256_packus_epi16(w16, w16), 0xD8);
    return _mm256_castsi256_si128(b8);
}

}  // namespace RL_TIER_NS

// Blocks of 32 columns by two rows go through RGB and back in registers,
// never stored as packed RGB; the columns after the last whole block take
// the reference path (2x2 blocks are independent of each other). Seafoam's
// tables have no lane-wise form: spilling the lanes for scalar look-ups cost
// more than the packed row path, so seafoam takes the reference here and the
// method keeps it on the tier's converters.
void RL_TIERED(LookRowPair)(uint8_t* y, int32_t yStride, uint8_t* u, uint8_t* v, int32_t width, int32_t mode,
                            uint8_t* work1, uint8_t* work2)
{
    using namespace RL_TIER_NS;
    if (mode == RL_VIDEO_FILTER_SEAFOAM) {
        LookRowPair_c(y, yStride, u, v, width, mode, work1, work2);
        return;
    }
    uint8_t* const y1 = y + yStride;
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i k128 = _mm256_set1_epi16(128);
        const __m256i du = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2))), k128);
        const __m256i dv = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2))), k128);
        __m256i vr[2], ugvg[2], ub[2];
        Repeat16(_mm256_mullo_epi16(dv, _mm256_set1_epi16(102)), &vr[0], &vr[1]);
        Repeat16(_mm256_add_epi16(_mm256_mullo_epi16(du, _mm256_set1_epi16(25)),
                                  _mm256_mullo_epi16(dv, _mm256_set1_epi16(52))),
                 &ugvg[0], &ugvg[1]);
        Repeat16(_mm256_mullo_epi16(du, _mm256_set1_epi16(129)), &ub[0], &ub[1]);
        Rgb16 p[2][2];  // [row][half]
        for (int r = 0; r < 2; ++r)
            for (int h = 0; h < 2; ++h) {
                p[r][h] = ToRgb16((r ? y1 : y) + x + 16 * h, vr[h], ugvg[h], ub[h]);
                ApplyLook(&p[r][h], mode);
            }
        __m256i rs[2], gs[2], bs[2];
        for (int h = 0; h < 2; ++h) {
            rs[h] = PairSums(p[0][h].r, p[1][h].r);
            gs[h] = PairSums(p[0][h].g, p[1][h].g);
            bs[h] = PairSums(p[0][h].b, p[1][h].b);
        }
        StoreBytes32(y + x, Luma16(p[0][0]), Luma16(p[0][1]));
        StoreBytes32(y1 + x, Luma16(p[1][0]), Luma16(p[1][1]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x / 2), Chroma16(rs, gs, bs, -38, -74, 112));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x / 2), Chroma16(rs, gs, bs, 112, -94, -18));
    }
    if (x < width) LookRowPair_c(y + x, yStride, u + x / 2, v + x / 2, width - x, mode, work1, work2);
}
#endif

}  // namespace Ravvel
