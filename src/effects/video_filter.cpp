#include "effects/video_filter.h"

#include <cstddef>
#include <cstring>

#include "frame/memory.h"

namespace Ravvel {

namespace {

#define RL_VIDEO_FILTER_FILLER(tier)                           \
    [](VideoFilterKernels* k) {                                \
        k->pfnHueRotate = HueRotateChroma_##tier;              \
        k->pfnSepia = SepiaRgbRow_##tier;                      \
        k->pfnCinnamon = CinnamonRgbRow_##tier;                \
        k->pfnYuvToRgb = yuv420p_to_rgb_intri_##tier;          \
        k->pfnRgbToYuv = rgb_to_yuv420p_intri_##tier;          \
    }

// Seafoam's tables have no closed form and no tier has a byte-table lookup
// wide enough to beat the scalar one, so it stays on the reference kernel.
const TierFillers<VideoFilterKernels> kVideoFilterFillers = {
    [](VideoFilterKernels* k) {
        k->pfnHueRotate = HueRotateChroma_c;
        k->pfnSepia = SepiaRgbRow_c;
        k->pfnCinnamon = CinnamonRgbRow_c;
        k->pfnSeafoam = SeafoamRgbRow_c;
        k->pfnYuvToRgb = nullptr;
        k->pfnRgbToYuv = nullptr;
        k->pfnLookRowPair = nullptr;
    },
    RL_VIDEO_FILTER_FILLER(sse2),
    RL_VIDEO_FILTER_FILLER(ssse3),
    RL_VIDEO_FILTER_FILLER(sse4),
    RL_VIDEO_FILTER_FILLER(avx),
    [](VideoFilterKernels* k) {
        RL_VIDEO_FILTER_FILLER(avx2)(k);
        k->pfnLookRowPair = LookRowPair_avx2;
    },
};

#undef RL_VIDEO_FILTER_FILLER

SRLPictureInfo EmptyPicture()
{
    SRLPictureInfo p;
    std::memset(&p, 0, sizeof p);
    return p;
}

}  // namespace

void FillVideoFilterKernels(VideoFilterKernels* table, uint32_t cpuFlags)
{
    FillKernelTable(table, cpuFlags, kVideoFilterFillers);
}

CVideoFilter::CVideoFilter(uint32_t cpuFlags)
{
    m_strName = "VideoFilter";
    CreateLogger();
    FillVideoFilterKernels(&m_sKernels, cpuFlags);
}

CVideoFilter::~CVideoFilter()
{
    FreeWorkBuffers();
    DestroyLogger();
}

int32_t CVideoFilter::Init(void* config, bool)
{
    if (config) {
        const SRLVideoFilterConfig* c = static_cast<const SRLVideoFilterConfig*>(config);
        if (c->iFormat != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
        m_iWidth = c->iWidth;
        m_iHeight = c->iHeight;
        m_iFilterMode = c->iMode;
    }
    m_uiFrameCount = 0;
    m_bInited = true;
    m_pfnI420ToRgb = i420_to_rgb_c;
    m_pfnRgbToI420 = rgb_to_i420_c;
    return RL_OK;
}

int32_t CVideoFilter::Uninit()
{
    if (m_bInited) {
        FreeWorkBuffers();
        m_uiFrameCount = 0;
        m_bInited = false;
    }
    return RL_OK;
}

void CVideoFilter::FreeWorkBuffers()
{
    VeskFree(m_pRgbBuffer1);
    VeskFree(m_pRgbBuffer2);
    m_pRgbBuffer1 = m_pRgbBuffer2 = nullptr;
    m_uiRgbBufferSize = 0;
}

int32_t CVideoFilter::SetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (option == RL_OPTION_VIDEO_FILTER_MODE) m_iFilterMode = *static_cast<const int32_t*>(value);
    return RL_OK;
}

int32_t CVideoFilter::GetOption(RL_EOption, void* value) { return value ? RL_OK : RL_ERR_INVALID_PARAM; }

// The looks through RGB work on one row pair at a time (a 4:2:0 row pair is
// converted independently of the others), so the RGB rows stay in cache.
int32_t CVideoFilter::EnsureWorkBuffers(int32_t width)
{
    const uint64_t need = static_cast<uint64_t>(width) * 3 * 2;
    if (need > 0xffff0000u) return RL_ERR_NO_MEMORY;
    if (m_pRgbBuffer1 && m_pRgbBuffer2 && m_uiRgbBufferSize >= need) return RL_OK;
    FreeWorkBuffers();
    m_pRgbBuffer1 = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(need), 16));
    m_pRgbBuffer2 = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(need), 16));
    if (!m_pRgbBuffer1 || !m_pRgbBuffer2) {
        FreeWorkBuffers();
        return RL_ERR_NO_MEMORY;
    }
    m_uiRgbBufferSize = static_cast<uint32_t>(need);
    return RL_OK;
}

