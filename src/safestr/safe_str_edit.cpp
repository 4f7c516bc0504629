// Fixed-field copies and in-place edits of narrow strings.
#include <string.h>

#include "safestr/safe_lib.h"
#include "safestr/safe_lib_internal.h"

using namespace Ravvel::SafeLib;

namespace {

// Field copies: null and zero arguments leave dest alone; every later failure
// clears the whole field, since a field has no terminator to reset.
errno_t_rl CheckFieldCopy(const char* name, char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen)
{
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    if (slen == 0) return Violation(name, "slen is zero", SAFE_ERR_ZERO_LENGTH);

    errno_t_rl code = SAFE_EOK;
    if (slen > dmax)
        code = Violation(name, "slen exceeds max", SAFE_ERR_TOO_LARGE);
    else if (RangesOverlap(dest, dmax, src, slen))
        code = Violation(name, "overlapping objects", SAFE_ERR_OVERLAP);
    if (code != SAFE_EOK) memset(dest, 0, dmax);
    return code;
}

// The string in dest with its length; an unterminated string is cleared.
errno_t_rl TerminatedLength(const char* name, char* dest, rsize_t_rl dmax, rsize_t_rl* len)
{
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    *len = BoundedLength(dest, dmax);
    if (*len == dmax) {
        dest[0] = '\0';
        return Violation(name, "dest is unterminated", SAFE_ERR_UNTERMINATED);
    }
    return SAFE_EOK;
}

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Keeps dest[first, last) at the start of dest and zeroes what it vacates up
// to the old terminator, so that no trimmed characters linger behind it.
void KeepSpan(char* dest, rsize_t_rl first, rsize_t_rl last, rsize_t_rl oldLen)
{
    const rsize_t_rl n = last - first;
    if (first > 0) memmove(dest, dest + first, n);
    memset(dest + n, 0, oldLen - n);
}

template <typename Convert>
errno_t_rl ConvertCase(const char* name, char* dest, rsize_t_rl dmax, Convert convert)
{
    rsize_t_rl len = 0;
    const errno_t_rl code = TerminatedLength(name, dest, dmax, &len);
    if (code != SAFE_EOK) return code;
    for (rsize_t_rl i = 0; i < len; ++i) dest[i] = convert(dest[i]);
    return SAFE_EOK;
}

}  // namespace

extern "C" {

errno_t_rl corvel_strcpyfld_s(char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen)
{
    const errno_t_rl code = CheckFieldCopy("strcpyfld_s", dest, dmax, src, slen);
    if (code != SAFE_EOK) return code;
    memcpy(dest, src, slen);
    memset(dest + slen, 0, dmax - slen);
    return SAFE_EOK;
}

errno_t_rl corvel_strcpyfldin_s(char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen)
{
    const errno_t_rl code = CheckFieldCopy("strcpyfldin_s", dest, dmax, src, slen);
    if (code != SAFE_EOK) return code;
    const rsize_t_rl n = BoundedLength(src, slen);
    memcpy(dest, src, n);
    memset(dest + n, 0, dmax - n);
    return SAFE_EOK;
}

errno_t_rl corvel_strcpyfldout_s(char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen)
{
    const errno_t_rl code = CheckFieldCopy("strcpyfldout_s", dest, dmax, src, slen);
    if (code != SAFE_EOK) return code;
    const rsize_t_rl n = BoundedLength(src, slen);
    if (n >= dmax) {
        // A full field needs one more place for the terminator.
        memset(dest, 0, dmax);
        return Violation("strcpyfldout_s", "not enough space for src", SAFE_ERR_NO_SPACE);
    }
    memcpy(dest, src, n);
    memset(dest + n, 0, dmax - n);
    return SAFE_EOK;
}

errno_t_rl corvel_strzero_s(char* dest, rsize_t_rl dmax)
{
    if (dest == nullptr) return Violation("strzero_s", "dest is null", SAFE_ERR_NULL);
    if (dmax == 0) return Violation("strzero_s", "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    memset(dest, 0, dmax);
    __asm__ __volatile__("" : : "r"(dest) : "memory");  // the clear must survive inlining
    return SAFE_EOK;
}

errno_t_rl corvel_strremovews_s(char* dest, rsize_t_rl dmax)
{
    rsize_t_rl len = 0;
    const errno_t_rl code = TerminatedLength("strremovews_s", dest, dmax, &len);
    if (code != SAFE_EOK) return code;
    rsize_t_rl first = 0;
    while (first < len && IsSpace(dest[first])) ++first;
    rsize_t_rl last = len;
    while (last > first && IsSpace(dest[last - 1])) --last;
    KeepSpan(dest, first, last, len);
    return SAFE_EOK;
}

errno_t_rl corvel_strljustify_s(char* dest, rsize_t_rl dmax)
{
    rsize_t_rl len = 0;
    const errno_t_rl code = TerminatedLength("strljustify_s_s", dest, dmax, &len);
    if (code != SAFE_EOK) return code;
    rsize_t_rl first = 0;
    while (first < len && IsSpace(dest[first])) ++first;
    KeepSpan(dest, first, len, len);
    return SAFE_EOK;
}

errno_t_rl corvel_strtolowercase_s(char* dest, rsize_t_rl dmax)
{
    return ConvertCase("strtolowercase_s", dest, dmax, AsciiLower<char>);
}

errno_t_rl corvel_strtouppercase_s(char* dest, rsize_t_rl dmax)
{
    return ConvertCase("strtouppercase_s", dest, dmax, AsciiUpper<char>);
}

}  // extern "C"
