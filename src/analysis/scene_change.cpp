#include "analysis/scene_change.h"

#include <cstring>

#include "frame/memory.h"

namespace Ravvel {

namespace {

// A block changes when its pixels differ by more than 5 on average.
constexpr uint32_t kBlockSadThreshold = 320;
// Largest aligned copy VeskMalloc can describe with its 32-bit size.
constexpr int64_t kMaxCopyBytes = 0x7fff0000;

bool IsAligned16(const void* p, int32_t stride)
{
    return (reinterpret_cast<uintptr_t>(p) & 15) == 0 && (stride & 15) == 0;
}

}  // namespace

Sad8x8BlockFunc SelectSad8x8Block(uint32_t cpuFlags)
{
    Sad8x8BlockFunc f = nullptr;
    RL_SELECT_TIERED(cpuFlags, f, Sad8x8Block);
    return f;
}

CSceneChangeDetection::CSceneChangeDetection(uint32_t cpuFlags)
    : m_pfnSad8x8(SelectSad8x8Block(cpuFlags))
{
    RL_SELECT_TIERED(cpuFlags, m_pfnCountChangedBlocks, CountChangedBlocks);
    m_strName = "SceneChangeDetection";
    CreateLogger();
}

CSceneChangeDetection::~CSceneChangeDetection()
{
    Uninit();
    DestroyLogger();
}

int32_t CSceneChangeDetection::Init(void* config, bool)
{
    if (config) {
        const SRLSceneChangeConfig* c = static_cast<const SRLSceneChangeConfig*>(config);
        // The row-order bit does not change what the luma comparison reads.
        if ((static_cast<uint32_t>(c->eFormat) & RL_FORMAT_MASK) != RL_FORMAT_I420) {
            m_bInited = false;
            return RL_ERR_UNSUPPORTED;
        }
        m_iWidth = c->iWidth;
        m_iHeight = c->iHeight;
    }
    m_fLargeChange = 0.85f;
    m_fMediumChange = 0.5f;
    m_fSmallChange = 0.01f;
    m_bInited = true;
    return RL_OK;
}

void CSceneChangeDetection::FreeCopy(AlignedCopy* copy)
{
    VeskFree(copy->pBuffer);
    std::memset(copy, 0, sizeof(*copy));
}

int32_t CSceneChangeDetection::Uninit()
{
    // Copies are freed even when not initialised, so no path leaks them.
    FreeCopy(&m_sCurCopy);
    FreeCopy(&m_sRefCopy);
    if (m_bInited) {
        m_bInited = false;
        ReinitStatistics();
    }
    return RL_OK;
}

int32_t CSceneChangeDetection::SetOption(RL_EOption, void* value)
{
    return value ? RL_OK : RL_ERR_INVALID_PARAM;
}

int32_t CSceneChangeDetection::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    if (option == RL_OPTION_SCENE_CHANGE_RATIO) *static_cast<float*>(value) = m_fChangedRatio;
    else if (option == RL_OPTION_SCENE_CHANGE_LEVEL) *static_cast<int32_t*>(value) = m_iSceneChangeLevel;
    return RL_OK;
}

const uint8_t* CSceneChangeDetection::AlignedPlane(const SRLPictureInfo& pic, AlignedCopy* copy, int32_t* stride)
{
    if (IsAligned16(pic.pData[0], pic.iStride[0])) {
        *stride = pic.iStride[0];
        return pic.pData[0];
    }
    const int64_t rounded = (static_cast<int64_t>(pic.iStride[0]) + 15) & ~int64_t{15};
    SRLPictureInfo& p = copy->sPicture;
    if (!copy->pBuffer || p.iWidth != pic.iWidth || p.iHeight != pic.iHeight ||
        copy->iSourceStride != pic.iStride[0]) {
        FreeCopy(copy);
        const int64_t bytes = rounded * pic.iHeight;
        if (rounded > INT32_MAX || bytes > kMaxCopyBytes) return nullptr;
        copy->pBuffer = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(bytes ? bytes : 16), 16));
        if (!copy->pBuffer) return nullptr;
        copy->iSourceStride = pic.iStride[0];
        p.pData[0] = copy->pBuffer;
        p.iStride[0] = static_cast<int32_t>(rounded);
        p.iStride[1] = p.iStride[2] = static_cast<int32_t>(rounded / 2);
        p.iWidth = pic.iWidth;
        p.iHeight = pic.iHeight;
        p.eFormat = pic.eFormat;
    }
    const size_t rowBytes = static_cast<size_t>(pic.iWidth);
    for (int32_t y = 0; y < pic.iHeight; ++y)
        std::memcpy(copy->pBuffer + static_cast<ptrdiff_t>(y) * rounded,
                    pic.pData[0] + static_cast<ptrdiff_t>(y) * pic.iStride[0], rowBytes);
    *stride = p.iStride[0];
    return copy->pBuffer;
}

