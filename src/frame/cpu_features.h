// CPU feature detection.
#ifndef RAVVEL_FRAME_CPU_FEATURES_H
#define RAVVEL_FRAME_CPU_FEATURES_H

#include <cstdint>

#include "ravvel.h"

namespace Ravvel {

// SIMD level of a flag word: 5 AVX2, 4 AVX, 3 SSE4.2, 2 SSSE3, 1 SSE2, 0 none.
inline int32_t ArchLevelFromFlags(uint32_t flags)
{
    if (flags & RL_CPU_AVX2) return 5;
    if (flags & RL_CPU_AVX) return 4;
    if (flags & RL_CPU_SSE42) return 3;
    if (flags & RL_CPU_SSSE3) return 2;
    if (flags & RL_CPU_SSE2) return 1;
    return 0;
}

}  // namespace Ravvel

#endif
