#include <cstddef>

#include "analysis/flicker_kernels.h"

namespace Ravvel {

void histogram_c(const uint8_t* src, int32_t stride, int32_t width, int32_t height, float* hist, float* count)
{
    for (int i = 0; i < 256; ++i) hist[i] = 0.0f;
    float n = 0.0f;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = src + static_cast<ptrdiff_t>(y) * stride;
        for (int32_t x = 0; x < width; ++x) {
            hist[row[x]] += 1.0f;
            n += 1.0f;
        }
    }
    *count = n;
}

float mse_c(const float* a, const float* b, float count)
{
    float partial[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i) {
        const float d = a[i] - b[i];
        partial[i % 8] += d * d;
    }
    float sum = partial[0];
    for (int k = 1; k < 8; ++k) sum += partial[k];
    return sum / count;
}

uint32_t pixel_wise_diff_exceed_c(const uint8_t* a, const uint8_t* b, int32_t stride, int32_t width,
                                  int32_t height, int32_t threshold, uint32_t budget)
{
    const int t = threshold & 0xff;
    uint32_t n = 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* ra = a + static_cast<ptrdiff_t>(y) * stride;
        const uint8_t* rb = b + static_cast<ptrdiff_t>(y) * stride;
        for (int32_t x = 0; x < width; ++x) {
            const int d = ra[x] > rb[x] ? ra[x] - rb[x] : rb[x] - ra[x];
            if (d > t && ++n >= budget) return 0;
        }
    }
    return budget - n;
}

namespace {

#define RL_FLICKER_FILLER(tier)                                    \
    [](TagFlickerFuncs* k) {                                       \
        k->histogram = histogram_##tier;                           \
        k->mse = mse_##tier;                                       \
        k->pixel_wise_diff_exceed = pixel_wise_diff_exceed_##tier; \
    }

const TierFillers<TagFlickerFuncs> kFlickerFillers = {
    [](TagFlickerFuncs* k) {
        k->histogram = histogram_c;
        k->mse = mse_c;
        k->pixel_wise_diff_exceed = pixel_wise_diff_exceed_c;
    },
    RL_FLICKER_FILLER(sse2),
    RL_FLICKER_FILLER(ssse3),
    RL_FLICKER_FILLER(sse4),
    RL_FLICKER_FILLER(avx),
    RL_FLICKER_FILLER(avx2),
};

#undef RL_FLICKER_FILLER

}  // namespace

void InitFlickerFunc(TagFlickerFuncs* table, uint32_t cpuFlags)
{
    FillKernelTable(table, cpuFlags, kFlickerFillers);
}

}  // namespace Ravvel
