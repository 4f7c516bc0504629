#include "scale/upsample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "kernels/harness.h"
#include "support/log_capture.h"

namespace {

using namespace Ravvel;

TEST(UpsampleKernels, KnownValues)
{
    const uint8_t src[] = {0, 128, 200, 100, 255};
    uint8_t out[4] = {};
    // f = 64 on a falling pair rounds down through the arithmetic shift: 200 - 50.
    ScaleFilterCols_C(out, src, 2, 0x8000, 0x20000);
    EXPECT_EQ(out[0], 64);
    EXPECT_EQ(out[1], 150);
    // Positions beyond 2^31 stay exact in the wide variant.
    std::vector<uint8_t> wide(40000, 10);
    wide[39001] = 138;
    ScaleFilterCols64_C(out, wide.data(), 1, (int64_t{39000} << 16) | 0x8000, 0);
    EXPECT_EQ(out[0], 74);
    // Doubling bilinearly, destination column 1279 lies 127/128 of the way from column 638 to 639.
    std::vector<uint8_t> s(640 * 2, 0), d(1280 * 3);
    s[639] = s[640 + 639] = 255;
    ScalePlane(s.data(), 640, 640, 2, d.data(), 1280, 1280, 3, RL_FILTER_BILINEAR, ReferenceUpsampleFuncs());
    EXPECT_EQ(d[1279], 253);
}

struct SlopeCase {
    int sw, sh, dw, dh;
    FilterMode filter, reduced;
    int64_t x, y, dx, dy;
};

class ScaleSlopeTest : public testing::TestWithParam<SlopeCase> {};

TEST_P(ScaleSlopeTest, ReducesAndSteps)
{
    const SlopeCase& c = GetParam();
    EXPECT_EQ(ScaleFilterReduce(c.sw, c.sh, c.dw, c.dh, c.filter), c.reduced);
    int64_t got[4];
    ScaleSlope(c.sw, c.sh, c.dw, c.dh, c.reduced, &got[0], &got[1], &got[2], &got[3]);
    EXPECT_EQ(std::vector<int64_t>(got, got + 4), (std::vector<int64_t>{c.x, c.y, c.dx, c.dy}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScaleSlopeTest,
    testing::Values(
        SlopeCase{640, 360, 1280, 720, RL_FILTER_LINEAR, RL_FILTER_LINEAR, 0, 16384, 32742, 32768},
        SlopeCase{640, 360, 1280, 720, RL_FILTER_BILINEAR, RL_FILTER_BILINEAR, 0, 0, 32742, 32722},
        SlopeCase{-640, 360, 1280, 720, RL_FILTER_BILINEAR, RL_FILTER_BILINEAR, 1279 * 32742, 0, -32742,
                  32722},
        SlopeCase{640, 360, 320, 720, RL_FILTER_BILINEAR, RL_FILTER_BILINEAR, 32768, 0, 131072, 32722},
        SlopeCase{300, 10, 100, 25, RL_FILTER_BOX, RL_FILTER_BOX, 0, 0, 196608, 26214},
        SlopeCase{300, 10, 200, 25, RL_FILTER_BOX, RL_FILTER_BILINEAR, 16384, 0, 98304, 24575},
        SlopeCase{300, 1, 600, 5, RL_FILTER_BOX, RL_FILTER_LINEAR, 0, 6553, 32713, 13107},
        SlopeCase{1, 10, 3, 20, RL_FILTER_BILINEAR, RL_FILTER_LINEAR, 0, 16384, 0, 32768},
        SlopeCase{30, 30, 60, 10, RL_FILTER_BILINEAR, RL_FILTER_LINEAR, 0, 98304, 32212, 196608},
        SlopeCase{40000, 4, 1, 8, RL_FILTER_NONE, RL_FILTER_NONE, 32768, 16384, 65536, 32768}));

// Per-pixel restatement without a row cache: row bookkeeping, edge columns
// and every tier must agree with it byte for byte.
std::vector<uint8_t> Model(const uint8_t* src, int stride, int sw, int sh, int dw, int dh, FilterMode filter)
{
    filter = ScaleFilterReduce(sw, sh, dw, dh, filter);
    if (filter == RL_FILTER_NONE || sh >= dh) return {};
    int64_t x, y, dx, dy;
    ScaleSlope(sw, sh, dw, dh, filter, &x, &y, &dx, &dy);
    const int64_t maxY = static_cast<int64_t>(sh - 1) << 16, w = sw < 0 ? -sw : sw;
    auto sample = [&](int64_t row, int c) {
        const int64_t xj = x + c * dx, i = std::min<int64_t>(std::max<int64_t>(xj >> 16, 0), w - 1);
        const int a = src[row * stride + i], b = src[row * stride + std::min(i + 1, w - 1)];
        return a + (((b - a) * static_cast<int>(xj < 0 ? 0 : (xj >> 9) & 127) + 64) >> 7);
    };
    std::vector<uint8_t> out(static_cast<size_t>(dw) * dh);
    y = std::min(y, maxY);
    for (int64_t r = 0, lastY = y >> 16; r < dh; ++r, y += dy) {
        if ((y >> 16) != lastY) lastY = (y = std::min(y, maxY)) >> 16;
        const int64_t yi = y >> 16;
        const int f = static_cast<int>((y >> 8) & 255);
        for (int c = 0; c < dw; ++c) {
            const int a = sample(yi, c),
                      b = filter == RL_FILTER_LINEAR ? a : sample(std::min<int64_t>(yi + 1, sh - 1), c);
            out[r * dw + c] = static_cast<uint8_t>(f == 0     ? a
                                                   : f == 128 ? (a + b + 1) >> 1
                                                              : (a * (256 - f) + b * f + 128) >> 8);
        }
    }
    return out;
}

// A plane allocated to its last byte so that over-reads show under ASan.
struct TestPlane {
    TestPlane(int w, int h, int pad, uint32_t seed) : width(w), height(h), stride(w + pad)
    {
        bytes.resize(static_cast<size_t>(stride) * (h - 1) + w);
        rltest::Rng rng(seed);
        rng.Fill(bytes.data(), bytes.size());
    }
    int width, height, stride;
    std::vector<uint8_t> bytes;
};

SRLPictureInfo Picture(RL_EVideoFormat format, int w, int h, std::vector<TestPlane*> planes)
{
    SRLPictureInfo p{};
    p.eFormat = format;
    p.iWidth = w;
    p.iHeight = h;
    for (size_t i = 0; i < planes.size(); ++i) {
        p.pData[i] = planes[i]->bytes.data();
        p.iStride[i] = planes[i]->stride;
    }
    return p;
}

int Half(int n)
{
    return n >= 0 ? (n + 1) / 2 : -((1 - n) / 2);
}

struct SizeCase {
    int sw, sh, dw, dh, filter;  // a negative source width mirrors, a negative height is bottom-up
};
void PrintTo(const SizeCase& c, std::ostream* os)
{
    *os << c.sw << "x" << c.sh << "->" << c.dw << "x" << c.dh << " filter " << c.filter;
}

class UpsampleSizes : public testing::TestWithParam<std::tuple<SizeCase, int>> {};

// I420 through the method at each tier it selects: every plane equals the
// model, and the bytes between destination rows stay as they were.
TEST_P(UpsampleSizes, I420MatchesModel)
{
    const SizeCase c = std::get<0>(GetParam());
    const int tier = std::get<1>(GetParam());
    if (tier != RL_TIER_C && !(VeskCPUFeatureDetect(nullptr) & TierFlag(tier)))
        GTEST_SKIP() << "no such tier here";
    CUpsampling up(TierFlagMask(tier));
    int32_t mode = c.filter;
    up.Init(&mode, false);
    const int aw = c.sw < 0 ? -c.sw : c.sw, ah = c.sh < 0 ? -c.sh : c.sh;
    TestPlane s[3] = {{aw, ah, 3, 1}, {Half(aw), Half(ah), 1, 2}, {Half(aw), Half(ah), 0, 3}};
    TestPlane d[3] = {{c.dw, c.dh, 7, 4}, {Half(c.dw), Half(c.dh), 0, 5}, {Half(c.dw), Half(c.dh), 33, 6}};
    std::vector<uint8_t> want[3];
    for (int i = 0; i < 3; ++i) {
        want[i] = d[i].bytes;
        // The model reads a bottom-up source from its last row with the pitch negated.
        const int last = c.sh < 0 ? s[i].height - 1 : 0;
        const std::vector<uint8_t> rows =
            Model(&s[i].bytes[last * s[i].stride], c.sh < 0 ? -s[i].stride : s[i].stride,
                  i ? Half(c.sw) : c.sw, s[i].height, d[i].width, d[i].height, up.GetFilterModel());
        for (size_t r = 0; r < rows.size() / d[i].width; ++r)
            std::memcpy(&want[i][r * d[i].stride], &rows[r * d[i].width], d[i].width);
    }
    SRLPictureInfo src = Picture(RL_FORMAT_I420, c.sw, c.sh, {&s[0], &s[1], &s[2]});
    SRLPictureInfo dst = Picture(RL_FORMAT_I420, c.dw, c.dh, {&d[0], &d[1], &d[2]});
    ASSERT_EQ(up.Process(&src, &dst, nullptr), RL_OK);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(d[i].bytes, want[i]) << "plane " << i;
}

const SizeCase kSizes[] = {
    {640, 360, 1280, 720, 1},  {640, 360, 1280, 720, 2}, {1280, 720, 1920, 1080, 2},
    {33, 17, 101, 51, 2},      {-33, 17, 101, 51, 2},    {-97, 5, 130, 9, 1},
    {1, 1, 7, 5, 2},           {5, 1, 9, 4, 2},          {2, 9, 3, 20, 2},
    {100, 10, 100, 20, 2},     {300, 10, 100, 25, 3},    {-300, 10, 100, 25, 3},
    {31, 31, 64, 40, 3},       {640, 360, 1280, 360, 2}, {64, 48, 1000, 1000, 2},
    {1000, 2, 40, 3, 2},       {257, 129, 259, 131, 2},  {33, -17, 101, 51, 2},
    {-45, -23, 97, 61, 3},     {45, -23, 97, 61, 1},     {32768, 2, 32800, 3, 2},
    {-32768, -3, 40000, 4, 1},
};
INSTANTIATE_TEST_SUITE_P(Cases, UpsampleSizes,
                         testing::Combine(testing::ValuesIn(kSizes),
                                          testing::Values(int{RL_TIER_C}, int{RL_TIER_SSE2},
                                                          int{RL_TIER_AVX2})));

class UpsampleMethod : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&m_rl), RL_OK);
        m_log.Attach(m_rl);
        ASSERT_EQ(m_rl->Init(RL_METHOD_UPSAMPLING, nullptr, false), RL_OK);
        Reset();
    }
    void TearDown() override { DestroyRavvel(m_rl); }
    void Reset()
    {
        for (TestPlane& p : m_d) std::fill(p.bytes.begin(), p.bytes.end(), 0xAB);
        m_src = Picture(RL_FORMAT_I420, 16, 8, {&m_s[0], &m_s[1], &m_s[2]});
        m_dst = Picture(RL_FORMAT_I420, 32, 16, {&m_d[0], &m_d[1], &m_d[2]});
    }
    int32_t Run() { return m_rl->Process(RL_METHOD_UPSAMPLING, &m_src, &m_dst, nullptr); }
    bool Untouched() const
    {
        for (const TestPlane& p : m_d)
            if (std::count(p.bytes.begin(), p.bytes.end(), 0xAB) != static_cast<ptrdiff_t>(p.bytes.size()))
                return false;
        return true;
    }

    IRavvel* m_rl = nullptr;
    rltest::LogCapture m_log;
    TestPlane m_s[3] = {{16, 8, 0, 1}, {8, 4, 0, 2}, {8, 4, 0, 3}};
    TestPlane m_d[3] = {{32, 16, 0, 0}, {16, 8, 0, 0}, {16, 8, 0, 0}};
    SRLPictureInfo m_src{}, m_dst{};
};

