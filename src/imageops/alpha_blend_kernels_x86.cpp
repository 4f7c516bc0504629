// Built once per tier.
#include <stddef.h>

#include "imageops/alpha_blend_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

static inline uint8_t BlendSample(uint32_t fg, uint32_t bg, uint32_t a)
{
    return static_cast<uint8_t>((bg * (256 - a) + fg * a) >> 8);
}

#if RL_TIER_HAS_AVX2
static inline VecI WidenLo(VecI v) { return _mm256_unpacklo_epi8(v, _mm256_setzero_si256()); }
static inline VecI WidenHi(VecI v) { return _mm256_unpackhi_epi8(v, _mm256_setzero_si256()); }
static inline VecI PackU8(VecI lo, VecI hi) { return _mm256_packus_epi16(lo, hi); }
static inline VecI SlliI16(VecI v, int n) { return _mm256_slli_epi16(v, n); }
static inline VecI And(VecI a, VecI b) { return _mm256_and_si256(a, b); }
#else
static inline VecI WidenLo(VecI v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
static inline VecI WidenHi(VecI v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }
static inline VecI PackU8(VecI lo, VecI hi) { return _mm_packus_epi16(lo, hi); }
static inline VecI SlliI16(VecI v, int n) { return _mm_slli_epi16(v, n); }
static inline VecI And(VecI a, VecI b) { return _mm_and_si128(a, b); }
#endif

// bg*(256-a) + fg*a rewritten as bg*256 + (fg-bg)*a: one multiply instead of
// two. The true value lies in [0, 65280], so 16-bit wrapping arithmetic
// yields it exactly and the result equals the reference bit for bit.
static inline VecI Blend16(VecI f, VecI g, VecI a)
{
    return VSrliI16(VAddI16(SlliI16(g, 8), VMulloI16(VSubI16(f, g), a)), 8);
}

// Bytes f over g with 16-bit alphas for the low and the high half of each
// 128-bit lane (the unpack order; packing restores the byte order).
static inline VecI BlendBytes(VecI f, VecI g, VecI aLo, VecI aHi)
{
    return PackU8(Blend16(WidenLo(f), WidenLo(g), aLo), Blend16(WidenHi(f), WidenHi(g), aHi));
}

// Alphas of the kVecBytes/4 pixels at p, each repeated over its pixel's four
// 16-bit lanes, in the order WidenLo/WidenHi produce the pixel bytes.
static inline void PixelAlphas(const uint8_t* p, VecI* lo, VecI* hi)
{
#if RL_TIER_HAS_AVX2
    // Lane 0 holds pixels 0..3, lane 1 pixels 4..7; index -1 gives the zero high byte.
    const __m256i a = _mm256_broadcastq_epi64(Load64(p));
    *lo = _mm256_shuffle_epi8(a, _mm256_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 1, -1, 1, -1, 1, -1, 1, -1, 4, -1, 4,
                                                  -1, 4, -1, 4, -1, 5, -1, 5, -1, 5, -1, 5, -1));
    *hi = _mm256_shuffle_epi8(a, _mm256_setr_epi8(2, -1, 2, -1, 2, -1, 2, -1, 3, -1, 3, -1, 3, -1, 3, -1, 6, -1, 6,
                                                  -1, 6, -1, 6, -1, 7, -1, 7, -1, 7, -1, 7, -1));
#else
    const __m128i a16 = _mm_unpacklo_epi8(Load32(p), _mm_setzero_si128());
    const __m128i a32 = _mm_unpacklo_epi16(a16, a16);
    *lo = _mm_unpacklo_epi32(a32, a32);
    *hi = _mm_unpackhi_epi32(a32, a32);
#endif
}

}  // namespace RL_TIER_NS

// Packed planes are one run of width*height samples: rows need no handling.
void RL_TIERED(alpha_blend_1_intrin)(const uint8_t* fg, const uint8_t* bg, const uint8_t* alpha, uint8_t* out,
                                     uint32_t width, uint32_t height)
{
    using namespace RL_TIER_NS;
    const size_t n = static_cast<size_t>(width) * height;
    size_t i = 0;
    for (; i + kVecBytes <= n; i += kVecBytes) {
        const VecI a = VLoad(alpha + i);
        VStore(out + i, BlendBytes(VLoad(fg + i), VLoad(bg + i), WidenLo(a), WidenHi(a)));
    }
    for (; i < n; ++i) out[i] = BlendSample(fg[i], bg[i], alpha[i]);
}

void RL_TIERED(alpha_blend_4_intrin)(const uint8_t* fg, const uint8_t* bg, const uint8_t* alpha, uint8_t* out,
                                     uint32_t width, uint32_t height)
{
    using namespace RL_TIER_NS;
    enum { kPixels = kVecBytes / 4 };
    const size_t n = static_cast<size_t>(width) * height;
    size_t i = 0;
    for (; i + kPixels <= n; i += kPixels) {
        VecI aLo, aHi;
        PixelAlphas(alpha + i, &aLo, &aHi);
        VStore(out + 4 * i, BlendBytes(VLoad(fg + 4 * i), VLoad(bg + 4 * i), aLo, aHi));
    }
    for (; i < n; ++i)
        for (size_t k = 4 * i; k < 4 * i + 4; ++k) out[k] = BlendSample(fg[k], bg[k], alpha[i]);
}

void RL_TIERED(alpha_blend_1_s2_intrin)(const uint8_t* fg, const uint8_t* bg, const uint8_t* alpha, uint8_t* out,
                                        uint32_t width, uint32_t height)
{
    using namespace RL_TIER_NS;
    const size_t w = width;
    // The even alpha bytes of a row, already zero-extended to 16 bits.
    const VecI evenBytes = VSet1I16(0x00FF);
    for (size_t r = 0; r < height; ++r) {
        const uint8_t* a = alpha + 2 * r * 2 * w;
        const uint8_t* f = fg + r * w;
        const uint8_t* g = bg + r * w;
        uint8_t* o = out + r * w;
        size_t c = 0;
        // The last vector reads alpha up to byte 2c + 2*kVecBytes - 1 <= 2w - 1: still this row.
        for (; c + kVecBytes <= w; c += kVecBytes) {
            const VecI a0 = And(VLoad(a + 2 * c), evenBytes);
            const VecI a1 = And(VLoad(a + 2 * c + kVecBytes), evenBytes);
#if RL_TIER_HAS_AVX2
            // a0 holds samples 0..15 in order, a1 16..31; the unpacks want 0..7|16..23 and 8..15|24..31.
            const VecI aLo = _mm256_permute2x128_si256(a0, a1, 0x20);
            const VecI aHi = _mm256_permute2x128_si256(a0, a1, 0x31);
#else
            const VecI aLo = a0;
            const VecI aHi = a1;
#endif
            VStore(o + c, BlendBytes(VLoad(f + c), VLoad(g + c), aLo, aHi));
        }
        for (; c < w; ++c) o[c] = BlendSample(f[c], g[c], a[2 * c]);
    }
}

}  // namespace Ravvel
