// Super resolution of I420 frames per mode and tier, against the memcpy of
// the source and destination frames. The 2x filter is measured on frames that
// change every time (no temporal reuse) and on repeated frames (everything
// reused), and with the caller's own output planes.
#include <cmath>
#include <cstdlib>
#include <string>

#include "bench_util.h"
#include "scale/super_resolution.h"

namespace {

struct Size {
    int sw, sh, dw, dh;
};
const Size k2x = {960, 540, 1920, 1080};
const Size k1pt5 = {1280, 720, 1920, 1080};

enum Job { kAdaptive2x, kAdaptive2xLibrary, kAdaptive2xRepeated, kSimple1pt5, kAdaptive1pt5, kJobs };
const char* const kJobNames[kJobs] = {"adaptive 2x", "adaptive 2x library output, changing frames",
                                      "adaptive 2x library output, repeated frames", "simple 1.5x", "adaptive 1.5x"};

// An aligned I420 picture.
struct Frame {
    SRLPictureInfo info{};
    uint8_t* block = nullptr;
    size_t bytes = 0;
    Frame(int w, int h)
    {
        bytes = static_cast<size_t>(w) * h * 3 / 2;
        block = static_cast<uint8_t*>(std::aligned_alloc(64, (bytes + 63) / 64 * 64));
        info.eFormat = RL_FORMAT_I420;
        info.iWidth = w;
        info.iHeight = h;
        info.pData[0] = block;
        info.pData[1] = block + static_cast<size_t>(w) * h;
        info.pData[2] = info.pData[1] + static_cast<size_t>(w / 2) * (h / 2);
        info.iStride[0] = w;
        info.iStride[1] = info.iStride[2] = w / 2;
    }
    ~Frame() { std::free(block); }
    // Camera-like content: soft gradients, a few sharp shapes, light noise.
    void Fill(int phase)
    {
        uint32_t seed = 12345u + static_cast<uint32_t>(phase);
        for (int p = 0; p < 3; ++p) {
            const int w = p ? info.iWidth / 2 : info.iWidth, h = p ? info.iHeight / 2 : info.iHeight;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const double u = static_cast<double>(x + phase) / w, v = static_cast<double>(y) / h;
                    double val = 90 + 60 * std::sin(6 * u + 2 * v) * std::cos(3 * v);
                    if (((x + phase) / 37 + y / 29) % 5 == 0) val += 70;
                    if ((x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < h * h / 9) val = 255 - val;
                    seed = seed * 1664525u + 1013904223u;
                    val += static_cast<double>(seed >> 30) - 1.5;
                    info.pData[p][static_cast<size_t>(y) * info.iStride[p] + x] =
                        static_cast<uint8_t>(val < 0 ? 0 : (val > 255 ? 255 : val));
                }
        }
    }
};

// Args: job, tier (0 reference ... 5 AVX2).
void BM_SuperResolution(benchmark::State& state)
{
    const int job = static_cast<int>(state.range(0));
    if (!rlbench::TierAvailable(state.range(1))) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const Size s = job >= kSimple1pt5 ? k1pt5 : k2x;
    const bool library = job == kAdaptive2xLibrary || job == kAdaptive2xRepeated;
    Ravvel::CSuperResolution sr(rlbench::TierMask(state.range(1)));
    sr.GetLogger()->SetLogLevel(-1);
    sr.Init(nullptr, !library);
    uint8_t simple = job == kSimple1pt5;
    sr.SetOption(RL_OPTION_SR_SIMPLE_1PT5, &simple);

    Frame a(s.sw, s.sh), b(s.sw, s.sh), out(s.dw, s.dh);
    a.Fill(0);
    b.Fill(job == kAdaptive2xRepeated ? 0 : 3);
    SRLPictureInfo dst = out.info;
    int n = 0;
    rlbench::Run(state, a.bytes, out.bytes, [&] {
        dst = out.info;  // library output rewrites the descriptor
        sr.Process(&((n++ & 1) ? b : a).info, &dst, nullptr);
    });
    state.SetLabel(std::to_string(s.sw) + "x" + std::to_string(s.sh) + "->" + std::to_string(s.dw) + "x" +
                   std::to_string(s.dh) + " " + kJobNames[job] + " " + Ravvel::TierName(static_cast<int>(state.range(1))));
}

BENCHMARK(BM_SuperResolution)
    ->ArgsProduct({{kAdaptive2x, kAdaptive2xLibrary, kAdaptive2xRepeated, kSimple1pt5, kAdaptive1pt5},
                   {Ravvel::RL_TIER_C, Ravvel::RL_TIER_SSE2, Ravvel::RL_TIER_SSSE3, Ravvel::RL_TIER_SSE4,
                    Ravvel::RL_TIER_AVX, Ravvel::RL_TIER_AVX2}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
