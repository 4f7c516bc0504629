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
static inline void StreamF(float* p, VF v) { _mm256_stream_ps(p, v); }
enum { kStreamAlign = 32 };
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
static inline void StreamF(float* p, VF v) { _mm_stream_ps(p, v); }
enum { kStreamAlign = 16 };
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

enum {
    kChains = 4,                          // independent vectors in flight
    kLanes = 4 * kPixelsPerVec,           // floats per vector
    kSlotFloats = 2 * kChains * kLanes,   // per position: the inputs, then the causal results
    kGroup4 = kChains * kPixelsPerVec     // four-channel lines per group
};
static_assert(kSlotFloats * sizeof(float) <= kGaussRowBufferBytesPerSample, "row buffer too small");

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

// Positions whose inputs are gathered at once before the causal recursion
// runs over them, while they are still in the first-level cache.
enum { kFillBlock = 32 };

// Both recursions over `n` positions; fill(i0, i1) puts the inputs of
// positions [i0, i1) into the slots, and the results of position i (kChains
// vectors) go to emit(i, results). Only the recursion outputs stay in
// registers: the inputs are reloaded from the slots, which keeps every
// chain's state within the register file.
template <class Fill, class Emit>
static inline void FilterSlots(float* slots, int32_t n, const Coeffs& c, Fill fill, Emit emit)
{
    VF y1[kChains], y2[kChains];
    const float* prev = slots;
    fill(0, n < kFillBlock ? n : kFillBlock);
    for (int k = 0; k < kChains; ++k) y1[k] = y2[k] = Mul(c.cp, LoadF(prev + k * kLanes));
    for (int32_t i = 0; i < n; ++i) {
        if (i > 0 && i % kFillBlock == 0) fill(i, n - i < kFillBlock ? n : i + kFillBlock);
        float* s = slots + i * kSlotFloats;
        for (int k = 0; k < kChains; ++k) {
            const VF y = Recur(c.a0, LoadF(s + k * kLanes), c.a1, LoadF(prev + k * kLanes), c.b1, y1[k], c.b2, y2[k]);
            StoreF(s + (kChains + k) * kLanes, y);
            y2[k] = y1[k];
            y1[k] = y;
        }
        prev = s;
    }
    const float* next1 = slots + (n - 1) * kSlotFloats;
    const float* next2 = next1;
    for (int k = 0; k < kChains; ++k) y1[k] = y2[k] = Mul(c.cn, LoadF(next1 + k * kLanes));
    for (int32_t i = n - 1; i >= 0; --i) {
        const float* s = slots + i * kSlotFloats;
        VF r[kChains];
        for (int k = 0; k < kChains; ++k) {
            const VF y =
                Recur(c.a2, LoadF(next1 + k * kLanes), c.a3, LoadF(next2 + k * kLanes), c.b1, y1[k], c.b2, y2[k]);
            y2[k] = y1[k];
            y1[k] = y;
            r[k] = Add(LoadF(s + (kChains + k) * kLanes), y);
        }
        emit(i, r);
        next2 = next1;
        next1 = s;
    }
}

// A four-channel float image is mostly larger than the caches, and each
// position of a row group lands in a different line of it: stores that
// bypass the cache skip reading every line before overwriting it.
static inline void StoreResults(float* out, const VF* r)
{
    if ((reinterpret_cast<uintptr_t>(out) & (kStreamAlign - 1)) == 0)
        for (int k = 0; k < kChains; ++k) StreamF(out + k * kLanes, r[k]);
    else
        for (int k = 0; k < kChains; ++k) StoreF(out + k * kLanes, r[k]);
}

// Rows r0 .. r0 + kGroup4 - 1 of four-channel pixels.
static void Rows4(const uint8_t* src, ptrdiff_t stride, float* transposed, float* slots, int32_t width,
                  int32_t height, int32_t r0, const Coeffs& c)
{
    const uint8_t* p[kChains];
    for (int k = 0; k < kChains; ++k) p[k] = src + (r0 + k * kPixelsPerVec) * stride;
    const auto fill = [&](int32_t i0, int32_t i1) {
        for (int32_t n = i0; n < i1; ++n)
            for (int k = 0; k < kChains; ++k)
                StoreF(slots + n * kSlotFloats + k * kLanes, LoadPixels(p[k] + 4 * n, p[k] + stride + 4 * n));
    };
    FilterSlots(slots, width, c, fill, [&](int32_t i, const VF* r) {
        StoreResults(transposed + (static_cast<ptrdiff_t>(i) * height + r0) * 4, r);
    });
}

