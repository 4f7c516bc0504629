// Recursive (IIR) Gaussian blur: a causal and an anti-causal second-order
// recursion per line, added. The horizontal pass filters every row of bytes
// into a transposed float image (row r, sample c at (c * height + r) *
// channels), so that the vertical pass reads each column as contiguous
// floats; it writes bytes truncated toward zero and clamped to 0..255.
#ifndef RAVVEL_EFFECTS_GAUSS_BLUR_KERNELS_H
#define RAVVEL_EFFECTS_GAUSS_BLUR_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Recursion coefficients in this order.
enum { kGaussA0, kGaussA1, kGaussA2, kGaussA3, kGaussB1, kGaussB2, kGaussCoefP, kGaussCoefN, kGaussCoeffCount };

// Row buffer bytes per sample position (of the longer side): room for the
// causal results and the inputs of every line a vector step runs at once.
constexpr uint32_t kGaussRowBufferBytesPerSample = 256;

// Strides are in bytes, of the 8-bit planes only; the float image is
// width * height * channels floats without gaps, and the row buffer
// kGaussRowBufferBytesPerSample * max(width, height) bytes, both 64-byte
// aligned. Every variant takes every size from 1 x 1 up.
using GaussBlurHorizontalFunc = void (*)(const uint8_t* src, int32_t srcStride, float* transposed, float* rowBuffer,
                                         int32_t width, int32_t height, const float* coeffs);
using GaussBlurVerticalFunc = void (*)(const float* transposed, uint8_t* dst, int32_t dstStride, float* rowBuffer,
                                       int32_t width, int32_t height, const float* coeffs);
using GaussBlurWrapFunc = void (*)(const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride,
                                   float* rowBuffer, float* transposed, int32_t width, int32_t height,
                                   const float* coeffs);

#define RL_GAUSS_H_ARGS \
    (const uint8_t* src, int32_t srcStride, float* transposed, float* rowBuffer, int32_t width, int32_t height, \
     const float* coeffs)
#define RL_GAUSS_V_ARGS \
    (const float* transposed, uint8_t* dst, int32_t dstStride, float* rowBuffer, int32_t width, int32_t height, \
     const float* coeffs)
#define RL_GAUSS_W_ARGS \
    (const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride, float* rowBuffer, float* transposed, \
     int32_t width, int32_t height, const float* coeffs)

RAVVEL_API void gauss_blur_1_horizontal_c RL_GAUSS_H_ARGS;
RAVVEL_API void gauss_blur_1_vertical_c RL_GAUSS_V_ARGS;
RAVVEL_API void gauss_blur_wrap_1_c RL_GAUSS_W_ARGS;
RAVVEL_API void gauss_blur_4_horizontal_c RL_GAUSS_H_ARGS;
RAVVEL_API void gauss_blur_4_vertical_c RL_GAUSS_V_ARGS;
RAVVEL_API void gauss_blur_wrap_4_c RL_GAUSS_W_ARGS;

// One channel: AVX2 only.
RAVVEL_API void gauss_blur_1_horizontal_intrin_avx2 RL_GAUSS_H_ARGS;
RAVVEL_API void gauss_blur_1_vertical_intrin_avx2 RL_GAUSS_V_ARGS;
RAVVEL_API void gauss_blur_wrap_1_intrin_avx2 RL_GAUSS_W_ARGS;

RL_DECLARE_TIERS(void, gauss_blur_4_horizontal_intrin, RL_GAUSS_H_ARGS);
RL_DECLARE_TIERS(void, gauss_blur_4_vertical_intrin, RL_GAUSS_V_ARGS);
RL_DECLARE_TIERS(void, gauss_blur_wrap_4_intrin, RL_GAUSS_W_ARGS);

#undef RL_GAUSS_H_ARGS
#undef RL_GAUSS_V_ARGS
#undef RL_GAUSS_W_ARGS

// Reference pieces the vector kernels use for the lines their vectors do
// not fill: rows [r0, r1) of the horizontal pass, columns [c0, c1) of the
// vertical pass. The row buffer needs max(width, height) floats per channel.
void GaussBlurRows_c(const uint8_t* src, int32_t srcStride, float* transposed, float* rowBuffer, int32_t width,
                     int32_t height, int32_t channels, int32_t r0, int32_t r1, const float* coeffs);
void GaussBlurColumns_c(const float* transposed, uint8_t* dst, int32_t dstStride, float* rowBuffer, int32_t width,
                        int32_t height, int32_t channels, int32_t c0, int32_t c1, const float* coeffs);

}  // namespace Ravvel

#endif
