// Colour conversion kernels: whole-picture converters (the converter's table
// entries), the standalone I420 <-> RGB24 converters, and the row routines and
// picture drivers that the reference and SIMD versions share.
//
// Every whole-picture kernel walks its picture with a driver that resolves
// planes, channel positions, the vertical flip and the chroma row of each
// luma row, and hands one row (or row pair) at a time to a row routine. The
// reference kernels pass the scalar row routines below; the SIMD kernels pass
// their own, which convert as many columns as their vectors allow and finish
// the row with the scalar routine, so the arithmetic is defined in one place.
#ifndef RAVVEL_CSC_CSC_KERNELS_H
#define RAVVEL_CSC_CSC_KERNELS_H

#include <cstdint>

#include "ravvel.h"
#include "simd/dispatch.h"

namespace Ravvel {

// A table entry: converts the whole source picture into the destination.
// Sizes are already even; the return value carries no information.
using CscKernelFunc = int32_t (*)(const SRLPictureInfo* src, SRLPictureInfo* dst);

// ---- Layout tables ----------------------------------------------------------

// Byte positions of R, G, B and A (-1: none) and bytes per pixel; for planar
// RGB the first three are plane indices and the step is 1.
struct CscRgbChannels {
    int8_t r, g, b, a, bpp;
};
// Byte positions of Y0, U, Y1 and V inside a 4-byte 4:2:2 macropixel.
struct CscYuv422Layout {
    int8_t y0, u, y1, v;
};
// Null when the format has no entry.
const CscRgbChannels* CscRgbChannelTable(int32_t format);
const CscYuv422Layout* CscYuv422Table(int32_t format);

// Fixed-point BT.601 tables, in units of 1/64.
struct CscYuvTables {
    int32_t luma[256];    // 74 * (y - 16)
    int32_t vToR[256];    // 102 * (c - 128)
    int32_t vToG[256];    // 52 * (c - 128)
    int32_t uToG[256];    // 25 * (c - 128)
    int32_t uToB[256];    // 129 * (c - 128)
};
const CscYuvTables& CscTables();

// ---- Row descriptors ----------------------------------------------------------

enum CscYuvKind { kCscPlanar420 = 0, kCscSemi420 = 1, kCscPacked422 = 2 };

// One row of YUV samples with one U, V pair per two pixels. Y of pixel 2k is
// y[k * yPairStep + y0Offset], of pixel 2k + 1 y[k * yPairStep + y1Offset];
// U and V of the pair are u[k * cStep], v[k * cStep].
struct CscYuvRow {
    uint8_t* y;
    uint8_t* u;
    uint8_t* v;
    int yPairStep, y0Offset, y1Offset, cStep;
    int kind;            // CscYuvKind
    uint8_t* base;       // packed 4:2:2: the row; semi-planar: the interleaved chroma row
    CscYuv422Layout lay; // packed 4:2:2 only
};

// One row of RGB pixels: channel c of pixel x is at c[x * step]; a is null
// when the format has no alpha. Packed rows also carry their start and layout.
struct CscRgbRow {
    uint8_t* r;
    uint8_t* g;
    uint8_t* b;
    uint8_t* a;
    int step;
    int32_t format;
    uint8_t* base;
    CscRgbChannels ch;
};

struct CscYuvToRgbArgs {
    CscYuvRow in;
    CscRgbRow out;
};
struct CscRgbToYuv420Args {
    CscRgbRow in[2];    // the row pair
    uint8_t* y[2];
    uint8_t* u;
    uint8_t* v;
    int cStep;          // 1 planar, 2 semi-planar (u and v then point into one row)
};
struct CscRgbToYuv422Args {
    CscRgbRow in;
    uint8_t* out;
    CscYuv422Layout lay;
};
struct CscRgbToRgbArgs {
    CscRgbRow in;
    CscRgbRow out;
};
// Chroma rows between planar and semi-planar 4:2:0; x counts chroma samples.
struct CscChroma420Args {
    const uint8_t* u;
    const uint8_t* v;
    int inStep;
    uint8_t* ou;
    uint8_t* ov;
    int outStep;
};
struct CscYuv420To422Args {
    CscYuvRow in;       // planar or semi-planar row with its chroma row
    uint8_t* out;
    CscYuv422Layout lay;
};
struct CscYuv422To420Args {
    const uint8_t* in[2];
    CscYuv422Layout lay;
    uint8_t* y[2];
    uint8_t* u;
    uint8_t* v;
    int cStep;
};
struct CscYuv422To422Args {
    const uint8_t* in;
    CscYuv422Layout inLay;
    uint8_t* out;
    CscYuv422Layout outLay;
};
// Even-byte chroma pick of RL_FORMAT_I420_2; x counts output samples.
struct CscEvenPickArgs {
    const uint8_t* in;
    uint8_t* out;
};

// Row routines convert columns [x0, x1) (pixels, even; chroma samples for the
// two chroma-only routines).
using CscYuvToRgbRowFunc = void (*)(const CscYuvToRgbArgs&, int x0, int x1);
// Two luma rows that share one chroma row (4:2:0 sources), so that chroma is
// read and its terms computed once per 2x2 block.
using CscYuvToRgbPairFunc = void (*)(const CscYuvToRgbArgs& top, const CscYuvToRgbArgs& bottom, int x0, int x1);
using CscRgbToYuv420RowFunc = void (*)(const CscRgbToYuv420Args&, int x0, int x1);
using CscRgbToYuv422RowFunc = void (*)(const CscRgbToYuv422Args&, int x0, int x1);
using CscRgbToRgbRowFunc = void (*)(const CscRgbToRgbArgs&, int x0, int x1);
using CscChroma420RowFunc = void (*)(const CscChroma420Args&, int x0, int x1);
using CscYuv420To422RowFunc = void (*)(const CscYuv420To422Args&, int x0, int x1);
using CscYuv422To420RowFunc = void (*)(const CscYuv422To420Args&, int x0, int x1);
using CscYuv422To422RowFunc = void (*)(const CscYuv422To422Args&, int x0, int x1);
using CscEvenPickRowFunc = void (*)(const CscEvenPickArgs&, int x0, int x1);

void CscYuvToRgbRow_c(const CscYuvToRgbArgs& a, int x0, int x1);
void CscRgbToYuv420Row_c(const CscRgbToYuv420Args& a, int x0, int x1);
void CscRgbToYuv422Row_c(const CscRgbToYuv422Args& a, int x0, int x1);
void CscRgbToRgbRow_c(const CscRgbToRgbArgs& a, int x0, int x1);
void CscChroma420Row_c(const CscChroma420Args& a, int x0, int x1);
void CscYuv420To422Row_c(const CscYuv420To422Args& a, int x0, int x1);
void CscYuv422To420Row_c(const CscYuv422To420Args& a, int x0, int x1);
void CscYuv422To422Row_c(const CscYuv422To422Args& a, int x0, int x1);
void CscEvenPickRow_c(const CscEvenPickArgs& a, int x0, int x1);

// ---- Picture drivers ----------------------------------------------------------
// Each walks the common size of the two pictures, writing the destination
// from its last row upwards when the bottom-up bits differ.

void CscDriveYuvToRgb(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuvToRgbRowFunc row);
// As above, but 4:2:0 sources go to `pair` two rows at a time; packed 4:2:2
// sources (one chroma row per luma row) still go to `row`.
void CscDriveYuvToRgbPaired(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuvToRgbPairFunc pair,
                            CscYuvToRgbRowFunc row);
void CscDriveRgbToYuv420(const SRLPictureInfo* src, SRLPictureInfo* dst, CscRgbToYuv420RowFunc row);
void CscDriveRgbToYuv422(const SRLPictureInfo* src, SRLPictureInfo* dst, CscRgbToYuv422RowFunc row);
void CscDriveRgbToRgb(const SRLPictureInfo* src, SRLPictureInfo* dst, CscRgbToRgbRowFunc row);
void CscDriveYuv420General(const SRLPictureInfo* src, SRLPictureInfo* dst, CscChroma420RowFunc row);
void CscDriveYuv420To422(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuv420To422RowFunc row);
void CscDriveYuv422To420(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuv422To420RowFunc row);
void CscDriveYuv422To422(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuv422To422RowFunc row);
void CscDriveI4202To420(const SRLPictureInfo* src, SRLPictureInfo* dst, CscEvenPickRowFunc row);

// ---- Reference kernels ---------------------------------------------------------

RAVVEL_API int32_t csp_yuv420p_to_yuv420p_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_yuv420_to_rgball_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_yuv420_to_rgba_screen_content_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_yuv420_to_yuv420_general_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_yuv420_to_yuv422_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_rgball_to_yuv420_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_rgball_to_yuv422_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_rgball_to_rgball_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_yuv422_to_yuv420p_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_yuv422_to_nvxx_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_yuv422_to_rgball_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_yuv422_to_yuv422_c(const SRLPictureInfo* src, SRLPictureInfo* dst);
RAVVEL_API int32_t csp_i420_2_to_yuv420p_c(const SRLPictureInfo* src, SRLPictureInfo* dst);

// Planar 4:2:0 <-> 3-byte R, G, B on bare planes; a non-zero flip walks the
// RGB rows bottom-up.
RAVVEL_API void i420_to_rgb_c(uint8_t* rgb, int32_t rgbStride, uint8_t* y, uint8_t* u, uint8_t* v, int32_t yStride,
                              int32_t uvStride, int32_t width, int32_t height, int32_t flip);
RAVVEL_API void rgb_to_i420_c(uint8_t* rgb, int32_t rgbStride, uint8_t* y, uint8_t* u, uint8_t* v, int32_t yStride,
                              int32_t uvStride, int32_t width, int32_t height, int32_t flip);

// ---- SIMD kernels ----------------------------------------------------------------

#define RL_CSC_DECLARE_STEM(stem) \
    RL_DECLARE_TIERS(int32_t, stem##_intri, (const SRLPictureInfo* src, SRLPictureInfo* dst))

RL_CSC_DECLARE_STEM(yuv420p_to_rgb);
RL_CSC_DECLARE_STEM(yuv420p_to_rgbx);
RL_CSC_DECLARE_STEM(yuv420p_to_rgbp);
RL_CSC_DECLARE_STEM(yuv420p_to_nvxx);
RL_CSC_DECLARE_STEM(yuv420p_to_yuv422);
RL_CSC_DECLARE_STEM(rgb_to_yuv420p);
RL_CSC_DECLARE_STEM(rgbx_to_yuv420p);
RL_CSC_DECLARE_STEM(rgbp_to_yuv420p);
RL_CSC_DECLARE_STEM(rgb_to_yuv422);
RL_CSC_DECLARE_STEM(rgbx_to_yuv422);
RL_CSC_DECLARE_STEM(rgbp_to_yuv422);
RL_CSC_DECLARE_STEM(rgb_to_nvxx);
RL_CSC_DECLARE_STEM(rgbx_to_nvxx);
RL_CSC_DECLARE_STEM(rgbp_to_nvxx);
RL_CSC_DECLARE_STEM(rgbx_to_rgbx);
RL_CSC_DECLARE_STEM(rgbx_to_rgbp);
RL_CSC_DECLARE_STEM(rgbp_to_rgbx);
RL_CSC_DECLARE_STEM(yuv422_to_yuv420p);
RL_CSC_DECLARE_STEM(yuv422_to_nvxx);
RL_CSC_DECLARE_STEM(yuv422_to_rgb);
RL_CSC_DECLARE_STEM(yuv422_to_rgbx);
RL_CSC_DECLARE_STEM(yuv422_to_rgbp);
RL_CSC_DECLARE_STEM(yuv422_to_yuv422);
RL_CSC_DECLARE_STEM(nvxx_to_yuv422);
RL_CSC_DECLARE_STEM(nvxx_to_yuv420p);
RL_CSC_DECLARE_STEM(nvxx_to_rgb);
RL_CSC_DECLARE_STEM(nvxx_to_rgbx);
RL_CSC_DECLARE_STEM(nvxx_to_rgbp);
RL_CSC_DECLARE_STEM(i420_2_to_yuv420p);

}  // namespace Ravvel

#endif
