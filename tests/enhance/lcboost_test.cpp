#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "enhance/lcboost.h"
#include "support/log_capture.h"
#include "support/picture.h"

namespace {

using namespace Ravvel;
using rltest::Picture;

// ---- pictures ----

uint8_t* Row(SRLPictureInfo* p, int plane, int y) { return p->pData[plane] + static_cast<ptrdiff_t>(y) * p->iStride[plane]; }

// A textured scene with a skin-coloured patch in the middle third, so that
// both the luma and the skin statistics have something to say.
void FillScene(SRLPictureInfo* p, uint32_t seed, int lumaLo = 40, int lumaRange = 150)
{
    uint32_t s = seed * 2654435761u + 7;
    auto next = [&s] { return (s = s * 1664525u + 1013904223u) >> 24; };
    for (int y = 0; y < p->iHeight; ++y)
        for (int x = 0; x < p->iWidth; ++x)
            Row(p, 0, y)[x] = static_cast<uint8_t>(lumaLo + (x * 7 + y * 3 + static_cast<int>(next() % 23)) % lumaRange);
    for (int y = 0; y < p->iHeight / 2; ++y)
        for (int x = 0; x < p->iWidth / 2; ++x) {
            const bool skin = x > p->iWidth / 6 && x < p->iWidth / 3;
            Row(p, 1, y)[x] = static_cast<uint8_t>(skin ? 110 : 90 + next() % 80);
            Row(p, 2, y)[x] = static_cast<uint8_t>(skin ? 150 : 90 + next() % 80);
        }
}

void FillFlat(SRLPictureInfo* p, uint8_t luma)
{
    for (int y = 0; y < p->iHeight; ++y) std::memset(Row(p, 0, y), luma, static_cast<size_t>(p->iWidth));
    for (int c = 1; c < 3; ++c)
        for (int y = 0; y < p->iHeight / 2; ++y) std::memset(Row(p, c, y), 128, static_cast<size_t>(p->iWidth / 2));
}

// The bytes the method writes: width x height luma, (width/2) x (height/2) chroma.
std::vector<uint8_t> Written(SRLPictureInfo* p)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < p->iHeight; ++y) out.insert(out.end(), Row(p, 0, y), Row(p, 0, y) + p->iWidth);
    for (int c = 1; c < 3; ++c)
        for (int y = 0; y < p->iHeight / 2; ++y) out.insert(out.end(), Row(p, c, y), Row(p, c, y) + p->iWidth / 2);
    return out;
}

SLcboostConfig Config(int w, int h, int brightness = 3, int colour = 1)
{
    return SLcboostConfig{w, h, RL_FORMAT_I420, 1.15f, 1.1f, 1.1f, brightness, colour, 1};
}

thread_local int64_t g_fakeNow = 0;
int64_t FakeClock() { return g_fakeNow; }

// ---- curve mathematics with known values ----

TEST(LcboostCurves, SkinToneTest)
{
    EXPECT_TRUE(is_skin_tone_int(100, 110, 150));
    EXPECT_FALSE(is_skin_tone_int(100, 150, 110));  // wrong quadrant
    for (int u = 0; u < 256; u += 5)
        for (int v = 0; v < 256; v += 5) ASSERT_FALSE(is_skin_tone_int(39, u, v)) << u << "," << v;
    // Far from grey only the 32767 cap on s lets bright pixels pass:
    // (s >> 1) <= 78 (Y - 16) first holds at Y = 227.
    EXPECT_TRUE(is_skin_tone_int(227, 0, 255));
    EXPECT_FALSE(is_skin_tone_int(226, 0, 255));
}

