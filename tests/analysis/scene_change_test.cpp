#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/scene_change.h"
#include "support/log_capture.h"

namespace {

using namespace Ravvel;
using analysis_test::LumaFrame;

struct Outcome {
    int32_t level;
    float ratio;
};

Outcome Analyse(CSceneChangeDetection& m, LumaFrame& cur, LumaFrame& ref)
{
    EXPECT_EQ(m.Process(cur.Info(), ref.Info(), nullptr), RL_OK);
    Outcome o{-1, -1.0f};
    m.GetOption(RL_OPTION_SCENE_CHANGE_LEVEL, &o.level);
    m.GetOption(RL_OPTION_SCENE_CHANGE_RATIO, &o.ratio);
    return o;
}

// Every 8x8 block of `cur` differs from `ref` by a SAD of exactly 320 (not
// changed); the first `changed` blocks in raster order get 321.
void MakeChangedBlocks(LumaFrame& cur, LumaFrame& ref, int changed)
{
    ref.Fill(100);
    cur.Fill(105);
    const int cols = cur.Width() / 8;
    for (int b = 0; b < changed; ++b) cur.At((b % cols) * 8 + 3, (b / cols) * 8 + 5) = 106;
}

class SceneChangeTiers : public testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (GetParam() && !(VeskCPUFeatureDetect(nullptr) & TierFlag(GetParam()))) GTEST_SKIP() << "no such tier here";
    }
};

// Each level boundary at the two common sizes: the count that reaches a
// threshold and the one just below it, with every other block at SAD 320.
TEST_P(SceneChangeTiers, LevelBoundariesAt720pAnd1080p)
{
    CSceneChangeDetection m(TierFlagMask(GetParam()));
    ASSERT_EQ(m.Init(nullptr, false), RL_OK);
    struct Size {
        int w, h;
        int thresholds[3];  // small, medium, large
    };
    for (const Size& s : {Size{1280, 720, {144, 7200, 12240}}, Size{1920, 1080, {324, 16200, 27540}}}) {
        LumaFrame cur(s.w, s.h), ref(s.w, s.h);
        const float blocks = static_cast<float>((s.w / 8) * (s.h / 8));
        for (int level = 1; level <= 3; ++level) {
            for (int below = 1; below >= 0; --below) {
                const int count = s.thresholds[level - 1] - below;
                MakeChangedBlocks(cur, ref, count);
                const Outcome o = Analyse(m, cur, ref);
                EXPECT_EQ(o.level, level - below) << s.w << "x" << s.h << " with " << count << " changed blocks";
                EXPECT_EQ(o.ratio, static_cast<float>(count) / blocks);
            }
        }
        MakeChangedBlocks(cur, ref, 0);
        EXPECT_EQ(Analyse(m, cur, ref).level, RL_SCENE_CHANGE_NONE);
    }
}

// Frames that are not 16-byte aligned are analysed through kept copies and
// must give the results the aligned frames give; a stride change rebuilds them.
TEST_P(SceneChangeTiers, UnalignedFramesMatchAlignedOnes)
{
    CSceneChangeDetection m(TierFlagMask(GetParam()));
    ASSERT_EQ(m.Init(nullptr, false), RL_OK);
    struct Layout {
        int stride, misalign;
    };
    const int w = 203, h = 61;  // remainders on both sides
    LumaFrame alignedCur(w, h, 208), alignedRef(w, h, 208);
    uint32_t seed = 7;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            alignedRef.At(x, y) = static_cast<uint8_t>(seed >> 24);
            // Changes of growing size from left to right: some blocks cross 320, some do not.
            alignedCur.At(x, y) = static_cast<uint8_t>(alignedRef.At(x, y) + ((seed >> 8) % (1 + x / 20)));
        }
    const Outcome expected = Analyse(m, alignedCur, alignedRef);
    EXPECT_EQ(m.GetAnalysedCurrent(), alignedCur.Info()->pData[0]);
    EXPECT_EQ(m.GetAnalysedReference(), alignedRef.Info()->pData[0]);
    ASSERT_GT(expected.ratio, 0.1f);
    ASSERT_LT(expected.ratio, 0.9f);

    for (const Layout& l : {Layout{203, 0}, Layout{208, 3}, Layout{203, 5}, Layout{251, 9}, Layout{224, 16}}) {
        for (int repeat = 0; repeat < 2; ++repeat) {
            LumaFrame cur(w, h, l.stride, l.misalign), ref(w, h, l.stride, (l.misalign + 7) % 64);
            cur.CopyFrom(alignedCur);
            ref.CopyFrom(alignedRef);
            const Outcome o = Analyse(m, cur, ref);
            EXPECT_EQ(o.level, expected.level) << "stride " << l.stride << " offset " << l.misalign;
            EXPECT_EQ(o.ratio, expected.ratio) << "stride " << l.stride << " offset " << l.misalign;
            const bool inPlace = l.stride % 16 == 0 && l.misalign % 16 == 0;
            EXPECT_EQ(m.GetAnalysedCurrent() == cur.Info()->pData[0], inPlace);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Tiers, SceneChangeTiers, testing::Range(0, static_cast<int>(RL_TIER_COUNT)),
                         [](const testing::TestParamInfo<int>& i) { return std::string(TierName(i.param)); });

// Through the interface: small frames, the uncompared remainder, and frames
// without a single block.
class SceneChangeMethod : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&rl), RL_OK);
        log.Attach(rl);
        int32_t level = RL_TRACE_DETAIL;
        rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_LEVEL, &level);
    }
    void TearDown() override { DestroyRavvel(rl); }

    int32_t Run(LumaFrame& cur, LumaFrame& ref)
    {
        return rl->Process(RL_METHOD_SCENE_CHANGE_DETECTION, cur.Info(), ref.Info(), nullptr);
    }
    Outcome Read()
    {
        Outcome o{-1, -1.0f};
        EXPECT_EQ(rl->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_LEVEL, &o.level), RL_OK);
        EXPECT_EQ(rl->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_RATIO, &o.ratio), RL_OK);
        return o;
    }

    IRavvel* rl = nullptr;
    rltest::LogCapture log;
};

