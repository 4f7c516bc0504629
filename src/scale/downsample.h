// Method 7: shrinks a picture to a smaller size in the same format.
#ifndef RAVVEL_SCALE_DOWNSAMPLE_H
#define RAVVEL_SCALE_DOWNSAMPLE_H

#include <cstdint>

#include "frame/framework.h"
#include "scale/downsample_kernels.h"
#include "scale/multitap.h"

namespace Ravvel {

class CDownsampling : public CRavvelFramework {
public:
    explicit CDownsampling(uint32_t cpuFlags);
    ~CDownsampling() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption id, void* value) override;
    int32_t GetOption(RL_EOption id, void* value) override;

    // Full plane of a sample buffer: the largest intermediate (1920 x 1088).
    static constexpr uint32_t kSamplePlaneBytes = 1920u * 1088u;
    static constexpr uint32_t kHalfBandTempInitial = kSamplePlaneBytes;
    static constexpr uint32_t kGeneralTempInitial = 3840u;

    // Read-only views for tests.
    const int8_t* HalfBandTaps() const { return m_iHalfBandTaps; }
    uint32_t HalfBandTapCount() const { return m_uiHalfBandTapCount; }
    const DownsampleFuncs& Funcs() const { return m_sFuncs; }
    const PreprocessKernels& Preprocess() const { return m_sPreprocess; }
    uint32_t HalfBandTempCapacity() const { return m_uiHalfBandTempCapacity; }
    uint32_t GeneralTempCapacity() const { return m_uiGeneralTempCapacity; }

    // The two filtered passes on one plane.
    void DownsampleHalfMultiTap(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride,
                                int32_t width, int32_t height);
    void GeneralFourTapDownsampler(uint8_t* dst, int32_t dstStride, int32_t dstWidth, int32_t dstHeight,
                                   const uint8_t* src, int32_t srcStride, int32_t srcWidth, int32_t srcHeight);

private:
    struct PlaneRef {
        uint8_t* pData;
        int32_t iStride;
        int32_t iWidth;
        int32_t iHeight;
    };

    int32_t InitBuffer(SRLPictureInfo* src, SRLPictureInfo* dst);
    int32_t InitFilters();
    int32_t ChannelCount(uint32_t format);
    int32_t AllocateSampleBuffers(uint32_t format);
    void FreeSampleBuffers();
    // Library picture buffer for a picture of this size and format; -4 for a
    // format without a layout, -3 when the allocation fails.
    int32_t AllocateBuffer(bool isSrc, int32_t width, int32_t height, uint32_t format);
    bool IsAligned(const SRLPictureInfo& p) const;
    bool HasPlanes(const SRLPictureInfo& p) const;
    bool StridesCover(const SRLPictureInfo& p) const;
    void CopyFrame(const SRLPictureInfo& from, SRLPictureInfo& to);

    void HalvePlane(const PlaneRef& src, const PlaneRef& dst);
    void GeneralPass(const PlaneRef& src, const PlaneRef& dst, bool chroma);
    void ProcessPlanar(uint32_t format);
    int32_t PlaneCount(uint32_t format) const;
    PlaneRef SrcPlane(int i) const;
    PlaneRef DstPlane(int i) const;

    DownsampleFuncs m_sFuncs;
    bool m_bOutputToCaller = false;
    uint32_t m_uiCpuFlags;
    uint8_t* m_pSampleBuffer[2][3] = {};
    uint8_t* m_pSampleAllocation = nullptr;
    uint32_t m_uiSampleFormat = 0;
    uint8_t* m_pHalfBandTempBuffer = nullptr;
    uint8_t* m_pGeneralTempBuffer = nullptr;
    uint32_t m_uiHalfBandTempCapacity = 0;
    uint32_t m_uiGeneralTempCapacity = 0;
    bool m_bSampleAllocFailed = false;
    int8_t m_iHalfBandTaps[16] = {};
    uint32_t m_uiHalfBandTapCount = 6;
    bool m_bHalfMultiTap = true;
    bool m_bGeneralFourTap = true;
    SRLPictureInfo m_sSrcPicture;
    SRLPictureInfo m_sDstPicture;
    uint8_t* m_pSrcBuffer = nullptr;
    uint8_t* m_pDstBuffer = nullptr;
    uint32_t m_uiSrcCapacity = 0;
    uint32_t m_uiDstCapacity = 0;
    bool m_bSampleReady = false;
    bool m_bCopyOut = false;
    uint32_t m_uiChannels = 1;
    uint8_t m_uiLanczosTune = 0;
    uint8_t m_uiDesignedTune = 0;
    PreprocessKernels m_sPreprocess;
    const int8_t* m_pFourTapTable = nullptr;
};

}  // namespace Ravvel

#endif
