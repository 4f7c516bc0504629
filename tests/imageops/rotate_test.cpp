#include <gtest/gtest.h>

#include <tuple>

#include "imageops/imageops_test_util.h"
#include "imageops/rotate_kernels.h"

namespace {

using namespace Ravvel;
using imageops_test::Bytes;
using imageops_test::Pic;
using imageops_test::Random;

// Pixel by pixel from the definition of a clockwise turn.
Bytes Expected(const Bytes& src, int bpp, size_t w, size_t h, int angle)
{
    Bytes dst(src.size());
    for (size_t r = 0; r < h; ++r)
        for (size_t c = 0; c < w; ++c) {
            const size_t to = angle == 90 ? c * h + (h - 1 - r) : angle == 180 ? w * h - 1 - (r * w + c) : (w - 1 - c) * h + r;
            for (int b = 0; b < bpp; ++b) dst[to * bpp + b] = src[(r * w + c) * bpp + b];
        }
    return dst;
}

RotateFunc KernelFor(int angle)
{
    return angle == 90 ? image_rotate_90D_c : angle == 180 ? image_rotate_180D_c : image_rotate_270D_c;
}

// Sizes around the 16-byte blocks and the 32/64-pixel tiles, thin planes included.
class RotateKernelTest : public testing::TestWithParam<std::tuple<int, int, std::pair<int, int>>> {};

TEST_P(RotateKernelTest, MatchesThePixelMapping)
{
    const int bpp = std::get<0>(GetParam()), angle = std::get<1>(GetParam());
    const int w = std::get<2>(GetParam()).first, h = std::get<2>(GetParam()).second;
    const Bytes src = Random(size_t(w) * h * bpp, uint32_t(w * 131 + h * 7 + bpp));
    Bytes dst(src.size(), 0xCD);
    EXPECT_EQ(KernelFor(angle)(src.data(), bpp, w, h, dst.data()), RL_OK);
    EXPECT_EQ(dst, Expected(src, bpp, w, h, angle));
    // An empty plane writes nothing.
    EXPECT_EQ(KernelFor(angle)(src.data(), bpp, 0, h, dst.data()), RL_OK);
    EXPECT_EQ(KernelFor(angle)(src.data(), 0, w, h, dst.data()), RL_OK);
    EXPECT_EQ(dst, Expected(src, bpp, w, h, angle));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, RotateKernelTest,
    testing::Combine(testing::Values(1, 2, 3, 4, 6), testing::Values(90, 180, 270),
                     testing::Values(std::make_pair(1, 1), std::make_pair(1, 9), std::make_pair(9, 1),
                                     std::make_pair(7, 3), std::make_pair(16, 16), std::make_pair(17, 5),
                                     std::make_pair(65, 63), std::make_pair(130, 67), std::make_pair(97, 200))));

// ---- Through IRavvel -------------------------------------------------------

class RotateMethodTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&m_rl), RL_OK);
        ASSERT_EQ(m_rl->Init(RL_METHOD_IMAGE_ROTATING, nullptr, false), RL_OK);
    }
    void TearDown() override { DestroyRavvel(m_rl); }
    int32_t SetAngle(uint32_t a) { return m_rl->SetOption(RL_METHOD_IMAGE_ROTATING, RL_OPTION_ROTATION_ANGLE, &a); }
    int32_t Rotate(SRLPictureInfo* s, SRLPictureInfo* d) { return m_rl->Process(RL_METHOD_IMAGE_ROTATING, s, d, nullptr); }
    IRavvel* m_rl = nullptr;
};

TEST_F(RotateMethodTest, PackedPictures)
{
    // 4x2 RGB24 by 90 degrees (the default): the first row is the first column read bottom to top.
    Bytes rgb;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) rgb.insert(rgb.end(), {uint8_t(10 * r + c), uint8_t(100 + 10 * r + c), uint8_t(200 + c)});
    Bytes out(rgb.size(), 0);
    SRLPictureInfo s = Pic(RL_FORMAT_BGR24, 4, 2, rgb.data()), d = Pic(RL_FORMAT_BGR24, 2, 4, out.data());
    ASSERT_EQ(Rotate(&s, &d), RL_OK);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), (Bytes{10, 110, 200, 0, 100, 200}));
    // Four-byte pixels move whole.
    Bytes px = Random(9 * 5 * 4, 2);
    out.assign(px.size(), 0);
    s = Pic(RL_FORMAT_ARGB, 9, 5, px.data()), d = Pic(RL_FORMAT_ARGB, 5, 9, out.data());
    ASSERT_EQ(Rotate(&s, &d), RL_OK);
    EXPECT_EQ(out, Expected(px, 4, 9, 5, 90));
}

