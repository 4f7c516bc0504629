#include "scale/super_resolution.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/picture.h"

namespace {

using namespace Ravvel;



// A plane with its own stride, filled by a function of (y, x).
struct TestPlane {
    int w, h, stride;
    std::vector<uint8_t> px;
    TestPlane(int w_, int h_, int pad = 0, uint8_t fill = 0) : w(w_), h(h_), stride(w_ + pad), px(size_t(stride) * h_, fill) {}
    uint8_t* row(int y) { return px.data() + size_t(y) * stride; }
    uint8_t& at(int y, int x) { return px[size_t(y) * stride + x]; }
    template <class F>
    void Fill(F f)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) at(y, x) = static_cast<uint8_t>(f(y, x));
    }
};

std::vector<int8_t> PaddedBuiltIn()
{
    std::vector<int8_t> pad(kSRPadBytes);
    setup_coeffs_c(pad.data(), &coeffs_orig[0][0][0]);
    return pad;
}

// A padded table whose every class copies one neighbour: pad position `tap`
// carries the whole weight in each phase.
std::vector<int8_t> PaddedCopying(int tap)
{
    std::vector<int8_t> pad(kSRPadBytes, 0);
    for (int g = 0; g < kSRClasses * kSRPhases; ++g) pad[g * 16 + tap] = 64;
    return pad;
}

std::vector<uint8_t> QpList(int w, int h, uint8_t qp) { return std::vector<uint8_t>(size_t((w + 15) / 16) * ((h + 15) / 16), qp); }

// ---- Built-in tables ----------------------------------------------------------------

TEST(SRTables, SumsLayoutAndRange)
{
    const int8_t sample[12] = {1, 4, -1, 4, 59, -4, 1, -4, -1, 2, 1, 2};
    EXPECT_EQ(0, std::memcmp(coeffs_orig[0][0], sample, 12));
    for (int c = 0; c < kSRClasses; ++c)
        for (int q = 0; q < 4; ++q) {
            int sum = 0, sum15 = 0;
            for (int t = 0; t < 12; ++t) {
                sum += coeffs_orig[c][q][t];
                // The vector kernels multiply byte pairs into 16 bits.
                ASSERT_LE(std::abs(coeffs_orig[c][q][t]), 64) << c << "/" << q;
            }
            ASSERT_EQ(sum, 64) << "class " << c << " phase " << q;
            for (int t = 0; t < 16; ++t) {
                sum15 += coeffs_sym1pt5[c][q][t];
                if (t % 4 == 3 || t >= 11) {
                    ASSERT_EQ(coeffs_sym1pt5[c][q][t], 0) << c << "/" << q << "/" << t;
                }
                ASSERT_LE(std::abs(coeffs_sym1pt5[c][q][t]), 64);
                const int altPhase = (q == 1 || q == 2) ? 3 - q : q;
                ASSERT_EQ(coeffs_sym1pt5_alt[c][altPhase][t], coeffs_sym1pt5[c][q][t]);
            }
            ASSERT_EQ(sum15, c == 256 ? 0 : 32) << "class " << c << " phase " << q;
        }
}

TEST(SRTables, PaddedLayout)
{
    const std::vector<int8_t> pad = PaddedBuiltIn();
    const int order[16] = {0, 1, 2, -1, 3, 5, 4, -1, 6, 7, 9, -1, 8, 10, 11, -1};
    for (int c = 0; c < kSRClasses; c += 37)
        for (int q = 0; q < 4; ++q)
            for (int t = 0; t < 16; ++t)
                EXPECT_EQ(pad[(c * 4 + q) * 16 + t], order[t] < 0 ? 0 : coeffs_orig[c][q][order[t]]);
}

TEST(SRTables, ThresholdsAndVarianceLevels)
{
    EXPECT_EQ(qp_threshold[19], 8);
    EXPECT_EQ(qp_threshold[24], 16);  // the default quantiser: T = 16 for luma, 64 for chroma
    EXPECT_EQ(qp_threshold[41], 114);
    EXPECT_EQ(qp_threshold[51], 128);
    const int starts[16] = {0, 2, 3, 4, 5, 7, 9, 11, 16, 26, 36, 51, 76, 101, 151, 201};
    for (int l = 1; l < 16; ++l) {
        EXPECT_EQ(g_varLevel[starts[l]], l);
        EXPECT_EQ(g_varLevel[starts[l] - 1], l - 1);
    }
    EXPECT_EQ(g_varLevel[255], 15);
}

// ---- Classification ---------------------------------------------------------------------

TEST(SREnhancedClassify, Examples)
{
    const uint8_t flat[9] = {7, 7, 7, 7, 7, 7, 7, 7, 7};
    EXPECT_EQ(enhSR_classify(flat), 8192);
    const uint8_t spot[9] = {0, 0, 0, 0, 0, 0, 0, 0, 255};
    EXPECT_EQ(enhSR_classify(spot), 4108);  // m 127, pattern 256, variance 6422.2 -> index 100, level 12
    const uint8_t lowRange[9] = {10, 25, 10, 25, 10, 25, 10, 25, 10};
    EXPECT_EQ(enhSR_classify(lowRange), 8192);
    const uint8_t edge[9] = {0, 0, 0, 0, 0, 0, 16, 16, 16};  // range 16: classified; m 8
    EXPECT_EQ(enhSR_classify(edge), (64 + 128 + 256) * 16 + g_varLevel[int(56.888 * 255.0 / 16244.0)]);
}

// ---- 2x kernels --------------------------------------------------------------------------

