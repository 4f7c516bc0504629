// Built once per tier. The pass is the reference pass with its two inner
// loops vectorised: the horizontal taps on bytes (kVecBytes columns per
// step), the vertical taps and the dither on 16-bit sums. Rows narrower than
// a vector, and the columns the horizontal taps must not reach, take the
// scalar path; the last vector of a row overlaps the one before it, which is
// harmless because every output depends on the ring and the noise only.
#include <stddef.h>

#include "enhance/deband_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

#if RL_TIER_HAS_AVX2
static inline VecI SubsU8(VecI a, VecI b) { return _mm256_subs_epu8(a, b); }
static inline VecI CmpEqU8(VecI a, VecI b) { return _mm256_cmpeq_epi8(a, b); }
static inline VecI Select(VecI c, VecI tap, VecI keep) { return _mm256_blendv_epi8(c, tap, keep); }
static inline VecI Abs16(VecI d) { return _mm256_abs_epi16(d); }
static inline VecI CmpGt16(VecI a, VecI b) { return _mm256_cmpgt_epi16(a, b); }
static inline VecI AndNot(VecI a, VecI b) { return _mm256_andnot_si256(a, b); }
static inline VecI Slli16(VecI a, int n) { return _mm256_slli_epi16(a, n); }
// The unpacks work within 128-bit lanes: put the sums back in column order.
static inline void StoreSums(uint16_t* p, VecI lo, VecI hi)
{
    VStore(p, _mm256_permute2x128_si256(lo, hi, 0x20));
    VStore(p + 16, _mm256_permute2x128_si256(lo, hi, 0x31));
}
static inline void StorePacked(uint8_t* p, VecI lo, VecI hi)
{
    VStore(p, _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8));
}
#else
static inline VecI SubsU8(VecI a, VecI b) { return _mm_subs_epu8(a, b); }
static inline VecI CmpEqU8(VecI a, VecI b) { return _mm_cmpeq_epi8(a, b); }
static inline VecI Select(VecI c, VecI tap, VecI keep)
{
#if RL_TIER_HAS_SSE41
    return _mm_blendv_epi8(c, tap, keep);
#else
    return _mm_or_si128(_mm_and_si128(keep, tap), _mm_andnot_si128(keep, c));
#endif
}
static inline VecI Abs16(VecI d)
{
#if RL_TIER_HAS_SSSE3
    return _mm_abs_epi16(d);
#else
    return _mm_max_epi16(d, _mm_sub_epi16(_mm_setzero_si128(), d));
#endif
}
static inline VecI CmpGt16(VecI a, VecI b) { return _mm_cmpgt_epi16(a, b); }
static inline VecI AndNot(VecI a, VecI b) { return _mm_andnot_si128(a, b); }
static inline VecI Slli16(VecI a, int n) { return _mm_slli_epi16(a, n); }
static inline void StoreSums(uint16_t* p, VecI lo, VecI hi)
{
    VStore(p, lo);
    VStore(p + 8, hi);
}
static inline void StorePacked(uint8_t* p, VecI lo, VecI hi) { VStore(p, _mm_packus_epi16(lo, hi)); }
#endif

enum { kLanes16 = kVecBytes / 2 };

static inline int32_t TapScalar(int32_t tap, int32_t c, int32_t t) { return tap - c > t || c - tap > t ? c : tap; }

static inline uint8_t ClampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Horizontal sums of kVecBytes columns from x. thr holds the threshold of
// column i at thr[i & 7 + ...], repeated over 8 + kVecBytes bytes.
static inline void FilterVector(const uint8_t* in, uint16_t* h, int32_t x, int32_t h1, int32_t h2, const uint8_t* thr)
{
    const VecI zero = VZero();
    const VecI c = VLoad(in + x);
    const VecI t = VLoad(thr + (x & 7));
    const int32_t offsets[4] = {-h1, -h2, h2, h1};
    VecI lo = zero, hi = zero;
    for (int i = 0; i < 4; ++i) {
        const VecI q = VLoad(in + x + offsets[i]);
        const VecI diff = VOr(SubsU8(q, c), SubsU8(c, q));
        const VecI sel = Select(c, q, CmpEqU8(VMinU8(diff, t), diff));
        lo = VAddI16(lo, VUnpackLoU8(sel, zero));
        hi = VAddI16(hi, VUnpackHiU8(sel, zero));
    }
    StoreSums(h + x, lo, hi);
}

static void FilterRow(const uint8_t* in, uint16_t* h, int32_t width, int32_t left, int32_t h1, int32_t h2,
                      const uint8_t* thr)
{
    const int32_t right = width - 32 > left ? width - 32 : left;  // columns [left, right) are filtered
    for (int32_t x = 0; x < left; ++x) h[x] = static_cast<uint16_t>(4 * in[x]);
    if (right - left >= kVecBytes) {
        int32_t x = left;
        for (; x + kVecBytes <= right; x += kVecBytes) FilterVector(in, h, x, h1, h2, thr);
        if (x < right) FilterVector(in, h, right - kVecBytes, h1, h2, thr);
    } else {
        for (int32_t x = left; x < right; ++x) {
            const int32_t c = in[x], t = thr[x & 7];
            h[x] = static_cast<uint16_t>(TapScalar(in[x - h1], c, t) + TapScalar(in[x - h2], c, t) +
                                         TapScalar(in[x + h2], c, t) + TapScalar(in[x + h1], c, t));
        }
    }
    for (int32_t x = right; x < width; ++x) h[x] = static_cast<uint16_t>(4 * in[x]);
}

