#include "enhance/denoise.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "enhance/denoise_test_util.h"
#include "support/log_capture.h"

namespace {

using namespace Ravvel;
using denoise_test::Noise;
using denoise_test::Yuv;

// ---- kernels with known values ----------------------------------------------

// Three rows of 24 bytes; the filtered run starts at column 4 of the middle row.
struct RowBuffer {
    static constexpr int kStride = 24;
    uint8_t b[3 * kStride];
    explicit RowBuffer(uint8_t fill) { std::memset(b, fill, sizeof b); }
    uint8_t* Run() { return b + kStride + 4; }
    uint8_t& Mid(int x) { return b[kStride + x]; }
};

struct RowFilterCase {
    const char* name;
    DenoiseRowFunc f;
    int width;
    bool wide;
};

class DenoiseRowFilterTest : public testing::TestWithParam<RowFilterCase> {};

TEST_P(DenoiseRowFilterTest, WeightsByDistanceAndWritesOnlyItsRun)
{
    const RowFilterCase& k = GetParam();
    // A flat neighbourhood is left as it is.
    RowBuffer flat(77);
    k.f(flat.Run(), RowBuffer::kStride);
    for (uint8_t v : flat.b) ASSERT_EQ(v, 77);

    // One dark pixel among equal neighbours at distance d; every other pixel
    // of the run is pulled by its one dark neighbour by less than a level.
    struct Expect {
        int d, plain, wide;
    };
    const Expect cases[] = {
        {16, 104, 112},   // plain: weight 8 each, centre 192; wide: 24 each
        {26, 101, 118},   // plain weight 1
        {27, 100, 119},   // plain weight 0 from here on
        {111, 100, 103},  // wide weight 1
        {112, 100, 100},  // wide weight 0 (28 - 112 / 4)
        {115, 100, 100},
    };
    for (const Expect& e : cases) {
        for (int pos : {0, k.width - 1}) {
            RowBuffer r(static_cast<uint8_t>(100 + e.d));
            r.Mid(4 + pos) = 100;
            k.f(r.Run(), RowBuffer::kStride);
            EXPECT_EQ(r.Mid(4 + pos), k.wide ? e.wide : e.plain) << "d " << e.d << " at " << pos;
            // Nothing outside the run changes.
            for (int x = 0; x < RowBuffer::kStride; ++x)
                if (x < 4 || x >= 4 + k.width) {
                    ASSERT_EQ(r.Mid(x), 100 + e.d) << x;
                }
            for (int x = 0; x < RowBuffer::kStride; ++x) ASSERT_EQ(r.b[x], 100 + e.d);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, DenoiseRowFilterTest,
                         testing::Values(RowFilterCase{"Bilateral8", BilateralLumaFilter8_c, 8, false},
                                         RowFilterCase{"Bilateral16", BilateralLumaFilter16_c, 16, false},
                                         RowFilterCase{"Bilateral8Ex", BilateralLumaFilter8Ex_c, 8, true},
                                         RowFilterCase{"Bilateral16Ex", BilateralLumaFilter16Ex_c, 16, true}),
                         [](const testing::TestParamInfo<RowFilterCase>& i) { return std::string(i.param.name); });

TEST(DenoiseKernels, GaussianAndFurtherRowFilters)
{
    uint8_t g[9] = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    Gauss3x3Filter(g + 4, 3);
    EXPECT_EQ(g[4], (10 + 40 + 30 + 80 + 200 + 120 + 70 + 160 + 90 + 8) >> 4);

    // Average: the 3x3 window without its lower-right corner.
    RowBuffer a(8);
    a.b[2 * RowBuffer::kStride + 5] = 255;  // lower-right of column 4: ignored
    a.b[2 * RowBuffer::kStride + 3] = 80;   // lower-left of column 4
    AverageLumaFilter8_c(a.Run(), RowBuffer::kStride);
    EXPECT_EQ(a.Mid(4), (7 * 8 + 80 + 4) >> 3);

    // Weighted 5x5 mean: centre weight 20 of 64.
    std::vector<uint8_t> w(5 * 24, 0);
    w[2 * 24 + 8] = 64;
    WaverageChromaFilter16_c(&w[2 * 24 + 4], 24);
    EXPECT_EQ(w[2 * 24 + 8], (20 * 64 + 32) >> 6);
    EXPECT_EQ(w[2 * 24 + 7], (4 * 64 + 32) >> 6);
    EXPECT_EQ(w[2 * 24 + 3], 0);  // outside the run
}

TEST(DenoiseKernels, TemporalAverageBlendsOnlyItsBlock)
{
    for (int log2 : {3, 4}) {
        const int n = 1 << log2, stride = 40;
        std::vector<uint8_t> prev(stride * 20, 200), cur(stride * 20, 9);
        TemporalAverageBlock_c(prev.data() + stride + 1, cur.data() + stride + 1, stride, log2, 0);
        EXPECT_EQ(cur[stride + 1], (9 * 16 + 200 * 16 + 16) >> 5);
        EXPECT_EQ(cur[n * stride + n], (9 * 16 + 200 * 16 + 16) >> 5);
        EXPECT_EQ(cur[n * stride + n + 1], 9);
        EXPECT_EQ(cur[(n + 1) * stride + 1], 9);
        EXPECT_EQ(cur[0], 9);
        // A block that stayed still seven frames keeps 29/32 of the history.
        TemporalAverageBlock_c(prev.data(), cur.data(), stride, log2, 7);
        EXPECT_EQ(cur[0], (9 * 3 + 200 * 29 + 16) >> 5);
    }
}

TEST(DenoiseKernels, SkipCheckQuickAndDetailedVerdicts)
{
    uint8_t prev[64], cur[64];
    std::memset(prev, 100, 64);
    std::memset(cur, 100, 64);
    uint32_t ref = 0, sad = 99;
    EXPECT_TRUE(TemporalSkipCheck8x8_c(prev, cur, 8, &ref, &sad, 300, 140));
    EXPECT_EQ(sad, 0u);
    EXPECT_FALSE(TemporalSkipCheck8x8_c(prev, cur, 8, &ref, &sad, 0, 140));  // no threshold, no match

    // A uniform step of one level: SAD 32 lies between 100/8 and 7*100/16, so
    // the transform decides; its only coefficient is the DC term -128.
    std::memset(cur, 101, 64);
    ref = 0;
    EXPECT_FALSE(TemporalSkipCheck8x8_c(prev, cur, 8, &ref, &sad, 100, 127));
    EXPECT_EQ(sad, 32u);
    EXPECT_EQ(ref, 32u);
    ref = 0;
    EXPECT_TRUE(TemporalSkipCheck8x8_c(prev, cur, 8, &ref, &sad, 100, 128));
    // Once a SAD this large has been examined the quick verdict stands.
    EXPECT_TRUE(TemporalSkipCheck8x8_c(prev, cur, 8, &ref, &sad, 100, 0));
    // Above 7/16 of the AC threshold the blocks differ without a transform.
    ref = 0;
    EXPECT_FALSE(TemporalSkipCheck8x8_c(prev, cur, 8, &ref, &sad, 73, 1000));
    EXPECT_EQ(ref, 0u);
}

TEST(DenoiseKernels, NoiseEstimateMeasuresFrameDifferenceVariance)
{
    const int w = 160, h = 90;
    std::vector<uint8_t> a(w * h), b(w * h);
    std::vector<uint32_t> weights(w * h / 25), vars(w * h / 25);
    Noise n(3);
    for (int i = 0; i < w * h; ++i) a[i] = static_cast<uint8_t>(120 + ((i % w) / 20) * 4);
    b = a;
    EXPECT_EQ(NoiseEstimation8_c(a.data(), b.data(), w, h, w, weights.data(), vars.data()), 0);
    // Too small to hold a block.
    EXPECT_EQ(NoiseEstimation8_c(a.data(), b.data(), 8, h, w, weights.data(), vars.data()), 0);
    EXPECT_EQ(NoiseEstimation8_c(a.data(), b.data(), w, 4, w, weights.data(), vars.data()), 0);
    // Independent noise of sigma 4 in each frame: the difference has variance 32.
    for (int i = 0; i < w * h; ++i) {
        a[i] = static_cast<uint8_t>(a[i] + std::lround(4 * n.Gauss()));
        b[i] = static_cast<uint8_t>(b[i] + std::lround(4 * n.Gauss()));
    }
    const int est = NoiseEstimation8_c(a.data(), b.data(), w, h, w, weights.data(), vars.data());
    EXPECT_GT(est, 32 * 256 * 6 / 10);
    EXPECT_LT(est, 32 * 256 * 14 / 10);
}

// ---- the method through IRavvel -------------------------------------------

class DenoiseApi : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateRavvel(&m_rl), RL_OK); }
    void TearDown() override { DestroyRavvel(m_rl); }
    int32_t Init(int w, int h, int mode, int32_t format = RL_FORMAT_I420)
    {
        SDenoiseConfig c = {w, h, format, mode};
        return m_rl->Init(RL_METHOD_DENOISE, &c, false);
    }
    int32_t Run(Yuv& f, SRLPictureInfo* dst = nullptr)
    {
        SRLPictureInfo p = f.Info();
        return m_rl->Process(RL_METHOD_DENOISE, &p, dst, nullptr);
    }
    int32_t Level()
    {
        int32_t v = -9;
        EXPECT_EQ(m_rl->GetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_LEVEL, &v), RL_OK);
        return v;
    }
    IRavvel* m_rl = nullptr;
};

