// Method 1: converts a picture between RGB, packed 4:2:2, planar and
// semi-planar 4:2:0 formats of the same size.
#ifndef RAVVEL_CSC_COLOR_SPACE_CONVERTOR_H
#define RAVVEL_CSC_COLOR_SPACE_CONVERTOR_H

#include <cstdint>

#include "csc/csc_kernels.h"
#include "frame/framework.h"

namespace Ravvel {

// Kernel per (source group, destination group) pair; entries are numbered as
// the dispatch in Process uses them.
enum { kCscTableSize = 32 };
struct CscKernelTable {
    CscKernelFunc entry[kCscTableSize];
};

// Fills the table for the given CPU flags: reference kernels, then each tier
// whose flag is set.
void FillCscKernelTable(CscKernelTable* table, uint32_t cpuFlags);

class CColorSpaceConvertor : public CRavvelFramework {
public:
    explicit CColorSpaceConvertor(uint32_t cpuFlags);
    ~CColorSpaceConvertor() override;

    int32_t Init(void* config, bool flag) override;
    int32_t Uninit() override;
    int32_t Process(SRLPictureInfo* src, SRLPictureInfo* dst, void* extra) override;
    int32_t SetOption(RL_EOption option, void* value) override;
    int32_t GetOption(RL_EOption option, void* value) override;

    const CscKernelTable& Table() const { return m_sTable; }
    uint32_t CpuFlags() const { return m_uiCpuFlags; }

private:
    CscKernelTable m_sTable;
    uint32_t m_uiCpuFlags;
};

}  // namespace Ravvel

#endif
