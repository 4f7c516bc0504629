#include "frame/memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace Ravvel {
namespace {

uint32_t HeaderSize(const void* p)
{
    uint32_t size;
    std::memcpy(&size, static_cast<const uint8_t*>(p) - kBlockSizeOffset, sizeof(size));
    return size;
}

bool AllBytes(const void* p, size_t n, uint8_t value)
{
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return std::all_of(b, b + n, [value](uint8_t x) { return x == value; });
}

class Alignment : public testing::TestWithParam<uint32_t> {};

TEST_P(Alignment, ZeroedAlignedBlockWithHeader)
{
    const uint32_t alignment = GetParam();
    for (uint32_t size : {0u, 1u, 100u, 4099u}) {
        uint8_t* p = static_cast<uint8_t*>(VeskMalloc(size, alignment));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignment, 0u);
        EXPECT_TRUE(AllBytes(p, size, 0));
        EXPECT_EQ(HeaderSize(p), size);
        uintptr_t start;
        std::memcpy(&start, p - kBlockStartOffset, sizeof(start));
        // The highest aligned address within reach: less than one alignment above start + 12.
        EXPECT_GE(reinterpret_cast<uintptr_t>(p), start + kBlockSizeOffset);
        EXPECT_LT(reinterpret_cast<uintptr_t>(p), start + kBlockSizeOffset + alignment);
        std::memset(p, 0xA5, size);  // the whole requested size is usable (checked under ASan)
        VeskFree(p);
    }
}
INSTANTIATE_TEST_SUITE_P(PowersOfTwo, Alignment, testing::Values(1u, 8u, 16u, 32u, 64u, 4096u));

TEST(VeskMalloc, RefusesBadAlignmentAndWrappingSize)
{
    EXPECT_EQ(VeskMalloc(100, 0), nullptr);
    EXPECT_EQ(VeskMalloc(100, 24), nullptr);
    EXPECT_EQ(VeskMalloc(0xFFFFFFFFu - 16 - 10, 16), nullptr);
    VeskFree(nullptr);
}

TEST(InternalReallocate, KeepsPrefixAndZeroFillsGrowth)
{
    uint8_t* p = static_cast<uint8_t*>(InternalReallocate(nullptr, 40));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    for (int i = 0; i < 40; ++i) p[i] = static_cast<uint8_t>(i + 1);

    uint8_t* grown = static_cast<uint8_t*>(InternalReallocate(p, 100));
    ASSERT_NE(grown, nullptr);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(grown[i], i + 1);
    EXPECT_TRUE(AllBytes(grown + 40, 60, 0));

    uint8_t* shrunk = static_cast<uint8_t*>(InternalReallocate(grown, 10));
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(HeaderSize(shrunk), 10u);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(shrunk[i], i + 1);
    VeskFree(shrunk);
}

TEST(VeskRealloc, LargeEnoughBlockIsKept)
{
    uint32_t capacity = 64;
    void* p = VeskMalloc(64, 16);
    EXPECT_EQ(VeskRealloc(p, &capacity, 40), p);
    EXPECT_EQ(VeskRealloc(p, &capacity, 64), p);
    EXPECT_EQ(capacity, 64u);
    VeskFree(p);
}

class Growth : public testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(Growth, RoundsTo16PlusHeadroomAndKeepsContents)
{
    uint32_t capacity = 0;
    uint8_t* p = static_cast<uint8_t*>(VeskRealloc(nullptr, &capacity, GetParam().first));
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(capacity, GetParam().second);
    EXPECT_TRUE(AllBytes(p, capacity, 0));
    std::memset(p, 0x5A, capacity);

    const uint32_t old = capacity;
    p = static_cast<uint8_t*>(VeskRealloc(p, &capacity, old + 1));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(capacity, old + 16 + 32);
    EXPECT_TRUE(AllBytes(p, old, 0x5A));
    EXPECT_TRUE(AllBytes(p + old, capacity - old, 0));
    VeskFree(p);
}
INSTANTIATE_TEST_SUITE_P(Needs, Growth,
                         testing::Values(std::make_pair(1u, 48u), std::make_pair(16u, 48u),
                                         std::make_pair(17u, 64u), std::make_pair(40u, 80u),
                                         std::make_pair(48u, 80u), std::make_pair(1000u, 1040u)));

