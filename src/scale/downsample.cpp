#include "scale/downsample.h"

#include <cstring>

#include "frame/memory.h"

namespace Ravvel {

namespace {

constexpr uint32_t kAlign = 16;

inline int32_t RoundUp(int32_t v, int32_t m) { return (v + m - 1) / m * m; }

inline bool IsPacked(uint32_t f) { return f == 1 || f == 2 || f == 5 || f == 6 || f == 7 || f == 8; }
inline bool IsPlanar(uint32_t f) { return f == 9 || f == 23 || f == 31; }
inline bool IsSemiPlanar(uint32_t f) { return f == 26 || f == 29; }

inline bool Aligned(const void* p, int32_t stride)
{
    return (reinterpret_cast<uintptr_t>(p) % kAlign) == 0 && (static_cast<uint32_t>(stride) % kAlign) == 0;
}

}  // namespace

CDownsampling::CDownsampling(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    VeskSetupPreprocessSimd(nullptr, m_uiCpuFlags, &m_sPreprocess);
    FillDownsampleFuncs(&m_sFuncs, m_uiCpuFlags);
    std::memset(&m_sSrcPicture, 0, sizeof m_sSrcPicture);
    std::memset(&m_sDstPicture, 0, sizeof m_sDstPicture);
    m_strName = "Downsample";
    CreateLogger();
}

CDownsampling::~CDownsampling()
{
    RL_LOG(Info, "CDownsampling::~CDownsampling() begin.");
    Uninit();
    DestroyLogger();
}

int32_t CDownsampling::Init(void*, bool flag)
{
    m_bOutputToCaller = flag;
    return RL_OK;
}

int32_t CDownsampling::Uninit()
{
    VeskFree(m_pHalfBandTempBuffer);
    VeskFree(m_pGeneralTempBuffer);
    m_pHalfBandTempBuffer = m_pGeneralTempBuffer = nullptr;
    m_uiHalfBandTempCapacity = m_uiGeneralTempCapacity = 0;
    FreeSampleBuffers();
    VeskFree(m_pSrcBuffer);
    VeskFree(m_pDstBuffer);
    m_pSrcBuffer = m_pDstBuffer = nullptr;
    m_uiSrcCapacity = m_uiDstCapacity = 0;
    std::memset(&m_sSrcPicture, 0, sizeof m_sSrcPicture);
    std::memset(&m_sDstPicture, 0, sizeof m_sDstPicture);
    m_bSampleReady = false;
    ReinitStatistics();
    return RL_OK;
}

int32_t CDownsampling::SetOption(RL_EOption id, void* value)
{
    switch (id) {
    case RL_OPTION_DOWNSAMPLE_BILINEAR:
        m_bHalfMultiTap = m_bGeneralFourTap = false;
        RL_LOG(Info, "set bilinear");
        break;
    case RL_OPTION_DOWNSAMPLE_LANCZOS:
        m_bHalfMultiTap = m_bGeneralFourTap = true;
        RL_LOG(Info, "set lanczos");
        break;
    case RL_OPTION_LANCZOS_TUNE:
        if (value) m_uiLanczosTune = *static_cast<const uint8_t*>(value);
        break;
    default:
        break;
    }
    return RL_OK;
}

int32_t CDownsampling::GetOption(RL_EOption id, void* value)
{
    if (id == RL_OPTION_AVERAGE_TIME && value && m_pStatistics) {
        *static_cast<double*>(value) = AverageFrameTimeUs();
    }
    return RL_OK;
}

// ---- Buffers -------------------------------------------------------------------

int32_t CDownsampling::ChannelCount(uint32_t format)
{
    switch (format) {
    case 2: case 6: case 7: case 8: m_uiChannels = 4; return RL_OK;
    case 9: case 23: case 31: m_uiChannels = 1; return RL_OK;
    case 1: case 5: m_uiChannels = 3; return RL_OK;
    default: return RL_ERR_INVALID_PARAM;
    }
}

void CDownsampling::FreeSampleBuffers()
{
    VeskFree(m_pSampleAllocation);
    m_pSampleAllocation = nullptr;
    std::memset(m_pSampleBuffer, 0, sizeof m_pSampleBuffer);
    m_uiSampleFormat = 0;
}

int32_t CDownsampling::AllocateSampleBuffers(uint32_t format)
{
    FreeSampleBuffers();
    const uint32_t P = kSamplePlaneBytes, C = P / 4;  // chroma planes: 960 x 544
    uint32_t size = 0;
    uint32_t offsets[2][3] = {};
    bool chroma = true;
    if (format == 9) {
        size = 6 * P;
        const uint32_t o[2][3] = {{0, P, 2 * P}, {3 * P, 4 * P, 5 * P}};
        std::memcpy(offsets, o, sizeof o);
    } else if (format == 23) {
        size = 3 * P;
        const uint32_t o[2][3] = {{0, P, P + C}, {P + 2 * C, 2 * P + 2 * C, 2 * P + 3 * C}};
        std::memcpy(offsets, o, sizeof o);
    } else if (format == 31) {
        size = 2 * P;
        offsets[1][0] = P;
        chroma = false;
    } else {
        return RL_OK;
    }
    m_pSampleAllocation = static_cast<uint8_t*>(VeskMalloc(size, kAlign));
    if (!m_pSampleAllocation) return RL_ERR_NO_MEMORY;
    for (int s = 0; s < 2; ++s)
        for (int p = 0; p < 3; ++p)
            m_pSampleBuffer[s][p] = (p == 0 || chroma) ? m_pSampleAllocation + offsets[s][p] : nullptr;
    m_uiSampleFormat = format;
    return RL_OK;
}

int32_t CDownsampling::AllocateBuffer(bool isSrc, int32_t width, int32_t height, uint32_t format)
{
    uint8_t*& buffer = isSrc ? m_pSrcBuffer : m_pDstBuffer;
    uint32_t& capacity = isSrc ? m_uiSrcCapacity : m_uiDstCapacity;
    SRLPictureInfo& pic = isSrc ? m_sSrcPicture : m_sDstPicture;

    // The plane pointers are laid out again on every call even when the block
    // is big enough: in caller-output mode the same descriptor may have been
    // pointed at the caller's planes of an earlier frame in the meantime.
    pic.iWidth = width;
    pic.iHeight = height;
    pic.eFormat = static_cast<RL_EVideoFormat>(format);

    int32_t strides[3] = {0, 0, 0};
    int32_t rows[3] = {0, 0, 0};
    if (IsPacked(format)) {
        strides[0] = RoundUp(width, kAlign) * static_cast<int32_t>(format == 1 || format == 5 ? 3 : 4);
        rows[0] = height;
    } else if (format == 9) {
        for (int p = 0; p < 3; ++p) strides[p] = RoundUp(width, kAlign), rows[p] = height;
    } else if (format == 23) {
        strides[0] = RoundUp(width, kAlign);
        rows[0] = height;
        strides[1] = strides[2] = RoundUp(width / 2, kAlign);
        rows[1] = rows[2] = height / 2;
    } else if (IsSemiPlanar(format)) {
        strides[0] = strides[1] = RoundUp(width, kAlign);
        rows[0] = height;
        rows[1] = height / 2;
    } else if (format == 31) {
        strides[0] = RoundUp(width, kAlign);
        rows[0] = height;
    } else {
        return RL_ERR_UNSUPPORTED;
    }
    uint64_t total = kAlign;
    for (int p = 0; p < 3; ++p) total += static_cast<uint64_t>(strides[p]) * static_cast<uint64_t>(rows[p]);
    if (total > 0xffffffffull - 64) return RL_ERR_NO_MEMORY;
    const uint32_t size = static_cast<uint32_t>(total);
    if (size > capacity || !buffer) {
        RL_LOG(Info,
               isSrc ? "CDownsampling::AllocateSrcBuffer(), allocate(reallocate) SrcPicture buffer, size=%d"
                     : "CDownsampling::AllocateDstBuffer(), allocate(reallocate) DstPicture buffer, size=%d",
               static_cast<int32_t>(size));
        VeskFree(buffer);
        buffer = static_cast<uint8_t*>(VeskMalloc(size, kAlign));
        if (!buffer) {
            capacity = 0;
            return RL_ERR_NO_MEMORY;
        }
        capacity = size;
    }
    // The first plane starts at the next multiple of the alignment above the block.
    uint8_t* p = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(buffer) / kAlign + 1) * kAlign);
    for (int i = 0; i < 3; ++i) {
        pic.pData[i] = rows[i] ? p : nullptr;
        pic.iStride[i] = strides[i];
        p += static_cast<size_t>(strides[i]) * static_cast<size_t>(rows[i]);
    }
    return RL_OK;
}

