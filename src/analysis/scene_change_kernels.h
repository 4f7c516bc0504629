// 8x8 block SAD used by scene-change detection.
#ifndef RAVVEL_ANALYSIS_SCENE_CHANGE_KERNELS_H
#define RAVVEL_ANALYSIS_SCENE_CHANGE_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Sum of absolute differences of two 8x8 blocks of bytes; no alignment needed.
using Sad8x8BlockFunc = uint32_t (*)(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride);

RAVVEL_API uint32_t Sad8x8Block_c(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride);
RL_DECLARE_TIERS(uint32_t, Sad8x8Block, (const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride));

}  // namespace Ravvel

#endif
