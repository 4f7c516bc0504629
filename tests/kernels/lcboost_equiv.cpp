#include <cmath>
#include <vector>

#include "enhance/lcboost_kernels.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

// Luma biased towards skin-tone lumas and chroma towards the skin quadrant
// (U below 128, V above), so that both branches of the skin test are taken.
void SkinLikeContent(rltest::Rng& rng, rltest::Plane& y, rltest::Plane& u, rltest::Plane& v)
{
    for (int r = 0; r < y.rows(); ++r)
        for (int x = 0; x < y.rowBytes(); ++x) y.row(r)[x] = static_cast<uint8_t>(rng.Range(20, 240));
    for (int r = 0; r < u.rows(); ++r)
        for (int x = 0; x < u.rowBytes(); ++x) {
            u.row(r)[x] = static_cast<uint8_t>(rng.Range(80, 140));
            v.row(r)[x] = static_cast<uint8_t>(rng.Range(120, 200));
        }
}

// A mask with long zero and non-zero runs, plus isolated bytes.
void RunMask(rltest::Rng& rng, rltest::Plane& m)
{
    for (int r = 0; r < m.rows(); ++r) {
        uint8_t value = 0;
        for (int x = 0; x < m.rowBytes(); ++x) {
            if (rng.Range(0, 9) == 0) value = value ? 0 : static_cast<uint8_t>(rng.Range(1, 255));
            m.row(r)[x] = rng.Range(0, 31) == 0 ? static_cast<uint8_t>(rng.Byte()) : value;
        }
    }
}

// Mask on odd seeds; even seeds pass none.
const bool kVideoStats = rltest::RegisterKernelFamily<CalculateVideoStatsFunc>(
    "calculate_video_stats",
    {calculate_video_stats_c, calculate_video_stats_sse2, calculate_video_stats_ssse3, calculate_video_stats_sse4,
     calculate_video_stats_avx, calculate_video_stats_avx2},
    rltest::PlaneCases(1, 1921, 1, 9),
    [](CalculateVideoStatsFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane y(rng, c.width, c.height, c), m(rng, c.width, c.height, c);
        RunMask(rng, m);
        SVideoStats s;
        f(y.data(), y.stride(), c.width, c.height, &s, (c.seed & 1) ? m.data() : nullptr, m.stride());
        out.AddBytes("stats", &s, sizeof s);
    });

void RunSkin(int mode, float (*skinFn)(SVideoStats*, const uint8_t*, ptrdiff_t, const uint8_t*, const uint8_t*,
                                        ptrdiff_t, int, int, const uint8_t*, ptrdiff_t, float*),
             CombinedVideoStatsFunc combinedFn, const rltest::KernelCase& c, rltest::Output& out)
{
    rltest::Rng rng(c.seed);
    rltest::Plane y(rng, c.width, c.height, c);
    rltest::Plane u(rng, c.width / 2, c.height / 2, c), v(rng, c.width / 2, c.height / 2, c);
    rltest::Plane m(rng, c.width, c.height, c);
    if (c.seed % 3 != 0) SkinLikeContent(rng, y, u, v);
    RunMask(rng, m);
    const uint8_t* mask = (c.seed & 1) ? m.data() : nullptr;
    SVideoStats luma, skin;
    float sampled = -1.0f, p;
    if (mode == 0) {
        p = skinFn(&skin, y.data(), y.stride(), u.data(), v.data(), u.stride(), c.width, c.height, mask, m.stride(),
                   &sampled);
    } else {
        p = combinedFn(&luma, &skin, y.data(), y.stride(), u.data(), v.data(), u.stride(), c.width, c.height, mask,
                       m.stride(), &sampled);
        out.AddBytes("luma", &luma, sizeof luma);
    }
    out.AddBytes("skin", &skin, sizeof skin);
    out.AddValue("percent", p);
    out.AddValue("sampled", sampled);
}

const bool kSkin = rltest::RegisterKernelFamily<SkinToneStatsFunc>(
    "skin_tone_stats",
    {skin_tone_stats_c, skin_tone_stats_sse2, skin_tone_stats_ssse3, skin_tone_stats_sse4, skin_tone_stats_avx,
     skin_tone_stats_avx2},
    rltest::PlaneCases(1, 1921, 1, 10),
    [](SkinToneStatsFunc f, const rltest::KernelCase& c, rltest::Output& out) { RunSkin(0, f, nullptr, c, out); });

const bool kCombined = rltest::RegisterKernelFamily<CombinedVideoStatsFunc>(
    "combined_video_stats",
    {combined_video_stats_c, combined_video_stats_sse2, combined_video_stats_ssse3, combined_video_stats_sse4,
     combined_video_stats_avx, combined_video_stats_avx2},
    rltest::PlaneCases(1, 1921, 1, 10),
    [](CombinedVideoStatsFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        RunSkin(1, nullptr, f, c, out);
    });

