// Included by SIMD sources that the build compiles once per tier
// (ravvel_add_tiered_sources). The build defines exactly one RAVVEL_BUILD_TIER_<X>;
// this header turns it into
//   RL_TIERED(Name)  -> Name_sse2, Name_ssse3, Name_sse4, Name_avx, Name_avx2
//   RL_TIER_NS       -> a namespace private to the tier (tier_sse2, ...)
// and provides small vector helpers so that one kernel body can serve the
// 128-bit tiers and the 256-bit AVX2 tier.
//
// Everything a tiered source defines beyond its exported kernels must live in
// RL_TIER_NS or be static: an inline function or template shared by two tiers
// would be merged by the linker, and the AVX2 copy could then run on a
// processor without AVX2. For the same reason, do not call std:: algorithms
// (std::min, std::max, std::abs ...) from tiered code.
#ifndef RAVVEL_SIMD_TIER_H
#define RAVVEL_SIMD_TIER_H

#include <immintrin.h>
#include <stdint.h>

#if defined(RAVVEL_BUILD_TIER_AVX2)
#define RL_TIER_SUFFIX avx2
#define RL_TIER_HAS_SSSE3 1
#define RL_TIER_HAS_SSE41 1
#define RL_TIER_HAS_AVX 1
#define RL_TIER_HAS_AVX2 1
#elif defined(RAVVEL_BUILD_TIER_AVX)
#define RL_TIER_SUFFIX avx
#define RL_TIER_HAS_SSSE3 1
#define RL_TIER_HAS_SSE41 1
#define RL_TIER_HAS_AVX 1
#elif defined(RAVVEL_BUILD_TIER_SSE4)
#define RL_TIER_SUFFIX sse4
#define RL_TIER_HAS_SSSE3 1
#define RL_TIER_HAS_SSE41 1
#elif defined(RAVVEL_BUILD_TIER_SSSE3)
#define RL_TIER_SUFFIX ssse3
#define RL_TIER_HAS_SSSE3 1
#elif defined(RAVVEL_BUILD_TIER_SSE2)
#define RL_TIER_SUFFIX sse2
#else
#error "tier.h is for sources built with ravvel_add_tiered_sources"
#endif

#ifndef RL_TIER_HAS_SSSE3
#define RL_TIER_HAS_SSSE3 0
#endif
#ifndef RL_TIER_HAS_SSE41
#define RL_TIER_HAS_SSE41 0
#endif
#ifndef RL_TIER_HAS_AVX
#define RL_TIER_HAS_AVX 0
#endif
#ifndef RL_TIER_HAS_AVX2
#define RL_TIER_HAS_AVX2 0
#endif

#define RL_TIER_CAT2(a, b) a##_##b
#define RL_TIER_CAT(a, b) RL_TIER_CAT2(a, b)
#define RL_TIERED(name) RL_TIER_CAT(name, RL_TIER_SUFFIX)
#define RL_TIER_NS RL_TIER_CAT(tier, RL_TIER_SUFFIX)

