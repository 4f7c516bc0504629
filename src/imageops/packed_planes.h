// Rotation and blending read and write their planes top-down and tightly
// packed, whatever the pitch says.
#ifndef RAVVEL_IMAGEOPS_PACKED_PLANES_H
#define RAVVEL_IMAGEOPS_PACKED_PLANES_H

#include "ravvel.h"

namespace Ravvel {

// The first `count` planes are present and not described bottom-up by a
// negative pitch: such a plane lies below its pointer, where a top-down walk
// of width x height bytes would leave the host's buffer.
inline bool HasPackedPlanes(const SRLPictureInfo& p, int count)
{
    for (int i = 0; i < count; ++i)
        if (!p.pData[i] || p.iStride[i] < 0) return false;
    return true;
}

}  // namespace Ravvel

#endif
