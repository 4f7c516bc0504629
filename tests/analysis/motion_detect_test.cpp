#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "analysis/motion_detect.h"
#include "support/log_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kW = 32, kH = 32;

// A planar RGB frame with its mask, each plane exactly width x height bytes.
struct Frame {
    Bytes planes[3];
    Bytes mask;
    explicit Frame(int w = kW, int h = kH, uint8_t value = 100)
    {
        for (Bytes& p : planes) p.assign(static_cast<size_t>(w) * h, value);
        mask.assign(static_cast<size_t>(w) * h, 0);
        info.eFormat = RL_FORMAT_RGB_PLANAR;
        info.iWidth = w;
        info.iHeight = h;
    }
    SRLPictureInfo* Info()
    {
        for (int p = 0; p < 3; ++p) {
            info.pData[p] = planes[p].data();
            info.iStride[p] = info.iWidth;
        }
        info.pMask = mask.data();
        return &info;
    }
    void MaskRect(int x0, int y0, int x1, int y1, uint8_t v)
    {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) mask[static_cast<size_t>(y) * info.iWidth + x] = v;
    }
    SRLPictureInfo info{};
};

class MotionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&m_rl), RL_OK);
        m_log.Attach(m_rl);
    }
    void TearDown() override { DestroyRavvel(m_rl); }

    int32_t Init(int w, int h, int step, double area)
    {
        SRLMotionDetectConfig c{w, h, step, area};
        const int32_t r = m_rl->Init(RL_METHOD_MOTION_DETECT, &c, false);
        if (r == RL_OK) m_rl->SetOption(RL_METHOD_MOTION_DETECT, RL_OPTION_MOTION_RESULT, &m_result);
        return r;
    }
    // The flag a frame reports, or -100 - code when Process fails.
    int Run(Frame& f)
    {
        m_result = -1;
        const int32_t r = m_rl->Process(RL_METHOD_MOTION_DETECT, f.Info(), nullptr, nullptr);
        return r == RL_OK ? m_result : -100 + r;
    }

    IRavvel* m_rl = nullptr;
    rltest::LogCapture m_log;
    int32_t m_result = -1;
};

TEST_F(MotionTest, InitRefusesBadRecordsWithTheirWarnings)
{
    EXPECT_EQ(m_rl->Init(RL_METHOD_MOTION_DETECT, nullptr, false), RL_ERR_INVALID_PARAM);
    EXPECT_TRUE(m_log.Contains("WARNING: CMotionDetect::Init(), config is null"));
    EXPECT_EQ(Init(0, 10, 0, 0.5), RL_ERR_INVALID_PARAM);
    EXPECT_TRUE(m_log.Contains("CMotionDetect::Init(), input or output frame size is 0"));

    const SRLMotionDetectConfig bad[] = {
        {10000001, 10, 0, 0.5}, {10, -1, 0, 0.5}, {10, 10, 101, 0.5}, {10, 10, -1, 0.5},
        {10, 10, 0, -0.01},     {10, 10, 0, 1.01}, {10, 10, 0, std::nan("")},
    };
    for (const SRLMotionDetectConfig& c : bad) {
        m_log.lines.clear();
        SRLMotionDetectConfig copy = c;
        EXPECT_EQ(m_rl->Init(RL_METHOD_MOTION_DETECT, &copy, false), RL_ERR_INVALID_PARAM) << c.width;
        EXPECT_TRUE(m_log.Contains("CMotionDetect::Init(), some parameter is not valid.")) << c.width;
    }
    m_log.lines.clear();
    EXPECT_EQ(Init(7, 5, 100, 1.0), RL_OK);
    EXPECT_TRUE(m_log.Contains(
        "INFO: CMotionDetect::Init(): parameter is width=7 height=5 min_predict_step=100 area_threshold=1.000000"));
    EXPECT_EQ(Init(1, 1, 0, 0.0), RL_OK);
}

