// Method 22: brightness, contrast and saturation of an I420 picture through
// two lookup tables, optionally limited to a region by a per-pixel mask.
#ifndef RAVVEL_EFFECTS_MIA_H
#define RAVVEL_EFFECTS_MIA_H

#include <cstdint>

#include "effects/mia_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

struct MiaKernels {
    MiaTableFunc pfnApply;
    MiaTableMaskedFunc pfnApplyMasked;
};

void FillMiaKernels(MiaKernels* table, uint32_t cpuFlags);

class CMia : public CRavvelFramework {
public:
    explicit CMia(uint32_t cpuFlags);
    ~CMia() override;

    // config: null (nothing changes) or an SRLMiaConfig.
    int32_t Init(void* config, bool flag) override;
    // Frees the scaled mask and restarts the statistics.
    int32_t Uninit() override;
    // Adjusts src in place; dst and extra are not used.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    const int32_t* GetLumaTable() const { return m_aiLumaTable; }
    const int32_t* GetChromaTable() const { return m_aiChromaTable; }
    const MiaKernels& GetKernels() const { return m_sKernels; }

private:
    void RefreshTable();
    void FreeMask();

    int32_t m_iBrightness = 50;
    int32_t m_iContrast = 50;
    int32_t m_iSaturation = 50;
    int32_t m_aiLumaTable[256];
    int32_t m_aiChromaTable[256];
    // The same tables as bytes, as the kernels read them.
    uint8_t m_aucLumaLut[256];
    uint8_t m_aucChromaLut[256];
    uint8_t* m_pMaskBuffer = nullptr;  // the mask scaled to the picture
    uint32_t m_uiMaskBufferSize = 0;
    MiaKernels m_sKernels{};
};

}  // namespace Ravvel

#endif
