#include "kernels/harness.h"

#include <cstdio>
#include <cstdlib>

#include "ravvel.h"

namespace rltest {

std::string Describe(const KernelCase& c)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "%dx%d misalign=%d stridePad=%d param=%d seed=%u", c.width, c.height,
                  c.misalign, c.stridePad, c.param, c.seed);
    return buf;
}

Plane::Plane(Rng& rng, int rowBytes, int rows, const KernelCase& c)
    : m_misalign(c.misalign), m_rowBytes(rowBytes), m_rows(rows), m_stride(rowBytes + c.stridePad)
{
    Allocate();
    FillPattern(rng);
}

Plane::Plane(int rowBytes, int rows, int stride, int misalign, uint8_t fill)
    : m_misalign(misalign), m_rowBytes(rowBytes), m_rows(rows), m_stride(stride)
{
    Allocate();
    std::memset(m_base, fill, m_size);
}

Plane::~Plane() { std::free(m_base); }

void Plane::Allocate()
{
    // Exactly up to the last byte of the last row: nothing to spare past it.
    const size_t used = m_rows > 0 && m_rowBytes > 0
                            ? static_cast<size_t>(m_stride) * static_cast<size_t>(m_rows - 1) +
                                  static_cast<size_t>(m_rowBytes)
                            : 0;
    m_size = static_cast<size_t>(m_misalign) + used;
    void* p = nullptr;
    if (posix_memalign(&p, 64, m_size ? m_size : 1) != 0) std::abort();
    m_base = static_cast<uint8_t*>(p);
}

void Plane::FillPattern(Rng& rng) { rng.Fill(m_base, m_size); }

void Output::AddPlane(const char* label, const Plane& p)
{
    const size_t used =
        p.rows() > 0 ? static_cast<size_t>(p.stride()) * static_cast<size_t>(p.rows() - 1) + p.rowBytes() : 0;
    m_sections.push_back({label, m_bytes.size(), used, p.stride()});
    m_bytes.insert(m_bytes.end(), p.data(), p.data() + used);
}

void Output::AddBytes(const char* label, const void* data, size_t n)
{
    m_sections.push_back({label, m_bytes.size(), n, 0});
    const uint8_t* b = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), b, b + n);
}

std::string Output::Locate(size_t index) const
{
    for (const Section& s : m_sections) {
        if (index < s.offset || index >= s.offset + s.size) continue;
        const size_t rel = index - s.offset;
        char buf[200];
        if (s.stride > 0)
            std::snprintf(buf, sizeof buf, "%s[row %zu, byte %zu]", s.label.c_str(), rel / s.stride,
                          rel % s.stride);
        else
            std::snprintf(buf, sizeof buf, "%s[byte %zu]", s.label.c_str(), rel);
        return buf;
    }
    return "?";
}

std::vector<ErasedFamily>& Families()
{
    static std::vector<ErasedFamily> families;
    return families;
}

void RegisterErasedFamily(ErasedFamily family) { Families().push_back(std::move(family)); }

bool RegisterTierFamily(const char* name, const bool (&has)[Ravvel::RL_TIER_COUNT], std::vector<KernelCase> cases,
                        RunFunc run)
{
    ErasedFamily f;
    f.name = name;
    for (int t = 0; t < Ravvel::RL_TIER_COUNT; ++t) f.has[t] = has[t];
    f.cases = std::move(cases);
    f.run = std::move(run);
    RegisterErasedFamily(std::move(f));
    return true;
}

std::vector<KernelCase> PlaneCases(int minWidth, int maxWidth, int minHeight, int maxHeight, int step)
{
    std::vector<KernelCase> cases;
    uint32_t seed = 1;
    const int misaligns[] = {0, 1, 3, 8, 15, 31};
    const int pads[] = {0, 1, 7, 32, 64};
    std::vector<int> widths;
    for (int w = minWidth; w <= maxWidth && w <= minWidth + 72; w += step) widths.push_back(w);
    for (int w : {95, 96, 97, 127, 128, 129, 255, 256, 257, 641, 1280, 1921})
        if (w >= minWidth && w <= maxWidth && w % step == 0) widths.push_back(w);
    size_t i = 0;
    for (int w : widths) {
        KernelCase c;
        c.width = w;
        const int heights[] = {minHeight, minHeight + step, minHeight + 3 * step, minHeight + 9 * step};
        c.height = heights[i % 4] < maxHeight ? heights[i % 4] : maxHeight;
        c.misalign = misaligns[i % 6];
        c.stridePad = pads[(i / 2) % 5];
        c.seed = seed++;
        cases.push_back(c);
        ++i;
    }
    return cases;
}

std::vector<KernelCase> BlockCases(int width, int height, int count)
{
    std::vector<KernelCase> cases;
    for (int i = 0; i < count; ++i) {
        KernelCase c;
        c.width = width;
        c.height = height;
        c.misalign = i % 33;
        c.stridePad = (i * 7) % 41;
        c.param = i;
        c.seed = static_cast<uint32_t>(1000 + i);
        cases.push_back(c);
    }
    return cases;
}

bool MachineHasTier(int tier)
{
    return (VeskCPUFeatureDetect(nullptr) & Ravvel::TierFlag(tier)) != 0 || tier == Ravvel::RL_TIER_C;
}

}  // namespace rltest
