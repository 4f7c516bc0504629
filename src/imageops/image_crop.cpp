#include "imageops/image_crop.h"

#include <cstddef>
#include <cstring>

namespace Ravvel {

CImageCrop::CImageCrop(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    m_strName = "IMAGECROP";
    CreateLogger();
}

CImageCrop::~CImageCrop()
{
    Uninit();
    DestroyLogger();
}

int32_t CImageCrop::Init(void* config, bool)
{
    if (config) std::memcpy(&m_sCropParam, config, sizeof m_sCropParam);
    m_bInited = true;
    return RL_OK;
}

int32_t CImageCrop::Uninit()
{
    ReinitStatistics();
    return RL_OK;
}

int32_t CImageCrop::SetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (option == RL_OPTION_CROP_PARAM) std::memcpy(&m_sCropParam, value, sizeof m_sCropParam);
    return RL_OK;
}

int32_t CImageCrop::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (option == RL_OPTION_AVERAGE_TIME) {
        *static_cast<double*>(value) = AverageFrameTimeUs();
    }
    return RL_OK;
}

namespace {

bool IsYuvFormat(uint32_t format)
{
    switch (format) {
    case RL_FORMAT_YUYV:
    case RL_FORMAT_YVYU:
    case RL_FORMAT_UYVY:
    case RL_FORMAT_I420:
    case RL_FORMAT_YV12:
    case RL_FORMAT_NV12:
    case RL_FORMAT_NV21:
    case RL_FORMAT_I420_2:
    case RL_FORMAT_VYUY:
        return true;
    default:
        return false;
    }
}

}  // namespace

int32_t CImageCrop::GetCropSize(uint32_t format, uint32_t width, uint32_t height)
{
    const SRLCropParam& p = m_sCropParam;
    if (!(p.uiTop < height && p.uiLeft < width && p.uiWidth != 0 && p.uiHeight != 0)) return RL_ERR_INVALID_PARAM;

    uint32_t top = 0, left = 0, w = 0, h = 0;
    if (p.uiMode == 1) {
        top = p.uiTop;
        left = p.uiLeft;
        w = p.uiWidth < width - left ? p.uiWidth : width - left;
        h = p.uiHeight < height - top ? p.uiHeight : height - top;
    } else if (p.uiMode == 0) {
        // The widest or tallest top-left rectangle of the requested aspect.
        const float source = static_cast<float>(width) / static_cast<float>(height);
        const float aspect = static_cast<float>(p.uiWidth) / static_cast<float>(p.uiHeight);
        if (source > aspect) {
            w = p.uiWidth * height / p.uiHeight;
            h = height;
        } else {
            w = width;
            h = p.uiHeight * width / p.uiWidth;
        }
        // Single-precision ratios can misjudge nearly equal aspects by a
        // pixel; the rectangle never leaves the picture.
        if (w > width) w = width;
        if (h > height) h = height;
    } else {
        return RL_ERR_INVALID_PARAM;
    }

    if (IsYuvFormat(format)) {
        // Chroma is subsampled by two: the corner and size must fall on whole chroma samples.
        top &= ~1u;
        left &= ~1u;
        w &= ~1u;
        h &= ~1u;
    }
    m_uiCropTop = top;
    m_uiCropLeft = left;
    m_uiCropWidth = w;
    m_uiCropHeight = h;
    return RL_OK;
}

int32_t CImageCrop::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    const int64_t t0 = NowUs();
    if (!src || !dst) return RL_ERR_INVALID_PARAM;
    if (src->iWidth <= 0 || src->iHeight <= 0) return RL_ERR_INVALID_PARAM;
    const uint32_t format = static_cast<uint32_t>(src->eFormat) & RL_FORMAT_MASK;
    if (GetCropSize(format, static_cast<uint32_t>(src->iWidth), static_cast<uint32_t>(src->iHeight)) != RL_OK)
        return RL_ERR_INVALID_PARAM;

    // Built aside and committed only on success.
    uint8_t* planes[3] = {src->pData[0], src->pData[1], src->pData[2]};
    const bool whole = m_uiCropWidth == static_cast<uint32_t>(src->iWidth) &&
                       m_uiCropHeight == static_cast<uint32_t>(src->iHeight);
    if (!whole) {
        const ptrdiff_t t = m_uiCropTop, l = m_uiCropLeft;
        const ptrdiff_t s0 = src->iStride[0], s1 = src->iStride[1], s2 = src->iStride[2];
        // The planes each layout moves; a null one cannot be offset.
        int used = 0;
        switch (format) {
        case RL_FORMAT_RGB24:
        case RL_FORMAT_BGR24:
        case RL_FORMAT_RGBA:
        case RL_FORMAT_BGRA:
        case RL_FORMAT_ABGR:
        case RL_FORMAT_ARGB:
        case RL_FORMAT_YUYV:
        case RL_FORMAT_YVYU:
        case RL_FORMAT_UYVY:
        case RL_FORMAT_VYUY:
            used = 1;
            break;
        case RL_FORMAT_NV12:
        case RL_FORMAT_NV21:
            used = 2;
            break;
        case RL_FORMAT_I420:
        case RL_FORMAT_YV12:
        case RL_FORMAT_I420_2:
            used = 3;
            break;
        default:
            return RL_ERR_INVALID_PARAM;  // planar RGB among others
        }
        for (int i = 0; i < used; ++i)
            if (!planes[i]) return RL_ERR_INVALID_PARAM;

        switch (format) {
        case RL_FORMAT_RGB24:
        case RL_FORMAT_BGR24:
            planes[0] = planes[1] = planes[2] = src->pData[0] + t * s0 + 3 * l;
            break;
        case RL_FORMAT_RGBA:
        case RL_FORMAT_BGRA:
        case RL_FORMAT_ABGR:
        case RL_FORMAT_ARGB:
            planes[0] = planes[1] = planes[2] = src->pData[0] + t * s0 + 4 * l;
            break;
        case RL_FORMAT_YUYV:
        case RL_FORMAT_YVYU:
        case RL_FORMAT_UYVY:
        case RL_FORMAT_VYUY:
            planes[0] = planes[1] = planes[2] = src->pData[0] + t * s0 + 2 * l;
            break;
        case RL_FORMAT_I420:
        case RL_FORMAT_YV12:
            planes[0] += t * s0 + l;
            planes[1] += (t / 2) * s1 + l / 2;
            planes[2] += (t / 2) * s2 + l / 2;
            break;
        case RL_FORMAT_NV12:
        case RL_FORMAT_NV21:
            // Interleaved chroma: l chroma bytes are l/2 U, V pairs.
            planes[0] += t * s0 + l;
            planes[1] += (t / 2) * s1 + l;
            planes[2] = planes[1];
            break;
        default:  // RL_FORMAT_I420_2: one chroma byte per luma column
            planes[0] += t * s0 + l;
            planes[1] += (t / 2) * s1 + l;
            planes[2] += (t / 2) * s2 + l;
            break;
        }
    }

    for (int i = 0; i < 3; ++i) {
        dst->pData[i] = planes[i];
        dst->iStride[i] = src->iStride[i];
    }
    dst->eFormat = src->eFormat;
    dst->iWidth = static_cast<int32_t>(m_uiCropWidth);
    dst->iHeight = static_cast<int32_t>(m_uiCropHeight);

    AccountFrame(t0);
    return RL_OK;
}

}  // namespace Ravvel
