#include <cstring>
#include <string>
#include <vector>

#include "analysis/content_kernels.h"
#include "analysis/scene_change_kernels.h"
#include "frame/logger.h"
#include "kernels/harness.h"

namespace {

using namespace Ravvel;

const bool kSad8x8 = rltest::RegisterKernelFamily<Sad8x8BlockFunc>(
    "Sad8x8Block",
    {Sad8x8Block_c, Sad8x8Block_sse2, Sad8x8Block_ssse3, Sad8x8Block_sse4, Sad8x8Block_avx, Sad8x8Block_avx2},
    rltest::BlockCases(8, 8, 200),
    [](Sad8x8BlockFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane cur(rng, 8, 8, c);
        rltest::KernelCase refCase = c;
        refCase.misalign = (c.misalign * 5 + 3) % 32;
        rltest::Plane ref(rng, 8, 8, refCase);
        // Every fourth case pits extremes against each other: the largest sums.
        if (c.param % 4 == 0)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    cur.row(y)[x] = (x + y + c.param) & 1 ? 255 : 0;
                    ref.row(y)[x] = 255 - cur.row(y)[x];
                }
        out.AddValue("sad", f(cur.data(), cur.stride(), ref.data(), ref.stride()));
    });

}  // namespace

namespace {

using namespace Ravvel;

// Block content of several kinds, so that every override and class is met:
// noise, a few grey levels, two-level strokes, rows of constant level.
void PaintContent(rltest::Rng& rng, uint8_t* p, int stride, int w, int h, int kind)
{
    const int levels = 1 + static_cast<int>(rng.Next() % 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t v;
            switch (kind % 5) {
            case 0: v = rng.Byte(); break;
            case 1: v = static_cast<uint8_t>(40 + 9 * (rng.Next() % levels)); break;
            case 2: v = ((x / 3 + y / 7) & 1) ? 250 : 5; break;
            case 3: v = static_cast<uint8_t>(90 + y % (levels % 10 + 1)); break;
            default: v = static_cast<uint8_t>(x * 2 + y + (rng.Next() % 3)); break;
            }
            p[static_cast<ptrdiff_t>(y) * stride + x] = v;
        }
}

// The four rows of size thresholds: text and flat gradient limits.
const int32_t kGradientLimits[4][2] = {{90, 10}, {150, 8}, {190, 8}, {210, 8}};

const bool kContentBlock = rltest::RegisterKernelFamily<ContentBlockFunc>(
    "ContentBlock", {ContentBlock_c, ContentBlock_sse2, ContentBlock_ssse3, ContentBlock_sse4, ContentBlock_avx,
                     ContentBlock_avx2},
    rltest::BlockCases(33, 32, 240),
    [](ContentBlockFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        // One column more on the left: the first gradient reads it.
        rltest::Plane cur(rng, 33, 32, c), ref(rng, 33, 32, c);
        PaintContent(rng, cur.data() + 1, cur.stride(), 32, 32, c.param);
        // References differing in about 128 samples, or none at all.
        const bool compare = c.param % 3 != 0;
        for (int y = 0; y < 32; ++y) std::memcpy(ref.row(y), cur.row(y), 33);
        const int changes = 100 + static_cast<int>(rng.Next() % 60) + (c.param % 7 == 1 ? 800 : 0);
        for (int k = 0; k < changes; ++k) ref.row(k / 32 % 32)[1 + k % 32] ^= 1 + rng.Byte() % 255;
        int32_t histogram[256], gradient[1024];
        ContentBlockStats s;
        std::memset(&s, 0xee, sizeof s);
        const int32_t* limits = kGradientLimits[c.param % 4];
        f(cur.data() + 1, compare ? ref.data() + 1 : nullptr, cur.stride(), limits[0], limits[1], histogram,
          gradient, &s);
        out.AddBytes("stats", &s, sizeof s);
    });

struct LineSink {
    std::string text;
    static void Callback(void* self, RL_ETraceLevel, const char* line)
    {
        // From the level keyword on: the prefix holds the logger's address.
        const char* body = std::strstr(line, "DETAIL: ");
        std::string s = body ? body : line;
        // The tier variants name themselves in their count line; the rest must agree.
        const size_t asmAt = s.find("asm iNumV2");
        if (asmAt != std::string::npos) s.erase(asmAt, 4);
        static_cast<LineSink*>(self)->text += s + "\n";
    }
};

const TextSegmentationFunc kSegmentation[RL_TIER_COUNT] = {TextSegmentation8_c,   TextSegmentation8_sse2,
                                                           TextSegmentation8_ssse3, TextSegmentation8_sse4,
                                                           TextSegmentation8_avx,  TextSegmentation8_avx2};

std::vector<rltest::KernelCase> FrameCases()
{
    std::vector<rltest::KernelCase> cases;
    const int sizes[][2] = {{336, 400}, {337, 337}, {352, 352}, {400, 368}, {517, 433}, {640, 360}, {720, 408}};
    int i = 0;
    for (const auto& s : sizes)
        for (int k = 0; k < 6; ++k, ++i) {
            rltest::KernelCase c;
            c.width = s[0];
            c.height = s[1];
            c.misalign = (i * 5) % 33;
            c.stridePad = (i * 11) % 40;
            c.param = i;
            c.seed = static_cast<uint32_t>(500 + i);
            cases.push_back(c);
        }
    return cases;
}

const bool kTextSegmentation = rltest::RegisterTierFamily(
    "TextSegmentation8", {true, true, true, true, true, true}, FrameCases(),
    [](int tier, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane cur(rng, c.width, c.height, c), ref(rng, c.width, c.height, c);
        // A patchwork of 32x32 areas of every kind, and a reference that moved in some of them.
        for (int y = 0; y < c.height; y += 32)
            for (int x = 0; x < c.width; x += 32) {
                const int kind = static_cast<int>(rng.Next() % (c.param % 4 == 0 ? 2 : 5));
                const int w = c.width - x < 32 ? c.width - x : 32, h = c.height - y < 32 ? c.height - y : 32;
                PaintContent(rng, cur.row(y) + x, cur.stride(), w, h, kind);
                const bool moved = rng.Next() % 3 == 0;
                for (int r = 0; r < h; ++r)
                    for (int q = 0; q < w; ++q)
                        ref.row(y + r)[x + q] = moved && rng.Next() % 5 ? rng.Byte() : cur.row(y + r)[x + q];
            }
        std::vector<uint8_t> map(static_cast<size_t>((c.width + 15) >> 4) * ((c.height + 15) >> 4), 0x5a);
        int32_t histogram[256], gradient[1024];
        Logger logger(nullptr, "Content Detection");
        LineSink sink;
        logger.SetLogLevel(RL_TRACE_DETAIL);
        logger.SetLogCallbackFunc(&LineSink::Callback);
        logger.SetLogCallbackInstance(&sink);
        vContentDetectionParam p{};
        p.pCurPlane = cur.data();
        p.pRefPlane = ref.data();
        p.iCurWidth = c.width;
        p.iCurHeight = c.height;
        p.iRefWidth = c.param % 5 == 4 ? c.width + 1 : c.width;
        p.iRefHeight = c.height;
        p.iSizeCap = c.param * 37;
        p.iStride = cur.stride();
        p.pMbMap = map.data();
        p.pHistogram = histogram;
        p.pGradientBlock = gradient;
        p.iIndex = c.param % 14;
        p.bHistoryFilled = c.param % 3 == 0;
        for (uint8_t& v : p.uiMotionStatus) v = rng.Next() % 4 != 0;
        p.pLogger = &logger;
        out.AddValue("result", kSegmentation[tier](&p));
        out.AddBytes("map", map.data(), map.size());
        out.AddBytes("votes", p.uiMotionStatus, sizeof p.uiMotionStatus);
        out.AddBytes("log", sink.text.data(), sink.text.size());
    });

}  // namespace

