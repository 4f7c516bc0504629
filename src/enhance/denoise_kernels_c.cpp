#include <cstdlib>

#include "enhance/denoise_kernels.h"
#include "safestr/safe_lib.h"

namespace Ravvel {

const uint8_t kTemporalWeights[16] = {16, 10, 8, 6, 5, 5, 4, 3, 3, 3, 3, 3, 2, 2, 2, 2};

namespace {

// Similarity weight of a neighbour at distance d: (32 - d)^2 / 32 up to 32,
// or the linear wide-range weight 28 - d / 4 (zero from d = 112).
inline int BilateralWeight(int d) { return d <= 32 ? ((32 - d) * (32 - d)) >> 5 : 0; }
inline int WideWeight(int d)
{
    const int w = 28 - (d >> 2);
    return w > 0 ? w : 0;
}

template <int N, bool Wide>
void BilateralRow(uint8_t* p, int stride)
{
    uint8_t out[N];
    const uint8_t* up = p - stride;
    const uint8_t* down = p + stride;
    for (int i = 0; i < N; ++i) {
        const int x = p[i];
        const int n[8] = {up[i - 1], up[i], up[i + 1], p[i - 1], p[i + 1], down[i - 1], down[i], down[i + 1]};
        int sumW = 0, sumWN = 0;
        for (int k = 0; k < 8; ++k) {
            const int d = std::abs(n[k] - x);
            const int w = Wide ? WideWeight(d) : BilateralWeight(d);
            sumW += w;
            sumWN += w * n[k];
        }
        out[i] = static_cast<uint8_t>((sumWN + (256 - sumW) * x + 128) >> 8);
    }
    corvel_memcpy_s(p, N, out, N);
}

template <int N>
void AverageRow(uint8_t* p, int stride)
{
    uint8_t out[N];
    const uint8_t* up = p - stride;
    const uint8_t* down = p + stride;
    for (int i = 0; i < N; ++i)
        out[i] = static_cast<uint8_t>(
            (up[i - 1] + up[i] + up[i + 1] + p[i - 1] + p[i] + p[i + 1] + down[i - 1] + down[i] + 4) >> 3);
    corvel_memcpy_s(p, N, out, N);
}

template <int N>
void WaverageRow(uint8_t* p, int stride)
{
    static const int kW[5][5] = {
        {1, 1, 2, 1, 1}, {1, 2, 4, 2, 1}, {2, 4, 20, 4, 2}, {1, 2, 4, 2, 1}, {1, 1, 2, 1, 1}};
    uint8_t out[N];
    for (int i = 0; i < N; ++i) {
        int sum = 32;
        for (int r = 0; r < 5; ++r)
            for (int k = 0; k < 5; ++k) sum += kW[r][k] * p[(r - 2) * stride + i + k - 2];
        out[i] = static_cast<uint8_t>(sum >> 6);
    }
    corvel_memcpy_s(p, N, out, N);
}

// Sample pairs (row, column)-(row, column) of a 5x5 block whose squared
// differences measure the energy along one direction; 24 pairs each.
struct Pair {
    uint8_t a, b;  // raster indices
};

constexpr uint8_t At(int r, int k) { return static_cast<uint8_t>(r * 5 + k); }

}  // namespace

void BilateralLumaFilter8_c(uint8_t* p, int stride) { BilateralRow<8, false>(p, stride); }
void BilateralLumaFilter16_c(uint8_t* p, int stride) { BilateralRow<16, false>(p, stride); }
void BilateralLumaFilter8Ex_c(uint8_t* p, int stride) { BilateralRow<8, true>(p, stride); }
void BilateralLumaFilter16Ex_c(uint8_t* p, int stride) { BilateralRow<16, true>(p, stride); }
void AverageLumaFilter8_c(uint8_t* p, int stride) { AverageRow<8>(p, stride); }
void AverageLumaFilter16_c(uint8_t* p, int stride) { AverageRow<16>(p, stride); }
void WaverageChromaFilter8_c(uint8_t* p, int stride) { WaverageRow<8>(p, stride); }
void WaverageChromaFilter16_c(uint8_t* p, int stride) { WaverageRow<16>(p, stride); }

void Gauss3x3Filter(uint8_t* p, int s)
{
    p[0] = static_cast<uint8_t>((p[-s - 1] + 2 * p[-s] + p[-s + 1] + 2 * p[-1] + 4 * p[0] + 2 * p[1] + p[s - 1] +
                                 2 * p[s] + p[s + 1] + 8) >>
                                4);
}

void TemporalAverageBlock_c(uint8_t* prev, uint8_t* cur, int stride, int log2Size, int c)
{
    const int size = 1 << log2Size;
    const int w = kTemporalWeights[c & 15];
    for (int y = 0; y < size; ++y) {
        uint8_t* cr = cur + static_cast<ptrdiff_t>(y) * stride;
        const uint8_t* pr = prev + static_cast<ptrdiff_t>(y) * stride;
        for (int x = 0; x < size; ++x) {
            int v = (cr[x] * w + pr[x] * (32 - w) + 16) >> 5;
            cr[x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

bool TemporalSkipCheck8x8_c(const uint8_t* prev, const uint8_t* cur, int stride, uint32_t* sadRef, uint32_t* sadOut,
                            int16_t thrAc, int16_t thrDc)
{
    int aPrev[4][8], aCur[4][8];
    uint32_t sad = 0;
    for (int r = 0; r < 4; ++r)
        for (int x = 0; x < 8; ++x) {
            const ptrdiff_t o0 = static_cast<ptrdiff_t>(2 * r) * stride + x, o1 = o0 + stride;
            aPrev[r][x] = (prev[o0] + prev[o1] + 1) >> 1;
            aCur[r][x] = (cur[o0] + cur[o1] + 1) >> 1;
            sad += static_cast<uint32_t>(std::abs(aCur[r][x] - aPrev[r][x]));
        }
    *sadOut = sad;
    const uint32_t quickHi = static_cast<uint32_t>((7 * thrAc) >> 4);
    const uint32_t quickLo = static_cast<uint32_t>(thrAc / 8);
    const bool verdict = quickHi > sad;
    if (*sadRef >= sad || quickLo >= sad || quickHi <= sad) return verdict;

    static const int kW[4][4] = {{16, 16, 16, 16}, {-9, 21, -21, 9}, {16, -16, -16, 16}, {-21, -9, 9, 21}};
    int d[4][4], t[4][4];
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k)
            d[r][k] = (aPrev[r][2 * k] + aPrev[r][2 * k + 1]) - (aCur[r][2 * k] + aCur[r][2 * k + 1]);
    for (int r = 0; r < 4; ++r)
        for (int u = 0; u < 4; ++u) {
            int s = 0;
            for (int k = 0; k < 4; ++k) s += kW[u][k] * d[r][k];
            t[r][u] = s >> 6;
        }
    *sadRef = sad;
    for (int v = 0; v < 4; ++v)
        for (int u = 0; u < 4; ++u) {
            int s = 0;
            for (int r = 0; r < 4; ++r) s += kW[v][r] * t[r][u];
            const int16_t c16 = static_cast<int16_t>(s);
            const int mag = c16 < 0 ? -c16 : c16;
            if (mag > (v == 0 && u == 0 ? thrDc : thrAc)) return false;
        }
    return true;
}

// The per-block statistics of the estimator, shared with the tiered
// variants through NoiseBlockStats below.
namespace {

const Pair kPairsH[24] = {{0, 1},   {1, 2},   {2, 3},   {3, 4},   {4, 5},   {5, 6},   {6, 7},   {7, 8},
                          {8, 9},   {9, 10},  {10, 11}, {11, 12}, {12, 13}, {13, 14}, {14, 15}, {15, 16},
                          {16, 17}, {17, 18}, {18, 19}, {19, 20}, {20, 21}, {21, 22}, {22, 23}, {23, 24}};

}  // namespace

uint32_t NoiseBlockWeight(const uint32_t e[4], bool* isotropic)
{
    *isotropic = true;
    if (e[0] == 0) return 0;
    uint32_t mn = 0xffffffffu, mx = 0;
    for (int i = 0; i < 4; ++i) {
        if (e[i] != 0 && e[i] < mn) mn = e[i];
        if (e[i] > mx) mx = e[i];
    }
    const uint32_t ratio = mx * 256 / mn;
    if (ratio <= 282) return 0;
    *isotropic = false;
    return ratio >= 666 ? 256 : (ratio - 282) * 256 / 383;
}

int NoiseFromBlocks(const uint32_t* variances, const uint32_t* weights, int n, uint32_t vref)
{
    if (n == 0) return 0;
    uint64_t num = 0, den = 0;
    for (int b = 0; b < n; ++b) {
        if (weights[b] >= 128) continue;
        const float ratio = static_cast<float>(variances[b]) / static_cast<float>(vref);
        if (!(ratio > 0.5f && ratio < 550.0f)) continue;
        num += static_cast<uint64_t>(variances[b]) * (256 - weights[b]);
        den += 256 - weights[b];
    }
    return den ? static_cast<int>(num / den) : 0;
}

int NoiseEstimation8_c(uint8_t* cur, uint8_t* prev, int width, int height, int stride, uint32_t* weights,
                       uint32_t* variances)
{
    if (height - 2 < 3) return 0;
    // Pair tables of the vertical and the two diagonal directions.
    Pair vt[24], ad[24], dd[24];
    int nv = 0, na = 0, nd = 0;
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 5; ++k) vt[nv++] = {At(r, k), At(r + 1, k)};
    for (int r = 0; r < 4; ++r)
        for (int k = 1; k < 5; ++k) ad[na++] = {At(r, k), At(r + 1, k - 1)};
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) dd[nd++] = {At(r, k), At(r + 1, k + 1)};
    const Pair vtH[4] = {{At(0, 1), At(0, 2)}, {At(0, 3), At(0, 4)}, {At(4, 0), At(4, 1)}, {At(4, 2), At(4, 3)}};
    const Pair adV[4] = {{At(0, 0), At(1, 0)}, {At(1, 4), At(2, 4)}, {At(2, 0), At(3, 0)}, {At(3, 4), At(4, 4)}};
    const Pair ddV[4] = {{At(0, 4), At(1, 4)}, {At(1, 0), At(2, 0)}, {At(2, 4), At(3, 4)}, {At(3, 0), At(4, 0)}};
    const Pair ddH[4] = {{At(0, 0), At(0, 1)}, {At(0, 2), At(0, 3)}, {At(4, 1), At(4, 2)}, {At(4, 3), At(4, 4)}};
    for (int i = 0; i < 4; ++i) {
        vt[nv++] = vtH[i];
        ad[na++] = adV[i];
        dd[nd++] = ddV[i];
    }
    for (int i = 0; i < 4; ++i) {
        ad[na++] = vtH[i];
        dd[nd++] = ddH[i];
    }

    uint32_t vref = 1;
    bool vrefSet = false;
    int n = 0;
    for (int y0 = 0; y0 + 2 < height - 2; y0 += 5) {
        for (int x0 = 0; x0 + 2 < width - 6; x0 += 5) {
            int s[25];
            int sum = 0;
            for (int r = 0; r < 5; ++r) {
                const uint8_t* c = cur + static_cast<ptrdiff_t>(y0 + r) * stride + x0;
                const uint8_t* p = prev + static_cast<ptrdiff_t>(y0 + r) * stride + x0;
                for (int k = 0; k < 5; ++k) {
                    int diff = c[k] - p[k];
                    diff = diff < -128 ? -128 : diff > 127 ? 127 : diff;
                    s[r * 5 + k] = diff + 128;
                    sum += diff + 128;
                }
            }
            const int mean = sum / 25;
            uint32_t q = 0;
            for (int i = 0; i < 25; ++i) q += static_cast<uint32_t>((s[i] - mean) * (s[i] - mean));
            const uint32_t var = q * 256 / 24;
            variances[n] = var;

            uint32_t e[4] = {0, 0, 0, 0};
            for (int i = 0; i < 24; ++i) {
                const int h = s[kPairsH[i].a] - s[kPairsH[i].b];
                const int v = s[vt[i].a] - s[vt[i].b];
                const int a = s[ad[i].a] - s[ad[i].b];
                const int d = s[dd[i].a] - s[dd[i].b];
                e[0] += static_cast<uint32_t>(h * h);
                e[1] += static_cast<uint32_t>(v * v);
                e[2] += static_cast<uint32_t>(a * a);
                e[3] += static_cast<uint32_t>(d * d);
            }
            bool isotropic = true;
            weights[n] = NoiseBlockWeight(e, &isotropic);
            if (isotropic && q > 0 && (!vrefSet || var < vref)) {
                vref = var;
                vrefSet = true;
            }
            ++n;
        }
    }
    return NoiseFromBlocks(variances, weights, n, vref);
}

}  // namespace Ravvel
