#include "effects/gauss_blur.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace Ravvel {

void FillGaussBlurKernels(GaussBlurKernels* table, uint32_t flags)
{
    table->pfnWrap1 = gauss_blur_wrap_1_c;
    table->pfnWrap4 = gauss_blur_wrap_4_c;
    if (flags & RL_CPU_SSE2) table->pfnWrap4 = gauss_blur_wrap_4_intrin_sse2;
    if (flags & RL_CPU_SSSE3) table->pfnWrap4 = gauss_blur_wrap_4_intrin_ssse3;
    if (flags & RL_CPU_SSE42) table->pfnWrap4 = gauss_blur_wrap_4_intrin_sse4;
    if (flags & RL_CPU_AVX) table->pfnWrap4 = gauss_blur_wrap_4_intrin_avx;
    if (flags & RL_CPU_AVX2) {
        table->pfnWrap4 = gauss_blur_wrap_4_intrin_avx2;
        table->pfnWrap1 = gauss_blur_wrap_1_intrin_avx2;
    }
}

void CalGaussianCoeff(float sigma, float* k)
{
    if (!(sigma >= 0.5f)) sigma = 0.5f;
    const float alpha = 1.6939719f / sigma;
    const float e1 = static_cast<float>(std::exp(-static_cast<double>(alpha)));
    const float e2 = static_cast<float>(std::exp(-2.0 * static_cast<double>(alpha)));
    const float norm = (1.0f - e1) * (1.0f - e1) / (1.0f + 2.0f * alpha * e1 - e2);
    k[kGaussA0] = norm;
    k[kGaussA1] = norm * (alpha - 1.0f) * e1;
    k[kGaussA2] = norm * (alpha + 1.0f) * e1;
    k[kGaussA3] = -norm * e2;
    k[kGaussB1] = -2.0f * e1;
    k[kGaussB2] = e2;
    const float denominator = 1.0f + k[kGaussB1] + k[kGaussB2];
    k[kGaussCoefP] = (k[kGaussA0] + k[kGaussA1]) / denominator;
    k[kGaussCoefN] = (k[kGaussA2] + k[kGaussA3]) / denominator;
}

CGaussBlur::CGaussBlur(uint32_t cpuFlags)
{
    FillGaussBlurKernels(&m_sKernels, cpuFlags);
    CalGaussianCoeff(m_fSigma, m_fCoeffs);
    m_strName = "GaussBlur";
    CreateLogger();
}

CGaussBlur::~CGaussBlur()
{
    FreeBuffers();
    DestroyLogger();
}

void CGaussBlur::FreeBuffers()
{
    std::free(m_pRowBuffer);
    std::free(m_pTransposed);
    m_pRowBuffer = nullptr;
    m_pTransposed = nullptr;
}

int32_t CGaussBlur::Init(void* config, bool)
{
    if (config == nullptr) return RL_ERR_INVALID_PARAM;
    return SetSigma(*static_cast<const float*>(config));
}

int32_t CGaussBlur::Uninit() { return RL_OK; }

int32_t CGaussBlur::SetSigma(float sigma)
{
    m_fSigma = sigma;
    CalGaussianCoeff(sigma, m_fCoeffs);
    return RL_OK;
}

int32_t CGaussBlur::SetOption(RL_EOption option, void* value)
{
    return static_cast<int32_t>(option) == 0 && !value ? RL_OK : RL_ERR_INVALID_PARAM;
}

int32_t CGaussBlur::GetOption(RL_EOption option, void* value)
{
    return static_cast<int32_t>(option) == 0 && !value ? RL_OK : RL_ERR_INVALID_PARAM;
}

