// Check sequences and loops shared by the narrow and wide string members.
// Internal to src/safestr; each template is instantiated for char and wchar_t.
#ifndef RAVVEL_SAFESTR_SAFE_LIB_INTERNAL_H
#define RAVVEL_SAFESTR_SAFE_LIB_INTERNAL_H

#include <stdint.h>

#include <functional>

#include "safestr/safe_lib.h"

namespace Ravvel {
namespace SafeLib {

// Hands "<name>: <condition>" to the constraint handler and returns code.
errno_t_rl Violation(const char* name, const char* condition, errno_t_rl code);

// Same, for members that report through a null pointer or false.
template <typename R>
inline R ViolationValue(const char* name, const char* condition, errno_t_rl code, R result)
{
    Violation(name, condition, code);
    return result;
}

constexpr rsize_t_rl kNoLimit = ~rsize_t_rl(0);

// Unrelated objects may be ordered only through std::less.
template <typename T>
inline bool Below(const T* a, const T* b)
{
    return std::less<const T*>()(a, b);
}

// Whether [a, a + alen) and [b, b + blen) share a byte.
inline bool RangesOverlap(const void* a, rsize_t_rl alen, const void* b, rsize_t_rl blen)
{
    const uintptr_t pa = reinterpret_cast<uintptr_t>(a);
    const uintptr_t pb = reinterpret_cast<uintptr_t>(b);
    return (pa >= pb && pa - pb < blen) || (pb >= pa && pb - pa < alen);
}

// Character value for comparisons: bytes compare unsigned, as strcmp does.
inline int64_t Unit(char c)
{
    return static_cast<unsigned char>(c);
}
inline int64_t Unit(wchar_t c)
{
    return static_cast<int64_t>(c);
}

template <typename C>
inline C AsciiLower(C c)
{
    return (c >= C('A') && c <= C('Z')) ? C(c + ('a' - 'A')) : c;
}
template <typename C>
inline C AsciiUpper(C c)
{
    return (c >= C('a') && c <= C('z')) ? C(c - ('a' - 'A')) : c;
}

// Differences of wide characters or 32-bit units may not fit an int; keep the sign.
inline int ClampDiff(int64_t d)
{
    return d > INT32_MAX ? INT32_MAX : (d < INT32_MIN ? INT32_MIN : int(d));
}

// Number of characters before the terminator, at most max.
template <typename C>
inline rsize_t_rl BoundedLength(const C* s, rsize_t_rl max)
{
    rsize_t_rl n = 0;
    while (n < max && s[n] != C(0)) ++n;
    return n;
}

// Whether c occurs among the first len characters of set (stopping at its terminator).
template <typename C>
inline bool InSet(C c, const C* set, rsize_t_rl len)
{
    for (rsize_t_rl i = 0; i < len && set[i] != C(0); ++i)
        if (set[i] == c) return true;
    return false;
}

// strcpy/strcat and their bounded and wide forms. Copies at most slen
// characters of src after the end of dest (append) or at dest, then the
// terminator. Overlap is caught when the writing position reaches src or, with
// dest above src, the reading position reaches dest. Failures after the
// argument checks leave dest as an empty string.
template <typename C>
errno_t_rl CopyString(const char* name, C* dest, rsize_t_rl dmax, const C* src, rsize_t_rl slen, bool append)
{
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    if (slen == 0) return Violation(name, "slen is 0", SAFE_ERR_ZERO_LENGTH);

    C* d = dest;
    rsize_t_rl left = dmax;
    if (append) {
        while (*d != C(0)) {
            if (d == src) {
                dest[0] = C(0);
                return Violation(name, "overlapping objects", SAFE_ERR_OVERLAP);
            }
            ++d;
            if (--left == 0) {
                dest[0] = C(0);
                return Violation(name, "dest unterminated", SAFE_ERR_UNTERMINATED);
            }
        }
    }

    const bool destBelow = Below(dest, src);
    const C* s = src;
    while (left > 0) {
        if (destBelow ? (d == src) : (s == dest)) {
            dest[0] = C(0);
            return Violation(name, "overlapping objects", SAFE_ERR_OVERLAP);
        }
        if (slen == 0) {
            *d = C(0);
            return SAFE_EOK;
        }
        *d = *s;
        if (*d == C(0)) return SAFE_EOK;
        ++d;
        ++s;
        --left;
        --slen;
    }
    dest[0] = C(0);
    return Violation(name, "not enough space for src", SAFE_ERR_NO_SPACE);
}

template <typename C>
rsize_t_rl Length(const char* name, const C* dest, rsize_t_rl dmax)
{
    if (dest == nullptr) return ViolationValue<rsize_t_rl>(name, "dest is null", SAFE_ERR_NULL, 0);
    if (dmax == 0) return ViolationValue<rsize_t_rl>(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH, 0);
    return BoundedLength(dest, dmax);
}

// Compares at most min(dmax, n) characters, each passed through fold.
template <typename C, typename Fold>
errno_t_rl CompareStrings(const char* name, const C* dest, rsize_t_rl dmax, const C* src, rsize_t_rl n,
                          int* indicator, Fold fold)
{
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (indicator == nullptr) return Violation(name, "indicator is null", SAFE_ERR_NULL);
    *indicator = 0;
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    if (n == 0) return Violation(name, "n is 0", SAFE_ERR_ZERO_LENGTH);

    const rsize_t_rl limit = n < dmax ? n : dmax;
    for (rsize_t_rl i = 0; i < limit; ++i) {
        const C a = fold(dest[i]);
        const C b = fold(src[i]);
        if (a != b) {
            *indicator = ClampDiff(Unit(a) - Unit(b));
            return SAFE_EOK;
        }
        if (a == C(0)) break;
    }
    return SAFE_EOK;
}

// First (or last) occurrence of ch before the terminator, within dmax.
template <typename C>
errno_t_rl FindChar(const char* name, C* dest, rsize_t_rl dmax, C ch, C** found, bool last)
{
    const char* outNull = last ? "last is null" : "first is null";
    if (found == nullptr) return Violation(name, outNull, SAFE_ERR_NULL);
    *found = nullptr;
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    // The terminator is not a character of the string; its place is what the length members give.
    if (ch == C(0)) return Violation(name, "ch is 0", SAFE_ERR_ZERO_LENGTH);

    for (rsize_t_rl i = 0; i < dmax && dest[i] != C(0); ++i) {
        if (dest[i] == ch) {
            *found = dest + i;
            if (!last) return SAFE_EOK;
        }
    }
    return *found ? SAFE_EOK : SAFE_ERR_NOT_FOUND;
}

// First occurrence of the first slen characters of src in dest (within dmax).
template <typename C, typename Fold>
errno_t_rl FindSubstring(const char* name, C* dest, rsize_t_rl dmax, const C* src, rsize_t_rl slen,
                         C** substring, Fold fold)
{
    if (substring == nullptr) return Violation(name, "substring is null", SAFE_ERR_NULL);
    *substring = nullptr;
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    if (slen == 0) return Violation(name, "slen is 0", SAFE_ERR_ZERO_LENGTH);

    const rsize_t_rl m = BoundedLength(src, slen);
    if (m == 0) {
        // Like strstr: the empty string is found at the start.
        *substring = dest;
        return SAFE_EOK;
    }
    const rsize_t_rl len = BoundedLength(dest, dmax);
    for (rsize_t_rl i = 0; i + m <= len; ++i) {
        rsize_t_rl k = 0;
        while (k < m && fold(dest[i + k]) == fold(src[k])) ++k;
        if (k == m) {
            *substring = dest + i;
            return SAFE_EOK;
        }
    }
    return SAFE_ERR_NOT_FOUND;
}

// strtok: splits the string held in dest (or, with a null dest, the rest left
// in *ptr) at any character of the delimiter string src. *dmax counts the
// characters left from *ptr, so that a missing terminator is still caught.
template <typename C>
C* Tokenize(const char* name, C* dest, rsize_t_rl* dmax, const C* src, C** ptr)
{
    if (dmax == nullptr) return ViolationValue<C*>(name, "dmax is NULL", SAFE_ERR_NULL, nullptr);
    if (src == nullptr) return ViolationValue<C*>(name, "src is null", SAFE_ERR_NULL, nullptr);
    if (ptr == nullptr) return ViolationValue<C*>(name, "ptr is null", SAFE_ERR_NULL, nullptr);
    if (dest == nullptr) dest = *ptr;
    if (dest == nullptr) return ViolationValue<C*>(name, "dest is null", SAFE_ERR_NULL, nullptr);
    if (*dmax == 0) return ViolationValue<C*>(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH, nullptr);

    C* p = dest;
    rsize_t_rl left = *dmax;
    // Skip leading delimiters.
    for (;; ++p, --left) {
        if (left == 0)
            return ViolationValue<C*>(name, "dest is unterminated", SAFE_ERR_UNTERMINATED, nullptr);
        if (*p == C(0)) {
            *dmax = left;
            *ptr = p;
            return nullptr;
        }
        if (!InSet(*p, src, kNoLimit)) break;
    }
    C* token = p;
    for (++p, --left;; ++p, --left) {
        if (left == 0)
            return ViolationValue<C*>(name, "dest is unterminated", SAFE_ERR_UNTERMINATED, nullptr);
        if (*p == C(0)) break;
        if (InSet(*p, src, kNoLimit)) {
            *p++ = C(0);
            --left;
            break;
        }
    }
    *dmax = left;
    *ptr = p;
    return token;
}

// Classifier core: true when the string ends within dmax, is not empty and
// every character satisfies accept.
template <typename C, typename Accept>
bool AllCharacters(const char* name, const C* dest, rsize_t_rl dmax, Accept accept)
{
    if (dest == nullptr) return ViolationValue(name, "dest is null", SAFE_ERR_NULL, false);
    if (dmax == 0) return ViolationValue(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH, false);
    // An unterminated string is refused whatever its characters are.
    const rsize_t_rl len = BoundedLength(dest, dmax);
    if (len == dmax) return ViolationValue(name, "dest is unterminated", SAFE_ERR_UNTERMINATED, false);
    if (len == 0) return false;
    for (rsize_t_rl i = 0; i < len; ++i)
        if (!accept(dest[i])) return false;
    return true;
}

template <typename C>
inline bool IsAsciiDigit(C c)
{
    return c >= C('0') && c <= C('9');
}
template <typename C>
inline bool IsAsciiLower(C c)
{
    return c >= C('a') && c <= C('z');
}
template <typename C>
inline bool IsAsciiUpper(C c)
{
    return c >= C('A') && c <= C('Z');
}
template <typename C>
inline bool IsAsciiAlnum(C c)
{
    return IsAsciiDigit(c) || IsAsciiLower(c) || IsAsciiUpper(c);
}
template <typename C>
inline bool IsAsciiHex(C c)
{
    return IsAsciiDigit(c) || (c >= C('a') && c <= C('f')) || (c >= C('A') && c <= C('F'));
}
inline bool IsAscii(char c)
{
    return static_cast<unsigned char>(c) < 0x80;
}
inline bool IsAscii(wchar_t c)
{
    return c >= 0 && c < 0x80;
}

}  // namespace SafeLib
}  // namespace Ravvel

#endif
