#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame/logger.h"
#include "scale/super_resolution_kernels.h"
#include "scale/super_resolution_kernels_ref.h"

namespace Ravvel {

const int32_t qp_threshold[52] = {8,  8,  8,  8,  8,  8,   8,   8,   8,   8,   8,   8,   8,
                                  8,  8,  8,  8,  8,  8,   8,   10,  11,  12,  14,  16,  17,
                                  20, 22, 25, 28, 32, 35,  40,  45,  50,  57,  64,  71,  80,
                                  90, 101, 114, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128};

namespace {

// First scaled variance of each level 0..15.
constexpr int kLevelStart[16] = {0, 2, 3, 4, 5, 7, 9, 11, 16, 26, 36, 51, 76, 101, 151, 201};

struct VarLevelTable {
    uint8_t v[256];
    constexpr VarLevelTable() : v()
    {
        int level = 0;
        for (int i = 0; i < 256; ++i) {
            while (level < 15 && i >= kLevelStart[level + 1]) ++level;
            v[i] = static_cast<uint8_t>(level);
        }
    }
};
constexpr VarLevelTable kVarLevel;

inline int Avg(int a, int b) { return (a + b + 1) >> 1; }
inline int Min(int a, int b) { return a < b ? a : b; }
inline int Max(int a, int b) { return a > b ? a : b; }
inline int Med3(int a, int b, int c) { return Max(Min(a, b), Min(Max(a, b), c)); }
inline uint8_t Clip(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The 4x4 window of rows r0..r3 around the 2x2 block at columns x..x+1.
struct Window {
    uint8_t w[4][4];
    Window(const uint8_t* const rows[4], int x)
    {
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) w[i][j] = rows[i][x - 1 + j];
    }
};

// Smooth rule for the source pixel at window position (i, j); out[q] in phase order.
void SmoothPixel(const uint8_t w[4][4], int i, int j, uint8_t out[4])
{
    const int c2 = 2 * w[i][j];
    out[0] = static_cast<uint8_t>((w[i][j - 1] + w[i - 1][j] + c2 + 2) >> 2);
    out[1] = static_cast<uint8_t>((w[i][j + 1] + w[i - 1][j] + c2 + 2) >> 2);
    out[2] = static_cast<uint8_t>((w[i][j - 1] + w[i + 1][j] + c2 + 2) >> 2);
    out[3] = static_cast<uint8_t>((w[i][j + 1] + w[i + 1][j] + c2 + 2) >> 2);
}

void StorePixel(uint8_t* dst, int dstStride, int r, int x, const uint8_t out[4])
{
    uint8_t* d = dst + static_cast<ptrdiff_t>(2 * r) * dstStride + 2 * x;
    d[0] = out[0];
    d[1] = out[1];
    d[dstStride] = out[2];
    d[dstStride + 1] = out[3];
}

// Pattern class of a 3x3 neighbourhood (raster order) against threshold m.
int PatternClass(const int n[9], int m)
{
    int cls = 0;
    for (int k = 0; k < 8; ++k) cls |= (n[k] >= m) << k;
    return n[8] >= m ? cls ^ 255 : cls;
}

int QpIndex(int q) { return q > 51 ? 51 : q; }

}  // namespace

const uint8_t g_varLevel[256] = {
#define RL_VL(i) kVarLevel.v[i]
#define RL_VL8(i) RL_VL(i), RL_VL(i + 1), RL_VL(i + 2), RL_VL(i + 3), RL_VL(i + 4), RL_VL(i + 5), RL_VL(i + 6), RL_VL(i + 7)
#define RL_VL64(i) RL_VL8(i), RL_VL8(i + 8), RL_VL8(i + 16), RL_VL8(i + 24), RL_VL8(i + 32), RL_VL8(i + 40), \
                   RL_VL8(i + 48), RL_VL8(i + 56)
    RL_VL64(0), RL_VL64(64), RL_VL64(128), RL_VL64(192)
#undef RL_VL64
#undef RL_VL8
#undef RL_VL
};

// ---- Shared by the reference and the vector kernels --------------------------

void SREdgeColumns2x(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst, int dstStride,
                     int y)
{
    const uint8_t* up = src + static_cast<ptrdiff_t>(y == 0 ? 0 : y - 1) * srcStride;
    const uint8_t* r0 = src + static_cast<ptrdiff_t>(y) * srcStride;
    const uint8_t* r1 = r0 + srcStride;
    const uint8_t* down = src + static_cast<ptrdiff_t>(y + 2 < height ? y + 2 : height - 1) * srcStride;
    for (int side = 0; side < 2; ++side) {
        const int x = side == 0 ? 0 : width - 1;
        const int nx = side == 0 ? 1 : width - 2;  // the one horizontal neighbour
        for (int lower = 0; lower < 2; ++lower) {
            const uint8_t* row = lower ? r1 : r0;
            const int c = row[x], n = row[nx];
            const int U = lower ? r0[x] : up[x];
            const int D = lower ? down[x] : r1[x];
            uint8_t out[4];
            if (side == 0) {
                out[0] = static_cast<uint8_t>(Avg(c, Avg(c, U)));
                out[1] = static_cast<uint8_t>(Avg(c, Avg(U, n)));
                out[2] = static_cast<uint8_t>(Avg(c, Avg(c, D)));
                out[3] = static_cast<uint8_t>(Avg(c, Avg(n, D)));
            } else {
                out[0] = static_cast<uint8_t>(Avg(c, Avg(U, n)));
                out[1] = static_cast<uint8_t>(Avg(c, Avg(c, U)));
                out[2] = static_cast<uint8_t>(Avg(c, Avg(n, D)));
                out[3] = static_cast<uint8_t>(Avg(c, Avg(c, D)));
            }
            StorePixel(dst, dstStride, y + lower, x, out);
        }
    }
}

int SRBlockThreshold2x(const uint8_t* qpList, int qpStride, int y, int x, int thresholdScale, int chroma)
{
    const int shift = 4 - chroma;
    const uint8_t* q = qpList + static_cast<ptrdiff_t>(y >> shift) * qpStride + (x >> shift);
    const int qp = (x & 15) == 15 ? (q[0] + q[1]) >> 1 : q[0];
    return thresholdScale * qp_threshold[QpIndex(qp)];
}

int SRBlockThreshold1pt5(const uint8_t* qpList, int qpStride, int r, int c, int level, int chroma)
{
    const int shift = 4 - chroma;
    return level * qp_threshold[QpIndex(qpList[static_cast<ptrdiff_t>(r >> shift) * qpStride + (c >> shift)])];
}

void SRClassifiedBlock2x(const uint8_t* const rows[4], int x, uint8_t* dst, int dstStride, int y,
                         const int8_t* coeffsPad)
{
    const Window win(rows, x);
    const uint8_t(*w)[4] = win.w;
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 2; ++j) {
            int n[9];
            int lo = 255, hi = 0;
            for (int k = 0; k < 9; ++k) {
                n[k] = w[i - 1 + k / 3][j - 1 + k % 3];
                lo = Min(lo, n[k]);
                hi = Max(hi, n[k]);
            }
            const int cls = PatternClass(n, (lo + hi) >> 1);
            const int in[16] = {n[0], n[1], n[2], 0,    n[3], n[5], n[4], 0,
                                n[6], n[7], Med3(n[1], n[3], n[4]), 0,
                                n[8], Med3(n[1], n[4], n[5]), Med3(n[4], n[3], n[7]), 0};
            const int8_t* taps = coeffsPad + cls * (kSRPhases * kSRPadTaps);
            uint8_t out[4];
            for (int q = 0; q < 4; ++q) {
                int sum = 0;
                for (int t = 0; t < 16; ++t) sum += taps[q * 16 + t] * in[t];
                out[q] = Clip((sum + 32) >> 6);
            }
            StorePixel(dst, dstStride, y + i - 1, x + j - 1, out);
        }
}

