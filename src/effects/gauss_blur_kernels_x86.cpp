// Recursive Gaussian blur, several lines per step in vector lanes. The
// recursion along a line is serial, so each lane carries its own line, and
// several independent vectors are kept in flight to hide the latency of the
// dependency chain. Every lane performs exactly the reference's float
// operations in the reference's order (no fused multiply-add), so the
// results are bit-identical. Lines that do not fill a group go through the
// reference line functions.
#include "effects/gauss_blur_kernels.h"
#include "simd/tier.h"

namespace Ravvel {
namespace RL_TIER_NS {

#if RL_TIER_HAS_AVX2
typedef __m256 VF;
enum { kPixelsPerVec = 2 };  // four channels of two lines
static inline VF Set1(float v) { return _mm256_set1_ps(v); }
static inline VF Add(VF a, VF b) { return _mm256_add_ps(a, b); }
static inline VF Sub(VF a, VF b) { return _mm256_sub_ps(a, b); }
static inline VF Mul(VF a, VF b) { return _mm256_mul_ps(a, b); }
static inline VF LoadF(const float* p) { return _mm256_loadu_ps(p); }
static inline void StoreF(float* p, VF v) { _mm256_storeu_ps(p, v); }
// Four bytes of each of two pixels.
static inline VF LoadPixels(const uint8_t* p, const uint8_t* q)
{
    const __m128i b = _mm_unpacklo_epi32(Load32(p), Load32(q));
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(b));
}
static inline VF LoadPixelFloats(const float* p, const float* q)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p)), _mm_loadu_ps(q), 1);
}
#else
typedef __m128 VF;
enum { kPixelsPerVec = 1 };
static inline VF Set1(float v) { return _mm_set1_ps(v); }
static inline VF Add(VF a, VF b) { return _mm_add_ps(a, b); }
static inline VF Sub(VF a, VF b) { return _mm_sub_ps(a, b); }
static inline VF Mul(VF a, VF b) { return _mm_mul_ps(a, b); }
static inline VF LoadF(const float* p) { return _mm_loadu_ps(p); }
static inline void StoreF(float* p, VF v) { _mm_storeu_ps(p, v); }
static inline VF LoadPixels(const uint8_t* p, const uint8_t*)
{
#if RL_TIER_HAS_SSE41
    return _mm_cvtepi32_ps(_mm_cvtepu8_epi32(Load32(p)));
#else
    const __m128i z = _mm_setzero_si128();
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(Load32(p), z), z));
#endif
}
static inline VF LoadPixelFloats(const float* p, const float*) { return _mm_loadu_ps(p); }
#endif

enum { kChains = 4, kFloatsPerVec = 4 * kPixelsPerVec, kGroup4 = kChains * kPixelsPerVec };

struct Coeffs {
    VF a0, a1, a2, a3, b1, b2, cp, cn;
};

static inline Coeffs MakeCoeffs(const float* k)
{
    Coeffs c;
    c.a0 = Set1(k[kGaussA0]);
    c.a1 = Set1(k[kGaussA1]);
    c.a2 = Set1(k[kGaussA2]);
    c.a3 = Set1(k[kGaussA3]);
    c.b1 = Set1(k[kGaussB1]);
    c.b2 = Set1(k[kGaussB2]);
    c.cp = Set1(k[kGaussCoefP]);
    c.cn = Set1(k[kGaussCoefN]);
    return c;
}

// u*x1 + v*x2 - b1*y1 - b2*y2, evaluated left to right.
static inline VF Recur(VF u, VF x1, VF v, VF x2, VF b1, VF y1, VF b2, VF y2)
{
    return Sub(Sub(Add(Mul(u, x1), Mul(v, x2)), Mul(b1, y1)), Mul(b2, y2));
}

