#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/flicker_detect.h"
#include "support/log_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An I420 frame with exactly sized planes (odd sizes keep their extra chroma
// row and column, which the method does not read).
struct Yuv {
    int w, h;
    Bytes plane[3];
    Yuv(int width, int height, uint8_t y = 10, uint8_t uv = 128) : w(width), h(height)
    {
        plane[0].assign(static_cast<size_t>(w) * h, y);
        const size_t c = static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2);
        plane[1].assign(c, uv);
        plane[2].assign(c, uv);
    }
    int Stride(int p) const { return p ? (w + 1) / 2 : w; }
    uint8_t& At(int p, int x, int y) { return plane[p][static_cast<size_t>(y) * Stride(p) + x]; }
    SRLPictureInfo Info()
    {
        SRLPictureInfo i{};
        i.eFormat = RL_FORMAT_I420;
        i.iWidth = w;
        i.iHeight = h;
        for (int p = 0; p < 3; ++p) i.pData[p] = plane[p].data(), i.iStride[p] = Stride(p);
        return i;
    }
};

SRLFlickerDetectConfig Config(int w, int h, int windowFrames = 5, int cols = 1, int rows = 1, int grace = 30,
                              float t = 1000.0f)
{
    SRLFlickerDetectConfig c{};
    c.width = w;
    c.height = h;
    c.window_frames = windowFrames;
    c.grid_columns = cols;
    c.grid_rows = rows;
    c.grace_period = grace;
    c.winsum_threshold_yuv[0] = c.winsum_threshold_yuv[1] = c.winsum_threshold_yuv[2] = t;
    c.format = RL_FORMAT_I420;
    return c;
}

class FlickerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&m_rl), RL_OK);
        m_log.Attach(m_rl);
    }
    void TearDown() override { DestroyRavvel(m_rl); }

    int32_t Init(SRLFlickerDetectConfig c) { return m_rl->Init(RL_METHOD_FLICKER_DETECT, &c, false); }
    void Debug()
    {
        int32_t level = RL_TRACE_DEBUG;
        m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_LEVEL, &level);
    }
    int32_t Process(Yuv& f)
    {
        SRLPictureInfo i = f.Info();
        return m_rl->Process(RL_METHOD_FLICKER_DETECT, &i, nullptr, nullptr);
    }
    // Processes the frame and returns the verdict.
    int Verdict(Yuv& f)
    {
        EXPECT_EQ(Process(f), RL_OK);
        return GetInt(RL_OPTION_FLICKER_RESULT);
    }
    int32_t GetInt(RL_EOption o)
    {
        int32_t v = -1;
        EXPECT_EQ(m_rl->GetOption(RL_METHOD_FLICKER_DETECT, o, &v), RL_OK);
        return v;
    }
    float GetFloat(RL_EOption o)
    {
        float v = -1.0f;
        EXPECT_EQ(m_rl->GetOption(RL_METHOD_FLICKER_DETECT, o, &v), RL_OK);
        return v;
    }
    void SetInt(RL_EOption o, int32_t v) { ASSERT_EQ(m_rl->SetOption(RL_METHOD_FLICKER_DETECT, o, &v), RL_OK); }
    void SetFloat(RL_EOption o, float v) { ASSERT_EQ(m_rl->SetOption(RL_METHOD_FLICKER_DETECT, o, &v), RL_OK); }
    // The last "DIFF" line's spike flags, "(VUY)".
    std::string LastSpikeFlags() const
    {
        for (auto it = m_log.lines.rbegin(); it != m_log.lines.rend(); ++it)
            if (it->text.find("DIFF frame:") != std::string::npos) return it->text.substr(it->text.size() - 5);
        return "";
    }

    IRavvel* m_rl = nullptr;
    rltest::LogCapture m_log;
};

