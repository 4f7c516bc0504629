// The tool's own colour conversion and its option parsing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "../../tools/image.h"
#include "../../tools/methods.h"

namespace {

using rvtool::I420Image;
using rvtool::RgbImage;

TEST(ToolColour, Bt601LimitedRangeReferencePoints)
{
    struct Case {
        uint8_t r, g, b, y, u, v;
    };
    const Case cases[] = {
        {0, 0, 0, 16, 128, 128},       {255, 255, 255, 235, 128, 128}, {255, 0, 0, 82, 90, 240},
        {0, 255, 0, 144, 54, 34},      {0, 0, 255, 41, 240, 110},
    };
    for (const Case& c : cases) {
        RgbImage rgb;
        I420Image yuv;
        ASSERT_TRUE(rgb.Allocate(2, 2));
        ASSERT_TRUE(yuv.Allocate(2, 2));
        for (int i = 0; i < 4; ++i) {
            rgb.buf.Data()[3 * i] = c.r;
            rgb.buf.Data()[3 * i + 1] = c.g;
            rgb.buf.Data()[3 * i + 2] = c.b;
        }
        rvtool::RgbToI420(rgb, &yuv);
        EXPECT_EQ(yuv.Y()[3], c.y) << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_EQ(yuv.U()[0], c.u);
        EXPECT_EQ(yuv.V()[0], c.v);
    }
}

// Odd sizes: the last chroma column and row come from the pixels that exist,
// and nothing is written outside the planes (ASan watches the buffers).
TEST(ToolColour, RoundTripStaysCloseOnEvenAndOddSizes)
{
    for (const auto& size : {std::make_pair(8, 6), std::make_pair(7, 5), std::make_pair(1, 1)}) {
        RgbImage rgb, back;
        I420Image yuv;
        ASSERT_TRUE(rgb.Allocate(size.first, size.second));
        ASSERT_TRUE(back.Allocate(size.first, size.second));
        ASSERT_TRUE(yuv.Allocate(size.first, size.second));
        // Flat colour per 2x2 block, so chroma subsampling loses nothing.
        for (int y = 0; y < rgb.height; ++y)
            for (int x = 0; x < rgb.width; ++x) {
                uint8_t* p = rgb.Row(y) + 3 * x;
                p[0] = static_cast<uint8_t>(40 + 20 * (x / 2));
                p[1] = static_cast<uint8_t>(200 - 30 * (y / 2));
                p[2] = 90;
            }
        rvtool::RgbToI420(rgb, &yuv);
        rvtool::I420ToRgb(yuv, &back);
        for (size_t i = 0; i < rgb.buf.Size(); ++i)
            EXPECT_LE(std::abs(rgb.buf.Data()[i] - back.buf.Data()[i]), 3) << "byte " << i;
    }
}

TEST(ToolImage, PlanesStartOn64ByteBoundariesWithPackedRows)
{
    I420Image img;
    ASSERT_TRUE(img.Allocate(34, 18));  // plane sizes 612 and 153: not multiples of 64
    for (int p = 0; p < 3; ++p) EXPECT_EQ(reinterpret_cast<uintptr_t>(img.Plane(p)) % 64, 0u) << p;
    SRLPictureInfo d = img.Describe();
    EXPECT_EQ(d.iStride[0], 34);
    EXPECT_EQ(d.iStride[1], 17);
    EXPECT_EQ(d.iStride[2], 17);
    EXPECT_EQ(img.PictureBytes(), 34u * 18 + 2u * 17 * 9);
}

TEST(ToolImage, CopiesAWindowDescribedWithForeignPitches)
{
    // A 4x2 window at (row 2, column 2) of an 8x6 picture, as crop describes it.
    I420Image src, out;
    ASSERT_TRUE(src.Allocate(8, 6));
    for (size_t i = 0; i < src.LumaBytes(); ++i) src.Y()[i] = static_cast<uint8_t>(i);
    for (size_t i = 0; i < src.ChromaBytes(); ++i) src.U()[i] = static_cast<uint8_t>(100 + i);
    SRLPictureInfo d = src.Describe();
    d.pData[0] += 2 * 8 + 2;
    d.pData[1] += 1 * 4 + 1;
    d.pData[2] += 1 * 4 + 1;
    d.iWidth = 4;
    d.iHeight = 2;
    ASSERT_TRUE(rvtool::CopyI420FromPicture(d, &out));
    EXPECT_EQ(out.width, 4);
    EXPECT_EQ(out.Y()[0], 18);
    EXPECT_EQ(out.Y()[4], 26);
    EXPECT_EQ(out.U()[1], 106);
    d.pData[2] = nullptr;
    EXPECT_FALSE(rvtool::CopyI420FromPicture(d, &out));
}

TEST(ToolArguments, SizesAndNumbersAreStrict)
{
    int w = 0, h = 0, n = 0;
    float f = 0;
    EXPECT_TRUE(rvtool::ParseSize("640x360", &w, &h));
    EXPECT_EQ(w * 1000 + h, 640360);
    for (const char* bad : {"640", "640x", "x360", "640X360", "0x10", "-2x10", "640x360x2", "99999x10"})
        EXPECT_FALSE(rvtool::ParseSize(bad, &w, &h)) << bad;
    EXPECT_FALSE(rvtool::ParseInt("12a", 0, 100, &n));
    EXPECT_FALSE(rvtool::ParseInt("101", 0, 100, &n));
    EXPECT_TRUE(rvtool::ParseFloat("1.25", &f));
    EXPECT_FALSE(rvtool::ParseFloat("nan", &f));
    EXPECT_FALSE(rvtool::ParseFloat("1.2.3", &f));
}

TEST(ToolMethods, EveryRowIsCompleteAndOptionsAreCheckedByName)
{
    size_t n = 0;
    const rvtool::MethodRow* rows = rvtool::MethodTable(&n);
    ASSERT_GE(n, 10u);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_TRUE(rows[i].prepare && rows[i].frame) << rows[i].name;
        EXPECT_EQ(rows[i].kind == rvtool::MethodKind::kAnalysis, rows[i].report != nullptr) << rows[i].name;
        EXPECT_EQ(rvtool::FindMethod(rows[i].name), &rows[i]);
    }
    EXPECT_EQ(rvtool::FindMethod("csc"), rvtool::FindMethod("convert"));
    EXPECT_EQ(rvtool::FindMethod("sharpen"), nullptr);

    rvtool::MethodRun run(*rvtool::FindMethod("rotate"), nullptr);
    EXPECT_EQ(run.Int("angle"), 90);
    EXPECT_EQ(run.SetParam("angle", "270"), "");
    EXPECT_EQ(run.Int("angle"), 270);
    EXPECT_NE(run.SetParam("angle", "ninety").find("expects an integer"), std::string::npos);
    EXPECT_NE(run.SetParam("degrees", "90").find("unknown option 'degrees' for rotate (known: angle)"),
              std::string::npos);
    rvtool::MethodRun sc(*rvtool::FindMethod("scenechange"), nullptr);
    EXPECT_NE(sc.SetParam("x", "1").find("it has none"), std::string::npos);
}

}  // namespace
