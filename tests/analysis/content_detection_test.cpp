#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/content_detection.h"
#include "frame/logger.h"
#include "support/log_capture.h"

namespace {

using namespace Ravvel;
using analysis_test::LumaFrame;

void Noise(LumaFrame& f, uint32_t seed)
{
    for (int y = 0; y < f.Height(); ++y)
        for (int x = 0; x < f.Width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            f.At(x, y) = static_cast<uint8_t>(seed >> 24);
        }
}

// Fills the 32x32 block (I, J) of the block pass: 0/255 stripes read as
// text, noise as video.
void PaintBlock(LumaFrame& f, int I, int J, bool text, uint32_t seed)
{
    for (int y = 32 * J; y < 32 * J + 32; ++y)
        for (int x = 32 * I; x < 32 * I + 32; ++x) {
            seed = seed * 1664525u + 1013904223u;
            f.At(x, y) = text ? ((x / 3) & 1 ? 255 : 0) : static_cast<uint8_t>(seed >> 24);
        }
}

// The segmentation of one frame per tier, straight on the parameter record.
class TextSegmentationTiers : public testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (GetParam() && !(VeskCPUFeatureDetect(nullptr) & TierFlag(GetParam()))) GTEST_SKIP() << "no such tier here";
        FillTextSegmentationFuncs(&funcs, TierFlagMask(GetParam()));
        logger.SetLogLevel(RL_TRACE_DETAIL);
        logger.SetLogCallbackFunc(&rltest::LogCapture::Callback);
        logger.SetLogCallbackInstance(&log);
    }

    int32_t Run(LumaFrame& cur, LumaFrame* ref, int index = 0, int textVotes = 13)
    {
        map.assign(static_cast<size_t>((cur.Width() + 15) >> 4) * ((cur.Height() + 15) >> 4), 9);
        vContentDetectionParam p{};
        p.pCurPlane = cur.Row(0);
        p.pRefPlane = ref ? ref->Row(0) : nullptr;
        p.iCurWidth = cur.Width();
        p.iCurHeight = cur.Height();
        p.iRefWidth = ref ? ref->Width() : 0;
        p.iRefHeight = ref ? ref->Height() : 0;
        p.iStride = cur.Stride();
        p.pMbMap = map.data();
        p.pHistogram = histogram;
        p.pGradientBlock = gradient;
        p.iIndex = index;
        p.pLogger = &logger;
        // The other thirteen verdicts: the first `textVotes` of them text-like.
        for (int k = 0, n = 0; k < kContentHistoryFrames; ++k)
            p.uiMotionStatus[k] = k == index % kContentHistoryFrames ? 7 : n++ < textVotes;
        log.lines.clear();
        const int32_t r = funcs.pfnTextSegmentation8(&p);
        verdict = p.uiMotionStatus[index % kContentHistoryFrames];
        return r;
    }

    TextSegmentationFuncs funcs{};
    Logger logger{nullptr, "Content Detection"};
    rltest::LogCapture log;
    std::vector<uint8_t> map;
    int32_t histogram[256];
    int32_t gradient[32 * 32];
    int verdict = -1;
};

TEST_P(TextSegmentationTiers, NarrowFramesAreTextWithoutAVote)
{
    LumaFrame narrow(336, 400), wide(337, 400);
    Noise(narrow, 1);
    Noise(wide, 1);
    EXPECT_EQ(Run(narrow, nullptr, 0, 0), 1);
    EXPECT_EQ(verdict, 7) << "the vote must be left alone";
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].text.find("resolution is too small, return text directly "), std::string::npos);
    EXPECT_EQ(Run(wide, nullptr, 0, 0), 0);  // analysed: one text verdict of fourteen
    EXPECT_TRUE(log.Contains("small motion count: 1 "));
    const char* countLine = GetParam() ? "DETAIL: asm iNumV2: " : "DETAIL: iNumV2: ";
    // Noise everywhere: 18 x 21 counted macroblocks, the last row not covered by a block.
    EXPECT_TRUE(log.Contains(std::string(countLine) + "360 iNumT2: 0  iNumB2: 18 "));
    EXPECT_TRUE(log.Contains("first text ratio: 2 "));
}

// Ten text verdicts of fourteen vote video, eleven vote text.
TEST_P(TextSegmentationTiers, VoteNeedsElevenTextFrames)
{
    LumaFrame blank(352, 352);
    blank.Fill(128);
    EXPECT_EQ(Run(blank, nullptr, 5, 9), 0);
    EXPECT_EQ(verdict, 1);
    EXPECT_TRUE(log.Contains("content is text due to most text "));
    EXPECT_TRUE(log.Contains("small motion count: 10 "));
    EXPECT_TRUE(log.Contains("final content is video "));
    EXPECT_EQ(Run(blank, nullptr, 5, 10), 1);
    EXPECT_TRUE(log.Contains("small motion count: 11 "));
    EXPECT_TRUE(log.Contains("final content is text "));
}