void SRAdaptiveBlock2x(const uint8_t* const rows[4], int x, uint8_t* dst, int dstStride, int y, int threshold,
                       const int8_t* coeffsPad)
{
    const Window win(rows, x);
    const uint8_t(*w)[4] = win.w;
    int maxAct = 0;
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 2; ++j) {
            const int edges = w[i - 1][j] + w[i + 1][j] + w[i][j - 1] + w[i][j + 1];
            const int diag = w[i - 1][j - 1] + w[i - 1][j + 1] + w[i + 1][j - 1] + w[i + 1][j + 1];
            int act = 3 * edges + 2 * diag - 20 * w[i][j];
            act = act < 0 ? -act : act;
            maxAct = Max(maxAct, act);
        }
    if (4 * threshold <= maxAct) {
        SRClassifiedBlock2x(rows, x, dst, dstStride, y, coeffsPad);
        return;
    }
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 2; ++j) {
            uint8_t out[4];
            SmoothPixel(w, i, j, out);
            StorePixel(dst, dstStride, y + i - 1, x + j - 1, out);
        }
}

bool SRWindowUnchanged(const uint8_t* const rows[4], const uint8_t* const prevRows[4], int x)
{
    for (int i = 0; i < 4; ++i)
        if (std::memcmp(rows[i] + x - 1, prevRows[i] + x - 1, 4) != 0) return false;
    return true;
}

