#include <memory>
#include <vector>

#include "kernels/harness.h"
#include "scale/super_resolution_kernels.h"

namespace {

using namespace Ravvel;
using rltest::KernelCase;

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

// Pictures with flat, gently varying and busy tiles, so that smooth,
// classified, simple and skipped blocks all occur.
void FillTiles(rltest::Rng& rng, rltest::Plane& p)
{
    const int amp[5] = {0, 3, 12, 60, 255};
    for (int ty = 0; ty < p.rows(); ty += 6)
        for (int tx = 0; tx < p.rowBytes(); tx += 10) {
            const int a = amp[rng.Range(0, 4)], base = rng.Range(0, 255 - a);
            for (int y = ty; y < ty + 6 && y < p.rows(); ++y)
                for (int x = tx; x < tx + 10 && x < p.rowBytes(); ++x) p.row(y)[x] = static_cast<uint8_t>(base + rng.Range(0, a));
        }
}

std::vector<uint8_t> RandomQp(rltest::Rng& rng, int w, int h, int hi)
{
    std::vector<uint8_t> qp(static_cast<size_t>((w + 15) / 16) * ((h + 15) / 16));
    for (uint8_t& q : qp) q = static_cast<uint8_t>(rng.Range(0, hi));
    return qp;
}

// The built-in padded table, or random taps within the documented +-64.
std::vector<int8_t> Taps(rltest::Rng& rng, bool random)
{
    std::vector<int8_t> pad(kSRPadBytes);
    setup_coeffs_c(pad.data(), &coeffs_orig[0][0][0]);
    if (random)
        for (size_t i = 0; i < pad.size(); ++i)
            if (i % 4 != 3) pad[i] = static_cast<int8_t>(rng.Range(-64, 64));
    return pad;
}

// The default list (24 everywhere) with a few blocks changed: runs of equal
// quantisers along a row, as encoders give them.
std::vector<uint8_t> MostlyUniformQp(rltest::Rng& rng, int w, int h)
{
    std::vector<uint8_t> qp(static_cast<size_t>((w + 15) / 16) * ((h + 15) / 16), 24);
    for (uint8_t& q : qp)
        if (rng.Range(0, 9) == 0) q = static_cast<uint8_t>(rng.Range(0, 51));
    return qp;
}

// Variants: 0 luma, 1 chroma (scale 4), 2 previous frame partly equal,
// 3 caller quantisers up to 60, 4 random taps, 5 previous frame equal,
// 6 mostly uniform quantisers, 7 chroma with previous frame partly equal and
// mostly uniform quantisers.
const bool kAdaptive2x = rltest::RegisterKernelFamily<SRAdaptive2xFunc>(
    "brillane_2x2_process_block",
    {brillane_2x2_process_block_c, brillane_2x2_process_block_sse2, brillane_2x2_process_block_ssse3,
     brillane_2x2_process_block_sse4, brillane_2x2_process_block_avx, brillane_2x2_process_block_avx2},
    Variants(rltest::PlaneCases(2, 1280, 2, 14, 2), 8),
    [](SRAdaptive2xFunc f, const KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane src(rng, c.width, c.height, c);
        FillTiles(rng, src);
        std::unique_ptr<rltest::Plane> prev;
        if (c.param == 2 || c.param == 5 || c.param == 7) {
            KernelCase pc = c;
            pc.misalign = (c.misalign + 5) % 32;
            prev.reset(new rltest::Plane(rng, c.width, c.height, pc));
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width; ++x)
                    prev->row(y)[x] = (c.param == 5 || rng.Range(0, 40) != 0) ? src.row(y)[x] : static_cast<uint8_t>(src.row(y)[x] + 1);
        }
        rltest::Plane dst(2 * c.width, 2 * c.height, 2 * c.width + c.stridePad, (c.misalign * 3) % 32, 0x5c);
        const bool chroma = c.param == 1 || c.param == 7;
        // Chroma planes read the quantisers of their luma picture, twice as large.
        const int lw = chroma ? 2 * c.width : c.width, lh = chroma ? 2 * c.height : c.height;
        const std::vector<uint8_t> qp =
            c.param >= 6 ? MostlyUniformQp(rng, lw, lh) : RandomQp(rng, lw, lh, c.param == 3 ? 60 : 30);
        const std::vector<int8_t> taps = Taps(rng, c.param == 4);
        f(src.data(), c.width, c.height, src.stride(), dst.data(), dst.stride(), 0, c.height, qp.data(),
          (lw + 15) / 16, prev ? prev->data() : nullptr, prev ? prev->stride() : 0, chroma ? 4 : 1, chroma ? 1 : 0,
          taps.data());
        out.AddPlane("dst", dst);
    });

