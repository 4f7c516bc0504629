// Reference colour conversion: layout tables, scalar row routines, the
// picture drivers shared with the SIMD kernels, and the table kernels.
#include <cstddef>
#include <cstring>

#include "csc/csc_kernels.h"

namespace Ravvel {

// ---- Layout tables ----------------------------------------------------------

const CscRgbChannels* CscRgbChannelTable(int32_t format)
{
    static const CscRgbChannels kRgb24 = {0, 1, 2, -1, 3};
    static const CscRgbChannels kBgr24 = {2, 1, 0, -1, 3};
    static const CscRgbChannels kRgba = {0, 1, 2, 3, 4};
    static const CscRgbChannels kBgra = {2, 1, 0, 3, 4};
    static const CscRgbChannels kArgb = {1, 2, 3, 0, 4};
    static const CscRgbChannels kAbgr = {3, 2, 1, 0, 4};
    static const CscRgbChannels kRgbPlanar = {0, 1, 2, -1, 1};
    static const CscRgbChannels kBgrPlanar = {2, 1, 0, -1, 1};
    switch (format) {
    case RL_FORMAT_RGB24: return &kRgb24;
    case RL_FORMAT_BGR24: return &kBgr24;
    case RL_FORMAT_RGBA: return &kRgba;
    case RL_FORMAT_BGRA: return &kBgra;
    case RL_FORMAT_ARGB: return &kArgb;
    case RL_FORMAT_ABGR: return &kAbgr;
    case RL_FORMAT_RGB_PLANAR: return &kRgbPlanar;
    case RL_FORMAT_BGR_PLANAR: return &kBgrPlanar;
    default: return nullptr;
    }
}

const CscYuv422Layout* CscYuv422Table(int32_t format)
{
    static const CscYuv422Layout kYuyv = {0, 1, 2, 3};
    static const CscYuv422Layout kYvyu = {0, 3, 2, 1};
    static const CscYuv422Layout kUyvy = {1, 0, 3, 2};
    static const CscYuv422Layout kVyuy = {1, 2, 3, 0};
    switch (format) {
    case RL_FORMAT_YUYV: return &kYuyv;
    case RL_FORMAT_YVYU: return &kYvyu;
    case RL_FORMAT_UYVY: return &kUyvy;
    case RL_FORMAT_VYUY: return &kVyuy;
    default: return nullptr;
    }
}

namespace {

CscYuvTables BuildTables()
{
    CscYuvTables t;
    for (int i = 0; i < 256; ++i) {
        t.luma[i] = 74 * (i - 16);
        t.vToR[i] = 102 * (i - 128);
        t.vToG[i] = 52 * (i - 128);
        t.uToG[i] = 25 * (i - 128);
        t.uToB[i] = 129 * (i - 128);
    }
    return t;
}

inline uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline uint8_t LumaOf(int r, int g, int b) { return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16); }

}  // namespace

const CscYuvTables& CscTables()
{
    static const CscYuvTables kTables = BuildTables();
    return kTables;
}

// ---- Row routines -------------------------------------------------------------

void CscYuvToRgbRow_c(const CscYuvToRgbArgs& a, int x0, int x1)
{
    const CscYuvTables& t = CscTables();
    const CscYuvRow& in = a.in;
    const CscRgbRow& out = a.out;
    const int s = out.step;
    for (int x = x0; x < x1; x += 2) {
        const int k = x >> 1;
        const int u = in.u[k * in.cStep];
        const int v = in.v[k * in.cStep];
        const int vr = t.vToR[v];
        const int ug = t.uToG[u];
        const int vg = t.vToG[v];
        const int ub = t.uToB[u];
        for (int j = 0; j < 2; ++j) {
            const int l = t.luma[in.y[k * in.yPairStep + (j ? in.y1Offset : in.y0Offset)]];
            const int px = (x + j) * s;
            out.r[px] = Clamp255((l + vr) >> 6);
            out.g[px] = Clamp255((l - ug - vg) >> 6);
            out.b[px] = Clamp255((l + ub) >> 6);
            if (out.a) out.a[px] = 255;
        }
    }
}

