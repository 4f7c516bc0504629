// Colour converter through IRavvel and the reference table, checked against
// a per-pixel model of the formats written independently of the kernels.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "csc/color_space_convertor.h"
#include "csc/csc_kernels.h"
#include "csc/csc_picture.h"
#include "ravvel.h"

namespace {

using namespace Ravvel;
using rltest::CscPicture;

// ---- Model ----------------------------------------------------------------------

enum Kind { kRgb3, kRgb4, kRgbP, k422, k420, kSemi, kScreen, kI4202 };

Kind KindOf(uint32_t f)
{
    switch (f & RL_FORMAT_MASK) {
    case 1: case 5: return kRgb3;
    case 2: case 6: case 7: case 8: return kRgb4;
    case 9: case 10: return kRgbP;
    case 20: case 21: case 22: case 31: return k422;
    case 23: case 24: return k420;
    case 26: case 29: return kSemi;
    case 11: return kScreen;
    default: return kI4202;
    }
}

bool IsRgb(Kind k) { return k == kRgb3 || k == kRgb4 || k == kRgbP; }

// Byte offsets of R, G, B, A (-1 none) in a pixel, or plane indices for planar.
void Channels(uint32_t f, int pos[4])
{
    static const int kTab[11][4] = {{0}, {0, 1, 2, -1}, {0, 1, 2, 3}, {0}, {0}, {2, 1, 0, -1},
                                    {2, 1, 0, 3}, {3, 2, 1, 0}, {1, 2, 3, 0}, {0, 1, 2, -1}, {2, 1, 0, -1}};
    std::memcpy(pos, kTab[f & RL_FORMAT_MASK], sizeof kTab[0]);
}

// Macropixel positions of Y0, U, Y1, V.
void Layout422(uint32_t f, int pos[4])
{
    switch (f & RL_FORMAT_MASK) {
    case 20: pos[0] = 0, pos[1] = 1, pos[2] = 2, pos[3] = 3; break;
    case 21: pos[0] = 0, pos[1] = 3, pos[2] = 2, pos[3] = 1; break;
    case 22: pos[0] = 1, pos[1] = 0, pos[2] = 3, pos[3] = 2; break;
    default: pos[0] = 1, pos[1] = 2, pos[2] = 3, pos[3] = 0; break;
    }
}

// Logical (top-down) access to a picture's samples.
struct View {
    const SRLPictureInfo& p;
    uint32_t f() const { return static_cast<uint32_t>(p.eFormat) & RL_FORMAT_MASK; }
    bool bottomUp() const { return (static_cast<uint32_t>(p.eFormat) & 0x80000000u) != 0; }
    int Row(int y, int rows) const { return bottomUp() ? rows - 1 - y : y; }
    uint8_t* At(int plane, int row, int col) const { return p.pData[plane] + row * p.iStride[plane] + col; }

