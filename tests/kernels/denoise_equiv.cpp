#include <vector>

#include "enhance/denoise_kernels.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

// Content that exercises every weight: near values (small distances), a
// mid range around the weight cut-offs, and extremes.
void FillNeighbourhood(rltest::Rng& rng, rltest::Plane& p, int mode)
{
    const int base = rng.Range(0, 255);
    for (int y = 0; y < p.rows(); ++y)
        for (int x = 0; x < p.rowBytes(); ++x) {
            int v;
            switch (mode % 4) {
            case 0: v = rng.Range(0, 255); break;
            case 1: v = base + rng.Range(-40, 40); break;
            case 2: v = base + rng.Range(-130, 130); break;
            default: v = rng.Next() & 1 ? 255 : rng.Range(0, 3); break;
            }
            p.row(y)[x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
}

// A run of n pixels in the middle row of a 3-row plane with one pixel on
// either side: exactly what the filter may read. The whole plane is
// compared, so a write beyond the run shows.
void RunRowFilter(DenoiseRowFunc f, int n, const rltest::KernelCase& c, rltest::Output& out)
{
    rltest::Rng rng(c.seed);
    rltest::Plane p(rng, n + 2, 3, c);
    FillNeighbourhood(rng, p, c.param);
    f(p.row(1) + 1, p.stride());
    out.AddPlane("plane", p);
}

#define RL_ROW_FAMILY(var, name, n)                                                                          \
    const bool var = rltest::RegisterKernelFamily<DenoiseRowFunc>(                                            \
        #name, {name##_c, name##_sse2, name##_ssse3, name##_sse4, name##_avx, name##_avx2},                  \
        rltest::BlockCases(n + 2, 3, 240),                                                                    \
        [](DenoiseRowFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunRowFilter(f, n, c, out); })

RL_ROW_FAMILY(kBilateral8, BilateralLumaFilter8, 8);
RL_ROW_FAMILY(kBilateral16, BilateralLumaFilter16, 16);
RL_ROW_FAMILY(kBilateral8Ex, BilateralLumaFilter8Ex, 8);
RL_ROW_FAMILY(kBilateral16Ex, BilateralLumaFilter16Ex, 16);

#undef RL_ROW_FAMILY

// Block sizes 4 to 32 (the method uses 8 and 16) and every table entry.
const bool kTemporalAverage = rltest::RegisterKernelFamily<TemporalAverageFunc>(
    "TemporalAverageBlock",
    {TemporalAverageBlock_c, TemporalAverageBlock_sse2, TemporalAverageBlock_ssse3, TemporalAverageBlock_sse4,
     TemporalAverageBlock_avx, TemporalAverageBlock_avx2},
    rltest::BlockCases(32, 32, 128),
    [](TemporalAverageFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        const int log2 = 2 + c.param % 4;
        rltest::Plane cur(rng, 32, 32, c);
        rltest::Plane prev(32, 32, cur.stride(), (c.misalign * 3 + 1) % 32, 0);
        for (int y = 0; y < 32; ++y) rng.Fill(prev.row(y), 32);
        if (c.param % 5 == 4)
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) cur.row(y)[x] = 255, prev.row(y)[x] = (x + y) & 1 ? 255 : 0;
        f(prev.data(), cur.data(), cur.stride(), log2, (c.param / 4) % 16);
        out.AddPlane("cur", cur);
        out.AddPlane("prev", prev);
    });

// Reference SAD of the row-pair averages, to aim thresholds at the band
// where the transform decides.
uint32_t PairAverageSad(rltest::Plane& a, rltest::Plane& b)
{
    uint32_t sad = 0;
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 8; ++x) {
            const int va = (a.row(2 * r)[x] + a.row(2 * r + 1)[x] + 1) >> 1;
            const int vb = (b.row(2 * r)[x] + b.row(2 * r + 1)[x] + 1) >> 1;
            sad += static_cast<uint32_t>(va > vb ? va - vb : vb - va);
        }
    return sad;
}

