#include "enhance/lcboost.h"

#include <cmath>
#include <cstring>

#include <emmintrin.h>

#include "frame/memory.h"

namespace Ravvel {

namespace {

#define RL_LCBOOST_FILLER(tier)                                 \
    [](LcboostFuncs* f) {                                       \
        f->skin_tone_stats = skin_tone_stats_##tier;            \
        f->scale_chroma_auto = scale_chroma_auto_##tier;        \
        f->calculate_video_stats = calculate_video_stats_##tier; \
        f->combined_video_stats = combined_video_stats_##tier;  \
        f->apply_remapping = apply_remapping_##tier;            \
        f->blending_with_mask = blending_with_mask_##tier;      \
    }

const TierFillers<LcboostFuncs> kLcboostFillers = {
    RL_LCBOOST_FILLER(c), RL_LCBOOST_FILLER(sse2), RL_LCBOOST_FILLER(ssse3), RL_LCBOOST_FILLER(sse4),
    nullptr,  // no AVX selection: AVX-only processors run the SSE4 set
    RL_LCBOOST_FILLER(avx2),
};

#undef RL_LCBOOST_FILLER

constexpr int64_t kGapResetUs = 500000;

// Pictures are addressed row by row with signed strides; a stride shorter
// than the row would make rows overlap, so it is refused.
bool StrideCovers(int32_t stride, int rowBytes)
{
    const int64_t s = stride < 0 ? -static_cast<int64_t>(stride) : stride;
    return s >= rowBytes;
}

bool PlanesUsable(const SRLPictureInfo& p, int w)
{
    return p.pData[0] && p.pData[1] && p.pData[2] && StrideCovers(p.iStride[0], w) &&
           StrideCovers(p.iStride[1], w / 2) && p.iStride[1] == p.iStride[2];
}

// First index from k on whose byte differs from value, or n. Masks are
// mostly long runs, so sixteen bytes are compared at a time.
int NextDifferent(const uint8_t* p, int k, int n, uint8_t value)
{
    const __m128i v = _mm_set1_epi8(static_cast<char>(value));
    for (; k + 16 <= n; k += 16) {
        const int same = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k)), v));
        if (same != 0xffff) return k + __builtin_ctz(static_cast<unsigned>(~same));
    }
    while (k < n && p[k] == value) ++k;
    return k;
}

inline float Clamp255F(float v) { return v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v); }

// The conversion of lcboost_yuv_to_rgb, inlined for the per-sample loop.
inline void YuvToRgb(float y, float u, float v, float* r, float* g, float* b)
{
    const float yy = 1.1643835f * (y - 16.0f);
    *r = Clamp255F(yy + 1.5960267f * (v - 128.0f));
    *g = Clamp255F(1.1643834f * (y - 16.0f) - 0.39176226f * (u - 128.0f) - 0.8129676f * (v - 128.0f));
    *b = Clamp255F(yy + 2.0172322f * (u - 128.0f));
}

// floor(v + 0.5) as an index into a 256-entry table; NaN gives 0.
int LevelIndex(float v)
{
    const float r = std::floor(v + 0.5f);
    return r >= 255.0f ? 255 : (r >= 0.0f ? static_cast<int>(r) : 0);
}

}  // namespace

void InitLcboostFunc(LcboostFuncs* funcs, uint32_t cpuFlags) { FillKernelTable(funcs, cpuFlags, kLcboostFillers); }

CLcboost::CLcboost(uint32_t cpuFlags) : m_CPUFlag(cpuFlags)
{
    set_identity_map(m_fLumaMap);
    set_identity_map(m_fNewLumaMap);
    InitLcboostFunc(&m_sFuncs, cpuFlags);
    for (bool& ready : m_bSliceReady) ready = false;
    std::memset(m_fVibranceSlices, 0, sizeof m_fVibranceSlices);
    set_unity_chroma_table(m_aChromaGainTable);
    SetColourBoostTable();
    m_strName = "lcboost";
    CreateLogger();
}

CLcboost::~CLcboost()
{
    Uninit();
    VeskFree(m_pMaskBuffer);
    m_pMaskBuffer = nullptr;
    DestroyLogger();
}

