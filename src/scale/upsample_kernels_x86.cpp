// Built once per tier. The column scaler gathers source pairs with byte
// shuffles where eight outputs fit in one 16-byte window (SSSE3 and up), and
// with 16-bit loads otherwise; the planned scaler replays shuffles and weights
// worked out once per plane; the row blend works on whole vectors.
#include "scale/upsample_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

static inline int32_t PosAt(uint32_t pos, int k, int dx)
{
    return static_cast<int32_t>(pos + static_cast<uint32_t>(k) * static_cast<uint32_t>(dx));
}

static inline uint8_t FilterOne(const uint8_t* src, int32_t xj)
{
    const int i = xj >> 16;
    const int f = (xj >> 9) & 127;
    const int a = src[i];
    const int b = src[i + 1];
    return static_cast<uint8_t>(a + (((b - a) * f + 64) >> 7));
}

static inline uint16_t LoadPair(const uint8_t* src, int32_t xj)
{
    uint16_t v;
    __builtin_memcpy(&v, src + (xj >> 16), 2);
    return v;
}

// a + (((b - a) * f + 64) >> 7) on 16-bit lanes; every term fits in int16.
static inline __m128i Blend7(__m128i a, __m128i b, __m128i f)
{
    const __m128i d = _mm_mullo_epi16(_mm_sub_epi16(b, a), f);
    return _mm_add_epi16(a, _mm_srai_epi16(_mm_add_epi16(d, _mm_set1_epi16(64)), 7));
}

// The 7-bit fractions of eight positions as 16-bit lanes.
static inline __m128i Fractions8(__m128i x0, __m128i x1)
{
    const __m128i mask = _mm_set1_epi32(127);
    return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(x0, 9), mask),
                           _mm_and_si128(_mm_srli_epi32(x1, 9), mask));
}

// Eight outputs from 16-bit pair loads: any step, reads only src[i], src[i + 1].
static inline void Gather8(uint8_t* dst, const uint8_t* src, uint32_t pos, int dx, __m128i steps0,
                           __m128i steps1)
{
    __m128i g = _mm_cvtsi32_si128(LoadPair(src, PosAt(pos, 0, dx)));
    g = _mm_insert_epi16(g, LoadPair(src, PosAt(pos, 1, dx)), 1);
    g = _mm_insert_epi16(g, LoadPair(src, PosAt(pos, 2, dx)), 2);
    g = _mm_insert_epi16(g, LoadPair(src, PosAt(pos, 3, dx)), 3);
    g = _mm_insert_epi16(g, LoadPair(src, PosAt(pos, 4, dx)), 4);
    g = _mm_insert_epi16(g, LoadPair(src, PosAt(pos, 5, dx)), 5);
    g = _mm_insert_epi16(g, LoadPair(src, PosAt(pos, 6, dx)), 6);
    g = _mm_insert_epi16(g, LoadPair(src, PosAt(pos, 7, dx)), 7);
    const __m128i base = _mm_set1_epi32(static_cast<int32_t>(pos));
    const __m128i f = Fractions8(_mm_add_epi32(base, steps0), _mm_add_epi32(base, steps1));
    const __m128i a = _mm_and_si128(g, _mm_set1_epi16(0x00ff));
    const __m128i b = _mm_srli_epi16(g, 8);
    const __m128i out = Blend7(a, b, f);
    Store64(dst, _mm_packus_epi16(out, out));
}

static inline int Min2(int a, int b)
{
    return a < b ? a : b;
}
static inline int Max2(int a, int b)
{
    return a > b ? a : b;
}

#if RL_TIER_HAS_SSSE3
// The window start for eight outputs starting at pos, or -1 when the pairs do
// not fit in 16 bytes from there or the window would read past lastRead.
static inline int Window8(uint32_t pos, int dx, int lastRead)
{
    const int i0 = PosAt(pos, 0, dx) >> 16;
    const int i7 = PosAt(pos, 7, dx) >> 16;
    const int lo = Min2(i0, i7);
    const int hi = Max2(i0, i7);
    return hi - lo <= 14 && lo + 15 <= lastRead ? lo : -1;
}

// Shuffle controls for sample pairs: low byte the relative index, high byte
// 0x80 so that pshufb zero-extends.
static inline __m128i PairControl(__m128i rel16)
{
    return _mm_or_si128(rel16, _mm_set1_epi16(static_cast<short>(0x8000)));
}
#endif

}  // namespace RL_TIER_NS

