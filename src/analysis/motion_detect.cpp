#include "analysis/motion_detect.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>

#include "frame/memory.h"
#include "safestr/safe_lib.h"

namespace Ravvel {

namespace {

// Bounded copies refuse blocks above RSIZE_MAX_MEM, so large planes go over
// in pieces.
bool CopyBytes(uint8_t* dst, const uint8_t* src, size_t n)
{
    while (n) {
        const size_t chunk = n < RSIZE_MAX_MEM ? n : static_cast<size_t>(RSIZE_MAX_MEM);
        if (corvel_memcpy_s(dst, chunk, src, chunk) != 0) return false;
        dst += chunk, src += chunk, n -= chunk;
    }
    return true;
}

}  // namespace

uint32_t SumBytes(const uint8_t* p, size_t count)
{
    // SSE2 is part of every x86-64 processor, so this needs no tier.
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = zero;
    size_t i = 0;
    for (; i + 16 <= count; i += 16)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), zero));
    uint64_t sum = static_cast<uint64_t>(_mm_cvtsi128_si64(acc)) +
                   static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(acc, acc)));
    for (; i < count; ++i) sum += p[i];
    return static_cast<uint32_t>(sum);  // a 32-bit sum, as the refresh rule compares it
}

uint32_t FindMaskBoundary(const uint8_t* mask, int32_t width, int32_t height, int32_t radius, uint8_t threshold,
                          uint32_t* integral, uint32_t* band)
{
    const size_t w = static_cast<size_t>(width);
    // Inclusive integral image of the inside/outside map. Unsigned words wrap
    // on huge masks, but window sums are differences and stay exact.
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* m = mask + y * w;
        uint32_t* row = integral + y * w;
        const uint32_t* above = y ? row - w : nullptr;
        uint32_t run = 0;
        for (size_t x = 0; x < w; ++x) {
            run += m[x] > threshold ? 1u : 0u;
            row[x] = above ? run + above[x] : run;
        }
    }
    uint32_t count = 0;
    for (int32_t y = 0; y < height; ++y) {
        const int32_t y0 = y - (y < radius ? y : radius);
        const int32_t y1 = y + (height - 1 - y < radius ? height - 1 - y : radius);
        const uint32_t* bottom = integral + y1 * w;
        const uint32_t* top = y0 ? integral + (y0 - 1) * w : nullptr;
        const uint32_t rows = static_cast<uint32_t>(y1 - y0 + 1);
        for (int32_t x = 0; x < width; ++x) {
            const int32_t x0 = x - (x < radius ? x : radius);
            const int32_t x1 = x + (width - 1 - x < radius ? width - 1 - x : radius);
            uint32_t sum = bottom[x1];
            if (x0) sum -= bottom[x0 - 1];
            if (top) {
                sum -= top[x1];
                if (x0) sum += top[x0 - 1];
            }
            const uint32_t area = rows * static_cast<uint32_t>(x1 - x0 + 1);
            if (sum > 0 && sum < area) band[count++] = static_cast<uint32_t>(y * w + x);
        }
    }
    return count;
}

CMotionDetect::CMotionDetect(uint32_t)
{
    m_strName = "MotionDetect";
    CreateLogger();
}

CMotionDetect::~CMotionDetect()
{
    RL_LOG(Info, "CMotionDetect::~CMotionDetect() begin");
    Uninit();
    DestroyLogger();
}

void CMotionDetect::FreeBuffers()
{
    for (uint8_t*& p : m_pReference) {
        VeskFree(p);
        p = nullptr;
    }
    VeskFree(m_pBoundary);
    VeskFree(m_pIntegral);
    m_pBoundary = nullptr;
    m_pIntegral = nullptr;
    m_uiBoundaryCount = 0;
}

int32_t CMotionDetect::Init(void* config, bool)
{
    if (!config) {
        RL_LOG(Warning, "CMotionDetect::Init(), config is null");
        return RL_ERR_INVALID_PARAM;
    }
    const SRLMotionDetectConfig& c = *static_cast<const SRLMotionDetectConfig*>(config);
    if (c.width == 0 || c.height == 0) {
        RL_LOG(Warning, "CMotionDetect::Init(), input or output frame size is 0");
        return RL_ERR_INVALID_PARAM;
    }
    RL_LOG(Info, "CMotionDetect::Init(): parameter is width=%d height=%d min_predict_step=%d area_threshold=%f",
           c.width, c.height, c.min_predict_step, c.area_threshold);
    // Checked before anything is stored, so that a refused record leaves a
    // working configuration and its buffers as they were.
    if (static_cast<uint32_t>(c.width) > 10000000u || static_cast<uint32_t>(c.height) > 10000000u ||
        static_cast<uint32_t>(c.min_predict_step) > 100u || !(c.area_threshold >= 0.0 && c.area_threshold <= 1.0)) {
        RL_LOG(Warning, "CMotionDetect::Init(), some parameter is not valid.");
        return RL_ERR_INVALID_PARAM;
    }
    // Reference planes, band list and scratch are all sized by the pixel
    // count, the last two at four bytes a pixel; blocks hold at most 4 GiB.
    const uint64_t pixels = static_cast<uint64_t>(c.width) * static_cast<uint64_t>(c.height);
    if (pixels > 0xFFFFFFFFull / 4) return RL_ERR_NO_MEMORY;
    FreeBuffers();
    m_bInited = false;
    const uint32_t n = static_cast<uint32_t>(pixels);
    for (uint8_t*& p : m_pReference) p = static_cast<uint8_t*>(VeskMalloc(n, 32));
    m_pBoundary = static_cast<uint32_t*>(VeskMalloc(n * 4, 32));
    m_pIntegral = static_cast<uint32_t*>(VeskMalloc(n * 4, 32));
    if (!m_pReference[0] || !m_pReference[1] || !m_pReference[2] || !m_pBoundary || !m_pIntegral) {
        FreeBuffers();
        return RL_ERR_NO_MEMORY;
    }
    m_iWidth = c.width;
    m_iHeight = c.height;
    m_uPixelCount = n;
    m_iMinPredictStep = c.min_predict_step;
    m_dAreaThreshold = c.area_threshold;
    // A new configuration starts a new history.
    m_iFramesSinceChange = 0;
    m_iChangeCount = 0;
    m_uiLastMaskSum = 0;
    m_bFirstFrame = true;
    m_bInited = true;
    return RL_OK;
}