TEST(LcboostCurves, LogCurvesAndBaseSearch)
{
    float curve[256];
    compute_fixed_log_map(curve, 1.0f);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(curve[i], static_cast<float>(i));
    for (int s : {0, 17, 128, 200, 255}) EXPECT_EQ(guess_beta(static_cast<float>(s), static_cast<float>(s)), 1.0f) << s;

    // Brightening: base above 1 and the curve sends start close to target.
    const float up = guess_beta(100.0f, 130.0f);
    EXPECT_GT(up, 1.0f);
    compute_fixed_log_map(curve, up);
    EXPECT_NEAR(curve[100], 130.0f, 1.0f);
    EXPECT_NEAR(curve[0], 0.0f, 1e-3f);
    EXPECT_NEAR(curve[255], 255.0f, 1e-3f);
    // Darkening: base below 1; inv_beta_map undoes the curve.
    const float down = guess_beta(160.0f, 140.0f);
    EXPECT_LT(down, 1.0f);
    compute_fixed_log_map(curve, down);
    EXPECT_NEAR(curve[160], 140.0f, 1.0f);
    for (int i : {24, 100, 227}) EXPECT_NEAR(inv_beta_map(static_cast<int>(std::lround(curve[i])), down), i, 1.0f);
}

TEST(LcboostCurves, EqualisationOfAFlatHistogram)
{
    SVideoStats flat;
    std::memset(&flat, 0, sizeof flat);
    for (int i = 16; i <= 235; ++i) flat.pdf[i] = 1.0f / 220.0f;
    float curve[256];
    histogram_remapping(&flat, 1.1f, curve);
    EXPECT_NEAR(curve[16], 17.0f, 0.01f);
    EXPECT_NEAR(curve[235], 235.0f, 1e-3f);
    EXPECT_EQ(curve[15], 15.0f);
    EXPECT_EQ(curve[236], 236.0f);
    for (int i = 17; i <= 235; ++i) ASSERT_GT(curve[i], curve[i - 1]);
}

