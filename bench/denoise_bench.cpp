// Denoiser at 1280x720 and 1920x1080 I420, per tier: steady state at fixed
// levels 1, 2 and 4, and estimation frames (automatic mode with an
// estimation on every frame). The frames are a noisy (sigma 4) panning
// sequence; each one is restored untimed before it is denoised in place.
// The memcpy baseline is the picture in plus the picture out.
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "bench_util.h"
#include "enhance/denoise.h"

namespace {

using namespace Ravvel;

constexpr int kFrames = 6;

struct Sequence {
    int w = 0, h = 0;
    std::vector<std::vector<uint8_t>> frames;
};

// Shading, stripes and edges shifted by (t, t / 2), plus uniform noise of the
// same variance as a Gaussian of sigma 4.
const Sequence& Clip(int w, int h)
{
    static Sequence cache;
    if (cache.w == w && cache.h == h) return cache;
    cache.w = w, cache.h = h;
    cache.frames.assign(kFrames, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3 / 2));
    uint32_t rng = 12345;
    for (int t = 0; t < kFrames; ++t) {
        uint8_t* p = cache.frames[t].data();
        for (int plane = 0; plane < 3; ++plane) {
            const int pw = plane ? w / 2 : w, ph = plane ? h / 2 : h;
            for (int y = 0; y < ph; ++y)
                for (int x = 0; x < pw; ++x) {
                    const int sx = x + (plane ? t / 2 : t), sy = y + (plane ? t / 4 : t / 2);
                    double v = plane ? 128 + 30 * std::sin(sx * 0.06 + sy * 0.02)
                                     : 110 + 60 * std::sin(sx * 0.05) * std::cos(sy * 0.037) +
                                           12 * std::sin((sx + 2 * sy) * 0.15) + (((sx / 48 + sy / 40) & 1) ? 40 : 0);
                    rng = rng * 1664525u + 1013904223u;
                    v += ((rng >> 24) / 255.0 - 0.5) * 13.86;
                    *p++ = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
                }
        }
    }
    return cache;
}

SRLPictureInfo Describe(int w, int h, uint8_t* buf)
{
    SRLPictureInfo p{};
    p.iWidth = w;
    p.iHeight = h;
    p.eFormat = RL_FORMAT_I420;
    p.pData[0] = buf;
    p.pData[1] = buf + static_cast<size_t>(w) * h;
    p.pData[2] = p.pData[1] + static_cast<size_t>(w / 2) * (h / 2);
    p.iStride[0] = w;
    p.iStride[1] = p.iStride[2] = w / 2;
    return p;
}

// level 1..4: fixed level; 0: automatic mode estimating on every frame.
void BM_Denoise(benchmark::State& state)
{
    const int64_t tier = state.range(0);
    const int level = static_cast<int>(state.range(1));
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const Sequence& clip = Clip(w, h);
    const size_t bytes = clip.frames[0].size();
    // 64-byte aligned, so the method works in place.
    std::vector<uint8_t> mem(bytes + 64);
    uint8_t* buf = mem.data() + ((64 - reinterpret_cast<uintptr_t>(mem.data()) % 64) % 64);
    SRLPictureInfo pic = Describe(w, h, buf);

    CDenoise dn(rlbench::TierMask(tier));
    SDenoiseConfig cfg = {w, h, RL_FORMAT_I420, level};
    dn.Init(&cfg, false);
    int32_t one = 1;
    if (level == 0) dn.SetOption(RL_OPTION_DENOISE_ESTIMATE_INTERVAL, &one);
    int t = 0;
    // Warm up: buffers, history and (automatic mode) a settled level.
    for (; t < 8; ++t) {
        std::memcpy(buf, clip.frames[t % kFrames].data(), bytes);
        dn.Process(&pic, nullptr, nullptr);
    }
    double total = 0;
    int64_t n = 0;
    for (auto _ : state) {
        std::memcpy(buf, clip.frames[t++ % kFrames].data(), bytes);
        const auto t0 = std::chrono::steady_clock::now();
        dn.Process(&pic, nullptr, nullptr);
        benchmark::ClobberMemory();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ++n;
    }
    const double perFrame = n ? total / static_cast<double>(n) : 0;
    const double baseline = rlbench::MemcpyBaselineSeconds(bytes, bytes);
    state.counters["fps"] = perFrame > 0 ? 1.0 / perFrame : 0;
    state.counters["x_memcpy"] = baseline > 0 ? perFrame / baseline : 0;
    int32_t reached = 0;
    dn.GetOption(RL_OPTION_DENOISE_LEVEL, &reached);
    state.counters["level"] = reached;
}

void DenoiseArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"tier", "level", "w", "h"});
    for (int size : {720, 1080})
        for (int level : {1, 2, 4, 0})
            for (int tier = 0; tier < RL_TIER_COUNT; ++tier) b->Args({tier, level, size == 720 ? 1280 : 1920, size});
}

BENCHMARK(BM_Denoise)->Apply(DenoiseArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
