// The bounds-checked family with random capacities, lengths and contents over
// buffers of exactly the stated capacity.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "safestr/safe_lib.h"
#include "support/method_catalog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    rltest::Choices c(data, size);
    while (!c.Empty()) {
        const int op = c.Byte() % 8;
        const size_t dmax = c.Range(0, 40);
        const size_t smax = c.Range(0, 40);
        std::vector<char> dest(dmax ? dmax : 1), src(smax ? smax : 1);
        for (char& ch : dest) ch = static_cast<char>(c.Byte() % 4 ? 'a' + c.Byte() % 26 : 0);
        for (char& ch : src) ch = static_cast<char>(c.Byte() % 4 ? 'A' + c.Byte() % 26 : 0);
        src.back() = 0;  // strings the caller passes as sources are terminated
        char* d = dest.data();
        const char* s = src.data();
        switch (op) {
        case 0:
            corvel_memcpy_s(d, dmax, s, smax);
            break;
        case 1: {
            // An overlapping move inside dest: the source stays inside the buffer.
            const size_t k = dmax ? static_cast<size_t>(c.Range(0, static_cast<int>(dmax) - 1)) : 0;
            corvel_memmove_s(d, dmax, d + k, smax < dmax - k ? smax : dmax - k);
            break;
        }
        case 2:
            corvel_strcat_s(d, dmax, s);
            break;
        case 3:
            corvel_strcpy_s(d, dmax, s);
            break;
        case 4:
            corvel_strncat_s(d, dmax, s, smax);
            break;
        case 5:
            corvel_strncpy_s(d, dmax, s, smax);
            break;
        case 6:
            (void)corvel_strnlen_s(d, dmax);
            break;
        default:
            corvel_memset_s(d, dmax, c.Byte());
            break;
        }
    }
    return 0;
}