TEST_F(DenoiseApi, ResultCodes)
{
    Yuv f(64, 32);
    SRLPictureInfo p = f.Info();
    int32_t v = 1;
    EXPECT_EQ(m_rl->Process(RL_METHOD_DENOISE, &p, nullptr, nullptr), RL_ERR_MISMATCH);  // no object yet
    EXPECT_EQ(m_rl->Init(RL_METHOD_DENOISE, nullptr, false), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(Init(64, 32, 1, RL_FORMAT_NV12), RL_ERR_UNSUPPORTED);
    EXPECT_EQ(m_rl->Process(RL_METHOD_DENOISE, &p, nullptr, nullptr), RL_ERR_NOT_INITIALIZED);
    ASSERT_EQ(Init(64, 32, 1), RL_OK);
    EXPECT_EQ(Init(64, 32, 1, RL_FORMAT_YV12), RL_OK);
    EXPECT_EQ(m_rl->Process(RL_METHOD_DENOISE, nullptr, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    for (uint32_t format : {0x80000000u | RL_FORMAT_I420, uint32_t{RL_FORMAT_NV12}, 99u}) {
        p = f.Info(static_cast<RL_EVideoFormat>(format));
        EXPECT_EQ(m_rl->Process(RL_METHOD_DENOISE, &p, nullptr, nullptr), RL_ERR_UNSUPPORTED) << format;
    }
    for (int plane = 0; plane < 3; ++plane) {
        p = f.Info();
        p.pData[plane] = nullptr;
        EXPECT_EQ(m_rl->Process(RL_METHOD_DENOISE, &p, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    }
    // Geometry the planes cannot hold.
    const int bad[][5] = {{0, 32, 64, 32, 32}, {64, 0, 64, 32, 32}, {-64, 32, 64, 32, 32}, {64, 32, 63, 32, 32},
                          {64, 32, 64, 31, 32}, {64, 32, 64, 32, -32}, {64, 32, -64, 32, 32}};
    for (const auto& b : bad) {
        p = f.Info();
        p.iWidth = b[0], p.iHeight = b[1], p.iStride[0] = b[2], p.iStride[1] = b[3], p.iStride[2] = b[4];
        EXPECT_EQ(m_rl->Process(RL_METHOD_DENOISE, &p, nullptr, nullptr), RL_ERR_INVALID_PARAM) << b[0] << b[2];
    }
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_MODE, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_ESTIMATE_INTERVAL, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_RESET_COUNTER, nullptr), RL_OK);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_DENOISE, RL_OPTION_CROP_PARAM, &v), RL_OK);  // not ours: ignored
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_LEVEL, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_DENOISE, RL_OPTION_CROP_PARAM, &v), RL_OK);
    EXPECT_EQ(v, 1);
    double avg = -1;
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_DENOISE, RL_OPTION_AVERAGE_TIME, &avg), RL_OK);
    EXPECT_EQ(avg, 0.0);  // no frame yet
    EXPECT_EQ(Run(f), RL_OK);
    EXPECT_EQ(m_rl->Uninit(RL_METHOD_DENOISE), RL_OK);
}

