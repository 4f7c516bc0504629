// Create, initialise every method, process frames of each format, uninitialise
// and destroy, several times over. CI also runs this program under valgrind:
// no leak and no invalid access may remain.
#include <gtest/gtest.h>

#include "support/driver.h"

namespace {

using rltest::Driver;
using rltest::MethodEntry;

void DiscardLog(void*, RL_ETraceLevel, const char*) {}

class Lifecycle : public testing::TestWithParam<size_t> {};

TEST_P(Lifecycle, InitProcessUninitRepeated)
{
    const MethodEntry& m = rltest::MethodCatalog()[GetParam()];
    for (int round = 0; round < 3; ++round) {
        IRavvel* rl = nullptr;
        ASSERT_EQ(CreateRavvel(&rl), RL_OK);
        RLLogCallbackFunc quiet = &DiscardLog;
        rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &quiet);
        Driver driver(rl);
        const uint8_t seed[] = {250, 250, 250, 250, 250, 250, 250, 250, 250};
        rltest::Choices defaults(seed, sizeof seed);
        const int32_t init = driver.InitMethod(m, defaults);
        if (init == RL_ERR_INVALID_PARAM && round == 0) {
            DestroyRavvel(rl);
            GTEST_SKIP() << m.name << " is not in this build";
        }
        for (uint32_t format : m.srcFormats) {
            for (int frame = 0; frame < 2; ++frame) {
                const int32_t r = driver.ProcessFormat(m, format, 64 + 2 * round, 48 - 2 * round);
                EXPECT_TRUE(rltest::IsDocumentedResult(r)) << m.name << " format " << format << " gave " << r;
            }
        }
        EXPECT_EQ(rl->Uninit(m.method), RL_OK);
        // Re-create after Uninit and leave it for the destructor to clean up.
        driver.InitMethod(m, defaults);
        driver.ProcessFormat(m, RL_FORMAT_I420, 32, 32);
        DestroyRavvel(rl);
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, Lifecycle, testing::Range<size_t>(0, rltest::MethodCatalog().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return std::string(rltest::MethodCatalog()[info.param].name);
                         });

// Random operation sequences on every method at once, from fixed seeds.
TEST(LifecycleRandom, MixedSequencesStayWithinTheResultCodes)
{
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::vector<uint8_t> bytes(600);
        uint32_t s = seed * 2654435761u;
        for (uint8_t& b : bytes) {
            s ^= s << 13, s ^= s >> 17, s ^= s << 5;
            b = static_cast<uint8_t>(s >> 24);
        }
        IRavvel* rl = nullptr;
        ASSERT_EQ(CreateRavvel(&rl), RL_OK);
        RLLogCallbackFunc quiet = &DiscardLog;
        rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &quiet);
        Driver driver(rl);
        rltest::Choices c(bytes.data(), bytes.size());
        int32_t r = 0;
        while (driver.Step(c, &r)) ASSERT_TRUE(rltest::IsDocumentedResult(r)) << "seed " << seed << " result " << r;
        DestroyRavvel(rl);
    }
}

}  // namespace