void CscRgbToYuv420Row_c(const CscRgbToYuv420Args& a, int x0, int x1)
{
    for (int x = x0; x < x1; x += 2) {
        int rs = 0, gs = 0, bs = 0;
        for (int i = 0; i < 2; ++i) {
            const CscRgbRow& in = a.in[i];
            for (int j = 0; j < 2; ++j) {
                const int px = (x + j) * in.step;
                const int r = in.r[px], g = in.g[px], b = in.b[px];
                a.y[i][x + j] = LumaOf(r, g, b);
                rs += r;
                gs += g;
                bs += b;
            }
        }
        const int k = (x >> 1) * a.cStep;
        a.u[k] = static_cast<uint8_t>(((112 * bs - 38 * rs - 74 * gs + 512) >> 10) + 128);
        a.v[k] = static_cast<uint8_t>(((112 * rs - 94 * gs - 18 * bs + 512) >> 10) + 128);
    }
}

void CscRgbToYuv422Row_c(const CscRgbToYuv422Args& a, int x0, int x1)
{
    const CscRgbRow& in = a.in;
    for (int x = x0; x < x1; x += 2) {
        const int p0 = x * in.step, p1 = p0 + in.step;
        const int r0 = in.r[p0], g0 = in.g[p0], b0 = in.b[p0];
        const int r1 = in.r[p1], g1 = in.g[p1], b1 = in.b[p1];
        const int rs = r0 + r1, gs = g0 + g1, bs = b0 + b1;
        uint8_t* m = a.out + 2 * x;
        m[a.lay.y0] = LumaOf(r0, g0, b0);
        m[a.lay.y1] = LumaOf(r1, g1, b1);
        m[a.lay.u] = static_cast<uint8_t>(((112 * bs - 38 * rs - 74 * gs + 256) >> 9) + 128);
        m[a.lay.v] = static_cast<uint8_t>(((112 * rs - 94 * gs - 18 * bs + 256) >> 9) + 128);
    }
}

void CscRgbToRgbRow_c(const CscRgbToRgbArgs& a, int x0, int x1)
{
    const CscRgbRow& in = a.in;
    const CscRgbRow& out = a.out;
    for (int x = x0; x < x1; ++x) {
        const int pi = x * in.step, po = x * out.step;
        out.r[po] = in.r[pi];
        out.g[po] = in.g[pi];
        out.b[po] = in.b[pi];
        if (out.a) out.a[po] = in.a ? in.a[pi] : 255;
    }
}

void CscChroma420Row_c(const CscChroma420Args& a, int x0, int x1)
{
    if (a.inStep == 2 && a.outStep == 2 && x1 > x0) {
        // Semi-planar to semi-planar between separate rows: the interleaved
        // row is copied as it is or with the two bytes of every pair exchanged.
        const uint8_t* in = (a.u < a.v ? a.u : a.v) + 2 * x0;
        uint8_t* out = (a.ou < a.ov ? a.ou : a.ov) + 2 * x0;
        const size_t bytes = 2 * static_cast<size_t>(x1 - x0);
        const uintptr_t i = reinterpret_cast<uintptr_t>(in), o = reinterpret_cast<uintptr_t>(out);
        if (i + bytes <= o || o + bytes <= i) {
            if ((a.u < a.v) == (a.ou < a.ov)) {
                std::memcpy(out, in, bytes);
            } else {
                for (size_t k = 0; k < bytes; k += 2) {
                    out[k] = in[k + 1];
                    out[k + 1] = in[k];
                }
            }
            return;
        }
    }
    for (int k = x0; k < x1; ++k) {
        a.ou[k * a.outStep] = a.u[k * a.inStep];
        a.ov[k * a.outStep] = a.v[k * a.inStep];
    }
}

void CscYuv420To422Row_c(const CscYuv420To422Args& a, int x0, int x1)
{
    const CscYuvRow& in = a.in;
    for (int x = x0; x < x1; x += 2) {
        const int k = x >> 1;
        uint8_t* m = a.out + 2 * x;
        m[a.lay.y0] = in.y[k * in.yPairStep + in.y0Offset];
        m[a.lay.y1] = in.y[k * in.yPairStep + in.y1Offset];
        m[a.lay.u] = in.u[k * in.cStep];
        m[a.lay.v] = in.v[k * in.cStep];
    }
}

