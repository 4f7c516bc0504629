#include "frame/framework.h"

#include <sys/time.h>

#include <new>

namespace Ravvel {

int64_t NowMicroseconds()
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

CRavvelFramework::CRavvelFramework() : m_pStatistics(new StatisticsInfo(NowMicroseconds() / 1000)) {}

CRavvelFramework::~CRavvelFramework()
{
    DestroyLogger();
    delete m_pStatistics;
}

int32_t CRavvelFramework::Process(SRLPictureInfo*, SRLPictureInfo*, void*) { return RL_ERR_UNSUPPORTED; }

int32_t CRavvelFramework::GpuProcess(RL_ESubMethod, GpuRLPictureInfo*, GpuRLPictureInfo*)
{
    return RL_ERR_UNSUPPORTED;
}

void CRavvelFramework::CreateLogger()
{
    if (!m_pLogger) m_pLogger = new (std::nothrow) Logger(this, m_strName);
}

void CRavvelFramework::DestroyLogger()
{
    delete m_pLogger;
    m_pLogger = nullptr;
}

void CRavvelFramework::InitLogger(RL_ETraceLevel level, RLLogCallbackFunc func, void* instance)
{
    if (!m_pLogger) return;
    m_pLogger->SetLogLevel(level);
    m_pLogger->SetLogCallbackFunc(func);
    m_pLogger->SetLogCallbackInstance(instance);
}

void CRavvelFramework::ReinitStatistics()
{
    if (!m_pStatistics) return;
    m_pStatistics->uiTotalTimeUs = 0;
    m_pStatistics->uiFrames = 0;
    m_pStatistics->uiSpare = 0;
    m_pStatistics->iStartTimeMs = NowUs() / 1000;
}

void CRavvelFramework::SetClock(ClockFunc clock)
{
    m_pfnClock = clock ? clock : &NowMicroseconds;
    if (m_pStatistics) m_pStatistics->iStartTimeMs = NowUs() / 1000;
}

void CRavvelFramework::SetStatInterval(void* value)
{
    m_iStatInterval = *static_cast<const int32_t*>(value);
}

void CRavvelFramework::GetStatisticsLog(StatisticsInfo* s)
{
    if (!s || !m_pLogger) return;
    const int64_t now = NowUs() / 1000;
    const int64_t elapsed = now - s->iStartTimeMs;
    const int64_t limit = m_iStatInterval > 0 ? m_iStatInterval : 10000;
    if (elapsed <= limit) return;
    m_pLogger->Info("%f ms per frame",
                    static_cast<double>(s->uiTotalTimeUs) / (static_cast<double>(s->uiFrames) * 1000.0));
    s->uiTotalTimeUs = 0;
    s->uiFrames = 0;
    s->iStartTimeMs = now;
}

void CRavvelFramework::AccountFrame(int64_t startUs)
{
    const int64_t end = NowUs();
    if (m_pStatistics) {
        m_pStatistics->uiTotalTimeUs += static_cast<uint64_t>(end > startUs ? end - startUs : 0);
        m_pStatistics->uiFrames += 1;
    }
    GetStatisticsLog(m_pStatistics);
}

}  // namespace Ravvel
