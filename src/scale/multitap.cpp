// Filter design, the fixed special-ratio taps, the reference multi-tap
// kernels, their selection, and the downsampler's two filtered passes.
#include "scale/multitap.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "frame/memory.h"
#include "scale/downsample.h"

namespace Ravvel {

// ---- Fixed taps for the special ratios ---------------------------------------

const int8_t pSpecial[kSpecialSets][kSpecialEntries][4] = {
    {},
    {{5, 50, 10, -1}, {2, 48, 16, -2}, {-1, 45, 22, -2}, {-2, 41, 28, -3}, {-3, 35, 35, -3},
     {-3, 28, 41, -2}, {-2, 22, 45, -1}, {-2, 16, 48, 2}, {-1, 10, 50, 5}},
    {{3, 50, 13, -2}, {-2, 41, 28, -3}, {-3, 28, 41, -2}, {-2, 13, 50, 3},
     {3, 50, 13, -2}, {-2, 41, 28, -3}, {-3, 28, 41, -2}, {-2, 13, 50, 3}},
    {{5, 40, 21, -2}, {-2, 27, 38, 1}, {9, 43, 14, -2}, {-1, 33, 33, -1}, {-2, 14, 43, 9},
     {1, 38, 27, -2}, {-2, 21, 40, 5}},
    {{6, 33, 25, 0}, {15, 36, 15, -2}, {0, 25, 33, 6}, {6, 33, 25, 0}, {15, 36, 15, -2}, {0, 25, 33, 6}},
    {{5, 39, 22, -2}, {-2, 22, 39, 5}, {5, 39, 22, -2}, {-2, 22, 39, 5},
     {5, 39, 22, -2}, {-2, 22, 39, 5}, {5, 39, 22, -2}, {-2, 22, 39, 5}},
    {{4, 45, 17, -2}, {-2, 34, 34, -2}, {-2, 17, 45, 4}, {4, 45, 17, -2},
     {-2, 34, 34, -2}, {-2, 17, 45, 4}, {4, 45, 17, -2}, {-2, 34, 34, -2}},
};

const int8_t pSpecialTune[kSpecialSets][kSpecialEntries][4] = {
    {},
    {{6, 50, 10, -2}, {2, 49, 16, -3}, {-1, 47, 22, -4}, {-3, 42, 29, -4}, {-4, 36, 36, -4},
     {-5, 30, 43, -4}, {-4, 23, 47, -2}, {-3, 16, 50, 1}, {-2, 11, 50, 5}},
    {{4, 48, 15, -3}, {-2, 41, 29, -4}, {-4, 29, 41, -2}, {-3, 15, 48, 4},
     {4, 48, 15, -3}, {-2, 41, 29, -4}, {-4, 29, 41, -2}, {-3, 15, 48, 4}},
    {{-2, 52, 16, -2}, {-4, 27, 46, -5}, {2, 55, 8, -1}, {-5, 37, 37, -5}, {-1, 8, 56, 1},
     {-4, 46, 26, -4}, {-3, 17, 53, -3}},
    {{-4, 47, 25, -4}, {6, 53, 6, -1}, {-4, 26, 46, -4}, {-4, 47, 25, -4}, {6, 53, 6, -1}, {-4, 26, 46, -4}},
    {{-5, 55, 15, -1}, {-1, 15, 55, -5}, {-5, 55, 15, -1}, {-1, 15, 55, -5},
     {-5, 55, 15, -1}, {-1, 15, 55, -5}, {-5, 55, 15, -1}, {-1, 15, 55, -5}},
    {{-1, 53, 14, -2}, {-5, 38, 36, -5}, {-2, 14, 53, -1}, {-1, 53, 14, -2},
     {-5, 38, 36, -5}, {-2, 14, 53, -1}, {-1, 53, 14, -2}, {-5, 38, 36, -5}},
};

FourTapSpecialRatio FindSpecialRatio(int32_t dstSize, int32_t srcSize)
{
    const int64_t d = dstSize, s = srcSize;
    if (d * 10 == s * 9) return {1, 9, 10, 9};
    if (d * 10 == s * 8) return {2, 8, 10, 8};
    if (d * 10 == s * 7) return {3, 7, 10, 7};
    if (d * 10 == s * 6) return {4, 6, 10, 6};
    if (d * 3 == s * 2) return {5, 8, 12, 2};
    if (d * 4 == s * 3) return {6, 6, 8, 3};
    return {0, 0, 0, 0};
}

// ---- Design ------------------------------------------------------------------

namespace {

double Sinc(double u)
{
    if (u == 0.0) return 1.0;
    const long double pu = 3.14159265358979323846264338327950288L * static_cast<long double>(u);
    return static_cast<double>(sinl(pu) / pu);
}

// Brings the quantised taps to a sum of exactly 64 by nudging, one unit at a
// time, the first tap of largest magnitude.
void CorrectSum(int32_t* q, int32_t n)
{
    int32_t sum = 0;
    for (int32_t i = 0; i < n; ++i) sum += q[i];
    int32_t d = sum - 64;
    const int32_t count = d < 0 ? -d : d;
    for (int32_t r = 0; r < count; ++r) {
        int32_t best = 0;
        for (int32_t i = 1; i < n; ++i)
            if (std::abs(q[i]) > std::abs(q[best])) best = i;
        q[best] += d > 0 ? -1 : 1;
    }
}

void Quantise(const double* taps, int32_t* q, int32_t n)
{
    double sum = 0;
    for (int32_t i = 0; i < n; ++i) sum += taps[i];
    for (int32_t i = 0; i < n; ++i) q[i] = static_cast<int32_t>(std::round(taps[i] / sum * 64.0));
    CorrectSum(q, n);
}

}  // namespace

void DesignHalfBandTaps(uint8_t tune, int32_t n, int32_t* quantised, double* work)
{
    const double a = tune ? 1.6 : 2.0;
    const double w = tune ? 1.0 / a : 1.0;
    const double h = n / 2;
    int32_t i = 0;
    for (double t = 0.5 - h; t < h && i < n; t += 1.0, ++i) {
        const double x = w * t * 0.9;
        double window = 0.0;
        if (std::fabs(std::trunc(x)) <= h) window = Sinc(((x + h) * 2.0 / (2.0 * h)) - 1.0);
        work[i] = Sinc(0.9 * t / a) * window;
    }
    for (; i < n; ++i) work[i] = 0.0;
    Quantise(work, quantised, n);
}

void DesignFourTapTable(int8_t* out)
{
    std::memset(out, 0, 256);
    for (int p = 0; p < 64; ++p) {
        const double f = p / 64.0;
        double taps[4];
        for (int k = 0; k < 4; ++k) {
            const double t = f - 2.0 + k;
            double window = 0.0;
            if (std::fabs(std::trunc(t)) < 3.0) window = Sinc((2.0 * t + 4.0) * 0.25 - 1.0);
            taps[k] = t == 0.0 ? window : Sinc(t) * window;
        }
        int32_t q[4];
        Quantise(taps, q, 4);
        // Reversed: byte k then weighs sample i - 1 + k.
        for (int k = 0; k < 4; ++k) out[p * 4 + k] = static_cast<int8_t>(q[3 - k]);
    }
}

const int8_t* FourTapTable()
{
    struct Table {
        int8_t taps[256];
        Table() { DesignFourTapTable(taps); }
    };
    static const Table table;  // thread-safe one-time construction
    return table.taps;
}

// ---- Reference kernels -------------------------------------------------------

namespace {

inline uint8_t ClampTap(int32_t sum)
{
    const int32_t v = (sum + 32) >> 6;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

inline uint8_t Apply4(const int8_t* t, const uint8_t* s)
{
    return ClampTap(t[0] * s[0] + t[1] * s[1] + t[2] * s[2] + t[3] * s[3]);
}

inline int32_t ClampRow(int32_t r, int32_t h) { return r < 0 ? 0 : (r >= h ? h - 1 : r); }

}  // namespace

void VeskFilterVert_c(const uint8_t* src, int32_t srcStride, int32_t width, int32_t height, uint8_t* dst,
                      int32_t dstStride, const int8_t* taps, int32_t n)
{
    const uint8_t* rows[16];
    if (n < 1 || n > 16) return;
    for (int32_t y = 0; y < height / 2; ++y) {
        for (int32_t k = 0; k < n; ++k)
            rows[k] = src + static_cast<ptrdiff_t>(ClampRow(2 * y + 1 - n / 2 + k, height)) * srcStride;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        for (int32_t x = 0; x < width; ++x) {
            int32_t sum = 0;
            for (int32_t k = 0; k < n; ++k) sum += taps[n - 1 - k] * rows[k][x];
            d[x] = ClampTap(sum);
        }
    }
}

void VeskFilterHor_c(const uint8_t* src, int32_t srcStride, int32_t width, int32_t rows, uint8_t* dst,
                     int32_t dstStride, const int8_t* taps, int32_t n)
{
    if (n < 1 || n > 16) return;
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* s = src + static_cast<ptrdiff_t>(y) * srcStride + 1 - n / 2;
        uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
        for (int32_t x = 0; x < width / 2; ++x) {
            int32_t sum = 0;
            for (int32_t k = 0; k < n; ++k) sum += taps[n - 1 - k] * s[2 * x + k];
            d[x] = ClampTap(sum);
        }
    }
}

void SetupFourTapGeometry(FourTapGeometry* g, int32_t dstWidth, int32_t dstHeight, int32_t srcWidth,
                          int32_t srcHeight, uint8_t tune)
{
    g->xStep = static_cast<uint32_t>((static_cast<int64_t>(srcWidth) * 65536 + dstWidth / 2) / dstWidth);
    g->yStep = static_cast<uint32_t>((static_cast<int64_t>(srcHeight) * 65536 + dstHeight / 2) / dstHeight);
    g->xStart = (g->xStep >> 1) - 32768u;
    g->yStart = (g->yStep >> 1) - 32768u;
    g->hor = FindSpecialRatio(dstWidth, srcWidth);
    g->ver = g->hor.iSet ? FindSpecialRatio(dstHeight, srcHeight) : FourTapSpecialRatio{};
    g->special = tune ? pSpecialTune : pSpecial;
    g->groups = g->hor.iSet ? (dstWidth - 16) / g->hor.iOutputs : 0;
    if (g->groups < 0) g->groups = 0;
    for (int32_t k = 0; k < kSpecialEntries; ++k)
        g->offsets[k] =
            k < g->hor.iOutputs ? ((2 * k + 1) * g->hor.iInputs - g->hor.iOutputs) / (2 * g->hor.iOutputs) : 0;
}

const int8_t* FourTapRowTaps(const FourTapGeometry& g, const int8_t* table, int32_t r)
{
    const uint32_t y = g.yStart + static_cast<uint32_t>(r) * g.yStep;
    return g.ver.iSet ? g.special[g.ver.iSet][r % g.ver.iPeriod] : table + ((y >> 10) & 63) * 4;
}

void WeighRows(uint8_t* d, const uint8_t* const* rows, const int8_t* t, int32_t n, int32_t from, int32_t to)
{
    for (int32_t x = from; x < to; ++x) {
        int32_t sum = 0;
        for (int32_t k = 0; k < n; ++k) sum += t[k] * rows[k][x];
        d[x] = ClampTap(sum);
    }
}

int32_t FourTapSpecialOutputs(uint8_t* d, const uint8_t* row, const FourTapGeometry& g)
{
    int32_t j = 0;
    for (int32_t group = 0; group < g.groups; ++group)
        for (int32_t k = 0; k < g.hor.iOutputs; ++k, ++j)
            d[j] = Apply4(g.special[g.hor.iSet][k], row + g.hor.iInputs * group + g.offsets[k] - 1);
    return j;
}

void FourTapGenericOutputs(uint8_t* d, const uint8_t* row, const int8_t* table, uint32_t xStart, uint32_t xStep,
                           int32_t from, int32_t to)
{
    for (int32_t j = from; j < to; ++j) {
        const uint32_t x = xStart + static_cast<uint32_t>(j) * xStep;
        d[j] = Apply4(table + ((x >> 10) & 63) * 4, row + (x >> 16) - 1);
    }
}

void VeskGeneralFourTapFilter_c(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                const uint8_t* src, int32_t srcStride, int32_t srcWidth, int32_t srcHeight,
                                const int8_t* table, uint8_t* tempRow, uint8_t tune)
{
    if (dstWidth < 1 || dstHeight < 1 || srcWidth < 1 || srcHeight < 1) return;
    FourTapGeometry g;
    SetupFourTapGeometry(&g, dstWidth, dstHeight, srcWidth, srcHeight, tune);
    uint8_t* row = tempRow + 16;
    for (int32_t r = 0; r < dstHeight; ++r) {
        const int32_t i = static_cast<int32_t>((g.yStart + static_cast<uint32_t>(r) * g.yStep) >> 16);
        const uint8_t* rows[4];
        for (int k = 0; k < 4; ++k) rows[k] = src + static_cast<ptrdiff_t>(ClampRow(i - 1 + k, srcHeight)) * srcStride;
        WeighRows(row, rows, FourTapRowTaps(g, table, r), 4, 0, srcWidth);
        row[-1] = row[0];
        row[srcWidth] = row[srcWidth - 1];
        uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstStride;
        FourTapGenericOutputs(d, row, table, g.xStart, g.xStep, FourTapSpecialOutputs(d, row, g), dstWidth);
    }
}

// ---- Selection -------------------------------------------------------------------

void VeskSetupPreprocessSimd(const char* limit, uint32_t flags, PreprocessKernels* k)
{
    if (!k) return;
    const char* l = limit ? limit : "";
    auto is = [l](const char* name) { return std::strcmp(l, name) == 0; };
    k->pfFilterHor = VeskFilterHor_c;
    k->pfFilterVert = VeskFilterVert_c;
    k->pfGeneralFourTap = VeskGeneralFourTapFilter_c;
    k->iSimdAvailable = 1;
    if (!is("avx") && !is("sse4") && !is("ssse3") && !is("sse2") && !is("c") && (flags & RL_CPU_AVX2)) {
        *k = {VeskFilterHor_avx2, VeskFilterVert_avx2, VeskGeneralFourTapFilter_avx2, 1};
    } else if (!is("sse4") && !is("ssse3") && !is("sse2") && !is("c") && (flags & RL_CPU_AVX)) {
        *k = {VeskFilterHor_avx, VeskFilterVert_avx, VeskGeneralFourTapFilter_avx, 1};
    } else if (!is("ssse3") && !is("sse2") && !is("c") && (flags & RL_CPU_SSE42)) {
        *k = {VeskFilterHor_sse4, VeskFilterVert_sse4, VeskGeneralFourTapFilter_sse4, 1};
    } else if (!is("sse2") && !is("c") && (flags & RL_CPU_SSSE3)) {
        *k = {VeskFilterHor_ssse3, VeskFilterVert_ssse3, VeskGeneralFourTapFilter_ssse3, 1};
    } else if (!is("c") && (flags & RL_CPU_SSE2)) {
        *k = {VeskFilterHor_sse2, VeskFilterVert_sse2, VeskGeneralFourTapFilter_sse2, 1};
    } else {
        k->iSimdAvailable = 0;
    }
}

// ---- The downsampler's filtered passes ------------------------------------------

int32_t CDownsampling::InitFilters()
{
    const int32_t n = static_cast<int32_t>(m_uiHalfBandTapCount);
    std::memset(m_iHalfBandTaps, 0, sizeof m_iHalfBandTaps);
    int32_t* quantised = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * n));
    if (!quantised) {
        RL_LOG(Warning, "CDownsampling::InitFilters(), malloc taps memory failed.");
        return RL_ERR_FAILED;
    }
    double* work = static_cast<double*>(std::malloc(sizeof(double) * n));
    if (!work) {
        RL_LOG(Warning, "CDownsampling::InitFilters(), DesignFilterDown failed(1).");
        std::free(quantised);
        return RL_ERR_FAILED;
    }
    DesignHalfBandTaps(m_uiLanczosTune, n, quantised, work);
    for (int32_t i = 0; i < n; ++i) m_iHalfBandTaps[i] = static_cast<int8_t>(quantised[i]);
    std::free(work);
    std::free(quantised);
    // The phase table does not depend on the tune: built once for the process.
    m_pFourTapTable = FourTapTable();
    return RL_OK;
}

