#include <vector>

#include "effects/edge_kernels.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

// Every width from 1 to 70 and the wide ones, each height 1 to 70 somewhere,
// with and without thinning (param bit 0). Param bit 1 turns the picture into
// blocks of 0 and 255, where magnitudes saturate and neighbours tie.
std::vector<rltest::KernelCase> SobelCases()
{
    std::vector<rltest::KernelCase> cases;
    for (rltest::KernelCase c : rltest::PlaneCases(1, 1921, 1, 70)) {
        for (int param = 0; param < 4; ++param) {
            c.param = param;
            c.height = c.width > 300 ? 3 + (c.seed + param) % 17 : 1 + (c.seed * 13 + param * 29) % 70;
            c.seed = c.seed * 4 + param;
            cases.push_back(c);
        }
    }
    return cases;
}

const bool kSobel = rltest::RegisterKernelFamily<SobelLumaFilterFunc>(
    "SobelLumaFilter8",
    {SobelLumaFilter8_c, SobelLumaFilter8_sse2, SobelLumaFilter8_ssse3, SobelLumaFilter8_sse4, SobelLumaFilter8_avx,
     SobelLumaFilter8_avx2},
    SobelCases(), [](SobelLumaFilterFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane src(rng, c.width, c.height, c);
        rltest::KernelCase dc = c;
        dc.stridePad = (c.stridePad * 3 + 5) % 40;  // the destination has its own pitch
        rltest::Plane dst(rng, c.width, c.height, dc);
        if (c.param & 2) {
            const int block = 1 + static_cast<int>(c.seed % 5);
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    src.row(y)[x] = ((x / block + y / (block + 1) + (rng.Next() % 7 == 0)) & 1) ? 255 : 0;
        }
        std::vector<uint8_t> work;
        if (c.param & 1) work.assign(static_cast<size_t>(EdgeWorkBytes(c.width, c.height)), 0x5a);
        f(src.data(), dst.data(), c.width, c.height, src.stride(), dst.stride(), work.empty() ? nullptr : work.data());
        out.AddPlane("dst", dst);
    });

}  // namespace