// Float lanes to bytes: truncation toward zero, clamped to 0..255. The
// minimum keeps NaN (second operand) so that it converts to 0 as in C.
#if RL_TIER_HAS_AVX2
static inline __m256i ToInt(VF v) { return _mm256_cvttps_epi32(_mm256_min_ps(Set1(255.0f), v)); }
// Four vectors of two pixels each, in order, as 32 bytes.
static inline void StoreBytes4(uint8_t* p, const VF* v)
{
    const __m256i w01 = _mm256_packs_epi32(ToInt(v[0]), ToInt(v[1]));
    const __m256i w23 = _mm256_packs_epi32(ToInt(v[2]), ToInt(v[3]));
    const __m256i b = _mm256_packus_epi16(w01, w23);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_permutevar8x32_epi32(b, order));
}
#else
static inline __m128i ToInt(VF v) { return _mm_cvttps_epi32(_mm_min_ps(Set1(255.0f), v)); }
static inline void StoreBytes4(uint8_t* p, const VF* v)
{
    const __m128i w01 = _mm_packs_epi32(ToInt(v[0]), ToInt(v[1]));
    const __m128i w23 = _mm_packs_epi32(ToInt(v[2]), ToInt(v[3]));
    Store128(p, _mm_packus_epi16(w01, w23));
}
#endif

// Rows r0 .. r0 + kGroup4 - 1 of four-channel pixels.
static void Rows4(const uint8_t* src, ptrdiff_t stride, float* transposed, float* causal, int32_t width,
                  int32_t height, int32_t r0, const Coeffs& c)
{
    const uint8_t* p[kChains];
    const uint8_t* q[kChains];
    for (int k = 0; k < kChains; ++k) {
        p[k] = src + (r0 + k * kPixelsPerVec) * stride;
        q[k] = p[k] + (kPixelsPerVec - 1) * stride;
    }
    VF x1[kChains], y1[kChains], y2[kChains];
    for (int k = 0; k < kChains; ++k) {
        x1[k] = LoadPixels(p[k], q[k]);
        y1[k] = y2[k] = Mul(c.cp, x1[k]);
    }
    for (int32_t n = 0; n < width; ++n) {
        float* out = causal + n * (kGroup4 * 4);
        for (int k = 0; k < kChains; ++k) {
            const VF x = LoadPixels(p[k] + 4 * n, q[k] + 4 * n);
            const VF y = Recur(c.a0, x, c.a1, x1[k], c.b1, y1[k], c.b2, y2[k]);
            StoreF(out + k * kFloatsPerVec, y);
            x1[k] = x;
            y2[k] = y1[k];
            y1[k] = y;
        }
    }
    VF x2[kChains];
    for (int k = 0; k < kChains; ++k) {
        x1[k] = x2[k] = LoadPixels(p[k] + 4 * (width - 1), q[k] + 4 * (width - 1));
        y1[k] = y2[k] = Mul(c.cn, x1[k]);
    }
    for (int32_t n = width - 1; n >= 0; --n) {
        const float* in = causal + n * (kGroup4 * 4);
        float* out = transposed + (static_cast<ptrdiff_t>(n) * height + r0) * 4;
        for (int k = 0; k < kChains; ++k) {
            const VF y = Recur(c.a2, x1[k], c.a3, x2[k], c.b1, y1[k], c.b2, y2[k]);
            x2[k] = x1[k];
            x1[k] = LoadPixels(p[k] + 4 * n, q[k] + 4 * n);
            y2[k] = y1[k];
            y1[k] = y;
            StoreF(out + k * kFloatsPerVec, Add(LoadF(in + k * kFloatsPerVec), y));
        }
    }
}

