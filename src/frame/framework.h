// Base class of every processing method: name, logger, timing statistics.
#ifndef RAVVEL_FRAME_FRAMEWORK_H
#define RAVVEL_FRAME_FRAMEWORK_H

#include <cstdint>
#include <string>

#include "frame/logger.h"
#include "ravvel.h"

namespace Ravvel {

// Wall clock in microseconds since the epoch.
int64_t NowMicroseconds();

// A clock a method reads for its timing statistics; tests replace it so that
// statistics intervals can be driven without sleeping.
using ClockFunc = int64_t (*)();

struct StatisticsInfo {
    explicit StatisticsInfo(int64_t nowMs) : iStartTimeMs(nowMs) {}
    int64_t iStartTimeMs;
    uint64_t uiTotalTimeUs = 0;
    uint32_t uiFrames = 0;
    uint32_t uiSpare = 0;  // free for the method's own use (the denoiser keeps its peak noise here)
};

class CRavvelFramework {
public:
    CRavvelFramework();
    virtual ~CRavvelFramework();

    virtual int32_t Init(void* config, bool flag) = 0;
    virtual int32_t Uninit() = 0;
    virtual int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra);
    virtual int32_t GpuProcess(RL_ESubMethod sub, GpuRLPictureInfo* src, GpuRLPictureInfo* dst);
    virtual int32_t SetOption(RL_EOption option, void* value) = 0;
    virtual int32_t GetOption(RL_EOption option, void* value) = 0;
    virtual void GetStatisticsLog(StatisticsInfo* s);

    // Whether the method overrides GpuProcess (none does).
    virtual bool HasGpuProcess() const { return false; }

    void CreateLogger();
    void DestroyLogger();
    void InitLogger(RL_ETraceLevel level, RLLogCallbackFunc func, void* instance);
    void ReinitStatistics();
    void SetStatInterval(void* value);

    Logger* GetLogger() const { return m_pLogger; }
    StatisticsInfo* GetStatistics() const { return m_pStatistics; }
    int64_t GetStatInterval() const { return m_iStatInterval; }
    const std::string& GetName() const { return m_strName; }
    bool IsInited() const { return m_bInited; }

    // Replaces the clock and restarts the statistics window on it.
    void SetClock(ClockFunc clock);
    int64_t NowUs() const { return m_pfnClock(); }

protected:
    // Timing pattern of every Process: the caller reads NowUs() on entry and
    // hands it here after the work.
    void AccountFrame(int64_t startUs);
    // Microseconds per frame over the statistics window (the answer to
    // RL_OPTION_AVERAGE_TIME); 0 before any timed frame.
    double AverageFrameTimeUs() const
    {
        const StatisticsInfo* s = m_pStatistics;
        return s && s->uiFrames ? static_cast<double>(s->uiTotalTimeUs) / static_cast<double>(s->uiFrames) : 0.0;
    }

    Logger* m_pLogger = nullptr;
    bool m_bInited = false;
    int32_t m_iAlignment = 16;
    std::string m_strName = "Null";
    StatisticsInfo* m_pStatistics = nullptr;
    int64_t m_iStatInterval = -1;
    ClockFunc m_pfnClock = &NowMicroseconds;

private:
    CRavvelFramework(const CRavvelFramework&) = delete;
    CRavvelFramework& operator=(const CRavvelFramework&) = delete;
};

// Logging helpers that tolerate a missing logger.
#define RL_LOG(level, ...)                                                    \
    do {                                                                      \
        if (m_pLogger) m_pLogger->level(__VA_ARGS__);                         \
    } while (0)

}  // namespace Ravvel

#endif
