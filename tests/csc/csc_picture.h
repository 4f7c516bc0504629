// Pictures of any converter format built from exactly sized planes, shared by
// the converter tests and the kernel-equivalence registrations.
#ifndef RAVVEL_TESTS_CSC_CSC_PICTURE_H
#define RAVVEL_TESTS_CSC_CSC_PICTURE_H

#include <cstring>
#include <memory>
#include <vector>

#include "kernels/harness.h"
#include "ravvel.h"

namespace rltest {

class CscPicture {
public:
    // Random content (planes padded and misaligned as the case says); the
    // format may carry the bottom-up bit.
    CscPicture(uint32_t format, int w, int h, const KernelCase& c, Rng& rng)
    {
        std::memset(&info, 0, sizeof info);
        info.iWidth = w;
        info.iHeight = h;
        info.eFormat = static_cast<RL_EVideoFormat>(format);
        const uint32_t f = format & RL_FORMAT_MASK;
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        switch (f) {
        case RL_FORMAT_RGB24:
        case RL_FORMAT_BGR24: Add(rng, c, 3 * w, h, 0); break;
        case RL_FORMAT_RGBA:
        case RL_FORMAT_BGRA:
        case RL_FORMAT_ABGR:
        case RL_FORMAT_ARGB: Add(rng, c, 4 * w, h, 0); break;
        case RL_FORMAT_RGB_PLANAR:
        case RL_FORMAT_BGR_PLANAR: Add(rng, c, w, 3 * h, 0); break;
        case RL_FORMAT_YUYV:
        case RL_FORMAT_YVYU:
        case RL_FORMAT_UYVY:
        case RL_FORMAT_VYUY: Add(rng, c, 2 * w, h, 0); break;
        case RL_FORMAT_NV12:
        case RL_FORMAT_NV21:
            Add(rng, c, w, h, 0);
            Add(rng, c, 2 * cw, ch, 1);
            break;
        case RL_FORMAT_RGBA_SCREEN: {
            // Rows without gaps at the picture's width.
            KernelCase tight = c;
            tight.stridePad = 0;
            Add(rng, tight, 4 * w, h, 0);
            break;
        }
        case RL_FORMAT_I420:
        case RL_FORMAT_YV12:
            Add(rng, c, w, h, 0);
            Add(rng, c, cw, ch, 1);
            Add(rng, c, cw, ch, 2);
            break;
        default:  // RL_FORMAT_I420_2 and anything read as it
            Add(rng, c, w, h, 0);
            Add(rng, c, w, ch, 1);
            Add(rng, c, w, ch, 2);
            break;
        }
    }

    void AddTo(Output& out) const
    {
        for (const auto& p : planes) out.AddPlane("plane", *p);
    }
    // All bytes of all planes, in plane order.
    std::vector<uint8_t> Bytes() const
    {
        std::vector<uint8_t> v;
        for (const auto& p : planes) {
            const uint8_t* d = p->data();
            const size_t n = static_cast<size_t>(p->stride()) * static_cast<size_t>(p->rows() - 1) +
                             static_cast<size_t>(p->rowBytes());
            v.insert(v.end(), d, d + n);
        }
        return v;
    }

    SRLPictureInfo info;
    std::vector<std::unique_ptr<Plane>> planes;

private:
    void Add(Rng& rng, const KernelCase& c, int rowBytes, int rows, int index)
    {
        planes.emplace_back(new Plane(rng, rowBytes, rows, c));
        info.pData[index] = planes.back()->data();
        info.iStride[index] = planes.back()->stride();
    }
};

}  // namespace rltest

#endif
