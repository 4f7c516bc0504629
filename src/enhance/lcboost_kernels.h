// Kernels and curve mathematics of the local contrast, brightness and colour
// boost: picture statistics, tone curves, the fixed-point curve application,
// the vibrance model, the chroma gain table and the mask blend.
//
// A curve is 256 floats: entry i is the output level of input level i.
#ifndef RAVVEL_ENHANCE_LCBOOST_KERNELS_H
#define RAVVEL_ENHANCE_LCBOOST_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "simd/dispatch.h"

namespace Ravvel {

struct SVideoStats {
    float pdf[256];  // normalised histogram
    float cdf[256];  // normalised cumulative histogram, last entry 1
    float min;
    float max;
    float mean;
    float reserved[2];
    float median;
    float stddev;
    int32_t count;
};
static_assert(sizeof(SVideoStats) == 2080, "SVideoStats layout");

// Vibrance slices: 32x32x32 cells of (U, V, Y) space, 8 levels per side.
constexpr int kVibranceSliceCount = 12;
constexpr int kVibranceCells = 32 * 32 * 32;
inline int VibranceCell(int y, int u, int v) { return (u >> 3) * 1024 + (v >> 3) * 32 + (y >> 3); }

// Chroma gain table: a 16-byte head, then for each (U >> 4, V >> 4) a row of
// 17 gains in 1/32 units for the luma levels 0, 16, ..., 240 plus a repeat of
// the last. The SIMD chroma kernels read four bytes at a time, hence the tail.
constexpr int kChromaGainTableBytes = 16 + 256 * 17;
constexpr int kChromaGainTableAlloc = kChromaGainTableBytes + 16;
inline int ChromaGainRow(int uCell, int vCell) { return 16 + 272 * uCell + 17 * vCell; }

// ---- kernels with SIMD variants ------------------------------------------

// Luma statistics of all pixels, or of those whose mask byte is non-zero
// (mask may be null).
using CalculateVideoStatsFunc = void (*)(const uint8_t* y, ptrdiff_t yStride, int width, int height,
                                         SVideoStats* out, const uint8_t* mask, ptrdiff_t maskStride);
// Statistics of skin-tone luma over 2x2 blocks; returns the skin percentage
// of the sampled blocks and writes the sampled fraction of the picture.
using SkinToneStatsFunc = float (*)(SVideoStats* out, const uint8_t* y, ptrdiff_t yStride, const uint8_t* u,
                                    const uint8_t* v, ptrdiff_t cStride, int width, int height, const uint8_t* mask,
                                    ptrdiff_t maskStride, float* sampled);
// Both of the above in one pass; returns the skin percentage.
using CombinedVideoStatsFunc = float (*)(SVideoStats* luma, SVideoStats* skin, const uint8_t* y, ptrdiff_t yStride,
                                         const uint8_t* u, const uint8_t* v, ptrdiff_t cStride, int width,
                                         int height, const uint8_t* mask, ptrdiff_t maskStride, float* sampled);
using ApplyRemappingFunc = void (*)(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                                    int width, int height, const float* curve);
using ScaleChromaAutoFunc = void (*)(const uint8_t* srcU, const uint8_t* srcV, ptrdiff_t srcStride, uint8_t* dstU,
                                     uint8_t* dstV, ptrdiff_t dstStride, int width, int height,
                                     const uint8_t* table, const uint8_t* y, ptrdiff_t yStride);
// dst = blend of the processed destination (weight m) and the source
// (256 - m); mask rows are width bytes. Widths and heights are the luma
// plane's; chroma planes are width/2 x height/2.
using BlendingWithMaskFunc = void (*)(const uint8_t* srcY, const uint8_t* srcU, const uint8_t* srcV, uint8_t* dstY,
                                      uint8_t* dstU, uint8_t* dstV, const uint8_t* mask, int width, int height,
                                      bool luma, bool chroma, ptrdiff_t srcYStride, ptrdiff_t srcCStride,
                                      ptrdiff_t dstYStride, ptrdiff_t dstCStride);

#define RL_LCB_VSTATS_ARGS \
    (const uint8_t* y, ptrdiff_t yStride, int width, int height, SVideoStats* out, const uint8_t* mask, \
     ptrdiff_t maskStride)
#define RL_LCB_SKIN_ARGS                                                                                 \
    (SVideoStats * out, const uint8_t* y, ptrdiff_t yStride, const uint8_t* u, const uint8_t* v,          \
     ptrdiff_t cStride, int width, int height, const uint8_t* mask, ptrdiff_t maskStride, float* sampled)
#define RL_LCB_COMBINED_ARGS                                                                             \
    (SVideoStats * luma, SVideoStats * skin, const uint8_t* y, ptrdiff_t yStride, const uint8_t* u,       \
     const uint8_t* v, ptrdiff_t cStride, int width, int height, const uint8_t* mask, ptrdiff_t maskStride, \
     float* sampled)
#define RL_LCB_REMAP_ARGS \
    (const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride, int width, int height, \
     const float* curve)
#define RL_LCB_CHROMA_ARGS                                                                                \
    (const uint8_t* srcU, const uint8_t* srcV, ptrdiff_t srcStride, uint8_t* dstU, uint8_t* dstV,          \
     ptrdiff_t dstStride, int width, int height, const uint8_t* table, const uint8_t* y, ptrdiff_t yStride)
#define RL_LCB_BLEND_ARGS                                                                                  \
    (const uint8_t* srcY, const uint8_t* srcU, const uint8_t* srcV, uint8_t* dstY, uint8_t* dstU,           \
     uint8_t* dstV, const uint8_t* mask, int width, int height, bool luma, bool chroma, ptrdiff_t srcYStride, \
     ptrdiff_t srcCStride, ptrdiff_t dstYStride, ptrdiff_t dstCStride)

RAVVEL_API void calculate_video_stats_c RL_LCB_VSTATS_ARGS;
RAVVEL_API float skin_tone_stats_c RL_LCB_SKIN_ARGS;
RAVVEL_API float combined_video_stats_c RL_LCB_COMBINED_ARGS;
RAVVEL_API void apply_remapping_c RL_LCB_REMAP_ARGS;
RAVVEL_API void scale_chroma_auto_c RL_LCB_CHROMA_ARGS;
RAVVEL_API void blending_with_mask_c RL_LCB_BLEND_ARGS;

RL_DECLARE_TIERS(void, calculate_video_stats, RL_LCB_VSTATS_ARGS);
RL_DECLARE_TIERS(float, skin_tone_stats, RL_LCB_SKIN_ARGS);
RL_DECLARE_TIERS(float, combined_video_stats, RL_LCB_COMBINED_ARGS);
RL_DECLARE_TIERS(void, apply_remapping, RL_LCB_REMAP_ARGS);
RL_DECLARE_TIERS(void, scale_chroma_auto, RL_LCB_CHROMA_ARGS);
RL_DECLARE_TIERS(void, blending_with_mask, RL_LCB_BLEND_ARGS);

#undef RL_LCB_VSTATS_ARGS
#undef RL_LCB_SKIN_ARGS
#undef RL_LCB_COMBINED_ARGS
#undef RL_LCB_REMAP_ARGS
#undef RL_LCB_CHROMA_ARGS
#undef RL_LCB_BLEND_ARGS

// ---- shared pieces every tier calls (plain code, built once) --------------

// Statistics from an integer histogram of `count` samples. Every tier only
// counts and then calls this, so the float results agree across tiers.
void FinishVideoStats(const uint32_t hist[256], uint32_t count, SVideoStats* out);
// Skin percentage and sampled fraction from the block counters.
float FinishSkinStats(const uint32_t hist[256], uint32_t skin, uint32_t sampled, int width, int height,
                      SVideoStats* out, float* sampledFraction);
// The 32 knots and 8-bit slopes that stand for a curve, and the slope shift:
// sample x maps to min(255, knot[x>>3] + ((q[x>>3]*(x&7) + 2^(shift-1)) >> shift)).
void BuildRemapKnots(const float* curve, uint8_t knot[32], uint8_t q[32], int* shift);
// The same mapping expanded to all 256 levels.
void BuildRemapLut(const float* curve, uint8_t lut[256]);

// ---- curve mathematics (reference only) ----------------------------------

RAVVEL_API bool is_skin_tone_int(int y, int u, int v);
RAVVEL_API void cumulative_sum(const float* in, float* out, float a, float b, int n);
RAVVEL_API void calculate_remap_stats(const SVideoStats* in, SVideoStats* out, const float* curve);
RAVVEL_API void histogram_remapping(const SVideoStats* luma, float weight, float* out);
RAVVEL_API void compute_fixed_log_map(float* out, float base);
RAVVEL_API float inv_beta_map(int level, float base);
RAVVEL_API float guess_beta(float start, float target);
RAVVEL_API void calculate_contrast_sigmoid_params(float* out, const SVideoStats* luma, float contrast,
                                                  float skinMedian);
RAVVEL_API void set_sigmoid_map(float* out, const float* params);
RAVVEL_API void set_combined_map(const float* first, const float* second, float* out);
RAVVEL_API void merge_remappings(float* cur, const float* next, float w);
RAVVEL_API void set_identity_map(float* out);
// Limited-range BT.601 to RGB, each channel clamped to 0..255.
RAVVEL_API void lcboost_yuv_to_rgb(float y, float u, float v, float* r, float* g, float* b);
RAVVEL_API void vibrance_gamma(float* pixel, float strength);
// One vibrance slice of kVibranceCells floats for strength step n (0..11).
RAVVEL_API void build_vibrance_slice(float* slice, int n);
RAVVEL_API void get_3d_table(uint8_t* table, const float* curve, bool boost, bool scaleWithLuma, const float* slice);
// Fills a chroma gain table with unity gains.
RAVVEL_API void set_unity_chroma_table(uint8_t* table);

}  // namespace Ravvel

#endif