TEST_F(FlickerTest, InitScalesTheWindowAndThresholds)
{
    ASSERT_EQ(Init(Config(64, 32)), RL_OK);
    EXPECT_TRUE(m_log.Contains("INFO: CFlickerDetect::Init(), window_size=7, grace_period=30, "
                               "winsum_threshold_yuv=(1400.0000, 1400.0000, 1400.0000), peak_threshold=1"));
    EXPECT_EQ(GetInt(RL_OPTION_FLICKER_WINDOW_SIZE), 7);
    EXPECT_EQ(GetFloat(RL_OPTION_FLICKER_WINSUM_THRESHOLD_Y), 1400.0f);
    EXPECT_EQ(GetInt(RL_OPTION_FLICKER_RESULT), 0);
    // A larger peak threshold lengthens the next window; thresholds set by
    // option are taken as they are.
    SetInt(RL_OPTION_FLICKER_PEAK_THRESHOLD, 3);
    SetFloat(RL_OPTION_FLICKER_WINSUM_THRESHOLD_V, 12.5f);
    EXPECT_EQ(GetFloat(RL_OPTION_FLICKER_WINSUM_THRESHOLD_V), 12.5f);
    ASSERT_EQ(Init(Config(64, 32, 2, 3, 3, 30, 10.0f)), RL_OK);
    EXPECT_EQ(GetInt(RL_OPTION_FLICKER_WINDOW_SIZE), 6);
    EXPECT_EQ(GetFloat(RL_OPTION_FLICKER_WINSUM_THRESHOLD_U), 10.0f * (6.0f / 2.0f));
}

TEST_F(FlickerTest, BadRecordsAndPictures)
{
    SRLFlickerDetectConfig c = Config(64, 32);
    c.format = RL_FORMAT_NV12;
    EXPECT_EQ(Init(c), RL_ERR_UNSUPPORTED);
    Yuv f(64, 32);
    EXPECT_EQ(Process(f), RL_ERR_NOT_INITIALIZED);  // the object exists, not initialised
    for (SRLFlickerDetectConfig bad : {Config(64, 32, 0), Config(64, 32, 1023), Config(64, 32, 5, 0, 1),
                                       Config(64, 32, 5, 1, -2), Config(64, 32, 5, 33, 32)})
        EXPECT_EQ(Init(bad), RL_ERR_INVALID_PARAM) << bad.window_frames << " " << bad.grid_columns;
    EXPECT_EQ(Init(Config(64, 32, 1022, 32, 32)), RL_OK);  // the largest window and grid

    ASSERT_EQ(Init(Config(64, 32)), RL_OK);
    EXPECT_EQ(m_rl->Process(RL_METHOD_FLICKER_DETECT, nullptr, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    SRLPictureInfo i = f.Info();
    i.eFormat = static_cast<RL_EVideoFormat>(RL_FORMAT_I420 | RL_FORMAT_FLAG_BOTTOM_UP);
    EXPECT_EQ(m_rl->Process(RL_METHOD_FLICKER_DETECT, &i, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    for (int p = 0; p < 3; ++p) {
        i = f.Info();
        i.pData[p] = nullptr;
        EXPECT_EQ(m_rl->Process(RL_METHOD_FLICKER_DETECT, &i, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    }
    i = f.Info();
    i.iWidth = 0;
    EXPECT_EQ(m_rl->Process(RL_METHOD_FLICKER_DETECT, &i, nullptr, nullptr), RL_ERR_INVALID_PARAM);

    EXPECT_EQ(m_rl->SetOption(RL_METHOD_FLICKER_DETECT, RL_OPTION_FLICKER_GRACE_PERIOD, nullptr),
              RL_ERR_INVALID_PARAM);
    int32_t v = 7;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_FLICKER_DETECT, RL_OPTION_MOTION_RESULT, &v), RL_OK);  // ignored
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_FLICKER_DETECT, RL_OPTION_ROTATION_ANGLE, &v), RL_OK);
    EXPECT_EQ(v, 7);
}

TEST_F(FlickerTest, OptionsRoundTrip)
{
    ASSERT_EQ(Init(Config(64, 32)), RL_OK);
    const RL_EOption ints[] = {RL_OPTION_FLICKER_GRACE_PERIOD, RL_OPTION_FLICKER_PEAK_THRESHOLD,
                               RL_OPTION_FLICKER_STATIC_THRESHOLD_Y, RL_OPTION_FLICKER_STATIC_THRESHOLD_U,
                               RL_OPTION_FLICKER_STATIC_THRESHOLD_V};
    for (int k = 0; k < 5; ++k) {
        SetInt(ints[k], 40 + k);
        EXPECT_EQ(GetInt(ints[k]), 40 + k);
    }
    SetFloat(RL_OPTION_FLICKER_STATIC_RATIO, 0.5f);
    EXPECT_EQ(GetFloat(RL_OPTION_FLICKER_STATIC_RATIO), 0.5f);
    SetFloat(RL_OPTION_FLICKER_WINSUM_THRESHOLD_Y, 3.25f);
    EXPECT_EQ(GetFloat(RL_OPTION_FLICKER_WINSUM_THRESHOLD_Y), 3.25f);
    EXPECT_EQ(GetFloat(RL_OPTION_AVERAGE_TIME), 0.0f);

    // Reset re-initialises from the record, and reports success whatever
    // that Init returned.
    m_log.lines.clear();
    SRLFlickerDetectConfig c = Config(64, 32, 9);
    ASSERT_EQ(m_rl->SetOption(RL_METHOD_FLICKER_DETECT, RL_OPTION_FLICKER_RESET, &c), RL_OK);
    EXPECT_TRUE(m_log.Contains("INFO: CFlickerDetect::SetOption(RL_OPTION_FLICKER_RESET)"));
    EXPECT_EQ(GetInt(RL_OPTION_FLICKER_WINDOW_SIZE), 9 + 41 + 1);
    c.format = 0;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_FLICKER_DETECT, RL_OPTION_FLICKER_RESET, &c), RL_OK);
    Yuv f(64, 32);
    EXPECT_EQ(Process(f), RL_ERR_NOT_INITIALIZED);
    // A null record re-initialises with the current settings.
    ASSERT_EQ(m_rl->Init(RL_METHOD_FLICKER_DETECT, nullptr, false), RL_OK);
    EXPECT_EQ(Process(f), RL_OK);
}

