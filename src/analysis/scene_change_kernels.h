// 8x8 block SADs used by scene-change detection.
#ifndef RAVVEL_ANALYSIS_SCENE_CHANGE_KERNELS_H
#define RAVVEL_ANALYSIS_SCENE_CHANGE_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Sum of absolute differences of two 8x8 blocks of bytes; no alignment needed.
using Sad8x8BlockFunc = uint32_t (*)(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride);

RAVVEL_API uint32_t Sad8x8Block_c(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride);
RL_DECLARE_TIERS(uint32_t, Sad8x8Block, (const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride));

// How many of `blocks` 8x8 blocks side by side have a SAD above `threshold`:
// one pass over a row of blocks instead of one call per block.
using CountChangedBlocksFunc = int32_t (*)(const uint8_t* cur, int32_t curStride, const uint8_t* ref,
                                           int32_t refStride, int32_t blocks, uint32_t threshold);

RAVVEL_API int32_t CountChangedBlocks_c(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride,
                                        int32_t blocks, uint32_t threshold);
RL_DECLARE_TIERS(int32_t, CountChangedBlocks,
                 (const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride, int32_t blocks,
                  uint32_t threshold));

}  // namespace Ravvel

#endif
