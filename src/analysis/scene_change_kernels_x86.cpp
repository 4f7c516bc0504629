// Built once per tier.
#include "analysis/scene_change_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {
// Two 8-byte rows side by side in one register.
static inline __m128i LoadTwoRows(const uint8_t* p, int32_t stride)
{
    return _mm_unpacklo_epi64(Load64(p), Load64(p + stride));
}
}  // namespace RL_TIER_NS

uint32_t RL_TIERED(Sad8x8Block)(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride)
{
    using namespace RL_TIER_NS;
#if RL_TIER_HAS_AVX2
    // Two row pairs per 256-bit SAD.
    __m256i acc = _mm256_setzero_si256();
    for (int y = 0; y < 8; y += 4) {
        const __m256i c = _mm256_setr_m128i(LoadTwoRows(cur, curStride), LoadTwoRows(cur + 2 * curStride, curStride));
        const __m256i r = _mm256_setr_m128i(LoadTwoRows(ref, refStride), LoadTwoRows(ref + 2 * refStride, refStride));
        acc = _mm256_add_epi64(acc, _mm256_sad_epu8(c, r));
        cur += 4 * curStride;
        ref += 4 * refStride;
    }
    return SumSad128(_mm_add_epi64(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1)));
#else
    __m128i acc = _mm_setzero_si128();
    for (int y = 0; y < 8; y += 2) {
        acc = _mm_add_epi64(acc, _mm_sad_epu8(LoadTwoRows(cur, curStride), LoadTwoRows(ref, refStride)));
        cur += 2 * curStride;
        ref += 2 * refStride;
    }
    return SumSad128(acc);
#endif
}

int32_t RL_TIERED(CountChangedBlocks)(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride,
                                      int32_t blocks, uint32_t threshold)
{
    using namespace RL_TIER_NS;
    int32_t changed = 0, b = 0;
    // Each 8-byte lane of a SAD instruction is one block's row.
#if RL_TIER_HAS_AVX2
    const __m256i limit = _mm256_set1_epi64x(threshold);
    for (; b + 4 <= blocks; b += 4) {
        __m256i acc = _mm256_setzero_si256();
        for (int y = 0; y < 8; ++y) {
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cur + y * curStride + 8 * b));
            const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ref + y * refStride + 8 * b));
            acc = _mm256_add_epi64(acc, _mm256_sad_epu8(c, r));
        }
        changed += __builtin_popcount(_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(acc, limit))));
    }
#else
    // Sums stay below 2^15, so the low 32 bits of each lane compare alone.
    const __m128i limit = _mm_set1_epi32(static_cast<int32_t>(threshold));
    for (; b + 2 <= blocks; b += 2) {
        __m128i acc = _mm_setzero_si128();
        for (int y = 0; y < 8; ++y)
            acc = _mm_add_epi64(acc, _mm_sad_epu8(Load128(cur + y * curStride + 8 * b), Load128(ref + y * refStride + 8 * b)));
        changed += __builtin_popcount(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(acc, limit))));
    }
#endif
    for (; b < blocks; ++b) changed += RL_TIERED(Sad8x8Block)(cur + 8 * b, curStride, ref + 8 * b, refStride) > threshold;
    return changed;
}

}  // namespace Ravvel