// Columns c0 .. c0 + kGroup4 - 1 of four-channel pixels.
static void Columns4(const float* transposed, uint8_t* dst, ptrdiff_t stride, float* causal, int32_t height,
                     int32_t c0, const Coeffs& c)
{
    const float* p[kChains];
    const float* q[kChains];
    for (int k = 0; k < kChains; ++k) {
        p[k] = transposed + static_cast<ptrdiff_t>(c0 + k * kPixelsPerVec) * height * 4;
        q[k] = p[k] + (kPixelsPerVec - 1) * height * 4;
    }
    VF x1[kChains], y1[kChains], y2[kChains];
    for (int k = 0; k < kChains; ++k) {
        x1[k] = LoadPixelFloats(p[k], q[k]);
        y1[k] = y2[k] = Mul(c.cp, x1[k]);
    }
    for (int32_t n = 0; n < height; ++n) {
        float* out = causal + n * (kGroup4 * 4);
        for (int k = 0; k < kChains; ++k) {
            const VF x = LoadPixelFloats(p[k] + 4 * n, q[k] + 4 * n);
            const VF y = Recur(c.a0, x, c.a1, x1[k], c.b1, y1[k], c.b2, y2[k]);
            StoreF(out + k * kFloatsPerVec, y);
            x1[k] = x;
            y2[k] = y1[k];
            y1[k] = y;
        }
    }
    VF x2[kChains];
    for (int k = 0; k < kChains; ++k) {
        x1[k] = x2[k] = LoadPixelFloats(p[k] + 4 * (height - 1), q[k] + 4 * (height - 1));
        y1[k] = y2[k] = Mul(c.cn, x1[k]);
    }
    for (int32_t n = height - 1; n >= 0; --n) {
        const float* in = causal + n * (kGroup4 * 4);
        VF result[kChains];
        for (int k = 0; k < kChains; ++k) {
            const VF y = Recur(c.a2, x1[k], c.a3, x2[k], c.b1, y1[k], c.b2, y2[k]);
            x2[k] = x1[k];
            x1[k] = LoadPixelFloats(p[k] + 4 * n, q[k] + 4 * n);
            y2[k] = y1[k];
            y1[k] = y;
            result[k] = Add(LoadF(in + k * kFloatsPerVec), y);
        }
        StoreBytes4(dst + n * stride + c0 * 4, result);
    }
}

}  // namespace RL_TIER_NS

void RL_TIERED(gauss_blur_4_horizontal_intrin)(const uint8_t* src, int32_t srcStride, float* transposed,
                                               float* rowBuffer, int32_t width, int32_t height, const float* coeffs)
{
    using namespace RL_TIER_NS;
    if (width <= 0 || height <= 0) return;
    const Coeffs c = MakeCoeffs(coeffs);
    int32_t r = 0;
    for (; r + kGroup4 <= height; r += kGroup4) Rows4(src, srcStride, transposed, rowBuffer, width, height, r, c);
    GaussBlurRows_c(src, srcStride, transposed, rowBuffer, width, height, 4, r, height, coeffs);
}

void RL_TIERED(gauss_blur_4_vertical_intrin)(const float* transposed, uint8_t* dst, int32_t dstStride,
                                             float* rowBuffer, int32_t width, int32_t height, const float* coeffs)
{
    using namespace RL_TIER_NS;
    if (width <= 0 || height <= 0) return;
    const Coeffs c = MakeCoeffs(coeffs);
    int32_t col = 0;
    for (; col + kGroup4 <= width; col += kGroup4) Columns4(transposed, dst, dstStride, rowBuffer, height, col, c);
    GaussBlurColumns_c(transposed, dst, dstStride, rowBuffer, width, height, 4, col, width, coeffs);
}

void RL_TIERED(gauss_blur_wrap_4_intrin)(const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride,
                                         float* rowBuffer, float* transposed, int32_t width, int32_t height,
                                         const float* coeffs)
{
    RL_TIERED(gauss_blur_4_horizontal_intrin)(src, srcStride, transposed, rowBuffer, width, height, coeffs);
    RL_TIERED(gauss_blur_4_vertical_intrin)(transposed, dst, dstStride, rowBuffer, width, height, coeffs);
}

#if RL_TIER_HAS_AVX2

