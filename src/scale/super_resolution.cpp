#include "scale/super_resolution.h"

#include <cstring>

#include "frame/memory.h"

namespace Ravvel {

namespace {

constexpr uint32_t kAlign = 16;
constexpr uint8_t kDefaultQP = 24;

inline int64_t Round16(int64_t v) { return (v + 15) & ~int64_t{15}; }

inline bool Aligned(const void* p, int32_t stride)
{
    return (reinterpret_cast<uintptr_t>(p) % kAlign) == 0 && (static_cast<uint32_t>(stride) % kAlign) == 0;
}

bool PlanesAligned(const SRLPictureInfo& p)
{
    return Aligned(p.pData[0], p.iStride[0]) && Aligned(p.pData[1], p.iStride[1]) &&
           Aligned(p.pData[2], p.iStride[2]);
}

// Rows must not overlap: a shorter (or negative) pitch would send the kernels
// outside the caller's planes.
bool StridesCover(const SRLPictureInfo& p)
{
    return p.iStride[0] >= p.iWidth && p.iStride[1] >= p.iWidth / 2 && p.iStride[2] >= p.iWidth / 2;
}

// Bytes of one I420 picture laid out with 16-byte strides (no alignment slack).
int64_t PictureBytes(int64_t w, int64_t h)
{
    return h * Round16(w) + 2 * (h / 2) * Round16(w / 2);
}

// Lays an I420 picture of w x h out from the first 16-byte boundary above `start`.
void LayOut(SRLPictureInfo* pic, uint8_t* start, int32_t w, int32_t h)
{
    std::memset(pic, 0, sizeof *pic);
    uint8_t* p = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(start) / kAlign + 1) * kAlign);
    const int32_t sy = static_cast<int32_t>(Round16(w)), sc = static_cast<int32_t>(Round16(w / 2));
    pic->pData[0] = p;
    pic->pData[1] = p + static_cast<size_t>(sy) * static_cast<size_t>(h);
    pic->pData[2] = pic->pData[1] + static_cast<size_t>(sc) * static_cast<size_t>(h / 2);
    pic->iStride[0] = sy;
    pic->iStride[1] = pic->iStride[2] = sc;
    pic->iWidth = w;
    pic->iHeight = h;
    pic->eFormat = RL_FORMAT_I420;
}

void CopyPicture(const SRLPictureInfo& from, const SRLPictureInfo& to, int32_t w, int32_t h)
{
    for (int p = 0; p < 3; ++p) {
        const int32_t pw = p ? w / 2 : w, ph = p ? h / 2 : h;
        for (int32_t y = 0; y < ph; ++y)
            std::memcpy(to.pData[p] + static_cast<ptrdiff_t>(y) * to.iStride[p],
                        from.pData[p] + static_cast<ptrdiff_t>(y) * from.iStride[p], static_cast<size_t>(pw));
    }
}

// The 2x kernels work on even planes. A chroma plane of a luma side that is
// even but not a multiple of four has one column or row more: those source
// pixels are enlarged by repetition.
void RepeatOddEdges2x(const uint8_t* src, int32_t w, int32_t h, int32_t srcStride, uint8_t* dst, int32_t dstStride)
{
    const int32_t ew = w & ~1, eh = h & ~1;
    for (int32_t r = 0; r < h; ++r)
        for (int32_t c = r < eh ? ew : 0; c < w; ++c) {
            const uint8_t v = src[static_cast<ptrdiff_t>(r) * srcStride + c];
            uint8_t* d = dst + static_cast<ptrdiff_t>(2 * r) * dstStride + 2 * c;
            d[0] = d[1] = d[dstStride] = d[dstStride + 1] = v;
        }
}

}  // namespace

CSuperResolution::CSuperResolution(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    std::memset(m_sSrcPicture, 0, sizeof m_sSrcPicture);
    std::memset(&m_sDstPicture, 0, sizeof m_sDstPicture);
    FillSRKernels(&m_sKernels, m_uiCpuFlags);
    m_strName = "SR";
    CreateLogger();
}

CSuperResolution::~CSuperResolution()
{
    RL_LOG(Info, "CSuperResolution::~CSuperResolution() begin");
    Uninit();
    // Buffers of frames that failed before the object counted as initialised.
    VeskFree(m_pSrcBuffer);
    VeskFree(m_pDstBuffer);
    VeskFree(m_pQPList);
    FreeEnhanced();
    DestroyLogger();
}

const char* CSuperResolution::DefaultCoeffPath()
{
    return "../../../../../super_resolution/data/superResCoeffs.txt";
}

