// CPU feature detection: raw register access plus a pure decision function.
#include "frame/cpu_features.h"

#include <cstring>

namespace {

constexpr uint32_t Bit(int n) { return 1u << n; }

// Leaf 1 EDX.
constexpr uint32_t kEdxFpu = Bit(0);
constexpr uint32_t kEdxCmov = Bit(15);
constexpr uint32_t kEdxMmx = Bit(23);
constexpr uint32_t kEdxSse = Bit(25);
constexpr uint32_t kEdxSse2 = Bit(26);
constexpr uint32_t kEdxHtt = Bit(28);
// Leaf 1 ECX.
constexpr uint32_t kEcxSse3 = Bit(0);
constexpr uint32_t kEcxSsse3 = Bit(9);
constexpr uint32_t kEcxFma = Bit(12);
constexpr uint32_t kEcxSse41 = Bit(19);
constexpr uint32_t kEcxSse42 = Bit(20);
constexpr uint32_t kEcxMovbe = Bit(22);
constexpr uint32_t kEcxAes = Bit(25);
constexpr uint32_t kEcxOsxsave = Bit(27);
constexpr uint32_t kEcxAvx = Bit(28);
// Leaf 7 EBX.
constexpr uint32_t kLeaf7Avx2 = Bit(5);
constexpr uint32_t kLeaf7Avx512Mask = 0xC0030000u;  // F, DQ, BW, VL
// Extended leaf 0x80000001 EDX (AMD).
constexpr uint32_t kExtMmxExt = Bit(22);
constexpr uint32_t kExt3dNow = Bit(31);
// XCR0: SSE and AVX state; plus opmask and both ZMM halves for AVX-512.
constexpr uint64_t kXcr0Ymm = 0x6;
constexpr uint64_t kXcr0Zmm = 0xE6;

constexpr uint32_t kExtendedBase = 0x80000000u;

bool VendorIs(const Ravvel::CpuIdSnapshot& cpu, const char* vendor)
{
    return std::strcmp(cpu.szVendor, vendor) == 0;
}

void CpuId(uint32_t leaf, uint32_t subLeaf, uint32_t regs[4])
{
    __asm__ volatile("cpuid"
                     : "=a"(regs[0]), "=b"(regs[1]), "=c"(regs[2]), "=d"(regs[3])
                     : "a"(leaf), "c"(subLeaf));
}

// Encoded as bytes so that no -mxsave is needed; only valid when OSXSAVE is set.
uint64_t XGetBv0()
{
    uint32_t lo = 0;
    uint32_t hi = 0;
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0u));
    return (static_cast<uint64_t>(hi) << 32) | lo;
}

uint64_t ReadXcr0IfEnabled(uint32_t leaf1Ecx) { return (leaf1Ecx & kEcxOsxsave) ? XGetBv0() : 0; }

uint32_t CacheLineFlag(uint32_t leaf1Ebx)
{
    switch (((leaf1Ebx >> 8) & 0xFF) * 8) {
        case 16: return RL_CPU_CACHELINE_16;
        case 32: return RL_CPU_CACHELINE_32;
        case 64: return RL_CPU_CACHELINE_64;
        case 128: return static_cast<uint32_t>(RL_CPU_CACHELINE_128);
        default: return 0;
    }
}

}  // namespace

