#include "imageops/alpha_blend_kernels.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

// The blends walk planes without padding, so every plane is allocated with
// its exact row size (no stride padding) but keeps the case's misalignment.
// The output goes back into fg, as the method blends in place; every fifth
// case uses only extreme values, where a 16-bit overflow or a rounding slip
// would show.
void RunBlend(AlphaBlendFunc f, const rltest::KernelCase& c, rltest::Output& out, int bytesPerSample,
              int alphaScale)
{
    rltest::KernelCase packed = c;
    packed.stridePad = 0;
    rltest::Rng rng(c.seed);
    const int rowBytes = c.width * bytesPerSample;
    rltest::Plane fg(rng, rowBytes, c.height, packed);
    rltest::KernelCase bgCase = packed;
    bgCase.misalign = (c.misalign * 7 + 5) % 32;
    rltest::Plane bg(rng, rowBytes, c.height, bgCase);
    rltest::Plane alpha(rng, c.width * alphaScale, c.height * alphaScale, packed);
    if (c.seed % 5 == 0) {
        static const uint8_t kExtremes[] = {0, 1, 128, 254, 255};
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < rowBytes; ++x) {
                fg.row(y)[x] = kExtremes[rng.Next() % 5];
                bg.row(y)[x] = kExtremes[rng.Next() % 5];
            }
        for (int y = 0; y < alpha.rows(); ++y)
            for (int x = 0; x < alpha.rowBytes(); ++x) alpha.row(y)[x] = kExtremes[rng.Next() % 5];
    }
    f(fg.data(), bg.data(), alpha.data(), fg.data(), static_cast<uint32_t>(c.width), static_cast<uint32_t>(c.height));
    out.AddPlane("out", fg);
}

const bool kBlend1 = rltest::RegisterKernelFamily<AlphaBlendFunc>(
    "alpha_blend_1",
    {alpha_blend_1_c, alpha_blend_1_intrin_sse2, alpha_blend_1_intrin_ssse3, alpha_blend_1_intrin_sse4,
     alpha_blend_1_intrin_avx, alpha_blend_1_intrin_avx2},
    rltest::PlaneCases(1, 1921, 1, 9),
    [](AlphaBlendFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunBlend(f, c, out, 1, 1); });

const bool kBlend4 = rltest::RegisterKernelFamily<AlphaBlendFunc>(
    "alpha_blend_4",
    {alpha_blend_4_c, alpha_blend_4_intrin_sse2, alpha_blend_4_intrin_ssse3, alpha_blend_4_intrin_sse4,
     alpha_blend_4_intrin_avx, alpha_blend_4_intrin_avx2},
    rltest::PlaneCases(1, 1921, 1, 9),
    [](AlphaBlendFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunBlend(f, c, out, 4, 1); });

// Sizes are the chroma plane's; the alpha map is twice as wide and high.
const bool kBlend1S2 = rltest::RegisterKernelFamily<AlphaBlendFunc>(
    "alpha_blend_1_s2",
    {alpha_blend_1_s2_c, alpha_blend_1_s2_intrin_sse2, alpha_blend_1_s2_intrin_ssse3, alpha_blend_1_s2_intrin_sse4,
     alpha_blend_1_s2_intrin_avx, alpha_blend_1_s2_intrin_avx2},
    rltest::PlaneCases(1, 961, 1, 9),
    [](AlphaBlendFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunBlend(f, c, out, 1, 2); });

}  // namespace
