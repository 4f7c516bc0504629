#include "enhance/fast_deband.h"

#include <cstring>

#include "frame/memory.h"

namespace Ravvel {

namespace {

constexpr uint32_t kSeedStart = 0x2545F491u;

bool Aligned64(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 63) == 0; }

}  // namespace

CFastDeband::CFastDeband(uint32_t cpuFlags) : m_CPUFlag(cpuFlags), m_uiSeedState(kSeedStart)
{
    m_strName = "FastDeband";
    CreateLogger();
    InitFastDebandFunc();
}

CFastDeband::~CFastDeband()
{
    FreeBuffers();
    DestroyLogger();
}

int32_t CFastDeband::InitFastDebandFunc()
{
    RL_SELECT_TIERED(m_CPUFlag, m_pfDeband, deband_subimage);
    return m_pfDeband ? RL_OK : RL_ERR_FAILED;
}

int32_t CFastDeband::Init(void* config, bool)
{
    if (config) {
        const SFastDebandConfig* c = static_cast<const SFastDebandConfig*>(config);
        if ((static_cast<uint32_t>(c->eFormat) & RL_FORMAT_MASK) != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
        m_iWidth = c->iWidth;
        m_iHeight = c->iHeight;
        m_iStrength = c->iStrength;
        m_iDither = c->iDither;
        m_iLog2Size = c->iLog2Size;
        m_iDepthY = c->iDepthY;
        m_iDepthUV = c->iDepthUV;
        std::memset(m_aucQPHistory, 0, sizeof m_aucQPHistory);
        m_uiSeedState = kSeedStart;
    }
    return InitFastDebandFunc();
}

void CFastDeband::FreeBuffers()
{
    VeskFree(m_pQPList);
    m_pQPList = nullptr;
    m_iQPCount = m_iQPColumns = m_iQPRows = 0;
    m_bQPListAllocated = false;
    VeskFree(m_pWorkBuffer);
    m_pWorkBuffer = nullptr;
    m_uiWorkBytes = 0;
}

int32_t CFastDeband::Uninit()
{
    FreeBuffers();
    m_iFrameIndex = 0;
    m_uiSeedState = kSeedStart;
    m_bInited = false;
    ReinitStatistics();
    return RL_OK;
}

int32_t CFastDeband::SetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    const int32_t v = *static_cast<const int32_t*>(value);
    switch (option) {
    case RL_OPTION_DEBAND_DEPTH_Y:
        if (static_cast<uint32_t>(v) < 5) m_iDepthY = v;
        break;
    case RL_OPTION_DEBAND_DEPTH_UV:
        if (v >= 1 && v <= 4) m_iDepthUV = v;
        break;
    case RL_OPTION_DEBAND_STRENGTH:
        m_iStrength = v;
        break;
    case RL_OPTION_DEBAND_DITHER:
        m_iDither = v;
        break;
    case RL_OPTION_DEBAND_LOG2_SIZE:
        m_iLog2Size = v;
        break;
    case RL_OPTION_DEBAND_SEED_METHOD:
        m_iSeedMethod = v;
        break;
    case RL_OPTION_DEBAND_AUTO_MODE:
        m_bAutoMode = v != 0;
        break;
    default:
        break;
    }
    return RL_OK;
}

int32_t CFastDeband::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    int32_t* out = static_cast<int32_t*>(value);
    switch (option) {
    case RL_OPTION_DEBAND_GET_DEPTH_Y:
        *out = m_iDepthY;
        break;
    case RL_OPTION_DEBAND_GET_DEPTH_UV:
        *out = m_iDepthUV;
        break;
    case RL_OPTION_DEBAND_GET_STRENGTH:
        *out = m_iStrength;
        break;
    case RL_OPTION_DEBAND_GET_DITHER:
        *out = m_iDither;
        break;
    case RL_OPTION_DEBAND_GET_LOG2_SIZE:
        *out = m_iLog2Size;
        break;
    case RL_OPTION_DEBAND_GET_SEED_METHOD:
        *out = m_iSeedMethod;
        break;
    case RL_OPTION_DEBAND_GET_AUTO_MODE:
        *static_cast<uint8_t*>(value) = m_bAutoMode ? 1 : 0;
        break;
    default:
        break;
    }
    return RL_OK;
}

