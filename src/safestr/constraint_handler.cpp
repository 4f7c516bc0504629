#include <stdio.h>

#include <atomic>

#include "safestr/safe_lib.h"
#include "safestr/safe_lib_internal.h"

namespace {
// The one process-wide handler; atomic so that a handler swap on one thread
// never tears a read on another.
std::atomic<constraint_handler_t> g_handler{&safe_lib_default_constraint_handler};
}  // namespace

extern "C" {

void safe_lib_default_constraint_handler(const char*, void*, errno_t_rl) {}

void safe_lib_ignore_handler(const char*, void*, errno_t_rl) {}

constraint_handler_t safe_lib_set_constraint_handler(constraint_handler_t handler)
{
    return g_handler.exchange(handler ? handler : &safe_lib_default_constraint_handler);
}

void invoke_safe_lib_constraint_handler(const char* message, void* ptr, errno_t_rl error)
{
    constraint_handler_t h = g_handler.load();
    if (h) h(message, ptr, error);
}

}  // extern "C"

namespace Ravvel {
namespace SafeLib {

errno_t_rl Violation(const char* name, const char* condition, errno_t_rl code)
{
    // Names and conditions are short literals; the message lives only for the call.
    char message[128];
    snprintf(message, sizeof message, "%s: %s", name, condition);
    invoke_safe_lib_constraint_handler(message, nullptr, code);
    return code;
}

}  // namespace SafeLib
}  // namespace Ravvel
