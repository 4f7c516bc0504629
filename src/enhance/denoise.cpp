#include "enhance/denoise.h"

#include <cmath>
#include <cstring>

#include "frame/memory.h"

namespace Ravvel {

const char* const NoiseLevelString[5] = {"NONE", "WEAK", "STRONG", "VERY_STRONG", "SUPER_STRONG"};

namespace {

// Temporal thresholds by noise level.
const int kAcBase[5] = {0, 300, 704, 704, 704};
const int kDcBase[5] = {0, 140, 420, 420, 420};

#define RL_DENOISE_FILLER(tier)                                  \
    [](TagDenoiseFuncs* f) {                                     \
        f->pfBilateralLuma16 = BilateralLumaFilter16_##tier;     \
        f->pfBilateralLuma8 = BilateralLumaFilter8_##tier;       \
        f->pfChromaFilter8 = BilateralLumaFilter8_##tier;        \
        f->pfNoiseEstimation = NoiseEstimation8_##tier;          \
        f->pfTemporalAverage = TemporalAverageBlock_##tier;      \
        f->pfTemporalSkipCheck = TemporalSkipCheck8x8_##tier;    \
    }

const TierFillers<TagDenoiseFuncs> kDenoiseFillers = {
    RL_DENOISE_FILLER(c),   RL_DENOISE_FILLER(sse2), RL_DENOISE_FILLER(ssse3),
    RL_DENOISE_FILLER(sse4), RL_DENOISE_FILLER(avx),  RL_DENOISE_FILLER(avx2),
};

#undef RL_DENOISE_FILLER

bool IsPlanar420(int32_t format) { return format == RL_FORMAT_I420 || format == RL_FORMAT_YV12; }

// Copies rows of rowBytes; never touches the bytes between rows, which the
// picture's owner may not have allocated after the last row.
void CopyRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int rowBytes, int rows)
{
    if (rowBytes <= 0 || rows <= 0) return;
    if (dstStride == srcStride) {
        std::memcpy(dst, src, static_cast<size_t>(rows - 1) * static_cast<size_t>(srcStride) + rowBytes);
        return;
    }
    for (int y = 0; y < rows; ++y)
        std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride, src + static_cast<ptrdiff_t>(y) * srcStride,
                    static_cast<size_t>(rowBytes));
}

// Plane sizes in bytes of a 4:2:0 layout, or 0 when it does not fit one block.
uint64_t LayoutBytes(const int32_t strides[3], int height)
{
    const uint64_t h = static_cast<uint64_t>(height), ch = h >> 1;
    return static_cast<uint64_t>(strides[0]) * h + static_cast<uint64_t>(strides[1]) * ch +
           static_cast<uint64_t>(strides[2]) * ch;
}

constexpr uint64_t kMaxBlock = 0x7fff0000u;

}  // namespace

void InitDenoiseFunc(TagDenoiseFuncs& funcs, int flags)
{
    FillKernelTable(&funcs, static_cast<uint32_t>(flags), kDenoiseFillers);
}

CDenoise::CDenoise(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    InitDenoiseFunc(m_sFuncs, static_cast<int>(cpuFlags));
    m_strName = "Denoise";
    CreateLogger();
}

CDenoise::~CDenoise()
{
    FreeBuffers();
    DestroyLogger();
}

void CDenoise::FreeBuffers()
{
    VeskFree(m_sPreviousPic.pData[0]);
    std::memset(&m_sPreviousPic, 0, sizeof m_sPreviousPic);
    m_pBlockMap = nullptr;
    VeskFree(m_sWorkPic.pData[0]);
    std::memset(&m_sWorkPic, 0, sizeof m_sWorkPic);
    VeskFree(m_pNoiseScratch);
    m_pNoiseScratch = nullptr;
    m_uiNoiseScratchEntries = 0;
}

void CDenoise::ApplyMode(int32_t mode)
{
    m_iMode = mode;
    if (mode == 0) {
        m_iNoiseLevel = 1;
    } else if (mode >= 1 && mode <= 4) {
        m_iNoiseLevel = mode;
        m_iNoiseLevelQ8 = mode * 256;
    } else {
        m_iNoiseLevelQ8 = m_iNoiseLevel * 256;
    }
}

