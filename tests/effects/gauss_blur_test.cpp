#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/gauss_blur.h"

namespace {

using namespace Ravvel;
using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t n, uint32_t seed)
{
    Bytes v(n);
    uint32_t s = seed * 2654435761u + 3;
    for (uint8_t& b : v) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        b = static_cast<uint8_t>(s >> 24);
    }
    return v;
}

SRLPictureInfo Pic(uint32_t format, int w, int h, uint8_t* p0, int s0, uint8_t* p1 = nullptr, uint8_t* p2 = nullptr,
                   int s12 = 0)
{
    SRLPictureInfo p{};
    p.eFormat = static_cast<RL_EVideoFormat>(format);
    p.iWidth = w;
    p.iHeight = h;
    p.pData[0] = p0, p.pData[1] = p1, p.pData[2] = p2;
    p.iStride[0] = s0, p.iStride[1] = p.iStride[2] = s12;
    return p;
}

// The blur in double precision from the recursion's definition, one channel
// of a w x h plane: what the float kernels approximate.
std::vector<double> ModelBlur(const Bytes& in, int w, int h, int channels, int ch, const float* k)
{
    auto line = [&](std::vector<double> x) {
        const size_t n = x.size();
        std::vector<double> yp(n), ym(n);
        double xm1 = x[0], y1 = k[kGaussCoefP] * x[0], y2 = y1;
        for (size_t i = 0; i < n; ++i) {
            yp[i] = k[kGaussA0] * x[i] + k[kGaussA1] * xm1 - k[kGaussB1] * y1 - k[kGaussB2] * y2;
            xm1 = x[i], y2 = y1, y1 = yp[i];
        }
        double x1 = x[n - 1], x2 = x1;
        y1 = y2 = k[kGaussCoefN] * x[n - 1];
        for (size_t i = n; i-- > 0;) {
            ym[i] = k[kGaussA2] * x1 + k[kGaussA3] * x2 - k[kGaussB1] * y1 - k[kGaussB2] * y2;
            x2 = x1, x1 = x[i], y2 = y1, y1 = ym[i];
        }
        for (size_t i = 0; i < n; ++i) x[i] = yp[i] + ym[i];
        return x;
    };
    std::vector<double> img(static_cast<size_t>(w) * h);
    for (int r = 0; r < h; ++r) {
        std::vector<double> x(w);
        for (int c = 0; c < w; ++c) x[c] = in[(r * w + c) * channels + ch];
        x = line(x);
        for (int c = 0; c < w; ++c) img[r * w + c] = x[c];
    }
    for (int c = 0; c < w; ++c) {
        std::vector<double> x(h);
        for (int r = 0; r < h; ++r) x[r] = img[r * w + c];
        x = line(x);
        for (int r = 0; r < h; ++r) img[r * w + c] = x[r];
    }
    return img;
}

TEST(GaussBlurCoefficients, SigmaClampAndSteadyState)
{
    float small[kGaussCoeffCount], half[kGaussCoeffCount], nan[kGaussCoeffCount], five[kGaussCoeffCount];
    CalGaussianCoeff(0.3f, small);
    CalGaussianCoeff(0.5f, half);
    CalGaussianCoeff(std::nanf(""), nan);
    CalGaussianCoeff(5.0f, five);
    EXPECT_EQ(0, std::memcmp(small, half, sizeof small));
    EXPECT_EQ(0, std::memcmp(nan, half, sizeof nan));
    // alpha = 3.3879437 and 0.33879437: b2 = exp(-2 alpha), b1 = -2 exp(-alpha).
    EXPECT_EQ(half[kGaussB2], static_cast<float>(std::exp(-2.0 * static_cast<double>(3.3879437f))));
    EXPECT_EQ(five[kGaussB1], -2.0f * static_cast<float>(std::exp(-static_cast<double>(0.33879437f))));
    // A constant passes unchanged: the gain is one and both recursions start
    // at their steady state.
    for (float sigma : {0.5f, 1.0f, 5.0f, 20.0f}) {
        float k[kGaussCoeffCount];
        CalGaussianCoeff(sigma, k);
        EXPECT_NEAR(k[kGaussCoefP] + k[kGaussCoefN], 1.0, 1e-5) << sigma;
        EXPECT_NEAR((k[kGaussA0] + k[kGaussA1] + k[kGaussA2] + k[kGaussA3]) / (1 + k[kGaussB1] + k[kGaussB2]), 1.0,
                    1e-5)
            << sigma;
    }
}

class GaussBlurTier : public testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (GetParam() && !(VeskCPUFeatureDetect(nullptr) & TierFlag(GetParam()))) GTEST_SKIP() << "no such tier here";
    }
};

