// Method 2: in-place noise reduction of planar 4:2:0 video. An edge-preserving
// spatial filter on 16x16 luma and 8x8 chroma blocks is combined with a
// recursive temporal blend against the previous processed frame; the
// strength is a noise level that the host fixes or that is estimated from the
// frame-to-frame difference.
#ifndef RAVVEL_ENHANCE_DENOISE_H
#define RAVVEL_ENHANCE_DENOISE_H

#include <cstdint>

#include "enhance/denoise_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

struct TagDenoiseFuncs {
    DenoiseRowFunc pfBilateralLuma16;
    DenoiseRowFunc pfBilateralLuma8;
    void* pReserved;  // kept so that the table keeps its historical layout
    DenoiseRowFunc pfChromaFilter8;
    NoiseEstimationFunc pfNoiseEstimation;
    TemporalAverageFunc pfTemporalAverage;
    TemporalSkipCheckFunc pfTemporalSkipCheck;
};

// Reference kernels first, then each tier whose flag is set.
void InitDenoiseFunc(TagDenoiseFuncs& funcs, int flags);

extern const char* const NoiseLevelString[5];

class CDenoise : public CRavvelFramework {
public:
    explicit CDenoise(uint32_t cpuFlags);
    ~CDenoise() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    // Denoises src in place; dst and extra are not read.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;
    void GetStatisticsLog(StatisticsInfo* s) override;

    const TagDenoiseFuncs& GetFuncs() const { return m_sFuncs; }
    // Lets tests put a chosen estimator in place to drive the level decision.
    void SetNoiseEstimationFunc(NoiseEstimationFunc f) { m_sFuncs.pfNoiseEstimation = f; }
    int32_t GetMode() const { return m_iMode; }
    int32_t GetNoiseLevelQ8() const { return m_iNoiseLevelQ8; }
    int32_t GetFrameCount() const { return m_iFrameCount; }
    // Block map of the previous-frame store, null before the first frame.
    const uint8_t* GetBlockMap() const { return m_pBlockMap; }
    int32_t GetBlockCols() const { return m_iBlockCols; }

private:
    void ApplyMode(int32_t mode);
    void SwitchDenoiseFilter();
    void FreeBuffers();
    bool NoiseEstimation(uint8_t* cur, uint8_t* prev, int width, int height, int stride);
    // Makes the previous-frame store match the working strides; an existing
    // store is laid out anew with its contents kept.
    bool PreparePrevious(const int32_t strides[3]);
    void BilateralDenoiseLuma(uint8_t* plane, int width, int height, int stride, bool all);
    void WaverageDenoiseChroma(uint8_t* plane, int width, int height, int stride, bool all);
    void TemporalDenoise(const SRLPictureInfo& cur);
    void CountFrame();

    uint16_t m_usBorder = 1;
    uint16_t m_usPlaneMask = 7;
    TagDenoiseFuncs m_sFuncs{};
    uint32_t m_uiCpuFlags;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    int32_t m_iMode = -1;
    int32_t m_iNoiseEstimate = 0;
    int32_t m_iNoiseLevel = 0;
    int32_t m_iNoiseLevelQ8 = 256;
    SRLPictureInfo m_sWorkPic{};
    SRLPictureInfo m_sPreviousPic{};
    uint8_t* m_pBlockMap = nullptr;
    int32_t m_iBlockCols = 0;
    int32_t m_iEstimateInterval = 90;
    int32_t m_iFrameCount = 0;

    // Estimator scratch, kept across estimation frames so that the steady
    // state does not allocate.
    uint32_t* m_pNoiseScratch = nullptr;
    uint32_t m_uiNoiseScratchEntries = 0;
};

}  // namespace Ravvel

#endif
