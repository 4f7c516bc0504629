#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "scale/super_resolution_kernels.h"

namespace {

using namespace Ravvel;

// Least gains over bicubic and Lanczos-3 that the test demands (dB).
constexpr double kMargin2x = 0.5;
constexpr double kMargin1pt5 = 0.5;

std::vector<uint8_t> QpList(int w, int h, uint8_t qp) { return std::vector<uint8_t>(size_t((w + 15) / 16) * ((h + 15) / 16), qp); }

std::vector<int8_t> PaddedBuiltIn()
{
    std::vector<int8_t> pad(kSRPadBytes);
    setup_coeffs_c(pad.data(), &coeffs_orig[0][0][0]);
    return pad;
}

// ---- Quality ------------------------------------------------------------------------------------

namespace quality {

struct Gray {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    int at(int y, int x) const { return px[size_t(std::min(h - 1, std::max(0, y))) * w + std::min(w - 1, std::max(0, x))]; }
};

Gray ReadPgm(const std::string& path)
{
    Gray g;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return g;
    int maxv = 0;
    if (std::fscanf(f, "P5 %d %d %d", &g.w, &g.h, &maxv) == 3 && maxv == 255) {
        std::fgetc(f);
        g.px.resize(size_t(g.w) * g.h);
        if (std::fread(g.px.data(), 1, g.px.size(), f) != g.px.size()) g.px.clear();
    }
    std::fclose(f);
    return g;
}

// Area downscale by 2:1 or 3:2 (weights 2, 1 / 1, 2 per pair of outputs).
Gray Down(const Gray& g, bool threeToTwo)
{
    Gray d;
    d.w = threeToTwo ? g.w / 3 * 2 : g.w / 2;
    d.h = threeToTwo ? g.h / 3 * 2 : g.h / 2;
    d.px.resize(size_t(d.w) * d.h);
    static const int kW[2][3] = {{2, 1, 0}, {0, 1, 2}};
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) {
            int s = 0;
            if (threeToTwo) {
                for (int i = 0; i < 3; ++i)
                    for (int j = 0; j < 3; ++j) s += kW[y & 1][i] * kW[x & 1][j] * g.at(y / 2 * 3 + i, x / 2 * 3 + j);
                d.px[size_t(y) * d.w + x] = uint8_t((s + 4) / 9);
            } else {
                s = g.at(2 * y, 2 * x) + g.at(2 * y, 2 * x + 1) + g.at(2 * y + 1, 2 * x) + g.at(2 * y + 1, 2 * x + 1);
                d.px[size_t(y) * d.w + x] = uint8_t((s + 2) >> 2);
            }
        }
    return d;
}

double Keys(double t)
{
    t = std::fabs(t);
    return t < 1 ? 1.5 * t * t * t - 2.5 * t * t + 1 : (t < 2 ? -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2 : 0);
}

double Lanczos3(double t)
{
    t = std::fabs(t);
    if (t < 1e-9) return 1;
    if (t >= 3) return 0;
    const double p = 3.14159265358979323846 * t;
    return 3 * std::sin(p) * std::sin(p / 3) / (p * p);
}

// Separable resampling with centres aligned, as the area downscale places them.
Gray Resample(const Gray& s, int dw, int dh, double (*k)(double), int support)
{
    std::vector<double> tmp(size_t(dw) * s.h);
    for (int x = 0; x < dw; ++x) {
        const double c = (x + 0.5) * s.w / dw - 0.5;
        const int b = int(std::floor(c)) - support + 1;
        double ws = 0, v[8];
        for (int i = 0; i < 2 * support; ++i) ws += v[i] = k(c - (b + i));
        for (int y = 0; y < s.h; ++y) {
            double a = 0;
            for (int i = 0; i < 2 * support; ++i) a += v[i] * s.at(y, b + i);
            tmp[size_t(y) * dw + x] = a / ws;
        }
    }
    Gray d;
    d.w = dw;
    d.h = dh;
    d.px.resize(size_t(dw) * dh);
    for (int y = 0; y < dh; ++y) {
        const double c = (y + 0.5) * s.h / dh - 0.5;
        const int b = int(std::floor(c)) - support + 1;
        double ws = 0, v[8];
        for (int i = 0; i < 2 * support; ++i) ws += v[i] = k(c - (b + i));
        for (int x = 0; x < dw; ++x) {
            double a = 0;
            for (int i = 0; i < 2 * support; ++i) a += v[i] * tmp[size_t(std::min(s.h - 1, std::max(0, b + i))) * dw + x];
            d.px[size_t(y) * dw + x] = uint8_t(std::min(255.0, std::max(0.0, std::round(a / ws))));
        }
    }
    return d;
}

double Psnr(const Gray& a, const Gray& b)
{
    double se = 0;
    for (int y = 0; y < a.h; ++y)
        for (int x = 0; x < a.w; ++x) {
            const double d = a.at(y, x) - b.at(y, x);
            se += d * d;
        }
    return 10 * std::log10(255.0 * 255.0 * a.w * a.h / std::max(se, 1e-9));
}

Gray Crop(const Gray& g, int m)
{
    Gray c;
    c.w = g.w / m * m;
    c.h = g.h / m * m;
    for (int y = 0; y < c.h; ++y) c.px.insert(c.px.end(), g.px.begin() + size_t(y) * g.w, g.px.begin() + size_t(y) * g.w + c.w);
    return c;
}

}  // namespace quality