// 1280x720 has 1382400 samples; with the ratio 0.9 a frame is static while
// fewer than 138241 of them moved, counted over Y, then U, then V.
TEST_F(FlickerTest, StaticLimitAt720p)
{
    Debug();
    ASSERT_EQ(Init(Config(1280, 720)), RL_OK);
    Yuv a(1280, 720, 100, 100);
    ASSERT_EQ(Process(a), RL_OK);
    auto moved = [](Yuv f, int y, int u, int v) {
        const int n[3] = {y, u, v};
        for (int p = 0; p < 3; ++p)
            for (int i = 0; i < n[p]; ++i) f.plane[p][i] = static_cast<uint8_t>(f.plane[p][i] ^ 0x40);
        return f;
    };
    Yuv b = moved(a, 100000, 38240, 0);
    m_log.lines.clear();
    ASSERT_EQ(Process(b), RL_OK);
    EXPECT_TRUE(m_log.Contains("DEBUG: Frame 0001 is static, deemed as non-flickering"));
    Yuv c = moved(b, 100000, 20000, 18241);
    m_log.lines.clear();
    ASSERT_EQ(Process(c), RL_OK);
    EXPECT_FALSE(m_log.Contains("is static"));
    // Movements of exactly the threshold do not count.
    Yuv d = c;
    for (uint8_t& s : d.plane[0]) s = static_cast<uint8_t>(s + 3);
    m_log.lines.clear();
    ASSERT_EQ(Process(d), RL_OK);
    EXPECT_TRUE(m_log.Contains("Frame 0003 is static"));
}

// 19 luma samples all moving from 10 to 20 give MSE (19^2 + 19^2) / 19 = 38,
// which is exactly the spike limit 0.95 * 40.
TEST_F(FlickerTest, SpikeNeedsMoreThanTheLimit)
{
    ASSERT_EQ(0.95f * 40.0f, 38.0f);
    Debug();
    for (float threshold : {40.0f, 39.99f}) {
        ASSERT_EQ(Init(Config(19, 1, 5)), RL_OK);
        SetFloat(RL_OPTION_FLICKER_WINSUM_THRESHOLD_Y, threshold);
        Yuv lo(19, 1, 10), hi(19, 1, 20);
        for (int i = 0; i < 8; ++i) ASSERT_EQ(Process(i % 2 ? hi : lo), RL_OK);
        EXPECT_EQ(LastSpikeFlags(), threshold == 40.0f ? "(000)" : "(001)") << threshold;
    }
    EXPECT_TRUE(m_log.Contains(
        "DEBUG: DIFF frame:0007 MSE_Y=       5.28 MSE_U=       0.00 MSE_V=       0.00 idx=0 blk=0 (0, 0)"));
}

