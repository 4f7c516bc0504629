#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "effects/edge.h"
#include "support/log_capture.h"
#include "support/picture.h"

namespace {

using namespace Ravvel;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kUntouched = 0xa5;

// The edge map straight from its definition, over the whole picture: the
// magnitudes of rows 1..R and columns 1..C (R, C: last even interior index),
// thinned except on row R and column C, compared against 0 outside.
Bytes ModelMap(const Bytes& s, int w, int h, bool thin)
{
    Bytes out(s.size(), kUntouched);
    const int R = h >= 4 ? (h - 2) & ~1 : 0, C = w >= 4 ? (w - 2) & ~1 : 0;
    std::vector<int> mag(s.size(), 0), horiz(s.size(), 0);
    auto at = [&](int r, int c) { return static_cast<int>(s[r * w + c]); };
    for (int r = 1; r <= R; ++r)
        for (int c = 1; c <= C; ++c) {
            const int gx = at(r - 1, c + 1) + 2 * at(r, c + 1) + at(r + 1, c + 1) - at(r - 1, c - 1) -
                           2 * at(r, c - 1) - at(r + 1, c - 1);
            const int gy = at(r + 1, c - 1) + 2 * at(r + 1, c) + at(r + 1, c + 1) - at(r - 1, c - 1) -
                           2 * at(r - 1, c) - at(r - 1, c + 1);
            const int ax = std::abs(gx), ay = std::abs(gy);
            mag[r * w + c] = std::min(255, (std::max(ax, ay) + (std::min(ax, ay) >> 2)) >> 2);
            horiz[r * w + c] = ax > ay;
        }
    for (int r = 1; r <= R; ++r)
        for (int c = 1; c <= C; ++c) {
            const int i = r * w + c, m = mag[i];
            bool keep = true;
            if (thin && r < R && c < C)
                keep = horiz[i] ? m > mag[i - 1] && m > mag[i + 1] : m > mag[i - w] && m > mag[i + w];
            out[i] = static_cast<uint8_t>(keep ? m : 0);
        }
    return out;
}

Bytes RandomBytes(size_t n, uint32_t seed, int levels)
{
    Bytes v(n);
    uint32_t s = seed * 2654435761u + 7;
    for (uint8_t& b : v) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        b = static_cast<uint8_t>(levels == 256 ? s >> 24 : ((s >> 24) % levels) * 255 / (levels - 1));
    }
    return v;
}

SRLPictureInfo Luma(uint8_t* p, int w, int h, int stride, uint32_t format = RL_FORMAT_I420)
{
    SRLPictureInfo pic{};
    pic.pData[0] = p;
    pic.iStride[0] = stride;
    pic.iWidth = w;
    pic.iHeight = h;
    pic.eFormat = static_cast<RL_EVideoFormat>(format);
    return pic;
}

class EdgeTier : public testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (GetParam() && !(VeskCPUFeatureDetect(nullptr) & TierFlag(GetParam()))) GTEST_SKIP() << "no such tier here";
    }
    // One frame through a fresh method object of this tier.
    Bytes Run(const Bytes& src, int w, int h, bool thin)
    {
        CEdge edge(TierFlagMask(GetParam()));
        SRLEdgeConfig config{w, h, w, thin, RL_FORMAT_I420};
        EXPECT_EQ(edge.Init(&config, false), RL_OK);
        Bytes dst(src.size(), kUntouched);
        SRLPictureInfo s = Luma(const_cast<uint8_t*>(src.data()), w, h, w), d = Luma(dst.data(), w, h, w);
        EXPECT_EQ(edge.Process(&s, &d, nullptr), RL_OK);
        return dst;
    }
};

TEST_P(EdgeTier, FlatPictureStepAndSinglePixel)
{
    const int w = 40, h = 12;
    Bytes flat(w * h, 77);
    const Bytes flatMap = Run(flat, w, h, false);
    for (int r = 1; r <= 10; ++r)
        for (int c = 1; c <= 38; ++c) ASSERT_EQ(flatMap[r * w + c], 0) << r << "," << c;

    // A vertical step from 0 to 255 between columns 19 and 20: both columns
    // beside it reach the maximum, and thinning removes both (neither is
    // strictly greater than the other).
    Bytes step(w * h);
    for (int i = 0; i < w * h; ++i) step[i] = i % w >= 20 ? 255 : 0;
    const Bytes stepMap = Run(step, w, h, false);
    for (int r = 1; r <= 10; ++r)
        for (int c = 1; c <= 38; ++c) ASSERT_EQ(stepMap[r * w + c], c == 19 || c == 20 ? 255 : 0) << r << "," << c;
    const Bytes thinStep = Run(step, w, h, true);
    for (int r = 1; r < 10; ++r) EXPECT_EQ(thinStep[r * w + 19] | thinStep[r * w + 20], 0) << r;

    Bytes dot(w * h, 0);
    dot[5 * w + 30] = 255;
    const Bytes dotMap = Run(dot, w, h, false);
    EXPECT_EQ(dotMap[5 * w + 30], 0);
    for (int d : {-w, w, -1, 1}) EXPECT_EQ(dotMap[5 * w + 30 + d], 127) << d;
    for (int d : {-w - 1, -w + 1, w - 1, w + 1}) EXPECT_EQ(dotMap[5 * w + 30 + d], 79) << d;
    // Thinned, the dot survives only as the ring's strict maxima: the four
    // direct neighbours each beat the two diagonals beside them.
    const Bytes thinDot = Run(dot, w, h, true);
    EXPECT_EQ(thinDot, ModelMap(dot, w, h, true));
}

