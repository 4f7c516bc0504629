// Bounds-checked string and memory functions (exported with C linkage).
#ifndef RAVVEL_SAFESTR_SAFE_LIB_H
#define RAVVEL_SAFESTR_SAFE_LIB_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "ravvel.h"

typedef int32_t errno_t_rl;
typedef size_t rsize_t_rl;

enum {
    SAFE_EOK = 0,
    SAFE_ERR_NULL = 400,
    SAFE_ERR_ZERO_LENGTH = 401,
    SAFE_ERR_TOO_SMALL = 402,
    SAFE_ERR_TOO_LARGE = 403,
    SAFE_ERR_OVERLAP = 404,
    SAFE_ERR_NO_SPACE = 406,
    SAFE_ERR_UNTERMINATED = 407,
    SAFE_ERR_NO_DIFFERENCE = 408,
    SAFE_ERR_NOT_FOUND = 409
};

// Capacity limits of the memory functions, in units of the element size.
#define RSIZE_MAX_MEM (0xFFFFFFFul)
#define RSIZE_MAX_MEM16 (0x7FFFFFFul)
#define RSIZE_MAX_MEM32 (0x3FFFFFFul)

typedef void (*constraint_handler_t)(const char* message, void* ptr, errno_t_rl error);

RAVVEL_EXTERN_C RAVVEL_API constraint_handler_t safe_lib_set_constraint_handler(constraint_handler_t handler);
RAVVEL_EXTERN_C RAVVEL_API void invoke_safe_lib_constraint_handler(const char* message, void* ptr, errno_t_rl error);
RAVVEL_EXTERN_C RAVVEL_API void safe_lib_default_constraint_handler(const char* message, void* ptr, errno_t_rl error);
RAVVEL_EXTERN_C RAVVEL_API void safe_lib_ignore_handler(const char* message, void* ptr, errno_t_rl error);

RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcat_s(char* dest, rsize_t_rl dmax, const char* src);

#endif
