// Kernel selection from CPU feature flags. Plain (untiered) code only.
#ifndef RAVVEL_SIMD_DISPATCH_H
#define RAVVEL_SIMD_DISPATCH_H

#include <cstdint>

#include "ravvel.h"

namespace Ravvel {

// Declares the five tier variants of a kernel: RL_DECLARE_TIERS(uint32_t, Sad8x8Block, (args))
// declares Sad8x8Block_sse2 ... Sad8x8Block_avx2, all exported.
#define RL_DECLARE_TIERS(ret, name, args) \
    RAVVEL_API ret name##_sse2 args;      \
    RAVVEL_API ret name##_ssse3 args;     \
    RAVVEL_API ret name##_sse4 args;      \
    RAVVEL_API ret name##_avx args;       \
    RAVVEL_API ret name##_avx2 args

// The selection rule every method follows: the reference first, then each
// tier whose own flag is set, lowest to highest; the highest present wins.
// SSE4 goes by the SSE4.2 flag.
#define RL_SELECT_TIERED(flags, target, name)              \
    do {                                                   \
        (target) = name##_c;                               \
        if ((flags) & RL_CPU_SSE2) (target) = name##_sse2;   \
        if ((flags) & RL_CPU_SSSE3) (target) = name##_ssse3; \
        if ((flags) & RL_CPU_SSE42) (target) = name##_sse4;  \
        if ((flags) & RL_CPU_AVX) (target) = name##_avx;     \
        if ((flags) & RL_CPU_AVX2) (target) = name##_avx2;   \
    } while (0)

// The same rule for a table of several kernels: each tier provides a filler
// that overwrites only the entries it implements (null: the tier has none).
template <class Table>
struct TierFillers {
    void (*reference)(Table*);
    void (*sse2)(Table*);
    void (*ssse3)(Table*);
    void (*sse4)(Table*);
    void (*avx)(Table*);
    void (*avx2)(Table*);
};

template <class Table>
void FillKernelTable(Table* table, uint32_t flags, const TierFillers<Table>& f)
{
    f.reference(table);
    if (f.sse2 && (flags & RL_CPU_SSE2)) f.sse2(table);
    if (f.ssse3 && (flags & RL_CPU_SSSE3)) f.ssse3(table);
    if (f.sse4 && (flags & RL_CPU_SSE42)) f.sse4(table);
    if (f.avx && (flags & RL_CPU_AVX)) f.avx(table);
    if (f.avx2 && (flags & RL_CPU_AVX2)) f.avx2(table);
}

// Tiers by index, for tests, benchmarks and the tool.
enum RLTier { RL_TIER_C = 0, RL_TIER_SSE2, RL_TIER_SSSE3, RL_TIER_SSE4, RL_TIER_AVX, RL_TIER_AVX2, RL_TIER_COUNT };

inline const char* TierName(int tier)
{
    static const char* const kNames[RL_TIER_COUNT] = {"c", "sse2", "ssse3", "sse4", "avx", "avx2"};
    return tier >= 0 && tier < RL_TIER_COUNT ? kNames[tier] : "?";
}

// The flag a tier is selected by.
inline uint32_t TierFlag(int tier)
{
    static const uint32_t kFlags[RL_TIER_COUNT] = {0, RL_CPU_SSE2, RL_CPU_SSSE3, RL_CPU_SSE42, RL_CPU_AVX,
                                                   RL_CPU_AVX2};
    return tier >= 0 && tier < RL_TIER_COUNT ? kFlags[tier] : 0;
}

// The flags of a processor whose highest tier is `tier`: every lower tier's
// flag too, as real processors report them (SSE and SSE4.1 included).
inline uint32_t TierFlagMask(int tier)
{
    uint32_t mask = tier >= RL_TIER_SSE2 ? (RL_CPU_MMX | RL_CPU_SSE | RL_CPU_MMXEXT | RL_CPU_SSE2) : 0;
    if (tier >= RL_TIER_SSSE3) mask |= RL_CPU_SSE3 | RL_CPU_SSSE3;
    if (tier >= RL_TIER_SSE4) mask |= RL_CPU_SSE41 | RL_CPU_SSE42;
    if (tier >= RL_TIER_AVX) mask |= RL_CPU_AVX;
    if (tier >= RL_TIER_AVX2) mask |= RL_CPU_AVX2;
    return mask;
}

}  // namespace Ravvel

#endif