TEST(SRAdaptive2x, FlatPlaneStaysFlat)
{
    const std::vector<int8_t> pad = PaddedBuiltIn();
    for (int w : {2, 4, 18}) {
        TestPlane s(w, 6, 3, 77), d(2 * w, 12, 5, 0);
        const std::vector<uint8_t> qp = QpList(w, 6, 24);
        brillane_2x2_process_block_c(s.px.data(), w, 6, s.stride, d.px.data(), d.stride, 0, 6, qp.data(), (w + 15) / 16,
                                     nullptr, 0, 1, 0, pad.data());
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < d.stride; ++x) ASSERT_EQ(d.at(y, x), x < 2 * w ? 77 : 0) << w << ": " << y << "," << x;
        std::vector<double> coeffs(size_t(kSREnhClasses) * 4 * kSREnhTaps, 9.0);
        std::vector<uint8_t> valid(kSREnhClasses, 1);
        TestPlane e(2 * w, 12, 5, 0);
        enhSR_2x2_process_block_c(s.px.data(), w, 6, s.stride, e.px.data(), e.stride, 0, 6, coeffs.data(),
                                  reinterpret_cast<bool*>(valid.data()));
        EXPECT_EQ(e.px, d.px);
    }
}

TEST(SRAdaptive2x, EdgeColumnsAndSmoothRule)
{
    TestPlane s(4, 2), d(8, 4);
    const uint8_t v[2][4] = {{10, 20, 30, 40}, {50, 60, 70, 80}};
    s.Fill([&](int y, int x) { return v[y][x]; });
    const std::vector<uint8_t> qp = QpList(4, 2, 51);  // T = 128: the interior block is smooth
    const std::vector<int8_t> pad = PaddedBuiltIn();
    brillane_2x2_process_block_c(s.px.data(), 4, 2, 4, d.px.data(), 8, 0, 2, qp.data(), 1, nullptr, 0, 1, 0, pad.data());
    auto avg = [](int a, int b) { return (a + b + 1) >> 1; };
    // Column 0, upper pixel 10: U is itself, R 20, D 50.
    EXPECT_EQ(d.at(0, 0), avg(10, avg(10, 10)));
    EXPECT_EQ(d.at(0, 1), avg(10, avg(10, 20)));
    EXPECT_EQ(d.at(1, 0), avg(10, avg(10, 50)));
    EXPECT_EQ(d.at(1, 1), avg(10, avg(20, 50)));
    // Last column, lower pixel 80: U 40 (the upper pixel), L 70, D itself (last row).
    EXPECT_EQ(d.at(2, 6), avg(80, avg(40, 70)));
    EXPECT_EQ(d.at(2, 7), avg(80, avg(80, 40)));
    EXPECT_EQ(d.at(3, 6), avg(80, avg(70, 80)));
    EXPECT_EQ(d.at(3, 7), avg(80, avg(80, 80)));
    // Smooth rule at pixel (0, 1) = 20: left 10, right 30, up 20 (row 0), down 60.
    EXPECT_EQ(d.at(0, 2), (10 + 20 + 40 + 2) >> 2);
    EXPECT_EQ(d.at(0, 3), (30 + 20 + 40 + 2) >> 2);
    EXPECT_EQ(d.at(1, 2), (10 + 60 + 40 + 2) >> 2);
    EXPECT_EQ(d.at(1, 3), (30 + 60 + 40 + 2) >> 2);
}

// One pixel raised by `step` on a flat plane: its activity is 20 x step.
// The copying table makes a classified block tell itself apart from the
// smooth rule (its outputs copy the north-west neighbour).
struct ThresholdCase {
    int scale, chroma, qp, step;
    bool classified;
};
class SRThreshold : public testing::TestWithParam<ThresholdCase> {};

TEST_P(SRThreshold, ActivityAgainstFourT)
{
    const ThresholdCase& c = GetParam();
    TestPlane s(8, 8, 0, 100), d(16, 16);
    s.at(3, 3) = static_cast<uint8_t>(100 + c.step);
    const std::vector<uint8_t> qp = QpList(8, 8, static_cast<uint8_t>(c.qp));
    const std::vector<int8_t> pad = PaddedCopying(0);
    brillane_2x2_process_block_c(s.px.data(), 8, 8, 8, d.px.data(), 16, 0, 8, qp.data(), 1, nullptr, 0, c.scale, c.chroma,
                                 pad.data());
    // Output (6, 6) is phase 0 of the raised pixel: smooth gives (100 + 100 + 2 x raised + 2) >> 2.
    const int smooth = (200 + 2 * (100 + c.step) + 2) >> 2;
    EXPECT_EQ(d.at(6, 6), c.classified ? 100 : smooth);
}

INSTANTIATE_TEST_SUITE_P(Cases, SRThreshold,
                         testing::Values(ThresholdCase{1, 0, 24, 3, false}, ThresholdCase{1, 0, 24, 4, true},
                                         ThresholdCase{4, 1, 24, 12, false}, ThresholdCase{4, 1, 24, 13, true},
                                         ThresholdCase{1, 0, 0, 2, true}, ThresholdCase{1, 0, 200, 25, false},
                                         ThresholdCase{1, 0, 200, 26, true}));

TEST(SRAdaptive2x, QuantiserAveragedAcrossBlockBoundary)
{
    // The pair at x = 15 straddles two quantiser blocks: (0 + 51) >> 1 = 25 gives T = 17 (4T = 68).
    TestPlane s(20, 2, 0, 100), d(40, 4);
    s.at(0, 15) = 104;  // activity 80 >= 68: classified, although quantiser 51 alone would keep it smooth
    const uint8_t qp[2] = {0, 51};
    const std::vector<int8_t> pad = PaddedCopying(0);
    brillane_2x2_process_block_c(s.px.data(), 20, 2, 20, d.px.data(), 40, 0, 2, qp, 2, nullptr, 0, 1, 0, pad.data());
    EXPECT_EQ(d.at(0, 30), 100);
    s.at(0, 15) = 103;  // activity 60 < 68
    brillane_2x2_process_block_c(s.px.data(), 20, 2, 20, d.px.data(), 40, 0, 2, qp, 2, nullptr, 0, 1, 0, pad.data());
    EXPECT_EQ(d.at(0, 30), (100 + 103 + 206 + 2) >> 2);  // left 100, up is the pixel itself in row 0
}

