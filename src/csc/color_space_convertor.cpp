#include "csc/color_space_convertor.h"

#include <cstring>

#include "simd/dispatch.h"

namespace Ravvel {

namespace {

void FillReference(CscKernelTable* t)
{
    CscKernelFunc* e = t->entry;
    e[0] = csp_yuv420p_to_yuv420p_c;
    e[1] = csp_yuv420_to_rgball_c;
    e[2] = csp_yuv420_to_rgba_screen_content_c;
    e[3] = csp_yuv420_to_rgball_c;
    e[4] = csp_yuv420_to_rgball_c;
    e[5] = csp_yuv420_to_yuv420_general_c;
    e[6] = csp_yuv420_to_yuv422_c;
    e[7] = csp_rgball_to_yuv420_c;
    e[8] = csp_rgball_to_yuv420_c;
    e[9] = csp_rgball_to_yuv420_c;
    e[10] = csp_rgball_to_yuv422_c;
    e[11] = csp_rgball_to_yuv422_c;
    e[12] = csp_rgball_to_yuv422_c;
    e[13] = csp_rgball_to_yuv420_c;
    e[14] = csp_rgball_to_yuv420_c;
    e[15] = csp_rgball_to_yuv420_c;
    e[16] = csp_rgball_to_rgball_c;
    e[17] = csp_rgball_to_rgball_c;
    e[18] = csp_rgball_to_rgball_c;
    e[19] = csp_yuv422_to_yuv420p_c;
    e[20] = csp_yuv422_to_nvxx_c;
    e[21] = csp_yuv422_to_rgball_c;
    e[22] = csp_yuv422_to_rgball_c;
    e[23] = csp_yuv422_to_rgball_c;
    e[24] = csp_yuv422_to_yuv422_c;
    e[25] = csp_yuv420_to_yuv422_c;
    e[26] = csp_yuv420_to_yuv420_general_c;
    e[27] = csp_yuv420_to_yuv420_general_c;
    e[28] = csp_yuv420_to_rgball_c;
    e[29] = csp_yuv420_to_rgball_c;
    e[30] = csp_yuv420_to_rgball_c;
    e[31] = csp_i420_2_to_yuv420p_c;
}

// Entries 0, 2 and 27 have no SIMD version.
#define RL_CSC_TIER_FILLER(tier)                     \
    void Fill_##tier(CscKernelTable* t)              \
    {                                                \
        CscKernelFunc* e = t->entry;                 \
        e[1] = yuv420p_to_rgb_intri_##tier;          \
        e[3] = yuv420p_to_rgbx_intri_##tier;         \
        e[4] = yuv420p_to_rgbp_intri_##tier;         \
        e[5] = yuv420p_to_nvxx_intri_##tier;         \
        e[6] = yuv420p_to_yuv422_intri_##tier;       \
        e[7] = rgb_to_yuv420p_intri_##tier;          \
        e[8] = rgbx_to_yuv420p_intri_##tier;         \
        e[9] = rgbp_to_yuv420p_intri_##tier;         \
        e[10] = rgb_to_yuv422_intri_##tier;          \
        e[11] = rgbx_to_yuv422_intri_##tier;         \
        e[12] = rgbp_to_yuv422_intri_##tier;         \
        e[13] = rgb_to_nvxx_intri_##tier;            \
        e[14] = rgbx_to_nvxx_intri_##tier;           \
        e[15] = rgbp_to_nvxx_intri_##tier;           \
        e[16] = rgbx_to_rgbx_intri_##tier;           \
        e[17] = rgbx_to_rgbp_intri_##tier;           \
        e[18] = rgbp_to_rgbx_intri_##tier;           \
        e[19] = yuv422_to_yuv420p_intri_##tier;      \
        e[20] = yuv422_to_nvxx_intri_##tier;         \
        e[21] = yuv422_to_rgb_intri_##tier;          \
        e[22] = yuv422_to_rgbx_intri_##tier;         \
        e[23] = yuv422_to_rgbp_intri_##tier;         \
        e[24] = yuv422_to_yuv422_intri_##tier;       \
        e[25] = nvxx_to_yuv422_intri_##tier;         \
        e[26] = nvxx_to_yuv420p_intri_##tier;        \
        e[28] = nvxx_to_rgb_intri_##tier;            \
        e[29] = nvxx_to_rgbx_intri_##tier;           \
        e[30] = nvxx_to_rgbp_intri_##tier;           \
        e[31] = i420_2_to_yuv420p_intri_##tier;      \
    }

RL_CSC_TIER_FILLER(sse2)
RL_CSC_TIER_FILLER(ssse3)
RL_CSC_TIER_FILLER(sse4)
RL_CSC_TIER_FILLER(avx)
RL_CSC_TIER_FILLER(avx2)

// Format groups as the dispatch switches on them.
enum Group { kRgb3, kRgb4, kRgbPlanar, kPacked422, kPlanar420, kSemi420, kScreen, kOther };

Group GroupOf(uint32_t format)
{
    switch (format) {
    case RL_FORMAT_RGB24:
    case RL_FORMAT_BGR24: return kRgb3;
    case RL_FORMAT_RGBA:
    case RL_FORMAT_BGRA:
    case RL_FORMAT_ABGR:
    case RL_FORMAT_ARGB: return kRgb4;
    case RL_FORMAT_RGB_PLANAR:
    case RL_FORMAT_BGR_PLANAR: return kRgbPlanar;
    case RL_FORMAT_YUYV:
    case RL_FORMAT_YVYU:
    case RL_FORMAT_UYVY:
    case RL_FORMAT_VYUY: return kPacked422;
    case RL_FORMAT_I420:
    case RL_FORMAT_YV12: return kPlanar420;
    case RL_FORMAT_NV12:
    case RL_FORMAT_NV21: return kSemi420;
    case RL_FORMAT_RGBA_SCREEN: return kScreen;
    default: return kOther;
    }
}

constexpr int kDirect = -2;  // RGB to RGB outside the table
constexpr int kNone = -1;

// Table entry (or kDirect / kNone) for a source group and destination group.
int EntryFor(Group s, Group d)
{
    //                              rgb3     rgb4     rgbp     422  420  semi screen other
    static const int kMap[7][8] = {
        /* rgb3   */ {kDirect, kDirect, kDirect, 10, 7, 13, kNone, kNone},
        /* rgb4   */ {kDirect, 16, 17, 11, 8, 14, kNone, kNone},
        /* rgbp   */ {kDirect, 18, kDirect, 12, 9, 15, kNone, kNone},
        /* 422    */ {21, 22, 23, 24, 19, 20, kNone, kNone},
        /* 420    */ {1, 3, 4, 6, 0, 5, 2, kNone},
        /* semi   */ {28, 29, 30, 25, 26, 27, kNone, kNone},
        /* I420_2 */ {kNone, kNone, kNone, kNone, 31, kNone, kNone, kNone},
    };
    const int row = s == kScreen || s == kOther ? 6 : static_cast<int>(s);
    return kMap[row][d];
}

// Planes a picture of the group must provide.
int PlanesOf(Group g)
{
    switch (g) {
    case kPlanar420:
    case kOther: return 3;
    case kSemi420: return 2;
    default: return 1;
    }
}

bool HasPlanes(const SRLPictureInfo* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (!p->pData[i]) return false;
    return true;
}

// Whether the pitches of plane 0 and of the chroma planes (which the
// converters address with iStride[1]) cover the bytes a row of the picture is
// read or written with; a source without a table row is laid out as I420_2.
bool StridesCover(const SRLPictureInfo* p, Group g, bool isSource)
{
    const int64_t w = p->iWidth;
    int64_t luma = w, chroma = 0;
    switch (g) {
    case kRgb3: luma = 3 * w; break;
    case kRgb4: luma = 4 * w; break;
    case kScreen: isSource ? (chroma = w) : (luma = 4 * w); break;
    case kPacked422: luma = 2 * w; break;
    case kPlanar420: chroma = w / 2; break;
    case kSemi420:
    case kOther: chroma = w; break;
    case kRgbPlanar: break;
    }
    const int64_t s0 = p->iStride[0], s1 = p->iStride[1];
    return (s0 < 0 ? -s0 : s0) >= luma && (s1 < 0 ? -s1 : s1) >= chroma;
}

}  // namespace

void FillCscKernelTable(CscKernelTable* table, uint32_t cpuFlags)
{
    std::memset(table, 0, sizeof *table);
    const TierFillers<CscKernelTable> fillers = {FillReference, Fill_sse2, Fill_ssse3, Fill_sse4, Fill_avx, Fill_avx2};
    FillKernelTable(table, cpuFlags, fillers);
}

CColorSpaceConvertor::CColorSpaceConvertor(uint32_t cpuFlags) : m_uiCpuFlags(cpuFlags)
{
    FillCscKernelTable(&m_sTable, cpuFlags);
    m_strName = "CSC";
    CreateLogger();
}

CColorSpaceConvertor::~CColorSpaceConvertor()
{
    Uninit();
    DestroyLogger();
}

int32_t CColorSpaceConvertor::Init(void*, bool)
{
    m_bInited = true;
    return RL_OK;
}

int32_t CColorSpaceConvertor::Uninit() { return RL_OK; }

int32_t CColorSpaceConvertor::SetOption(RL_EOption, void* value) { return value ? RL_OK : RL_ERR_INVALID_PARAM; }

int32_t CColorSpaceConvertor::GetOption(RL_EOption, void*) { return RL_OK; }

int32_t CColorSpaceConvertor::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    if (!src || !dst) return RL_ERR_INVALID_PARAM;
    src->iWidth &= ~1;
    src->iHeight &= ~1;
    dst->iWidth &= ~1;
    dst->iHeight &= ~1;
    if (src->iWidth < 0 || src->iHeight < 0 || dst->iWidth < 0 || dst->iHeight < 0) return RL_ERR_INVALID_PARAM;

