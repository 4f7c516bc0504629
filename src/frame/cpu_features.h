// CPU feature detection.
//
// The flag word is decided by a pure function of raw CPUID/XGETBV register
// values (DecideCpuFeatures), so that processors other than the one running
// the tests can be replayed from their register values.
#ifndef RAVVEL_FRAME_CPU_FEATURES_H
#define RAVVEL_FRAME_CPU_FEATURES_H

#include <cstdint>

#include "ravvel.h"

// Thin wrappers around the cpuid, xgetbv and emms instructions.
RAVVEL_EXTERN_C RAVVEL_API int32_t VeskCPUIdVerify(void);
// ecx is in/out: on entry the sub-leaf, on return the register. Null outputs are skipped.
RAVVEL_EXTERN_C RAVVEL_API void VeskCPUId(uint32_t leaf, uint32_t* eax, uint32_t* ebx, uint32_t* ecx,
                                          uint32_t* edx);
// eax and ecx are the leaf 1 registers; returns 1 when the feature is usable, else 0.
RAVVEL_EXTERN_C RAVVEL_API int32_t VeskCPUSupportAVX(uint32_t eax, uint32_t ecx);
RAVVEL_EXTERN_C RAVVEL_API int32_t VeskCPUSupportFMA(uint32_t eax, uint32_t ecx);
// Leaf 7 EBX masked to the AVX-512 F/DQ/BW/VL bits, or 0 when the OS does not save ZMM state.
RAVVEL_EXTERN_C RAVVEL_API uint32_t VeskCPUDetectAVX512(void);
RAVVEL_EXTERN_C RAVVEL_API void VeskEmms(void);
// Leaves MMX state after kernels that may have used MMX registers.
RAVVEL_EXTERN_C RAVVEL_API void VeskCPURestore(uint32_t flags);

namespace Ravvel {

// The register values detection depends on. Fields that the processor does
// not provide (leaf above the maximum, xcr0 without OSXSAVE) are zero.
struct CpuIdSnapshot {
    bool bCpuIdAvailable = false;
    uint32_t uiMaxLeaf = 0;
    char szVendor[13] = {};  // leaf 0 EBX, EDX, ECX
    uint32_t uiLeaf1Eax = 0;
    uint32_t uiLeaf1Ebx = 0;
    uint32_t uiLeaf1Ecx = 0;
    uint32_t uiLeaf1Edx = 0;
    uint32_t uiLeaf4Eax = 0;  // sub-leaf 0
    uint32_t uiLeaf7Ebx = 0;  // sub-leaf 0
    uint32_t uiMaxExtendedLeaf = 0;
    uint32_t uiExtLeaf1Edx = 0;  // leaf 0x80000001
    uint64_t ulXcr0 = 0;
};

// Reads the registers of the running processor.
CpuIdSnapshot ReadCpuIdSnapshot();

// RL_CPU_* flags for the given registers; logicalProcessors may be null.
uint32_t DecideCpuFeatures(const CpuIdSnapshot& cpu, int32_t* logicalProcessors);

// The individual conditions, shared by the decision and the Vesk* wrappers.
bool AvxUsable(uint32_t leaf1Ecx, uint64_t xcr0);
bool FmaUsable(uint32_t leaf1Ecx, uint64_t xcr0);
uint32_t Avx512Bits(uint32_t leaf1Ecx, uint32_t leaf7Ebx, uint64_t xcr0);

// SIMD level of a flag word: 5 AVX2, 4 AVX, 3 SSE4.2, 2 SSSE3, 1 SSE2, 0 none.
inline int32_t ArchLevelFromFlags(uint32_t flags)
{
    if (flags & RL_CPU_AVX2) return 5;
    if (flags & RL_CPU_AVX) return 4;
    if (flags & RL_CPU_SSE42) return 3;
    if (flags & RL_CPU_SSSE3) return 2;
    if (flags & RL_CPU_SSE2) return 1;
    return 0;
}

}  // namespace Ravvel

#endif