bool CDownsampling::IsAligned(const SRLPictureInfo& p) const
{
    const uint32_t f = static_cast<uint32_t>(p.eFormat);
    if (!Aligned(p.pData[0], p.iStride[0])) return false;
    if (IsSemiPlanar(f)) return Aligned(p.pData[1], p.iStride[1]);
    if (f == 9 || f == 23) return Aligned(p.pData[1], p.iStride[1]) && Aligned(p.pData[2], p.iStride[2]);
    return true;
}

// Every plane the format uses must be present before anything is read or written.
bool CDownsampling::HasPlanes(const SRLPictureInfo& p) const
{
    const uint32_t f = static_cast<uint32_t>(p.eFormat);
    if (!p.pData[0]) return false;
    if (IsSemiPlanar(f)) return p.pData[1] != nullptr;
    if (f == 9 || f == 23) return p.pData[1] && p.pData[2];
    return true;
}

// Rows must not overlap: a stride shorter than a row would make the kernels
// walk outside the caller's plane.
bool CDownsampling::StridesCover(const SRLPictureInfo& p) const
{
    const uint32_t f = static_cast<uint32_t>(p.eFormat);
    const int32_t w = p.iWidth;
    if (IsPacked(f)) return p.iStride[0] >= w * (f == 1 || f == 5 ? 3 : 4);
    if (!IsPlanar(f) && !IsSemiPlanar(f)) return true;  // refused later as unsupported
    if (p.iStride[0] < w) return false;
    if (IsSemiPlanar(f)) return p.iStride[1] >= w;
    if (f == 9) return p.iStride[1] >= w && p.iStride[2] >= w;
    if (f == 23) return p.iStride[1] >= w / 2 && p.iStride[2] >= w / 2;
    return true;
}