void CscYuv422To420Row_c(const CscYuv422To420Args& a, int x0, int x1)
{
    const CscYuv422Layout& l = a.lay;
    for (int x = x0; x < x1; x += 2) {
        const uint8_t* m0 = a.in[0] + 2 * x;
        const uint8_t* m1 = a.in[1] + 2 * x;
        a.y[0][x] = m0[l.y0];
        a.y[0][x + 1] = m0[l.y1];
        a.y[1][x] = m1[l.y0];
        a.y[1][x + 1] = m1[l.y1];
        const int k = (x >> 1) * a.cStep;
        a.u[k] = static_cast<uint8_t>((m0[l.u] + m1[l.u] + 1) >> 1);
        a.v[k] = static_cast<uint8_t>((m0[l.v] + m1[l.v] + 1) >> 1);
    }
}

void CscYuv422To422Row_c(const CscYuv422To422Args& a, int x0, int x1)
{
    for (int x = x0; x < x1; x += 2) {
        const uint8_t* i = a.in + 2 * x;
        uint8_t* o = a.out + 2 * x;
        const uint8_t y0 = i[a.inLay.y0], u = i[a.inLay.u], y1 = i[a.inLay.y1], v = i[a.inLay.v];
        o[a.outLay.y0] = y0;
        o[a.outLay.u] = u;
        o[a.outLay.y1] = y1;
        o[a.outLay.v] = v;
    }
}

void CscEvenPickRow_c(const CscEvenPickArgs& a, int x0, int x1)
{
    for (int k = x0; k < x1; ++k) a.out[k] = a.in[2 * k];
}

// ---- Picture resolution --------------------------------------------------------

