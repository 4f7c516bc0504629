// Rotation and alpha blending at 1280x720 and 1920x1080.
//   rotation: I420, NV12 and RGBA by 90, 180 and 270 degrees (reference kernels only);
//   alpha blending: I420 and RGBA per tier.
// The memcpy baseline of a rotation is the picture in plus the picture out;
// of a blend, the source picture and the alpha map in plus the destination out.
#include <cstring>
#include <vector>

#include "bench_util.h"
#include "imageops/alpha_blend.h"
#include "imageops/image_rotating.h"

namespace {

using namespace Ravvel;

enum BenchFormat { kI420, kNV12, kRGBA };

const RL_EVideoFormat kFormats[] = {RL_FORMAT_I420, RL_FORMAT_NV12, RL_FORMAT_RGBA};

size_t PictureBytes(int format, int w, int h)
{
    const size_t luma = static_cast<size_t>(w) * h;
    return format == kRGBA ? 4 * luma : luma + 2 * static_cast<size_t>(w / 2) * (h / 2);
}

// A picture over one tightly packed buffer.
SRLPictureInfo Describe(int format, int w, int h, uint8_t* buf)
{
    SRLPictureInfo p{};
    p.iWidth = w;
    p.iHeight = h;
    p.eFormat = kFormats[format];
    const size_t luma = static_cast<size_t>(w) * h;
    p.pData[0] = buf;
    p.iStride[0] = format == kRGBA ? 4 * w : w;
    if (format == kI420) {
        p.pData[1] = buf + luma;
        p.pData[2] = buf + luma + static_cast<size_t>(w / 2) * (h / 2);
        p.iStride[1] = p.iStride[2] = w / 2;
    }
    return p;
}

void BM_Rotate(benchmark::State& state)
{
    const int format = static_cast<int>(state.range(0));
    const uint32_t angle = static_cast<uint32_t>(state.range(1));
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    const size_t bytes = PictureBytes(format, w, h);
    std::vector<uint8_t> in(bytes), out(bytes);
    for (size_t i = 0; i < bytes; ++i) in[i] = static_cast<uint8_t>(i * 7);
    SRLPictureInfo src = Describe(format, w, h, in.data());
    SRLPictureInfo dst = Describe(format, h, w, out.data());

    CImageRotating rot(VeskCPUFeatureDetect(nullptr));
    rot.Init(nullptr, false);
    rot.SetOption(RL_OPTION_ROTATION_ANGLE, const_cast<uint32_t*>(&angle));
    rlbench::Run(state, bytes, bytes, [&] { rot.Process(&src, &dst, nullptr); });
}

void BM_AlphaBlend(benchmark::State& state)
{
    const int format = static_cast<int>(state.range(0));
    const int64_t tier = state.range(1);
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    const size_t bytes = PictureBytes(format, w, h);
    const size_t alphaBytes = static_cast<size_t>(w) * h;
    std::vector<uint8_t> fg(bytes), bg(bytes), alpha(alphaBytes);
    for (size_t i = 0; i < bytes; ++i) {
        fg[i] = static_cast<uint8_t>(i * 13);
        bg[i] = static_cast<uint8_t>(i * 5 + 1);
    }
    for (size_t i = 0; i < alphaBytes; ++i) alpha[i] = static_cast<uint8_t>(i * 3);
    SRLPictureInfo src = Describe(format, w, h, bg.data());
    SRLPictureInfo dst = Describe(format, w, h, fg.data());

    CAlphaBlend blend(rlbench::TierMask(tier));
    blend.Init(alpha.data(), false);
    state.SetLabel(TierName(static_cast<int>(tier)));
    rlbench::Run(state, bytes + alphaBytes, bytes, [&] { blend.Process(&src, &dst, nullptr); });
}

void RotateArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"fmt", "angle", "w", "h"});
    for (int size : {720, 1080})
        for (int format : {kI420, kNV12, kRGBA})
            for (int angle : {90, 180, 270}) b->Args({format, angle, size == 720 ? 1280 : 1920, size});
}

void BlendArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"fmt", "tier", "w", "h"});
    for (int size : {720, 1080})
        for (int format : {kI420, kRGBA})
            for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier)
                b->Args({format, tier, size == 720 ? 1280 : 1920, size});
}

BENCHMARK(BM_Rotate)->Apply(RotateArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlphaBlend)->Apply(BlendArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