void CDenoise::SwitchDenoiseFilter()
{
    const uint32_t flags = m_uiCpuFlags;
    if (m_iNoiseLevel >= 1 && m_iNoiseLevel <= 3) {
        RL_SELECT_TIERED(flags, m_sFuncs.pfBilateralLuma16, BilateralLumaFilter16);
        RL_SELECT_TIERED(flags, m_sFuncs.pfBilateralLuma8, BilateralLumaFilter8);
    } else if (m_iNoiseLevel == 4) {
        RL_SELECT_TIERED(flags, m_sFuncs.pfBilateralLuma16, BilateralLumaFilter16Ex);
        RL_SELECT_TIERED(flags, m_sFuncs.pfBilateralLuma8, BilateralLumaFilter8Ex);
    }
}

int32_t CDenoise::Init(void* config, bool)
{
    if (!config) return RL_ERR_INVALID_PARAM;
    SDenoiseConfig cfg;
    std::memcpy(&cfg, config, sizeof cfg);
    if (!IsPlanar420(cfg.eFormat)) return RL_ERR_UNSUPPORTED;
    // The buffers are laid out for one picture size; a new size rebuilds them.
    if (cfg.iWidth != m_iWidth || cfg.iHeight != m_iHeight) FreeBuffers();
    m_iWidth = cfg.iWidth;
    m_iHeight = cfg.iHeight;
    if (cfg.iMode != m_iMode) {
        ApplyMode(cfg.iMode);
        SwitchDenoiseFilter();
    }
    m_iFrameCount = 0;
    m_bInited = true;
    return RL_OK;
}

int32_t CDenoise::Uninit()
{
    if (!m_bInited) return RL_OK;
    FreeBuffers();
    ReinitStatistics();
    m_bInited = false;
    m_iFrameCount = 0;
    return RL_OK;
}

int32_t CDenoise::SetOption(RL_EOption option, void* value)
{
    switch (static_cast<int>(option)) {
    case RL_OPTION_DENOISE_MODE: {
        if (!value) return RL_ERR_INVALID_PARAM;
        const int32_t mode = *static_cast<const int32_t*>(value);
        if (mode == m_iMode) return RL_OK;
        ApplyMode(mode);
        SwitchDenoiseFilter();
        return RL_OK;
    }
    case RL_OPTION_DENOISE_ESTIMATE_INTERVAL: {
        if (!value) return RL_ERR_INVALID_PARAM;
        const int32_t frames = *static_cast<const int32_t*>(value);
        if (frames > 0) m_iEstimateInterval = frames;
        return RL_OK;
    }
    case RL_OPTION_DENOISE_RESET_COUNTER:
        m_iFrameCount = 0;
        return RL_OK;
    case RL_OPTION_DENOISE_REINIT: {
        Uninit();
        SDenoiseConfig cfg = {m_iWidth, m_iHeight, RL_FORMAT_I420, m_iMode};
        return Init(&cfg, false);
    }
    default:
        return RL_OK;
    }
}

int32_t CDenoise::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    switch (static_cast<int>(option)) {
    case RL_OPTION_DENOISE_LEVEL:
        std::memcpy(value, &m_iNoiseLevel, sizeof m_iNoiseLevel);
        break;
    case RL_OPTION_DENOISE_NOISE_ESTIMATE:
        std::memcpy(value, &m_iNoiseEstimate, sizeof m_iNoiseEstimate);
        break;
    case RL_OPTION_AVERAGE_TIME: {
        const double avg = AverageFrameTimeUs();
        std::memcpy(value, &avg, sizeof avg);
        break;
    }
    default:
        break;
    }
    return RL_OK;
}