TEST(LcboostCurves, RemapStatisticsOfTheIdentityKeepTheInput)
{
    std::vector<uint8_t> plane(64 * 16);
    for (size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<uint8_t>(30 + (i * 37) % 170);
    SVideoStats in, out;
    calculate_video_stats_c(plane.data(), 64, 64, 16, &in, nullptr, 0);
    EXPECT_EQ(in.count, 64 * 16);
    EXPECT_EQ(in.cdf[255], 1.0f);
    float identity[256];
    set_identity_map(identity);
    calculate_remap_stats(&in, &out, identity);
    EXPECT_NEAR(out.mean, in.mean, 1e-3f);
    EXPECT_NEAR(out.stddev, in.stddev, 1e-3f);
    EXPECT_EQ(out.median, in.median);
    EXPECT_EQ(out.min, in.min);
    EXPECT_EQ(out.max, in.max);
    // A curve that doubles every level doubles the mean and the spread.
    float twice[256];
    for (int i = 0; i < 256; ++i) twice[i] = std::fmin(255.0f, 2.0f * i);
    std::vector<uint8_t> low(plane.size());
    for (size_t i = 0; i < low.size(); ++i) low[i] = static_cast<uint8_t>(plane[i] / 2);
    calculate_video_stats_c(low.data(), 64, 64, 16, &in, nullptr, 0);
    calculate_remap_stats(&in, &out, twice);
    EXPECT_NEAR(out.mean, 2.0f * in.mean, 1e-3f);
    EXPECT_NEAR(out.stddev, 2.0f * in.stddev, 1e-3f);
}

TEST(LcboostCurves, FixedPointCurveApplication)
{
    uint8_t levels[256], out[256];
    for (int i = 0; i < 256; ++i) levels[i] = static_cast<uint8_t>(i);
    float curve[256];
    set_identity_map(curve);
    apply_remapping_c(levels, 256, out, 256, 256, 1, curve);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(out[i], i);
    // Slope 2 (shift 7, slopes saturate at 255/128): exact doubling past the
    // first knot, whose slope is fixed at 1; the top saturates.
    for (int i = 0; i < 256; ++i) curve[i] = 2.0f * i;
    apply_remapping_c(levels, 256, out, 256, 256, 1, curve);
    for (int i = 0; i < 8; ++i) ASSERT_EQ(out[i], i);
    for (int i = 8; i < 120; ++i) ASSERT_EQ(out[i], 2 * i) << i;
    for (int i = 128; i < 256; ++i) ASSERT_EQ(out[i], 255);
}

TEST(LcboostCurves, ChromaTableAndVibranceAtUnity)
{
    std::vector<float> slice(kVibranceCells);
    build_vibrance_slice(slice.data(), 0);
    for (float g : slice) ASSERT_EQ(g, 1.0f);
    build_vibrance_slice(slice.data(), 11);
    float maxGain = 0;
    for (float g : slice) {
        ASSERT_GE(g, 1.0f);
        maxGain = std::fmax(maxGain, g);
    }
    EXPECT_GT(maxGain, 1.05f);

    // The identity curve needs no luma compensation: every gain is 32.
    float identity[256];
    set_identity_map(identity);
    std::vector<uint8_t> table(kChromaGainTableAlloc), unity(kChromaGainTableAlloc);
    set_unity_chroma_table(unity.data());
    for (bool boost : {false, true}) {
        build_vibrance_slice(slice.data(), 0);
        get_3d_table(table.data(), identity, boost, true, slice.data());
        EXPECT_EQ(0, std::memcmp(table.data() + 16, unity.data() + 16, kChromaGainTableBytes - 16)) << boost;
    }
    // A brightening curve raises the chroma of the lifted levels; the 17th
    // entry of a row repeats the 16th.
    float bright[256];
    compute_fixed_log_map(bright, 3.0f);
    get_3d_table(table.data(), bright, false, true, slice.data());
    EXPECT_GT(table[ChromaGainRow(3, 9) + 4], 32);
    for (int u = 0; u < 16; ++u)
        for (int v = 0; v < 16; ++v) ASSERT_EQ(table[ChromaGainRow(u, v) + 16], table[ChromaGainRow(u, v) + 15]);

    // Unity gains reproduce the chroma input.
    const int w = 34, h = 6;
    std::vector<uint8_t> y(w * h), u(w / 2 * h / 2), v(w / 2 * h / 2), du(u.size()), dv(v.size());
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<uint8_t>(i * 11);
    for (size_t i = 0; i < u.size(); ++i) u[i] = static_cast<uint8_t>(i * 23), v[i] = static_cast<uint8_t>(255 - i * 7);
    scale_chroma_auto_c(u.data(), v.data(), w / 2, du.data(), dv.data(), w / 2, w, h, unity.data(), y.data(), w);
    EXPECT_EQ(du, u);
    EXPECT_EQ(dv, v);
}

TEST(LcboostCurves, MaskBlendWeights)
{
    // Luma 4x2 (chroma 2x1); mask 0 keeps the source, 255 keeps 255/256 of
    // the processed value.
    const uint8_t srcY[8] = {0, 255, 100, 200, 0, 255, 100, 200}, srcC[2] = {10, 250};
    uint8_t dstY[8] = {255, 0, 200, 100, 255, 0, 200, 100}, dstU[2] = {250, 10}, dstV[2] = {250, 10};
    const uint8_t mask[8] = {0, 0, 255, 255, 0, 0, 255, 255};
    blending_with_mask_c(srcY, srcC, srcC, dstY, dstU, dstV, mask, 4, 2, true, true, 4, 2, 4, 2);
    EXPECT_EQ(dstY[0], 0);
    EXPECT_EQ(dstY[1], 255);
    EXPECT_EQ(dstY[2], (100 + 255 * 200 + 128) >> 8);
    EXPECT_EQ(dstY[3], (200 + 255 * 100 + 128) >> 8);
    EXPECT_EQ(dstU[0], 10);
    EXPECT_EQ(dstU[1], (255 * 10 + 250 + 128) >> 8);
}

// ---- the method ----

TEST(LcboostMethod, ResultCodes)
{
    IRavvel* rl = nullptr;
    ASSERT_EQ(CreateRavvel(&rl), RL_OK);
    Picture a(RL_FORMAT_I420, 32, 16), b(RL_FORMAT_I420, 32, 16), c(RL_FORMAT_I420, 32, 18);
    SLcboostConfig cfg = Config(32, 16);
    cfg.eFormat = RL_FORMAT_NV12;
    EXPECT_EQ(rl->Init(RL_METHOD_LCBOOST, &cfg, false), RL_ERR_UNSUPPORTED);
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, a.info(), b.info(), nullptr), RL_ERR_NOT_INITIALIZED);
    cfg.eFormat = RL_FORMAT_I420;
    ASSERT_EQ(rl->Init(RL_METHOD_LCBOOST, &cfg, false), RL_OK);
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, nullptr, b.info(), nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, a.info(), nullptr, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, a.info(), c.info(), nullptr), RL_ERR_MISMATCH);
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, a.info(), a.info(), nullptr), RL_ERR_MISMATCH);
    SRLPictureInfo shared = *b.info();
    shared.pData[2] = a.info()->pData[1];
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, a.info(), &shared, nullptr), RL_ERR_MISMATCH);
    SRLPictureInfo bad = *a.info();
    bad.eFormat = RL_FORMAT_YV12;
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, &bad, b.info(), nullptr), RL_ERR_UNSUPPORTED);
    bad = *a.info();
    bad.pData[1] = nullptr;
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, &bad, b.info(), nullptr), RL_ERR_INVALID_PARAM);
    bad = *b.info();
    bad.iStride[0] = 31;  // rows would overlap
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, a.info(), &bad, nullptr), RL_ERR_INVALID_PARAM);
    bad.iStride[0] = 32;
    bad.iStride[2] = 40;  // U and V share one chroma stride
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, a.info(), &bad, nullptr), RL_ERR_INVALID_PARAM);
    SRLPictureInfo empty = *a.info(), emptyDst = *b.info();
    empty.iWidth = emptyDst.iWidth = 0;
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, &empty, &emptyDst, nullptr), RL_ERR_INVALID_PARAM);
    FillScene(a.info(), 1);
    EXPECT_EQ(rl->Process(RL_METHOD_LCBOOST, a.info(), b.info(), nullptr), RL_OK);

    // Options: null payloads and getter or unknown ids refused on set.
    for (int id = 7; id <= 14; ++id)
        EXPECT_EQ(rl->SetOption(RL_METHOD_LCBOOST, static_cast<RL_EOption>(id), nullptr), RL_ERR_INVALID_PARAM) << id;
    float f = 1.0f;
    for (int id : {15, 16, 17, 18, 19, 6, 21, 54})
        EXPECT_EQ(rl->SetOption(RL_METHOD_LCBOOST, static_cast<RL_EOption>(id), &f), RL_ERR_INVALID_PARAM) << id;
    EXPECT_EQ(rl->SetOption(RL_METHOD_LCBOOST, RL_OPTION_LCBOOST_RESET, nullptr), RL_OK);
    EXPECT_EQ(rl->GetOption(RL_METHOD_LCBOOST, RL_OPTION_LCBOOST_GET_COLOUR_SCALE, nullptr), RL_ERR_INVALID_PARAM);
    uint32_t untouched = 0xdeadbeef;
    EXPECT_EQ(rl->GetOption(RL_METHOD_LCBOOST, RL_OPTION_LCBOOST_COLOUR_SCALE, &untouched), RL_OK);
    EXPECT_EQ(untouched, 0xdeadbeefu);
    double avg = -1;
    EXPECT_EQ(rl->GetOption(RL_METHOD_LCBOOST, RL_OPTION_AVERAGE_TIME, &avg), RL_OK);
    EXPECT_GE(avg, 0.0);
    EXPECT_EQ(rl->Uninit(RL_METHOD_LCBOOST), RL_OK);
    DestroyRavvel(rl);
}

