// The exported C entry points.
#include <new>

#include "frame/cpu_features.h"
#include "frame/manager.h"

extern "C" {

int32_t CreateRavvel(IRavvel** out)
{
    if (out == nullptr) return RL_ERR_INVALID_PARAM;
    try {
        *out = new Ravvel::CRavvelManager();
    } catch (const std::bad_alloc&) {
        return RL_ERR_NO_MEMORY;
    }
    return RL_OK;
}

void DestroyRavvel(IRavvel* p) { delete p; }

SRLVersion GetRavvelVersion(void) { return SRLVersion{4, 9, 2, 0}; }

int32_t GetRavvelArch(void) { return Ravvel::ArchLevelFromFlags(VeskCPUFeatureDetect(nullptr)); }

}  // extern "C"
