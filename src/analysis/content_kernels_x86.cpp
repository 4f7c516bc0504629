// Built once per tier. The block pass is where the time goes: gradients and
// their extremes per quadrant in 16-bit lanes, changed samples by byte
// compares, distinct values through a byte table instead of a histogram.
#include "analysis/content_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

static inline int32_t ClassOfRange(int32_t range, int32_t textThreshold, int32_t flatThreshold)
{
    if (range < flatThreshold) return BACKGROUND_MB;
    return range < textThreshold ? VIDEO_MB : TEXT_MB;
}

static inline int32_t MinI16x8(__m128i v)
{
    v = _mm_min_epi16(v, _mm_shuffle_epi32(v, 0x4e));
    v = _mm_min_epi16(v, _mm_shuffle_epi32(v, 0xb1));
    v = _mm_min_epi16(v, _mm_shufflelo_epi16(v, 0xb1));
    return static_cast<int16_t>(_mm_cvtsi128_si32(v));
}

static inline int32_t MaxI16x8(__m128i v)
{
    v = _mm_max_epi16(v, _mm_shuffle_epi32(v, 0x4e));
    v = _mm_max_epi16(v, _mm_shuffle_epi32(v, 0xb1));
    v = _mm_max_epi16(v, _mm_shufflelo_epi16(v, 0xb1));
    return static_cast<int16_t>(_mm_cvtsi128_si32(v));
}

// Largest and smallest gradient of each quadrant (TL, TR, BL, BR).
static inline void QuadrantExtremes(const uint8_t* cur, int32_t stride, int32_t* lo, int32_t* hi)
{
#if RL_TIER_HAS_AVX2
    __m256i mn[4], mx[4];
    for (int k = 0; k < 4; ++k) mn[k] = _mm256_set1_epi16(255), mx[k] = _mm256_set1_epi16(-255);
    for (int r = 0; r < 32; ++r) {
        const uint8_t* p = cur + static_cast<ptrdiff_t>(r) * stride;
        const int q = r < 16 ? 0 : 2;
        const __m256i gl = _mm256_sub_epi16(_mm256_cvtepu8_epi16(Load128(p)), _mm256_cvtepu8_epi16(Load128(p - 1)));
        const __m256i gr =
            _mm256_sub_epi16(_mm256_cvtepu8_epi16(Load128(p + 16)), _mm256_cvtepu8_epi16(Load128(p + 15)));
        mn[q] = _mm256_min_epi16(mn[q], gl);
        mx[q] = _mm256_max_epi16(mx[q], gl);
        mn[q + 1] = _mm256_min_epi16(mn[q + 1], gr);
        mx[q + 1] = _mm256_max_epi16(mx[q + 1], gr);
    }
    for (int k = 0; k < 4; ++k) {
        lo[k] = MinI16x8(_mm_min_epi16(_mm256_castsi256_si128(mn[k]), _mm256_extracti128_si256(mn[k], 1)));
        hi[k] = MaxI16x8(_mm_max_epi16(_mm256_castsi256_si128(mx[k]), _mm256_extracti128_si256(mx[k], 1)));
    }
#else
    const __m128i zero = _mm_setzero_si128();
    __m128i mn[4], mx[4];
    for (int k = 0; k < 4; ++k) mn[k] = _mm_set1_epi16(255), mx[k] = _mm_set1_epi16(-255);
    for (int r = 0; r < 32; ++r) {
        const uint8_t* p = cur + static_cast<ptrdiff_t>(r) * stride;
        const int q = r < 16 ? 0 : 2;
        for (int h = 0; h < 2; ++h) {
            const __m128i a = Load128(p + 16 * h), b = Load128(p + 16 * h - 1);
            const __m128i g0 = _mm_sub_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
            const __m128i g1 = _mm_sub_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
            mn[q + h] = _mm_min_epi16(mn[q + h], _mm_min_epi16(g0, g1));
            mx[q + h] = _mm_max_epi16(mx[q + h], _mm_max_epi16(g0, g1));
        }
    }
    for (int k = 0; k < 4; ++k) {
        lo[k] = MinI16x8(mn[k]);
        hi[k] = MaxI16x8(mx[k]);
    }
#endif
}