int32_t CMotionDetect::Uninit()
{
    FreeBuffers();
    m_bInited = false;
    return RL_OK;
}

int32_t CMotionDetect::SetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (option != RL_OPTION_MOTION_RESULT) return RL_ERR_UNSUPPORTED;
    m_pResult = static_cast<int32_t*>(value);
    return RL_OK;
}

int32_t CMotionDetect::GetOption(RL_EOption option, void* value)
{
    if (option != RL_OPTION_AVERAGE_TIME) return RL_OK;
    if (!value) return RL_ERR_INVALID_PARAM;
    *static_cast<double*>(value) = AverageFrameTimeUs();
    return RL_OK;
}

int32_t CMotionDetect::IsChanged(const SRLPictureInfo& picture)
{
    int32_t& c = m_iFramesSinceChange;
    if (c < m_iMinPredictStep) {
        ++c;
        return 0;
    }
    if (c > m_iLongestQuietRun) {
        c = 0;
        return 1;
    }
    if (m_uiBoundaryCount >= m_uiMinBoundaryCount) {
        const uint8_t* cur0 = picture.pData[0];
        const uint8_t* cur1 = picture.pData[1];
        const uint8_t* cur2 = picture.pData[2];
        const uint8_t* ref0 = m_pReference[0];
        const uint8_t* ref1 = m_pReference[1];
        const uint8_t* ref2 = m_pReference[2];
        uint32_t changed = 0;
        for (uint32_t k = 0; k < m_uiBoundaryCount; ++k) {
            const uint32_t i = m_pBoundary[k];
            const int32_t d = std::abs(ref0[i] - cur0[i]) + std::abs(ref1[i] - cur1[i]) + std::abs(ref2[i] - cur2[i]);
            changed += d > m_iPixelDiffThreshold ? 1u : 0u;
        }
        if (static_cast<double>(changed) / static_cast<double>(m_uiBoundaryCount) > m_dAreaThreshold) {
            c = 0;
            return 1;
        }
    }
    ++c;
    return 0;
}

bool CMotionDetect::UpdateImage(const SRLPictureInfo& picture)
{
    if (!picture.pMask) return false;
    for (int p = 0; p < 3; ++p)
        if (!CopyBytes(m_pReference[p], picture.pData[p], m_uPixelCount)) return false;
    m_uiBoundaryCount = FindMaskBoundary(picture.pMask, m_iWidth, m_iHeight, m_iWindowSize / 2, m_ucMaskThreshold,
                                         m_pIntegral, m_pBoundary);
    return true;
}

int32_t CMotionDetect::Process(SRLPictureInfo* src, SRLPictureInfo*, void*)
{
    if (!src) {
        RL_LOG(Warning, "CMotionDetect::Process(), input or output picture pointer is null");
        return RL_ERR_INVALID_PARAM;
    }
    if (!m_bInited) {
        RL_LOG(Warning, "CMotionDetect::Process(), uninitialized");
        return RL_ERR_FAILED;
    }
    if (static_cast<uint32_t>(src->eFormat) != RL_FORMAT_RGB_PLANAR || src->iWidth != m_iWidth ||
        src->iHeight != m_iHeight)
        return RL_ERR_UNSUPPORTED;
    // Planes are read top-down and packed; a negative pitch describes a plane
    // that lies below its pointer, where such a walk would leave it.
    for (int p = 0; p < 3; ++p)
        if (!src->pData[p] || src->iStride[p] < 0) return RL_ERR_INVALID_PARAM;
    // Every frame needs the mask (its sum decides the refresh), so a frame
    // without one is refused before it changes any state.
    if (!src->pMask) return RL_ERR_FAILED;

    const int64_t t0 = NowUs();
    if (m_bFirstFrame) {
        if (!UpdateImage(*src)) return RL_ERR_FAILED;
        if (m_pResult) *m_pResult = 1;
        m_bFirstFrame = false;
    } else {
        const int32_t r = IsChanged(*src);
        if (m_pResult) *m_pResult = r;
        if (r == 1) ++m_iChangeCount;
        const uint32_t s = SumBytes(src->pMask, m_uPixelCount);
        const double d =
            std::fabs((static_cast<double>(m_uiLastMaskSum) + 1.0) / (static_cast<double>(s) + 1.0) - 1.0);
        if (d > m_dMaskAreaTolerance || m_iChangeCount % m_iRefreshPeriod == 0) {
            m_uiLastMaskSum = s;
            ++m_iChangeCount;
            if (!UpdateImage(*src)) return RL_ERR_FAILED;
        }
    }
    // Timing is accumulated but never logged periodically by this method.
    const int64_t t1 = NowUs();
    if (m_pStatistics) {
        m_pStatistics->uiTotalTimeUs += static_cast<uint64_t>(t1 > t0 ? t1 - t0 : 0);
        m_pStatistics->uiFrames += 1;
    }
    return RL_OK;
}

}  // namespace Ravvel
