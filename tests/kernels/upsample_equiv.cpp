#include <memory>
#include <vector>

#include "kernels/harness.h"
#include "scale/upsample_kernels.h"

namespace {

using namespace Ravvel;
using rltest::KernelCase;

// Every plane case once per variant (param 0..variants-1), with its own seed.
std::vector<KernelCase> Variants(std::vector<KernelCase> base, int variants)
{
    std::vector<KernelCase> cases;
    for (const KernelCase& b : base)
        for (int v = 0; v < variants; ++v) {
            KernelCase c = b;
            c.param = v;
            c.seed = b.seed * 131u + static_cast<uint32_t>(v);
            cases.push_back(c);
        }
    return cases;
}

// One source row for a column-scaler case. Steps by variant: enlarging,
// unit, shrinking, mirrored both ways, still, tiny, nearly two columns, and
// (8, 9) far into a wide row where positions near 2^31. The row ends right
// after the last byte the reference reads, so over-reads show under ASan.
struct ColumnCase {
    ColumnCase(const KernelCase& c, int maxShrink) : rng(c.seed)
    {
        // {lo, hi (-1: maxShrink), sign}
        static const int kSteps[10][3] = {
            {16384, 65535, 1}, {65536, 65536, 1}, {65537, -1, 1},      {16384, 65535, -1}, {65537, -1, -1},
            {0, 0, 1},         {1, 4096, 1},      {130772, 131072, 1}, {16384, 65535, 1},  {65536, 65536, 1}};
        const int* r = kSteps[c.param];
        dx = r[2] * rng.Range(r[0], r[1] < 0 ? maxShrink : r[1]);
        const int64_t span = static_cast<int64_t>(dx < 0 ? -dx : dx) * (c.width - 1);
        const int64_t far = c.param >= 8 && span < (int64_t{1} << 30) ? (int64_t{32000} << 16) - span : 0;
        start = far + rng.Range(0, 40 * 65536) + (dx < 0 ? span : 0);
        const int64_t end = start + static_cast<int64_t>(dx) * (c.width - 1);
        lastIndex = static_cast<int>(((start > end ? start : end) >> 16) + 1);
        KernelCase srcCase = c;
        srcCase.stridePad = 0;
        src.reset(new rltest::Plane(rng, lastIndex + 1, 1, srcCase));
        dst.reset(new rltest::Plane(c.width, 1, c.width, (c.misalign * 7) % 32, 0x5a));
    }
    rltest::Rng rng;
    int dx;
    int64_t start;
    int lastIndex;
    std::unique_ptr<rltest::Plane> src, dst;
};

const bool kScaleFilterCols = rltest::RegisterKernelFamily<ScaleFilterColsFunc>(
    "ScaleFilterCols",
    {ScaleFilterCols_C, ScaleFilterCols_SSE2, ScaleFilterCols_ssse3, ScaleFilterCols_sse4,
     ScaleFilterCols_avx, ScaleFilterCols_AVX2},
    Variants(rltest::PlaneCases(1, 1921, 1, 1), 10),
    [](ScaleFilterColsFunc f, const KernelCase& c, rltest::Output& out) {
        ColumnCase k(c, 4 * 65536);
        f(k.dst->data(), k.src->data(), c.width, static_cast<int>(k.start), k.dx);
        out.AddPlane("dst", *k.dst);
    });

// The planned scaler against the plain reference column scaler: a plan must
// reproduce ScaleFilterCols_C exactly, also where windows slide back from
// the row's end.
const bool kPlannedHas[RL_TIER_COUNT] = {true, true, true, true, true, true};
const ScaleFilterColsPlannedFunc kPlanned[RL_TIER_COUNT] = {nullptr,
                                                            ScaleFilterColsPlanned_sse2,
                                                            ScaleFilterColsPlanned_ssse3,
                                                            ScaleFilterColsPlanned_sse4,
                                                            ScaleFilterColsPlanned_avx,
                                                            ScaleFilterColsPlanned_AVX2};

const bool kScaleFilterColsPlanned = rltest::RegisterTierFamily(
    "ScaleFilterColsPlanned", kPlannedHas, Variants(rltest::PlaneCases(8, 1921, 1, 1, 8), 10),
    [](int tier, const KernelCase& c, rltest::Output& out) {
        ColumnCase k(c, 120000);  // up to just under two columns per output still fits a window
        const int groups = c.width / 8;
        std::vector<int32_t> starts(groups);
        std::vector<uint8_t> controls(16 * groups);
        std::vector<int8_t> weights(16 * groups);
        const bool planned = BuildColumnPlan(starts.data(), controls.data(), weights.data(), groups,
                                             static_cast<int>(k.start), k.dx, k.lastIndex);
        out.AddValue("planned", planned);
        if (!planned) return;
        if (tier == RL_TIER_C)
            ScaleFilterCols_C(k.dst->data(), k.src->data(), c.width, static_cast<int>(k.start), k.dx);
        else
            kPlanned[tier](k.dst->data(), k.src->data(), starts.data(), controls.data(), weights.data(),
                           groups);
        out.AddPlane("dst", *k.dst);
    });

const bool kInterpolateRow = rltest::RegisterKernelFamily<InterpolateRowFunc>(
    "InterpolateRow",
    {InterpolateRow_C, InterpolateRow_SSE2, InterpolateRow_ssse3, InterpolateRow_sse4, InterpolateRow_avx,
     InterpolateRow_AVX2},
    Variants(rltest::PlaneCases(1, 1921, 2, 2), 16),
    [](InterpolateRowFunc f, const KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        static const int kFractions[] = {0, 1, 64, 127, 128, 129, 255, -1};
        const int fraction = kFractions[c.param % 8] < 0 ? rng.Range(1, 255) : kFractions[c.param % 8];
        rltest::Plane rows(rng, c.width, 2, c);
        rltest::Plane dst(c.width, 1, c.width, (c.misalign * 3) % 32, 0xa5);
        // Half the variants blend upwards: the lower row sits above.
        const bool up = c.param >= 8;
        f(dst.data(), up ? rows.row(1) : rows.row(0), up ? -rows.stride() : rows.stride(), c.width, fraction);
        out.AddPlane("dst", dst);
    });

}  // namespace