    const Group sg = GroupOf(static_cast<uint32_t>(src->eFormat) & RL_FORMAT_MASK);
    // A source the table has no row for (screen RGBA among them) is read as
    // I420_2, with three planes.
    const int srcPlanes = (sg == kScreen || sg == kOther) ? 3 : PlanesOf(sg);
    if (!HasPlanes(src, srcPlanes)) return RL_ERR_INVALID_PARAM;

    const Group dg = GroupOf(static_cast<uint32_t>(dst->eFormat) & RL_FORMAT_MASK);
    if (dg == kOther) return RL_ERR_UNSUPPORTED;
    const int entry = EntryFor(sg, dg);
    if (entry == kNone) return RL_ERR_UNSUPPORTED;
    // Every destination plane is checked too: the host's buffers are written
    // only once the whole call is known to be valid.
    if (!HasPlanes(dst, PlanesOf(dg))) return RL_ERR_INVALID_PARAM;
    if (!StridesCover(src, sg, true) || !StridesCover(dst, dg, false)) return RL_ERR_INVALID_PARAM;

    if (entry == kDirect) {
        csp_rgball_to_rgball_c(src, dst);
        return RL_OK;
    }
    const CscKernelFunc kernel = m_sTable.entry[entry];
    if (!kernel) return RL_ERR_UNSUPPORTED;
    kernel(src, dst);
    return RL_OK;
}

}  // namespace Ravvel
