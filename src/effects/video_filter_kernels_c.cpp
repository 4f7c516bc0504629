#include <cstddef>

#include "effects/video_filter_kernels.h"

#include "csc/csc_kernels.h"
#include "ravvel.h"

namespace Ravvel {

namespace {

struct CinnamonTable {
    uint8_t v[3][256];
    constexpr CinnamonTable() : v()
    {
        for (int i = 0; i < 256; ++i) {
            const int j = 256 - i;
            const int r = i <= 127 ? (i * i * i) >> 14 : 256 - ((j * j * j) >> 14);
            const int g = i <= 127 ? (i * i) >> 7 : 256 - ((j * j) >> 7);
            const int b = (i >> 1) + 37;
            v[0][i] = static_cast<uint8_t>(r > 255 ? 255 : r < 0 ? 0 : r);
            v[1][i] = static_cast<uint8_t>(g > 255 ? 255 : g < 0 ? 0 : g);
            v[2][i] = static_cast<uint8_t>(b > 255 ? 255 : b);
        }
    }
};

constexpr CinnamonTable kCinnamon{};

constexpr uint8_t kSeafoam[3][256] = {
    {
         81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,
         81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,
         81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,  81,
         81,  81,  81,  82,  84,  84,  85,  86,  88,  88,  89,  91,  92,  93,  93,  95,
         96,  97,  98,  99, 100, 101, 103, 103, 104, 106, 107, 107, 108, 110, 111, 112,
        113, 114, 115, 116, 117, 118, 119, 121, 121, 122, 123, 125, 126, 126, 128, 129,
        130, 131, 132, 133, 134, 135, 136, 137, 138, 140, 140, 141, 143, 144, 145, 145,
        147, 148, 149, 150, 151, 152, 154, 154, 155, 156, 158, 159, 159, 161, 162, 163,
        164, 164, 165, 166, 167, 168, 169, 170, 171, 173, 173, 174, 176, 177, 178, 178,
        180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 191, 192, 192, 193, 195, 196,
        196, 198, 199, 200, 201, 202, 203, 204, 206, 206, 207, 208, 210, 210, 211, 213,
        214, 215, 215, 217, 218, 219, 220, 221, 222, 223, 225, 225, 225, 225, 225, 225,
        225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225,
        225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225,
        225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225,
        225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225, 225,
    },
    {
         57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,
         57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,
         57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,
         57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  57,  58,  59,  60,
         61,  62,  63,  64,  65,  66,  67,  68,  69,  70,  71,  73,  73,  74,  75,  76,
         77,  78,  79,  80,  81,  83,  84,  85,  85,  86,  87,  88,  89,  90,  91,  93,
         94,  95,  96,  96,  97,  98,  99, 100, 102, 103, 104, 105, 106, 107, 108, 108,
        109, 110, 112, 113, 114, 115, 116, 117, 118, 119, 120, 120, 122, 123, 124, 125,
        126, 126, 127, 128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140,
        142, 143, 143, 144, 145, 146, 147, 148, 149, 150, 152, 153, 154, 155, 155, 156,
        157, 158, 159, 160, 162, 163, 164, 165, 166, 167, 167, 168, 169, 170, 172, 173,
        174, 175, 176, 177, 178, 179, 179, 181, 182, 183, 184, 185, 186, 187, 188, 189,
        190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 200, 202, 202, 203, 204, 205,
        206, 207, 208, 209, 210, 212, 213, 214, 214, 215, 216, 217, 218, 219, 221, 222,
        223, 224, 225, 226, 226, 227, 228, 229, 231, 232, 233, 234, 235, 236, 237, 237,
        238, 239, 241, 242, 243, 244, 245, 246, 247, 248, 249, 249, 251, 252, 253, 254,
    },
    {
         64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,
         64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,
         64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,
         64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,  64,
         64,  65,  66,  68,  69,  70,  71,  72,  73,  75,  76,  77,  78,  79,  80,  82,
         83,  84,  85,  86,  87,  89,  90,  91,  92,  93,  95,  96,  97,  98,  99, 100,
        102, 103, 104, 105, 106, 107, 109, 110, 111, 112, 113, 115, 116, 117, 118, 119,
        120, 122, 123, 124, 125, 126, 127, 129, 130, 131, 132, 133, 134, 136, 137, 138,
        139, 139, 140, 142, 143, 144, 145, 146, 147, 149, 150, 151, 152, 153, 154, 156,
        157, 158, 159, 160, 161, 163, 164, 165, 166, 167, 169, 170, 171, 172, 173, 174,
        176, 177, 178, 179, 180, 181, 183, 184, 185, 186, 187, 189, 190, 191, 192, 193,
        194, 196, 197, 198, 199, 200, 201, 203, 204, 205, 206, 207, 208, 210, 211, 212,
        212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212,
        212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212,
        212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212,
        212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212, 212,
    },
};

inline uint8_t HueClamp(double x)
{
    if (!(x > 0.0)) return 0;
    if (x > 255.0) return 255;
    return static_cast<uint8_t>(static_cast<int32_t>(x));
}

inline uint8_t Min255(int32_t x) { return static_cast<uint8_t>(x > 255 ? 255 : x); }

void ApplyCurves(uint8_t* rgb, int32_t pixels, const uint8_t (*curves)[256])
{
    for (int32_t i = 0; i < pixels; ++i, rgb += 3) {
        rgb[0] = curves[0][rgb[0]];
        rgb[1] = curves[1][rgb[1]];
        rgb[2] = curves[2][rgb[2]];
    }
}

}  // namespace

const uint8_t (*CinnamonCurves())[256] { return kCinnamon.v; }
const uint8_t (*SeafoamCurves())[256] { return kSeafoam; }

void HueRotateChroma_c(uint8_t* u, int32_t uStride, uint8_t* v, int32_t vStride, int32_t width, int32_t height)
{
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* pu = u + static_cast<ptrdiff_t>(r) * uStride;
        uint8_t* pv = v + static_cast<ptrdiff_t>(r) * vStride;
        for (int32_t c = 0; c < width; ++c) {
            const double du = pu[c] - 128;
            const double dv = pv[c] - 128;
            // Written out term by term: the compiler may not contract or reorder them.
            const double nu = du * kHueAngleCos + dv * kHueAngleSin + 128.0;
            const double nv = dv * kHueAngleCos - du * kHueAngleSin + 128.0;
            pu[c] = HueClamp(nu);
            pv[c] = HueClamp(nv);
        }
    }
}