void CDownsampling::DownsampleHalfMultiTap(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                           int32_t width, int32_t height)
{
    const uint32_t rowStride = static_cast<uint32_t>(width + 47) & ~15u;
    const uint32_t needed = static_cast<uint32_t>(height / 2 + 1) * rowStride;
    if (m_uiHalfBandTempCapacity < needed || !m_pHalfBandTempBuffer) {
        VeskFree(m_pHalfBandTempBuffer);
        m_pHalfBandTempBuffer = static_cast<uint8_t*>(VeskMalloc(needed, 16));
        m_uiHalfBandTempCapacity = m_pHalfBandTempBuffer ? needed : 0;
        if (!m_pHalfBandTempBuffer) {
            RL_LOG(Warning, "CDownsampling::DownsampleHalfMultiTap(), Allocate m_pHalfBandTempBuffer failed.");
            return;
        }
    }
    const uintptr_t base = reinterpret_cast<uintptr_t>(m_pHalfBandTempBuffer) & ~static_cast<uintptr_t>(15);
    uint8_t* temp = reinterpret_cast<uint8_t*>(base) + 32;
    const int32_t n = static_cast<int32_t>(m_uiHalfBandTapCount);
    m_sPreprocess.pfFilterVert(src, srcStride, width, height, temp, static_cast<int32_t>(rowStride), m_iHalfBandTaps,
                               n);
    // Replicated edges so that the horizontal pass needs no bounds checks.
    for (int32_t y = 0; y < height / 2; ++y) {
        uint8_t* r = temp + static_cast<size_t>(y) * rowStride;
        std::memset(r - 16, r[0], 16);
        std::memset(r + width, r[width - 1], 16);
    }
    m_sPreprocess.pfFilterHor(temp, static_cast<int32_t>(rowStride), width, height / 2, dst, dstStride,
                              m_iHalfBandTaps, n);
}