void CDenoise::GetStatisticsLog(StatisticsInfo* s)
{
    if (!s || !m_pLogger || s->uiSpare >= 5) return;
    if (static_cast<uint32_t>(m_iNoiseLevel) > s->uiSpare) s->uiSpare = static_cast<uint32_t>(m_iNoiseLevel);
    const int64_t now = NowUs() / 1000;
    const int64_t limit = m_iStatInterval > 0 ? m_iStatInterval : 10000;
    if (now - s->iStartTimeMs <= limit) return;
    m_pLogger->Info("%f ms per frame, maxNoiseLevel: %s",
                    static_cast<double>(s->uiTotalTimeUs) / (static_cast<double>(s->uiFrames) * 1000.0),
                    NoiseLevelString[s->uiSpare]);
    s->uiTotalTimeUs = 0;
    s->uiFrames = 0;
    s->uiSpare = 0;
    s->iStartTimeMs = now;
}

void CDenoise::CountFrame()
{
    // Wraps to the start of a period instead of overflowing.
    m_iFrameCount = m_iFrameCount == INT32_MAX ? 0 : m_iFrameCount + 1;
}

bool CDenoise::NoiseEstimation(uint8_t* cur, uint8_t* prev, int width, int height, int stride)
{
    const uint64_t entries = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) / 25;
    if (entries * 8 > kMaxBlock) return false;
    if (entries > m_uiNoiseScratchEntries || !m_pNoiseScratch) {
        VeskFree(m_pNoiseScratch);
        m_uiNoiseScratchEntries = 0;
        // Both arrays in one block; one entry more keeps the block non-empty.
        m_pNoiseScratch = static_cast<uint32_t*>(VeskMalloc(static_cast<uint32_t>((entries + 1) * 8), 16));
        if (!m_pNoiseScratch) return false;
        m_uiNoiseScratchEntries = static_cast<uint32_t>(entries);
    }
    const int r = m_sFuncs.pfNoiseEstimation(cur, prev, width, height, stride, m_pNoiseScratch,
                                             m_pNoiseScratch + m_uiNoiseScratchEntries + 1);
    m_iNoiseEstimate = r;
    int instant;
    if (r <= 255)
        instant = 0;
    else if (r <= 511)
        instant = 1;
    else if (r <= 2559)
        instant = 2;
    else if (r <= 4095)
        instant = 3;
    else
        instant = 4;
    // Three quarters of the old level plus a quarter of the new, in 1/256 steps.
    const int q8 = (instant * 16384 + 192 * m_iNoiseLevelQ8 + 128) >> 8;
    m_iNoiseLevelQ8 = q8 < 1024 ? q8 : 1024;
    m_iNoiseLevel = (m_iNoiseLevelQ8 + 128) >> 8;
    return true;
}

bool CDenoise::PreparePrevious(const int32_t strides[3])
{
    SRLPictureInfo& p = m_sPreviousPic;
    if (p.pData[0] && p.iStride[0] == strides[0] && p.iStride[1] == strides[1] && p.iStride[2] == strides[2])
        return true;
    const int rows = (m_iHeight + 15) >> 4;
    const uint64_t mapBytes = static_cast<uint64_t>(m_iBlockCols) * static_cast<uint64_t>(rows);
    const uint64_t total = LayoutBytes(strides, m_iHeight) + mapBytes;
    if (total == 0 || total > kMaxBlock) return false;
    uint8_t* block = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(total), 16));
    if (!block) return false;
    SRLPictureInfo n = p;
    n.pData[0] = block;
    n.pData[1] = block + static_cast<size_t>(strides[0]) * m_iHeight;
    n.pData[2] = n.pData[1] + static_cast<size_t>(strides[1]) * (m_iHeight >> 1);
    uint8_t* map = n.pData[2] + static_cast<size_t>(strides[2]) * (m_iHeight >> 1);
    for (int i = 0; i < 3; ++i) n.iStride[i] = strides[i];
    n.iWidth = m_iWidth;
    n.iHeight = m_iHeight;
    if (p.pData[0]) {
        // A later frame came with other strides: keep the history.
        CopyRows(n.pData[0], n.iStride[0], p.pData[0], p.iStride[0], m_iWidth, m_iHeight);
        for (int i = 1; i < 3; ++i)
            CopyRows(n.pData[i], n.iStride[i], p.pData[i], p.iStride[i], m_iWidth >> 1, m_iHeight >> 1);
        std::memcpy(map, m_pBlockMap, static_cast<size_t>(mapBytes));
        VeskFree(p.pData[0]);
    }
    p = n;
    m_pBlockMap = map;
    return true;
}

