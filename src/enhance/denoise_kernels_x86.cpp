// Built once per tier. Bilateral filters and the temporal blend in 16-bit
// lanes; the similarity test and the noise estimator vectorise their sums
// and keep the rare or per-block decisions scalar.
#include "enhance/denoise_kernels.h"
#include "simd/tier.h"

namespace Ravvel {

namespace RL_TIER_NS {

// |a - b| of unsigned bytes.
static inline __m128i AbsDiffU8(__m128i a, __m128i b) { return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a)); }

// Neighbour weights from 16-bit distances: ((32 - d)^2) >> 5 up to d = 32,
// or 28 - (d >> 2) floored at 0 for the wide range.
static inline __m128i Weight128(__m128i d, bool wide)
{
    if (wide) return _mm_subs_epu16(_mm_set1_epi16(28), _mm_srli_epi16(d, 2));
    const __m128i t = _mm_subs_epu16(_mm_set1_epi16(32), d);
    return _mm_srli_epi16(_mm_mullo_epi16(t, t), 5);
}

// Filters eight pixels held in 16-bit lanes: x the centres, n[k] and d[k]
// the neighbours and their distances.
static inline __m128i Bilateral8Lanes(__m128i x, const __m128i* n, const __m128i* d, bool wide)
{
    __m128i sumW = _mm_setzero_si128(), sumWN = _mm_setzero_si128();
    for (int k = 0; k < 8; ++k) {
        const __m128i w = Weight128(d[k], wide);
        sumW = _mm_add_epi16(sumW, w);
        sumWN = _mm_add_epi16(sumWN, _mm_mullo_epi16(w, n[k]));
    }
    // Sums stay below 65536: at most 256 * 255 + 128.
    const __m128i centre = _mm_mullo_epi16(_mm_sub_epi16(_mm_set1_epi16(256), sumW), x);
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(sumWN, centre), _mm_set1_epi16(128)), 8);
}

static inline void Bilateral8(uint8_t* p, int stride, bool wide)
{
    const ptrdiff_t s = stride;
    const ptrdiff_t off[8] = {-s - 1, -s, -s + 1, -1, 1, s - 1, s, s + 1};
    const __m128i zero = _mm_setzero_si128();
    const __m128i c8 = Load64(p);
    __m128i n[8], d[8];
    for (int k = 0; k < 8; ++k) {
        const __m128i v = Load64(p + off[k]);
        n[k] = _mm_unpacklo_epi8(v, zero);
        d[k] = _mm_unpacklo_epi8(AbsDiffU8(v, c8), zero);
    }
    const __m128i out = Bilateral8Lanes(_mm_unpacklo_epi8(c8, zero), n, d, wide);
    Store64(p, _mm_packus_epi16(out, out));
}

#if RL_TIER_HAS_AVX2
static inline __m256i Weight256(__m256i d, bool wide)
{
    if (wide) return _mm256_subs_epu16(_mm256_set1_epi16(28), _mm256_srli_epi16(d, 2));
    const __m256i t = _mm256_subs_epu16(_mm256_set1_epi16(32), d);
    return _mm256_srli_epi16(_mm256_mullo_epi16(t, t), 5);
}

static inline void Bilateral16(uint8_t* p, int stride, bool wide)
{
    const ptrdiff_t s = stride;
    const ptrdiff_t off[8] = {-s - 1, -s, -s + 1, -1, 1, s - 1, s, s + 1};
    const __m128i c8 = Load128(p);
    __m256i sumW = _mm256_setzero_si256(), sumWN = _mm256_setzero_si256();
    for (int k = 0; k < 8; ++k) {
        const __m128i v = Load128(p + off[k]);
        const __m256i w = Weight256(_mm256_cvtepu8_epi16(AbsDiffU8(v, c8)), wide);
        sumW = _mm256_add_epi16(sumW, w);
        sumWN = _mm256_add_epi16(sumWN, _mm256_mullo_epi16(w, _mm256_cvtepu8_epi16(v)));
    }
    const __m256i centre = _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_set1_epi16(256), sumW), _mm256_cvtepu8_epi16(c8));
    const __m256i out =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(sumWN, centre), _mm256_set1_epi16(128)), 8);
    VNarrowStoreU8(p, out);
}
#else
static inline void Bilateral16(uint8_t* p, int stride, bool wide)
{
    const ptrdiff_t s = stride;
    const ptrdiff_t off[8] = {-s - 1, -s, -s + 1, -1, 1, s - 1, s, s + 1};
    const __m128i zero = _mm_setzero_si128();
    const __m128i c8 = Load128(p);
    __m128i nLo[8], dLo[8], nHi[8], dHi[8];
    for (int k = 0; k < 8; ++k) {
        const __m128i v = Load128(p + off[k]);
        const __m128i d = AbsDiffU8(v, c8);
        nLo[k] = _mm_unpacklo_epi8(v, zero);
        nHi[k] = _mm_unpackhi_epi8(v, zero);
        dLo[k] = _mm_unpacklo_epi8(d, zero);
        dHi[k] = _mm_unpackhi_epi8(d, zero);
    }
    const __m128i lo = Bilateral8Lanes(_mm_unpacklo_epi8(c8, zero), nLo, dLo, wide);
    const __m128i hi = Bilateral8Lanes(_mm_unpackhi_epi8(c8, zero), nHi, dHi, wide);
    Store128(p, _mm_packus_epi16(lo, hi));
}
#endif

