#include "analysis/flicker_detect.h"

#include <cmath>
#include <cstring>

#include "frame/memory.h"
#include "safestr/safe_lib.h"

namespace Ravvel {

namespace {

// Bounded copies refuse blocks above RSIZE_MAX_MEM, so large planes go over
// in pieces.
void CopyBytes(uint8_t* dst, const uint8_t* src, size_t n)
{
    while (n) {
        const size_t chunk = n < RSIZE_MAX_MEM ? n : static_cast<size_t>(RSIZE_MAX_MEM);
        corvel_memcpy_s(dst, chunk, src, chunk);
        dst += chunk, src += chunk, n -= chunk;
    }
}

// Bytes from the lowest to the highest sample of a plane of `rows` rows.
uint64_t PlaneExtent(int32_t stride, int32_t rows, int32_t rowBytes)
{
    if (rows <= 0 || rowBytes <= 0) return 0;
    const uint64_t pitch = static_cast<uint64_t>(stride < 0 ? -static_cast<int64_t>(stride) : stride);
    return pitch * static_cast<uint64_t>(rows - 1) + static_cast<uint64_t>(rowBytes);
}

// The lowest address of a plane whose row 0 is at `row0`.
const uint8_t* PlaneStart(const uint8_t* row0, int32_t stride, int32_t rows)
{
    return stride < 0 && rows > 0 ? row0 + static_cast<ptrdiff_t>(stride) * (rows - 1) : row0;
}

template <class T>
T* AllocateArray(size_t count)
{
    const uint64_t bytes = static_cast<uint64_t>(count ? count : 1) * sizeof(T);
    if (bytes > 0xFFFFFF00u) return nullptr;
    return static_cast<T*>(VeskMalloc(static_cast<uint32_t>(bytes), 32));
}

}  // namespace

CFlickerDetect::CFlickerDetect(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    m_strName = "Flicker";
    InitFlickerFunc(&m_sFuncs, cpuFlags);
    CreateLogger();
}

CFlickerDetect::~CFlickerDetect()
{
    Uninit();
    FreeState();
    for (PrevPlane& p : m_sPrev) VeskFree(p.pBlock);
    DestroyLogger();
}

void CFlickerDetect::FreeState()
{
    VeskFree(m_pSpikeCounter);
    VeskFree(m_pWindowSum);
    VeskFree(m_pMseWindow);
    VeskFree(m_pSpikeWindow);
    VeskFree(m_pMse);
    m_pSpikeCounter = nullptr;
    m_pWindowSum = m_pMseWindow = m_pMse = nullptr;
    m_pSpikeWindow = nullptr;
    for (int p = 0; p < 3; ++p) {
        VeskFree(m_pHistA[p]);
        VeskFree(m_pHistB[p]);
        m_pHistA[p] = m_pHistB[p] = nullptr;
    }
    m_iStateRegions = m_iStateWindow = 0;
}

// Sizes the per-region state for the current grid and window; a block that
// already fits is kept with its contents.
bool CFlickerDetect::AllocateState()
{
    if (m_pSpikeCounter && m_iStateRegions == m_iRegionCount && m_iStateWindow == m_iWindowSize) return true;
    FreeState();
    const size_t r = static_cast<size_t>(m_iRegionCount), n = static_cast<size_t>(m_iWindowSize);
    m_pSpikeCounter = AllocateArray<int32_t>(r);
    m_pWindowSum = AllocateArray<float>(3 * r);
    m_pMseWindow = AllocateArray<float>(3 * r * n);
    m_pSpikeWindow = AllocateArray<uint8_t>(r * n);
    m_pMse = AllocateArray<float>(3 * r);
    bool ok = m_pSpikeCounter && m_pWindowSum && m_pMseWindow && m_pSpikeWindow && m_pMse;
    for (int p = 0; p < 3; ++p) {
        m_pHistA[p] = AllocateArray<float>(256 * r);
        m_pHistB[p] = AllocateArray<float>(256 * r);
        ok = ok && m_pHistA[p] && m_pHistB[p];
    }
    if (!ok) {
        FreeState();
        return false;
    }
    m_iStateRegions = m_iRegionCount;
    m_iStateWindow = m_iWindowSize;
    return true;
}

void CFlickerDetect::ClearHistory()
{
    m_uiFrameCounter = 0;
    m_bResult = false;
    m_bHavePrevious = false;
    if (!m_pSpikeCounter) return;
    const size_t r = static_cast<size_t>(m_iStateRegions), n = static_cast<size_t>(m_iStateWindow);
    std::memset(m_pSpikeCounter, 0, r * sizeof(int32_t));
    std::memset(m_pWindowSum, 0, 3 * r * sizeof(float));
    std::memset(m_pMseWindow, 0, 3 * r * n * sizeof(float));
    std::memset(m_pSpikeWindow, 0, r * n);
    for (int p = 0; p < 3; ++p) {
        std::memset(m_pHistA[p], 0, 256 * r * sizeof(float));
        std::memset(m_pHistB[p], 0, 256 * r * sizeof(float));
    }
}

int32_t CFlickerDetect::Init(void* config, bool)
{
    if (config) return Configure(*static_cast<const SRLFlickerDetectConfig*>(config), false);
    if (!AllocateState()) return RL_ERR_NO_MEMORY;
    RL_LOG(Info,
           "CFlickerDetect::Init(), window_size=%u, grace_period=%u, winsum_threshold_yuv=(%.4f, %.4f, %.4f), "
           "peak_threshold=%d",
           static_cast<uint32_t>(m_iWindowSize), static_cast<uint32_t>(m_iGracePeriod), m_fWinsumThreshold[0],
           m_fWinsumThreshold[1], m_fWinsumThreshold[2], m_iPeakThreshold);
    m_bInited = true;
    return RL_OK;
}

// thresholdsScaled: the record carries thresholds already scaled to the
// current window (a resolution change), to be kept per frame.
int32_t CFlickerDetect::Configure(const SRLFlickerDetectConfig& c, bool thresholdsScaled)
{
    if (c.format != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
    const int64_t n = static_cast<int64_t>(c.window_frames) + (m_iPeakThreshold > 1 ? m_iPeakThreshold : 1) + 1;
    if (c.window_frames <= 0 || n > kMaxWindow || c.grid_columns <= 0 || c.grid_rows <= 0 ||
        static_cast<int64_t>(c.grid_columns) * c.grid_rows > kMaxRegions)
        return RL_ERR_INVALID_PARAM;

    float thresholds[3];
    for (int i = 0; i < 3; ++i) {
        if (!thresholdsScaled)
            thresholds[i] = c.winsum_threshold_yuv[i] * (static_cast<float>(n) / static_cast<float>(c.window_frames));
        else if (n == m_iWindowSize)
            thresholds[i] = c.winsum_threshold_yuv[i];
        else
            thresholds[i] = c.winsum_threshold_yuv[i] * (static_cast<float>(n) / static_cast<float>(m_iWindowSize));
    }
    m_iWidth = c.width;
    m_iHeight = c.height;
    m_iWindowFrames = c.window_frames;
    m_iWindowSize = static_cast<int32_t>(n);
    m_uiHoldUntil = static_cast<uint32_t>(n);
    for (int i = 0; i < 3; ++i) m_fWinsumThreshold[i] = thresholds[i];
    m_iGracePeriod = c.grace_period;
    m_iGridColumns = c.grid_columns;
    m_iGridRows = c.grid_rows;
    m_iRegionCount = c.grid_columns * c.grid_rows;
    m_bInited = false;
    if (!AllocateState()) return RL_ERR_NO_MEMORY;
    // A new configuration starts a new history: windows of two settings never mix.
    ClearHistory();
    RL_LOG(Info,
           "CFlickerDetect::Init(), window_size=%u, grace_period=%u, winsum_threshold_yuv=(%.4f, %.4f, %.4f), "
           "peak_threshold=%d",
           static_cast<uint32_t>(m_iWindowSize), static_cast<uint32_t>(m_iGracePeriod), m_fWinsumThreshold[0],
           m_fWinsumThreshold[1], m_fWinsumThreshold[2], m_iPeakThreshold);
    m_bInited = true;
    return RL_OK;
}

int32_t CFlickerDetect::Uninit()
{
    if (!m_bInited) return RL_OK;
    ReinitStatistics();
    m_uiFrameCounter = 0;
    m_bResult = false;
    m_bHavePrevious = false;
    for (uint32_t p = 0; p < 3; ++p) {
        if (!m_sPrev[p].pBlock) continue;
        RL_LOG(Debug, "Free internal buffer for channel %u", p);
        VeskFree(m_sPrev[p].pBlock);
        m_sPrev[p] = PrevPlane();
    }
    FreeState();
    m_bInited = false;
    return RL_OK;
}

int32_t CFlickerDetect::SetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    switch (option) {
    case RL_OPTION_FLICKER_GRACE_PERIOD: m_iGracePeriod = *static_cast<const int32_t*>(value); break;
    case RL_OPTION_FLICKER_WINSUM_THRESHOLD_Y: m_fWinsumThreshold[0] = *static_cast<const float*>(value); break;
    case RL_OPTION_FLICKER_WINSUM_THRESHOLD_U: m_fWinsumThreshold[1] = *static_cast<const float*>(value); break;
    case RL_OPTION_FLICKER_WINSUM_THRESHOLD_V: m_fWinsumThreshold[2] = *static_cast<const float*>(value); break;
    case RL_OPTION_FLICKER_PEAK_THRESHOLD: m_iPeakThreshold = *static_cast<const int32_t*>(value); break;
    case RL_OPTION_FLICKER_STATIC_THRESHOLD_Y: m_iStaticThreshold[0] = *static_cast<const int32_t*>(value); break;
    case RL_OPTION_FLICKER_STATIC_THRESHOLD_U: m_iStaticThreshold[1] = *static_cast<const int32_t*>(value); break;
    case RL_OPTION_FLICKER_STATIC_THRESHOLD_V: m_iStaticThreshold[2] = *static_cast<const int32_t*>(value); break;
    case RL_OPTION_FLICKER_STATIC_RATIO: m_fStaticRatio = *static_cast<const float*>(value); break;
    case RL_OPTION_FLICKER_RESET:
        RL_LOG(Info, "CFlickerDetect::SetOption(RL_OPTION_FLICKER_RESET)");
        Uninit();
        Init(value, false);
        break;
    default: break;
    }
    return RL_OK;
}

int32_t CFlickerDetect::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    switch (option) {
    case RL_OPTION_AVERAGE_TIME: {
        *static_cast<float*>(value) = static_cast<float>(AverageFrameTimeUs());
        break;
    }
    case RL_OPTION_FLICKER_WINDOW_SIZE: *static_cast<int32_t*>(value) = m_iWindowSize; break;
    case RL_OPTION_FLICKER_RESULT: *static_cast<int32_t*>(value) = m_bResult ? 1 : 0; break;
    case RL_OPTION_FLICKER_GRACE_PERIOD: *static_cast<int32_t*>(value) = m_iGracePeriod; break;
    case RL_OPTION_FLICKER_WINSUM_THRESHOLD_Y: *static_cast<float*>(value) = m_fWinsumThreshold[0]; break;
    case RL_OPTION_FLICKER_WINSUM_THRESHOLD_U: *static_cast<float*>(value) = m_fWinsumThreshold[1]; break;
    case RL_OPTION_FLICKER_WINSUM_THRESHOLD_V: *static_cast<float*>(value) = m_fWinsumThreshold[2]; break;
    case RL_OPTION_FLICKER_PEAK_THRESHOLD: *static_cast<int32_t*>(value) = m_iPeakThreshold; break;
    case RL_OPTION_FLICKER_STATIC_THRESHOLD_Y: *static_cast<int32_t*>(value) = m_iStaticThreshold[0]; break;
    case RL_OPTION_FLICKER_STATIC_THRESHOLD_U: *static_cast<int32_t*>(value) = m_iStaticThreshold[1]; break;
    case RL_OPTION_FLICKER_STATIC_THRESHOLD_V: *static_cast<int32_t*>(value) = m_iStaticThreshold[2]; break;
    case RL_OPTION_FLICKER_STATIC_RATIO: *static_cast<float*>(value) = m_fStaticRatio; break;
    default: break;
    }
    return RL_OK;
}