void SRRows2x(const uint8_t* base, int stride, int height, int y, const uint8_t* rows[4])
{
    rows[0] = base + static_cast<ptrdiff_t>(y == 0 ? 0 : y - 1) * stride;
    rows[1] = base + static_cast<ptrdiff_t>(y) * stride;
    rows[2] = rows[1] + stride;
    rows[3] = base + static_cast<ptrdiff_t>(y + 2 < height ? y + 2 : height - 1) * stride;
}

void SRSimpleBlock1pt5(const uint8_t* r0, const uint8_t* r1, int c, uint8_t* d, int dstStride)
{
    const int a = r0[c], b = r0[c + 1], d0 = r1[c], d1 = r1[c + 1];
    d[0] = static_cast<uint8_t>(a);
    d[1] = static_cast<uint8_t>(Avg(a, b));
    d[2] = static_cast<uint8_t>(b);
    d += dstStride;
    d[0] = static_cast<uint8_t>(Avg(a, d0));
    d[1] = static_cast<uint8_t>((a + b + d0 + d1 + 2) >> 2);
    d[2] = static_cast<uint8_t>(Avg(b, d1));
    d += dstStride;
    d[0] = static_cast<uint8_t>(d0);
    d[1] = static_cast<uint8_t>(Avg(d0, d1));
    d[2] = static_cast<uint8_t>(d1);
}

void SRRows1pt5(const uint8_t* base, int stride, int height, int r, const uint8_t* rows[4])
{
    rows[0] = base + static_cast<ptrdiff_t>(r == 0 ? 0 : r - 1) * stride;
    rows[1] = base + static_cast<ptrdiff_t>(r) * stride;
    rows[2] = rows[1] + stride;
    rows[3] = base + static_cast<ptrdiff_t>(r == height - 2 ? r + 1 : r + 2) * stride;
}

void SRAdaptiveBlock1pt5(const uint8_t* const rows[4], int c, uint8_t* d, int dstStride, int threshold,
                         const int8_t* table, bool altPhases)
{
    const Window win(rows, c);
    const uint8_t(*w)[4] = win.w;
    int lo = 255, hi = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            lo = Min(lo, w[i][j]);
            hi = Max(hi, w[i][j]);
        }
    if (threshold > hi - lo) {
        SRSimpleBlock1pt5(rows[1], rows[2], c, d, dstStride);
        return;
    }
    const int m = (lo + hi) >> 1;
    // Each block pixel sees its neighbourhood turned so that the block's
    // centre lies to its lower right: (row step, column step) from the pixel.
    static const int kPixel[4][4] = {{1, 1, 1, 1}, {1, 2, 1, -1}, {2, 1, -1, 1}, {2, 2, -1, -1}};
    // Outputs per pixel: (phase, row, column) of the 3x3 output block.
    static const int kOutputs[4][4][3] = {{{0, 0, 0}, {1, 0, 1}, {2, 1, 0}, {3, 1, 1}},
                                          {{0, 0, 2}, {2, 1, 2}, {-1, 0, 0}, {-1, 0, 0}},
                                          {{0, 2, 0}, {1, 2, 1}, {-1, 0, 0}, {-1, 0, 0}},
                                          {{0, 2, 2}, {-1, 0, 0}, {-1, 0, 0}, {-1, 0, 0}}};
    for (int p = 0; p < 4; ++p) {
        const int pi = kPixel[p][0], pj = kPixel[p][1], si = kPixel[p][2], sj = kPixel[p][3];
        int n[9];
        for (int k = 0; k < 9; ++k) n[k] = w[pi + si * (k / 3 - 1)][pj + sj * (k % 3 - 1)];
        const int cls = PatternClass(n, m);
        for (int o = 0; o < 4 && kOutputs[p][o][0] >= 0; ++o) {
            int phase = kOutputs[p][o][0];
            if (altPhases && (phase == 1 || phase == 2)) phase = 3 - phase;
            const int8_t* taps = table + cls * 64 + phase * 16;
            int sum = 0;
            for (int k = 0; k < 9; ++k) sum += taps[(k / 3) * 4 + k % 3] * n[k];
            d[static_cast<ptrdiff_t>(kOutputs[p][o][1]) * dstStride + kOutputs[p][o][2]] = Clip((sum + 16) >> 5);
        }
    }
}

