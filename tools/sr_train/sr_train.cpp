// Trains the super-resolution filter tables from photographs and measures
// them. Build-time tool: its inputs are grey (luma) PGM pictures; its outputs
// are the generated table source, the enhanced coefficient file and a quality
// report on the held-out pictures.
//
//   ravvel_sr_train --tables OUT.cpp --coeffs OUT.txt [--report OUT.md]
//                   [--prescale F[,F...]] [--qp N] [--augment]
//                   [--reg R0 RN] [--reg-enh RN]
//                   [--train A.pgm ...] [--holdout B.pgm ...]
//
// Each training picture is reduced by every factor of --prescale (the report
// uses the first) and, with --augment, also seen in its eight flips and turns
// and as a negative. Each filter is a least-squares fit per class and phase
// with its sum fixed (64 for the 2x table, 32 for the 1.5x table), pulled
// toward a prior (the fit of all classes of the phase, itself pulled toward
// the smooth filter) the harder the fewer samples it has, then rounded so that
// the sum is kept. Classes with too few samples keep the smooth filter.
// Only blocks the kernels would classify at quantiser --qp are learnt from.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scale/super_resolution_kernels.h"
#include "scale/super_resolution_kernels_ref.h"

using namespace Ravvel;

namespace {

struct Gray {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    uint8_t at(int y, int x) const { return px[static_cast<size_t>(y) * w + x]; }
    uint8_t* row(int y) { return px.data() + static_cast<size_t>(y) * w; }
    const uint8_t* row(int y) const { return px.data() + static_cast<size_t>(y) * w; }
};

bool ReadPgm(const std::string& path, Gray* g)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char magic[3] = {};
    int maxv = 0;
    bool ok = std::fscanf(f, "%2s %d %d %d", magic, &g->w, &g->h, &maxv) == 4 && std::strcmp(magic, "P5") == 0 &&
              maxv == 255 && g->w > 0 && g->h > 0;
    if (ok) {
        std::fgetc(f);
        g->px.resize(static_cast<size_t>(g->w) * g->h);
        ok = std::fread(g->px.data(), 1, g->px.size(), f) == g->px.size();
    }
    std::fclose(f);
    return ok;
}

Gray Crop(const Gray& g, int multiple)
{
    Gray c;
    c.w = g.w / multiple * multiple;
    c.h = g.h / multiple * multiple;
    c.px.resize(static_cast<size_t>(c.w) * c.h);
    for (int y = 0; y < c.h; ++y) std::memcpy(c.row(y), g.row(y), static_cast<size_t>(c.w));
    return c;
}

// Area downscales: 2:1 (2x2 mean) and 3:2 (each low-resolution sample covers
// one and a half high-resolution samples per side).
Gray Down2(const Gray& g)
{
    Gray d;
    d.w = g.w / 2;
    d.h = g.h / 2;
    d.px.resize(static_cast<size_t>(d.w) * d.h);
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x)
            d.row(y)[x] = static_cast<uint8_t>(
                (g.at(2 * y, 2 * x) + g.at(2 * y, 2 * x + 1) + g.at(2 * y + 1, 2 * x) + g.at(2 * y + 1, 2 * x + 1) + 2) >>
                2);
    return d;
}

Gray Down3to2(const Gray& g)
{
    Gray d;
    d.w = g.w / 3 * 2;
    d.h = g.h / 3 * 2;
    d.px.resize(static_cast<size_t>(d.w) * d.h);
    static const int kW[2][3] = {{2, 1, 0}, {0, 1, 2}};
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) {
            const int by = y / 2 * 3, bx = x / 2 * 3;
            int s = 0;
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) s += kW[y & 1][i] * kW[x & 1][j] * g.at(by + i, bx + j);
            d.row(y)[x] = static_cast<uint8_t>((s + 4) / 9);
        }
    return d;
}

// Area reduction by an integer factor: photographs are often softer than
// their pixel grid, and video at its own resolution is not.
Gray Reduce(const Gray& g, int f)
{
    if (f <= 1) return g;
    Gray d;
    d.w = g.w / f;
    d.h = g.h / f;
    d.px.resize(static_cast<size_t>(d.w) * d.h);
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) {
            int s = 0;
            for (int i = 0; i < f; ++i)
                for (int j = 0; j < f; ++j) s += g.at(f * y + i, f * x + j);
            d.row(y)[x] = static_cast<uint8_t>((s + f * f / 2) / (f * f));
        }
    return d;
}

// One of the eight flips and turns of a picture (bit 0 mirror, bit 1 flip,
// bit 2 transpose): edges of every orientation count for every class.
Gray Dihedral(const Gray& g, int t)
{
    Gray d;
    const bool transpose = t & 4;
    d.w = transpose ? g.h : g.w;
    d.h = transpose ? g.w : g.h;
    d.px.resize(g.px.size());
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) {
            int sy = transpose ? x : y, sx = transpose ? y : x;
            if (t & 1) sx = g.w - 1 - sx;
            if (t & 2) sy = g.h - 1 - sy;
            d.row(y)[x] = g.at(sy, sx);
        }
    return d;
}

