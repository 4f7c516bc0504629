// Row kernels of the upsampler: a horizontal 16.16 fixed-point column scaler
// and a vertical two-row blend.
#ifndef RAVVEL_SCALE_UPSAMPLE_KERNELS_H
#define RAVVEL_SCALE_UPSAMPLE_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// dst[j] for j < dstWidth from the source samples around x + j * dx (16.16):
// a + (((b - a) * f + 64) >> 7) with a = src[i], b = src[i + 1],
// i = x_j >> 16 and the 7-bit fraction f = (x_j >> 9) & 127. Reads exactly
// src[i] and src[i + 1] for every output; the caller keeps positions >= 0 and
// i + 1 inside the row.
using ScaleFilterColsFunc = void (*)(uint8_t* dst, const uint8_t* src, int dstWidth, int x, int dx);

// Blends the row at src with the row at src + lowerOffset by the 8-bit
// fraction f (0..255): f = 0 copies the upper row, f = 128 is the rounded
// average, anything else (a * (256 - f) + b * f + 128) >> 8.
using InterpolateRowFunc = void (*)(uint8_t* dst, const uint8_t* src, ptrdiff_t lowerOffset, int width,
                                    int fraction);

RAVVEL_API void ScaleFilterCols_C(uint8_t* dst, const uint8_t* src, int dstWidth, int x, int dx);
// The same with 64-bit positions, for sources of 32768 columns and more.
RAVVEL_API void ScaleFilterCols64_C(uint8_t* dst, const uint8_t* src, int dstWidth, int64_t x, int64_t dx);
RAVVEL_API void InterpolateRow_C(uint8_t* dst, const uint8_t* src, ptrdiff_t lowerOffset, int width,
                                 int fraction);

// Column work shared by every row of a plane, for the shuffle-based scaler.
// Per group of eight outputs: starts[g], the first byte of a 16-byte source
// window; controls[16g..], for each output the window positions of its pair
// (a, b); weights[16g..], the pair's weights (128 - f, f), or (64, 64) on a
// pair that repeats a where f = 0 (128 does not fit a signed byte). Each
// output is then (a * w0 + b * w1 + 64) >> 7, the column scaler's value.
//
// Plans groups * 8 outputs from position x with step dx, reading no source
// byte past lastIndex. Returns false when some group's pairs do not fit in one
// window or the row is shorter than a window.
RAVVEL_API bool BuildColumnPlan(int32_t* starts, uint8_t* controls, int8_t* weights, int groups, int x,
                                int dx, int lastIndex);

using ScaleFilterColsPlannedFunc = void (*)(uint8_t* dst, const uint8_t* src, const int32_t* starts,
                                            const uint8_t* controls, const int8_t* weights, int groups);
RAVVEL_API void ScaleFilterColsPlanned_C(uint8_t* dst, const uint8_t* src, const int32_t* starts,
                                         const uint8_t* controls, const int8_t* weights, int groups);

// One SIMD source built per tier; the method uses the SSE2 and AVX2 builds.
RL_DECLARE_TIERS(void, ScaleFilterCols, (uint8_t * dst, const uint8_t* src, int dstWidth, int x, int dx));
RL_DECLARE_TIERS(void, InterpolateRow,
                 (uint8_t * dst, const uint8_t* src, ptrdiff_t lowerOffset, int width, int fraction));
RL_DECLARE_TIERS(void, ScaleFilterColsPlanned,
                 (uint8_t * dst, const uint8_t* src, const int32_t* starts, const uint8_t* controls,
                  const int8_t* weights, int groups));

// The names the method selects by.
RAVVEL_API void ScaleFilterCols_SSE2(uint8_t* dst, const uint8_t* src, int dstWidth, int x, int dx);
RAVVEL_API void ScaleFilterCols_AVX2(uint8_t* dst, const uint8_t* src, int dstWidth, int x, int dx);
RAVVEL_API void InterpolateRow_SSE2(uint8_t* dst, const uint8_t* src, ptrdiff_t lowerOffset, int width,
                                    int fraction);
RAVVEL_API void ScaleFilterColsPlanned_AVX2(uint8_t* dst, const uint8_t* src, const int32_t* starts,
                                            const uint8_t* controls, const int8_t* weights, int groups);
RAVVEL_API void InterpolateRow_AVX2(uint8_t* dst, const uint8_t* src, ptrdiff_t lowerOffset, int width,
                                    int fraction);

}  // namespace Ravvel

#endif