// cur = (cur * w + prev * (32 - w) + 16) >> 5 on 16 bytes.
static inline __m128i Blend16(__m128i cur, __m128i prev, int w)
{
#if RL_TIER_HAS_SSSE3
    const __m128i weights = _mm_set1_epi16(static_cast<int16_t>(((32 - w) << 8) | w));
    const __m128i lo = _mm_maddubs_epi16(_mm_unpacklo_epi8(cur, prev), weights);
    const __m128i hi = _mm_maddubs_epi16(_mm_unpackhi_epi8(cur, prev), weights);
#else
    const __m128i zero = _mm_setzero_si128();
    const __m128i wc = _mm_set1_epi16(static_cast<int16_t>(w)), wp = _mm_set1_epi16(static_cast<int16_t>(32 - w));
    const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(cur, zero), wc),
                                     _mm_mullo_epi16(_mm_unpacklo_epi8(prev, zero), wp));
    const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(cur, zero), wc),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(prev, zero), wp));
#endif
    const __m128i r = _mm_set1_epi16(16);
    return _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(lo, r), 5), _mm_srli_epi16(_mm_add_epi16(hi, r), 5));
}

// Sum of the 16-bit products of a and b over all lanes (pmaddwd then fold).
static inline uint32_t SumMadd(__m128i acc32)
{
    acc32 = _mm_add_epi32(acc32, _mm_srli_si128(acc32, 8));
    acc32 = _mm_add_epi32(acc32, _mm_srli_si128(acc32, 4));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(acc32));
}

// Squared differences s[i] - s[i + shift] for i = 0..23, with lanes not
// selected by mask (bit i) dropped; s holds 32 16-bit samples.
static inline uint32_t PairEnergy(const int16_t* s, int shift, uint32_t mask)
{
    __m128i acc = _mm_setzero_si128();
    for (int i = 0; i < 24; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + shift));
        const __m128i m = _mm_setr_epi16(
            static_cast<int16_t>(-static_cast<int>((mask >> (i + 0)) & 1)),
            static_cast<int16_t>(-static_cast<int>((mask >> (i + 1)) & 1)),
            static_cast<int16_t>(-static_cast<int>((mask >> (i + 2)) & 1)),
            static_cast<int16_t>(-static_cast<int>((mask >> (i + 3)) & 1)),
            static_cast<int16_t>(-static_cast<int>((mask >> (i + 4)) & 1)),
            static_cast<int16_t>(-static_cast<int>((mask >> (i + 5)) & 1)),
            static_cast<int16_t>(-static_cast<int>((mask >> (i + 6)) & 1)),
            static_cast<int16_t>(-static_cast<int>((mask >> (i + 7)) & 1)));
        const __m128i d = _mm_sub_epi16(a, b);
        acc = _mm_add_epi32(acc, _mm_madd_epi16(d, _mm_and_si128(d, m)));
    }
    return SumMadd(acc);
}

}  // namespace RL_TIER_NS

void RL_TIERED(BilateralLumaFilter8)(uint8_t* p, int stride) { RL_TIER_NS::Bilateral8(p, stride, false); }
void RL_TIERED(BilateralLumaFilter8Ex)(uint8_t* p, int stride) { RL_TIER_NS::Bilateral8(p, stride, true); }
void RL_TIERED(BilateralLumaFilter16)(uint8_t* p, int stride) { RL_TIER_NS::Bilateral16(p, stride, false); }
void RL_TIERED(BilateralLumaFilter16Ex)(uint8_t* p, int stride) { RL_TIER_NS::Bilateral16(p, stride, true); }

