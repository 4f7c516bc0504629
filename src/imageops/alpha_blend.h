// Method 23: blends the source picture into the destination in place,
// weighted by a host-owned alpha map at luma resolution.
#ifndef RAVVEL_IMAGEOPS_ALPHA_BLEND_H
#define RAVVEL_IMAGEOPS_ALPHA_BLEND_H

#include <cstdint>

#include "frame/framework.h"
#include "imageops/alpha_blend_kernels.h"

namespace Ravvel {

struct AlphaBlendKernels {
    AlphaBlendFunc pfnBlend4;
    AlphaBlendFunc pfnBlend1;
    AlphaBlendFunc pfnBlend1S2;
};

// The kernels of the highest tier whose flag is set.
void FillAlphaBlendKernels(AlphaBlendKernels* table, uint32_t cpuFlags);

class CAlphaBlend : public CRavvelFramework {
public:
    explicit CAlphaBlend(uint32_t cpuFlags);
    ~CAlphaBlend() override;

    // config is the alpha map (dst width x dst height bytes, no padding); a
    // later Init replaces it.
    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    // dst = blend of dst (weight a) and src (weight 256 - a), whole picture.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    // The method has no options.
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    int32_t setAplhaArray(const uint8_t* alpha);
    int32_t setWidth(uint32_t width);
    int32_t setHeight(uint32_t height);
    // Kept for callers that set a position; blending always covers the whole picture.
    int32_t setX(uint32_t x);
    int32_t setY(uint32_t y);

    const AlphaBlendKernels& GetKernels() const { return m_sKernels; }
    uint32_t GetCpuFlags() const { return m_uiCpuFlags; }

private:
    uint32_t m_uiCpuFlags;
    const uint8_t* m_pAlphaArray = nullptr;
    uint32_t m_uiWidth = 0;
    uint32_t m_uiHeight = 0;
    uint32_t m_uiX = 0;
    uint32_t m_uiY = 0;
    AlphaBlendKernels m_sKernels{};
};

}  // namespace Ravvel

#endif
