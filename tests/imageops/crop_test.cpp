#include <gtest/gtest.h>

#include <cstring>

#include "imageops/image_crop.h"
#include "imageops/imageops_test_util.h"

namespace {

using Ravvel::CImageCrop;

class CropTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&m_rl), RL_OK);
        ASSERT_EQ(m_rl->Init(RL_METHOD_IMAGE_CROP, nullptr, false), RL_OK);
    }
    void TearDown() override { DestroyRavvel(m_rl); }

    int32_t Crop(SRLCropParam p, SRLPictureInfo* src, SRLPictureInfo* dst)
    {
        EXPECT_EQ(m_rl->SetOption(RL_METHOD_IMAGE_CROP, RL_OPTION_CROP_PARAM, &p), RL_OK);
        return m_rl->Process(RL_METHOD_IMAGE_CROP, src, dst, nullptr);
    }

    // Planes far apart in one buffer with pitches 300, 200 and 100, so that a
    // pointer moved by the wrong pitch or from the wrong plane shows.
    SRLPictureInfo Source(uint32_t format, int w, int h)
    {
        SRLPictureInfo p = imageops_test::Pic(format, w, h, m_buffer, m_buffer + 20000, m_buffer + 40000);
        p.iStride[0] = 300, p.iStride[1] = 200, p.iStride[2] = 100;
        return p;
    }

    IRavvel* m_rl = nullptr;
    uint8_t m_buffer[60000];
};

struct CropCase {
    uint32_t format;
    int w, h;
    SRLCropParam param;
    int width, height;
    struct {
        int base;       // the destination plane points `off` bytes into
        ptrdiff_t off;  // source plane `base`
    } planes[3];
};

class CropRectTest : public CropTest, public testing::WithParamInterface<CropCase> {};

TEST_P(CropRectTest, DescribesTheRectangleInsideTheSource)
{
    const CropCase& c = GetParam();
    SRLPictureInfo src = Source(c.format, c.w, c.h), dst{};
    dst.pQPList = m_buffer;  // what crop does not describe stays
    ASSERT_EQ(Crop(c.param, &src, &dst), RL_OK);
    EXPECT_EQ(dst.iWidth, c.width);
    EXPECT_EQ(dst.iHeight, c.height);
    EXPECT_EQ(static_cast<uint32_t>(dst.eFormat), c.format);
    EXPECT_EQ(dst.pQPList, m_buffer);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dst.iStride[i], src.iStride[i]);
        EXPECT_EQ(dst.pData[i], src.pData[c.planes[i].base] + c.planes[i].off) << "plane " << i;
    }
}

const uint32_t kBottomUp = static_cast<uint32_t>(RL_FORMAT_FLAG_BOTTOM_UP);
#define PACKED(off) {{0, off}, {0, off}, {0, off}}
#define OWN {{0, 0}, {1, 0}, {2, 0}}

INSTANTIATE_TEST_SUITE_P(
    Cases, CropRectTest,
    testing::Values(
        // Cut at the right and bottom edges; packed layouts point every plane into plane 0.
        CropCase{RL_FORMAT_RGBA, 64, 48, {1, 10, 20, 100, 100}, 44, 38, PACKED(10 * 300 + 4 * 20)},
        CropCase{RL_FORMAT_ARGB | kBottomUp, 64, 48, {1, 47, 63, 1, 1}, 1, 1, PACKED(47 * 300 + 4 * 63)},
        // YUV corners and sizes fall to even values.
        CropCase{RL_FORMAT_UYVY, 64, 48, {1, 1, 3, 7, 5}, 6, 4, PACKED(2 * 2)},
        CropCase{RL_FORMAT_I420, 64, 48, {1, 5, 7, 21, 13}, 20, 12, {{0, 4 * 300 + 6}, {1, 2 * 200 + 3}, {2, 2 * 100 + 3}}},
        CropCase{RL_FORMAT_YV12, 64, 48, {1, 9, 3, 100, 100}, 60, 38, {{0, 8 * 300 + 2}, {1, 4 * 200 + 1}, {2, 4 * 100 + 1}}},
        CropCase{RL_FORMAT_NV21, 64, 48, {1, 11, 13, 8, 8}, 8, 8, {{0, 10 * 300 + 12}, {1, 5 * 200 + 12}, {1, 5 * 200 + 12}}},
        CropCase{RL_FORMAT_I420_2, 64, 48, {1, 2, 6, 10, 10}, 10, 10, {{0, 2 * 300 + 6}, {1, 200 + 6}, {2, 100 + 6}}},
        // The largest top-left rectangle of an aspect ratio.
        CropCase{RL_FORMAT_I420, 640, 640, {0, 0, 0, 16, 9}, 640, 360, OWN},
        CropCase{RL_FORMAT_RGBA, 1280, 720, {0, 0, 0, 4, 3}, 960, 720, PACKED(0)},
        CropCase{RL_FORMAT_I420, 99, 50, {0, 0, 0, 1, 1}, 50, 50, OWN},
        CropCase{RL_FORMAT_RGB24, 99, 50, {0, 0, 0, 2, 1}, 99, 49, PACKED(0)},
        CropCase{RL_FORMAT_RGBA, 64, 48, {0, 0, 0, 4, 3}, 64, 48, OWN},
        // The whole picture: pointers copied whatever the layout.
        CropCase{RL_FORMAT_RGB_PLANAR, 64, 48, {1, 0, 0, 64, 48}, 64, 48, OWN},
        CropCase{25, 64, 48, {1, 0, 0, 1000, 1000}, 64, 48, OWN}));