int32_t CSuperResolution::Init(void*, bool flag)
{
    if (flag != m_bOutputToCaller) m_bSrcValid = m_bDstValid = false;  // slots described other memory
    m_bOutputToCaller = flag;
    return RL_OK;
}

void CSuperResolution::FreeEnhanced()
{
    VeskFree(m_pEnhCoeffs);
    VeskFree(m_pEnhValid);
    m_pEnhCoeffs = nullptr;
    m_pEnhValid = nullptr;
}

int32_t CSuperResolution::Uninit()
{
    if (!m_bInited) return RL_OK;
    VeskFree(m_pSrcBuffer);
    VeskFree(m_pDstBuffer);
    VeskFree(m_pQPList);
    m_pSrcBuffer = m_pDstBuffer = m_pQPList = nullptr;
    FreeEnhanced();
    std::memset(m_sSrcPicture, 0, sizeof m_sSrcPicture);
    std::memset(&m_sDstPicture, 0, sizeof m_sDstPicture);
    m_uiSrcCapacity = m_uiDstCapacity = m_uiQPListCapacity = m_uiSrcBufferSize = 0;
    ReinitStatistics();
    m_bInited = false;
    m_bSrcValid = m_bDstValid = m_bQPListValid = m_bCopyOut = false;
    m_uiSimple1pt5 = m_uiEnhanced = 0;
    m_bCoeffsReady = false;
    m_bCustomPath = false;
    return RL_OK;
}

int32_t CSuperResolution::SetOption(RL_EOption id, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    switch (id) {
    case RL_OPTION_SR_SIMPLE_1PT5:
        m_uiSimple1pt5 = *static_cast<const uint8_t*>(value);
        break;
    case RL_OPTION_SR_ENHANCED:
        m_uiEnhanced = *static_cast<const uint8_t*>(value);
        break;
    case RL_OPTION_SR_COEFF_FILE: {
        const char* path = static_cast<const char*>(value);
        const size_t len = strnlen(path, kSRMaxPathLength + 1);
        if (len > static_cast<size_t>(kSRMaxPathLength)) {
            RL_LOG(Warning, "CSuperResolution::SetOption(), coefficient file path longer than %d characters "
                            "refused",
                   kSRMaxPathLength);
            return RL_ERR_INVALID_PARAM;
        }
        // A different file takes effect at the next enhanced frame.
        if (!m_bCustomPath || std::strcmp(m_szCoeffPath, path) != 0) m_bCoeffsReady = false;
        std::memcpy(m_szCoeffPath, path, len + 1);
        m_bCustomPath = true;
        break;
    }
    default:
        break;
    }
    return RL_OK;
}

int32_t CSuperResolution::GetOption(RL_EOption id, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (id == RL_OPTION_SR_INITED) {
        *static_cast<uint8_t*>(value) = m_bInited ? 1 : 0;
        return RL_OK;
    }
    if (id == RL_OPTION_AVERAGE_TIME) {
        *static_cast<double*>(value) = AverageFrameTimeUs();
        return RL_ERR_FAILED;
    }
    return id == 0 ? RL_OK : RL_ERR_FAILED;
}

void CSuperResolution::Levels1pt5(int32_t width, int32_t height, int32_t* lumaLevel, int32_t* chromaLevel)
{
    const int32_t a = 360 / height, b = 640 / width;
    const int32_t k = a > b ? a : b;
    *lumaLevel = k >= 4 ? 3 : (k >= 2 ? k : 1);
    *chromaLevel = k >= 4 ? 3 : (k >= 2 ? k : 4);
}

// ---- Buffers -------------------------------------------------------------------

int32_t CSuperResolution::AllocateQPList(int32_t width, int32_t height)
{
    if (m_bQPListValid && m_iQPWidth == width && m_iQPHeight == height) return RL_OK;
    m_bQPListValid = false;
    const uint32_t cols = static_cast<uint32_t>((width + 15) / 16), rows = static_cast<uint32_t>((height + 15) / 16);
    const uint32_t bytes = cols * rows;
    if (bytes > m_uiQPListCapacity || !m_pQPList) {
        VeskFree(m_pQPList);
        m_pQPList = static_cast<uint8_t*>(VeskMalloc(bytes, kAlign));
        m_uiQPListCapacity = m_pQPList ? bytes : 0;
        if (!m_pQPList) return RL_ERR_NO_MEMORY;
    }
    std::memset(m_pQPList, kDefaultQP, bytes);
    RL_LOG(Info, "CSuperResolution::AllocateQPList(), allocate(reallocate) QPList buffer, size=%d*%d",
           static_cast<int32_t>(cols), static_cast<int32_t>(rows));
    m_iQPWidth = width;
    m_iQPHeight = height;
    m_bQPListValid = true;
    return RL_OK;
}

