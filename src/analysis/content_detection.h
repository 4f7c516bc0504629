// Method 8: tells the host, through its callback, whether the stream shows
// text-like content or natural video, each time that changes.
#ifndef RAVVEL_ANALYSIS_CONTENT_DETECTION_H
#define RAVVEL_ANALYSIS_CONTENT_DETECTION_H

#include <cstdint>

#include "analysis/content_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

struct TextSegmentationFuncs {
    TextSegmentationFunc pfnTextSegmentation8;
};

// The variant of the highest tier whose flag is set.
void FillTextSegmentationFuncs(TextSegmentationFuncs* table, uint32_t cpuFlags);

class CContentDetection : public CRavvelFramework {
public:
    static constexpr int kTextFlagFrames = 7;

    explicit CContentDetection(uint32_t cpuFlags);
    ~CContentDetection() override;

    // config: SRLContentDetectionConfig (required, I420).
    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    // Analyses src; dst and extra are not used.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    // 40 registers the callback (SRLContentCallback*), 42 requests a reset (uint8_t*).
    int32_t SetOption(RL_EOption option, void* value) override;
    // 54: double, microseconds per frame.
    int32_t GetOption(RL_EOption option, void* value) override;

    const TextSegmentationFuncs& GetKernels() const { return m_sFuncs; }
    const vContentDetectionParam& GetParam() const { return m_sParam; }

private:
    void Reset();
    // Grows the previous-frame buffer to `bytes`; its old contents are lost.
    bool ReservePrevFrame(uint64_t bytes);

    TextSegmentationFuncs m_sFuncs{};
    int32_t m_iLastResult = RL_CONTENT_TEXT;
    bool m_bCallbackRegistered = false;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    bool m_bFirstReportPending = true;
    bool m_bResetRequested = false;
    int32_t m_iTextFlag[kTextFlagFrames] = {};
    vContentDetectionParam m_sParam{};
    RLContentCallbackFunc m_pfnCallback = nullptr;
    void* m_pCallbackContext = nullptr;
    uint8_t* m_pMbMap = nullptr;
    uint32_t m_uiMbMapBytes = 0;
    uint8_t* m_pPrevFrame = nullptr;
    uint32_t m_uiPrevFrameBytes = 0;
    // The frame the previous-frame buffer holds; width 0 when it holds none.
    int32_t m_iPrevWidth = 0;
    int32_t m_iPrevHeight = 0;
    int32_t m_iPrevStride = 0;
};

}  // namespace Ravvel

#endif
