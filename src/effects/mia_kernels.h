// Brightness/contrast/saturation kernels: a 256-byte table applied to a
// plane, optionally blended with the unadjusted sample by a mask.
#ifndef RAVVEL_EFFECTS_MIA_KERNELS_H
#define RAVVEL_EFFECTS_MIA_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Every sample s of the width x height plane becomes table[s].
using MiaTableFunc = void (*)(uint8_t* plane, int32_t stride, int32_t width, int32_t height, const uint8_t* table);
// Every sample s becomes (table[s] * m + (256 - m) * s) >> 8, where m is the
// mask byte at mask[row * maskStride + column * maskStep] (maskStep 1 for a
// mask of the plane's size, 2 for a half-resolution plane under a full-size mask).
using MiaTableMaskedFunc = void (*)(uint8_t* plane, int32_t stride, int32_t width, int32_t height,
                                    const uint8_t* table, const uint8_t* mask, int32_t maskStride, int32_t maskStep);

RAVVEL_API void MiaApplyTable_c(uint8_t* plane, int32_t stride, int32_t width, int32_t height, const uint8_t* table);
RAVVEL_API void MiaApplyTableMasked_c(uint8_t* plane, int32_t stride, int32_t width, int32_t height,
                                      const uint8_t* table, const uint8_t* mask, int32_t maskStride,
                                      int32_t maskStep);

RL_DECLARE_TIERS(void, MiaApplyTable,
                 (uint8_t * plane, int32_t stride, int32_t width, int32_t height, const uint8_t* table));
RL_DECLARE_TIERS(void, MiaApplyTableMasked,
                 (uint8_t * plane, int32_t stride, int32_t width, int32_t height, const uint8_t* table,
                  const uint8_t* mask, int32_t maskStride, int32_t maskStep));

// Scales a mw x mh mask (rows packed) to w x h by nearest neighbour into out
// (w x h bytes, rows packed), replicating runs of equal mask bytes.
RAVVEL_API void MiaScaleMask_c(const uint8_t* mask, int32_t mw, int32_t mh, uint8_t* out, int32_t w, int32_t h);

}  // namespace Ravvel

#endif
