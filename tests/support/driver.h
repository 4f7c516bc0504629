// Drives one IRavvel object the way a careless host would: Init records,
// options and pictures built from a stream of choices. Shared by the fuzz
// targets and the lifecycle test.
#ifndef RAVVEL_TESTS_SUPPORT_DRIVER_H
#define RAVVEL_TESTS_SUPPORT_DRIVER_H

#include <memory>

#include "ravvel.h"
#include "support/method_catalog.h"
#include "support/picture.h"

namespace rltest {

// The result codes any operation may return.
inline bool IsDocumentedResult(int32_t r)
{
    return r == RL_OK || r == RL_ERR_FAILED || r == RL_ERR_INVALID_PARAM || r == RL_ERR_NO_MEMORY ||
           r == RL_ERR_UNSUPPORTED || r == RL_ERR_MISMATCH || r == RL_ERR_NOT_INITIALIZED ||
           r == RL_ERR_BAD_FORMAT;
}

class Driver {
public:
    explicit Driver(IRavvel* rl) : m_rl(rl) {}

    // Each step returns the operation's result.
    int32_t InitMethod(const MethodEntry& m, Choices& c);
    int32_t SetSomeOption(const MethodEntry& m, Choices& c);
    int32_t GetSomeOption(const MethodEntry& m, Choices& c);
    int32_t ProcessFrame(const MethodEntry& m, Choices& c);
    // Process with a known-good picture pair of a given format and size.
    int32_t ProcessFormat(const MethodEntry& m, uint32_t format, int w, int h);
    // One random operation on a random method; false when the choices ran out.
    bool Step(Choices& c, int32_t* result);

private:
    IRavvel* m_rl;
    Picture m_src, m_dst;
};

}  // namespace rltest

#endif