// 352x352: 81 blocks cover the 18 x 18 counted macroblocks. 53 text blocks
// make a ratio of exactly 65, which is not text by ratio; 54 make 66.
TEST_P(TextSegmentationTiers, TextRatioBoundary)
{
    for (int textBlocks : {53, 54}) {
        LumaFrame f(352, 352);
        f.Fill(0);
        for (int b = 0; b < 81; ++b) PaintBlock(f, 1 + b % 9, 1 + b / 9, b < textBlocks, 77u + b);
        Run(f, nullptr);
        EXPECT_TRUE(log.Contains("final text ratio: " + std::to_string(textBlocks == 53 ? 65 : 66) + " "));
        EXPECT_EQ(log.Contains("content is text due to most text "), textBlocks == 54);
        EXPECT_EQ(log.Contains("content type mb to small motion "), textBlocks == 53);
    }
}

// A block flat in gradient keeps its background quadrants with 7 distinct
// values and turns to video with 8.
TEST_P(TextSegmentationTiers, FlatBlocksWithManyLevelsAreVideo)
{
    for (int levels : {7, 8}) {
        LumaFrame f(352, 352);
        for (int y = 0; y < 352; ++y) std::memset(f.Row(y), 100 + y % levels, 352);
        Run(f, nullptr);
        const uint8_t expected = levels == 7 ? BACKGROUND_MB : VIDEO_MB;
        for (int y = 2; y < 20; ++y)
            for (int x = 2; x < 20; ++x) ASSERT_EQ(map[y * 22 + x], expected) << levels << " at " << x << "," << y;
        EXPECT_EQ(map[0], BACKGROUND_MB);  // margins are never classified
    }
}

// Motion counts only in blocks with more than 128 changed samples.
TEST_P(TextSegmentationTiers, ChangedSampleThreshold)
{
    LumaFrame ref(352, 352), cur(352, 352);
    Noise(ref, 3);
    for (int changed : {128, 129}) {
        cur.CopyFrom(ref);
        for (int J = 1; J < 10; ++J)
            for (int I = 1; I < 10; ++I)
                for (int k = 0; k < changed; ++k) cur.At(32 * I + k % 32, 32 * J + k / 32) ^= 0x80;
        Run(cur, &ref, 1);
        EXPECT_EQ(log.Contains("content type mb to small motion "), changed == 128);
        EXPECT_EQ(log.Contains("iNumContentTypePic[VIDEO_MB]: 324   iNumContentTypePic[TEXT_MB]:  0 "
                               "iNumContentTypePic[BACKGROUND_MB]:  0"),
                  changed == 129);
        EXPECT_EQ(verdict, changed == 128 ? 1 : 0);
        // Without a reference (first frame after a reset) nothing moved.
        Run(cur, &ref, 0);
        EXPECT_EQ(verdict, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Tiers, TextSegmentationTiers, testing::Range(0, static_cast<int>(RL_TIER_COUNT)),
                         [](const testing::TestParamInfo<int>& i) { return std::string(TierName(i.param)); });

// ---- through the interface ----

struct Reports {
    std::vector<int32_t> contents;
    static void Callback(void* self, int32_t content) { static_cast<Reports*>(self)->contents.push_back(content); }
};

class ContentMethod : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&rl), RL_OK);
        log.Attach(rl);
        int32_t level = RL_TRACE_DETAIL;
        rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_LEVEL, &level);
    }
    void TearDown() override { DestroyRavvel(rl); }

    void Start(int w, int h)
    {
        SRLContentDetectionConfig cfg = {w, h, RL_FORMAT_I420};
        ASSERT_EQ(rl->Init(RL_METHOD_CONTENT_DETECTION, &cfg, false), RL_OK);
        SRLContentCallback cb = {&Reports::Callback, &reports};
        ASSERT_EQ(rl->SetOption(RL_METHOD_CONTENT_DETECTION, RL_OPTION_CONTENT_CALLBACK, &cb), RL_OK);
        Reset();
    }
    void Reset()
    {
        uint8_t yes = 1;
        ASSERT_EQ(rl->SetOption(RL_METHOD_CONTENT_DETECTION, RL_OPTION_CONTENT_RESET, &yes), RL_OK);
    }
    int32_t Run(LumaFrame& f) { return rl->Process(RL_METHOD_CONTENT_DETECTION, f.Info(), nullptr, nullptr); }

    IRavvel* rl = nullptr;
    rltest::LogCapture log;
    Reports reports;
};

