// Captures log lines through the host callback.
#ifndef RAVVEL_TESTS_SUPPORT_LOG_CAPTURE_H
#define RAVVEL_TESTS_SUPPORT_LOG_CAPTURE_H

#include <string>
#include <vector>

#include "ravvel.h"

namespace rltest {

struct LogLine {
    RL_ETraceLevel level;
    std::string text;
};

// Pass a LogCapture* as the callback instance and LogCapture::Callback as the function.
struct LogCapture {
    std::vector<LogLine> lines;
    static void Callback(void* instance, RL_ETraceLevel level, const char* message)
    {
        static_cast<LogCapture*>(instance)->lines.push_back({level, message});
    }
    bool Contains(const std::string& needle) const
    {
        for (const LogLine& l : lines)
            if (l.text.find(needle) != std::string::npos) return true;
        return false;
    }
    // Routes every logger of `rl` (manager and existing methods) here.
    void Attach(IRavvel* rl)
    {
        RLLogCallbackFunc fn = &LogCapture::Callback;
        void* self = this;
        rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &fn);
        rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK_INSTANCE, &self);
    }
};

}  // namespace rltest

#endif
