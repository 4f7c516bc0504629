#include <cstdlib>

#include "analysis/flicker_kernels.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

// Each plane case four times: param picks the content and, for odd values,
// a bottom-up walk (negative stride from the last row).
std::vector<rltest::KernelCase> FlickerPlaneCases()
{
    std::vector<rltest::KernelCase> cases;
    for (const rltest::KernelCase& base : rltest::PlaneCases(1, 1921, 1, 9))
        for (int param = 0; param < 4; ++param) {
            rltest::KernelCase c = base;
            c.param = param;
            c.seed = base.seed * 4 + static_cast<uint32_t>(param);
            cases.push_back(c);
        }
    return cases;
}

const uint8_t* RowZero(const rltest::Plane& p, bool bottomUp)
{
    return bottomUp ? p.data() + static_cast<ptrdiff_t>(p.stride()) * (p.rows() - 1) : p.data();
}

const bool kHistogram = rltest::RegisterKernelFamily<FlickerHistogramFunc>(
    "histogram", {histogram_c, histogram_sse2, histogram_ssse3, histogram_sse4, histogram_avx, histogram_avx2},
    FlickerPlaneCases(), [](FlickerHistogramFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane src(rng, c.width, c.height, c);
        // Few distinct values pile samples into a handful of bins.
        if (c.param >= 2)
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x) src.row(y)[x] = static_cast<uint8_t>(src.row(y)[x] & 0x83);
        const bool bottomUp = c.param & 1;
        float hist[256], count = -1.0f;
        for (float& h : hist) h = -1.0f;  // every bin must be written
        f(RowZero(src, bottomUp), bottomUp ? -src.stride() : src.stride(), c.width, c.height, hist, &count);
        out.AddBytes("hist", hist, sizeof hist);
        out.AddValue("count", count);
    });

// Histogram-like bins (whole counts) and arbitrary fractions, with counts
// that do and do not divide evenly.
const bool kMse = rltest::RegisterKernelFamily<FlickerMseFunc>(
    "mse", {mse_c, mse_sse2, mse_ssse3, mse_sse4, mse_avx, mse_avx2}, rltest::BlockCases(1, 1, 300),
    [](FlickerMseFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        float a[256], b[256];
        const bool whole = c.param % 3 != 0;
        for (int i = 0; i < 256; ++i) {
            if (whole) {
                a[i] = static_cast<float>(rng.Next() % (c.param % 5 == 1 ? 70000u : 900u));
                b[i] = static_cast<float>(rng.Next() % (c.param % 5 == 1 ? 70000u : 900u));
            } else {
                a[i] = static_cast<float>(rng.Next()) / 65536.0f;
                b[i] = static_cast<float>(rng.Next() >> 12) * 0.37f;
            }
        }
        const float count = static_cast<float>(1 + rng.Next() % 100000);
        out.AddValue("mse", f(a, b, count));
    });

// The budget lands below, on and above the true count, so both outcomes and
// the early stop are covered; thresholds include 0, 255 and values whose
// low byte is what counts.
const bool kDiff = rltest::RegisterKernelFamily<PixelWiseDiffExceedFunc>(
    "pixel_wise_diff_exceed",
    {pixel_wise_diff_exceed_c, pixel_wise_diff_exceed_sse2, pixel_wise_diff_exceed_ssse3, pixel_wise_diff_exceed_sse4,
     pixel_wise_diff_exceed_avx, pixel_wise_diff_exceed_avx2},
    FlickerPlaneCases(), [](PixelWiseDiffExceedFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane a(rng, c.width, c.height, c);
        // Both planes share a's stride, as the kernel takes one.
        rltest::Plane b(c.width, c.height, a.stride(), (c.misalign * 7 + 5) % 32, 0);
        static const int32_t kThresholds[] = {0, 3, 7, 128, 254, 255, 0x103, -1};
        const int32_t threshold = kThresholds[rng.Next() % 8];
        const int spread = 1 + static_cast<int>(rng.Next() % 255);
        int count = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                int v = a.row(y)[x] + static_cast<int>(rng.Next() % (2 * spread + 1)) - spread;
                v = v < 0 ? 0 : v > 255 ? 255 : v;
                b.row(y)[x] = static_cast<uint8_t>(v);
                count += std::abs(v - a.row(y)[x]) > (threshold & 0xff);
            }
        const uint32_t budgets[] = {0u, 1u, static_cast<uint32_t>(count), static_cast<uint32_t>(count) + 1u,
                                    count ? static_cast<uint32_t>(count) - 1u : 5u, 0xFFFFFFFFu};
        const bool bottomUp = c.param & 1;
        const int32_t stride = bottomUp ? -a.stride() : a.stride();
        for (uint32_t budget : budgets)
            out.AddValue("left", f(RowZero(a, bottomUp), RowZero(b, bottomUp), stride, c.width, c.height,
                                   threshold, budget));
    });

}  // namespace