TEST_F(SceneChangeMethod, SmallFramesAndTheUncomparedRemainder)
{
    SRLSceneChangeConfig cfg = {1286, 64, RL_FORMAT_I420};
    ASSERT_EQ(rl->Init(RL_METHOD_SCENE_CHANGE_DETECTION, &cfg, false), RL_OK);
    Outcome o = Read();
    EXPECT_EQ(o.level, 0);
    EXPECT_EQ(o.ratio, 0.0f);

    // 1286 pixels: 160 block columns; the last 6 columns never count.
    LumaFrame cur(1286, 64), ref(1286, 64);
    cur.Fill(10);
    ref.Fill(10);
    for (int y = 0; y < 64; ++y)
        for (int x = 1280; x < 1286; ++x) cur.At(x, y) = 250;
    ASSERT_EQ(Run(cur, ref), RL_OK);
    o = Read();
    EXPECT_EQ(o.level, RL_SCENE_CHANGE_NONE);
    EXPECT_EQ(o.ratio, 0.0f);
    cur.At(1279, 0) = 250;
    cur.At(1278, 0) = 250;
    ASSERT_EQ(Run(cur, ref), RL_OK);
    EXPECT_EQ(Read().ratio, 1.0f / (160 * 8));

    // Under 50 blocks the small threshold is 0: identical frames still report 1.
    // 16x16 has 4 blocks and thresholds 3, 2 and 0.
    LumaFrame a(16, 16), b(16, 16);
    a.Fill(0);
    b.Fill(0);
    const int expected[] = {1, 1, 2, 3, 3};
    for (int changed = 0; changed <= 4; ++changed) {
        if (changed) a.At((changed - 1) % 2 * 8, (changed - 1) / 2 * 8) = a.At((changed - 1) % 2 * 8 + 7, (changed - 1) / 2 * 8 + 7) = 255;
        ASSERT_EQ(Run(a, b), RL_OK);
        o = Read();
        EXPECT_EQ(o.level, expected[changed]) << changed;
        EXPECT_EQ(o.ratio, changed / 4.0f);
    }
    LumaFrame c(80, 40), d(80, 40);  // exactly 50 blocks: 0.5 + 0.5 reaches a threshold of 1
    c.Fill(1);
    d.Fill(1);
    ASSERT_EQ(Run(c, d), RL_OK);
    EXPECT_EQ(Read().level, RL_SCENE_CHANGE_NONE);

    // No whole block: nothing was compared, so nothing changed.
    const int sizes[][2] = {{7, 100}, {100, 7}, {0, 0}};
    for (const auto& s : sizes) {
        LumaFrame e(s[0], s[1]), f(s[0], s[1]);
        e.Fill(0);
        f.Fill(255);
        ASSERT_EQ(Run(e, f), RL_OK) << s[0] << "x" << s[1];
        o = Read();
        EXPECT_EQ(o.level, RL_SCENE_CHANGE_NONE);
        EXPECT_EQ(o.ratio, 0.0f);
    }
}