// Makes the previous plane `p` match the frame's layout. A stride change
// moves the stored rows to the new layout so that the next comparison still
// pairs the same samples.
int32_t CFlickerDetect::PreparePrevPlane(int p, const uint8_t*, int32_t stride, int32_t rows, int32_t rowBytes)
{
    PrevPlane& prev = m_sPrev[p];
    if (prev.pBlock && prev.iStride == stride && prev.iRows == rows && prev.iRowBytes == rowBytes) return RL_OK;
    const uint64_t extent = PlaneExtent(stride, rows, rowBytes);
    if (extent > 0xFFFFFF00u) return RL_ERR_NO_MEMORY;
    const uint32_t size = extent ? static_cast<uint32_t>(extent) : 1u;
    uint8_t* block = static_cast<uint8_t*>(VeskMalloc(size, 32));
    if (!block) return RL_ERR_NO_MEMORY;
    RL_LOG(Debug, "Allocate internal buffer for channel %u with %u bytes", static_cast<uint32_t>(p), size);
    uint8_t* row0 = stride < 0 && rows > 0 ? block + static_cast<size_t>(-static_cast<int64_t>(stride)) * (rows - 1)
                                           : block;
    if (prev.pBlock) {
        const int32_t r = rows < prev.iRows ? rows : prev.iRows;
        const int32_t b = rowBytes < prev.iRowBytes ? rowBytes : prev.iRowBytes;
        for (int32_t y = 0; y < r && b > 0; ++y)
            std::memcpy(row0 + static_cast<ptrdiff_t>(y) * stride,
                        prev.pRow0 + static_cast<ptrdiff_t>(y) * prev.iStride, static_cast<size_t>(b));
        VeskFree(prev.pBlock);
    }
    prev.pBlock = block;
    prev.pRow0 = row0;
    prev.uiCapacity = size;
    prev.iStride = stride;
    prev.iRows = rows;
    prev.iRowBytes = rowBytes;
    return RL_OK;
}

