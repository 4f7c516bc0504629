// Drives the public interface like a careless host: random methods, Init
// records, options and pictures (planes allocated exactly as large as their
// descriptors say), in random order. Any crash, out-of-bounds access, leak or
// result outside the documented codes is a finding.
#include <cstdio>
#include <cstdlib>

#include "support/driver.h"

namespace {
void DiscardLog(void*, RL_ETraceLevel, const char*) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    IRavvel* rl = nullptr;
    if (CreateRavvel(&rl) != RL_OK) std::abort();
    RLLogCallbackFunc quiet = &DiscardLog;
    rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &quiet);
    rltest::Driver driver(rl);
    rltest::Choices c(data, size);
    int32_t r = 0;
    for (int steps = 0; steps < 64 && driver.Step(c, &r); ++steps) {
        if (!rltest::IsDocumentedResult(r)) {
            std::fprintf(stderr, "undocumented result %d\n", r);
            std::abort();
        }
    }
    DestroyRavvel(rl);
    return 0;
}