TEST_F(SceneChangeMethod, ResultCodesAndOptions)
{
    LumaFrame cur(64, 32), ref(64, 32);
    cur.Fill(0);
    ref.Fill(200);
    EXPECT_EQ(rl->Process(RL_METHOD_SCENE_CHANGE_DETECTION, cur.Info(), ref.Info(), nullptr), RL_ERR_MISMATCH);

    SRLSceneChangeConfig nv12 = {64, 32, RL_FORMAT_NV12};
    EXPECT_EQ(rl->Init(RL_METHOD_SCENE_CHANGE_DETECTION, &nv12, false), RL_ERR_UNSUPPORTED);
    EXPECT_EQ(Run(cur, ref), RL_ERR_NOT_INITIALIZED);
    ASSERT_EQ(rl->Init(RL_METHOD_SCENE_CHANGE_DETECTION, nullptr, false), RL_OK);

    EXPECT_EQ(rl->Process(RL_METHOD_SCENE_CHANGE_DETECTION, nullptr, ref.Info(), nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->Process(RL_METHOD_SCENE_CHANGE_DETECTION, cur.Info(), nullptr, nullptr), RL_ERR_INVALID_PARAM);
    SRLPictureInfo broken = *cur.Info();
    broken.pData[0] = nullptr;
    EXPECT_EQ(rl->Process(RL_METHOD_SCENE_CHANGE_DETECTION, &broken, ref.Info(), nullptr), RL_ERR_INVALID_PARAM);
    // Rows that overlap or run backwards are refused, on both frames alike.
    SRLPictureInfo shortRows[2] = {*cur.Info(), *ref.Info()};
    for (int s : {63, -64}) {
        shortRows[0].iStride[0] = shortRows[1].iStride[0] = s;
        EXPECT_EQ(rl->Process(RL_METHOD_SCENE_CHANGE_DETECTION, &shortRows[0], &shortRows[1], nullptr),
                  RL_ERR_INVALID_PARAM);
    }

    ASSERT_EQ(Run(cur, ref), RL_OK);
    EXPECT_EQ(Read().level, RL_SCENE_CHANGE_LARGE);
    float ratio = 0.0f;
    int32_t level = 0;
    EXPECT_EQ(rl->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_LEVEL, nullptr),
              RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->SetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_LEVEL, nullptr),
              RL_ERR_INVALID_PARAM);
    // Options are not settable and other options answer nothing.
    EXPECT_EQ(rl->SetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_LEVEL, &level), RL_OK);
    int32_t untouched = 12345;
    EXPECT_EQ(rl->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_AVERAGE_TIME, &untouched), RL_OK);
    EXPECT_EQ(untouched, 12345);
    EXPECT_EQ(rl->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_RATIO, &ratio), RL_OK);
    EXPECT_EQ(ratio, 1.0f);
}

// A reference of another geometry re-initialises the method for the current
// frame and keeps the last results readable; a non-I420 current frame leaves
// it uninitialised.
TEST_F(SceneChangeMethod, GeometryMismatchReinitialises)
{
    ASSERT_EQ(rl->Init(RL_METHOD_SCENE_CHANGE_DETECTION, nullptr, false), RL_OK);
    LumaFrame cur(64, 32), ref(64, 32), wider(72, 32), taller(64, 40), padded(64, 32, 80);
    cur.Fill(0);
    ref.Fill(200);
    ASSERT_EQ(Run(cur, ref), RL_OK);
    log.lines.clear();
    EXPECT_EQ(Run(cur, wider), RL_ERR_INVALID_PARAM);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines.back().level, RL_TRACE_DETAIL);
    EXPECT_NE(log.lines.back().text.find(": Reference frame and current frame do not match, ref frame width: 72, "
                                         "height: 32, cur frame width: 64, height: 32"),
              std::string::npos)
        << log.lines.back().text;
    EXPECT_EQ(Read().level, RL_SCENE_CHANGE_LARGE);
    EXPECT_EQ(Run(taller, cur), RL_ERR_INVALID_PARAM);
    EXPECT_TRUE(log.Contains("ref frame width: 64, height: 32, cur frame width: 64, height: 40"));
    EXPECT_EQ(Run(cur, padded), RL_ERR_INVALID_PARAM);  // same size, another stride
    EXPECT_EQ(Run(cur, ref), RL_OK);                   // still initialised: the current frame is I420

    cur.Info()->eFormat = RL_FORMAT_NV12;
    EXPECT_EQ(Run(cur, wider), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(Run(cur, ref), RL_ERR_NOT_INITIALIZED);
    ASSERT_EQ(rl->Init(RL_METHOD_SCENE_CHANGE_DETECTION, nullptr, false), RL_OK);
    EXPECT_EQ(Run(cur, ref), RL_OK);  // the method reads luma only, whatever the frame's label
}

}  // namespace