// Curves of every shape the method produces and some it never does: steep
// (shift 3), decreasing (slopes clamp to 0), out of range and NaN knots.
void MakeCurve(rltest::Rng& rng, uint32_t kind, float* curve)
{
    for (int i = 0; i < 256; ++i) {
        const float x = static_cast<float>(i);
        switch (kind % 6) {
        case 0: curve[i] = x; break;
        case 1: curve[i] = 255.0f * std::sqrt(x / 255.0f); break;
        case 2: curve[i] = x < 120 ? 0.0f : (x > 128 ? 255.0f : (x - 120) * 32.0f); break;
        case 3: curve[i] = 255.0f - x; break;
        case 4: curve[i] = static_cast<float>(rng.Range(-40, 300)) + 0.5f; break;
        default: curve[i] = (i % 64 == 8) ? NAN : x * 0.7f + 20.0f; break;
        }
    }
}

const bool kRemap = rltest::RegisterKernelFamily<ApplyRemappingFunc>(
    "apply_remapping",
    {apply_remapping_c, apply_remapping_sse2, apply_remapping_ssse3, apply_remapping_sse4, apply_remapping_avx,
     apply_remapping_avx2},
    rltest::PlaneCases(1, 1921, 1, 9),
    [](ApplyRemappingFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane src(rng, c.width, c.height, c);
        rltest::KernelCase dc = c;
        dc.misalign = (c.misalign * 5 + 3) % 32;
        dc.stridePad = c.stridePad / 2;
        rltest::Plane dst(rng, c.width, c.height, dc);
        float curve[256];
        MakeCurve(rng, c.seed, curve);
        f(src.data(), src.stride(), dst.data(), dst.stride(), c.width, c.height, curve);
        out.AddPlane("dst", dst);
    });

// Widths and heights are the luma plane's; the chroma planes are half of them.
const bool kChroma = rltest::RegisterKernelFamily<ScaleChromaAutoFunc>(
    "scale_chroma_auto",
    {scale_chroma_auto_c, scale_chroma_auto_sse2, scale_chroma_auto_ssse3, scale_chroma_auto_sse4,
     scale_chroma_auto_avx, scale_chroma_auto_avx2},
    rltest::PlaneCases(1, 1921, 1, 10),
    [](ScaleChromaAutoFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane y(rng, c.width, c.height, c);
        rltest::Plane su(rng, c.width / 2, c.height / 2, c), sv(rng, c.width / 2, c.height / 2, c);
        rltest::KernelCase dc = c;
        dc.stridePad = (c.stridePad + 5) % 40;
        rltest::Plane du(rng, c.width / 2, c.height / 2, dc), dv(rng, c.width / 2, c.height / 2, dc);
        std::vector<uint8_t> table(kChromaGainTableAlloc);
        for (uint8_t& t : table) t = (c.seed % 4 == 0) ? static_cast<uint8_t>(rng.Range(0, 1) ? 255 : 0) : rng.Byte();
        f(su.data(), sv.data(), su.stride(), du.data(), dv.data(), du.stride(), c.width, c.height, table.data(),
          y.data(), y.stride());
        out.AddPlane("u", du);
        out.AddPlane("v", dv);
    });

// param-free: the seed picks which planes are blended.
const bool kBlend = rltest::RegisterKernelFamily<BlendingWithMaskFunc>(
    "blending_with_mask",
    {blending_with_mask_c, blending_with_mask_sse2, blending_with_mask_ssse3, blending_with_mask_sse4,
     blending_with_mask_avx, blending_with_mask_avx2},
    rltest::PlaneCases(1, 1921, 1, 10),
    [](BlendingWithMaskFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        const int cw = c.width / 2, ch = c.height / 2;
        rltest::Plane sy(rng, c.width, c.height, c), su(rng, cw, ch, c), sv(rng, cw, ch, c);
        rltest::KernelCase dc = c;
        dc.stridePad = (c.stridePad + 3) % 33;
        dc.misalign = (c.misalign + 1) % 32;
        rltest::Plane dy(rng, c.width, c.height, dc), du(rng, cw, ch, dc), dv(rng, cw, ch, dc);
        rltest::KernelCase mc = c;
        mc.stridePad = 0;  // mask rows are exactly the picture's width
        rltest::Plane m(rng, c.width, c.height, mc);
        if (c.seed % 3 == 0)
            for (int r = 0; r < m.rows(); ++r)
                for (int x = 0; x < m.rowBytes(); ++x) m.row(r)[x] = (rng.Byte() & 1) ? 255 : 0;
        const bool luma = c.seed % 4 != 1, chroma = c.seed % 4 != 2;
        f(sy.data(), su.data(), sv.data(), dy.data(), du.data(), dv.data(), m.data(), c.width, c.height, luma, chroma,
          sy.stride(), su.stride(), dy.stride(), du.stride());
        out.AddPlane("y", dy);
        out.AddPlane("u", du);
        out.AddPlane("v", dv);
    });

}  // namespace
