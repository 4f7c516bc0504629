// Contrast-boost kernels, built once per tier. The statistics kernels only
// count (integers) and leave the float results to FinishVideoStats, so every
// tier reports the same numbers as the reference.
#include <stddef.h>
#include <string.h>

#include "enhance/lcboost_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

static inline int RoundedAverage(int a, int b) { return (a + b + 1) >> 1; }

// Four interleaved histograms break the store-to-load chain of repeated levels.
struct Hist4 {
    uint32_t h[4][256];
};

static void MergeHist(const Hist4& h4, uint32_t* out)
{
    for (int i = 0; i < 256; ++i) out[i] += h4.h[0][i] + h4.h[1][i] + h4.h[2][i] + h4.h[3][i];
}

// Luma histogram of all pixels, or of those under a non-zero mask byte.
static uint32_t LumaHistogram(const uint8_t* y, ptrdiff_t yStride, int width, int height, const uint8_t* mask,
                              ptrdiff_t maskStride, uint32_t* hist)
{
    Hist4 h4;
    memset(&h4, 0, sizeof h4);
    uint32_t count = 0;
    const __m128i zero = _mm_setzero_si128();
    for (int r = 0; r < height; ++r) {
        const uint8_t* row = y + r * yStride;
        const uint8_t* m = mask ? mask + r * maskStride : NULL;
        int x = 0;
        for (; x + 16 <= width; x += 16) {
            int present = 0xffff;
            if (m) present = ~_mm_movemask_epi8(_mm_cmpeq_epi8(Load128(m + x), zero)) & 0xffff;
            if (present == 0xffff) {
                for (int i = 0; i < 16; i += 4) {
                    ++h4.h[0][row[x + i]];
                    ++h4.h[1][row[x + i + 1]];
                    ++h4.h[2][row[x + i + 2]];
                    ++h4.h[3][row[x + i + 3]];
                }
                count += 16;
            } else {
                while (present) {
                    const int i = __builtin_ctz(static_cast<unsigned>(present));
                    present &= present - 1;
                    ++h4.h[i & 3][row[x + i]];
                    ++count;
                }
            }
        }
        for (; x < width; ++x) {
            if (m && !m[x]) continue;
            ++h4.h[0][row[x]];
            ++count;
        }
    }
    MergeHist(h4, hist);
    return count;
}

// Skin test of eight 16-bit (Y, U - 128, V - 128) lanes: all ones where skin.
static inline __m128i SkinLanes(__m128i yb, __m128i u, __m128i v)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i c1 = _mm_add_epi16(_mm_mullo_epi16(u, _mm_set1_epi16(56)), _mm_mullo_epi16(v, _mm_set1_epi16(79)));
    const __m128i c2 = _mm_sub_epi16(_mm_sub_epi16(zero, _mm_mullo_epi16(u, _mm_set1_epi16(94))),
                                     _mm_mullo_epi16(v, _mm_set1_epi16(22)));
    const __m128i au = _mm_max_epi16(u, _mm_sub_epi16(zero, u));
    const __m128i av = _mm_max_epi16(v, _mm_sub_epi16(zero, v));
    const __m128i t = _mm_add_epi16(au, av);
    // min(183 * t, 32767) without leaving 16 bits: 183 * 179 is the last product below the cap.
    const __m128i big = _mm_cmpgt_epi16(t, _mm_set1_epi16(179));
    const __m128i s0 = _mm_mullo_epi16(_mm_min_epi16(t, _mm_set1_epi16(179)), _mm_set1_epi16(183));
    const __m128i s = _mm_or_si128(_mm_andnot_si128(big, s0), _mm_and_si128(big, _mm_set1_epi16(32767)));
    const __m128i y16 = _mm_sub_epi16(yb, _mm_set1_epi16(16));
    __m128i ok = _mm_and_si128(_mm_cmpgt_epi16(c1, _mm_set1_epi16(-1)), _mm_cmpgt_epi16(c2, _mm_set1_epi16(-1)));
    ok = _mm_and_si128(ok, _mm_cmpgt_epi16(yb, _mm_set1_epi16(39)));
    ok = _mm_andnot_si128(_mm_cmpgt_epi16(_mm_mullo_epi16(y16, _mm_set1_epi16(34)), s), ok);
    ok = _mm_andnot_si128(_mm_cmpgt_epi16(_mm_srai_epi16(s, 1), _mm_mullo_epi16(y16, _mm_set1_epi16(78))), ok);
    return ok;
}

