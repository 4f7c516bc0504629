// Method 14: rotation by 90, 180 or 270 degrees clockwise.
#ifndef RAVVEL_IMAGEOPS_IMAGE_ROTATING_H
#define RAVVEL_IMAGEOPS_IMAGE_ROTATING_H

#include <cstdint>

#include "frame/framework.h"
#include "imageops/rotate_kernels.h"

namespace Ravvel {

class CImageRotating : public CRavvelFramework {
public:
    explicit CImageRotating(uint32_t cpuFlags);
    ~CImageRotating() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    // Rotates src's planes into dst's; planes are read and written tightly
    // packed, dst's sizes and pitches are neither read nor changed.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    uint32_t GetCpuFlags() const { return m_uiCpuFlags; }

private:
    // Null for an angle other than 90, 180 or 270.
    RotateFunc KernelFor(uint32_t angle) const;
    int32_t Rotate(RotateFunc rotate, const SRLPictureInfo& src, const SRLPictureInfo& dst) const;

    uint32_t m_uiAngle = 90;
    RotateFunc m_pfnRotate90 = image_rotate_90D_c;
    RotateFunc m_pfnRotate180 = image_rotate_180D_c;
    RotateFunc m_pfnRotate270 = image_rotate_270D_c;
    uint32_t m_uiCpuFlags;
};

}  // namespace Ravvel

#endif