TEST_P(GaussBlurTier, ConstantPicturesStayConstant)
{
    CGaussBlur blur(TierFlagMask(GetParam()));
    for (float sigma : {0.3f, 1.0f, 5.0f, 20.0f}) {
        ASSERT_EQ(blur.Init(&sigma, false), RL_OK);
        for (uint8_t value : {0, 1, 128, 254, 255}) {
            const int w = 36, h = 20;
            Bytes grey(w * h, value), rgba(w * h * 4), out(w * h * 4, 7);
            for (int i = 0; i < w * h * 4; ++i) rgba[i] = static_cast<uint8_t>(value ^ (i % 4 ? 0 : 0x55));
            SRLPictureInfo s = Pic(RL_FORMAT_VYUY, w, h, grey.data(), w), d = Pic(RL_FORMAT_VYUY, w, h, out.data(), w);
            ASSERT_EQ(blur.Process(&s, &d, nullptr), RL_OK);
            for (int i = 0; i < w * h; ++i) {
                ASSERT_LE(out[i], value) << sigma << " " << int(value);
                ASSERT_LE(value - out[i], 1) << sigma << " " << int(value);
            }
            s = Pic(RL_FORMAT_BGRA, w, h, rgba.data(), 4 * w), d = Pic(RL_FORMAT_BGRA, w, h, out.data(), 4 * w);
            ASSERT_EQ(blur.Process(&s, &d, nullptr), RL_OK);
            for (int i = 0; i < w * h * 4; ++i) {
                ASSERT_LE(out[i], rgba[i]) << i;
                ASSERT_LE(rgba[i] - out[i], 1) << sigma << " " << i;
            }
        }
    }
}