TEST_F(UpsampleMethod, OtherFormatsAreRefusedAndUnscalableSizesAreSilent)
{
    for (uint32_t f : {26u, 24u, 1u, 0u, 23u | 0x80000000u, 31u | 0x80000000u}) {
        m_src.eFormat = static_cast<RL_EVideoFormat>(f);
        EXPECT_EQ(Run(), RL_ERR_BAD_FORMAT) << f;
    }
    EXPECT_EQ(m_rl->Process(RL_METHOD_UPSAMPLING, nullptr, &m_dst, nullptr), RL_ERR_INVALID_PARAM);
    const struct {
        const char* what;
        void (*spoil)(SRLPictureInfo& s, SRLPictureInfo& d);
    } silent[] = {
        {"height does not grow", [](SRLPictureInfo&, SRLPictureInfo& d) { d.iHeight = 8; }},
        {"empty source", [](SRLPictureInfo& s, SRLPictureInfo&) { s.iWidth = 0; }},
        {"source too wide", [](SRLPictureInfo& s, SRLPictureInfo&) { s.iWidth = -40000; }},
        {"empty destination", [](SRLPictureInfo&, SRLPictureInfo& d) { d.iWidth = 0; }},
        {"missing plane", [](SRLPictureInfo&, SRLPictureInfo& d) { d.pData[2] = nullptr; }},
        {"grey, negative destination",
         [](SRLPictureInfo& s, SRLPictureInfo& d) {
             s.eFormat = RL_FORMAT_VYUY;
             d.iHeight = -3;
         }},
    };
    for (const auto& c : silent) {
        Reset();
        c.spoil(m_src, m_dst);
        EXPECT_EQ(Run(), RL_OK) << c.what;
        EXPECT_TRUE(Untouched()) << c.what;
    }
}

