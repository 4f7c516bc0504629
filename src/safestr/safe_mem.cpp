// Checked copy, move, fill and compare over bytes, 16-bit and 32-bit units.
#include <string.h>

#include "safestr/safe_lib.h"
#include "safestr/safe_lib_internal.h"

using namespace Ravvel::SafeLib;

namespace {

inline void Fill(uint8_t* dest, rsize_t_rl len, uint8_t value)
{
    mem_prim_set(dest, len, value);
}
inline void Fill(uint16_t* dest, rsize_t_rl len, uint16_t value)
{
    mem_prim_set16(dest, len, value);
}
inline void Fill(uint32_t* dest, rsize_t_rl len, uint32_t value)
{
    mem_prim_set32(dest, len, value);
}

// What distinguishes the copy members of one unit size.
struct CopyKind {
    const char* name;
    rsize_t_rl limit;
    bool overlapAllowed;  // memmove: copies overlapping ranges correctly
};

// The memcpy_s sequence: capacity checks leave dest alone, every later
// failure clears all dmax units so that no stale or partial data survives.
template <typename T>
errno_t_rl CopyUnits(const CopyKind& kind, T* dest, rsize_t_rl dmax, const T* src, rsize_t_rl smax)
{
    if (dest == nullptr) return Violation(kind.name, "dest is NULL", SAFE_ERR_NULL);
    if (dmax == 0) return Violation(kind.name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    if (dmax > kind.limit) return Violation(kind.name, "dmax exceeds max", SAFE_ERR_TOO_LARGE);

    errno_t_rl code = SAFE_EOK;
    if (smax == 0)
        code = Violation(kind.name, "smax is 0", SAFE_ERR_ZERO_LENGTH);
    else if (smax > dmax)
        code = Violation(kind.name, kind.overlapAllowed ? "smax exceeds max" : "smax exceeds dmax",
                         SAFE_ERR_TOO_LARGE);
    else if (src == nullptr)
        code = Violation(kind.name, "src is NULL", SAFE_ERR_NULL);
    else if (!kind.overlapAllowed && RangesOverlap(dest, dmax * sizeof(T), src, smax * sizeof(T)))
        code = Violation(kind.name, "overlap undefined", SAFE_ERR_OVERLAP);
    if (code != SAFE_EOK) {
        Fill(dest, dmax, T(0));
        return code;
    }

    if (kind.overlapAllowed)
        mem_prim_move(dest, src, smax * sizeof(T));
    else
        memcpy(dest, src, smax * sizeof(T));
    return SAFE_EOK;
}

template <typename T>
errno_t_rl FillChecked(const char* name, T* dest, rsize_t_rl len, T value, rsize_t_rl limit)
{
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (len == 0) return Violation(name, "len is 0", SAFE_ERR_ZERO_LENGTH);
    if (len > limit) return Violation(name, "len exceeds max", SAFE_ERR_TOO_LARGE);
    Fill(dest, len, value);
    return SAFE_EOK;
}

// A clear of a buffer that is never read again must still happen, also when
// the caller is inlined across modules.
template <typename T>
errno_t_rl ZeroChecked(const char* name, T* dest, rsize_t_rl len, rsize_t_rl limit)
{
    const errno_t_rl code = FillChecked(name, dest, len, T(0), limit);
    __asm__ __volatile__("" : : "r"(dest) : "memory");
    return code;
}

template <typename T>
errno_t_rl CompareUnits(const char* name, const T* dest, rsize_t_rl dmax, const T* src, rsize_t_rl smax,
                        int* diff, rsize_t_rl limit)
{
    if (dest == nullptr) return Violation(name, "dest is null", SAFE_ERR_NULL);
    if (src == nullptr) return Violation(name, "src is null", SAFE_ERR_NULL);
    if (diff == nullptr) return Violation(name, "diff is null", SAFE_ERR_NULL);
    *diff = 0;
    if (dmax == 0) return Violation(name, "dmax is 0", SAFE_ERR_ZERO_LENGTH);
    if (dmax > limit) return Violation(name, "dmax exceeds max", SAFE_ERR_TOO_LARGE);
    if (smax == 0) return Violation(name, "smax is 0", SAFE_ERR_ZERO_LENGTH);
    if (smax > dmax) return Violation(name, "smax exceeds dmax", SAFE_ERR_TOO_LARGE);

    for (rsize_t_rl i = 0; i < smax; ++i) {
        if (dest[i] != src[i]) {
            *diff = ClampDiff(int64_t(dest[i]) - int64_t(src[i]));
            break;
        }
    }
    return SAFE_EOK;
}

const CopyKind kMemcpy{"memcpy_s", RSIZE_MAX_MEM, false};
const CopyKind kMemcpy16{"memcpy16_s", RSIZE_MAX_MEM16, false};
const CopyKind kMemcpy32{"memcpy32_s", RSIZE_MAX_MEM32, false};
const CopyKind kMemmove{"memmove_s", RSIZE_MAX_MEM, true};
const CopyKind kMemmove16{"memove16_s", RSIZE_MAX_MEM16, true};
const CopyKind kMemmove32{"memove32_s", RSIZE_MAX_MEM32, true};

}  // namespace

extern "C" {

errno_t_rl corvel_memcpy_s(void* dest, rsize_t_rl dmax, const void* src, rsize_t_rl smax)
{
    return CopyUnits(kMemcpy, static_cast<uint8_t*>(dest), dmax, static_cast<const uint8_t*>(src), smax);
}

errno_t_rl corvel_memcpy16_s(uint16_t* dest, rsize_t_rl dmax, const uint16_t* src, rsize_t_rl smax)
{
    return CopyUnits(kMemcpy16, dest, dmax, src, smax);
}

errno_t_rl corvel_memcpy32_s(uint32_t* dest, rsize_t_rl dmax, const uint32_t* src, rsize_t_rl smax)
{
    return CopyUnits(kMemcpy32, dest, dmax, src, smax);
}

errno_t_rl corvel_memmove_s(void* dest, rsize_t_rl dmax, const void* src, rsize_t_rl smax)
{
    return CopyUnits(kMemmove, static_cast<uint8_t*>(dest), dmax, static_cast<const uint8_t*>(src), smax);
}

errno_t_rl corvel_memmove16_s(uint16_t* dest, rsize_t_rl dmax, const uint16_t* src, rsize_t_rl smax)
{
    return CopyUnits(kMemmove16, dest, dmax, src, smax);
}

errno_t_rl corvel_memmove32_s(uint32_t* dest, rsize_t_rl dmax, const uint32_t* src, rsize_t_rl smax)
{
    return CopyUnits(kMemmove32, dest, dmax, src, smax);
}

errno_t_rl corvel_memset_s(void* dest, rsize_t_rl len, int value)
{
    return FillChecked("memset_s", static_cast<uint8_t*>(dest), len, static_cast<uint8_t>(value),
                       RSIZE_MAX_MEM);
}

errno_t_rl corvel_memset16_s(uint16_t* dest, rsize_t_rl len, uint16_t value)
{
    return FillChecked("memset16_s", dest, len, value, RSIZE_MAX_MEM16);
}

errno_t_rl corvel_memset32_s(uint32_t* dest, rsize_t_rl len, uint32_t value)
{
    return FillChecked("memset32_s", dest, len, value, RSIZE_MAX_MEM32);
}

errno_t_rl corvel_memzero_s(void* dest, rsize_t_rl len)
{
    return ZeroChecked("memzero_s", static_cast<uint8_t*>(dest), len, RSIZE_MAX_MEM);
}

errno_t_rl corvel_memzero16_s(uint16_t* dest, rsize_t_rl len)
{
    return ZeroChecked("memzero16_s", dest, len, RSIZE_MAX_MEM16);
}

errno_t_rl corvel_memzero32_s(uint32_t* dest, rsize_t_rl len)
{
    return ZeroChecked("memzero32_s", dest, len, RSIZE_MAX_MEM32);
}

errno_t_rl corvel_memcmp_s(const void* dest, rsize_t_rl dmax, const void* src, rsize_t_rl smax, int* diff)
{
    return CompareUnits("memcmp_s", static_cast<const uint8_t*>(dest), dmax, static_cast<const uint8_t*>(src),
                        smax, diff, RSIZE_MAX_MEM);
}

errno_t_rl corvel_memcmp16_s(const uint16_t* dest, rsize_t_rl dmax, const uint16_t* src, rsize_t_rl smax,
                             int* diff)
{
    return CompareUnits("memcmp16_s", dest, dmax, src, smax, diff, RSIZE_MAX_MEM16);
}

errno_t_rl corvel_memcmp32_s(const uint32_t* dest, rsize_t_rl dmax, const uint32_t* src, rsize_t_rl smax,
                             int* diff)
{
    return CompareUnits("memcmp32_s", dest, dmax, src, smax, diff, RSIZE_MAX_MEM32);
}

}  // extern "C"