// ---- Least squares ------------------------------------------------------------

// Solves a * x = b (n x n, row-major) by Gaussian elimination with pivoting.
bool Solve(std::vector<double> a, std::vector<double> b, int n, std::vector<double>* x)
{
    for (int c = 0; c < n; ++c) {
        int p = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(a[r * n + c]) > std::fabs(a[p * n + c])) p = r;
        if (std::fabs(a[p * n + c]) < 1e-12) return false;
        if (p != c) {
            for (int k = 0; k < n; ++k) std::swap(a[p * n + k], a[c * n + k]);
            std::swap(b[p], b[c]);
        }
        for (int r = c + 1; r < n; ++r) {
            const double f = a[r * n + c] / a[c * n + c];
            for (int k = c; k < n; ++k) a[r * n + k] -= f * a[c * n + k];
            b[r] -= f * b[c];
        }
    }
    x->assign(n, 0.0);
    for (int r = n - 1; r >= 0; --r) {
        double s = b[r];
        for (int k = r + 1; k < n; ++k) s -= a[r * n + k] * (*x)[k];
        (*x)[r] = s / a[r * n + r];
    }
    return true;
}

// Normal equations of one class: shared Gram matrix, one right side per phase.
struct Accum {
    int n = 0;
    long count[4] = {};
    std::vector<double> ata[4], atb[4], sum[4];
    void Init(int taps)
    {
        n = taps;
        for (int q = 0; q < 4; ++q) {
            ata[q].assign(static_cast<size_t>(taps) * taps, 0.0);
            atb[q].assign(taps, 0.0);
            sum[q].assign(taps, 0.0);
        }
    }
    void Add(int q, const double* in, double target)
    {
        ++count[q];
        for (int i = 0; i < n; ++i) {
            sum[q][i] += in[i];
            atb[q][i] += in[i] * target;
            for (int j = 0; j < n; ++j) ata[q][i * n + j] += in[i] * in[j];
        }
    }
};

// min |A w - b|^2 + lambda |w - prior|^2 subject to sum(w) = total (total 0: unconstrained).
bool FitFilter(const Accum& acc, int q, const std::vector<double>& prior, double total, double lambdaScale,
               std::vector<double>* w)
{
    const int n = acc.n;
    std::vector<double> m = acc.ata[q], v = acc.atb[q];
    // The pull is measured against the spread of the inputs about their mean:
    // the filters' sum is fixed, so the mean level carries no information.
    double trace = 0;
    const double cnt = static_cast<double>(std::max(1L, acc.count[q]));
    for (int i = 0; i < n; ++i) trace += m[i * n + i] - acc.sum[q][i] * acc.sum[q][i] / cnt;
    const double lambda = lambdaScale * std::max(0.0, trace) / n + 1e-3;
    for (int i = 0; i < n; ++i) {
        m[i * n + i] += lambda;
        v[i] += lambda * prior[i];
    }
    std::vector<double> mv, m1;
    if (!Solve(m, v, n, &mv)) return false;
    if (total == 0) {
        *w = mv;
        return true;
    }
    if (!Solve(m, std::vector<double>(n, 1.0), n, &m1)) return false;
    double s1 = 0, sv = 0;
    for (int i = 0; i < n; ++i) s1 += m1[i], sv += mv[i];
    const double mu = (sv - total) / s1;
    w->resize(n);
    for (int i = 0; i < n; ++i) (*w)[i] = mv[i] - mu * m1[i];
    return true;
}

// Rounds to integers in [-limit, limit] keeping the exact sum: the taps whose
// rounding moved them furthest from the fit take the correction.
std::vector<int> RoundKeepingSum(const std::vector<double>& w, int total, int limit)
{
    const int n = static_cast<int>(w.size());
    std::vector<int> r(n);
    int sum = 0;
    for (int i = 0; i < n; ++i) {
        r[i] = static_cast<int>(std::lround(std::max(-static_cast<double>(limit), std::min(static_cast<double>(limit), w[i]))));
        sum += r[i];
    }
    while (sum != total) {
        const int step = sum < total ? 1 : -1;
        int best = -1;
        double bestGain = -1e30;
        for (int i = 0; i < n; ++i) {
            if (r[i] + step > limit || r[i] + step < -limit) continue;
            const double gain = (w[i] - r[i]) * step;  // how far the fit lies in the step's direction
            if (gain > bestGain) bestGain = gain, best = i;
        }
        if (best < 0) break;
        r[best] += step;
        sum += step;
    }
    return r;
}

