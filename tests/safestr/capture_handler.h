// Test fixture that records every constraint-handler call.
#ifndef RAVVEL_TESTS_SAFESTR_CAPTURE_HANDLER_H
#define RAVVEL_TESTS_SAFESTR_CAPTURE_HANDLER_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "safestr/safe_lib.h"

struct HandlerCall {
    std::string message;
    errno_t_rl code;
};

class SafeLibTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Calls().clear();
        safe_lib_set_constraint_handler(&Capture);
    }
    void TearDown() override { safe_lib_set_constraint_handler(nullptr); }

    static std::vector<HandlerCall>& Calls()
    {
        static std::vector<HandlerCall> calls;
        return calls;
    }
    static void Capture(const char* message, void*, errno_t_rl code) { Calls().push_back({message, code}); }

    // Exactly one handler call since the last check, with this text and code.
    static void ExpectReported(const std::string& message, errno_t_rl code)
    {
        ASSERT_EQ(Calls().size(), 1u) << (Calls().empty() ? std::string("no call") : Calls().back().message);
        EXPECT_EQ(Calls()[0].message, message);
        EXPECT_EQ(Calls()[0].code, code);
        Calls().clear();
    }
    static void ExpectQuiet()
    {
        EXPECT_TRUE(Calls().empty()) << Calls().front().message;
        Calls().clear();
    }
};


// One violation: the call runs on a 16-byte buffer holding "ab\0" and then 'x'
// up to the end (no terminator after index 2). Afterwards [clearBegin,
// clearEnd) must be zero and nothing outside [clearBegin, windowEnd) may
// have changed.
struct Effect {
    size_t clearBegin, clearEnd, windowEnd;
};
// clang-format off
constexpr Effect kUntouched{0, 0, 0};
constexpr Effect Cleared(size_t begin, size_t end) { return {begin, end, end}; }
constexpr Effect Emptied(size_t at, size_t windowEnd) { return {at, at + 1, windowEnd}; }

struct ViolationCase {
    const char* label;
    long long (*call)(char* buf);
    long long result;  // what the member returns
    errno_t_rl code;   // what the handler receives
    const char* message;
    Effect effect;
};

// A member answering with a length, a flag or a pointer (compared as != nullptr).
#define VALUE_CASE(label, expr, result, code, message, effect) \
    ViolationCase{label, [](char* b) -> long long { (void)b; return (long long)(expr); }, \
                  result, code, message, effect}
// A member returning the code itself.
#define CASE(label, expr, code, message, effect) VALUE_CASE(label, expr, code, code, message, effect)
// clang-format on

class ViolationTest : public SafeLibTest, public ::testing::WithParamInterface<ViolationCase> {};

inline std::string CaseName(const ::testing::TestParamInfo<ViolationCase>& info)
{
    return info.param.label;
}

#endif
