// Method 3: local contrast, brightness and colour boost of I420 video. Every
// sixteenth frame re-derives the tone curve and the colour strength from
// picture statistics; every frame applies them through table-driven kernels.
#ifndef RAVVEL_ENHANCE_LCBOOST_H
#define RAVVEL_ENHANCE_LCBOOST_H

#include <cstdint>

#include "enhance/lcboost_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

struct LcboostFuncs {
    SkinToneStatsFunc skin_tone_stats;
    ScaleChromaAutoFunc scale_chroma_auto;
    CalculateVideoStatsFunc calculate_video_stats;
    CombinedVideoStatsFunc combined_video_stats;
    ApplyRemappingFunc apply_remapping;
    BlendingWithMaskFunc blending_with_mask;
};

// Reference kernels, then SSE2, SSSE3, SSE4 and AVX2 by their flags. The AVX
// set exists but is not selected: an AVX-only processor keeps SSE4.
void InitLcboostFunc(LcboostFuncs* funcs, uint32_t cpuFlags);

class CLcboost : public CRavvelFramework {
public:
    explicit CLcboost(uint32_t cpuFlags);
    ~CLcboost() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    // Slice of the vibrance table serving the current colour strength.
    int GetVibranceIndex() const;
    bool bypass_mode(const SVideoStats* stats);

    const LcboostFuncs& GetKernels() const { return m_sFuncs; }
    const float* GetLumaMap() const { return m_fLumaMap; }
    const uint8_t* GetChromaGainTable() const { return m_aChromaGainTable; }
    float GetColourScale() const { return m_dColour_scale; }
    int32_t GetFrameIndex() const { return m_iFrameIndex; }
    // The mask of the last frame scaled to the picture (rows of the picture's width).
    const uint8_t* GetScaledMask() const { return m_pMaskBuffer; }

private:
    enum ColorPlane { kPlaneLuma = 0, kPlaneChroma = 1 };

    void SetColourBoostTable();
    void InitVibranceSlice(int index);
    void TrackTime(int64_t now);
    bool IsAnalysisPhase();
    bool EnsureMaskBuffer(int width, int height);
    void ScaleMask(const uint8_t* mask, int maskWidth, int maskHeight);
    void add_missing_data(ColorPlane plane, bool produced);
    void LumaAnalysis(const uint8_t* mask);
    void ChromaAnalysis();
    float estimate_colourfulness();
    void brightness_beta_mapping(const SVideoStats& luma, const SVideoStats& skin, float skinPercent, float* out);
    void brightness_hybrid_mapping(const SVideoStats& luma, const SVideoStats& skin, float* out);

    uint32_t m_CPUFlag;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    int32_t m_iFrameIndex = 0;
    int32_t m_iParamEstiInterval = 16;
    bool m_bScale_chroma_with_luma = true;
    float m_dContrast_scale = 1.15f;
    float m_dColour_scale = 1.1f;
    float m_dHistogram_cdf_weight = 1.1f;
    float m_fLumaMap[256];
    float m_fNewLumaMap[256];
    bool m_bColourScaleChanged = false;
    bool m_bColourAuto = false;
    bool m_bFilterVBG = false;

    const uint8_t* m_pSrcY = nullptr;
    const uint8_t* m_pSrcU = nullptr;
    const uint8_t* m_pSrcV = nullptr;
    uint8_t* m_pDstY = nullptr;
    uint8_t* m_pDstU = nullptr;
    uint8_t* m_pDstV = nullptr;
    int32_t m_iSrcYStride = 0, m_iSrcCStride = 0;
    int32_t m_iDstYStride = 0, m_iDstCStride = 0;

    bool m_bSliceReady[kVibranceSliceCount];
    float m_fVibranceSlices[kVibranceSliceCount][kVibranceCells];
    const float* m_pColourBoostTable = nullptr;
    int32_t m_brightness_method = RL_LCBOOST_BRIGHTNESS_HYBRID;
    int32_t m_colour_method = 1;
    LcboostFuncs m_sFuncs{};
    uint8_t* m_pMaskBuffer = nullptr;
    uint32_t m_uiMaskCapacity = 0;
    uint32_t m_iSkipCountdown = 0;
    uint64_t m_ulLastTime = 0;
    // Each object owns its gain table, so objects on different threads may
    // analyse at once; it starts at unity so chroma switched on between
    // analysis frames passes colours through instead of greying them.
    alignas(16) uint8_t m_aChromaGainTable[kChromaGainTableAlloc];
};

}  // namespace Ravvel

#endif
