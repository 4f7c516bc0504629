// Colour look kernels: the chroma rotation on the U and V planes and the
// per-pixel RGB looks on rows of 3-byte R, G, B pixels.
#ifndef RAVVEL_EFFECTS_VIDEO_FILTER_KERNELS_H
#define RAVVEL_EFFECTS_VIDEO_FILTER_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Rotates every (U, V) pair of width x height chroma samples, in place, by
// the hue angle's cosine and sine in double precision; results are truncated
// and limited to 0..255.
using HueRotateFunc = void (*)(uint8_t* u, int32_t uStride, uint8_t* v, int32_t vStride, int32_t width,
                               int32_t height);
// Sepia matrix from in to out, `pixels` pixels; the rows must not overlap.
using SepiaRowFunc = void (*)(const uint8_t* in, uint8_t* out, int32_t pixels);
// A per-channel tone curve applied in place to `pixels` pixels.
using ToneRowFunc = void (*)(uint8_t* rgb, int32_t pixels);

// One 4:2:0 row pair taken through RGB, the look `mode` (sepia, cinnamon
// or seafoam) and back, in place: two luma rows yStride apart, their chroma
// rows, an even width. work1 and work2 hold 6 * width bytes each.
using LookRowPairFunc = void (*)(uint8_t* y, int32_t yStride, uint8_t* u, uint8_t* v, int32_t width, int32_t mode,
                                 uint8_t* work1, uint8_t* work2);

constexpr double kHueAngleCos = 0.8141809705265618;
constexpr double kHueAngleSin = 0.5806111842123143;

// The looks' per-channel tables, [channel R, G, B][input byte].
const uint8_t (*CinnamonCurves())[256];
const uint8_t (*SeafoamCurves())[256];

RAVVEL_API void HueRotateChroma_c(uint8_t* u, int32_t uStride, uint8_t* v, int32_t vStride, int32_t width,
                                  int32_t height);
RAVVEL_API void SepiaRgbRow_c(const uint8_t* in, uint8_t* out, int32_t pixels);
RAVVEL_API void CinnamonRgbRow_c(uint8_t* rgb, int32_t pixels);
RAVVEL_API void SeafoamRgbRow_c(uint8_t* rgb, int32_t pixels);
RAVVEL_API void LookRowPair_c(uint8_t* y, int32_t yStride, uint8_t* u, uint8_t* v, int32_t width, int32_t mode,
                              uint8_t* work1, uint8_t* work2);
// Only the AVX2 tier fuses the row pair's conversions and look in registers.
RAVVEL_API void LookRowPair_avx2(uint8_t* y, int32_t yStride, uint8_t* u, uint8_t* v, int32_t width, int32_t mode,
                                 uint8_t* work1, uint8_t* work2);

RL_DECLARE_TIERS(void, HueRotateChroma,
                 (uint8_t * u, int32_t uStride, uint8_t* v, int32_t vStride, int32_t width, int32_t height));
RL_DECLARE_TIERS(void, SepiaRgbRow, (const uint8_t* in, uint8_t* out, int32_t pixels));
RL_DECLARE_TIERS(void, CinnamonRgbRow, (uint8_t * rgb, int32_t pixels));

}  // namespace Ravvel

#endif
