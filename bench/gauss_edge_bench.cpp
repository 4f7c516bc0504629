// Gaussian blur and edge map at 1920x1080 per tier.
//   blur: a grey plane and an RGBA picture at sigma 1, 5 and 20 (the cost
//   should not depend on sigma);
//   edge map: the luma plane with non-maximum suppression.
// The memcpy baseline of both is the picture in plus the picture out.
#include <vector>

#include "bench_util.h"
#include "effects/edge.h"
#include "effects/gauss_blur.h"

namespace {

using namespace Ravvel;

SRLPictureInfo Plane(uint32_t format, int w, int h, uint8_t* p, int stride)
{
    SRLPictureInfo pic{};
    pic.eFormat = static_cast<RL_EVideoFormat>(format);
    pic.iWidth = w;
    pic.iHeight = h;
    pic.pData[0] = p;
    pic.iStride[0] = stride;
    return pic;
}

// A picture with edges and flat areas: diagonal bands over noise.
std::vector<uint8_t> TestPicture(size_t w, size_t h, size_t bytesPerPixel)
{
    std::vector<uint8_t> v(w * h * bytesPerPixel);
    uint32_t s = 12345;
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w * bytesPerPixel; ++x) {
            s = s * 1664525u + 1013904223u;
            v[y * w * bytesPerPixel + x] = static_cast<uint8_t>((((x / bytesPerPixel + y) / 64) & 1 ? 200 : 40) + (s >> 29));
        }
    return v;
}

void BM_GaussBlur(benchmark::State& state)
{
    const int channels = static_cast<int>(state.range(0));
    const float sigma = static_cast<float>(state.range(1));
    const int64_t tier = state.range(2);
    const int w = 1920, h = 1080;
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const std::vector<uint8_t> in = TestPicture(w, h, channels);
    std::vector<uint8_t> out(in.size());
    const uint32_t format = channels == 4 ? RL_FORMAT_RGBA : RL_FORMAT_VYUY;
    SRLPictureInfo src = Plane(format, w, h, const_cast<uint8_t*>(in.data()), w * channels);
    SRLPictureInfo dst = Plane(format, w, h, out.data(), w * channels);
    CGaussBlur blur(rlbench::TierMask(tier));
    blur.SetSigma(sigma);
    state.SetLabel(std::string(TierName(static_cast<int>(tier))) +
                   (channels == 1 && tier != RL_TIER_AVX2 ? " (grey runs the reference below AVX2)" : ""));
    rlbench::Run(state, in.size(), out.size(), [&] { blur.Process(&src, &dst, nullptr); });
}

void BM_EdgeMap(benchmark::State& state)
{
    const int64_t tier = state.range(0);
    const bool thin = state.range(1) != 0;
    const int w = 1920, h = 1080;
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const std::vector<uint8_t> in = TestPicture(w, h, 1);
    std::vector<uint8_t> out(in.size());
    SRLPictureInfo src = Plane(RL_FORMAT_I420, w, h, const_cast<uint8_t*>(in.data()), w);
    SRLPictureInfo dst = Plane(RL_FORMAT_I420, w, h, out.data(), w);
    CEdge edge(rlbench::TierMask(tier));
    SRLEdgeConfig config{w, h, w, thin, RL_FORMAT_I420};
    edge.Init(&config, false);
    state.SetLabel(TierName(static_cast<int>(tier)));
    rlbench::Run(state, in.size(), out.size(), [&] { edge.Process(&src, &dst, nullptr); });
}

void BlurArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"ch", "sigma", "tier"});
    for (int channels : {1, 4})
        for (int sigma : {1, 5, 20})
            for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier) b->Args({channels, sigma, tier});
}

void EdgeArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"tier", "thin"});
    for (int thin : {1, 0})
        for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier) b->Args({tier, thin});
}

BENCHMARK(BM_GaussBlur)->Apply(BlurArgs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EdgeMap)->Apply(EdgeArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