// Frames of 19x1 luma per region that either repeat (static, no movement) or
// jump from 10 to 20 and back: each jump is a spike in its regions.
class FlickerWindowTest : public FlickerTest {
protected:
    // values[f][k]: luma of region k in frame f.
    std::vector<int> Run(int cols, int rows, const std::vector<std::vector<uint8_t>>& values)
    {
        std::vector<int> verdicts;
        for (const auto& v : values) {
            Yuv f(19 * cols, rows, 10);
            for (int k = 0; k < cols * rows; ++k)
                for (int x = 0; x < 19; ++x) f.At(0, (k % cols) * 19 + x, k / cols) = v[k];
            verdicts.push_back(Verdict(f));
        }
        return verdicts;
    }
    // Low thresholds make every jump a spike; the clamped spike values stay
    // below them, so only the spike count decides.
    void Start(int cols, int rows, int grace = 30)
    {
        ASSERT_EQ(Init(Config(19 * cols, rows, 5, cols, rows, grace, 30.0f / 1.4f)), RL_OK);
        ASSERT_EQ(GetInt(RL_OPTION_FLICKER_WINDOW_SIZE), 7);
    }
};

TEST_F(FlickerWindowTest, PeakThresholdAndHalfOfTheRegions)
{
    // One region: two spikes in the window flicker, one does not.
    Start(1, 1);
    EXPECT_EQ(Run(1, 1, {{10}, {10}, {10}, {10}, {10}, {10}, {10}, {20}}).back(), 0);
    Start(1, 1);
    EXPECT_EQ(Run(1, 1, {{10}, {10}, {10}, {10}, {10}, {10}, {20}, {10}}).back(), 1);
    // Nine regions: five flickering ones make the picture flicker, four not.
    for (int flickering : {4, 5}) {
        Start(3, 3);
        std::vector<std::vector<uint8_t>> frames(8, std::vector<uint8_t>(9, 10));
        for (int k = 0; k < flickering; ++k) frames[6][2 * k % 9] = 20;
        const std::vector<int> v = Run(3, 3, frames);
        for (int f = 0; f < 7; ++f) EXPECT_EQ(v[f], 0) << "frame " << f;  // window filling
        EXPECT_EQ(v[7], flickering == 5 ? 1 : 0) << flickering;
    }
}

TEST_F(FlickerWindowTest, VerdictHoldsForTheGracePeriod)
{
    Start(1, 1, 3);
    std::vector<std::vector<uint8_t>> frames(18, {10});
    frames[6] = {20};
    // Spikes at frames 6 and 7 share the window through frame 12; the
    // verdict then holds for frames 13 and 14.
    const std::vector<int> v = Run(1, 1, frames);
    for (int f = 0; f < 18; ++f) EXPECT_EQ(v[f], f >= 7 && f <= 14 ? 1 : 0) << "frame " << f;
}

TEST_F(FlickerTest, ResolutionChangeKeepsTheWindowAndStartsOver)
{
    ASSERT_EQ(Init(Config(64, 32)), RL_OK);
    SetInt(RL_OPTION_FLICKER_PEAK_THRESHOLD, 2);  // takes effect at the next Init
    Yuv a(64, 32), b(66, 30);
    ASSERT_EQ(Process(a), RL_OK);
    ASSERT_EQ(Process(b), RL_OK);
    EXPECT_TRUE(m_log.Contains("INFO: Resolution has changed from 64x32 to 66x30"));
    // The configured five frames plus the new peak threshold; the per-frame
    // threshold 1000 / 5 stays.
    EXPECT_EQ(GetInt(RL_OPTION_FLICKER_WINDOW_SIZE), 8);
    EXPECT_FLOAT_EQ(GetFloat(RL_OPTION_FLICKER_WINSUM_THRESHOLD_Y), 1600.0f);
    // A first frame after an Init without a record takes the same path.
    ASSERT_EQ(m_rl->Uninit(RL_METHOD_FLICKER_DETECT), RL_OK);
    ASSERT_EQ(m_rl->Init(RL_METHOD_FLICKER_DETECT, nullptr, false), RL_OK);
    ASSERT_EQ(Process(a), RL_OK);
    EXPECT_TRUE(m_log.Contains("Resolution has changed from 0x0 to 64x32"));
}