// Random pictures of every small size, noisy and blocky, against the model:
// the border coverage, the thinning and the untouched bytes at once.
TEST_P(EdgeTier, MatchesTheDefinitionOnEverySmallSize)
{
    for (int w = 1; w <= 40; ++w)
        for (int h : {1, 3, 4, 5, 6, 9}) {
            for (int levels : {256, 2}) {
                const Bytes src = RandomBytes(static_cast<size_t>(w) * h, w * 100 + h, levels);
                for (bool thin : {false, true})
                    ASSERT_EQ(Run(src, w, h, thin), ModelMap(src, w, h, thin))
                        << w << "x" << h << " levels " << levels << " thin " << thin;
            }
        }
    const Bytes big = RandomBytes(333 * 21, 5, 3);
    EXPECT_EQ(Run(big, 333, 21, true), ModelMap(big, 333, 21, true));
}

INSTANTIATE_TEST_SUITE_P(Tiers, EdgeTier, testing::Range(0, static_cast<int>(RL_TIER_COUNT)),
                         [](const testing::TestParamInfo<int>& i) { return std::string(TierName(i.param)); });

class EdgeMethod : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateRavvel(&rl), RL_OK); }
    void TearDown() override { DestroyRavvel(rl); }
    int32_t Process(SRLPictureInfo* s, SRLPictureInfo* d) { return rl->Process(RL_METHOD_EDGE, s, d, nullptr); }
    IRavvel* rl = nullptr;
};

