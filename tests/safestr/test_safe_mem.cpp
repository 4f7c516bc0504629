#include <string.h>

#include <vector>

#include "capture_handler.h"

namespace {

const char kSrc[16] = "0123456789abcde";
alignas(4) const uint16_t k16[8] = {1, 2, 3, 4, 5, 6, 7, 8};
alignas(4) const uint32_t k32[4] = {1, 2, 3, 4};
int g_diff;

uint16_t* U16(char* b)
{
    return reinterpret_cast<uint16_t*>(b);
}
uint32_t* U32(char* b)
{
    return reinterpret_cast<uint32_t*>(b);
}

TEST_P(ViolationTest, ReportsCodeMessageAndClearsOnlyWhatItMay)
{
    const ViolationCase& c = GetParam();
    alignas(8) char buf[16];
    memcpy(buf, "ab", 3);
    memset(buf + 3, 'x', sizeof buf - 3);
    char before[16];
    memcpy(before, buf, sizeof buf);

    EXPECT_EQ(c.call(buf), c.result);
    ExpectReported(c.message, c.code);
    for (size_t i = c.effect.clearBegin; i < c.effect.clearEnd; ++i) EXPECT_EQ(buf[i], 0) << "index " << i;
    for (size_t i = 0; i < sizeof buf; ++i) {
        if (i >= c.effect.clearBegin && i < c.effect.windowEnd) continue;
        EXPECT_EQ(buf[i], before[i]) << "written outside the allowed window at " << i;
    }
}

const ViolationCase kMemoryCases[] = {
    CASE("memcpy_null_dest", corvel_memcpy_s(nullptr, 8, kSrc, 4), 400, "memcpy_s: dest is NULL", kUntouched),
    CASE("memcpy_zero_dmax", corvel_memcpy_s(b, 0, kSrc, 4), 401, "memcpy_s: dmax is 0", kUntouched),
    CASE("memcpy_dmax_over_limit", corvel_memcpy_s(b, RSIZE_MAX_MEM + 1, kSrc, 4), 403,
         "memcpy_s: dmax exceeds max", kUntouched),
    CASE("memcpy_zero_smax", corvel_memcpy_s(b, 8, kSrc, 0), 401, "memcpy_s: smax is 0", Cleared(0, 8)),
    CASE("memcpy_smax_over_dmax", corvel_memcpy_s(b, 8, kSrc, 9), 403, "memcpy_s: smax exceeds dmax",
         Cleared(0, 8)),
    CASE("memcpy_null_src", corvel_memcpy_s(b, 8, nullptr, 4), 400, "memcpy_s: src is NULL", Cleared(0, 8)),
    CASE("memcpy_src_in_last_dest_byte", corvel_memcpy_s(b, 8, b + 7, 1), 404, "memcpy_s: overlap undefined",
         Cleared(0, 8)),
    CASE("memcpy_dest_inside_src", corvel_memcpy_s(b + 8, 8, b + 4, 5), 404, "memcpy_s: overlap undefined",
         Cleared(8, 16)),
    CASE("memcpy16_smax_over_dmax", corvel_memcpy16_s(U16(b), 4, k16, 5), 403,
         "memcpy16_s: smax exceeds dmax", Cleared(0, 8)),
    CASE("memcpy16_dmax_over_limit", corvel_memcpy16_s(U16(b), RSIZE_MAX_MEM16 + 1, k16, 1), 403,
         "memcpy16_s: dmax exceeds max", kUntouched),
    CASE("memcpy32_overlap", corvel_memcpy32_s(U32(b), 2, U32(b) + 1, 1), 404,
         "memcpy32_s: overlap undefined", Cleared(0, 8)),
    CASE("memmove_smax_over_dmax", corvel_memmove_s(b, 8, kSrc, 9), 403, "memmove_s: smax exceeds max",
         Cleared(0, 8)),
    CASE("memmove16_zero_smax", corvel_memmove16_s(U16(b), 4, k16, 0), 401, "memove16_s: smax is 0",
         Cleared(0, 8)),
    CASE("memmove32_dmax_over_limit", corvel_memmove32_s(U32(b), RSIZE_MAX_MEM32 + 1, k32, 1), 403,
         "memove32_s: dmax exceeds max", kUntouched),
    CASE("memset_null", corvel_memset_s(nullptr, 4, 1), 400, "memset_s: dest is null", kUntouched),
    CASE("memset_over_limit", corvel_memset_s(b, RSIZE_MAX_MEM + 1, 1), 403, "memset_s: len exceeds max",
         kUntouched),
    CASE("memset16_zero_len", corvel_memset16_s(U16(b), 0, 1), 401, "memset16_s: len is 0", kUntouched),
    CASE("memset32_over_limit", corvel_memset32_s(U32(b), RSIZE_MAX_MEM32 + 1, 1), 403,
         "memset32_s: len exceeds max", kUntouched),
    CASE("memzero16_over_limit", corvel_memzero16_s(U16(b), RSIZE_MAX_MEM16 + 1), 403,
         "memzero16_s: len exceeds max", kUntouched),
    CASE("memcmp_null_diff", corvel_memcmp_s(b, 8, kSrc, 4, nullptr), 400, "memcmp_s: diff is null",
         kUntouched),
    CASE("memcmp_smax_over_dmax", corvel_memcmp_s(b, 8, kSrc, 9, &g_diff), 403, "memcmp_s: smax exceeds dmax",
         kUntouched),
    CASE("memcmp32_dmax_over_limit", corvel_memcmp32_s(U32(b), RSIZE_MAX_MEM32 + 1, k32, 1, &g_diff), 403,
         "memcmp32_s: dmax exceeds max", kUntouched),
};
INSTANTIATE_TEST_SUITE_P(Memory, ViolationTest, ::testing::ValuesIn(kMemoryCases), CaseName);

using MemoryTest = SafeLibTest;

TEST_F(MemoryTest, CopiesWriteSmaxUnitsOnly)
{
    char buf[8];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(corvel_memcpy_s(buf, 6, kSrc, 6), SAFE_EOK);
    EXPECT_EQ(std::string(buf, 8), "012345xx");
    EXPECT_EQ(corvel_memcpy_s(buf, 3, buf + 3, 3), SAFE_EOK);  // adjacent ranges do not overlap
    EXPECT_EQ(std::string(buf, 8), "345345xx");
    EXPECT_EQ(corvel_memcpy_s(buf, RSIZE_MAX_MEM, kSrc, 2), SAFE_EOK);  // the limit itself is accepted

    uint16_t d16[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(corvel_memcpy16_s(d16, 4, k16, 3), SAFE_EOK);
    EXPECT_EQ(std::vector<uint16_t>(d16, d16 + 6), (std::vector<uint16_t>{1, 2, 3, 9, 9, 9}));
    uint32_t d32[4] = {9, 9, 9, 9};
    EXPECT_EQ(corvel_memcpy32_s(d32, RSIZE_MAX_MEM32, k32, 3), SAFE_EOK);
    EXPECT_EQ(std::vector<uint32_t>(d32, d32 + 4), (std::vector<uint32_t>{1, 2, 3, 9}));
    ExpectQuiet();
}

TEST_F(MemoryTest, MovesHandleOverlapInBothDirections)
{
    char buf[] = "abcdefgh";
    EXPECT_EQ(corvel_memmove_s(buf + 2, 6, buf, 5), SAFE_EOK);
    EXPECT_STREQ(buf, "ababcdeh");
    EXPECT_EQ(corvel_memmove_s(buf, 8, buf + 3, 4), SAFE_EOK);
    EXPECT_STREQ(buf, "bcdecdeh");
    uint16_t w[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(corvel_memmove16_s(w + 1, 5, w, 4), SAFE_EOK);
    EXPECT_EQ(std::vector<uint16_t>(w, w + 6), (std::vector<uint16_t>{1, 1, 2, 3, 4, 6}));
    uint32_t q[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(corvel_memmove32_s(q, 5, q + 2, 3), SAFE_EOK);
    EXPECT_EQ(std::vector<uint32_t>(q, q + 5), (std::vector<uint32_t>{3, 4, 5, 4, 5}));
    ExpectQuiet();
}

TEST_F(MemoryTest, FillsWriteLenUnitsOfTheValue)
{
    unsigned char b[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(corvel_memset_s(b, 4, 0x1A5), SAFE_EOK);  // only the low byte counts
    EXPECT_EQ(corvel_memzero_s(b + 1, 2), SAFE_EOK);
    EXPECT_EQ(std::vector<unsigned char>(b, b + 6), (std::vector<unsigned char>{0xA5, 0, 0, 0xA5, 7, 7}));
    uint16_t w[4] = {1, 1, 1, 1};
    EXPECT_EQ(corvel_memset16_s(w, 3, 0xBEEF), SAFE_EOK);
    EXPECT_EQ(corvel_memzero16_s(w, 1), SAFE_EOK);
    EXPECT_EQ(std::vector<uint16_t>(w, w + 4), (std::vector<uint16_t>{0, 0xBEEF, 0xBEEF, 1}));
    uint32_t q[3] = {1, 1, 1};
    EXPECT_EQ(corvel_memset32_s(q, 2, 0xDEADBEEF), SAFE_EOK);
    EXPECT_EQ(corvel_memzero32_s(q, 1), SAFE_EOK);
    EXPECT_EQ(std::vector<uint32_t>(q, q + 3), (std::vector<uint32_t>{0, 0xDEADBEEF, 1}));
    ExpectQuiet();
}

TEST_F(MemoryTest, CompareReportsTheFirstDifferenceWithinSmax)
{
    const unsigned char a[4] = {1, 2, 200, 4}, b[4] = {1, 2, 3, 9};
    int diff = -1;
    EXPECT_EQ(corvel_memcmp_s(a, 4, b, 4, &diff), SAFE_EOK);
    EXPECT_EQ(diff, 197);
    EXPECT_EQ(corvel_memcmp_s(b, 4, a, 4, &diff), SAFE_EOK);
    EXPECT_EQ(diff, -197);
    EXPECT_EQ(corvel_memcmp_s(a, 4, b, 2, &diff), SAFE_EOK);
    EXPECT_EQ(diff, 0);
    const uint16_t w1[2] = {5, 60000}, w2[2] = {5, 1};
    EXPECT_EQ(corvel_memcmp16_s(w1, 2, w2, 2, &diff), SAFE_EOK);
    EXPECT_EQ(diff, 59999);
    const uint32_t q1[1] = {0}, q2[1] = {0xFFFFFFFFu};  // too far apart for an int: the sign survives
    EXPECT_EQ(corvel_memcmp32_s(q1, 1, q2, 1, &diff), SAFE_EOK);
    EXPECT_LT(diff, 0);
    ExpectQuiet();
}

TEST(MemPrimitives, FillAndMoveOverlappingUnits)
{
    uint32_t q[5] = {1, 2, 3, 4, 5};
    mem_prim_move32(q + 1, q, 4);
    mem_prim_set32(q + 4, 1, 7);
    EXPECT_EQ(std::vector<uint32_t>(q, q + 5), (std::vector<uint32_t>{1, 1, 2, 3, 7}));
    uint16_t w[5] = {1, 2, 3, 4, 5};
    mem_prim_move16(w, w + 2, 3);
    mem_prim_set16(w, 1, 0xABCD);
    EXPECT_EQ(std::vector<uint16_t>(w, w + 5), (std::vector<uint16_t>{0xABCD, 4, 5, 4, 5}));
    uint8_t b[5] = {1, 2, 3, 4, 5};
    mem_prim_move8(b + 1, b, 3);
    mem_prim_move(b, b + 4, 1);
    mem_prim_set(b + 4, 1, 0xEE);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 5), (std::vector<uint8_t>{5, 1, 2, 3, 0xEE}));
}

}  // namespace