TEST(VeskRealloc, FailedGrowthLeavesBlockAndCapacity)
{
    uint32_t capacity = 48;
    void* p = VeskMalloc(48, 16);
    EXPECT_EQ(VeskRealloc(p, &capacity, 0xFFFFFFF0u), nullptr);
    EXPECT_EQ(capacity, 48u);
    VeskFree(p);
}

// A plane inside a buffer with room for the border plus a sentinel margin.
struct Canvas {
    static constexpr int kMargin = 2;
    int iWidth, iHeight, iPad, iStride;
    std::vector<uint8_t> data;
    Canvas(int width, int height, int pad)
        : iWidth(width), iHeight(height), iPad(pad), iStride(width + 2 * (pad + kMargin) + 3),
          data(static_cast<size_t>(iStride) * (height + 2 * (pad + kMargin)), 0xEE)
    {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) At(x, y) = static_cast<uint8_t>(16 * y + x);
    }
    uint8_t& At(int x, int y) { return data[(y + iPad + kMargin) * iStride + x + iPad + kMargin]; }
    uint8_t* Plane() { return &At(0, 0); }
};

struct PadCase {
    int iWidth, iHeight, iPad;
};
class PadFrame : public testing::TestWithParam<PadCase> {};

TEST_P(PadFrame, ReplicatesNearestEdgePixel)
{
    const PadCase c = GetParam();
    Canvas canvas(c.iWidth, c.iHeight, c.iPad);
    pad_frame_data_c(canvas.Plane(), canvas.iStride, c.iWidth, c.iHeight, c.iPad);
    const int m = c.iPad + Canvas::kMargin;
    for (int y = -m; y < c.iHeight + m; ++y) {
        for (int x = -m; x < c.iWidth + m; ++x) {
            const bool inBorder = x >= -c.iPad && x < c.iWidth + c.iPad && y >= -c.iPad && y < c.iHeight + c.iPad;
            const int cx = std::clamp(x, 0, c.iWidth - 1), cy = std::clamp(y, 0, c.iHeight - 1);
            const uint8_t expected = inBorder ? static_cast<uint8_t>(16 * cy + cx) : 0xEE;
            ASSERT_EQ(canvas.At(x, y), expected) << "x=" << x << " y=" << y;
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Sizes, PadFrame,
                         testing::Values(PadCase{4, 4, 2}, PadCase{1, 1, 3}, PadCase{5, 3, 1}, PadCase{7, 2, 4}));

TEST(PadFrame, NonPositivePadLeavesMemoryAlone)
{
    for (int pad : {0, -1}) {
        Canvas canvas(4, 4, 2);
        const std::vector<uint8_t> before = canvas.data;
        pad_frame_data_c(canvas.Plane(), canvas.iStride, 4, 4, pad);
        EXPECT_EQ(canvas.data, before);
    }
}

struct FillCase {
    int iValidWidth, iFullWidth, iValidHeight, iFullHeight;
};
class Padding : public testing::TestWithParam<FillCase> {};

TEST_P(Padding, FillsOnlyOutsideTheValidRegion)
{
    const FillCase c = GetParam();
    const int stride = 12, rows = 9;
    std::vector<uint8_t> plane(stride * rows, 0x11);
    padding(plane.data(), c.iValidWidth, c.iFullWidth, c.iValidHeight, c.iFullHeight, stride, 0x3AB);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < stride; ++x) {
            const bool filled = y < c.iValidHeight ? (x >= c.iValidWidth && x < c.iFullWidth)
                                                   : (y < c.iFullHeight && x < c.iFullWidth);
            ASSERT_EQ(plane[y * stride + x], filled ? 0xAB : 0x11) << "x=" << x << " y=" << y;
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Regions, Padding,
                         testing::Values(FillCase{5, 8, 3, 6}, FillCase{8, 8, 3, 6}, FillCase{5, 8, 6, 6},
                                         FillCase{8, 5, 3, 6}, FillCase{0, 10, 0, 9}, FillCase{10, 10, 9, 9}));

}  // namespace
}  // namespace Ravvel
