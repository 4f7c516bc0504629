// Picture containers of the ravvel tool and their descriptors for the library.
#ifndef RAVVEL_TOOLS_IMAGE_H
#define RAVVEL_TOOLS_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ravvel.h"

namespace rvtool {

// A zero-filled, 64-byte aligned byte block. Aligned so that the library can
// use caller memory in place rather than copying it into its own buffers.
class AlignedBuffer {
public:
    bool Resize(size_t bytes);  // false when out of memory; contents are zeroed
    uint8_t* Data() { return m_data.get(); }
    const uint8_t* Data() const { return m_data.get(); }
    size_t Size() const { return m_size; }

private:
    struct Free {
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t, Free> m_data;
    size_t m_size = 0;
};

// Planar 4:2:0 with rows packed without gaps (pitch = plane width), as the
// methods that ignore pitches (rotation, blending) need; each plane starts on
// a 64-byte boundary, as debanding needs.
struct I420Image {
    int width = 0;
    int height = 0;
    AlignedBuffer buf;

    static int ChromaWidth(int w) { return (w + 1) / 2; }
    static int ChromaHeight(int h) { return (h + 1) / 2; }
    int Cw() const { return ChromaWidth(width); }
    int Ch() const { return ChromaHeight(height); }
    size_t LumaBytes() const { return static_cast<size_t>(width) * height; }
    size_t ChromaBytes() const { return static_cast<size_t>(Cw()) * Ch(); }
    // Bytes of picture data (what a Y4M frame holds), without the alignment gaps.
    size_t PictureBytes() const { return LumaBytes() + 2 * ChromaBytes(); }

    bool Allocate(int w, int h);
    uint8_t* Plane(int i) { return buf.Data() + Offset(i); }
    const uint8_t* Plane(int i) const { return buf.Data() + Offset(i); }
    size_t PlaneBytes(int i) const { return i == 0 ? LumaBytes() : ChromaBytes(); }
    uint8_t* Y() { return Plane(0); }
    uint8_t* U() { return Plane(1); }
    uint8_t* V() { return Plane(2); }
    const uint8_t* Y() const { return Plane(0); }
    const uint8_t* U() const { return Plane(1); }
    const uint8_t* V() const { return Plane(2); }

    SRLPictureInfo Describe();
    bool CopyFrom(const I420Image& other);  // reallocates when the size differs

private:
    static size_t Align64(size_t n) { return (n + 63) & ~static_cast<size_t>(63); }
    size_t Offset(int i) const
    {
        return i == 0 ? 0 : (i == 1 ? Align64(LumaBytes()) : Align64(LumaBytes()) + Align64(ChromaBytes()));
    }
};

// Packed RGB24 (R, G, B), rows without padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    AlignedBuffer buf;

    bool Allocate(int w, int h);
    size_t Stride() const { return static_cast<size_t>(width) * 3; }
    uint8_t* Row(int y) { return buf.Data() + y * Stride(); }
    const uint8_t* Row(int y) const { return buf.Data() + y * Stride(); }
    SRLPictureInfo Describe();
};

// Plain BT.601 limited-range conversions, used when the library's colour
// converter is not available, and as the fallback for odd picture sizes.
void RgbToI420(const RgbImage& rgb, I420Image* yuv);
void I420ToRgb(const I420Image& yuv, RgbImage* rgb);

// Copies plane data described by `pic` (any pitches) into a tightly packed image.
bool CopyI420FromPicture(const SRLPictureInfo& pic, I420Image* out);

}  // namespace rvtool

#endif
