#include <cstring>

#include "analysis/content_kernels.h"
#include "frame/logger.h"

namespace Ravvel {

namespace {

#define RL_SEG_LOG(...)                                        \
    do {                                                       \
        if (param->pLogger) param->pLogger->Detail(__VA_ARGS__); \
    } while (0)

int32_t ClassOfRange(int32_t range, int32_t textThreshold, int32_t flatThreshold)
{
    if (range < flatThreshold) return BACKGROUND_MB;
    return range < textThreshold ? VIDEO_MB : TEXT_MB;
}

struct SizeThresholds {
    int32_t iLowDistinct, iHighDistinct, iFlatGradient, iTextGradient;
};

// Larger pictures show text with softer edges and more grey levels.
SizeThresholds ThresholdsFor(int64_t sizeClass)
{
    if (sizeClass >= 16000) return {13, 200, 10, 90};
    if (sizeClass >= 8100) return {16, 170, 8, 150};
    if (sizeClass >= 3600) return {16, 160, 8, 190};
    return {20, 160, 8, 210};
}

}  // namespace

int32_t ReturnTextFlag(const int32_t* gradient, int32_t offset, int32_t textThreshold, int32_t flatThreshold)
{
    int32_t largest = -255, smallest = 255;
    const int32_t* g = gradient + offset;
    for (int r = 0; r < 16; ++r, g += 32)
        for (int c = 0; c < 16; ++c) {
            if (g[c] > largest) largest = g[c];
            if (g[c] < smallest) smallest = g[c];
        }
    return ClassOfRange(largest - smallest, textThreshold, flatThreshold);
}

void ContentBlock_c(const uint8_t* cur, const uint8_t* ref, int32_t stride, int32_t textThreshold,
                    int32_t flatThreshold, int32_t* histogram, int32_t* gradient, ContentBlockStats* out)
{
    std::memset(histogram, 0, 256 * sizeof(int32_t));
    int32_t largest = -255, smallest = 255, changed = 0;
    for (int r = 0; r < 32; ++r) {
        const uint8_t* p = cur + static_cast<ptrdiff_t>(r) * stride;
        const uint8_t* q = ref ? ref + static_cast<ptrdiff_t>(r) * stride : nullptr;
        for (int c = 0; c < 32; ++c) {
            const int32_t g = p[c] - p[c - 1];
            gradient[r * 32 + c] = g;
            if (g > largest) largest = g;
            if (g < smallest) smallest = g;
            histogram[p[c]] += 1;
            if (q && q[c] != p[c]) ++changed;
        }
    }
    int32_t distinct = 0;
    for (int v = 0; v < 256; ++v) distinct += histogram[v] != 0;
    static const int32_t kQuadrants[4] = {0, 16, 512, 528};
    for (int k = 0; k < 4; ++k)
        out->uiClass[k] = static_cast<uint8_t>(ReturnTextFlag(gradient, kQuadrants[k], textThreshold, flatThreshold));
    out->iRange = largest - smallest;
    out->iDistinct = distinct;
    out->iChanged = changed;
}

int32_t TextSegmentationFrame(vContentDetectionParam* param, ContentBlockFunc block, bool tierVariant)
{
    const int32_t width = param->iCurWidth, height = param->iCurHeight, stride = param->iStride;
    const int32_t mbw = (width + 15) >> 4, mbh = (height + 15) >> 4;
    if (mbw <= 21 || mbh <= 21) {
        RL_SEG_LOG("resolution is too small, return text directly ");
        return 1;
    }
    const int32_t mx = mbw / 11, my = mbh / 11;
    std::memset(param->pHistogram, 0, 256 * sizeof(int32_t));
    std::memset(param->pMbMap, BACKGROUND_MB, static_cast<size_t>(mbw) * mbh);
    int64_t motionSum = 0;
    int32_t iNumContentTypePic[3] = {0, 0, 0};
    const bool compare = param->iCurWidth == param->iRefWidth && param->iCurHeight == param->iRefHeight &&
                         (param->iIndex > 0 || param->bHistoryFilled);

    const int64_t sizeClass = (static_cast<int64_t>(width) * height) >> 8;
    RL_SEG_LOG("iSizeCap : %d ", param->iSizeCap);
    const SizeThresholds t = ThresholdsFor(sizeClass);

    // Block pass over 32x32 blocks of the central area.
    for (int32_t J = mbh / 22; J < (mbh - my) / 2; ++J) {
        for (int32_t I = mbw / 22; I < (mbw - mx) / 2; ++I) {
            const ptrdiff_t offset = static_cast<ptrdiff_t>(32 * J) * stride + 32 * I;
            ContentBlockStats s;
            block(param->pCurPlane + offset, compare ? param->pRefPlane + offset : nullptr, stride,
                  t.iTextGradient, t.iFlatGradient, param->pHistogram, param->pGradientBlock, &s);
            uint8_t cls[4] = {s.uiClass[0], s.uiClass[1], s.uiClass[2], s.uiClass[3]};
            int32_t forced = -1;
            if (s.iRange < t.iFlatGradient) {
                if (s.iDistinct > 7) forced = VIDEO_MB;
            } else if (s.iDistinct > t.iHighDistinct) {
                forced = VIDEO_MB;
            } else if (s.iDistinct < t.iLowDistinct) {
                forced = TEXT_MB;
            }
            if (forced >= 0) cls[0] = cls[1] = cls[2] = cls[3] = static_cast<uint8_t>(forced);
            uint8_t* top = param->pMbMap + static_cast<ptrdiff_t>(2 * J) * mbw + 2 * I;
            top[0] = cls[0];
            top[1] = cls[1];
            top[mbw] = cls[2];
            top[mbw + 1] = cls[3];
            if (s.iChanged > 128) {
                motionSum += s.iChanged;
                for (int k = 0; k < 4; ++k) ++iNumContentTypePic[cls[k]];
            }
        }
    }

    // Count pass over the central macroblocks, margins excluded.
    int32_t iNumV2 = 0, iNumT2 = 0, iNumB2 = 0;
    for (int32_t y = my; y < mbh - my; ++y) {
        const uint8_t* row = param->pMbMap + static_cast<ptrdiff_t>(y) * mbw;
        for (int32_t x = mx; x < mbw - mx; ++x) {
            iNumV2 += row[x] == VIDEO_MB;
            iNumT2 += row[x] == TEXT_MB;
            iNumB2 += row[x] == BACKGROUND_MB;
        }
    }
    if (tierVariant) RL_SEG_LOG("asm iNumV2: %d iNumT2: %d  iNumB2: %d ", iNumV2, iNumT2, iNumB2);
    else RL_SEG_LOG("iNumV2: %d iNumT2: %d  iNumB2: %d ", iNumV2, iNumT2, iNumB2);

    const int32_t total = iNumB2 + iNumV2 + iNumT2 + 1;
    int32_t ratio;
    const int32_t textWeight = 4 * iNumT2 > iNumB2 ? 4 * iNumT2 : iNumB2;
    if (textWeight < 3 * iNumV2) {
        // Mostly video: background counts half.
        ratio = ((iNumB2 >> 1) + iNumT2) * 100 / total;
        RL_SEG_LOG("first text ratio: %d ", ratio);
    } else {
        ratio = (iNumB2 + iNumT2) * 100 / total;
        RL_SEG_LOG("second text ratio: %d ", ratio);
    }
    RL_SEG_LOG("final text ratio: %d ", ratio);

    uint8_t verdict;
    const double area = static_cast<double>(static_cast<int64_t>(mbw - 2 * mx) * (mbh - 2 * my) * 256);
    if (ratio > 65) {
        verdict = 1;
        RL_SEG_LOG("content is text due to most text ");
    } else if (static_cast<int64_t>(area * 0.05) >= motionSum) {
        verdict = 1;
        RL_SEG_LOG("content type mb to small motion ");
    } else {
        RL_SEG_LOG("iNumContentTypePic[VIDEO_MB]: %d   iNumContentTypePic[TEXT_MB]:  %d "
                   "iNumContentTypePic[BACKGROUND_MB]:  %d",
                   iNumContentTypePic[VIDEO_MB], iNumContentTypePic[TEXT_MB], iNumContentTypePic[BACKGROUND_MB]);
        if (iNumContentTypePic[VIDEO_MB] <= iNumContentTypePic[TEXT_MB] + iNumContentTypePic[BACKGROUND_MB]) {
            verdict = 1;
            RL_SEG_LOG("content is test due to most motions are text ");
        } else {
            verdict = 0;
            RL_SEG_LOG("content is video due to big video motion");
        }
    }
    param->uiMotionStatus[param->iIndex % kContentHistoryFrames] = verdict;

    int32_t textFrames = 0;
    for (int k = 0; k < kContentHistoryFrames; ++k) textFrames += param->uiMotionStatus[k] == 1;
    RL_SEG_LOG("small motion count: %d ", textFrames);
    if (textFrames >= 11) {
        RL_SEG_LOG("final content is text ");
        return 1;
    }
    RL_SEG_LOG("final content is video ");
    return 0;
}

int32_t TextSegmentation8_c(vContentDetectionParam* param)
{
    return TextSegmentationFrame(param, ContentBlock_c, false);
}

}  // namespace Ravvel
