#include "imageops/alpha_blend.h"
#include "imageops/packed_planes.h"

namespace Ravvel {

namespace {

#define RL_ALPHA_BLEND_FILLER(tier)                             \
    [](AlphaBlendKernels* k) {                                  \
        k->pfnBlend4 = alpha_blend_4_intrin_##tier;             \
        k->pfnBlend1 = alpha_blend_1_intrin_##tier;             \
        k->pfnBlend1S2 = alpha_blend_1_s2_intrin_##tier;        \
    }

const TierFillers<AlphaBlendKernels> kAlphaBlendFillers = {
    [](AlphaBlendKernels* k) {
        k->pfnBlend4 = alpha_blend_4_c;
        k->pfnBlend1 = alpha_blend_1_c;
        k->pfnBlend1S2 = alpha_blend_1_s2_c;
    },
    RL_ALPHA_BLEND_FILLER(sse2),
    RL_ALPHA_BLEND_FILLER(ssse3),
    RL_ALPHA_BLEND_FILLER(sse4),
    RL_ALPHA_BLEND_FILLER(avx),
    RL_ALPHA_BLEND_FILLER(avx2),
};

#undef RL_ALPHA_BLEND_FILLER

}  // namespace

void FillAlphaBlendKernels(AlphaBlendKernels* table, uint32_t cpuFlags)
{
    FillKernelTable(table, cpuFlags, kAlphaBlendFillers);
}

CAlphaBlend::CAlphaBlend(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    m_strName = "AlphaBlend";
    CreateLogger();
    FillAlphaBlendKernels(&m_sKernels, cpuFlags);
}

CAlphaBlend::~CAlphaBlend()
{
    Uninit();
    DestroyLogger();
}

int32_t CAlphaBlend::Init(void* config, bool)
{
    setAplhaArray(static_cast<const uint8_t*>(config));
    m_bInited = true;
    return RL_OK;
}

int32_t CAlphaBlend::Uninit() { return RL_OK; }

int32_t CAlphaBlend::SetOption(RL_EOption option, void* value)
{
    return static_cast<int32_t>(option) == 0 && !value ? RL_OK : RL_ERR_INVALID_PARAM;
}

int32_t CAlphaBlend::GetOption(RL_EOption option, void* value)
{
    return static_cast<int32_t>(option) == 0 && !value ? RL_OK : RL_ERR_INVALID_PARAM;
}

int32_t CAlphaBlend::setAplhaArray(const uint8_t* alpha)
{
    m_pAlphaArray = alpha;
    return RL_OK;
}

int32_t CAlphaBlend::setWidth(uint32_t width)
{
    m_uiWidth = width;
    return RL_OK;
}

int32_t CAlphaBlend::setHeight(uint32_t height)
{
    m_uiHeight = height;
    return RL_OK;
}

int32_t CAlphaBlend::setX(uint32_t x)
{
    m_uiX = x;
    return RL_OK;
}

int32_t CAlphaBlend::setY(uint32_t y)
{
    m_uiY = y;
    return RL_OK;
}

int32_t CAlphaBlend::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    if (!src || !dst || !m_pAlphaArray) return RL_ERR_INVALID_PARAM;
    if (dst->iWidth < 0 || dst->iHeight < 0) return RL_ERR_INVALID_PARAM;
    setWidth(static_cast<uint32_t>(dst->iWidth));
    setHeight(static_cast<uint32_t>(dst->iHeight));
    const uint32_t w = m_uiWidth, h = m_uiHeight;
    // The source is read with the destination's geometry, so it must have it.
    if (src->iWidth != dst->iWidth || src->iHeight != dst->iHeight) return RL_ERR_MISMATCH;
    const bool srcPlanar = src->eFormat == RL_FORMAT_I420 || src->eFormat == RL_FORMAT_YV12;
    const bool srcPacked = src->eFormat == RL_FORMAT_RGBA || src->eFormat == RL_FORMAT_BGRA ||
                           src->eFormat == RL_FORMAT_ABGR || src->eFormat == RL_FORMAT_ARGB;

    // The format as stored: a bottom-up picture is refused.
    switch (static_cast<uint32_t>(dst->eFormat)) {
    case RL_FORMAT_I420:
    case RL_FORMAT_YV12:
        if (!srcPlanar) return RL_ERR_MISMATCH;
        if (!HasPackedPlanes(*src, 3) || !HasPackedPlanes(*dst, 3)) return RL_ERR_INVALID_PARAM;
        m_sKernels.pfnBlend1(dst->pData[0], src->pData[0], m_pAlphaArray, dst->pData[0], w, h);
        for (int i = 1; i < 3; ++i)
            m_sKernels.pfnBlend1S2(dst->pData[i], src->pData[i], m_pAlphaArray, dst->pData[i], w / 2, h / 2);
        return RL_OK;
    case RL_FORMAT_RGBA:
    case RL_FORMAT_BGRA:
    case RL_FORMAT_ABGR:
    case RL_FORMAT_ARGB:
        if (!srcPacked) return RL_ERR_MISMATCH;
        if (!HasPackedPlanes(*src, 1) || !HasPackedPlanes(*dst, 1)) return RL_ERR_INVALID_PARAM;
        m_sKernels.pfnBlend4(dst->pData[0], src->pData[0], m_pAlphaArray, dst->pData[0], w, h);
        return RL_OK;
    default:
        return RL_ERR_UNSUPPORTED;
    }
}

}  // namespace Ravvel
