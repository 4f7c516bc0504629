// ravvel: command-line front door of the library.
#include <cstdio>
#include <cstring>

#include "ravvel.h"

namespace {

struct FlagName {
    uint32_t flag;
    const char* name;
};

const FlagName kFlagNames[] = {
    {RL_CPU_MMX, "mmx"},           {RL_CPU_MMXEXT, "mmxext"},     {RL_CPU_SSE, "sse"},
    {RL_CPU_SSE2, "sse2"},         {RL_CPU_SSE3, "sse3"},         {RL_CPU_SSSE3, "ssse3"},
    {RL_CPU_SSE41, "sse4.1"},      {RL_CPU_SSE42, "sse4.2"},      {RL_CPU_AVX, "avx"},
    {RL_CPU_AVX2, "avx2"},         {RL_CPU_FMA, "fma"},           {RL_CPU_AVX512F, "avx512f"},
    {RL_CPU_AVX512DQ, "avx512dq"}, {RL_CPU_AVX512BW, "avx512bw"}, {RL_CPU_AVX512VL, "avx512vl"},
    {RL_CPU_3DNOW, "3dnow"},       {RL_CPU_FPU, "fpu"},           {RL_CPU_HTT, "htt"},
    {RL_CPU_CMOV, "cmov"},         {RL_CPU_MOVBE, "movbe"},       {RL_CPU_AES, "aes"},
    {RL_CPU_CACHELINE_16, "cacheline16"},   {RL_CPU_CACHELINE_32, "cacheline32"},
    {RL_CPU_CACHELINE_64, "cacheline64"},   {static_cast<uint32_t>(RL_CPU_CACHELINE_128), "cacheline128"},
};

const char* const kArchNames[] = {"C (no SIMD)", "SSE2", "SSSE3", "SSE4.2", "AVX", "AVX2"};

int CmdInfo()
{
    const SRLVersion v = GetRavvelVersion();
    std::printf("Ravvel %u.%u.%u.%u\n", v.uiMajor, v.uiMinor, v.uiRevision, v.uiBuild);
    int32_t processors = 0;
    const uint32_t flags = VeskCPUFeatureDetect(&processors);
    std::printf("CPU flags: 0x%08x", flags);
    for (const FlagName& f : kFlagNames)
        if (flags & f.flag) std::printf(" %s", f.name);
    std::printf("\nLogical processors: %d\n", processors);
    const int32_t arch = GetRavvelArch();
    std::printf("SIMD level: %d (%s)\n", arch, arch >= 0 && arch <= 5 ? kArchNames[arch] : "?");
    return 0;
}

void Usage(FILE* out)
{
    std::fprintf(out,
                 "usage: ravvel <command>\n"
                 "  info    version, CPU flags and the SIMD level the library uses\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "info") == 0) return CmdInfo();
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        Usage(stdout);
        return 0;
    }
    std::fprintf(stderr, "ravvel: unknown command '%s'\n", argv[1]);
    Usage(stderr);
    return 2;
}