void RL_TIERED(ScaleFilterCols)(uint8_t* dst, const uint8_t* src, int dstWidth, int x, int dx)
{
    using namespace RL_TIER_NS;
    if (dstWidth <= 0) return;
    const uint32_t start = static_cast<uint32_t>(x);
    // Positions move monotonically, so the farthest byte the row needs sits
    // at one of its two ends.
    const int lastRead = Max2(PosAt(start, 0, dx) >> 16, PosAt(start, dstWidth - 1, dx) >> 16) + 1;
    (void)lastRead;  // only the shuffle paths need it
    const __m128i steps0 = _mm_setr_epi32(0, dx, PosAt(0, 2, dx), PosAt(0, 3, dx));
    const __m128i steps1 = _mm_setr_epi32(PosAt(0, 4, dx), PosAt(0, 5, dx), PosAt(0, 6, dx), PosAt(0, 7, dx));
    uint32_t pos = start;
    int j = 0;
#if RL_TIER_HAS_AVX2
    // Sixteen outputs per step: outputs 0..7 use the low lane and a window at
    // lo0, outputs 8..15 the high lane and a window at lo1. The position
    // vectors hold outputs {0-3, 8-11} and {4-7, 12-15} so that one pack puts
    // every lane in order.
    const __m256i stepsA = _mm256_setr_epi32(0, dx, PosAt(0, 2, dx), PosAt(0, 3, dx), PosAt(0, 8, dx),
                                             PosAt(0, 9, dx), PosAt(0, 10, dx), PosAt(0, 11, dx));
    const __m256i stepsB =
        _mm256_setr_epi32(PosAt(0, 4, dx), PosAt(0, 5, dx), PosAt(0, 6, dx), PosAt(0, 7, dx),
                          PosAt(0, 12, dx), PosAt(0, 13, dx), PosAt(0, 14, dx), PosAt(0, 15, dx));
    const __m256i fracMask = _mm256_set1_epi32(127);
    const __m256i highZero = _mm256_set1_epi16(static_cast<short>(0x8000));
    for (; j + 16 <= dstWidth; j += 16, pos += 16u * static_cast<uint32_t>(dx)) {
        const int lo0 = Window8(pos, dx, lastRead);
        const int lo1 = Window8(pos + 8u * static_cast<uint32_t>(dx), dx, lastRead);
        if (lo0 < 0 || lo1 < 0) {
            Gather8(dst + j, src, pos, dx, steps0, steps1);
            Gather8(dst + j + 8, src, pos + 8u * static_cast<uint32_t>(dx), dx, steps0, steps1);
            continue;
        }
        const __m256i base = _mm256_set1_epi32(static_cast<int32_t>(pos));
        const __m256i xa = _mm256_add_epi32(base, stepsA);
        const __m256i xb = _mm256_add_epi32(base, stepsB);
        const __m256i los = _mm256_setr_epi32(lo0, lo0, lo0, lo0, lo1, lo1, lo1, lo1);
        const __m256i rel = _mm256_packs_epi32(_mm256_sub_epi32(_mm256_srai_epi32(xa, 16), los),
                                               _mm256_sub_epi32(_mm256_srai_epi32(xb, 16), los));
        const __m256i f = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(xa, 9), fracMask),
                                             _mm256_and_si256(_mm256_srli_epi32(xb, 9), fracMask));
        const __m256i window =
            _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(src + lo0)), Load128(src + lo1), 1);
        const __m256i ctrlA = _mm256_or_si256(rel, highZero);
        const __m256i ctrlB = _mm256_add_epi16(ctrlA, _mm256_set1_epi16(1));
        const __m256i a = _mm256_shuffle_epi8(window, ctrlA);
        const __m256i b = _mm256_shuffle_epi8(window, ctrlB);
        const __m256i d = _mm256_mullo_epi16(_mm256_sub_epi16(b, a), f);
        const __m256i out =
            _mm256_add_epi16(a, _mm256_srai_epi16(_mm256_add_epi16(d, _mm256_set1_epi16(64)), 7));
        const __m256i packed = _mm256_packus_epi16(out, out);
        Store128(dst + j, _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08)));
    }
