// Sobel edge map of an 8-bit plane, with optional non-maximum suppression.
#ifndef RAVVEL_EFFECTS_EDGE_KERNELS_H
#define RAVVEL_EFFECTS_EDGE_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Writes the edge strength of the interior pixels of a width x height plane:
// rows 1 .. R and columns 1 .. C, where R and C are the largest even numbers
// not above height - 2 and width - 2 (planes below 4 x 4 get nothing). Row 0,
// column 0 and everything past R and C stay untouched; no byte past column C
// of a row is written.
//
// magnitude = (max(|Gx|, |Gy|) + (min(|Gx|, |Gy|) >> 2)) >> 2, at most 255.
//
// With a work buffer (EdgeWorkBytes bytes) the map is thinned: a pixel keeps
// its magnitude only when it is strictly above both neighbours along its
// dominant gradient axis (left/right when |Gx| > |Gy|, else above/below),
// compared in the unthinned magnitudes, with row 0 and column 0 counting as
// 0. Row R and column C have no computed neighbour beyond them and keep their
// magnitudes.
using SobelLumaFilterFunc = void (*)(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height,
                                     int32_t srcStride, int32_t dstStride, uint8_t* work);

// Bytes of the work buffer for a plane: three rows of magnitudes and three
// rows of direction flags, used in rotation (the thinning of a row needs only
// the rows around it).
inline uint64_t EdgeWorkBytes(int32_t width, int32_t)
{
    return static_cast<uint64_t>(width) * 6;
}

#define RL_SOBEL_ARGS \
    (const uint8_t* src, uint8_t* dst, int32_t width, int32_t height, int32_t srcStride, int32_t dstStride, uint8_t* work)

RAVVEL_API void SobelLumaFilter8_c RL_SOBEL_ARGS;
RL_DECLARE_TIERS(void, SobelLumaFilter8, RL_SOBEL_ARGS);

#undef RL_SOBEL_ARGS

// Row pieces of the reference, shared with the vector kernels for the
// columns their vectors do not reach. Columns [x0, x1) of one row.
// Magnitudes of row `mid` from its neighbour rows; flags may be null.
void SobelMagnitudeRow_c(const uint8_t* above, const uint8_t* mid, const uint8_t* below, uint8_t* mag,
                         uint8_t* flags, int32_t x0, int32_t x1);
// Thinned magnitudes of row `mid` from the magnitude rows around it.
void SobelSuppressRow_c(const uint8_t* up, const uint8_t* mid, const uint8_t* down, const uint8_t* flags,
                        uint8_t* out, int32_t x0, int32_t x1);

// The last written row and column (0 when nothing is written).
inline int32_t SobelLastInterior(int32_t size) { return size < 4 ? 0 : (size - 2) & ~1; }

}  // namespace Ravvel

#endif