namespace RL_TIER_NS {

// One channel: 16 lines per group, two vectors of eight. The inputs are
// transposed into the row buffer first (16 floats per position), the
// causal results follow them (16 more).
enum { kLines1 = 16, kSlot1 = 32 };

// 8 x 8 bytes (rows of `stride`) to 8 vectors of 8 floats, one per column.
static inline void Transpose8x8Bytes(const uint8_t* p, ptrdiff_t stride, float* out, ptrdiff_t outStep)
{
    __m128i v[8];
    for (int i = 0; i < 8; ++i) v[i] = Load64(p + i * stride);
    const __m128i t0 = _mm_unpacklo_epi8(v[0], v[1]), t1 = _mm_unpacklo_epi8(v[2], v[3]);
    const __m128i t2 = _mm_unpacklo_epi8(v[4], v[5]), t3 = _mm_unpacklo_epi8(v[6], v[7]);
    const __m128i u0 = _mm_unpacklo_epi16(t0, t1), u1 = _mm_unpackhi_epi16(t0, t1);
    const __m128i u2 = _mm_unpacklo_epi16(t2, t3), u3 = _mm_unpackhi_epi16(t2, t3);
    const __m128i w[4] = {_mm_unpacklo_epi32(u0, u2), _mm_unpackhi_epi32(u0, u2), _mm_unpacklo_epi32(u1, u3),
                          _mm_unpackhi_epi32(u1, u3)};
    for (int j = 0; j < 8; ++j) {
        const __m128i col = (j & 1) ? _mm_srli_si128(w[j >> 1], 8) : w[j >> 1];
        _mm256_storeu_ps(out + j * outStep, _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(col)));
    }
}

// 8 x 8 floats (rows of `stride` floats) transposed.
static inline void Transpose8x8Floats(const float* p, ptrdiff_t stride, float* out, ptrdiff_t outStep)
{
    __m256 r[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm256_loadu_ps(p + i * stride);
    __m256 t[8], s[8];
    for (int i = 0; i < 4; ++i) {
        t[2 * i] = _mm256_unpacklo_ps(r[2 * i], r[2 * i + 1]);
        t[2 * i + 1] = _mm256_unpackhi_ps(r[2 * i], r[2 * i + 1]);
    }
    for (int i = 0; i < 2; ++i) {
        s[4 * i + 0] = _mm256_shuffle_ps(t[4 * i + 0], t[4 * i + 2], 0x44);
        s[4 * i + 1] = _mm256_shuffle_ps(t[4 * i + 0], t[4 * i + 2], 0xee);
        s[4 * i + 2] = _mm256_shuffle_ps(t[4 * i + 1], t[4 * i + 3], 0x44);
        s[4 * i + 3] = _mm256_shuffle_ps(t[4 * i + 1], t[4 * i + 3], 0xee);
    }
    for (int j = 0; j < 4; ++j) {
        _mm256_storeu_ps(out + j * outStep, _mm256_permute2f128_ps(s[j], s[j + 4], 0x20));
        _mm256_storeu_ps(out + (j + 4) * outStep, _mm256_permute2f128_ps(s[j], s[j + 4], 0x31));
    }
}

// Both recursions over `n` positions of transposed inputs in `slots`; each
// position's result (two vectors, lanes 0..15) goes to emit(i, lo, hi).
template <class Emit>
static inline void Filter16(float* slots, int32_t n, const Coeffs& c, Emit emit)
{
    VF x1[2], y1[2], y2[2], x2[2];
    for (int h = 0; h < 2; ++h) {
        x1[h] = LoadF(slots + 8 * h);
        y1[h] = y2[h] = Mul(c.cp, x1[h]);
    }
    for (int32_t i = 0; i < n; ++i) {
        float* s = slots + i * kSlot1;
        for (int h = 0; h < 2; ++h) {
            const VF x = LoadF(s + 8 * h);
            const VF y = Recur(c.a0, x, c.a1, x1[h], c.b1, y1[h], c.b2, y2[h]);
            StoreF(s + 16 + 8 * h, y);
            x1[h] = x;
            y2[h] = y1[h];
            y1[h] = y;
        }
    }
    for (int h = 0; h < 2; ++h) {
        x1[h] = x2[h] = LoadF(slots + (n - 1) * kSlot1 + 8 * h);
        y1[h] = y2[h] = Mul(c.cn, x1[h]);
    }
    for (int32_t i = n - 1; i >= 0; --i) {
        const float* s = slots + i * kSlot1;
        VF r[2];
        for (int h = 0; h < 2; ++h) {
            const VF y = Recur(c.a2, x1[h], c.a3, x2[h], c.b1, y1[h], c.b2, y2[h]);
            x2[h] = x1[h];
            x1[h] = LoadF(s + 8 * h);
            y2[h] = y1[h];
            y1[h] = y;
            r[h] = Add(LoadF(s + 16 + 8 * h), y);
        }
        emit(i, r[0], r[1]);
    }
}

static void Rows1(const uint8_t* src, ptrdiff_t stride, float* transposed, float* slots, int32_t width,
                  int32_t height, int32_t r0, const Coeffs& c)
{
    const uint8_t* base = src + r0 * stride;
    int32_t n = 0;
    for (; n + 8 <= width; n += 8)
        for (int h = 0; h < 2; ++h) Transpose8x8Bytes(base + 8 * h * stride + n, stride, slots + n * kSlot1 + 8 * h, kSlot1);
    for (; n < width; ++n)
        for (int l = 0; l < kLines1; ++l) slots[n * kSlot1 + l] = static_cast<float>(base[l * stride + n]);
    Filter16(slots, width, c, [&](int32_t i, VF lo, VF hi) {
        float* out = transposed + static_cast<ptrdiff_t>(i) * height + r0;
        StoreF(out, lo);
        StoreF(out + 8, hi);
    });
}

static void Columns1(const float* transposed, uint8_t* dst, ptrdiff_t stride, float* slots, int32_t height,
                     int32_t c0, const Coeffs& c)
{
    const float* base = transposed + static_cast<ptrdiff_t>(c0) * height;
    int32_t n = 0;
    for (; n + 8 <= height; n += 8)
        for (int h = 0; h < 2; ++h)
            Transpose8x8Floats(base + static_cast<ptrdiff_t>(8 * h) * height + n, height, slots + n * kSlot1 + 8 * h,
                               kSlot1);
    for (; n < height; ++n)
        for (int l = 0; l < kLines1; ++l) slots[n * kSlot1 + l] = base[static_cast<ptrdiff_t>(l) * height + n];
    Filter16(slots, height, c, [&](int32_t i, VF lo, VF hi) {
        const __m256i w = _mm256_permute4x64_epi64(_mm256_packs_epi32(ToInt(lo), ToInt(hi)), 0xd8);
        Store128(dst + i * stride + c0,
                 _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1)));
    });
}

}  // namespace RL_TIER_NS

