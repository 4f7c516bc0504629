#include "scale/upsample.h"

#include <cstring>

#include "frame/memory.h"

namespace Ravvel {

namespace {

int64_t Abs64(int v)
{
    return v < 0 ? -static_cast<int64_t>(v) : v;
}

// Half of a plane side, rounded away from zero; the sign (mirroring or
// bottom-up) is kept.
int Half(int n)
{
    return n >= 0 ? static_cast<int>((static_cast<int64_t>(n) + 1) >> 1) : -((1 - n) >> 1);
}

int64_t Centre(int64_t d)
{
    return d >= 0 ? (d >> 1) - 32768 : 32768 - ((-d) >> 1);
}

// a >= 0, b > 0.
int64_t CeilDiv(int64_t a, int64_t b)
{
    return (a + b - 1) / b;
}

// The run [*first, *end) of outputs whose position has a right-hand
// neighbour inside the row (0 <= x_j < limit); the rest are edge columns.
void InteriorColumns(int64_t x, int64_t dx, int64_t limit, int64_t n, int64_t* first, int64_t* end)
{
    int64_t j0, j1;
    if (dx == 0) {
        j0 = 0;
        j1 = x >= 0 && x < limit ? n : 0;
    } else if (dx > 0) {
        j0 = x >= 0 ? 0 : CeilDiv(-x, dx);
        j1 = x >= limit ? 0 : CeilDiv(limit - x, dx);
    } else {
        const int64_t d = -dx;
        j0 = x < limit ? 0 : (x - limit) / d + 1;
        j1 = x < 0 ? 0 : x / d + 1;
    }
    j0 = j0 < 0 ? 0 : (j0 > n ? n : j0);
    j1 = j1 < j0 ? j0 : (j1 > n ? n : j1);
    *first = j0;
    *end = j1;
}

// An output whose pair would reach past the row: the last column has no
// right-hand neighbour (its weight is zero there), so it stands alone.
uint8_t EdgeSample(const uint8_t* row, int64_t width, int64_t xj)
{
    if (xj < 0) return row[0];
    const int64_t i = (xj >> 16) < width - 1 ? (xj >> 16) : width - 1;
    if (i + 1 > width - 1) return row[i];
    const int a = row[i], b = row[i + 1];
    const int f = static_cast<int>((xj >> 9) & 127);
    return static_cast<uint8_t>(a + (((b - a) * f + 64) >> 7));
}

// Scales source rows of one plane horizontally. The split into edge and
// interior columns, and the column plan when the tier has a planned scaler,
// are worked out once per plane: every row shares positions and steps.
class ColumnScaler {
public:
    ColumnScaler(int64_t width, int dstWidth, int64_t x, int64_t dx, const upsample_func& funcs)
        : m_iWidth(width), m_iDstWidth(dstWidth), m_iX(x), m_iDx(dx), m_pfnCols(funcs.pfnScaleFilterCols)
    {
        if (!m_pfnCols) m_pfnCols = ScaleFilterCols_C;
        InteriorColumns(x, dx, (width - 1) << 16, dstWidth, &m_iFirst, &m_iEnd);
    }

    // Bytes a plan needs for this plane (0 without a planned scaler).
    static uint64_t PlanBytes(int dstWidth, const upsample_func& funcs)
    {
        return funcs.pfnScaleFilterColsPlanned ? 36 * static_cast<uint64_t>(dstWidth / 8) : 0;
    }

    // Plans the interior in groups of eight when the steps allow it; `space`
    // holds PlanBytes, 16-aligned.
    void Plan(uint8_t* space, const upsample_func& funcs)
    {
        const int64_t groups = (m_iEnd - m_iFirst) / 8;
        if (!funcs.pfnScaleFilterColsPlanned || m_iWidth >= 32768 || groups == 0) return;
        uint8_t* controls = space;
        int8_t* weights = reinterpret_cast<int8_t*>(space + 16 * groups);
        int32_t* starts = reinterpret_cast<int32_t*>(space + 32 * groups);
        if (!BuildColumnPlan(starts, controls, weights, static_cast<int>(groups),
                             static_cast<int>(m_iX + m_iFirst * m_iDx), static_cast<int>(m_iDx),
                             static_cast<int>(m_iWidth - 1)))
            return;
        m_pfnPlanned = funcs.pfnScaleFilterColsPlanned;
        m_pStarts = starts;
        m_pControls = controls;
        m_pWeights = weights;
        m_iPlanned = groups * 8;
    }

