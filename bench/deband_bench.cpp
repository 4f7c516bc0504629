// Fast deband at 1280x720 and 1920x1080 per tier, with the default settings
// (one luma pass, one pass per chroma plane) and with three passes on each.
// The memcpy baseline is the I420 picture in plus the I420 picture out.
#include <cstdlib>
#include <cstring>

#include "bench_util.h"
#include "enhance/fast_deband.h"

namespace {

using namespace Ravvel;

// An I420 picture with 64-byte aligned planes, as the method requires.
struct AlignedI420 {
    AlignedI420(int w, int h, uint8_t seed)
    {
        std::memset(&info, 0, sizeof info);
        info.iWidth = w;
        info.iHeight = h;
        info.eFormat = RL_FORMAT_I420;
        for (int p = 0; p < 3; ++p) {
            const int pw = p ? (w + 1) / 2 : w, ph = p ? (h + 1) / 2 : h;
            void* block = nullptr;
            if (posix_memalign(&block, 64, static_cast<size_t>(pw) * ph) != 0) std::abort();
            info.pData[p] = static_cast<uint8_t*>(block);
            info.iStride[p] = pw;
            // A banded gradient with a little texture: the filter has work on every row.
            for (int y = 0; y < ph; ++y)
                for (int x = 0; x < pw; ++x)
                    info.pData[p][static_cast<size_t>(y) * pw + x] =
                        static_cast<uint8_t>(40 + 4 * ((x + y) / 37 % 40) + ((x * 7 + y * 13 + seed) & 3));
        }
    }
    ~AlignedI420()
    {
        for (uint8_t* p : info.pData) std::free(p);
    }
    size_t Bytes() const
    {
        const size_t w = info.iWidth, h = info.iHeight;
        return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
    }
    SRLPictureInfo info;
};

void BM_FastDeband(benchmark::State& state)
{
    const int64_t tier = state.range(0);
    const int depth = static_cast<int>(state.range(1));
    const int w = static_cast<int>(state.range(2)), h = static_cast<int>(state.range(3));
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    AlignedI420 src(w, h, 1), dst(w, h, 2);
    CFastDeband deband(rlbench::TierMask(tier));
    deband.GetLogger()->SetLogLevel(-1);  // no first-frame settings line amid the table
    // Depth 0 means the defaults: one pass on luma and one per chroma plane.
    SFastDebandConfig cfg = {w, h, 8, 6, 6, RL_FORMAT_I420, depth ? depth : 0, depth ? depth : 1};
    deband.Init(&cfg, false);
    state.SetLabel(TierName(static_cast<int>(tier)));
    rlbench::Run(state, src.Bytes(), dst.Bytes(), [&] { deband.Process(&src.info, &dst.info, nullptr); });
}

void DebandArgs(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"tier", "depth", "w", "h"});
    for (int size : {720, 1080})
        for (int depth : {0, 3})
            for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier)
                b->Args({tier, depth, size == 720 ? 1280 : 1920, size});
}

BENCHMARK(BM_FastDeband)->Apply(DebandArgs)->Unit(benchmark::kMicrosecond);

}  // namespace
