// Aligned zero-filled blocks and plane padding.
#include "frame/memory.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace Ravvel {

namespace {

uint8_t* Bytes(void* p) { return static_cast<uint8_t*>(p); }

uint32_t BlockSize(void* block)
{
    uint32_t size;
    std::memcpy(&size, Bytes(block) - kBlockSizeOffset, sizeof(size));
    return size;
}

}  // namespace

void* VeskMalloc(uint32_t size, uint32_t alignment)
{
    if (alignment == 0 || (alignment & (alignment - 1)) != 0) return nullptr;
    const uint64_t total = uint64_t{size} + alignment + (kBlockSizeOffset - 1);
    if (total > UINT32_MAX) return nullptr;

    void* start = std::calloc(static_cast<size_t>(total), 1);
    if (start == nullptr) return nullptr;
    const uintptr_t highest = reinterpret_cast<uintptr_t>(start) + alignment - 1 + kBlockSizeOffset;
    uint8_t* block = reinterpret_cast<uint8_t*>(highest & ~uintptr_t{alignment - 1});
    // memcpy: with small alignments the header fields need not be naturally aligned.
    std::memcpy(block - kBlockSizeOffset, &size, sizeof(size));
    std::memcpy(block - kBlockStartOffset, &start, sizeof(start));
    return block;
}

void VeskFree(void* block)
{
    if (block == nullptr) return;
    void* start;
    std::memcpy(&start, Bytes(block) - kBlockStartOffset, sizeof(start));
    std::free(start);
}

void* InternalReallocate(void* block, uint32_t newSize)
{
    if (block == nullptr) return VeskMalloc(newSize, 16);
    void* grown = VeskMalloc(newSize, 16);
    if (grown == nullptr) return nullptr;
    const uint32_t oldSize = BlockSize(block);
    std::memcpy(grown, block, oldSize < newSize ? oldSize : newSize);
    VeskFree(block);
    return grown;
}

void* VeskRealloc(void* block, uint32_t* capacity, uint32_t needed)
{
    if (capacity == nullptr) return nullptr;
    if (*capacity >= needed) return block;
    // Headroom so that a buffer growing by a few bytes per frame is not reallocated every frame.
    const uint64_t newSize = ((uint64_t{needed} + 15) & ~uint64_t{15}) + 32;
    if (newSize > UINT32_MAX) return nullptr;
    void* grown = InternalReallocate(block, static_cast<uint32_t>(newSize));
    if (grown != nullptr) *capacity = static_cast<uint32_t>(newSize);
    return grown;
}

}  // namespace Ravvel

extern "C" {

void pad_frame_data_c(uint8_t* plane, int32_t stride, int32_t width, int32_t height, int32_t pad)
{
    if (plane == nullptr || pad <= 0 || width <= 0 || height <= 0) return;
    const ptrdiff_t step = stride;
    const size_t padded = static_cast<size_t>(width) + 2 * static_cast<size_t>(pad);
    // Rows that overlap cannot hold a padded plane; refuse rather than smear memory.
    if (static_cast<size_t>(step < 0 ? -step : step) < padded) return;

    for (ptrdiff_t r = 1; r <= pad; ++r) std::memcpy(plane - r * step, plane, width);
    // The rows below are whole copies of the finished last row, so their sides need no pass here.
    for (ptrdiff_t y = -pad; y < height; ++y) {
        uint8_t* row = plane + y * step;
        std::memset(row - pad, row[0], pad);
        std::memset(row + width, row[width - 1], pad);
    }
    const uint8_t* last = plane + (height - 1) * step - pad;
    for (ptrdiff_t r = 1; r <= pad; ++r) std::memcpy(plane + (height - 1 + r) * step - pad, last, padded);
}

void padding(uint8_t* plane, int32_t validWidth, int32_t fullWidth, int32_t validHeight, int32_t fullHeight,
             int32_t stride, uint32_t value)
{
    if (plane == nullptr || validWidth < 0 || validHeight < 0 || fullWidth <= 0) return;
    const ptrdiff_t step = stride;
    const int fill = static_cast<int>(value & 0xFF);
    if (fullWidth > validWidth) {
        for (ptrdiff_t y = 0; y < validHeight; ++y) {
            std::memset(plane + y * step + validWidth, fill, static_cast<size_t>(fullWidth - validWidth));
        }
    }
    for (ptrdiff_t y = validHeight; y < fullHeight; ++y) {
        std::memset(plane + y * step, fill, static_cast<size_t>(fullWidth));
    }
}

}  // extern "C"
