// Colour looks (method 21) per look and tier, and the masked brightness,
// contrast and saturation adjustment (method 22) per tier without a mask,
// with a mask of the picture's size and with a smaller mask that is scaled,
// at 1280x720 and 1920x1080 I420. Both work in place: the memcpy baseline
// is the picture in plus the picture out, plus the mask in when there is one.
#include <vector>

#include "bench_util.h"
#include "effects/mia.h"
#include "effects/video_filter.h"

namespace {

using namespace Ravvel;

struct Frame {
    Frame(int w, int h) : bytes(static_cast<size_t>(w) * h + 2 * static_cast<size_t>(w / 2) * (h / 2))
    {
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 11));
        info.iWidth = w;
        info.iHeight = h;
        info.eFormat = RL_FORMAT_I420;
        info.pData[0] = bytes.data();
        info.pData[1] = info.pData[0] + static_cast<size_t>(w) * h;
        info.pData[2] = info.pData[1] + static_cast<size_t>(w / 2) * (h / 2);
        info.iStride[0] = w;
        info.iStride[1] = info.iStride[2] = w / 2;
    }
    std::vector<uint8_t> bytes;
    SRLPictureInfo info{};
};

const char* const kLookNames[] = {"", "bw", "hue", "sepia", "cinnamon", "seafoam"};

void BM_VideoFilter(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const int64_t tier = state.range(1);
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    Frame f(w, h);
    CVideoFilter filter(rlbench::TierMask(tier));
    SRLVideoFilterConfig config = {w, h, RL_FORMAT_I420, mode};
    filter.Init(&config, false);
    state.SetLabel(std::string(kLookNames[mode]) + " " + TierName(static_cast<int>(tier)));
    rlbench::Run(state, f.bytes.size(), f.bytes.size(), [&] { filter.Process(&f.info, nullptr, nullptr); });
}

// mask: 0 none, 1 the picture's size, 2 a quarter of it (scaled on every call).
void BM_Mia(benchmark::State& state)
{
    const int maskKind = static_cast<int>(state.range(0));
    const int64_t tier = state.range(1);
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    Frame f(w, h);
    const int mw = maskKind == 1 ? w : w / 2, mh = maskKind == 1 ? h : h / 2;
    std::vector<uint8_t> mask(static_cast<size_t>(mw) * mh);
    // A soft-edged ellipse, so that runs of equal bytes have realistic lengths.
    for (int y = 0; y < mh; ++y)
        for (int x = 0; x < mw; ++x) {
            const double dx = (x - mw / 2.0) / (mw / 2.0), dy = (y - mh / 2.0) / (mh / 2.0);
            const double r = 1.2 - (dx * dx + dy * dy);
            mask[static_cast<size_t>(y) * mw + x] = static_cast<uint8_t>(r <= 0 ? 0 : r >= 0.25 ? 255 : r * 1020);
        }
    if (maskKind) {
        f.info.pMask = mask.data();
        f.info.iMaskWidth = mw;
        f.info.iMaskHeight = mh;
    }
    CMia mia(rlbench::TierMask(tier));
    int32_t brightness = 60, contrast = 70, saturation = 40;
    mia.SetOption(RL_OPTION_MIA_BRIGHTNESS, &brightness);
    mia.SetOption(RL_OPTION_MIA_CONTRAST, &contrast);
    mia.SetOption(RL_OPTION_MIA_SATURATION, &saturation);
    static const char* const kMaskNames[] = {"no mask", "full mask", "scaled mask"};
    state.SetLabel(std::string(kMaskNames[maskKind]) + " " + TierName(static_cast<int>(tier)));
    rlbench::Run(state, f.bytes.size() + (maskKind ? mask.size() : 0), f.bytes.size(),
                 [&] { mia.Process(&f.info, nullptr, nullptr); });
}

void FilterArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"mode", "tier", "w", "h"});
    for (int size : {720, 1080})
        for (int mode = RL_VIDEO_FILTER_BLACK_AND_WHITE; mode <= RL_VIDEO_FILTER_SEAFOAM; ++mode)
            for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier)
                b->Args({mode, tier, size == 720 ? 1280 : 1920, size});
}

void MiaArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"mask", "tier", "w", "h"});
    for (int size : {720, 1080})
        for (int mask = 0; mask < 3; ++mask)
            for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier)
                b->Args({mask, tier, size == 720 ? 1280 : 1920, size});
}

BENCHMARK(BM_VideoFilter)->Apply(FilterArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Mia)->Apply(MiaArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
