// I420 pictures and sequences for the denoiser's tests.
#ifndef RAVVEL_TESTS_ENHANCE_DENOISE_TEST_UTIL_H
#define RAVVEL_TESTS_ENHANCE_DENOISE_TEST_UTIL_H

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ravvel.h"

namespace denoise_test {

// An I420 picture whose planes are separate allocations ending exactly after
// their last row's bytes, so any access past a plane shows under
// AddressSanitizer. `shift` moves every plane off its allocation's start
// (16-byte aligned allocations plus shift).
class Yuv {
public:
    Yuv(int w, int h, int lumaStride = 0, int shift = 0) : m_w(w), m_h(h)
    {
        const int cw = w >> 1, ch = h >> 1;
        m_stride[0] = lumaStride ? lumaStride : w;
        m_stride[1] = m_stride[2] = lumaStride ? lumaStride / 2 : cw;
        const int rows[3] = {h, ch, ch}, bytes[3] = {w, cw, cw};
        for (int i = 0; i < 3; ++i) {
            const size_t size = rows[i] ? static_cast<size_t>(m_stride[i]) * (rows[i] - 1) + bytes[i] : 0;
            void* mem = nullptr;
            const size_t total = size + shift ? size + shift : 1;
            if (posix_memalign(&mem, 16, total) != 0) std::abort();
            m_mem[i] = static_cast<uint8_t*>(mem);
            std::memset(m_mem[i], 0, total);
            m_plane[i] = m_mem[i] + shift;
            m_rowBytes[i] = bytes[i];
            m_rows[i] = rows[i];
        }
    }
    ~Yuv()
    {
        for (uint8_t* m : m_mem) std::free(m);
    }
    Yuv(const Yuv&) = delete;
    Yuv& operator=(const Yuv&) = delete;

    SRLPictureInfo Info(RL_EVideoFormat format = RL_FORMAT_I420)
    {
        SRLPictureInfo p{};
        p.eFormat = format;
        p.iWidth = m_w;
        p.iHeight = m_h;
        for (int i = 0; i < 3; ++i) p.pData[i] = m_plane[i], p.iStride[i] = m_stride[i];
        return p;
    }
    uint8_t& At(int plane, int x, int y) { return m_plane[plane][static_cast<ptrdiff_t>(y) * m_stride[plane] + x]; }
    uint8_t At(int plane, int x, int y) const
    {
        return m_plane[plane][static_cast<ptrdiff_t>(y) * m_stride[plane] + x];
    }
    int Width(int plane) const { return m_rowBytes[plane]; }
    int Height(int plane) const { return m_rows[plane]; }
    // Copies the pixels (not the padding) of another picture of the same size.
    void CopyPixels(const Yuv& o)
    {
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < m_rows[p]; ++y)
                for (int x = 0; x < m_rowBytes[p]; ++x) At(p, x, y) = o.At(p, x, y);
    }
    bool SamePixels(const Yuv& o) const
    {
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < m_rows[p]; ++y)
                for (int x = 0; x < m_rowBytes[p]; ++x)
                    if (At(p, x, y) != o.At(p, x, y)) return false;
        return true;
    }
    // Fills the padding bytes between rows with a marker.
    void FillPadding(uint8_t v)
    {
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y + 1 < m_rows[p]; ++y)
                for (int x = m_rowBytes[p]; x < m_stride[p]; ++x) At(p, x, y) = v;
    }
    bool PaddingIs(uint8_t v) const
    {
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y + 1 < m_rows[p]; ++y)
                for (int x = m_rowBytes[p]; x < m_stride[p]; ++x)
                    if (At(p, x, y) != v) return false;
        return true;
    }

private:
    int m_w, m_h;
    int m_stride[3];
    int m_rowBytes[3];
    int m_rows[3];
    uint8_t* m_mem[3];
    uint8_t* m_plane[3];
};

// Deterministic generator with Gaussian samples (Box-Muller).
class Noise {
public:
    explicit Noise(uint32_t seed) : m_s(seed * 2654435761u + 12345u) {}
    uint32_t Next()
    {
        m_s ^= m_s << 13;
        m_s ^= m_s >> 17;
        m_s ^= m_s << 5;
        return m_s;
    }
    double Uniform() { return (Next() >> 8) * (1.0 / 16777216.0) + 1e-9; }
    double Gauss()
    {
        const double u = Uniform(), v = Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
    }

private:
    uint32_t m_s;
};

// A textured scene seen by a slowly panning camera: frame t shows the scene
// shifted by (t, t / 2) luma pixels. Smooth shading, stripes and hard edges.
inline uint8_t Scene(int plane, int x, int y)
{
    if (plane == 0) {
        double v = 110 + 60 * std::sin(x * 0.05) * std::cos(y * 0.037) + 12 * std::sin((x + 2 * y) * 0.15);
        if (((x / 48) + (y / 40)) % 2) v += 40;
        return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    const double v = 128 + (plane == 1 ? 40 : -30) * std::sin(x * 0.06 + y * 0.02) + (((x / 24) % 2) ? 12 : -12);
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline void RenderFrame(Yuv& f, int t)
{
    for (int p = 0; p < 3; ++p) {
        const int dx = p ? t / 2 : t, dy = p ? t / 4 : t / 2;
        for (int y = 0; y < f.Height(p); ++y)
            for (int x = 0; x < f.Width(p); ++x) f.At(p, x, y) = Scene(p, x + dx, y + dy);
    }
}

inline void AddNoise(Yuv& f, Noise& n, double sigma)
{
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < f.Height(p); ++y)
            for (int x = 0; x < f.Width(p); ++x) {
                const double v = f.At(p, x, y) + sigma * n.Gauss();
                f.At(p, x, y) = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v));
            }
}

// Sum of squared differences and sample count of plane `plane` (chroma: both).
inline void AddSquaredError(const Yuv& a, const Yuv& b, bool chroma, double* sse, double* count)
{
    for (int p = chroma ? 1 : 0; p < (chroma ? 3 : 1); ++p)
        for (int y = 0; y < a.Height(p); ++y)
            for (int x = 0; x < a.Width(p); ++x) {
                const double d = static_cast<double>(a.At(p, x, y)) - b.At(p, x, y);
                *sse += d * d;
                *count += 1;
            }
}

inline double Psnr(double sse, double count) { return 10.0 * std::log10(255.0 * 255.0 / (sse / count)); }

}  // namespace denoise_test

#endif
