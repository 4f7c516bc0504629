#include "analysis/scene_change_kernels.h"

namespace Ravvel {

uint32_t Sad8x8Block_c(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride)
{
    uint32_t sum = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int d = cur[x] - ref[x];
            sum += static_cast<uint32_t>(d < 0 ? -d : d);
        }
        cur += curStride;
        ref += refStride;
    }
    return sum;
}

int32_t CountChangedBlocks_c(const uint8_t* cur, int32_t curStride, const uint8_t* ref, int32_t refStride,
                             int32_t blocks, uint32_t threshold)
{
    int32_t changed = 0;
    for (int32_t b = 0; b < blocks; ++b) changed += Sad8x8Block_c(cur + 8 * b, curStride, ref + 8 * b, refStride) > threshold;
    return changed;
}

}  // namespace Ravvel