TEST(SRAdaptive2x, ClassAndFilterOfOnePixel)
{
    // A vertical edge: pixel (1, 2) sees 10 10 200 in each row; m = 105,
    // pattern bits NE, E (set) and SE set -> inverted: bits NW N W C SW S = 0b10111011 ^ ... computed below.
    TestPlane s(6, 4);
    s.Fill([](int, int x) { return x >= 3 ? 200 : 10; });
    const std::vector<uint8_t> qp = QpList(6, 4, 24);
    const std::vector<int8_t> pad = PaddedBuiltIn();
    TestPlane d(12, 8);
    brillane_2x2_process_block_c(s.px.data(), 6, 4, 6, d.px.data(), 12, 0, 4, qp.data(), 1, nullptr, 0, 1, 0, pad.data());
    // Bits (>= 105): NE(2), E(5), SE -> set, so the eight bits 0b00100100 are inverted to 0b11011011.
    const int cls = 0xdb;
    const int in[16] = {10, 10, 200, 0, 10, 200, 10, 0, 10, 10, 10, 0, 200, 10, 10, 0};
    for (int q = 0; q < 4; ++q) {
        int sum = 0;
        for (int t = 0; t < 16; ++t) sum += pad[(cls * 4 + q) * 16 + t] * in[t];
        const int expect = std::min(255, std::max(0, (sum + 32) >> 6));
        EXPECT_EQ(d.at(2 + (q >> 1), 4 + (q & 1)), expect) << "phase " << q;
    }
}

TEST(SRAdaptive2x, TemporalReuseLeavesInteriorBlocks)
{
    TestPlane s(10, 6), d(20, 12, 0, 0xee);
    uint32_t seed = 5;
    s.Fill([&](int, int) { return (seed = seed * 1103515245u + 12345u) >> 24; });
    const std::vector<uint8_t> qp = QpList(10, 6, 24);
    const std::vector<int8_t> pad = PaddedBuiltIn();
    TestPlane fresh(20, 12);
    brillane_2x2_process_block_c(s.px.data(), 10, 6, 10, fresh.px.data(), 20, 0, 6, qp.data(), 1, nullptr, 0, 1, 0,
                                 pad.data());
    TestPlane prev = s;
    prev.at(5, 6) ^= 1;  // changes the windows of the pairs at x = 5 and 7 in rows 4..5 (and row pair 2..3 via y + 2)
    brillane_2x2_process_block_c(s.px.data(), 10, 6, 10, d.px.data(), 20, 0, 6, qp.data(), 1, prev.px.data(), 10, 1, 0,
                                 pad.data());
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            const int sx = x / 2, sy = y / 2;
            const bool edge = sx == 0 || sx == 9;
            const int bx = (sx - 1) / 2 * 2 + 1, by = sy / 2 * 2;
            // The changed sample (5, 6) lies in the window rows by-1..by+2, columns bx-1..bx+2.
            const bool changed = !edge && 5 >= (by == 0 ? 0 : by - 1) && 5 <= by + 2 && 6 >= bx - 1 && 6 <= bx + 2;
            if (edge || changed)
                ASSERT_EQ(d.at(y, x), fresh.at(y, x)) << y << "," << x;
            else
                ASSERT_EQ(d.at(y, x), 0xee) << y << "," << x;
        }
}

TEST(SREnhanced2x, ValidClassesUseTheirCoefficientsOthersSmooth)
{
    TestPlane s(4, 2);
    const uint8_t v[2][4] = {{0, 0, 100, 100}, {0, 0, 100, 100}};
    s.Fill([&](int y, int x) { return v[y][x]; });
    std::vector<double> coeffs(size_t(kSREnhClasses) * 4 * kSREnhTaps, 0.0);
    std::vector<uint8_t> valid(kSREnhClasses, 0);
    // Pixel (0, 1) sees rows {0 0 100} x3: m = 50, pattern bits 2, 5, 8; variance 2222.2 -> index 34, level 9.
    const uint8_t patch[9] = {0, 0, 100, 0, 0, 100, 0, 0, 100};
    const int cls = enhSR_classify(patch);
    ASSERT_EQ(cls, (4 + 32 + 256) * 16 + 9);
    valid[cls] = 1;
    for (int q = 0; q < 4; ++q) {
        double* t = &coeffs[(size_t(cls) * 4 + q) * kSREnhTaps];
        t[2] = 0.5 + 0.1 * q;  // north-east
        t[4] = 1.0;  // the centre is 0 here
    }
    TestPlane d(8, 4);
    enhSR_2x2_process_block_c(s.px.data(), 4, 2, 4, d.px.data(), 8, 0, 2, coeffs.data(),
                              reinterpret_cast<bool*>(valid.data()));
    for (int q = 0; q < 4; ++q) EXPECT_EQ(d.at(q >> 1, 2 + (q & 1)), int(100 * (0.5 + 0.1 * q))) << q;
    // Pixel (0, 2) = 100 has a class without coefficients: smooth (left 0, right 100, up 100, down 100).
    EXPECT_EQ(d.at(0, 4), (0 + 100 + 200 + 2) >> 2);
    EXPECT_EQ(d.at(1, 5), (100 + 100 + 200 + 2) >> 2);
}

// ---- 1.5x kernels ---------------------------------------------------------------------------

TEST(SRSimple1pt5, BlockExample)
{
    TestPlane s(2, 2), d(3, 3);
    const uint8_t v[4] = {10, 20, 30, 40};
    s.Fill([&](int y, int x) { return v[2 * y + x]; });
    simple_scale_1pt5_process_block_c(s.px.data(), 2, 2, 2, d.px.data(), 3, 0, 2);
    EXPECT_EQ(d.px, (std::vector<uint8_t>{10, 15, 20, 20, 25, 30, 30, 35, 40}));
}

