#include "frame/logger.h"

#include <cstdio>

#include "safestr/safe_lib.h"

namespace Ravvel {

namespace {
const char* const kLevelKeyword[] = {"ERROR", "WARNING", "INFO", "DEBUG", "DETAIL"};
}

Logger::Logger(void* owner, const std::string& name) : m_pOwner(owner), m_strName(name) {}

Logger::~Logger() = default;

void Logger::SetLogLevel(int32_t level)
{
    if (level < 0)
        m_iLevel = -1;
    else
        m_iLevel = level > RL_TRACE_DETAIL ? RL_TRACE_DETAIL : level;
}

void Logger::SetLogCallbackFunc(RLLogCallbackFunc func)
{
    if (func != nullptr) m_pfnCallback = func;
}

#define RL_LOGGER_FORWARD(level)             \
    va_list args;                            \
    va_start(args, format);                  \
    OutputMessage((level), format, args);    \
    va_end(args)

void Logger::Error(const char* format, ...) { RL_LOGGER_FORWARD(RL_TRACE_ERROR); }
void Logger::Warning(const char* format, ...) { RL_LOGGER_FORWARD(RL_TRACE_WARNING); }
void Logger::Info(const char* format, ...) { RL_LOGGER_FORWARD(RL_TRACE_INFO); }
void Logger::Debug(const char* format, ...) { RL_LOGGER_FORWARD(RL_TRACE_DEBUG); }
void Logger::Detail(const char* format, ...) { RL_LOGGER_FORWARD(RL_TRACE_DETAIL); }
void Logger::Log(int32_t level, const char* format, ...) { RL_LOGGER_FORWARD(level); }

#undef RL_LOGGER_FORWARD

void Logger::OutputMessage(int32_t level, const char* format, va_list args)
{
    const int32_t threshold = level > 0 ? level : 0;
    if (m_iLevel < threshold || level > RL_TRACE_DETAIL) return;
    char line[kMaxLine];
    ConstructMessage(line, level, format, args);
    m_pfnCallback(m_pInstance, static_cast<RL_ETraceLevel>(level), line);
}

void Logger::ConstructMessage(char* out, int32_t level, const char* format, va_list args) const
{
    const char* keyword = kLevelKeyword[level < 0 ? 0 : level];
    char combined[kMaxLine];
    std::snprintf(combined, sizeof combined, "[rl][%s] %s=%p, %s: ", m_strName.c_str(), m_strName.c_str(),
                  m_pOwner, keyword);
    // The caller's format goes behind the prefix; if both do not fit the
    // checked concatenation leaves an empty string, so an empty line is sent.
    corvel_strcat_s(combined, sizeof combined, format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::vsnprintf(out, kMaxLine, combined, args);
#pragma GCC diagnostic pop
}

void Logger::DefaultPrinter(void*, RL_ETraceLevel level, const char* message)
{
    std::fprintf(level == RL_TRACE_ERROR ? stderr : stdout, "%s\n", message);
}

}  // namespace Ravvel
