// Method 29: decides whether an I420 stream flickers, from how far the
// per-region histograms jump between analysed frames over a sliding window.
#ifndef RAVVEL_ANALYSIS_FLICKER_DETECT_H
#define RAVVEL_ANALYSIS_FLICKER_DETECT_H

#include <cstddef>
#include <cstdint>

#include "analysis/flicker_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

class CFlickerDetect : public CRavvelFramework {
public:
    // Limits that keep the per-region state within a few megabytes.
    static constexpr int32_t kMaxWindow = 1024;
    static constexpr int32_t kMaxRegions = 1024;

    explicit CFlickerDetect(uint32_t cpuFlags);
    ~CFlickerDetect() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    const TagFlickerFuncs& GetKernels() const { return m_sFuncs; }
    uint32_t GetCpuFlags() const { return m_uiCpuFlags; }

private:
    // A previous-frame plane laid out with the stride of the frames it is
    // compared with, so that one stride serves both in the difference count.
    struct PrevPlane {
        uint8_t* pBlock = nullptr;
        uint8_t* pRow0 = nullptr;
        uint32_t uiCapacity = 0;
        int32_t iStride = 0;
        int32_t iRows = 0;
        int32_t iRowBytes = 0;
    };

    int32_t Configure(const SRLFlickerDetectConfig& c, bool thresholdsScaled);
    bool AllocateState();
    void FreeState();
    void ClearHistory();
    int32_t PreparePrevPlane(int p, const uint8_t* plane, int32_t stride, int32_t rows, int32_t rowBytes);
    bool CheckAndUpdateStaticScene(const SRLPictureInfo& src);
    void UpdateHistogramAndComputeMSE(const SRLPictureInfo& src, float* mse);

    uint32_t m_uiCpuFlags;
    TagFlickerFuncs m_sFuncs{};

    // Settings.
    int32_t m_iWindowSize = 5;
    int32_t m_iWindowFrames = 3;  // as configured; a resolution change keeps it
    int32_t m_iGracePeriod = 30;
    int32_t m_iGridColumns = 3;
    int32_t m_iGridRows = 3;
    int32_t m_iRegionCount = 9;
    float m_fWinsumThreshold[3] = {1000.0f, 1000.0f, 1000.0f};
    int32_t m_iPeakThreshold = 1;
    float m_fSpikeFactor = 0.95f;
    int32_t m_iStaticThreshold[3] = {3, 3, 3};
    float m_fStaticRatio = 0.9f;

    // State.
    uint32_t m_uiFrameCounter = 0;
    uint32_t m_uiHoldUntil = 5;
    bool m_bResult = false;
    // Whether the previous planes hold a frame of the current history; the
    // first frame after a fresh start is never taken as static.
    bool m_bHavePrevious = false;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    PrevPlane m_sPrev[3];
    // Per-region state, sized for m_iStateRegions regions and m_iStateWindow frames.
    int32_t m_iStateRegions = 0;
    int32_t m_iStateWindow = 0;
    int32_t* m_pSpikeCounter = nullptr;
    float* m_pWindowSum = nullptr;    // 3 per region
    float* m_pMseWindow = nullptr;    // N entries of 3 per region
    uint8_t* m_pSpikeWindow = nullptr;  // N entries of 1 per region
    float* m_pMse = nullptr;          // this frame's 3 per region
    float* m_pHistA[3] = {nullptr, nullptr, nullptr};  // 256 per region
    float* m_pHistB[3] = {nullptr, nullptr, nullptr};
};

}  // namespace Ravvel

#endif
