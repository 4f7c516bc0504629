// I420 pictures for the colour-look and adjustment tests: one exact-size
// allocation whose row gaps hold a sentinel, so writes between rows show,
// and reads or writes past the last plane show under AddressSanitizer.
#ifndef RAVVEL_TESTS_EFFECTS_LOOK_TEST_UTIL_H
#define RAVVEL_TESTS_EFFECTS_LOOK_TEST_UTIL_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "ravvel.h"
#include "simd/dispatch.h"

namespace look_test {

constexpr uint8_t kGap = 0xA5;

inline uint32_t NextRandom(uint32_t* s) { return *s = *s * 1664525u + 1013904223u; }

class I420 {
public:
    // pad: extra bytes after every row of every plane.
    I420(int w, int h, int pad = 0) : m_w(w), m_h(h)
    {
        const int cw = w / 2, ch = h / 2;
        m_stride[0] = w + pad;
        m_stride[1] = m_stride[2] = cw + pad;
        m_rows[0] = h;
        m_rows[1] = m_rows[2] = ch;
        m_width[0] = w;
        m_width[1] = m_width[2] = cw;
        size_t total = 0;
        for (int p = 0; p < 3; ++p) {
            m_offset[p] = total;
            total += m_rows[p] ? static_cast<size_t>(m_stride[p]) * (m_rows[p] - 1) + m_width[p] : 0;
        }
        m_bytes.assign(total ? total : 1, kGap);  // a picture of no rows still has an address
    }

    SRLPictureInfo Info()
    {
        SRLPictureInfo p{};
        p.eFormat = RL_FORMAT_I420;
        p.iWidth = m_w;
        p.iHeight = m_h;
        for (int i = 0; i < 3; ++i) {
            p.pData[i] = m_bytes.data() + m_offset[i];
            p.iStride[i] = m_stride[i];
        }
        return p;
    }

    uint8_t& At(int plane, int x, int y) { return m_bytes[m_offset[plane] + static_cast<size_t>(y) * m_stride[plane] + x]; }
    int Width(int plane) const { return m_width[plane]; }
    int Rows(int plane) const { return m_rows[plane]; }

    // Random samples (or one value per plane when grey).
    void Fill(uint32_t seed)
    {
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < m_rows[p]; ++y)
                for (int x = 0; x < m_width[p]; ++x) At(p, x, y) = static_cast<uint8_t>(NextRandom(&seed) >> 24);
    }
    void Fill(uint8_t y, uint8_t u, uint8_t v)
    {
        const uint8_t value[3] = {y, u, v};
        for (int p = 0; p < 3; ++p)
            for (int r = 0; r < m_rows[p]; ++r) std::memset(&At(p, 0, r), value[p], m_width[p]);
    }

    // The samples only, plane after plane, rows packed.
    std::vector<uint8_t> Samples()
    {
        std::vector<uint8_t> out;
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < m_rows[p]; ++y) out.insert(out.end(), &At(p, 0, y), &At(p, 0, y) + m_width[p]);
        return out;
    }

    // Every gap byte still holds the sentinel.
    bool GapsIntact()
    {
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y + 1 < m_rows[p]; ++y)
                for (int x = m_width[p]; x < m_stride[p]; ++x)
                    if (At(p, x, y) != kGap) return false;
        return true;
    }

private:
    int m_w, m_h;
    int m_stride[3], m_rows[3], m_width[3];
    size_t m_offset[3];
    std::vector<uint8_t> m_bytes;
};

inline bool TierAvailable(int tier)
{
    return tier == Ravvel::RL_TIER_C || (VeskCPUFeatureDetect(nullptr) & Ravvel::TierFlag(tier));
}

}  // namespace look_test

#endif
