// Tone-curve mathematics, the vibrance model and the chroma gain table of
// the contrast boost. Runs on analysis frames only, so it stays scalar.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "enhance/lcboost_kernels.h"

namespace Ravvel {

namespace {

inline float ClampF(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// floor(v + 0.5) as a level 0..255; NaN gives 0.
inline int RoundLevel(double v)
{
    const double r = std::floor(v + 0.5);
    return r >= 255.0 ? 255 : (r >= 0.0 ? static_cast<int>(r) : 0);
}

void FinishCdfAndMedian(SVideoStats* s)
{
    cumulative_sum(s->pdf, s->cdf, 0.0f, 1.0f, 256);
    float acc = 0.0f;
    s->median = 0.0f;
    for (int i = 0; i < 256; ++i) {
        acc += s->pdf[i];
        if (acc >= 0.5f) {
            s->median = static_cast<float>(i);
            break;
        }
    }
}

}  // namespace

void set_identity_map(float* out)
{
    for (int i = 0; i < 256; ++i) out[i] = static_cast<float>(i);
}

void cumulative_sum(const float* in, float* out, float a, float b, int n)
{
    if (n <= 0) return;
    float acc = a;
    for (int i = 0; i < n; ++i) {
        acc += in[i];
        out[i] = acc;
    }
    const float den = out[n - 1] - a;
    // An empty input has no total to normalise by; it stays a running sum.
    if (den == 0.0f) return;
    for (int i = 0; i < n; ++i) out[i] = (out[i] - a) * (b - a) / den + a;
}

void calculate_remap_stats(const SVideoStats* in, SVideoStats* out, const float* curve)
{
    SVideoStats s;
    std::memset(&s, 0, sizeof s);
    s.min = 255.0f;
    s.max = 0.0f;
    s.count = in->count;
    double total = 0.0, mean = 0.0, meanSq = 0.0;
    for (int i = 0; i < 256; ++i) {
        const float p = in->pdf[i];
        const int m = RoundLevel(static_cast<double>(curve[i]));
        s.pdf[m] += p;
        total += p;
        mean += static_cast<double>(p) * m;
        meanSq += static_cast<double>(p) * m * m;
        if (p > 0.0f) {
            if (m < s.min) s.min = static_cast<float>(m);
            if (m > s.max) s.max = static_cast<float>(m);
        }
    }
    if (total > 0.0) {
        for (int i = 0; i < 256; ++i) s.pdf[i] = static_cast<float>(s.pdf[i] / total);
        mean /= total;
        meanSq /= total;
        s.mean = static_cast<float>(mean);
        const double var = meanSq - mean * mean;
        s.stddev = var > 0.0 ? static_cast<float>(std::sqrt(var)) : 0.0f;
    }
    FinishCdfAndMedian(&s);
    *out = s;
}

void histogram_remapping(const SVideoStats* luma, float weight, float* out)
{
    float sorted[256];
    std::memcpy(sorted, luma->pdf, sizeof sorted);
    std::sort(sorted, sorted + 256);
    const float kFloor = 0.0015625f;
    const float cap = std::max(kFloor, (sorted[127] + sorted[128]) / 2.0f);
    const float inv = 1.0f / weight;
    float e[256] = {0};
    float total = 0.0f;
    for (int i = 16; i <= 235; ++i) {
        e[i] = std::pow(std::min(cap, std::max(luma->pdf[i], kFloor)) + 0.0001f, inv);
        total += e[i];
    }
    for (int i = 0; i < 256; ++i) out[i] = (i >= 16 && i <= 235 && total > 0.0f) ? e[i] / total : 0.0f;
    cumulative_sum(out, out, 0.0f, 1.0f, 256);
    for (int i = 0; i < 256; ++i) out[i] = (i >= 16 && i <= 235) ? 219.0f * out[i] + 16.0f : static_cast<float>(i);
}

void compute_fixed_log_map(float* out, float base)
{
    if (base == 1.0f || !(base > 0.0f)) {
        set_identity_map(out);
        return;
    }
    const float lnBase = std::log(base);
    for (int i = 0; i < 256; ++i)
        out[i] = 255.0f * std::log(static_cast<float>(i) / 255.0f * (base - 1.0f) + 1.0f) / lnBase;
}

float inv_beta_map(int level, float base)
{
    if (base == 1.0f) return static_cast<float>(level);
    return 255.0f * (std::pow(base, static_cast<float>(level) / 255.0f) - 1.0f) / (base - 1.0f);
}

float guess_beta(float start, float target)
{
    const int s = start >= 255.0f ? 255 : (start >= 0.0f ? static_cast<int>(start) : 0);
    const float u = static_cast<float>(s) / 255.0f;
    const bool up = target >= start;
    float best = 1.0f, bestDist = 1024.0f;
    for (int n = 0; n < 900; ++n) {
        const float step = 1.0f + 0.01f * static_cast<float>(n);
        const float x = up ? step : 1.0f / step;
        const float f =
            x == 1.0f ? static_cast<float>(s) : 255.0f * std::log(u * (x - 1.0f) + 1.0f) / std::log(x);
        const float d = std::fabs(f - target);
        if (d < bestDist) {
            bestDist = d;
            best = x;
        }
    }
    return best;
}

void calculate_contrast_sigmoid_params(float* out, const SVideoStats* luma, float contrast, float skinMedian)
{
    const float lo = ClampF(luma->min, 16.0f, 235.0f);
    const float hi = ClampF(luma->max, 16.0f, 235.0f);
    const float mean = luma->mean;
    const float k = contrast >= 1.0f ? (contrast - 1.0f) * 4.0f + 1.0f : 1.0f;
    float newLo = 16.0f, newHi = 235.0f;
    if (219.0f / (hi - lo) > k) {
        newLo = ClampF(mean - (mean - lo) * k, 16.0f, 235.0f);
        newHi = ClampF(mean + (hi - mean) * k, 16.0f, 235.0f);
    }
    out[0] = lo;
    out[1] = hi;
    out[2] = newLo;
    out[3] = newHi;
    out[4] = contrast;
    out[5] = skinMedian;
}

void set_sigmoid_map(float* out, const float* params)
{
    const float lo = params[0], hi = params[1], nlo = params[2], nhi = params[3], c = params[4], m = params[5];
    // A collapsed input or output range has no shape to stretch.
    if (!(hi - lo >= 1.0f) || !(nhi - nlo >= 1.0f) || !(lo > 0.0f) || !(hi < 255.0f)) {
        set_identity_map(out);
        return;
    }
    const int a = static_cast<int>(lo), b = static_cast<int>(hi);
    const float range = hi - lo, newRange = nhi - nlo;
    const float ln05 = std::log(0.5f);
    const float e1 = ln05 / std::log(ClampF((m - lo) / range, 0.25f, 0.75f));
    const float e2 = std::log(ClampF((m - nlo) / newRange, 0.25f, 0.75f)) / ln05;
    const float g = c / (newRange / range);
    for (int i = 0; i < 256; ++i) {
        const float fi = static_cast<float>(i);
        if (i < a) {
            out[i] = fi * nlo / lo;
        } else if (i <= b) {
            const float t = std::fabs((fi - lo) / range);
            if (g < 1.0f && c >= 1.0f) {
                out[i] = std::pow(std::pow(t, e1), e2) * newRange + nlo;
            } else {
                float z = std::pow(t, e1);
                if (z <= 0.0f) {
                    z = 0.0f;
                } else if (z >= 1.0f) {
                    z = 1.0f;
                } else {
                    const float zg = std::pow(z, g);
                    z = zg / (std::pow(1.0f - z, g) + zg);
                }
                out[i] = std::pow(z, e2) * newRange + nlo;
            }
        } else {
            out[i] = 255.0f - (255.0f - fi) * (255.0f - nhi) / (255.0f - hi);
        }
    }
}

void set_combined_map(const float* first, const float* second, float* out)
{
    for (int i = 0; i < 256; ++i) {
        const float x = ClampF(first[i], 0.0f, 255.0f);  // NaN stays NaN and is caught below
        const float fl = std::floor(x);
        const int f = fl >= 0.0f ? static_cast<int>(fl) : 0;
        const float r = x == x ? x - fl : 0.0f;
        const float next = f + 1 >= 255 ? second[255] : second[f + 1];
        out[i] = (1.0f - r) * second[f] + r * next;
    }
}

void merge_remappings(float* cur, const float* next, float w)
{
    for (int i = 0; i < 256; ++i) cur[i] = w * cur[i] + (1.0f - w) * next[i];
}

// ---- vibrance ----

void lcboost_yuv_to_rgb(float y, float u, float v, float* r, float* g, float* b)
{
    const float yy = 1.1643835f * (y - 16.0f);
    *r = ClampF(yy + 1.5960267f * (v - 128.0f), 0.0f, 255.0f);
    *g = ClampF(1.1643834f * (y - 16.0f) - 0.39176226f * (u - 128.0f) - 0.8129676f * (v - 128.0f), 0.0f, 255.0f);
    *b = ClampF(yy + 2.0172322f * (u - 128.0f), 0.0f, 255.0f);
}

void vibrance_gamma(float* pixel, float strength)
{
    const float y = pixel[0];
    if (y < 16.5f || y > 234.5f) return;
    float rgb[3];
    lcboost_yuv_to_rgb(y, pixel[1], pixel[2], &rgb[0], &rgb[1], &rgb[2]);
    const float r = rgb[0], g = rgb[1], b = rgb[2];
    const float mx = std::max(r, std::max(g, b)), mn = std::min(r, std::min(g, b));
    const float delta = mx - mn;
    float h = 0.0f;
    if (delta > 0.0f) {
        if (r >= g && r >= b) {
            h = 60.0f * (g - b) / delta;
            if (h < 0.0f) h += 360.0f;
        } else if (g >= b) {
            h = 60.0f * ((b - r) / delta + 2.0f);
        } else {
            h = 60.0f * ((r - g) / delta + 4.0f);
        }
    }
    const float sat = mx > 0.0f ? delta / mx : 0.0f;
    if (h >= 180.0f) h -= 360.0f;
    const float ws = 0.75f * std::exp(-0.0007701635f * (h - 17.5f) * (h - 17.5f));
    const float l = ClampF((y - 16.0f) * 255.0f / 219.0f, 0.0f, 255.0f);
    float gamut = 255.0f;
    for (int c = 0; c < 3; ++c) {
        const float d = rgb[c] - l;
        float limit = 255.0f;
        if (d > 1.0f)
            limit = (255.0f - l) / d;
        else if (d < -1.0f)
            limit = -l / d;
        if (limit < gamut) gamut = limit;
    }
    const float scale = std::min(gamut, (1.5f - sat) * (1.5f - ws) * (strength - 1.0f) + 1.0f);
    pixel[1] = (pixel[1] - 128.0f) * scale + 128.0f;
    pixel[2] = (pixel[2] - 128.0f) * scale + 128.0f;
}

void build_vibrance_slice(float* slice, int n)
{
    if (n <= 0) {
        for (int i = 0; i < kVibranceCells; ++i) slice[i] = 1.0f;
        return;
    }
    const float strength = 1.0f + 0.025f * static_cast<float>(n);
    for (int cu = 0; cu < 32; ++cu)
        for (int cv = 0; cv < 32; ++cv)
            for (int cy = 0; cy < 32; ++cy) {
                float sum = 0.0f;
                for (int corner = 0; corner < 8; ++corner) {
                    const float y = static_cast<float>(cy * 8 + ((corner & 1) ? 7 : 0));
                    const float u = static_cast<float>(cu * 8 + ((corner & 2) ? 7 : 0));
                    const float v = static_cast<float>(cv * 8 + ((corner & 4) ? 7 : 0));
                    float px[3] = {y, u, v};
                    vibrance_gamma(px, strength);
                    const float num = (px[1] - 128.0f) * (px[1] - 128.0f) + (px[2] - 128.0f) * (px[2] - 128.0f);
                    const float den = (u - 128.0f) * (u - 128.0f) + (v - 128.0f) * (v - 128.0f) + 1.0f;
                    sum += num > den ? std::sqrt(num / den) : 1.0f;
                }
                slice[cu * 1024 + cv * 32 + cy] = sum / 8.0f;
            }
}

void set_unity_chroma_table(uint8_t* table)
{
    std::memset(table, 0, kChromaGainTableAlloc);
    std::memset(table + 16, 32, kChromaGainTableBytes - 16);
}

void get_3d_table(uint8_t* table, const float* curve, bool boost, bool scaleWithLuma, const float* slice)
{
    uint8_t levels[16], mapped[16];
    for (int k = 0; k < 16; ++k) levels[k] = static_cast<uint8_t>(16 * k);
    apply_remapping_c(levels, 16, mapped, 16, 16, 1, curve);
    int gain[16];
    for (int k = 0; k < 16; ++k) {
        const float x = (static_cast<float>(mapped[k]) - 8.0f) / (16.0f * static_cast<float>(k) - 7.9f);
        const float p = x < 0.0f ? 0.0f : std::pow(x, 0.66f);
        if (!(p > 0.0f))
            gain[k] = 0;
        else if (p > 7.96875f)
            gain[k] = 255;
        else
            gain[k] = static_cast<int>(std::round(32.0f * p));
    }
    std::memset(table, 0, 16);
    for (int u = 0; u < 16; ++u)
        for (int v = 0; v < 16; ++v) {
            uint8_t* row = table + ChromaGainRow(u, v);
            for (int k = 0; k < 16; ++k) {
                int entry = 32;
                if (boost && !scaleWithLuma) {
                    const float f = std::floor(32.0f * slice[VibranceCell(mapped[k], 16 * u, 16 * v)]);
                    entry = f >= 255.0f ? 255 : (f > 0.0f ? static_cast<int>(f) : 0);
                } else if (!boost && scaleWithLuma) {
                    entry = gain[k];
                } else if (boost && scaleWithLuma) {
                    const int uu = std::min(255, std::max(0, (u - 8) * gain[k] / 2 + 128));
                    const int vv = std::min(255, std::max(0, (v - 8) * gain[k] / 2 + 128));
                    const float f = std::floor(static_cast<float>(gain[k]) * slice[VibranceCell(mapped[k], uu, vv)]);
                    entry = f >= 255.0f ? 255 : (f > 0.0f ? static_cast<int>(f) : 0);
                }
                row[k] = static_cast<uint8_t>(entry);
            }
            row[16] = row[15];
        }
}

}  // namespace Ravvel
