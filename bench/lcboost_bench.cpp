// Contrast boost at 1280x720 and 1920x1080 per tier: a frame between
// analyses (curve, chroma gains, optional mask blend) and an analysis frame
// (statistics, curve fitting and gain table on top), each with and without a
// half-size mask. The memcpy baseline is the source picture (and the mask)
// in plus the destination picture out.
#include <chrono>
#include <vector>

#include "bench_util.h"
#include "enhance/lcboost.h"

namespace {

using namespace Ravvel;

size_t I420Bytes(int w, int h) { return static_cast<size_t>(w) * h + 2 * static_cast<size_t>(w / 2) * (h / 2); }

SRLPictureInfo Describe(int w, int h, uint8_t* buf)
{
    SRLPictureInfo p{};
    p.iWidth = w;
    p.iHeight = h;
    p.eFormat = RL_FORMAT_I420;
    const size_t luma = static_cast<size_t>(w) * h;
    p.pData[0] = buf;
    p.pData[1] = buf + luma;
    p.pData[2] = buf + luma + static_cast<size_t>(w / 2) * (h / 2);
    p.iStride[0] = w;
    p.iStride[1] = p.iStride[2] = w / 2;
    return p;
}

// Like rlbench::Run, with an untimed step before each timed frame that puts
// the object in the state the benchmark wants.
template <class Setup, class Job>
void RunFrames(benchmark::State& state, size_t inBytes, size_t outBytes, Setup&& setup, Job&& job)
{
    setup();
    job();
    double total = 0;
    int64_t n = 0;
    for (auto _ : state) {
        setup();
        const auto t0 = std::chrono::steady_clock::now();
        job();
        benchmark::ClobberMemory();
        const auto t1 = std::chrono::steady_clock::now();
        total += std::chrono::duration<double>(t1 - t0).count();
        ++n;
    }
    const double perFrame = n ? total / static_cast<double>(n) : 0;
    const double baseline = rlbench::MemcpyBaselineSeconds(inBytes, outBytes);
    state.counters["fps"] = perFrame > 0 ? 1.0 / perFrame : 0;
    state.counters["x_memcpy"] = baseline > 0 ? perFrame / baseline : 0;
    state.SetBytesProcessed(n * static_cast<int64_t>(inBytes + outBytes));
}

// Arguments: tier, analysis (0/1), mask (0/1), width, height.
void BM_Lcboost(benchmark::State& state)
{
    const int64_t tier = state.range(0);
    const bool analysis = state.range(1) != 0, withMask = state.range(2) != 0;
    const int w = static_cast<int>(state.range(3)), h = static_cast<int>(state.range(4));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const size_t bytes = I420Bytes(w, h);
    std::vector<uint8_t> in(bytes), out(bytes);
    // A textured picture with a skin-coloured band, so that every branch of
    // the analysis has work.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) in[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(30 + (x * 3 + y * 5 + (x * y) % 17) % 180);
    const size_t luma = static_cast<size_t>(w) * h, chroma = static_cast<size_t>(w / 2) * (h / 2);
    for (size_t i = 0; i < chroma; ++i) {
        const bool skin = (i % static_cast<size_t>(w / 2)) < static_cast<size_t>(w / 8);
        in[luma + i] = static_cast<uint8_t>(skin ? 110 : 80 + (i * 7) % 96);
        in[luma + chroma + i] = static_cast<uint8_t>(skin ? 150 : 90 + (i * 11) % 80);
    }
    const int mw = w / 2, mh = h / 2;
    std::vector<uint8_t> mask(static_cast<size_t>(mw) * mh);
    for (int y = 0; y < mh; ++y)
        for (int x = 0; x < mw; ++x)
            mask[static_cast<size_t>(y) * mw + x] = x < mw / 3 ? 0 : (x < 2 * mw / 3 ? 160 : 255);
    SRLPictureInfo src = Describe(w, h, in.data()), dst = Describe(w, h, out.data());
    if (withMask) {
        src.pMask = mask.data();
        src.iMaskWidth = mw;
        src.iMaskHeight = mh;
    }

    CLcboost lcb(rlbench::TierMask(tier));
    lcb.InitLogger(RL_TRACE_ERROR, nullptr, nullptr);
    SLcboostConfig cfg{w, h, RL_FORMAT_I420, 1.15f, 1.1f, 1.1f, RL_LCBOOST_BRIGHTNESS_HYBRID, 1, 1};
    lcb.Init(&cfg, false);  // the method's defaults: hybrid brightness, fixed colour strength
    auto frame = [&] { lcb.Process(&src, &dst, nullptr); };
    // An analysis frame is any frame at index 0 modulo 16; option 20 puts the
    // object there, and an untimed frame takes it past.
    auto setup = [&] {
        if (analysis)
            lcb.SetOption(RL_OPTION_LCBOOST_RESET, nullptr);
        else if (lcb.GetFrameIndex() % 16 == 0)
            frame();
    };
    RunFrames(state, bytes + (withMask ? mask.size() : 0), bytes, setup, frame);
}

void Args(benchmark::internal::Benchmark* b)
{
    const int sizes[][2] = {{1280, 720}, {1920, 1080}};
    for (const auto& s : sizes)
        for (int analysis = 0; analysis < 2; ++analysis)
            for (int mask = 0; mask < 2; ++mask)
                for (int tier : {RL_TIER_C, RL_TIER_SSE2, RL_TIER_SSSE3, RL_TIER_SSE4, RL_TIER_AVX2})
                    b->Args({tier, analysis, mask, s[0], s[1]});
    b->ArgNames({"tier", "analysis", "mask", "w", "h"});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_Lcboost)->Apply(Args);

}  // namespace