bool CFastDeband::AllocateQPList(const SRLPictureInfo* src)
{
    const int64_t columns = (static_cast<int64_t>(src->iWidth) + m_iBlockSize - 1) / m_iBlockSize;
    const int64_t rows = (static_cast<int64_t>(src->iHeight) + m_iBlockSize - 1) / m_iBlockSize;
    // A list of the right shape is kept even when the picture differs from
    // the configured size, so that such a stream does not allocate per frame.
    if (m_bQPListAllocated && columns == m_iQPColumns && rows == m_iQPRows) return true;
    RL_LOG(Debug, "CFastDeband::AllocateQPList(), allocate(reallocate) QPList buffer, size=%d*%d",
           static_cast<int>(columns), static_cast<int>(rows));
    VeskFree(m_pQPList);
    m_pQPList = nullptr;
    m_iQPCount = m_iQPColumns = m_iQPRows = 0;
    m_bQPListAllocated = false;
    const int64_t count = columns * rows;
    if (count <= 0 || count > INT32_MAX) return false;
    m_pQPList = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(count), 16));
    if (!m_pQPList) return false;
    std::memset(m_pQPList, 24, static_cast<size_t>(count));
    m_iQPCount = static_cast<int32_t>(count);
    m_iQPColumns = static_cast<int32_t>(columns);
    m_iQPRows = static_cast<int32_t>(rows);
    m_bQPListAllocated = true;
    return true;
}

uint32_t CFastDeband::NextRandomSeed()
{
    // xorshift32; like rand(), a non-negative int32.
    uint32_t x = m_uiSeedState;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    m_uiSeedState = x;
    return x >> 1;
}

void* CFastDeband::WorkAlloc(void* self, size_t bytes)
{
    CFastDeband* me = static_cast<CFastDeband*>(self);
    if (bytes > UINT32_MAX - 64u) return nullptr;
    if (me->m_uiWorkBytes < bytes) {
        VeskFree(me->m_pWorkBuffer);
        me->m_pWorkBuffer = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(bytes), 64));
        me->m_uiWorkBytes = me->m_pWorkBuffer ? static_cast<uint32_t>(bytes) : 0;
    }
    return me->m_pWorkBuffer;
}

void CFastDeband::WorkRelease(void*, void*) {}

int32_t CFastDeband::deband_image_wrapper(DebandAllocFunc alloc, DebandFreeFunc release, const uint8_t* src,
                                          int32_t srcStride, uint8_t* dst, int32_t dstStride, int32_t width,
                                          int32_t height, int32_t strength, int32_t sizeA, int32_t sizeB,
                                          int32_t dither, uint32_t seed, int32_t, bool, int32_t y0, int32_t y1)
{
    return m_pfDeband(alloc, release, this, src, srcStride, dst, dstStride, width, height, strength, sizeA, sizeB,
                      dither, seed, y0, y1);
}

bool CFastDeband::DebandPlane(int plane, int32_t width, int32_t y0, int32_t y1, int32_t strength, int32_t sizeA,
                              int32_t sizeB, int32_t maxPasses, int32_t lastDither, uint32_t seed, DebandAllocFunc alloc,
                              DebandFreeFunc release)
{
    const uint8_t* in = m_pSrc[plane];
    uint8_t* out = m_pDst[plane] ? m_pDst[plane] : const_cast<uint8_t*>(in);
    const int32_t outStride = m_pDst[plane] ? m_iDstStride[plane] : m_iSrcStride[plane];
    const int32_t height = plane ? (m_iFilterHeight + 1) / 2 : m_iFilterHeight;
    int32_t a = sizeA, b = sizeB, d = maxPasses;
    for (bool first = true;; first = false) {
        const bool more = d - 1 >= 1 && a > 3 && b > 3;
        if (!deband_image_wrapper(alloc, release, first ? in : out, first ? m_iSrcStride[plane] : outStride, out,
                                  outStride, width, height, strength, a, b,
                                  more ? 0 : lastDither, seed, 8, !first, y0, y1))
            return false;
        if (!more) return true;
        --d, --a, --b;
    }
}

int32_t CFastDeband::av1util_deband_frame(int32_t strength, int32_t sizeA, int32_t sizeB, int32_t depthY,
                                          int32_t depthUV, int32_t dither, uint32_t seed, DebandAllocFunc alloc,
                                          DebandFreeFunc release)
{
    return av1util_deband_subframe(strength, sizeA, sizeB, depthY, depthUV, dither, seed, alloc, release, 0,
                                   m_iFilterHeight);
}

