#include <gtest/gtest.h>

#include <vector>

#include "csc/csc_kernels.h"
#include "effects/look_test_util.h"
#include "effects/video_filter.h"
#include "support/log_capture.h"

namespace {

using namespace Ravvel;
using look_test::I420;
using Bytes = std::vector<uint8_t>;

int32_t RunLook(CVideoFilter& f, I420& pic, int32_t mode)
{
    SRLVideoFilterConfig c = {pic.Info().iWidth, pic.Info().iHeight, RL_FORMAT_I420, mode};
    EXPECT_EQ(f.Init(&c, false), RL_OK);
    SRLPictureInfo info = pic.Info();
    return f.Process(&info, nullptr, nullptr);
}

// The looks through RGB as one pass over the whole picture: the standalone
// converters into a buffer of the picture's size, the look on every pixel,
// and back. The method must give the same bytes whatever its tier and
// however it walks the picture.
Bytes ReferenceLook(const Bytes& packed, int w, int h, int mode)
{
    Bytes pic = packed;
    uint8_t* y = pic.data();
    uint8_t* u = y + static_cast<size_t>(w) * h;
    uint8_t* v = u + static_cast<size_t>(w / 2) * (h / 2);
    Bytes rgb(static_cast<size_t>(w) * h * 3), out(rgb.size());
    i420_to_rgb_c(rgb.data(), 3 * w, y, u, v, w, w / 2, w, h, 0);
    if (mode == RL_VIDEO_FILTER_SEPIA) {
        SepiaRgbRow_c(rgb.data(), out.data(), w * h);
    } else {
        out = rgb;
        if (mode == RL_VIDEO_FILTER_CINNAMON) CinnamonRgbRow_c(out.data(), w * h);
        if (mode == RL_VIDEO_FILTER_SEAFOAM) SeafoamRgbRow_c(out.data(), w * h);
    }
    rgb_to_i420_c(out.data(), 3 * w, y, u, v, w, w / 2, w, h, 0);
    return pic;
}

// ---- Every tier, every look: the whole-picture reference, row gaps kept ----

struct TierLook {
    int tier;
    int mode;
};

class VideoFilterTierTest : public testing::TestWithParam<TierLook> {};

TEST_P(VideoFilterTierTest, MatchesReferenceAndLeavesRowGapsAlone)
{
    const TierLook p = GetParam();
    if (!look_test::TierAvailable(p.tier)) GTEST_SKIP() << "no such tier here";
    CVideoFilter filter(TierFlagMask(p.tier));
    // Widths around the vector sizes, odd sizes (the last row and column are
    // outside every 2x2 block), and a picture too small for any vector.
    const int sizes[][2] = {{64, 16}, {130, 6}, {77, 9}, {2, 2}, {1, 5}, {33, 1}, {190, 4}};
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        for (int pad : {0, 13}) {
            I420 pic(w, h, pad), packed(w, h);
            pic.Fill(static_cast<uint32_t>(w * 31 + h));
            packed.Fill(static_cast<uint32_t>(w * 31 + h));
            const Bytes before = pic.Samples();
            ASSERT_EQ(RunLook(filter, pic, p.mode), RL_OK);
            EXPECT_TRUE(pic.GapsIntact()) << w << "x" << h;
            Bytes expected;
            if (p.mode >= RL_VIDEO_FILTER_SEPIA) {
                expected = ReferenceLook(before, w, h, p.mode);
            } else {
                CVideoFilter reference(0);
                ASSERT_EQ(RunLook(reference, packed, p.mode), RL_OK);
                expected = packed.Samples();
            }
            ASSERT_EQ(pic.Samples(), expected) << w << "x" << h << " pad " << pad;
        }
    }
}

std::vector<TierLook> AllTierLooks()
{
    std::vector<TierLook> v;
    for (int t = 0; t < RL_TIER_COUNT; ++t)
        for (int m = 1; m <= 5; ++m) v.push_back({t, m});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Looks, VideoFilterTierTest, testing::ValuesIn(AllTierLooks()),
                         [](const testing::TestParamInfo<TierLook>& i) {
                             return std::string(TierName(i.param.tier)) + "_mode" + std::to_string(i.param.mode);
                         });

// ---- Known values -------------------------------------------------------------