void gauss_blur_1_horizontal_intrin_avx2(const uint8_t* src, int32_t srcStride, float* transposed, float* rowBuffer,
                                         int32_t width, int32_t height, const float* coeffs)
{
    using namespace RL_TIER_NS;
    if (width <= 0 || height <= 0) return;
    const Coeffs c = MakeCoeffs(coeffs);
    int32_t r = 0;
    for (; r + kLines1 <= height; r += kLines1) Rows1(src, srcStride, transposed, rowBuffer, width, height, r, c);
    GaussBlurRows_c(src, srcStride, transposed, rowBuffer, width, height, 1, r, height, coeffs);
}

void gauss_blur_1_vertical_intrin_avx2(const float* transposed, uint8_t* dst, int32_t dstStride, float* rowBuffer,
                                       int32_t width, int32_t height, const float* coeffs)
{
    using namespace RL_TIER_NS;
    if (width <= 0 || height <= 0) return;
    const Coeffs c = MakeCoeffs(coeffs);
    int32_t col = 0;
    for (; col + kLines1 <= width; col += kLines1) Columns1(transposed, dst, dstStride, rowBuffer, height, col, c);
    GaussBlurColumns_c(transposed, dst, dstStride, rowBuffer, width, height, 1, col, width, coeffs);
}

void gauss_blur_wrap_1_intrin_avx2(const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride,
                                   float* rowBuffer, float* transposed, int32_t width, int32_t height,
                                   const float* coeffs)
{
    gauss_blur_1_horizontal_intrin_avx2(src, srcStride, transposed, rowBuffer, width, height, coeffs);
    gauss_blur_1_vertical_intrin_avx2(transposed, dst, dstStride, rowBuffer, width, height, coeffs);
}

#endif

}  // namespace Ravvel
