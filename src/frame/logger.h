// Per-object logger: one formatted line per message, handed to a callback
// that the host can replace.
#ifndef RAVVEL_FRAME_LOGGER_H
#define RAVVEL_FRAME_LOGGER_H

#include <cstdarg>
#include <string>

#include "ravvel.h"

namespace Ravvel {

class Logger {
public:
    // Longest line handed to the callback is kMaxLine - 1 characters.
    static constexpr int kMaxLine = 1024;

    Logger(void* owner, const std::string& name);
    virtual ~Logger();

    void SetLogLevel(int32_t level);
    int32_t GetLogLevel() const { return m_iLevel; }
    void SetLogCallbackFunc(RLLogCallbackFunc func);
    RLLogCallbackFunc GetLogCallbackFunc() const { return m_pfnCallback; }
    void SetLogCallbackInstance(void* instance) { m_pInstance = instance; }
    void* GetLogCallbackInstance() const { return m_pInstance; }

    void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Warning(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Info(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Debug(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Detail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Log(int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    void OutputMessage(int32_t level, const char* format, va_list args);

    // The built-in printer: level 0 to standard error, the rest to standard output.
    static void DefaultPrinter(void* instance, RL_ETraceLevel level, const char* message);

private:
    void ConstructMessage(char* out, int32_t level, const char* format, va_list args) const;

    int32_t m_iLevel = RL_TRACE_INFO;
    RLLogCallbackFunc m_pfnCallback = &Logger::DefaultPrinter;
    void* m_pInstance = nullptr;
    void* m_pOwner;
    std::string m_strName;
};

}  // namespace Ravvel

#endif