int Med3(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

// ---- The 2x table ---------------------------------------------------------------

// Quantiser the tables are trained for and measured with (luma threshold
// qp_threshold[qp]); set by --qp.
int g_qp = 24;
// Pull toward the prior filter: g_reg0 + g_regN / samples of the class (the
// 2x and 1.5x tables), g_reg0 + g_regEnh / samples (the enhanced classes,
// whose prior is the fit of their pattern over all variance levels).
double g_reg0 = 1e-3, g_regN = 2.0, g_regEnh = 150.0;
int LumaThreshold() { return qp_threshold[g_qp]; }
constexpr long kMinSamples2x = 30;
constexpr long kMinSamples1pt5 = 30;
constexpr int kTapLimit = 64;  // keeps every byte pair of the vector multiply-add inside 16 bits

// Smooth 2x filter of a phase in coeffs_orig order: (H + V + 2c) / 4 in 1/64.
std::vector<double> Smooth2x(int q)
{
    std::vector<double> w(12, 0.0);
    w[4] = 32;
    w[(q & 1) ? 5 : 3] = 16;
    w[(q & 2) ? 7 : 1] = 16;
    return w;
}

// Simple 1.5x filter of a phase over the 3x3 oriented neighbourhood (raster), in 1/32.
std::vector<double> Simple1pt5(int q)
{
    std::vector<double> w(9, 0.0);
    if (q == 0) w[4] = 32;
    if (q == 1) w[4] = w[5] = 16;
    if (q == 2) w[4] = w[7] = 16;
    if (q == 3) w[4] = w[5] = w[7] = w[8] = 8;
    return w;
}

void Inputs2x(const uint8_t w[4][4], int i, int j, double in[12], int* cls)
{
    int n[9], lo = 255, hi = 0;
    for (int k = 0; k < 9; ++k) {
        n[k] = w[i - 1 + k / 3][j - 1 + k % 3];
        lo = std::min(lo, n[k]);
        hi = std::max(hi, n[k]);
    }
    const int m = (lo + hi) >> 1;
    int c = 0;
    for (int k = 0; k < 8; ++k) c |= (n[k] >= m) << k;
    *cls = n[8] >= m ? c ^ 255 : c;
    for (int k = 0; k < 9; ++k) in[k] = n[k];
    in[9] = Med3(n[1], n[3], n[4]);
    in[10] = Med3(n[1], n[4], n[5]);
    in[11] = Med3(n[4], n[3], n[7]);
}

void Collect2x(const Gray& hr, std::vector<Accum>& acc)
{
    const Gray lr = Down2(hr);
    for (int y = 0; y < lr.h; y += 2) {
        const uint8_t* rows[4];
        SRRows2x(lr.px.data(), lr.w, lr.h, y, rows);
        for (int x = 1; x < lr.w - 1; x += 2) {
            uint8_t w[4][4];
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) w[i][j] = rows[i][x - 1 + j];
            int maxAct = 0;
            for (int i = 1; i <= 2; ++i)
                for (int j = 1; j <= 2; ++j) {
                    const int act = 3 * (w[i - 1][j] + w[i + 1][j] + w[i][j - 1] + w[i][j + 1]) +
                                    2 * (w[i - 1][j - 1] + w[i - 1][j + 1] + w[i + 1][j - 1] + w[i + 1][j + 1]) -
                                    20 * w[i][j];
                    maxAct = std::max(maxAct, std::abs(act));
                }
            if (4 * LumaThreshold() > maxAct) continue;  // the kernel takes the smooth rule here
            for (int i = 1; i <= 2; ++i)
                for (int j = 1; j <= 2; ++j) {
                    double in[12];
                    int cls;
                    Inputs2x(w, i, j, in, &cls);
                    const int sy = y + i - 1, sx = x + j - 1;
                    for (int q = 0; q < 4; ++q) acc[cls].Add(q, in, 64.0 * hr.at(2 * sy + (q >> 1), 2 * sx + (q & 1)));
                }
        }
    }
}

// ---- The 1.5x table ----------------------------------------------------------------