bool CFlickerDetect::CheckAndUpdateStaticScene(const SRLPictureInfo& src)
{
    const uint64_t w = static_cast<uint64_t>(m_iWidth), h = static_cast<uint64_t>(m_iHeight);
    const uint64_t samples = w * h + 2 * ((w >> 1) * (h >> 1));
    const float limitF = std::ceil(static_cast<float>(samples) * (1.0f - m_fStaticRatio));
    uint32_t limit = 0;
    if (limitF >= 4294967296.0f)
        limit = 0xFFFFFFFFu;
    else if (limitF > 0.0f)
        limit = static_cast<uint32_t>(limitF);

    bool isStatic = false;
    if (limit && m_bHavePrevious) {
        uint32_t budget = limit;
        for (int p = 0; p < 3 && budget; ++p) {
            const PrevPlane& prev = m_sPrev[p];
            budget = m_sFuncs.pixel_wise_diff_exceed(prev.pRow0, src.pData[p], prev.iStride, prev.iRowBytes,
                                                     prev.iRows, m_iStaticThreshold[p], budget);
        }
        isStatic = budget != 0;
    }
    for (int p = 0; p < 3; ++p) {
        const PrevPlane& prev = m_sPrev[p];
        CopyBytes(const_cast<uint8_t*>(PlaneStart(prev.pRow0, prev.iStride, prev.iRows)),
                  PlaneStart(src.pData[p], prev.iStride, prev.iRows),
                  static_cast<size_t>(PlaneExtent(prev.iStride, prev.iRows, prev.iRowBytes)));
    }
    m_bHavePrevious = true;
    return isStatic;
}