TEST(SRAdaptive1pt5, OnlyInnerBlocksAreTestedAgainstT)
{
    // Six columns: the blocks at c = 0 and c = 4 take the simple values even
    // with a strong edge; c = 2 is classified.
    TestPlane s(6, 4), simple(9, 6), adaptive(9, 6);
    s.Fill([](int y, int x) { return (x + y) % 3 == 0 ? 250 : 5; });
    const std::vector<uint8_t> qp = QpList(6, 4, 24);
    simple_scale_1pt5_process_block_c(s.px.data(), 6, 4, 6, simple.px.data(), 9, 0, 4);
    brillane_1pt5_process_block_c(s.px.data(), 6, 4, 6, adaptive.px.data(), 9, 0, 4, qp.data(), 1, 1, 0);
    bool innerDiffers = false;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) {
            if (x < 3 || x >= 6)
                EXPECT_EQ(adaptive.at(y, x), simple.at(y, x)) << y << "," << x;
            else
                innerDiffers |= adaptive.at(y, x) != simple.at(y, x);
        }
    EXPECT_TRUE(innerDiffers);
}

TEST(SRAdaptive1pt5, RangeBelowThresholdTakesSimpleValues)
{
    // Range 15 everywhere: at level 1 with quantiser 24, T = 16 > 15.
    TestPlane s(16, 8), simple(24, 12), adaptive(24, 12);
    s.Fill([](int y, int x) { return 100 + (x * 7 + y * 3) % 16; });
    const std::vector<uint8_t> qp = QpList(16, 8, 24);
    simple_scale_1pt5_process_block_c(s.px.data(), 16, 8, 16, simple.px.data(), 24, 0, 8);
    brillane_1pt5_process_block_c(s.px.data(), 16, 8, 16, adaptive.px.data(), 24, 0, 8, qp.data(), 1, 1, 0);
    EXPECT_EQ(adaptive.px, simple.px);
    // Level 0 makes T = 0: every inner block is classified and the output changes.
    brillane_1pt5_process_block_c(s.px.data(), 16, 8, 16, adaptive.px.data(), 24, 0, 8, qp.data(), 1, 0, 0);
    EXPECT_NE(adaptive.px, simple.px);
}

TEST(SRAdaptive1pt5, OrientedFilters)
{
    // One classified block at c = 2 of a 6x2 plane; each output is checked
    // against the table with the pixel's mirrored neighbourhood.
    TestPlane s(6, 2);
    const uint8_t v[2][6] = {{9, 40, 200, 13, 90, 7}, {120, 3, 77, 250, 66, 31}};
    s.Fill([&](int y, int x) { return v[y][x]; });
    const std::vector<uint8_t> qp = QpList(6, 2, 0);
    TestPlane d(9, 3);
    brillane_1pt5_process_block_c(s.px.data(), 6, 2, 6, d.px.data(), 9, 0, 2, qp.data(), 1, 1, 0);
    // Rows: r - 1 -> row 0, r + 2 -> row 1 (the last pair).
    auto at = [&](int y, int x) { return int(s.at(y < 0 ? 0 : (y > 1 ? 1 : y), x)); };
    int lo = 255, hi = 0;
    for (int y = -1; y <= 2; ++y)
        for (int x = 1; x <= 4; ++x) lo = std::min(lo, at(y, x)), hi = std::max(hi, at(y, x));
    const int m = (lo + hi) >> 1;
    struct Pix { int y, x, sy, sx; std::vector<std::array<int, 3>> outs; };
    const Pix pixels[4] = {{0, 2, 1, 1, {{0, 0, 3}, {1, 0, 4}, {2, 1, 3}, {3, 1, 4}}},
                           {0, 3, 1, -1, {{0, 0, 5}, {2, 1, 5}}},
                           {1, 2, -1, 1, {{0, 2, 3}, {1, 2, 4}}},
                           {1, 3, -1, -1, {{0, 2, 5}}}};
    for (const Pix& p : pixels) {
        int n[9];
        for (int k = 0; k < 9; ++k) n[k] = at(p.y + p.sy * (k / 3 - 1), p.x + p.sx * (k % 3 - 1));
        int cls = 0;
        for (int k = 0; k < 8; ++k) cls |= (n[k] >= m) << k;
        if (n[8] >= m) cls ^= 255;
        for (const auto& o : p.outs) {
            int sum = 0;
            for (int k = 0; k < 9; ++k) sum += coeffs_sym1pt5[cls][o[0]][(k / 3) * 4 + k % 3] * n[k];
            EXPECT_EQ(d.at(o[1], o[2]), std::min(255, std::max(0, (sum + 16) >> 5))) << p.y << "," << p.x << " phase " << o[0];
        }
    }
}

// ---- Coefficient file ---------------------------------------------------------------------------