TEST_F(MotionTest, ProcessRefusesBadInput)
{
    Frame f;
    // A refused first Init leaves an object that is not initialised.
    ASSERT_EQ(m_rl->Init(RL_METHOD_MOTION_DETECT, nullptr, false), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->Process(RL_METHOD_MOTION_DETECT, f.Info(), nullptr, nullptr), RL_ERR_FAILED);
    EXPECT_TRUE(m_log.Contains("WARNING: CMotionDetect::Process(), uninitialized"));
    ASSERT_EQ(Init(kW, kH, 0, 0.5), RL_OK);
    EXPECT_EQ(m_rl->Process(RL_METHOD_MOTION_DETECT, nullptr, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_TRUE(m_log.Contains("CMotionDetect::Process(), input or output picture pointer is null"));

    Frame small(kW, kH - 1), wide(kW + 1, kH);
    EXPECT_EQ(Run(small), -100 + RL_ERR_UNSUPPORTED);
    EXPECT_EQ(Run(wide), -100 + RL_ERR_UNSUPPORTED);
    for (uint32_t format : {uint32_t(RL_FORMAT_I420), uint32_t(RL_FORMAT_RGB_PLANAR | RL_FORMAT_FLAG_BOTTOM_UP)}) {
        f.Info()->eFormat = static_cast<RL_EVideoFormat>(format);
        EXPECT_EQ(m_rl->Process(RL_METHOD_MOTION_DETECT, &f.info, nullptr, nullptr), RL_ERR_UNSUPPORTED);
    }
    f.info.eFormat = RL_FORMAT_RGB_PLANAR;
    SRLPictureInfo p = *f.Info();
    p.pData[2] = nullptr;
    EXPECT_EQ(m_rl->Process(RL_METHOD_MOTION_DETECT, &p, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    p = *f.Info();
    p.iStride[1] = -kW;
    EXPECT_EQ(m_rl->Process(RL_METHOD_MOTION_DETECT, &p, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    // Without a mask nothing is stored, and the first frame is still to come.
    p = *f.Info();
    p.pMask = nullptr;
    EXPECT_EQ(m_rl->Process(RL_METHOD_MOTION_DETECT, &p, nullptr, nullptr), RL_ERR_FAILED);
    EXPECT_EQ(Run(f), 1);

    ASSERT_EQ(m_rl->Uninit(RL_METHOD_MOTION_DETECT), RL_OK);
    ASSERT_EQ(Init(kW, kH, 0, 0.5), RL_OK);
    // A refused record leaves the working configuration alone.
    SRLMotionDetectConfig huge{10000001, 1, 0, 0.5};
    EXPECT_EQ(m_rl->Init(RL_METHOD_MOTION_DETECT, &huge, false), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(Run(f), 1);
}

TEST_F(MotionTest, OptionsAndAverageTime)
{
    ASSERT_EQ(Init(kW, kH, 0, 0.5), RL_OK);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_MOTION_DETECT, RL_OPTION_MOTION_RESULT, nullptr), RL_ERR_INVALID_PARAM);
    int32_t any = 0;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_MOTION_DETECT, RL_OPTION_FLICKER_RESULT, &any), RL_ERR_UNSUPPORTED);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_MOTION_DETECT, RL_OPTION_AVERAGE_TIME, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_MOTION_DETECT, RL_OPTION_MOTION_RESULT, &any), RL_OK);
    EXPECT_EQ(any, 0);
    double avg = -1.0;
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_MOTION_DETECT, RL_OPTION_AVERAGE_TIME, &avg), RL_OK);
    EXPECT_EQ(avg, 0.0);
    Frame f;
    for (int i = 0; i < 3; ++i) Run(f);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_MOTION_DETECT, RL_OPTION_AVERAGE_TIME, &avg), RL_OK);
    EXPECT_GE(avg, 0.0);
    // The method keeps no periodic timing line.
    EXPECT_FALSE(m_log.Contains("ms per frame"));
}

// With an unchanged picture only the quiet-run rule reports: the call after
// `quiet` silent ones.
struct QuietCase {
    int minStep;
    int quiet;
};
class MotionQuietRun : public MotionTest, public testing::WithParamInterface<QuietCase> {};