TEST_F(FlickerTest, TinyPicturesStridesAndFineGrids)
{
    // Regions narrower than a sample report no movement instead of dividing by zero.
    const int sizes[][2] = {{1, 1}, {4, 2}, {3, 5}, {31, 2}};
    for (const auto& s : sizes) {
        ASSERT_EQ(Init(Config(s[0], s[1], 1, 32, 32, 30, 1e-3f)), RL_OK);
        for (int i = 0; i < 6; ++i) {
            Yuv f(s[0], s[1], static_cast<uint8_t>(i * 40));
            EXPECT_EQ(Process(f), RL_OK);
        }
    }
    // A bottom-up picture and a stride change mid-stream compare the same samples.
    Debug();
    ASSERT_EQ(Init(Config(40, 20)), RL_OK);
    Yuv f(40, 20);
    for (int p = 0; p < 3; ++p)
        for (size_t k = 0; k < f.plane[p].size(); ++k) f.plane[p][k] = static_cast<uint8_t>(k * 7 + p);
    SRLPictureInfo i = f.Info();
    for (int p = 0; p < 3; ++p) {
        i.pData[p] += static_cast<size_t>(i.iStride[p]) * ((p ? 10 : 20) - 1);
        i.iStride[p] = -i.iStride[p];
    }
    ASSERT_EQ(m_rl->Process(RL_METHOD_FLICKER_DETECT, &i, nullptr, nullptr), RL_OK);
    Bytes wide(64 * 20 + 2 * 64 * 10, 0);
    SRLPictureInfo j = i;
    for (int p = 0; p < 3; ++p) {
        const size_t base = p ? 64 * 20 + (p - 1) * 64 * 10 : 0;
        const int w = p ? 20 : 40, rows = p ? 10 : 20;
        // The same picture, now top-down with a wider stride.
        for (int y = 0; y < rows; ++y) std::memcpy(&wide[base + y * 64], &f.plane[p][(rows - 1 - y) * w], w);
        j.pData[p] = &wide[base];
        j.iStride[p] = 64;
    }
    m_log.lines.clear();
    ASSERT_EQ(m_rl->Process(RL_METHOD_FLICKER_DETECT, &j, nullptr, nullptr), RL_OK);
    EXPECT_TRUE(m_log.Contains("Frame 0001 is static"));
    EXPECT_TRUE(m_log.Contains("Allocate internal buffer for channel 0"));
}

TEST_F(FlickerTest, UninitLogsTheFreedPlanes)
{
    Debug();
    ASSERT_EQ(Init(Config(16, 8)), RL_OK);
    Yuv f(16, 8);
    ASSERT_EQ(Process(f), RL_OK);
    ASSERT_EQ(m_rl->Uninit(RL_METHOD_FLICKER_DETECT), RL_OK);
    for (int p = 0; p < 3; ++p)
        EXPECT_TRUE(m_log.Contains("DEBUG: Free internal buffer for channel " + std::to_string(p)));
}

// ---- Generated clips: a flickering light, and what must not look like one ----

// A textured 320x240 scene with mild sensor noise. `light` adds to the
// luma of a set of regions (a flickering light over five of nine), `fade`
// to the whole picture, `pan` shifts the scene to the left.
Yuv Scene(int frame, int light, int fade, int pan)
{
    Yuv f(320, 240);
    uint32_t noise = 12345u + static_cast<uint32_t>(frame) * 7919u;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const int sx = x + pan;
            int v = 40 + (sx * 7 + y * 3) % 120 + ((sx / 16 + y / 16) % 2) * 40;
            const int region = (x * 3 / 320) + 3 * (y * 3 / 240);
            if (region % 2 == 0) v += light;
            noise = noise * 1664525u + 1013904223u;
            v += fade + static_cast<int>(noise >> 29) - 4;
            f.At(0, x, y) = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) f.At(p, x, y) = static_cast<uint8_t>(110 + p * 10 + ((x + pan / 2) / 20) % 3);
    return f;
}

struct ClipCase {
    const char* name;
    int light, fadeStep, panStep;
    bool flickers;
};

class FlickerClipTest : public FlickerTest, public testing::WithParamInterface<ClipCase> {};

