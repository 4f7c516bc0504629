// The tool's side of the library: one IRavvel with its log routed here,
// discovery of which methods this library build has, and tier naming.
#ifndef RAVVEL_TOOLS_HOST_H
#define RAVVEL_TOOLS_HOST_H

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"
#include "ravvel.h"

namespace rvtool {

// How a method picks its kernels from the CPU flags.
enum class TierRule {
    kCommon,         // highest of sse2, ssse3, sse4 (SSE4.2 flag), avx, avx2
    kReferenceOnly,  // portable code only
    kDownsampler,    // its own table: sse, sse2, ssse3, sse4.1 (SSE4.1 flag), avx, avx2
    kNoAvx,          // common rule without an avx tier (avx-only machines get sse4)
    kSse2Avx2,       // only sse2 and avx2 variants (the upsampler)
    kAvx2Only,       // avx2 or portable code (the blur of 4:2:0 planes)
};

// The tier a method of that rule runs on a processor with `cpuFlags`.
const char* TierFor(TierRule rule, uint32_t cpuFlags);

class Host {
public:
    Host() = default;
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Creates the library object; library log lines go to stderr only when `verbose`.
    bool Create(bool verbose, std::string* error);
    IRavvel* Rl() { return m_rl; }

    // Init that tells "this library build has no such method" apart from a
    // method refusing its record: the manager answers -2 and logs
    // "Invalid parameter" only in the first case.
    int Init(RL_EMethod method, void* config, bool flag, bool* missing);

    // The most recent warning or error line of the library (empty if none).
    std::string LastProblem() const { return m_lastProblem; }
    void ClearProblem() { m_lastProblem.clear(); }

private:
    static void OnLog(void* instance, RL_ETraceLevel level, const char* message);

    IRavvel* m_rl = nullptr;
    bool m_verbose = false;
    bool m_sawInvalidParameter = false;
    std::string m_lastProblem;
};

// RGB24 <-> I420 through the library's colour converter when this build has
// it, else through the tool's own BT.601 code.
class ColourPath {
public:
    explicit ColourPath(Host* host) : m_host(host) {}
    // Probes method 1 once. True when the library's converter is used.
    bool Setup();
    bool UsesLibrary() const { return m_library; }
    bool ToI420(RgbImage& rgb, I420Image* yuv);
    bool ToRgb(I420Image& yuv, RgbImage* rgb);

private:
    Host* m_host;
    bool m_library = false;
};

std::string ResultName(int32_t rc);

}  // namespace rvtool

#endif
