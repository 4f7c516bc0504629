// Planar 4:2:0 to RGBA for screen content. Replicating chroma smears the
// coloured edges of text and graphics, so each 8x8 block whose chroma follows
// its luma linearly gets full-resolution chroma predicted from luma; other
// blocks replicate chroma. The final step uses 22-bit fixed point.
#include <cstdint>

#include "csc/csc_kernels.h"

namespace Ravvel {

namespace {

struct BlockStats {
    int32_t sumL = 0, sumU = 0, sumV = 0;  // at most 16 * 255: 16 bits suffice
    int32_t sumLL = 0, sumUU = 0, sumVV = 0, sumLU = 0, sumLV = 0;
};

inline int32_t Centred(int32_t sumXY, int32_t sumX, int32_t sumY) { return sumXY - ((sumX * sumY + 8) >> 4); }

inline int Clip(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

inline uint8_t Channel(int64_t v)
{
    if (v > 1067450368) return 255;
    if (v < 0) return 0;
    return static_cast<uint8_t>((v + 2097152) >> 22);
}

// Fills out[r][c] for the 8x8 block: fitted from luma when chroma and luma
// correlate strongly enough, replicated otherwise.
void BlockChroma(const uint8_t* yb, int32_t yStride, const uint8_t* cb, int32_t cStride, int32_t sumC,
                 int32_t varC, int32_t cov, int32_t varL, uint32_t recip, int32_t sumL, uint8_t out[8][8])
{
    const bool fit = varC != 0 && varL != 0 && cov != 0 &&
                     20 * static_cast<int64_t>(cov) * cov > 13 * static_cast<int64_t>(varL) * varC;
    if (fit) {
        const int32_t a = static_cast<int32_t>(static_cast<int64_t>(cov) * static_cast<int64_t>(recip));
        const int64_t t = (static_cast<int64_t>(sumL) * a + 8) / 16;
        const int64_t b = static_cast<int64_t>(sumC) * 4096 - t;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) {
                const int64_t v = (b + 32768 + static_cast<int64_t>(yb[r * yStride + c]) * a) >> 16;
                out[r][c] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
    } else {
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c) out[r][c] = cb[(r >> 1) * cStride + (c >> 1)];
    }
}

}  // namespace

int32_t csp_yuv420_to_rgba_screen_content_c(const SRLPictureInfo* src, SRLPictureInfo* dst)
{
    const bool yv12 = (static_cast<uint32_t>(src->eFormat) & RL_FORMAT_MASK) == RL_FORMAT_YV12;
    const uint8_t* yPlane = src->pData[0];
    const uint8_t* uPlane = src->pData[yv12 ? 2 : 1];
    const uint8_t* vPlane = src->pData[yv12 ? 1 : 2];
    const int32_t yStride = src->iStride[0];
    const int32_t cStride = src->iStride[1];
    // Rows of the destination are packed at its own width; never walk past
    // either picture.
    const int32_t pitch = dst->iWidth;
    const int32_t w = src->iWidth < dst->iWidth ? src->iWidth : dst->iWidth;
    const int32_t h = src->iHeight < dst->iHeight ? src->iHeight : dst->iHeight;
    uint8_t* out = dst->pData[0];
    if (!yPlane || !uPlane || !vPlane || !out) return RL_ERR_INVALID_PARAM;

    uint8_t uBlock[8][8], vBlock[8][8];
    for (int32_t y0 = 0; y0 + 8 <= h; y0 += 8) {
        for (int32_t x0 = 0; x0 < w - 7; x0 += 8) {
            const uint8_t* yb = yPlane + static_cast<ptrdiff_t>(y0) * yStride + x0;
            const uint8_t* ub = uPlane + static_cast<ptrdiff_t>(y0 / 2) * cStride + x0 / 2;
            const uint8_t* vb = vPlane + static_cast<ptrdiff_t>(y0 / 2) * cStride + x0 / 2;

            BlockStats s;
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    const uint8_t* l = yb + 2 * i * yStride + 2 * j;
                    const int32_t lum = (l[0] + l[1] + l[yStride] + l[yStride + 1] + 2) >> 2;
                    const int32_t u = ub[i * cStride + j];
                    const int32_t v = vb[i * cStride + j];
                    s.sumL += lum;
                    s.sumU += u;
                    s.sumV += v;
                    s.sumLL += lum * lum;
                    s.sumUU += u * u;
                    s.sumVV += v * v;
                    s.sumLU += lum * u;
                    s.sumLV += lum * v;
                }
            const int32_t varL = Centred(s.sumLL, s.sumL, s.sumL);
            const int32_t varU = Centred(s.sumUU, s.sumU, s.sumU);
            const int32_t varV = Centred(s.sumVV, s.sumV, s.sumV);
            const int32_t covLU = Centred(s.sumLU, s.sumL, s.sumU);
            const int32_t covLV = Centred(s.sumLV, s.sumL, s.sumV);
            uint32_t recip = 0;
            if (varL != 0)
                recip = ((static_cast<uint32_t>(varL) >> 1) + 65536u) / static_cast<uint32_t>(varL);

            BlockChroma(yb, yStride, ub, cStride, s.sumU, varU, covLU, varL, recip, s.sumL, uBlock);
            BlockChroma(yb, yStride, vb, cStride, s.sumV, varV, covLV, varL, recip, s.sumL, vBlock);

            for (int r = 0; r < 8; ++r) {
                uint8_t* o = out + 4 * (static_cast<ptrdiff_t>(y0 + r) * pitch + x0);
                for (int c = 0; c < 8; ++c) {
                    const int64_t yy = static_cast<int64_t>(Clip(yb[r * yStride + c], 16, 235) - 16) * 4883779;
                    const int64_t u = Clip(uBlock[r][c], 16, 240) - 128;
                    const int64_t v = Clip(vBlock[r][c], 16, 240) - 128;
                    o[4 * c + 0] = Channel(yy + v * 6694222);
                    o[4 * c + 1] = Channel(yy - u * 1643170 - v * 3409833);
                    o[4 * c + 2] = Channel(yy + u * 8460885);
                    o[4 * c + 3] = 255;
                }
            }
        }
    }
    return RL_OK;
}

}  // namespace Ravvel
