#include "image.h"

#include <cstdlib>
#include <cstring>

namespace rvtool {

void AlignedBuffer::Free::operator()(uint8_t* p) const
{
    std::free(p);
}

bool AlignedBuffer::Resize(size_t bytes)
{
    if (bytes == m_size && m_data) {
        std::memset(m_data.get(), 0, bytes);
        return true;
    }
    // One spare vector past the end: SIMD tails that load a full register at
    // the last pixel then stay inside our allocation.
    const size_t rounded = (bytes + 64 + 63) & ~static_cast<size_t>(63);
    uint8_t* p = static_cast<uint8_t*>(std::aligned_alloc(64, rounded));
    if (p == nullptr) return false;
    std::memset(p, 0, rounded);
    m_data.reset(p);
    m_size = bytes;
    return true;
}

bool I420Image::Allocate(int w, int h)
{
    width = w;
    height = h;
    return buf.Resize(Offset(2) + ChromaBytes());
}

SRLPictureInfo I420Image::Describe()
{
    SRLPictureInfo p;
    std::memset(&p, 0, sizeof(p));
    p.pData[0] = Y();
    p.pData[1] = U();
    p.pData[2] = V();
    p.iStride[0] = width;
    p.iStride[1] = Cw();
    p.iStride[2] = Cw();
    p.iWidth = width;
    p.iHeight = height;
    p.eFormat = RL_FORMAT_I420;
    return p;
}

bool I420Image::CopyFrom(const I420Image& other)
{
    if ((width != other.width || height != other.height || buf.Data() == nullptr) &&
        !Allocate(other.width, other.height))
        return false;
    std::memcpy(buf.Data(), other.buf.Data(), Offset(2) + ChromaBytes());
    return true;
}

bool RgbImage::Allocate(int w, int h)
{
    width = w;
    height = h;
    return buf.Resize(static_cast<size_t>(w) * h * 3);
}

SRLPictureInfo RgbImage::Describe()
{
    SRLPictureInfo p;
    std::memset(&p, 0, sizeof(p));
    p.pData[0] = buf.Data();
    p.iStride[0] = static_cast<int32_t>(Stride());
    p.iWidth = width;
    p.iHeight = height;
    p.eFormat = RL_FORMAT_RGB24;
    return p;
}

namespace {

inline uint8_t Clip8(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace

void RgbToI420(const RgbImage& rgb, I420Image* yuv)
{
    const int w = rgb.width, h = rgb.height;
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = rgb.Row(y);
        uint8_t* d = yuv->Y() + static_cast<size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const int r = s[3 * x], g = s[3 * x + 1], b = s[3 * x + 2];
            d[x] = static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
        }
    }
    // Chroma from the average of each 2x2 block (the last row or column of an
    // odd size averages what exists).
    const int cw = yuv->Cw(), ch = yuv->Ch();
    for (int cy = 0; cy < ch; ++cy) {
        for (int cx = 0; cx < cw; ++cx) {
            int sr = 0, sg = 0, sb = 0, n = 0;
            for (int dy = 0; dy < 2; ++dy) {
                const int y = 2 * cy + dy;
                if (y >= h) break;
                for (int dx = 0; dx < 2; ++dx) {
                    const int x = 2 * cx + dx;
                    if (x >= w) break;
                    const uint8_t* p = rgb.Row(y) + 3 * x;
                    sr += p[0];
                    sg += p[1];
                    sb += p[2];
                    ++n;
                }
            }
            const int r = (sr + n / 2) / n, g = (sg + n / 2) / n, b = (sb + n / 2) / n;
            yuv->U()[cy * cw + cx] = Clip8(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
            yuv->V()[cy * cw + cx] = Clip8(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
        }
    }
}

void I420ToRgb(const I420Image& yuv, RgbImage* rgb)
{
    const int w = yuv.width, h = yuv.height, cw = yuv.Cw();
    for (int y = 0; y < h; ++y) {
        const uint8_t* ys = yuv.Y() + static_cast<size_t>(y) * w;
        const uint8_t* us = yuv.U() + static_cast<size_t>(y / 2) * cw;
        const uint8_t* vs = yuv.V() + static_cast<size_t>(y / 2) * cw;
        uint8_t* d = rgb->Row(y);
        for (int x = 0; x < w; ++x) {
            const int c = 298 * (ys[x] - 16);
            const int du = us[x / 2] - 128, dv = vs[x / 2] - 128;
            d[3 * x] = Clip8((c + 409 * dv + 128) >> 8);
            d[3 * x + 1] = Clip8((c - 100 * du - 208 * dv + 128) >> 8);
            d[3 * x + 2] = Clip8((c + 516 * du + 128) >> 8);
        }
    }
}

bool CopyI420FromPicture(const SRLPictureInfo& pic, I420Image* out)
{
    if (pic.iWidth <= 0 || pic.iHeight <= 0 || !pic.pData[0] || !pic.pData[1] || !pic.pData[2])
        return false;
    if (!out->Allocate(pic.iWidth, pic.iHeight)) return false;
    const uint8_t* planes[3] = {pic.pData[0], pic.pData[1], pic.pData[2]};
    if ((static_cast<uint32_t>(pic.eFormat) & RL_FORMAT_MASK) == RL_FORMAT_YV12) {
        planes[1] = pic.pData[2];
        planes[2] = pic.pData[1];
    }
    uint8_t* dst[3] = {out->Y(), out->U(), out->V()};
    for (int p = 0; p < 3; ++p) {
        const int w = p == 0 ? out->width : out->Cw();
        const int h = p == 0 ? out->height : out->Ch();
        const int stride = pic.iStride[p];
        for (int y = 0; y < h; ++y)
            std::memcpy(dst[p] + static_cast<size_t>(y) * w, planes[p] + static_cast<ptrdiff_t>(y) * stride, w);
    }
    return true;
}

}  // namespace rvtool