// Variants: level 0..3 with luma, and level 4 with chroma, quantisers up to
// 60; 5 luma at level 1 and 6 chroma at level 4 with mostly uniform quantisers.
const bool kAdaptive1pt5 = rltest::RegisterKernelFamily<SRAdaptive1pt5Func>(
    "brillane_1pt5_process_block",
    {brillane_1pt5_process_block_c, brillane_1pt5_process_block_sse2, brillane_1pt5_process_block_ssse3,
     brillane_1pt5_process_block_sse4, brillane_1pt5_process_block_avx, brillane_1pt5_process_block_avx2},
    Variants(rltest::PlaneCases(2, 1280, 2, 14, 2), 7),
    [](SRAdaptive1pt5Func f, const KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane src(rng, c.width, c.height, c);
        FillTiles(rng, src);
        const int dw = 3 * c.width / 2, dh = 3 * c.height / 2;
        rltest::Plane dst(dw, dh, dw + c.stridePad, (c.misalign * 3) % 32, 0x5c);
        // Chroma planes read the quantisers of their luma picture, twice as large.
        const bool chroma = c.param == 4 || c.param == 6;
        const int level = c.param == 5 ? 1 : (c.param == 6 ? 4 : c.param);
        const int lw = chroma ? 2 * c.width : c.width, lh = chroma ? 2 * c.height : c.height;
        const std::vector<uint8_t> qp = c.param >= 5 ? MostlyUniformQp(rng, lw, lh) : RandomQp(rng, lw, lh, 60);
        f(src.data(), c.width, c.height, src.stride(), dst.data(), dst.stride(), 0, c.height, qp.data(),
          (lw + 15) / 16, level, chroma ? 1 : 0);
        out.AddPlane("dst", dst);
    });

const bool kSimple1pt5 = rltest::RegisterKernelFamily<SRSimple1pt5Func>(
    "simple_scale_1pt5_process_block",
    {simple_scale_1pt5_process_block_c, simple_scale_1pt5_process_block_sse2, simple_scale_1pt5_process_block_ssse3,
     simple_scale_1pt5_process_block_sse4, simple_scale_1pt5_process_block_avx, simple_scale_1pt5_process_block_avx2},
    rltest::PlaneCases(2, 1921, 2, 14, 2),
    [](SRSimple1pt5Func f, const KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane src(rng, c.width, c.height, c);
        const int dw = 3 * c.width / 2, dh = 3 * c.height / 2;
        rltest::Plane dst(dw, dh, dw + c.stridePad, (c.misalign * 3) % 32, 0x5c);
        f(src.data(), c.width, c.height, src.stride(), dst.data(), dst.stride(), 0, c.height);
        out.AddPlane("dst", dst);
    });

const bool kSetupCoeffs = rltest::RegisterKernelFamily<SRSetupCoeffsFunc>(
    "setup_coeffs",
    {setup_coeffs_c, setup_coeffs_sse2, setup_coeffs_ssse3, setup_coeffs_sse4, setup_coeffs_avx, setup_coeffs_avx2},
    rltest::BlockCases(kSRClasses * kSRPhases * kSROrigTaps, 1, 8),
    [](SRSetupCoeffsFunc f, const KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane orig(rng, c.width, 1, c);  // ends right after the table: over-reads show
        rltest::Plane pad(kSRPadBytes, 1, kSRPadBytes, c.misalign, 0x77);
        f(reinterpret_cast<int8_t*>(pad.data()), reinterpret_cast<const int8_t*>(orig.data()));
        out.AddPlane("pad", pad);
    });

}  // namespace