TEST_F(UpsampleMethod, GreyPlaneScalesLikeLuma)
{
    ASSERT_EQ(Run(), RL_OK);
    const std::vector<uint8_t> luma = m_d[0].bytes;
    Reset();
    m_src.eFormat = RL_FORMAT_VYUY;
    m_dst.pData[1] = m_dst.pData[2] = nullptr;
    ASSERT_EQ(Run(), RL_OK);
    EXPECT_EQ(m_d[0].bytes, luma);
    EXPECT_TRUE(std::all_of(m_d[1].bytes.begin(), m_d[1].bytes.end(), [](uint8_t b) { return b == 0xAB; }));
}

TEST_F(UpsampleMethod, OptionsAndFilterModel)
{
    int32_t v = 1;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_UPSAMPLING, static_cast<RL_EOption>(0), nullptr), RL_OK);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_UPSAMPLING, RL_OPTION_DOWNSAMPLE_BILINEAR, &v), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_UPSAMPLING, RL_OPTION_AVERAGE_TIME, &v), RL_ERR_INVALID_PARAM);
    CUpsampling up(0);
    EXPECT_EQ(up.GetOption(static_cast<RL_EOption>(0), nullptr), RL_OK);
    EXPECT_EQ(up.GetFilterModel(), RL_FILTER_LINEAR);
    for (auto p : {std::make_pair(3, RL_FILTER_BOX), std::make_pair(0, RL_FILTER_LINEAR),
                   std::make_pair(-5, RL_FILTER_LINEAR), std::make_pair(2, RL_FILTER_BILINEAR)}) {
        int32_t cfg = p.first;
        EXPECT_EQ(up.Init(&cfg, true), RL_OK);
        EXPECT_EQ(up.GetFilterModel(), p.second) << p.first;
    }
    EXPECT_EQ(up.Init(nullptr, false), RL_OK);  // keeps the model
    EXPECT_EQ(up.GetFilterModel(), RL_FILTER_BILINEAR);
}