TEST_F(EdgeMethod, ResultCodes)
{
    rltest::Picture src(RL_FORMAT_I420, 16, 8), dst(RL_FORMAT_I420, 16, 8);
    src.Fill(10);
    SRLEdgeConfig config{16, 8, 16, true, RL_FORMAT_I420};
    EXPECT_EQ(rl->Init(RL_METHOD_EDGE, nullptr, false), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(Process(src.info(), dst.info()), RL_ERR_NOT_INITIALIZED);
    config.eFormat = RL_FORMAT_NV12;
    EXPECT_EQ(rl->Init(RL_METHOD_EDGE, &config, false), RL_ERR_UNSUPPORTED);
    EXPECT_EQ(Process(src.info(), dst.info()), RL_ERR_NOT_INITIALIZED);
    config.eFormat = RL_FORMAT_YV12;
    ASSERT_EQ(rl->Init(RL_METHOD_EDGE, &config, false), RL_OK);

    EXPECT_EQ(Process(nullptr, dst.info()), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(Process(src.info(), nullptr), RL_ERR_INVALID_PARAM);
    for (uint32_t f : {26u, 2u, 20u, 3u}) {
        src.info()->eFormat = static_cast<RL_EVideoFormat>(f);
        EXPECT_EQ(Process(src.info(), dst.info()), RL_ERR_UNSUPPORTED) << f;
    }
    src.info()->eFormat = static_cast<RL_EVideoFormat>(RL_FORMAT_I420 | RL_FORMAT_FLAG_BOTTOM_UP);
    EXPECT_EQ(Process(src.info(), dst.info()), RL_OK);
    uint8_t* plane = src.info()->pData[0];
    src.info()->pData[0] = nullptr;
    EXPECT_EQ(Process(src.info(), dst.info()), RL_ERR_INVALID_PARAM);
    src.info()->pData[0] = plane;
    // Refused before anything is written: a smaller destination, a pitch
    // shorter than a row, the source plane as its own destination.
    dst.Fill(kUntouched);
    dst.info()->iWidth = 15;
    EXPECT_EQ(Process(src.info(), dst.info()), RL_ERR_MISMATCH);
    dst.info()->iWidth = 16;
    dst.info()->iStride[0] = 8;
    EXPECT_EQ(Process(src.info(), dst.info()), RL_ERR_INVALID_PARAM);
    dst.info()->iStride[0] = 16;
    EXPECT_EQ(Process(src.info(), src.info()), RL_ERR_MISMATCH);
    for (size_t i = 0; i < dst.size(); ++i) ASSERT_EQ(dst.block()[i], kUntouched) << i;

    // Options: the average time as a double, a null payload refused; any
    // other option accepted and ignored.
    double us = -1;
    EXPECT_EQ(rl->GetOption(RL_METHOD_EDGE, RL_OPTION_AVERAGE_TIME, &us), RL_OK);
    EXPECT_GE(us, 0.0);
    int32_t v = 0;
    EXPECT_EQ(rl->SetOption(RL_METHOD_EDGE, RL_OPTION_DENOISE_MODE, &v), RL_OK);
    EXPECT_EQ(rl->GetOption(RL_METHOD_EDGE, RL_OPTION_DENOISE_MODE, &v), RL_OK);
}

TEST_F(EdgeMethod, ReconfigurationAndSizeChanges)
{
    const int w = 24, h = 10;
    Bytes in(w * h, 0), out(w * h, kUntouched);
    for (int i = 0; i < w * h; ++i) in[i] = i % w >= 12 ? 255 : 0;
    SRLPictureInfo s = Luma(in.data(), w, h, w), d = Luma(out.data(), w, h, w);
    SRLEdgeConfig thin{w, h, w, true, RL_FORMAT_I420};
    ASSERT_EQ(rl->Init(RL_METHOD_EDGE, &thin, false), RL_OK);
    ASSERT_EQ(Process(&s, &d), RL_OK);
    EXPECT_EQ(out, ModelMap(in, w, h, true));

    // A bad record through the option still answers 0 but leaves the method
    // uninitialised; a good one brings it back without thinning.
    SRLEdgeConfig bad{w, h, w, false, RL_FORMAT_NV21};
    EXPECT_EQ(rl->SetOption(RL_METHOD_EDGE, RL_OPTION_EDGE_CONFIG, &bad), RL_OK);
    EXPECT_EQ(Process(&s, &d), RL_ERR_NOT_INITIALIZED);
    SRLEdgeConfig plain{w, h, w, false, RL_FORMAT_I420};
    EXPECT_EQ(rl->SetOption(RL_METHOD_EDGE, RL_OPTION_EDGE_CONFIG, &plain), RL_OK);
    ASSERT_EQ(Process(&s, &d), RL_OK);
    EXPECT_EQ(out, ModelMap(in, w, h, false));

    // Another size re-initialises from the picture and keeps the thinning
    // choice; a bottom-up pitch is walked as given.
    ASSERT_EQ(rl->SetOption(RL_METHOD_EDGE, RL_OPTION_EDGE_CONFIG, &thin), RL_OK);
    const int w2 = 37, h2 = 15, pitch = 45;
    Bytes in2(pitch * h2), out2(pitch * h2, kUntouched);
    const Bytes rnd = RandomBytes(w2 * h2, 3, 4);
    for (int r = 0; r < h2; ++r) std::memcpy(&in2[(h2 - 1 - r) * pitch], &rnd[r * w2], w2);
    SRLPictureInfo s2 = Luma(&in2[(h2 - 1) * pitch], w2, h2, -pitch);
    SRLPictureInfo d2 = Luma(&out2[(h2 - 1) * pitch], w2, h2, -pitch);
    ASSERT_EQ(Process(&s2, &d2), RL_OK);
    const Bytes expected = ModelMap(rnd, w2, h2, true);
    for (int r = 0; r < h2; ++r)
        for (int c = 0; c < pitch; ++c)
            ASSERT_EQ(out2[(h2 - 1 - r) * pitch + c], c < w2 ? expected[r * w2 + c] : kUntouched) << r << "," << c;

    // A grey plane of a new size is mapped once, without thinning, and leaves
    // the method uninitialised (its own record would name no 4:2:0 format).
    SRLPictureInfo g = Luma(in.data(), w, h - 2, w, RL_FORMAT_VYUY), gd = Luma(out.data(), w, h - 2, w);
    std::fill(out.begin(), out.end(), kUntouched);
    ASSERT_EQ(Process(&g, &gd), RL_OK);
    Bytes cut(in.begin(), in.begin() + w * (h - 2));
    Bytes got(out.begin(), out.begin() + w * (h - 2));
    EXPECT_EQ(got, ModelMap(cut, w, h - 2, false));
    EXPECT_EQ(Process(&g, &gd), RL_ERR_NOT_INITIALIZED);
}

TEST_F(EdgeMethod, AverageTimeLogLine)
{
    rltest::LogCapture log;
    SRLEdgeConfig config{8, 8, 8, false, RL_FORMAT_I420};
    ASSERT_EQ(rl->Init(RL_METHOD_EDGE, &config, false), RL_OK);
    log.Attach(rl);
    int32_t interval = 1;
    rl->SetOption(RL_METHOD_EDGE, RL_OPTION_STAT_INTERVAL, &interval);
    Bytes in(64, 1), out(64);
    SRLPictureInfo s = Luma(in.data(), 8, 8, 8), d = Luma(out.data(), 8, 8, 8);
    const int64_t until = NowMicroseconds() + 20000;
    while (NowMicroseconds() < until) ASSERT_EQ(Process(&s, &d), RL_OK);
    EXPECT_TRUE(log.Contains("[rl][Edge] Edge=")) << (log.lines.empty() ? "" : log.lines[0].text);
    EXPECT_TRUE(log.Contains("ms per frame"));
}

}  // namespace