int32_t CGaussBlur::gaussblur(const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride,
                              int32_t channels, int32_t width, int32_t height)
{
    if (channels != 1 && channels != 4) return RL_ERR_UNSUPPORTED;
    if (width <= 0 || height <= 0) return RL_OK;
    const uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
    const bool fits = m_pRowBuffer && m_pTransposed && m_uiBufChannels == static_cast<uint32_t>(channels) &&
                      m_uiBufWidth >= w && m_uiBufHeight >= h;
    if (!fits) {
        FreeBuffers();
        const uint64_t samples = static_cast<uint64_t>(w) * h * static_cast<uint64_t>(channels);
        if (samples > SIZE_MAX / sizeof(float)) return RL_ERR_NO_MEMORY;
        const size_t rowBytes = static_cast<size_t>(w > h ? w : h) * kGaussRowBufferBytesPerSample;
        const size_t imageBytes = static_cast<size_t>(w) * h * static_cast<size_t>(channels) * sizeof(float);
        void* row = nullptr;
        void* image = nullptr;
        if (posix_memalign(&row, 64, rowBytes) != 0) row = nullptr;
        if (row && posix_memalign(&image, 64, imageBytes) != 0) image = nullptr;
        if (!row || !image) {
            std::free(row);
            return RL_ERR_NO_MEMORY;
        }
        m_pRowBuffer = static_cast<float*>(row);
        m_pTransposed = static_cast<float*>(image);
        m_uiBufChannels = static_cast<uint32_t>(channels);
        m_uiBufWidth = w;
        m_uiBufHeight = h;
    }
    const GaussBlurWrapFunc wrap = channels == 4 ? m_sKernels.pfnWrap4 : m_sKernels.pfnWrap1;
    wrap(src, srcStride, dst, dstStride, m_pRowBuffer, m_pTransposed, width, height, m_fCoeffs);
    return RL_OK;
}

namespace {

// A pitch at least as long as the row (either direction) is honoured;
// anything shorter means rows packed without gaps.
int32_t PlanePitch(int32_t stride, int32_t rowBytes)
{
    const int64_t magnitude = stride < 0 ? -static_cast<int64_t>(stride) : stride;
    return magnitude >= rowBytes ? stride : rowBytes;
}

bool IsFourByteRgb(uint32_t f)
{
    return f == RL_FORMAT_RGBA || f == RL_FORMAT_BGRA || f == RL_FORMAT_ABGR || f == RL_FORMAT_ARGB;
}

bool IsPlanar420(uint32_t f) { return f == RL_FORMAT_I420 || f == RL_FORMAT_YV12; }

}  // namespace

int32_t CGaussBlur::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    if (!src || !dst) return RL_ERR_INVALID_PARAM;
    const uint32_t format = static_cast<uint32_t>(src->eFormat) & RL_FORMAT_MASK;
    const uint32_t dstFormat = static_cast<uint32_t>(dst->eFormat) & RL_FORMAT_MASK;
    int32_t planes = 0, channels = 1;
    if (IsPlanar420(format))
        planes = 3;
    else if (IsFourByteRgb(format))
        planes = 1, channels = 4;
    else if (format == RL_FORMAT_VYUY)
        planes = 1;
    else
        return RL_ERR_UNSUPPORTED;

    const int32_t w = src->iWidth, h = src->iHeight;
    if (w < 0 || h < 0) return RL_ERR_INVALID_PARAM;
    // The destination is written with the source's layout, so it must have it.
    const bool sameLayout = planes == 3 ? IsPlanar420(dstFormat)
                                        : (channels == 4 ? IsFourByteRgb(dstFormat) : dstFormat == format);
    if (!sameLayout || dst->iWidth != w || dst->iHeight != h) return RL_ERR_MISMATCH;
    if (static_cast<int64_t>(w) * channels > INT32_MAX) return RL_ERR_INVALID_PARAM;
    for (int32_t i = 0; i < planes; ++i)
        if (!src->pData[i] || !dst->pData[i]) return RL_ERR_INVALID_PARAM;

    int32_t result = RL_OK;
    for (int32_t i = 0; i < planes; ++i) {
        const int32_t pw = i ? w >> 1 : w, ph = i ? h >> 1 : h;
        const int32_t rowBytes = pw * channels;
        result = gaussblur(src->pData[i], PlanePitch(src->iStride[i], rowBytes), dst->pData[i],
                           PlanePitch(dst->iStride[i], rowBytes), channels, pw, ph);
        if (result == RL_ERR_NO_MEMORY) return result;
    }
    return result;
}

}  // namespace Ravvel