    void Row(uint8_t* out, const uint8_t* row) const
    {
        for (int64_t j = 0; j < m_iFirst; ++j) out[j] = EdgeSample(row, m_iWidth, m_iX + j * m_iDx);
        if (m_iPlanned)
            m_pfnPlanned(out + m_iFirst, row, m_pStarts, m_pControls, m_pWeights,
                         static_cast<int>(m_iPlanned / 8));
        const int64_t rest = m_iFirst + m_iPlanned;
        if (m_iEnd > rest) {
            const int64_t xs = m_iX + rest * m_iDx;
            // Below 32768 columns every interior position and step fits in 32 bits.
            if (m_iWidth < 32768)
                m_pfnCols(out + rest, row, static_cast<int>(m_iEnd - rest), static_cast<int>(xs),
                          static_cast<int>(m_iDx));
            else
                ScaleFilterCols64_C(out + rest, row, static_cast<int>(m_iEnd - rest), xs, m_iDx);
        }
        for (int64_t j = m_iEnd; j < m_iDstWidth; ++j) out[j] = EdgeSample(row, m_iWidth, m_iX + j * m_iDx);
    }

private:
    int64_t m_iWidth;
    int64_t m_iDstWidth;
    int64_t m_iX, m_iDx;
    int64_t m_iFirst = 0, m_iEnd = 0;
    ScaleFilterColsFunc m_pfnCols;
    ScaleFilterColsPlannedFunc m_pfnPlanned = nullptr;
    const int32_t* m_pStarts = nullptr;
    const uint8_t* m_pControls = nullptr;
    const int8_t* m_pWeights = nullptr;
    int64_t m_iPlanned = 0;
};

}  // namespace

void FreeUpsampleRowCache(UpsampleRowCache* cache)
{
    VeskFree(cache->pBlock);
    cache->pBlock = nullptr;
    cache->uiCapacity = 0;
}

upsample_func ReferenceUpsampleFuncs()
{
    return upsample_func{InterpolateRow_C, ScaleFilterCols_C, nullptr, nullptr};
}

FilterMode ScaleFilterReduce(int srcWidth, int srcHeight, int dstWidth, int dstHeight, FilterMode filter)
{
    const int64_t sw = Abs64(srcWidth), sh = Abs64(srcHeight);
    if (filter == RL_FILTER_BOX) {
        if (2 * static_cast<int64_t>(dstWidth) < sw || 2 * static_cast<int64_t>(dstHeight) < sh)
            return RL_FILTER_BOX;
        filter = RL_FILTER_BILINEAR;
    }
    if (filter == RL_FILTER_BILINEAR) {
        if (sh == dstHeight || sh == 1) return RL_FILTER_LINEAR;
        if (3 * static_cast<int64_t>(dstHeight) == sh || sw == 1) return RL_FILTER_LINEAR;
        return RL_FILTER_BILINEAR;
    }
    return filter;
}

void ScaleSlope(int srcWidth, int srcHeight, int dstWidth, int dstHeight, FilterMode filter, int64_t* x,
                int64_t* y, int64_t* dx, int64_t* dy)
{
    const int64_t sw = Abs64(srcWidth), sh = Abs64(srcHeight);
    int64_t dw = dstWidth, dh = dstHeight;
    // A one-sample side of a very large source keeps unit steps.
    if (dw == 1 && sw >= 32768) dw = sw;
    if (dh == 1 && sh >= 32768) dh = sh;
    const int64_t W = sw << 16, H = sh << 16;
    *x = *y = *dx = *dy = 0;
    if (dw < 1 || dh < 1) return;

    switch (filter) {
        case RL_FILTER_BOX:
            *dx = W / dw;
            *dy = H / dh;
            break;
        case RL_FILTER_BILINEAR:
        case RL_FILTER_LINEAR:
            if (dw > sw) {
                // End points land on the first and last source columns.
                if (dw > 1) *dx = (W - 65537) / (dw - 1);
            } else {
                *dx = W / dw;
                *x = Centre(*dx);
            }
            if (filter == RL_FILTER_LINEAR) {
                *dy = H / dh;
                *y = *dy >> 1;
            } else if (dh <= sh) {
                *dy = H / dh;
                *y = Centre(*dy);
            } else if (dh >= 2) {
                *dy = (H - 65537) / (dh - 1);
            }
            break;
        default:
            *dx = W / dw;
            *x = *dx / 2;
            *dy = H / dh;
            *y = *dy / 2;
            break;
    }
    if (srcWidth < 0) {
        *x += (dw - 1) * *dx;
        *dx = -*dx;
    }
}

int32_t ScalePlaneBilinearUp(int srcWidth, int srcHeight, int dstWidth, int dstHeight, ptrdiff_t srcStride,
                             ptrdiff_t dstStride, const uint8_t* src, uint8_t* dst, FilterMode filter,
                             const upsample_func& funcs)
{
    if (!src || !dst || srcWidth == 0 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1) return RL_OK;
    const int64_t width = Abs64(srcWidth);
    const int64_t maxY = (static_cast<int64_t>(srcHeight) - 1) << 16;
    int64_t x, y, dx, dy;
    ScaleSlope(srcWidth, srcHeight, dstWidth, dstHeight, filter, &x, &y, &dx, &dy);
    if (y > maxY) y = maxY;
    if (y < 0) y = 0;

    // Two rows of R bytes, the first on a 64-byte boundary, then the column plan.
    const uint64_t rowBytes = (static_cast<uint64_t>(dstWidth) + 31) & ~static_cast<uint64_t>(31);
    const uint64_t need = 2 * rowBytes + 63 + ColumnScaler::PlanBytes(dstWidth, funcs);
    if (need > 0xffff0000u) return RL_ERR_NO_MEMORY;
    UpsampleRowCache local;
    UpsampleRowCache* cache = funcs.pRowCache ? funcs.pRowCache : &local;
    void* block = VeskRealloc(cache->pBlock, &cache->uiCapacity, static_cast<uint32_t>(need));
    if (!block) return RL_ERR_NO_MEMORY;
    cache->pBlock = static_cast<uint8_t*>(block);
    uint8_t* const first =
        reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(block) + 63) & ~static_cast<uintptr_t>(63));
    uint8_t* const rows[2] = {first, first + rowBytes};

    const InterpolateRowFunc interpolate =
        funcs.pfnInterpolateRow ? funcs.pfnInterpolateRow : InterpolateRow_C;
    ColumnScaler columns(width, dstWidth, x, dx, funcs);
    columns.Plan(first + 2 * rowBytes, funcs);
    auto scaleRow = [&](uint8_t* out, int64_t srcRow) { columns.Row(out, src + srcRow * srcStride); };

    int64_t lastY = y >> 16;
    int upper = 0;
    scaleRow(rows[0], lastY);
    // The last source row has no row below it; it is blended with itself.
    bool hasLower = lastY + 1 < srcHeight;
    if (hasLower) scaleRow(rows[1], lastY + 1);

    for (int r = 0; r < dstHeight; ++r) {
        if ((y >> 16) != lastY) {
            if (y > maxY) y = maxY;
            const int64_t yi = y >> 16;
            if (yi != lastY) {
                if (yi == lastY + 1) {
                    // The lower row moves up; the older row takes the one below it.
                    upper ^= 1;
                } else {
                    scaleRow(rows[upper], yi);
                }
                hasLower = yi + 1 < srcHeight;
                if (hasLower) scaleRow(rows[upper ^ 1], yi + 1);
                lastY = yi;
            }
        }
        const uint8_t* up = rows[upper];
        if (filter == RL_FILTER_LINEAR) {
            std::memcpy(dst, up, static_cast<size_t>(dstWidth));
        } else {
            const ptrdiff_t lowerOffset = hasLower ? rows[upper ^ 1] - up : 0;
            interpolate(dst, up, lowerOffset, dstWidth, static_cast<int>((y >> 8) & 255));
        }
        dst += dstStride;
        y += dy;
    }
    if (cache == &local) FreeUpsampleRowCache(&local);
    return RL_OK;
}

