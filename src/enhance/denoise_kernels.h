// Pixel kernels of the denoiser: edge-preserving row filters for the spatial
// pass, the 8x8 similarity test and the recursive blend of the temporal pass,
// and the noise estimator. Samples are 8-bit, addressed by pointer and stride.
#ifndef RAVVEL_ENHANCE_DENOISE_KERNELS_H
#define RAVVEL_ENHANCE_DENOISE_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Filters p[0..7] (or p[0..15]) of one row in place from its 3x3
// neighbourhood as it was on entry; reads the rows above and below and one
// pixel left and right of the run, writes only the run itself.
using DenoiseRowFunc = void (*)(uint8_t* p, int stride);

// Blends the (1 << log2Size)-square block of cur towards prev in place, with
// the current frame weighted by the temporal table entry c (out of 32).
using TemporalAverageFunc = void (*)(uint8_t* prev, uint8_t* cur, int stride, int log2Size, int c);

// True when the 8x8 blocks of prev and cur are alike. *sadOut receives the
// block's SAD; *sadRef is the largest SAD that already went through the
// detailed test for this plane of the block and is raised when it does.
using TemporalSkipCheckFunc = bool (*)(const uint8_t* prev, const uint8_t* cur, int stride, uint32_t* sadRef,
                                       uint32_t* sadOut, int16_t thrAc, int16_t thrDc);

// Variance x 256 of the frame difference over isotropic 5x5 blocks; 0 when
// nothing could be measured. weights and variances hold one entry per block,
// at least (width * height / 25) entries.
using NoiseEstimationFunc = int (*)(uint8_t* cur, uint8_t* prev, int width, int height, int stride, uint32_t* weights,
                                    uint32_t* variances);

#define RL_DENOISE_ROW_ARGS (uint8_t * p, int stride)
#define RL_DENOISE_TAVG_ARGS (uint8_t * prev, uint8_t * cur, int stride, int log2Size, int c)
#define RL_DENOISE_SKIP_ARGS \
    (const uint8_t* prev, const uint8_t* cur, int stride, uint32_t* sadRef, uint32_t* sadOut, int16_t thrAc, int16_t thrDc)
#define RL_DENOISE_NOISE_ARGS \
    (uint8_t * cur, uint8_t * prev, int width, int height, int stride, uint32_t * weights, uint32_t * variances)

RAVVEL_API void BilateralLumaFilter8_c RL_DENOISE_ROW_ARGS;
RAVVEL_API void BilateralLumaFilter16_c RL_DENOISE_ROW_ARGS;
RAVVEL_API void BilateralLumaFilter8Ex_c RL_DENOISE_ROW_ARGS;
RAVVEL_API void BilateralLumaFilter16Ex_c RL_DENOISE_ROW_ARGS;
RAVVEL_API void TemporalAverageBlock_c RL_DENOISE_TAVG_ARGS;
RAVVEL_API bool TemporalSkipCheck8x8_c RL_DENOISE_SKIP_ARGS;
RAVVEL_API int NoiseEstimation8_c RL_DENOISE_NOISE_ARGS;

RL_DECLARE_TIERS(void, BilateralLumaFilter8, RL_DENOISE_ROW_ARGS);
RL_DECLARE_TIERS(void, BilateralLumaFilter16, RL_DENOISE_ROW_ARGS);
RL_DECLARE_TIERS(void, BilateralLumaFilter8Ex, RL_DENOISE_ROW_ARGS);
RL_DECLARE_TIERS(void, BilateralLumaFilter16Ex, RL_DENOISE_ROW_ARGS);
RL_DECLARE_TIERS(void, TemporalAverageBlock, RL_DENOISE_TAVG_ARGS);
RL_DECLARE_TIERS(bool, TemporalSkipCheck8x8, RL_DENOISE_SKIP_ARGS);
RL_DECLARE_TIERS(int, NoiseEstimation8, RL_DENOISE_NOISE_ARGS);

// The per-block decisions of the noise estimation, shared by every tier
// (plain functions of the reference file, called rather than inlined):
// the direction weight of a block from its four pair energies (0 for
// isotropic blocks, up to 256 for strongly directional ones), and the
// weighted mean variance of the blocks that pass the reference test.
uint32_t NoiseBlockWeight(const uint32_t e[4], bool* isotropic);
int NoiseFromBlocks(const uint32_t* variances, const uint32_t* weights, int n, uint32_t vref);

// Reference only: the 3x3 Gaussian for block borders (one pixel, in place;
// callers walk left to right, so p[-1] is already filtered), and further row
// filters of the family that the denoiser does not select.
RAVVEL_API void Gauss3x3Filter(uint8_t* p, int stride);
RAVVEL_API void AverageLumaFilter8_c RL_DENOISE_ROW_ARGS;
RAVVEL_API void AverageLumaFilter16_c RL_DENOISE_ROW_ARGS;
RAVVEL_API void WaverageChromaFilter8_c RL_DENOISE_ROW_ARGS;
RAVVEL_API void WaverageChromaFilter16_c RL_DENOISE_ROW_ARGS;

// Current-frame weight out of 32 by the number of frames a block stayed still.
extern const uint8_t kTemporalWeights[16];

#undef RL_DENOISE_ROW_ARGS
#undef RL_DENOISE_TAVG_ARGS
#undef RL_DENOISE_SKIP_ARGS
#undef RL_DENOISE_NOISE_ARGS

}  // namespace Ravvel

#endif
