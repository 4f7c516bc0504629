// Zero-filled aligned blocks for working buffers, and plane border helpers.
#ifndef RAVVEL_FRAME_MEMORY_H
#define RAVVEL_FRAME_MEMORY_H

#include <cstdint>

#include "ravvel.h"

namespace Ravvel {

// A block carries a hidden header right before the returned address: the
// requested size (uint32) at -12 and the underlying calloc start at -8.
constexpr int kBlockSizeOffset = 12;
constexpr int kBlockStartOffset = 8;

// Zero-filled block of size bytes aligned to alignment (a power of two); null on failure.
RAVVEL_API void* VeskMalloc(uint32_t size, uint32_t alignment);
// Null is ignored.
RAVVEL_API void VeskFree(void* block);
// New 16-aligned block holding the old contents (truncated to newSize); on
// failure returns null and leaves the old block valid.
void* InternalReallocate(void* block, uint32_t newSize);
// Grows block when *capacity < needed, updating *capacity on success only.
// Returns block itself when it is already large enough, null on failure.
RAVVEL_API void* VeskRealloc(void* block, uint32_t* capacity, uint32_t needed);

}  // namespace Ravvel

// Replicates the plane's edge pixels pad pixels outward on every side; the
// memory around the plane must exist.
RAVVEL_EXTERN_C RAVVEL_API void pad_frame_data_c(uint8_t* plane, int32_t stride, int32_t width,
                                                 int32_t height, int32_t pad);
// Fills with the low byte of value everything of the fullWidth x fullHeight
// area that lies outside the validWidth x validHeight region.
RAVVEL_EXTERN_C RAVVEL_API void padding(uint8_t* plane, int32_t validWidth, int32_t fullWidth,
                                        int32_t validHeight, int32_t fullHeight, int32_t stride,
                                        uint32_t value);

#endif
