// What a host needs to know to drive each method generically: the formats
// worth sending, how to build an Init record, what the destination looks
// like. Used by the lifecycle test and the fuzz targets; every method adds
// its row in method_catalog.cpp.
#ifndef RAVVEL_TESTS_SUPPORT_METHOD_CATALOG_H
#define RAVVEL_TESTS_SUPPORT_METHOD_CATALOG_H

#include <cstdint>
#include <vector>

#include "ravvel.h"

namespace rltest {

// Source of choices: a fuzzer's bytes, or a fixed seed for the lifecycle test.
class Choices {
public:
    Choices(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_pos >= m_size; }
    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint32_t U32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return v;
    }
    int Range(int lo, int hi) { return lo + static_cast<int>(U32() % static_cast<uint32_t>(hi - lo + 1)); }
    template <class T>
    const T& Pick(const std::vector<T>& v)
    {
        return v[Range(0, static_cast<int>(v.size()) - 1)];
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Largest picture side the generic drivers use; host-owned side buffers
// (an alpha map) are allocated for it once.
constexpr int kMaxSide = 192;

enum class DstKind {
    SameSize,      // destination of the source's size (colour conversion, blending)
    Unread,        // the destination descriptor is not read: its buffer must hold the
                   // source's bytes, so it always has the source's size (rotation)
    AnySize,       // any size (scalers)
    Enlarged,      // mostly 2x or 1.5x the source, sometimes any size (super resolution)
    Descriptor,    // only the descriptor is written (crop)
    Reference,     // a second frame of the same kind (analysis methods)
};

struct MethodEntry {
    RL_EMethod method;
    const char* name;
    std::vector<uint32_t> srcFormats;
    std::vector<uint32_t> dstFormats;  // empty: the source's format
    DstKind dst;
    bool passFlag;  // Init's flag is meaningful
    // Fills `record` (64 bytes, zeroed) and returns the config pointer to pass.
    void* (*makeConfig)(Choices& c, uint8_t* record, uint8_t* hostMemory);
    // A valid option value to exercise (payload built by setOption), or -1.
    std::vector<int> options;
    // Alignment of every plane of the pictures it gets (0: whatever malloc gives).
    int planeAlign = 0;
};

const std::vector<MethodEntry>& MethodCatalog();

// Host memory a config may point at (an alpha map of kMaxSide^2 bytes).
uint8_t* CatalogHostMemory();

// Options whose payload carries host pointers (callbacks, file names, result
// variables): generic drivers do not send random bytes to them.
bool OptionCarriesPointer(int option);

}  // namespace rltest

#endif