namespace {

inline int32_t FormatOf(const SRLPictureInfo* p) { return static_cast<int32_t>(static_cast<uint32_t>(p->eFormat) & RL_FORMAT_MASK); }
inline bool BottomUp(const SRLPictureInfo* p) { return (static_cast<uint32_t>(p->eFormat) & 0x80000000u) != 0; }
inline bool Flipped(const SRLPictureInfo* s, const SRLPictureInfo* d) { return BottomUp(s) != BottomUp(d); }

// The part both pictures cover, so that neither is walked past its own size.
inline int CommonWidth(const SRLPictureInfo* s, const SRLPictureInfo* d)
{
    const int w = s->iWidth < d->iWidth ? s->iWidth : d->iWidth;
    return w > 0 ? w & ~1 : 0;
}
inline int CommonHeight(const SRLPictureInfo* s, const SRLPictureInfo* d)
{
    const int h = s->iHeight < d->iHeight ? s->iHeight : d->iHeight;
    return h > 0 ? h & ~1 : 0;
}

inline uint8_t* At(uint8_t* base, ptrdiff_t row, int32_t stride) { return base + row * static_cast<ptrdiff_t>(stride); }

// A YUV picture of any of the three groups, its chroma planes resolved.
struct YuvPic {
    int kind = -1;
    uint8_t* y = nullptr;
    uint8_t* u = nullptr;  // planar: U plane; semi: the chroma plane shifted to U
    uint8_t* v = nullptr;
    int32_t yStride = 0, cStride = 0;
    int cStep = 1;
    CscYuv422Layout lay = {0, 0, 0, 0};
};

bool ResolveYuv(const SRLPictureInfo* p, YuvPic* out)
{
    const int32_t f = FormatOf(p);
    YuvPic r;
    r.y = p->pData[0];
    r.yStride = p->iStride[0];
    r.cStride = p->iStride[1];
    if (f == RL_FORMAT_I420 || f == RL_FORMAT_YV12) {
        r.kind = kCscPlanar420;
        r.u = p->pData[f == RL_FORMAT_YV12 ? 2 : 1];
        r.v = p->pData[f == RL_FORMAT_YV12 ? 1 : 2];
    } else if (f == RL_FORMAT_NV12 || f == RL_FORMAT_NV21) {
        r.kind = kCscSemi420;
        r.u = p->pData[1] + (f == RL_FORMAT_NV21 ? 1 : 0);
        r.v = p->pData[1] + (f == RL_FORMAT_NV21 ? 0 : 1);
        r.cStep = 2;
    } else if (const CscYuv422Layout* l = CscYuv422Table(f)) {
        r.kind = kCscPacked422;
        r.lay = *l;
        r.cStep = 4;
    } else {
        return false;
    }
    *out = r;
    return true;
}

// Row r of a picture h rows high; with flip, the rows are taken from the bottom.
CscYuvRow YuvRowAt(const YuvPic& p, int r, int h, bool flip)
{
    const int row = flip ? h - 1 - r : r;
    CscYuvRow out;
    out.kind = p.kind;
    out.lay = p.lay;
    out.cStep = p.cStep;
    if (p.kind == kCscPacked422) {
        uint8_t* base = At(p.y, row, p.yStride);
        out.base = base;
        out.y = base;
        out.yPairStep = 4;
        out.y0Offset = p.lay.y0;
        out.y1Offset = p.lay.y1;
        out.u = base + p.lay.u;
        out.v = base + p.lay.v;
    } else {
        const int crow = row >> 1;
        out.y = At(p.y, row, p.yStride);
        out.yPairStep = 2;
        out.y0Offset = 0;
        out.y1Offset = 1;
        out.u = At(p.u, crow, p.cStride);
        out.v = At(p.v, crow, p.cStride);
        out.base = out.u < out.v ? out.u : out.v;
    }
    return out;
}

struct RgbPic {
    int32_t format = 0;
    CscRgbChannels ch = {0, 0, 0, -1, 0};
    uint8_t* base = nullptr;
    int32_t stride = 0;
    ptrdiff_t planeBytes = 0;
};

bool ResolveRgb(const SRLPictureInfo* p, RgbPic* out)
{
    const CscRgbChannels* ch = CscRgbChannelTable(FormatOf(p));
    if (!ch) return false;
    out->format = FormatOf(p);
    out->ch = *ch;
    out->base = p->pData[0];
    out->stride = p->iStride[0];
    out->planeBytes = static_cast<ptrdiff_t>(p->iStride[0]) * p->iHeight;
    return true;
}

inline bool IsPlanarRgb(int32_t f) { return f == RL_FORMAT_RGB_PLANAR || f == RL_FORMAT_BGR_PLANAR; }

CscRgbRow RgbRowAt(const RgbPic& p, int r, int h, bool flip)
{
    const int row = flip ? h - 1 - r : r;
    uint8_t* base = At(p.base, row, p.stride);
    CscRgbRow out;
    out.format = p.format;
    out.ch = p.ch;
    out.base = base;
    if (IsPlanarRgb(p.format)) {
        out.r = base + p.ch.r * p.planeBytes;
        out.g = base + p.ch.g * p.planeBytes;
        out.b = base + p.ch.b * p.planeBytes;
        out.a = nullptr;
        out.step = 1;
    } else {
        out.r = base + p.ch.r;
        out.g = base + p.ch.g;
        out.b = base + p.ch.b;
        out.a = p.ch.a >= 0 ? base + p.ch.a : nullptr;
        out.step = p.ch.bpp;
    }
    return out;
}

}  // namespace

// ---- Drivers -------------------------------------------------------------------

void CscDriveYuvToRgb(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuvToRgbRowFunc row)
{
    YuvPic s;
    RgbPic d;
    if (!ResolveYuv(src, &s) || !ResolveRgb(dst, &d)) return;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CscYuvToRgbArgs a;
    for (int r = 0; r < h; ++r) {
        a.in = YuvRowAt(s, r, h, false);
        a.out = RgbRowAt(d, r, h, flip);
        row(a, 0, w);
    }
}