#elif RL_TIER_HAS_SSSE3
    for (; j + 8 <= dstWidth; j += 8, pos += 8u * static_cast<uint32_t>(dx)) {
        const int lo = Window8(pos, dx, lastRead);
        if (lo < 0) {
            Gather8(dst + j, src, pos, dx, steps0, steps1);
            continue;
        }
        const __m128i base = _mm_set1_epi32(static_cast<int32_t>(pos));
        const __m128i x0 = _mm_add_epi32(base, steps0);
        const __m128i x1 = _mm_add_epi32(base, steps1);
        const __m128i los = _mm_set1_epi32(lo);
        const __m128i rel = _mm_packs_epi32(_mm_sub_epi32(_mm_srai_epi32(x0, 16), los),
                                            _mm_sub_epi32(_mm_srai_epi32(x1, 16), los));
        const __m128i window = Load128(src + lo);
        const __m128i ctrlA = PairControl(rel);
        const __m128i a = _mm_shuffle_epi8(window, ctrlA);
        const __m128i b = _mm_shuffle_epi8(window, _mm_add_epi16(ctrlA, _mm_set1_epi16(1)));
        const __m128i out = Blend7(a, b, Fractions8(x0, x1));
        Store64(dst + j, _mm_packus_epi16(out, out));
    }
#endif
    for (; j + 8 <= dstWidth; j += 8, pos += 8u * static_cast<uint32_t>(dx))
        Gather8(dst + j, src, pos, dx, steps0, steps1);
    for (; j < dstWidth; ++j, pos += static_cast<uint32_t>(dx))
        dst[j] = FilterOne(src, static_cast<int32_t>(pos));
}

namespace RL_TIER_NS {

#if RL_TIER_HAS_SSSE3
// (a * (256 - f) + b * f + 128) >> 8 for the pairs interleaved in ab, with
// weights holding (256 - f, f) byte pairs: the pixels are biased to signed
// bytes for pmaddubsw and the bias folded back with the rounding term.
static inline __m128i BlendPairs(__m128i ab, __m128i weights)
{
    const __m128i s = _mm_maddubs_epi16(weights, _mm_xor_si128(ab, _mm_set1_epi8(static_cast<char>(0x80))));
    return _mm_srli_epi16(_mm_add_epi16(s, _mm_set1_epi16(static_cast<short>(0x8080))), 8);
}
#endif
#if RL_TIER_HAS_AVX2
static inline __m256i BlendPairs256(__m256i ab, __m256i weights)
{
    const __m256i s =
        _mm256_maddubs_epi16(weights, _mm256_xor_si256(ab, _mm256_set1_epi8(static_cast<char>(0x80))));
    return _mm256_srli_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(static_cast<short>(0x8080))), 8);
}
#endif

// Sixteen blended bytes.
static inline __m128i Blend16(__m128i a, __m128i b, int f)
{
#if RL_TIER_HAS_SSSE3
    const __m128i w = _mm_set1_epi16(static_cast<short>((f << 8) | (256 - f)));
    return _mm_packus_epi16(BlendPairs(_mm_unpacklo_epi8(a, b), w), BlendPairs(_mm_unpackhi_epi8(a, b), w));
#else
    const __m128i zero = _mm_setzero_si128();
    const __m128i wa = _mm_set1_epi16(static_cast<short>(256 - f));
    const __m128i wb = _mm_set1_epi16(static_cast<short>(f));
    const __m128i round = _mm_set1_epi16(128);
    // The sums stay below 65536: unsigned 16-bit arithmetic is exact.
    const __m128i lo =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), wa),
                                                   _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wb)),
                                     round),
                       8);
    const __m128i hi =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), wa),
                                                   _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), wb)),
                                     round),
                       8);
    return _mm_packus_epi16(lo, hi);
#endif
}

}  // namespace RL_TIER_NS

void RL_TIERED(InterpolateRow)(uint8_t* dst, const uint8_t* src, ptrdiff_t lowerOffset, int width,
                               int fraction)
{
    using namespace RL_TIER_NS;
    if (width <= 0) return;
    const uint8_t* lower = src + lowerOffset;
    if (fraction == 0) {
        __builtin_memmove(dst, src, static_cast<size_t>(width));
        return;
    }
    int i = 0;
    if (fraction == 128) {
        for (; i + kVecBytes <= width; i += kVecBytes)
            VStore(dst + i, VAvgU8(VLoad(src + i), VLoad(lower + i)));
        for (; i < width; ++i) dst[i] = static_cast<uint8_t>((src[i] + lower[i] + 1) >> 1);
        return;
    }
#if RL_TIER_HAS_AVX2
    const __m256i w = _mm256_set1_epi16(static_cast<short>((fraction << 8) | (256 - fraction)));
    for (; i + 32 <= width; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lower + i));
        // unpack and pack both work within 128-bit lanes, so the bytes come back in order.
        const __m256i lo = BlendPairs256(_mm256_unpacklo_epi8(a, b), w);
        const __m256i hi = BlendPairs256(_mm256_unpackhi_epi8(a, b), w);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), _mm256_packus_epi16(lo, hi));
    }
