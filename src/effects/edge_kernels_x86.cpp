// Sobel edge map, whole rows per vector step: 16-bit gradients in two
// half-vectors, bytes for the thinning. Compiled once per tier; columns a
// vector cannot reach without passing the last written column go to the
// reference row functions, or the last vector is moved back to end there.
#include <cstring>

#include "effects/edge_kernels.h"
#include "simd/tier.h"

namespace Ravvel {
namespace RL_TIER_NS {

#if RL_TIER_HAS_AVX2
typedef __m256i V;
enum { kStep = 32 };
static inline V Ld(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
static inline void St(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
static inline V PackU(V lo, V hi) { return _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xd8); }
static inline V PackS(V lo, V hi) { return _mm256_permute4x64_epi64(_mm256_packs_epi16(lo, hi), 0xd8); }
static inline V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
static inline V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
static inline V Abs16(V a) { return _mm256_abs_epi16(a); }
static inline V Max16(V a, V b) { return _mm256_max_epi16(a, b); }
static inline V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
static inline V Gt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
static inline V Shr16(V a, int n) { return _mm256_srli_epi16(a, n); }
static inline V Zero() { return _mm256_setzero_si256(); }
static inline V Ones8() { return _mm256_set1_epi8(1); }
static inline V And(V a, V b) { return _mm256_and_si256(a, b); }
static inline V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
static inline V Or(V a, V b) { return _mm256_or_si256(a, b); }
static inline V SubsU8(V a, V b) { return _mm256_subs_epu8(a, b); }
static inline V Eq8(V a, V b) { return _mm256_cmpeq_epi8(a, b); }
static inline V Gt8(V a, V b) { return _mm256_cmpgt_epi8(a, b); }
#else
typedef __m128i V;
enum { kStep = 16 };
static inline V Ld(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
static inline void St(uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
static inline V PackU(V lo, V hi) { return _mm_packus_epi16(lo, hi); }
static inline V PackS(V lo, V hi) { return _mm_packs_epi16(lo, hi); }
static inline V Add16(V a, V b) { return _mm_add_epi16(a, b); }
static inline V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
#if RL_TIER_HAS_SSSE3
static inline V Abs16(V a) { return _mm_abs_epi16(a); }
#else
static inline V Abs16(V a) { return _mm_max_epi16(a, _mm_sub_epi16(_mm_setzero_si128(), a)); }
#endif
static inline V Max16(V a, V b) { return _mm_max_epi16(a, b); }
static inline V Min16(V a, V b) { return _mm_min_epi16(a, b); }
static inline V Gt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
static inline V Shr16(V a, int n) { return _mm_srli_epi16(a, n); }
static inline V Zero() { return _mm_setzero_si128(); }
static inline V Ones8() { return _mm_set1_epi8(1); }
static inline V And(V a, V b) { return _mm_and_si128(a, b); }
static inline V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
static inline V Or(V a, V b) { return _mm_or_si128(a, b); }
static inline V SubsU8(V a, V b) { return _mm_subs_epu8(a, b); }
static inline V Eq8(V a, V b) { return _mm_cmpeq_epi8(a, b); }
static inline V Gt8(V a, V b) { return _mm_cmpgt_epi8(a, b); }
#endif

// p + 2q + r on 16-bit lanes.
static inline V Tap121(V p, V q, V r) { return Add16(Add16(p, r), Add16(q, q)); }

// Magnitudes (and flags) of one half-vector of pixels.
static inline V HalfMagnitude(V aL, V aC, V aR, V mL, V mR, V bL, V bC, V bR, V* flag)
{
    const V gx = Sub16(Tap121(aR, mR, bR), Tap121(aL, mL, bL));
    const V gy = Sub16(Tap121(bL, bC, bR), Tap121(aL, aC, aR));
    const V ax = Abs16(gx), ay = Abs16(gy);
    *flag = Gt16(ax, ay);
    return Shr16(Add16(Max16(ax, ay), Shr16(Min16(ax, ay), 2)), 2);
}

// kStep / 2 bytes widened to 16-bit lanes.
#if RL_TIER_HAS_AVX2
static inline V Widen(const uint8_t* p) { return _mm256_cvtepu8_epi16(Load128(p)); }
#else
static inline V Widen(const uint8_t* p) { return _mm_unpacklo_epi8(Load64(p), _mm_setzero_si128()); }
#endif

// kStep / 2 pixels from column x.
static inline V HalfStep(const uint8_t* a, const uint8_t* m, const uint8_t* b, int32_t x, V* flag)
{
    return HalfMagnitude(Widen(a + x - 1), Widen(a + x), Widen(a + x + 1), Widen(m + x - 1), Widen(m + x + 1),
                         Widen(b + x - 1), Widen(b + x), Widen(b + x + 1), flag);
}

// kStep pixels from column x: reads columns x - 1 .. x + kStep of the rows.
static inline void MagnitudeStep(const uint8_t* a, const uint8_t* m, const uint8_t* b, uint8_t* mag,
                                 uint8_t* flags, int32_t x)
{
    V fLo, fHi;
    const V lo = HalfStep(a, m, b, x, &fLo);
    const V hi = HalfStep(a, m, b, x + kStep / 2, &fHi);
    St(mag + x, PackU(lo, hi));
    if (flags) St(flags + x, And(PackS(fLo, fHi), Ones8()));
}

// a <= b on unsigned bytes, as all-ones lanes.
static inline V LessEqualU8(V a, V b) { return Eq8(SubsU8(a, b), Zero()); }

static inline void SuppressStep(const uint8_t* up, const uint8_t* mid, const uint8_t* down, const uint8_t* flags,
                                uint8_t* out, int32_t x)
{
    const V m = Ld(mid + x);
    const V rejectH = Or(LessEqualU8(m, Ld(mid + x - 1)), LessEqualU8(m, Ld(mid + x + 1)));
    const V rejectV = Or(LessEqualU8(m, Ld(up + x)), LessEqualU8(m, Ld(down + x)));
    const V horizontal = Gt8(Ld(flags + x), Zero());
    St(out + x, AndNot(Or(And(horizontal, rejectH), AndNot(horizontal, rejectV)), m));
}

// Columns [x0, x1): whole vectors, the last one moved back to end at x1 -
// recomputing a few pixels gives the same bytes again.
static void MagnitudeRow(const uint8_t* a, const uint8_t* m, const uint8_t* b, uint8_t* mag, uint8_t* flags,
                         int32_t x0, int32_t x1)
{
    if (x1 - x0 < kStep) {
        SobelMagnitudeRow_c(a, m, b, mag, flags, x0, x1);
        return;
    }
    int32_t x = x0;
    for (; x + kStep <= x1; x += kStep) MagnitudeStep(a, m, b, mag, flags, x);
    if (x < x1) MagnitudeStep(a, m, b, mag, flags, x1 - kStep);
}

static void SuppressRow(const uint8_t* up, const uint8_t* mid, const uint8_t* down, const uint8_t* flags,
                        uint8_t* out, int32_t x0, int32_t x1)
{
    if (x1 - x0 < kStep) {
        SobelSuppressRow_c(up, mid, down, flags, out, x0, x1);
        return;
    }
    int32_t x = x0;
    for (; x + kStep <= x1; x += kStep) SuppressStep(up, mid, down, flags, out, x);
    if (x < x1) SuppressStep(up, mid, down, flags, out, x1 - kStep);
}

// The last written row or column (SobelLastInterior, kept local to the tier).
static inline int32_t LastInterior(int32_t size) { return size < 4 ? 0 : (size - 2) & ~1; }

}  // namespace RL_TIER_NS

void RL_TIERED(SobelLumaFilter8)(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height, int32_t srcStride,
                                 int32_t dstStride, uint8_t* work)
{
    using namespace RL_TIER_NS;
    const int32_t lastRow = LastInterior(height), lastCol = LastInterior(width);
    if (lastRow == 0 || lastCol == 0) return;
    const ptrdiff_t ss = srcStride, ds = dstStride, ws = width;
    if (work == nullptr) {
        for (int32_t r = 1; r <= lastRow; ++r)
            MagnitudeRow(src + (r - 1) * ss, src + r * ss, src + (r + 1) * ss, dst + r * ds, nullptr, 1, lastCol + 1);
        return;
    }
    // Three magnitude rows, then three flag rows, each used in rotation.
    memset(work, 0, static_cast<size_t>(lastCol) + 1);
    for (int32_t r = 1; r <= lastRow; ++r) {
        uint8_t* mag = work + (r % 3) * ws;
        mag[0] = 0;
        MagnitudeRow(src + (r - 1) * ss, src + r * ss, src + (r + 1) * ss, mag, work + (3 + r % 3) * ws, 1,
                     lastCol + 1);
        if (r < 2) continue;
        uint8_t* out = dst + (r - 1) * ds;
        const uint8_t* above = work + ((r - 1) % 3) * ws;
        SuppressRow(work + ((r - 2) % 3) * ws, above, mag, work + (3 + (r - 1) % 3) * ws, out, 1, lastCol);
        out[lastCol] = above[lastCol];
    }
    memcpy(dst + lastRow * ds + 1, work + (lastRow % 3) * ws + 1, static_cast<size_t>(lastCol));
}

}  // namespace Ravvel