static void SkinBlocks(const uint8_t* y, ptrdiff_t yStride, const uint8_t* u, const uint8_t* v, ptrdiff_t cStride,
                       int width, int height, const uint8_t* mask, ptrdiff_t maskStride, uint32_t* hist,
                       uint32_t* skinCount, uint32_t* sampledCount)
{
    uint32_t skin = 0, sampled = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowBytes = _mm_set1_epi16(0x00ff);
    const __m128i c128 = _mm_set1_epi16(128);
    for (int r = 0; r + 1 < height; r += 2) {
        const uint8_t* r0 = y + r * yStride;
        const uint8_t* r1 = r0 + yStride;
        const uint8_t* m0 = mask ? mask + r * maskStride : NULL;
        const uint8_t* m1 = mask ? m0 + maskStride : NULL;
        const uint8_t* ur = u + (r / 2) * cStride;
        const uint8_t* vr = v + (r / 2) * cStride;
        int x = 0;
        for (; x + 16 <= width; x += 16) {
            __m128i valid = _mm_set1_epi16(-1);
            if (m0) valid = _mm_xor_si128(_mm_cmpeq_epi16(_mm_or_si128(Load128(m0 + x), Load128(m1 + x)), zero), valid);
            const int validBits = _mm_movemask_epi8(_mm_packs_epi16(valid, zero)) & 0xff;
            if (!validBits) continue;
            const __m128i a = _mm_avg_epu8(Load128(r0 + x), Load128(r1 + x));
            const __m128i yb = _mm_srli_epi16(_mm_add_epi16(_mm_and_si128(a, lowBytes), _mm_srli_epi16(a, 8)), 1);
            const __m128i uu = _mm_sub_epi16(_mm_unpacklo_epi8(Load64(ur + x / 2), zero), c128);
            const __m128i vv = _mm_sub_epi16(_mm_unpacklo_epi8(Load64(vr + x / 2), zero), c128);
            const __m128i isSkin = _mm_and_si128(SkinLanes(yb, uu, vv), valid);
            sampled += static_cast<uint32_t>(__builtin_popcount(static_cast<unsigned>(validBits)));
            int skinBits = _mm_movemask_epi8(_mm_packs_epi16(isSkin, zero)) & 0xff;
            if (!skinBits) continue;
            uint16_t lumas[8];
            Store128(lumas, yb);
            while (skinBits) {
                const int i = __builtin_ctz(static_cast<unsigned>(skinBits));
                skinBits &= skinBits - 1;
                ++hist[lumas[i]];
                ++skin;
            }
        }
        for (; x + 1 < width; x += 2) {
            if (m0 && !(m0[x] | m0[x + 1] | m1[x] | m1[x + 1])) continue;
            ++sampled;
            const int yb = (RoundedAverage(r0[x + 1], r1[x + 1]) + RoundedAverage(r0[x], r1[x])) >> 1;
            if (is_skin_tone_int(yb, ur[x / 2], vr[x / 2])) {
                ++hist[yb];
                ++skin;
            }
        }
    }
    *skinCount = skin;
    *sampledCount = sampled;
}

#if RL_TIER_HAS_AVX2
static inline VecI VSrlI16(VecI a, __m128i n) { return _mm256_srl_epi16(a, n); }
static inline VecI VBroadcast128(__m128i a) { return _mm256_broadcastsi128_si256(a); }
static inline VecI VAddsU8(VecI a, VecI b) { return _mm256_adds_epu8(a, b); }
static inline VecI VSubI8(VecI a, VecI b) { return _mm256_sub_epi8(a, b); }
static inline VecI VSlliI16(VecI a, int n) { return _mm256_slli_epi16(a, n); }
#else
static inline VecI VSrlI16(VecI a, __m128i n) { return _mm_srl_epi16(a, n); }
static inline VecI VBroadcast128(__m128i a) { return a; }
static inline VecI VAddsU8(VecI a, VecI b) { return _mm_adds_epu8(a, b); }
static inline VecI VSubI8(VecI a, VecI b) { return _mm_sub_epi8(a, b); }
static inline VecI VSlliI16(VecI a, int n) { return _mm_slli_epi16(a, n); }
#endif

