// Multi-tap filters of the downsampler: the 6-tap half-band filter for exact
// halving and the separable four-tap filter for every other ratio.
#ifndef RAVVEL_SCALE_MULTITAP_H
#define RAVVEL_SCALE_MULTITAP_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

// Coefficients are signed bytes in units of 1/64 summing to 64; a sample is
// (sum of tap x sample + 32) >> 6 clamped to 0..255.

// Vertical half-band pass: height / 2 output rows of `width` samples; output
// row y weighs source rows 2y + 1 - n/2 + k (clamped to the plane).
using FilterVertFunc = void (*)(const uint8_t* src, int32_t srcStride, int32_t width, int32_t height, uint8_t* dst,
                                int32_t dstStride, const int8_t* taps, int32_t n);
// Horizontal half-band pass: width / 2 outputs for each of `rows` rows; reads
// n/2 - 1 samples before and n/2 after each row, which the caller pads.
using FilterHorFunc = void (*)(const uint8_t* src, int32_t srcStride, int32_t width, int32_t rows, uint8_t* dst,
                               int32_t dstStride, const int8_t* taps, int32_t n);
// Four-tap resampling of a plane. `table` is the 64-phase table, `tempRow`
// a scratch row whose first 16 bytes precede the row actually used and which
// holds at least srcWidth + 16 bytes after that.
using GeneralFourTapFunc = void (*)(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                    const uint8_t* src, int32_t srcStride, int32_t srcWidth, int32_t srcHeight,
                                    const int8_t* table, uint8_t* tempRow, uint8_t tune);

#define RL_FILTER_VERT_ARGS                                                                                 \
    (const uint8_t* src, int32_t srcStride, int32_t width, int32_t height, uint8_t* dst, int32_t dstStride, \
     const int8_t* taps, int32_t n)
#define RL_FILTER_HOR_ARGS                                                                                \
    (const uint8_t* src, int32_t srcStride, int32_t width, int32_t rows, uint8_t* dst, int32_t dstStride, \
     const int8_t* taps, int32_t n)
#define RL_FOUR_TAP_ARGS                                                                                    \
    (uint8_t * dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight, const uint8_t* src,            \
     int32_t srcStride, int32_t srcWidth, int32_t srcHeight, const int8_t* table, uint8_t* tempRow,         \
     uint8_t tune)

RAVVEL_API void VeskFilterVert_c RL_FILTER_VERT_ARGS;
RAVVEL_API void VeskFilterHor_c RL_FILTER_HOR_ARGS;
RAVVEL_API void VeskGeneralFourTapFilter_c RL_FOUR_TAP_ARGS;
RL_DECLARE_TIERS(void, VeskFilterVert, RL_FILTER_VERT_ARGS);
RL_DECLARE_TIERS(void, VeskFilterHor, RL_FILTER_HOR_ARGS);
RL_DECLARE_TIERS(void, VeskGeneralFourTapFilter, RL_FOUR_TAP_ARGS);

// The preprocessing kernels one downsampler uses, chosen from its own CPU
// flags (kept per object so that objects on different threads never share
// mutable state).
struct PreprocessKernels {
    FilterHorFunc pfFilterHor;
    FilterVertFunc pfFilterVert;
    GeneralFourTapFunc pfGeneralFourTap;
    int32_t iSimdAvailable;  // 1 when a vector tier was chosen
};

// limit caps the tier by name ("c", "sse2", "ssse3", "sse4", "avx"); null or
// anything else lets the flags decide.
RAVVEL_API void VeskSetupPreprocessSimd(const char* limit, uint32_t cpuFlags, PreprocessKernels* kernels);

// The 64-phase Lanczos-2 table (64 x 4 taps; byte k weighs sample i - 1 + k),
// built once for the process on first use.
RAVVEL_API const int8_t* FourTapTable();

// Fixed taps for the six special ratios (set 0 unused), plain and tuned.
enum { kSpecialSets = 7, kSpecialEntries = 9 };
RAVVEL_API extern const int8_t pSpecial[kSpecialSets][kSpecialEntries][4];
RAVVEL_API extern const int8_t pSpecialTune[kSpecialSets][kSpecialEntries][4];

// How the four-tap filter treats one axis.
struct FourTapSpecialRatio {
    int32_t iSet;     // 0: generic
    int32_t iOutputs; // G outputs ...
    int32_t iInputs;  // ... per S source samples
    int32_t iPeriod;  // vertical period
};
// The special set for dst / src (0 when none).
FourTapSpecialRatio FindSpecialRatio(int32_t dstSize, int32_t srcSize);

// Everything the four-tap pass derives from the sizes, worked out once per
// plane by the reference code and shared with the vector variants.
struct FourTapGeometry {
    uint32_t xStep, yStep, xStart, yStart;  // 16.16
    FourTapSpecialRatio hor, ver;
    const int8_t (*special)[kSpecialEntries][4];  // pSpecial or pSpecialTune
    int32_t groups;                               // grouped outputs = groups x hor.iOutputs
    int32_t offsets[kSpecialEntries];             // first sample of output k within a group
};
void SetupFourTapGeometry(FourTapGeometry* g, int32_t dstWidth, int32_t dstHeight, int32_t srcWidth,
                          int32_t srcHeight, uint8_t tune);
// The vertical taps of output row r.
const int8_t* FourTapRowTaps(const FourTapGeometry& g, const int8_t* table, int32_t r);
// Row pieces in the reference arithmetic, for the vector variants' tails:
// d[x] = clamp((sum of t[k] x rows[k][x] + 32) >> 6) for x in [from, to);
void WeighRows(uint8_t* d, const uint8_t* const* rows, const int8_t* t, int32_t n, int32_t from, int32_t to);
// the grouped special-ratio outputs of a filtered row (returns their count);
int32_t FourTapSpecialOutputs(uint8_t* d, const uint8_t* row, const FourTapGeometry& g);
// generic outputs [from, to) of a filtered row.
void FourTapGenericOutputs(uint8_t* d, const uint8_t* row, const int8_t* table, uint32_t xStart, uint32_t xStep,
                           int32_t from, int32_t to);

// Designs an n-tap half-band filter (windowed sinc, quantised to 1/64 with
// the sum corrected to 64) into quantised[n], using work[n] as scratch.
void DesignHalfBandTaps(uint8_t tune, int32_t n, int32_t* quantised, double* work);
// Designs the 64-phase table into out[256].
void DesignFourTapTable(int8_t* out);

}  // namespace Ravvel

#endif
