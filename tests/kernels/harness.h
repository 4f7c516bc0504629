// Kernel-equivalence harness: every SIMD variant must give, byte for byte,
// what its reference kernel gives.
//
// Registering a kernel family:
//
//   static const bool kReg = rltest::RegisterKernelFamily<Sad8x8BlockFunc>(
//       "Sad8x8Block",
//       {Sad8x8Block_c, Sad8x8Block_sse2, Sad8x8Block_ssse3, Sad8x8Block_sse4, Sad8x8Block_avx,
//        Sad8x8Block_avx2},
//       rltest::BlockCases(8, 8),
//       [](Sad8x8BlockFunc f, const rltest::KernelCase& c, rltest::Output& out) {
//           rltest::Rng rng(c.seed);
//           rltest::Plane a(rng, 8, 8, c), b(rng, 8, 8, c);
//           out.AddValue("sad", f(a.data(), a.stride(), b.data(), b.stride()));
//       });
//
// The run function builds its inputs from the case's seed, so the reference
// and every tier see the same data, and records everything the kernel
// produced in `out`. The harness runs every tier the machine supports and
// reports the first differing byte with its section, row and column.
#ifndef RAVVEL_TESTS_KERNELS_HARNESS_H
#define RAVVEL_TESTS_KERNELS_HARNESS_H

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "simd/dispatch.h"

namespace rltest {

// One input configuration.
struct KernelCase {
    int width = 0;       // in pixels (or elements) as the kernel counts them
    int height = 0;
    int misalign = 0;    // byte offset of every plane from a 64-byte boundary
    int stridePad = 0;   // extra bytes per row beyond the row's own bytes
    int param = 0;       // free for the family (a mode, a phase, a ratio ...)
    uint32_t seed = 1;
};

std::string Describe(const KernelCase& c);

// Small deterministic generator (xorshift), the same on every machine.
class Rng {
public:
    explicit Rng(uint32_t seed) : m_state(seed * 2654435761u + 0x9e3779b9u) { Next(); }
    uint32_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    uint8_t Byte() { return static_cast<uint8_t>(Next() >> 24); }
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1)); }
    void Fill(uint8_t* p, size_t n)
    {
        for (size_t i = 0; i < n; ++i) p[i] = Byte();
    }

private:
    uint32_t m_state;
};

// A plane of rowBytes x rows bytes with the case's stride padding and
// misalignment. The allocation ends exactly after the last row's bytes, so an
// over-read or over-write past the plane shows under AddressSanitizer.
class Plane {
public:
    // Random content; stride = rowBytes + c.stridePad, offset c.misalign.
    Plane(Rng& rng, int rowBytes, int rows, const KernelCase& c);
    // Constant content with an explicit stride (>= rowBytes) and offset.
    Plane(int rowBytes, int rows, int stride, int misalign, uint8_t fill);
    ~Plane();
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;

    uint8_t* data() { return m_base + m_misalign; }
    const uint8_t* data() const { return m_base + m_misalign; }
    int stride() const { return m_stride; }
    int rowBytes() const { return m_rowBytes; }
    int rows() const { return m_rows; }
    uint8_t* row(int y) { return data() + static_cast<ptrdiff_t>(y) * m_stride; }

    // Fills the whole plane, padding included, with a pattern.
    void FillPattern(Rng& rng);

private:
    void Allocate();
    uint8_t* m_base = nullptr;
    size_t m_size = 0;
    int m_misalign = 0;
    int m_rowBytes;
    int m_rows;
    int m_stride;
};

// What a kernel produced, in labelled sections for readable failure reports.
class Output {
public:
    // All bytes of a plane, padding between rows included: a kernel that
    // writes where it must not differs from the reference there.
    void AddPlane(const char* label, const Plane& p);
    void AddBytes(const char* label, const void* data, size_t n);
    template <class T>
    void AddValue(const char* label, T value)
    {
        AddBytes(label, &value, sizeof value);
    }

    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    // Where byte `index` came from: "section[row, col]".
    std::string Locate(size_t index) const;

private:
    struct Section {
        std::string label;
        size_t offset;
        size_t size;
        int stride;  // 0 for flat data
    };
    std::vector<Section> m_sections;
    std::vector<uint8_t> m_bytes;
};

using RunFunc = std::function<void(int tier, const KernelCase&, Output&)>;

struct ErasedFamily {
    std::string name;
    bool has[Ravvel::RL_TIER_COUNT];
    std::vector<KernelCase> cases;
    RunFunc run;
};

void RegisterErasedFamily(ErasedFamily family);
std::vector<ErasedFamily>& Families();

template <class Fn>
bool RegisterKernelFamily(const char* name, const Fn (&variants)[Ravvel::RL_TIER_COUNT],
                          std::vector<KernelCase> cases,
                          std::function<void(Fn, const KernelCase&, Output&)> run)
{
    ErasedFamily f;
    f.name = name;
    std::vector<Fn> v(variants, variants + Ravvel::RL_TIER_COUNT);
    for (int t = 0; t < Ravvel::RL_TIER_COUNT; ++t) f.has[t] = v[t] != nullptr;
    f.cases = std::move(cases);
    f.run = [v, run](int tier, const KernelCase& c, Output& out) { run(v[tier], c, out); };
    RegisterErasedFamily(std::move(f));
    return true;
}

// Families whose variants are whole kernel tables (a method's Fill functions):
// the run function receives the tier index and picks from its own table.
bool RegisterTierFamily(const char* name, const bool (&has)[Ravvel::RL_TIER_COUNT],
                        std::vector<KernelCase> cases, RunFunc run);

// Case generators.
// Widths 1..maxSmall, then a few large ones around vector multiples; each with
// a couple of heights, misalignments and stride paddings. `step` restricts
// widths to multiples (2 for kernels that take even widths only).
std::vector<KernelCase> PlaneCases(int minWidth, int maxWidth, int minHeight, int maxHeight, int step = 1);
// A fixed block size with varying alignment and strides.
std::vector<KernelCase> BlockCases(int width, int height, int count = 64);

// Tiers this machine can run.
bool MachineHasTier(int tier);

}  // namespace rltest

#endif