// (sum of the four vertical taps, or 4c without them, plus the noise) >> 4
// for kLanes16 columns from x.
static inline VecI OutputHalf(const uint16_t* hc, const uint16_t* const* taps, int32_t x, VecI t, VecI noise)
{
    const VecI c = VLoad(hc + x);
    VecI sum = Slli16(c, 2);
    if (taps) {
        for (int i = 0; i < 4; ++i) {
            const VecI d = VSubI16(VLoad(taps[i] + x), c);
            sum = VAddI16(sum, AndNot(CmpGt16(Abs16(d), t), d));
        }
    }
    return VSraiI16(VAddI16(sum, noise), 4);
}

static inline void OutputVector(uint8_t* out, const uint16_t* hc, const uint16_t* const* taps, int32_t x,
                                const int16_t* thr4, const int16_t* noise, uint32_t s)
{
    const VecI t = VLoad(thr4 + (x & 7));  // kLanes16 is a multiple of 8: both halves share it
    const int16_t* n = noise + ((s + static_cast<uint32_t>(x)) & 2047);
    const VecI lo = OutputHalf(hc, taps, x, t, VLoad(n));
    const VecI hi = OutputHalf(hc, taps, x + kLanes16, t, VLoad(n + kLanes16));
    StorePacked(out + x, lo, hi);
}

static void OutputRow(uint8_t* out, const uint16_t* hc, const uint16_t* const* taps, int32_t width,
                      const int16_t* thr4, const int16_t* noise, uint32_t s)
{
    if (width >= kVecBytes) {
        int32_t x = 0;
        for (; x + kVecBytes <= width; x += kVecBytes) OutputVector(out, hc, taps, x, thr4, noise, s);
        if (x < width) OutputVector(out, hc, taps, width - kVecBytes, thr4, noise, s);
        return;
    }
    for (int32_t x = 0; x < width; ++x) {
        const int32_t c = hc[x];
        int32_t sum = 4 * c;
        if (taps) {
            const int32_t t = thr4[x & 7];
            sum = TapScalar(taps[0][x], c, t) + TapScalar(taps[1][x], c, t) + TapScalar(taps[2][x], c, t) +
                  TapScalar(taps[3][x], c, t);
        }
        out[x] = ClampByte((sum + noise[(s + static_cast<uint32_t>(x)) & 2047]) >> 4);
    }
}

}  // namespace RL_TIER_NS

int32_t RL_TIERED(deband_subimage)(DebandAllocFunc alloc, DebandFreeFunc release, void* opaque, const uint8_t* src,
                                   int32_t srcStride, uint8_t* dst, int32_t dstStride, int32_t width, int32_t height,
                                   int32_t strength, int32_t sizeA, int32_t sizeB, int32_t dither, uint32_t seed,
                                   int32_t y0, int32_t y1)
{
    using namespace RL_TIER_NS;
    if (!alloc) alloc = DebandDefaultAlloc;
    if (!release) release = DebandDefaultFree;
    if (!dst) {
        dst = const_cast<uint8_t*>(src);
        dstStride = srcStride;
    }
    if (!src || width <= 0 || height <= 0) return 1;

    const DebandPass p = DebandSetupPass(strength, sizeA, sizeB, dither);
    const int32_t ringRows = 1 << p.iLog2V, half = ringRows / 2;
    uint16_t* ring = static_cast<uint16_t*>(alloc(opaque, sizeof(uint16_t) * ringRows * static_cast<size_t>(width)));
    if (!ring) return 0;
    int16_t noise[kDebandNoiseSize + kDebandNoiseTail];
    uint32_t s = DebandBuildNoise(seed, p.iDitherBits, noise);

    const int32_t left = (1 << (p.iLog2H - 1)) < width ? 1 << (p.iLog2H - 1) : width;
    const int32_t v1 = p.iTapV1, v2 = p.iTapV2;
    uint8_t thr[8 + kVecBytes];
    int16_t thr4[8 + kLanes16];
    for (int32_t r = -half; r <= height + half - 1; ++r) {
        const int16_t* jitter = noise + 8 * (r & 255);
        for (int i = 0; i < 8; ++i) {
            const int32_t t = (p.iThreshold + (jitter[i] >> p.iJitterShift)) >> 4;
            for (int k = i; k < 8 + kVecBytes; k += 8) thr[k] = static_cast<uint8_t>(t);
            for (int k = i; k < 8 + kLanes16; k += 8) thr4[k] = static_cast<int16_t>(4 * t);
        }
        const int32_t sy = y0 + r;
        if (sy >= 0 && sy < y1)
            FilterRow(src + static_cast<ptrdiff_t>(sy) * srcStride,
                      ring + static_cast<size_t>(r & (ringRows - 1)) * width, width, left, p.iTapH1, p.iTapH2, thr);
        const int32_t o = r - half + 1;
        if (o < 0) continue;
        if (y0 + o >= y1) break;
        s = DebandNextState(s);
        uint8_t* out = dst + static_cast<ptrdiff_t>(y0 + o) * dstStride;
        const uint16_t* hc = ring + static_cast<size_t>(o & (ringRows - 1)) * width;
        if (y0 + o < half || y0 + r + 1 >= y1) {
            OutputRow(out, hc, nullptr, width, thr4, noise, s);
            continue;
        }
        const uint16_t* taps[4];
        const int32_t offsets[4] = {-v1, -v2, v2, v1};
        for (int i = 0; i < 4; ++i) taps[i] = ring + static_cast<size_t>((o + offsets[i]) & (ringRows - 1)) * width;
        OutputRow(out, hc, taps, width, thr4, noise, s);
    }
    release(opaque, ring);
    return 1;
}

}  // namespace Ravvel
