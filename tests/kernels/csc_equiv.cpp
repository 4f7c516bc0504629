// Colour converter: every table entry with SIMD kernels, converted through the
// converter built for each tier, against the reference table. Each entry runs
// every format pair of its groups, with and without a vertical flip.
#include <string>
#include <vector>

#include "csc/color_space_convertor.h"
#include "csc/csc_picture.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

const std::vector<uint32_t> kRgb3 = {RL_FORMAT_RGB24, RL_FORMAT_BGR24};
const std::vector<uint32_t> kRgb4 = {RL_FORMAT_RGBA, RL_FORMAT_BGRA, RL_FORMAT_ABGR, RL_FORMAT_ARGB};
const std::vector<uint32_t> kRgbP = {RL_FORMAT_RGB_PLANAR, RL_FORMAT_BGR_PLANAR};
const std::vector<uint32_t> k422 = {RL_FORMAT_YUYV, RL_FORMAT_YVYU, RL_FORMAT_UYVY, RL_FORMAT_VYUY};
const std::vector<uint32_t> k420 = {RL_FORMAT_I420, RL_FORMAT_YV12};
const std::vector<uint32_t> kSemi = {RL_FORMAT_NV12, RL_FORMAT_NV21};
// 3 is no format at all: the converter reads it as RL_FORMAT_I420_2.
const std::vector<uint32_t> kI4202 = {RL_FORMAT_I420_2, 3};

struct Entry {
    const char* name;
    const std::vector<uint32_t>* src;
    const std::vector<uint32_t>* dst;
};

const Entry kEntries[] = {
    {"Csc01_yuv420p_to_rgb", &k420, &kRgb3},     {"Csc03_yuv420p_to_rgbx", &k420, &kRgb4},
    {"Csc04_yuv420p_to_rgbp", &k420, &kRgbP},    {"Csc05_yuv420p_to_nvxx", &k420, &kSemi},
    {"Csc06_yuv420p_to_yuv422", &k420, &k422},   {"Csc07_rgb_to_yuv420p", &kRgb3, &k420},
    {"Csc08_rgbx_to_yuv420p", &kRgb4, &k420},    {"Csc09_rgbp_to_yuv420p", &kRgbP, &k420},
    {"Csc10_rgb_to_yuv422", &kRgb3, &k422},      {"Csc11_rgbx_to_yuv422", &kRgb4, &k422},
    {"Csc12_rgbp_to_yuv422", &kRgbP, &k422},     {"Csc13_rgb_to_nvxx", &kRgb3, &kSemi},
    {"Csc14_rgbx_to_nvxx", &kRgb4, &kSemi},      {"Csc15_rgbp_to_nvxx", &kRgbP, &kSemi},
    {"Csc16_rgbx_to_rgbx", &kRgb4, &kRgb4},      {"Csc17_rgbx_to_rgbp", &kRgb4, &kRgbP},
    {"Csc18_rgbp_to_rgbx", &kRgbP, &kRgb4},      {"Csc19_yuv422_to_yuv420p", &k422, &k420},
    {"Csc20_yuv422_to_nvxx", &k422, &kSemi},     {"Csc21_yuv422_to_rgb", &k422, &kRgb3},
    {"Csc22_yuv422_to_rgbx", &k422, &kRgb4},     {"Csc23_yuv422_to_rgbp", &k422, &kRgbP},
    {"Csc24_yuv422_to_yuv422", &k422, &k422},    {"Csc25_nvxx_to_yuv422", &kSemi, &k422},
    {"Csc26_nvxx_to_yuv420p", &kSemi, &k420},    {"Csc28_nvxx_to_rgb", &kSemi, &kRgb3},
    {"Csc29_nvxx_to_rgbx", &kSemi, &kRgb4},      {"Csc30_nvxx_to_rgbp", &kSemi, &kRgbP},
    {"Csc31_i420_2_to_yuv420p", &kI4202, &k420},
};

struct Variant {
    uint32_t src, dst;
};

// Every pair of the entry's groups, each plain, with the destination
// bottom-up (a flip) and with both bottom-up (no flip).
std::vector<Variant> Variants(const Entry& e)
{
    std::vector<Variant> v;
    for (uint32_t s : *e.src)
        for (uint32_t d : *e.dst) {
            v.push_back({s, d});
            v.push_back({s, d | 0x80000000u});
            v.push_back({s | 0x80000000u, d | 0x80000000u});
        }
    return v;
}

