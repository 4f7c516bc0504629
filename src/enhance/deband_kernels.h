// One debanding pass over one 8-bit plane.
//
// Every output sample averages sixteen samples on a cross of long taps: four
// horizontal taps, then four vertical taps of the horizontal results. A tap
// that differs from the centre by more than a slightly jittered threshold is
// replaced by the centre, so edges survive; a final pseudo-random dither
// breaks up what is left of the steps. Source rows are filtered horizontally
// once each into a ring of 2^b rows of 16-bit sums.
#ifndef RAVVEL_ENHANCE_DEBAND_KERNELS_H
#define RAVVEL_ENHANCE_DEBAND_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Work-buffer allocation for a pass. `opaque` is handed back unchanged; a
// null allocator means malloc, a null releaser means free.
using DebandAllocFunc = void* (*)(void* opaque, size_t bytes);
using DebandFreeFunc = void (*)(void* opaque, void* block);

// src/dst: planes of width x height samples (strides may be negative); a
// null dst filters src in place. strength: threshold in 1/16 levels, used
// clamped to 16..240. sizeA/sizeB: log2 of the horizontal/vertical tap span
// (clamped to 4..6 and 3..6). dither: 0..2 plain rounding, 5 gives noise in
// 4..11, 6 in 0..15, up to 13. Rows y0 .. y1-1 are written; rows outside
// [0, y1) are never read. Returns 1, or 0 when the work buffer cannot be had.
using DebandSubimageFunc = int32_t (*)(DebandAllocFunc alloc, DebandFreeFunc release, void* opaque,
                                       const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride,
                                       int32_t width, int32_t height, int32_t strength, int32_t sizeA,
                                       int32_t sizeB, int32_t dither, uint32_t seed, int32_t y0, int32_t y1);

#define RL_DEBAND_ARGS                                                                                        \
    (DebandAllocFunc alloc, DebandFreeFunc release, void* opaque, const uint8_t* src, int32_t srcStride,       \
     uint8_t* dst, int32_t dstStride, int32_t width, int32_t height, int32_t strength, int32_t sizeA,         \
     int32_t sizeB, int32_t dither, uint32_t seed, int32_t y0, int32_t y1)

RAVVEL_API int32_t deband_subimage_c RL_DEBAND_ARGS;
RL_DECLARE_TIERS(int32_t, deband_subimage, RL_DEBAND_ARGS);

#undef RL_DEBAND_ARGS

// ---- Pieces every variant shares (plain code, called from tiered code) ----

// Noise table entries, plus a copy of the first kDebandNoiseTail entries
// after them so that a vector can read across the wrap-around.
constexpr int kDebandNoiseSize = 2048;
constexpr int kDebandNoiseTail = 64;

struct DebandPass {
    int32_t iThreshold;                // T, 16..240
    int32_t iLog2H, iLog2V;            // a (4..6), b (3..6)
    int32_t iTapH1, iTapH2;            // horizontal tap offsets
    int32_t iTapV1, iTapV2;            // vertical tap offsets
    int32_t iDitherBits;               // D, 1..11
    int32_t iJitterShift;              // J: threshold jitter = noise >> J
};

DebandPass DebandSetupPass(int32_t strength, int32_t sizeA, int32_t sizeB, int32_t dither);

// Advances the pseudo-random state by one step: the bytes 2 and 3 of the
// state go through a CRC-32C update (reflected, no inversion).
uint32_t DebandNextState(uint32_t state);

// Fills table[0 .. kDebandNoiseSize + kDebandNoiseTail) and returns the
// state the row loop continues from.
uint32_t DebandBuildNoise(uint32_t seed, int32_t ditherBits, int16_t* table);

void* DebandDefaultAlloc(void* opaque, size_t bytes);
void DebandDefaultFree(void* opaque, void* block);

}  // namespace Ravvel

#endif