// (256 - m) * s + m * d + 128 >> 8 as s * 256 + m * (d - s) + 128: the true
// value lies in [0, 65408], so wrapping 16-bit arithmetic gives it exactly.
static inline VecI Blend16(VecI s, VecI d, VecI m)
{
    return VSrliI16(VAddI16(VAddI16(VSlliI16(s, 8), VMulloI16(m, VSubI16(d, s))), VSet1I16(128)), 8);
}

}  // namespace RL_TIER_NS

void RL_TIERED(calculate_video_stats)(const uint8_t* y, ptrdiff_t yStride, int width, int height, SVideoStats* out,
                                      const uint8_t* mask, ptrdiff_t maskStride)
{
    using namespace RL_TIER_NS;
    uint32_t hist[256] = {0};
    const uint32_t count = LumaHistogram(y, yStride, width, height, mask, maskStride, hist);
    FinishVideoStats(hist, count, out);
}

float RL_TIERED(skin_tone_stats)(SVideoStats* out, const uint8_t* y, ptrdiff_t yStride, const uint8_t* u,
                                 const uint8_t* v, ptrdiff_t cStride, int width, int height, const uint8_t* mask,
                                 ptrdiff_t maskStride, float* sampled)
{
    using namespace RL_TIER_NS;
    uint32_t hist[256] = {0};
    uint32_t skin = 0, blocks = 0;
    SkinBlocks(y, yStride, u, v, cStride, width, height, mask, maskStride, hist, &skin, &blocks);
    return FinishSkinStats(hist, skin, blocks, width, height, out, sampled);
}

float RL_TIERED(combined_video_stats)(SVideoStats* luma, SVideoStats* skinOut, const uint8_t* y, ptrdiff_t yStride,
                                      const uint8_t* u, const uint8_t* v, ptrdiff_t cStride, int width, int height,
                                      const uint8_t* mask, ptrdiff_t maskStride, float* sampled)
{
    using namespace RL_TIER_NS;
    uint32_t skinHist[256] = {0}, lumaHist[256] = {0};
    uint32_t skin = 0, blocks = 0;
    SkinBlocks(y, yStride, u, v, cStride, width, height, mask, maskStride, skinHist, &skin, &blocks);
    const uint32_t count = LumaHistogram(y, yStride, width, height, mask, maskStride, lumaHist);
    const float p = FinishSkinStats(skinHist, skin, blocks, width, height, skinOut, sampled);
    FinishVideoStats(lumaHist, count, luma);
    return p;
}

void RL_TIERED(apply_remapping)(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                                int width, int height, const float* curve)
{
    using namespace RL_TIER_NS;
#if RL_TIER_HAS_SSSE3
    uint8_t knot[32], q[32];
    int shift = 8;
    BuildRemapKnots(curve, knot, q, &shift);
    const VecI knotLo = VBroadcast128(Load128(knot)), knotHi = VBroadcast128(Load128(knot + 16));
    const VecI qLo = VBroadcast128(Load128(q)), qHi = VBroadcast128(Load128(q + 16));
    const __m128i count = _mm_cvtsi32_si128(shift);
    const VecI round = VSet1I16(static_cast<int16_t>(1 << (shift - 1)));
    const VecI low5 = VSet1U8(31), low3 = VSet1U8(7), bias = VSet1U8(0x70), sixteen = VSet1U8(16);
    const VecI zero = VZero();
    uint8_t lut[256];
    BuildRemapLut(curve, lut);
    for (int r = 0; r < height; ++r) {
        const uint8_t* s = src + r * srcStride;
        uint8_t* d = dst + r * dstStride;
        int x = 0;
        for (; x + kVecBytes <= width; x += kVecBytes) {
            const VecI px = VLoad(s + x);
            const VecI idx = VAnd(VSrliI16(px, 3), low5);
            // Indices 0..15 read the low tables, 16..31 the high ones; the
            // other shuffle sees bit 7 set and yields zero.
            const VecI idxLo = VAddsU8(idx, bias), idxHi = VSubI8(idx, sixteen);
            const VecI kn = VOr(VShuffleU8(knotLo, idxLo), VShuffleU8(knotHi, idxHi));
            const VecI qq = VOr(VShuffleU8(qLo, idxLo), VShuffleU8(qHi, idxHi));
            const VecI fr = VAnd(px, low3);
            const VecI lo = VAddI16(VUnpackLoU8(kn, zero),
                                    VSrlI16(VAddI16(VMulloI16(VUnpackLoU8(qq, zero), VUnpackLoU8(fr, zero)), round),
                                            count));
            const VecI hi = VAddI16(VUnpackHiU8(kn, zero),
                                    VSrlI16(VAddI16(VMulloI16(VUnpackHiU8(qq, zero), VUnpackHiU8(fr, zero)), round),
                                            count));
            VStore(d + x, VPackUsI16(lo, hi));
        }
        for (; x < width; ++x) d[x] = lut[s[x]];
    }
#else
    // No byte shuffle before SSSE3: the same knots expanded to a table.
    uint8_t lut[256];
    BuildRemapLut(curve, lut);
    for (int r = 0; r < height; ++r) {
        const uint8_t* s = src + r * srcStride;
        uint8_t* d = dst + r * dstStride;
        int x = 0;
        for (; x + 4 <= width; x += 4) {
            d[x] = lut[s[x]];
            d[x + 1] = lut[s[x + 1]];
            d[x + 2] = lut[s[x + 2]];
            d[x + 3] = lut[s[x + 3]];
        }
        for (; x < width; ++x) d[x] = lut[s[x]];
    }
#endif
}