int32_t CLcboost::Init(void* config, bool)
{
    if (config) {
        const SLcboostConfig* c = static_cast<const SLcboostConfig*>(config);
        if (c->eFormat != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
        m_iWidth = c->iWidth;
        m_iHeight = c->iHeight;
        m_dContrast_scale = c->fContrastScale;
        m_dColour_scale = c->fColourScale;
        if (c->fHistogramCdfWeight != 0.0f) m_dHistogram_cdf_weight = c->fHistogramCdfWeight;
        m_brightness_method = c->iBrightnessMethod;
        m_colour_method = c->iColourMethod;
        m_bScale_chroma_with_luma = c->iScaleChromaWithLuma != 0;
    }
    m_iFrameIndex = 0;
    SetColourBoostTable();
    m_bInited = true;
    return RL_OK;
}

int32_t CLcboost::Uninit()
{
    if (m_bInited) {
        ReinitStatistics();
        m_iFrameIndex = 0;
        m_bInited = false;
    }
    return RL_OK;
}

int32_t CLcboost::SetOption(RL_EOption option, void* value)
{
    int32_t ret = RL_OK;
    const int id = static_cast<int>(option);
    if (id >= RL_OPTION_LCBOOST_BRIGHTNESS_METHOD && id <= RL_OPTION_LCBOOST_HISTOGRAM_CDF_WEIGHT && !value) {
        ret = RL_ERR_INVALID_PARAM;
    } else {
        switch (id) {
        case RL_OPTION_LCBOOST_BRIGHTNESS_METHOD:
            m_brightness_method = *static_cast<const int32_t*>(value);
            break;
        case RL_OPTION_LCBOOST_COLOUR_METHOD:
            m_colour_method = *static_cast<const int32_t*>(value);
            break;
        case RL_OPTION_LCBOOST_CONTRAST_SCALE: {
            const float v = *static_cast<const float*>(value);
            if (v != 0.0f) m_dContrast_scale = v;
            break;
        }
        case RL_OPTION_LCBOOST_COLOUR_SCALE: {
            const float v = *static_cast<const float*>(value);
            m_bColourScaleChanged = !(v == m_dColour_scale);  // NaN on either side counts as a change
            m_dColour_scale = v;
            break;
        }
        case RL_OPTION_LCBOOST_COLOUR_AUTO:
            m_bColourAuto = *static_cast<const uint8_t*>(value) != 0;
            break;
        case RL_OPTION_LCBOOST_FILTER_VBG:
            m_bFilterVBG = *static_cast<const uint8_t*>(value) != 0;
            break;
        case RL_OPTION_LCBOOST_SCALE_CHROMA_WITH_LUMA:
            m_bScale_chroma_with_luma = *static_cast<const uint8_t*>(value) != 0;
            break;
        case RL_OPTION_LCBOOST_HISTOGRAM_CDF_WEIGHT: {
            const float v = *static_cast<const float*>(value);
            if (v != 0.0f) m_dHistogram_cdf_weight = v;
            break;
        }
        case RL_OPTION_LCBOOST_RESET:
            m_iFrameIndex = 0;
            set_identity_map(m_fLumaMap);
            set_identity_map(m_fNewLumaMap);
            SetColourBoostTable();
            break;
        default:
            ret = RL_ERR_INVALID_PARAM;
            break;
        }
    }
    if (m_bColourScaleChanged) SetColourBoostTable();
    return ret;
}

int32_t CLcboost::GetOption(RL_EOption option, void* value)
{
    if (!value) return RL_ERR_INVALID_PARAM;
    switch (static_cast<int>(option)) {
    case RL_OPTION_LCBOOST_GET_COLOUR_SCALE:
        *static_cast<float*>(value) = m_dColour_scale;
        break;
    case RL_OPTION_LCBOOST_GET_COLOUR_AUTO:
        *static_cast<uint8_t*>(value) = m_bColourAuto ? 1 : 0;
        break;
    case RL_OPTION_LCBOOST_GET_FILTER_VBG:
        *static_cast<uint8_t*>(value) = m_bFilterVBG ? 1 : 0;
        break;
    case RL_OPTION_LCBOOST_GET_CONTRAST_SCALE:
        *static_cast<float*>(value) = m_dContrast_scale;
        break;
    case RL_OPTION_LCBOOST_GET_HISTOGRAM_CDF_WEIGHT:
        *static_cast<float*>(value) = m_dHistogram_cdf_weight;
        break;
    case RL_OPTION_AVERAGE_TIME: {
        *static_cast<double*>(value) = AverageFrameTimeUs();
        break;
    }
    default:
        break;
    }
    return RL_OK;
}

int CLcboost::GetVibranceIndex() const
{
    // NaN falls to the first branch: no vibrance.
    if (!(m_dColour_scale >= 1.0125f)) return 0;
    if (m_dColour_scale >= 1.2625f) return kVibranceSliceCount - 1;
    return static_cast<int>((m_dColour_scale - 1.0f + 0.0125f) / 0.025f);
}

void CLcboost::InitVibranceSlice(int index)
{
    if (m_bSliceReady[index]) return;
    build_vibrance_slice(m_fVibranceSlices[index], index);
    m_bSliceReady[index] = true;
}

void CLcboost::SetColourBoostTable()
{
    const int index = GetVibranceIndex();
    InitVibranceSlice(index);
    m_pColourBoostTable = m_fVibranceSlices[index];
}

bool CLcboost::bypass_mode(const SVideoStats* stats)
{
    float sum = 0.0f;
    for (int i = 0; i < 26; ++i) sum += stats->pdf[i] + stats->pdf[255 - i];
    RL_LOG(Debug, "Bypass-mode %.4f", sum);
    return sum > 0.6f;
}

void CLcboost::TrackTime(int64_t now)
{
    const uint64_t t = static_cast<uint64_t>(now);
    if (m_iFrameIndex == 0) m_ulLastTime = t;
    const int64_t gap = static_cast<int64_t>(t - m_ulLastTime);
    if (gap > kGapResetUs) {
        RL_LOG(Debug, "diff_time larger than threshold, resetting %ld", static_cast<long>(gap));
        m_iFrameIndex = 0;
    }
    m_ulLastTime = t;
}

bool CLcboost::IsAnalysisPhase()
{
    if (m_iFrameIndex == 0)
        RL_LOG(Info,
               "m_CPUFlag=%d m_iWidth=%d m_iHeight=%d m_iFrameIndex=%d m_iParamEstiInterval=%d "
               "m_bScale_chroma_with_luma=%d m_dContrast_scale=%.2f m_dColour_scale=%.2f "
               "m_dHistogram_cdf_weight=%.2f m_brightness_method=%d m_colour_method=%d m_bColourAuto %d "
               "m_bFilterVBG %d",
               static_cast<int>(m_CPUFlag), m_iWidth, m_iHeight, m_iFrameIndex, m_iParamEstiInterval,
               m_bScale_chroma_with_luma ? 1 : 0, static_cast<double>(m_dContrast_scale),
               static_cast<double>(m_dColour_scale), static_cast<double>(m_dHistogram_cdf_weight),
               m_brightness_method, m_colour_method, m_bColourAuto ? 1 : 0, m_bFilterVBG ? 1 : 0);
    return m_iFrameIndex % m_iParamEstiInterval == 0;
}

bool CLcboost::EnsureMaskBuffer(int width, int height)
{
    const uint64_t needed = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (needed > 0x7fffffffu) return false;
    if (m_pMaskBuffer && m_uiMaskCapacity >= needed) return true;
    void* block = VeskMalloc(static_cast<uint32_t>(needed), 16);
    if (!block) return false;
    VeskFree(m_pMaskBuffer);
    m_pMaskBuffer = static_cast<uint8_t*>(block);
    m_uiMaskCapacity = static_cast<uint32_t>(needed);
    return true;
}

// Nearest-sample scaling: rows at rounded positions, each row as runs of equal
// mask values whose boundaries land on rounded output columns.
void CLcboost::ScaleMask(const uint8_t* mask, int maskWidth, int maskHeight)
{
    const int w = m_iWidth, h = m_iHeight;
    const int64_t xstep = (static_cast<int64_t>(w) << 9) / maskWidth;
    int64_t prevRow = -1;
    for (int r = 0; r < h; ++r) {
        uint8_t* out = m_pMaskBuffer + static_cast<ptrdiff_t>(r) * w;
        int64_t mr = (static_cast<int64_t>(r) * maskHeight + h / 2) / h;
        if (mr > maskHeight - 1) mr = maskHeight - 1;
        if (mr == prevRow) {
            std::memcpy(out, out - w, static_cast<size_t>(w));
            continue;
        }
        prevRow = mr;
        const uint8_t* in = mask + mr * maskWidth;
        int64_t start = 0;
        uint8_t value = in[0];
        for (int k = NextDifferent(in, 1, maskWidth, value); k < maskWidth && start < w;
             k = NextDifferent(in, k + 1, maskWidth, value)) {
            int64_t end = ((2 * static_cast<int64_t>(k) - 1) * xstep + 512) >> 10;
            if (end > w) end = w;
            if (end > start) {
                std::memset(out + start, value, static_cast<size_t>(end - start));
                start = end;
            }
            value = in[k];
        }
        if (start < w) std::memset(out + start, value, static_cast<size_t>(w - start));
    }
}

void CLcboost::add_missing_data(ColorPlane plane, bool produced)
{
    if (produced) return;
    if (plane == kPlaneLuma) {
        for (int r = 0; r < m_iHeight; ++r)
            std::memcpy(m_pDstY + static_cast<ptrdiff_t>(r) * m_iDstYStride,
                        m_pSrcY + static_cast<ptrdiff_t>(r) * m_iSrcYStride, static_cast<size_t>(m_iWidth));
        return;
    }
    const int cw = m_iWidth >> 1, ch = m_iHeight >> 1;
    for (int r = 0; r < ch; ++r) {
        std::memcpy(m_pDstU + static_cast<ptrdiff_t>(r) * m_iDstCStride,
                    m_pSrcU + static_cast<ptrdiff_t>(r) * m_iSrcCStride, static_cast<size_t>(cw));
        std::memcpy(m_pDstV + static_cast<ptrdiff_t>(r) * m_iDstCStride,
                    m_pSrcV + static_cast<ptrdiff_t>(r) * m_iSrcCStride, static_cast<size_t>(cw));
    }
}

int32_t CLcboost::Process(SRLPictureInfo* src, SRLPictureInfo* dst, void*)
{
    const int64_t t0 = NowUs();
    if (!m_bInited) return RL_ERR_NOT_INITIALIZED;
    if (!src || !src->pData[0] || !src->pData[1] || !src->pData[2]) return RL_ERR_INVALID_PARAM;
    if (static_cast<uint32_t>(src->eFormat) != RL_FORMAT_I420) return RL_ERR_UNSUPPORTED;
    if (!dst) return RL_ERR_INVALID_PARAM;
    if (src->iWidth != dst->iWidth || src->iHeight != dst->iHeight) return RL_ERR_MISMATCH;
    // Writing a plane the kernels still read would corrupt the result.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (src->pData[i] == dst->pData[j]) return RL_ERR_MISMATCH;
    const int w = src->iWidth, h = src->iHeight;
    if (w <= 0 || h <= 0 || !PlanesUsable(*src, w) || !PlanesUsable(*dst, w)) return RL_ERR_INVALID_PARAM;
    // Before any state changes, so a failed allocation leaves the object as it was.
    if (!EnsureMaskBuffer(w, h)) return RL_ERR_FAILED;

    TrackTime(t0);
    if (w != m_iWidth || h != m_iHeight) {
        Uninit();
        m_iWidth = w;
        m_iHeight = h;
        m_iFrameIndex = 0;
        SetColourBoostTable();
        m_bInited = true;
    }
    const bool analysis = IsAnalysisPhase();

    m_pSrcY = src->pData[0];
    m_pSrcU = src->pData[1];
    m_pSrcV = src->pData[2];
    m_pDstY = dst->pData[0];
    m_pDstU = dst->pData[1];
    m_pDstV = dst->pData[2];
    m_iSrcYStride = src->iStride[0];
    m_iSrcCStride = src->iStride[1];
    m_iDstYStride = dst->iStride[0];
    m_iDstCStride = dst->iStride[1];

    const uint8_t* mask = nullptr;
    if (src->pMask && src->iMaskWidth > 0 && src->iMaskHeight >= 1 && !m_bFilterVBG) {
        if (m_brightness_method == 0 && m_colour_method == 0)
            std::memset(m_pMaskBuffer, 255, static_cast<size_t>(w) * static_cast<size_t>(h));
        else
            ScaleMask(src->pMask, src->iMaskWidth, src->iMaskHeight);
        mask = m_pMaskBuffer;
    }

    bool lumaProduced = false;
    if (m_brightness_method != 0) {
        if (analysis) {
            LumaAnalysis(mask);
            if (m_colour_method != 0 && m_bColourAuto) ChromaAnalysis();
        }
        m_sFuncs.apply_remapping(m_pSrcY, m_iSrcYStride, m_pDstY, m_iDstYStride, w, h, m_fLumaMap);
        lumaProduced = true;
    }
    add_missing_data(kPlaneLuma, lumaProduced);

    bool chromaProduced = false;
    const bool boost = std::fabs(m_dColour_scale - 1.0f) > 0.01f;
    if (m_colour_method == 1 && (boost || m_bScale_chroma_with_luma)) {
        if (analysis)
            get_3d_table(m_aChromaGainTable, m_fLumaMap, boost, m_bScale_chroma_with_luma, m_pColourBoostTable);
        m_sFuncs.scale_chroma_auto(m_pSrcU, m_pSrcV, m_iSrcCStride, m_pDstU, m_pDstV, m_iDstCStride, w, h,
                                   m_aChromaGainTable, m_pSrcY, m_iSrcYStride);
        chromaProduced = true;
    }
    add_missing_data(kPlaneChroma, chromaProduced);

    if (mask)
        m_sFuncs.blending_with_mask(m_pSrcY, m_pSrcU, m_pSrcV, m_pDstY, m_pDstU, m_pDstV, mask, w, h,
                                    m_brightness_method != 0, m_colour_method != 0, m_iSrcYStride, m_iSrcCStride,
                                    m_iDstYStride, m_iDstCStride);

    AccountFrame(t0);
    ++m_iFrameIndex;
    return RL_OK;
}

void CLcboost::LumaAnalysis(const uint8_t* mask)
{
    SVideoStats luma, skin;
    float sampled = 0.0f;
    const float skinPercent =
        m_sFuncs.combined_video_stats(&luma, &skin, m_pSrcY, m_iSrcYStride, m_pSrcU, m_pSrcV, m_iSrcCStride,
                                      m_iWidth, m_iHeight, mask, mask ? m_iWidth : 0, &sampled);
    RL_LOG(Debug, "Input luma mean=%.2f, median=%.2f, stddev=%.2f\n", static_cast<double>(luma.mean),
           static_cast<double>(luma.median), static_cast<double>(luma.stddev));
    RL_LOG(Debug, "Input skin tone luma mean=%.2f, median=%.2f, stddev=%.2f\n", static_cast<double>(skin.mean),
           static_cast<double>(skin.median), static_cast<double>(skin.stddev));
    if (sampled < 0.1f) return;
    // A flat picture says nothing about the scene: keep the curve for a while.
    if (skin.stddev < 1.0f && luma.stddev < 10.0f) {
        m_iSkipCountdown = 4;
        return;
    }
    if (m_iSkipCountdown > 0) {
        const uint32_t was = m_iSkipCountdown--;
        if (was != 1) return;
    }

    float brightness[256];
    switch (m_brightness_method) {
    case RL_LCBOOST_BRIGHTNESS_HISTOGRAM:
        histogram_remapping(&luma, m_dHistogram_cdf_weight, brightness);
        break;
    case RL_LCBOOST_BRIGHTNESS_BETA:
        brightness_beta_mapping(luma, skin, skinPercent, brightness);
        break;
    case RL_LCBOOST_BRIGHTNESS_HYBRID:
        brightness_hybrid_mapping(luma, skin, brightness);
        break;
    default:
        set_identity_map(brightness);
        break;
    }
    SVideoStats lumaAfter, skinAfter;
    calculate_remap_stats(&luma, &lumaAfter, brightness);
    calculate_remap_stats(&skin, &skinAfter, brightness);

    float c = m_dContrast_scale;
    if (c == 0.0f) {
        c = lumaAfter.stddev / (luma.stddev + 0.01f);
        if (!(c > 1.0f))
            c = 1.0f;
        else if (c > 1.15f)
            c = 1.15f;
        m_dContrast_scale = c;
    }
    float params[6], sigmoid[256];
    calculate_contrast_sigmoid_params(params, &lumaAfter, c, skinAfter.median);
    set_sigmoid_map(sigmoid, params);
    set_combined_map(brightness, sigmoid, m_fNewLumaMap);
    if (m_iFrameIndex == 0)
        std::memcpy(m_fLumaMap, m_fNewLumaMap, sizeof m_fLumaMap);
    else
        merge_remappings(m_fLumaMap, m_fNewLumaMap, 0.5f);
}

void CLcboost::ChromaAnalysis()
{
    const float k = estimate_colourfulness();
    float t = (42.0f - 1.05f * k) / 100.0f + 1.0f;
    if (!(t > 1.0f))
        t = 1.0f;
    else if (t > 1.4f)
        t = 1.4f;
    m_dColour_scale = (t + m_dColour_scale) / 2.0f;
    SetColourBoostTable();
    RL_LOG(Debug, "colourfulness %.2f m_dColour_scale %.4f", static_cast<double>(k),
           static_cast<double>(m_dColour_scale));
}

float CLcboost::estimate_colourfulness()
{
    // The luma-dependent parts (mapped level, range test, chroma scale) take
    // one of 256 values: computed once per call instead of once per sample.
    float mapped[256], chromaScale[256];
    bool counted[256];
    for (int yv = 0; yv < 256; ++yv) {
        const float ym = m_fLumaMap[yv];
        mapped[yv] = ym;
        counted[yv] = ym > 32.0f && ym < 219.0f;
        const float ratio = (ym - 8.0f) / (static_cast<float>(yv) - 8.0f + 0.1f);
        chromaScale[yv] = counted[yv] && m_bScale_chroma_with_luma ? std::pow(ratio > 0.0f ? ratio : 0.0f, 0.66f) : 1.0f;
    }
    double sumRg = 0, sumYb = 0, sumRg2 = 0, sumYb2 = 0;
    int64_t n = 0;
    for (int y = 4; y + 1 < m_iHeight; y += 8) {
        const uint8_t* rows[2] = {m_pSrcY + static_cast<ptrdiff_t>(y) * m_iSrcYStride,
                                  m_pSrcY + static_cast<ptrdiff_t>(y + 1) * m_iSrcYStride};
        const uint8_t* ur = m_pSrcU + static_cast<ptrdiff_t>(y / 2) * m_iSrcCStride;
        const uint8_t* vr = m_pSrcV + static_cast<ptrdiff_t>(y / 2) * m_iSrcCStride;
        for (int x = 0; x + 1 < m_iWidth; x += 6) {
            for (int i = 0; i < 4; ++i) {
                const int yv = rows[i >> 1][x + (i & 1)];
                if (!counted[yv]) continue;
                float u = ur[x / 2], v = vr[x / 2];
                if (m_bScale_chroma_with_luma) {
                    u = (u - 128.0f) * chromaScale[yv] + 128.0f;
                    v = (v - 128.0f) * chromaScale[yv] + 128.0f;
                }
                float r, g, b;
                YuvToRgb(mapped[yv], u, v, &r, &g, &b);
                const double rg = r - g, yb = (r + g) / 2.0f - b;
                sumRg += rg;
                sumYb += yb;
                sumRg2 += rg * rg;
                sumYb2 += yb * yb;
                ++n;
            }
        }
    }
    if (n == 0) return 0.0f;
    const double mRg = sumRg / n, mYb = sumYb / n;
    double var = (sumRg2 / n - mRg * mRg) + (sumYb2 / n - mYb * mYb);
    if (var < 0) var = 0;
    return static_cast<float>(std::sqrt(var) + 0.3 * std::sqrt(mRg * mRg + mYb * mYb));
}

void CLcboost::brightness_beta_mapping(const SVideoStats& luma, const SVideoStats& skin, float skinPercent,
                                       float* out)
{
    float cum[256];
    int median = 0;
    for (int i = 0; i < 256; ++i) {
        cum[i] = 100.0f * luma.cdf[i];
        if (cum[i] < 50.0f) ++median;
    }
    const float light = 100.0f - cum[227], dark = cum[24];
    RL_LOG(Debug, "Median = %d, Light = %f, Dark = %f\n", median, static_cast<double>(light),
           static_cast<double>(dark));

    const float ym = luma.mean, sm = skin.mean;
    float start, target, spread;
    if (sm <= std::fmin(ym, 115.0f)) {
        start = sm, target = std::fmin(ym, 115.0f), spread = skin.stddev;
    } else if ((ym > 150.0f && sm >= std::fmax(ym, 150.0f)) || (ym <= 150.0f && sm >= 150.0f)) {
        start = sm, target = ym > 150.0f ? ym : 150.0f, spread = skin.stddev;
    } else if (ym < 115.0f) {
        start = ym, target = 115.0f, spread = luma.stddev;
    } else if (ym > 150.0f) {
        start = ym, target = 150.0f, spread = luma.stddev;
    } else {
        set_identity_map(out);
        return;
    }
    const float diff = std::fabs(target - start) / ((spread + 0.01f) * std::sqrt(2.0f));
    const float e = std::erfc(diff);
    float t = e * start + (1.0f - e) * target;
    const float q = std::sqrt(skinPercent / 7.5f);
    if (q < 1.0f) t = q * t + (1.0f - q) * start;
    RL_LOG(Debug,
           "%s start_va =%f mean_target_wt0=%f target_val=%f ymean=%f stddev=%f ymean_skin=%f stddev_skin=%f "
           "diff=%f confidence=%f",
           "brightness_beta_mapping", static_cast<double>(start), static_cast<double>(target),
           static_cast<double>(t), static_cast<double>(ym), static_cast<double>(luma.stddev),
           static_cast<double>(sm), static_cast<double>(skin.stddev), static_cast<double>(diff),
           static_cast<double>(q));

    const float beta0 = guess_beta(start, t);
    const float step = (1.0f - beta0) / 10.0f;
    float beta = beta0;
    for (int n = 0; n <= 10; ++n) {
        beta = n == 10 ? 1.0f : beta0 + static_cast<float>(n) * step;
        const int lo = LevelIndex(inv_beta_map(24, beta)), hi = LevelIndex(inv_beta_map(227, beta));
        const float lowPct = cum[lo], highPct = 100.0f - cum[hi];
        RL_LOG(Debug, "%s beta=%f beta0=%f inval_lo=%d inval_hi=%d low percent=%f high percent=%f",
               "brightness_beta_mapping", static_cast<double>(beta), static_cast<double>(beta0), lo, hi,
               static_cast<double>(lowPct), static_cast<double>(highPct));
        if (highPct >= light + 2.0f && highPct >= 2.0f) continue;
        if (lowPct < dark + 2.0f || lowPct < 2.0f) break;
    }
    compute_fixed_log_map(out, beta);
}

void CLcboost::brightness_hybrid_mapping(const SVideoStats& luma, const SVideoStats& skin, float* out)
{
    const float ym = luma.mean, sm = skin.mean;
    float start = 0.0f, target = 0.0f;
    bool identity = false;
    if (ym <= sm) {
        if (sm < 115.0f)
            start = sm, target = 130.0f;
        else if (sm < 145.0f)
            identity = true;
        else if (ym < 145.0f)
            start = sm, target = 145.0f;
        else
            start = ym, target = 145.0f;
    } else {
        if (ym < 115.0f)
            start = ym, target = 115.0f;
        else if (sm < 115.0f && ym < 145.0f)
            start = sm, target = 122.5f;
        else if (sm < 115.0f)
            start = sm, target = std::fmin(std::fmax(260.0f - ym, sm), 115.0f);
        else if (sm < 145.0f)
            identity = true;
        else
            start = sm, target = 145.0f;
    }
    if (identity) {
        set_identity_map(out);
        return;
    }
    const float spread = skin.stddev;
    const float diff = std::fabs(target - start) / ((spread + 0.01f) * std::sqrt(2.0f));
    const float w = 1.0f / (diff + 1.0f);
    const float t = (1.0f - w) * start + w * target;
    RL_LOG(Debug,
           "%s start_val=%f mean_target_wt0=%f target_val=%f ymean_skin=%f stddev_skin=%f diff=%f confidence=%f",
           "brightness_hybrid_mapping", static_cast<double>(start), static_cast<double>(target),
           static_cast<double>(t), static_cast<double>(sm), static_cast<double>(skin.stddev),
           static_cast<double>(diff), 1.0);
    compute_fixed_log_map(out, guess_beta(start, t));
}

}  // namespace Ravvel