int32_t CSuperResolution::AllocateSrcBuffer(int32_t width, int32_t height)
{
    const int64_t half = 32 + PictureBytes(width, height);
    if (2 * half > 0xffff0000ll) return RL_ERR_NO_MEMORY;
    const uint32_t size = static_cast<uint32_t>(2 * half);
    if (!m_bSrcValid || width != m_iSrcWidth || height != m_iSrcHeight) {
        m_bSrcValid = false;
        if (size > m_uiSrcCapacity || !m_pSrcBuffer) {
            RL_LOG(Info, "CSuperResolution::AllocateSrcBuffer(), allocate(reallocate) SrcPicture buffer, size=%d",
                   static_cast<int32_t>(size));
            VeskFree(m_pSrcBuffer);
            m_pSrcBuffer = static_cast<uint8_t*>(VeskMalloc(size, kAlign));
            m_uiSrcCapacity = m_pSrcBuffer ? size : 0;
            if (!m_pSrcBuffer) return RL_ERR_NO_MEMORY;
        } else {
            // A new size starts over as a fresh buffer would: the other slot
            // must not pass for a previous frame.
            std::memset(m_pSrcBuffer, 0, m_uiSrcCapacity);
        }
        m_uiSrcBufferSize = size;
        m_bBuffersReset = true;
        m_iSrcWidth = width;
        m_iSrcHeight = height;
        m_bSrcValid = true;
    }
    // Laid out on every call: in caller-output mode a slot may have been
    // pointed at the caller's planes in the meantime.
    for (int k = 0; k < 2; ++k) LayOut(&m_sSrcPicture[k], m_pSrcBuffer + k * half, width, height);
    return RL_OK;
}

int32_t CSuperResolution::AllocateDstBuffer(int32_t width, int32_t height)
{
    const int64_t bytes = 16 + PictureBytes(width, height);
    if (bytes > 0xffff0000ll) return RL_ERR_NO_MEMORY;
    const uint32_t size = static_cast<uint32_t>(bytes);
    if (!m_bDstValid || width != m_iDstWidth || height != m_iDstHeight) {
        m_bDstValid = false;
        if (size > m_uiDstCapacity || !m_pDstBuffer) {
            RL_LOG(Info, "CSuperResolution::AllocateDstBuffer(), allocate(reallocate) DstPicture buffer, size=%d",
                   static_cast<int32_t>(size));
            VeskFree(m_pDstBuffer);
            m_pDstBuffer = static_cast<uint8_t*>(VeskMalloc(size, kAlign));
            m_uiDstCapacity = m_pDstBuffer ? size : 0;
            if (!m_pDstBuffer) return RL_ERR_NO_MEMORY;
        } else {
            // Blocks that temporal reuse skips keep what is here.
            std::memset(m_pDstBuffer, 0, m_uiDstCapacity);
        }
        m_bBuffersReset = true;
        m_iDstWidth = width;
        m_iDstHeight = height;
        m_bDstValid = true;
    }
    LayOut(&m_sDstPicture, m_pDstBuffer, width, height);
    return RL_OK;
}

int32_t CSuperResolution::SetupCoefficients()
{
    if (m_uiSRMode == SR_MODE_ADAPTIVE_2X && !m_bPadReady) {
        m_sKernels.pfSetupCoeffs(m_iCoeffsPad, &coeffs_orig[0][0][0]);
        m_bPadReady = true;
    }
    if (m_uiSRMode != SR_MODE_ENHANCED_2X || m_bCoeffsReady) return RL_OK;
    const uint32_t coeffBytes = kSREnhClasses * kSRPhases * kSREnhTaps * sizeof(double);
    if (!m_pEnhCoeffs) m_pEnhCoeffs = static_cast<double*>(VeskMalloc(coeffBytes, kAlign));
    if (!m_pEnhCoeffs) {
        RL_LOG(Error, "CSuperResolution::InitBuffer: Memory allocation for enhanced super resolution filter coeffs "
                      "failed");
        return RL_ERR_NO_MEMORY;
    }
    if (!m_pEnhValid) m_pEnhValid = static_cast<bool*>(VeskMalloc(kSREnhClasses, kAlign));
    if (!m_pEnhValid) {
        RL_LOG(Error, "CSuperResolution::InitBuffer: Memory allocation for enhanced super resolution filter coeffs's "
                      "valid status flag buffer failed");
        return RL_ERR_NO_MEMORY;
    }
    std::memset(m_pEnhCoeffs, 0, coeffBytes);
    std::memset(m_pEnhValid, 0, kSREnhClasses);
    if (!m_bCustomPath) {
        std::memcpy(m_szCoeffPath, DefaultCoeffPath(), std::strlen(DefaultCoeffPath()) + 1);
        RL_LOG(Info, "CSuperResolution::InitBuffer: Using default coeff filter coefficients file, %s", m_szCoeffPath);
    }
    const int r = setup_enhSR_coeffs_c(m_szCoeffPath, m_pEnhCoeffs, m_pEnhValid, m_pLogger);
    if (r != 0) {
        RL_LOG(Error, "CSuperResolution::InitBuffer: setup_enhSR_coeffs_c returns %d", r);
        return RL_ERR_FAILED;
    }
    m_bCoeffsReady = true;
    return RL_OK;
}