void Collect1pt5(const Gray& hr, std::vector<Accum>& acc)
{
    const Gray lr = Down3to2(hr);
    static const int kPixel[4][4] = {{1, 1, 1, 1}, {1, 2, 1, -1}, {2, 1, -1, 1}, {2, 2, -1, -1}};
    static const int kOutputs[4][4][3] = {{{0, 0, 0}, {1, 0, 1}, {2, 1, 0}, {3, 1, 1}},
                                          {{0, 0, 2}, {2, 1, 2}, {-1, 0, 0}, {-1, 0, 0}},
                                          {{0, 2, 0}, {1, 2, 1}, {-1, 0, 0}, {-1, 0, 0}},
                                          {{0, 2, 2}, {-1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}}};
    for (int r = 0; r < lr.h; r += 2) {
        const uint8_t* rows[4];
        SRRows1pt5(lr.px.data(), lr.w, lr.h, r, rows);
        for (int c = 2; c < lr.w - 2; c += 2) {
            uint8_t w[4][4];
            int lo = 255, hi = 0;
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    w[i][j] = rows[i][c - 1 + j];
                    lo = std::min<int>(lo, w[i][j]);
                    hi = std::max<int>(hi, w[i][j]);
                }
            if (LumaThreshold() > hi - lo) continue;
            const int m = (lo + hi) >> 1;
            for (int p = 0; p < 4; ++p) {
                int n[9];
                for (int k = 0; k < 9; ++k)
                    n[k] = w[kPixel[p][0] + kPixel[p][2] * (k / 3 - 1)][kPixel[p][1] + kPixel[p][3] * (k % 3 - 1)];
                int cls = 0;
                for (int k = 0; k < 8; ++k) cls |= (n[k] >= m) << k;
                if (n[8] >= m) cls ^= 255;
                double in[9];
                for (int k = 0; k < 9; ++k) in[k] = n[k];
                for (int o = 0; o < 4 && kOutputs[p][o][0] >= 0; ++o)
                    acc[cls].Add(kOutputs[p][o][0], in,
                                 32.0 * hr.at(3 * r / 2 + kOutputs[p][o][1], 3 * c / 2 + kOutputs[p][o][2]));
            }
        }
    }
}

// ---- The enhanced coefficients --------------------------------------------------------

void CollectEnhanced(const Gray& hr, std::vector<Accum>& acc)
{
    const Gray lr = Down2(hr);
    for (int y = 0; y < lr.h; y += 2) {
        const uint8_t* rows[4];
        SRRows2x(lr.px.data(), lr.w, lr.h, y, rows);
        for (int x = 1; x < lr.w - 1; x += 2) {
            uint8_t patches[4][9];
            bool flat = true;
            for (int p = 0; p < 4; ++p) {
                int lo = 255, hi = 0;
                for (int k = 0; k < 9; ++k) {
                    patches[p][k] = rows[p / 2 + k / 3][x - 1 + p % 2 + k % 3];
                    lo = std::min<int>(lo, patches[p][k]);
                    hi = std::max<int>(hi, patches[p][k]);
                }
                if (hi - lo >= 16) flat = false;
            }
            if (flat) continue;
            for (int p = 0; p < 4; ++p) {
                const int cls = enhSR_classify(patches[p]);
                double in[9];
                for (int k = 0; k < 9; ++k) in[k] = patches[p][k];
                const int sy = y + p / 2, sx = x + p % 2;
                // The kernel truncates; half a step up makes that a rounding.
                for (int q = 0; q < 4; ++q) acc[cls].Add(q, in, hr.at(2 * sy + (q >> 1), 2 * sx + (q & 1)) + 0.5);
            }
        }
    }
}

// ---- Reference interpolators for the report ----------------------------------------------