TEST_F(DenoiseApi, ModesDecideLevelAndFilterFilters)
{
    ASSERT_EQ(Init(64, 48, -1), RL_OK);
    Yuv f(64, 48), orig(64, 48);
    Noise n(7);
    denoise_test::RenderFrame(f, 0);
    denoise_test::AddNoise(f, n, 6);
    orig.CopyPixels(f);
    // Without a mode frames pass untouched.
    EXPECT_EQ(Run(f), RL_OK);
    EXPECT_TRUE(f.SamePixels(orig));
    EXPECT_EQ(Level(), 0);

    int32_t mode = 0;
    ASSERT_EQ(m_rl->SetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_MODE, &mode), RL_OK);
    EXPECT_EQ(Level(), 1);  // automatic mode starts weak
    Yuv dst(64, 48);
    SRLPictureInfo d = dst.Info();
    EXPECT_EQ(Run(f, &d), RL_OK);
    EXPECT_FALSE(f.SamePixels(orig));
    int32_t estimate = -1;
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_NOISE_ESTIMATE, &estimate), RL_OK);
    EXPECT_EQ(estimate, 0);  // nothing to compare with on the first frame
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(dst.At(0, x, y), 0);  // destination untouched

    for (int m = 1; m <= 4; ++m) {
        ASSERT_EQ(m_rl->SetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_MODE, &m), RL_OK);
        EXPECT_EQ(Level(), m);
    }
    mode = 9;  // unknown modes keep the level
    ASSERT_EQ(m_rl->SetOption(RL_METHOD_DENOISE, RL_OPTION_DENOISE_MODE, &mode), RL_OK);
    EXPECT_EQ(Level(), 4);
    EXPECT_EQ(Run(f), RL_OK);
}

