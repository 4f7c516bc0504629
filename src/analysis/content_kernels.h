// Text-versus-video segmentation of a luma plane: per-block classification,
// per-frame verdict and a vote over the last fourteen frames.
#ifndef RAVVEL_ANALYSIS_CONTENT_KERNELS_H
#define RAVVEL_ANALYSIS_CONTENT_KERNELS_H

#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

class Logger;

// Macroblock classes kept in the map, one byte per 16x16 macroblock.
enum { VIDEO_MB = 0, TEXT_MB = 1, BACKGROUND_MB = 2 };

constexpr int kContentHistoryFrames = 14;

// What the segmentation reads and the vote state it carries from frame to frame.
struct vContentDetectionParam {
    const uint8_t* pCurPlane;
    const uint8_t* pRefPlane;  // the previous frame, same stride as the current one
    int32_t iCurWidth;
    int32_t iCurHeight;
    int32_t iRefWidth;  // 0 when there is no previous frame to compare with
    int32_t iRefHeight;
    int32_t iSizeCap;  // only logged
    int32_t iStride;
    uint8_t* pMbMap;          // ((width + 15) >> 4) x ((height + 15) >> 4) bytes
    int32_t* pHistogram;      // 256 entries of scratch
    int32_t* pGradientBlock;  // 32 x 32 entries of scratch
    int32_t iIndex;           // frame index, 0 to 13
    bool bHistoryFilled;
    uint8_t uiMotionStatus[kContentHistoryFrames];  // per-frame verdicts, ring by iIndex % 14
    Logger* pLogger;  // may be null
};

// One 32x32 block (2x2 macroblocks) as the block pass sees it.
struct ContentBlockStats {
    uint8_t uiClass[4];  // quadrant classes by gradient range: TL, TR, BL, BR
    int32_t iRange;      // largest minus smallest horizontal gradient of the block
    int32_t iDistinct;   // distinct sample values
    int32_t iChanged;    // samples that differ from the reference (0 without one)
};

// cur and ref point at the block's top-left sample; cur[-1] of each row is
// read (the block to the left). ref null: no comparison. The histogram and
// gradient buffers are scratch whose contents only the reference defines.
using ContentBlockFunc = void (*)(const uint8_t* cur, const uint8_t* ref, int32_t stride, int32_t textThreshold,
                                  int32_t flatThreshold, int32_t* histogram, int32_t* gradient,
                                  ContentBlockStats* out);

// The class of the 16x16 region of the 32-wide gradient block at `offset`.
RAVVEL_API int32_t ReturnTextFlag(const int32_t* gradient, int32_t offset, int32_t textThreshold,
                                  int32_t flatThreshold);

RAVVEL_API void ContentBlock_c(const uint8_t* cur, const uint8_t* ref, int32_t stride, int32_t textThreshold,
                               int32_t flatThreshold, int32_t* histogram, int32_t* gradient, ContentBlockStats* out);
RL_DECLARE_TIERS(void, ContentBlock,
                 (const uint8_t* cur, const uint8_t* ref, int32_t stride, int32_t textThreshold,
                  int32_t flatThreshold, int32_t* histogram, int32_t* gradient, ContentBlockStats* out));

// The content of the current frame after the vote: 1 text-like, 0 video.
using TextSegmentationFunc = int32_t (*)(vContentDetectionParam* param);
RAVVEL_API int32_t TextSegmentation8_c(vContentDetectionParam* param);
RL_DECLARE_TIERS(int32_t, TextSegmentation8, (vContentDetectionParam * param));

// The frame logic every variant shares around its block function; the tier
// variants name themselves in the count line.
int32_t TextSegmentationFrame(vContentDetectionParam* param, ContentBlockFunc block, bool tierVariant);

}  // namespace Ravvel

#endif