namespace Ravvel {

bool AvxUsable(uint32_t leaf1Ecx, uint64_t xcr0)
{
    const uint32_t need = kEcxOsxsave | kEcxAvx;
    return (leaf1Ecx & need) == need && (xcr0 & kXcr0Ymm) == kXcr0Ymm;
}

bool FmaUsable(uint32_t leaf1Ecx, uint64_t xcr0) { return AvxUsable(leaf1Ecx, xcr0) && (leaf1Ecx & kEcxFma); }

uint32_t Avx512Bits(uint32_t leaf1Ecx, uint32_t leaf7Ebx, uint64_t xcr0)
{
    if (!(leaf1Ecx & kEcxOsxsave) || (xcr0 & kXcr0Zmm) != kXcr0Zmm) return 0;
    return leaf7Ebx & kLeaf7Avx512Mask;
}

CpuIdSnapshot ReadCpuIdSnapshot()
{
    CpuIdSnapshot cpu;
    cpu.bCpuIdAvailable = VeskCPUIdVerify() != 0;
    if (!cpu.bCpuIdAvailable) return cpu;

    uint32_t r[4];
    CpuId(0, 0, r);
    cpu.uiMaxLeaf = r[0];
    std::memcpy(cpu.szVendor + 0, &r[1], 4);
    std::memcpy(cpu.szVendor + 4, &r[3], 4);
    std::memcpy(cpu.szVendor + 8, &r[2], 4);
    if (cpu.uiMaxLeaf == 0) return cpu;

    CpuId(1, 0, r);
    cpu.uiLeaf1Eax = r[0];
    cpu.uiLeaf1Ebx = r[1];
    cpu.uiLeaf1Ecx = r[2];
    cpu.uiLeaf1Edx = r[3];
    cpu.ulXcr0 = ReadXcr0IfEnabled(cpu.uiLeaf1Ecx);
    if (cpu.uiMaxLeaf > 3) {
        CpuId(4, 0, r);
        cpu.uiLeaf4Eax = r[0];
    }
    if (cpu.uiMaxLeaf > 6) {
        CpuId(7, 0, r);
        cpu.uiLeaf7Ebx = r[1];
    }
    CpuId(kExtendedBase, 0, r);
    cpu.uiMaxExtendedLeaf = r[0];
    if (cpu.uiMaxExtendedLeaf > kExtendedBase) {
        CpuId(kExtendedBase + 1, 0, r);
        cpu.uiExtLeaf1Edx = r[3];
    }
    return cpu;
}

uint32_t DecideCpuFeatures(const CpuIdSnapshot& cpu, int32_t* logicalProcessors)
{
    if (!cpu.bCpuIdAvailable || cpu.uiMaxLeaf == 0) return 0;

    const bool intel = VendorIs(cpu, "GenuineIntel");
    const bool amd = VendorIs(cpu, "AuthenticAMD");
    const bool cyrix = VendorIs(cpu, "CyrixInstead");
    const uint32_t edx = cpu.uiLeaf1Edx;
    const uint32_t ecx = cpu.uiLeaf1Ecx;

    // Without MMX the processor is treated as having no SIMD at all.
    if (!(edx & kEdxMmx)) return 0;
    uint32_t flags = RL_CPU_MMX;
    if (edx & kEdxSse) flags |= RL_CPU_MMXEXT | RL_CPU_SSE;
    if (edx & kEdxSse2) flags |= RL_CPU_SSE2;
    if (edx & kEdxFpu) flags |= RL_CPU_FPU;
    if (edx & kEdxCmov) flags |= RL_CPU_CMOV;
    if ((edx & kEdxHtt) && (intel || amd)) flags |= RL_CPU_HTT;

    if (ecx & kEcxSse3) flags |= RL_CPU_SSE3;
    if (ecx & kEcxSsse3) flags |= RL_CPU_SSSE3;
    if (ecx & kEcxSse41) flags |= RL_CPU_SSE41;
    if (ecx & kEcxSse42) flags |= RL_CPU_SSE42;
    if (AvxUsable(ecx, cpu.ulXcr0)) flags |= RL_CPU_AVX;
    if (FmaUsable(ecx, cpu.ulXcr0)) flags |= RL_CPU_FMA;
    if (ecx & kEcxAes) flags |= RL_CPU_AES;
    if (ecx & kEcxMovbe) flags |= RL_CPU_MOVBE;

    // Below leaf 7, Intel returns the highest basic leaf instead: not feature bits.
    if (cpu.uiMaxLeaf > 6) {
        if ((flags & RL_CPU_AVX) && (cpu.uiLeaf7Ebx & kLeaf7Avx2)) flags |= RL_CPU_AVX2;
        const uint32_t avx512 = Avx512Bits(ecx, cpu.uiLeaf7Ebx, cpu.ulXcr0);
        if (avx512 & Bit(16)) flags |= RL_CPU_AVX512F;
        if (avx512 & Bit(17)) flags |= RL_CPU_AVX512DQ;
        if (avx512 & Bit(30)) flags |= RL_CPU_AVX512BW;
        if (avx512 & Bit(31)) flags |= RL_CPU_AVX512VL;
    }

    if (logicalProcessors != nullptr) {
        int32_t count = (flags & RL_CPU_HTT) ? static_cast<int32_t>((cpu.uiLeaf1Ebx >> 16) & 0xFF) : 0;
        if (intel && cpu.uiMaxLeaf > 3) count = static_cast<int32_t>((cpu.uiLeaf4Eax >> 26) & 0x3F) + 1;
        *logicalProcessors = count;
    }

    if (amd && cpu.uiMaxExtendedLeaf > kExtendedBase) {
        if (cpu.uiExtLeaf1Edx & kExtMmxExt) flags |= RL_CPU_MMXEXT;
        if (cpu.uiExtLeaf1Edx & kExt3dNow) flags |= RL_CPU_3DNOW;
    }

    if (intel) {
        const uint32_t eax = cpu.uiLeaf1Eax;
        const uint32_t family = ((eax >> 8) & 0xF) + ((eax >> 20) & 0xFF);
        const uint32_t model = ((eax >> 4) & 0xF) | (((eax >> 16) & 0xF) << 4);
        // These early family-6 parts have their SSE2/SSE3 paths treated as unusable.
        if (family == 6 && (model == 9 || model == 13 || model == 14)) {
            flags &= ~static_cast<uint32_t>(RL_CPU_SSE2 | RL_CPU_SSE3);
        }
    }

    if (intel || cyrix) flags |= CacheLineFlag(cpu.uiLeaf1Ebx);
    return flags;
}

}  // namespace Ravvel