TEST(LcboostMethod, OptionsRoundTrip)
{
    CLcboost lcb(0);
    float contrast = 1.3f, colour = 1.2f, weight = 2.0f, zero = 0.0f, got = 0;
    uint8_t on = 1, flag = 0;
    ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_CONTRAST_SCALE, &contrast), RL_OK);
    ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_CONTRAST_SCALE, &zero), RL_OK);  // 0 is not stored
    ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_COLOUR_SCALE, &colour), RL_OK);
    ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_HISTOGRAM_CDF_WEIGHT, &weight), RL_OK);
    ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_HISTOGRAM_CDF_WEIGHT, &zero), RL_OK);
    ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_COLOUR_AUTO, &on), RL_OK);
    ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_FILTER_VBG, &on), RL_OK);
    lcb.GetOption(RL_OPTION_LCBOOST_GET_CONTRAST_SCALE, &got);
    EXPECT_EQ(got, contrast);
    lcb.GetOption(RL_OPTION_LCBOOST_GET_COLOUR_SCALE, &got);
    EXPECT_EQ(got, colour);
    EXPECT_EQ(lcb.GetVibranceIndex(), 8);
    lcb.GetOption(RL_OPTION_LCBOOST_GET_HISTOGRAM_CDF_WEIGHT, &got);
    EXPECT_EQ(got, weight);
    lcb.GetOption(RL_OPTION_LCBOOST_GET_COLOUR_AUTO, &flag);
    EXPECT_EQ(flag, 1);
    flag = 0;
    lcb.GetOption(RL_OPTION_LCBOOST_GET_FILTER_VBG, &flag);
    EXPECT_EQ(flag, 1);
}

