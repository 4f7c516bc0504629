// Character-class tests over whole narrow strings; each answers true or false
// and reports bad arguments and a missing terminator through the handler.
#include "safestr/safe_lib.h"
#include "safestr/safe_lib_internal.h"

using namespace Ravvel::SafeLib;

namespace {

bool IsPasswordPunct(char c)
{
    return c >= '!' && c <= '~' && !IsAsciiAlnum(c);
}

}  // namespace

extern "C" {

bool corvel_strisalphanumeric_s(const char* dest, rsize_t_rl dmax)
{
    return AllCharacters("strisalphanumeric_s", dest, dmax, IsAsciiAlnum<char>);
}

bool corvel_strisascii_s(const char* dest, rsize_t_rl dmax)
{
    return AllCharacters("strisascii_s", dest, dmax, [](char c) { return IsAscii(c); });
}

bool corvel_strisdigit_s(const char* dest, rsize_t_rl dmax)
{
    return AllCharacters("strisdigit_s", dest, dmax, IsAsciiDigit<char>);
}

bool corvel_strishex_s(const char* dest, rsize_t_rl dmax)
{
    return AllCharacters("strishex_s", dest, dmax, IsAsciiHex<char>);
}

bool corvel_strislowercase_s(const char* dest, rsize_t_rl dmax)
{
    return AllCharacters("strislowercase_s", dest, dmax, IsAsciiLower<char>);
}

bool corvel_strisuppercase_s(const char* dest, rsize_t_rl dmax)
{
    return AllCharacters("strisuppercase_s", dest, dmax, IsAsciiUpper<char>);
}

// Letters only, with both cases present.
bool corvel_strismixedcase_s(const char* dest, rsize_t_rl dmax)
{
    bool lower = false;
    bool upper = false;
    const bool letters = AllCharacters("strismixed_s", dest, dmax, [&](char c) {
        lower = lower || IsAsciiLower(c);
        upper = upper || IsAsciiUpper(c);
        return IsAsciiLower(c) || IsAsciiUpper(c);
    });
    return letters && lower && upper;
}

bool corvel_strispassword_s(const char* dest, rsize_t_rl dmax)
{
    const char* name = "strispassword_s";
    if (dest == nullptr) return ViolationValue(name, "dest is null", SAFE_ERR_NULL, false);
    if (dmax < SAFE_PASSWORD_MIN_DMAX)
        return ViolationValue(name, "dest is too short", SAFE_ERR_TOO_SMALL, false);
    if (dmax > SAFE_PASSWORD_MAX_DMAX)
        return ViolationValue(name, "dest exceeds max", SAFE_ERR_TOO_LARGE, false);

    const rsize_t_rl len = BoundedLength(dest, dmax);
    if (len == dmax) return ViolationValue(name, "dest is unterminated", SAFE_ERR_UNTERMINATED, false);

    int digits = 0, lower = 0, upper = 0, punct = 0;
    for (rsize_t_rl i = 0; i < len; ++i) {
        const char c = dest[i];
        if (IsAsciiDigit(c))
            ++digits;
        else if (IsAsciiLower(c))
            ++lower;
        else if (IsAsciiUpper(c))
            ++upper;
        else if (IsPasswordPunct(c))
            ++punct;
        else
            return false;  // blank, control or non-ASCII character
    }
    return len <= SAFE_PASSWORD_MAX_DMAX - 1 && digits >= 1 && lower >= 2 && upper >= 2 && punct >= 1;
}

}  // extern "C"