TEST_F(UpsampleMethod, RowCacheLivesAcrossFramesAndTheLifecycleIsLogged)
{
    CUpsampling up(VeskCPUFeatureDetect(nullptr));
    ASSERT_EQ(up.Process(&m_src, &m_dst, nullptr), RL_OK);
    const UpsampleRowCache first = up.GetRowCache();
    ASSERT_NE(first.pBlock, nullptr);
    // Chroma rows fit in the cache the luma rows sized; later frames reuse it.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(up.Process(&m_src, &m_dst, nullptr), RL_OK);
    EXPECT_EQ(up.GetRowCache().pBlock, first.pBlock);
    EXPECT_EQ(up.GetRowCache().uiCapacity, first.uiCapacity);
    EXPECT_EQ(up.Uninit(), RL_OK);
    EXPECT_EQ(up.GetRowCache().pBlock, nullptr);
    EXPECT_EQ(up.Process(&m_src, &m_dst, nullptr), RL_OK);
    // A cache that cannot exist is refused before any row is touched; the object stays usable.
    Reset();
    m_dst.iWidth = 0x7fffffff;
    EXPECT_EQ(m_rl->Process(RL_METHOD_UPSAMPLING, &m_src, &m_dst, nullptr), RL_ERR_NO_MEMORY);
    EXPECT_TRUE(Untouched());
    EXPECT_TRUE(m_log.Contains("ERROR: row cache of 2147483647 columns could not be allocated"));
    m_dst.iWidth = 32;
    EXPECT_EQ(m_rl->Process(RL_METHOD_UPSAMPLING, &m_src, &m_dst, nullptr), RL_OK);

    EXPECT_TRUE(m_log.Contains("Create Upsample("));
    EXPECT_EQ(m_rl->Uninit(RL_METHOD_UPSAMPLING), RL_OK);
    EXPECT_TRUE(m_log.Contains("[rl][Upsample] Upsample=0x"));
    EXPECT_TRUE(m_log.Contains(", INFO: CUpsampling::~CUpsampling() begin."));
}

}  // namespace