TEST(LcboostMethod, VibranceIndexBoundaries)
{
    CLcboost lcb(0);
    const struct {
        float scale;
        int index;
    } cases[] = {{0.5f, 0}, {1.0f, 0}, {1.0124f, 0}, {1.0125f, 1}, {1.1f, 4}, {1.2624f, 10},
                 {1.2625f, 11}, {3.0f, 11}, {NAN, 0}};
    for (const auto& c : cases) {
        float s = c.scale;
        ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_COLOUR_SCALE, &s), RL_OK);
        EXPECT_EQ(lcb.GetVibranceIndex(), c.index) << c.scale;
    }
}

TEST(LcboostMethod, BothMethodsOffCopiesTheSourceWhateverTheMask)
{
    Picture src(RL_FORMAT_I420, 38, 22, 5), dst(RL_FORMAT_I420, 38, 22, 3);
    FillScene(src.info(), 3);
    dst.Fill(0);
    std::vector<uint8_t> mask(19 * 11);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<uint8_t>(i * 41);
    src.info()->pMask = mask.data();
    src.info()->iMaskWidth = 19;
    src.info()->iMaskHeight = 11;
    CLcboost lcb(VeskCPUFeatureDetect(nullptr));
    SLcboostConfig cfg = Config(38, 22, 0, 0);
    ASSERT_EQ(lcb.Init(&cfg, false), RL_OK);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
        EXPECT_EQ(Written(dst.info()), Written(src.info()));
    }
}

