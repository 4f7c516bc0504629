#include <vector>

#include "kernels/harness.h"
#include "scale/downsample_kernels.h"
#include "scale/multitap.h"

namespace {

using namespace Ravvel;
using rltest::KernelCase;
using rltest::Output;
using rltest::Plane;
using rltest::Rng;

// Cases with a destination size: param encodes the shrink in percent (51..99)
// or, for the special ratios, an exact pair from kPairs.
struct SizePair {
    int sw, sh, dw, dh;
};
const SizePair kPairs[] = {
    {1000, 24, 900, 18}, {200, 30, 180, 27}, {200, 40, 160, 32}, {210, 40, 147, 28}, {120, 30, 72, 18},
    {96, 36, 64, 24},    {64, 48, 48, 36},   {1920, 12, 1280, 8}, {640, 8, 600, 6},  {100, 40, 34, 20},
    {66, 20, 17, 5},     {48, 48, 16, 16},   {18, 4, 16, 2},      {400, 6, 20, 3},   {37, 9, 1, 1},
    {20, 10, 2, 9},      {33, 17, 3, 2},     {1366, 6, 1365, 5},
    // Past the column tables' chunk and cap; steps just under and over 2.
    {2400, 6, 2200, 5},  {4100, 4, 2100, 3}, {1000, 8, 480, 4},
    // Vertical fractions repeating every 2 rows across several column chunks,
    // and every 32 rows.
    {1300, 12, 866, 8},  {300, 135, 213, 96},
    // Eight outputs wider than one 16-byte window: a window per four outputs.
    {1920, 9, 640, 3},   {6000, 6, 1500, 4},  {1000, 7, 230, 5},
};

std::vector<KernelCase> GeneralCases()
{
    std::vector<KernelCase> cases;
    uint32_t seed = 500;
    for (size_t i = 0; i < sizeof kPairs / sizeof kPairs[0]; ++i)
        for (int v = 0; v < 3; ++v) {
            KernelCase c;
            c.width = kPairs[i].sw;
            c.height = kPairs[i].sh;
            c.param = static_cast<int>(i);
            c.misalign = (v * 7 + static_cast<int>(i)) % 17;
            c.stridePad = v * 5;
            c.seed = seed++;
            cases.push_back(c);
        }
    // Random shrinks over many widths.
    for (const KernelCase& base : rltest::PlaneCases(4, 300, 4, 40)) {
        KernelCase c = base;
        c.param = -1 - static_cast<int>(c.seed % 60);  // negative: shrink to (40 + n) percent
        cases.push_back(c);
    }
    return cases;
}

SizePair Sizes(const KernelCase& c)
{
    if (c.param >= 0) return kPairs[c.param];
    const int pct = 40 - (c.param + 1);
    int dw = c.width * pct / 100, dh = c.height * pct / 100;
    if (dw < 1) dw = 1;
    if (dh < 1) dh = 1;
    if (dw >= c.width) dw = c.width - 1 > 0 ? c.width - 1 : 1;
    if (dh >= c.height) dh = c.height - 1 > 0 ? c.height - 1 : 1;
    return {c.width, c.height, dw, dh};
}

// Destination planes are pre-filled so that writes past the row show as differences.
void RunDyadic(DyadicDownsampleFunc f, const KernelCase& c, Output& out, int outW, int outH, int thirdHeight)
{
    Rng rng(c.seed);
    Plane src(rng, c.width, c.height, c);
    KernelCase dc = c;
    dc.misalign = (c.misalign * 3) % 32;
    Plane dst(rng, outW > 0 ? outW : 1, outH > 0 ? outH : 1, dc);
    f(dst.data(), dst.stride(), src.data(), src.stride(), c.width, thirdHeight >= 0 ? thirdHeight : c.height);
    out.AddPlane("dst", dst);
}

const bool kHalve32 = rltest::RegisterKernelFamily<DyadicDownsampleFunc>(
    "DyadicHalveWidthx32",
    {DyadicBilinearDownsampler_c, RLDyadicBilinearDownsamplerWidthx32_sse, RLDyadicBilinearDownsamplerWidthx32_ssse3,
     nullptr, nullptr, nullptr},
    rltest::PlaneCases(2, 400, 2, 24, 2), [](DyadicDownsampleFunc f, const KernelCase& c, Output& out) {
        RunDyadic(f, c, out, c.width / 2, c.height / 2, -1);
    });

const bool kHalve16 = rltest::RegisterKernelFamily<DyadicDownsampleFunc>(
    "DyadicHalveWidthx16",
    {DyadicBilinearDownsampler_c, RLDyadicBilinearDownsamplerWidthx16_sse, RLDyadicBilinearDownsamplerWidthx16_ssse3,
     nullptr, nullptr, nullptr},
    rltest::PlaneCases(2, 400, 2, 24, 2), [](DyadicDownsampleFunc f, const KernelCase& c, Output& out) {
        RunDyadic(f, c, out, c.width / 2, c.height / 2, -1);
    });

const bool kHalve8 = rltest::RegisterKernelFamily<DyadicDownsampleFunc>(
    "DyadicHalveWidthx8",
    {DyadicBilinearDownsampler_c, RLDyadicBilinearDownsamplerWidthx8_sse, nullptr, nullptr, nullptr, nullptr},
    rltest::PlaneCases(2, 200, 2, 24, 2), [](DyadicDownsampleFunc f, const KernelCase& c, Output& out) {
        RunDyadic(f, c, out, c.width / 2, c.height / 2, -1);
    });

// The SSE column sits in the SSE2 slot, the SSE4.1 column in the SSE4 slot.
const bool kQuarter = rltest::RegisterKernelFamily<DyadicDownsampleFunc>(
    "DyadicQuarter",
    {DyadicBilinearQuarterDownsampler_c, RLDyadicBilinearQuarterDownsampler_sse,
     RLDyadicBilinearQuarterDownsampler_ssse3, RLDyadicBilinearQuarterDownsampler_sse4, nullptr, nullptr},
    rltest::PlaneCases(4, 600, 4, 40), [](DyadicDownsampleFunc f, const KernelCase& c, Output& out) {
        RunDyadic(f, c, out, c.width / 4, c.height / 4, -1);
    });

const bool kThird = rltest::RegisterKernelFamily<DyadicDownsampleFunc>(
    "DyadicOneThird",
    {DyadicBilinearOneThirdDownsampler_c, nullptr, RLDyadicBilinearOneThirdDownsampler_ssse3,
     RLDyadicBilinearOneThirdDownsampler_sse4, nullptr, nullptr},
    rltest::PlaneCases(3, 600, 5, 40), [](DyadicDownsampleFunc f, const KernelCase& c, Output& out) {
        const int outH = (c.height - 2) / 3 + 1;  // rows 3y and 3y + 1 must exist
        RunDyadic(f, c, out, c.width / 3, outH, outH);
    });

void RunGeneral(GeneralDownsampleFunc f, const KernelCase& c, Output& out, bool pairs)
{
    SizePair s = Sizes(c);
    if (pairs) {  // interleaved pairs: widths in bytes, even
        s.sw &= ~1;
        s.dw &= ~1;
        if (s.sw < 4) s.sw = 4;
        if (s.dw < 2) s.dw = 2;
        if (s.dw >= s.sw) s.dw = s.sw - 2;
    }
    Rng rng(c.seed);
    Plane src(rng, s.sw, s.sh, c);
    KernelCase dc = c;
    dc.misalign = (c.misalign * 5 + 1) % 32;
    Plane dst(rng, s.dw, s.dh, dc);
    f(dst.data(), dst.stride(), s.dw, s.dh, src.data(), src.stride(), s.sw, s.sh);
    out.AddPlane("dst", dst);
}

const bool kGeneralFast = rltest::RegisterKernelFamily<GeneralDownsampleFunc>(
    "GeneralBilinearFast",
    {VeskGeneralBilinearFastDownsampler_c, GeneralBilinearFastDownsamplerWrap_sse2,
     GeneralBilinearFastDownsamplerWrap_ssse3, nullptr, nullptr, GeneralBilinearFastDownsamplerWrap_avx2},
    GeneralCases(),
    [](GeneralDownsampleFunc f, const KernelCase& c, Output& out) { RunGeneral(f, c, out, false); });

const bool kGeneralAccurate = rltest::RegisterKernelFamily<GeneralDownsampleFunc>(
    "GeneralBilinearAccurate",
    {VeskGeneralBilinearAccurateDownsampler_c, GeneralBilinearAccurateDownsamplerWrap_sse2,
     nullptr, GeneralBilinearAccurateDownsamplerWrap_sse41, nullptr, GeneralBilinearAccurateDownsamplerWrap_avx2},
    GeneralCases(),
    [](GeneralDownsampleFunc f, const KernelCase& c, Output& out) { RunGeneral(f, c, out, false); });

const bool kGeneralNV = rltest::RegisterKernelFamily<GeneralDownsampleFunc>(
    "GeneralBilinearAccurateNVXYChroma",
    {GeneralBilinearAccurateNVXYChromaDownsampler_c, GeneralBilinearAccurateNVXYChromaDownsamplerWrap_sse2, nullptr,
     nullptr, nullptr, nullptr},
    GeneralCases(),
    [](GeneralDownsampleFunc f, const KernelCase& c, Output& out) { RunGeneral(f, c, out, true); });

// param bit 0 picks 3 or 4 channels.
std::vector<KernelCase> InterleavedCases(int minW)
{
    std::vector<KernelCase> cases = rltest::PlaneCases(minW, 300, 2, 20);
    for (size_t i = 0; i < cases.size(); ++i) cases[i].param = static_cast<int>(i);
    return cases;
}

const bool kInterleavedHalve = rltest::RegisterKernelFamily<InterleavedDownsampleFunc>(
    "InterleavedHalve",
    {InterleavedBilinearDownsampler_c, InterleavedBilinearDownsampler_sse2, InterleavedBilinearDownsampler_ssse3,
     InterleavedBilinearDownsampler_sse4, InterleavedBilinearDownsampler_avx, InterleavedBilinearDownsampler_avx2},
    InterleavedCases(2), [](InterleavedDownsampleFunc f, const KernelCase& c, Output& out) {
        const int ch = (c.param & 1) ? 3 : 4;
        Rng rng(c.seed);
        Plane src(rng, c.width * ch, c.height, c);
        Plane dst(rng, (c.width / 2) * ch, c.height / 2, c);
        f(dst.data(), dst.stride(), src.data(), src.stride(), c.width, c.height, ch);
        out.AddPlane("dst", dst);
    });

const bool kInterleavedGeneral = rltest::RegisterKernelFamily<InterleavedGeneralDownsampleFunc>(
    "InterleavedGeneralFast",
    {InterleavedGeneralBilinearFastDownsampler_c, InterleavedGeneralBilinearFastDownsampler_sse2,
     InterleavedGeneralBilinearFastDownsampler_ssse3, InterleavedGeneralBilinearFastDownsampler_sse4,
     InterleavedGeneralBilinearFastDownsampler_avx, InterleavedGeneralBilinearFastDownsampler_avx2},
    GeneralCases(), [](InterleavedGeneralDownsampleFunc f, const KernelCase& c, Output& out) {
        const SizePair s = Sizes(c);
        const int ch = (c.seed & 1) ? 3 : 4;
        Rng rng(c.seed);
        Plane src(rng, s.sw * ch, s.sh, c);
        Plane dst(rng, s.dw * ch, s.dh, c);
        f(dst.data(), dst.stride(), s.dw, s.dh, src.data(), src.stride(), s.sw, s.sh, ch);
        out.AddPlane("dst", dst);
    });

// ---- Multi-tap filters ---------------------------------------------------------

const int8_t kHalfBand[2][6] = {{-1, 8, 25, 25, 8, -1}, {-5, 6, 31, 31, 6, -5}};

const bool kFilterVert = rltest::RegisterKernelFamily<FilterVertFunc>(
    "VeskFilterVert",
    {VeskFilterVert_c, VeskFilterVert_sse2, VeskFilterVert_ssse3, VeskFilterVert_sse4, VeskFilterVert_avx,
     VeskFilterVert_avx2},
    rltest::PlaneCases(1, 400, 2, 30), [](FilterVertFunc f, const KernelCase& c, Output& out) {
        Rng rng(c.seed);
        Plane src(rng, c.width, c.height, c);
        Plane dst(rng, c.width, c.height / 2, c);
        f(src.data(), src.stride(), c.width, c.height, dst.data(), dst.stride(), kHalfBand[c.seed & 1], 6);
        out.AddPlane("dst", dst);
    });

const bool kFilterHor = rltest::RegisterKernelFamily<FilterHorFunc>(
    "VeskFilterHor",
    {VeskFilterHor_c, VeskFilterHor_sse2, VeskFilterHor_ssse3, VeskFilterHor_sse4, VeskFilterHor_avx,
     VeskFilterHor_avx2},
    rltest::PlaneCases(2, 400, 1, 12, 2), [](FilterHorFunc f, const KernelCase& c, Output& out) {
        // Rows carry the two samples before and three after that the taps reach.
        Rng rng(c.seed);
        Plane src(rng, c.width + 5, c.height, c);
        Plane dst(rng, c.width / 2, c.height, c);
        f(src.data() + 2, src.stride(), c.width, c.height, dst.data(), dst.stride(), kHalfBand[c.seed & 1], 6);
        out.AddPlane("dst", dst);
    });

const bool kFourTap = rltest::RegisterKernelFamily<GeneralFourTapFunc>(
    "VeskGeneralFourTapFilter",
    {VeskGeneralFourTapFilter_c, VeskGeneralFourTapFilter_sse2, VeskGeneralFourTapFilter_ssse3,
     VeskGeneralFourTapFilter_sse4, VeskGeneralFourTapFilter_avx, VeskGeneralFourTapFilter_avx2},
    GeneralCases(), [](GeneralFourTapFunc f, const KernelCase& c, Output& out) {
        const SizePair s = Sizes(c);
        Rng rng(c.seed);
        Plane src(rng, s.sw, s.sh, c);
        Plane dst(rng, s.dw, s.dh, c);
        // The same scratch size the downsampler gives: (2W + 79) & ~15 from an aligned base + 16.
        const int scratch = ((2 * s.sw + 79) & ~15) - 16;
        Plane temp(scratch, 1, scratch, 16, 0);
        f(dst.data(), dst.stride(), s.dw, s.dh, src.data(), src.stride(), s.sw, s.sh, FourTapTable(), temp.data(),
          static_cast<uint8_t>(c.seed & 1));
        out.AddPlane("dst", dst);
    });

}  // namespace