void CscDriveYuvToRgbPaired(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuvToRgbPairFunc pair,
                            CscYuvToRgbRowFunc row)
{
    YuvPic s;
    RgbPic d;
    if (!ResolveYuv(src, &s) || !ResolveRgb(dst, &d)) return;
    if (s.kind == kCscPacked422) {
        CscDriveYuvToRgb(src, dst, row);
        return;
    }
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CscYuvToRgbArgs top, bottom;
    for (int r = 0; r < h; r += 2) {
        top.in = YuvRowAt(s, r, h, false);
        top.out = RgbRowAt(d, r, h, flip);
        bottom.in = YuvRowAt(s, r + 1, h, false);
        bottom.out = RgbRowAt(d, r + 1, h, flip);
        pair(top, bottom, 0, w);
    }
}

void CscDriveRgbToYuv420(const SRLPictureInfo* src, SRLPictureInfo* dst, CscRgbToYuv420RowFunc row)
{
    RgbPic s;
    YuvPic d;
    if (!ResolveRgb(src, &s) || !ResolveYuv(dst, &d) || d.kind == kCscPacked422) return;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CscRgbToYuv420Args a;
    for (int r = 0; r < h; r += 2) {
        a.in[0] = RgbRowAt(s, r, h, false);
        a.in[1] = RgbRowAt(s, r + 1, h, false);
        const CscYuvRow o0 = YuvRowAt(d, r, h, flip);
        const CscYuvRow o1 = YuvRowAt(d, r + 1, h, flip);
        a.y[0] = o0.y;
        a.y[1] = o1.y;
        a.u = o0.u;
        a.v = o0.v;
        a.cStep = o0.cStep;
        row(a, 0, w);
    }
}

void CscDriveRgbToYuv422(const SRLPictureInfo* src, SRLPictureInfo* dst, CscRgbToYuv422RowFunc row)
{
    RgbPic s;
    YuvPic d;
    if (!ResolveRgb(src, &s) || !ResolveYuv(dst, &d) || d.kind != kCscPacked422) return;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CscRgbToYuv422Args a;
    a.lay = d.lay;
    for (int r = 0; r < h; ++r) {
        a.in = RgbRowAt(s, r, h, false);
        a.out = YuvRowAt(d, r, h, flip).base;
        row(a, 0, w);
    }
}

void CscDriveRgbToRgb(const SRLPictureInfo* src, SRLPictureInfo* dst, CscRgbToRgbRowFunc row)
{
    RgbPic s, d;
    if (!ResolveRgb(src, &s) || !ResolveRgb(dst, &d)) return;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    const bool same = s.format == d.format;
    CscRgbToRgbArgs a;
    for (int r = 0; r < h; ++r) {
        a.in = RgbRowAt(s, r, h, false);
        a.out = RgbRowAt(d, r, h, flip);
        if (!same) {
            row(a, 0, w);
        } else if (a.in.step == 1) {
            std::memcpy(a.out.r, a.in.r, static_cast<size_t>(w));
            std::memcpy(a.out.g, a.in.g, static_cast<size_t>(w));
            std::memcpy(a.out.b, a.in.b, static_cast<size_t>(w));
        } else {
            std::memcpy(a.out.base, a.in.base, static_cast<size_t>(w) * static_cast<size_t>(a.in.step));
        }
    }
}

namespace {

// Luma rows of two 4:2:0 pictures, copied with the flip applied.
void CopyLuma(const YuvPic& s, const YuvPic& d, int w, int h, bool flip)
{
    for (int r = 0; r < h; ++r)
        std::memcpy(At(d.y, flip ? h - 1 - r : r, d.yStride), At(s.y, r, s.yStride), static_cast<size_t>(w));
}

}  // namespace

void CscDriveYuv420General(const SRLPictureInfo* src, SRLPictureInfo* dst, CscChroma420RowFunc row)
{
    YuvPic s, d;
    if (!ResolveYuv(src, &s) || !ResolveYuv(dst, &d) || s.kind == kCscPacked422 || d.kind == kCscPacked422) return;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CopyLuma(s, d, w, h, flip);
    CscChroma420Args a;
    a.inStep = s.cStep;
    a.outStep = d.cStep;
    const int ch = h >> 1;
    for (int c = 0; c < ch; ++c) {
        const int oc = flip ? ch - 1 - c : c;
        a.u = At(s.u, c, s.cStride);
        a.v = At(s.v, c, s.cStride);
        a.ou = At(d.u, oc, d.cStride);
        a.ov = At(d.v, oc, d.cStride);
        row(a, 0, w >> 1);
    }
}

