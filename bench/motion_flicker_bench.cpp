// Motion and flicker detection at 1280x720 and 1920x1080.
//   motion: planar RGB with a centred half-size rectangle mask, unchanged
//     frames (no reference refresh except the rare forced one); the baseline
//     is the boundary pixels' three plane bytes plus the mask;
//   flicker: I420 per tier, frames whose brightness alternates (histograms
//     computed every frame) or a still picture (static test only); the
//     baseline is the picture read.
#include <vector>

#include "analysis/flicker_detect.h"
#include "analysis/motion_detect.h"
#include "bench_util.h"

namespace {

using namespace Ravvel;

void BM_MotionDetect(benchmark::State& state)
{
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    const size_t n = static_cast<size_t>(w) * h;
    std::vector<uint8_t> planes(3 * n), mask(n, 0);
    for (size_t i = 0; i < planes.size(); ++i) planes[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    for (int y = h / 4; y < h / 4 + h / 2; ++y)
        for (int x = w / 4; x < w / 4 + w / 2; ++x) mask[static_cast<size_t>(y) * w + x] = 255;
    SRLPictureInfo src{};
    src.eFormat = RL_FORMAT_RGB_PLANAR;
    src.iWidth = w;
    src.iHeight = h;
    for (int p = 0; p < 3; ++p) src.pData[p] = planes.data() + p * n, src.iStride[p] = w;
    src.pMask = mask.data();

    CMotionDetect md(VeskCPUFeatureDetect(nullptr));
    md.GetLogger()->SetLogLevel(RL_TRACE_ERROR);
    SRLMotionDetectConfig c{w, h, 0, 0.2};
    md.Init(&c, false);
    int32_t result = 0;
    md.SetOption(RL_OPTION_MOTION_RESULT, &result);
    md.Process(&src, nullptr, nullptr);  // stores the reference
    const size_t band = md.GetBoundaryCount();
    state.SetLabel("c, band " + std::to_string(band) + " px");
    rlbench::Run(state, 3 * band + n, 0, [&] { md.Process(&src, nullptr, nullptr); });
}

void BM_FlickerDetect(benchmark::State& state)
{
    const int64_t tier = state.range(0);
    const bool still = state.range(1) != 0;
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const size_t luma = static_cast<size_t>(w) * h, chroma = luma / 4, bytes = luma + 2 * chroma;
    std::vector<uint8_t> frames[2] = {std::vector<uint8_t>(bytes), std::vector<uint8_t>(bytes)};
    for (size_t i = 0; i < bytes; ++i) {
        const uint8_t v = static_cast<uint8_t>(40 + (i * 7 + i / 1920 * 3) % 150);
        frames[0][i] = v;
        frames[1][i] = still ? v : static_cast<uint8_t>(v + 30);
    }
    SRLPictureInfo pics[2];
    for (int f = 0; f < 2; ++f) {
        pics[f] = SRLPictureInfo{};
        pics[f].eFormat = RL_FORMAT_I420;
        pics[f].iWidth = w;
        pics[f].iHeight = h;
        pics[f].pData[0] = frames[f].data();
        pics[f].pData[1] = frames[f].data() + luma;
        pics[f].pData[2] = frames[f].data() + luma + chroma;
        pics[f].iStride[0] = w;
        pics[f].iStride[1] = pics[f].iStride[2] = w / 2;
    }

    CFlickerDetect fd(rlbench::TierMask(tier));
    fd.GetLogger()->SetLogLevel(RL_TRACE_ERROR);
    SRLFlickerDetectConfig c{w, h, 5, 3, 3, 30, {1000.0f, 1000.0f, 1000.0f}, RL_FORMAT_I420};
    fd.Init(&c, false);
    for (int i = 0; i < 8; ++i) fd.Process(&pics[i & 1], nullptr, nullptr);  // fill the window
    state.SetLabel(std::string(TierName(static_cast<int>(tier))) + (still ? ", still" : ", alternating"));
    int k = 0;
    rlbench::Run(state, bytes, 0, [&] { fd.Process(&pics[k++ & 1], nullptr, nullptr); });
}

void MotionArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"w", "h"});
    b->Args({1280, 720});
    b->Args({1920, 1080});
}

void FlickerArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"tier", "still", "w", "h"});
    for (int size : {720, 1080})
        for (int still : {0, 1})
            for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier)
                b->Args({tier, still, size == 720 ? 1280 : 1920, size});
}

BENCHMARK(BM_MotionDetect)->Apply(MotionArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FlickerDetect)->Apply(FlickerArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