void CDownsampling::CopyFrame(const SRLPictureInfo& from, SRLPictureInfo& to)
{
    const uint32_t f = static_cast<uint32_t>(from.eFormat);
    const int32_t w = from.iWidth, h = from.iHeight;
    auto copy = [](uint8_t* d, int32_t ds, const uint8_t* s, int32_t ss, int32_t bytes, int32_t rows) {
        for (int32_t y = 0; y < rows; ++y)
            std::memcpy(d + static_cast<ptrdiff_t>(y) * ds, s + static_cast<ptrdiff_t>(y) * ss,
                        static_cast<size_t>(bytes));
    };
    if (IsPacked(f)) {
        copy(to.pData[0], to.iStride[0], from.pData[0], from.iStride[0], w * static_cast<int32_t>(f == 1 || f == 5 ? 3 : 4),
             h);
    } else if (f == 9) {
        for (int p = 0; p < 3; ++p) copy(to.pData[p], to.iStride[p], from.pData[p], from.iStride[p], w, h);
    } else if (f == 23) {
        copy(to.pData[0], to.iStride[0], from.pData[0], from.iStride[0], w, h);
        for (int p = 1; p < 3; ++p) copy(to.pData[p], to.iStride[p], from.pData[p], from.iStride[p], w / 2, h / 2);
    } else if (IsSemiPlanar(f)) {
        copy(to.pData[0], to.iStride[0], from.pData[0], from.iStride[0], w, h);
        copy(to.pData[1], to.iStride[1], from.pData[1], from.iStride[1], w, h / 2);
    } else if (f == 31) {
        copy(to.pData[0], to.iStride[0], from.pData[0], from.iStride[0], w, h);
    } else {
        RL_LOG(Info, "CDownsampling::AllocateDstBuffer(), not support this format");
    }
}