// Scaled masks, read back from the object: rows and run boundaries land on rounded positions.
TEST(LcboostMethod, MaskScaling)
{
    CLcboost lcb(0);
    SLcboostConfig cfg = Config(8, 4, 3, 0);
    ASSERT_EQ(lcb.Init(&cfg, false), RL_OK);
    Picture src(RL_FORMAT_I420, 8, 4), dst(RL_FORMAT_I420, 8, 4);
    FillScene(src.info(), 4);
    // Own size: used as is.
    std::vector<uint8_t> same(32);
    for (int i = 0; i < 32; ++i) same[i] = static_cast<uint8_t>((i * 7) % 5 * 60);
    src.info()->pMask = same.data();
    src.info()->iMaskWidth = 8;
    src.info()->iMaskHeight = 4;
    ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
    EXPECT_EQ(0, std::memcmp(lcb.GetScaledMask(), same.data(), 32));
    // Half size: output rows 0, 1, 2, 3 take mask rows 0, 1, 1, 1; a run
    // boundary at mask column k lands at output column 2k - 1.
    const uint8_t half[8] = {10, 20, 20, 30, 40, 40, 50, 60};
    const uint8_t expected[32] = {10, 20, 20, 20, 20, 30, 30, 30, 40, 40, 40, 50, 50, 60, 60, 60,
                                  40, 40, 40, 50, 50, 60, 60, 60, 40, 40, 40, 50, 50, 60, 60, 60};
    src.info()->pMask = const_cast<uint8_t*>(half);
    src.info()->iMaskWidth = 4;
    src.info()->iMaskHeight = 2;
    ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
    EXPECT_EQ(0, std::memcmp(lcb.GetScaledMask(), expected, 32));
    // A wide mask of the picture's size whose runs cross 16-byte blocks.
    {
        CLcboost wide(0);
        ASSERT_EQ(wide.Init(nullptr, false), RL_OK);
        Picture ws(RL_FORMAT_I420, 70, 4), wd(RL_FORMAT_I420, 70, 4);
        FillScene(ws.info(), 9);
        std::vector<uint8_t> runs(70 * 4);
        for (size_t i = 0; i < runs.size(); ++i) runs[i] = static_cast<uint8_t>((i % 70) < 17 ? 0 : (i % 70) < 50 ? 200 : i % 3);
        ws.info()->pMask = runs.data();
        ws.info()->iMaskWidth = 70;
        ws.info()->iMaskHeight = 4;
        ASSERT_EQ(wide.Process(ws.info(), wd.info(), nullptr), RL_OK);
        EXPECT_EQ(0, std::memcmp(wide.GetScaledMask(), runs.data(), runs.size()));
    }
    // A single-sample mask covers everything.
    const uint8_t one = 77;
    src.info()->pMask = const_cast<uint8_t*>(&one);
    src.info()->iMaskWidth = src.info()->iMaskHeight = 1;
    ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(lcb.GetScaledMask()[i], 77);
}

TEST(LcboostMethod, DerivedContrastStaysBetweenOneAndMax)
{
    for (uint32_t seed : {1u, 2u, 3u}) {
        CLcboost lcb(0);
        SLcboostConfig cfg = Config(64, 32, seed == 3 ? 1 : 3);
        cfg.fContrastScale = 0.0f;
        ASSERT_EQ(lcb.Init(&cfg, false), RL_OK);
        Picture src(RL_FORMAT_I420, 64, 32), dst(RL_FORMAT_I420, 64, 32);
        FillScene(src.info(), seed, 20 * static_cast<int>(seed), 60);
        ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
        float c = -1;
        lcb.GetOption(RL_OPTION_LCBOOST_GET_CONTRAST_SCALE, &c);
        EXPECT_GE(c, 1.0f) << seed;
        EXPECT_LE(c, 1.15f) << seed;
    }
}

bool IsIdentity(const float* map)
{
    for (int i = 0; i < 256; ++i)
        if (map[i] != static_cast<float>(i)) return false;
    return true;
}

