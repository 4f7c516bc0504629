// Unchecked fill and move primitives under the checked memory members.
#include <string.h>

#include "safestr/safe_lib.h"

namespace {
template <typename T>
void FillUnits(T* dest, rsize_t_rl len, T value)
{
    for (rsize_t_rl i = 0; i < len; ++i) dest[i] = value;
}
}  // namespace

extern "C" {

void mem_prim_set(void* dest, rsize_t_rl len, uint8_t value)
{
    memset(dest, value, len);
}

void mem_prim_set16(uint16_t* dest, rsize_t_rl len, uint16_t value)
{
    FillUnits(dest, len, value);
}

void mem_prim_set32(uint32_t* dest, rsize_t_rl len, uint32_t value)
{
    FillUnits(dest, len, value);
}

void mem_prim_move(void* dest, const void* src, rsize_t_rl len)
{
    memmove(dest, src, len);
}

void mem_prim_move8(uint8_t* dest, const uint8_t* src, rsize_t_rl len)
{
    memmove(dest, src, len);
}

void mem_prim_move16(uint16_t* dest, const uint16_t* src, rsize_t_rl len)
{
    memmove(dest, src, len * sizeof *dest);
}

void mem_prim_move32(uint32_t* dest, const uint32_t* src, rsize_t_rl len)
{
    memmove(dest, src, len * sizeof *dest);
}

}  // extern "C"
