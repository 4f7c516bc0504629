#include <gtest/gtest.h>

#include "imageops/alpha_blend.h"
#include "imageops/imageops_test_util.h"

namespace {

using namespace Ravvel;
using imageops_test::Bytes;
using imageops_test::Pic;
using imageops_test::Random;

uint8_t Mix(uint8_t fg, uint8_t bg, uint8_t a) { return static_cast<uint8_t>((bg * (256 - a) + fg * a) >> 8); }

// Each tier through the method, built with that tier's flags: plane routing
// and the kernel table here, bit-exactness on many sizes in the equivalence harness.
class AlphaBlendTierTest : public testing::TestWithParam<int> {};

TEST_P(AlphaBlendTierTest, BlendsEachSampleWithItsAlpha)
{
    if (GetParam() && !(VeskCPUFeatureDetect(nullptr) & TierFlag(GetParam()))) GTEST_SKIP() << "no such tier here";
    CAlphaBlend blend(TierFlagMask(GetParam()));
    // An odd width: the chroma walks the map with a pitch of 2 * (w / 2), not w.
    const size_t w = 75, h = 11, cw = w / 2, ch = h / 2, luma = w * h, chroma = cw * ch;
    Bytes alpha = Random(luma, 1), fg[3], bg[3], out[3];
    for (int i = 0; i < 3; ++i) {
        fg[i] = Random(i ? chroma : luma, 10 + i);
        bg[i] = Random(i ? chroma : luma, 20 + i);
        out[i] = fg[i];
    }
    SRLPictureInfo src = Pic(RL_FORMAT_I420, w, h, bg[0].data(), bg[1].data(), bg[2].data());
    SRLPictureInfo dst = Pic(RL_FORMAT_I420, w, h, out[0].data(), out[1].data(), out[2].data());
    ASSERT_EQ(blend.Init(alpha.data(), false), RL_OK);
    ASSERT_EQ(blend.Process(&src, &dst, nullptr), RL_OK);
    for (size_t k = 0; k < luma; ++k) ASSERT_EQ(out[0][k], Mix(fg[0][k], bg[0][k], alpha[k])) << k;
    for (int i = 1; i < 3; ++i)
        for (size_t k = 0; k < chroma; ++k)
            ASSERT_EQ(out[i][k], Mix(fg[i][k], bg[i][k], alpha[2 * (k / cw) * 2 * cw + 2 * (k % cw)])) << i << ":" << k;

    // Four-byte pixels: one alpha for all four bytes.
    const Bytes fg4 = Random(4 * luma, 4), bg4 = Random(4 * luma, 5);
    Bytes out4 = fg4;
    src = Pic(RL_FORMAT_ABGR, w, h, const_cast<uint8_t*>(bg4.data()));
    dst = Pic(RL_FORMAT_ABGR, w, h, out4.data());
    ASSERT_EQ(blend.Process(&src, &dst, nullptr), RL_OK);
    for (size_t k = 0; k < 4 * luma; ++k) ASSERT_EQ(out4[k], Mix(fg4[k], bg4[k], alpha[k / 4])) << k;
}

INSTANTIATE_TEST_SUITE_P(Tiers, AlphaBlendTierTest, testing::Range(0, static_cast<int>(RL_TIER_COUNT)),
                         [](const testing::TestParamInfo<int>& i) { return std::string(TierName(i.param)); });

TEST(AlphaBlendMethod, ResultCodesAndMapReplacement)
{
    IRavvel* rl = nullptr;
    ASSERT_EQ(CreateRavvel(&rl), RL_OK);
    Bytes fg(16 * 4, 255), bg(16 * 4, 0), zeros(16, 0), full(16, 255);
    SRLPictureInfo src = Pic(RL_FORMAT_RGBA, 4, 4, bg.data(), bg.data(), bg.data());
    SRLPictureInfo dst = Pic(RL_FORMAT_RGBA, 4, 4, fg.data(), fg.data(), fg.data());
    ASSERT_EQ(rl->Init(RL_METHOD_ALPHA_BLEND, nullptr, false), RL_OK);
    EXPECT_EQ(rl->Process(RL_METHOD_ALPHA_BLEND, &src, &dst, nullptr), RL_ERR_INVALID_PARAM);  // no map yet

    ASSERT_EQ(rl->Init(RL_METHOD_ALPHA_BLEND, full.data(), false), RL_OK);
    const uint32_t bottomUp = static_cast<uint32_t>(RL_FORMAT_FLAG_BOTTOM_UP);
    for (uint32_t f : {26u, 1u, 20u, 11u, 3u, 23u | bottomUp, 2u | bottomUp}) {
        dst.eFormat = static_cast<RL_EVideoFormat>(f);
        EXPECT_EQ(rl->Process(RL_METHOD_ALPHA_BLEND, &src, &dst, nullptr), RL_ERR_UNSUPPORTED) << f;
    }
    dst.eFormat = RL_FORMAT_RGBA;
    EXPECT_EQ(rl->Process(RL_METHOD_ALPHA_BLEND, nullptr, &dst, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->Process(RL_METHOD_ALPHA_BLEND, &src, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    dst.iHeight = -4;
    EXPECT_EQ(rl->Process(RL_METHOD_ALPHA_BLEND, &src, &dst, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(fg, Bytes(16 * 4, 255));

    // Full alpha cannot keep 255 over 0: (0 * 1 + 255 * 255) >> 8 = 254. A
    // later Init replaces the map: zeros give the source exactly.
    dst.iHeight = 4;
    EXPECT_EQ(rl->Process(RL_METHOD_ALPHA_BLEND, &src, &dst, nullptr), RL_OK);
    EXPECT_EQ(fg, Bytes(16 * 4, 254));
    bg = Random(16 * 4, 8);
    src.pData[0] = bg.data();
    ASSERT_EQ(rl->Init(RL_METHOD_ALPHA_BLEND, zeros.data(), false), RL_OK);
    EXPECT_EQ(rl->Process(RL_METHOD_ALPHA_BLEND, &src, &dst, nullptr), RL_OK);
    EXPECT_EQ(fg, bg);

    // No options: only the empty request is accepted.
    int32_t v = 0;
    EXPECT_EQ(rl->SetOption(RL_METHOD_ALPHA_BLEND, static_cast<RL_EOption>(0), nullptr), RL_OK);
    EXPECT_EQ(rl->SetOption(RL_METHOD_ALPHA_BLEND, static_cast<RL_EOption>(0), &v), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->GetOption(RL_METHOD_ALPHA_BLEND, RL_OPTION_AVERAGE_TIME, &v), RL_ERR_INVALID_PARAM);
    DestroyRavvel(rl);
}

}  // namespace
