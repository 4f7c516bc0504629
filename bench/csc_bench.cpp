// Colour converter, one format pair per table entry, at 1920x1080 for the
// reference and each SIMD tier and at 1280x720 for the reference and AVX2,
// against the memcpy of the same bytes.
//   bench_csc --benchmark_filter='Csc03.*1920x1080/avx2'
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "csc/color_space_convertor.h"

namespace {

using namespace Ravvel;

struct Pair {
    int entry;
    uint32_t src, dst;
};

const Pair kPairs[] = {
    {0, RL_FORMAT_I420, RL_FORMAT_YV12},       {1, RL_FORMAT_I420, RL_FORMAT_RGB24},
    {2, RL_FORMAT_I420, RL_FORMAT_RGBA_SCREEN}, {3, RL_FORMAT_I420, RL_FORMAT_RGBA},
    {4, RL_FORMAT_I420, RL_FORMAT_RGB_PLANAR}, {5, RL_FORMAT_I420, RL_FORMAT_NV12},
    {6, RL_FORMAT_I420, RL_FORMAT_YUYV},       {7, RL_FORMAT_RGB24, RL_FORMAT_I420},
    {8, RL_FORMAT_RGBA, RL_FORMAT_I420},       {9, RL_FORMAT_RGB_PLANAR, RL_FORMAT_I420},
    {10, RL_FORMAT_RGB24, RL_FORMAT_YUYV},     {11, RL_FORMAT_BGRA, RL_FORMAT_YUYV},
    {12, RL_FORMAT_RGB_PLANAR, RL_FORMAT_YUYV}, {13, RL_FORMAT_RGB24, RL_FORMAT_NV12},
    {14, RL_FORMAT_BGRA, RL_FORMAT_NV12},      {15, RL_FORMAT_RGB_PLANAR, RL_FORMAT_NV12},
    {16, RL_FORMAT_RGBA, RL_FORMAT_BGRA},      {17, RL_FORMAT_RGBA, RL_FORMAT_RGB_PLANAR},
    {18, RL_FORMAT_RGB_PLANAR, RL_FORMAT_BGRA}, {19, RL_FORMAT_YUYV, RL_FORMAT_I420},
    {20, RL_FORMAT_YUYV, RL_FORMAT_NV12},      {21, RL_FORMAT_YUYV, RL_FORMAT_RGB24},
    {22, RL_FORMAT_UYVY, RL_FORMAT_BGRA},      {23, RL_FORMAT_YUYV, RL_FORMAT_RGB_PLANAR},
    {24, RL_FORMAT_YUYV, RL_FORMAT_UYVY},      {25, RL_FORMAT_NV12, RL_FORMAT_YUYV},
    {26, RL_FORMAT_NV12, RL_FORMAT_I420},      {27, RL_FORMAT_NV21, RL_FORMAT_NV12},
    {28, RL_FORMAT_NV12, RL_FORMAT_RGB24},     {29, RL_FORMAT_NV12, RL_FORMAT_RGBA},
    {30, RL_FORMAT_NV12, RL_FORMAT_RGB_PLANAR}, {31, RL_FORMAT_I420_2, RL_FORMAT_I420},
};

// A picture with tight rows in one buffer.
struct Picture {
    std::vector<uint8_t> bytes;
    SRLPictureInfo info;

    Picture(uint32_t format, int w, int h)
    {
        std::memset(&info, 0, sizeof info);
        info.iWidth = w;
        info.iHeight = h;
        info.eFormat = static_cast<RL_EVideoFormat>(format);
        const size_t wh = static_cast<size_t>(w) * h;
        switch (format) {
        case RL_FORMAT_RGB24: Packed(3 * w, h); break;
        case RL_FORMAT_RGBA:
        case RL_FORMAT_BGRA:
        case RL_FORMAT_RGBA_SCREEN: Packed(4 * w, h); break;
        case RL_FORMAT_RGB_PLANAR: bytes.resize(3 * wh); info.iStride[0] = w; break;
        case RL_FORMAT_YUYV:
        case RL_FORMAT_UYVY: Packed(2 * w, h); break;
        case RL_FORMAT_NV12:
        case RL_FORMAT_NV21:
            bytes.resize(wh + wh / 2);
            info.iStride[0] = info.iStride[1] = w;
            break;
        case RL_FORMAT_I420_2:
            bytes.resize(2 * wh);
            info.iStride[0] = info.iStride[1] = w;
            break;
        default:  // planar 4:2:0
            bytes.resize(wh + wh / 2);
            info.iStride[0] = w;
            info.iStride[1] = w / 2;
            break;
        }
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 11));
        uint8_t* p = bytes.data();
        info.pData[0] = p;
        if (format == RL_FORMAT_NV12 || format == RL_FORMAT_NV21) {
            info.pData[1] = p + wh;
        } else if (format == RL_FORMAT_I420_2) {
            info.pData[1] = p + wh;
            info.pData[2] = p + wh + wh / 2;
        } else if (format == RL_FORMAT_I420 || format == RL_FORMAT_YV12) {
            info.pData[1] = p + wh;
            info.pData[2] = p + wh + wh / 4;
        }
    }

private:
    void Packed(int stride, int rows)
    {
        bytes.resize(static_cast<size_t>(stride) * static_cast<size_t>(rows));
        info.iStride[0] = stride;
    }
};

struct Size {
    int w, h;
};

void BM_Csc(benchmark::State& state, Pair pair, Size size, int tier)
{
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    Picture src(pair.src, size.w, size.h), dst(pair.dst, size.w, size.h);
    CColorSpaceConvertor conv(rlbench::TierMask(tier));
    rlbench::Run(state, src.bytes.size(), dst.bytes.size(),
                 [&] { conv.Process(&src.info, &dst.info, nullptr); });
}

const bool kRegistered = [] {
    const Size sizes[] = {{1920, 1080}, {1280, 720}};
    for (const Pair& p : kPairs)
        for (const Size& size : sizes)
            for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier) {
                if (size.w != 1920 && tier != RL_TIER_C && tier != RL_TIER_AVX2) continue;
                char name[80];
                std::snprintf(name, sizeof name, "Csc%02d_%u_to_%u/%dx%d/%s", p.entry, p.src, p.dst, size.w, size.h,
                              TierName(tier));
                benchmark::RegisterBenchmark(name, BM_Csc, p, size, tier)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
    return true;
}();

}  // namespace
