#include <string.h>

#include <string>
#include <vector>

#include "capture_handler.h"

namespace {

rsize_t_rl g_size;
char* g_ptr;

const ViolationCase kStringCases[] = {
    // Argument failures leave dest alone; later ones leave an empty string (fields: all nulls).
    CASE("strcat_no_space", corvel_strcat_s(b, 4, "cd"), 406, "strcat_s: not enough space for src",
         Emptied(0, 4)),
    CASE("strcat_null_src", corvel_strcat_s(b, 4, nullptr), 400, "strcat_s: src is null", kUntouched),
    CASE("strcat_zero_dmax", corvel_strcat_s(b, 0, "c"), 401, "strcat_s: dmax is 0", kUntouched),
    CASE("strcat_unterminated", corvel_strcat_s(b + 3, 5, "c"), 407, "strcat_s: dest unterminated",
         Emptied(3, 8)),
    CASE("strcat_onto_itself", corvel_strcat_s(b, 16, b), 404, "strcat_s: overlapping objects",
         Emptied(0, 16)),
    CASE("strcpy_one_too_long", corvel_strcpy_s(b, 4, "abcd"), 406, "strcpy_s: not enough space for src",
         Emptied(0, 4)),
    CASE("strcpy_write_reaches_src", corvel_strcpy_s(b + 3, 13, b + 5), 404, "strcpy_s: overlapping objects",
         Emptied(3, 16)),
    CASE("strncpy_no_room_for_terminator", corvel_strncpy_s(b, 3, "abcdef", 3), 406,
         "strncpy_s: not enough space for src", Emptied(0, 3)),
    CASE("strncpy_zero_slen", corvel_strncpy_s(b, 4, "a", 0), 401, "strncpy_s: slen is 0", kUntouched),
    CASE("strncat_no_space", corvel_strncat_s(b, 4, "cdef", 2), 406, "strncat_s: not enough space for src",
         Emptied(0, 4)),
    CASE("strcpyfld_slen_over_dmax", corvel_strcpyfld_s(b, 4, "abcdef", 5), 403,
         "strcpyfld_s: slen exceeds max", Cleared(0, 4)),
    CASE("strcpyfldin_overlap", corvel_strcpyfldin_s(b, 8, b + 4, 4), 404,
         "strcpyfldin_s: overlapping objects", Cleared(0, 8)),
    CASE("strcpyfldout_full_field", corvel_strcpyfldout_s(b, 4, "wxyz", 4), 406,
         "strcpyfldout_s: not enough space for src", Cleared(0, 4)),
    CASE("strremovews_unterminated", corvel_strremovews_s(b + 3, 4), 407,
         "strremovews_s: dest is unterminated", Emptied(3, 7)),
    CASE("strljustify_null", corvel_strljustify_s(nullptr, 4), 400, "strljustify_s_s: dest is null",
         kUntouched),
    CASE("strtouppercase_unterminated", corvel_strtouppercase_s(b + 3, 4), 407,
         "strtouppercase_s: dest is unterminated", Emptied(3, 7)),
    VALUE_CASE("strnlen_null", corvel_strnlen_s(nullptr, 4), 0, 400, "strnlen_s: dest is null", kUntouched),
    CASE("strcmp_null_indicator", corvel_strcmp_s(b, 4, "ab", nullptr), 400, "strcmp_s: indicator is null",
         kUntouched),
    CASE("strcspn_null_count", corvel_strcspn_s(b, 4, "a", 1, nullptr), 400, "strcspn_s: count is null",
         kUntouched),
    CASE("strspn_zero_slen", corvel_strspn_s(b, 4, "a", 0, &g_size), 401, "strspn_s: slen is 0", kUntouched),
    CASE("strstr_null_substring", corvel_strstr_s(b, 4, "a", 1, nullptr), 400, "strstr_s: substring is null",
         kUntouched),
    CASE("strfirstchar_ch_zero", corvel_strfirstchar_s(b, 4, '\0', &g_ptr), 401, "strfirstchar_s: ch is 0",
         kUntouched),
    CASE("strlastchar_null_last", corvel_strlastchar_s(b, 4, 'a', nullptr), 400,
         "strlastchar_s: last is null", kUntouched),
    CASE("strfirstdiff_null_index", corvel_strfirstdiff_s(b, 4, "a", nullptr), 400,
         "strfirstdiff_s: index is null", kUntouched),
    VALUE_CASE("strtok_null_dmax", corvel_strtok_s(b, nullptr, ",", &g_ptr) != nullptr, 0, 400,
               "strtok_s: dmax is NULL", kUntouched),
    VALUE_CASE("strtok_unterminated", (g_size = 5, corvel_strtok_s(b + 3, &g_size, ",", &g_ptr) != nullptr),
               0, 407, "strtok_s: dest is unterminated", kUntouched),
    VALUE_CASE("strisdigit_unterminated", corvel_strisdigit_s(b + 3, 4), 0, 407,
               "strisdigit_s: dest is unterminated", kUntouched),
    VALUE_CASE("strismixedcase_null", corvel_strismixedcase_s(nullptr, 4), 0, 400,
               "strismixed_s: dest is null", kUntouched),
    VALUE_CASE("strispassword_dmax_5", corvel_strispassword_s("aB1!cD", 5), 0, 402,
               "strispassword_s: dest is too short", kUntouched),
    VALUE_CASE("strispassword_dmax_33", corvel_strispassword_s("aB1!cD", 33), 0, 403,
               "strispassword_s: dest exceeds max", kUntouched),
    VALUE_CASE("strispassword_unterminated", corvel_strispassword_s(b + 3, 6), 0, 407,
               "strispassword_s: dest is unterminated", kUntouched),
};
INSTANTIATE_TEST_SUITE_P(Strings, ViolationTest, ::testing::ValuesIn(kStringCases), CaseName);

using StringTest = SafeLibTest;

TEST_F(StringTest, CopiesAndAppendsUpToTheLastPlace)
{
    char buf[6];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(corvel_strcpy_s(buf, 4, "abc"), SAFE_EOK);
    EXPECT_EQ(std::string(buf, 6), std::string("abc\0xx", 6));
    EXPECT_EQ(corvel_strcat_s(buf, 6, "de"), SAFE_EOK);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(corvel_strncpy_s(buf, 6, "vwxyz", 2), SAFE_EOK);
    EXPECT_EQ(corvel_strncat_s(buf, 5, "12345", 2), SAFE_EOK);
    EXPECT_STREQ(buf, "vw12");
    char same[8] = "ab\0cd";  // a part of the same buffer that the copy never reaches
    EXPECT_EQ(corvel_strcpy_s(same, 3, same + 3), SAFE_EOK);
    EXPECT_STREQ(same, "cd");
    EXPECT_EQ(corvel_strnlen_s("abc", 3), 3u);
    EXPECT_EQ(corvel_strnlen_s("abc", 2), 2u);
    ExpectQuiet();
}

struct CompareCase {
    const char* a;
    rsize_t_rl dmax;
    const char* b;
    int sensitive, insensitive;  // signs from strcmp_s and strcasecmp_s
};
class CompareTest : public SafeLibTest, public ::testing::WithParamInterface<CompareCase> {};

int Sign(int v)
{
    return (v > 0) - (v < 0);
}

TEST_P(CompareTest, IndicatorSign)
{
    const CompareCase& c = GetParam();
    int indicator = 99;
    EXPECT_EQ(corvel_strcmp_s(c.a, c.dmax, c.b, &indicator), SAFE_EOK);
    EXPECT_EQ(Sign(indicator), c.sensitive);
    EXPECT_EQ(corvel_strcasecmp_s(c.a, c.dmax, c.b, &indicator), SAFE_EOK);
    EXPECT_EQ(Sign(indicator), c.insensitive);
    ExpectQuiet();
}

INSTANTIATE_TEST_SUITE_P(
    Strings, CompareTest,
    ::testing::Values(CompareCase{"abc", 8, "abc", 0, 0}, CompareCase{"ab", 8, "abc", -1, -1},
                      CompareCase{"ABC", 8, "abc", -1, 0},
                      CompareCase{"abcX", 3, "abcY", 0, 0},  // beyond dmax does not count
                      CompareCase{"\xe9", 8, "a", 1, 1}));   // bytes compare unsigned

TEST_F(StringTest, FieldsKeepNullsAndPad)
{
    char field[6];
    EXPECT_EQ(corvel_strcpyfld_s(field, 6, "a\0b", 3), SAFE_EOK);
    EXPECT_EQ(std::string(field, 6), std::string("a\0b\0\0\0", 6));
    EXPECT_EQ(corvel_strcpyfldin_s(field, 6, "hello", 4), SAFE_EOK);
    EXPECT_EQ(std::string(field, 6), std::string("hell\0\0", 6));
    char out[4];
    EXPECT_EQ(corvel_strcpyfldout_s(out, 4, "xyz", 3), SAFE_EOK);
    EXPECT_STREQ(out, "xyz");
    int indicator = 0;
    EXPECT_EQ(corvel_strcmpfld_s("ab\0x", 4, "ab\0y", &indicator), SAFE_EOK);
    EXPECT_LT(indicator, 0);  // bytes after a null still count
    EXPECT_EQ(corvel_strzero_s(field, 6), SAFE_EOK);
    EXPECT_EQ(std::string(field, 6), std::string(6, '\0'));
    ExpectQuiet();
}

TEST_F(StringTest, SearchesStayWithinDmaxAndReportAbsenceQuietly)
{
    char text[] = "Hello, World";
    rsize_t_rl count = 99;
    EXPECT_EQ(corvel_strspn_s(text, sizeof text, "leH", 3, &count), SAFE_EOK);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(corvel_strcspn_s(text, sizeof text, " ,", 1, &count), SAFE_EOK);  // only " " is in the set
    EXPECT_EQ(count, 6u);
    char* at = nullptr;
    EXPECT_EQ(corvel_strpbrk_s(text, 7, "Wr", 2, &at), SAFE_ERR_NOT_FOUND);
    EXPECT_EQ(corvel_strpbrk_s(text, 8, "Wr", 2, &at), SAFE_EOK);
    EXPECT_EQ(at, text + 7);
    EXPECT_EQ(corvel_strlastchar_s(text, sizeof text, 'o', &at), SAFE_EOK);
    EXPECT_EQ(at, text + 8);
    EXPECT_EQ(corvel_strlastchar_s(text, 8, 'o', &at), SAFE_EOK);
    EXPECT_EQ(at, text + 4);
    EXPECT_EQ(corvel_strfirstchar_s(text, sizeof text, 'z', &at), SAFE_ERR_NOT_FOUND);
    EXPECT_EQ(at, nullptr);
    EXPECT_EQ(corvel_strstr_s(text, 11, "World", 5, &at), SAFE_ERR_NOT_FOUND);  // last letter past dmax
    EXPECT_EQ(corvel_strstr_s(text, 12, "Worldwide", 5, &at), SAFE_EOK);        // slen bounds the pattern
    EXPECT_EQ(at, text + 7);
    EXPECT_EQ(corvel_strcasestr_s(text, sizeof text, "wORLD", 5, &at), SAFE_EOK);
    EXPECT_EQ(at, text + 7);
    EXPECT_EQ(corvel_strprefix_s(text, 4, "Hell"), SAFE_EOK);
    EXPECT_EQ(corvel_strprefix_s(text, 3, "Hell"), SAFE_ERR_NOT_FOUND);
    EXPECT_EQ(corvel_strprefix_s(text, sizeof text, "help"), SAFE_ERR_NOT_FOUND);
    ExpectQuiet();
}

struct PositionCase {
    const char* a;
    const char* b;
    rsize_t_rl dmax;
    errno_t_rl firstDiff, lastDiff, firstSame, lastSame;  // the index, or the code when >= 400
};
class PositionTest : public SafeLibTest, public ::testing::WithParamInterface<PositionCase> {};

// index by reference: it is read after the call that fills it.
void ExpectPosition(errno_t_rl code, const rsize_t_rl& index, errno_t_rl want)
{
    EXPECT_EQ(code, want >= 400 ? want : SAFE_EOK);
    if (want < 400) {
        EXPECT_EQ(index, rsize_t_rl(want));
    }
}

TEST_P(PositionTest, FirstAndLastDifferenceAndSameness)
{
    const PositionCase& c = GetParam();
    rsize_t_rl i = 0;
    ExpectPosition(corvel_strfirstdiff_s(c.a, c.dmax, c.b, &i), i, c.firstDiff);
    ExpectPosition(corvel_strlastdiff_s(c.a, c.dmax, c.b, &i), i, c.lastDiff);
    ExpectPosition(corvel_strfirstsame_s(c.a, c.dmax, c.b, &i), i, c.firstSame);
    ExpectPosition(corvel_strlastsame_s(c.a, c.dmax, c.b, &i), i, c.lastSame);
    ExpectQuiet();
}

INSTANTIATE_TEST_SUITE_P(Strings, PositionTest,
                         ::testing::Values(PositionCase{"abcdef", "abXdYf", 16, 2, 4, 0, 5},
                                           PositionCase{"abc", "abc", 16, 408, 408, 0, 2},
                                           PositionCase{"xyz", "abc", 16, 0, 2, 409, 409},
                                           PositionCase{"ab", "abcd", 16, 2, 2, 0, 1},  // length differs
                                           PositionCase{"abcdeX", "abcdeY", 5, 408, 408, 0, 4}));

TEST_F(StringTest, TokenizesAcrossCallsAndTracksTheCapacity)
{
    char text[] = "  a,bc,, d ";
    rsize_t_rl left = sizeof text;
    char* next = nullptr;
    std::vector<std::string> tokens;
    for (char* t = corvel_strtok_s(text, &left, " ,", &next); t;
         t = corvel_strtok_s(nullptr, &left, " ,", &next))
        tokens.push_back(t);
    EXPECT_EQ(tokens, (std::vector<std::string>{"a", "bc", "d"}));
    EXPECT_EQ(left, 1u);  // only the terminator remains
    ExpectQuiet();

    char cut[] = "ab,cdef";  // the last token must still end within the capacity
    left = 6;
    EXPECT_STREQ(corvel_strtok_s(cut, &left, ",", &next), "ab");
    EXPECT_EQ(corvel_strtok_s(nullptr, &left, ",", &next), nullptr);
    ExpectReported("strtok_s: dest is unterminated", SAFE_ERR_UNTERMINATED);
}

TEST_F(StringTest, InPlaceEditsZeroWhatTheyVacate)
{
    char buf[12] = " \t ab c \n";
    EXPECT_EQ(corvel_strremovews_s(buf, sizeof buf), SAFE_EOK);
    EXPECT_EQ(std::string(buf, 12), std::string("ab c\0\0\0\0\0\0\0\0", 12));
    char lj[8] = "  x y ";
    EXPECT_EQ(corvel_strljustify_s(lj, sizeof lj), SAFE_EOK);
    EXPECT_EQ(std::string(lj, 8), std::string("x y \0\0\0\0", 8));
    char mixed[] = "aZ9-\xe9";
    EXPECT_EQ(corvel_strtouppercase_s(mixed, sizeof mixed), SAFE_EOK);
    EXPECT_STREQ(mixed, "AZ9-\xe9");
    EXPECT_EQ(corvel_strtolowercase_s(mixed, sizeof mixed), SAFE_EOK);
    EXPECT_STREQ(mixed, "az9-\xe9");
    ExpectQuiet();
}

struct ClassCase {
    bool (*is)(const char*, rsize_t_rl);
    const char* text;
    bool expected;
};
class ClassifierTest : public SafeLibTest, public ::testing::WithParamInterface<ClassCase> {};

TEST_P(ClassifierTest, Answers)
{
    const ClassCase& c = GetParam();
    EXPECT_EQ(c.is(c.text, strlen(c.text) + 1), c.expected) << '"' << c.text << '"';
    ExpectQuiet();
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ClassifierTest,
    ::testing::Values(
        ClassCase{corvel_strisalphanumeric_s, "abc123XYZ", true},
        ClassCase{corvel_strisalphanumeric_s, "a 1", false}, ClassCase{corvel_strisalphanumeric_s, "", false},
        ClassCase{corvel_strisascii_s, "~\x01 ", true}, ClassCase{corvel_strisascii_s, "a\x80", false},
        ClassCase{corvel_strisdigit_s, "0123456789", true}, ClassCase{corvel_strisdigit_s, "12a", false},
        ClassCase{corvel_strishex_s, "09afAF", true}, ClassCase{corvel_strishex_s, "0x1f", false},
        ClassCase{corvel_strislowercase_s, "abz", true}, ClassCase{corvel_strislowercase_s, "abZ", false},
        ClassCase{corvel_strisuppercase_s, "A Z", false}, ClassCase{corvel_strismixedcase_s, "aB", true},
        ClassCase{corvel_strismixedcase_s, "ab", false}, ClassCase{corvel_strismixedcase_s, "aB1", false},
        // Passwords: at least 1 digit, 2 lower, 2 upper, 1 punctuation; printable, no blanks.
        ClassCase{corvel_strispassword_s, "ab1CD!", true}, ClassCase{corvel_strispassword_s, "ab1CD", false},
        ClassCase{corvel_strispassword_s, "a1CD!x~", true}, ClassCase{corvel_strispassword_s, "a1CD!", false},
        ClassCase{corvel_strispassword_s, "abC1!d", false},
        ClassCase{corvel_strispassword_s, "abCD!e", false},
        ClassCase{corvel_strispassword_s, "ab1 CD!", false},
        ClassCase{corvel_strispassword_s, "ab1CD!xxxxxxxxxxxxxxxxxxxxxxxxx", true}));  // 31 characters

}  // namespace
