// strcat_s is the model of the string members; the other copies are its variants.
#include "safestr/safe_lib.h"
#include "safestr/safe_lib_internal.h"

using namespace Ravvel::SafeLib;

extern "C" {

errno_t_rl corvel_strcat_s(char* dest, rsize_t_rl dmax, const char* src)
{
    return CopyString("strcat_s", dest, dmax, src, kNoLimit, true);
}

errno_t_rl corvel_strncat_s(char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen)
{
    return CopyString("strncat_s", dest, dmax, src, slen, true);
}

errno_t_rl corvel_strcpy_s(char* dest, rsize_t_rl dmax, const char* src)
{
    return CopyString("strcpy_s", dest, dmax, src, kNoLimit, false);
}

errno_t_rl corvel_strncpy_s(char* dest, rsize_t_rl dmax, const char* src, rsize_t_rl slen)
{
    return CopyString("strncpy_s", dest, dmax, src, slen, false);
}

}  // extern "C"
