#include "analysis/content_detection.h"

#include <cstring>

#include "frame/memory.h"

namespace Ravvel {

namespace {

// Largest working buffer VeskMalloc can describe with its 32-bit size.
constexpr uint64_t kMaxBufferBytes = 0x7fff0000u;

#define RL_TEXT_SEGMENTATION_FILLER(tier) \
    [](TextSegmentationFuncs* t) { t->pfnTextSegmentation8 = TextSegmentation8_##tier; }

const TierFillers<TextSegmentationFuncs> kTextSegmentationFillers = {
    [](TextSegmentationFuncs* t) { t->pfnTextSegmentation8 = TextSegmentation8_c; },
    RL_TEXT_SEGMENTATION_FILLER(sse2),
    RL_TEXT_SEGMENTATION_FILLER(ssse3),
    RL_TEXT_SEGMENTATION_FILLER(sse4),
    RL_TEXT_SEGMENTATION_FILLER(avx),
    RL_TEXT_SEGMENTATION_FILLER(avx2),
};

#undef RL_TEXT_SEGMENTATION_FILLER

}  // namespace

void FillTextSegmentationFuncs(TextSegmentationFuncs* table, uint32_t cpuFlags)
{
    FillKernelTable(table, cpuFlags, kTextSegmentationFillers);
}

CContentDetection::CContentDetection(uint32_t cpuFlags)
{
    FillTextSegmentationFuncs(&m_sFuncs, cpuFlags);
    m_sParam.pHistogram = static_cast<int32_t*>(VeskMalloc(256 * sizeof(int32_t), 16));
    m_sParam.pGradientBlock = static_cast<int32_t*>(VeskMalloc(32 * 32 * sizeof(int32_t), 16));
    // Hosts reset before the first frame; one that does not starts from the
    // same state instead of from indeterminate histories.
    m_iLastResult = RL_CONTENT_TEXT;
    for (int32_t& f : m_iTextFlag) f = RL_CONTENT_TEXT;
    std::memset(m_sParam.uiMotionStatus, 1, sizeof(m_sParam.uiMotionStatus));
    m_bFirstReportPending = true;
    m_strName = "Content Detection";
    CreateLogger();
}

CContentDetection::~CContentDetection()
{
    Uninit();
    VeskFree(m_sParam.pHistogram);
    VeskFree(m_sParam.pGradientBlock);
    DestroyLogger();
}

int32_t CContentDetection::Init(void* config, bool)
{
    if (!config) return RL_ERR_INVALID_PARAM;
    const SRLContentDetectionConfig* c = static_cast<const SRLContentDetectionConfig*>(config);
    if (c->eFormat != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
    if (c->iWidth <= 0 || c->iHeight <= 0) return RL_ERR_INVALID_PARAM;
    const uint64_t mapBytes = static_cast<uint64_t>((static_cast<int64_t>(c->iWidth) + 15) >> 4) *
                              static_cast<uint64_t>((static_cast<int64_t>(c->iHeight) + 15) >> 4);
    if (mapBytes > kMaxBufferBytes) return RL_ERR_NO_MEMORY;
    // The map only grows, so a later Init of a larger size still fits it.
    if (!m_pMbMap || mapBytes > m_uiMbMapBytes) {
        uint8_t* map = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(mapBytes), 16));
        if (!map) return RL_ERR_NO_MEMORY;
        VeskFree(m_pMbMap);
        m_pMbMap = map;
        m_uiMbMapBytes = static_cast<uint32_t>(mapBytes);
    }
    m_iWidth = c->iWidth;
    m_iHeight = c->iHeight;
    m_sParam.bHistoryFilled = false;
    return RL_OK;
}

int32_t CContentDetection::Uninit()
{
    VeskFree(m_pMbMap);
    m_pMbMap = nullptr;
    m_uiMbMapBytes = 0;
    VeskFree(m_pPrevFrame);
    m_pPrevFrame = nullptr;
    m_uiPrevFrameBytes = 0;
    m_iPrevWidth = m_iPrevHeight = m_iPrevStride = 0;
    ReinitStatistics();
    return RL_OK;
}

int32_t CContentDetection::SetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (option == RL_OPTION_CONTENT_CALLBACK) {
        const SRLContentCallback* cb = static_cast<const SRLContentCallback*>(value);
        const bool complete = cb->pfnCallback && cb->pContext;
        m_pfnCallback = complete ? cb->pfnCallback : nullptr;
        m_pCallbackContext = complete ? cb->pContext : nullptr;
        m_bCallbackRegistered = complete;
    } else if (option == RL_OPTION_CONTENT_RESET) {
        m_bResetRequested = *static_cast<const uint8_t*>(value) != 0;
    }
    return RL_OK;
}

int32_t CContentDetection::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (option == RL_OPTION_AVERAGE_TIME) {
        *static_cast<double*>(value) = AverageFrameTimeUs();
    }
    return RL_OK;
}

void CContentDetection::Reset()
{
    m_iLastResult = RL_CONTENT_TEXT;
    for (int32_t& f : m_iTextFlag) f = RL_CONTENT_TEXT;
    m_bFirstReportPending = true;
    std::memset(m_sParam.uiMotionStatus, 1, sizeof(m_sParam.uiMotionStatus));
    RL_LOG(Detail, "uiMotionStatus changed due to setparam");
    m_sParam.bHistoryFilled = false;
    m_sParam.iIndex = 0;
    m_bResetRequested = false;
}