class CoeffFile {
public:
    explicit CoeffFile(const std::string& text)
    {
        char name[] = "/tmp/rl_sr_coeffsXXXXXX";
        const int fd = mkstemp(name);
        m_path = name;
        if (fd >= 0) {
            const ssize_t n = write(fd, text.data(), text.size());
            (void)n;
            close(fd);
        }
    }
    ~CoeffFile() { std::remove(m_path.c_str()); }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

TEST(SRCoeffFile, LinesAreParsedAndRefused)
{
    CoeffFile file("12 3 a b c d 0.5 0.25\n"
                   "0 1 x x x x 9 9 9\n"
                   "abc 1 x x x x 9 9 9\n"
                   "8193 0 x x x x 1\n"
                   "40 4 x x x x 1\n"
                   "40 -1 x x x x 1\n"
                   "8192 2 p q r s 1 2 3 4 5 6 7 8 9 10 11\n"
                   "\n");
    std::vector<double> coeffs(size_t(kSREnhClasses) * 4 * kSREnhTaps, 0.0);
    std::vector<uint8_t> valid(kSREnhClasses, 0);
    Logger logger(nullptr, "SR");
    rltest::LogCapture log;
    logger.SetLogCallbackFunc(&rltest::LogCapture::Callback);
    logger.SetLogCallbackInstance(&log);
    ASSERT_EQ(setup_enhSR_coeffs_c(file.path().c_str(), coeffs.data(), reinterpret_cast<bool*>(valid.data()), &logger), 0);
    const double* row12 = &coeffs[(12 * 4 + 3) * kSREnhTaps];
    EXPECT_EQ(row12[0], 0.5);
    EXPECT_EQ(row12[1], 0.25);
    for (int k = 2; k < kSREnhTaps; ++k) EXPECT_EQ(row12[k], 0.0);
    const double* row8192 = &coeffs[(size_t(8192) * 4 + 2) * kSREnhTaps];
    for (int k = 0; k < 9; ++k) EXPECT_EQ(row8192[k], k + 1);
    EXPECT_EQ(row8192[9], 0.0);  // the tenth element is never written
    int validCount = 0;
    for (uint8_t v : valid) validCount += v;
    EXPECT_EQ(validCount, 2);
    EXPECT_TRUE(valid[12] && valid[8192]);
    EXPECT_FALSE(valid[40] || valid[0]);
    int warnings = 0;
    for (const auto& l : log.lines) warnings += l.level == RL_TRACE_WARNING;
    EXPECT_EQ(warnings, 3);
    EXPECT_TRUE(log.Contains("setup_enhSR_coeffs_c: Loaded filter coefficients for 8192 numClass."));
    EXPECT_EQ(setup_enhSR_coeffs_c("/nonexistent/sr.txt", coeffs.data(), reinterpret_cast<bool*>(valid.data()), &logger), 1);
    EXPECT_TRUE(log.Contains("setup_enhSR_coeffs_c: ERROR, Could not open filter coeffs file, /nonexistent/sr.txt"));
}

// ---- Through IRavvel ---------------------------------------------------------------------------------

class SRMethod : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateRavvel(&m_rl), RL_OK);
        m_log.Attach(m_rl);
    }
    void TearDown() override { DestroyRavvel(m_rl); }
    int32_t Init(bool toCaller = false) { return m_rl->Init(RL_METHOD_SUPER_RESOLUTION, nullptr, toCaller); }
    int32_t Run(rltest::Picture& s, rltest::Picture& d) { return m_rl->Process(RL_METHOD_SUPER_RESOLUTION, s.info(), d.info(), nullptr); }
    int32_t SetU8(RL_EOption o, uint8_t v) { return m_rl->SetOption(RL_METHOD_SUPER_RESOLUTION, o, &v); }
    int Warnings() const
    {
        int n = 0;
        for (const auto& l : m_log.lines) n += l.level == RL_TRACE_WARNING || l.level == RL_TRACE_ERROR;
        return n;
    }
    static void Texture(rltest::Picture& p, uint32_t seed)
    {
        for (int i = 0; i < 3; ++i) {
            const SRLPictureInfo* in = p.info();
            const int w = i ? in->iWidth / 2 : in->iWidth, h = i ? in->iHeight / 2 : in->iHeight;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    in->pData[i][y * in->iStride[i] + x] =
                        static_cast<uint8_t>(((x * 37 + y * 11 + i * 50) % 97) * 2 + ((seed = seed * 1664525u + 1013904223u) >> 29));
        }
    }
    IRavvel* m_rl = nullptr;
    rltest::LogCapture m_log;
};

TEST_F(SRMethod, RefusesBadInputWithItsMessage)
{
    ASSERT_EQ(Init(), RL_OK);
    rltest::Picture s(RL_FORMAT_I420, 64, 36), d(RL_FORMAT_I420, 128, 72);
    EXPECT_EQ(m_rl->Process(RL_METHOD_SUPER_RESOLUTION, nullptr, d.info(), nullptr), RL_ERR_FAILED);
    EXPECT_TRUE(m_log.Contains("CSuperResolution::InitBuffer(), input or output picture pointer is null"));
    SRLPictureInfo noPlane = *s.info();
    noPlane.pData[2] = nullptr;
    EXPECT_EQ(m_rl->Process(RL_METHOD_SUPER_RESOLUTION, &noPlane, d.info(), nullptr), RL_ERR_FAILED);
    EXPECT_TRUE(m_log.Contains("CSuperResolution::InitBuffer(), input data pointer is null."));
    for (uint32_t f : {uint32_t(RL_FORMAT_NV12), uint32_t(RL_FORMAT_FLAG_BOTTOM_UP | RL_FORMAT_I420)}) {
        SRLPictureInfo other = *s.info();
        other.eFormat = static_cast<RL_EVideoFormat>(f);
        EXPECT_EQ(m_rl->Process(RL_METHOD_SUPER_RESOLUTION, &other, d.info(), nullptr), RL_ERR_FAILED);
        EXPECT_TRUE(m_log.Contains("CSuperResolution::InitBuffer(), unsupported video format: " + std::to_string(int(f))));
    }
    rltest::Picture odd(RL_FORMAT_I420, 160, 90), oddOut(RL_FORMAT_I420, 240, 135);
    EXPECT_EQ(Run(odd, oddOut), RL_ERR_FAILED);
    EXPECT_TRUE(m_log.Contains("CSuperResolution::InitBuffer(), Odd frame size."));
    SRLPictureInfo empty = *d.info();
    empty.iWidth = 0;
    EXPECT_EQ(m_rl->Process(RL_METHOD_SUPER_RESOLUTION, s.info(), &empty, nullptr), RL_ERR_FAILED);
    EXPECT_TRUE(m_log.Contains("CSuperResolution::InitBuffer(), input or output frame size is 0."));
    SRLPictureInfo shortPitch = *s.info();
    shortPitch.iStride[1] = 31;
    EXPECT_EQ(m_rl->Process(RL_METHOD_SUPER_RESOLUTION, &shortPitch, d.info(), nullptr), RL_ERR_FAILED);
    uint8_t inited = 7;
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_SR_INITED, &inited), RL_OK);
    EXPECT_EQ(inited, 0);

    // An unsupported ratio fails without a warning.
    const int before = Warnings();
    rltest::Picture s2(RL_FORMAT_I420, 640, 360), d2(RL_FORMAT_I420, 1000, 600);
    EXPECT_EQ(Run(s2, d2), RL_ERR_FAILED);
    EXPECT_EQ(Warnings(), before);
}

