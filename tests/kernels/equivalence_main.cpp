// Runs every registered kernel family on every tier this machine supports
// and compares each tier's output with the reference, byte for byte.
//   test_kernels            the equivalence tests (GoogleTest)
//   test_kernels --bench    time every family per tier on its largest case
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "kernels/harness.h"
#include "ravvel.h"

namespace {

using rltest::ErasedFamily;
using rltest::KernelCase;
using rltest::Output;

class EquivalenceTest : public testing::Test {
public:
    EquivalenceTest(const ErasedFamily* family, int tier) : m_family(family), m_tier(tier) {}
    void TestBody() override
    {
        for (const KernelCase& c : m_family->cases) {
            Output ref, got;
            m_family->run(Ravvel::RL_TIER_C, c, ref);
            m_family->run(m_tier, c, got);
            ASSERT_EQ(ref.bytes().size(), got.bytes().size()) << rltest::Describe(c);
            const auto& a = ref.bytes();
            const auto& b = got.bytes();
            for (size_t i = 0; i < a.size(); ++i) {
                if (a[i] != b[i]) {
                    FAIL() << m_family->name << "_" << Ravvel::TierName(m_tier) << " differs from the reference at "
                           << ref.Locate(i) << ": expected " << int(a[i]) << ", got " << int(b[i]) << " (case "
                           << rltest::Describe(c) << ")";
                }
            }
        }
    }

private:
    const ErasedFamily* m_family;
    int m_tier;
};

void RegisterAll()
{
    for (const ErasedFamily& f : rltest::Families()) {
        for (int t = Ravvel::RL_TIER_SSE2; t < Ravvel::RL_TIER_COUNT; ++t) {
            if (!f.has[t] || !rltest::MachineHasTier(t)) continue;
            const ErasedFamily* fp = &f;
            testing::RegisterTest("KernelEquivalence", (f.name + "_" + Ravvel::TierName(t)).c_str(), nullptr,
                                  nullptr, __FILE__, __LINE__,
                                  [fp, t]() -> testing::Test* { return new EquivalenceTest(fp, t); });
        }
    }
}

void PrintTiers()
{
    std::printf("Kernel equivalence: %zu families; tiers exercised on this machine:", rltest::Families().size());
    for (int t = Ravvel::RL_TIER_SSE2; t < Ravvel::RL_TIER_COUNT; ++t)
        if (rltest::MachineHasTier(t)) std::printf(" %s", Ravvel::TierName(t));
    std::printf("\n");
}

int RunBench()
{
    std::printf("%-40s", "family (largest case), ns per call");
    for (int t = 0; t < Ravvel::RL_TIER_COUNT; ++t) std::printf("%10s", Ravvel::TierName(t));
    std::printf("\n");
    for (const ErasedFamily& f : rltest::Families()) {
        const KernelCase* big = &f.cases.front();
        for (const KernelCase& c : f.cases)
            if (c.width * c.height > big->width * big->height) big = &c;
        std::printf("%-40s", (f.name + " " + std::to_string(big->width) + "x" + std::to_string(big->height)).c_str());
        for (int t = 0; t < Ravvel::RL_TIER_COUNT; ++t) {
            if (!f.has[t] || !rltest::MachineHasTier(t)) {
                std::printf("%10s", "-");
                continue;
            }
            // Inputs are rebuilt on every call; subtract that cost by timing the
            // reference separately is not possible here, so report the total.
            double best = 1e30;
            for (int rep = 0; rep < 5; ++rep) {
                Output out;
                const auto t0 = std::chrono::steady_clock::now();
                f.run(t, *big, out);
                const auto t1 = std::chrono::steady_clock::now();
                const double ns = std::chrono::duration<double, std::nano>(t1 - t0).count();
                if (ns < best) best = ns;
            }
            std::printf("%10.0f", best);
        }
        std::printf("\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--bench") == 0) return RunBench();
    testing::InitGoogleTest(&argc, argv);
    PrintTiers();
    RegisterAll();
    return RUN_ALL_TESTS();
}