// Rewrites a source with runs of the values where the fixed-point arithmetic
// overflows 16 bits or clamps: whole pixels (units of the pixel size) repeat,
// so that 2x2 blocks of saturated primaries occur, which random bytes almost
// never give.
void FillExtremes(rltest::CscPicture& pic, rltest::Rng& rng)
{
    static const uint8_t kValues[] = {0, 1, 15, 16, 127, 128, 129, 235, 240, 254, 255};
    const uint32_t f = static_cast<uint32_t>(pic.info.eFormat) & RL_FORMAT_MASK;
    const int unit = (f == RL_FORMAT_RGB24 || f == RL_FORMAT_BGR24) ? 3 : (f >= 2 && f <= 8) ? 4 : 2;
    for (auto& plane : pic.planes)
        for (int y = 0; y < plane->rows(); ++y) {
            uint8_t* row = plane->row(y);
            uint8_t pattern[4];
            for (int x = 0; x < plane->rowBytes();) {
                for (int k = 0; k < unit; ++k) pattern[k] = kValues[rng.Range(0, 10)];
                for (int n = rng.Range(1, 6) * unit; n > 0 && x < plane->rowBytes(); --n, ++x)
                    row[x] = pattern[x % unit];
            }
        }
}

bool RegisterAll()
{
    const bool all[RL_TIER_COUNT] = {true, true, true, true, true, true};
    for (const Entry& e : kEntries) {
        const std::vector<Variant> variants = Variants(e);
        std::vector<rltest::KernelCase> cases;
        const std::vector<rltest::KernelCase> base = rltest::PlaneCases(2, 1280, 2, 12, 2);
        for (size_t v = 0; v < variants.size(); ++v)
            for (rltest::KernelCase c : base) {
                c.param = static_cast<int>(v);
                c.seed = c.seed * 131u + static_cast<uint32_t>(v);
                cases.push_back(c);
            }
        rltest::RegisterTierFamily(e.name, all, cases,
                                   [variants](int tier, const rltest::KernelCase& c, rltest::Output& out) {
                                       const Variant& v = variants[static_cast<size_t>(c.param)];
                                       rltest::Rng rng(c.seed);
                                       rltest::CscPicture src(v.src, c.width, c.height, c, rng);
                                       rltest::KernelCase dc = c;
                                       dc.misalign = (c.misalign * 7 + 5) % 32;
                                       rltest::CscPicture dst(v.dst, c.width, c.height, dc, rng);
                                       CColorSpaceConvertor conv(TierFlagMask(tier));
                                       out.AddValue("result", conv.Process(&src.info, &dst.info, nullptr));
                                       dst.AddTo(out);
                                   });
    }
    // Saturation and overflow corners, top-down only.
    for (const Entry& e : kEntries) {
        std::vector<Variant> variants;
        for (uint32_t src : *e.src)
            for (uint32_t dst : *e.dst) variants.push_back({src, dst});
        std::vector<rltest::KernelCase> cases;
        for (size_t v = 0; v < variants.size(); ++v)
            for (rltest::KernelCase c : rltest::PlaneCases(2, 300, 2, 8, 2)) {
                c.param = static_cast<int>(v);
                cases.push_back(c);
            }
        const std::string name = std::string(e.name) + "_extremes";
        rltest::RegisterTierFamily(name.c_str(), all, cases,
                                   [variants](int tier, const rltest::KernelCase& c, rltest::Output& out) {
                                       const Variant& v = variants[static_cast<size_t>(c.param)];
                                       rltest::Rng rng(c.seed);
                                       rltest::CscPicture src(v.src, c.width, c.height, c, rng);
                                       FillExtremes(src, rng);
                                       rltest::CscPicture dst(v.dst, c.width, c.height, c, rng);
                                       CColorSpaceConvertor conv(TierFlagMask(tier));
                                       conv.Process(&src.info, &dst.info, nullptr);
                                       dst.AddTo(out);
                                   });
    }
    return true;
}

const bool kRegistered = RegisterAll();

}  // namespace