// Text is reported once, on the fourteenth frame after the reset; video
// takes over after its verdicts outvote the history and seven results agree.
TEST_F(ContentMethod, FirstReportAndSwitchToVideo)
{
    Start(352, 352);
    LumaFrame text(352, 352), video(352, 352);
    text.Fill(235);
    for (int y = 40; y < 250; y += 12)
        for (int x = 30; x < 320; ++x)
            if ((x / 5) % 3) text.At(x, y) = text.At(x, y + 1) = 16;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(Run(text), RL_OK);
        EXPECT_EQ(reports.contents, std::vector<int32_t>(i >= 13 ? 1 : 0, RL_CONTENT_TEXT)) << "frame " << i;
    }
    EXPECT_TRUE(log.Contains("uiMotionStatus changed due to setparam"));
    EXPECT_TRUE(log.Contains("INFO: first content change to 1 "));

    // After a reset: frame 0 has no reference; from frame 1 on every frame
    // votes video, the vote turns at frame 4, and frame 10 completes seven.
    Reset();
    reports.contents.clear();
    for (int i = 0; i < 16; ++i) {
        Noise(video, 100u + i);
        ASSERT_EQ(Run(video), RL_OK);
        EXPECT_EQ(reports.contents, std::vector<int32_t>(i >= 10 ? 1 : 0, RL_CONTENT_VIDEO)) << "frame " << i;
    }
    EXPECT_TRUE(log.Contains("INFO: content change to 0 "));
    EXPECT_FALSE(log.Contains("first content change to 0"));
}

TEST_F(ContentMethod, ResultCodesAndGeometryChanges)
{
    LumaFrame f(352, 352), odd(353, 352, 400, 3);
    Noise(f, 5);
    Noise(odd, 6);
    EXPECT_EQ(Run(f), RL_ERR_MISMATCH);  // never created
    EXPECT_EQ(rl->Init(RL_METHOD_CONTENT_DETECTION, nullptr, false), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(Run(f), RL_ERR_INVALID_PARAM);  // no callback yet
    SRLContentDetectionConfig nv12 = {352, 288, RL_FORMAT_NV12};
    EXPECT_EQ(rl->Init(RL_METHOD_CONTENT_DETECTION, &nv12, false), RL_ERR_UNSUPPORTED);
    Start(352, 352);
    EXPECT_EQ(rl->SetOption(RL_METHOD_CONTENT_DETECTION, RL_OPTION_CONTENT_RESET, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->GetOption(RL_METHOD_CONTENT_DETECTION, RL_OPTION_AVERAGE_TIME, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->Process(RL_METHOD_CONTENT_DETECTION, nullptr, f.Info(), nullptr), RL_ERR_INVALID_PARAM);
    const uint32_t bottomUp = static_cast<uint32_t>(RL_FORMAT_FLAG_BOTTOM_UP);
    for (uint32_t format : {26u, 24u, 23u | bottomUp}) {
        f.Info()->eFormat = static_cast<RL_EVideoFormat>(format);
        EXPECT_EQ(Run(f), RL_ERR_INVALID_PARAM) << format;
    }
    f.Info()->eFormat = RL_FORMAT_I420;
    SRLPictureInfo bad = *f.Info();
    for (int k = 0; k < 4; ++k) {
        bad = *f.Info();
        if (k == 0) bad.pData[0] = nullptr;
        if (k == 1) bad.iStride[0] = 351;
        if (k == 2) bad.iStride[0] = -352;
        if (k == 3) bad.iHeight = 0;
        EXPECT_EQ(rl->Process(RL_METHOD_CONTENT_DETECTION, &bad, nullptr, nullptr), RL_ERR_INVALID_PARAM) << k;
    }
    EXPECT_EQ(Run(f), RL_OK);
    double average = -1.0;
    EXPECT_EQ(rl->GetOption(RL_METHOD_CONTENT_DETECTION, RL_OPTION_AVERAGE_TIME, &average), RL_OK);
    EXPECT_GE(average, 0.0);

    // Another size re-initialises; the first frame after it has nothing to
    // compare with, also on an unaligned plane with a wider stride.
    log.lines.clear();
    EXPECT_EQ(Run(odd), RL_OK);
    EXPECT_TRUE(log.Contains("DETAIL: m_iWidth: 352 m_iHeight: 352 cur_width: 353 cur_height: 352"));
    EXPECT_TRUE(log.Contains("content type mb to small motion "));
    EXPECT_EQ(Run(odd), RL_OK);
    EXPECT_EQ(Run(f), RL_OK);
    odd.Info()->eFormat = RL_FORMAT_NV12;
    EXPECT_EQ(Run(odd), RL_ERR_INVALID_PARAM);

    // A callback without a context unregisters it.
    SRLContentCallback none = {&Reports::Callback, nullptr};
    ASSERT_EQ(rl->SetOption(RL_METHOD_CONTENT_DETECTION, RL_OPTION_CONTENT_CALLBACK, &none), RL_OK);
    EXPECT_EQ(Run(f), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->Uninit(RL_METHOD_CONTENT_DETECTION), RL_OK);
}

}  // namespace