int32_t ScalePlane(const uint8_t* src, int srcStride, int srcWidth, int srcHeight, uint8_t* dst,
                   int dstStride, int dstWidth, int dstHeight, FilterMode filter, const upsample_func& funcs)
{
    if (!src || !dst || srcWidth == 0 || srcHeight == 0 || dstWidth < 1 || dstHeight < 1) return RL_OK;
    if (filter < RL_FILTER_NONE || filter > RL_FILTER_BOX) return RL_OK;
    filter = ScaleFilterReduce(srcWidth, srcHeight, dstWidth, dstHeight, filter);
    ptrdiff_t stride = srcStride;
    int64_t height = srcHeight;
    if (height < 0) {
        // Bottom-up: walk from the last row with the pitch negated.
        height = -height;
        src += (height - 1) * stride;
        stride = -stride;
    }
    if (filter == RL_FILTER_NONE || height >= dstHeight) return RL_OK;
    return ScalePlaneBilinearUp(srcWidth, static_cast<int>(height), dstWidth, dstHeight, stride, dstStride,
                                src, dst, filter, funcs);
}

int32_t I420Scale(const uint8_t* srcY, int srcStrideY, const uint8_t* srcU, int srcStrideU,
                  const uint8_t* srcV, int srcStrideV, int srcWidth, int srcHeight, uint8_t* dstY,
                  int dstStrideY, uint8_t* dstU, int dstStrideU, uint8_t* dstV, int dstStrideV, int dstWidth,
                  int dstHeight, FilterMode filter, const upsample_func& funcs)
{
    if (!srcY || !srcU || !srcV || !dstY || !dstU || !dstV) return RL_ERR_FAILED;
    const int64_t sw = Abs64(srcWidth), sh = Abs64(srcHeight);
    if (sw == 0 || sw > 32768 || sh == 0 || sh > 32768 || dstWidth < 1 || dstHeight < 1) return RL_ERR_FAILED;

    int32_t r = ScalePlane(srcY, srcStrideY, srcWidth, srcHeight, dstY, dstStrideY, dstWidth, dstHeight,
                           filter, funcs);
    if (r != RL_OK) return r;
    const int sw2 = Half(srcWidth), sh2 = Half(srcHeight), dw2 = Half(dstWidth), dh2 = Half(dstHeight);
    r = ScalePlane(srcU, srcStrideU, sw2, sh2, dstU, dstStrideU, dw2, dh2, filter, funcs);
    if (r != RL_OK) return r;
    return ScalePlane(srcV, srcStrideV, sw2, sh2, dstV, dstStrideV, dw2, dh2, filter, funcs);
}

