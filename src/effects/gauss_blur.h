// Method 24: Gaussian blur of adjustable sigma by a recursive filter whose
// cost does not depend on sigma.
#ifndef RAVVEL_EFFECTS_GAUSS_BLUR_H
#define RAVVEL_EFFECTS_GAUSS_BLUR_H

#include <cstdint>

#include "effects/gauss_blur_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

struct GaussBlurKernels {
    GaussBlurWrapFunc pfnWrap1;
    GaussBlurWrapFunc pfnWrap4;
};

// The kernels of the highest tier whose flag is set (one channel: AVX2 or
// the reference).
void FillGaussBlurKernels(GaussBlurKernels* table, uint32_t cpuFlags);

// Recursion coefficients for a sigma (below 0.5, or NaN, counts as 0.5), in
// the order of the kGauss* indices.
void CalGaussianCoeff(float sigma, float* coeffs);

class CGaussBlur : public CRavvelFramework {
public:
    explicit CGaussBlur(uint32_t cpuFlags);
    ~CGaussBlur() override;

    // config points at a float, the sigma.
    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    // The method has no options.
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    int32_t SetSigma(float sigma);
    float GetSigma() const { return m_fSigma; }
    const float* GetCoeffs() const { return m_fCoeffs; }
    const GaussBlurKernels& GetKernels() const { return m_sKernels; }

private:
    // Blurs one plane of `channels` interleaved channels.
    int32_t gaussblur(const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride, int32_t channels,
                      int32_t width, int32_t height);
    void FreeBuffers();

    GaussBlurKernels m_sKernels{};
    float m_fSigma = 5.0f;
    float m_fCoeffs[kGaussCoeffCount] = {};
    float* m_pRowBuffer = nullptr;
    float* m_pTransposed = nullptr;
    uint32_t m_uiBufChannels = 4;
    uint32_t m_uiBufWidth = 16;
    uint32_t m_uiBufHeight = 16;
};

}  // namespace Ravvel

#endif
