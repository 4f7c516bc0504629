// Inputs that once crashed the library, found by the lifecycle test and the
// fuzz targets. Each stays here as a plain test.
#include <gtest/gtest.h>

#include "support/picture.h"

namespace {

class Regression : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&m_rl), RL_OK);
        int32_t quiet = -1;
        m_rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_LEVEL, &quiet);
    }
    void TearDown() override { DestroyRavvel(m_rl); }
    IRavvel* m_rl = nullptr;
};

// A screen-RGBA (or unknown) source is read as I420_2, whose three planes must
// all be there; a one-plane picture used to be read through null planes.
TEST_F(Regression, ConverterRefusesOnePlaneSourceReadAsI420_2)
{
    ASSERT_EQ(m_rl->Init(RL_METHOD_COLOR_SPACE_CONVERT, nullptr, false), RL_OK);
    for (uint32_t format : {static_cast<uint32_t>(RL_FORMAT_RGBA_SCREEN), 0u, 3u, 25u}) {
        rltest::Picture src(RL_FORMAT_RGBA, 64, 48), dst(RL_FORMAT_I420, 64, 48);
        src.info()->eFormat = static_cast<RL_EVideoFormat>(format);
        src.info()->pData[1] = src.info()->pData[2] = nullptr;
        dst.Fill(7);
        EXPECT_EQ(m_rl->Process(RL_METHOD_COLOR_SPACE_CONVERT, src.info(), dst.info(), nullptr),
                  RL_ERR_INVALID_PARAM)
            << format;
        for (size_t i = 0; i < dst.size(); ++i) ASSERT_EQ(dst.block()[i], 7) << format;
    }
}

// The blend reads the source with the destination's geometry: a smaller
// source, or one of another layout, used to be read past its end.
TEST_F(Regression, AlphaBlendRefusesASourceThatDoesNotFitTheDestination)
{
    static uint8_t alpha[64 * 48];
    ASSERT_EQ(m_rl->Init(RL_METHOD_ALPHA_BLEND, alpha, false), RL_OK);
    struct Case {
        uint32_t srcFormat;
        int w, h;
        uint32_t dstFormat;
    };
    const Case cases[] = {{RL_FORMAT_I420, 32, 48, RL_FORMAT_I420}, {RL_FORMAT_RGBA, 64, 47, RL_FORMAT_RGBA},
                          {RL_FORMAT_RGB24, 64, 48, RL_FORMAT_RGBA}, {RL_FORMAT_NV12, 64, 48, RL_FORMAT_I420}};
    for (const Case& c : cases) {
        rltest::Picture src(c.srcFormat, c.w, c.h), dst(c.dstFormat, 64, 48);
        src.Fill(1);
        dst.Fill(9);
        EXPECT_EQ(m_rl->Process(RL_METHOD_ALPHA_BLEND, src.info(), dst.info(), nullptr), RL_ERR_MISMATCH)
            << c.srcFormat << " " << c.w << "x" << c.h;
        for (size_t i = 0; i < dst.size(); ++i) ASSERT_EQ(dst.block()[i], 9);
    }
}

// Blending and rotation walk planes top-down and tightly packed; a plane
// described bottom-up by a negative pitch lies below its pointer and used to
// be read (fuzzer finding) past the end of the host's buffer.
TEST_F(Regression, PackedPlaneMethodsRefuseNegativePitches)
{
    static uint8_t alpha[64 * 48];
    ASSERT_EQ(m_rl->Init(RL_METHOD_ALPHA_BLEND, alpha, false), RL_OK);
    ASSERT_EQ(m_rl->Init(RL_METHOD_IMAGE_ROTATING, nullptr, false), RL_OK);
    for (uint32_t format : {static_cast<uint32_t>(RL_FORMAT_RGBA), static_cast<uint32_t>(RL_FORMAT_I420)}) {
        for (RL_EMethod method : {RL_METHOD_ALPHA_BLEND, RL_METHOD_IMAGE_ROTATING}) {
            rltest::Picture src, dst(format, 64, 48);
            src.Allocate(format, 64, 48, 0, /*negativeStride=*/true);
            src.Fill(1);
            dst.Fill(9);
            EXPECT_EQ(m_rl->Process(method, src.info(), dst.info(), nullptr), RL_ERR_INVALID_PARAM)
                << method << " " << format;
            for (size_t i = 0; i < dst.size(); ++i) ASSERT_EQ(dst.block()[i], 9);
        }
    }
}

// Caller output: an aligned destination is written in place, an unaligned one
// goes through the library buffer. The buffer's plane pointers used to be
// left pointing at the earlier frame's caller planes when its size still fit
// (fuzzer finding: a write into freed memory).
TEST_F(Regression, DownsamplerNeverWritesToAnEarlierFramesPlanes)
{
    ASSERT_EQ(m_rl->Init(RL_METHOD_DOWNSAMPLING, nullptr, true), RL_OK);
    {
        rltest::Picture src(RL_FORMAT_NV21, 32, 136), dst(RL_FORMAT_NV21, 18, 92);  // unaligned: buffered
        src.Fill(10);
        ASSERT_EQ(m_rl->Process(RL_METHOD_DOWNSAMPLING, src.info(), dst.info(), nullptr), RL_OK);
    }
    {
        rltest::Picture src(RL_FORMAT_RGB24, 164, 158, 16), dst(RL_FORMAT_RGB24, 64, 64, 16);
        src.Fill(20);
        ASSERT_EQ(m_rl->Process(RL_METHOD_DOWNSAMPLING, src.info(), dst.info(), nullptr), RL_OK);
    }  // both pictures freed here
    rltest::Picture src(RL_FORMAT_NV21, 32, 136), dst(RL_FORMAT_NV21, 18, 92);
    src.Fill(30);
    dst.Fill(0);
    ASSERT_EQ(m_rl->Process(RL_METHOD_DOWNSAMPLING, src.info(), dst.info(), nullptr), RL_OK);
    EXPECT_EQ(dst.info()->pData[0][0], 30);  // the result reached this frame's planes
}

// A format value that does not match the planes (here an I420 picture sent
// as an unknown format, which the converter reads as I420_2 with full-width
// chroma rows) used to be read past the chroma planes (fuzzer finding).
TEST_F(Regression, ConverterRefusesPitchesShorterThanTheRowsItReads)
{
    ASSERT_EQ(m_rl->Init(RL_METHOD_COLOR_SPACE_CONVERT, nullptr, false), RL_OK);
    rltest::Picture src(RL_FORMAT_I420, 64, 48), dst(RL_FORMAT_I420, 64, 48);
    src.info()->eFormat = static_cast<RL_EVideoFormat>(25);
    dst.Fill(7);
    EXPECT_EQ(m_rl->Process(RL_METHOD_COLOR_SPACE_CONVERT, src.info(), dst.info(), nullptr), RL_ERR_INVALID_PARAM);
    rltest::Picture rgb(RL_FORMAT_RGB24, 64, 48);
    rgb.info()->eFormat = RL_FORMAT_RGBA;  // 3-byte rows described as 4-byte pixels
    EXPECT_EQ(m_rl->Process(RL_METHOD_COLOR_SPACE_CONVERT, rgb.info(), dst.info(), nullptr), RL_ERR_INVALID_PARAM);
    for (size_t i = 0; i < dst.size(); ++i) ASSERT_EQ(dst.block()[i], 7);
}

}  // namespace