int32_t CFastDeband::av1util_deband_subframe(int32_t strength, int32_t sizeA, int32_t sizeB, int32_t depthY,
                                             int32_t depthUV, int32_t dither, uint32_t seed, DebandAllocFunc alloc,
                                             DebandFreeFunc release, int32_t y0, int32_t y1)
{
    if (strength == 0) return 0;
    const int32_t a = sizeA > 3 ? sizeA : 3, b = sizeB < 6 ? sizeB : 6;
    bool ok = DebandPlane(0, m_iFilterWidth, y0, y1, strength, a, b, depthY > 0 ? depthY : 0, dither, seed, alloc, release);
    // Chroma starts one size smaller and always dithers by 6 when dithering at all.
    const int32_t chromaWidth = (m_iFilterWidth + 1) / 2;
    for (int plane = 1; ok && plane < 3; ++plane)
        ok = DebandPlane(plane, chromaWidth, y0 / 2, (y1 + 1) / 2, strength, a - 1, b - 1, depthUV > 1 ? depthUV : 1,
                         dither ? 6 : 0, seed, alloc, release);
    return ok ? 1 : 0;
}

int32_t CFastDeband::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    if (!src || !dst) return RL_ERR_INVALID_PARAM;
    if ((static_cast<uint32_t>(src->eFormat) & RL_FORMAT_MASK) != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
    if (src->iWidth <= 0 || src->iHeight <= 0) return RL_ERR_INVALID_PARAM;
    if (!AllocateQPList(src)) return RL_ERR_NO_MEMORY;
    if (src->iWidth != dst->iWidth || src->iHeight != dst->iHeight) return RL_ERR_MISMATCH;
    for (int i = 0; i < 3; ++i)
        if (!src->pData[i] || !dst->pData[i]) return RL_ERR_INVALID_PARAM;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (src->pData[i] == dst->pData[j]) return RL_ERR_MISMATCH;
    for (int i = 0; i < 3; ++i)
        if (!Aligned64(src->pData[i]) || !Aligned64(dst->pData[i])) return RL_ERR_INVALID_PARAM;

    // The filter runs on the configured size, but never past the pictures.
    m_iFilterWidth = m_iWidth < src->iWidth ? m_iWidth : src->iWidth;
    m_iFilterHeight = m_iHeight < src->iHeight ? m_iHeight : src->iHeight;
    if (m_iFilterWidth < 0) m_iFilterWidth = 0;
    if (m_iFilterHeight < 0) m_iFilterHeight = 0;
    for (int i = 0; i < 3; ++i) {
        m_pSrc[i] = src->pData[i];
        m_pDst[i] = dst->pData[i];
        m_iSrcStride[i] = src->iStride[i];
        m_iDstStride[i] = dst->iStride[i];
    }
    if (m_iFrameIndex == 0)
        RL_LOG(Info,
               "m_CPUFlag=%d m_iWidth=%d m_iHeight=%d m_iFrameIndex=%d m_iStrength=%d m_iDither=%d "
               "m_iLog2Size=%d m_iDepthY=%d m_iDepthUV=%d m_iSeedMethod=%d m_bAutoMode=%d m_iBlockSize=%d",
               static_cast<int>(m_CPUFlag), m_iWidth, m_iHeight, m_iFrameIndex, m_iStrength, m_iDither,
               m_iLog2Size, m_iDepthY, m_iDepthUV, m_iSeedMethod, m_bAutoMode ? 1 : 0, m_iBlockSize);
    const int64_t t0 = NowUs();

    const uint8_t* list = src->pQPList ? src->pQPList : m_pQPList;
    uint32_t q = 0;
    if (m_iQPCount >= 1) {
        uint64_t sum = 0;
        for (int32_t i = 0; i < m_iQPCount; ++i) sum += list[i];
        q = static_cast<uint32_t>(sum / static_cast<uint64_t>(m_iQPCount));
    }
    std::memmove(m_aucQPHistory + 1, m_aucQPHistory, sizeof m_aucQPHistory - 1);
    m_aucQPHistory[0] = static_cast<uint8_t>(q);

    const uint32_t seed = m_iSeedMethod == 1 ? static_cast<uint32_t>(m_iFrameIndex % 2) : NextRandomSeed();
    int32_t strength = m_iStrength, size = m_iLog2Size;
    if (m_bAutoMode && m_iFrameIndex >= 16) {
        int32_t sum = 0;
        for (uint8_t h : m_aucQPHistory) sum += h;
        const int32_t avg = sum >> 4;
        strength = ((avg > 64 ? avg : 64) - 64) / 20 + 1;
        size = 4 + (m_iHeight > 767 ? 1 : 0) + (m_iWidth > 1279 ? 1 : 0);
        // The host's dither setting stays in force; the line reports it.
        RL_LOG(Debug, "strength %d, size %d dither %d qp %d", strength, size, m_iDither, avg);
    }
    av1util_deband_frame(strength, size, size, m_iDepthY, m_iDepthUV, m_iDither, seed, &CFastDeband::WorkAlloc,
                         &CFastDeband::WorkRelease);

    ++m_iFrameIndex;
    AccountFrame(t0);
    return RL_OK;
}

}  // namespace Ravvel
