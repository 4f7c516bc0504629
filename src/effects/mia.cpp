#include "effects/mia.h"

#include <cstddef>

#include "frame/memory.h"

namespace Ravvel {

namespace {

#define RL_MIA_FILLER(tier)                                  \
    [](MiaKernels* k) {                                      \
        k->pfnApply = MiaApplyTable_##tier;                  \
        k->pfnApplyMasked = MiaApplyTableMasked_##tier;      \
    }

const TierFillers<MiaKernels> kMiaFillers = {
    [](MiaKernels* k) {
        k->pfnApply = MiaApplyTable_c;
        k->pfnApplyMasked = MiaApplyTableMasked_c;
    },
    RL_MIA_FILLER(sse2),
    RL_MIA_FILLER(ssse3),
    RL_MIA_FILLER(sse4),
    RL_MIA_FILLER(avx),
    RL_MIA_FILLER(avx2),
};

#undef RL_MIA_FILLER

int32_t Clamp255(int64_t x) { return static_cast<int32_t>(x < 0 ? 0 : x > 255 ? 255 : x); }

}  // namespace

void FillMiaKernels(MiaKernels* table, uint32_t cpuFlags) { FillKernelTable(table, cpuFlags, kMiaFillers); }

CMia::CMia(uint32_t cpuFlags)
{
    m_strName = "MIA";
    CreateLogger();
    FillMiaKernels(&m_sKernels, cpuFlags);
    RefreshTable();
}

CMia::~CMia()
{
    FreeMask();
    DestroyLogger();
}

// Settings are not range-checked, so the products are formed in 64 bits:
// any int32 setting gives a defined, clamped table.
void CMia::RefreshTable()
{
    const int64_t gain = static_cast<int64_t>(m_iContrast) + 50;
    const int64_t offset = static_cast<int64_t>(m_iBrightness) - 50;
    for (int i = 0; i < 256; ++i) {
        const int64_t d = i - 128;
        m_aiLumaTable[i] = Clamp255(128 + (d * gain) / 100 + offset);
        // d * gain * saturation can pass 64 bits only when both settings are
        // near the int32 limits; then the sign alone decides the clamp.
        const int64_t gs = gain * m_iSaturation;
        int64_t chroma;
        if (__builtin_mul_overflow(d, gs, &chroma))
            chroma = ((d < 0) != (gs < 0)) ? -5000 * 256 : 5000 * 256;
        m_aiChromaTable[i] = Clamp255(128 + chroma / 5000);
        m_aucLumaLut[i] = static_cast<uint8_t>(m_aiLumaTable[i]);
        m_aucChromaLut[i] = static_cast<uint8_t>(m_aiChromaTable[i]);
    }
}

int32_t CMia::Init(void* config, bool)
{
    if (!config) return RL_OK;
    const SRLMiaConfig* c = static_cast<const SRLMiaConfig*>(config);
    if (c->iFormat != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
    m_iBrightness = c->iBrightness;
    m_iSaturation = c->iSaturation;
    RefreshTable();
    return RL_OK;
}

void CMia::FreeMask()
{
    VeskFree(m_pMaskBuffer);
    m_pMaskBuffer = nullptr;
    m_uiMaskBufferSize = 0;
}

int32_t CMia::Uninit()
{
    FreeMask();
    ReinitStatistics();
    return RL_OK;
}

int32_t CMia::SetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    const int32_t v = *static_cast<const int32_t*>(value);
    switch (option) {
    case RL_OPTION_MIA_BRIGHTNESS:
        m_iBrightness = v;
        break;
    case RL_OPTION_MIA_CONTRAST:
        m_iContrast = v;
        break;
    case RL_OPTION_MIA_SATURATION:
        m_iSaturation = v;
        break;
    default:
        return RL_OK;
    }
    RefreshTable();
    return RL_OK;
}

int32_t CMia::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    switch (option) {
    case RL_OPTION_MIA_BRIGHTNESS:
        *static_cast<int32_t*>(value) = m_iBrightness;
        break;
    case RL_OPTION_MIA_CONTRAST:
        *static_cast<int32_t*>(value) = m_iContrast;
        break;
    case RL_OPTION_MIA_SATURATION:
        *static_cast<int32_t*>(value) = m_iSaturation;
        break;
    case RL_OPTION_AVERAGE_TIME: {
        *static_cast<double*>(value) = AverageFrameTimeUs();
        break;
    }
    default:
        break;
    }
    return RL_OK;
}

int32_t CMia::Process(SRLPictureInfo* src, SRLPictureInfo*, void*)
{
    const int64_t t0 = NowUs();
    if (!src || src->eFormat != RL_FORMAT_I420) return RL_ERR_INVALID_PARAM;
    if (!src->pData[0] || !src->pData[1] || !src->pData[2]) return RL_ERR_INVALID_PARAM;
    // Rows are walked top-down with their own pitch, so a pitch must cover its row.
    const int32_t w = src->iWidth, h = src->iHeight;
    if (w < 1 || h < 1 || src->iStride[0] < w || src->iStride[1] < w / 2 || src->iStride[2] < w / 2)
        return RL_ERR_INVALID_PARAM;
    const int32_t cw = w >> 1, ch = h >> 1;
    const bool luma = !(m_iBrightness == 50 && m_iContrast == 50);
    const bool chroma = !(m_iContrast == 50 && m_iSaturation == 50);

    if (luma || chroma) {
        const uint8_t* mask = nullptr;
        if (src->pMask && src->iMaskWidth >= 1 && src->iMaskHeight >= 1) {
            if (src->iMaskWidth == w && src->iMaskHeight == h) {
                mask = src->pMask;
            } else {
                const uint64_t need = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
                if (need > 0xffff0000u) return RL_ERR_NO_MEMORY;
                if (need > m_uiMaskBufferSize) {
                    FreeMask();
                    m_pMaskBuffer = static_cast<uint8_t*>(VeskMalloc(static_cast<uint32_t>(need), 16));
                    if (!m_pMaskBuffer) return RL_ERR_NO_MEMORY;
                    m_uiMaskBufferSize = static_cast<uint32_t>(need);
                }
                MiaScaleMask_c(src->pMask, src->iMaskWidth, src->iMaskHeight, m_pMaskBuffer, w, h);
                mask = m_pMaskBuffer;
            }
        }
        if (mask) {
            if (luma) m_sKernels.pfnApplyMasked(src->pData[0], src->iStride[0], w, h, m_aucLumaLut, mask, w, 1);
            if (chroma)
                for (int i = 1; i < 3; ++i)
                    m_sKernels.pfnApplyMasked(src->pData[i], src->iStride[i], cw, ch, m_aucChromaLut, mask, 2 * w, 2);
        } else {
            if (luma) m_sKernels.pfnApply(src->pData[0], src->iStride[0], w, h, m_aucLumaLut);
            if (chroma)
                for (int i = 1; i < 3; ++i) m_sKernels.pfnApply(src->pData[i], src->iStride[i], cw, ch, m_aucChromaLut);
        }
    }
    AccountFrame(t0);
    return RL_OK;
}

}  // namespace Ravvel
