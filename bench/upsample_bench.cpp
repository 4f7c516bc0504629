// Upsampling of I420 frames, per filter and tier, against the memcpy of the
// source and destination frames.
#include <vector>

#include "bench_util.h"
#include "scale/upsample.h"

namespace {

struct Size {
    int sw, sh, dw, dh;
};
const Size kSizes[] = {{640, 360, 1280, 720}, {1280, 720, 1920, 1080}};

size_t I420Bytes(int w, int h)
{
    return static_cast<size_t>(w) * h + 2 * static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2);
}

// Args: size index, filter (1 linear, 2 bilinear), tier (0 reference ... 5 AVX2).
void BM_Upsample(benchmark::State& state)
{
    const Size s = kSizes[state.range(0)];
    const int32_t filter = static_cast<int32_t>(state.range(1));
    if (!rlbench::TierAvailable(state.range(2))) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    Ravvel::CUpsampling up(rlbench::TierMask(state.range(2)));
    up.GetLogger()->SetLogLevel(-1);  // keep the report free of lifecycle lines
    int32_t cfg = filter;
    up.Init(&cfg, false);

    std::vector<uint8_t> in(I420Bytes(s.sw, s.sh)), out(I420Bytes(s.dw, s.dh));
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>((i * 7 + (i >> 11) * 13) & 255);
    SRLPictureInfo src{}, dst{};
    src.eFormat = RL_FORMAT_I420;
    src.iWidth = s.sw;
    src.iHeight = s.sh;
    src.pData[0] = in.data();
    src.pData[1] = src.pData[0] + static_cast<size_t>(s.sw) * s.sh;
    src.pData[2] = src.pData[1] + static_cast<size_t>((s.sw + 1) / 2) * ((s.sh + 1) / 2);
    src.iStride[0] = s.sw;
    src.iStride[1] = src.iStride[2] = (s.sw + 1) / 2;
    dst.eFormat = RL_FORMAT_I420;
    dst.iWidth = s.dw;
    dst.iHeight = s.dh;
    dst.pData[0] = out.data();
    dst.pData[1] = dst.pData[0] + static_cast<size_t>(s.dw) * s.dh;
    dst.pData[2] = dst.pData[1] + static_cast<size_t>((s.dw + 1) / 2) * ((s.dh + 1) / 2);
    dst.iStride[0] = s.dw;
    dst.iStride[1] = dst.iStride[2] = (s.dw + 1) / 2;

    rlbench::Run(state, in.size(), out.size(), [&] { up.Process(&src, &dst, nullptr); });
    state.SetLabel(std::to_string(s.sw) + "x" + std::to_string(s.sh) + "->" + std::to_string(s.dw) + "x" +
                   std::to_string(s.dh) + (filter == 2 ? " bilinear " : " linear ") +
                   Ravvel::TierName(static_cast<int>(state.range(2))));
}

BENCHMARK(BM_Upsample)
    ->ArgsProduct({{0, 1}, {1, 2}, {Ravvel::RL_TIER_C, Ravvel::RL_TIER_SSE2, Ravvel::RL_TIER_AVX2}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