void CscDriveYuv420To422(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuv420To422RowFunc row)
{
    YuvPic s, d;
    if (!ResolveYuv(src, &s) || !ResolveYuv(dst, &d) || s.kind == kCscPacked422 || d.kind != kCscPacked422) return;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CscYuv420To422Args a;
    a.lay = d.lay;
    for (int r = 0; r < h; ++r) {
        a.in = YuvRowAt(s, r, h, false);
        a.out = YuvRowAt(d, r, h, flip).base;
        row(a, 0, w);
    }
}

void CscDriveYuv422To420(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuv422To420RowFunc row)
{
    YuvPic s, d;
    if (!ResolveYuv(src, &s) || !ResolveYuv(dst, &d) || s.kind != kCscPacked422 || d.kind == kCscPacked422) return;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CscYuv422To420Args a;
    a.lay = s.lay;
    a.cStep = d.cStep;
    for (int r = 0; r < h; r += 2) {
        a.in[0] = At(s.y, r, s.yStride);
        a.in[1] = At(s.y, r + 1, s.yStride);
        const CscYuvRow o0 = YuvRowAt(d, r, h, flip);
        const CscYuvRow o1 = YuvRowAt(d, r + 1, h, flip);
        a.y[0] = o0.y;
        a.y[1] = o1.y;
        a.u = o0.u;
        a.v = o0.v;
        row(a, 0, w);
    }
}

void CscDriveYuv422To422(const SRLPictureInfo* src, SRLPictureInfo* dst, CscYuv422To422RowFunc row)
{
    YuvPic s, d;
    if (!ResolveYuv(src, &s) || !ResolveYuv(dst, &d) || s.kind != kCscPacked422 || d.kind != kCscPacked422) return;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CscYuv422To422Args a;
    a.inLay = s.lay;
    a.outLay = d.lay;
    for (int r = 0; r < h; ++r) {
        a.in = At(s.y, r, s.yStride);
        a.out = YuvRowAt(d, r, h, flip).base;
        row(a, 0, w);
    }
}

void CscDriveI4202To420(const SRLPictureInfo* src, SRLPictureInfo* dst, CscEvenPickRowFunc row)
{
    YuvPic d;
    if (!ResolveYuv(dst, &d) || d.kind != kCscPlanar420) return;
    // The source's chroma planes keep one byte per luma column.
    YuvPic s;
    s.kind = kCscPlanar420;
    s.y = src->pData[0];
    s.u = src->pData[1];
    s.v = src->pData[2];
    s.yStride = src->iStride[0];
    s.cStride = src->iStride[1];
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CopyLuma(s, d, w, h, flip);
    const int ch = h >> 1;
    CscEvenPickArgs a;
    for (int c = 0; c < ch; ++c) {
        const int oc = flip ? ch - 1 - c : c;
        a.in = At(s.u, c, s.cStride);
        a.out = At(d.u, oc, d.cStride);
        row(a, 0, w >> 1);
        a.in = At(s.v, c, s.cStride);
        a.out = At(d.v, oc, d.cStride);
        row(a, 0, w >> 1);
    }
}

// ---- Reference kernels ---------------------------------------------------------

int32_t csp_yuv420p_to_yuv420p_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    YuvPic s, d;
    if (!ResolveYuv(src, &s) || !ResolveYuv(dst, &d) || s.kind != kCscPlanar420 || d.kind != kCscPlanar420)
        return RL_ERR_UNSUPPORTED;
    const int w = CommonWidth(src, dst), h = CommonHeight(src, dst);
    const bool flip = Flipped(src, dst);
    CopyLuma(s, d, w, h, flip);
    const int ch = h >> 1;
    const size_t cw = static_cast<size_t>(w >> 1);
    for (int c = 0; c < ch; ++c) {
        const int oc = flip ? ch - 1 - c : c;
        std::memcpy(At(d.u, oc, d.cStride), At(s.u, c, s.cStride), cw);
        std::memcpy(At(d.v, oc, d.cStride), At(s.v, c, s.cStride), cw);
    }
    return RL_OK;
}

