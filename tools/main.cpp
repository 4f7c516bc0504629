// ravvel: command-line front door of the library.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "host.h"
#include "methods.h"
#include "png_writer.h"
#include "ravvel.h"

namespace rvtool {

void Complain(const char* fmt, ...)
{
    std::fputs("ravvel: ", stderr);
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stderr, fmt, ap);
    va_end(ap);
    std::fputc('\n', stderr);
}

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

void Usage(FILE* out)
{
    std::fprintf(out,
                 "usage: ravvel <command> [options]\n"
                 "  info                      version, CPU flags, SIMD level and the tier of each method\n"
                 "  demo [--out DIR] [--frames N] [--size WxH] [-v]\n"
                 "                            camera pipeline on a built-in clip: timing table and PNGs\n"
                 "  process METHOD -i IN.y4m [-o OUT.y4m] [--option NAME=VALUE ...] [--size WxH]\n"
                 "          [--scale 2|1.5] [--png N,...] [-v]\n"
                 "                            applies one method to every frame of a 4:2:0 Y4M file\n"
                 "                            ('-' for standard input or output: pipes to and from ffmpeg)\n"
                 "  methods                   the methods `process` knows, with their options\n");
}

int CmdMethods()
{
    size_t n = 0;
    const MethodRow* rows = MethodTable(&n);
    for (size_t i = 0; i < n; ++i) {
        const MethodRow& r = rows[i];
        std::printf("%-12s %s%s\n", r.name, r.summary, r.kind == MethodKind::kAnalysis ? " [analysis]" : "");
        for (size_t k = 0; k < r.optionCount; ++k)
            std::printf("    %-14s %s (default %s)\n", r.options[k].name, r.options[k].help,
                        r.options[k].def ? r.options[k].def : "see text");
    }
    return kExitOk;
}

}  // namespace

int CmdInfo(int, char**)
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
    std::printf("PNG output: %s\n", PngAvailable() ? "yes (libpng)" : "no (built without libpng)");

    Host host;
    std::string err;
    if (!host.Create(false, &err)) {
        Complain("%s", err.c_str());
        return kExitFailed;
    }
    std::printf("Methods (tier each would select here):\n");
    size_t n = 0;
    const MethodRow* rows = MethodTable(&n);
    for (size_t i = 0; i < n; ++i) {
        bool missing = false;
        // A null record is enough to learn whether the class exists.
        host.Init(rows[i].method, nullptr, rows[i].initFlag, &missing);
        std::printf("  %-12s %2d  %-15s %s\n", rows[i].name, static_cast<int>(rows[i].method),
                    TierFor(rows[i].tier, flags), missing ? "not in this build yet" : "available");
        host.Rl()->Uninit(rows[i].method);
    }
    return kExitOk;
}

}  // namespace rvtool

int main(int argc, char** argv)
{
    using namespace rvtool;
    if (argc < 2) {
        Usage(stderr);
        return kExitUsage;
    }
    const char* cmd = argv[1];
    if (std::strcmp(cmd, "info") == 0) return CmdInfo(argc - 1, argv + 1);
    if (std::strcmp(cmd, "demo") == 0) return CmdDemo(argc - 1, argv + 1);
    if (std::strcmp(cmd, "process") == 0) return CmdProcess(argc - 1, argv + 1);
    if (std::strcmp(cmd, "methods") == 0) return CmdMethods();
    if (std::strcmp(cmd, "--help") == 0 || std::strcmp(cmd, "-h") == 0 || std::strcmp(cmd, "help") == 0) {
        Usage(stdout);
        return kExitOk;
    }
    Complain("unknown command '%s' (try: ravvel --help)", cmd);
    return kExitUsage;
}
