// Upsampling (method 20): enlarges I420 pictures or one grey plane with
// separable 16.16 fixed-point interpolation. Each needed source row is scaled
// horizontally once into a two-row cache; destination rows blend the pair.
#ifndef RAVVEL_SCALE_UPSAMPLE_H
#define RAVVEL_SCALE_UPSAMPLE_H

#include <cstddef>
#include <cstdint>

#include "frame/framework.h"
#include "scale/upsample_kernels.h"

namespace Ravvel {

// Grow-only storage for the two cached rows; a null pointer in upsample_func
// makes each plane allocate and free its own.
struct UpsampleRowCache {
    uint8_t* pBlock = nullptr;
    uint32_t uiCapacity = 0;
};
void FreeUpsampleRowCache(UpsampleRowCache* cache);

// The row kernels handed down the call chain, and where the rows are cached.
struct upsample_func {
    InterpolateRowFunc pfnInterpolateRow;
    ScaleFilterColsFunc pfnScaleFilterCols;                // sources narrower than 32768 columns
    ScaleFilterColsPlannedFunc pfnScaleFilterColsPlanned;  // null: rows use pfnScaleFilterCols alone
    UpsampleRowCache* pRowCache;
};

// Reference kernels, no cache.
upsample_func ReferenceUpsampleFuncs();

FilterMode ScaleFilterReduce(int srcWidth, int srcHeight, int dstWidth, int dstHeight, FilterMode filter);

// Start positions and steps in 16.16 for the filter.
void ScaleSlope(int srcWidth, int srcHeight, int dstWidth, int dstHeight, FilterMode filter, int64_t* x,
                int64_t* y, int64_t* dx, int64_t* dy);

// Returns 0, or -3 when the row cache cannot be allocated. A negative source
// width mirrors the picture; a negative source height reads it bottom-up.
// Sizes that leave nothing to enlarge write nothing.
int32_t ScalePlane(const uint8_t* src, int srcStride, int srcWidth, int srcHeight, uint8_t* dst,
                   int dstStride, int dstWidth, int dstHeight, FilterMode filter, const upsample_func& funcs);

// ScalePlane's work once the filter is reduced and the source is top-down
// (srcHeight > 0, srcHeight < dstHeight).
int32_t ScalePlaneBilinearUp(int srcWidth, int srcHeight, int dstWidth, int dstHeight, ptrdiff_t srcStride,
                             ptrdiff_t dstStride, const uint8_t* src, uint8_t* dst, FilterMode filter,
                             const upsample_func& funcs);

// -1 (nothing written) for a null plane, a source side of 0 or above 32768,
// or a destination side below 1; -3 when the row cache cannot be allocated;
// 0 otherwise. Chroma planes are half size, rounded up.
int32_t I420Scale(const uint8_t* srcY, int srcStrideY, const uint8_t* srcU, int srcStrideU,
                  const uint8_t* srcV, int srcStrideV, int srcWidth, int srcHeight, uint8_t* dstY,
                  int dstStrideY, uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int dstWidth,
                  int dstHeight, FilterMode filter, const upsample_func& funcs);

class CUpsampling : public CRavvelFramework {
public:
    explicit CUpsampling(uint32_t cpuFlags);
    ~CUpsampling() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    void setFilterModel(int32_t value);
    FilterMode GetFilterModel() const { return m_eFilterMode; }
    const upsample_func& GetKernels() const { return m_Funcs; }
    const UpsampleRowCache& GetRowCache() const { return m_RowCache; }

private:
    uint32_t m_uiCpuFlags;
    bool m_bOutputFlag = false;
    FilterMode m_eFilterMode = RL_FILTER_LINEAR;
    UpsampleRowCache m_RowCache;
    upsample_func m_Funcs;
};

}  // namespace Ravvel

#endif
