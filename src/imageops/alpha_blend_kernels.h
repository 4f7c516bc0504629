// Alpha blending of tightly packed planes: out = (bg * (256 - a) + fg * a) >> 8.
#ifndef RAVVEL_IMAGEOPS_ALPHA_BLEND_KERNELS_H
#define RAVVEL_IMAGEOPS_ALPHA_BLEND_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// fg, bg and out hold width x height samples (4-byte pixels for
// alpha_blend_4) row after row with no padding; out may be fg or bg itself.
//   alpha_blend_4:    one alpha byte per pixel weighs all four bytes of it.
//   alpha_blend_1:    one alpha byte per sample.
//   alpha_blend_1_s2: half-resolution plane; sample (r, c) takes the alpha
//                     at row 2r, column 2c of a map 2*width bytes wide.
// A zero width or height does nothing.
using AlphaBlendFunc = void (*)(const uint8_t* fg, const uint8_t* bg, const uint8_t* alpha, uint8_t* out,
                                uint32_t width, uint32_t height);

#define RL_ALPHA_BLEND_ARGS \
    (const uint8_t* fg, const uint8_t* bg, const uint8_t* alpha, uint8_t* out, uint32_t width, uint32_t height)

RAVVEL_API void alpha_blend_4_c RL_ALPHA_BLEND_ARGS;
RAVVEL_API void alpha_blend_1_c RL_ALPHA_BLEND_ARGS;
RAVVEL_API void alpha_blend_1_s2_c RL_ALPHA_BLEND_ARGS;

RL_DECLARE_TIERS(void, alpha_blend_4_intrin, RL_ALPHA_BLEND_ARGS);
RL_DECLARE_TIERS(void, alpha_blend_1_intrin, RL_ALPHA_BLEND_ARGS);
RL_DECLARE_TIERS(void, alpha_blend_1_s2_intrin, RL_ALPHA_BLEND_ARGS);

#undef RL_ALPHA_BLEND_ARGS

}  // namespace Ravvel

#endif