int32_t CDenoise::Process(SRLPictureInfo* src, SRLPictureInfo*, void*)
{
    const int64_t t0 = NowUs();
    if (!m_bInited) return RL_ERR_NOT_INITIALIZED;
    if (!src) return RL_ERR_INVALID_PARAM;
    if (!IsPlanar420(src->eFormat)) return RL_ERR_UNSUPPORTED;
    if (!src->pData[0] || !src->pData[1] || !src->pData[2]) return RL_ERR_INVALID_PARAM;
    const int w = src->iWidth, h = src->iHeight;
    // Planes are filtered in place, so their rows must really hold the picture.
    if (w < 1 || h < 1 || src->iStride[0] < w || src->iStride[1] < (w >> 1) || src->iStride[2] < (w >> 1))
        return RL_ERR_INVALID_PARAM;

    if (m_iMode == -1 || (m_iFrameCount % m_iEstimateInterval > 5 && m_iNoiseLevel == 0)) {
        CountFrame();
        return RL_OK;
    }

    const int cw = w >> 1, ch = h >> 1;
    if (w != m_iWidth || h != m_iHeight) {
        Uninit();
        SDenoiseConfig cfg = {w, h, src->eFormat, m_iMode};
        Init(&cfg, false);
    }
    m_iBlockCols = (w + 15) >> 4;

    // The working picture: the source itself when its luma rows are aligned,
    // else the library's aligned copy.
    SRLPictureInfo work = *src;
    const bool inPlace = (reinterpret_cast<uintptr_t>(src->pData[0]) & 15) == 0 && (src->iStride[0] & 15) == 0;
    if (!inPlace) {
        if (!m_sWorkPic.pData[0]) {
            const int32_t s = (src->iStride[0] + 15) & ~15;
            const int32_t strides[3] = {s, s / 2, s / 2};
            const uint64_t bytes = LayoutBytes(strides, h);
            uint8_t* block = bytes > 0 && bytes <= kMaxBlock ? static_cast<uint8_t*>(
                                                                   VeskMalloc(static_cast<uint32_t>(bytes), 16))
                                                             : nullptr;
            if (!block) return RL_ERR_NO_MEMORY;
            m_sWorkPic.pData[0] = block;
            m_sWorkPic.pData[1] = block + static_cast<size_t>(s) * h;
            m_sWorkPic.pData[2] = m_sWorkPic.pData[1] + static_cast<size_t>(s / 2) * ch;
            for (int i = 0; i < 3; ++i) m_sWorkPic.iStride[i] = strides[i];
        }
        // Only the picture's own bytes are copied, whatever the source's
        // strides, so the copy never outgrows the buffer.
        for (int i = 0; i < 3; ++i) work.pData[i] = m_sWorkPic.pData[i], work.iStride[i] = m_sWorkPic.iStride[i];
        CopyRows(work.pData[0], work.iStride[0], src->pData[0], src->iStride[0], w, h);
        for (int i = 1; i < 3; ++i) CopyRows(work.pData[i], work.iStride[i], src->pData[i], src->iStride[i], cw, ch);
    }

    const bool hasPrevious = m_sPreviousPic.pData[0] != nullptr;
    if (!PreparePrevious(work.iStride)) return RL_ERR_NO_MEMORY;

    bool temporal = hasPrevious;
    if (m_iMode == 0 && m_iFrameCount % m_iEstimateInterval <= 5 && hasPrevious) {
        const int oldLevel = m_iNoiseLevel;
        if (!NoiseEstimation(work.pData[0], m_sPreviousPic.pData[0], w, h, work.iStride[0])) return RL_ERR_FAILED;
        if (m_iNoiseLevel != oldLevel) {
            if (oldLevel == 0) {
                // The stored frame is older than the one before: start the
                // temporal history afresh.
                std::memset(m_pBlockMap, 0, static_cast<size_t>(m_iBlockCols) * ((h + 15) >> 4));
                temporal = false;
            }
            SwitchDenoiseFilter();
        }
    }

    if (m_iNoiseLevel != 0) {
        const bool spatialFirst = m_iNoiseLevel >= 3;
        if (!spatialFirst && temporal) TemporalDenoise(work);
        // At the lower levels blocks the temporal pass accepted keep its result alone.
        const bool all = spatialFirst;
        if (m_usPlaneMask & 1) BilateralDenoiseLuma(work.pData[0], w, h, work.iStride[0], all);
        if (m_usPlaneMask & 2) WaverageDenoiseChroma(work.pData[1], cw, ch, work.iStride[1], all);
        if (m_usPlaneMask & 4) WaverageDenoiseChroma(work.pData[2], cw, ch, work.iStride[2], all);
        if (spatialFirst && temporal) TemporalDenoise(work);

        CopyRows(m_sPreviousPic.pData[0], m_sPreviousPic.iStride[0], work.pData[0], work.iStride[0], w, h);
        for (int i = 1; i < 3; ++i)
            CopyRows(m_sPreviousPic.pData[i], m_sPreviousPic.iStride[i], work.pData[i], work.iStride[i], cw, ch);
        if (!inPlace) {
            CopyRows(src->pData[0], src->iStride[0], work.pData[0], work.iStride[0], w, h);
            for (int i = 1; i < 3; ++i)
                CopyRows(src->pData[i], src->iStride[i], work.pData[i], work.iStride[i], cw, ch);
        }
    }

    AccountFrame(t0);
    CountFrame();
    return RL_OK;
}