void RL_TIERED(scale_chroma_auto)(const uint8_t* srcU, const uint8_t* srcV, ptrdiff_t srcStride, uint8_t* dstU,
                                  uint8_t* dstV, ptrdiff_t dstStride, int width, int height, const uint8_t* table,
                                  const uint8_t* y, ptrdiff_t yStride)
{
    using namespace RL_TIER_NS;
    if (width < 2 || height < 2) return;
    const int cw = width / 2, ch = height / 2;
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowBytes = _mm_set1_epi16(0x00ff);
    const __m128i c128 = _mm_set1_epi16(128);
    const __m128i c15 = _mm_set1_epi16(15);
    for (int r = 0; r < ch; ++r) {
        const uint8_t* y0 = y + (2 * r) * yStride;
        const uint8_t* y1 = y0 + yStride;
        const uint8_t* su = srcU + r * srcStride;
        const uint8_t* sv = srcV + r * srcStride;
        uint8_t* du = dstU + r * dstStride;
        uint8_t* dv = dstV + r * dstStride;
        int x = 0;
#if RL_TIER_HAS_AVX2
        // Sixteen samples per step: two gathers bring T[e] and T[e + 1] for
        // eight samples each.
        for (; x + 16 <= cw; x += 16) {
            const __m256i lowBytes16 = _mm256_set1_epi16(0x00ff);
            const __m256i a = _mm256_avg_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y0 + 2 * x)),
                                              _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y1 + 2 * x)));
            const __m256i ys = _mm256_add_epi16(_mm256_and_si256(a, lowBytes16), _mm256_srli_epi16(a, 8));
            const __m256i u = _mm256_cvtepu8_epi16(Load128(su + x));
            const __m256i v = _mm256_cvtepu8_epi16(Load128(sv + x));
            const __m256i u4 = _mm256_srli_epi16(u, 4), v4 = _mm256_srli_epi16(v, 4);
            const __m256i e = _mm256_add_epi16(
                _mm256_add_epi16(_mm256_add_epi16(_mm256_slli_epi16(u4, 8), _mm256_slli_epi16(u4, 4)),
                                 _mm256_add_epi16(_mm256_slli_epi16(v4, 4), v4)),
                _mm256_add_epi16(_mm256_srli_epi16(ys, 5), _mm256_set1_epi16(16)));
            const __m256i f = _mm256_and_si256(_mm256_srli_epi16(ys, 1), _mm256_set1_epi16(15));
            const int* t32 = reinterpret_cast<const int*>(table);
            const __m256i keep = _mm256_set1_epi32(0xffff);
            const __m256i g0 = _mm256_and_si256(
                _mm256_i32gather_epi32(t32, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(e)), 1), keep);
            const __m256i g1 = _mm256_and_si256(
                _mm256_i32gather_epi32(t32, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(e, 1)), 1), keep);
            const __m256i pairs = _mm256_permute4x64_epi64(_mm256_packus_epi32(g0, g1), 0xd8);
            // Each word holds T[e] and T[e + 1]: one multiply-add with the
            // byte weights (16 - f, f) interpolates them.
            const __m256i weights = _mm256_or_si256(_mm256_sub_epi16(_mm256_set1_epi16(16), f), _mm256_slli_epi16(f, 8));
            const __m256i gain = _mm256_srli_epi16(_mm256_maddubs_epi16(pairs, weights), 4);
            const __m256i c128w = _mm256_set1_epi16(128);
            const __m256i nu = _mm256_add_epi16(
                _mm256_srai_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(u, c128w), gain), 5), c128w);
            const __m256i nv = _mm256_add_epi16(
                _mm256_srai_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(v, c128w), gain), 5), c128w);
            // packus interleaves per 128-bit lane; the permute restores U then V order.
            const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(nu, nv), 0xd8);
            Store128(du + x, _mm256_castsi256_si128(packed));
            Store128(dv + x, _mm256_extracti128_si256(packed, 1));
        }
