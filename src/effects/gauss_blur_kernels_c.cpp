#include "effects/gauss_blur_kernels.h"

namespace Ravvel {

namespace {

// Truncation toward zero, clamped; NaN gives 0 like the vector conversion.
inline uint8_t ToByte(float v)
{
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(static_cast<int>(v));
}

// One line of `n` samples for one channel: x(i) is the input, the causal
// results are held in `causal`, and emit(i, y) receives each result. The
// expressions keep the order every vector variant follows.
template <class Input, class Emit>
inline void FilterLine(Input x, Emit emit, float* causal, int32_t n, const float* k)
{
    const float a0 = k[kGaussA0], a1 = k[kGaussA1], a2 = k[kGaussA2], a3 = k[kGaussA3];
    const float b1 = k[kGaussB1], b2 = k[kGaussB2];
    float xm1 = x(0), ym1 = k[kGaussCoefP] * xm1, ym2 = ym1;
    for (int32_t i = 0; i < n; ++i) {
        const float xi = x(i);
        const float yi = a0 * xi + a1 * xm1 - b1 * ym1 - b2 * ym2;
        causal[i] = yi;
        xm1 = xi;
        ym2 = ym1;
        ym1 = yi;
    }
    float xp1 = x(n - 1), xp2 = xp1, yp1 = k[kGaussCoefN] * xp1, yp2 = yp1;
    for (int32_t i = n - 1; i >= 0; --i) {
        const float yi = a2 * xp1 + a3 * xp2 - b1 * yp1 - b2 * yp2;
        xp2 = xp1;
        xp1 = x(i);
        yp2 = yp1;
        yp1 = yi;
        emit(i, causal[i] + yi);
    }
}

}  // namespace

void GaussBlurRows_c(const uint8_t* src, int32_t srcStride, float* transposed, float* rowBuffer, int32_t width,
                     int32_t height, int32_t channels, int32_t r0, int32_t r1, const float* coeffs)
{
    for (int32_t r = r0; r < r1; ++r) {
        const uint8_t* row = src + static_cast<ptrdiff_t>(r) * srcStride;
        for (int32_t ch = 0; ch < channels; ++ch) {
            FilterLine([&](int32_t i) { return static_cast<float>(row[i * channels + ch]); },
                       [&](int32_t i, float y) {
                           transposed[(static_cast<ptrdiff_t>(i) * height + r) * channels + ch] = y;
                       },
                       rowBuffer, width, coeffs);
        }
    }
}

void GaussBlurColumns_c(const float* transposed, uint8_t* dst, int32_t dstStride, float* rowBuffer, int32_t width,
                        int32_t height, int32_t channels, int32_t c0, int32_t c1, const float* coeffs)
{
    (void)width;
    for (int32_t c = c0; c < c1; ++c) {
        const float* line = transposed + static_cast<ptrdiff_t>(c) * height * channels;
        for (int32_t ch = 0; ch < channels; ++ch) {
            FilterLine([&](int32_t i) { return line[i * channels + ch]; },
                       [&](int32_t i, float y) {
                           dst[static_cast<ptrdiff_t>(i) * dstStride + c * channels + ch] = ToByte(y);
                       },
                       rowBuffer, height, coeffs);
        }
    }
}

void gauss_blur_1_horizontal_c(const uint8_t* src, int32_t srcStride, float* transposed, float* rowBuffer,
                               int32_t width, int32_t height, const float* coeffs)
{
    GaussBlurRows_c(src, srcStride, transposed, rowBuffer, width, height, 1, 0, height, coeffs);
}

void gauss_blur_1_vertical_c(const float* transposed, uint8_t* dst, int32_t dstStride, float* rowBuffer,
                             int32_t width, int32_t height, const float* coeffs)
{
    GaussBlurColumns_c(transposed, dst, dstStride, rowBuffer, width, height, 1, 0, width, coeffs);
}

void gauss_blur_wrap_1_c(const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride, float* rowBuffer,
                         float* transposed, int32_t width, int32_t height, const float* coeffs)
{
    if (width <= 0 || height <= 0) return;
    gauss_blur_1_horizontal_c(src, srcStride, transposed, rowBuffer, width, height, coeffs);
    gauss_blur_1_vertical_c(transposed, dst, dstStride, rowBuffer, width, height, coeffs);
}

void gauss_blur_4_horizontal_c(const uint8_t* src, int32_t srcStride, float* transposed, float* rowBuffer,
                               int32_t width, int32_t height, const float* coeffs)
{
    GaussBlurRows_c(src, srcStride, transposed, rowBuffer, width, height, 4, 0, height, coeffs);
}

void gauss_blur_4_vertical_c(const float* transposed, uint8_t* dst, int32_t dstStride, float* rowBuffer,
                             int32_t width, int32_t height, const float* coeffs)
{
    GaussBlurColumns_c(transposed, dst, dstStride, rowBuffer, width, height, 4, 0, width, coeffs);
}

void gauss_blur_wrap_4_c(const uint8_t* src, int32_t srcStride, uint8_t* dst, int32_t dstStride, float* rowBuffer,
                         float* transposed, int32_t width, int32_t height, const float* coeffs)
{
    if (width <= 0 || height <= 0) return;
    gauss_blur_4_horizontal_c(src, srcStride, transposed, rowBuffer, width, height, coeffs);
    gauss_blur_4_vertical_c(transposed, dst, dstStride, rowBuffer, width, height, coeffs);
}

}  // namespace Ravvel
