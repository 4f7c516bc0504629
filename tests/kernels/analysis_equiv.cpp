#include "analysis/scene_change_kernels.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

const bool kSad8x8 = rltest::RegisterKernelFamily<Sad8x8BlockFunc>(
    "Sad8x8Block",
    {Sad8x8Block_c, Sad8x8Block_sse2, Sad8x8Block_ssse3, Sad8x8Block_sse4, Sad8x8Block_avx, Sad8x8Block_avx2},
    rltest::BlockCases(8, 8, 200),
    [](Sad8x8BlockFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane cur(rng, 8, 8, c);
        rltest::KernelCase refCase = c;
        refCase.misalign = (c.misalign * 5 + 3) % 32;
        rltest::Plane ref(rng, 8, 8, refCase);
        // Every fourth case pits extremes against each other: the largest sums.
        if (c.param % 4 == 0)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    cur.row(y)[x] = (x + y + c.param) & 1 ? 255 : 0;
                    ref.row(y)[x] = 255 - cur.row(y)[x];
                }
        out.AddValue("sad", f(cur.data(), cur.stride(), ref.data(), ref.stride()));
    });

}  // namespace
