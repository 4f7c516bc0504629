// Built once per tier.
#include <stddef.h>

#include "effects/mia_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

#if RL_TIER_HAS_AVX2
static inline VecI WidenLo(VecI v) { return _mm256_unpacklo_epi8(v, _mm256_setzero_si256()); }
static inline VecI WidenHi(VecI v) { return _mm256_unpackhi_epi8(v, _mm256_setzero_si256()); }
static inline VecI ShiftLeft16(VecI v, int n) { return _mm256_slli_epi16(v, n); }
static inline VecI Xor(VecI a, VecI b) { return _mm256_xor_si256(a, b); }
static inline VecI SubSatI8(VecI a, VecI b) { return _mm256_subs_epi8(a, b); }
static inline VecI Broadcast16(const uint8_t* p) { return _mm256_broadcastsi128_si256(Load128(p)); }
#else
static inline VecI WidenLo(VecI v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
static inline VecI WidenHi(VecI v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }
static inline VecI ShiftLeft16(VecI v, int n) { return _mm_slli_epi16(v, n); }
static inline VecI Xor(VecI a, VecI b) { return _mm_xor_si128(a, b); }
static inline VecI SubSatI8(VecI a, VecI b) { return _mm_subs_epi8(a, b); }
static inline VecI Broadcast16(const uint8_t* p) { return Load128(p); }
#endif

// s*256 + (t - s)*m instead of t*m + (256 - m)*s: one multiply. The true
// value lies in 0..65280, so 16-bit wrapping arithmetic gives it exactly.
static inline VecI Blend16(VecI t, VecI s, VecI m)
{
    return VSrliI16(VAddI16(ShiftLeft16(s, 8), VMulloI16(VSubI16(t, s), m)), 8);
}

static inline VecI BlendBytes(VecI t, VecI s, VecI mLo, VecI mHi)
{
    return VPackUsI16(Blend16(WidenLo(t), WidenLo(s), mLo), Blend16(WidenHi(t), WidenHi(s), mHi));
}

#if RL_TIER_HAS_SSSE3
// A 256-byte table as sixteen 16-byte rows for the byte shuffle, which
// looks up the low four bits of an index and gives 0 where bit 7 is set.
// Each half of the table (indices below and above 128) is stored as
// differences of consecutive rows: an index x of that half, reduced by 16k
// with signed saturation, keeps bit 7 clear exactly for the rows k up to
// x's own, so XOR-ing the looked-up differences leaves row x >> 4.
struct ShuffleTable {
    VecI diff[16];
};

static inline void PrepareShuffleTable(const uint8_t* table, ShuffleTable* t)
{
    for (int k = 0; k < 16; ++k) {
        alignas(16) uint8_t row[16];
        for (int i = 0; i < 16; ++i)
            row[i] = static_cast<uint8_t>(table[16 * k + i] ^ ((k & 7) ? table[16 * (k - 1) + i] : 0));
        t->diff[k] = Broadcast16(row);
    }
}

static inline VecI Lookup(VecI x, const ShuffleTable& t)
{
    const VecI step = VSet1U8(16);
    VecI low = x, high = Xor(x, VSet1U8(0x80)), acc = VZero();
    for (int k = 0; k < 8; ++k) {
        acc = Xor(acc, VShuffleU8(t.diff[k], low));
        acc = Xor(acc, VShuffleU8(t.diff[8 + k], high));
        low = SubSatI8(low, step);
        high = SubSatI8(high, step);
    }
    return acc;
}
#endif

// Mask bytes for the kVecBytes samples at column c, as 16-bit lanes in the
// order WidenLo / WidenHi give the samples.
static inline void MaskWords(const uint8_t* m, int32_t step, VecI* lo, VecI* hi)
{
    if (step == 1) {
        const VecI a = VLoad(m);
        *lo = WidenLo(a);
        *hi = WidenHi(a);
        return;
    }
    // Every other byte of 2 * kVecBytes: the even bytes, already zero-extended.
    const VecI even = VSet1I16(0x00FF);
    const VecI a0 = VAnd(VLoad(m), even);
    const VecI a1 = VAnd(VLoad(m + kVecBytes), even);
#if RL_TIER_HAS_AVX2
    *lo = _mm256_permute2x128_si256(a0, a1, 0x20);
    *hi = _mm256_permute2x128_si256(a0, a1, 0x31);
#else
    *lo = a0;
    *hi = a1;
#endif
}

}  // namespace RL_TIER_NS

void RL_TIERED(MiaApplyTable)(uint8_t* plane, int32_t stride, int32_t width, int32_t height, const uint8_t* table)
{
    // Sixteen shuffles per vector pay off only at 32 bytes a vector: on the
    // 128-bit tiers the scalar lookup below measures faster.
#if RL_TIER_HAS_AVX2
    using namespace RL_TIER_NS;
    ShuffleTable t;
    PrepareShuffleTable(table, &t);
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* p = plane + static_cast<ptrdiff_t>(r) * stride;
        int32_t c = 0;
        for (; c + kVecBytes <= width; c += kVecBytes) VStore(p + c, Lookup(VLoad(p + c), t));
        for (; c < width; ++c) p[c] = table[p[c]];
    }
#else
    // Four lookups at a time keep the loads independent.
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* p = plane + static_cast<ptrdiff_t>(r) * stride;
        int32_t c = 0;
        for (; c + 4 <= width; c += 4) {
            const uint8_t a = table[p[c]], b = table[p[c + 1]], d = table[p[c + 2]], e = table[p[c + 3]];
            p[c] = a, p[c + 1] = b, p[c + 2] = d, p[c + 3] = e;
        }
        for (; c < width; ++c) p[c] = table[p[c]];
    }
#endif
}

void RL_TIERED(MiaApplyTableMasked)(uint8_t* plane, int32_t stride, int32_t width, int32_t height,
                                    const uint8_t* table, const uint8_t* mask, int32_t maskStride, int32_t maskStep)
{
    using namespace RL_TIER_NS;
#if RL_TIER_HAS_SSSE3
    ShuffleTable t;
    PrepareShuffleTable(table, &t);
#endif
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* p = plane + static_cast<ptrdiff_t>(r) * stride;
        const uint8_t* m = mask + static_cast<ptrdiff_t>(r) * maskStride;
        int32_t c = 0;
        // The last vector reads mask bytes up to step * (c + kVecBytes) - 1,
        // inside the step * width bytes of this mask row.
        for (; c + kVecBytes <= width; c += kVecBytes) {
            const VecI s = VLoad(p + c);
#if RL_TIER_HAS_SSSE3
            const VecI adjusted = Lookup(s, t);
#else
            alignas(16) uint8_t looked[kVecBytes];
            for (int i = 0; i < kVecBytes; ++i) looked[i] = table[p[c + i]];
            const VecI adjusted = VLoad(looked);
#endif
            VecI mLo, mHi;
            MaskWords(m + static_cast<ptrdiff_t>(c) * maskStep, maskStep, &mLo, &mHi);
            VStore(p + c, BlendBytes(adjusted, s, mLo, mHi));
        }
        if (c < width)
            MiaApplyTableMasked_c(p + c, stride, width - c, 1, table, m + static_cast<ptrdiff_t>(c) * maskStep,
                                  maskStride, maskStep);
    }
}

}  // namespace Ravvel
