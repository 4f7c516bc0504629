#include "imageops/image_rotating.h"
#include "imageops/packed_planes.h"

#include <cstddef>

namespace Ravvel {

CImageRotating::CImageRotating(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    m_strName = "IMAGEROTATE";
    CreateLogger();
}

CImageRotating::~CImageRotating()
{
    Uninit();
    DestroyLogger();
}

int32_t CImageRotating::Init(void*, bool)
{
    m_bInited = true;
    return RL_OK;
}

int32_t CImageRotating::Uninit()
{
    ReinitStatistics();
    return RL_OK;
}

int32_t CImageRotating::SetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    // Stored unchecked: an unsupported angle is refused when a frame comes.
    if (option == RL_OPTION_ROTATION_ANGLE) m_uiAngle = *static_cast<const uint32_t*>(value);
    return RL_OK;
}

int32_t CImageRotating::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (option == RL_OPTION_ROTATION_ANGLE) *static_cast<uint32_t*>(value) = m_uiAngle;
    return RL_OK;
}

RotateFunc CImageRotating::KernelFor(uint32_t angle) const
{
    switch (angle) {
    case 90: return m_pfnRotate90;
    case 180: return m_pfnRotate180;
    case 270: return m_pfnRotate270;
    default: return nullptr;
    }
}

namespace {

}  // namespace

int32_t CImageRotating::Rotate(RotateFunc rotate, const SRLPictureInfo& src, const SRLPictureInfo& dst) const
{
    const uint32_t w = static_cast<uint32_t>(src.iWidth);
    const uint32_t h = static_cast<uint32_t>(src.iHeight);
    switch (static_cast<uint32_t>(src.eFormat)) {
    case RL_FORMAT_RGB24:
    case RL_FORMAT_BGR24:
        return rotate(src.pData[0], 3, w, h, dst.pData[0]);
    case RL_FORMAT_RGBA:
    case RL_FORMAT_BGRA:
    case RL_FORMAT_ABGR:
    case RL_FORMAT_ARGB:
        return rotate(src.pData[0], 4, w, h, dst.pData[0]);
    case RL_FORMAT_I420:
    case RL_FORMAT_YV12:
        rotate(src.pData[0], 1, w, h, dst.pData[0]);
        rotate(src.pData[1], 1, w / 2, h / 2, dst.pData[1]);
        return rotate(src.pData[2], 1, w / 2, h / 2, dst.pData[2]);
    case RL_FORMAT_NV12:
    case RL_FORMAT_NV21: {
        // Luma and interleaved chroma share one buffer; a chroma pixel is
        // the U, V (or V, U) pair, so the pair keeps its byte order.
        const size_t lumaBytes = static_cast<size_t>(w) * h;
        int32_t result = rotate(src.pData[0], 1, w, h, dst.pData[0]);
        if (rotate == m_pfnRotate180 || (w > 1 && h > 1))
            result = rotate(src.pData[0] + lumaBytes, 2, w / 2, h / 2, dst.pData[0] + lumaBytes);
        return result;
    }
    default:
        return RL_ERR_UNSUPPORTED;
    }
}

int32_t CImageRotating::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    const int64_t t0 = NowUs();
    if (!src || !dst) return RL_ERR_INVALID_PARAM;
    if (src->iWidth < 0 || src->iHeight < 0) return RL_ERR_INVALID_PARAM;

    // The format as stored: a bottom-up picture is not one of the cases.
    int planes = 0;
    switch (static_cast<uint32_t>(src->eFormat)) {
    case RL_FORMAT_RGB24:
    case RL_FORMAT_BGR24:
    case RL_FORMAT_RGBA:
    case RL_FORMAT_BGRA:
    case RL_FORMAT_ABGR:
    case RL_FORMAT_ARGB:
    case RL_FORMAT_NV12:
    case RL_FORMAT_NV21:
        planes = 1;
        break;
    case RL_FORMAT_I420:
    case RL_FORMAT_YV12:
        planes = 3;
        break;
    default:
        break;
    }
    if (planes && (!HasPackedPlanes(*src, planes) || !HasPackedPlanes(*dst, planes))) return RL_ERR_INVALID_PARAM;

    const RotateFunc rotate = KernelFor(m_uiAngle);
    const int32_t result = planes && rotate ? Rotate(rotate, *src, *dst) : RL_ERR_UNSUPPORTED;

    AccountFrame(t0);
    return result;
}

}  // namespace Ravvel