// A gap of more than half a second restarts the analysis; exactly half a second does not.
TEST(LcboostMethod, PauseRestartsTheAnalysis)
{
    rltest::LogCapture log;
    CLcboost lcb(0);
    lcb.InitLogger(RL_TRACE_DEBUG, &rltest::LogCapture::Callback, &log);
    lcb.SetClock(&FakeClock);
    g_fakeNow = 1000000;
    SLcboostConfig cfg = Config(32, 16);
    ASSERT_EQ(lcb.Init(&cfg, false), RL_OK);
    Picture src(RL_FORMAT_I420, 32, 16), dst(RL_FORMAT_I420, 32, 16);
    FillScene(src.info(), 5);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
        g_fakeNow += 40000;
    }
    EXPECT_EQ(lcb.GetFrameIndex(), 3);
    g_fakeNow += 500000 - 40000;
    ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
    EXPECT_EQ(lcb.GetFrameIndex(), 4);
    EXPECT_FALSE(log.Contains("diff_time larger than threshold"));
    g_fakeNow += 500001;
    ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
    EXPECT_EQ(lcb.GetFrameIndex(), 1);
    EXPECT_TRUE(log.Contains("diff_time larger than threshold, resetting 500001"));
    EXPECT_TRUE(log.Contains("Input luma mean="));
}

// After a flat analysis frame the next three analysis frames keep the curve
// and the fourth replaces it.
TEST(LcboostMethod, FlatPictureCountdown)
{
    CLcboost lcb(0);
    lcb.SetClock(&FakeClock);
    SLcboostConfig cfg = Config(48, 16, 1, 0);
    ASSERT_EQ(lcb.Init(&cfg, false), RL_OK);
    Picture flat(RL_FORMAT_I420, 48, 16), scene(RL_FORMAT_I420, 48, 16), dst(RL_FORMAT_I420, 48, 16);
    FillFlat(flat.info(), 120);
    FillScene(scene.info(), 6, 80, 60);
    ASSERT_EQ(lcb.Process(flat.info(), dst.info(), nullptr), RL_OK);
    EXPECT_TRUE(IsIdentity(lcb.GetLumaMap()));
    for (int analysis = 1; analysis <= 4; ++analysis) {
        for (int i = 0; i < 16; ++i) {
            g_fakeNow += 1000;
            ASSERT_EQ(lcb.Process(scene.info(), dst.info(), nullptr), RL_OK);
        }
        EXPECT_EQ(IsIdentity(lcb.GetLumaMap()), analysis < 4) << analysis;
    }
}

// Chroma switched on between analysis frames passes colours through rather than greying them.
TEST(LcboostMethod, ChromaTableStartsAtUnity)
{
    CLcboost lcb(0);
    SLcboostConfig cfg = Config(32, 16, 0, 0);
    ASSERT_EQ(lcb.Init(&cfg, false), RL_OK);
    Picture src(RL_FORMAT_I420, 32, 16), dst(RL_FORMAT_I420, 32, 16);
    FillScene(src.info(), 7);
    ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
    int32_t one = 1;
    ASSERT_EQ(lcb.SetOption(RL_OPTION_LCBOOST_COLOUR_METHOD, &one), RL_OK);
    dst.Fill(0);
    ASSERT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
    EXPECT_EQ(Written(dst.info()), Written(src.info()));
}

// A sequence with analysis frames, automatic colour, a mask and a mid-run
// size change gives the same bytes on every tier as on the reference.
std::vector<std::vector<uint8_t>> RunSequence(uint32_t flags, int dstPad)
{
    CLcboost lcb(flags);
    lcb.SetClock(&FakeClock);
    SLcboostConfig cfg = Config(70, 34);
    lcb.Init(&cfg, false);
    uint8_t on = 1;
    lcb.SetOption(RL_OPTION_LCBOOST_COLOUR_AUTO, &on);
    std::vector<uint8_t> mask(35 * 17);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = static_cast<uint8_t>((i / 5) % 3 * 120);
    std::vector<std::vector<uint8_t>> out;
    for (int frame = 0; frame < 40; ++frame) {
        const int w = frame < 30 ? 70 : 66, h = frame < 30 ? 34 : 30;
        Picture src(RL_FORMAT_I420, w, h, 3), dst(RL_FORMAT_I420, w, h, dstPad);
        FillScene(src.info(), static_cast<uint32_t>(frame / 8 + 1));
        if (frame % 3 != 2) {
            src.info()->pMask = mask.data();
            src.info()->iMaskWidth = 35;
            src.info()->iMaskHeight = 17;
        }
        if (frame == 20) {
            int32_t m = 2;
            lcb.SetOption(RL_OPTION_LCBOOST_BRIGHTNESS_METHOD, &m);
        }
        g_fakeNow += 33000;
        EXPECT_EQ(lcb.Process(src.info(), dst.info(), nullptr), RL_OK);
        out.push_back(Written(dst.info()));
    }
    return out;
}

