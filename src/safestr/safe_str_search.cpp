// Length, comparison, span, search and tokenising members for narrow strings.
// None of them reads dest past dmax; a search that comes back empty (408, 409)
// is an answer, not a violation, and does not call the handler.
#include "safestr/safe_lib.h"
#include "safestr/safe_lib_internal.h"

using namespace Ravvel::SafeLib;

namespace {

char Same(char c)
{
    return c;
}

// strspn (accept = true) and strcspn (accept = false).
errno_t_rl Span(const char* name, const char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen,
                rsize_t_rl* count, bool accept)
{
    if (count == nullptr) return Violation(name, "count is null", SAFE_ERR_NULL);
    *count = 0;
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    if (slen == 0) return Violation(name, "slen is 0", SAFE_ERR_ZERO_LENGTH);

    rsize_t_rl n = 0;
    while (n < dmax && dest[n] != '\0' && InSet(dest[n], src, slen) == accept) ++n;
    *count = n;
    return SAFE_EOK;
}

enum class Seek { FirstDiff, LastDiff, FirstSame, LastSame };

// Walks both strings together up to the end of the shorter one (within
// dmax); where only one of them has ended counts as a difference.
errno_t_rl Position(const char* name, const char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl* index,
                    Seek seek)
{
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (index == nullptr) return Violation(name, "index is null", SAFE_ERR_NULL);
    *index = 0;
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);

    const bool wantDiff = seek == Seek::FirstDiff || seek == Seek::LastDiff;
    const bool wantFirst = seek == Seek::FirstDiff || seek == Seek::FirstSame;
    bool found = false;
    for (rsize_t_rl i = 0; i < dmax; ++i) {
        const char a = dest[i];
        const char b = src[i];
        if (a == '\0' && b == '\0') break;
        const bool ended = a == '\0' || b == '\0';
        if ((a != b) == wantDiff) {
            *index = i;
            found = true;
            if (wantFirst) break;
        }
        if (ended) break;
    }
    if (found) return SAFE_EOK;
    return wantDiff ? SAFE_ERR_NO_DIFFERENCE : SAFE_ERR_NOT_FOUND;
}

}  // namespace

extern "C" {

rsize_t_rl corvel_strnlen_s(const char* dest, rsize_t_rl dmax)
{
    return Length("strnlen_s", dest, dmax);
}

errno_t_rl corvel_strcmp_s(const char* dest, rsize_t_rl dmax, const char* src, int* indicator)
{
    return CompareStrings("strcmp_s", dest, dmax, src, kNoLimit, indicator, Same);
}

errno_t_rl corvel_strcasecmp_s(const char* dest, rsize_t_rl dmax, const char* src, int* indicator)
{
    return CompareStrings("strcasecmp_s", dest, dmax, src, kNoLimit, indicator, AsciiLower<char>);
}

errno_t_rl corvel_strcmpfld_s(const char* dest, rsize_t_rl dmax, const char* src, int* indicator)
{
    const char* name = "strcmpfld_s";
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (indicator == nullptr) return Violation(name, "indicator is null", SAFE_ERR_NULL);
    *indicator = 0;
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    // A field is compared over its whole width, nulls included.
    for (rsize_t_rl i = 0; i < dmax; ++i) {
        if (dest[i] != src[i]) {
            *indicator = int(Unit(dest[i]) - Unit(src[i]));
            break;
        }
    }
    return SAFE_EOK;
}

errno_t_rl corvel_strcspn_s(const char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen,
                            rsize_t_rl* count)
{
    return Span("strcspn_s", dest, dmax, src, slen, count, false);
}

errno_t_rl corvel_strspn_s(const char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen,
                           rsize_t_rl* count)
{
    return Span("strspn_s", dest, dmax, src, slen, count, true);
}

errno_t_rl corvel_strpbrk_s(char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen, char** first)
{
    const char* name = "strpbrk_s";
    if (first == nullptr) return Violation(name, "first is null", SAFE_ERR_NULL);
    *first = nullptr;
    rsize_t_rl n = 0;
    const errno_t_rl code = Span(name, dest, dmax, src, slen, &n, false);
    if (code != SAFE_EOK) return code;
    if (n == dmax || dest[n] == '\0') return SAFE_ERR_NOT_FOUND;
    *first = dest + n;
    return SAFE_EOK;
}

errno_t_rl corvel_strstr_s(char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen, char** substring)
{
    return FindSubstring("strstr_s", dest, dmax, src, slen, substring, Same);
}

errno_t_rl corvel_strcasestr_s(char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen,
                               char** substring)
{
    return FindSubstring("strcasestr_s", dest, dmax, src, slen, substring, AsciiLower<char>);
}

errno_t_rl corvel_strprefix_s(const char* dest, rsize_t_rl dmax, const char* src)
{
    const char* name = "strprefix_s";
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    // The empty string is no prefix worth reporting.
    if (*src == '\0') return SAFE_ERR_NOT_FOUND;
    rsize_t_rl i = 0;
    for (; i < dmax && src[i] != '\0'; ++i)
        if (dest[i] != src[i]) return SAFE_ERR_NOT_FOUND;
    return src[i] == '\0' ? SAFE_EOK : SAFE_ERR_NOT_FOUND;
}

errno_t_rl corvel_strfirstchar_s(char* dest, rsize_t_rl dmax, char c, char** first)
{
    return FindChar("strfirstchar_s", dest, dmax, c, first, false);
}

errno_t_rl corvel_strlastchar_s(char* dest, rsize_t_rl dmax, char c, char** last)
{
    return FindChar("strlastchar_s", dest, dmax, c, last, true);
}

errno_t_rl corvel_strfirstdiff_s(const char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl* index)
{
    return Position("strfirstdiff_s", dest, dmax, src, index, Seek::FirstDiff);
}

errno_t_rl corvel_strlastdiff_s(const char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl* index)
{
    return Position("strlastdiff_s", dest, dmax, src, index, Seek::LastDiff);
}

errno_t_rl corvel_strfirstsame_s(const char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl* index)
{
    return Position("strfirstsame_s", dest, dmax, src, index, Seek::FirstSame);
}

errno_t_rl corvel_strlastsame_s(const char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl* index)
{
    return Position("strlastsame_s", dest, dmax, src, index, Seek::LastSame);
}

char* corvel_strtok_s(char* dest, rsize_t_rl* dmax, const char* src, char** ptr)
{
    return Tokenize("strtok_s", dest, dmax, src, ptr);
}

}  // extern "C"
