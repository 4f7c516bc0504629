// Plane kernels of super resolution: an adaptive 2x filter (3x3 binary
// pattern classes, 12-tap filters per output phase, temporal reuse of
// unchanged blocks), an enhanced 2x filter (9-tap floating-point filters from
// a coefficient file), an adaptive 1.5x filter (oriented classes, one
// symmetric table) and a plain 1.5x interpolator.
//
// Every kernel reads an 8-bit plane of width x height (both even) and writes
// the enlarged plane; a call covers the source rows firstRow..rowLimit-1 in
// pairs. 2x kernels write (2w) x (2h), 1.5x kernels (3w/2) x (3h/2).
#ifndef RAVVEL_SCALE_SUPER_RESOLUTION_KERNELS_H
#define RAVVEL_SCALE_SUPER_RESOLUTION_KERNELS_H

#include <cstdint>
#include <cstdio>

#include "simd/dispatch.h"

namespace Ravvel {

class Logger;

constexpr int kSRClasses = 257;            // built-in tables: 256 pattern classes and one spare
constexpr int kSRPhases = 4;               // outputs per source pixel (2x) or filters per pixel (1.5x)
constexpr int kSROrigTaps = 12;            // taps per phase of the trained 2x table
constexpr int kSRPadTaps = 16;             // padded layout read by the 2x kernels
constexpr int kSRPadBytes = kSRClasses * kSRPhases * kSRPadTaps;
constexpr int kSREnhClasses = 8193;        // enhSR_classify's range: 512 patterns x 16 levels, plus flat
constexpr int kSREnhTaps = 10;             // nine used, one spare per row
constexpr int kSRFlatClass = 8192;
constexpr int kSRMaxPathLength = 134;      // longest coefficient file path kept

// Built-in tables (trained; generated source).
// coeffs_orig[c][q][t]: taps in 1/64 ordered north-west, north, north-east,
// west, centre, east, south-west, south, south-east, median(N, W, C),
// median(N, C, E), median(C, W, S); each phase sums to 64.
extern const int8_t coeffs_orig[kSRClasses][kSRPhases][kSROrigTaps];
// coeffs_sym1pt5[c][q][t]: 3x3 taps in 1/32 at byte positions 0-2, 4-6, 8-10
// of the oriented neighbourhood; each filter sums to 32, class 256 is zero.
extern const int8_t coeffs_sym1pt5[kSRClasses][kSRPhases][16];
// The same with phases 1 and 2 exchanged, for the vector kernels.
extern const int8_t coeffs_sym1pt5_alt[kSRClasses][kSRPhases][16];

// Threshold per quantiser 0..51; quantisers above 51 read entry 51.
extern const int32_t qp_threshold[52];
// Scaled variance (0..255) to a level 0..15.
extern const uint8_t g_varLevel[256];

// Adaptive 2x. coeffsPad is the padded table built by the coefficient setup
// (per method object). prev (may be null) is the previous frame's plane of
// the same size: 2x2 blocks whose 4x4 neighbourhood is unchanged leave their
// output untouched. thresholdScale 1 and chroma 0 for luma, 4 and 1 for chroma.
using SRAdaptive2xFunc = void (*)(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                  int dstStride, int firstRow, int rowLimit, const uint8_t* qpList, int qpStride,
                                  const uint8_t* prev, int prevStride, int thresholdScale, int chroma,
                                  const int8_t* coeffsPad);
// Adaptive 1.5x; level scales the threshold.
using SRAdaptive1pt5Func = void (*)(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                    int dstStride, int firstRow, int rowLimit, const uint8_t* qpList,
                                    int qpStride, int level, int chroma);
using SRSimple1pt5Func = void (*)(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                  int dstStride, int firstRow, int rowLimit);
// Builds the padded 2x table (kSRPadBytes) from coeffs_orig's layout.
using SRSetupCoeffsFunc = void (*)(int8_t* pad, const int8_t* orig);

RAVVEL_API void brillane_2x2_process_block_c(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                             int dstStride, int firstRow, int rowLimit, const uint8_t* qpList,
                                             int qpStride, const uint8_t* prev, int prevStride, int thresholdScale,
                                             int chroma, const int8_t* coeffsPad);
RAVVEL_API void brillane_1pt5_process_block_c(const uint8_t* src, int width, int height, int srcStride,
                                              uint8_t* dst, int dstStride, int firstRow, int rowLimit,
                                              const uint8_t* qpList, int qpStride, int level, int chroma);
RAVVEL_API void simple_scale_1pt5_process_block_c(const uint8_t* src, int width, int height, int srcStride,
                                                  uint8_t* dst, int dstStride, int firstRow, int rowLimit);
RAVVEL_API void setup_coeffs_c(int8_t* pad, const int8_t* orig);

// Enhanced 2x with coefficients[class][phase][kSREnhTaps] and one valid flag per class.
RAVVEL_API void enhSR_2x2_process_block_c(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                          int dstStride, int firstRow, int rowLimit, const double* coefficients,
                                          const bool* validFlags);

// A 3x3 patch in raster order to a class 0..8192.
int enhSR_classify(const uint8_t patch[9]);

// Loads an enhanced coefficient file into coefficients (zeroed by the caller)
// and validFlags. Returns 0, or 1 when the file cannot be opened. Lines whose
// class is above 8192 or whose phase is outside 0..3 are skipped with a
// warning. logger may be null.
int setup_enhSR_coeffs_c(const char* path, double* coefficients, bool* validFlags, Logger* logger);

RL_DECLARE_TIERS(void, brillane_2x2_process_block,
                 (const uint8_t* src, int width, int height, int srcStride, uint8_t* dst, int dstStride,
                  int firstRow, int rowLimit, const uint8_t* qpList, int qpStride, const uint8_t* prev,
                  int prevStride, int thresholdScale, int chroma, const int8_t* coeffsPad));
RL_DECLARE_TIERS(void, brillane_1pt5_process_block,
                 (const uint8_t* src, int width, int height, int srcStride, uint8_t* dst, int dstStride,
                  int firstRow, int rowLimit, const uint8_t* qpList, int qpStride, int level, int chroma));
RL_DECLARE_TIERS(void, simple_scale_1pt5_process_block,
                 (const uint8_t* src, int width, int height, int srcStride, uint8_t* dst, int dstStride,
                  int firstRow, int rowLimit));
RL_DECLARE_TIERS(void, setup_coeffs, (int8_t * pad, const int8_t* orig));

// The method's kernel table.
struct SRKernels {
    SRSimple1pt5Func pfSimple1pt5;
    SRAdaptive1pt5Func pfAdaptive1pt5;
    SRAdaptive2xFunc pfAdaptive2x;
    SRSetupCoeffsFunc pfSetupCoeffs;
};
void FillSRKernels(SRKernels* table, uint32_t cpuFlags);

}  // namespace Ravvel

#endif
