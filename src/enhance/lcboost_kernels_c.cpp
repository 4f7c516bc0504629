// Reference pixel kernels of the contrast boost and the pieces every tier
// shares (statistics finishing, curve knots).
#include <cmath>
#include <cstring>

#include "enhance/lcboost_kernels.h"

namespace Ravvel {

namespace {

inline int RoundedAverage(int a, int b) { return (a + b + 1) >> 1; }

inline uint8_t Clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Block luma of the 2x2 block at (x, y): the rounded vertical averages of
// both columns, averaged downward.
inline int BlockLuma(const uint8_t* r0, const uint8_t* r1, int x)
{
    return (RoundedAverage(r0[x + 1], r1[x + 1]) + RoundedAverage(r0[x], r1[x])) >> 1;
}

}  // namespace

void FinishVideoStats(const uint32_t hist[256], uint32_t count, SVideoStats* out)
{
    std::memset(out, 0, sizeof *out);
    out->min = 255.0f;
    out->max = 0.0f;
    out->count = static_cast<int32_t>(count);
    if (count == 0) return;
    uint64_t sum = 0, sumSq = 0;
    const float n = static_cast<float>(count);
    for (int i = 0; i < 256; ++i) {
        if (hist[i] == 0) continue;
        const uint64_t h = hist[i];
        sum += h * static_cast<uint64_t>(i);
        sumSq += h * static_cast<uint64_t>(i * i);
        if (static_cast<float>(i) < out->min) out->min = static_cast<float>(i);
        out->max = static_cast<float>(i);
        out->pdf[i] = static_cast<float>(hist[i]) / n;
    }
    cumulative_sum(out->pdf, out->cdf, 0.0f, 1.0f, 256);
    out->mean = static_cast<float>(sum) / n;
    const float meanSq = static_cast<float>(sumSq) / n;
    const float var = meanSq - out->mean * out->mean;
    out->stddev = var > 0.0f ? std::sqrt(var) : 0.0f;
    float acc = 0.0f;
    for (int i = 0; i < 256; ++i) {
        acc += out->pdf[i];
        if (acc >= 0.5f) {
            out->median = static_cast<float>(i);
            break;
        }
    }
}

float FinishSkinStats(const uint32_t hist[256], uint32_t skin, uint32_t sampled, int width, int height,
                      SVideoStats* out, float* sampledFraction)
{
    const double area = static_cast<double>(width) * static_cast<double>(height);
    if (sampledFraction) *sampledFraction = area > 0 ? static_cast<float>(4.0 * sampled / area) : 0.0f;
    FinishVideoStats(hist, skin, out);
    return sampled ? 100.0f * static_cast<float>(skin) / static_cast<float>(sampled) : 0.0f;
}

bool is_skin_tone_int(int y, int u, int v)
{
    u -= 128;
    v -= 128;
    int s = 183 * ((u < 0 ? -u : u) + (v < 0 ? -v : v));
    if (s > 32767) s = 32767;
    return 56 * u + 79 * v >= 0 && -94 * u - 22 * v >= 0 && y >= 40 && 34 * (y - 16) <= s &&
           (s >> 1) <= 78 * (y - 16);
}

void calculate_video_stats_c(const uint8_t* y, ptrdiff_t yStride, int width, int height, SVideoStats* out,
                             const uint8_t* mask, ptrdiff_t maskStride)
{
    uint32_t hist[256] = {0};
    uint32_t count = 0;
    for (int r = 0; r < height; ++r) {
        const uint8_t* row = y + r * yStride;
        const uint8_t* m = mask ? mask + r * maskStride : nullptr;
        for (int x = 0; x < width; ++x) {
            if (m && !m[x]) continue;
            ++hist[row[x]];
            ++count;
        }
    }
    FinishVideoStats(hist, count, out);
}

namespace {

// One pass over the 2x2 blocks; luma statistics are gathered only when
// lumaHist is given.
float SkinPass(SVideoStats* skinOut, uint32_t* lumaHist, uint32_t* lumaCount, const uint8_t* y, ptrdiff_t yStride,
               const uint8_t* u, const uint8_t* v, ptrdiff_t cStride, int width, int height, const uint8_t* mask,
               ptrdiff_t maskStride, float* sampledFraction)
{
    uint32_t hist[256] = {0};
    uint32_t skin = 0, sampled = 0;
    for (int r = 0; r + 1 < height; r += 2) {
        const uint8_t* r0 = y + r * yStride;
        const uint8_t* r1 = r0 + yStride;
        const uint8_t* m0 = mask ? mask + r * maskStride : nullptr;
        const uint8_t* m1 = mask ? m0 + maskStride : nullptr;
        const uint8_t* ur = u + (r / 2) * cStride;
        const uint8_t* vr = v + (r / 2) * cStride;
        for (int x = 0; x + 1 < width; x += 2) {
            if (m0 && !(m0[x] | m0[x + 1] | m1[x] | m1[x + 1])) continue;
            ++sampled;
            const int yb = BlockLuma(r0, r1, x);
            if (is_skin_tone_int(yb, ur[x / 2], vr[x / 2])) {
                ++hist[yb];
                ++skin;
            }
        }
    }
    if (lumaHist) {
        for (int r = 0; r < height; ++r) {
            const uint8_t* row = y + r * yStride;
            const uint8_t* m = mask ? mask + r * maskStride : nullptr;
            for (int x = 0; x < width; ++x) {
                if (m && !m[x]) continue;
                ++lumaHist[row[x]];
                ++*lumaCount;
            }
        }
    }
    return FinishSkinStats(hist, skin, sampled, width, height, skinOut, sampledFraction);
}

}  // namespace

float skin_tone_stats_c(SVideoStats* out, const uint8_t* y, ptrdiff_t yStride, const uint8_t* u, const uint8_t* v,
                        ptrdiff_t cStride, int width, int height, const uint8_t* mask, ptrdiff_t maskStride,
                        float* sampled)
{
    return SkinPass(out, nullptr, nullptr, y, yStride, u, v, cStride, width, height, mask, maskStride, sampled);
}

float combined_video_stats_c(SVideoStats* luma, SVideoStats* skin, const uint8_t* y, ptrdiff_t yStride,
                             const uint8_t* u, const uint8_t* v, ptrdiff_t cStride, int width, int height,
                             const uint8_t* mask, ptrdiff_t maskStride, float* sampled)
{
    uint32_t hist[256] = {0};
    uint32_t count = 0;
    const float p =
        SkinPass(skin, hist, &count, y, yStride, u, v, cStride, width, height, mask, maskStride, sampled);
    FinishVideoStats(hist, count, luma);
    return p;
}

// ---- curve application ----

void BuildRemapKnots(const float* curve, uint8_t knot[32], uint8_t q[32], int* shift)
{
    for (int k = 0; k < 32; ++k) {
        const float v = std::floor(curve[8 * k] + 0.5f);
        knot[k] = v >= 255.0f ? 255 : (v >= 0.0f ? static_cast<uint8_t>(v) : 0);  // NaN maps to 0
    }
    float slope[32];
    slope[0] = slope[31] = 1.0f;
    float maxSlope = 0.0f;
    for (int k = 1; k <= 30; ++k) {
        slope[k] = static_cast<float>(knot[k + 1] - knot[k]) / 8.0f;
        if (slope[k] > maxSlope) maxSlope = slope[k];
    }
    const int m = static_cast<int>(std::ceil(maxSlope));
    int s = 8;
    if (m > 0) {
        int log2m = 0;
        while ((m >> (log2m + 1)) != 0) ++log2m;
        s = 8 - log2m;
    }
    *shift = s;
    const float scale = static_cast<float>(1 << s);
    for (int k = 0; k < 32; ++k) {
        const float v = std::floor(slope[k] * scale + 0.5f);
        q[k] = v >= 255.0f ? 255 : (v > 0.0f ? static_cast<uint8_t>(v) : 0);
    }
}

void BuildRemapLut(const float* curve, uint8_t lut[256])
{
    uint8_t knot[32], q[32];
    int shift = 8;
    BuildRemapKnots(curve, knot, q, &shift);
    const int round = 1 << (shift - 1);
    for (int x = 0; x < 256; ++x) {
        const int v = knot[x >> 3] + ((q[x >> 3] * (x & 7) + round) >> shift);
        lut[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
}

void apply_remapping_c(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride, int width,
                       int height, const float* curve)
{
    uint8_t knot[32], q[32];
    int shift = 8;
    BuildRemapKnots(curve, knot, q, &shift);
    const int round = 1 << (shift - 1);
    for (int r = 0; r < height; ++r) {
        const uint8_t* s = src + r * srcStride;
        uint8_t* d = dst + r * dstStride;
        for (int x = 0; x < width; ++x) {
            const int i = s[x];
            const int v = knot[i >> 3] + ((q[i >> 3] * (i & 7) + round) >> shift);
            d[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
}

// ---- chroma ----

void scale_chroma_auto_c(const uint8_t* srcU, const uint8_t* srcV, ptrdiff_t srcStride, uint8_t* dstU,
                         uint8_t* dstV, ptrdiff_t dstStride, int width, int height, const uint8_t* table,
                         const uint8_t* y, ptrdiff_t yStride)
{
    if (width < 2 || height < 2) return;
    const int cw = width / 2, ch = height / 2;
    for (int r = 0; r < ch; ++r) {
        const uint8_t* y0 = y + (2 * r) * yStride;
        const uint8_t* y1 = y0 + yStride;
        const uint8_t* su = srcU + r * srcStride;
        const uint8_t* sv = srcV + r * srcStride;
        uint8_t* du = dstU + r * dstStride;
        uint8_t* dv = dstV + r * dstStride;
        for (int x = 0; x < cw; ++x) {
            const int ys = RoundedAverage(y0[2 * x], y1[2 * x]) + RoundedAverage(y0[2 * x + 1], y1[2 * x + 1]);
            const int cu = su[x], cv = sv[x];
            const int e = ChromaGainRow(cu >> 4, cv >> 4) + (ys >> 5);
            const int f = (ys >> 1) & 15;
            const int gain = (table[e + 1] * f + table[e] * (16 - f)) >> 4;
            du[x] = Clamp255((((cu - 128) * gain) >> 5) + 128);
            dv[x] = Clamp255((((cv - 128) * gain) >> 5) + 128);
        }
    }
}

// ---- mask blend ----

void blending_with_mask_c(const uint8_t* srcY, const uint8_t* srcU, const uint8_t* srcV, uint8_t* dstY,
                          uint8_t* dstU, uint8_t* dstV, const uint8_t* mask, int width, int height, bool luma,
                          bool chroma, ptrdiff_t srcYStride, ptrdiff_t srcCStride, ptrdiff_t dstYStride,
                          ptrdiff_t dstCStride)
{
    if (luma) {
        for (int r = 0; r < height; ++r) {
            const uint8_t* s = srcY + r * srcYStride;
            uint8_t* d = dstY + r * dstYStride;
            const uint8_t* m = mask + static_cast<ptrdiff_t>(r) * width;
            for (int x = 0; x < width; ++x) {
                const int v = ((256 - m[x]) * s[x] + m[x] * d[x] + 128) >> 8;
                d[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
        }
    }
    if (chroma && width >= 2 && height >= 2) {
        const int cw = width / 2, ch = height / 2;
        for (int r = 0; r < ch; ++r) {
            const uint8_t* m0 = mask + static_cast<ptrdiff_t>(2 * r) * width;
            const uint8_t* m1 = m0 + width;
            const uint8_t* planesSrc[2] = {srcU + r * srcCStride, srcV + r * srcCStride};
            uint8_t* planesDst[2] = {dstU + r * dstCStride, dstV + r * dstCStride};
            for (int x = 0; x < cw; ++x) {
                const int m = (RoundedAverage(m0[2 * x], m1[2 * x]) + RoundedAverage(m0[2 * x + 1], m1[2 * x + 1])) >> 1;
                for (int p = 0; p < 2; ++p) {
                    const int v = (m * planesDst[p][x] + (256 - m) * planesSrc[p][x] + 128) >> 8;
                    planesDst[p][x] = static_cast<uint8_t>(v > 255 ? 255 : v);
                }
            }
        }
    }
}

}  // namespace Ravvel