TEST_F(CropTest, RefusedRequestsLeaveTheDestinationAlone)
{
    SRLPictureInfo src = Source(RL_FORMAT_I420, 64, 48), dst;
    std::memset(&dst, 0x5A, sizeof dst);
    const SRLPictureInfo before = dst;
    EXPECT_EQ(Crop({1, 48, 0, 10, 10}, &src, &dst), RL_ERR_INVALID_PARAM);  // top at the height
    EXPECT_EQ(Crop({1, 0, 64, 10, 10}, &src, &dst), RL_ERR_INVALID_PARAM);  // left at the width
    EXPECT_EQ(Crop({1, 0, 0, 0, 10}, &src, &dst), RL_ERR_INVALID_PARAM);    // zero width
    EXPECT_EQ(Crop({0, 0, 0, 16, 0}, &src, &dst), RL_ERR_INVALID_PARAM);    // zero aspect
    EXPECT_EQ(Crop({2, 0, 0, 10, 10}, &src, &dst), RL_ERR_INVALID_PARAM);   // no such mode
    src.pData[2] = nullptr;                                                  // a plane to move is missing
    EXPECT_EQ(Crop({1, 2, 2, 10, 10}, &src, &dst), RL_ERR_INVALID_PARAM);
    src = Source(RL_FORMAT_BGR_PLANAR, 64, 48);                              // a layout that cannot be offset
    EXPECT_EQ(Crop({1, 2, 2, 10, 10}, &src, &dst), RL_ERR_INVALID_PARAM);
    src = Source(RL_FORMAT_I420, -64, 48);
    EXPECT_EQ(Crop({1, 0, 0, 10, 10}, &src, &dst), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->Process(RL_METHOD_IMAGE_CROP, nullptr, &dst, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->Process(RL_METHOD_IMAGE_CROP, &src, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(std::memcmp(&dst, &before, sizeof dst), 0);

    EXPECT_EQ(m_rl->SetOption(RL_METHOD_IMAGE_CROP, RL_OPTION_CROP_PARAM, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_IMAGE_CROP, RL_OPTION_AVERAGE_TIME, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_IMAGE_CROP, RL_OPTION_ROTATION_ANGLE, &dst), RL_OK);  // ignored
}

// The Init record is optional and replaces the request; the average time
// option reads the method's own statistics.
int64_t g_clockUs = 0;
int64_t TickingClock() { return g_clockUs += 250; }

TEST(CropMethod, InitRecordAndAverageTime)
{
    CImageCrop crop(0);
    crop.SetClock(TickingClock);
    uint8_t buf[64] = {};
    SRLPictureInfo src = imageops_test::Pic(RL_FORMAT_RGBA, 4, 4, buf), dst{};
    src.iStride[0] = 16;
    SRLCropParam param = {RL_CROP_MODE_RECT, 1, 1, 2, 2};
    ASSERT_EQ(crop.Init(&param, false), RL_OK);
    double average = -1;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(crop.Process(&src, &dst, nullptr), RL_OK);
    EXPECT_EQ(dst.pData[0], buf + 16 + 4);  // row 1, column 1
    ASSERT_EQ(crop.GetOption(RL_OPTION_AVERAGE_TIME, &average), RL_OK);
    EXPECT_EQ(average, 250.0);
}

}  // namespace