extern "C" {

// Every x86-64 processor implements CPUID.
int32_t VeskCPUIdVerify(void) { return 1; }

void VeskCPUId(uint32_t leaf, uint32_t* eax, uint32_t* ebx, uint32_t* ecx, uint32_t* edx)
{
    uint32_t r[4];
    CpuId(leaf, ecx ? *ecx : 0, r);
    if (eax) *eax = r[0];
    if (ebx) *ebx = r[1];
    if (ecx) *ecx = r[2];
    if (edx) *edx = r[3];
}

int32_t VeskCPUSupportAVX(uint32_t /*eax*/, uint32_t ecx)
{
    return Ravvel::AvxUsable(ecx, ReadXcr0IfEnabled(ecx)) ? 1 : 0;
}

int32_t VeskCPUSupportFMA(uint32_t /*eax*/, uint32_t ecx)
{
    return Ravvel::FmaUsable(ecx, ReadXcr0IfEnabled(ecx)) ? 1 : 0;
}

uint32_t VeskCPUDetectAVX512(void)
{
    uint32_t r[4];
    CpuId(0, 0, r);
    if (r[0] <= 6) return 0;
    CpuId(1, 0, r);
    const uint32_t ecx = r[2];
    CpuId(7, 0, r);
    return Ravvel::Avx512Bits(ecx, r[1], ReadXcr0IfEnabled(ecx));
}

void VeskEmms(void) { __asm__ volatile("emms"); }

void VeskCPURestore(uint32_t flags)
{
    // Only the MMX-class flags (MMX, MMXEXT, 3DNOW) mean MMX registers may be dirty.
    constexpr uint32_t kMmxClassFlags = 0xC3u;
    if (flags & kMmxClassFlags) VeskEmms();
}

uint32_t VeskCPUFeatureDetect(int32_t* logicalProcessors)
{
    return Ravvel::DecideCpuFeatures(Ravvel::ReadCpuIdSnapshot(), logicalProcessors);
}

}  // extern "C"
