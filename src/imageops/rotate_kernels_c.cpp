#include "imageops/rotate_kernels.h"

#include <cstddef>
#include <cstring>

namespace Ravvel {

namespace {

// Pixels of 1, 2 or 4 bytes move in 16-byte vectors: a square block of
// rows is loaded, transposed inside registers and stored as whole rows, so a
// quarter turn costs few more instructions per byte than a copy. The vectors
// are the compilers' generic ones: plain SSE2 on x86-64, no processor tier.
typedef uint8_t V8 __attribute__((vector_size(16)));
typedef uint16_t V16 __attribute__((vector_size(16)));
typedef uint32_t V32 __attribute__((vector_size(16)));

template <uint32_t B>
struct Lanes;
template <>
struct Lanes<2> {
    using V = V16;
    static V ZipLo(V a, V b) { return __builtin_shufflevector(a, b, 0, 8, 1, 9, 2, 10, 3, 11); }
    static V ZipHi(V a, V b) { return __builtin_shufflevector(a, b, 4, 12, 5, 13, 6, 14, 7, 15); }
    // Reverses the 32-bit lanes, then the halves inside each.
    static V Reverse(V a)
    {
        const V32 v = __builtin_shufflevector(reinterpret_cast<V32>(a), reinterpret_cast<V32>(a), 3, 2, 1, 0);
        return reinterpret_cast<V>((v << 16) | (v >> 16));
    }
};
template <>
struct Lanes<1> {
    using V = V8;
    static V ZipLo(V a, V b) { return __builtin_shufflevector(a, b, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23); }
    static V ZipHi(V a, V b)
    {
        return __builtin_shufflevector(a, b, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    }
    // Reverses the 16-bit lanes, then the bytes inside each: whole-vector
    // moves and shifts that SSE2 has, where a byte shuffle would go scalar.
    static V Reverse(V a) { return reinterpret_cast<V>(SwapHalves(Lanes<2>::Reverse(reinterpret_cast<V16>(a)))); }
    static V16 SwapHalves(V16 v) { return (v << 8) | (v >> 8); }
};
template <>
struct Lanes<4> {
    using V = V32;
    static V ZipLo(V a, V b) { return __builtin_shufflevector(a, b, 0, 4, 1, 5); }
    static V ZipHi(V a, V b) { return __builtin_shufflevector(a, b, 2, 6, 3, 7); }
    static V Reverse(V a) { return __builtin_shufflevector(a, a, 3, 2, 1, 0); }
};

template <class V>
inline V LoadVec(const uint8_t* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
inline void StoreVec(uint8_t* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}

// Pixel size: the template argument, or the run-time value for the generic path (B = 0).
template <uint32_t B>
inline size_t PixelBytes(uint32_t bpp)
{
    return B ? B : bpp;
}

template <uint32_t B>
inline void CopyPixel(uint8_t* d, const uint8_t* s, uint32_t bpp)
{
    std::memcpy(d, s, PixelBytes<B>(bpp));
}

constexpr bool kVectorPixels(uint32_t b) { return b == 1 || b == 2 || b == 4; }

// Transposes the N x N matrix (N = 16/B) held in N vectors of N lanes. Each
// round interleaves row i with row i + N/2; after log2(N) rounds every
// index bit of a row has travelled to the column and back, which is the
// transpose.
template <uint32_t B>
inline void TransposeVectors(typename Lanes<B>::V* r)
{
    using L = Lanes<B>;
    constexpr int N = 16 / B;
    for (int round = 1; round < N; round *= 2) {
        typename L::V t[N];
        for (int i = 0; i < N / 2; ++i) {
            t[2 * i] = L::ZipLo(r[i], r[i + N / 2]);
            t[2 * i + 1] = L::ZipHi(r[i], r[i + N / 2]);
        }
        for (int i = 0; i < N; ++i) r[i] = t[i];
    }
}

// Quarter turns. Clockwise (kCw90): source (r, c) goes to destination row c,
// column h-1-r. Counter-clockwise (270 degrees clockwise): to row w-1-c, column r.
template <bool kCw90>
inline size_t QuarterIndex(size_t r, size_t c, size_t w, size_t h)
{
    return kCw90 ? c * h + (h - 1 - r) : (w - 1 - c) * h + r;
}

// Pixel by pixel over source rows [r0, r1) and columns [c0, c1), walking
// destination rows so that the writes stay sequential.
template <uint32_t B, bool kCw90>
void QuarterRect(const uint8_t* src, uint8_t* dst, size_t w, size_t h, uint32_t bpp, size_t r0, size_t r1,
                 size_t c0, size_t c1)
{
    const size_t px = PixelBytes<B>(bpp);
    for (size_t c = c0; c < c1; ++c)
        for (size_t r = r0; r < r1; ++r)
            CopyPixel<B>(dst + QuarterIndex<kCw90>(r, c, w, h) * px, src + (r * w + c) * px, bpp);
}

// One N x N block (N = 16/B) whose top-left source pixel is (r, c).
template <uint32_t B, bool kCw90>
inline void QuarterBlock(const uint8_t* src, uint8_t* dst, size_t w, size_t h, size_t r, size_t c)
{
    constexpr size_t N = 16 / B;
    typename Lanes<B>::V x[N];
    // A clockwise turn reverses the source rows along each destination row.
    for (size_t j = 0; j < N; ++j)
        x[j] = LoadVec<typename Lanes<B>::V>(src + ((r + (kCw90 ? N - 1 - j : j)) * w + c) * B);
    TransposeVectors<B>(x);
    for (size_t k = 0; k < N; ++k) {
        const size_t row = kCw90 ? c + k : w - 1 - c - k;
        const size_t col = kCw90 ? h - N - r : r;
        StoreVec(dst + (row * h + col) * B, x[k]);
    }
}

// Tiles keep the source rows being read and the destination rows being
// written resident in the first-level cache; a plain column walk of a large
// plane misses on nearly every access.
template <uint32_t B, bool kCw90>
void RotateQuarter(const uint8_t* src, uint32_t bpp, uint32_t width, uint32_t height, uint8_t* dst)
{
    constexpr size_t kTile = B == 1 ? 64 : 32;
    constexpr size_t N = kVectorPixels(B) ? 16 / (B ? B : 1) : 0;
    const size_t w = width, h = height;
    for (size_t r0 = 0; r0 < h; r0 += kTile) {
        const size_t r1 = r0 + kTile < h ? r0 + kTile : h;
        for (size_t c0 = 0; c0 < w; c0 += kTile) {
            const size_t c1 = c0 + kTile < w ? c0 + kTile : w;
            size_t rEnd = r0, cEnd = c0;
            if constexpr (N != 0) {
                rEnd = r0 + (r1 - r0) / N * N;
                cEnd = c0 + (c1 - c0) / N * N;
                for (size_t r = r0; r < rEnd; r += N)
                    for (size_t c = c0; c < cEnd; c += N) QuarterBlock<B, kCw90>(src, dst, w, h, r, c);
            }
            // What the blocks left: the right-hand columns, then the bottom rows.
            QuarterRect<B, kCw90>(src, dst, w, h, bpp, r0, rEnd, cEnd, c1);
            QuarterRect<B, kCw90>(src, dst, w, h, bpp, rEnd, r1, c0, c1);
        }
    }
}

// A half turn reverses the pixel order of the whole plane.
template <uint32_t B>
void RotateHalf(const uint8_t* src, uint32_t bpp, uint32_t width, uint32_t height, uint8_t* dst)
{
    const size_t px = PixelBytes<B>(bpp);
    const size_t bytes = static_cast<size_t>(width) * height * px;
    size_t i = 0;
    if constexpr (kVectorPixels(B)) {
        using V = typename Lanes<B>::V;
        for (; i + 16 <= bytes; i += 16) StoreVec(dst + bytes - 16 - i, Lanes<B>::Reverse(LoadVec<V>(src + i)));
    }
    for (; i < bytes; i += px) CopyPixel<B>(dst + bytes - px - i, src + i, bpp);
}

using Kernel = void (*)(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*);

int32_t Dispatch(const Kernel (&bySize)[5], const uint8_t* src, uint32_t bpp, uint32_t width, uint32_t height,
                 uint8_t* dst)
{
    if (bpp == 0 || width == 0 || height == 0) return RL_OK;
    bySize[bpp <= 4 ? bpp : 0](src, bpp, width, height, dst);
    return RL_OK;
}

}  // namespace

int32_t image_rotate_90D_c(const uint8_t* src, uint32_t bpp, uint32_t width, uint32_t height, uint8_t* dst)
{
    static const Kernel k[5] = {RotateQuarter<0, true>, RotateQuarter<1, true>, RotateQuarter<2, true>,
                                RotateQuarter<3, true>, RotateQuarter<4, true>};
    return Dispatch(k, src, bpp, width, height, dst);
}

int32_t image_rotate_180D_c(const uint8_t* src, uint32_t bpp, uint32_t width, uint32_t height, uint8_t* dst)
{
    static const Kernel k[5] = {RotateHalf<0>, RotateHalf<1>, RotateHalf<2>, RotateHalf<3>, RotateHalf<4>};
    return Dispatch(k, src, bpp, width, height, dst);
}

int32_t image_rotate_270D_c(const uint8_t* src, uint32_t bpp, uint32_t width, uint32_t height, uint8_t* dst)
{
    static const Kernel k[5] = {RotateQuarter<0, false>, RotateQuarter<1, false>, RotateQuarter<2, false>,
                                RotateQuarter<3, false>, RotateQuarter<4, false>};
    return Dispatch(k, src, bpp, width, height, dst);
}

}  // namespace Ravvel
