#include <cstdlib>

#include "enhance/deband_kernels.h"

namespace Ravvel {

namespace {

struct Crc32cTable {
    uint32_t v[256];
};

constexpr Crc32cTable MakeCrc32cTable()
{
    Crc32cTable t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
        t.v[i] = c;
    }
    return t;
}

// Castagnoli polynomial, reflected.
constexpr Crc32cTable kCrc32c = MakeCrc32cTable();

inline uint32_t Crc32cByte(uint32_t crc, uint32_t byte) { return kCrc32c.v[(crc ^ byte) & 255] ^ (crc >> 8); }

inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

inline uint8_t ClampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline int32_t Threshold(const DebandPass& p, const int16_t* noise, int32_t r, int32_t x)
{
    return (p.iThreshold + (noise[(x & 7) + 8 * (r & 255)] >> p.iJitterShift)) >> 4;
}

// A tap that strays more than t from the centre counts as the centre.
inline int32_t Tap(int32_t tap, int32_t c, int32_t t) { return tap - c > t || c - tap > t ? c : tap; }

}  // namespace

DebandPass DebandSetupPass(int32_t strength, int32_t sizeA, int32_t sizeB, int32_t dither)
{
    DebandPass p;
    p.iThreshold = Clamp(strength, 16, 240);
    p.iLog2H = Clamp(sizeA, 4, 6);
    p.iLog2V = Clamp(sizeB, 3, 6);
    p.iTapH1 = 31 >> (6 - p.iLog2H);
    p.iTapH2 = 10 >> (6 - p.iLog2H);
    p.iTapV1 = 31 >> (6 - p.iLog2V);
    p.iTapV2 = 10 >> (6 - p.iLog2V);
    const int32_t d = (dither < 3 ? 3 : dither) - 2;
    p.iDitherBits = d > 11 ? 11 : d;
    p.iJitterShift = (p.iDitherBits < 4 ? 4 : p.iDitherBits) - 4;
    return p;
}

uint32_t DebandNextState(uint32_t state)
{
    const uint32_t b0 = (state >> 16) & 255, b1 = (state >> 24) & 255;
    return Crc32cByte(Crc32cByte(state, b0), b1);
}

uint32_t DebandBuildNoise(uint32_t seed, int32_t ditherBits, int16_t* table)
{
    uint32_t s = seed ? seed : 1;
    const uint32_t mask = (1u << ditherBits) - 1;
    const int32_t bias = (1 << (ditherBits - 1)) - 8;
    for (int i = 0; i < kDebandNoiseSize; ++i) {
        s = DebandNextState(s);
        table[i] = static_cast<int16_t>(static_cast<int32_t>(s & mask) - bias);
    }
    for (int i = 0; i < kDebandNoiseTail; ++i) table[kDebandNoiseSize + i] = table[i];
    return s;
}

void* DebandDefaultAlloc(void*, size_t bytes) { return std::malloc(bytes); }

void DebandDefaultFree(void*, void* block) { std::free(block); }

int32_t deband_subimage_c(DebandAllocFunc alloc, DebandFreeFunc release, void* opaque, const uint8_t* src,
                          int32_t srcStride, uint8_t* dst, int32_t dstStride, int32_t width, int32_t height,
                          int32_t strength, int32_t sizeA, int32_t sizeB, int32_t dither, uint32_t seed, int32_t y0,
                          int32_t y1)
{
    if (!alloc) alloc = DebandDefaultAlloc;
    if (!release) release = DebandDefaultFree;
    if (!dst) {
        dst = const_cast<uint8_t*>(src);
        dstStride = srcStride;
    }
    if (!src || width <= 0 || height <= 0) return 1;

    const DebandPass p = DebandSetupPass(strength, sizeA, sizeB, dither);
    const int32_t ringRows = 1 << p.iLog2V, half = ringRows / 2;
    uint16_t* ring = static_cast<uint16_t*>(alloc(opaque, sizeof(uint16_t) * ringRows * static_cast<size_t>(width)));
    if (!ring) return 0;
    int16_t noise[kDebandNoiseSize + kDebandNoiseTail];
    uint32_t s = DebandBuildNoise(seed, p.iDitherBits, noise);

    const int32_t leftEdge = (1 << (p.iLog2H - 1)) < width ? 1 << (p.iLog2H - 1) : width;
    const int32_t rightEdge = width - 32;  // the last 32 columns are not filtered horizontally
    const int32_t h1 = p.iTapH1, h2 = p.iTapH2, v1 = p.iTapV1, v2 = p.iTapV2;
    auto ringRow = [&](int32_t r) { return ring + static_cast<size_t>(r & (ringRows - 1)) * width; };

    for (int32_t r = -half; r <= height + half - 1; ++r) {
        const int32_t sy = y0 + r;
        if (sy >= 0 && sy < y1) {
            const uint8_t* in = src + static_cast<ptrdiff_t>(sy) * srcStride;
            uint16_t* h = ringRow(r);
            for (int32_t x = 0; x < width; ++x) {
                const int32_t c = in[x];
                if (x < leftEdge || x >= rightEdge) {
                    h[x] = static_cast<uint16_t>(4 * c);
                    continue;
                }
                const int32_t t = Threshold(p, noise, r, x);
                h[x] = static_cast<uint16_t>(Tap(in[x - h1], c, t) + Tap(in[x - h2], c, t) + Tap(in[x + h2], c, t) +
                                             Tap(in[x + h1], c, t));
            }
        }
        const int32_t o = r - half + 1;
        if (o < 0) continue;
        if (y0 + o >= y1) break;
        s = DebandNextState(s);
        uint8_t* out = dst + static_cast<ptrdiff_t>(y0 + o) * dstStride;
        const uint16_t* hc = ringRow(o);
        if (y0 + o < half || y0 + r + 1 >= y1) {
            // Near the top and bottom the vertical taps would leave the plane.
            for (int32_t x = 0; x < width; ++x)
                out[x] = ClampByte((4 * hc[x] + noise[(s + static_cast<uint32_t>(x)) & 2047]) >> 4);
            continue;
        }
        const uint16_t *up1 = ringRow(o - v1), *up2 = ringRow(o - v2), *dn2 = ringRow(o + v2), *dn1 = ringRow(o + v1);
        for (int32_t x = 0; x < width; ++x) {
            const int32_t c = hc[x], t = 4 * Threshold(p, noise, r, x);
            const int32_t sum = Tap(up1[x], c, t) + Tap(up2[x], c, t) + Tap(dn2[x], c, t) + Tap(dn1[x], c, t);
            out[x] = ClampByte((sum + noise[(s + static_cast<uint32_t>(x)) & 2047]) >> 4);
        }
    }
    release(opaque, ring);
    return 1;
}

}  // namespace Ravvel
