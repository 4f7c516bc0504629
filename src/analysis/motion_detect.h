// Method 25: tells, frame by frame, whether a planar RGB picture changed
// along the boundary of a host-supplied mask since the stored reference.
#ifndef RAVVEL_ANALYSIS_MOTION_DETECT_H
#define RAVVEL_ANALYSIS_MOTION_DETECT_H

#include <cstddef>
#include <cstdint>

#include "frame/framework.h"

namespace Ravvel {

// The boundary band of a mask: pixels whose clipped window of
// (2 * radius + 1)^2 pixels holds some but not all inside pixels (mask byte
// above `threshold`). `integral` holds width x height words of scratch; the
// indices of band pixels go to `band` (room for width x height entries), in
// raster order. Returns how many there are.
uint32_t FindMaskBoundary(const uint8_t* mask, int32_t width, int32_t height, int32_t radius, uint8_t threshold,
                          uint32_t* integral, uint32_t* band);

// Sum of `count` bytes.
uint32_t SumBytes(const uint8_t* p, size_t count);

class CMotionDetect : public CRavvelFramework {
public:
    explicit CMotionDetect(uint32_t cpuFlags);
    ~CMotionDetect() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    uint32_t GetBoundaryCount() const { return m_uiBoundaryCount; }

private:
    int32_t IsChanged(const SRLPictureInfo& picture);
    bool UpdateImage(const SRLPictureInfo& picture);
    void FreeBuffers();

    // Fixed parameters.
    const int32_t m_iPixelDiffThreshold = 30;
    const int32_t m_iLongestQuietRun = 16;
    const uint32_t m_uiMinBoundaryCount = 9;
    const uint8_t m_ucMaskThreshold = 128;
    const int32_t m_iWindowSize = 5;
    const int32_t m_iRefreshPeriod = 5;
    const double m_dMaskAreaTolerance = 0.2;

    bool m_bFirstFrame = true;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    size_t m_uPixelCount = 0;
    uint8_t* m_pReference[3] = {nullptr, nullptr, nullptr};
    // The boundary band as a list of pixel indices, so that a frame visits
    // only those pixels.
    uint32_t* m_pBoundary = nullptr;
    uint32_t m_uiBoundaryCount = 0;
    // Scratch for the band search, kept so that a refresh never allocates.
    uint32_t* m_pIntegral = nullptr;
    int32_t m_iFramesSinceChange = 0;
    int32_t m_iChangeCount = 0;
    uint32_t m_uiLastMaskSum = 0;
    int32_t m_iMinPredictStep = 0;
    double m_dAreaThreshold = 0.0;
    int32_t* m_pResult = nullptr;
};

}  // namespace Ravvel

#endif