int32_t CSceneChangeDetection::ThresholdFor(float fraction, float blocks) const
{
    // Every step in single precision: the level boundaries depend on it.
    const float scaled = fraction * blocks;
    const float rounded = scaled + 0.5f;
    return static_cast<int32_t>(rounded + 0.000001f);
}

int32_t CSceneChangeDetection::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    const int64_t t0 = NowUs();
    if (!m_bInited) return RL_ERR_NOT_INITIALIZED;
    if (!src || !dst) return RL_ERR_INVALID_PARAM;

    if (src->iWidth != dst->iWidth || src->iHeight != dst->iHeight || src->iStride[0] != dst->iStride[0]) {
        RL_LOG(Detail,
               "Reference frame and current frame do not match, ref frame width: %d, height: %d, cur frame "
               "width: %d, height: %d",
               dst->iWidth, dst->iHeight, src->iWidth, src->iHeight);
        SRLSceneChangeConfig record = {src->iWidth, src->iHeight, src->eFormat};
        Uninit();
        Init(&record, false);
        return RL_ERR_INVALID_PARAM;
    }
    const int32_t width = src->iWidth, height = src->iHeight;
    if (width < 0 || height < 0) return RL_ERR_INVALID_PARAM;
    const int32_t cols = width >> 3, rows = height >> 3;
    // Rows are read width bytes each: they must not overlap or run backwards.
    if (cols > 0 && rows > 0 && (!src->pData[0] || !dst->pData[0] || src->iStride[0] < width))
        return RL_ERR_INVALID_PARAM;

    int32_t curStride = 0, refStride = 0;
    const uint8_t* cur = nullptr;
    const uint8_t* ref = nullptr;
    if (cols > 0 && rows > 0) {
        cur = AlignedPlane(*src, &m_sCurCopy, &curStride);
        if (!cur) return RL_ERR_NO_MEMORY;
        ref = AlignedPlane(*dst, &m_sRefCopy, &refStride);
        if (!ref) return RL_ERR_NO_MEMORY;
    }

    m_iWorkWidth = width;
    m_iWorkHeight = height;
    m_iBlockCols = cols;
    m_iBlockRows = rows;
    m_pCurPlane = cur;
    m_pRefPlane = ref;
    m_iCurStride = curStride;
    m_iRefStride = refStride;
    m_iSceneChangeLevel = RL_SCENE_CHANGE_NONE;
    m_iChangedBlocks = 0;
    m_fChangedRatio = 0.0f;

    // A frame too small for one block has nothing that could have changed.
    if (cols > 0 && rows > 0) {
        int32_t changed = 0;
        // Blocks in groups of four go through the row kernel, one vector pass
        // per group; the rest through the per-block kernel.
        const int32_t grouped = cols & ~3;
        for (int32_t by = 0; by < rows; ++by) {
            const uint8_t* c = cur + static_cast<ptrdiff_t>(by) * 8 * curStride;
            const uint8_t* r = ref + static_cast<ptrdiff_t>(by) * 8 * refStride;
            changed += m_pfnCountChangedBlocks(c, curStride, r, refStride, grouped, kBlockSadThreshold);
            for (int32_t bx = grouped; bx < cols; ++bx)
                changed += m_pfnSad8x8(c + 8 * bx, curStride, r + 8 * bx, refStride) > kBlockSadThreshold;
        }
        const float blocks = static_cast<float>(static_cast<int64_t>(cols) * rows);
        if (changed >= ThresholdFor(m_fLargeChange, blocks)) m_iSceneChangeLevel = RL_SCENE_CHANGE_LARGE;
        else if (changed >= ThresholdFor(m_fMediumChange, blocks)) m_iSceneChangeLevel = RL_SCENE_CHANGE_MEDIUM;
        else if (changed >= ThresholdFor(m_fSmallChange, blocks)) m_iSceneChangeLevel = RL_SCENE_CHANGE_SMALL;
        m_iChangedBlocks = changed;
        m_fChangedRatio = static_cast<float>(changed) / blocks;
    }
    AccountFrame(t0);
    return RL_OK;
}

}  // namespace Ravvel