void SepiaRgbRow_c(const uint8_t* in, uint8_t* out, int32_t pixels)
{
    for (int32_t i = 0; i < pixels; ++i, in += 3, out += 3) {
        const int32_t r = in[0], g = in[1], b = in[2];
        const int32_t nr = (101 * r + 197 * g + 48 * b + 128) >> 8;
        const int32_t ng = (89 * r + 176 * g + 43 * b + 128) >> 8;
        const int32_t nb = (70 * r + 137 * g + 34 * b + 128) >> 8;
        out[0] = Min255(nr);
        out[1] = Min255(ng);
        out[2] = static_cast<uint8_t>(nb);
    }
}

void CinnamonRgbRow_c(uint8_t* rgb, int32_t pixels) { ApplyCurves(rgb, pixels, kCinnamon.v); }

void SeafoamRgbRow_c(uint8_t* rgb, int32_t pixels) { ApplyCurves(rgb, pixels, kSeafoam); }

void LookRowPair_c(uint8_t* y, int32_t yStride, uint8_t* u, uint8_t* v, int32_t width, int32_t mode,
                   uint8_t* work1, uint8_t* work2)
{
    const int32_t rgbStride = 3 * width;
    // One chroma row per call, so the U and V pitches may differ.
    i420_to_rgb_c(work1, rgbStride, y, u, v, yStride, 0, width, 2, 0);
    uint8_t* out = work1;
    switch (mode) {
    case RL_VIDEO_FILTER_SEPIA:
        SepiaRgbRow_c(work1, work2, 2 * width);
        out = work2;
        break;
    case RL_VIDEO_FILTER_CINNAMON:
        CinnamonRgbRow_c(work1, 2 * width);
        break;
    default:
        SeafoamRgbRow_c(work1, 2 * width);
        break;
    }
    rgb_to_i420_c(out, rgbStride, y, u, v, yStride, 0, width, 2, 0);
}

}  // namespace Ravvel