bool CContentDetection::ReservePrevFrame(uint64_t bytes)
{
    if (m_pPrevFrame && bytes <= m_uiPrevFrameBytes) return true;
    VeskFree(m_pPrevFrame);
    m_pPrevFrame = nullptr;
    m_uiPrevFrameBytes = 0;
    m_iPrevWidth = m_iPrevHeight = m_iPrevStride = 0;
    if (bytes > kMaxBufferBytes) return false;
    m_pPrevFrame = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(bytes ? bytes : 16), 16));
    if (!m_pPrevFrame) return false;
    m_uiPrevFrameBytes = static_cast<uint32_t>(bytes);
    return true;
}

int32_t CContentDetection::Process(SRLPictureInfo* src, SRLPictureInfo*, void*)
{
    const int64_t t0 = NowUs();
    if (!src || src->eFormat != RL_FORMAT_I420 || !m_bCallbackRegistered)
        return RL_ERR_INVALID_PARAM;
    const int32_t width = src->iWidth, height = src->iHeight, stride = src->iStride[0];
    // Rows are read width bytes each and kept for the next frame: they must
    // exist, not overlap and not run backwards.
    if (!src->pData[0] || width <= 0 || height <= 0 || stride < width) return RL_ERR_INVALID_PARAM;
    if (!m_sParam.pHistogram || !m_sParam.pGradientBlock) return RL_ERR_NO_MEMORY;

    if (m_bResetRequested) Reset();
    if (width != m_iWidth || height != m_iHeight || !m_pMbMap) {
        RL_LOG(Detail, "m_iWidth: %d m_iHeight: %d cur_width: %d cur_height: %d", m_iWidth, m_iHeight, width,
               height);
        SRLContentDetectionConfig record = {width, height, src->eFormat};
        Uninit();
        const int32_t rc = Init(&record, false);
        if (rc != RL_OK) return rc;
    }
    if (!ReservePrevFrame(static_cast<uint64_t>(stride) * static_cast<uint64_t>(m_iHeight)))
        return RL_ERR_NO_MEMORY;

    vContentDetectionParam& p = m_sParam;
    if (p.iIndex == 7) p.bHistoryFilled = true;
    else if (p.iIndex == kContentHistoryFrames) p.iIndex = 0;

    // Only a kept frame of this very layout can be compared with; after a
    // geometry or stride change the first frame is analysed without one.
    const bool haveReference = m_iPrevWidth == width && m_iPrevHeight == height && m_iPrevStride == stride;
    p.pCurPlane = src->pData[0];
    p.pRefPlane = m_pPrevFrame;
    p.iCurWidth = width;
    p.iCurHeight = height;
    p.iRefWidth = haveReference ? m_iPrevWidth : 0;
    p.iRefHeight = haveReference ? m_iPrevHeight : 0;
    p.iSizeCap = static_cast<int32_t>((static_cast<int64_t>(src->iSizeCapWidth) * src->iSizeCapHeight) >> 8);
    p.iStride = stride;
    p.pMbMap = m_pMbMap;
    p.pLogger = m_pLogger;

    const int32_t result = m_sFuncs.pfnTextSegmentation8(&p);
    if (result < 0) return RL_ERR_FAILED;
    RL_LOG(Detail, "current content is %d ", result);
    m_iTextFlag[p.iIndex % kTextFlagFrames] = result;

    bool unchanged = false;
    for (int32_t f : m_iTextFlag) unchanged = unchanged || f == m_iLastResult;
    RL_LOG(Detail,
           "m_iTextFlag[0] %d m_iTextFlag[1] %d m_iTextFlag[2] %d m_iTextFlag[3] %d m_iTextFlag[4] %d "
           "m_iTextFlag[5] %d m_iTextFlag[6] %d m_iLastResult: %d",
           m_iTextFlag[0], m_iTextFlag[1], m_iTextFlag[2], m_iTextFlag[3], m_iTextFlag[4], m_iTextFlag[5],
           m_iTextFlag[6], m_iLastResult);
    RL_LOG(Detail, "iIndex is %d width is %d height is %d ", p.iIndex, width, height);
    if (unchanged) {
        if (m_bFirstReportPending && p.iIndex == 13) {
            m_pfnCallback(m_pCallbackContext, RL_CONTENT_TEXT);
            RL_LOG(Info, "first content change to %d ", RL_CONTENT_TEXT);
            m_bFirstReportPending = false;
        }
        // The last row is copied up to the width: the caller's plane may end there.
        const size_t bytes = static_cast<size_t>(stride) * (height - 1) + static_cast<size_t>(width);
        std::memcpy(m_pPrevFrame, src->pData[0], bytes);
        m_iPrevWidth = width;
        m_iPrevHeight = height;
        m_iPrevStride = stride;
        p.iIndex += 1;
    } else {
        // Seven frames in a row said otherwise.
        m_iLastResult = result;
        m_pfnCallback(m_pCallbackContext, result);
        m_bFirstReportPending = false;
        RL_LOG(Info, "content change to %d ", result);
    }
    AccountFrame(t0);
    return RL_OK;
}

}  // namespace Ravvel