namespace {

using namespace Ravvel;

// Rows of 1 to 40 blocks whose SADs straddle the threshold: the reference is
// the current row plus small per-pixel offsets.
std::vector<rltest::KernelCase> BlockRowCases()
{
    std::vector<rltest::KernelCase> cases;
    for (int blocks = 1; blocks <= 40; ++blocks)
        for (int k = 0; k < 3; ++k) {
            rltest::KernelCase c;
            c.width = 8 * blocks;
            c.height = 8;
            c.misalign = (blocks * 3 + k * 11) % 33;
            c.stridePad = (blocks * 7 + k) % 37;
            c.param = k;
            c.seed = static_cast<uint32_t>(3000 + 3 * blocks + k);
            cases.push_back(c);
        }
    return cases;
}

const bool kCountChangedBlocks = rltest::RegisterKernelFamily<CountChangedBlocksFunc>(
    "CountChangedBlocks",
    {CountChangedBlocks_c, CountChangedBlocks_sse2, CountChangedBlocks_ssse3, CountChangedBlocks_sse4,
     CountChangedBlocks_avx, CountChangedBlocks_avx2},
    BlockRowCases(), [](CountChangedBlocksFunc f, const rltest::KernelCase& c, rltest::Output& out) {
        rltest::Rng rng(c.seed);
        rltest::Plane cur(rng, c.width, 8, c);
        rltest::KernelCase refCase = c;
        refCase.misalign = (c.misalign * 5 + 3) % 32;
        refCase.stridePad = (c.stridePad + 13) % 29;
        rltest::Plane ref(rng, c.width, 8, refCase);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < c.width; ++x) {
                const int v = cur.row(y)[x] % 200 + 20;
                cur.row(y)[x] = static_cast<uint8_t>(v);
                // Offsets of 4 to 6 per pixel put block SADs around 320.
                ref.row(y)[x] = static_cast<uint8_t>(v + ((x / 8 + c.param) % 3 == 0 ? 5 : 4 + rng.Next() % 3));
            }
        const int blocks = c.width / 8;
        for (uint32_t threshold : {320u, 0u, 16320u, 300u})
            out.AddValue("changed", f(cur.data(), cur.stride(), ref.data(), ref.stride(), blocks, threshold));
    });

}  // namespace