// Planar and semi-planar pictures of odd size: chroma takes the integer
// halves; NV12's chroma pairs follow the luma in the same buffer and keep
// U before V.
class RotateYuvTest : public RotateMethodTest, public testing::WithParamInterface<std::tuple<uint32_t, int>> {};

TEST_P(RotateYuvTest, PlanesFollowTheMapping)
{
    const uint32_t format = std::get<0>(GetParam());
    const int angle = std::get<1>(GetParam());
    const size_t w = 33, h = 17, cw = w / 2, ch = h / 2, luma = w * h, chroma = cw * ch;
    ASSERT_EQ(SetAngle(uint32_t(angle)), RL_OK);
    Bytes in[3], want[3], out[3];
    if (format == RL_FORMAT_I420 || format == RL_FORMAT_YV12) {
        for (int i = 0; i < 3; ++i) {
            in[i] = Random(i ? chroma : luma, uint32_t(i + 1));
            want[i] = Expected(in[i], 1, i ? cw : w, i ? ch : h, angle);
        }
    } else {
        in[0] = Random(luma + 2 * chroma, 9);
        want[0] = Expected(Bytes(in[0].begin(), in[0].begin() + luma), 1, w, h, angle);
        const Bytes uv = Expected(Bytes(in[0].begin() + luma, in[0].end()), 2, cw, ch, angle);
        want[0].insert(want[0].end(), uv.begin(), uv.end());
    }
    for (int i = 0; i < 3; ++i) out[i].assign(in[i].size(), 0xCD);
    SRLPictureInfo s = Pic(format, w, h, in[0].data(), in[1].data(), in[2].data());
    SRLPictureInfo d = Pic(format, h, w, out[0].data(), out[1].data(), out[2].data());
    ASSERT_EQ(Rotate(&s, &d), RL_OK);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(out[i], want[i]) << "plane " << i;
}

INSTANTIATE_TEST_SUITE_P(Layouts, RotateYuvTest,
                         testing::Combine(testing::Values(RL_FORMAT_I420, RL_FORMAT_YV12, RL_FORMAT_NV12, RL_FORMAT_NV21),
                                          testing::Values(90, 180, 270)));

TEST_F(RotateMethodTest, RefusedRequestsWriteNothing)
{
    Bytes src(64 * 4, 7), dst(64 * 4, 0xCD);
    SRLPictureInfo s = Pic(RL_FORMAT_RGBA, 8, 8, src.data(), src.data(), src.data());
    SRLPictureInfo d = Pic(RL_FORMAT_RGBA, 8, 8, dst.data());
    for (uint32_t angle : {0u, 45u, 91u, 360u}) {
        ASSERT_EQ(SetAngle(angle), RL_OK);  // stored unchecked
        EXPECT_EQ(Rotate(&s, &d), RL_ERR_UNSUPPORTED) << angle;
    }
    ASSERT_EQ(SetAngle(90), RL_OK);
    const uint32_t bottomUp = static_cast<uint32_t>(RL_FORMAT_FLAG_BOTTOM_UP);
    for (uint32_t f : {0u, 3u, 9u, 10u, 11u, 20u, 22u, 25u, 30u, 31u, 23u | bottomUp, 2u | bottomUp}) {
        s.eFormat = static_cast<RL_EVideoFormat>(f);
        EXPECT_EQ(Rotate(&s, &d), RL_ERR_UNSUPPORTED) << f;
    }
    s.eFormat = RL_FORMAT_RGBA;
    EXPECT_EQ(Rotate(nullptr, &d), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(Rotate(&s, nullptr), RL_ERR_INVALID_PARAM);
    s.iWidth = -8;
    EXPECT_EQ(Rotate(&s, &d), RL_ERR_INVALID_PARAM);
    s = Pic(RL_FORMAT_I420, 8, 8, src.data(), src.data(), nullptr);  // a plane the layout needs
    SRLPictureInfo i420Out = Pic(RL_FORMAT_I420, 8, 8, dst.data(), dst.data(), dst.data());
    EXPECT_EQ(Rotate(&s, &i420Out), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(dst, Bytes(64 * 4, 0xCD));

    uint32_t angle = 0;
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_IMAGE_ROTATING, RL_OPTION_ROTATION_ANGLE, &angle), RL_OK);
    EXPECT_EQ(angle, 90u);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_IMAGE_ROTATING, RL_OPTION_CROP_PARAM, &angle), RL_OK);  // ignored
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_IMAGE_ROTATING, RL_OPTION_ROTATION_ANGLE, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_IMAGE_ROTATING, RL_OPTION_ROTATION_ANGLE, nullptr), RL_ERR_INVALID_PARAM);
}

}  // namespace