namespace Ravvel {
namespace RL_TIER_NS {

// ---- 128-bit helpers, available in every tier ----------------------------

static inline __m128i Load128(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
static inline void Store128(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
static inline __m128i Load64(const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); }
static inline void Store64(void* p, __m128i v) { _mm_storel_epi64(static_cast<__m128i*>(p), v); }
static inline __m128i Load32(const void* p)
{
    int32_t v;
    __builtin_memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}
static inline void Store32(void* p, __m128i v)
{
    const int32_t x = _mm_cvtsi128_si32(v);
    __builtin_memcpy(p, &x, 4);
}

// Eight bytes zero-extended to eight 16-bit lanes.
static inline __m128i WidenU8x8(const void* p)
{
#if RL_TIER_HAS_SSE41
    return _mm_cvtepu8_epi16(Load64(p));
#else
    return _mm_unpacklo_epi8(Load64(p), _mm_setzero_si128());
#endif
}

// Horizontal sum of the two 64-bit halves (as produced by _mm_sad_epu8).
static inline uint32_t SumSad128(__m128i v)
{
    return static_cast<uint32_t>(_mm_cvtsi128_si32(v) + _mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
}

// ---- Tier-width vector: 32 bytes on AVX2, 16 bytes elsewhere -------------

#if RL_TIER_HAS_AVX2
typedef __m256i VecI;
enum { kVecBytes = 32 };
static inline VecI VLoad(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
static inline void VStore(void* p, VecI v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
static inline VecI VZero() { return _mm256_setzero_si256(); }
static inline VecI VSet1U8(uint8_t x) { return _mm256_set1_epi8(static_cast<char>(x)); }
static inline VecI VSet1I16(int16_t x) { return _mm256_set1_epi16(x); }
static inline VecI VAvgU8(VecI a, VecI b) { return _mm256_avg_epu8(a, b); }
static inline VecI VAddI16(VecI a, VecI b) { return _mm256_add_epi16(a, b); }
static inline VecI VSubI16(VecI a, VecI b) { return _mm256_sub_epi16(a, b); }
static inline VecI VMulloI16(VecI a, VecI b) { return _mm256_mullo_epi16(a, b); }
static inline VecI VSrliI16(VecI a, int n) { return _mm256_srli_epi16(a, n); }
static inline VecI VMinU8(VecI a, VecI b) { return _mm256_min_epu8(a, b); }
static inline VecI VMaxU8(VecI a, VecI b) { return _mm256_max_epu8(a, b); }
static inline VecI VAddI32(VecI a, VecI b) { return _mm256_add_epi32(a, b); }
static inline VecI VSrliI32(VecI a, int n) { return _mm256_srli_epi32(a, n); }
static inline VecI VSlliI32(VecI a, int n) { return _mm256_slli_epi32(a, n); }
static inline VecI VSraiI16(VecI a, int n) { return _mm256_srai_epi16(a, n); }
static inline VecI VAnd(VecI a, VecI b) { return _mm256_and_si256(a, b); }
static inline VecI VOr(VecI a, VecI b) { return _mm256_or_si256(a, b); }
static inline VecI VSet1I32(int32_t x) { return _mm256_set1_epi32(x); }
static inline VecI VMaddI16(VecI a, VecI b) { return _mm256_madd_epi16(a, b); }
static inline VecI VMulhiU16(VecI a, VecI b) { return _mm256_mulhi_epu16(a, b); }
static inline VecI VPacksI32(VecI a, VecI b) { return _mm256_packs_epi32(a, b); }
static inline VecI VPackUsI16(VecI a, VecI b) { return _mm256_packus_epi16(a, b); }
static inline VecI VUnpackLoU8(VecI a, VecI b) { return _mm256_unpacklo_epi8(a, b); }
static inline VecI VUnpackHiU8(VecI a, VecI b) { return _mm256_unpackhi_epi8(a, b); }
static inline VecI VShuffleU8(VecI a, VecI c) { return _mm256_shuffle_epi8(a, c); }
static inline VecI VBlendOddWords(VecI a, VecI b) { return _mm256_blend_epi16(a, b, 0xaa); }
// kVecBytes/2 bytes zero-extended to kVecBytes/2 16-bit lanes, in order.
static inline VecI VWidenU8(const void* p) { return _mm256_cvtepu8_epi16(Load128(p)); }
// kVecBytes/2 16-bit lanes saturated to bytes and stored in order.
static inline void VNarrowStoreU8(void* p, VecI v)
{
    const __m256i packed = _mm256_packus_epi16(v, v);
    Store128(p, _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08)));
}
#else
typedef __m128i VecI;
enum { kVecBytes = 16 };
static inline VecI VLoad(const void* p) { return Load128(p); }
static inline void VStore(void* p, VecI v) { Store128(p, v); }
static inline VecI VZero() { return _mm_setzero_si128(); }
static inline VecI VSet1U8(uint8_t x) { return _mm_set1_epi8(static_cast<char>(x)); }
static inline VecI VSet1I16(int16_t x) { return _mm_set1_epi16(x); }
static inline VecI VAvgU8(VecI a, VecI b) { return _mm_avg_epu8(a, b); }
static inline VecI VAddI16(VecI a, VecI b) { return _mm_add_epi16(a, b); }
static inline VecI VSubI16(VecI a, VecI b) { return _mm_sub_epi16(a, b); }
static inline VecI VMulloI16(VecI a, VecI b) { return _mm_mullo_epi16(a, b); }
static inline VecI VSrliI16(VecI a, int n) { return _mm_srli_epi16(a, n); }
static inline VecI VMinU8(VecI a, VecI b) { return _mm_min_epu8(a, b); }
static inline VecI VMaxU8(VecI a, VecI b) { return _mm_max_epu8(a, b); }
static inline VecI VAddI32(VecI a, VecI b) { return _mm_add_epi32(a, b); }
static inline VecI VSrliI32(VecI a, int n) { return _mm_srli_epi32(a, n); }
static inline VecI VSlliI32(VecI a, int n) { return _mm_slli_epi32(a, n); }
static inline VecI VSraiI16(VecI a, int n) { return _mm_srai_epi16(a, n); }
static inline VecI VAnd(VecI a, VecI b) { return _mm_and_si128(a, b); }
static inline VecI VOr(VecI a, VecI b) { return _mm_or_si128(a, b); }
static inline VecI VSet1I32(int32_t x) { return _mm_set1_epi32(x); }
static inline VecI VMaddI16(VecI a, VecI b) { return _mm_madd_epi16(a, b); }
static inline VecI VMulhiU16(VecI a, VecI b) { return _mm_mulhi_epu16(a, b); }
static inline VecI VPacksI32(VecI a, VecI b) { return _mm_packs_epi32(a, b); }
static inline VecI VPackUsI16(VecI a, VecI b) { return _mm_packus_epi16(a, b); }
static inline VecI VUnpackLoU8(VecI a, VecI b) { return _mm_unpacklo_epi8(a, b); }
static inline VecI VUnpackHiU8(VecI a, VecI b) { return _mm_unpackhi_epi8(a, b); }
#if RL_TIER_HAS_SSSE3
static inline VecI VShuffleU8(VecI a, VecI c) { return _mm_shuffle_epi8(a, c); }
#endif
#if RL_TIER_HAS_SSE41
static inline VecI VBlendOddWords(VecI a, VecI b) { return _mm_blend_epi16(a, b, 0xaa); }
#endif
static inline VecI VWidenU8(const void* p) { return WidenU8x8(p); }
static inline void VNarrowStoreU8(void* p, VecI v) { Store64(p, _mm_packus_epi16(v, v)); }
#endif

}  // namespace RL_TIER_NS
}  // namespace Ravvel

#endif
