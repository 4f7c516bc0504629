// Downsampler at 1920x1080: half-band halving, four-tap 2/3, repeated halving
// and a generic ratio, per format, output placement and tier.
//   args: format, destination width, destination height, tier, library output (1) or caller (0), bilinear
#include <chrono>
#include <cstring>
#include <vector>

#include "bench_util.h"
#include "scale/downsample.h"

namespace {

using namespace Ravvel;

size_t PictureBytes(uint32_t format, int w, int h)
{
    if (format == 2) return static_cast<size_t>(w) * h * 4;
    return static_cast<size_t>(w) * h * 3 / 2;  // I420 and NV12
}

// Planes with 64-byte aligned rows so that caller memory is used in place.
struct Frame {
    std::vector<uint8_t> mem;
    SRLPictureInfo info{};
    Frame(uint32_t format, int w, int h)
    {
        const int bpp = format == 2 ? 4 : 1;
        const int stride = (w * bpp + 63) & ~63;
        const int chromaStride = format == 23 ? ((w / 2 + 63) & ~63) : stride;
        mem.assign(static_cast<size_t>(stride) * h + 2 * static_cast<size_t>(chromaStride) * (h / 2) + 64, 0);
        uint8_t* base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(mem.data()) + 63) & ~uintptr_t(63));
        info.iWidth = w;
        info.iHeight = h;
        info.eFormat = static_cast<RL_EVideoFormat>(format);
        info.pData[0] = base;
        info.iStride[0] = stride;
        if (format != 2) {
            info.pData[1] = base + static_cast<size_t>(stride) * h;
            info.iStride[1] = chromaStride;
            info.pData[2] = info.pData[1] + static_cast<size_t>(chromaStride) * (h / 2);
            info.iStride[2] = chromaStride;
        }
        for (size_t i = 0; i < mem.size(); ++i) mem[i] = static_cast<uint8_t>((i * 37) ^ (i >> 7));
    }
};

void BM_Downsample(benchmark::State& state)
{
    const uint32_t format = static_cast<uint32_t>(state.range(0));
    const int w = static_cast<int>(state.range(1)), h = static_cast<int>(state.range(2));
    const int64_t tier = state.range(3);
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available");
        return;
    }
    CDownsampling m(rlbench::TierMask(tier));
    m.InitLogger(RL_TRACE_WARNING, nullptr, nullptr);
    m.Init(nullptr, state.range(4) == 0);
    if (state.range(5)) m.SetOption(RL_OPTION_DOWNSAMPLE_BILINEAR, nullptr);
    Frame src(format, 1920, 1080), dst(format, w, h);
    const size_t inBytes = PictureBytes(format, 1920, 1080), outBytes = PictureBytes(format, w, h);
    // x_memcpy averages every frame, so on a busy machine it also counts the
    // time the job spent preempted; the fastest frame against the (also
    // best-of) memcpy baseline shows what the code itself costs.
    double best = 1e30;
    rlbench::Run(state, inBytes, outBytes, [&] {
        const auto t0 = std::chrono::steady_clock::now();
        m.Process(&src.info, &dst.info, nullptr);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    });
    const double baseline = rlbench::MemcpyBaselineSeconds(inBytes, outBytes);
    state.counters["x_memcpy_best"] = baseline > 0 ? best / baseline : 0;
}

void Args(benchmark::internal::Benchmark* b)
{
    const int sizes[][2] = {{960, 540}, {1280, 720}, {640, 360}, {1366, 768}};
    for (int format : {23, 26, 2})
        for (const auto& s : sizes)
            for (int tier : {0, 5})
                for (int library : {0, 1})
                    for (int bilinear : {0, 1}) {
                        if (format != 23 && bilinear) continue;  // the filtered paths are planar only
                        b->Args({format, s[0], s[1], tier, library, bilinear});
                    }
    b->ArgNames({"fmt", "w", "h", "tier", "lib", "bilinear"});
}