TEST_F(DenoiseApi, UnalignedSourceMatchesAlignedOneAndKeepsPadding)
{
    // Same frames through two objects: one in place on aligned planes, one
    // through the working copy (shifted planes, odd strides that later grow).
    IRavvel* other = nullptr;
    ASSERT_EQ(CreateRavvel(&other), RL_OK);
    SDenoiseConfig c = {72, 40, RL_FORMAT_I420, 2};
    ASSERT_EQ(m_rl->Init(RL_METHOD_DENOISE, &c, false), RL_OK);
    ASSERT_EQ(other->Init(RL_METHOD_DENOISE, &c, false), RL_OK);
    Noise n(11);
    for (int t = 0; t < 6; ++t) {
        Yuv aligned(72, 40, t < 3 ? 80 : 144);
        Yuv shifted(72, 40, t < 3 ? 74 : 98, 1 + t);
        denoise_test::RenderFrame(aligned, t / 2);
        denoise_test::AddNoise(aligned, n, 5);
        shifted.CopyPixels(aligned);
        shifted.FillPadding(0xA5);
        ASSERT_EQ(Run(aligned), RL_OK);
        SRLPictureInfo p = shifted.Info();
        ASSERT_EQ(other->Process(RL_METHOD_DENOISE, &p, nullptr, nullptr), RL_OK);
        EXPECT_TRUE(shifted.SamePixels(aligned)) << t;
        EXPECT_TRUE(shifted.PaddingIs(0xA5)) << t;
    }
    DestroyRavvel(other);
}

// ---- the method object: level decision, walks, temporal history -----------

int g_fakeEstimate = 0;
int FakeEstimator(uint8_t*, uint8_t*, int, int, int, uint32_t*, uint32_t*) { return g_fakeEstimate; }

int64_t g_nowUs = 0;
int64_t FakeClock() { return g_nowUs; }

