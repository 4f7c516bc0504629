#include <wchar.h>

#include <string>
#include <vector>

#include "capture_handler.h"

namespace {

using WideTest = SafeLibTest;

TEST_F(WideTest, CopiesCountWideCharactersAndFailToAnEmptyString)
{
    wchar_t buf[5];
    wmemset(buf, L'x', 5);
    EXPECT_EQ(corvel_wcscpy_s(buf, 3, L"\u00e9\u4e2d"), SAFE_EOK);
    EXPECT_EQ(std::wstring(buf, 5), std::wstring(L"\u00e9\u4e2d\0xx", 5));
    EXPECT_EQ(corvel_wcscat_s(buf, 5, L"ab"), SAFE_EOK);
    EXPECT_EQ(corvel_wcsnlen_s(buf, 5), 4u);
    EXPECT_EQ(corvel_wcsncpy_s(buf, 5, L"vwxyz", 3), SAFE_EOK);
    EXPECT_EQ(corvel_wcsncat_s(buf, 5, L"123", 1), SAFE_EOK);
    EXPECT_EQ(std::wstring(buf), L"vwx1");
    ExpectQuiet();

    EXPECT_EQ(corvel_wcscat_s(buf, 5, L"2"), SAFE_ERR_NO_SPACE);
    ExpectReported("wcscat_s: not enough space for src", SAFE_ERR_NO_SPACE);
    EXPECT_EQ(buf[0], L'\0');
    wchar_t full[3] = {L'a', L'b', L'c'};
    EXPECT_EQ(corvel_wcsncat_s(full, 3, L"d", 1), SAFE_ERR_UNTERMINATED);
    ExpectReported("wcsncat_s: dest unterminated", SAFE_ERR_UNTERMINATED);
    EXPECT_EQ(full[0], L'\0');
}

TEST_F(WideTest, ComparisonsAreBoundedAndFoldAsciiOnly)
{
    int ind = 99;
    EXPECT_EQ(corvel_wcscmp_s(L"abc", 4, L"abd", &ind), SAFE_EOK);
    EXPECT_LT(ind, 0);
    EXPECT_EQ(corvel_wcsncmp_s(L"abc", 4, L"abd", 2, &ind), SAFE_EOK);
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(corvel_wcsicmp_s(L"HeLLo", 6, L"hello", &ind), SAFE_EOK);
    EXPECT_EQ(ind, 0);
    EXPECT_EQ(corvel_wcsicmp_s(L"\u00c9", 2, L"\u00e9", &ind), SAFE_EOK);
    EXPECT_NE(ind, 0);
    EXPECT_EQ(corvel_wcsnicmp_s(L"ABcx", 5, L"abCy", 3, &ind), SAFE_EOK);
    EXPECT_EQ(ind, 0);
    ExpectQuiet();
    EXPECT_EQ(corvel_wcsncmp_s(L"a", 2, L"a", 0, &ind), SAFE_ERR_ZERO_LENGTH);
    ExpectReported("wcsncmp_s: n is 0", SAFE_ERR_ZERO_LENGTH);
}

TEST_F(WideTest, SearchesTokensAndClasses)
{
    wchar_t text[] = L"a\u4e2db\u4e2d";
    wchar_t* at = nullptr;
    EXPECT_EQ(corvel_wcschr_s(text, 5, L'\u4e2d', &at), SAFE_EOK);
    EXPECT_EQ(at, text + 1);
    EXPECT_EQ(corvel_wcsrchr_s(text, 3, L'\u4e2d', &at), SAFE_EOK);
    EXPECT_EQ(at, text + 1);
    EXPECT_EQ(corvel_wcsstr_s(text, 5, L"b\u4e2d", 2, &at), SAFE_EOK);
    EXPECT_EQ(at, text + 2);
    EXPECT_EQ(corvel_wcsstr_s(text, 3, L"b\u4e2d", 2, &at), SAFE_ERR_NOT_FOUND);

    wchar_t line[] = L";x;;yz;";
    rsize_t_rl left = 8;
    wchar_t* next = nullptr;
    std::vector<std::wstring> tokens;
    for (wchar_t* t = corvel_wcstok_s(line, &left, L";", &next); t;
         t = corvel_wcstok_s(nullptr, &left, L";", &next))
        tokens.push_back(t);
    EXPECT_EQ(tokens, (std::vector<std::wstring>{L"x", L"yz"}));

    EXPECT_TRUE(corvel_wcsisalphanumeric_s(L"ab12CD", 7));
    EXPECT_FALSE(corvel_wcsisalphanumeric_s(L"ab\u00e9", 4));  // letters beyond ASCII do not count
    EXPECT_FALSE(corvel_wcsisascii_s(L"a\u0100", 3));
    EXPECT_TRUE(corvel_wcsisdigit_s(L"907", 4));
    EXPECT_TRUE(corvel_wcsishex_s(L"c0FFee", 7));
    ExpectQuiet();
    EXPECT_EQ(corvel_wcschr_s(text, 5, L'\0', &at), SAFE_ERR_ZERO_LENGTH);
    ExpectReported("wcschr_s: ch is 0", SAFE_ERR_ZERO_LENGTH);
    EXPECT_FALSE(corvel_wcsishex_s(L"abc", 3));
    ExpectReported("wcsishex_s: dest is unterminated", SAFE_ERR_UNTERMINATED);
}

}  // namespace