#endif
        for (; x + 8 <= cw; x += 8) {
            const __m128i a = _mm_avg_epu8(Load128(y0 + 2 * x), Load128(y1 + 2 * x));
            const __m128i ys = _mm_add_epi16(_mm_and_si128(a, lowBytes), _mm_srli_epi16(a, 8));
            const __m128i u = _mm_unpacklo_epi8(Load64(su + x), zero);
            const __m128i v = _mm_unpacklo_epi8(Load64(sv + x), zero);
            const __m128i u4 = _mm_srli_epi16(u, 4), v4 = _mm_srli_epi16(v, 4);
            const __m128i e = _mm_add_epi16(
                _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(u4, 8), _mm_slli_epi16(u4, 4)),
                              _mm_add_epi16(_mm_slli_epi16(v4, 4), v4)),
                _mm_add_epi16(_mm_srli_epi16(ys, 5), _mm_set1_epi16(16)));
            const __m128i f = _mm_and_si128(_mm_srli_epi16(ys, 1), c15);
#if RL_TIER_HAS_AVX2
            // One gather brings T[e] and T[e + 1] for eight samples.
            const __m256i g = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), _mm256_cvtepu16_epi32(e), 1);
            const __m256i g16 = _mm256_and_si256(g, _mm256_set1_epi32(0xffff));
            const __m128i pairs = _mm_packus_epi32(_mm256_castsi256_si128(g16), _mm256_extracti128_si256(g16, 1));
            const __m128i t0 = _mm_and_si128(pairs, lowBytes), t1 = _mm_srli_epi16(pairs, 8);
#else
            uint16_t idx[8], pairs16[8];
            Store128(idx, e);
            for (int i = 0; i < 8; ++i) pairs16[i] = static_cast<uint16_t>(table[idx[i]] | (table[idx[i] + 1] << 8));
            const __m128i pairs = Load128(pairs16);
            const __m128i t0 = _mm_and_si128(pairs, lowBytes), t1 = _mm_srli_epi16(pairs, 8);
#endif
            const __m128i gain = _mm_srli_epi16(
                _mm_add_epi16(_mm_mullo_epi16(t1, f), _mm_mullo_epi16(t0, _mm_sub_epi16(_mm_set1_epi16(16), f))), 4);
            const __m128i nu = _mm_add_epi16(_mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(u, c128), gain), 5), c128);
            const __m128i nv = _mm_add_epi16(_mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(v, c128), gain), 5), c128);
            Store64(du + x, _mm_packus_epi16(nu, nu));
            Store64(dv + x, _mm_packus_epi16(nv, nv));
        }
        for (; x < cw; ++x) {
            const int ys = RoundedAverage(y0[2 * x], y1[2 * x]) + RoundedAverage(y0[2 * x + 1], y1[2 * x + 1]);
            const int cu = su[x], cv = sv[x];
            const int e = ChromaGainRow(cu >> 4, cv >> 4) + (ys >> 5);
            const int f = (ys >> 1) & 15;
            const int gain = (table[e + 1] * f + table[e] * (16 - f)) >> 4;
            const int nu = (((cu - 128) * gain) >> 5) + 128, nv = (((cv - 128) * gain) >> 5) + 128;
            du[x] = static_cast<uint8_t>(nu < 0 ? 0 : (nu > 255 ? 255 : nu));
            dv[x] = static_cast<uint8_t>(nv < 0 ? 0 : (nv > 255 ? 255 : nv));
        }
    }
}

