// Pictures for tests and fuzzing: plane geometry per format and buffers
// allocated exactly as large as the descriptor says, so that any access
// outside them shows under AddressSanitizer and valgrind.
#ifndef RAVVEL_TESTS_SUPPORT_PICTURE_H
#define RAVVEL_TESTS_SUPPORT_PICTURE_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ravvel.h"

namespace rltest {

struct PlaneGeometry {
    int planes = 0;           // 0: the format names no layout
    int rowBytes[3] = {0, 0, 0};
    int rows[3] = {0, 0, 0};
};

// Bytes per row and rows of each plane of a format (bottom-up bit ignored).
// Planar RGB keeps its three planes one after another in plane 0 and is
// described as one plane of 3 x height rows.
inline PlaneGeometry GeometryOf(uint32_t format, int w, int h)
{
    PlaneGeometry g;
    if (w <= 0 || h <= 0) return g;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    switch (format & RL_FORMAT_MASK) {
    case RL_FORMAT_RGB24:
    case RL_FORMAT_BGR24:
        g.planes = 1, g.rowBytes[0] = 3 * w, g.rows[0] = h;
        break;
    case RL_FORMAT_RGBA:
    case RL_FORMAT_BGRA:
    case RL_FORMAT_ABGR:
    case RL_FORMAT_ARGB:
    case RL_FORMAT_RGBA_SCREEN:
        g.planes = 1, g.rowBytes[0] = 4 * w, g.rows[0] = h;
        break;
    case RL_FORMAT_RGB_PLANAR:
    case RL_FORMAT_BGR_PLANAR:
        g.planes = 1, g.rowBytes[0] = w, g.rows[0] = 3 * h;
        break;
    case RL_FORMAT_YUYV:
    case RL_FORMAT_YVYU:
    case RL_FORMAT_UYVY:
    case RL_FORMAT_VYUY:
        // Four bytes per pair of pixels. (The scalers read format 31 as one
        // grey plane of w bytes per row, which this also covers.)
        g.planes = 1, g.rowBytes[0] = 4 * cw, g.rows[0] = h;
        break;
    case RL_FORMAT_I420:
    case RL_FORMAT_YV12:
        g.planes = 3, g.rowBytes[0] = w, g.rows[0] = h;
        g.rowBytes[1] = g.rowBytes[2] = cw, g.rows[1] = g.rows[2] = ch;
        break;
    case RL_FORMAT_I420_2:
        g.planes = 3, g.rowBytes[0] = w, g.rows[0] = h;
        g.rowBytes[1] = g.rowBytes[2] = 2 * cw, g.rows[1] = g.rows[2] = ch;
        break;
    case RL_FORMAT_NV12:
    case RL_FORMAT_NV21:
        g.planes = 2, g.rowBytes[0] = w, g.rows[0] = h;
        g.rowBytes[1] = 2 * cw, g.rows[1] = ch;
        break;
    default:
        break;
    }
    return g;
}

// A picture whose planes live one after another in one allocation that ends
// exactly after the last plane. Strides may exceed the row bytes; a picture
// can also be laid out for a negative stride (pointer at the last row).
class Picture {
public:
    Picture() { std::memset(&m_info, 0, sizeof m_info); }
    Picture(uint32_t format, int w, int h, int stridePad = 0) : Picture() { Allocate(format, w, h, stridePad); }
    ~Picture() { std::free(m_block); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // Returns false when the format names no layout or the size is empty
    // (the descriptor is still filled, with null planes).
    // planeAlign (a power of two, 0 for none) starts every plane on such a
    // boundary, for methods that require it; the block still ends right after
    // the last plane.
    bool Allocate(uint32_t format, int w, int h, int stridePad = 0, bool negativeStride = false, int planeAlign = 0)
    {
        std::free(m_block);
        m_block = nullptr;
        m_size = 0;
        std::memset(&m_info, 0, sizeof m_info);
        m_info.iWidth = w;
        m_info.iHeight = h;
        m_info.eFormat = static_cast<RL_EVideoFormat>(format);
        const PlaneGeometry g = GeometryOf(format, w, h);
        if (g.planes == 0) return false;
        size_t offsets[3] = {0, 0, 0}, total = 0;
        for (int p = 0; p < g.planes; ++p) {
            const int stride = g.rowBytes[p] + stridePad;
            if (planeAlign > 1) total = (total + planeAlign - 1) & ~static_cast<size_t>(planeAlign - 1);
            offsets[p] = total;
            total += static_cast<size_t>(stride) * (g.rows[p] - 1) + g.rowBytes[p];
            m_info.iStride[p] = negativeStride ? -stride : stride;
        }
        m_size = total;
        if (planeAlign > 1) {
            void* block = nullptr;
            m_block = posix_memalign(&block, static_cast<size_t>(planeAlign), total ? total : 1) == 0
                          ? static_cast<uint8_t*>(block)
                          : nullptr;
        } else {
            m_block = static_cast<uint8_t*>(std::malloc(total ? total : 1));
        }
        for (int p = 0; p < g.planes; ++p) {
            uint8_t* base = m_block + offsets[p];
            if (negativeStride) base += static_cast<size_t>(g.rowBytes[p] + stridePad) * (g.rows[p] - 1);
            m_info.pData[p] = base;
        }
        const uint32_t fmt = format & RL_FORMAT_MASK;
        if (fmt == RL_FORMAT_RGB_PLANAR || fmt == RL_FORMAT_BGR_PLANAR) {
            // Both conventions at once: consecutive planes in plane 0, and
            // planes 1 and 2 pointing at the second and third of them.
            const int stride = g.rowBytes[0] + stridePad;
            m_info.iStride[1] = m_info.iStride[2] = m_info.iStride[0];
            m_info.pData[1] = m_info.pData[0] + static_cast<ptrdiff_t>(stride) * h * (negativeStride ? -1 : 1);
            m_info.pData[2] = m_info.pData[1] + static_cast<ptrdiff_t>(stride) * h * (negativeStride ? -1 : 1);
        }
        return true;
    }

    void Fill(uint8_t value)
    {
        if (m_block) std::memset(m_block, value, m_size);
    }
    template <class Rng>
    void FillRandom(Rng& rng)
    {
        for (size_t i = 0; i < m_size; ++i) m_block[i] = rng.Byte();
    }

    SRLPictureInfo* info() { return &m_info; }
    uint8_t* block() { return m_block; }
    size_t size() const { return m_size; }

private:
    SRLPictureInfo m_info;
    uint8_t* m_block = nullptr;
    size_t m_size = 0;
};

}  // namespace rltest

#endif