int32_t CDownsampling::InitBuffer(SRLPictureInfo* src, SRLPictureInfo* dst)
{
    if (!src || !dst) {
        RL_LOG(Warning, "CDownsampling::InitBuffer(), input or output picture pointer is null");
        return RL_ERR_INVALID_PARAM;
    }
    if (!src->pData[0]) {
        RL_LOG(Warning, "CDownsampling::InitBuffer(), input data pointer is null.");
        return RL_ERR_INVALID_PARAM;
    }
    const int32_t W = src->iWidth, H = src->iHeight, w = dst->iWidth, h = dst->iHeight;
    if (W == 0 || H == 0 || w == 0 || h == 0) {
        RL_LOG(Warning, "CDownsampling::InitBuffer(), input or output frame size is 0.");
        return RL_ERR_INVALID_PARAM;
    }
    if ((W | H | w | h) & 1) {
        RL_LOG(Warning, "CDownsampling::InitBuffer(), odd frame size is not supported. inframe=%dx%d, outframe=%dx%d",
               W, H, w, h);
        return RL_ERR_INVALID_PARAM;
    }
    if (W < 16 || H < 16 || w < 16 || h < 16) {
        RL_LOG(Warning,
               "CDownsampling::InitBuffer(), width or height less than 16. inframe=%dx%d, outframe=%dx%d", W, H, w,
               h);
        return RL_ERR_INVALID_PARAM;
    }
    if (!(W > w && H > h)) {
        RL_LOG(Warning,
               "CDownsampling::InitBuffer(), unsupported downsample ratio from (%dx%d) to (%dx%d), input width or "
               "height less then output.",
               W, H, w, h);
        return RL_ERR_INVALID_PARAM;
    }
    // Planes beyond plane 0 and short strides would send the kernels outside
    // the caller's memory.
    if (!HasPlanes(*src) || !StridesCover(*src)) {
        RL_LOG(Warning, "CDownsampling::InitBuffer(), input data pointer is null.");
        return RL_ERR_INVALID_PARAM;
    }
    const uint32_t format = static_cast<uint32_t>(src->eFormat);
    ChannelCount(format);  // formats without a count keep the previous one

    if (IsPlanar(format)) {
        if (!m_bSampleReady || m_uiSampleFormat != format) {
            RL_LOG(Info, "CDownsampling::InitBuffer(), allocate(reallocate) sampleBuffer and tempBuffer.");
            m_bSampleReady = false;
            VeskFree(m_pHalfBandTempBuffer);
            VeskFree(m_pGeneralTempBuffer);
            m_pHalfBandTempBuffer = static_cast<uint8_t*>(VeskMalloc(kHalfBandTempInitial, kAlign));
            m_pGeneralTempBuffer = static_cast<uint8_t*>(VeskMalloc(kGeneralTempInitial, kAlign));
            m_uiHalfBandTempCapacity = m_pHalfBandTempBuffer ? kHalfBandTempInitial : 0;
            m_uiGeneralTempCapacity = m_pGeneralTempBuffer ? kGeneralTempInitial : 0;
            const int32_t sampleResult = AllocateSampleBuffers(format);
            m_bSampleAllocFailed = sampleResult != RL_OK;
            if (m_bSampleAllocFailed || !m_pHalfBandTempBuffer || !m_pGeneralTempBuffer) {
                RL_LOG(Warning, "CDownsampling::InitBuffer(), allocate(reallocate) sampleBuffer and tempBuffer failed.");
                return RL_ERR_NO_MEMORY;
            }
            if (InitFilters() != RL_OK) {
                RL_LOG(Warning, "CDownsampling::InitBuffer(), InitFilters failed");
                return RL_ERR_FAILED;
            }
            m_bSampleReady = true;
            m_uiDesignedTune = m_uiLanczosTune;
        } else if (m_uiLanczosTune != m_uiDesignedTune) {
            if (InitFilters() != RL_OK) {
                RL_LOG(Warning, "CDownsampling::InitBuffer(), InitFilters failed due to Lanczos Tune");
                return RL_ERR_FAILED;
            }
            m_uiDesignedTune = m_uiLanczosTune;
        }
    }

    m_bCopyOut = false;
    if (!m_bOutputToCaller) {
        if (AllocateBuffer(true, W, H, format) != RL_OK || AllocateBuffer(false, w, h, format) != RL_OK) {
            RL_LOG(Warning, "CDownsampling::InitBuffer(), AllocateBuffer failed.");
            return RL_ERR_NO_MEMORY;
        }
        CopyFrame(*src, m_sSrcPicture);
        for (int p = 0; p < 3; ++p) {
            dst->pData[p] = m_sDstPicture.pData[p];
            dst->iStride[p] = m_sDstPicture.iStride[p];
        }
        return RL_OK;
    }

    SRLPictureInfo dstAsSrc = *dst;
    dstAsSrc.eFormat = src->eFormat;  // the destination is written in the source's format
    if (!HasPlanes(dstAsSrc) || !StridesCover(dstAsSrc)) {
        RL_LOG(Warning, "CDownsampling::InitBuffer(), output data pointer is null.");
        return RL_ERR_INVALID_PARAM;
    }
    if (IsAligned(*src)) {
        m_sSrcPicture = *src;
    } else {
        if (AllocateBuffer(true, W, H, format) != RL_OK) return RL_ERR_NO_MEMORY;
        CopyFrame(*src, m_sSrcPicture);
    }
    if (IsAligned(dstAsSrc)) {
        m_sDstPicture = dstAsSrc;
    } else {
        if (AllocateBuffer(false, w, h, format) != RL_OK) return RL_ERR_NO_MEMORY;
        m_bCopyOut = true;
    }
    return RL_OK;
}

