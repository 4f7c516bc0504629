// Placeholder until detection lands: no SIMD flags.
#include "frame/cpu_features.h"

extern "C" uint32_t VeskCPUFeatureDetect(int32_t* logicalProcessors)
{
    if (logicalProcessors) *logicalProcessors = 0;
    return 0;
}
