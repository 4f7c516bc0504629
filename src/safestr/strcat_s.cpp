#include "safestr/safe_lib.h"

extern "C" errno_t_rl corvel_strcat_s(char* dest, rsize_t_rl dmax, const char* src)
{
    if (dest == nullptr) {
        invoke_safe_lib_constraint_handler("strcat_s: dest is null", nullptr, SAFE_ERR_NULL);
        return SAFE_ERR_NULL;
    }
    if (src == nullptr) {
        invoke_safe_lib_constraint_handler("strcat_s: src is null", nullptr, SAFE_ERR_NULL);
        return SAFE_ERR_NULL;
    }
    if (dmax == 0) {
        invoke_safe_lib_constraint_handler("strcat_s: dmax is 0", nullptr, SAFE_ERR_ZERO_LENGTH);
        return SAFE_ERR_ZERO_LENGTH;
    }

    char* d = dest;
    rsize_t_rl left = dmax;
    // Find the end of dest within its capacity.
    while (*d != '\0') {
        if (d == src) {
            dest[0] = '\0';
            invoke_safe_lib_constraint_handler("strcat_s: overlapping objects", nullptr, SAFE_ERR_OVERLAP);
            return SAFE_ERR_OVERLAP;
        }
        ++d;
        if (--left == 0) {
            dest[0] = '\0';
            invoke_safe_lib_constraint_handler("strcat_s: dest unterminated", nullptr, SAFE_ERR_UNTERMINATED);
            return SAFE_ERR_UNTERMINATED;
        }
    }

    // Append; the overlap check depends on which object lies lower in memory.
    const char* s = src;
    const char* overlapBumper = (dest < src) ? src : dest;
    const bool destBelow = dest < src;
    while (left > 0) {
        if (destBelow ? (d == overlapBumper) : (s == overlapBumper)) {
            dest[0] = '\0';
            invoke_safe_lib_constraint_handler("strcat_s: overlapping objects", nullptr, SAFE_ERR_OVERLAP);
            return SAFE_ERR_OVERLAP;
        }
        *d = *s;
        if (*d == '\0') return SAFE_EOK;
        ++d;
        ++s;
        --left;
    }
    dest[0] = '\0';
    invoke_safe_lib_constraint_handler("strcat_s: not enough space for src", nullptr, SAFE_ERR_NO_SPACE);
    return SAFE_ERR_NO_SPACE;
}