// Random planes of awkward sizes against the double-precision model: the
// float result truncated may differ from it by one at most.
TEST_P(GaussBlurTier, FollowsTheRecursionOnBothAxes)
{
    CGaussBlur blur(TierFlagMask(GetParam()));
    for (float sigma : {0.7f, 3.0f, 12.0f}) {
        blur.SetSigma(sigma);
        for (int channels : {1, 4})
            for (int size : {0, 1, 2}) {
                static const int kW[] = {1, 21, 67}, kH[] = {5, 1, 34};
                const int w = kW[size], h = kH[size];
                const Bytes in = RandomBytes(static_cast<size_t>(w) * h * channels, w * 7 + h + channels);
                Bytes out(in.size(), 0);
                const uint32_t f = channels == 4 ? RL_FORMAT_RGBA : RL_FORMAT_VYUY;
                SRLPictureInfo s = Pic(f, w, h, const_cast<uint8_t*>(in.data()), 0),
                               d = Pic(f, w, h, out.data(), 0);
                ASSERT_EQ(blur.Process(&s, &d, nullptr), RL_OK);
                for (int ch = 0; ch < channels; ++ch) {
                    const std::vector<double> model = ModelBlur(in, w, h, channels, ch, blur.GetCoeffs());
                    for (int i = 0; i < w * h; ++i) {
                        const double m = std::fmin(255.0, std::fmax(0.0, model[i]));
                        ASSERT_NEAR(out[i * channels + ch], m, 1.05)
                            << sigma << " " << w << "x" << h << "x" << channels << " at " << i;
                    }
                }
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Tiers, GaussBlurTier, testing::Range(0, static_cast<int>(RL_TIER_COUNT)),
                         [](const testing::TestParamInfo<int>& i) { return std::string(TierName(i.param)); });

TEST(GaussBlurMethod, PlanesPitchesAndResultCodes)
{
    IRavvel* rl = nullptr;
    ASSERT_EQ(CreateRavvel(&rl), RL_OK);
    // Usable without Init; Init needs its sigma.
    EXPECT_EQ(rl->Init(RL_METHOD_GAUSS_BLUR, nullptr, false), RL_ERR_INVALID_PARAM);
    float sigma = 2.0f;
    ASSERT_EQ(rl->Init(RL_METHOD_GAUSS_BLUR, &sigma, false), RL_OK);

    // Odd width I420 with honoured pitches: chroma blurs w >> 1 = 6 columns
    // of its 7 and (h >> 1) = 4 rows of 5; the rest and the padding stay.
    const int w = 13, h = 9, ys = 16, cs = 10;
    Bytes y = RandomBytes(ys * h, 1), u = RandomBytes(cs * 5, 2), v = RandomBytes(cs * 5, 3);
    Bytes oy(y.size(), 0xee), ou(u.size(), 0xee), ov(v.size(), 0xee);
    SRLPictureInfo s = Pic(RL_FORMAT_I420, w, h, y.data(), ys, u.data(), v.data(), cs);
    SRLPictureInfo d = Pic(RL_FORMAT_YV12, w, h, oy.data(), ys, ou.data(), ov.data(), cs);
    ASSERT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, &s, &d, nullptr), RL_OK);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < cs; ++c) {
            if (r >= 4 || c >= 6) {
                EXPECT_EQ(ou[r * cs + c], 0xee) << r << "," << c;
            }
        }
    for (int r = 0; r < h; ++r)
        for (int c = w; c < ys; ++c) ASSERT_EQ(oy[r * ys + c], 0xee);
    // The same luma packed (pitch 0) gives the same samples.
    Bytes packed(w * h), opacked(w * h);
    for (int r = 0; r < h; ++r) std::memcpy(&packed[r * w], &y[r * ys], w);
    SRLPictureInfo sp = Pic(RL_FORMAT_VYUY, w, h, packed.data(), 0), dp = Pic(RL_FORMAT_VYUY, w, h, opacked.data(), 3);
    ASSERT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, &sp, &dp, nullptr), RL_OK);
    for (int r = 0; r < h; ++r) ASSERT_EQ(0, std::memcmp(&opacked[r * w], &oy[r * ys], w)) << r;

    // Refusals leave the destination alone.
    Bytes before = oy;
    EXPECT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, nullptr, &d, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, &s, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    for (uint32_t f : {26u, 29u, 1u, 20u, 30u, 3u}) {
        s.eFormat = static_cast<RL_EVideoFormat>(f);
        EXPECT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, &s, &d, nullptr), RL_ERR_UNSUPPORTED) << f;
    }
    s.eFormat = RL_FORMAT_I420;
    d.eFormat = RL_FORMAT_RGBA;
    EXPECT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, &s, &d, nullptr), RL_ERR_MISMATCH);
    d.eFormat = RL_FORMAT_I420;
    d.iWidth = w + 2;
    EXPECT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, &s, &d, nullptr), RL_ERR_MISMATCH);
    d.iWidth = w;
    d.pData[2] = nullptr;
    EXPECT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, &s, &d, nullptr), RL_ERR_INVALID_PARAM);
    s.iHeight = d.iHeight = -2;
    EXPECT_EQ(rl->Process(RL_METHOD_GAUSS_BLUR, &s, &d, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(oy, before);

    // No options at all.
    int32_t value = 0;
    EXPECT_EQ(rl->SetOption(RL_METHOD_GAUSS_BLUR, static_cast<RL_EOption>(0), nullptr), RL_OK);
    EXPECT_EQ(rl->SetOption(RL_METHOD_GAUSS_BLUR, static_cast<RL_EOption>(0), &value), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->SetOption(RL_METHOD_GAUSS_BLUR, RL_OPTION_AVERAGE_TIME, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(rl->GetOption(RL_METHOD_GAUSS_BLUR, RL_OPTION_AVERAGE_TIME, &value), RL_ERR_INVALID_PARAM);
    DestroyRavvel(rl);
}

// Pictures of alternating channel counts and growing sizes reuse or replace
// the buffers; a larger sigma set between frames takes effect at once.
TEST(GaussBlurMethod, BuffersFollowThePictures)
{
    CGaussBlur blur(VeskCPUFeatureDetect(nullptr));
    EXPECT_EQ(blur.GetSigma(), 5.0f);
    for (int round = 0; round < 2; ++round)
        for (int size : {8, 40, 24}) {
            for (int channels : {4, 1}) {
                const Bytes in = RandomBytes(static_cast<size_t>(size) * size * channels, size + channels);
                Bytes out(in.size()), again(in.size());
                const uint32_t f = channels == 4 ? RL_FORMAT_ARGB : RL_FORMAT_VYUY;
                SRLPictureInfo s = Pic(f, size, size, const_cast<uint8_t*>(in.data()), 0);
                SRLPictureInfo d = Pic(f, size, size, out.data(), 0), d2 = Pic(f, size, size, again.data(), 0);
                ASSERT_EQ(blur.Process(&s, &d, nullptr), RL_OK);
                CGaussBlur fresh(VeskCPUFeatureDetect(nullptr));
                ASSERT_EQ(fresh.Process(&s, &d2, nullptr), RL_OK);
                ASSERT_EQ(out, again) << size << "x" << channels;
            }
        }
    const Bytes in = RandomBytes(32 * 32, 9);
    Bytes a(in.size()), b(in.size());
    SRLPictureInfo s = Pic(RL_FORMAT_VYUY, 32, 32, const_cast<uint8_t*>(in.data()), 32);
    SRLPictureInfo da = Pic(RL_FORMAT_VYUY, 32, 32, a.data(), 32), db = Pic(RL_FORMAT_VYUY, 32, 32, b.data(), 32);
    blur.SetSigma(1.0f);
    ASSERT_EQ(blur.Process(&s, &da, nullptr), RL_OK);
    blur.SetSigma(20.0f);
    ASSERT_EQ(blur.Process(&s, &db, nullptr), RL_OK);
    // Wider blur, flatter picture: fewer distinct values.
    auto spread = [](const Bytes& v) {
        int lo = 255, hi = 0;
        for (uint8_t x : v) lo = std::min(lo, int(x)), hi = std::max(hi, int(x));
        return hi - lo;
    };
    EXPECT_LT(spread(b), spread(a));
}

}  // namespace