void CFlickerDetect::UpdateHistogramAndComputeMSE(const SRLPictureInfo& src, float* mse)
{
    const int32_t cols = m_iGridColumns;
    const int32_t regionW[3] = {m_iWidth / cols, (m_iWidth >> 1) / cols, (m_iWidth >> 1) / cols};
    const int32_t regionH[3] = {m_iHeight / m_iGridRows, (m_iHeight >> 1) / m_iGridRows,
                                (m_iHeight >> 1) / m_iGridRows};
    const bool odd = (m_uiFrameCounter & 1) != 0;
    for (int32_t k = 0; k < m_iRegionCount; ++k) {
        const int32_t row = k / cols, col = k % cols;
        for (int p = 0; p < 3; ++p) {
            const int32_t stride = src.iStride[p];
            const uint8_t* block = src.pData[p] + static_cast<ptrdiff_t>(row) * regionH[p] * stride +
                                   static_cast<ptrdiff_t>(col) * regionW[p];
            float* a = m_pHistA[p] + static_cast<size_t>(k) * 256;
            float* b = m_pHistB[p] + static_cast<size_t>(k) * 256;
            float count = 0.0f;
            m_sFuncs.histogram(block, stride, regionW[p], regionH[p], odd ? b : a, &count);
            // A region narrower than a sample (grid finer than the picture)
            // has no distribution to move: it reports no change.
            mse[3 * k + p] = count > 0.0f ? m_sFuncs.mse(a, b, count) : 0.0f;
        }
    }
}

