#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "scale/downsample.h"
#include "simd/dispatch.h"
#include "support/log_capture.h"

namespace {

using namespace Ravvel;

// A picture in its own exactly sized, 64-aligned allocation per plane; `offset`
// shifts every plane off the alignment.
struct Picture {
    SRLPictureInfo info{};
    std::vector<std::unique_ptr<uint8_t, decltype(&std::free)>> planes;

    Picture(uint32_t format, int w, int h, int offset = 0, int extraStride = 0)
    {
        info.iWidth = w;
        info.iHeight = h;
        info.eFormat = static_cast<RL_EVideoFormat>(format);
        int rowBytes[3] = {w, 0, 0}, rows[3] = {h, 0, 0};
        if (format == 1 || format == 5) rowBytes[0] = 3 * w;
        if (format == 2 || format == 6 || format == 7 || format == 8) rowBytes[0] = 4 * w;
        if (format == 9) rowBytes[1] = rowBytes[2] = w, rows[1] = rows[2] = h;
        if (format == 23) rowBytes[1] = rowBytes[2] = w / 2, rows[1] = rows[2] = h / 2;
        if (format == 26 || format == 29) rowBytes[1] = w, rows[1] = h / 2;
        for (int p = 0; p < 3; ++p) {
            if (!rows[p]) {
                planes.emplace_back(nullptr, &std::free);
                continue;
            }
            const int stride = rowBytes[p] + extraStride;
            const size_t size = static_cast<size_t>(stride) * (rows[p] - 1) + rowBytes[p] + offset;
            void* mem = nullptr;
            if (posix_memalign(&mem, 64, size) != 0) std::abort();
            planes.emplace_back(static_cast<uint8_t*>(mem), &std::free);
            info.pData[p] = static_cast<uint8_t*>(mem) + offset;
            info.iStride[p] = stride;
        }
    }
    int PlaneRows(int p) const
    {
        const uint32_t f = static_cast<uint32_t>(info.eFormat);
        return (p > 0 && (f == 23 || f == 26 || f == 29)) ? info.iHeight / 2 : info.iHeight;
    }
    int PlaneBytes(int p) const
    {
        const uint32_t f = static_cast<uint32_t>(info.eFormat);
        if (f == 1 || f == 5) return 3 * info.iWidth;
        if (f == 2 || f == 6 || f == 7 || f == 8) return 4 * info.iWidth;
        return (p > 0 && f == 23) ? info.iWidth / 2 : info.iWidth;
    }
    void Fill(uint32_t seed)
    {
        for (int p = 0; p < 3; ++p)
            if (info.pData[p])
                for (int y = 0; y < PlaneRows(p); ++y)
                    for (int x = 0; x < PlaneBytes(p); ++x) {
                        seed = seed * 1664525u + 1013904223u;
                        // Smooth gradients plus noise: overshoot and clamping both occur.
                        info.pData[p][y * info.iStride[p] + x] =
                            static_cast<uint8_t>(((x * 7 + y * 3) & 255) ^ ((seed >> 27) * ((x + y) % 5 == 0)));
                    }
    }
    void FillConstant(uint8_t v)
    {
        for (int p = 0; p < 3; ++p)
            if (info.pData[p])
                for (int y = 0; y < PlaneRows(p); ++y) std::memset(info.pData[p] + y * info.iStride[p], v, PlaneBytes(p));
    }
    // The visible bytes of every plane, read through a descriptor.
    static std::vector<uint8_t> Bytes(const SRLPictureInfo& d, const Picture& layout)
    {
        std::vector<uint8_t> out;
        for (int p = 0; p < 3; ++p)
            if (layout.info.pData[p])
                for (int y = 0; y < layout.PlaneRows(p); ++y)
                    out.insert(out.end(), d.pData[p] + y * d.iStride[p],
                               d.pData[p] + y * d.iStride[p] + layout.PlaneBytes(p));
        return out;
    }
};

struct Downsampler {
    IRavvel* rl = nullptr;
    rltest::LogCapture log;
    explicit Downsampler(bool toCaller = true)
    {
        EXPECT_EQ(CreateRavvel(&rl), RL_OK);
        log.Attach(rl);
        EXPECT_EQ(rl->Init(RL_METHOD_DOWNSAMPLING, nullptr, toCaller), RL_OK);
    }
    ~Downsampler() { DestroyRavvel(rl); }
    int32_t Run(Picture& src, Picture& dst) { return rl->Process(RL_METHOD_DOWNSAMPLING, &src.info, &dst.info, nullptr); }
    void Bilinear() { rl->SetOption(RL_METHOD_DOWNSAMPLING, RL_OPTION_DOWNSAMPLE_BILINEAR, nullptr); }
};

// ---- Filter design -----------------------------------------------------------

TEST(DownsampleFilters, HalfBandTapsForBothTunes)
{
    for (uint8_t tune : {0, 1, 7}) {
        int32_t q[6];
        double work[6];
        DesignHalfBandTaps(tune, 6, q, work);
        const std::vector<int32_t> expected =
            tune ? std::vector<int32_t>{-5, 6, 31, 31, 6, -5} : std::vector<int32_t>{-1, 8, 25, 25, 8, -1};
        EXPECT_EQ(std::vector<int32_t>(q, q + 6), expected) << "tune " << int(tune);
    }
}

TEST(DownsampleFilters, FourTapTablePhases)
{
    const int8_t* t = FourTapTable();
    auto phase = [t](int p) { return std::vector<int>(t + 4 * p, t + 4 * p + 4); };
    EXPECT_EQ(phase(0), (std::vector<int>{0, 64, 0, 0}));
    EXPECT_EQ(phase(16), (std::vector<int>{-5, 55, 15, -1}));
    EXPECT_EQ(phase(32), (std::vector<int>{-4, 36, 36, -4}));
    for (int p = 0; p < 64; ++p) EXPECT_EQ(t[4 * p] + t[4 * p + 1] + t[4 * p + 2] + t[4 * p + 3], 64) << p;
    // Mirror phases weigh mirrored samples.
    for (int p = 1; p < 64; ++p)
        for (int k = 0; k < 4; ++k) EXPECT_EQ(t[4 * p + k], t[4 * (64 - p) + 3 - k]) << p;
}

TEST(DownsampleFilters, SpecialRatiosAndTheirTables)
{
    EXPECT_EQ(FindSpecialRatio(900, 1000).iSet, 1);
    EXPECT_EQ(FindSpecialRatio(800, 1000).iSet, 2);
    EXPECT_EQ(FindSpecialRatio(1280, 1920).iSet, 5);
    EXPECT_EQ(FindSpecialRatio(540, 720).iSet, 6);
    EXPECT_EQ(FindSpecialRatio(500, 600).iSet, 0);
    for (int s = 1; s < kSpecialSets; ++s)
        for (int k = 0; k < FindSpecialRatio(s == 5 ? 8 : s == 6 ? 6 : 10 - s, s == 5 ? 12 : s == 6 ? 8 : 10).iOutputs;
             ++k) {
            EXPECT_EQ(pSpecial[s][k][0] + pSpecial[s][k][1] + pSpecial[s][k][2] + pSpecial[s][k][3], 64) << s << k;
            EXPECT_EQ(pSpecialTune[s][k][0] + pSpecialTune[s][k][1] + pSpecialTune[s][k][2] + pSpecialTune[s][k][3], 64)
                << s << k;
        }
}

// ---- Reference kernels with known values ---------------------------------------

TEST(DownsampleKernels, AveragingOrderDiffersBetweenPlanarAndPacked)
{
    const uint8_t src[2][2] = {{0, 2}, {1, 1}};
    uint8_t out = 0xee;
    DyadicBilinearDownsampler_c(&out, 1, &src[0][0], 2, 2, 2);
    EXPECT_EQ(out, 1);
    InterleavedBilinearDownsampler_c(&out, 1, &src[0][0], 2, 2, 2, 1);
    EXPECT_EQ(out, 2);
}

TEST(DownsampleKernels, StepsAndFirstSamples)
{
    EXPECT_EQ(FastBilinearStepX(1920, 1280), 98304);
    EXPECT_EQ(TruncatedStep15(640, 320), 65536);
    // 1920 -> 1280 fast: the first column samples halfway between source 0 and 1.
    std::vector<uint8_t> src(1920 * 4), dst(1280 * 2, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 1920; ++x) src[y * 1920 + x] = static_cast<uint8_t>(x & 1 ? 200 : 100);
    VeskGeneralBilinearFastDownsampler_c(dst.data(), 1280, 1280, 2, src.data(), 1920, 1920, 4);
    EXPECT_EQ(dst[0], 150);
    // One third with height 0 writes nothing.
    uint8_t guard[8] = {7, 7, 7, 7, 7, 7, 7, 7};
    DyadicBilinearOneThirdDownsampler_c(guard, 8, src.data(), 1920, 24, 0);
    EXPECT_EQ(guard[0], 7);
}

// The vector general kernels split 30-bit weight products and 23-bit sums to
// stay in 32-bit lanes; saturated and alternating extremes probe those bounds
// (random data rarely does), on geometries whose vertical fraction repeats
// every 1, 2 or 32 rows and on one where it never repeats.
struct ExtremeGeometry {
    int sw, sh, dw, dh;
};

class DownsampleGeneralExtremes : public testing::TestWithParam<ExtremeGeometry> {};

TEST_P(DownsampleGeneralExtremes, EveryTierMatchesReference)
{
    const ExtremeGeometry g = GetParam();
    const int stride = g.sw + 5;
    const uint32_t detected = VeskCPUFeatureDetect(nullptr);
    for (int pattern = 0; pattern < 3; ++pattern) {
        std::vector<uint8_t> src(static_cast<size_t>(stride) * g.sh);
        for (int y = 0; y < g.sh; ++y)
            for (int x = 0; x < stride; ++x)
                src[static_cast<size_t>(y) * stride + x] =
                    pattern == 0 ? 255 : (pattern == 1 ? ((x + y) & 1) * 255 : (x % 3 == 0 || y % 4 == 1 ? 255 : 0));
        for (int accurate = 0; accurate < 2; ++accurate) {
            std::vector<uint8_t> expected;
            for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier) {
                if (tier != RL_TIER_C && !(detected & TierFlag(tier))) continue;
                DownsampleFuncs f;
                FillDownsampleFuncs(&f, TierFlagMask(tier));
                std::vector<uint8_t> dst(static_cast<size_t>(g.dw) * g.dh, 0xcd);
                (accurate ? f.pfGeneralAccurate : f.pfGeneralFast)(dst.data(), g.dw, g.dw, g.dh, src.data(), stride,
                                                                   g.sw, g.sh);
                if (tier == RL_TIER_C) {
                    expected = dst;
                    if (pattern == 0) {
                        EXPECT_EQ(*std::min_element(dst.begin(), dst.end()), 255);
                    }
                } else {
                    ASSERT_EQ(dst, expected) << TierName(tier) << " pattern " << pattern << " accurate " << accurate;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Geometries, DownsampleGeneralExtremes,
                         testing::Values(ExtremeGeometry{1920, 24, 1280, 16}, ExtremeGeometry{960, 135, 683, 96},
                                         ExtremeGeometry{700, 40, 350 + 1, 20}, ExtremeGeometry{640, 37, 600, 31}));

// ---- Validation through IRavvel -----------------------------------------------

struct BadCase {
    const char* name;
    int sw, sh, dw, dh;
    bool nullSrcPlane;
    const char* message;
};

class DownsampleValidation : public testing::TestWithParam<BadCase> {};

TEST_P(DownsampleValidation, RefusedWithMessage)
{
    const BadCase& c = GetParam();
    Downsampler ds;
    Picture src(23, c.sw > 0 ? c.sw : 16, c.sh > 0 ? c.sh : 16), dst(23, c.dw > 0 ? c.dw : 16, c.dh > 0 ? c.dh : 16);
    src.info.iWidth = c.sw;
    src.info.iHeight = c.sh;
    dst.info.iWidth = c.dw;
    dst.info.iHeight = c.dh;
    if (c.nullSrcPlane) src.info.pData[0] = nullptr;
    EXPECT_EQ(ds.Run(src, dst), RL_ERR_FAILED);
    EXPECT_TRUE(ds.log.Contains(c.message)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownsampleValidation,
    testing::Values(
        BadCase{"null plane", 64, 64, 32, 32, true, "input data pointer is null."},
        BadCase{"zero", 64, 0, 32, 32, false, "input or output frame size is 0."},
        BadCase{"odd", 33, 32, 16, 16, false, "odd frame size is not supported. inframe=33x32, outframe=16x16"},
        BadCase{"small", 64, 64, 14, 32, false, "width or height less than 16. inframe=64x64, outframe=14x32"},
        BadCase{"negative", 64, 64, -32, 32, false, "width or height less than 16."},
        BadCase{"not shrinking", 640, 480, 640, 240, false,
                "unsupported downsample ratio from (640x480) to (640x240), input width or height less then output."}),
    [](const testing::TestParamInfo<BadCase>& i) {
        std::string n = i.param.name;
        for (char& ch : n)
            if (ch == ' ') ch = '_';
        return n;
    });

TEST(DownsampleValidationMisc, NullDescriptorsAndCallerPlanes)
{
    Downsampler ds;
    Picture src(23, 64, 64), dst(23, 32, 32);
    EXPECT_EQ(ds.rl->Process(RL_METHOD_DOWNSAMPLING, nullptr, &dst.info, nullptr), RL_ERR_FAILED);
    EXPECT_TRUE(ds.log.Contains("input or output picture pointer is null"));
    dst.info.pData[0] = nullptr;
    EXPECT_EQ(ds.Run(src, dst), RL_ERR_FAILED);
    EXPECT_TRUE(ds.log.Contains("output data pointer is null."));
    // A missing chroma plane is refused before anything is read.
    Picture src2(23, 64, 64), dst2(23, 32, 32);
    src2.info.pData[2] = nullptr;
    EXPECT_EQ(ds.Run(src2, dst2), RL_ERR_FAILED);
}

TEST(DownsampleValidationMisc, UnsupportedFormats)
{
    // Library output: the buffer preparation refuses the format.
    Downsampler lib(false);
    Picture src(20, 64, 64), dst(20, 32, 32);
    EXPECT_EQ(lib.Run(src, dst), RL_ERR_FAILED);
    EXPECT_TRUE(lib.log.Contains("AllocateBuffer failed."));
    // Caller output with aligned planes: the format reaches the path switch.
    Downsampler caller(true);
    EXPECT_EQ(caller.Run(src, dst), RL_ERR_UNSUPPORTED);
    src.info.eFormat = static_cast<RL_EVideoFormat>(23u | 0x80000000u);
    dst.info.eFormat = src.info.eFormat;
    EXPECT_EQ(caller.Run(src, dst), RL_ERR_UNSUPPORTED);
}

// ---- Output placement ------------------------------------------------------------

struct Job {
    uint32_t format;
    int sw, sh, dw, dh;
    bool bilinear;
};

std::string JobName(const Job& j)
{
    return "f" + std::to_string(j.format) + "_" + std::to_string(j.sw) + "x" + std::to_string(j.sh) + "_to_" +
           std::to_string(j.dw) + "x" + std::to_string(j.dh) + (j.bilinear ? "_bilinear" : "_filtered");
}

const Job kJobs[] = {
    {23, 32, 32, 16, 16, false},     {23, 1920, 1080, 960, 540, false}, {23, 1280, 720, 320, 180, false},
    {23, 1280, 720, 400, 224, false}, {23, 1000, 600, 900, 540, false}, {23, 1000, 600, 800, 500, false},
    {23, 640, 480, 600, 450, true},   {23, 1280, 720, 320, 180, true},  {23, 1280, 720, 400, 224, true},
    {9, 1000, 600, 900, 400, false},  {9, 640, 360, 160, 90, true},     {31, 3842, 2160, 1280, 720, false},
    {31, 3844, 2160, 961 & ~1, 540, false}, {31, 3840, 2184, 960, 546, true}, {31, 1000, 600, 500, 300, false},
    {26, 640, 360, 320, 180, false},  {29, 640, 360, 400, 240, false},  {2, 640, 360, 320, 180, false},
    {1, 640, 360, 400, 240, false},   {8, 200, 100, 66, 50, false},
    // Full-size frames through the vector paths: 2/3 groups, generic phases,
    // general bilinear on both axes, interleaved chroma; rows wider than the
    // kernels' column tables.
    {23, 1920, 1080, 1280, 720, false}, {23, 1920, 1080, 1366, 768, false}, {23, 1920, 1080, 1366, 768, true},
    {23, 1920, 1080, 1280, 720, true},
    {26, 1920, 1080, 1280, 720, false}, {31, 4400, 200, 3960, 180, false}, {31, 4400, 200, 2600, 120, true},
    // Shrinks past 2 in one pass (a window per four outputs), interleaved
    // chroma whose vertical phase repeats every 32 rows.
    {26, 1920, 1080, 640, 360, false},  {26, 1920, 1080, 1366, 768, false}, {23, 1920, 1080, 600, 720, true},
};

class DownsampleJobs : public testing::TestWithParam<Job> {};

// Flat input stays flat on every path; the same input through library output,
// in-place caller planes and unaligned caller planes (copy-out) gives one result.
TEST_P(DownsampleJobs, FlatStaysFlatAndPlacementsAgree)
{
    const Job& j = GetParam();
    Picture flatSrc(j.format, j.sw, j.sh), flatDst(j.format, j.dw, j.dh);
    flatSrc.FillConstant(77);
    {
        Downsampler ds;
        if (j.bilinear) ds.Bilinear();
        ASSERT_EQ(ds.Run(flatSrc, flatDst), RL_OK);
        for (uint8_t v : Picture::Bytes(flatDst.info, flatDst)) ASSERT_EQ(v, 77);
    }

    Picture src(j.format, j.sw, j.sh);
    src.Fill(j.sw * 31 + j.dh);
    Downsampler inPlace(true), lib(false), unaligned(true);
    for (Downsampler* d : {&inPlace, &lib, &unaligned})
        if (j.bilinear) d->Bilinear();
    Picture a(j.format, j.dw, j.dh), b(j.format, j.dw, j.dh), c(j.format, j.dw, j.dh, 3, 5);
    Picture srcShifted(j.format, j.sw, j.sh, 1, 3);
    for (int p = 0; p < 3; ++p)
        if (src.info.pData[p])
            for (int y = 0; y < src.PlaneRows(p); ++y)
                std::memcpy(srcShifted.info.pData[p] + y * srcShifted.info.iStride[p],
                            src.info.pData[p] + y * src.info.iStride[p], src.PlaneBytes(p));
    ASSERT_EQ(inPlace.Run(src, a), RL_OK);
    uint8_t* callerPlane = b.info.pData[0];
    ASSERT_EQ(lib.Run(src, b), RL_OK);
    EXPECT_NE(b.info.pData[0], callerPlane);  // rewritten to library memory
    EXPECT_EQ(b.info.iStride[0] % 16, 0);
    ASSERT_EQ(unaligned.Run(srcShifted, c), RL_OK);
    const std::vector<uint8_t> expected = Picture::Bytes(a.info, a);
    EXPECT_EQ(Picture::Bytes(b.info, a), expected);
    EXPECT_EQ(Picture::Bytes(c.info, c), expected);
}

// Every tier of the method object gives the reference tier's bytes.
TEST_P(DownsampleJobs, EveryTierMatchesReference)
{
    const Job& j = GetParam();
    Picture src(j.format, j.sw, j.sh);
    src.Fill(j.sw + j.sh);
    std::vector<uint8_t> expected;
    const uint32_t detected = VeskCPUFeatureDetect(nullptr);
    for (int tier = RL_TIER_C; tier < RL_TIER_COUNT; ++tier) {
        if (tier != RL_TIER_C && !(detected & TierFlag(tier))) continue;
        CDownsampling m(TierFlagMask(tier));
        m.Init(nullptr, true);
        if (j.bilinear) m.SetOption(RL_OPTION_DOWNSAMPLE_BILINEAR, nullptr);
        Picture dst(j.format, j.dw, j.dh);
        ASSERT_EQ(m.Process(&src.info, &dst.info, nullptr), RL_OK);
        const std::vector<uint8_t> got = Picture::Bytes(dst.info, dst);
        if (tier == RL_TIER_C)
            expected = got;
        else
            ASSERT_EQ(got, expected) << TierName(tier);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, DownsampleJobs, testing::ValuesIn(kJobs),
                         [](const testing::TestParamInfo<Job>& i) { return JobName(i.param); });

// ---- Paths against hand-assembled reference pipelines ---------------------------------

std::vector<uint8_t> PlaneBytes(const uint8_t* p, int stride, int w, int h)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < h; ++y) out.insert(out.end(), p + y * stride, p + y * stride + w);
    return out;
}

TEST(DownsamplePaths, ExactHalfUsesHalfBandTaps)
{
    for (uint8_t tune : {0, 1}) {
        CDownsampling m(0);
        m.Init(nullptr, true);
        m.SetOption(RL_OPTION_LANCZOS_TUNE, &tune);
        Picture src(31, 64, 32), dst(31, 32, 16);
        src.Fill(9);
        ASSERT_EQ(m.Process(&src.info, &dst.info, nullptr), RL_OK);
        const int8_t* taps = m.HalfBandTaps();
        EXPECT_EQ(taps[0], tune ? -5 : -1);
        EXPECT_EQ(taps[2], tune ? 31 : 25);
        // Output (y, x) from the separable 6-tap filter with replicated edges.
        auto at = [&](int y, int x) {
            y = y < 0 ? 0 : (y > 31 ? 31 : y);
            x = x < 0 ? 0 : (x > 63 ? 63 : x);
            return int(src.info.pData[0][y * src.info.iStride[0] + x]);
        };
        auto clamp = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x) {
                int sum = 0;
                for (int kx = 0; kx < 6; ++kx) {
                    int col = 0;
                    for (int ky = 0; ky < 6; ++ky) col += taps[5 - ky] * at(2 * y - 2 + ky, 2 * x - 2 + kx);
                    sum += taps[5 - kx] * clamp((col + 32) >> 6);
                }
                ASSERT_EQ(dst.info.pData[0][y * dst.info.iStride[0] + x], clamp((sum + 32) >> 6)) << y << "," << x;
            }
    }
}

TEST(DownsamplePaths, HalvingThenGeneralPass)
{
    // 1280x720 to 400x224: one bilinear halving to 640x360, then one general pass.
    CDownsampling m(0);
    m.Init(nullptr, true);
    m.SetOption(RL_OPTION_DOWNSAMPLE_BILINEAR, nullptr);
    Picture src(31, 1280, 720), dst(31, 400, 224);
    src.Fill(3);
    ASSERT_EQ(m.Process(&src.info, &dst.info, nullptr), RL_OK);
    std::vector<uint8_t> half(640 * 360), out(400 * 224);
    DyadicBilinearDownsampler_c(half.data(), 640, src.info.pData[0], src.info.iStride[0], 1280, 720);
    VeskGeneralBilinearFastDownsampler_c(out.data(), 400, 400, 224, half.data(), 640, 640, 360);
    EXPECT_EQ(PlaneBytes(dst.info.pData[0], dst.info.iStride[0], 400, 224), out);
}

TEST(DownsamplePaths, LargeFrameThirdUsesOneShotKernel)
{
    CDownsampling m(0);
    m.Init(nullptr, true);
    Picture src(31, 3842, 2160), dst(31, 1280, 720);
    src.Fill(4);
    ASSERT_EQ(m.Process(&src.info, &dst.info, nullptr), RL_OK);
    std::vector<uint8_t> out(1280 * 720);
    DyadicBilinearOneThirdDownsampler_c(out.data(), 1280, src.info.pData[0], src.info.iStride[0], 3842, 720);
    EXPECT_EQ(PlaneBytes(dst.info.pData[0], dst.info.iStride[0], 1280, 720), out);
}

TEST(DownsamplePaths, SpecialRatioFourTapMatchesKernel)
{
    CDownsampling m(0);
    m.Init(nullptr, true);
    Picture src(31, 1000, 600), dst(31, 900, 540);
    src.Fill(5);
    ASSERT_EQ(m.Process(&src.info, &dst.info, nullptr), RL_OK);
    std::vector<uint8_t> out(900 * 540), temp(2 * 1000 + 80);
    VeskGeneralFourTapFilter_c(out.data(), 900, 900, 540, src.info.pData[0], src.info.iStride[0], 1000, 600,
                               FourTapTable(), temp.data() + 16, 0);
    EXPECT_EQ(PlaneBytes(dst.info.pData[0], dst.info.iStride[0], 900, 540), out);
    // First group: output k reads samples around offset k (source -1 replicated).
    const uint8_t* s = src.info.pData[0];
    std::vector<uint8_t> tmp(1002);
    // Row 0 of the vertical pass uses set 1 entry 0 on rows -1..2 (clamped).
    for (int x = 0; x < 1000; ++x) {
        const int v = 5 * s[x] + 50 * s[x] + 10 * s[src.info.iStride[0] + x] - s[2 * src.info.iStride[0] + x];
        tmp[x + 1] = static_cast<uint8_t>(std::min(255, std::max(0, (v + 32) >> 6)));
    }
    tmp[0] = tmp[1];
    const int e1[4] = {2, 48, 16, -2};
    const int v = e1[0] * tmp[1 + 0] + e1[1] * tmp[1 + 1] + e1[2] * tmp[1 + 2] + e1[3] * tmp[1 + 3];
    EXPECT_EQ(dst.info.pData[0][1], std::min(255, std::max(0, (v + 32) >> 6)));
}

// ---- Lifecycle --------------------------------------------------------------------

TEST(DownsampleLifecycle, BuffersGrowOnceAndFiltersFollowTheTune)
{
    Downsampler ds(false);
    Picture src(23, 1920, 1080), dst(23, 1280, 720);
    src.Fill(1);
    ASSERT_EQ(ds.Run(src, dst), RL_OK);
    EXPECT_TRUE(ds.log.Contains("allocate(reallocate) sampleBuffer and tempBuffer."));
    EXPECT_TRUE(ds.log.Contains("AllocateSrcBuffer(), allocate(reallocate) SrcPicture buffer, size="));
    EXPECT_TRUE(ds.log.Contains("AllocateDstBuffer(), allocate(reallocate) DstPicture buffer, size="));
    const std::vector<uint8_t> first = Picture::Bytes(dst.info, dst);
    ds.log.lines.clear();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(ds.Run(src, dst), RL_OK);
    for (const rltest::LogLine& l : ds.log.lines) EXPECT_EQ(l.text.find("allocate"), std::string::npos) << l.text;
    EXPECT_EQ(Picture::Bytes(dst.info, dst), first);

    // A smaller frame reuses the larger buffers without allocating.
    Picture small(23, 640, 360), smallDst(23, 320, 180);
    small.Fill(2);
    ASSERT_EQ(ds.Run(small, smallDst), RL_OK);
    for (const rltest::LogLine& l : ds.log.lines) EXPECT_EQ(l.text.find("allocate("), std::string::npos) << l.text;

    uint8_t tune = 1;
    ds.rl->SetOption(RL_METHOD_DOWNSAMPLING, RL_OPTION_LANCZOS_TUNE, &tune);
    ASSERT_EQ(ds.Run(src, dst), RL_OK);
    EXPECT_NE(Picture::Bytes(dst.info, dst), first);

    double avg = -1;
    EXPECT_EQ(ds.rl->GetOption(RL_METHOD_DOWNSAMPLING, RL_OPTION_AVERAGE_TIME, &avg), RL_OK);
    EXPECT_GT(avg, 0.0);
    EXPECT_EQ(ds.rl->Uninit(RL_METHOD_DOWNSAMPLING), RL_OK);
}

TEST(DownsampleLifecycle, OptionsOnlyFlipFlagsUntilNextFrame)
{
    CDownsampling m(0);
    m.Init(nullptr, true);
    double avg = -1;
    EXPECT_EQ(m.GetOption(RL_OPTION_AVERAGE_TIME, &avg), RL_OK);
    EXPECT_EQ(avg, 0.0);
    EXPECT_EQ(m.SetOption(RL_OPTION_DOWNSAMPLE_BILINEAR, nullptr), RL_OK);
    EXPECT_EQ(m.SetOption(RL_OPTION_DOWNSAMPLE_LANCZOS, nullptr), RL_OK);
    EXPECT_EQ(m.SetOption(RL_OPTION_LANCZOS_TUNE, nullptr), RL_OK);
    EXPECT_EQ(m.SetOption(RL_OPTION_CROP_PARAM, nullptr), RL_OK);
    EXPECT_EQ(m.HalfBandTempCapacity(), 0u);  // nothing allocated before the first planar frame
    Picture src(31, 64, 64), dst(31, 32, 32);
    src.Fill(6);
    ASSERT_EQ(m.Process(&src.info, &dst.info, nullptr), RL_OK);
    EXPECT_EQ(m.HalfBandTempCapacity(), CDownsampling::kHalfBandTempInitial);
    EXPECT_EQ(m.Uninit(), RL_OK);
    EXPECT_EQ(m.HalfBandTempCapacity(), 0u);
    ASSERT_EQ(m.Process(&src.info, &dst.info, nullptr), RL_OK);  // usable again after Uninit
}

TEST(DownsampleLifecycle, ObjectsOnTwoThreadsAgree)
{
    Picture src(23, 1000, 600);
    src.Fill(8);
    auto run = [&src](uint32_t flags, std::vector<uint8_t>* out) {
        CDownsampling m(flags);
        m.Init(nullptr, true);
        Picture dst(23, 800, 500);
        for (int i = 0; i < 3; ++i) m.Process(&src.info, &dst.info, nullptr);
        *out = Picture::Bytes(dst.info, dst);
    };
    std::vector<uint8_t> a, b, c;
    std::thread t1(run, 0u, &a), t2(run, VeskCPUFeatureDetect(nullptr), &b);
    t1.join();
    t2.join();
    run(0u, &c);
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, c);
}

}  // namespace