// ---- Reference kernels ------------------------------------------------------------

void setup_coeffs_c(int8_t* pad, const int8_t* orig)
{
    static const int kFrom[16] = {0, 1, 2, -1, 3, 5, 4, -1, 6, 7, 9, -1, 8, 10, 11, -1};
    for (int g = 0; g < kSRClasses * kSRPhases; ++g)
        for (int t = 0; t < 16; ++t) pad[g * 16 + t] = kFrom[t] < 0 ? 0 : orig[g * kSROrigTaps + kFrom[t]];
}

void brillane_2x2_process_block_c(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                  int dstStride, int firstRow, int rowLimit, const uint8_t* qpList, int qpStride,
                                  const uint8_t* prev, int prevStride, int thresholdScale, int chroma,
                                  const int8_t* coeffsPad)
{
    for (int y = firstRow; y < rowLimit; y += 2) {
        SREdgeColumns2x(src, width, height, srcStride, dst, dstStride, y);
        const uint8_t* rows[4];
        const uint8_t* prevRows[4];
        SRRows2x(src, srcStride, height, y, rows);
        if (prev) SRRows2x(prev, prevStride, height, y, prevRows);
        for (int x = 1; x < width - 1; x += 2) {
            if (prev && SRWindowUnchanged(rows, prevRows, x)) continue;
            SRAdaptiveBlock2x(rows, x, dst, dstStride, y,
                              SRBlockThreshold2x(qpList, qpStride, y, x, thresholdScale, chroma), coeffsPad);
        }
    }
}

int enhSR_classify(const uint8_t patch[9])
{
    int sum = 0, sumSq = 0, lo = 255, hi = 0;
    for (int k = 0; k < 9; ++k) {
        sum += patch[k];
        sumSq += patch[k] * patch[k];
        lo = Min(lo, patch[k]);
        hi = Max(hi, patch[k]);
    }
    if (hi - lo < 16) return kSRFlatClass;
    const double mean = sum / 9.0;
    const double variance = sumSq / 9.0 - mean * mean;
    const int m = (hi + lo) >> 1;
    int pattern = 0;
    for (int k = 0; k < 9; ++k) pattern |= (patch[k] > m) << k;
    double scaled = variance * 255.0 / 16244.0;
    if (scaled < 0) scaled = 0;
    const int index = scaled >= 255.0 ? 255 : static_cast<int>(scaled);
    return pattern * 16 + g_varLevel[index];
}

void enhSR_2x2_process_block_c(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                               int dstStride, int firstRow, int rowLimit, const double* coefficients,
                               const bool* validFlags)
{
    for (int y = firstRow; y < rowLimit; y += 2) {
        SREdgeColumns2x(src, width, height, srcStride, dst, dstStride, y);
        const uint8_t* rows[4];
        SRRows2x(src, srcStride, height, y, rows);
        for (int x = 1; x < width - 1; x += 2) {
            const Window win(rows, x);
            const uint8_t(*w)[4] = win.w;
            uint8_t patches[4][9];
            bool flat = true;
            for (int p = 0; p < 4; ++p) {
                const int i = 1 + p / 2, j = 1 + p % 2;
                int lo = 255, hi = 0;
                for (int k = 0; k < 9; ++k) {
                    patches[p][k] = w[i - 1 + k / 3][j - 1 + k % 3];
                    lo = Min(lo, patches[p][k]);
                    hi = Max(hi, patches[p][k]);
                }
                if (hi - lo >= 16) flat = false;
            }
            for (int p = 0; p < 4; ++p) {
                const int i = 1 + p / 2, j = 1 + p % 2;
                uint8_t out[4];
                const int cls = flat ? -1 : enhSR_classify(patches[p]);
                if (cls < 0 || !validFlags[cls]) {
                    SmoothPixel(w, i, j, out);
                } else {
                    for (int q = 0; q < 4; ++q) {
                        const double* taps = coefficients + (static_cast<ptrdiff_t>(cls) * kSRPhases + q) * kSREnhTaps;
                        double s = 0.0;
                        for (int k = 0; k < 9; ++k) s += taps[k] * patches[p][k];
                        out[q] = s < 0.0 ? 0 : (s > 255.0 ? 255 : static_cast<uint8_t>(s));
                    }
                }
                StorePixel(dst, dstStride, y + p / 2, x + p % 2, out);
            }
        }
    }
}