const bool kSkipCheck = rltest::RegisterKernelFamily<TemporalSkipCheckFunc>(
    "TemporalSkipCheck8x8",
    {TemporalSkipCheck8x8_c, TemporalSkipCheck8x8_sse2, TemporalSkipCheck8x8_ssse3, TemporalSkipCheck8x8_sse4,
     TemporalSkipCheck8x8_avx, TemporalSkipCheck8x8_avx2},
    rltest::BlockCases(8, 8, 600),
    [](TemporalSkipCheckFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane prev(rng, 8, 8, c);
        rltest::Plane& cref = prev;
        rltest::Plane cur(8, 8, prev.stride(), (c.misalign + 5) % 32, 0);
        const int amp = c.param % 3 == 0 ? 255 : rng.Range(0, 24);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const int v = cref.row(y)[x] + (amp == 255 ? rng.Range(-255, 255) : rng.Range(-amp, amp));
                cur.row(y)[x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        const uint32_t sad = PairAverageSad(prev, cur);
        // Most cases sit in the band; some anywhere, some with negative thresholds.
        int thrAc = c.param % 4 ? static_cast<int>(sad) * 3 + rng.Range(-4, 8) : rng.Range(-50, 2000);
        if (thrAc > 32767) thrAc = 32767;
        const int16_t thrDc = static_cast<int16_t>(rng.Range(-10, 800));
        uint32_t ref = c.param % 7 == 0 ? sad : static_cast<uint32_t>(rng.Range(0, 20));
        uint32_t sadOut = 0xdeadbeef;
        const bool alike = f(prev.data(), cur.data(), prev.stride(), &ref, &sadOut, static_cast<int16_t>(thrAc), thrDc);
        out.AddValue("alike", alike);
        out.AddValue("sadOut", sadOut);
        out.AddValue("sadRef", ref);
    });

std::vector<rltest::KernelCase> NoiseCases()
{
    std::vector<rltest::KernelCase> cases;
    const int widths[] = {1, 8, 9, 10, 13, 14, 15, 16, 19, 23, 24, 31, 40, 64, 99, 160, 321, 641};
    const int heights[] = {1, 4, 5, 6, 7, 9, 10, 12, 17, 30, 45};
    uint32_t seed = 1;
    for (int w : widths)
        for (int h : heights) {
            if (w * h > 200000) continue;
            rltest::KernelCase c;
            c.width = w;
            c.height = h;
            c.misalign = static_cast<int>(seed % 17);
            c.stridePad = static_cast<int>((seed * 5) % 23);
            c.param = static_cast<int>(seed);
            c.seed = seed++;
            cases.push_back(c);
        }
    return cases;
}

// Both frames share one stride, as the method's working picture and its
// previous-frame store do. Frames are a shaded picture with edges plus
// noise of varying strength, so isotropic, structured and uniform blocks occur.
const bool kNoise = rltest::RegisterKernelFamily<NoiseEstimationFunc>(
    "NoiseEstimation8",
    {NoiseEstimation8_c, NoiseEstimation8_sse2, NoiseEstimation8_ssse3, NoiseEstimation8_sse4, NoiseEstimation8_avx,
     NoiseEstimation8_avx2},
    NoiseCases(),
    [](NoiseEstimationFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane cur(rng, c.width, c.height, c);
        rltest::Plane prev(c.width, c.height, cur.stride(), (c.misalign * 3 + 2) % 32, 0);
        const int amp = c.param % 5 == 0 ? 0 : (c.param % 5) * 6;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                int v = 60 + x + ((x / 7 + y / 5) % 2) * 80;
                if (c.param % 9 == 0) v = rng.Range(0, 255);
                prev.row(y)[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
                const int n = amp ? v + rng.Range(-amp, amp) : v;
                cur.row(y)[x] = static_cast<uint8_t>(n < 0 ? 0 : n > 255 ? 255 : n);
            }
        const size_t entries = static_cast<size_t>(c.width) * c.height / 25 + 1;
        std::vector<uint32_t> weights(entries, 7), variances(entries, 7);
        out.AddValue("estimate", f(cur.data(), prev.data(), c.width, c.height, cur.stride(), weights.data(),
                                   variances.data()));
        out.AddBytes("weights", weights.data(), weights.size() * 4);
        out.AddBytes("variances", variances.data(), variances.size() * 4);
    });

}  // namespace