TEST_F(SRMethod, OutputToCallerRefusesMissingPlanes)
{
    ASSERT_EQ(Init(true), RL_OK);
    rltest::Picture s(RL_FORMAT_I420, 32, 16), d(RL_FORMAT_I420, 64, 32);
    SRLPictureInfo noOut = *d.info();
    noOut.pData[1] = nullptr;
    EXPECT_EQ(m_rl->Process(RL_METHOD_SUPER_RESOLUTION, s.info(), &noOut, nullptr), RL_ERR_FAILED);
    EXPECT_TRUE(m_log.Contains("CSuperResolution::InitBuffer(), output data pointer is null."));
}

struct ModeCase {
    int w, h, dw, dh;
    int simple, enhanced;  // -1: option not set
    uint32_t mode;
    int32_t result;
};
class SRModes : public SRMethod, public testing::WithParamInterface<ModeCase> {};

TEST_P(SRModes, FromSizesAndOptions)
{
    const ModeCase& c = GetParam();
    rltest::LogCapture log;  // outlives the object, which logs as it goes
    CSuperResolution sr(0);
    sr.Init(nullptr, true);
    if (c.simple >= 0) {
        uint8_t v = uint8_t(c.simple);
        sr.SetOption(RL_OPTION_SR_SIMPLE_1PT5, &v);
    }
    if (c.enhanced >= 0) {
        uint8_t v = uint8_t(c.enhanced);
        sr.SetOption(RL_OPTION_SR_ENHANCED, &v);
    }
    sr.GetLogger()->SetLogCallbackFunc(&rltest::LogCapture::Callback);
    sr.GetLogger()->SetLogCallbackInstance(&log);
    rltest::Picture s(RL_FORMAT_I420, c.w, c.h), d(RL_FORMAT_I420, c.dw, c.dh);
    EXPECT_EQ(sr.Process(s.info(), d.info(), nullptr), c.result);
    EXPECT_EQ(sr.Mode(), c.mode);
    EXPECT_EQ(log.Contains("CSuperResolution::Process: 1.5X version of enhanced Super Resolution Filter is not supported yet."),
              c.mode == SR_MODE_ENHANCED_1PT5);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SRModes,
    testing::Values(ModeCase{64, 36, 128, 72, -1, -1, SR_MODE_ADAPTIVE_2X, RL_OK},
                    ModeCase{64, 36, 128, 72, 1, -1, SR_MODE_ADAPTIVE_2X, RL_OK},
                    ModeCase{64, 36, 96, 54, -1, -1, SR_MODE_ADAPTIVE_1PT5, RL_OK},
                    ModeCase{64, 36, 96, 54, -1, 1, SR_MODE_ENHANCED_1PT5, RL_ERR_UNSUPPORTED},
                    ModeCase{64, 36, 96, 54, 1, 1, SR_MODE_SIMPLE_1PT5, RL_OK},
                    ModeCase{64, 36, 96, 54, -1, 2, SR_MODE_SIMPLE_1PT5, RL_OK},
                    ModeCase{64, 36, 96, 54, -1, 3, 7, RL_ERR_FAILED}));

TEST(SRLevels, FromSourceSize)
{
    int32_t y, c;
    CSuperResolution::Levels1pt5(640, 360, &y, &c);
    EXPECT_EQ(y, 1);
    EXPECT_EQ(c, 4);
    CSuperResolution::Levels1pt5(320, 180, &y, &c);
    EXPECT_EQ(y, 2);
    EXPECT_EQ(c, 2);
    CSuperResolution::Levels1pt5(1280, 120, &y, &c);  // k = 3
    EXPECT_EQ(y, 3);
    EXPECT_EQ(c, 3);
    CSuperResolution::Levels1pt5(64, 36, &y, &c);  // k = 10
    EXPECT_EQ(y, 3);
    EXPECT_EQ(c, 3);
    CSuperResolution::Levels1pt5(1920, 1080, &y, &c);  // k = 0
    EXPECT_EQ(y, 1);
    EXPECT_EQ(c, 4);
}

// What the method must produce for one I420 frame, computed with the
// reference kernels straight from the planes.
std::vector<uint8_t> Expected2x(rltest::Picture& s, const uint8_t* qp)
{
    const SRLPictureInfo* in = s.info();
    const std::vector<int8_t> pad = PaddedBuiltIn();
    std::vector<uint8_t> out;
    for (int p = 0; p < 3; ++p) {
        const int w = p ? in->iWidth / 2 : in->iWidth, h = p ? in->iHeight / 2 : in->iHeight;
        std::vector<uint8_t> plane(size_t(4) * w * h);
        brillane_2x2_process_block_c(in->pData[p], w, h, in->iStride[p], plane.data(), 2 * w, 0, h, qp, (in->iWidth + 15) / 16,
                                     nullptr, 0, p ? 4 : 1, p ? 1 : 0, pad.data());
        out.insert(out.end(), plane.begin(), plane.end());
    }
    return out;
}