// Columns c0 .. c0 + kGroup4 - 1 of four-channel pixels. The lines come
// from memory in several streams at once, so they are fetched ahead.
enum { kPrefetchFloats = 256 };
static void Columns4(const float* transposed, uint8_t* dst, ptrdiff_t stride, float* slots, int32_t height,
                     int32_t c0, const Coeffs& c)
{
    const ptrdiff_t line = static_cast<ptrdiff_t>(height) * 4;
    const float* p[kChains];
    for (int k = 0; k < kChains; ++k) p[k] = transposed + (c0 + k * kPixelsPerVec) * line;
    const auto fill = [&](int32_t i0, int32_t i1) {
        for (int32_t n = i0; n < i1; ++n) {
            if ((n & 3) == 0)
                for (int k = 0; k < kChains; ++k) {
                    _mm_prefetch(reinterpret_cast<const char*>(p[k] + 4 * n + kPrefetchFloats), _MM_HINT_T0);
                    _mm_prefetch(reinterpret_cast<const char*>(p[k] + line + 4 * n + kPrefetchFloats), _MM_HINT_T0);
                }
            for (int k = 0; k < kChains; ++k)
                StoreF(slots + n * kSlotFloats + k * kLanes, LoadPixelFloats(p[k] + 4 * n, p[k] + line + 4 * n));
        }
    };
    FilterSlots(slots, height, c, fill,
                [&](int32_t i, const VF* r) { StoreBytes4(dst + i * stride + c0 * 4, r); });
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
    // Lanes are independent, so a last group overlapping the previous one
    // recomputes those rows bit for bit: cheaper than the scalar lines.
    if (r < height && height >= kGroup4)
        Rows4(src, srcStride, transposed, rowBuffer, width, height, height - kGroup4, c);
    else
        GaussBlurRows_c(src, srcStride, transposed, rowBuffer, width, height, 4, r, height, coeffs);
    _mm_sfence();
}

void RL_TIERED(gauss_blur_4_vertical_intrin)(const float* transposed, uint8_t* dst, int32_t dstStride,
                                             float* rowBuffer, int32_t width, int32_t height, const float* coeffs)
{
    using namespace RL_TIER_NS;
    if (width <= 0 || height <= 0) return;
    const Coeffs c = MakeCoeffs(coeffs);
    int32_t col = 0;
    for (; col + kGroup4 <= width; col += kGroup4) Columns4(transposed, dst, dstStride, rowBuffer, height, col, c);
    if (col < width && width >= kGroup4)
        Columns4(transposed, dst, dstStride, rowBuffer, height, width - kGroup4, c);
    else
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

// One channel: kChains vectors of eight lines each per group, the inputs
// transposed into the slots first.
enum { kLines1 = kChains * 8 };

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

static void Rows1(const uint8_t* src, ptrdiff_t stride, float* transposed, float* slots, int32_t width,
                  int32_t height, int32_t r0, const Coeffs& c)
{
    const uint8_t* base = src + r0 * stride;
    // Blocks start at multiples of 8, so only the last one has a tail.
    const auto fill = [&](int32_t i0, int32_t i1) {
        int32_t n = i0;
        for (; n + 8 <= i1; n += 8)
            for (int k = 0; k < kChains; ++k)
                Transpose8x8Bytes(base + 8 * k * stride + n, stride, slots + n * kSlotFloats + k * kLanes,
                                  kSlotFloats);
        for (; n < i1; ++n)
            for (int l = 0; l < kLines1; ++l) slots[n * kSlotFloats + l] = static_cast<float>(base[l * stride + n]);
    };
    FilterSlots(slots, width, c, fill, [&](int32_t i, const VF* r) {
        // One channel's float image stays in the caches for the vertical
        // pass, so it is stored normally.
        float* out = transposed + static_cast<ptrdiff_t>(i) * height + r0;
        for (int k = 0; k < kChains; ++k) StoreF(out + 8 * k, r[k]);
    });
}

// Eight floats of each of two vectors to sixteen bytes.
static inline __m128i Bytes16(VF lo, VF hi)
{
    const __m256i w = _mm256_permute4x64_epi64(_mm256_packs_epi32(ToInt(lo), ToInt(hi)), 0xd8);
    return _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
}

static void Columns1(const float* transposed, uint8_t* dst, ptrdiff_t stride, float* slots, int32_t height,
                     int32_t c0, const Coeffs& c)
{
    const float* base = transposed + static_cast<ptrdiff_t>(c0) * height;
    const auto fill = [&](int32_t i0, int32_t i1) {
        int32_t n = i0;
        for (; n + 8 <= i1; n += 8)
            for (int k = 0; k < kChains; ++k)
                Transpose8x8Floats(base + static_cast<ptrdiff_t>(8 * k) * height + n, height,
                                   slots + n * kSlotFloats + k * kLanes, kSlotFloats);
        for (; n < i1; ++n)
            for (int l = 0; l < kLines1; ++l)
                slots[n * kSlotFloats + l] = base[static_cast<ptrdiff_t>(l) * height + n];
    };
    FilterSlots(slots, height, c, fill, [&](int32_t i, const VF* r) {
        uint8_t* out = dst + i * stride + c0;
        for (int k = 0; k < kChains; k += 2) Store128(out + 8 * k, Bytes16(r[k], r[k + 1]));
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
    if (r < height && height >= kLines1)
        Rows1(src, srcStride, transposed, rowBuffer, width, height, height - kLines1, c);
    else
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
    if (col < width && width >= kLines1)
        Columns1(transposed, dst, dstStride, rowBuffer, height, width - kLines1, c);
    else
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
