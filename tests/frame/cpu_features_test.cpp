#include "frame/cpu_features.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace Ravvel {
namespace {

constexpr uint32_t Bit(int n) { return 1u << n; }
constexpr uint32_t kMmx = Bit(23);                        // leaf 1 EDX
constexpr uint32_t kOsxsave = Bit(27), kAvxBit = Bit(28);  // leaf 1 ECX
constexpr uint32_t kAvxBits = kOsxsave | kAvxBit;
constexpr uint32_t kAvxGroup = RL_CPU_AVX | RL_CPU_FMA | RL_CPU_AVX2;
constexpr uint32_t kAvx512All = RL_CPU_AVX512F | RL_CPU_AVX512DQ | RL_CPU_AVX512BW | RL_CPU_AVX512VL;
constexpr uint32_t kSse23 = RL_CPU_SSE2 | RL_CPU_SSE3;
constexpr uint32_t kCacheLines = 0xF0000000u;
const char* const kIntel = "GenuineIntel";
const char* const kAmd = "AuthenticAMD";
const char* const kCyrix = "CyrixInstead";
const char* const kOther = "GenuineTMx86";  // no vendor rule applies

CpuIdSnapshot Cpu(const char* vendor, uint32_t maxLeaf = 7)
{
    CpuIdSnapshot cpu;
    cpu.bCpuIdAvailable = true;
    cpu.uiMaxLeaf = maxLeaf;
    std::snprintf(cpu.szVendor, sizeof(cpu.szVendor), "%s", vendor);
    cpu.uiLeaf1Edx = kMmx;
    return cpu;
}

// ---- The running processor, checked against the compiler runtime's own detection.

TEST(RealProcessor, AgreesWithCompilerRuntime)
{
    __builtin_cpu_init();
    const uint32_t flags = VeskCPUFeatureDetect(nullptr);
    const struct {
        uint32_t flag;
        bool present;
    } expected[] = {
        {RL_CPU_SSE2, __builtin_cpu_supports("sse2") != 0},
        {RL_CPU_SSE3, __builtin_cpu_supports("sse3") != 0},
        {RL_CPU_SSSE3, __builtin_cpu_supports("ssse3") != 0},
        {RL_CPU_SSE41, __builtin_cpu_supports("sse4.1") != 0},
        {RL_CPU_SSE42, __builtin_cpu_supports("sse4.2") != 0},
        {RL_CPU_AVX, __builtin_cpu_supports("avx") != 0},
        {RL_CPU_AVX2, __builtin_cpu_supports("avx2") != 0},
        {RL_CPU_FMA, __builtin_cpu_supports("fma") != 0},
        {RL_CPU_AVX512F, __builtin_cpu_supports("avx512f") != 0},
        {RL_CPU_AVX512BW, __builtin_cpu_supports("avx512bw") != 0},
        {RL_CPU_AVX512DQ, __builtin_cpu_supports("avx512dq") != 0},
        {RL_CPU_AVX512VL, __builtin_cpu_supports("avx512vl") != 0},
    };
    for (const auto& e : expected) EXPECT_EQ((flags & e.flag) != 0, e.present) << std::hex << e.flag;
    EXPECT_EQ(flags, DecideCpuFeatures(ReadCpuIdSnapshot(), nullptr));
    EXPECT_EQ(VeskCPUSupportAVX(0, ReadCpuIdSnapshot().uiLeaf1Ecx), (flags & RL_CPU_AVX) ? 1 : 0);
    EXPECT_EQ(VeskCPUSupportFMA(0, ReadCpuIdSnapshot().uiLeaf1Ecx), (flags & RL_CPU_FMA) ? 1 : 0);
    EXPECT_EQ(VeskCPUDetectAVX512() != 0, (flags & kAvx512All) != 0);
}

TEST(RealProcessor, Avx2MachineReportsTopTier)
{
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "host has no AVX2";
    const uint32_t flags = VeskCPUFeatureDetect(nullptr);
    const uint32_t tiers = RL_CPU_SSE2 | RL_CPU_SSSE3 | RL_CPU_SSE42 | RL_CPU_AVX | RL_CPU_AVX2;
    EXPECT_EQ(flags & tiers, tiers);
    EXPECT_EQ(GetRavvelArch(), 5);
}

TEST(RealProcessor, CpuIdHonoursSubLeaf)
{
    if (!(VeskCPUFeatureDetect(nullptr) & RL_CPU_AVX)) GTEST_SKIP() << "host has no AVX";
    // Leaf 0xD: sub-leaf 0 lists the state components, sub-leaf 2 is the 256-byte AVX state.
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
    VeskCPUId(0xD, &eax, &ebx, &ecx, &edx);
    EXPECT_EQ(eax & 0x7u, 0x7u);
    ecx = 2;
    VeskCPUId(0xD, &eax, &ebx, &ecx, &edx);
    EXPECT_EQ(eax, 256u);
}

// ---- Replayed register values of processors this machine is not.

struct Replay {
    const char* szVendor;
    uint32_t uiMaxLeaf, uiEax, uiEbx, uiEcx, uiEdx, uiLeaf7Ebx;
    uint64_t ulXcr0;
    uint32_t uiMask, uiExpected;  // the flags under test and their expected value
};
class Registers : public testing::TestWithParam<Replay> {};

TEST_P(Registers, DecideFlags)
{
    const Replay& r = GetParam();
    CpuIdSnapshot cpu = Cpu(r.szVendor, r.uiMaxLeaf);
    cpu.uiLeaf1Eax = r.uiEax;
    cpu.uiLeaf1Ebx = r.uiEbx;
    cpu.uiLeaf1Ecx = r.uiEcx;
    cpu.uiLeaf1Edx = r.uiEdx;
    cpu.uiLeaf7Ebx = r.uiLeaf7Ebx;
    cpu.ulXcr0 = r.ulXcr0;
    EXPECT_EQ(DecideCpuFeatures(cpu, nullptr) & r.uiMask, r.uiExpected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(LeafOne, Registers, testing::Values(
    Replay{kIntel, 7, 0, ~0u, ~0u, ~kMmx, ~0u, 0xE7, ~0u, 0},  // no MMX: nothing at all
    Replay{kIntel, 0, 0, ~0u, ~0u, ~0u, ~0u, 0xE7, ~0u, 0},    // max leaf 0
    Replay{kOther, 7, 0, 0, 0, kMmx | Bit(25), 0, 0, ~0u, RL_CPU_MMX | RL_CPU_MMXEXT | RL_CPU_SSE},
    Replay{kOther, 7, 0, 0, 0, kMmx | Bit(26), 0, 0, ~0u, RL_CPU_MMX | RL_CPU_SSE2},
    Replay{kOther, 7, 0, 0, 0, kMmx | Bit(0), 0, 0, ~0u, RL_CPU_MMX | RL_CPU_FPU},
    Replay{kOther, 7, 0, 0, 0, kMmx | Bit(15), 0, 0, ~0u, RL_CPU_MMX | RL_CPU_CMOV},
    Replay{kOther, 7, 0, 0, Bit(0), kMmx, 0, 0, ~0u, RL_CPU_MMX | RL_CPU_SSE3},
    Replay{kOther, 7, 0, 0, Bit(9), kMmx, 0, 0, ~0u, RL_CPU_MMX | RL_CPU_SSSE3},
    Replay{kOther, 7, 0, 0, Bit(19), kMmx, 0, 0, ~0u, RL_CPU_MMX | RL_CPU_SSE41},
    Replay{kOther, 7, 0, 0, Bit(20), kMmx, 0, 0, ~0u, RL_CPU_MMX | RL_CPU_SSE42},
    Replay{kOther, 7, 0, 0, Bit(22), kMmx, 0, 0, ~0u, RL_CPU_MMX | RL_CPU_MOVBE},
    Replay{kOther, 7, 0, 0, Bit(25), kMmx, 0, 0, ~0u, RL_CPU_MMX | RL_CPU_AES},
    // HTT only for Intel and AMD.
    Replay{kIntel, 7, 0, 0, 0, kMmx | Bit(28), 0, 0, RL_CPU_HTT, RL_CPU_HTT},
    Replay{kAmd, 7, 0, 0, 0, kMmx | Bit(28), 0, 0, RL_CPU_HTT, RL_CPU_HTT},
    Replay{kCyrix, 7, 0, 0, 0, kMmx | Bit(28), 0, 0, RL_CPU_HTT, 0}));

INSTANTIATE_TEST_SUITE_P(AvxNeedsOsState, Registers, testing::Values(
    Replay{kIntel, 7, 0, 0, kAvxBits, kMmx, Bit(5), 0x7, kAvxGroup, RL_CPU_AVX | RL_CPU_AVX2},
    Replay{kIntel, 7, 0, 0, kAvxBits | Bit(12), kMmx, Bit(5), 0x7, kAvxGroup, kAvxGroup},
    Replay{kIntel, 7, 0, 0, kAvxBits | Bit(12), kMmx, Bit(5), 0x3, kAvxGroup, 0},  // YMM not saved
    Replay{kIntel, 7, 0, 0, kAvxBits | Bit(12), kMmx, Bit(5), 0x5, kAvxGroup, 0},
    Replay{kIntel, 7, 0, 0, kAvxBit | Bit(12), kMmx, Bit(5), 0x7, kAvxGroup, 0},   // no OSXSAVE
    Replay{kIntel, 7, 0, 0, kOsxsave | Bit(12), kMmx, Bit(5), 0x7, kAvxGroup, 0},  // no AVX
    Replay{kIntel, 7, 0, 0, kOsxsave, kMmx, Bit(5), 0x7, kAvxGroup, 0},           // AVX2 needs AVX
    Replay{kIntel, 6, 0, 0, kAvxBits, kMmx, Bit(5), 0x7, kAvxGroup, RL_CPU_AVX}));  // no leaf 7

INSTANTIATE_TEST_SUITE_P(Avx512, Registers, testing::Values(
    Replay{kIntel, 7, 0, 0, kAvxBits, kMmx, ~0u, 0xE7, kAvx512All | 0x100000u, kAvx512All},
    Replay{kIntel, 7, 0, 0, kOsxsave, kMmx, 0xC0030000u, 0xE6, ~0u, RL_CPU_MMX | kAvx512All},
    Replay{kIntel, 7, 0, 0, kOsxsave, kMmx, Bit(16), 0xE7, kAvx512All, RL_CPU_AVX512F},
    Replay{kIntel, 7, 0, 0, kOsxsave, kMmx, Bit(17) | Bit(30), 0xE7, kAvx512All, RL_CPU_AVX512DQ | RL_CPU_AVX512BW},
    Replay{kIntel, 7, 0, 0, kOsxsave, kMmx, Bit(31), 0xE7, kAvx512All, RL_CPU_AVX512VL},
    Replay{kIntel, 7, 0, 0, kOsxsave, kMmx, ~0u, 0xA7, kAvx512All, 0},  // upper ZMM halves not saved
    Replay{kIntel, 7, 0, 0, kOsxsave, kMmx, ~0u, 0x67, kAvx512All, 0},  // ZMM16-31 not saved
    Replay{kIntel, 7, 0, 0, kOsxsave, kMmx, ~0u, 0x07, kAvx512All, 0},
    Replay{kIntel, 7, 0, 0, 0, kMmx, ~0u, 0xE7, kAvx512All, 0},
    Replay{kIntel, 6, 0, 0, kOsxsave, kMmx, ~0u, 0xE7, kAvx512All, 0}));

constexpr uint32_t kSseEdx = kMmx | Bit(25) | Bit(26);
INSTANTIATE_TEST_SUITE_P(IntelFamily6Models, Registers, testing::Values(
    Replay{kIntel, 7, 0x695, 0, 1, kSseEdx, 0, 0, RL_CPU_SSE | kSse23, RL_CPU_SSE},  // model 9
    Replay{kIntel, 7, 0x6D8, 0, 1, kSseEdx, 0, 0, RL_CPU_SSE | kSse23, RL_CPU_SSE},  // model 13
    Replay{kIntel, 7, 0x6EC, 0, 1, kSseEdx, 0, 0, RL_CPU_SSE | kSse23, RL_CPU_SSE},  // model 14
    Replay{kIntel, 7, 0x6F6, 0, 1, kSseEdx, 0, 0, kSse23, kSse23},
    Replay{kIntel, 7, 0x106E5, 0, 1, kSseEdx, 0, 0, kSse23, kSse23},   // extended model: 0x1E
    Replay{kIntel, 7, 0x1006D0, 0, 1, kSseEdx, 0, 0, kSse23, kSse23},  // extended family: 7
    Replay{kIntel, 7, 0xFD0, 0, 1, kSseEdx, 0, 0, kSse23, kSse23},     // family 15
    Replay{kAmd, 7, 0x6D8, 0, 1, kSseEdx, 0, 0, kSse23, kSse23}));

INSTANTIATE_TEST_SUITE_P(CacheLine, Registers, testing::Values(
    Replay{kIntel, 7, 0, 0xFF0002FF, 0, kMmx, 0, 0, kCacheLines, RL_CPU_CACHELINE_16},
    Replay{kIntel, 7, 0, 0xFF0004FF, 0, kMmx, 0, 0, kCacheLines, RL_CPU_CACHELINE_32},
    Replay{kIntel, 7, 0, 0xFF0008FF, 0, kMmx, 0, 0, kCacheLines, RL_CPU_CACHELINE_64},
    Replay{kIntel, 7, 0, 0xFF0010FF, 0, kMmx, 0, 0, kCacheLines, 0x80000000u},
    Replay{kIntel, 7, 0, 0xFF000CFF, 0, kMmx, 0, 0, kCacheLines, 0},  // 96 bytes
    Replay{kCyrix, 7, 0, 0xFF0008FF, 0, kMmx, 0, 0, kCacheLines, RL_CPU_CACHELINE_64},
    Replay{kAmd, 7, 0, 0xFF0008FF, 0, kMmx, 0, 0, kCacheLines, 0}));
// clang-format on

TEST(Decide, NothingWithoutCpuId)
{
    CpuIdSnapshot cpu = Cpu(kIntel);
    cpu.bCpuIdAvailable = false;
    EXPECT_EQ(DecideCpuFeatures(cpu, nullptr), 0u);
}

TEST(Decide, AmdExtendedLeaf)
{
    CpuIdSnapshot cpu = Cpu(kAmd);
    cpu.uiMaxExtendedLeaf = 0x80000001u;
    cpu.uiExtLeaf1Edx = Bit(22);
    EXPECT_EQ(DecideCpuFeatures(cpu, nullptr), uint32_t{RL_CPU_MMX | RL_CPU_MMXEXT});
    cpu.uiExtLeaf1Edx = Bit(31);
    EXPECT_EQ(DecideCpuFeatures(cpu, nullptr), uint32_t{RL_CPU_MMX | RL_CPU_3DNOW});
    cpu.uiMaxExtendedLeaf = 0x80000000u;
    EXPECT_EQ(DecideCpuFeatures(cpu, nullptr), uint32_t{RL_CPU_MMX});
    cpu = Cpu(kIntel);
    cpu.uiMaxExtendedLeaf = 0x80000008u;
    cpu.uiExtLeaf1Edx = Bit(22) | Bit(31);
    EXPECT_EQ(DecideCpuFeatures(cpu, nullptr), uint32_t{RL_CPU_MMX});
}

struct CountCase {
    const char* szVendor;
    uint32_t uiMaxLeaf;
    bool bHtt;
    int32_t iCount;
};
class Processors : public testing::TestWithParam<CountCase> {};

TEST_P(Processors, Count)
{
    CpuIdSnapshot cpu = Cpu(GetParam().szVendor, GetParam().uiMaxLeaf);
    if (GetParam().bHtt) cpu.uiLeaf1Edx |= Bit(28);
    cpu.uiLeaf1Ebx = 16u << 16;
    cpu.uiLeaf4Eax = (7u << 26) | 0x3FFFFFFu;
    int32_t count = -1;
    DecideCpuFeatures(cpu, &count);
    EXPECT_EQ(count, GetParam().iCount);
}
INSTANTIATE_TEST_SUITE_P(Table, Processors,
                         testing::Values(CountCase{kAmd, 7, true, 16}, CountCase{kAmd, 7, false, 0},
                                         CountCase{kIntel, 7, true, 8},  // leaf 4 wins
                                         CountCase{kIntel, 4, false, 8}, CountCase{kIntel, 3, true, 16},
                                         CountCase{kCyrix, 7, true, 0}));

class ArchLevel : public testing::TestWithParam<std::pair<uint32_t, int32_t>> {};

TEST_P(ArchLevel, HighestTierFlagWins) { EXPECT_EQ(ArchLevelFromFlags(GetParam().first), GetParam().second); }
INSTANTIATE_TEST_SUITE_P(
    Tiers, ArchLevel,
    testing::Values(std::make_pair(0u, 0), std::make_pair(uint32_t{RL_CPU_MMX | RL_CPU_SSE | RL_CPU_SSE41}, 0),
                    std::make_pair(uint32_t{RL_CPU_SSE2 | RL_CPU_SSE3}, 1),
                    std::make_pair(uint32_t{RL_CPU_SSE2 | RL_CPU_SSSE3}, 2),
                    std::make_pair(uint32_t{RL_CPU_SSSE3 | RL_CPU_SSE41 | RL_CPU_SSE42}, 3),
                    std::make_pair(uint32_t{RL_CPU_AVX | RL_CPU_FMA}, 4),
                    std::make_pair(uint32_t{RL_CPU_AVX2}, 5), std::make_pair(0xFFFFFFFFu, 5)));

}  // namespace
}  // namespace Ravvel
