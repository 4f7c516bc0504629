// Method 5: removes banding (false contours in smooth gradients) from I420
// pictures, source to destination, in one or more passes per plane.
#ifndef RAVVEL_ENHANCE_FAST_DEBAND_H
#define RAVVEL_ENHANCE_FAST_DEBAND_H

#include <cstdint>

#include "enhance/deband_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

class CFastDeband : public CRavvelFramework {
public:
    explicit CFastDeband(uint32_t cpuFlags);
    ~CFastDeband() override;

    // config: an SFastDebandConfig or null (keeps the current settings).
    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    DebandSubimageFunc GetKernel() const { return m_pfDeband; }

private:
    int32_t InitFastDebandFunc();
    // Own quantiser list for pictures that bring none; false if it could not be allocated.
    bool AllocateQPList(const SRLPictureInfo* src);
    int32_t av1util_deband_frame(int32_t strength, int32_t sizeA, int32_t sizeB, int32_t depthY, int32_t depthUV,
                                 int32_t dither, uint32_t seed, DebandAllocFunc alloc, DebandFreeFunc release);
    int32_t av1util_deband_subframe(int32_t strength, int32_t sizeA, int32_t sizeB, int32_t depthY,
                                    int32_t depthUV, int32_t dither, uint32_t seed, DebandAllocFunc alloc,
                                    DebandFreeFunc release, int32_t y0, int32_t y1);
    // The passes of one plane: the first from src to dst, the others in place
    // on dst, one size smaller each; only the last one dithers.
    bool DebandPlane(int plane, int32_t width, int32_t y0, int32_t y1, int32_t strength, int32_t sizeA,
                     int32_t sizeB, int32_t maxPasses, int32_t lastDither, uint32_t seed, DebandAllocFunc alloc,
                     DebandFreeFunc release);
    int32_t deband_image_wrapper(DebandAllocFunc alloc, DebandFreeFunc release, const uint8_t* src,
                                 int32_t srcStride, uint8_t* dst, int32_t dstStride, int32_t width, int32_t height,
                                 int32_t strength, int32_t sizeA, int32_t sizeB, int32_t dither, uint32_t seed,
                                 int32_t bitDepth, bool inPlace, int32_t y0, int32_t y1);
    // The pass work buffer lives with the object (grow-only), so that frames
    // after the first allocate nothing.
    static void* WorkAlloc(void* self, size_t bytes);
    static void WorkRelease(void* self, void* block);
    // Replaces the C library's rand(): the same sequence for every object
    // after Init/Uninit, and no state shared between objects.
    uint32_t NextRandomSeed();
    void FreeBuffers();

    uint32_t m_CPUFlag;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    int32_t m_iFrameIndex = 0;
    int32_t m_iBlockSize = 16;
    int32_t m_iStrength = 8;
    int32_t m_iDither = 6;
    int32_t m_iLog2Size = 6;
    DebandSubimageFunc m_pfDeband = nullptr;
    // Planes of the frame being processed (filter size, clipped to the picture).
    const uint8_t* m_pSrc[3] = {nullptr, nullptr, nullptr};
    uint8_t* m_pDst[3] = {nullptr, nullptr, nullptr};
    int32_t m_iSrcStride[3] = {0, 0, 0};
    int32_t m_iDstStride[3] = {0, 0, 0};
    int32_t m_iFilterWidth = 0;
    int32_t m_iFilterHeight = 0;
    int32_t m_iQPCount = 0;
    int32_t m_iQPColumns = 0;
    int32_t m_iQPRows = 0;
    uint8_t* m_pQPList = nullptr;
    bool m_bQPListAllocated = false;
    bool m_bAutoMode = false;
    uint8_t m_aucQPHistory[16] = {};
    int32_t m_iDepthY = 0;
    int32_t m_iDepthUV = 1;
    int32_t m_iSeedMethod = 0;
    uint32_t m_uiSeedState = 0;
    uint8_t* m_pWorkBuffer = nullptr;
    uint32_t m_uiWorkBytes = 0;
};

}  // namespace Ravvel

#endif