// ---- Paths ---------------------------------------------------------------------

int32_t CDownsampling::PlaneCount(uint32_t format) const { return format == 31 ? 1 : 3; }

CDownsampling::PlaneRef CDownsampling::SrcPlane(int i) const
{
    const SRLPictureInfo& p = m_sSrcPicture;
    const bool half = static_cast<uint32_t>(p.eFormat) == 23 && i > 0;
    return {p.pData[i], p.iStride[i], half ? p.iWidth / 2 : p.iWidth, half ? p.iHeight / 2 : p.iHeight};
}

CDownsampling::PlaneRef CDownsampling::DstPlane(int i) const
{
    const SRLPictureInfo& p = m_sDstPicture;
    const bool half = static_cast<uint32_t>(m_sSrcPicture.eFormat) == 23 && i > 0;
    return {p.pData[i], p.iStride[i], half ? p.iWidth / 2 : p.iWidth, half ? p.iHeight / 2 : p.iHeight};
}

void CDownsampling::HalvePlane(const PlaneRef& s, const PlaneRef& d)
{
    if (m_bHalfMultiTap) {
        DownsampleHalfMultiTap(d.pData, d.iStride, s.pData, s.iStride, s.iWidth, s.iHeight);
        return;
    }
    // The averaging kernels finish every row themselves, so they get the
    // exact even width and never touch bytes past the row.
    const int32_t width = s.iWidth & ~1;
    DyadicDownsampleFunc f = (s.iStride % 32 == 0) ? m_sFuncs.pfHalveWidthx32 : m_sFuncs.pfHalveWidthx16;
    f(d.pData, d.iStride, s.pData, s.iStride, width, s.iHeight);
}

void CDownsampling::GeneralPass(const PlaneRef& s, const PlaneRef& d, bool chroma)
{
    if (m_bGeneralFourTap) {
        GeneralFourTapDownsampler(d.pData, d.iStride, d.iWidth, d.iHeight, s.pData, s.iStride, s.iWidth, s.iHeight);
        return;
    }
    GeneralDownsampleFunc f = chroma ? m_sFuncs.pfGeneralAccurate : m_sFuncs.pfGeneralFast;
    f(d.pData, d.iStride, d.iWidth, d.iHeight, s.pData, s.iStride, s.iWidth, s.iHeight);
}

