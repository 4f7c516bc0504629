// Analysis methods at 1280x720 and 1920x1080, per tier.
//   scene change: a current and a reference frame of natural-looking luma with
//   a share of changed blocks; the baseline is one memcpy of the two luma
//   planes the method reads.
//   content detection: alternating frames, so that each is compared with the
//   kept previous one; the baseline is the current plane and that kept copy.
#include <cstring>
#include <vector>

#include "analysis/content_detection.h"
#include "analysis/scene_change.h"
#include "bench_util.h"

namespace {

using namespace Ravvel;

// A smooth gradient with a little texture, so that SADs vary like a camera's.
void Paint(std::vector<uint8_t>& plane, int w, int h, int shift)
{
    uint32_t s = 12345u + static_cast<uint32_t>(shift);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            plane[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(((x + shift) * 3 + y * 2) / 8 + (s >> 29));
        }
}

SRLPictureInfo Luma(std::vector<uint8_t>& plane, int w, int h)
{
    SRLPictureInfo p{};
    p.pData[0] = plane.data();
    p.iStride[0] = w;
    p.iWidth = w;
    p.iHeight = h;
    p.eFormat = RL_FORMAT_I420;
    return p;
}

void BM_SceneChange(benchmark::State& state)
{
    const int64_t tier = state.range(0);
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const size_t luma = static_cast<size_t>(w) * h;
    std::vector<uint8_t> cur(luma), ref(luma);
    Paint(cur, w, h, 0);
    Paint(ref, w, h, 5);
    SRLPictureInfo src = Luma(cur, w, h), dst = Luma(ref, w, h);
    CSceneChangeDetection m(rlbench::TierMask(tier));
    m.Init(nullptr, false);
    state.SetLabel(TierName(static_cast<int>(tier)));
    rlbench::Run(state, 2 * luma, 0, [&] { m.Process(&src, &dst, nullptr); });
}

void IgnoreContent(void*, int32_t) {}

void BM_ContentDetection(benchmark::State& state)
{
    const int64_t tier = state.range(0);
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const size_t luma = static_cast<size_t>(w) * h;
    std::vector<uint8_t> a(luma), b(luma);
    Paint(a, w, h, 0);
    Paint(b, w, h, 3);
    SRLPictureInfo frames[2] = {Luma(a, w, h), Luma(b, w, h)};
    CContentDetection m(rlbench::TierMask(tier));
    SRLContentDetectionConfig cfg = {w, h, RL_FORMAT_I420};
    m.Init(&cfg, false);
    SRLContentCallback cb = {&IgnoreContent, &m};
    m.SetOption(RL_OPTION_CONTENT_CALLBACK, &cb);
    uint8_t reset = 1;
    m.SetOption(RL_OPTION_CONTENT_RESET, &reset);
    state.SetLabel(TierName(static_cast<int>(tier)));
    int n = 0;
    rlbench::Run(state, 2 * luma, 0, [&] { m.Process(&frames[n++ & 1], nullptr, nullptr); });
}

void TierSizeArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"tier", "w", "h"});
    for (int size : {720, 1080})
        for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier) b->Args({tier, size == 720 ? 1280 : 1920, size});
}

BENCHMARK(BM_SceneChange)->Apply(TierSizeArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ContentDetection)->Apply(TierSizeArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