int32_t csp_yuv420_to_rgball_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveYuvToRgb(src, dst, CscYuvToRgbRow_c);
    return RL_OK;
}

int32_t csp_yuv422_to_rgball_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveYuvToRgb(src, dst, CscYuvToRgbRow_c);
    return RL_OK;
}

int32_t csp_yuv420_to_yuv420_general_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveYuv420General(src, dst, CscChroma420Row_c);
    return RL_OK;
}

int32_t csp_yuv420_to_yuv422_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveYuv420To422(src, dst, CscYuv420To422Row_c);
    return RL_OK;
}

int32_t csp_rgball_to_yuv420_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveRgbToYuv420(src, dst, CscRgbToYuv420Row_c);
    return RL_OK;
}

int32_t csp_rgball_to_yuv422_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveRgbToYuv422(src, dst, CscRgbToYuv422Row_c);
    return RL_OK;
}

int32_t csp_rgball_to_rgball_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveRgbToRgb(src, dst, CscRgbToRgbRow_c);
    return RL_OK;
}

int32_t csp_yuv422_to_yuv420p_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveYuv422To420(src, dst, CscYuv422To420Row_c);
    return RL_OK;
}

int32_t csp_yuv422_to_nvxx_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveYuv422To420(src, dst, CscYuv422To420Row_c);
    return RL_OK;
}

int32_t csp_yuv422_to_yuv422_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveYuv422To422(src, dst, CscYuv422To422Row_c);
    return RL_OK;
}

int32_t csp_i420_2_to_yuv420p_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    CscDriveI4202To420(src, dst, CscEvenPickRow_c);
    return RL_OK;
}

namespace {

void BarePictures(uint8_t* rgb, int32_t rgbStride, uint8_t* y, uint8_t* u, uint8_t* v, int32_t yStride,
                  int32_t uvStride, int32_t width, int32_t height, int32_t flip, SRLPictureInfo* yuv,
                  SRLPictureInfo* packed)
{
    std::memset(yuv, 0, sizeof *yuv);
    std::memset(packed, 0, sizeof *packed);
    // Odd sizes are rounded down, as the converter does: a 2x2 chroma block
    // is never read or written half outside the caller's planes.
    const int32_t w = width > 0 ? width & ~1 : 0;
    const int32_t h = height > 0 ? height & ~1 : 0;
    yuv->pData[0] = y;
    yuv->pData[1] = u;
    yuv->pData[2] = v;
    yuv->iStride[0] = yStride;
    yuv->iStride[1] = uvStride;
    yuv->iWidth = w;
    yuv->iHeight = h;
    yuv->eFormat = RL_FORMAT_I420;
    packed->pData[0] = rgb;
    packed->iStride[0] = rgbStride;
    packed->iWidth = w;
    packed->iHeight = h;
    packed->eFormat = static_cast<RL_EVideoFormat>(RL_FORMAT_RGB24 | (flip ? 0x80000000u : 0u));
}

}  // namespace

void i420_to_rgb_c(uint8_t* rgb, int32_t rgbStride, uint8_t* y, uint8_t* u, uint8_t* v, int32_t yStride,
                   int32_t uvStride, int32_t width, int32_t height, int32_t flip)
{
    if (!rgb || !y || !u || !v) return;
    SRLPictureInfo yuv, packed;
    BarePictures(rgb, rgbStride, y, u, v, yStride, uvStride, width, height, flip, &yuv, &packed);
    CscDriveYuvToRgb(&yuv, &packed, CscYuvToRgbRow_c);
}

void rgb_to_i420_c(uint8_t* rgb, int32_t rgbStride, uint8_t* y, uint8_t* u, uint8_t* v, int32_t yStride,
                   int32_t uvStride, int32_t width, int32_t height, int32_t flip)
{
    if (!rgb || !y || !u || !v) return;
    SRLPictureInfo yuv, packed;
    BarePictures(rgb, rgbStride, y, u, v, yStride, uvStride, width, height, flip, &yuv, &packed);
    CscDriveRgbToYuv420(&packed, &yuv, CscRgbToYuv420Row_c);
}

}  // namespace Ravvel
