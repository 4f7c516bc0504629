// Averaging and bilinear kernels of the downsampler, and the kernel table
// that CDownsampling fills from its CPU flags.
#ifndef RAVVEL_SCALE_DOWNSAMPLE_KERNELS_H
#define RAVVEL_SCALE_DOWNSAMPLE_KERNELS_H

#include <cstdint>

#include "ravvel.h"

namespace Ravvel {

// d, d stride, s, s stride, source width, source height (one third: destination height).
using DyadicDownsampleFunc = void (*)(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                      int32_t width, int32_t height);
// d, d stride, source width, source height, channels.
using InterleavedDownsampleFunc = void (*)(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                           int32_t width, int32_t height, int32_t channels);
// d, d stride, destination width, destination height, s, s stride, source width, source height.
using GeneralDownsampleFunc = void (*)(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                       const uint8_t* src, int32_t srcStride, int32_t srcWidth, int32_t srcHeight);
using InterleavedGeneralDownsampleFunc = void (*)(uint8_t* dst, int32_t dstStride, int32_t dstWidth,
                                                  int32_t dstHeight, const uint8_t* src, int32_t srcStride,
                                                  int32_t srcWidth, int32_t srcHeight, int32_t channels);

#define RL_DYADIC_ARGS \
    (uint8_t * dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, int32_t width, int32_t height)
#define RL_INTERLEAVED_ARGS                                                                                    \
    (uint8_t * dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, int32_t width, int32_t height, \
     int32_t channels)
#define RL_GENERAL_ARGS                                                                                    \
    (uint8_t * dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src, int32_t srcStride, \
     int32_t srcWidth, int32_t srcHeight)
#define RL_INTERLEAVED_GENERAL_ARGS                                                                        \
    (uint8_t * dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src, int32_t srcStride, \
     int32_t srcWidth, int32_t srcHeight, int32_t channels)

// ---- Reference kernels ----------------------------------------------------
RAVVEL_API void DyadicBilinearDownsampler_c RL_DYADIC_ARGS;
RAVVEL_API void BilinearNVXYChromaDownsampler_c RL_DYADIC_ARGS;
RAVVEL_API void InterleavedBilinearDownsampler_c RL_INTERLEAVED_ARGS;
RAVVEL_API void DyadicBilinearQuarterDownsampler_c RL_DYADIC_ARGS;
RAVVEL_API void DyadicBilinearOneThirdDownsampler_c RL_DYADIC_ARGS;
RAVVEL_API void VeskGeneralBilinearFastDownsampler_c RL_GENERAL_ARGS;
RAVVEL_API void VeskGeneralBilinearAccurateDownsampler_c RL_GENERAL_ARGS;
RAVVEL_API void GeneralBilinearAccurateNVXYChromaDownsampler_c RL_GENERAL_ARGS;
RAVVEL_API void InterleavedGeneralBilinearFastDownsampler_c RL_INTERLEAVED_GENERAL_ARGS;

// ---- SSE column: portable code, selected on RL_CPU_SSE alone --------------
RAVVEL_API void RLDyadicBilinearDownsamplerWidthx32_sse RL_DYADIC_ARGS;
RAVVEL_API void RLDyadicBilinearDownsamplerWidthx16_sse RL_DYADIC_ARGS;
RAVVEL_API void RLDyadicBilinearDownsamplerWidthx8_sse RL_DYADIC_ARGS;
RAVVEL_API void RLDyadicBilinearQuarterDownsampler_sse RL_DYADIC_ARGS;

// ---- SSE2 -------------------------------------------------------------------
RAVVEL_API void GeneralBilinearFastDownsamplerWrap_sse2 RL_GENERAL_ARGS;
RAVVEL_API void GeneralBilinearAccurateDownsamplerWrap_sse2 RL_GENERAL_ARGS;
RAVVEL_API void GeneralBilinearAccurateNVXYChromaDownsamplerWrap_sse2 RL_GENERAL_ARGS;
RAVVEL_API void InterleavedBilinearDownsampler_sse2 RL_INTERLEAVED_ARGS;
RAVVEL_API void InterleavedGeneralBilinearFastDownsampler_sse2 RL_INTERLEAVED_GENERAL_ARGS;

// ---- SSSE3 ------------------------------------------------------------------
RAVVEL_API void RLDyadicBilinearDownsamplerWidthx32_ssse3 RL_DYADIC_ARGS;
RAVVEL_API void RLDyadicBilinearDownsamplerWidthx16_ssse3 RL_DYADIC_ARGS;
RAVVEL_API void RLDyadicBilinearOneThirdDownsampler_ssse3 RL_DYADIC_ARGS;
RAVVEL_API void RLDyadicBilinearQuarterDownsampler_ssse3 RL_DYADIC_ARGS;
RAVVEL_API void GeneralBilinearFastDownsamplerWrap_ssse3 RL_GENERAL_ARGS;
RAVVEL_API void InterleavedBilinearDownsampler_ssse3 RL_INTERLEAVED_ARGS;
RAVVEL_API void InterleavedGeneralBilinearFastDownsampler_ssse3 RL_INTERLEAVED_GENERAL_ARGS;

// ---- SSE4.1 column (selected on RL_CPU_SSE41) ------------------------------
RAVVEL_API void RLDyadicBilinearOneThirdDownsampler_sse4 RL_DYADIC_ARGS;
RAVVEL_API void RLDyadicBilinearQuarterDownsampler_sse4 RL_DYADIC_ARGS;
RAVVEL_API void GeneralBilinearAccurateDownsamplerWrap_sse41 RL_GENERAL_ARGS;
RAVVEL_API void InterleavedBilinearDownsampler_sse4 RL_INTERLEAVED_ARGS;
RAVVEL_API void InterleavedGeneralBilinearFastDownsampler_sse4 RL_INTERLEAVED_GENERAL_ARGS;

// ---- AVX --------------------------------------------------------------------
RAVVEL_API void InterleavedBilinearDownsampler_avx RL_INTERLEAVED_ARGS;
RAVVEL_API void InterleavedGeneralBilinearFastDownsampler_avx RL_INTERLEAVED_GENERAL_ARGS;

// ---- AVX2 -------------------------------------------------------------------
RAVVEL_API void GeneralBilinearFastDownsamplerWrap_avx2 RL_GENERAL_ARGS;
RAVVEL_API void GeneralBilinearAccurateDownsamplerWrap_avx2 RL_GENERAL_ARGS;
RAVVEL_API void InterleavedBilinearDownsampler_avx2 RL_INTERLEAVED_ARGS;
RAVVEL_API void InterleavedGeneralBilinearFastDownsampler_avx2 RL_INTERLEAVED_GENERAL_ARGS;

// The steps the general kernels walk with; the adapters compute them exactly
// as the reference does, so every variant lands on the same source samples.
int32_t FastBilinearStepX(int32_t srcWidth, int32_t dstWidth);     // 16.16
int32_t BilinearStep15(int32_t srcSize, int32_t dstSize);          // 1.15, rounded
int32_t TruncatedStep15(int32_t srcSize, int32_t dstSize);         // 1.15, truncated

// Row pieces of the averaging kernels: outputs [from, to) of one row.
// d[x] = avg(avg(r0[step x], r0[step x + 1]), avg(r1[step x], r1[step x + 1])).
void AveragePairsRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, int32_t from, int32_t to, int32_t step);
// Packed halving: pixel x from pixels 2x and 2x + 1 of both rows.
void InterleavedHalveRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, int32_t from, int32_t to,
                         int32_t channels);

