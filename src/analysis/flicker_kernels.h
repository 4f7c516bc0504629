// Kernels of flicker detection: region histograms, their mean squared
// difference, and the count of samples that moved between two frames.
#ifndef RAVVEL_ANALYSIS_FLICKER_KERNELS_H
#define RAVVEL_ANALYSIS_FLICKER_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Clears hist[256] and *count, then adds 1.0 to hist[value] and to *count for
// every sample of the width x height block (rows `stride` bytes apart, any
// sign). Float bins stop growing at 2^24, exactly as repeated +1.0 does.
using FlickerHistogramFunc = void (*)(const uint8_t* src, int32_t stride, int32_t width, int32_t height,
                                      float* hist, float* count);
// Sum over the 256 bins of (a - b)^2 in eight partial sums (bin index mod 8)
// added in order at the end, divided by count.
using FlickerMseFunc = float (*)(const float* a, const float* b, float count);
// Counts samples with |a - b| above the low byte of threshold; returns 0 once
// the count reaches budget, else budget - count. Both planes share the stride.
using PixelWiseDiffExceedFunc = uint32_t (*)(const uint8_t* a, const uint8_t* b, int32_t stride, int32_t width,
                                             int32_t height, int32_t threshold, uint32_t budget);

#define RL_FLICKER_HISTOGRAM_ARGS \
    (const uint8_t* src, int32_t stride, int32_t width, int32_t height, float* hist, float* count)
#define RL_FLICKER_MSE_ARGS (const float* a, const float* b, float count)
#define RL_PIXEL_DIFF_ARGS                                                                                  \
    (const uint8_t* a, const uint8_t* b, int32_t stride, int32_t width, int32_t height, int32_t threshold, \
     uint32_t budget)

RAVVEL_API void histogram_c RL_FLICKER_HISTOGRAM_ARGS;
RAVVEL_API float mse_c RL_FLICKER_MSE_ARGS;
RAVVEL_API uint32_t pixel_wise_diff_exceed_c RL_PIXEL_DIFF_ARGS;

RL_DECLARE_TIERS(void, histogram, RL_FLICKER_HISTOGRAM_ARGS);
RL_DECLARE_TIERS(float, mse, RL_FLICKER_MSE_ARGS);
RL_DECLARE_TIERS(uint32_t, pixel_wise_diff_exceed, RL_PIXEL_DIFF_ARGS);

#undef RL_FLICKER_HISTOGRAM_ARGS
#undef RL_FLICKER_MSE_ARGS
#undef RL_PIXEL_DIFF_ARGS

struct TagFlickerFuncs {
    FlickerHistogramFunc histogram;
    FlickerMseFunc mse;
    PixelWiseDiffExceedFunc pixel_wise_diff_exceed;
};

// The kernels of the highest tier whose flag is set.
void InitFlickerFunc(TagFlickerFuncs* table, uint32_t cpuFlags);

}  // namespace Ravvel

#endif
