// Method 6: how much of the luma changed between a current and a reference
// frame, counted in 8x8 blocks and graded into four levels.
#ifndef RAVVEL_ANALYSIS_SCENE_CHANGE_H
#define RAVVEL_ANALYSIS_SCENE_CHANGE_H

#include <cstdint>

#include "analysis/scene_change_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

// The selected SAD variant for a set of CPU flags.
Sad8x8BlockFunc SelectSad8x8Block(uint32_t cpuFlags);

class CSceneChangeDetection : public CRavvelFramework {
public:
    explicit CSceneChangeDetection(uint32_t cpuFlags);
    ~CSceneChangeDetection() override;

    // config: optional SRLSceneChangeConfig; only I420 is accepted.
    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    // src is the current frame, dst the reference; neither is written.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    Sad8x8BlockFunc GetSadKernel() const { return m_pfnSad8x8; }
    // Plane-0 addresses the last analysis read (its own copies for unaligned frames).
    const uint8_t* GetAnalysedCurrent() const { return m_pCurPlane; }
    const uint8_t* GetAnalysedReference() const { return m_pRefPlane; }

private:
    // A 16-byte aligned copy of an unaligned frame's luma, kept between calls.
    struct AlignedCopy {
        SRLPictureInfo sPicture;
        uint8_t* pBuffer;
        int32_t iSourceStride;
    };

    // Plane 0 of `pic` as the analysis reads it: in place when aligned, else
    // through `copy`. Null when the copy cannot be allocated.
    const uint8_t* AlignedPlane(const SRLPictureInfo& pic, AlignedCopy* copy, int32_t* stride);
    static void FreeCopy(AlignedCopy* copy);
    int32_t ThresholdFor(float fraction, float blocks) const;

    int32_t m_iSceneChangeLevel = RL_SCENE_CHANGE_NONE;
    int32_t m_iChangedBlocks = 0;
    float m_fChangedRatio = 0.0f;
    int32_t m_iWorkWidth = 0;
    int32_t m_iWorkHeight = 0;
    int32_t m_iBlockCols = 0;
    int32_t m_iBlockRows = 0;
    const uint8_t* m_pRefPlane = nullptr;
    const uint8_t* m_pCurPlane = nullptr;
    int32_t m_iRefStride = 0;
    int32_t m_iCurStride = 0;
    float m_fLargeChange = 0.0f;
    float m_fMediumChange = 0.0f;
    float m_fSmallChange = 0.0f;
    Sad8x8BlockFunc m_pfnSad8x8 = nullptr;
    CountChangedBlocksFunc m_pfnCountChangedBlocks = nullptr;
    AlignedCopy m_sCurCopy{};
    AlignedCopy m_sRefCopy{};
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
};

}  // namespace Ravvel

#endif
