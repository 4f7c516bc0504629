// Luma-only pictures for the analysis tests: the analysis methods read plane 0
// only, so the chroma pointers stay null and any access to them would crash.
#ifndef RAVVEL_TESTS_ANALYSIS_TEST_UTIL_H
#define RAVVEL_TESTS_ANALYSIS_TEST_UTIL_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ravvel.h"

namespace analysis_test {

// A w x h luma plane with the given stride, `misalign` bytes past a 64-byte
// boundary. The allocation ends right after the last row's w bytes.
class LumaFrame {
public:
    LumaFrame(int w, int h, int stride = 0, int misalign = 0) : m_w(w), m_h(h), m_stride(stride ? stride : w)
    {
        const size_t bytes = h > 0 && w > 0 ? static_cast<size_t>(m_stride) * (h - 1) + w : 0;
        void* block = nullptr;
        if (posix_memalign(&block, 64, misalign + bytes + (bytes ? 0 : 1)) != 0) std::abort();
        m_block = static_cast<uint8_t*>(block);
        m_data = m_block + misalign;
        std::memset(m_data, 0, bytes);
        std::memset(&m_info, 0, sizeof m_info);
        m_info.pData[0] = m_data;
        m_info.iStride[0] = m_stride;
        m_info.iStride[1] = m_info.iStride[2] = m_stride / 2;
        m_info.iWidth = w;
        m_info.iHeight = h;
        m_info.eFormat = RL_FORMAT_I420;
    }
    ~LumaFrame() { std::free(m_block); }
    LumaFrame(const LumaFrame&) = delete;
    LumaFrame& operator=(const LumaFrame&) = delete;

    uint8_t* Row(int y) { return m_data + static_cast<ptrdiff_t>(y) * m_stride; }
    uint8_t& At(int x, int y) { return Row(y)[x]; }
    void Fill(uint8_t v)
    {
        for (int y = 0; y < m_h; ++y) std::memset(Row(y), v, m_w);
    }
    void CopyFrom(LumaFrame& o)
    {
        for (int y = 0; y < m_h; ++y) std::memcpy(Row(y), o.Row(y), m_w);
    }
    SRLPictureInfo* Info() { return &m_info; }
    int Width() const { return m_w; }
    int Height() const { return m_h; }
    int Stride() const { return m_stride; }

private:
    int m_w, m_h, m_stride;
    uint8_t* m_block;
    uint8_t* m_data;
    SRLPictureInfo m_info;
};

}  // namespace analysis_test

#endif