// Luma walk on 16x16 blocks. The picture's outermost rows and columns are
// left alone. Block columns read one pixel beyond their 16 columns, so the
// last block column, and a block column that is both first and last, use the
// bilateral kernel only where its right neighbour exists and the 3x3 Gaussian
// up to the second-to-last column otherwise.
void CDenoise::BilateralDenoiseLuma(uint8_t* plane, int width, int height, int stride, bool all)
{
    const int e = m_usBorder;
    const int bw = (width + 15) >> 4, bh = (height + 15) >> 4;
    if (bh < 1) return;
    for (int by = 0; by < bh; ++by) {
        int y0 = 16 * by, y1 = 16 * by + 15;
        if (by == 0) y0 = e;
        if (by == bh - 1) y1 = height - e - 1;
        if (y1 < y0) continue;
        for (int bx = 0; bx < bw; ++bx) {
            if (!all && m_pBlockMap[by * m_iBlockCols + bx]) continue;
            const int x0 = 16 * bx;
            for (int y = y0; y <= y1; ++y) {
                uint8_t* row = plane + static_cast<ptrdiff_t>(y) * stride;
                if (bx == 0) {
                    const int gaussEnd = width - 2 < 7 ? width - 2 : 7;
                    for (int x = e; x <= gaussEnd; ++x) Gauss3x3Filter(row + x, stride);
                    if (bw >= 2)
                        m_sFuncs.pfBilateralLuma8(row + 8, stride);
                    else
                        for (int x = 8; x <= width - 2; ++x) Gauss3x3Filter(row + x, stride);
                } else if (bx < bw - 1) {
                    m_sFuncs.pfBilateralLuma16(row + x0, stride);
                } else {
                    int x = x0;
                    if (width - x0 >= 9) {
                        m_sFuncs.pfBilateralLuma8(row + x0, stride);
                        x = x0 + 8;
                    }
                    for (; x <= width - 2; ++x) Gauss3x3Filter(row + x, stride);
                }
            }
        }
    }
}

