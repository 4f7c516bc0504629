// Method 15: crop by describing a rectangle inside the source picture.
#ifndef RAVVEL_IMAGEOPS_IMAGE_CROP_H
#define RAVVEL_IMAGEOPS_IMAGE_CROP_H

#include <cstdint>

#include "frame/framework.h"

namespace Ravvel {

class CImageCrop : public CRavvelFramework {
public:
    explicit CImageCrop(uint32_t cpuFlags);
    ~CImageCrop() override;

    // config, when not null, is an SRLCropParam.
    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    // Copies no pixels: points dst's planes at the rectangle inside src's
    // buffers. On failure dst is left as it was.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    // Computes the rectangle for a source of width x height in `format`
    // (without the bottom-up bit); RL_ERR_INVALID_PARAM when the request does
    // not start inside the picture, has a zero size or an unknown mode.
    int32_t GetCropSize(uint32_t format, uint32_t width, uint32_t height);

    uint32_t GetCropTop() const { return m_uiCropTop; }
    uint32_t GetCropLeft() const { return m_uiCropLeft; }
    uint32_t GetCropWidth() const { return m_uiCropWidth; }
    uint32_t GetCropHeight() const { return m_uiCropHeight; }
    uint32_t GetCpuFlags() const { return m_uiCpuFlags; }

private:
    uint32_t m_uiCpuFlags;
    SRLCropParam m_sCropParam{};
    uint32_t m_uiCropTop = 0;
    uint32_t m_uiCropLeft = 0;
    uint32_t m_uiCropWidth = 0;
    uint32_t m_uiCropHeight = 0;
};

}  // namespace Ravvel

#endif