void CDownsampling::ProcessPlanar(uint32_t format)
{
    const int32_t W = m_sSrcPicture.iWidth, H = m_sSrcPicture.iHeight;
    const int32_t w = m_sDstPicture.iWidth, h = m_sDstPicture.iHeight;
    const int planes = PlaneCount(format);
    const bool exactHalf = w == W / 2 && h == H / 2;
    const bool i420 = format == 23;

    if (W / 2 > 1920 || H / 2 >= 1089 || m_bSampleAllocFailed) {
        const bool quarter = w == W / 4 && h == H / 4;
        const bool third = w == W / 3 && h == H / 3;
        for (int p = 0; p < planes; ++p) {
            const PlaneRef s = SrcPlane(p), d = DstPlane(p);
            if (exactHalf)
                HalvePlane(s, d);
            else if (quarter)
                m_sFuncs.pfQuarter(d.pData, d.iStride, s.pData, s.iStride, s.iWidth, s.iHeight);
            else if (third)
                m_sFuncs.pfOneThird(d.pData, d.iStride, s.pData, s.iStride, s.iWidth, d.iHeight);
            else
                GeneralPass(s, d, i420 && p > 0);
        }
        return;
    }
    if (exactHalf) {
        for (int p = 0; p < planes; ++p) HalvePlane(SrcPlane(p), DstPlane(p));
        return;
    }
    if (!(w < W / 2 && h < H / 2)) {
        for (int p = 0; p < planes; ++p) GeneralPass(SrcPlane(p), DstPlane(p), i420 && p > 0);
        return;
    }

    // Repeated halving through the two sample sets.
    PlaneRef cur[3];
    for (int p = 0; p < planes; ++p) cur[p] = SrcPlane(p);
    int set = 0;
    for (;;) {
        int32_t cw = cur[0].iWidth / 2, ch = cur[0].iHeight / 2;
        PlaneRef next[3];
        for (int p = 0; p < planes; ++p) {
            const bool chroma = i420 && p > 0;
            const int32_t pw = chroma ? cw / 2 : cw, ph = chroma ? ch / 2 : ch;
            next[p] = {m_pSampleBuffer[set][p], RoundUp(pw, 32), pw, ph};
            HalvePlane(cur[p], next[p]);
        }
        for (int p = 0; p < planes; ++p) cur[p] = next[p];
        set ^= 1;
        if (cw / 2 == w && ch / 2 == h) {
            for (int p = 0; p < planes; ++p) HalvePlane(cur[p], DstPlane(p));
            return;
        }
        if (cw / 2 <= w || ch / 2 <= h) {
            for (int p = 0; p < planes; ++p) GeneralPass(cur[p], DstPlane(p), i420 && p > 0);
            return;
        }
    }
}

int32_t CDownsampling::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    const int64_t t0 = NowUs();
    if (InitBuffer(src, dst) != RL_OK) return RL_ERR_FAILED;
    const uint32_t format = static_cast<uint32_t>(m_sSrcPicture.eFormat);
    if (format > 31) return RL_ERR_UNSUPPORTED;
    const int32_t W = m_sSrcPicture.iWidth, H = m_sSrcPicture.iHeight;
    const int32_t w = m_sDstPicture.iWidth, h = m_sDstPicture.iHeight;
    const bool exactHalf = w == W / 2 && h == H / 2;
    SRLPictureInfo& s = m_sSrcPicture;
    SRLPictureInfo& d = m_sDstPicture;

    if (IsPacked(format)) {
        const int32_t channels = static_cast<int32_t>(m_uiChannels);
        if (exactHalf)
            m_sFuncs.pfInterleavedHalve(d.pData[0], d.iStride[0], s.pData[0], s.iStride[0], W, H, channels);
        else
            m_sFuncs.pfInterleavedGeneral(d.pData[0], d.iStride[0], w, h, s.pData[0], s.iStride[0], W, H, channels);
    } else if (IsSemiPlanar(format)) {
        if (exactHalf) {
            const DyadicDownsampleFunc halve =
                (s.iStride[0] % 32 == 0) ? m_sFuncs.pfHalveWidthx32 : m_sFuncs.pfHalveWidthx16;
            halve(d.pData[0], d.iStride[0], s.pData[0], s.iStride[0], W, H);
            m_sFuncs.pfHalveNVXYChroma(d.pData[1], d.iStride[1], s.pData[1], s.iStride[1], W, H / 2);
        } else {
            m_sFuncs.pfGeneralFast(d.pData[0], d.iStride[0], w, h, s.pData[0], s.iStride[0], W, H);
            m_sFuncs.pfGeneralAccurateNVXYChroma(d.pData[1], d.iStride[1], w, h / 2, s.pData[1], s.iStride[1], W,
                                                 H / 2);
        }
    } else if (IsPlanar(format)) {
        ProcessPlanar(format);
    } else {
        return RL_ERR_UNSUPPORTED;
    }

    if (m_bCopyOut) CopyFrame(m_sDstPicture, *dst);
    AccountFrame(t0);
    return RL_OK;
}

}  // namespace Ravvel