// Chroma walk on 8x8 blocks with the same border rule.
void CDenoise::WaverageDenoiseChroma(uint8_t* plane, int width, int height, int stride, bool all)
{
    if (height < 1) return;
    const int bw = (width + 7) >> 3, bh = (height + 7) >> 3;
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            if (!all && m_pBlockMap[by * m_iBlockCols + bx]) continue;
            const bool middle = bx > 0 && bx < bw - 1;
            int y0 = 8 * by, y1 = 8 * by + 7;
            if (by == 0) y0 = middle ? 2 : 1;
            if (by == bh - 1) y1 = height - 2;
            const int x0 = 8 * bx;
            for (int y = y0; y <= y1; ++y) {
                uint8_t* row = plane + static_cast<ptrdiff_t>(y) * stride;
                if (middle) {
                    m_sFuncs.pfChromaFilter8(row + x0, stride);
                    continue;
                }
                int xs = bx == 0 ? 1 : x0, xe = bx == 0 && bw > 1 ? 7 : width - 2;
                for (int x = xs; x <= xe; ++x) Gauss3x3Filter(row + x, stride);
            }
        }
    }
}

void CDenoise::TemporalDenoise(const SRLPictureInfo& cur)
{
    const SRLPictureInfo& prev = m_sPreviousPic;
    const int w = m_iWidth, h = m_iHeight, cols = m_iBlockCols;
    const int level = m_iNoiseLevel;
    // Thresholds loosen as a block stays still longer.
    int16_t thrAc[8], thrDc[8];
    for (int c = 0; c < 8; ++c) {
        const double s = std::sqrt((c + 2) * 0.5 / (c + 1));
        thrAc[c] = static_cast<int16_t>(static_cast<int>(kAcBase[level] * s + 0.5));
        thrDc[c] = static_cast<int16_t>(static_cast<int>(kDcBase[level] * s + 0.5));
    }
    for (int y = 0; y <= h - 16; y += 16) {
        for (int x = 0; x <= w - 16; x += 16) {
            uint8_t* entry = m_pBlockMap + (y >> 4) * cols + (x >> 4);
            int c = *entry;
            if (y < h - 16 && entry[cols] < c) c = entry[cols];
            if (y > 0 && entry[-cols] < c) c = entry[-cols];
            if (x < w - 16 && entry[1] < c) c = entry[1];
            if (x > 0 && entry[-1] < c) c = entry[-1];

            uint32_t sadRef[3] = {0, 0, 0}, scratch = 0;
            const ptrdiff_t ys = cur.iStride[0], us = cur.iStride[1], vs = cur.iStride[2];
            const ptrdiff_t yo = y * ys + x, uo = (y / 2) * us + x / 2, vo = (y / 2) * vs + x / 2;
            const TemporalSkipCheckFunc check = m_sFuncs.pfTemporalSkipCheck;
            const int sy = cur.iStride[0];
            const bool alike =
                check(prev.pData[0] + yo, cur.pData[0] + yo, sy, &sadRef[0], &scratch, thrAc[c], thrDc[c]) &&
                check(prev.pData[0] + yo + 8, cur.pData[0] + yo + 8, sy, &sadRef[0], &scratch, thrAc[c], thrDc[c]) &&
                check(prev.pData[0] + yo + 8 * ys, cur.pData[0] + yo + 8 * ys, sy, &sadRef[0], &scratch, thrAc[c],
                      thrDc[c]) &&
                check(prev.pData[0] + yo + 8 * ys + 8, cur.pData[0] + yo + 8 * ys + 8, sy, &sadRef[0], &scratch,
                      thrAc[c], thrDc[c]) &&
                check(prev.pData[1] + uo, cur.pData[1] + uo, cur.iStride[1], &sadRef[1], &scratch, thrAc[c],
                      thrDc[c]) &&
                check(prev.pData[2] + vo, cur.pData[2] + vo, cur.iStride[2], &sadRef[2], &scratch, thrAc[c],
                      thrDc[c]);
            if (alike) {
                m_sFuncs.pfTemporalAverage(prev.pData[0] + yo, cur.pData[0] + yo, sy, 4, c);
                m_sFuncs.pfTemporalAverage(prev.pData[1] + uo, cur.pData[1] + uo, cur.iStride[1], 3, c);
                m_sFuncs.pfTemporalAverage(prev.pData[2] + vo, cur.pData[2] + vo, cur.iStride[2], 3, c);
                *entry = static_cast<uint8_t>(*entry < 7 ? *entry + 1 : 7);
            } else {
                *entry = 0;
            }
        }
    }
}

}  // namespace Ravvel
