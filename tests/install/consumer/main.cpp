// A host built only against the installed header and library.
#include <ravvel.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
std::string g_last;
void Capture(void*, RL_ETraceLevel, const char* message) { g_last = message; }
}  // namespace

int main()
{
    IRavvel* rl = nullptr;
    if (CreateRavvel(&rl) != RL_OK || rl == nullptr) return 1;
    const SRLVersion v = GetRavvelVersion();
    if (v.uiMajor != 4 || v.uiMinor != 9 || v.uiRevision != 2 || v.uiBuild != 0) return 2;
    RLLogCallbackFunc fn = &Capture;
    if (rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &fn) != RL_OK) return 3;
    int32_t level = RL_TRACE_INFO;
    if (rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_LEVEL, &level) != RL_OK) return 4;
    int32_t ms = 1000;
    if (rl->SetOption(RL_METHOD_ALL, RL_OPTION_STAT_INTERVAL, &ms) != RL_ERR_FAILED) return 5;
    if (rl->Init(static_cast<RL_EMethod>(27), nullptr, false) != RL_ERR_INVALID_PARAM) return 6;
    if (g_last.find("INFO: Invalid parameter") == std::string::npos) return 7;
    DestroyRavvel(rl);
    std::printf("consumer ok: %u.%u.%u.%u arch %d\n", v.uiMajor, v.uiMinor, v.uiRevision, v.uiBuild,
                GetRavvelArch());
    return 0;
}
