#include "capture_handler.h"

namespace {

int g_other = 0;
void OtherHandler(const char*, void*, errno_t_rl)
{
    ++g_other;
}

TEST_F(SafeLibTest, InstalledHandlerReceivesEveryViolation)
{
    char buf[4] = "ab";
    EXPECT_EQ(corvel_strcat_s(nullptr, 4, "x"), SAFE_ERR_NULL);
    EXPECT_EQ(corvel_memset_s(buf, 0, 0), SAFE_ERR_ZERO_LENGTH);
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[0].message, "strcat_s: dest is null");
    EXPECT_EQ(Calls()[1].message, "memset_s: len is 0");
    EXPECT_EQ(Calls()[1].code, SAFE_ERR_ZERO_LENGTH);
}

TEST_F(SafeLibTest, InstallReturnsPreviousAndNullRestoresSilentDefault)
{
    EXPECT_EQ(safe_lib_set_constraint_handler(&OtherHandler), &Capture);
    g_other = 0;
    EXPECT_EQ(corvel_memzero_s(nullptr, 1), SAFE_ERR_NULL);
    EXPECT_EQ(g_other, 1);

    EXPECT_EQ(safe_lib_set_constraint_handler(nullptr), &OtherHandler);
    // The default still returns the code but tells no one.
    EXPECT_EQ(corvel_memzero_s(nullptr, 1), SAFE_ERR_NULL);
    EXPECT_EQ(g_other, 1);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(safe_lib_set_constraint_handler(&Capture), &safe_lib_default_constraint_handler);
}

TEST_F(SafeLibTest, SuccessDoesNotCallTheHandler)
{
    char buf[8] = "";
    EXPECT_EQ(corvel_strcpy_s(buf, sizeof buf, "abc"), SAFE_EOK);
    EXPECT_EQ(corvel_memset_s(buf, sizeof buf, 1), SAFE_EOK);
    ExpectQuiet();
}

}  // namespace