double Cubic(double t)  // Keys, a = -0.5
{
    t = std::fabs(t);
    if (t < 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
    if (t < 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
    return 0;
}
double Lanczos3(double t)
{
    t = std::fabs(t);
    if (t < 1e-9) return 1;
    if (t >= 3) return 0;
    const double pt = M_PI * t;
    return 3 * std::sin(pt) * std::sin(pt / 3) / (pt * pt);
}
double Linear(double t)
{
    t = std::fabs(t);
    return t < 1 ? 1 - t : 0;
}

// Separable resampling with sample centres aligned (area-downscale geometry).
Gray Resample(const Gray& s, int dw, int dh, double (*kernel)(double), int support)
{
    std::vector<float> tmp(static_cast<size_t>(dw) * s.h);
    const double sx = static_cast<double>(s.w) / dw, sy = static_cast<double>(s.h) / dh;
    for (int x = 0; x < dw; ++x) {
        const double c = (x + 0.5) * sx - 0.5;
        const int base = static_cast<int>(std::floor(c));
        double wsum = 0, ws[8];
        for (int k = 0; k < 2 * support; ++k) wsum += ws[k] = kernel(c - (base - support + 1 + k));
        for (int y = 0; y < s.h; ++y) {
            double v = 0;
            for (int k = 0; k < 2 * support; ++k)
                v += ws[k] * s.at(y, std::min(s.w - 1, std::max(0, base - support + 1 + k)));
            tmp[static_cast<size_t>(y) * dw + x] = static_cast<float>(v / wsum);
        }
    }
    Gray d;
    d.w = dw;
    d.h = dh;
    d.px.resize(static_cast<size_t>(dw) * dh);
    for (int y = 0; y < dh; ++y) {
        const double c = (y + 0.5) * sy - 0.5;
        const int base = static_cast<int>(std::floor(c));
        double wsum = 0, ws[8];
        for (int k = 0; k < 2 * support; ++k) wsum += ws[k] = kernel(c - (base - support + 1 + k));
        for (int x = 0; x < dw; ++x) {
            double v = 0;
            for (int k = 0; k < 2 * support; ++k)
                v += ws[k] * tmp[static_cast<size_t>(std::min(s.h - 1, std::max(0, base - support + 1 + k))) * dw + x];
            v = std::lround(v / wsum);
            d.row(y)[x] = static_cast<uint8_t>(std::min(255.0, std::max(0.0, v)));
        }
    }
    return d;
}

double Psnr(const Gray& a, const Gray& b)
{
    double se = 0;
    for (size_t i = 0; i < a.px.size(); ++i) {
        const double d = static_cast<double>(a.px[i]) - b.px[i];
        se += d * d;
    }
    const double mse = se / static_cast<double>(a.px.size());
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// ---- Output -------------------------------------------------------------------------

void WriteTable(FILE* f, const char* name, const std::vector<std::vector<std::vector<int>>>& t, int width)
{
    std::fprintf(f, "alignas(64) const int8_t %s[kSRClasses][kSRPhases][%s] = {\n", name,
                 width == 12 ? "kSROrigTaps" : "16");
    for (size_t c = 0; c < t.size(); ++c) {
        std::fprintf(f, "    {");
        for (int q = 0; q < 4; ++q) {
            std::fprintf(f, "%s{", q ? ", " : "");
            for (int k = 0; k < width; ++k) std::fprintf(f, "%s%d", k ? ", " : "", t[c][q][k]);
            std::fprintf(f, "}");
        }
        std::fprintf(f, "},  // %zu\n", c);
    }
    std::fprintf(f, "};\n\n");
}

struct Options {
    std::vector<int> prescales{1};  // training scales; the report uses the first
    bool augment = false;
    std::string tables, coeffs, report;
    std::vector<std::string> train, holdout;
};

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    std::vector<std::string>* list = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--tables" || a == "--coeffs" || a == "--report") && i + 1 < argc) {
            (a == "--tables" ? o.tables : a == "--coeffs" ? o.coeffs : o.report) = argv[++i];
            list = nullptr;
        } else if (a == "--prescale" && i + 1 < argc) {
            o.prescales.clear();
            for (const char* p = argv[++i]; *p;) {
                o.prescales.push_back(std::max(1, std::atoi(p)));
                while (*p && *p != ',') ++p;
                if (*p == ',') ++p;
            }
        } else if (a == "--reg" && i + 2 < argc) {
            g_reg0 = std::atof(argv[++i]);
            g_regN = std::atof(argv[++i]);
        } else if (a == "--reg-enh" && i + 1 < argc) {
            g_regEnh = std::atof(argv[++i]);
        } else if (a == "--qp" && i + 1 < argc) {
            g_qp = std::min(51, std::max(0, std::atoi(argv[++i])));
        } else if (a == "--augment") {
            o.augment = true;
        } else if (a == "--train") {
            list = &o.train;
        } else if (a == "--holdout") {
            list = &o.holdout;
        } else if (list && a.compare(0, 2, "--") != 0) {
            list->push_back(a);
        } else {
            std::fprintf(stderr, "usage: %s --tables OUT.cpp --coeffs OUT.txt [--report OUT.md] [--prescale F,...] "
                                 "[--qp N] [--augment] [--reg R0 RN] [--reg-enh RN] [--train PGM...] "
                                 "[--holdout PGM...]\n", argv[0]);
            return 2;
        }
    }
    if (o.tables.empty() || o.coeffs.empty()) {
        std::fprintf(stderr, "--tables and --coeffs are required\n");
        return 2;
    }

    std::vector<Accum> acc2x(kSRClasses), acc15(kSRClasses), accEnh(kSREnhClasses);
    for (auto& a : acc2x) a.Init(12);
    for (auto& a : acc15) a.Init(9);
    for (auto& a : accEnh) a.Init(9);
    for (const std::string& path : o.train) {
        Gray g;
        if (!ReadPgm(path, &g)) {
            std::fprintf(stderr, "cannot read %s (8-bit binary PGM expected)\n", path.c_str());
            return 1;
        }
        for (int scale : o.prescales)
        for (int t = 0; t < (o.augment ? 16 : 1); ++t) {
            const Gray reduced = Reduce(g, scale);
            if (t == 0) std::fprintf(stderr, "training on %s (%dx%d)\n", path.c_str(), reduced.w, reduced.h);
            Gray turned = Dihedral(reduced, t & 7);
            // The negative picture: a filter whose taps sum to one treats a
            // pattern and its inverse alike, so both teach the same classes.
            if (t & 8)
                for (uint8_t& v : turned.px) v = static_cast<uint8_t>(255 - v);
            const Gray g4 = Crop(turned, 4), g6 = Crop(turned, 6);
            Collect2x(g4, acc2x);
            Collect1pt5(g6, acc15);
            CollectEnhanced(g4, accEnh);
        }
    }

    // 2x table.
    std::vector<std::vector<std::vector<int>>> orig(kSRClasses, std::vector<std::vector<int>>(4));
    int trained2x = 0, trained15 = 0, trainedEnh = 0;
    // Sparse classes lean on the fit of all classified samples of the phase.
    Accum all2x, all15;
    all2x.Init(12);
    all15.Init(9);
    for (int c = 0; c < 256; ++c)
        for (int q = 0; q < 4; ++q) {
            all2x.count[q] += acc2x[c].count[q];
            all15.count[q] += acc15[c].count[q];
            for (size_t i = 0; i < all2x.ata[q].size(); ++i) all2x.ata[q][i] += acc2x[c].ata[q][i];
            for (size_t i = 0; i < all2x.atb[q].size(); ++i) all2x.atb[q][i] += acc2x[c].atb[q][i];
            for (size_t i = 0; i < all15.ata[q].size(); ++i) all15.ata[q][i] += acc15[c].ata[q][i];
            for (size_t i = 0; i < all15.atb[q].size(); ++i) all15.atb[q][i] += acc15[c].atb[q][i];
        }
    for (int c = 0; c < kSRClasses; ++c)
        for (int q = 0; q < 4; ++q) {
            std::vector<double> w = Smooth2x(q), prior = Smooth2x(q);
            const bool enough = c < 256 && acc2x[c].count[q] >= kMinSamples2x;
            if (enough && all2x.count[q] > 0) FitFilter(all2x, q, Smooth2x(q), 64, 1e-4, &prior);
            if (enough) FitFilter(acc2x[c], q, prior, 64, g_reg0 + g_regN / acc2x[c].count[q], &w);
            trained2x += enough;
            orig[c][q] = RoundKeepingSum(w, 64, kTapLimit);
        }
    // The published sample row of class 0, phase 0.
    orig[0][0] = {1, 4, -1, 4, 59, -4, 1, -4, -1, 2, 1, 2};

    // 1.5x table: 9 taps placed at byte positions 0-2, 4-6, 8-10; class 256 stays zero.
    std::vector<std::vector<std::vector<int>>> sym(kSRClasses, std::vector<std::vector<int>>(4, std::vector<int>(16, 0)));
    std::vector<std::vector<std::vector<int>>> alt = sym;
    for (int c = 0; c < 256; ++c)
        for (int q = 0; q < 4; ++q) {
            std::vector<double> w = Simple1pt5(q), prior = Simple1pt5(q);
            const bool enough = acc15[c].count[q] >= kMinSamples1pt5;
            if (enough && all15.count[q] > 0) FitFilter(all15, q, Simple1pt5(q), 32, 1e-4, &prior);
            if (enough) FitFilter(acc15[c], q, prior, 32, g_reg0 + g_regN / acc15[c].count[q], &w);
            trained15 += enough;
            const std::vector<int> r = RoundKeepingSum(w, 32, kTapLimit);
            for (int k = 0; k < 9; ++k) sym[c][q][(k / 3) * 4 + k % 3] = r[k];
        }
    for (int c = 0; c < kSRClasses; ++c)
        for (int q = 0; q < 4; ++q) alt[c][q] = sym[c][(q == 1 || q == 2) ? 3 - q : q];

    FILE* f = std::fopen(o.tables.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", o.tables.c_str());
        return 1;
    }
    std::fprintf(f,
                 "// Generated by tools/sr_train (tools/sr_train/train.sh); do not edit by hand.\n"
                 "// Trained 2x filters: %d of %d class phases; 1.5x filters: %d of %d (the rest smooth).\n"
                 "#include \"scale/super_resolution_kernels.h\"\n\nnamespace Ravvel {\n\n",
                 trained2x, 256 * 4, trained15, 256 * 4);
    WriteTable(f, "coeffs_orig", orig, 12);
    WriteTable(f, "coeffs_sym1pt5", sym, 16);
    WriteTable(f, "coeffs_sym1pt5_alt", alt, 16);
    std::fprintf(f, "}  // namespace Ravvel\n");
    std::fclose(f);

    // Enhanced coefficient file: classes without enough samples are left out
    // and take the smooth rule in the kernel.
    f = std::fopen(o.coeffs.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", o.coeffs.c_str());
        return 1;
    }
    // Every class gets a filter: a class leans on the fit of its pattern (all
    // variance levels together), a pattern on the fit of all patterns, and
    // that on the smooth filter, so that sparse or unseen classes still get
    // sensible filters instead of falling back to the smooth rule.
    auto pool = [](Accum& into, const Accum& from) {
        for (int q = 0; q < 4; ++q) {
            into.count[q] += from.count[q];
            for (int i = 0; i < 9; ++i) into.sum[q][i] += from.sum[q][i];
            for (size_t i = 0; i < into.ata[q].size(); ++i) into.ata[q][i] += from.ata[q][i];
            for (size_t i = 0; i < into.atb[q].size(); ++i) into.atb[q][i] += from.atb[q][i];
        }
    };
    std::vector<Accum> patterns(kSRFlatClass / 16);
    Accum everything;
    everything.Init(9);
    for (auto& a : patterns) a.Init(9);
    for (int c = 0; c < kSRFlatClass; ++c) pool(patterns[c / 16], accEnh[c]);
    for (const Accum& a : patterns) pool(everything, a);
    // Gains near 1 keep the filters right for contrasts the class rarely saw;
    // the small excess turns the kernel's truncation into a rounding at the
    // class's mean level.
    auto gain = [](const Accum& a, int phase) {
        const double mean = a.count[phase] ? a.sum[phase][4] / static_cast<double>(a.count[phase]) : 128.0;
        return 1.0 + 0.5 / (mean < 8.0 ? 8.0 : mean);
    };
    auto fit = [&](const Accum& a, int q, const std::vector<double>& prior) {
        std::vector<double> w;
        if (a.count[q] == 0) return prior;
        const double pull = g_reg0 + g_regEnh / static_cast<double>(a.count[q]);
        if (!FitFilter(a, q, prior, gain(a, q), pull, &w)) return prior;
        return w;
    };
    std::vector<std::vector<std::vector<double>>> taps(kSREnhClasses, std::vector<std::vector<double>>(4));
    for (int q = 0; q < 4; ++q) {
        std::vector<double> smooth(9, 0.0);
        smooth[4] = 0.5;
        smooth[(q & 1) ? 5 : 3] = 0.25;
        smooth[(q & 2) ? 7 : 1] = 0.25;
        const std::vector<double> global = fit(everything, q, smooth);
        std::vector<std::vector<double>> byPattern(patterns.size());
        for (size_t p = 0; p < patterns.size(); ++p) byPattern[p] = fit(patterns[p], q, global);
        for (int c = 1; c < kSREnhClasses; ++c)
            taps[c][q] = c == kSRFlatClass ? fit(accEnh[c], q, smooth) : fit(accEnh[c], q, byPattern[c / 16]);
    }
    for (int c = 1; c < kSREnhClasses; ++c) {
        // Patterns never seen in training (most cannot occur) stay out of the
        // file and take the smooth rule.
        if (c != kSRFlatClass && patterns[c / 16].count[0] == 0) continue;
        trainedEnh += accEnh[c].count[0] > 0;
        for (int q = 0; q < 4; ++q) {
            // Fields: class, phase, samples, pattern, level, reserved, nine taps.
            std::fprintf(f, "%d %d %ld %d %d 0", c, q, accEnh[c].count[q], c / 16, c % 16);
            for (int k = 0; k < 9; ++k) std::fprintf(f, " %.7g", taps[c][q][k]);
            std::fprintf(f, "\n");
        }
    }
    std::fclose(f);
    std::fprintf(stderr, "2x: %d trained class phases, 1.5x: %d, enhanced classes: %d\n", trained2x, trained15,
                 trainedEnh);

    if (o.report.empty() || o.holdout.empty()) return 0;

    // Quality on the held-out pictures with the tables just made.
    std::vector<int8_t> origFlat(kSRClasses * 4 * 12), pad(kSRPadBytes), symFlat(kSRClasses * 64);
    for (int c = 0; c < kSRClasses; ++c)
        for (int q = 0; q < 4; ++q) {
            for (int k = 0; k < 12; ++k) origFlat[(c * 4 + q) * 12 + k] = static_cast<int8_t>(orig[c][q][k]);
            for (int k = 0; k < 16; ++k) symFlat[c * 64 + q * 16 + k] = static_cast<int8_t>(sym[c][q][k]);
        }
    setup_coeffs_c(pad.data(), origFlat.data());
    std::vector<double> enh(static_cast<size_t>(kSREnhClasses) * 4 * kSREnhTaps, 0.0);
    std::vector<uint8_t> validBytes(kSREnhClasses, 0);
    bool* valid = reinterpret_cast<bool*>(validBytes.data());
    if (setup_enhSR_coeffs_c(o.coeffs.c_str(), enh.data(), valid, nullptr) != 0) return 1;

    FILE* rep = std::fopen(o.report.c_str(), "w");
    if (!rep) return 1;
    const char* names2[] = {"bilinear", "bicubic", "Lanczos-3", "adaptive", "enhanced"};
    const char* names15[] = {"bilinear", "bicubic", "Lanczos-3", "simple", "adaptive"};
    double sum2[5] = {}, sum15[5] = {};
    std::fprintf(rep, "Held-out photographs reduced %d:1 (area) as the originals, quantiser %d.\n\n", o.prescales.front(), g_qp);
    std::fprintf(rep, "2x (2:1 area downscale), luma PSNR in dB\n\n| picture | %s | %s | %s | %s | %s |\n|---|---|---|---|---|---|\n",
                 names2[0], names2[1], names2[2], names2[3], names2[4]);
    std::string rows15;
    for (const std::string& path : o.holdout) {
        Gray g;
        if (!ReadPgm(path, &g)) return 1;
        g = Reduce(g, o.prescales.front());
        const std::string base = path.substr(path.find_last_of('/') + 1);
        {
            const Gray hr = Crop(g, 4), lr = Down2(hr);
            Gray out[5];
            out[0] = Resample(lr, hr.w, hr.h, Linear, 1);
            out[1] = Resample(lr, hr.w, hr.h, Cubic, 2);
            out[2] = Resample(lr, hr.w, hr.h, Lanczos3, 3);
            out[3] = out[4] = hr;
            const std::vector<uint8_t> qp(static_cast<size_t>((lr.w + 15) / 16) * ((lr.h + 15) / 16), static_cast<uint8_t>(g_qp));
            brillane_2x2_process_block_c(lr.px.data(), lr.w, lr.h, lr.w, out[3].px.data(), hr.w, 0, lr.h, qp.data(),
                                         (lr.w + 15) / 16, nullptr, 0, 1, 0, pad.data());
            enhSR_2x2_process_block_c(lr.px.data(), lr.w, lr.h, lr.w, out[4].px.data(), hr.w, 0, lr.h, enh.data(),
                                      valid);
            std::fprintf(rep, "| %s |", base.c_str());
            for (int m = 0; m < 5; ++m) {
                const double p = Psnr(hr, out[m]);
                sum2[m] += p;
                std::fprintf(rep, " %.2f |", p);
            }
            std::fprintf(rep, "\n");
        }
        {
            const Gray hr = Crop(g, 12), lr = Down3to2(hr);
            Gray out[5];
            out[0] = Resample(lr, hr.w, hr.h, Linear, 1);
            out[1] = Resample(lr, hr.w, hr.h, Cubic, 2);
            out[2] = Resample(lr, hr.w, hr.h, Lanczos3, 3);
            out[3] = out[4] = hr;
            const int qpStride = (lr.w + 15) / 16;
            const std::vector<uint8_t> qp(static_cast<size_t>(qpStride) * ((lr.h + 15) / 16), static_cast<uint8_t>(g_qp));
            simple_scale_1pt5_process_block_c(lr.px.data(), lr.w, lr.h, lr.w, out[3].px.data(), hr.w, 0, lr.h);
            // The adaptive kernel with the new table (the built-in one may be older).
            for (int r = 0; r < lr.h; r += 2) {
                const uint8_t* rows[4];
                SRRows1pt5(lr.px.data(), lr.w, lr.h, r, rows);
                uint8_t* d = out[4].row(3 * r / 2);
                SRSimpleBlock1pt5(rows[1], rows[2], 0, d, hr.w);
                for (int c = 2; c < lr.w - 2; c += 2)
                    SRAdaptiveBlock1pt5(rows, c, d + 3 * c / 2, hr.w, SRBlockThreshold1pt5(qp.data(), qpStride, r, c, 1, 0),
                                        symFlat.data(), false);
                SRSimpleBlock1pt5(rows[1], rows[2], lr.w - 2, d + 3 * (lr.w - 2) / 2, hr.w);
            }
            rows15 += "| " + base + " |";
            for (int m = 0; m < 5; ++m) {
                const double p = Psnr(hr, out[m]);
                sum15[m] += p;
                char cell[32];
                std::snprintf(cell, sizeof cell, " %.2f |", p);
                rows15 += cell;
            }
            rows15 += "\n";
        }
    }
    const double n = static_cast<double>(o.holdout.size());
    std::fprintf(rep, "| mean |");
    for (int m = 0; m < 5; ++m) std::fprintf(rep, " %.2f |", sum2[m] / n);
    std::fprintf(rep, "\n\n1.5x (3:2 area downscale, level 1), luma PSNR in dB\n\n| picture | %s | %s | %s | %s | %s |\n|---|---|---|---|---|---|\n%s| mean |",
                 names15[0], names15[1], names15[2], names15[3], names15[4], rows15.c_str());
    for (int m = 0; m < 5; ++m) std::fprintf(rep, " %.2f |", sum15[m] / n);
    std::fprintf(rep, "\n");
    std::fclose(rep);
    return 0;
}