void RL_TIERED(TemporalAverageBlock)(uint8_t* prev, uint8_t* cur, int stride, int log2Size, int c)
{
    using namespace RL_TIER_NS;
    const int size = 1 << log2Size;
    const int w = kTemporalWeights[c & 15];
    const ptrdiff_t s = stride;
    if (size == 8) {
        // Two 8-byte rows per register.
        for (int y = 0; y < 8; y += 2) {
            uint8_t* c0 = cur + y * s;
            const uint8_t* p0 = prev + y * s;
            const __m128i cv = _mm_unpacklo_epi64(Load64(c0), Load64(c0 + s));
            const __m128i pv = _mm_unpacklo_epi64(Load64(p0), Load64(p0 + s));
            const __m128i r = Blend16(cv, pv, w);
            Store64(c0, r);
            Store64(c0 + s, _mm_unpackhi_epi64(r, r));
        }
        return;
    }
    if (size >= 16) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; x += 16) {
                uint8_t* cr = cur + y * s + x;
                Store128(cr, Blend16(Load128(cr), Load128(prev + y * s + x), w));
            }
        return;
    }
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            uint8_t* cr = cur + y * s + x;
            *cr = static_cast<uint8_t>((*cr * w + prev[y * s + x] * (32 - w) + 16) >> 5);
        }
}

bool RL_TIERED(TemporalSkipCheck8x8)(const uint8_t* prev, const uint8_t* cur, int stride, uint32_t* sadRef,
                                     uint32_t* sadOut, int16_t thrAc, int16_t thrDc)
{
    using namespace RL_TIER_NS;
    const ptrdiff_t s = stride;
    // Rows averaged in pairs: four 8-byte rows of each block, two per register.
    __m128i ap[2], ac[2];
    for (int h = 0; h < 2; ++h) {
        const uint8_t* pp = prev + 4 * h * s;
        const uint8_t* cp = cur + 4 * h * s;
        const __m128i p01 = _mm_avg_epu8(Load64(pp), Load64(pp + s));
        const __m128i p23 = _mm_avg_epu8(Load64(pp + 2 * s), Load64(pp + 3 * s));
        const __m128i c01 = _mm_avg_epu8(Load64(cp), Load64(cp + s));
        const __m128i c23 = _mm_avg_epu8(Load64(cp + 2 * s), Load64(cp + 3 * s));
        ap[h] = _mm_unpacklo_epi64(p01, p23);
        ac[h] = _mm_unpacklo_epi64(c01, c23);
    }
    const uint32_t sad = SumSad128(_mm_sad_epu8(ap[0], ac[0])) + SumSad128(_mm_sad_epu8(ap[1], ac[1]));
    *sadOut = sad;
    const uint32_t quickHi = static_cast<uint32_t>((7 * thrAc) >> 4);
    const uint32_t quickLo = static_cast<uint32_t>(thrAc / 8);
    const bool verdict = quickHi > sad;
    if (*sadRef >= sad || quickLo >= sad || quickHi <= sad) return verdict;

    // The detailed test: pair sums of the averaged rows, then a 4x4 transform.
    const __m128i zero = _mm_setzero_si128();
    int16_t dd[16];
    for (int h = 0; h < 2; ++h) {
        // Horizontal pair sums in 16 bits: (a[2k] + a[2k+1]) for two rows.
        const __m128i ones = _mm_set1_epi16(1);
        const __m128i psLo = _mm_madd_epi16(_mm_unpacklo_epi8(ap[h], zero), ones);
        const __m128i psHi = _mm_madd_epi16(_mm_unpackhi_epi8(ap[h], zero), ones);
        const __m128i csLo = _mm_madd_epi16(_mm_unpacklo_epi8(ac[h], zero), ones);
        const __m128i csHi = _mm_madd_epi16(_mm_unpackhi_epi8(ac[h], zero), ones);
        const __m128i d = _mm_packs_epi32(_mm_sub_epi32(psLo, csLo), _mm_sub_epi32(psHi, csHi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dd + 8 * h), d);
    }
    static const int kW[4][4] = {{16, 16, 16, 16}, {-9, 21, -21, 9}, {16, -16, -16, 16}, {-21, -9, 9, 21}};
    int t[4][4];
    for (int r = 0; r < 4; ++r)
        for (int u = 0; u < 4; ++u) {
            int acc = 0;
            for (int k = 0; k < 4; ++k) acc += kW[u][k] * dd[4 * r + k];
            t[r][u] = acc >> 6;
        }
    *sadRef = sad;
    for (int v = 0; v < 4; ++v)
        for (int u = 0; u < 4; ++u) {
            int acc = 0;
            for (int r = 0; r < 4; ++r) acc += kW[v][r] * t[r][u];
            const int16_t c16 = static_cast<int16_t>(acc);
            const int mag = c16 < 0 ? -c16 : c16;
            if (mag > (v == 0 && u == 0 ? thrDc : thrAc)) return false;
        }
    return true;
}