class DenoiseObject : public testing::Test {
protected:
    explicit DenoiseObject(uint32_t flags = TierFlagMask(RL_TIER_AVX2) & VeskCPUFeatureDetect(nullptr))
        : m_dn(flags)
    {
    }
    void Init(int w, int h, int mode)
    {
        SDenoiseConfig c = {w, h, RL_FORMAT_I420, mode};
        ASSERT_EQ(m_dn.Init(&c, false), RL_OK);
    }
    int32_t Run(Yuv& f)
    {
        SRLPictureInfo p = f.Info();
        return m_dn.Process(&p, nullptr, nullptr);
    }
    int32_t Level()
    {
        int32_t v = -1;
        m_dn.GetOption(RL_OPTION_DENOISE_LEVEL, &v);
        return v;
    }
    CDenoise m_dn;
};

TEST_F(DenoiseObject, LevelFollowsSmoothedEstimate)
{
    Init(64, 32, 0);
    m_dn.SetNoiseEstimationFunc(FakeEstimator);
    Yuv f(64, 32);
    ASSERT_EQ(Run(f), RL_OK);  // first frame: no estimate
    EXPECT_EQ(m_dn.GetNoiseLevelQ8(), 256);
    // Instant level 4 from 1.0: three quarters old plus a quarter new.
    g_fakeEstimate = 4096;
    ASSERT_EQ(Run(f), RL_OK);
    EXPECT_EQ(m_dn.GetNoiseLevelQ8(), 448);
    EXPECT_EQ(Level(), 2);
    // Thresholds of the instant level, seen from a settled level.
    struct Step {
        int estimate, instant;
    };
    const Step steps[] = {{255, 0}, {256, 1}, {511, 1}, {512, 2}, {2559, 2}, {2560, 3}, {4095, 3}, {4096, 4}};
    for (const Step& s : steps) {
        int32_t m = s.instant ? s.instant : 1;
        m_dn.SetOption(RL_OPTION_DENOISE_MODE, &m);  // fixed level settles Q8
        int32_t a = 0;
        m_dn.SetOption(RL_OPTION_DENOISE_MODE, &a);
        m_dn.SetOption(RL_OPTION_DENOISE_RESET_COUNTER, nullptr);
        const int q8 = m_dn.GetNoiseLevelQ8();
        g_fakeEstimate = s.estimate;
        ASSERT_EQ(Run(f), RL_OK);
        EXPECT_EQ(m_dn.GetNoiseLevelQ8(), (s.instant * 16384 + 192 * q8 + 128) >> 8) << s.estimate;
    }
    int32_t raw = 0;
    m_dn.GetOption(RL_OPTION_DENOISE_NOISE_ESTIMATE, &raw);
    EXPECT_EQ(raw, 4096);
}

TEST_F(DenoiseObject, LevelZeroRestsUntilTheNextPeriod)
{
    Init(64, 32, 0);
    m_dn.SetNoiseEstimationFunc(FakeEstimator);
    int32_t interval = 10;
    m_dn.SetOption(RL_OPTION_DENOISE_ESTIMATE_INTERVAL, &interval);
    g_fakeEstimate = 0;
    Yuv f(64, 32);
    Noise n(5);
    denoise_test::AddNoise(f, n, 20);
    // Frames 1..5 estimate; the level falls 1.0, .75, .56, .42 (level 0).
    for (int i = 0; i < 6; ++i) ASSERT_EQ(Run(f), RL_OK);
    ASSERT_EQ(Level(), 0);
    Yuv before(64, 32);
    before.CopyPixels(f);
    const uint32_t frames = m_dn.GetStatistics()->uiFrames;
    for (int i = 6; i < 10; ++i) {
        ASSERT_EQ(Run(f), RL_OK);
        EXPECT_EQ(m_dn.GetStatistics()->uiFrames, frames) << "no statistics while resting";
    }
    EXPECT_TRUE(f.SamePixels(before));
    EXPECT_EQ(m_dn.GetFrameCount(), 10);

    // Period start: a level-0 frame is still accounted and left untouched.
    ASSERT_EQ(Run(f), RL_OK);
    EXPECT_EQ(m_dn.GetStatistics()->uiFrames, frames + 1);
    EXPECT_TRUE(f.SamePixels(before));

    // Leaving level 0 starts the temporal history afresh: no blend that frame.
    g_fakeEstimate = 100000;
    ASSERT_EQ(Run(f), RL_OK);
    ASSERT_GT(Level(), 0);
    for (int i = 0; i < 4 * 2; ++i) EXPECT_EQ(m_dn.GetBlockMap()[i], 0);
    ASSERT_EQ(Run(f), RL_OK);  // the same frame again: still blocks pass
    EXPECT_EQ(m_dn.GetBlockMap()[0], 1);
}