TEST(VideoFilterLooks, HueAngleRotatesChromaPairs)
{
    for (int tier = 0; tier < RL_TIER_COUNT; ++tier) {
        if (!look_test::TierAvailable(tier)) continue;
        CVideoFilter filter(TierFlagMask(tier));
        // Four chroma pairs; with a wide row the vector body sees them too.
        I420 pic(80, 2);
        pic.Fill(90, 128, 128);
        const uint8_t in[][2] = {{128, 128}, {255, 128}, {128, 255}, {0, 0}};
        const uint8_t out[][2] = {{128, 128}, {231, 54}, {201, 231}, {0, 98}};
        for (int k = 0; k < 4; ++k) pic.At(1, 30 + k, 0) = in[k][0], pic.At(2, 30 + k, 0) = in[k][1];
        ASSERT_EQ(RunLook(filter, pic, RL_VIDEO_FILTER_HUE_ANGLE), RL_OK);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(pic.At(1, 30 + k, 0), out[k][0]) << TierName(tier) << " pair " << k;
            EXPECT_EQ(pic.At(2, 30 + k, 0), out[k][1]) << TierName(tier) << " pair " << k;
        }
        EXPECT_EQ(pic.At(0, 5, 1), 90);
    }
}

TEST(VideoFilterLooks, RgbLookValues)
{
    uint8_t px[6] = {255, 255, 255, 0, 0, 0}, out[6];
    SepiaRgbRow_c(px, out, 2);
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{255, 255, 240, 0, 0, 0}));

    const uint8_t(*c)[256] = CinnamonCurves();
    EXPECT_EQ(c[0][127], 125);
    EXPECT_EQ(c[0][128], 128);
    EXPECT_EQ(c[0][255], 255);  // 256 before the clamp
    EXPECT_EQ(c[1][127], 126);
    EXPECT_EQ(c[1][128], 128);
    EXPECT_EQ(c[2][0], 37);
    EXPECT_EQ(c[2][255], 164);

    const uint8_t(*s)[256] = SeafoamCurves();
    EXPECT_EQ(s[0][50], 81);
    EXPECT_EQ(s[0][51], 82);
    EXPECT_EQ(s[0][185], 223);
    EXPECT_EQ(s[0][186], 225);
    EXPECT_EQ(s[1][60], 57);
    EXPECT_EQ(s[1][61], 58);
    EXPECT_EQ(s[1][254], 253);
    EXPECT_EQ(s[1][255], 254);
    EXPECT_EQ(s[2][64], 64);
    EXPECT_EQ(s[2][65], 65);
    EXPECT_EQ(s[2][190], 211);
    EXPECT_EQ(s[2][191], 212);
}

TEST(VideoFilterLooks, BlackAndWhiteAndUnknownModes)
{
    CVideoFilter filter(0);
    I420 grey(16, 8);
    grey.Fill(77, 128, 128);
    const Bytes greyBefore = grey.Samples();
    ASSERT_EQ(RunLook(filter, grey, RL_VIDEO_FILTER_BLACK_AND_WHITE), RL_OK);
    EXPECT_EQ(grey.Samples(), greyBefore);

    I420 a(18, 6, 3), b(18, 6, 3);
    a.Fill(5);
    b.Fill(5);
    const Bytes before = a.Samples();
    ASSERT_EQ(RunLook(filter, a, RL_VIDEO_FILTER_BLACK_AND_WHITE), RL_OK);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 18; ++x) ASSERT_EQ(a.At(0, x, y), before[y * 18 + x]);
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 9; ++x) ASSERT_EQ(a.At(p, x, y), 128);
    // Any other non-zero mode is black and white, negative ones too.
    for (int mode : {7, -3, 1000}) {
        b.Fill(5);
        ASSERT_EQ(RunLook(filter, b, mode), RL_OK);
        EXPECT_EQ(b.Samples(), a.Samples()) << mode;
    }
}

// ---- Interface: result codes, options, lifecycle ---------------------------------

