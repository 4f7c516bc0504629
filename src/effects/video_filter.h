// Method 21: one of five fixed colour looks applied in place to an I420 picture.
#ifndef RAVVEL_EFFECTS_VIDEO_FILTER_H
#define RAVVEL_EFFECTS_VIDEO_FILTER_H

#include <cstdint>

#include "csc/csc_kernels.h"
#include "effects/video_filter_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

// Standalone converter signature (i420_to_rgb_c, rgb_to_i420_c).
using StandaloneCscFunc = void (*)(uint8_t* rgb, int32_t rgbStride, uint8_t* y, uint8_t* u, uint8_t* v,
                                   int32_t yStride, int32_t uvStride, int32_t width, int32_t height, int32_t flip);

struct VideoFilterKernels {
    HueRotateFunc pfnHueRotate;
    SepiaRowFunc pfnSepia;
    ToneRowFunc pfnCinnamon;
    ToneRowFunc pfnSeafoam;
    // Whole-picture I420 <-> RGB24 converters of the tier; null on the
    // reference tier, which goes through the standalone converters.
    CscKernelFunc pfnYuvToRgb;
    CscKernelFunc pfnRgbToYuv;
    // A row pair through RGB and back in one pass; null where the tier has
    // none and the converters above run one after the other.
    LookRowPairFunc pfnLookRowPair;
};

void FillVideoFilterKernels(VideoFilterKernels* table, uint32_t cpuFlags);

class CVideoFilter : public CRavvelFramework {
public:
    explicit CVideoFilter(uint32_t cpuFlags);
    ~CVideoFilter() override;

    // config: null or an SRLVideoFilterConfig.
    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    // Filters src in place; dst and extra are not used.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    int32_t GetMode() const { return m_iFilterMode; }
    uint32_t GetFrameCount() const { return m_uiFrameCount; }
    const VideoFilterKernels& GetKernels() const { return m_sKernels; }

private:
    void FilterMethodBlackAndWhite(const SRLPictureInfo& pic);
    void FilterMethodHueAngle(const SRLPictureInfo& pic);
    // Sepia, cinnamon and seafoam: through RGB, one row pair at a time.
    void FilterThroughRgb(const SRLPictureInfo& pic, int32_t mode);
    int32_t EnsureWorkBuffers(int32_t width);
    void FreeWorkBuffers();

    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    int32_t m_iFilterMode = RL_VIDEO_FILTER_NONE;
    uint32_t m_uiFrameCount = 0;
    StandaloneCscFunc m_pfnI420ToRgb = nullptr;
    StandaloneCscFunc m_pfnRgbToI420 = nullptr;
    uint8_t* m_pRgbBuffer1 = nullptr;  // converted row pair
    uint8_t* m_pRgbBuffer2 = nullptr;  // sepia's output row pair
    uint32_t m_uiRgbBufferSize = 0;
    VideoFilterKernels m_sKernels{};
};

}  // namespace Ravvel

#endif
