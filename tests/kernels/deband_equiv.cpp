#include <vector>

#include "enhance/deband_kernels.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;
using rltest::KernelCase;

// Pass settings by case parameter: clamped and unclamped sizes, every dither
// range (13 reaches the widest noise and the largest threshold jitter), in
// place, a band of rows, and a zero seed.
struct DebandSetting {
    int strength, sizeA, sizeB, dither;
    uint32_t seed;
    bool inPlace;
    bool band;  // rows y0 = h/3 .. y1 = h - 2 only
};

const DebandSetting kSettings[] = {
    {64, 6, 6, 6, 11, false, false},   {240, 5, 5, 8, 12, false, false},  {16, 4, 3, 0, 13, false, false},
    {128, 6, 4, 13, 14, false, false}, {200, 4, 6, 5, 15, true, false},   {100, 6, 6, 6, 16, false, true},
    {300, 9, 2, -5, 17, false, false}, {80, 5, 6, 7, 0, false, false},
};
constexpr int kSettingCount = sizeof kSettings / sizeof kSettings[0];

// Widths from the common generator (1..73, then around vector multiples up
// to 1921), heights that give no vertical filtering, some, and plenty.
std::vector<KernelCase> DebandCases()
{
    static const int kHeights[] = {1, 7, 40, 70, 100, 66};
    std::vector<KernelCase> cases;
    int i = 0;
    for (KernelCase c : rltest::PlaneCases(1, 1921, 1, 1)) {
        c.height = kHeights[i % 6];
        c.param = i % kSettingCount;
        if (c.width > 700 && c.height > 66) c.height = 66;  // keeps the reference quick
        cases.push_back(c);
        ++i;
    }
    return cases;
}

// Smooth ramps with a little texture, where taps are kept and rejected in
// about equal measure; every fourth seed packs values near 0 and 255 in
// blocks, where the clamping of the output matters.
void FillDebandPlane(rltest::Rng& rng, rltest::Plane& p, uint32_t seed)
{
    const bool extremes = seed % 4 == 0;
    for (int y = 0; y < p.rows(); ++y)
        for (int x = 0; x < p.rowBytes(); ++x) {
            int v = 100 + (3 * x + 2 * y) / 8 % 60 + rng.Range(0, 6);
            if (extremes) v = ((x / 40 + y / 20) & 1) ? 255 - rng.Range(0, 5) : rng.Range(0, 5);
            if (seed % 7 == 3 && y % 11 == 5) v = rng.Byte();
            p.row(y)[x] = static_cast<uint8_t>(v);
        }
}

const bool kDeband = rltest::RegisterKernelFamily<DebandSubimageFunc>(
    "deband_subimage",
    {deband_subimage_c, deband_subimage_sse2, deband_subimage_ssse3, deband_subimage_sse4, deband_subimage_avx,
     deband_subimage_avx2},
    DebandCases(), [](DebandSubimageFunc f, const KernelCase& c, rltest::Output& out) {
        const DebandSetting& s = kSettings[c.param];
        rltest::Rng rng(c.seed);
        rltest::Plane src(rng, c.width, c.height, c);
        FillDebandPlane(rng, src, c.seed);
        KernelCase dstCase = c;
        dstCase.misalign = (c.misalign * 5 + 3) % 64;
        dstCase.stridePad = (c.stridePad * 3) % 50;
        rltest::Plane dst(rng, c.width, c.height, dstCase);
        const int y0 = s.band ? c.height / 3 : 0, y1 = s.band ? c.height - 2 : c.height;
        const int32_t ok = f(nullptr, nullptr, nullptr, src.data(), src.stride(), s.inPlace ? nullptr : dst.data(),
                             dst.stride(), c.width, c.height, s.strength, s.sizeA, s.sizeB, s.dither, s.seed, y0, y1);
        out.AddValue("result", ok);
        out.AddPlane("src", src);
        out.AddPlane("dst", dst);
    });

}  // namespace