std::vector<uint8_t> Planes(const SRLPictureInfo& d)
{
    std::vector<uint8_t> out;
    for (int p = 0; p < 3; ++p) {
        const int w = p ? d.iWidth / 2 : d.iWidth, h = p ? d.iHeight / 2 : d.iHeight;
        for (int y = 0; y < h; ++y) out.insert(out.end(), d.pData[p] + y * d.iStride[p], d.pData[p] + y * d.iStride[p] + w);
    }
    return out;
}

TEST_F(SRMethod, LibraryAndCallerOutputAgreeWithTheKernels)
{
    rltest::Picture s(RL_FORMAT_I420, 96, 40, 5);
    Texture(s, 3);
    const std::vector<uint8_t> qp = QpList(96, 40, 24);
    const std::vector<uint8_t> expect = Expected2x(s, qp.data());

    ASSERT_EQ(Init(false), RL_OK);
    rltest::Picture d(RL_FORMAT_I420, 192, 80);
    ASSERT_EQ(Run(s, d), RL_OK);
    EXPECT_NE(d.info()->pData[0], nullptr);
    EXPECT_EQ(d.info()->iStride[0] % 16, 0);
    EXPECT_EQ(Planes(*d.info()), expect);  // the descriptor now shows library memory
    uint8_t inited = 0;
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_SR_INITED, &inited), RL_OK);
    EXPECT_EQ(inited, 1);
    EXPECT_EQ(m_rl->Uninit(RL_METHOD_SUPER_RESOLUTION), RL_OK);

    // Caller output: an unaligned destination goes through the copy-out path.
    for (int pad : {0, 3}) {
        ASSERT_EQ(Init(true), RL_OK);
        rltest::Picture c(RL_FORMAT_I420, 192, 80, pad);
        ASSERT_EQ(Run(s, c), RL_OK);
        EXPECT_EQ(Planes(*c.info()), expect) << "pad " << pad;
        EXPECT_EQ(m_rl->Uninit(RL_METHOD_SUPER_RESOLUTION), RL_OK);
    }

    // The caller's quantiser list replaces the default one.
    const std::vector<uint8_t> coarse = QpList(96, 40, 51);
    ASSERT_EQ(Init(true), RL_OK);
    s.info()->pQPList = const_cast<uint8_t*>(coarse.data());
    rltest::Picture c(RL_FORMAT_I420, 192, 80);
    ASSERT_EQ(Run(s, c), RL_OK);
    EXPECT_EQ(Planes(*c.info()), Expected2x(s, coarse.data()));
    EXPECT_NE(Planes(*c.info()), expect);
}

TEST_F(SRMethod, SecondIdenticalFrameReusesInteriorBlocks)
{
    ASSERT_EQ(Init(false), RL_OK);
    rltest::Picture s(RL_FORMAT_I420, 64, 32), d(RL_FORMAT_I420, 128, 64);
    Texture(s, 9);
    ASSERT_EQ(Run(s, d), RL_OK);
    const std::vector<uint8_t> first = Planes(*d.info());
    // Mark the library's output: interior blocks of an unchanged frame keep
    // the mark, edge columns are written again.
    uint8_t* y = d.info()->pData[0];
    const int stride = d.info()->iStride[0];
    for (int r = 0; r < 64; ++r) y[r * stride + 0] = y[r * stride + 40] = y[r * stride + 127] = 1;
    rltest::Picture d2(RL_FORMAT_I420, 128, 64);
    ASSERT_EQ(Run(s, d2), RL_OK);
    EXPECT_EQ(d2.info()->pData[0], y);
    for (int r = 0; r < 64; ++r) {
        EXPECT_EQ(y[r * stride + 0], first[r * 128 + 0]);
        EXPECT_EQ(y[r * stride + 127], first[r * 128 + 127]);
        EXPECT_EQ(y[r * stride + 40], 1);
    }
}

TEST_F(SRMethod, SizeChangesStartOver)
{
    // Frames whose sizes (or ratio) change on one object give what a fresh
    // object gives: no block is skipped against a frame whose output the
    // library buffer no longer holds.
    ASSERT_EQ(Init(false), RL_OK);
    const int sizes[][4] = {{64, 32, 128, 64}, {64, 32, 96, 48}, {64, 32, 128, 64}, {32, 16, 64, 32}, {64, 32, 128, 64}};
    for (const auto& z : sizes) {
        rltest::Picture s(RL_FORMAT_I420, z[0], z[1]), d(RL_FORMAT_I420, z[2], z[3]);
        Texture(s, 21);
        ASSERT_EQ(Run(s, d), RL_OK);
        CSuperResolution fresh(0);
        fresh.Init(nullptr, false);
        rltest::Picture fd(RL_FORMAT_I420, z[2], z[3]);
        ASSERT_EQ(fresh.Process(s.info(), fd.info(), nullptr), RL_OK);
        EXPECT_EQ(Planes(*d.info()), Planes(*fd.info())) << z[0] << "x" << z[1] << " to " << z[2] << "x" << z[3];
    }
}

TEST_F(SRMethod, EnhancedModeWithoutFileFailsEveryFrame)
{
    ASSERT_EQ(Init(false), RL_OK);
    ASSERT_EQ(SetU8(RL_OPTION_SR_ENHANCED, 1), RL_OK);
    rltest::Picture s(RL_FORMAT_I420, 64, 36), d(RL_FORMAT_I420, 128, 72);
    for (int frame = 0; frame < 2; ++frame) {
        m_log.lines.clear();
        EXPECT_EQ(Run(s, d), RL_ERR_FAILED);
        EXPECT_TRUE(m_log.Contains("CSuperResolution::InitBuffer: Using default coeff filter coefficients file, "
                                   "../../../../../super_resolution/data/superResCoeffs.txt"));
        EXPECT_TRUE(m_log.Contains("setup_enhSR_coeffs_c: ERROR, Could not open filter coeffs file, "
                                   "../../../../../super_resolution/data/superResCoeffs.txt"));
        EXPECT_TRUE(m_log.Contains("CSuperResolution::InitBuffer: setup_enhSR_coeffs_c returns 1"));
    }
}

