#include <vector>

#include "effects/mia_kernels.h"
#include "effects/video_filter_kernels.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

// Every fifth case uses only values at the edges of the arithmetic: the hue
// rotation's clamps, the sepia sums that saturate, the curves' mirror point.
void MaybeExtremes(rltest::Plane& p, rltest::Rng& rng, const rltest::KernelCase& c)
{
    if (c.seed % 5) return;
    static const uint8_t kExtremes[] = {0, 1, 127, 128, 129, 254, 255};
    for (int y = 0; y < p.rows(); ++y)
        for (int x = 0; x < p.rowBytes(); ++x) p.row(y)[x] = kExtremes[rng.Next() % 7];
}

const bool kHue = rltest::RegisterKernelFamily<HueRotateFunc>(
    "HueRotateChroma",
    {HueRotateChroma_c, HueRotateChroma_sse2, HueRotateChroma_ssse3, HueRotateChroma_sse4, HueRotateChroma_avx,
     HueRotateChroma_avx2},
    rltest::PlaneCases(1, 961, 1, 9),
    [](HueRotateFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane u(rng, c.width, c.height, c);
        rltest::KernelCase vc = c;
        vc.misalign = (c.misalign * 5 + 3) % 32;
        vc.stridePad = c.stridePad / 2;  // the two planes need not share a pitch
        rltest::Plane v(rng, c.width, c.height, vc);
        MaybeExtremes(u, rng, c);
        MaybeExtremes(v, rng, c);
        f(u.data(), u.stride(), v.data(), v.stride(), c.width, c.height);
        out.AddPlane("u", u);
        out.AddPlane("v", v);
    });

// RGB rows: width counts pixels; the rows are exactly 3 * width bytes so
// that the five-byte window of the sepia vectors cannot leave them unseen.
const bool kSepia = rltest::RegisterKernelFamily<SepiaRowFunc>(
    "SepiaRgbRow",
    {SepiaRgbRow_c, SepiaRgbRow_sse2, SepiaRgbRow_ssse3, SepiaRgbRow_sse4, SepiaRgbRow_avx, SepiaRgbRow_avx2},
    rltest::PlaneCases(1, 1921, 1, 1),
    [](SepiaRowFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::KernelCase row = c;
        row.stridePad = 0;
        rltest::Rng rng(c.seed);
        rltest::Plane in(rng, 3 * c.width, 1, row);
        rltest::KernelCase oc = row;
        oc.misalign = (c.misalign + 7) % 32;
        rltest::Plane o(rng, 3 * c.width, 1, oc);
        MaybeExtremes(in, rng, c);
        f(in.data(), o.data(), c.width);
        out.AddPlane("out", o);
    });

const bool kCinnamon = rltest::RegisterKernelFamily<ToneRowFunc>(
    "CinnamonRgbRow",
    {CinnamonRgbRow_c, CinnamonRgbRow_sse2, CinnamonRgbRow_ssse3, CinnamonRgbRow_sse4, CinnamonRgbRow_avx,
     CinnamonRgbRow_avx2},
    rltest::PlaneCases(1, 1921, 1, 1),
    [](ToneRowFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::KernelCase row = c;
        row.stridePad = 0;
        rltest::Rng rng(c.seed);
        rltest::Plane rgb(rng, 3 * c.width, 1, row);
        // Every byte value in every channel at least once on the wide rows.
        if (c.seed % 5 == 1)
            for (int x = 0; x < 3 * c.width; ++x) rgb.row(0)[x] = static_cast<uint8_t>(x / 3 + x % 3 * 85);
        MaybeExtremes(rgb, rng, c);
        f(rgb.data(), c.width);
        out.AddPlane("rgb", rgb);
    });

