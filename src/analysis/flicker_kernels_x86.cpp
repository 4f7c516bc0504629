// Built once per tier.
#include "analysis/flicker_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

// Float bins count exactly up to 2^24; past it, adding 1.0 no longer changes them.
static const uint64_t kFloatCountLimit = 1u << 24;

// Folds the interleaved integer tables into saturating totals.
static void FlushHistogram(uint32_t (*sub)[256], uint64_t* total)
{
    for (int i = 0; i < 256; ++i) {
        const uint64_t t = total[i] + sub[0][i] + sub[1][i] + sub[2][i] + sub[3][i];
        total[i] = t > kFloatCountLimit ? kFloatCountLimit : t;
        sub[0][i] = sub[1][i] = sub[2][i] = sub[3][i] = 0;
    }
}

// Eight samples of one 64-bit word, spread over four tables so that
// neighbouring equal values do not wait on each other's increments.
static inline void Count8(uint32_t (*sub)[256], uint64_t w)
{
    ++sub[0][w & 0xff];
    ++sub[1][(w >> 8) & 0xff];
    ++sub[2][(w >> 16) & 0xff];
    ++sub[3][(w >> 24) & 0xff];
    ++sub[0][(w >> 32) & 0xff];
    ++sub[1][(w >> 40) & 0xff];
    ++sub[2][(w >> 48) & 0xff];
    ++sub[3][w >> 56];
}

static inline uint64_t HorizontalSum64(__m128i v)
{
    return static_cast<uint64_t>(_mm_cvtsi128_si64(v)) +
           static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
}

}  // namespace RL_TIER_NS

void RL_TIERED(histogram)(const uint8_t* src, int32_t stride, int32_t width, int32_t height, float* hist,
                          float* count)
{
    using namespace RL_TIER_NS;
    uint32_t sub[4][256];
    uint64_t total[256];
    __builtin_memset(sub, 0, sizeof sub);
    __builtin_memset(total, 0, sizeof total);
    uint64_t pending = 0;
    const int32_t w = width > 0 ? width : 0;
    const int32_t h = height > 0 && w > 0 ? height : 0;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<ptrdiff_t>(y) * stride;
        int32_t x = 0;
        for (; x + 16 <= w; x += 16) {
            const __m128i v = Load128(row + x);
            Count8(sub, static_cast<uint64_t>(_mm_cvtsi128_si64(v)));
            Count8(sub, static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v))));
        }
        for (; x < w; ++x) ++sub[0][row[x]];
        // Keep every table entry below 2^32.
        pending += static_cast<uint64_t>(w);
        if (pending >= 0x80000000u) {
            FlushHistogram(sub, total);
            pending = 0;
        }
    }
    FlushHistogram(sub, total);
    for (int i = 0; i < 256; ++i) hist[i] = static_cast<float>(total[i]);
    const uint64_t n = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    *count = static_cast<float>(n > kFloatCountLimit ? kFloatCountLimit : n);
}

float RL_TIERED(mse)(const float* a, const float* b, float count)
{
    float partial[8];
#if RL_TIER_HAS_AVX
    __m256 acc = _mm256_setzero_ps();
    for (int i = 0; i < 256; i += 8) {
        const __m256 d = _mm256_sub_ps(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i));
        acc = _mm256_add_ps(acc, _mm256_mul_ps(d, d));
    }
    _mm256_storeu_ps(partial, acc);
#else
    __m128 acc0 = _mm_setzero_ps(), acc1 = _mm_setzero_ps();
    for (int i = 0; i < 256; i += 8) {
        const __m128 d0 = _mm_sub_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i));
        const __m128 d1 = _mm_sub_ps(_mm_loadu_ps(a + i + 4), _mm_loadu_ps(b + i + 4));
        acc0 = _mm_add_ps(acc0, _mm_mul_ps(d0, d0));
        acc1 = _mm_add_ps(acc1, _mm_mul_ps(d1, d1));
    }
    _mm_storeu_ps(partial, acc0);
    _mm_storeu_ps(partial + 4, acc1);
#endif
    float sum = partial[0];
    for (int k = 1; k < 8; ++k) sum += partial[k];
    return sum / count;
}

uint32_t RL_TIERED(pixel_wise_diff_exceed)(const uint8_t* a, const uint8_t* b, int32_t stride, int32_t width,
                                           int32_t height, int32_t threshold, uint32_t budget)
{
    using namespace RL_TIER_NS;
    const uint8_t t = static_cast<uint8_t>(threshold & 0xff);
    uint64_t n = 0;
#if RL_TIER_HAS_AVX2
    const __m256i tv = _mm256_set1_epi8(static_cast<char>(t));
    const __m256i one = _mm256_set1_epi8(1);
    const __m256i zero = _mm256_setzero_si256();
#else
    const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
    const __m128i one = _mm_set1_epi8(1);
    const __m128i zero = _mm_setzero_si128();
#endif
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* ra = a + static_cast<ptrdiff_t>(y) * stride;
        const uint8_t* rb = b + static_cast<ptrdiff_t>(y) * stride;
        int32_t x = 0;
        // Each byte lane is 1 where the sample moved by more than t; the
        // sums of absolute differences against zero count them.
#if RL_TIER_HAS_AVX2
        __m256i acc = _mm256_setzero_si256();
        for (; x + 32 <= width; x += 32) {
            const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ra + x));
            const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rb + x));
            const __m256i ad = _mm256_or_si256(_mm256_subs_epu8(va, vb), _mm256_subs_epu8(vb, va));
            const __m256i hit = _mm256_min_epu8(_mm256_subs_epu8(ad, tv), one);
            acc = _mm256_add_epi64(acc, _mm256_sad_epu8(hit, zero));
        }
        __m128i acc128 = _mm_add_epi64(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
        const __m128i tv128 = _mm256_castsi256_si128(tv);
        const __m128i one128 = _mm256_castsi256_si128(one);
        const __m128i zero128 = _mm_setzero_si128();
#else
        __m128i acc128 = _mm_setzero_si128();
        const __m128i tv128 = tv, one128 = one, zero128 = zero;
#endif
        for (; x + 16 <= width; x += 16) {
            const __m128i va = Load128(ra + x);
            const __m128i vb = Load128(rb + x);
            const __m128i ad = _mm_or_si128(_mm_subs_epu8(va, vb), _mm_subs_epu8(vb, va));
            const __m128i hit = _mm_min_epu8(_mm_subs_epu8(ad, tv128), one128);
            acc128 = _mm_add_epi64(acc128, _mm_sad_epu8(hit, zero128));
        }
        n += HorizontalSum64(acc128);
        for (; x < width; ++x) {
            const int d = ra[x] > rb[x] ? ra[x] - rb[x] : rb[x] - ra[x];
            n += d > t ? 1u : 0u;
        }
        // The count only grows, so stopping at a row end gives the same
        // outcome as stopping at the sample that used the budget up.
        if (n >= budget) return 0;
    }
    return budget - static_cast<uint32_t>(n);
}

}  // namespace Ravvel