// Samples of the block equal to the reference's, counted in byte lanes
// (at most 64 per lane) and summed at the end.
static inline int32_t EqualSamples(const uint8_t* cur, const uint8_t* ref, int32_t stride)
{
#if RL_TIER_HAS_AVX2
    __m256i acc = _mm256_setzero_si256();
    for (int r = 0; r < 32; ++r) {
        const ptrdiff_t o = static_cast<ptrdiff_t>(r) * stride;
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cur + o));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ref + o));
        acc = _mm256_sub_epi8(acc, _mm256_cmpeq_epi8(a, b));
    }
    const __m256i sums = _mm256_sad_epu8(acc, _mm256_setzero_si256());
    return static_cast<int32_t>(
        SumSad128(_mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1))));
#else
    __m128i acc = _mm_setzero_si128();
    for (int r = 0; r < 32; ++r) {
        const ptrdiff_t o = static_cast<ptrdiff_t>(r) * stride;
        acc = _mm_sub_epi8(acc, _mm_cmpeq_epi8(Load128(cur + o), Load128(ref + o)));
        acc = _mm_sub_epi8(acc, _mm_cmpeq_epi8(Load128(cur + o + 16), Load128(ref + o + 16)));
    }
    return static_cast<int32_t>(SumSad128(_mm_sad_epu8(acc, _mm_setzero_si128())));
#endif
}

// Distinct sample values: mark each value in a 256-byte table (plain stores,
// no read-modify-write chains), then add the marks up.
static inline int32_t DistinctSamples(const uint8_t* cur, int32_t stride, uint8_t* seen)
{
    const __m128i zero = _mm_setzero_si128();
    for (int k = 0; k < 16; ++k) Store128(seen + 16 * k, zero);
    for (int r = 0; r < 32; ++r) {
        const uint8_t* p = cur + static_cast<ptrdiff_t>(r) * stride;
        for (int c = 0; c < 32; c += 8) {
            uint64_t v;
            __builtin_memcpy(&v, p + c, 8);
            seen[v & 255] = 1;
            seen[(v >> 8) & 255] = 1;
            seen[(v >> 16) & 255] = 1;
            seen[(v >> 24) & 255] = 1;
            seen[(v >> 32) & 255] = 1;
            seen[(v >> 40) & 255] = 1;
            seen[(v >> 48) & 255] = 1;
            seen[v >> 56] = 1;
        }
    }
    __m128i sum = zero;
    for (int k = 0; k < 16; ++k) sum = _mm_add_epi64(sum, _mm_sad_epu8(Load128(seen + 16 * k), zero));
    return static_cast<int32_t>(SumSad128(sum));
}

}  // namespace RL_TIER_NS

void RL_TIERED(ContentBlock)(const uint8_t* cur, const uint8_t* ref, int32_t stride, int32_t textThreshold,
                             int32_t flatThreshold, int32_t* histogram, int32_t*, ContentBlockStats* out)
{
    using namespace RL_TIER_NS;
    int32_t lo[4], hi[4];
    QuadrantExtremes(cur, stride, lo, hi);
    int32_t smallest = lo[0], largest = hi[0];
    for (int k = 0; k < 4; ++k) {
        out->uiClass[k] = static_cast<uint8_t>(ClassOfRange(hi[k] - lo[k], textThreshold, flatThreshold));
        if (lo[k] < smallest) smallest = lo[k];
        if (hi[k] > largest) largest = hi[k];
    }
    out->iRange = largest - smallest;
    out->iDistinct = DistinctSamples(cur, stride, reinterpret_cast<uint8_t*>(histogram));
    out->iChanged = ref ? 1024 - EqualSamples(cur, ref, stride) : 0;
}

int32_t RL_TIERED(TextSegmentation8)(vContentDetectionParam* param)
{
    return TextSegmentationFrame(param, RL_TIERED(ContentBlock), true);
}

}  // namespace Ravvel
