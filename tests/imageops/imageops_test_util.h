// Small helpers shared by the image-operation tests.
#ifndef RAVVEL_TESTS_IMAGEOPS_TEST_UTIL_H
#define RAVVEL_TESTS_IMAGEOPS_TEST_UTIL_H

#include <cstdint>
#include <vector>

#include "ravvel.h"

namespace imageops_test {

using Bytes = std::vector<uint8_t>;

// Exactly n deterministic bytes: a kernel running past the end shows under AddressSanitizer.
inline Bytes Random(size_t n, uint32_t seed)
{
    Bytes v(n);
    uint32_t s = seed * 2654435761u + 1;
    for (uint8_t& b : v) b = static_cast<uint8_t>((s = s * 1664525u + 1013904223u) >> 24);
    return v;
}

inline SRLPictureInfo Pic(uint32_t format, int w, int h, uint8_t* p0, uint8_t* p1 = nullptr, uint8_t* p2 = nullptr)
{
    SRLPictureInfo p{};
    p.eFormat = static_cast<RL_EVideoFormat>(format);
    p.iWidth = w;
    p.iHeight = h;
    p.pData[0] = p0, p.pData[1] = p1, p.pData[2] = p2;
    return p;
}

}  // namespace imageops_test

#endif
