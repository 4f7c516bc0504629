// Colour converter, one format pair per table entry, at 1920x1080 for the
// reference and each SIMD tier, against the memcpy of the same bytes.
//   bench_csc --benchmark_filter='Csc03.*avx2'
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

const int kW = 1920, kH = 1080;

// A picture with tight rows in one buffer.
struct Picture {
    std::vector<uint8_t> bytes;
    SRLPictureInfo info;

    explicit Picture(uint32_t format)
    {
        std::memset(&info, 0, sizeof info);
        info.iWidth = kW;
        info.iHeight = kH;
        info.eFormat = static_cast<RL_EVideoFormat>(format);
        const size_t wh = static_cast<size_t>(kW) * kH;
        switch (format) {
        case RL_FORMAT_RGB24: Packed(3 * kW); break;
        case RL_FORMAT_RGBA:
        case RL_FORMAT_BGRA:
        case RL_FORMAT_RGBA_SCREEN: Packed(4 * kW); break;
        case RL_FORMAT_RGB_PLANAR: bytes.resize(3 * wh); info.iStride[0] = kW; break;
        case RL_FORMAT_YUYV:
        case RL_FORMAT_UYVY: Packed(2 * kW); break;
        case RL_FORMAT_NV12:
        case RL_FORMAT_NV21:
            bytes.resize(wh + wh / 2);
            info.iStride[0] = info.iStride[1] = kW;
            break;
        case RL_FORMAT_I420_2:
            bytes.resize(2 * wh);
            info.iStride[0] = info.iStride[1] = kW;
            break;
        default:  // planar 4:2:0
            bytes.resize(wh + wh / 2);
            info.iStride[0] = kW;
            info.iStride[1] = kW / 2;
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
    void Packed(int stride)
    {
        bytes.resize(static_cast<size_t>(stride) * kH);
        info.iStride[0] = stride;
    }
};

void BM_Csc(benchmark::State& state, Pair pair, int tier)
{
    if (!rlbench::TierAvailable(tier)) {
        state.SkipWithError("tier not available on this processor");
        return;
    }
    Picture src(pair.src), dst(pair.dst);
    CColorSpaceConvertor conv(rlbench::TierMask(tier));
    rlbench::Run(state, src.bytes.size(), dst.bytes.size(),
                 [&] { conv.Process(&src.info, &dst.info, nullptr); });
}

const bool kRegistered = [] {
    for (const Pair& p : kPairs)
        for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier) {
            char name[64];
            std::snprintf(name, sizeof name, "Csc%02d_%u_to_%u/%s", p.entry, p.src, p.dst, TierName(tier));
            benchmark::RegisterBenchmark(name, BM_Csc, p, tier)->Unit(benchmark::kMillisecond)->UseRealTime();
        }
    return true;
}();

}  // namespace
