#include <gtest/gtest.h>

#include <vector>

#include "effects/look_test_util.h"
#include "effects/mia.h"

namespace {

using namespace Ravvel;
using look_test::I420;
using Bytes = std::vector<uint8_t>;

void Set(CMia& mia, int32_t brightness, int32_t contrast, int32_t saturation)
{
    ASSERT_EQ(mia.SetOption(RL_OPTION_MIA_BRIGHTNESS, &brightness), RL_OK);
    ASSERT_EQ(mia.SetOption(RL_OPTION_MIA_CONTRAST, &contrast), RL_OK);
    ASSERT_EQ(mia.SetOption(RL_OPTION_MIA_SATURATION, &saturation), RL_OK);
}

int32_t Adjust(CMia& mia, I420& pic, const uint8_t* mask = nullptr, int mw = 0, int mh = 0)
{
    SRLPictureInfo info = pic.Info();
    info.pMask = const_cast<uint8_t*>(mask);
    info.iMaskWidth = mw;
    info.iMaskHeight = mh;
    return mia.Process(&info, nullptr, nullptr);
}

uint8_t Blend(int adjusted, int s, int m) { return static_cast<uint8_t>((adjusted * m + (256 - m) * s) >> 8); }

TEST(MiaTables, SettingsGiveTheDocumentedCurves)
{
    CMia mia(0);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(mia.GetLumaTable()[i], i);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(mia.GetChromaTable()[i], i);
    Set(mia, 60, 50, 50);
    EXPECT_EQ(mia.GetLumaTable()[100], 110);
    EXPECT_EQ(mia.GetLumaTable()[250], 255);
    Set(mia, 50, 100, 50);
    EXPECT_EQ(mia.GetLumaTable()[0], 0);
    EXPECT_EQ(mia.GetLumaTable()[200], 236);
    EXPECT_EQ(mia.GetChromaTable()[200], 236);
    // Truncation toward zero on both sides of 128: (-1 * 150) / 100 = -1, not -2.
    EXPECT_EQ(mia.GetLumaTable()[127], 127);
    EXPECT_EQ(mia.GetLumaTable()[129], 129);
    for (int contrast : {-400, 0, 100, 900}) {
        Set(mia, 50, contrast, 0);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(mia.GetChromaTable()[i], 128) << contrast;
    }
    // No range check: extreme settings still give clamped tables.
    Set(mia, INT32_MIN, 50, 50);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(mia.GetLumaTable()[i], 0);
    Set(mia, 50, INT32_MAX, INT32_MAX);
    EXPECT_EQ(mia.GetLumaTable()[127], 0);
    EXPECT_EQ(mia.GetLumaTable()[128], 128);
    EXPECT_EQ(mia.GetChromaTable()[0], 0);
    EXPECT_EQ(mia.GetChromaTable()[128], 128);
    EXPECT_EQ(mia.GetChromaTable()[255], 255);
}

TEST(MiaMask, ScalesByNearestNeighbourRuns)
{
    const uint8_t two[4] = {10, 20, 30, 40};
    uint8_t out[16];
    MiaScaleMask_c(two, 2, 2, out, 4, 4);
    EXPECT_EQ(Bytes(out, out + 16), (Bytes{10, 20, 20, 20, 30, 40, 40, 40, 30, 40, 40, 40, 30, 40, 40, 40}));

    // Runs of equal bytes fill together; a 3-wide row onto 8 columns.
    const uint8_t row[3] = {1, 1, 9};
    uint8_t wide[8];
    MiaScaleMask_c(row, 3, 1, wide, 8, 1);
    // scale = 8 * 512 / 3 = 1365; the run ends at ((2 * 2 - 1) * 1365 + 512) >> 10 = 4.
    EXPECT_EQ(Bytes(wide, wide + 8), (Bytes{1, 1, 1, 1, 9, 9, 9, 9}));

    // Shrinking: 8 columns onto 3 and 5 rows onto 2.
    uint8_t big[40], small[6];
    for (int i = 0; i < 40; ++i) big[i] = static_cast<uint8_t>(i);
    MiaScaleMask_c(big, 8, 5, small, 3, 2);
    // Rows (1 + y * 5) / 2 = 0, 3; scale = 192: the runs of mask columns 0..6
    // end at output columns 0, 1, 1, 1, 2, 2, 2, so columns 1, 4 and 7 show.
    EXPECT_EQ(Bytes(small, small + 6), (Bytes{1, 4, 7, 25, 28, 31}));
}

// Every tier gives what the formula gives, with and without a mask of any
// size, on pictures with row gaps; the gaps stay as they were.
class MiaTierTest : public testing::TestWithParam<int> {};

TEST_P(MiaTierTest, AdjustsEverySampleAsDocumented)
{
    if (!look_test::TierAvailable(GetParam())) GTEST_SKIP() << "no such tier here";
    CMia mia(TierFlagMask(GetParam()));
    const int settings[][3] = {{60, 50, 50}, {50, 100, 50}, {30, 20, 90}, {50, 50, 0}, {200, -300, 7}};
    const int sizes[][2] = {{70, 12}, {33, 7}, {1, 1}, {130, 3}};
    uint32_t seed = 1;
    for (const auto& st : settings) {
        Set(mia, st[0], st[1], st[2]);
        const int32_t* lt = mia.GetLumaTable();
        const int32_t* ct = mia.GetChromaTable();
        for (const auto& sz : sizes) {
            const int w = sz[0], h = sz[1];
            for (int maskKind = 0; maskKind < 3; ++maskKind) {
                // 0: no mask; 1: the picture's size; 2: another size, scaled.
                const int mw = maskKind == 1 ? w : 5, mh = maskKind == 1 ? h : 3;
                Bytes mask(static_cast<size_t>(mw) * mh);
                for (uint8_t& m : mask) {
                    const uint32_t r = look_test::NextRandom(&seed) >> 24;
                    m = static_cast<uint8_t>(r < 40 ? 0 : r > 215 ? 255 : r);
                }
                Bytes full(static_cast<size_t>(w) * h);
                if (maskKind == 2) MiaScaleMask_c(mask.data(), mw, mh, full.data(), w, h);
                if (maskKind == 1) full = mask;
                I420 pic(w, h, 9);
                pic.Fill(++seed);
                I420 before(w, h, 9);
                before.Fill(seed);
                ASSERT_EQ(Adjust(mia, pic, maskKind ? mask.data() : nullptr, mw, mh), RL_OK);
                EXPECT_TRUE(pic.GapsIntact());
                for (int p = 0; p < 3; ++p)
                    for (int y = 0; y < pic.Rows(p); ++y)
                        for (int x = 0; x < pic.Width(p); ++x) {
                            const int s = before.At(p, x, y);
                            const int adjusted = p ? ct[s] : lt[s];
                            const int m = !maskKind ? 256 : p ? full[2 * y * w + 2 * x] : full[y * w + x];
                            const int expected = m == 256 ? adjusted : Blend(adjusted, s, m);
                            ASSERT_EQ(pic.At(p, x, y), expected)
                                << "plane " << p << " (" << x << ", " << y << ") " << w << "x" << h << " mask "
                                << maskKind << " settings " << st[0] << "," << st[1] << "," << st[2];
                        }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tiers, MiaTierTest, testing::Range(0, static_cast<int>(RL_TIER_COUNT)),
                         [](const testing::TestParamInfo<int>& i) { return std::string(TierName(i.param)); });

TEST(MiaMethod, NeutralSettingsAndExtremeMasks)
{
    CMia mia(VeskCPUFeatureDetect(nullptr));
    I420 pic(20, 6);
    pic.Fill(7);
    const Bytes before = pic.Samples();
    Bytes mask(20 * 6, 255);
    ASSERT_EQ(Adjust(mia, pic), RL_OK);
    ASSERT_EQ(Adjust(mia, pic, mask.data(), 20, 6), RL_OK);
    EXPECT_EQ(pic.Samples(), before);

    // Brightness alone leaves chroma as it is; a zero mask leaves everything.
    Set(mia, 90, 50, 50);
    Bytes zeros(4, 0);
    ASSERT_EQ(Adjust(mia, pic, zeros.data(), 2, 2), RL_OK);
    EXPECT_EQ(pic.Samples(), before);
    ASSERT_EQ(Adjust(mia, pic, mask.data(), 20, 6), RL_OK);
    for (int x = 0; x < 20; ++x) {
        const int s = before[x], adjusted = s + 40 > 255 ? 255 : s + 40;
        EXPECT_EQ(pic.At(0, x, 0), (adjusted * 255 + s) >> 8) << x;
    }
    const Bytes after = pic.Samples();
    EXPECT_EQ(Bytes(after.begin() + 120, after.end()), Bytes(before.begin() + 120, before.end()));

    // No mask when a mask dimension is below 1: the whole adjustment.
    I420 again(20, 6);
    again.Fill(7);
    ASSERT_EQ(Adjust(mia, again, mask.data(), 0, 6), RL_OK);
    for (int x = 0; x < 20; ++x) EXPECT_EQ(again.At(0, x, 0), before[x] + 40 > 255 ? 255 : before[x] + 40);
}

TEST(MiaMethod, ResultCodesOptionsAndLifecycle)
{
    IRavvel* rl = nullptr;
    ASSERT_EQ(CreateRavvel(&rl), RL_OK);
    I420 pic(8, 4);
    pic.Fill(3);
    SRLPictureInfo info = pic.Info();
    // Works before Init; Init with no record changes nothing.
    ASSERT_EQ(rl->Init(RL_METHOD_MIA, nullptr, false), RL_OK);
    int32_t v = 0;
    EXPECT_EQ(rl->GetOption(RL_METHOD_MIA, RL_OPTION_MIA_BRIGHTNESS, &v), RL_OK);
    EXPECT_EQ(v, 50);

    SRLMiaConfig config = {8, 4, 61, 99, 40, RL_FORMAT_NV12};
    EXPECT_EQ(rl->Init(RL_METHOD_MIA, &config, false), RL_ERR_UNSUPPORTED);
    config.iFormat = RL_FORMAT_I420;
    EXPECT_EQ(rl->Init(RL_METHOD_MIA, &config, false), RL_OK);
    const RL_EOption options[] = {RL_OPTION_MIA_BRIGHTNESS, RL_OPTION_MIA_CONTRAST, RL_OPTION_MIA_SATURATION};
    const int32_t afterInit[] = {61, 50, 40};  // the record's fourth field is not read
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(rl->GetOption(RL_METHOD_MIA, options[k], &v), RL_OK);
        EXPECT_EQ(v, afterInit[k]) << k;
        v = 70 + k;
        EXPECT_EQ(rl->SetOption(RL_METHOD_MIA, options[k], &v), RL_OK);
        v = 0;
        EXPECT_EQ(rl->GetOption(RL_METHOD_MIA, options[k], &v), RL_OK);
        EXPECT_EQ(v, 70 + k);
        EXPECT_EQ(rl->SetOption(RL_METHOD_MIA, options[k], nullptr), RL_ERR_INVALID_PARAM);
        EXPECT_EQ(rl->GetOption(RL_METHOD_MIA, options[k], nullptr), RL_ERR_INVALID_PARAM);
    }
    v = 12345;
    EXPECT_EQ(rl->SetOption(RL_METHOD_MIA, RL_OPTION_VIDEO_FILTER_MODE, &v), RL_OK);
    EXPECT_EQ(rl->GetOption(RL_METHOD_MIA, RL_OPTION_VIDEO_FILTER_MODE, &v), RL_OK);
    EXPECT_EQ(v, 12345);

    const Bytes before = pic.Samples();
    EXPECT_EQ(rl->Process(RL_METHOD_MIA, nullptr, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    for (int k = 0; k < 9; ++k) {
        SRLPictureInfo bad = info;
        if (k < 3) bad.pData[k] = nullptr;
        if (k == 3) bad.eFormat = RL_FORMAT_YV12;
        if (k == 4) bad.eFormat = static_cast<RL_EVideoFormat>(RL_FORMAT_I420 | RL_FORMAT_FLAG_BOTTOM_UP);
        if (k == 5) bad.iStride[0] = 7;
        if (k == 6) bad.iStride[2] = -4;
        if (k == 7) bad.iWidth = -8;
        if (k == 8) bad.iHeight = 0;
        EXPECT_EQ(rl->Process(RL_METHOD_MIA, &bad, nullptr, nullptr), RL_ERR_INVALID_PARAM) << k;
    }
    EXPECT_EQ(pic.Samples(), before);

    double average = -1;
    ASSERT_EQ(rl->Process(RL_METHOD_MIA, &info, nullptr, nullptr), RL_OK);
    EXPECT_NE(pic.Samples(), before);
    EXPECT_EQ(rl->GetOption(RL_METHOD_MIA, RL_OPTION_AVERAGE_TIME, &average), RL_OK);
    EXPECT_GE(average, 0.0);

    EXPECT_EQ(rl->Uninit(RL_METHOD_MIA), RL_OK);
    DestroyRavvel(rl);
}

// The scaled mask lives in a buffer that a larger picture grows and Uninit
// frees; the object stays usable after Uninit.
TEST(MiaMethod, MaskBufferLifecycle)
{
    CMia mia(0);
    Set(mia, 80, 50, 50);
    const Bytes mask = {0, 255, 255, 0, 128, 64};
    I420 small(8, 4), big(64, 32), bigAgain(64, 32);
    small.Fill(1);
    big.Fill(2);
    bigAgain.Fill(2);
    EXPECT_EQ(Adjust(mia, small, mask.data(), 2, 3), RL_OK);
    EXPECT_EQ(Adjust(mia, big, mask.data(), 3, 2), RL_OK);
    EXPECT_EQ(mia.Uninit(), RL_OK);
    EXPECT_EQ(Adjust(mia, bigAgain, mask.data(), 3, 2), RL_OK);
    EXPECT_EQ(big.Samples(), bigAgain.Samples());
}

}  // namespace
