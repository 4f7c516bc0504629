// Method 28: Sobel edge-strength map of the luma plane, optionally thinned by
// non-maximum suppression.
#ifndef RAVVEL_EFFECTS_EDGE_H
#define RAVVEL_EFFECTS_EDGE_H

#include <cstdint>

#include "effects/edge_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

struct TagEdgeFuncs {
    SobelLumaFilterFunc pfnSobelLumaFilter8;
};

// The kernel of the highest tier whose flag is set.
void InitEdgeFunc(TagEdgeFuncs* funcs, uint32_t cpuFlags);

class CEdge : public CRavvelFramework {
public:
    explicit CEdge(uint32_t cpuFlags);
    ~CEdge() override;

    // config is an SRLEdgeConfig (I420 or YV12).
    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    // Plane 0 of the source becomes the edge map in plane 0 of the destination.
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    // RL_OPTION_EDGE_CONFIG re-initialises with a new SRLEdgeConfig.
    int32_t SetOption(RL_EOption option, void* value) override;
    // RL_OPTION_AVERAGE_TIME: a double, microseconds per frame.
    int32_t GetOption(RL_EOption option, void* value) override;

    const TagEdgeFuncs& GetKernels() const { return m_sFuncs; }
    uint32_t GetFrameCount() const { return m_uiFrameCount; }

private:
    TagEdgeFuncs m_sFuncs{};
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    int32_t m_iStride = 0;
    int32_t m_eFormat = 0;
    bool m_bSuppressNonMaxima = false;
    // Magnitudes and direction flags for the thinning; made on the first
    // frame that needs it, so that a record with absurd sizes costs nothing.
    uint8_t* m_pWorkBuffer = nullptr;
    uint32_t m_uiWorkCapacity = 0;
    uint32_t m_uiFrameCount = 0;
};

}  // namespace Ravvel

#endif