TEST_P(FlickerClipTest, ReportsOnlyTheFlickeringLight)
{
    const ClipCase& c = GetParam();
    // Region MSEs grow with the region's pixel count; the threshold 1000 that
    // suits 1920x1080 becomes 1000 * 76800 / 2073600, about 40, here.
    ASSERT_EQ(Init(Config(320, 240, 5, 3, 3, 30, 40.0f)), RL_OK);
    const int n = GetInt(RL_OPTION_FLICKER_WINDOW_SIZE);
    // Twelve quiet frames, then the light (if any) alternates every frame.
    const int onset = 12;
    int firstReport = -1;
    for (int i = 0; i < 40; ++i) {
        const int light = i >= onset && i % 2 ? c.light : 0;
        Yuv f = Scene(i, light, c.fadeStep * i, c.panStep * i);
        if (Verdict(f) && firstReport < 0) firstReport = i;
    }
    if (c.flickers) {
        EXPECT_GE(firstReport, onset) << c.name;
        EXPECT_LT(firstReport, onset + n) << c.name << ": reported at " << firstReport;
    } else {
        EXPECT_EQ(firstReport, -1) << c.name << ": reported at " << firstReport;
    }
}

INSTANTIATE_TEST_SUITE_P(Clips, FlickerClipTest,
                         testing::Values(ClipCase{"light", 30, 0, 0, true}, ClipCase{"still", 0, 0, 0, false},
                                         ClipCase{"fade", 0, 1, 0, false}, ClipCase{"pan", 0, 0, 2, false}),
                         [](const testing::TestParamInfo<ClipCase>& i) { return std::string(i.param.name); });

// ---- Kernels: known values on every tier this machine has ----

struct Tier {
    const char* name;
    uint32_t flag;
};
const Tier kTiers[] = {{"c", 0},           {"sse2", RL_CPU_SSE2}, {"ssse3", RL_CPU_SSSE3},
                       {"sse4", RL_CPU_SSE42}, {"avx", RL_CPU_AVX},   {"avx2", RL_CPU_AVX2}};

class FlickerKernels : public testing::TestWithParam<Tier> {
protected:
    void SetUp() override
    {
        const uint32_t has = VeskCPUFeatureDetect(nullptr);
        if (GetParam().flag && !(has & GetParam().flag)) GTEST_SKIP() << "no " << GetParam().name;
        Ravvel::TagFlickerFuncs c{};
        Ravvel::InitFlickerFunc(&c, 0);
        Ravvel::InitFlickerFunc(&m_f, GetParam().flag);
        if (GetParam().flag) {
            ASSERT_NE(m_f.histogram, c.histogram);
        }
    }
    Ravvel::TagFlickerFuncs m_f{};
};

TEST_P(FlickerKernels, HistogramBinsStopAt2To24LikeFloatCounting)
{
    // One 4100-byte row read 4100 times (stride 0): 16.8 million samples.
    Bytes row(4100);
    for (size_t i = 0; i < row.size(); ++i) row[i] = i < 4096 ? 7 : 9;
    float hist[256], count = 0.0f;
    m_f.histogram(row.data(), 0, 4100, 4100, hist, &count);
    EXPECT_EQ(hist[7], 16777216.0f);
    EXPECT_EQ(hist[9], 16400.0f);
    EXPECT_EQ(hist[8], 0.0f);
    EXPECT_EQ(count, 16777216.0f);
}

TEST_P(FlickerKernels, MseAndBudgetKnownValues)
{
    float a[256] = {}, b[256] = {};
    a[10] = 19.0f, b[20] = 19.0f;
    EXPECT_EQ(m_f.mse(a, b, 19.0f), 38.0f);
    const uint8_t p[6] = {0, 10, 20, 30, 40, 255}, q[6] = {3, 14, 20, 25, 40, 0};
    // Moved by more than 3: 10->14, 30->25, 255->0.
    EXPECT_EQ(m_f.pixel_wise_diff_exceed(p, q, 3, 3, 2, 3, 4), 1u);
    EXPECT_EQ(m_f.pixel_wise_diff_exceed(p, q, 3, 3, 2, 3, 3), 0u);
    EXPECT_EQ(m_f.pixel_wise_diff_exceed(p, q, 3, 3, 2, 0x104, 10), 8u);  // only the low byte, 4
    EXPECT_EQ(m_f.pixel_wise_diff_exceed(p, q, 3, 3, 0, 0, 10), 10u);
}

INSTANTIATE_TEST_SUITE_P(Tiers, FlickerKernels, testing::ValuesIn(kTiers),
                         [](const testing::TestParamInfo<Tier>& i) { return std::string(i.param.name); });

}  // namespace