TEST(VideoFilterMethod, ResultCodesOptionsAndSizeChanges)
{
    IRavvel* rl = nullptr;
    ASSERT_EQ(CreateRavvel(&rl), RL_OK);
    rltest::LogCapture log;
    log.Attach(rl);
    I420 pic(16, 8);
    pic.Fill(100, 90, 200);
    SRLPictureInfo info = pic.Info();
    SRLVideoFilterConfig config = {16, 8, RL_FORMAT_YV12, RL_VIDEO_FILTER_SEPIA};
    EXPECT_EQ(rl->Init(RL_METHOD_VIDEO_FILTER, &config, false), RL_ERR_UNSUPPORTED);
    EXPECT_TRUE(log.Contains("Create VideoFilter("));
    EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, &info, nullptr, nullptr), RL_ERR_NOT_INITIALIZED);

    // Without a record the mode stays 0, which Process refuses.
    ASSERT_EQ(rl->Init(RL_METHOD_VIDEO_FILTER, nullptr, false), RL_OK);
    EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, &info, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    int32_t mode = RL_VIDEO_FILTER_HUE_ANGLE;
    EXPECT_EQ(rl->SetOption(RL_METHOD_VIDEO_FILTER, RL_OPTION_VIDEO_FILTER_MODE, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->SetOption(RL_METHOD_VIDEO_FILTER, RL_OPTION_VIDEO_FILTER_MODE, &mode), RL_OK);
    EXPECT_EQ(rl->SetOption(RL_METHOD_VIDEO_FILTER, RL_OPTION_MIA_CONTRAST, &mode), RL_OK);
    int32_t probe = 1234;
    EXPECT_EQ(rl->GetOption(RL_METHOD_VIDEO_FILTER, RL_OPTION_VIDEO_FILTER_MODE, &probe), RL_OK);
    EXPECT_EQ(probe, 1234);
    EXPECT_EQ(rl->GetOption(RL_METHOD_VIDEO_FILTER, RL_OPTION_VIDEO_FILTER_MODE, nullptr), RL_ERR_INVALID_PARAM);

    const Bytes untouched = pic.Samples();
    EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, nullptr, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    for (uint32_t f : {24u, 26u, 2u, 23u | static_cast<uint32_t>(RL_FORMAT_FLAG_BOTTOM_UP)}) {
        SRLPictureInfo bad = info;
        bad.eFormat = static_cast<RL_EVideoFormat>(f);
        EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, &bad, nullptr, nullptr), RL_ERR_UNSUPPORTED) << f;
    }
    for (int p = 0; p < 3; ++p) {
        SRLPictureInfo bad = info;
        bad.pData[p] = nullptr;
        EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, &bad, nullptr, nullptr), RL_ERR_INVALID_PARAM) << p;
    }
    // Pitches shorter than their rows (negative ones included) and empty
    // pictures: the rows would overlap or leave the planes.
    for (int k = 0; k < 5; ++k) {
        SRLPictureInfo bad = info;
        if (k == 0) bad.iStride[0] = 15;
        if (k == 1) bad.iStride[2] = 7;
        if (k == 2) bad.iStride[1] = -8;
        if (k == 3) bad.iWidth = 0;
        if (k == 4) bad.iHeight = -8;
        EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, &bad, nullptr, nullptr), RL_ERR_INVALID_PARAM) << k;
    }
    EXPECT_EQ(pic.Samples(), untouched);

    // A different size re-initialises and keeps the mode; so does going back.
    info = pic.Info();
    EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, &info, nullptr, nullptr), RL_OK);
    EXPECT_NE(pic.Samples(), untouched);
    mode = RL_VIDEO_FILTER_SEAFOAM;
    EXPECT_EQ(rl->SetOption(RL_METHOD_VIDEO_FILTER, RL_OPTION_VIDEO_FILTER_MODE, &mode), RL_OK);
    I420 wide(40, 6), wideRef(40, 6);
    wide.Fill(3);
    wideRef.Fill(3);
    SRLPictureInfo wideInfo = wide.Info();
    EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, &wideInfo, nullptr, nullptr), RL_OK);
    EXPECT_EQ(wide.Samples(), ReferenceLook(wideRef.Samples(), 40, 6, RL_VIDEO_FILTER_SEAFOAM));
    EXPECT_EQ(rl->Process(RL_METHOD_VIDEO_FILTER, &info, nullptr, nullptr), RL_OK);

    EXPECT_EQ(rl->Uninit(RL_METHOD_VIDEO_FILTER), RL_OK);
    DestroyRavvel(rl);
}

TEST(VideoFilterMethod, FrameCounterFollowsInitAndResize)
{
    CVideoFilter filter(0);
    I420 a(8, 4), b(10, 4);
    a.Fill(1);
    b.Fill(2);
    ASSERT_EQ(RunLook(filter, a, RL_VIDEO_FILTER_CINNAMON), RL_OK);
    SRLPictureInfo ia = a.Info(), ib = b.Info();
    ASSERT_EQ(filter.Process(&ia, nullptr, nullptr), RL_OK);
    EXPECT_EQ(filter.GetFrameCount(), 2u);
    ASSERT_EQ(filter.Process(&ib, nullptr, nullptr), RL_OK);
    EXPECT_EQ(filter.GetFrameCount(), 1u);
    EXPECT_EQ(filter.GetMode(), RL_VIDEO_FILTER_CINNAMON);
    ASSERT_EQ(filter.Uninit(), RL_OK);
    EXPECT_EQ(filter.GetFrameCount(), 0u);
    EXPECT_FALSE(filter.IsInited());
}

}  // namespace