// A row pair through each look and back: even widths, luma rows with gaps,
// chroma planes with pitches and alignments of their own.
const bool kLookRowPair = rltest::RegisterKernelFamily<LookRowPairFunc>(
    "LookRowPair", {LookRowPair_c, nullptr, nullptr, nullptr, nullptr, LookRowPair_avx2},
    rltest::PlaneCases(1, 1921, 1, 1),
    [](LookRowPairFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        const int w = c.width < 2 ? 2 : c.width & ~1;
        std::vector<uint8_t> work1(static_cast<size_t>(6) * w), work2(work1.size());
        for (int mode = RL_VIDEO_FILTER_SEPIA; mode <= RL_VIDEO_FILTER_SEAFOAM; ++mode) {
            rltest::Rng rng(c.seed * 7 + static_cast<uint32_t>(mode));
            rltest::Plane y(rng, w, 2, c);
            rltest::KernelCase uc = c, vc = c;
            uc.misalign = (c.misalign * 3 + 1) % 32;
            uc.stridePad = 0;
            vc.misalign = (c.misalign * 5 + 3) % 32;
            vc.stridePad = 0;
            rltest::Plane u(rng, w / 2, 1, uc), v(rng, w / 2, 1, vc);
            MaybeExtremes(y, rng, c);
            MaybeExtremes(u, rng, c);
            MaybeExtremes(v, rng, c);
            f(y.data(), y.stride(), u.data(), v.data(), w, mode, work1.data(), work2.data());
            out.AddPlane("y", y);
            out.AddPlane("u", u);
            out.AddPlane("v", v);
        }
    });

// Tables: random (any byte to any byte), or the clamped ramps the method builds.
void MakeTable(rltest::Rng& rng, uint32_t seed, uint8_t* table)
{
    if (seed % 3 == 0) {
        rng.Fill(table, 256);
        return;
    }
    const int gain = rng.Range(0, 300), offset = rng.Range(-100, 100);
    for (int i = 0; i < 256; ++i) {
        const int v = 128 + (i - 128) * gain / 100 + offset;
        table[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

const bool kTable = rltest::RegisterKernelFamily<MiaTableFunc>(
    "MiaApplyTable",
    {MiaApplyTable_c, MiaApplyTable_sse2, MiaApplyTable_ssse3, MiaApplyTable_sse4, MiaApplyTable_avx,
     MiaApplyTable_avx2},
    rltest::PlaneCases(1, 1921, 1, 9),
    [](MiaTableFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        uint8_t table[256];
        MakeTable(rng, c.seed, table);
        rltest::Plane p(rng, c.width, c.height, c);
        f(p.data(), p.stride(), c.width, c.height, table);
        out.AddPlane("plane", p);
    });

// The mask as the method passes it: a luma-sized mask read sample by sample
// (param 1), or read at every other row and column for a chroma plane of
// half its size (param 2). Mask planes end exactly at their last byte.
std::vector<rltest::KernelCase> MaskedCases()
{
    std::vector<rltest::KernelCase> cases;
    for (int step : {1, 2})
        for (rltest::KernelCase c : rltest::PlaneCases(1, step == 1 ? 1921 : 961, 1, 9)) {
            c.param = step;
            cases.push_back(c);
        }
    return cases;
}

const bool kMasked = rltest::RegisterKernelFamily<MiaTableMaskedFunc>(
    "MiaApplyTableMasked",
    {MiaApplyTableMasked_c, MiaApplyTableMasked_sse2, MiaApplyTableMasked_ssse3, MiaApplyTableMasked_sse4,
     MiaApplyTableMasked_avx, MiaApplyTableMasked_avx2},
    MaskedCases(),
    [](MiaTableMaskedFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        uint8_t table[256];
        MakeTable(rng, c.seed, table);
        rltest::Plane p(rng, c.width, c.height, c);
        const int step = c.param;
        rltest::KernelCase mc = c;
        mc.misalign = (c.misalign * 3 + 1) % 32;
        mc.stridePad = 0;
        // A chroma plane of width w sits under a mask row of 2w (+1 when the
        // luma width is odd); its last row pairs with mask row 2h - 2.
        const int maskRows = step == 1 ? c.height : 2 * c.height - 1;
        rltest::Plane mask(rng, step * c.width + (step == 2 ? c.seed % 2 : 0), maskRows, mc);
        if (c.seed % 4 == 0)
            for (int y = 0; y < mask.rows(); ++y)
                for (int x = 0; x < mask.rowBytes(); ++x) mask.row(y)[x] = (rng.Next() & 1) ? 255 : 0;
        f(p.data(), p.stride(), c.width, c.height, table, mask.data(), step * mask.stride(), step);
        out.AddPlane("plane", p);
    });

}  // namespace
