#include "host.h"

#include <cstdio>
#include <cstring>

namespace rvtool {

const char* TierFor(TierRule rule, uint32_t f)
{
    switch (rule) {
    case TierRule::kReferenceOnly:
        return "reference only";
    case TierRule::kDownsampler:
        if (f & RL_CPU_AVX2) return "avx2";
        if (f & RL_CPU_AVX) return "avx";
        if (f & RL_CPU_SSE41) return "sse4.1";
        if (f & RL_CPU_SSSE3) return "ssse3";
        if (f & RL_CPU_SSE2) return "sse2";
        if (f & RL_CPU_SSE) return "sse";
        return "C";
    case TierRule::kNoAvx:
        if (f & RL_CPU_AVX2) return "avx2";
        if (f & RL_CPU_SSE42) return "sse4";
        if (f & RL_CPU_SSSE3) return "ssse3";
        if (f & RL_CPU_SSE2) return "sse2";
        return "C";
    case TierRule::kSse2Avx2:
        if (f & RL_CPU_AVX2) return "avx2";
        if (f & RL_CPU_SSE2) return "sse2";
        return "C";
    case TierRule::kAvx2Only:
        return f & RL_CPU_AVX2 ? "avx2" : "C";
    case TierRule::kCommon:
        break;
    }
    if (f & RL_CPU_AVX2) return "avx2";
    if (f & RL_CPU_AVX) return "avx";
    if (f & RL_CPU_SSE42) return "sse4";
    if (f & RL_CPU_SSSE3) return "ssse3";
    if (f & RL_CPU_SSE2) return "sse2";
    return "C";
}

std::string ResultName(int32_t rc)
{
    switch (rc) {
    case RL_OK: return "RL_OK";
    case RL_ERR_FAILED: return "RL_ERR_FAILED (-1)";
    case RL_ERR_INVALID_PARAM: return "RL_ERR_INVALID_PARAM (-2)";
    case RL_ERR_NO_MEMORY: return "RL_ERR_NO_MEMORY (-3)";
    case RL_ERR_UNSUPPORTED: return "RL_ERR_UNSUPPORTED (-4)";
    case RL_ERR_MISMATCH: return "RL_ERR_MISMATCH (-5)";
    case RL_ERR_NOT_INITIALIZED: return "RL_ERR_NOT_INITIALIZED (-7)";
    case RL_ERR_BAD_FORMAT: return "RL_ERR_BAD_FORMAT (-8)";
    default: return "error " + std::to_string(rc);
    }
}

Host::~Host()
{
    if (m_rl) DestroyRavvel(m_rl);
}

bool Host::Create(bool verbose, std::string* error)
{
    m_verbose = verbose;
    if (CreateRavvel(&m_rl) != RL_OK || m_rl == nullptr) {
        *error = "the library could not create its processing object";
        return false;
    }
    RLLogCallbackFunc fn = &Host::OnLog;
    void* self = this;
    m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &fn);
    m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK_INSTANCE, &self);
    return true;
}

void Host::OnLog(void* instance, RL_ETraceLevel level, const char* message)
{
    Host* self = static_cast<Host*>(instance);
    if (self == nullptr || message == nullptr) return;
    if (std::strstr(message, "[rl][rl]") == message && std::strstr(message, "Invalid parameter") != nullptr)
        self->m_sawInvalidParameter = true;
    if (level <= RL_TRACE_WARNING) self->m_lastProblem = message;
    if (self->m_verbose) std::fprintf(stderr, "%s\n", message);
}

int Host::Init(RL_EMethod method, void* config, bool flag, bool* missing)
{
    m_sawInvalidParameter = false;
    const int rc = m_rl->Init(method, config, flag);
    if (missing) *missing = rc == RL_ERR_INVALID_PARAM && m_sawInvalidParameter;
    return rc;
}

bool ColourPath::Setup()
{
    bool missing = true;
    m_library = m_host->Init(RL_METHOD_COLOR_SPACE_CONVERT, nullptr, false, &missing) == RL_OK;
    return m_library;
}

bool ColourPath::ToI420(RgbImage& rgb, I420Image* yuv)
{
    if ((yuv->width != rgb.width || yuv->height != rgb.height || !yuv->buf.Data()) &&
        !yuv->Allocate(rgb.width, rgb.height))
        return false;
    // The library converts even sizes only; odd ones take the tool's path.
    if (m_library && rgb.width % 2 == 0 && rgb.height % 2 == 0) {
        SRLPictureInfo s = rgb.Describe(), d = yuv->Describe();
        if (m_host->Rl()->Process(RL_METHOD_COLOR_SPACE_CONVERT, &s, &d, nullptr) == RL_OK) return true;
    }
    RgbToI420(rgb, yuv);
    return true;
}

bool ColourPath::ToRgb(I420Image& yuv, RgbImage* rgb)
{
    if ((rgb->width != yuv.width || rgb->height != yuv.height || !rgb->buf.Data()) &&
        !rgb->Allocate(yuv.width, yuv.height))
        return false;
    if (m_library && yuv.width % 2 == 0 && yuv.height % 2 == 0) {
        SRLPictureInfo s = yuv.Describe(), d = rgb->Describe();
        if (m_host->Rl()->Process(RL_METHOD_COLOR_SPACE_CONVERT, &s, &d, nullptr) == RL_OK) return true;
    }
    I420ToRgb(yuv, rgb);
    return true;
}

}  // namespace rvtool