// A small synthetic picture drawn for this test (soft gradients,
// anti-aliased shapes, strokes and a fine texture) keeps the trained tables
// honest: enlarged from its 2:1 and 3:2 area reductions, the adaptive filters must beat bicubic and Lanczos-3
// interpolation, and the enhanced coefficients must beat the adaptive table.
TEST(SRQuality, TrainedFiltersBeatInterpolation)
{
    using namespace quality;
    const Gray hr0 = ReadPgm(std::string(RL_SR_TEST_SOURCE_DIR) + "/tests/scale/data/sr_shapes.pgm");
    ASSERT_FALSE(hr0.px.empty());
    {
        const Gray hr = Crop(hr0, 4), lr = Down(hr, false);
        Gray adaptive = hr, enhanced = hr;
        const std::vector<uint8_t> qp = QpList(lr.w, lr.h, 24);
        const std::vector<int8_t> pad = PaddedBuiltIn();
        brillane_2x2_process_block_c(lr.px.data(), lr.w, lr.h, lr.w, adaptive.px.data(), hr.w, 0, lr.h, qp.data(),
                                     (lr.w + 15) / 16, nullptr, 0, 1, 0, pad.data());
        std::vector<double> coeffs(size_t(kSREnhClasses) * 4 * kSREnhTaps, 0.0);
        std::vector<uint8_t> valid(kSREnhClasses, 0);
        ASSERT_EQ(setup_enhSR_coeffs_c((std::string(RL_SR_TEST_SOURCE_DIR) + "/data/superResCoeffs.txt").c_str(),
                                       coeffs.data(), reinterpret_cast<bool*>(valid.data()), nullptr),
                  0);
        enhSR_2x2_process_block_c(lr.px.data(), lr.w, lr.h, lr.w, enhanced.px.data(), hr.w, 0, lr.h, coeffs.data(),
                                  reinterpret_cast<bool*>(valid.data()));
        const double bicubic = Psnr(hr, Resample(lr, hr.w, hr.h, Keys, 2));
        const double lanczos = Psnr(hr, Resample(lr, hr.w, hr.h, Lanczos3, 3));
        const double a = Psnr(hr, adaptive), e = Psnr(hr, enhanced);
        std::printf("2x: bicubic %.2f, Lanczos-3 %.2f, adaptive %.2f, enhanced %.2f dB\n", bicubic, lanczos, a, e);
        EXPECT_GT(a, bicubic + kMargin2x);
        EXPECT_GT(a, lanczos + kMargin2x);
        EXPECT_GT(e, a);
    }
    {
        const Gray hr = Crop(hr0, 12), lr = Down(hr, true);
        Gray adaptive = hr;
        const std::vector<uint8_t> qp = QpList(lr.w, lr.h, 24);
        brillane_1pt5_process_block_c(lr.px.data(), lr.w, lr.h, lr.w, adaptive.px.data(), hr.w, 0, lr.h, qp.data(),
                                      (lr.w + 15) / 16, 1, 0);
        const double bicubic = Psnr(hr, Resample(lr, hr.w, hr.h, Keys, 2));
        const double lanczos = Psnr(hr, Resample(lr, hr.w, hr.h, Lanczos3, 3));
        const double a = Psnr(hr, adaptive);
        std::printf("1.5x: bicubic %.2f, Lanczos-3 %.2f, adaptive %.2f dB\n", bicubic, lanczos, a);
        EXPECT_GT(a, bicubic + kMargin1pt5);
        EXPECT_GT(a, lanczos + kMargin1pt5);
    }
}

}  // namespace