TEST_P(MotionQuietRun, ForcesAChangeAfterTheQuietRun)
{
    ASSERT_EQ(Init(kW, kH, GetParam().minStep, 0.0), RL_OK);
    Frame f;
    f.MaskRect(8, 8, 24, 24, 255);
    EXPECT_EQ(Run(f), 1);  // the first frame, whatever it shows
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < GetParam().quiet; ++i) ASSERT_EQ(Run(f), 0) << "round " << round << " call " << i;
        EXPECT_EQ(Run(f), 1) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, MotionQuietRun,
                         testing::Values(QuietCase{0, 17}, QuietCase{16, 17}, QuietCase{17, 17}, QuietCase{20, 20}));

TEST_F(MotionTest, MasksWithoutABoundaryOnlyReportByTheQuietRun)
{
    for (uint8_t fill : {uint8_t(0), uint8_t(128), uint8_t(255)}) {
        ASSERT_EQ(Init(kW, kH, 0, 0.0), RL_OK);
        Frame a, b(kW, kH, 250);
        std::fill(a.mask.begin(), a.mask.end(), fill);
        std::fill(b.mask.begin(), b.mask.end(), fill);
        EXPECT_EQ(Run(a), 1);
        for (int i = 0; i < 17; ++i) ASSERT_EQ(Run(i % 2 ? a : b), 0) << int(fill) << " call " << i;
        EXPECT_EQ(Run(a), 1);
    }
}

// One inside pixel at (16, 16): its band is the 5x5 square around it.
class MotionPixelTest : public MotionTest {
protected:
    void Start(uint8_t maskValue, double area)
    {
        ASSERT_EQ(Init(kW, kH, 0, area), RL_OK);
        m_ref.mask[16 * kW + 16] = maskValue;
        ASSERT_EQ(Run(m_ref), 1);
        ASSERT_EQ(Run(m_ref), 0);  // refreshes: the change count starts at 0
    }
    // A copy of the reference whose first `n` band pixels (raster order)
    // differ by `d` spread over the three planes.
    Frame Changed(int n, int d)
    {
        Frame f = m_ref;
        int k = 0;
        for (int y = 14; y <= 18; ++y)
            for (int x = 14; x <= 18; ++x, ++k) {
                if (k >= n) continue;
                const size_t i = static_cast<size_t>(y) * kW + x;
                f.planes[0][i] = static_cast<uint8_t>(100 + d / 3);
                f.planes[1][i] = static_cast<uint8_t>(100 - d / 3);
                f.planes[2][i] = static_cast<uint8_t>(100 + d - 2 * (d / 3));
            }
        return f;
    }
    Frame m_ref;
};

TEST_F(MotionPixelTest, PixelDifferenceMustExceedThirty)
{
    Start(255, 0.0);
    Frame at30 = Changed(1, 30), at31 = Changed(1, 31);
    EXPECT_EQ(Run(at30), 0);
    EXPECT_EQ(Run(at31), 1);
}

TEST_F(MotionPixelTest, MaskValue129IsInside128IsNot)
{
    Start(129, 0.0);
    Frame f = Changed(25, 90);
    EXPECT_EQ(Run(f), 1);
    Start(128, 0.0);
    f = Changed(25, 90);
    EXPECT_EQ(Run(f), 0);
}

TEST_F(MotionPixelTest, ChangedFractionMustExceedTheAreaThreshold)
{
    Start(255, 0.4);
    Frame ten = Changed(10, 90), eleven = Changed(11, 90);
    EXPECT_EQ(Run(ten), 0);  // 10 / 25 is exactly 0.4
    EXPECT_EQ(Run(eleven), 1);
}

// The reference is refreshed when the mask sum moves by more than 20 %, even
// when the band stays where it was (bytes up to 128 count in the sum only).
class MotionRefreshTest : public MotionTest, public testing::WithParamInterface<int> {};

