// Wide-character members: the narrow algorithms instantiated for wchar_t.
// Case folding and the classes are ASCII only, independent of the locale.
#include "safestr/safe_lib.h"
#include "safestr/safe_lib_internal.h"

using namespace Ravvel::SafeLib;

namespace {
wchar_t Same(wchar_t c)
{
    return c;
}
}  // namespace

extern "C" {

errno_t_rl corvel_wcscpy_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src)
{
    return CopyString("wcscpy_s", dest, dmax, src, kNoLimit, false);
}

errno_t_rl corvel_wcsncpy_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src, rsize_t_rl slen)
{
    return CopyString("wcsncpy_s", dest, dmax, src, slen, false);
}

errno_t_rl corvel_wcscat_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src)
{
    return CopyString("wcscat_s", dest, dmax, src, kNoLimit, true);
}

errno_t_rl corvel_wcsncat_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src, rsize_t_rl slen)
{
    return CopyString("wcsncat_s", dest, dmax, src, slen, true);
}

rsize_t_rl corvel_wcsnlen_s(const wchar_t* dest, rsize_t_rl dmax)
{
    return Length("wcsnlen_s", dest, dmax);
}

errno_t_rl corvel_wcscmp_s(const wchar_t* dest, rsize_t_rl dmax, const wchar_t* src, int* indicator)
{
    return CompareStrings("wcscmp_s", dest, dmax, src, kNoLimit, indicator, Same);
}

errno_t_rl corvel_wcsncmp_s(const wchar_t* dest, rsize_t_rl dmax, const wchar_t* src, rsize_t_rl n,
                            int* indicator)
{
    return CompareStrings("wcsncmp_s", dest, dmax, src, n, indicator, Same);
}

errno_t_rl corvel_wcsicmp_s(const wchar_t* dest, rsize_t_rl dmax, const wchar_t* src, int* indicator)
{
    return CompareStrings("wcsicmp_s", dest, dmax, src, kNoLimit, indicator, AsciiLower<wchar_t>);
}

errno_t_rl corvel_wcsnicmp_s(const wchar_t* dest, rsize_t_rl dmax, const wchar_t* src, rsize_t_rl n,
                             int* indicator)
{
    return CompareStrings("wcsnicmp_s", dest, dmax, src, n, indicator, AsciiLower<wchar_t>);
}

errno_t_rl corvel_wcschr_s(wchar_t* dest, rsize_t_rl dmax, wchar_t ch, wchar_t** first)
{
    return FindChar("wcschr_s", dest, dmax, ch, first, false);
}

errno_t_rl corvel_wcsrchr_s(wchar_t* dest, rsize_t_rl dmax, wchar_t ch, wchar_t** last)
{
    return FindChar("wcsrchr_s", dest, dmax, ch, last, true);
}

errno_t_rl corvel_wcsstr_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src, rsize_t_rl slen,
                           wchar_t** substring)
{
    return FindSubstring("wcsstr_s", dest, dmax, src, slen, substring, Same);
}

wchar_t* corvel_wcstok_s(wchar_t* dest, rsize_t_rl* dmax, const wchar_t* src, wchar_t** ptr)
{
    return Tokenize("wcstok_s", dest, dmax, src, ptr);
}

bool corvel_wcsisalphanumeric_s(const wchar_t* dest, rsize_t_rl dmax)
{
    return AllCharacters("wcsisalphanumeric_s", dest, dmax, IsAsciiAlnum<wchar_t>);
}

bool corvel_wcsisascii_s(const wchar_t* dest, rsize_t_rl dmax)
{
    return AllCharacters("wcsisascii_s", dest, dmax, [](wchar_t c) { return IsAscii(c); });
}

bool corvel_wcsisdigit_s(const wchar_t* dest, rsize_t_rl dmax)
{
    return AllCharacters("wcsisdigit_s", dest, dmax, IsAsciiDigit<wchar_t>);
}

bool corvel_wcsishex_s(const wchar_t* dest, rsize_t_rl dmax)
{
    return AllCharacters("wcsishex_s", dest, dmax, IsAsciiHex<wchar_t>);
}

}  // extern "C"