int32_t CVideoFilter::Process(SRLPictureInfo* src, SRLPictureInfo*, void*)
{
    if (!m_bInited) return RL_ERR_NOT_INITIALIZED;
    if (!src || m_iFilterMode == RL_VIDEO_FILTER_NONE) return RL_ERR_INVALID_PARAM;
    if (src->eFormat != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
    if (src->iWidth != m_iWidth || src->iHeight != m_iHeight) {
        SRLVideoFilterConfig c = {src->iWidth, src->iHeight, src->eFormat, m_iFilterMode};
        Uninit();
        Init(&c, false);
    }
    if (!src->pData[0] || !src->pData[1] || !src->pData[2]) return RL_ERR_INVALID_PARAM;
    // Rows are walked top-down with their own pitch, so a pitch must cover its row.
    const int32_t w = src->iWidth, h = src->iHeight;
    if (w < 1 || h < 1 || src->iStride[0] < w || src->iStride[1] < w / 2 || src->iStride[2] < w / 2)
        return RL_ERR_INVALID_PARAM;

    switch (m_iFilterMode) {
    case RL_VIDEO_FILTER_HUE_ANGLE:
        FilterMethodHueAngle(*src);
        break;
    case RL_VIDEO_FILTER_SEPIA:
    case RL_VIDEO_FILTER_CINNAMON:
    case RL_VIDEO_FILTER_SEAFOAM: {
        const int32_t rc = EnsureWorkBuffers(w);
        if (rc != RL_OK) return rc;
        FilterThroughRgb(*src, m_iFilterMode);
        break;
    }
    default:
        FilterMethodBlackAndWhite(*src);
        break;
    }
    ++m_uiFrameCount;
    return RL_OK;
}

void CVideoFilter::FilterMethodBlackAndWhite(const SRLPictureInfo& pic)
{
    const int32_t cw = pic.iWidth >> 1, ch = pic.iHeight >> 1;
    for (int i = 1; i < 3; ++i)
        for (int32_t r = 0; r < ch; ++r)
            std::memset(pic.pData[i] + static_cast<ptrdiff_t>(r) * pic.iStride[i], 128, static_cast<size_t>(cw));
}

void CVideoFilter::FilterMethodHueAngle(const SRLPictureInfo& pic)
{
    const int32_t cw = pic.iWidth >> 1;
    if (pic.iHeight < 2 || cw == 0) return;
    m_sKernels.pfnHueRotate(pic.pData[1], pic.iStride[1], pic.pData[2], pic.iStride[2], cw, pic.iHeight >> 1);
}

void CVideoFilter::FilterThroughRgb(const SRLPictureInfo& pic, int32_t mode)
{
    // The converters cover whole 2x2 blocks: an odd last row or column keeps its values.
    const int32_t w = pic.iWidth & ~1, h = pic.iHeight & ~1;
    if (w == 0 || h == 0) return;
    // Seafoam's table look-ups are cheaper on packed rows than on 16-bit lanes.
    if (m_sKernels.pfnLookRowPair && mode != RL_VIDEO_FILTER_SEAFOAM) {
        for (int32_t r = 0; r < h / 2; ++r)
            m_sKernels.pfnLookRowPair(pic.pData[0] + static_cast<ptrdiff_t>(2 * r) * pic.iStride[0], pic.iStride[0],
                                      pic.pData[1] + static_cast<ptrdiff_t>(r) * pic.iStride[1],
                                      pic.pData[2] + static_cast<ptrdiff_t>(r) * pic.iStride[2], w, mode,
                                      m_pRgbBuffer1, m_pRgbBuffer2);
        return;
    }
    const int32_t rgbStride = 3 * w;
    uint8_t* const out = mode == RL_VIDEO_FILTER_SEPIA ? m_pRgbBuffer2 : m_pRgbBuffer1;
    SRLPictureInfo yuv = EmptyPicture(), rgbIn = EmptyPicture(), rgbOut = EmptyPicture();
    yuv.iWidth = rgbIn.iWidth = w;
    yuv.iHeight = rgbIn.iHeight = 2;
    yuv.eFormat = RL_FORMAT_I420;
    yuv.iStride[0] = pic.iStride[0];
    yuv.iStride[1] = yuv.iStride[2] = pic.iStride[1];
    rgbIn.eFormat = RL_FORMAT_RGB24;
    rgbIn.iStride[0] = rgbStride;
    rgbIn.pData[0] = m_pRgbBuffer1;
    rgbOut = rgbIn;
    rgbOut.pData[0] = out;

    for (int32_t r = 0; r < h / 2; ++r) {
        uint8_t* y = pic.pData[0] + static_cast<ptrdiff_t>(2 * r) * pic.iStride[0];
        uint8_t* u = pic.pData[1] + static_cast<ptrdiff_t>(r) * pic.iStride[1];
        uint8_t* v = pic.pData[2] + static_cast<ptrdiff_t>(r) * pic.iStride[2];
        if (m_sKernels.pfnYuvToRgb) {
            yuv.pData[0] = y, yuv.pData[1] = u, yuv.pData[2] = v;
            m_sKernels.pfnYuvToRgb(&yuv, &rgbIn);
        } else {
            // One chroma row per call, so the U and V pitches may differ.
            m_pfnI420ToRgb(m_pRgbBuffer1, rgbStride, y, u, v, pic.iStride[0], 0, w, 2, 0);
        }
        switch (mode) {
        case RL_VIDEO_FILTER_SEPIA:
            m_sKernels.pfnSepia(m_pRgbBuffer1, m_pRgbBuffer2, 2 * w);
            break;
        case RL_VIDEO_FILTER_CINNAMON:
            m_sKernels.pfnCinnamon(m_pRgbBuffer1, 2 * w);
            break;
        default:
            m_sKernels.pfnSeafoam(m_pRgbBuffer1, 2 * w);
            break;
        }
        if (m_sKernels.pfnRgbToYuv) {
            m_sKernels.pfnRgbToYuv(&rgbOut, &yuv);
        } else {
            m_pfnRgbToI420(out, rgbStride, y, u, v, pic.iStride[0], 0, w, 2, 0);
        }
    }
}

}  // namespace Ravvel