int32_t CSuperResolution::InitBuffer(SRLPictureInfo* src, SRLPictureInfo* dst)
{
    if (!src || !dst) {
        RL_LOG(Warning, "CSuperResolution::InitBuffer(), input or output picture pointer is null");
        return RL_ERR_INVALID_PARAM;
    }
    if (!src->pData[0] || !src->pData[1] || !src->pData[2]) {
        RL_LOG(Warning, "CSuperResolution::InitBuffer(), input data pointer is null.");
        return RL_ERR_INVALID_PARAM;
    }
    if (static_cast<uint32_t>(src->eFormat) != RL_FORMAT_I420) {
        RL_LOG(Warning, "CSuperResolution::InitBuffer(), unsupported video format: %d", static_cast<int>(src->eFormat));
        return RL_ERR_INVALID_PARAM;
    }
    const int32_t W = src->iWidth, H = src->iHeight, w = dst->iWidth, h = dst->iHeight;
    if ((W | H | w | h) & 1) {
        RL_LOG(Warning, "CSuperResolution::InitBuffer(), Odd frame size.");
        return RL_ERR_INVALID_PARAM;
    }
    if (W <= 0 || H <= 0 || w <= 0 || h <= 0) {
        RL_LOG(Warning, "CSuperResolution::InitBuffer(), input or output frame size is 0.");
        return RL_ERR_INVALID_PARAM;
    }
    if (!StridesCover(*src)) {
        RL_LOG(Warning, "CSuperResolution::InitBuffer(), input data pointer is null.");
        return RL_ERR_INVALID_PARAM;
    }
    if (AllocateQPList(W, H) != RL_OK) return RL_ERR_NO_MEMORY;

    m_bCopyOut = false;
    SRLPictureInfo& cur = m_sSrcPicture[m_uiCurrentSrc];
    if (!m_bOutputToCaller) {
        m_bBuffersReset = false;
        if (AllocateSrcBuffer(W, H) != RL_OK || AllocateDstBuffer(w, h) != RL_OK) {
            RL_LOG(Warning, "CSuperResolution::InitBuffer(), AllocateBuffer failed.");
            return RL_ERR_NO_MEMORY;
        }
        // The previous slot and the output buffer start over together: a
        // skipped block must find the output of the frame it was compared with.
        if (m_bBuffersReset) {
            std::memset(m_pSrcBuffer, 0, m_uiSrcCapacity);
            std::memset(m_pDstBuffer, 0, m_uiDstCapacity);
        }
        CopyPicture(*src, cur, W, H);
        for (int p = 0; p < 3; ++p) {
            dst->pData[p] = m_sDstPicture.pData[p];
            dst->iStride[p] = m_sDstPicture.iStride[p];
        }
    } else {
        if (!dst->pData[0] || !dst->pData[1] || !dst->pData[2] || !StridesCover(*dst)) {
            RL_LOG(Warning, "CSuperResolution::InitBuffer(), output data pointer is null.");
            return RL_ERR_INVALID_PARAM;
        }
        if (PlanesAligned(*src)) {
            cur = *src;
        } else {
            if (AllocateSrcBuffer(W, H) != RL_OK) return RL_ERR_NO_MEMORY;
            CopyPicture(*src, m_sSrcPicture[m_uiCurrentSrc], W, H);
        }
        if (PlanesAligned(*dst)) {
            m_sDstPicture = *dst;
        } else {
            if (AllocateDstBuffer(w, h) != RL_OK) return RL_ERR_NO_MEMORY;
            m_bCopyOut = true;
        }
    }

    if (static_cast<int64_t>(w) == 2 * static_cast<int64_t>(W) && static_cast<int64_t>(h) == 2 * static_cast<int64_t>(H)) {
        m_uiSRMode = m_uiEnhanced ? SR_MODE_ENHANCED_2X : SR_MODE_ADAPTIVE_2X;
    } else if (w == static_cast<int32_t>((3 * static_cast<int64_t>(W)) >> 1) &&
               h == static_cast<int32_t>((3 * static_cast<int64_t>(H)) >> 1)) {
        m_uiSRMode = m_uiSimple1pt5 ? static_cast<uint32_t>(SR_MODE_SIMPLE_1PT5)
                                    : static_cast<uint32_t>(SR_MODE_ADAPTIVE_1PT5) + m_uiEnhanced;
    } else {
        return RL_ERR_FAILED;
    }
    FillSRKernels(&m_sKernels, m_uiCpuFlags);
    const int32_t coeffs = SetupCoefficients();
    if (coeffs != RL_OK) return coeffs;
    m_bInited = true;
    return RL_OK;
}