TEST_P(MotionRefreshTest, MaskAreaChangeRefreshesTheReference)
{
    const int grownSum = GetParam();
    ASSERT_EQ(Init(kW, kH, 0, 0.0), RL_OK);
    auto withSum = [](Frame f, int sum) {
        f.MaskRect(11, 11, 13, 13, 200);
        int rest = sum - 4 * 200;
        for (size_t i = 15 * kW; rest > 0; ++i, --rest) f.mask.at(i) = 1;
        return f;
    };
    Frame p = withSum(Frame(), 1000), q = withSum(Frame(kW, kH, 200), 1000);
    ASSERT_EQ(Run(p), 1);
    ASSERT_EQ(Run(p), 0);  // refresh; the change count is now 1
    ASSERT_EQ(Run(q), 1);  // count 2: no refresh
    Frame grown = withSum(q, grownSum);
    ASSERT_EQ(Run(grown), 1);  // count 3; refreshed only when the sum moved enough
    EXPECT_EQ(Run(grown), grownSum == 1300 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Sums, MotionRefreshTest, testing::Values(1300, 1190));

TEST_F(MotionTest, EveryFifthChangeRefreshesTheReference)
{
    ASSERT_EQ(Init(kW, kH, 0, 0.0), RL_OK);
    Frame p, q(kW, kH, 200);
    p.MaskRect(8, 8, 24, 24, 255);
    q.mask = p.mask;
    ASSERT_EQ(Run(p), 1);
    ASSERT_EQ(Run(p), 0);  // refresh, count 1
    // q differs from the reference p: changes 2, 3, 4, then 5 refreshes to q.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Run(q), 1) << i;
    EXPECT_EQ(Run(q), 0);
}

TEST_F(MotionTest, UninitAndInitStartOverWithAFirstFrame)
{
    ASSERT_EQ(Init(kW, kH, 0, 0.0), RL_OK);
    Frame f;
    EXPECT_EQ(Run(f), 1);
    EXPECT_EQ(Run(f), 0);
    m_log.lines.clear();
    ASSERT_EQ(m_rl->Uninit(RL_METHOD_MOTION_DETECT), RL_OK);
    EXPECT_TRUE(m_log.Contains("INFO: CMotionDetect::~CMotionDetect() begin"));
    ASSERT_EQ(Init(kW, kH, 0, 0.0), RL_OK);
    EXPECT_EQ(Run(f), 1);
    EXPECT_EQ(Run(f), 0);
    // A second Init on the live object starts over as well.
    ASSERT_EQ(Init(kW, kH, 0, 0.0), RL_OK);
    EXPECT_EQ(Run(f), 1);
}

// Against a direct count of each clipped window.
TEST(MaskBoundary, MatchesABruteForceWindowCount)
{
    const int sizes[][2] = {{1, 1}, {1, 7}, {6, 1}, {2, 3}, {5, 5}, {13, 9}, {40, 17}};
    uint32_t seed = 7;
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        for (int density : {0, 10, 50, 90, 100}) {
            Bytes mask(static_cast<size_t>(w) * h);
            for (uint8_t& m : mask) {
                seed = seed * 1664525u + 1013904223u;
                m = static_cast<int>((seed >> 24) % 100) < density ? 129 + (seed >> 8) % 127 : (seed >> 8) % 129;
            }
            std::vector<uint32_t> integral(mask.size()), band(mask.size());
            const uint32_t n = Ravvel::FindMaskBoundary(mask.data(), w, h, 2, 128, integral.data(), band.data());
            std::vector<uint32_t> expect;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    int sum = 0, area = 0;
                    for (int v = y - 2; v <= y + 2; ++v)
                        for (int u = x - 2; u <= x + 2; ++u)
                            if (u >= 0 && v >= 0 && u < w && v < h) ++area, sum += mask[v * w + u] > 128;
                    if (sum > 0 && sum < area) expect.push_back(static_cast<uint32_t>(y * w + x));
                }
            ASSERT_EQ(n, expect.size()) << w << "x" << h << " density " << density;
            EXPECT_TRUE(std::equal(expect.begin(), expect.end(), band.begin())) << w << "x" << h;
        }
    }
}

TEST(MaskBoundary, SumBytesWrapsAt32Bits)
{
    Bytes ones(37, 255);
    EXPECT_EQ(Ravvel::SumBytes(ones.data(), ones.size()), 37u * 255u);
    EXPECT_EQ(Ravvel::SumBytes(ones.data() + 3, 5), 5u * 255u);
    EXPECT_EQ(Ravvel::SumBytes(ones.data(), 0), 0u);
}

}  // namespace