#endif
    for (; i + 16 <= width; i += 16)
        Store128(dst + i, Blend16(Load128(src + i), Load128(lower + i), fraction));
    const int f1 = 256 - fraction;
    for (; i < width; ++i) dst[i] = static_cast<uint8_t>((src[i] * f1 + lower[i] * fraction + 128) >> 8);
}

void RL_TIERED(ScaleFilterColsPlanned)(uint8_t* dst, const uint8_t* src, const int32_t* starts,
                                       const uint8_t* controls, const int8_t* weights, int groups)
{
    using namespace RL_TIER_NS;
    int g = 0;
#if RL_TIER_HAS_AVX2
    // Four groups per step; each 256-bit register holds two groups, one per lane.
    const __m256i round256 = _mm256_set1_epi16(64);
    for (; g + 4 <= groups; g += 4) {
        const __m256i w01 = _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(src + starts[g])),
                                                    Load128(src + starts[g + 1]), 1);
        const __m256i w23 = _mm256_inserti128_si256(_mm256_castsi128_si256(Load128(src + starts[g + 2])),
                                                    Load128(src + starts[g + 3]), 1);
        const __m256i* c = reinterpret_cast<const __m256i*>(controls + 16 * g);
        const __m256i* w = reinterpret_cast<const __m256i*>(weights + 16 * g);
        const __m256i s01 =
            _mm256_maddubs_epi16(_mm256_shuffle_epi8(w01, _mm256_loadu_si256(c)), _mm256_loadu_si256(w));
        const __m256i s23 = _mm256_maddubs_epi16(_mm256_shuffle_epi8(w23, _mm256_loadu_si256(c + 1)),
                                                 _mm256_loadu_si256(w + 1));
        const __m256i o01 = _mm256_srli_epi16(_mm256_add_epi16(s01, round256), 7);
        const __m256i o23 = _mm256_srli_epi16(_mm256_add_epi16(s23, round256), 7);
        // The pack interleaves lanes as groups 0, 2, 1, 3; the permute restores the order.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 8 * g),
                            _mm256_permute4x64_epi64(_mm256_packus_epi16(o01, o23), 0xD8));
    }
#endif
#if RL_TIER_HAS_SSSE3
    const __m128i round = _mm_set1_epi16(64);
    for (; g < groups; ++g) {
        const __m128i ab = _mm_shuffle_epi8(Load128(src + starts[g]), Load128(controls + 16 * g));
        const __m128i o =
            _mm_srli_epi16(_mm_add_epi16(_mm_maddubs_epi16(ab, Load128(weights + 16 * g)), round), 7);
        Store64(dst + 8 * g, _mm_packus_epi16(o, o));
    }
#else
    // No byte shuffle before SSSE3: the SSE2 build applies the plan per sample.
    for (; g < groups; ++g) {
        const uint8_t* window = src + starts[g];
        for (int k = 0; k < 8; ++k) {
            const uint8_t* c = controls + 16 * g + 2 * k;
            const int8_t* w = weights + 16 * g + 2 * k;
            dst[8 * g + k] = static_cast<uint8_t>((window[c[0]] * w[0] + window[c[1]] * w[1] + 64) >> 7);
        }
    }
#endif
}

// The method selects the SSE2 and AVX2 builds by these names.
#if defined(RAVVEL_BUILD_TIER_SSE2)
void ScaleFilterCols_SSE2(uint8_t* dst, const uint8_t* src, int dstWidth, int x, int dx)
{
    ScaleFilterCols_sse2(dst, src, dstWidth, x, dx);
}
void InterpolateRow_SSE2(uint8_t* dst, const uint8_t* src, ptrdiff_t lowerOffset, int width, int fraction)
{
    InterpolateRow_sse2(dst, src, lowerOffset, width, fraction);
}
#elif defined(RAVVEL_BUILD_TIER_AVX2)
void ScaleFilterColsPlanned_AVX2(uint8_t* dst, const uint8_t* src, const int32_t* starts,
                                 const uint8_t* controls, const int8_t* weights, int groups)
{
    ScaleFilterColsPlanned_avx2(dst, src, starts, controls, weights, groups);
}
void ScaleFilterCols_AVX2(uint8_t* dst, const uint8_t* src, int dstWidth, int x, int dx)
{
    ScaleFilterCols_avx2(dst, src, dstWidth, x, dx);
}
void InterpolateRow_AVX2(uint8_t* dst, const uint8_t* src, ptrdiff_t lowerOffset, int width, int fraction)
{
    InterpolateRow_avx2(dst, src, lowerOffset, width, fraction);
}
#endif

}  // namespace Ravvel
