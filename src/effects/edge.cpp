#include "effects/edge.h"

#include "frame/memory.h"

namespace Ravvel {

void InitEdgeFunc(TagEdgeFuncs* funcs, uint32_t cpuFlags)
{
    RL_SELECT_TIERED(cpuFlags, funcs->pfnSobelLumaFilter8, SobelLumaFilter8);
}

CEdge::CEdge(uint32_t cpuFlags)
{
    InitEdgeFunc(&m_sFuncs, cpuFlags);
    m_strName = "Edge";
    CreateLogger();
}

CEdge::~CEdge()
{
    Uninit();
    DestroyLogger();
}

int32_t CEdge::Init(void* config, bool)
{
    if (config == nullptr) return RL_ERR_INVALID_PARAM;
    const SRLEdgeConfig& c = *static_cast<const SRLEdgeConfig*>(config);
    if (c.eFormat != RL_FORMAT_I420 && c.eFormat != RL_FORMAT_YV12) return RL_ERR_UNSUPPORTED;
    m_iWidth = c.iWidth;
    m_iHeight = c.iHeight;
    m_iStride = c.iStride;
    m_eFormat = c.eFormat;
    m_bSuppressNonMaxima = c.bSuppressNonMaxima;
    m_uiFrameCount = 0;
    m_bInited = true;
    return RL_OK;
}

int32_t CEdge::Uninit()
{
    if (!m_bInited) return RL_OK;
    VeskFree(m_pWorkBuffer);
    m_pWorkBuffer = nullptr;
    m_uiWorkCapacity = 0;
    ReinitStatistics();
    m_uiFrameCount = 0;
    m_bInited = false;
    return RL_OK;
}

int32_t CEdge::SetOption(RL_EOption option, void* value)
{
    if (option == RL_OPTION_EDGE_CONFIG) {
        Uninit();
        Init(value, false);
    }
    return RL_OK;
}

int32_t CEdge::GetOption(RL_EOption option, void* value)
{
    if (value == nullptr) return RL_ERR_INVALID_PARAM;
    if (option == RL_OPTION_AVERAGE_TIME) {
        *static_cast<double*>(value) = AverageFrameTimeUs();
    }
    return RL_OK;
}

namespace {

int32_t AbsStride(int32_t stride) { return stride < 0 ? -stride : stride; }

}  // namespace

int32_t CEdge::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    const int64_t t0 = NowUs();
    if (!m_bInited) return RL_ERR_NOT_INITIALIZED;
    if (!src || !dst || !src->pData[0] || !dst->pData[0]) return RL_ERR_INVALID_PARAM;
    const uint32_t format = static_cast<uint32_t>(src->eFormat) & RL_FORMAT_MASK;
    if (format != RL_FORMAT_I420 && format != RL_FORMAT_YV12 && format != RL_FORMAT_VYUY) return RL_ERR_UNSUPPORTED;
    const int32_t w = src->iWidth, h = src->iHeight;
    if (w < 0 || h < 0) return RL_ERR_INVALID_PARAM;
    // The map is written with the source's geometry into the destination's
    // own rows, which must hold it; writing a plane over the plane it reads
    // would read pixels already replaced.
    if (dst->iWidth != w || dst->iHeight != h) return RL_ERR_MISMATCH;
    if (AbsStride(src->iStride[0]) < w || AbsStride(dst->iStride[0]) < w) return RL_ERR_INVALID_PARAM;
    if (src->pData[0] == dst->pData[0] && w > 0 && h > 0) return RL_ERR_MISMATCH;

    if (w != m_iWidth || h != m_iHeight) {
        const bool suppress = m_bSuppressNonMaxima;
        Uninit();
        SRLEdgeConfig c{w, h, src->iStride[0], suppress, static_cast<int32_t>(format)};
        Init(&c, false);  // a grey plane leaves the method uninitialised; this frame still runs
    }

    uint8_t* work = nullptr;
    if (m_bInited && m_bSuppressNonMaxima && SobelLastInterior(w) > 0 && SobelLastInterior(h) > 0) {
        const uint64_t bytes = EdgeWorkBytes(w, h);
        if (bytes > UINT32_MAX) return RL_ERR_NO_MEMORY;
        if (m_uiWorkCapacity < bytes) {
            uint8_t* grown = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(bytes), 64));
            if (grown == nullptr) return RL_ERR_NO_MEMORY;
            VeskFree(m_pWorkBuffer);
            m_pWorkBuffer = grown;
            m_uiWorkCapacity = static_cast<uint32_t>(bytes);
        }
        work = m_pWorkBuffer;
    }
    m_sFuncs.pfnSobelLumaFilter8(src->pData[0], dst->pData[0], w, h, src->iStride[0], dst->iStride[0], work);
    AccountFrame(t0);
    ++m_uiFrameCount;
    return RL_OK;
}

}  // namespace Ravvel