int32_t CSuperResolution::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    const int64_t t0 = NowUs();
    if (InitBuffer(src, dst) != RL_OK) return RL_ERR_FAILED;
    const uint32_t k = m_uiCurrentSrc;
    const SRLPictureInfo& s = m_sSrcPicture[k];
    const SRLPictureInfo& prev = m_sSrcPicture[1 - k];
    const SRLPictureInfo& d = m_sDstPicture;
    const int32_t W = s.iWidth, H = s.iHeight;
    const int32_t qpStride = (W + 15) / 16;
    const uint8_t* qp = src->pQPList ? src->pQPList : m_pQPList;

    switch (m_uiSRMode) {
    case SR_MODE_ADAPTIVE_2X:
    case SR_MODE_ENHANCED_2X:
        for (int p = 0; p < 3; ++p) {
            const int32_t pw = p ? W / 2 : W, ph = p ? H / 2 : H;
            const int32_t ew = pw & ~1, eh = ph & ~1;
            const bool reuse = !m_bOutputToCaller;
            if (ew > 0 && eh > 0) {
                if (m_uiSRMode == SR_MODE_ADAPTIVE_2X)
                    m_sKernels.pfAdaptive2x(s.pData[p], ew, eh, s.iStride[p], d.pData[p], d.iStride[p], 0, eh, qp,
                                            qpStride, reuse ? prev.pData[p] : nullptr, reuse ? prev.iStride[p] : 0,
                                            p ? 4 : 1, p ? 1 : 0, m_iCoeffsPad);
                else
                    enhSR_2x2_process_block_c(s.pData[p], ew, eh, s.iStride[p], d.pData[p], d.iStride[p], 0, eh,
                                              m_pEnhCoeffs, m_pEnhValid);
            }
            if (ew < pw || eh < ph) RepeatOddEdges2x(s.pData[p], pw, ph, s.iStride[p], d.pData[p], d.iStride[p]);
        }
        break;
    case SR_MODE_ADAPTIVE_1PT5: {
        int32_t lumaLevel, chromaLevel;
        Levels1pt5(W, H, &lumaLevel, &chromaLevel);
        for (int p = 0; p < 3; ++p) {
            const int32_t pw = p ? W / 2 : W, ph = p ? H / 2 : H;
            m_sKernels.pfAdaptive1pt5(s.pData[p], pw, ph, s.iStride[p], d.pData[p], d.iStride[p], 0, ph, qp, qpStride,
                                      p ? chromaLevel : lumaLevel, p ? 1 : 0);
        }
        break;
    }
    case SR_MODE_ENHANCED_1PT5:
        RL_LOG(Warning, "CSuperResolution::Process: 1.5X version of enhanced Super Resolution Filter is not supported "
                        "yet.");
        return RL_ERR_UNSUPPORTED;
    case SR_MODE_SIMPLE_1PT5:
        for (int p = 0; p < 3; ++p) {
            const int32_t pw = p ? W / 2 : W, ph = p ? H / 2 : H;
            m_sKernels.pfSimple1pt5(s.pData[p], pw, ph, s.iStride[p], d.pData[p], d.iStride[p], 0, ph);
        }
        break;
    default:
        return RL_ERR_FAILED;
    }

    if (m_bCopyOut) CopyPicture(m_sDstPicture, *dst, dst->iWidth, dst->iHeight);
    m_uiCurrentSrc = 1 - k;
    AccountFrame(t0);
    return RL_OK;
}

}  // namespace Ravvel