void RL_TIERED(blending_with_mask)(const uint8_t* srcY, const uint8_t* srcU, const uint8_t* srcV, uint8_t* dstY,
                                   uint8_t* dstU, uint8_t* dstV, const uint8_t* mask, int width, int height,
                                   bool luma, bool chroma, ptrdiff_t srcYStride, ptrdiff_t srcCStride,
                                   ptrdiff_t dstYStride, ptrdiff_t dstCStride)
{
    using namespace RL_TIER_NS;
    if (luma) {
        const VecI zero = VZero();
        for (int r = 0; r < height; ++r) {
            const uint8_t* s = srcY + r * srcYStride;
            uint8_t* d = dstY + r * dstYStride;
            const uint8_t* m = mask + static_cast<ptrdiff_t>(r) * width;
            int x = 0;
            for (; x + kVecBytes <= width; x += kVecBytes) {
                const VecI sv = VLoad(s + x), dv = VLoad(d + x), mv = VLoad(m + x);
                const VecI lo = Blend16(VUnpackLoU8(sv, zero), VUnpackLoU8(dv, zero), VUnpackLoU8(mv, zero));
                const VecI hi = Blend16(VUnpackHiU8(sv, zero), VUnpackHiU8(dv, zero), VUnpackHiU8(mv, zero));
                VStore(d + x, VPackUsI16(lo, hi));
            }
            for (; x < width; ++x) d[x] = static_cast<uint8_t>(((256 - m[x]) * s[x] + m[x] * d[x] + 128) >> 8);
        }
    }
    if (chroma && width >= 2 && height >= 2) {
        const int cw = width / 2, ch = height / 2;
        const __m128i zero = _mm_setzero_si128();
        const __m128i lowBytes = _mm_set1_epi16(0x00ff);
        for (int r = 0; r < ch; ++r) {
            const uint8_t* m0 = mask + static_cast<ptrdiff_t>(2 * r) * width;
            const uint8_t* m1 = m0 + width;
            const uint8_t* su = srcU + r * srcCStride;
            const uint8_t* sv = srcV + r * srcCStride;
            uint8_t* du = dstU + r * dstCStride;
            uint8_t* dv = dstV + r * dstCStride;
            int x = 0;
            for (; x + 8 <= cw; x += 8) {
                const __m128i a = _mm_avg_epu8(Load128(m0 + 2 * x), Load128(m1 + 2 * x));
                const __m128i m = _mm_srli_epi16(_mm_add_epi16(_mm_and_si128(a, lowBytes), _mm_srli_epi16(a, 8)), 1);
                const __m128i bu = _mm_srli_epi16(
                    _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(_mm_unpacklo_epi8(Load64(su + x), zero), 8),
                                                _mm_mullo_epi16(m, _mm_sub_epi16(_mm_unpacklo_epi8(Load64(du + x), zero),
                                                                                 _mm_unpacklo_epi8(Load64(su + x), zero)))),
                                  _mm_set1_epi16(128)),
                    8);
                const __m128i bv = _mm_srli_epi16(
                    _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(_mm_unpacklo_epi8(Load64(sv + x), zero), 8),
                                                _mm_mullo_epi16(m, _mm_sub_epi16(_mm_unpacklo_epi8(Load64(dv + x), zero),
                                                                                 _mm_unpacklo_epi8(Load64(sv + x), zero)))),
                                  _mm_set1_epi16(128)),
                    8);
                Store64(du + x, _mm_packus_epi16(bu, bu));
                Store64(dv + x, _mm_packus_epi16(bv, bv));
            }
            for (; x < cw; ++x) {
                const int m = (RoundedAverage(m0[2 * x], m1[2 * x]) + RoundedAverage(m0[2 * x + 1], m1[2 * x + 1])) >> 1;
                du[x] = static_cast<uint8_t>((m * du[x] + (256 - m) * su[x] + 128) >> 8);
                dv[x] = static_cast<uint8_t>((m * dv[x] + (256 - m) * sv[x] + 128) >> 8);
            }
        }
    }
}

}  // namespace Ravvel
