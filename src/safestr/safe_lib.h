// Bounds-checked string and memory functions (exported with C linkage).
//
// Every function takes the destination's capacity, checks its arguments before
// touching memory and reports a violation both through its result code and
// through the process-wide constraint handler. Capacities of the memory
// functions are counted in elements of their unit (byte, uint16_t, uint32_t);
// capacities of the wide-character functions in wchar_t.
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

// Capacity range accepted by corvel_strispassword_s.
#define SAFE_PASSWORD_MIN_DMAX (6u)
#define SAFE_PASSWORD_MAX_DMAX (32u)

typedef void (*constraint_handler_t)(const char* message, void* ptr, errno_t_rl error);

/* ---- Constraint handler ------------------------------------------------ */
RAVVEL_EXTERN_C RAVVEL_API constraint_handler_t safe_lib_set_constraint_handler(constraint_handler_t handler);
RAVVEL_EXTERN_C RAVVEL_API void invoke_safe_lib_constraint_handler(const char* message, void* ptr,
                                                                   errno_t_rl error);
RAVVEL_EXTERN_C RAVVEL_API void safe_lib_default_constraint_handler(const char* message, void* ptr,
                                                                    errno_t_rl error);
RAVVEL_EXTERN_C RAVVEL_API void safe_lib_ignore_handler(const char* message, void* ptr, errno_t_rl error);

/* ---- Primitives: no checks; the moves are correct for overlapping ranges - */
RAVVEL_EXTERN_C RAVVEL_API void mem_prim_set(void* dest, rsize_t_rl len, uint8_t value);
RAVVEL_EXTERN_C RAVVEL_API void mem_prim_set16(uint16_t* dest, rsize_t_rl len, uint16_t value);
RAVVEL_EXTERN_C RAVVEL_API void mem_prim_set32(uint32_t* dest, rsize_t_rl len, uint32_t value);
RAVVEL_EXTERN_C RAVVEL_API void mem_prim_move(void* dest, const void* src, rsize_t_rl len);
RAVVEL_EXTERN_C RAVVEL_API void mem_prim_move8(uint8_t* dest, const uint8_t* src, rsize_t_rl len);
RAVVEL_EXTERN_C RAVVEL_API void mem_prim_move16(uint16_t* dest, const uint16_t* src, rsize_t_rl len);
RAVVEL_EXTERN_C RAVVEL_API void mem_prim_move32(uint32_t* dest, const uint32_t* src, rsize_t_rl len);

