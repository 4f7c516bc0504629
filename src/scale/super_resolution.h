// Method 19: enlarges I420 pictures by exactly 2 or 1.5 with content-adaptive
// block filters. The previous source frame is kept so that the 2x filter can
// skip blocks that did not change.
#ifndef RAVVEL_SCALE_SUPER_RESOLUTION_H
#define RAVVEL_SCALE_SUPER_RESOLUTION_H

#include <cstdint>

#include "frame/framework.h"
#include "scale/super_resolution_kernels.h"

namespace Ravvel {

// Filter modes of a frame.
enum SRFilterMode : uint32_t {
    SR_MODE_ADAPTIVE_2X = 0,
    SR_MODE_ENHANCED_2X = 1,
    SR_MODE_ADAPTIVE_1PT5 = 4,
    SR_MODE_ENHANCED_1PT5 = 5,  // refused
    SR_MODE_SIMPLE_1PT5 = 6,
};

class CSuperResolution : public CRavvelFramework {
public:
    explicit CSuperResolution(uint32_t cpuFlags);
    ~CSuperResolution() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption id, void* value) override;
    int32_t GetOption(RL_EOption id, void* value) override;

    // Where the enhanced coefficient file is looked for when option 52 names none.
    static const char* DefaultCoeffPath();

    // Read-only views for tests.
    uint32_t Mode() const { return m_uiSRMode; }
    const SRKernels& Kernels() const { return m_sKernels; }
    const int8_t* PaddedCoeffs() const { return m_iCoeffsPad; }
    const char* CoeffPath() const { return m_szCoeffPath; }
    // Luma and chroma levels of the adaptive 1.5x filter for a source size.
    static void Levels1pt5(int32_t width, int32_t height, int32_t* lumaLevel, int32_t* chromaLevel);

private:
    int32_t InitBuffer(SRLPictureInfo* src, SRLPictureInfo* dst);
    int32_t AllocateQPList(int32_t width, int32_t height);
    int32_t AllocateSrcBuffer(int32_t width, int32_t height);
    int32_t AllocateDstBuffer(int32_t width, int32_t height);
    int32_t SetupCoefficients();
    void FreeEnhanced();

    uint32_t m_uiCpuFlags;
    bool m_bOutputToCaller = false;
    uint8_t m_uiSimple1pt5 = 0;
    uint8_t m_uiEnhanced = 0;
    bool m_bCoeffsReady = false;      // enhanced coefficients loaded
    bool m_bCustomPath = false;
    char m_szCoeffPath[kSRMaxPathLength + 1] = {};
    double* m_pEnhCoeffs = nullptr;
    bool* m_pEnhValid = nullptr;
    uint8_t* m_pQPList = nullptr;
    uint32_t m_uiQPListCapacity = 0;
    uint32_t m_uiCurrentSrc = 0;
    uint32_t m_uiSRMode = SR_MODE_ADAPTIVE_2X;
    uint8_t* m_pSrcBuffer = nullptr;
    uint32_t m_uiSrcBufferSize = 0;
    uint32_t m_uiSrcCapacity = 0;
    uint8_t* m_pDstBuffer = nullptr;
    uint32_t m_uiDstCapacity = 0;
    SRLPictureInfo m_sSrcPicture[2];
    SRLPictureInfo m_sDstPicture;
    SRKernels m_sKernels;
    bool m_bSrcValid = false;
    bool m_bDstValid = false;
    bool m_bQPListValid = false;
    bool m_bCopyOut = false;
    bool m_bBuffersReset = false;  // a buffer was (re)laid out for a new size in this call
    // The 2x table in the padded layout, built once per object: objects on
    // different threads never share writable coefficients.
    bool m_bPadReady = false;
    int32_t m_iQPWidth = 0, m_iQPHeight = 0;           // source size the quantiser list was made for
    int32_t m_iSrcWidth = 0, m_iSrcHeight = 0;         // size of the pictures in the source slots
    int32_t m_iDstWidth = 0, m_iDstHeight = 0;
    alignas(32) int8_t m_iCoeffsPad[kSRPadBytes] = {};
};

}  // namespace Ravvel

#endif