void brillane_1pt5_process_block_c(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                   int dstStride, int firstRow, int rowLimit, const uint8_t* qpList, int qpStride,
                                   int level, int chroma)
{
    for (int r = firstRow; r < rowLimit; r += 2) {
        const uint8_t* rows[4];
        SRRows1pt5(src, srcStride, height, r, rows);
        uint8_t* d = dst + static_cast<ptrdiff_t>(3 * r / 2) * dstStride;
        SRSimpleBlock1pt5(rows[1], rows[2], 0, d, dstStride);
        for (int c = 2; c < width - 2; c += 2)
            SRAdaptiveBlock1pt5(rows, c, d + 3 * c / 2, dstStride,
                                SRBlockThreshold1pt5(qpList, qpStride, r, c, level, chroma), &coeffs_sym1pt5[0][0][0],
                                false);
        if (width > 2) SRSimpleBlock1pt5(rows[1], rows[2], width - 2, d + 3 * (width - 2) / 2, dstStride);
    }
}

void simple_scale_1pt5_process_block_c(const uint8_t* src, int width, int height, int srcStride, uint8_t* dst,
                                       int dstStride, int firstRow, int rowLimit)
{
    for (int r = firstRow; r < rowLimit; r += 2) {
        const uint8_t* r0 = src + static_cast<ptrdiff_t>(r) * srcStride;
        const uint8_t* r1 = r + 1 < height ? r0 + srcStride : r0;
        uint8_t* d = dst + static_cast<ptrdiff_t>(3 * r / 2) * dstStride;
        for (int c = 0; c < width - 1; c += 2) SRSimpleBlock1pt5(r0, r1, c, d + 3 * c / 2, dstStride);
    }
}

// ---- Enhanced coefficient file -----------------------------------------------------

int setup_enhSR_coeffs_c(const char* path, double* coefficients, bool* validFlags, Logger* logger)
{
    FILE* f = path ? std::fopen(path, "r") : nullptr;
    if (!f) {
        if (logger) logger->Error("setup_enhSR_coeffs_c: ERROR, Could not open filter coeffs file, %s\n",
                                  path ? path : "(null)");
        return 1;
    }
    char line[1024];
    int lastClass = 0;
    while (std::fgets(line, sizeof line, f)) {
        // A line longer than the buffer continues in the next read; its tail
        // is not a line of its own.
        const size_t len = std::strlen(line);
        const bool complete = len == 0 || line[len - 1] == '\n' || std::feof(f);
        int field = 0;
        long cls = 0, phase = -1;
        double taps[9] = {};
        int nTaps = 0;
        char* save = nullptr;
        for (char* tok = strtok_r(line, " ", &save); tok; tok = strtok_r(nullptr, " ", &save)) {
            ++field;
            if (field == 1) {
                cls = std::strtol(tok, nullptr, 10);
                if (cls == 0) break;
            } else if (field == 2) {
                phase = std::strtol(tok, nullptr, 10);
            } else if (field >= 7 && field <= 15) {
                taps[nTaps++] = std::strtod(tok, nullptr);
            }
        }
        if (!complete) {
            int ch;
            while ((ch = std::fgetc(f)) != EOF && ch != '\n') {
            }
        }
        if (cls == 0) continue;
        if (cls < 0 || cls > kSRFlatClass || phase < 0 || phase > 3) {
            if (logger)
                logger->Warning("setup_enhSR_coeffs_c: ignored a line for class %ld, phase %ld (classes run "
                                "from 1 to 8192, phases from 0 to 3)",
                                cls, phase);
            continue;
        }
        double* row = coefficients + (static_cast<ptrdiff_t>(cls) * kSRPhases + phase) * kSREnhTaps;
        for (int k = 0; k < 9; ++k) row[k] = taps[k];
        validFlags[cls] = true;
        lastClass = static_cast<int>(cls);
    }
    if (logger) logger->Info("setup_enhSR_coeffs_c: Loaded filter coefficients for %d numClass.\n", lastClass);
    std::fclose(f);
    return 0;
}

// ---- Kernel table -----------------------------------------------------------------

void FillSRKernels(SRKernels* t, uint32_t flags)
{
    RL_SELECT_TIERED(flags, t->pfSimple1pt5, simple_scale_1pt5_process_block);
    RL_SELECT_TIERED(flags, t->pfAdaptive1pt5, brillane_1pt5_process_block);
    RL_SELECT_TIERED(flags, t->pfAdaptive2x, brillane_2x2_process_block);
    RL_SELECT_TIERED(flags, t->pfSetupCoeffs, setup_coeffs);
}

}  // namespace Ravvel
