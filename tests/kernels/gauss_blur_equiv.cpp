#include <vector>

#include "effects/gauss_blur.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

const float kSigmas[] = {0.3f, 1.0f, 5.0f, 20.0f};

// Every width from 1 to 70 and the wide ones, heights 1 to 70, each at one
// of the sigmas (param). Every fourth case is a constant picture, where the
// recursions sit at their steady state from the first sample on.
std::vector<rltest::KernelCase> BlurCases()
{
    std::vector<rltest::KernelCase> cases;
    for (rltest::KernelCase c : rltest::PlaneCases(1, 1921, 1, 70)) {
        for (int k = 0; k < 2; ++k) {
            c.param = static_cast<int>((c.seed + k) % 4);
            c.height = c.width > 300 ? 1 + (c.seed * 5 + k) % 23 : 1 + (c.seed * 13 + k * 31) % 70;
            c.seed = c.seed * 2 + k;
            cases.push_back(c);
        }
    }
    return cases;
}

struct Buffers {
    Buffers(const rltest::KernelCase& c, int channels)
        : row(static_cast<size_t>(c.width > c.height ? c.width : c.height) * kGaussRowBufferBytesPerSample /
              sizeof(float)),
          image(static_cast<size_t>(c.width) * c.height * channels)
    {
        CalGaussianCoeff(kSigmas[c.param % 4], coeffs);
    }
    std::vector<float> row, image;
    float coeffs[kGaussCoeffCount];
};

void RunWrap(GaussBlurWrapFunc f, const rltest::KernelCase& c, rltest::Output& out, int channels)
{
    rltest::Rng rng(c.seed);
    rltest::Plane src(rng, c.width * channels, c.height, c);
    if (c.seed % 4 == 0)
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width * channels; ++x) src.row(y)[x] = static_cast<uint8_t>(97 + x % channels);
    rltest::KernelCase dc = c;
    dc.stridePad = (c.stridePad * 5 + 3) % 37;
    rltest::Plane dst(rng, c.width * channels, c.height, dc);
    Buffers b(c, channels);
    f(src.data(), src.stride(), dst.data(), dst.stride(), b.row.data(), b.image.data(), c.width, c.height, b.coeffs);
    out.AddPlane("dst", dst);
}

void RunHorizontal(GaussBlurHorizontalFunc f, const rltest::KernelCase& c, rltest::Output& out, int channels)
{
    rltest::Rng rng(c.seed);
    rltest::Plane src(rng, c.width * channels, c.height, c);
    Buffers b(c, channels);
    f(src.data(), src.stride(), b.image.data(), b.row.data(), c.width, c.height, b.coeffs);
    out.AddBytes("transposed", b.image.data(), b.image.size() * sizeof(float));
}

const bool kWrap1 = rltest::RegisterKernelFamily<GaussBlurWrapFunc>(
    "gauss_blur_wrap_1", {gauss_blur_wrap_1_c, nullptr, nullptr, nullptr, nullptr, gauss_blur_wrap_1_intrin_avx2},
    BlurCases(),
    [](GaussBlurWrapFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunWrap(f, c, out, 1); });

const bool kWrap4 = rltest::RegisterKernelFamily<GaussBlurWrapFunc>(
    "gauss_blur_wrap_4",
    {gauss_blur_wrap_4_c, gauss_blur_wrap_4_intrin_sse2, gauss_blur_wrap_4_intrin_ssse3, gauss_blur_wrap_4_intrin_sse4,
     gauss_blur_wrap_4_intrin_avx, gauss_blur_wrap_4_intrin_avx2},
    BlurCases(),
    [](GaussBlurWrapFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunWrap(f, c, out, 4); });

// The float image between the passes, bit for bit.
const bool kHorizontal1 = rltest::RegisterKernelFamily<GaussBlurHorizontalFunc>(
    "gauss_blur_1_horizontal",
    {gauss_blur_1_horizontal_c, nullptr, nullptr, nullptr, nullptr, gauss_blur_1_horizontal_intrin_avx2},
    BlurCases(),
    [](GaussBlurHorizontalFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunHorizontal(f, c, out, 1); });

const bool kHorizontal4 = rltest::RegisterKernelFamily<GaussBlurHorizontalFunc>(
    "gauss_blur_4_horizontal",
    {gauss_blur_4_horizontal_c, gauss_blur_4_horizontal_intrin_sse2, gauss_blur_4_horizontal_intrin_ssse3,
     gauss_blur_4_horizontal_intrin_sse4, gauss_blur_4_horizontal_intrin_avx, gauss_blur_4_horizontal_intrin_avx2},
    BlurCases(),
    [](GaussBlurHorizontalFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunHorizontal(f, c, out, 4); });

}  // namespace