/* ---- Memory ------------------------------------------------------------ */
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memcpy_s(void* dest, rsize_t_rl dmax, const void* src,
                                                      rsize_t_rl smax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memcpy16_s(uint16_t* dest, rsize_t_rl dmax, const uint16_t* src,
                                                        rsize_t_rl smax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memcpy32_s(uint32_t* dest, rsize_t_rl dmax, const uint32_t* src,
                                                        rsize_t_rl smax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memmove_s(void* dest, rsize_t_rl dmax, const void* src,
                                                       rsize_t_rl smax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memmove16_s(uint16_t* dest, rsize_t_rl dmax, const uint16_t* src,
                                                         rsize_t_rl smax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memmove32_s(uint32_t* dest, rsize_t_rl dmax, const uint32_t* src,
                                                         rsize_t_rl smax);
// The fill value's low byte is used.
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memset_s(void* dest, rsize_t_rl len, int value);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memset16_s(uint16_t* dest, rsize_t_rl len, uint16_t value);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memset32_s(uint32_t* dest, rsize_t_rl len, uint32_t value);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memzero_s(void* dest, rsize_t_rl len);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memzero16_s(uint16_t* dest, rsize_t_rl len);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memzero32_s(uint32_t* dest, rsize_t_rl len);
// *diff receives dest - src at the first differing unit of the first smax units, or 0.
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memcmp_s(const void* dest, rsize_t_rl dmax, const void* src,
                                                      rsize_t_rl smax, int* diff);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memcmp16_s(const uint16_t* dest, rsize_t_rl dmax,
                                                        const uint16_t* src, rsize_t_rl smax, int* diff);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_memcmp32_s(const uint32_t* dest, rsize_t_rl dmax,
                                                        const uint32_t* src, rsize_t_rl smax, int* diff);

/* ---- Narrow strings: copy and concatenation ------------------------------ */
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcpy_s(char* dest, rsize_t_rl dmax, const char* src);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strncpy_s(char* dest, rsize_t_rl dmax, const char* src,
                                                       rsize_t_rl slen);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcat_s(char* dest, rsize_t_rl dmax, const char* src);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strncat_s(char* dest, rsize_t_rl dmax, const char* src,
                                                       rsize_t_rl slen);
// Fixed-length fields: dmax (or slen) characters, null padded, not necessarily terminated.
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcpyfld_s(char* dest, rsize_t_rl dmax, const char* src,
                                                         rsize_t_rl slen);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcpyfldin_s(char* dest, rsize_t_rl dmax, const char* src,
                                                           rsize_t_rl slen);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcpyfldout_s(char* dest, rsize_t_rl dmax, const char* src,
                                                            rsize_t_rl slen);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strzero_s(char* dest, rsize_t_rl dmax);

/* ---- Narrow strings: length, comparison and search ----------------------- */
RAVVEL_EXTERN_C RAVVEL_API rsize_t_rl corvel_strnlen_s(const char* dest, rsize_t_rl dmax);
// *indicator receives dest - src at the first difference (0 when equal).
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcmp_s(const char* dest, rsize_t_rl dmax, const char* src,
                                                      int* indicator);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcasecmp_s(const char* dest, rsize_t_rl dmax, const char* src,
                                                          int* indicator);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcmpfld_s(const char* dest, rsize_t_rl dmax, const char* src,
                                                         int* indicator);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcspn_s(const char* dest, rsize_t_rl dmax, const char* src,
                                                       rsize_t_rl slen, rsize_t_rl* count);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strspn_s(const char* dest, rsize_t_rl dmax, const char* src,
                                                      rsize_t_rl slen, rsize_t_rl* count);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strpbrk_s(char* dest, rsize_t_rl dmax, const char* src,
                                                       rsize_t_rl slen, char** first);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strstr_s(char* dest, rsize_t_rl dmax, const char* src,
                                                      rsize_t_rl slen, char** substring);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strcasestr_s(char* dest, rsize_t_rl dmax, const char* src,
                                                          rsize_t_rl slen, char** substring);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strprefix_s(const char* dest, rsize_t_rl dmax, const char* src);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strfirstchar_s(char* dest, rsize_t_rl dmax, char c,
                                                            char** first);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strlastchar_s(char* dest, rsize_t_rl dmax, char c, char** last);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strfirstdiff_s(const char* dest, rsize_t_rl dmax,
                                                            const char* src, rsize_t_rl* index);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strlastdiff_s(const char* dest, rsize_t_rl dmax, const char* src,
                                                           rsize_t_rl* index);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strfirstsame_s(const char* dest, rsize_t_rl dmax,
                                                            const char* src, rsize_t_rl* index);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strlastsame_s(const char* dest, rsize_t_rl dmax, const char* src,
                                                           rsize_t_rl* index);
// Returns the next token or null; *dmax and *ptr carry the position between calls.
RAVVEL_EXTERN_C RAVVEL_API char* corvel_strtok_s(char* dest, rsize_t_rl* dmax, const char* src, char** ptr);

/* ---- Narrow strings: in-place edits -------------------------------------- */
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strremovews_s(char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strljustify_s(char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strtolowercase_s(char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_strtouppercase_s(char* dest, rsize_t_rl dmax);

/* ---- Narrow strings: classifiers (false for an empty string) -------------- */
RAVVEL_EXTERN_C RAVVEL_API bool corvel_strisalphanumeric_s(const char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_strisascii_s(const char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_strisdigit_s(const char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_strishex_s(const char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_strislowercase_s(const char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_strisuppercase_s(const char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_strismixedcase_s(const char* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_strispassword_s(const char* dest, rsize_t_rl dmax);

/* ---- Wide strings (wchar_t units) ---------------------------------------- */
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcscpy_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcsncpy_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src,
                                                       rsize_t_rl slen);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcscat_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcsncat_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src,
                                                       rsize_t_rl slen);
RAVVEL_EXTERN_C RAVVEL_API rsize_t_rl corvel_wcsnlen_s(const wchar_t* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcscmp_s(const wchar_t* dest, rsize_t_rl dmax,
                                                      const wchar_t* src, int* indicator);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcsncmp_s(const wchar_t* dest, rsize_t_rl dmax,
                                                       const wchar_t* src, rsize_t_rl n, int* indicator);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcsicmp_s(const wchar_t* dest, rsize_t_rl dmax,
                                                       const wchar_t* src, int* indicator);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcsnicmp_s(const wchar_t* dest, rsize_t_rl dmax,
                                                        const wchar_t* src, rsize_t_rl n, int* indicator);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcschr_s(wchar_t* dest, rsize_t_rl dmax, wchar_t ch,
                                                      wchar_t** first);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcsrchr_s(wchar_t* dest, rsize_t_rl dmax, wchar_t ch,
                                                       wchar_t** last);
RAVVEL_EXTERN_C RAVVEL_API errno_t_rl corvel_wcsstr_s(wchar_t* dest, rsize_t_rl dmax, const wchar_t* src,
                                                      rsize_t_rl slen, wchar_t** substring);
RAVVEL_EXTERN_C RAVVEL_API wchar_t* corvel_wcstok_s(wchar_t* dest, rsize_t_rl* dmax, const wchar_t* src,
                                                    wchar_t** ptr);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_wcsisalphanumeric_s(const wchar_t* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_wcsisascii_s(const wchar_t* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_wcsisdigit_s(const wchar_t* dest, rsize_t_rl dmax);
RAVVEL_EXTERN_C RAVVEL_API bool corvel_wcsishex_s(const wchar_t* dest, rsize_t_rl dmax);

#endif