TEST_F(SRMethod, HostCoefficientFileIsUsedExactly)
{
    // Every class: phase q copies one neighbour (west, east, north, south) at
    // weight 1.0 plus 0.4, so truncation lands on the neighbour itself.
    std::string text;
    const int neighbour[4] = {3, 5, 1, 7};
    for (int c = 1; c <= 8192; ++c)
        for (int q = 0; q < 4; ++q) {
            text += std::to_string(c) + " " + std::to_string(q) + " 0 0 0 0";
            for (int k = 0; k < 9; ++k) text += k == neighbour[q] ? " 1.0" : (k == 4 ? " 0.002" : " 0");
            text += "\n";
        }
    CoeffFile file(text);
    ASSERT_EQ(Init(true), RL_OK);
    ASSERT_EQ(SetU8(RL_OPTION_SR_ENHANCED, 1), RL_OK);
    ASSERT_EQ(m_rl->SetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_SR_COEFF_FILE, const_cast<char*>(file.path().c_str())),
              RL_OK);
    rltest::Picture s(RL_FORMAT_I420, 32, 16), d(RL_FORMAT_I420, 64, 32);
    for (int i = 0; i < 3; ++i) {
        const int w = i ? 16 : 32, h = i ? 8 : 16;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) s.info()->pData[i][y * s.info()->iStride[i] + x] = static_cast<uint8_t>((x * 29 + y * 71) % 200);
    }
    ASSERT_EQ(Run(s, d), RL_OK);
    EXPECT_TRUE(m_log.Contains("setup_enhSR_coeffs_c: Loaded filter coefficients for 8192 numClass."));
    const SRLPictureInfo* in = s.info();
    const SRLPictureInfo* out = d.info();
    for (int y = 0; y < 16; y += 2)
        for (int x = 1; x < 31; ++x) {
            // Every block here has a range of at least 16, so each pixel is classified.
            const uint8_t* r = in->pData[0] + y * in->iStride[0];
            EXPECT_EQ(out->pData[0][(2 * y) * out->iStride[0] + 2 * x], r[x - 1]) << y << "," << x;
            EXPECT_EQ(out->pData[0][(2 * y) * out->iStride[0] + 2 * x + 1], r[x + 1]) << y << "," << x;
        }
}

TEST_F(SRMethod, Options)
{
    ASSERT_EQ(Init(), RL_OK);
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_SR_ENHANCED, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_SR_INITED, nullptr), RL_ERR_INVALID_PARAM);
    const std::string longPath(135, 'a');
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_SR_COEFF_FILE, const_cast<char*>(longPath.c_str())),
              RL_ERR_INVALID_PARAM);
    EXPECT_TRUE(m_log.Contains("longer than 134 characters"));
    const std::string okPath(134, 'b');
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_SR_COEFF_FILE, const_cast<char*>(okPath.c_str())), RL_OK);
    uint32_t unknown = 0;
    EXPECT_EQ(m_rl->SetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_DENOISE_MODE, &unknown), RL_OK);
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_DENOISE_MODE, &unknown), RL_ERR_FAILED);

    rltest::Picture s(RL_FORMAT_I420, 32, 16), d(RL_FORMAT_I420, 64, 32);
    ASSERT_EQ(Run(s, d), RL_OK);
    double average = -1;
    EXPECT_EQ(m_rl->GetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_AVERAGE_TIME, &average), RL_ERR_FAILED);
    EXPECT_GE(average, 0.0);
}

TEST(SRObject, UninitClearsOptionsAndReadiness)
{
    CSuperResolution sr(0);
    sr.Init(nullptr, false);
    uint8_t one = 1;
    sr.SetOption(RL_OPTION_SR_SIMPLE_1PT5, &one);
    rltest::Picture s(RL_FORMAT_I420, 32, 16), d(RL_FORMAT_I420, 48, 24);
    ASSERT_EQ(sr.Process(s.info(), d.info(), nullptr), RL_OK);
    EXPECT_EQ(sr.Mode(), uint32_t(SR_MODE_SIMPLE_1PT5));
    EXPECT_EQ(sr.Uninit(), RL_OK);
    uint8_t inited = 1;
    sr.GetOption(RL_OPTION_SR_INITED, &inited);
    EXPECT_EQ(inited, 0);
    rltest::Picture d2(RL_FORMAT_I420, 48, 24);
    ASSERT_EQ(sr.Process(s.info(), d2.info(), nullptr), RL_OK);
    EXPECT_EQ(sr.Mode(), uint32_t(SR_MODE_ADAPTIVE_1PT5));  // option 50 was cleared
}

}  // namespace

TEST_F(SRMethod, OddChromaPlanesAtTwice)
{
    // 66x46 has 33x23 chroma planes: the last chroma column and row are repeated.
    ASSERT_EQ(Init(true), RL_OK);
    rltest::Picture s(RL_FORMAT_I420, 66, 46), d(RL_FORMAT_I420, 132, 92);
    Texture(s, 4);
    ASSERT_EQ(Run(s, d), RL_OK);
    const SRLPictureInfo* in = s.info();
    const SRLPictureInfo* out = d.info();
    for (int p = 1; p < 3; ++p) {
        for (int r = 0; r < 23; ++r)
            for (int dx = 0; dx < 2; ++dx) {
                EXPECT_EQ(out->pData[p][(2 * r) * out->iStride[p] + 64 + dx], in->pData[p][r * in->iStride[p] + 32]);
                EXPECT_EQ(out->pData[p][(2 * r + 1) * out->iStride[p] + 64 + dx], in->pData[p][r * in->iStride[p] + 32]);
            }
        for (int c = 0; c < 33; ++c)
            EXPECT_EQ(out->pData[p][45 * out->iStride[p] + 2 * c], in->pData[p][22 * in->iStride[p] + c]);
    }
}