    // channel c of pixel (x, y): 0 R, 1 G, 2 B, 3 A (255 without alpha)
    uint8_t& Rgb(int x, int y, int c) const
    {
        static uint8_t opaque;
        int pos[4];
        Channels(f(), pos);
        opaque = 255;
        if (pos[c] < 0) return opaque;
        const int row = Row(y, p.iHeight);
        if (KindOf(f()) == kRgbP) return *At(0, row + pos[c] * p.iHeight, x);
        return *At(0, row, x * (KindOf(f()) == kRgb3 ? 3 : 4) + pos[c]);
    }
    uint8_t& Luma(int x, int y) const
    {
        if (KindOf(f()) == k422) {
            int pos[4];
            Layout422(f(), pos);
            return *At(0, Row(y, p.iHeight), 2 * (x & ~1) + pos[(x & 1) ? 2 : 0]);
        }
        return *At(0, Row(y, p.iHeight), x);
    }
    // The chroma sample (0 U, 1 V) that covers pixel (x, y).
    uint8_t& Chroma(int x, int y, int c) const
    {
        const int k = x / 2;
        const int crow = Row(y / 2, p.iHeight / 2);
        switch (KindOf(f())) {
        case k422: {
            int pos[4];
            Layout422(f(), pos);
            return *At(0, Row(y, p.iHeight), 4 * k + pos[c ? 3 : 1]);
        }
        case kSemi: return *At(1, crow, 2 * k + ((f() == RL_FORMAT_NV21) != (c == 1) ? 1 : 0));
        case kI4202: return *At(1 + c, crow, 2 * k);
        default: return *At((f() == RL_FORMAT_YV12) != (c == 1) ? 2 : 1, crow, k);
        }
    }
};

int Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void ExpectModel(const SRLPictureInfo& srcInfo, const SRLPictureInfo& dstInfo, const std::string& what)
{
    const View s{srcInfo}, d{dstInfo};
    const Kind sk = KindOf(s.f()), dk = KindOf(d.f());
    const int w = srcInfo.iWidth, h = srcInfo.iHeight;
    int failures = 0;
    auto check = [&](int got, int want, int x, int y, const char* ch) {
        if (got != want && failures++ < 5)
            ADD_FAILURE() << what << " " << ch << " at (" << x << ", " << y << "): got " << got << ", want " << want;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (IsRgb(sk) && IsRgb(dk)) {
                int pos[4];
                Channels(d.f(), pos);
                for (int c = 0; c < (pos[3] >= 0 ? 4 : 3); ++c) check(d.Rgb(x, y, c), s.Rgb(x, y, c), x, y, "rgba");
            } else if (!IsRgb(sk) && IsRgb(dk)) {
                const int l = 74 * (s.Luma(x, y) - 16);
                const int u = s.Chroma(x, y, 0) - 128, v = s.Chroma(x, y, 1) - 128;
                check(d.Rgb(x, y, 0), Clamp((l + 102 * v) >> 6), x, y, "R");
                check(d.Rgb(x, y, 1), Clamp((l - 25 * u - 52 * v) >> 6), x, y, "G");
                check(d.Rgb(x, y, 2), Clamp((l + 129 * u) >> 6), x, y, "B");
                check(d.Rgb(x, y, 3), 255, x, y, "A");
            } else if (IsRgb(sk)) {
                const int r = s.Rgb(x, y, 0), g = s.Rgb(x, y, 1), b = s.Rgb(x, y, 2);
                check(d.Luma(x, y), ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16, x, y, "Y");
                const int x0 = x & ~1, y0 = dk == k422 ? y : (y & ~1), rows = dk == k422 ? 1 : 2;
                int rs = 0, gs = 0, bs = 0;
                for (int yy = y0; yy < y0 + rows; ++yy) {
                    for (int xx = x0; xx < x0 + 2; ++xx) {
                        rs += s.Rgb(xx, yy, 0);
                        gs += s.Rgb(xx, yy, 1);
                        bs += s.Rgb(xx, yy, 2);
                    }
                }
                const int n = dk == k422 ? 9 : 10, round = 1 << (n - 1);
                check(d.Chroma(x, y, 0), ((112 * bs - 38 * rs - 74 * gs + round) >> n) + 128, x, y, "U");
                check(d.Chroma(x, y, 1), ((112 * rs - 94 * gs - 18 * bs + round) >> n) + 128, x, y, "V");
            } else {
                check(d.Luma(x, y), s.Luma(x, y), x, y, "Y");
                for (int c = 0; c < 2; ++c) {
                    int want = s.Chroma(x, y, c);
                    if (sk == k422 && dk != k422)
                        want = (s.Chroma(x, y & ~1, c) + s.Chroma(x, (y & ~1) + 1, c) + 1) >> 1;
                    check(d.Chroma(x, y, c), want, x, y, c ? "V" : "U");
                }
            }
        }
}

// ---- Every format pair ----------------------------------------------------------

const uint32_t kSources[] = {1, 2, 5, 6, 7, 8, 9, 10, 20, 21, 22, 31, 23, 24, 26, 29, 30, 3};
const uint32_t kDestinations[] = {1, 2, 5, 6, 7, 8, 9, 10, 20, 21, 22, 31, 23, 24, 26, 29, 30, 11, 25};

bool Supported(uint32_t s, uint32_t d)
{
    const Kind sk = KindOf(s), dk = KindOf(d);
    const bool knownDst = dk != kI4202 && dk != kScreen;
    if (sk == kI4202 || sk == kScreen) return dk == k420;
    if (dk == kScreen) return sk == k420;
    return knownDst;
}

// (source, destination, destination bottom-up, through IRavvel rather than the reference table)
class CscPairTest : public testing::TestWithParam<std::tuple<uint32_t, uint32_t, bool, bool>> {};

TEST_P(CscPairTest, ConvertsAsModelledOrRefusesUntouched)
{
    const uint32_t s = std::get<0>(GetParam());
    const uint32_t d = std::get<1>(GetParam()) | (std::get<2>(GetParam()) ? 0x80000000u : 0u);
    rltest::KernelCase c;
    c.stridePad = 5;
    c.misalign = 3;
    rltest::Rng rng(s * 97 + d);
    // Odd sizes: converted as 70 x 14; wide enough for every vector width.
    CscPicture src(s, 71, 15, c, rng), dst(d, 71, 15, c, rng);
    const std::vector<uint8_t> before = dst.Bytes();

    int32_t rc;
    if (std::get<3>(GetParam())) {
        IRavvel* rl = nullptr;
        ASSERT_EQ(RL_OK, CreateRavvel(&rl));
        ASSERT_EQ(RL_OK, rl->Init(RL_METHOD_COLOR_SPACE_CONVERT, nullptr, false));
        rc = rl->Process(RL_METHOD_COLOR_SPACE_CONVERT, &src.info, &dst.info, nullptr);
        DestroyRavvel(rl);
    } else {
        CColorSpaceConvertor conv(0);
        rc = conv.Process(&src.info, &dst.info, nullptr);
    }
    EXPECT_EQ(70, src.info.iWidth);
    EXPECT_EQ(14, dst.info.iHeight);
    if (!Supported(s, d)) {
        EXPECT_EQ(RL_ERR_UNSUPPORTED, rc);
        EXPECT_TRUE(before == dst.Bytes()) << "refused conversion wrote to the destination";
        return;
    }
    ASSERT_EQ(RL_OK, rc);
    if (KindOf(d) == kScreen) return;  // its own tests below
    ExpectModel(src.info, dst.info, std::to_string(s) + " -> " + std::to_string(d));
}

INSTANTIATE_TEST_SUITE_P(AllPairs, CscPairTest,
                         testing::Combine(testing::ValuesIn(kSources), testing::ValuesIn(kDestinations),
                                          testing::Bool(), testing::Bool()));

// ---- Every tier against the model ----------------------------------------------
// The vector paths held to the model itself rather than only to the reference,
// on whole vectors plus a scalar tail, with the colours where 16-bit
// intermediates overflow or clamp written over the first row pair.
class CscTierTest : public testing::TestWithParam<std::tuple<int, uint32_t, uint32_t>> {};

TEST_P(CscTierTest, VectorPathsMatchTheModel)
{
    const int tier = std::get<0>(GetParam());
    if (tier != RL_TIER_C && !(VeskCPUFeatureDetect(nullptr) & TierFlag(tier))) GTEST_SKIP() << "tier not available";
    const uint32_t s = std::get<1>(GetParam()), d = std::get<2>(GetParam());
    rltest::KernelCase c;
    c.misalign = 1;
    c.stridePad = 3;
    rltest::Rng rng(s * 31 + d);
    CscPicture src(s, 134, 6, c, rng), dst(d, 134, 6, c, rng);
    const View v{src.info};
    static const uint8_t kRgb[][3] = {{255, 0, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0}, {0, 255, 0}, {255, 0, 255}};
    static const uint8_t kYuv[][3] = {{255, 255, 128}, {0, 0, 255}, {235, 128, 128}, {16, 255, 0}, {255, 255, 255}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 134; ++x) {
            const int k = (x / 2 + y) % 5;
            if (IsRgb(KindOf(s))) {
                for (int ch = 0; ch < 3; ++ch) v.Rgb(x, y, ch) = kRgb[x / 2 % 6][ch];
            } else {
                v.Luma(x, y) = kYuv[k][0];
                v.Chroma(x, y, 0) = kYuv[x / 2 % 5][1];
                v.Chroma(x, y, 1) = kYuv[x / 2 % 5][2];
            }
        }
    CColorSpaceConvertor conv(TierFlagMask(tier));
    ASSERT_EQ(RL_OK, conv.Process(&src.info, &dst.info, nullptr));
    ExpectModel(src.info, dst.info, std::string(TierName(tier)) + " " + std::to_string(s) + " -> " + std::to_string(d));
}

INSTANTIATE_TEST_SUITE_P(
    VectorFormats, CscTierTest,
    testing::Combine(testing::Range(static_cast<int>(RL_TIER_C), static_cast<int>(RL_TIER_COUNT)),
                     testing::Values(RL_FORMAT_I420, RL_FORMAT_NV21, RL_FORMAT_UYVY, RL_FORMAT_RGB24, RL_FORMAT_ARGB,
                                     RL_FORMAT_BGR_PLANAR),
                     testing::Values(RL_FORMAT_BGR24, RL_FORMAT_RGBA, RL_FORMAT_ABGR, RL_FORMAT_RGB_PLANAR,
                                     RL_FORMAT_YV12, RL_FORMAT_NV12, RL_FORMAT_YVYU)));

// ---- Documented values ---------------------------------------------------------

struct Yuv2Rgb {
    uint8_t y, u, v, r, g, b;
};
class CscKnownYuv : public testing::TestWithParam<Yuv2Rgb> {};

TEST_P(CscKnownYuv, GivesDocumentedRgb)
{
    const Yuv2Rgb k = GetParam();
    uint8_t y[4] = {k.y, k.y, k.y, k.y}, u = k.u, v = k.v, rgb[12];
    i420_to_rgb_c(rgb, 6, y, &u, &v, 2, 1, 2, 2, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(k.r, rgb[3 * i]);
        EXPECT_EQ(k.g, rgb[3 * i + 1]);
        EXPECT_EQ(k.b, rgb[3 * i + 2]);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, CscKnownYuv,
                         testing::Values(Yuv2Rgb{16, 128, 128, 0, 0, 0}, Yuv2Rgb{235, 128, 128, 253, 253, 253},
                                         Yuv2Rgb{255, 128, 128, 255, 255, 255}, Yuv2Rgb{0, 128, 128, 0, 0, 0},
                                         Yuv2Rgb{255, 255, 128, 255, 226, 255}, Yuv2Rgb{0, 0, 0, 0, 135, 0}));

TEST(CscKnownValues, PureRedGivesY82U90V240)
{
    uint8_t rgb[12], y[4], u = 0, v = 0;
    for (int i = 0; i < 4; ++i) rgb[3 * i] = 255, rgb[3 * i + 1] = 0, rgb[3 * i + 2] = 0;
    rgb_to_i420_c(rgb, 6, y, &u, &v, 2, 1, 2, 2, 0);
    EXPECT_EQ(82, y[0]);
    EXPECT_EQ(82, y[3]);
    EXPECT_EQ(90, u);
    EXPECT_EQ(240, v);
}

// The bare-plane converters agree with the converter, flip included.
TEST(CscStandalone, MatchesTheConverterWithAndWithoutFlip)
{
    rltest::KernelCase c;
    for (int flip = 0; flip < 2; ++flip) {
        rltest::Rng rng(7 + flip);
        CscPicture yuv(RL_FORMAT_I420, 34, 6, c, rng), viaTable(RL_FORMAT_RGB24 | (flip ? 0x80000000u : 0), 34, 6, c, rng),
            bare(RL_FORMAT_RGB24, 34, 6, c, rng);
        CColorSpaceConvertor conv(0);
        ASSERT_EQ(RL_OK, conv.Process(&yuv.info, &viaTable.info, nullptr));
        i420_to_rgb_c(bare.info.pData[0], bare.info.iStride[0], yuv.info.pData[0], yuv.info.pData[1],
                      yuv.info.pData[2], yuv.info.iStride[0], yuv.info.iStride[1], 34, 6, flip);
        EXPECT_TRUE(viaTable.Bytes() == bare.Bytes());

        CscPicture back(RL_FORMAT_I420, 34, 6, c, rng), backBare(RL_FORMAT_I420, 34, 6, c, rng);
        ASSERT_EQ(RL_OK, conv.Process(&viaTable.info, &back.info, nullptr));
        rgb_to_i420_c(bare.info.pData[0], bare.info.iStride[0], backBare.info.pData[0], backBare.info.pData[1],
                      backBare.info.pData[2], backBare.info.iStride[0], backBare.info.iStride[1], 34, 6, flip);
        EXPECT_TRUE(back.Bytes() == backBare.Bytes());
    }
}

// ---- Bad input -----------------------------------------------------------------

TEST(CscBadInput, MissingPlanesAndPicturesAreRefusedBeforeWriting)
{
    rltest::KernelCase c;
    rltest::Rng rng(3);
    CColorSpaceConvertor conv(TierFlagMask(RL_TIER_AVX2));
    struct Case {
        uint32_t s, d;
        int nullSrcPlane, nullDstPlane;
    };
    const Case cases[] = {{RL_FORMAT_I420, RL_FORMAT_RGBA, 2, -1}, {RL_FORMAT_NV12, RL_FORMAT_I420, 1, -1},
                          {RL_FORMAT_RGB24, RL_FORMAT_I420, 0, -1}, {RL_FORMAT_I420_2, RL_FORMAT_I420, 2, -1},
                          {RL_FORMAT_RGBA, RL_FORMAT_NV21, -1, 1}, {RL_FORMAT_I420, RL_FORMAT_YV12, -1, 2}};
    for (const Case& k : cases) {
        CscPicture src(k.s, 32, 4, c, rng), dst(k.d, 32, 4, c, rng);
        if (k.nullSrcPlane >= 0) src.info.pData[k.nullSrcPlane] = nullptr;
        if (k.nullDstPlane >= 0) dst.info.pData[k.nullDstPlane] = nullptr;
        const std::vector<uint8_t> before = dst.Bytes();
        EXPECT_EQ(RL_ERR_INVALID_PARAM, conv.Process(&src.info, &dst.info, nullptr)) << k.s << " -> " << k.d;
        EXPECT_TRUE(before == dst.Bytes());
    }
    SRLPictureInfo p;
    std::memset(&p, 0, sizeof p);
    EXPECT_EQ(RL_ERR_INVALID_PARAM, conv.Process(nullptr, &p, nullptr));
    EXPECT_EQ(RL_ERR_INVALID_PARAM, conv.Process(&p, nullptr, nullptr));
}

TEST(CscOptions, NullPayloadRefusedOthersAccepted)
{
    CColorSpaceConvertor conv(0);
    int value = 1;
    EXPECT_EQ(RL_ERR_INVALID_PARAM, conv.SetOption(RL_OPTION_AVERAGE_TIME, nullptr));
    EXPECT_EQ(RL_OK, conv.SetOption(RL_OPTION_AVERAGE_TIME, &value));
    EXPECT_EQ(RL_OK, conv.GetOption(RL_OPTION_AVERAGE_TIME, &value));
    EXPECT_EQ(1, value);
    EXPECT_EQ(RL_OK, conv.Init(nullptr, false));
    EXPECT_EQ(RL_OK, conv.Uninit());
}

// ---- Screen content ------------------------------------------------------------

// 22-bit conversion of one pixel, as the screen converter's last step.
void ScreenRgb(int y, int u, int v, uint8_t out[3])
{
    auto cl = [](int a, int lo, int hi) { return a < lo ? lo : (a > hi ? hi : a); };
    const int64_t yy = static_cast<int64_t>(cl(y, 16, 235) - 16) * 4883779;
    const int64_t uu = cl(u, 16, 240) - 128, vv = cl(v, 16, 240) - 128;
    const int64_t ch[3] = {yy + vv * 6694222, yy - uu * 1643170 - vv * 3409833, yy + uu * 8460885};
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<uint8_t>(ch[i] > 1067450368 ? 255 : (ch[i] < 0 ? 0 : (ch[i] + 2097152) >> 22));
}

TEST(CscScreen, WritesWholeBlocksOnlyAndReplicatesFlatChroma)
{
    rltest::KernelCase c;
    rltest::Rng rng(11);
    CscPicture src(RL_FORMAT_I420, 20, 12, c, rng), dst(RL_FORMAT_RGBA_SCREEN, 20, 12, c, rng);
    // Flat luma: no variance, so chroma is replicated.
    for (int y = 0; y < 12; ++y) std::memset(src.info.pData[0] + y * src.info.iStride[0], 240, 20);
    const std::vector<uint8_t> before = dst.Bytes();
    CColorSpaceConvertor conv(0);
    ASSERT_EQ(RL_OK, conv.Process(&src.info, &dst.info, nullptr));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint8_t* o = dst.info.pData[0] + 4 * (y * 20 + x);
            if (y >= 8 || x >= 16) {
                EXPECT_EQ(0, std::memcmp(o, &before[4 * (y * 20 + x)], 4)) << x << "," << y;
                continue;
            }
            uint8_t want[3];
            ScreenRgb(240, src.info.pData[1][(y / 2) * src.info.iStride[1] + x / 2],
                      src.info.pData[2][(y / 2) * src.info.iStride[1] + x / 2], want);
            EXPECT_EQ(0, std::memcmp(o, want, 3)) << x << "," << y;
            EXPECT_EQ(255, o[3]);
        }
}

TEST(CscScreen, WhiteAboveNominalRangeAndLinearChromaRebuiltPerPixel)
{
    rltest::KernelCase c;
    rltest::Rng rng(12);
    CscPicture src(RL_FORMAT_I420, 8, 8, c, rng), dst(RL_FORMAT_RGBA_SCREEN, 8, 8, c, rng);
    // Text edge at an odd column: luma 60 left of column 3, 100 from it on;
    // chroma at its own resolution follows U = L / 2 + 60, V = 200 - L / 2.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) src.info.pData[0][y * src.info.iStride[0] + x] = x < 3 ? 60 : 100;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const int l = j == 0 ? 60 : (j == 1 ? 80 : 100);
            src.info.pData[1][i * src.info.iStride[1] + j] = static_cast<uint8_t>(l / 2 + 60);
            src.info.pData[2][i * src.info.iStride[1] + j] = static_cast<uint8_t>(200 - l / 2);
        }
    CColorSpaceConvertor conv(0);
    ASSERT_EQ(RL_OK, conv.Process(&src.info, &dst.info, nullptr));
    // Column 2 (luma 60) shares its chroma sample with column 3 (luma 100):
    // the fit gives each its own chroma instead of their average.
    for (int x : {2, 3}) {
        const int l = x < 3 ? 60 : 100;
        uint8_t want[3];
        ScreenRgb(l, l / 2 + 60, 200 - l / 2, want);
        const uint8_t* o = dst.info.pData[0] + 4 * (5 * 8 + x);
        for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(want[ch], o[ch], 1) << "column " << x << " channel " << ch;
    }

    for (int y = 0; y < 8; ++y) std::memset(src.info.pData[0] + y * src.info.iStride[0], 240, 8);
    for (int y = 0; y < 4; ++y) {
        std::memset(src.info.pData[1] + y * src.info.iStride[1], 128, 4);
        std::memset(src.info.pData[2] + y * src.info.iStride[1], 128, 4);
    }
    ASSERT_EQ(RL_OK, conv.Process(&src.info, &dst.info, nullptr));
    for (int i = 0; i < 64 * 4; ++i) EXPECT_EQ(255, dst.info.pData[0][i]);
}

}  // namespace