TEST_F(DenoiseObject, StaticBlocksCountUpToSevenAndPartialBlocksNever)
{
    // 40 x 40: one full block per direction plus partial ones.
    Init(40, 40, 1);
    Yuv f(40, 40);
    denoise_test::RenderFrame(f, 0);
    for (int i = 0; i < 12; ++i) ASSERT_EQ(Run(f), RL_OK);
    const uint8_t* map = m_dn.GetBlockMap();
    ASSERT_EQ(m_dn.GetBlockCols(), 3);
    EXPECT_EQ(map[0], 7);
    EXPECT_EQ(map[1], 7);  // full block (16..31)
    EXPECT_EQ(map[3], 7);
    EXPECT_EQ(map[4], 7);
    for (int i : {2, 5, 6, 7, 8}) EXPECT_EQ(map[i], 0) << i;
    // A different frame resets the counters.
    Yuv g(40, 40);
    denoise_test::RenderFrame(g, 9);
    ASSERT_EQ(Run(g), RL_OK);
    EXPECT_EQ(map[0], 0);
}

struct BorderCase {
    int w, h, mode;
};

class DenoiseBorders : public DenoiseObject, public testing::WithParamInterface<BorderCase> {};

// The outermost rows and columns stay as they are, for block multiples, for
// partial last blocks and for planes of a single block column or row; with
// exactly sized planes AddressSanitizer checks that the walks stay inside.
TEST_P(DenoiseBorders, EdgesKeptAndStayingInsidePlanes)
{
    const BorderCase bc = GetParam();
    Init(bc.w, bc.h, bc.mode);
    Noise n(static_cast<uint32_t>(bc.w * 131 + bc.h));
    // Only the first frame is spatial alone; later ones add the temporal blend
    // of whole blocks and run for the bounds checking.
    for (int t = 0; t < 3; ++t) {
        Yuv f(bc.w, bc.h), orig(bc.w, bc.h);
        denoise_test::RenderFrame(f, 0);
        denoise_test::AddNoise(f, n, 10);
        orig.CopyPixels(f);
        ASSERT_EQ(Run(f), RL_OK);
        if (t > 0) continue;
        for (int p = 0; p < 3; ++p) {
            const int pw = f.Width(p), ph = f.Height(p);
            for (int x = 0; x < pw; ++x) {
                ASSERT_EQ(f.At(p, x, 0), orig.At(p, x, 0)) << p << " top " << x;
                ASSERT_EQ(f.At(p, x, ph - 1), orig.At(p, x, ph - 1)) << p << " bottom " << x;
            }
            for (int y = 0; y < ph; ++y) {
                ASSERT_EQ(f.At(p, 0, y), orig.At(p, 0, y)) << p << " left " << y;
                ASSERT_EQ(f.At(p, pw - 1, y), orig.At(p, pw - 1, y)) << p << " right " << y;
            }
        }
        if (bc.w >= 8 && bc.h >= 8) {
            EXPECT_FALSE(f.SamePixels(orig));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DenoiseBorders,
                         testing::Values(BorderCase{64, 48, 3}, BorderCase{64, 48, 4}, BorderCase{48, 32, 1},
                                         BorderCase{50, 34, 4}, BorderCase{41, 27, 2}, BorderCase{16, 16, 3},
                                         BorderCase{12, 40, 4}, BorderCase{40, 9, 3}, BorderCase{17, 18, 1},
                                         BorderCase{2, 2, 4}, BorderCase{1, 1, 3}),
                         [](const testing::TestParamInfo<BorderCase>& i) {
                             return std::to_string(i.param.w) + "x" + std::to_string(i.param.h) + "_level" +
                                    std::to_string(i.param.mode);
                         });

TEST_F(DenoiseObject, BuffersFollowSizeAndLifecycle)
{
    Init(64, 32, 2);
    Yuv a(64, 32), b(32, 64);
    ASSERT_EQ(Run(a), RL_OK);
    ASSERT_EQ(Run(a), RL_OK);
    EXPECT_EQ(m_dn.GetFrameCount(), 2);
    // Another size rebuilds the buffers and restarts the count.
    ASSERT_EQ(Run(b), RL_OK);
    EXPECT_EQ(m_dn.GetFrameCount(), 1);
    EXPECT_EQ(m_dn.GetBlockCols(), 2);
    // Reinit keeps mode and level, drops the history.
    EXPECT_EQ(m_dn.SetOption(RL_OPTION_DENOISE_REINIT, nullptr), RL_OK);
    EXPECT_EQ(m_dn.GetFrameCount(), 0);
    EXPECT_EQ(m_dn.GetBlockMap(), nullptr);
    EXPECT_EQ(Level(), 2);
    ASSERT_EQ(Run(b), RL_OK);
    // Init with another size, then frames of that size.
    Init(64, 32, 2);
    ASSERT_EQ(Run(a), RL_OK);
    EXPECT_EQ(m_dn.Uninit(), RL_OK);
    SRLPictureInfo p = a.Info();
    EXPECT_EQ(m_dn.Process(&p, nullptr, nullptr), RL_ERR_NOT_INITIALIZED);
    EXPECT_EQ(Level(), 2);
}

TEST_F(DenoiseObject, TimingLineNamesTheHighestLevel)
{
    rltest::LogCapture cap;
    m_dn.InitLogger(RL_TRACE_INFO, &rltest::LogCapture::Callback, &cap);
    g_nowUs = 1000000000;
    m_dn.SetClock(FakeClock);
    int32_t ms = 100;
    m_dn.SetStatInterval(&ms);
    Init(32, 32, 4);
    Yuv f(32, 32);
    ASSERT_EQ(Run(f), RL_OK);
    int32_t one = 1;
    m_dn.SetOption(RL_OPTION_DENOISE_MODE, &one);
    g_nowUs += 101000;
    ASSERT_EQ(Run(f), RL_OK);
    ASSERT_EQ(cap.lines.size(), 1u);
    EXPECT_NE(cap.lines[0].text.find("ms per frame, maxNoiseLevel: SUPER_STRONG"), std::string::npos)
        << cap.lines[0].text;
    EXPECT_EQ(cap.lines[0].text.find("[rl][Denoise] Denoise="), 0u);
    g_nowUs += 101000;
    ASSERT_EQ(Run(f), RL_OK);
    ASSERT_EQ(cap.lines.size(), 2u);
    EXPECT_NE(cap.lines[1].text.find("maxNoiseLevel: WEAK"), std::string::npos) << cap.lines[1].text;
    m_dn.SetClock(nullptr);
}

// Each tier's kernel table through the method gives the reference's frames.
class DenoiseTiers : public testing::TestWithParam<int> {};

TEST_P(DenoiseTiers, SameFramesAsReference)
{
    const int tier = GetParam();
    if (!(VeskCPUFeatureDetect(nullptr) & TierFlag(tier))) GTEST_SKIP() << "no such tier here";
    for (int mode : {0, 2, 4}) {
        CDenoise ref(0), dut(TierFlagMask(tier));
        SDenoiseConfig c = {88, 56, RL_FORMAT_I420, mode};
        ASSERT_EQ(ref.Init(&c, false), RL_OK);
        ASSERT_EQ(dut.Init(&c, false), RL_OK);
        Noise n(static_cast<uint32_t>(mode + 1));
        for (int t = 0; t < 5; ++t) {
            Yuv a(88, 56), b(88, 56);
            denoise_test::RenderFrame(a, t);
            denoise_test::AddNoise(a, n, 7);
            b.CopyPixels(a);
            SRLPictureInfo pa = a.Info(), pb = b.Info();
            ASSERT_EQ(ref.Process(&pa, nullptr, nullptr), RL_OK);
            ASSERT_EQ(dut.Process(&pb, nullptr, nullptr), RL_OK);
            ASSERT_TRUE(a.SamePixels(b)) << "mode " << mode << " frame " << t;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tiers, DenoiseTiers, testing::Range(1, static_cast<int>(RL_TIER_COUNT)),
                         [](const testing::TestParamInfo<int>& i) { return std::string(TierName(i.param)); });

}  // namespace