// Packed general: pixels [from, to) of one row (2x2 average at each
// position), and the copied last column and last row.
void InterleavedGeneralRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, int32_t from, int32_t to,
                           uint32_t xStep, int32_t channels);
void InterleavedGeneralEdges(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                             const uint8_t* src, int32_t srcStride, uint32_t xStep, uint32_t yStep, int32_t channels);

// Row pieces of the general kernels, compiled once without vector flags so
// that the vector variants finish their rows with the reference arithmetic
// instead of repeating it. Columns (pairs for the interleaved one) [from, to)
// of one output row; r0, r1 the two source rows, fy the vertical fraction.
void GeneralBilinearFastRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, uint32_t fy, int32_t from, int32_t to,
                            uint32_t xStep);
void GeneralBilinearAccurateRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, uint32_t fy, int32_t from,
                                int32_t to, uint32_t xStep);
void GeneralBilinearAccurateNVXYRow(uint8_t* d, const uint8_t* r0, const uint8_t* r1, uint32_t fy, int32_t from,
                                    int32_t to, uint32_t xStep);
// The unfiltered samples of the fast and accurate kernels: the last column of
// every other row and the whole last row (positions start at xStart, integer
// part above bit xShift).
void GeneralBilinearEdges(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,
                          int32_t srcStride, uint32_t xStep, uint32_t yStep, uint32_t xStart, int xShift);

// Slots of the downsampler's kernel table.
struct DownsampleFuncs {
    DyadicDownsampleFunc pfHalveWidthx32;              // 0
    DyadicDownsampleFunc pfHalveWidthx16;              // 1
    DyadicDownsampleFunc pfHalveNVXYChroma;            // 2
    DyadicDownsampleFunc pfOneThird;                   // 3
    DyadicDownsampleFunc pfQuarter;                    // 4
    GeneralDownsampleFunc pfGeneralFast;               // 5
    GeneralDownsampleFunc pfGeneralAccurate;           // 6
    GeneralDownsampleFunc pfGeneralAccurateNVXYChroma; // 7
    InterleavedDownsampleFunc pfInterleavedHalve;      // 8
    InterleavedGeneralDownsampleFunc pfInterleavedGeneral; // 9
};

// Reference kernels first, then each column whose flag is set, left to right:
// SSE, SSE2, SSSE3, SSE4.1 (0x20), AVX, AVX2.
void FillDownsampleFuncs(DownsampleFuncs* f, uint32_t cpuFlags);

}  // namespace Ravvel

#endif