int RL_TIERED(NoiseEstimation8)(uint8_t* cur, uint8_t* prev, int width, int height, int stride, uint32_t* weights,
                                uint32_t* variances)
{
    using namespace RL_TIER_NS;
    if (height - 2 < 3) return 0;
    // Lanes of the pair energies (see the reference for the pairs):
    // raster neighbours (shift 1), vertical (shift 5), down-left (shift 4),
    // down-right (shift 6), and the extra pairs each direction borrows.
    const uint32_t kAll24 = 0xffffffu;
    const uint32_t kVert20 = 0xfffffu;
    const uint32_t kDownLeft = 0xf7bdeu;   // i = 1..4, 6..9, 11..14, 16..19
    const uint32_t kDownRight = 0x7bdefu;  // i = 0..3, 5..8, 10..13, 15..18
    const uint32_t kRowPairs = (1u << 1) | (1u << 3) | (1u << 20) | (1u << 22);
    const uint32_t kDrRowPairs = (1u << 0) | (1u << 2) | (1u << 21) | (1u << 23);
    const uint32_t kDlColPairs = (1u << 0) | (1u << 9) | (1u << 10) | (1u << 19);
    const uint32_t kDrColPairs = (1u << 4) | (1u << 5) | (1u << 14) | (1u << 15);
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i zero = _mm_setzero_si128();

    uint32_t vref = 1;
    bool vrefSet = false;
    int n = 0;
    const ptrdiff_t s = stride;
    for (int y0 = 0; y0 + 2 < height - 2; y0 += 5) {
        for (int x0 = 0; x0 + 2 < width - 6; x0 += 5) {
            // s = clamp(cur - prev, -128, 127) + 128 by saturating signed
            // bytes; eight bytes per row are read (x0 + 7 < width).
            alignas(16) int16_t smp[40] = {0};
            for (int r = 0; r < 5; ++r) {
                const __m128i c = _mm_xor_si128(Load64(cur + (y0 + r) * s + x0), bias);
                const __m128i p = _mm_xor_si128(Load64(prev + (y0 + r) * s + x0), bias);
                const __m128i d = _mm_xor_si128(_mm_subs_epi8(c, p), bias);
                const __m128i w16 = _mm_unpacklo_epi8(d, zero);
                int16_t row[8];
                _mm_storeu_si128(reinterpret_cast<__m128i*>(row), w16);
                for (int k = 0; k < 5; ++k) smp[5 * r + k] = row[k];
            }
            int total = 0;
            for (int i = 0; i < 25; ++i) total += smp[i];
            const int mean = total / 25;
            // Sum of squares about the mean: sum(s^2) - 2 mean sum(s) + 25 mean^2.
            __m128i sq = zero;
            for (int i = 0; i < 32; i += 8) {
                const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(smp + i));
                sq = _mm_add_epi32(sq, _mm_madd_epi16(v, v));
            }
            const uint32_t q = static_cast<uint32_t>(static_cast<int>(SumMadd(sq)) - 2 * mean * total + 25 * mean * mean);
            const uint32_t var = q * 256 / 24;
            variances[n] = var;

            const uint32_t eRow = PairEnergy(smp, 1, kAll24);
            const uint32_t eRowExtra = PairEnergy(smp, 1, kRowPairs);
            const uint32_t e[4] = {
                eRow,
                PairEnergy(smp, 5, kVert20) + eRowExtra,
                PairEnergy(smp, 4, kDownLeft) + eRowExtra + PairEnergy(smp, 5, kDlColPairs),
                PairEnergy(smp, 6, kDownRight) + PairEnergy(smp, 5, kDrColPairs) + PairEnergy(smp, 1, kDrRowPairs),
            };
            bool isotropic = true;
            weights[n] = Ravvel::NoiseBlockWeight(e, &isotropic);
            if (isotropic && q > 0 && (!vrefSet || var < vref)) {
                vref = var;
                vrefSet = true;
            }
            ++n;
        }
    }
    return Ravvel::NoiseFromBlocks(variances, weights, n, vref);
}

}  // namespace Ravvel