void CDownsampling::GeneralFourTapDownsampler(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                              const uint8_t* src, int32_t srcStride, int32_t srcWidth,
                                              int32_t srcHeight)
{
    const uint32_t needed = static_cast<uint32_t>(2 * srcWidth + 79) & ~15u;
    if (m_uiGeneralTempCapacity < needed || !m_pGeneralTempBuffer) {
        VeskFree(m_pGeneralTempBuffer);
        m_pGeneralTempBuffer = static_cast<uint8_t*>(VeskMalloc(needed, 16));
        m_uiGeneralTempCapacity = m_pGeneralTempBuffer ? needed : 0;
        if (!m_pGeneralTempBuffer) {
            RL_LOG(Warning, "CDownsampling::DownsampleHalfMultiTap(), Allocate m_pGeneralTempBuffer failed.");
            return;
        }
    }
    const uintptr_t base = reinterpret_cast<uintptr_t>(m_pGeneralTempBuffer) & ~static_cast<uintptr_t>(15);
    const int8_t* table = m_pFourTapTable ? m_pFourTapTable : FourTapTable();
    m_sPreprocess.pfGeneralFourTap(dst, dstStride, dstWidth, dstHeight, src, srcStride, srcWidth, srcHeight, table,
                                   reinterpret_cast<uint8_t*>(base) + 16, m_uiLanczosTune);
}

}  // namespace Ravvel