class LcboostTierTest : public testing::TestWithParam<int> {};

TEST_P(LcboostTierTest, SameBytesAsTheReference)
{
    const int tier = GetParam();
    if (!(VeskCPUFeatureDetect(nullptr) & TierFlag(tier))) GTEST_SKIP() << "no such tier here";
    const auto reference = RunSequence(0, 0);
    // The destination stride differs from the source's: the blend must follow it.
    const auto tiered = RunSequence(TierFlagMask(tier), 9);
    ASSERT_EQ(reference.size(), tiered.size());
    for (size_t i = 0; i < reference.size(); ++i) ASSERT_EQ(reference[i], tiered[i]) << "frame " << i;
    // The sequence really changes the picture.
    Picture src(RL_FORMAT_I420, 70, 34, 3);
    FillScene(src.info(), 1);
    EXPECT_NE(reference[1], Written(src.info()));
}

INSTANTIATE_TEST_SUITE_P(Tiers, LcboostTierTest, testing::Range(1, static_cast<int>(RL_TIER_COUNT)),
                         [](const testing::TestParamInfo<int>& i) { return std::string(TierName(i.param)); });

TEST(LcboostMethod, AvxOnlyProcessorsRunTheSse4Set)
{
    LcboostFuncs avx{}, sse4{};
    InitLcboostFunc(&avx, TierFlagMask(RL_TIER_AVX));
    InitLcboostFunc(&sse4, TierFlagMask(RL_TIER_SSE4));
    EXPECT_EQ(0, std::memcmp(&avx, &sse4, sizeof avx));
    EXPECT_EQ(sse4.apply_remapping, &apply_remapping_sse4);
}

// Objects on two threads analyse at once and each gets what it gets alone.
TEST(LcboostMethod, TwoObjectsOnTwoThreads)
{
    const auto alone = RunSequence(0, 0);
    std::vector<std::vector<uint8_t>> results[2];
    std::thread t1([&] { results[0] = RunSequence(0, 0); });
    std::thread t2([&] { results[1] = RunSequence(0, 0); });
    t1.join();
    t2.join();
    EXPECT_EQ(results[0], alone);
    EXPECT_EQ(results[1], alone);
}

TEST(LcboostMethod, CreationAndParameterLines)
{
    IRavvel* rl = nullptr;
    ASSERT_EQ(CreateRavvel(&rl), RL_OK);
    rltest::LogCapture log;
    log.Attach(rl);
    SLcboostConfig cfg = Config(32, 16);
    ASSERT_EQ(rl->Init(RL_METHOD_LCBOOST, &cfg, false), RL_OK);
    EXPECT_TRUE(log.Contains("Create LCBoost("));
    Picture src(RL_FORMAT_I420, 32, 16), dst(RL_FORMAT_I420, 32, 16);
    FillScene(src.info(), 8);
    ASSERT_EQ(rl->Process(RL_METHOD_LCBOOST, src.info(), dst.info(), nullptr), RL_OK);
    EXPECT_TRUE(log.Contains("[rl][lcboost] lcboost="));
    EXPECT_TRUE(log.Contains("m_iWidth=32 m_iHeight=16 m_iFrameIndex=0 m_iParamEstiInterval=16"));
    DestroyRavvel(rl);
}

}  // namespace