BENCHMARK(BM_Downsample)->Apply(Args)->Unit(benchmark::kMillisecond)->MinTime(0.2);

}  // namespace

namespace {

// The kernel table of a tier, or false (and the benchmark skipped) when this
// processor lacks the tier.
bool TierKernels(benchmark::State& state, int64_t tier, DownsampleFuncs* f)
{
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available");
        return false;
    }
    FillDownsampleFuncs(f, rlbench::TierMask(tier));
    return true;
}

// A source plane with a fixed pattern.
std::vector<uint8_t> PatternPlane(size_t bytes)
{
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i * 37) ^ (i >> 7));
    return v;
}

// The general bilinear kernels alone on the planes of a 1920x1080 I420 frame:
// luma through the fast kernel, one chroma plane through the accurate one.
//   args: accurate (1) or fast (0), destination width, destination height, tier
void BM_GeneralKernel(benchmark::State& state)
{
    const bool accurate = state.range(0) != 0;
    const int sw = accurate ? 960 : 1920, sh = accurate ? 540 : 1080;
    const int dw = static_cast<int>(state.range(1)) >> (accurate ? 1 : 0);
    const int dh = static_cast<int>(state.range(2)) >> (accurate ? 1 : 0);
    DownsampleFuncs f;
    if (!TierKernels(state, state.range(3), &f)) return;
    const GeneralDownsampleFunc fn = accurate ? f.pfGeneralAccurate : f.pfGeneralFast;
    const int ss = (sw + 63) & ~63, ds = (dw + 63) & ~63;
    const std::vector<uint8_t> src = PatternPlane(static_cast<size_t>(ss) * sh);
    std::vector<uint8_t> dst(static_cast<size_t>(ds) * dh);
    const size_t inBytes = static_cast<size_t>(sw) * sh, outBytes = static_cast<size_t>(dw) * dh;
    double best = 1e30;
    rlbench::Run(state, inBytes, outBytes, [&] {
        const auto t0 = std::chrono::steady_clock::now();
        fn(dst.data(), ds, dw, dh, src.data(), ss, sw, sh);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    });
    state.counters["best_us"] = best * 1e6;
}

void KernelArgs(benchmark::internal::Benchmark* b)
{
    for (int accurate : {0, 1})
        for (int tier : {0, 3, 5}) {
            b->Args({accurate, 1280, 720, tier});
            b->Args({accurate, 1366, 768, tier});
        }
}

BENCHMARK(BM_GeneralKernel)
    ->Apply(KernelArgs)
    ->ArgNames({"accurate", "w", "h", "tier"})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.2);

}  // namespace

namespace {

// The interleaved-pair accurate kernel alone on the chroma plane of a
// 1920x1080 NV12 frame (1920 bytes of pairs x 540 rows).
//   args: destination width, destination height (of the frame), tier
void BM_NVXYChromaKernel(benchmark::State& state)
{
    const int sw = 1920, sh = 540;
    const int dw = static_cast<int>(state.range(0)), dh = static_cast<int>(state.range(1)) / 2;
    DownsampleFuncs f;
    if (!TierKernels(state, state.range(2), &f)) return;
    const int ss = sw, ds = (dw + 63) & ~63;
    const std::vector<uint8_t> src = PatternPlane(static_cast<size_t>(ss) * sh);
    std::vector<uint8_t> dst(static_cast<size_t>(ds) * dh);
    rlbench::Run(state, static_cast<size_t>(sw) * sh, static_cast<size_t>(dw) * dh, [&] {
        f.pfGeneralAccurateNVXYChroma(dst.data(), ds, dw, dh, src.data(), ss, sw, sh);
    });
}

BENCHMARK(BM_NVXYChromaKernel)
    ->Args({1280, 720, 0})->Args({1280, 720, 2})->Args({1366, 768, 0})->Args({1366, 768, 2})->Args({640, 360, 2})
    ->ArgNames({"w", "h", "tier"})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.2);

}  // namespace