int32_t CFlickerDetect::Process(SRLPictureInfo* src, SRLPictureInfo*, void*)
{
    const int64_t t0 = NowUs();
    if (!m_bInited) return RL_ERR_NOT_INITIALIZED;
    if (!src || static_cast<uint32_t>(src->eFormat) != RL_FORMAT_I420 || !src->pData[0] || !src->pData[1] ||
        !src->pData[2])
        return RL_ERR_INVALID_PARAM;
    if (src->iWidth <= 0 || src->iHeight <= 0) return RL_ERR_INVALID_PARAM;

    if (src->iWidth != m_iWidth || src->iHeight != m_iHeight) {
        RL_LOG(Info, "Resolution has changed from %dx%d to %dx%d", m_iWidth, m_iHeight, src->iWidth, src->iHeight);
        // The configured window and the per-frame thresholds carry over.
        SRLFlickerDetectConfig c{};
        c.width = src->iWidth;
        c.height = src->iHeight;
        c.window_frames = m_iWindowFrames;
        c.grid_columns = m_iGridColumns;
        c.grid_rows = m_iGridRows;
        c.grace_period = m_iGracePeriod;
        const int32_t oldWindow = m_iWindowSize;
        for (int i = 0; i < 3; ++i) c.winsum_threshold_yuv[i] = m_fWinsumThreshold[i];
        c.format = RL_FORMAT_I420;
        Uninit();
        m_iWindowSize = oldWindow;
        const int32_t r = Configure(c, true);
        if (r != RL_OK) return r;
    }

    for (int p = 0; p < 3; ++p) {
        const int32_t rows = p ? m_iHeight >> 1 : m_iHeight;
        const int32_t rowBytes = p ? m_iWidth >> 1 : m_iWidth;
        const int32_t r = PreparePrevPlane(p, src->pData[p], src->iStride[p], rows, rowBytes);
        if (r != RL_OK) return r;
    }

    const bool isStatic = CheckAndUpdateStaticScene(*src);
    const uint32_t n = static_cast<uint32_t>(m_iWindowSize);
    const uint32_t slot = m_uiFrameCounter % n;
    const size_t regions = static_cast<size_t>(m_iRegionCount);
    if (isStatic) {
        RL_LOG(Debug, "Frame %04u is static, deemed as non-flickering", m_uiFrameCounter);
        std::memset(m_pMse, 0, 3 * regions * sizeof(float));
        for (int p = 0; p < 3; ++p) {
            float* t = m_pHistA[p];
            m_pHistA[p] = m_pHistB[p];
            m_pHistB[p] = t;
        }
    } else {
        UpdateHistogramAndComputeMSE(*src, m_pMse);
    }

    const bool full = m_uiFrameCounter >= n;
    const bool debug = m_pLogger && m_pLogger->GetLogLevel() >= RL_TRACE_DEBUG;
    float* slotMse = m_pMseWindow + slot * 3 * regions;
    uint8_t* slotSpikes = m_pSpikeWindow + slot * regions;
    int32_t flickering = 0;
    for (size_t k = 0; k < regions; ++k) {
        float* mse = m_pMse + 3 * k;
        float* sum = m_pWindowSum + 3 * k;
        int spikes = 0;
        float newSum[3];
        for (int c = 0; c < 3; ++c) {
            const float limit = m_fSpikeFactor * m_fWinsumThreshold[c];
            if (mse[c] > limit) {
                spikes |= 1 << c;
                const float clamped = (limit - 1.0f) / static_cast<float>(n);
                mse[c] = clamped > 0.0f ? clamped : 0.0f;
            }
            newSum[c] = sum[c] + mse[c];
        }
        int32_t counter = m_pSpikeCounter[k] + (spikes ? 1 : 0);
        if (full) {
            // The frame N frames ago leaves the window.
            for (int c = 0; c < 3; ++c) newSum[c] -= slotMse[3 * k + c];
            counter -= slotSpikes[k];
        }
        for (int c = 0; c < 3; ++c) sum[c] = newSum[c];
        m_pSpikeCounter[k] = counter;
        for (int c = 0; c < 3; ++c) slotMse[3 * k + c] = mse[c];
        slotSpikes[k] = spikes ? 1 : 0;
        if (!full) continue;

        const bool flicker = counter > m_iPeakThreshold || sum[0] > m_fWinsumThreshold[0] ||
                             sum[1] > m_fWinsumThreshold[1] || sum[2] > m_fWinsumThreshold[2];
        flickering += flicker ? 1 : 0;
        if (!isStatic && debug) {
            const char flags[4] = {spikes & 4 ? '1' : '0', spikes & 2 ? '1' : '0', spikes & 1 ? '1' : '0', 0};
            const int32_t idx = static_cast<int32_t>(k);
            RL_LOG(Debug,
                   "DIFF frame:%04u MSE_Y=%11.2f MSE_U=%11.2f MSE_V=%11.2f idx=%d blk=%d (%d, %d) %8.2f %8.2f %8.2f "
                   "%8.2d %d (%s)",
                   m_uiFrameCounter, mse[0], mse[1], mse[2], static_cast<int32_t>(slot), idx, idx % m_iGridColumns,
                   idx / m_iGridColumns, sum[0], sum[1], sum[2], flicker ? 1 : 0, counter, flags);
        }
    }

    if (!full) {
        ++m_uiFrameCounter;
        return RL_OK;
    }
    if (flickering > m_iRegionCount / 2) {
        m_uiHoldUntil = m_uiFrameCounter + static_cast<uint32_t>(m_iGracePeriod);
        m_bResult = true;
    } else {
        m_bResult = m_uiFrameCounter < m_uiHoldUntil;
    }
    AccountFrame(t0);
    ++m_uiFrameCounter;
    return RL_OK;
}

}  // namespace Ravvel
