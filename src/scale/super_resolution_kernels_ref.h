// Pieces of the reference kernels that the vector kernels call for the work
// they leave scalar (edge columns, rare paths). Plain functions compiled once
// with the base flags, so every tier may call them.
#ifndef RAVVEL_SCALE_SUPER_RESOLUTION_KERNELS_REF_H
#define RAVVEL_SCALE_SUPER_RESOLUTION_KERNELS_REF_H

#include <cstdint>

namespace Ravvel {

// Edge columns 0 and width - 1 of the 2x kernels for the row pair at y.
void SREdgeColumns2x(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst, int dstStride,
                     int y);
// The four rows (clamped) that the 2x kernels read for the row pair at y.
void SRRows2x(const uint8_t* base, int stride, int height, int y, const uint8_t* rows[4]);
// Threshold T of the 2x block at (y, x).
int SRBlockThreshold2x(const uint8_t* qpList, int qpStride, int y, int x, int thresholdScale, int chroma);
// Whether the 4x4 window around the block at column x equals the previous frame's.
bool SRWindowUnchanged(const uint8_t* const rows[4], const uint8_t* const prevRows[4], int x);
// The classified outputs of one interior 2x block (no threshold test).
void SRClassifiedBlock2x(const uint8_t* const rows[4], int x, uint8_t* dst, int dstStride, int y,
                         const int8_t* coeffsPad);
// One interior 2x block (source columns x, x + 1) of the adaptive filter.
void SRAdaptiveBlock2x(const uint8_t* const rows[4], int x, uint8_t* dst, int dstStride, int y, int threshold,
                       const int8_t* coeffsPad);

// The four rows (clamped) that the adaptive 1.5x kernel reads for the pair at r.
void SRRows1pt5(const uint8_t* base, int stride, int height, int r, const uint8_t* rows[4]);
int SRBlockThreshold1pt5(const uint8_t* qpList, int qpStride, int r, int c, int level, int chroma);
// The simple 3x3 output block of the source block at column c of rows r0, r1.
void SRSimpleBlock1pt5(const uint8_t* r0, const uint8_t* r1, int c, uint8_t* d, int dstStride);
// One adaptive 1.5x block; altPhases reads a table with phases 1 and 2 exchanged.
void SRAdaptiveBlock1pt5(const uint8_t* const rows[4], int c, uint8_t* d, int dstStride, int threshold,
                         const int8_t* table, bool altPhases);

}  // namespace Ravvel

#endif