// ---- CUpsampling ------------------------------------------------------------

namespace {

void FillReference(upsample_func* k)
{
    k->pfnInterpolateRow = InterpolateRow_C;
    k->pfnScaleFilterCols = ScaleFilterCols_C;
    k->pfnScaleFilterColsPlanned = nullptr;
}
void FillSse2(upsample_func* k)
{
    k->pfnInterpolateRow = InterpolateRow_SSE2;
    k->pfnScaleFilterCols = ScaleFilterCols_SSE2;
}
void FillAvx2(upsample_func* k)
{
    k->pfnInterpolateRow = InterpolateRow_AVX2;
    k->pfnScaleFilterCols = ScaleFilterCols_AVX2;
    k->pfnScaleFilterColsPlanned = ScaleFilterColsPlanned_AVX2;
}

}  // namespace

CUpsampling::CUpsampling(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    m_strName = "Upsample";
    CreateLogger();
    FillKernelTable(&m_Funcs, m_uiCpuFlags,
                    TierFillers<upsample_func>{FillReference, FillSse2, nullptr, nullptr, nullptr, FillAvx2});
    m_Funcs.pRowCache = &m_RowCache;
}

CUpsampling::~CUpsampling()
{
    RL_LOG(Info, "CUpsampling::~CUpsampling() begin.");
    FreeUpsampleRowCache(&m_RowCache);
    DestroyLogger();
}

void CUpsampling::setFilterModel(int32_t value)
{
    m_eFilterMode = value == RL_FILTER_BILINEAR ? RL_FILTER_BILINEAR
                    : value == RL_FILTER_BOX    ? RL_FILTER_BOX
                                                : RL_FILTER_LINEAR;
}

int32_t CUpsampling::Init(void* config, bool flag)
{
    if (config) setFilterModel(*static_cast<const int32_t*>(config));
    m_bOutputFlag = flag;
    m_bInited = true;
    return RL_OK;
}

int32_t CUpsampling::Uninit()
{
    FreeUpsampleRowCache(&m_RowCache);
    return RL_OK;
}

int32_t CUpsampling::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    if (!src || !dst) return RL_ERR_INVALID_PARAM;
    int32_t r;
    // The raw value: a bottom-up flag makes any format unsupported here.
    switch (static_cast<uint32_t>(src->eFormat)) {
        case RL_FORMAT_I420:
            r = I420Scale(src->pData[0], src->iStride[0], src->pData[1], src->iStride[1], src->pData[2],
                          src->iStride[2], src->iWidth, src->iHeight, dst->pData[0], dst->iStride[0],
                          dst->pData[1], dst->iStride[1], dst->pData[2], dst->iStride[2], dst->iWidth,
                          dst->iHeight, m_eFilterMode, m_Funcs);
            break;
        case RL_FORMAT_VYUY:
            r = ScalePlane(src->pData[0], src->iStride[0], src->iWidth, src->iHeight, dst->pData[0],
                           dst->iStride[0], dst->iWidth, dst->iHeight, m_eFilterMode, m_Funcs);
            break;
        default:
            return RL_ERR_BAD_FORMAT;
    }
    if (r == RL_ERR_NO_MEMORY) {
        RL_LOG(Error, "row cache of %d columns could not be allocated", dst->iWidth);
        return RL_ERR_NO_MEMORY;
    }
    // Sizes that cannot be scaled are not reported.
    return RL_OK;
}

int32_t CUpsampling::SetOption(RL_EOption option, void* value)
{
    return option == 0 && value == nullptr ? RL_OK : RL_ERR_INVALID_PARAM;
}

int32_t CUpsampling::GetOption(RL_EOption option, void* value)
{
    return option == 0 && value == nullptr ? RL_OK : RL_ERR_INVALID_PARAM;
}

}  // namespace Ravvel
