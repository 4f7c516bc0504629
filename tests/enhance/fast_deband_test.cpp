#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "enhance/deband_kernels.h"
#include "enhance/fast_deband.h"
#include "support/log_capture.h"
#include "support/picture.h"

namespace {

using namespace Ravvel;
using rltest::LogCapture;
using rltest::Picture;

constexpr uint32_t kI420 = RL_FORMAT_I420;

// An I420 picture whose planes start on 64-byte boundaries, filled by f(plane, x, y).
template <class F>
void MakePicture(Picture* p, int w, int h, F f, int stridePad = 0)
{
    ASSERT_TRUE(p->Allocate(kI420, w, h, stridePad, false, 64));
    p->Fill(0xEE);  // gaps and padding too: they must come out unchanged
    SRLPictureInfo* info = p->info();
    for (int plane = 0; plane < 3; ++plane) {
        const int pw = plane ? (w + 1) / 2 : w, ph = plane ? (h + 1) / 2 : h;
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x)
                info->pData[plane][static_cast<ptrdiff_t>(y) * info->iStride[plane] + x] = f(plane, x, y);
    }
}

uint8_t Hash(int plane, int x, int y) { return static_cast<uint8_t>((x * 37 + y * 101 + plane * 53) ^ (x * y)); }

// A smooth gradient with 4-level steps and some texture, where the filter has work to do.
uint8_t Banded(int plane, int x, int y) { return static_cast<uint8_t>(60 + plane * 20 + 4 * ((x + y / 2) / 24)); }

// Low-amplitude texture: the filter averages it to fractions, so the dither
// (and with it the seed) decides the rounding.
uint8_t Textured(int plane, int x, int y) { return static_cast<uint8_t>(100 + Hash(plane, x, y) % 8); }

std::vector<uint8_t> Bytes(Picture& p) { return std::vector<uint8_t>(p.block(), p.block() + p.size()); }

SFastDebandConfig Config(int w, int h, int strength = 64, int dither = 6, int log2 = 6, int depthY = 0,
                         int depthUV = 1)
{
    return SFastDebandConfig{w, h, strength, dither, log2, RL_FORMAT_I420, depthY, depthUV};
}

// One IRavvel with the deband method set up and its log captured.
class DebandHost {
public:
    explicit DebandHost(const SFastDebandConfig& cfg, int32_t seedMethod = 1)
    {
        EXPECT_EQ(CreateRavvel(&rl), RL_OK);
        EXPECT_EQ(rl->Init(RL_METHOD_FAST_DEBAND, const_cast<SFastDebandConfig*>(&cfg), false), RL_OK);
        log.Attach(rl);
        Set(RL_OPTION_DEBAND_SEED_METHOD, seedMethod);
    }
    ~DebandHost() { DestroyRavvel(rl); }
    int32_t Set(RL_EOption o, int32_t v) { return rl->SetOption(RL_METHOD_FAST_DEBAND, o, &v); }
    int32_t Get(RL_EOption o)
    {
        int32_t v = -99;
        EXPECT_EQ(rl->GetOption(RL_METHOD_FAST_DEBAND, o, &v), RL_OK);
        return v;
    }
    int32_t Run(Picture& src, Picture& dst) { return rl->Process(RL_METHOD_FAST_DEBAND, src.info(), dst.info(), nullptr); }

    IRavvel* rl = nullptr;
    LogCapture log;
};

// ---- Options ---------------------------------------------------------------

TEST(FastDebandOptions, StoreReadBackAndIgnoreOutOfRangeDepths)
{
    DebandHost h(Config(64, 64));
    for (int v : {0, 4, 5, -1, 100}) h.Set(RL_OPTION_DEBAND_DEPTH_Y, v);
    EXPECT_EQ(h.Get(RL_OPTION_DEBAND_GET_DEPTH_Y), 4);  // 5, -1 and 100 were ignored
    for (int v : {3, 0, 5, -2}) h.Set(RL_OPTION_DEBAND_DEPTH_UV, v);
    EXPECT_EQ(h.Get(RL_OPTION_DEBAND_GET_DEPTH_UV), 3);
    const struct {
        RL_EOption set, get;
    } kPlain[] = {{RL_OPTION_DEBAND_STRENGTH, RL_OPTION_DEBAND_GET_STRENGTH},
                  {RL_OPTION_DEBAND_DITHER, RL_OPTION_DEBAND_GET_DITHER},
                  {RL_OPTION_DEBAND_LOG2_SIZE, RL_OPTION_DEBAND_GET_LOG2_SIZE},
                  {RL_OPTION_DEBAND_SEED_METHOD, RL_OPTION_DEBAND_GET_SEED_METHOD}};
    for (const auto& o : kPlain)
        for (int v : {-7, 0, 1, 300}) {
            EXPECT_EQ(h.Set(o.set, v), RL_OK);
            EXPECT_EQ(h.Get(o.get), v) << o.set;
        }

    // The automatic mode answers with one byte.
    uint8_t answer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(h.Set(RL_OPTION_DEBAND_AUTO_MODE, 7), RL_OK);
    EXPECT_EQ(h.rl->GetOption(RL_METHOD_FAST_DEBAND, RL_OPTION_DEBAND_GET_AUTO_MODE, answer), RL_OK);
    EXPECT_EQ(answer[0], 1);
    EXPECT_EQ(answer[1], 0xAA);
    h.Set(RL_OPTION_DEBAND_AUTO_MODE, 0);
    EXPECT_EQ(h.rl->GetOption(RL_METHOD_FAST_DEBAND, RL_OPTION_DEBAND_GET_AUTO_MODE, answer), RL_OK);
    EXPECT_EQ(answer[0], 0);

    // Null payloads are refused; other ids are accepted and write nothing.
    EXPECT_EQ(h.rl->SetOption(RL_METHOD_FAST_DEBAND, RL_OPTION_DEBAND_STRENGTH, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(h.rl->GetOption(RL_METHOD_FAST_DEBAND, RL_OPTION_DEBAND_GET_STRENGTH, nullptr), RL_ERR_INVALID_PARAM);
    int32_t untouched = 1234;
    for (int id : {0, 24, 39, 54, 77}) {
        EXPECT_EQ(h.rl->SetOption(RL_METHOD_FAST_DEBAND, static_cast<RL_EOption>(id), &untouched), RL_OK);
        EXPECT_EQ(h.rl->GetOption(RL_METHOD_FAST_DEBAND, static_cast<RL_EOption>(id), &untouched), RL_OK);
        EXPECT_EQ(untouched, 1234) << id;
    }
}

// ---- Bad input ---------------------------------------------------------------

TEST(FastDebandInput, RefusesBadPicturesWithoutTouchingThem)
{
    SFastDebandConfig cfg = Config(64, 48);
    cfg.eFormat = RL_FORMAT_NV12;
    IRavvel* rl = nullptr;
    ASSERT_EQ(CreateRavvel(&rl), RL_OK);
    EXPECT_EQ(rl->Init(RL_METHOD_FAST_DEBAND, &cfg, false), RL_ERR_UNSUPPORTED);
    DestroyRavvel(rl);

    DebandHost h(Config(64, 48));
    Picture src, dst;
    MakePicture(&src, 64, 48, Hash);
    MakePicture(&dst, 64, 48, [](int, int, int) { return uint8_t{7}; });
    const std::vector<uint8_t> before = Bytes(dst), srcBefore = Bytes(src);
    SRLPictureInfo* s = src.info();
    SRLPictureInfo* d = dst.info();
    auto run = [&] { return h.rl->Process(RL_METHOD_FAST_DEBAND, s, d, nullptr); };

    EXPECT_EQ(h.rl->Process(RL_METHOD_FAST_DEBAND, nullptr, d, nullptr), RL_ERR_INVALID_PARAM);
    EXPECT_EQ(h.rl->Process(RL_METHOD_FAST_DEBAND, s, nullptr, nullptr), RL_ERR_INVALID_PARAM);
    for (uint32_t f : {24u, 26u, 30u, 2u, 0u}) {
        s->eFormat = static_cast<RL_EVideoFormat>(f);
        EXPECT_EQ(run(), RL_ERR_UNSUPPORTED) << f;
    }
    s->eFormat = static_cast<RL_EVideoFormat>(kI420);
    for (int side : {0, -2}) {
        s->iWidth = side;
        EXPECT_EQ(run(), RL_ERR_INVALID_PARAM) << side;
    }
    s->iWidth = 64;
    d->iHeight = 46;
    EXPECT_EQ(run(), RL_ERR_MISMATCH);
    d->iHeight = 48;
    for (int i = 0; i < 3; ++i) {
        uint8_t* saved = d->pData[i];
        d->pData[i] = s->pData[(i + 1) % 3];  // a plane shared with the source
        EXPECT_EQ(run(), RL_ERR_MISMATCH) << i;
        d->pData[i] = nullptr;
        EXPECT_EQ(run(), RL_ERR_INVALID_PARAM) << i;
        d->pData[i] = saved + 16;  // not on a 64-byte boundary
        EXPECT_EQ(run(), RL_ERR_INVALID_PARAM) << i;
        d->pData[i] = saved;
        saved = s->pData[i];
        s->pData[i] = saved + 1;
        EXPECT_EQ(run(), RL_ERR_INVALID_PARAM) << i;
        s->pData[i] = saved;
    }
    EXPECT_EQ(Bytes(dst), before);
    EXPECT_EQ(Bytes(src), srcBefore);
    EXPECT_FALSE(h.log.Contains("m_CPUFlag="));  // no frame was processed
    EXPECT_EQ(run(), RL_OK);
    EXPECT_NE(Bytes(dst), before);
}

// A configured size that differs from the pictures': the filter is clipped to
// the pictures (AddressSanitizer watches the edges) and only the configured
// part of the destination is written.
TEST(FastDebandInput, ConfiguredSizeIsClippedToThePictures)
{
    for (int w : {40, 47}) {
        Picture src, dst, small, smallOut;
        MakePicture(&src, w, 30, Banded);
        MakePicture(&dst, w, 30, [](int, int, int) { return uint8_t{1}; });
        {
            DebandHost big(Config(500, 400));
            EXPECT_EQ(big.Run(src, dst), RL_OK);
        }
        DebandHost exact(Config(w, 30));
        MakePicture(&smallOut, w, 30, [](int, int, int) { return uint8_t{1}; });
        EXPECT_EQ(exact.Run(src, smallOut), RL_OK);
        EXPECT_EQ(Bytes(dst), Bytes(smallOut)) << w;

        // Configured 20 x 10: luma rows and columns beyond stay as they were.
        DebandHost part(Config(20, 10));
        MakePicture(&small, w, 30, [](int, int, int) { return uint8_t{1}; });
        EXPECT_EQ(part.Run(src, small), RL_OK);
        const SRLPictureInfo* o = small.info();
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t v = o->pData[0][y * o->iStride[0] + x];
                if (x >= 20 || y >= 10) {
                    ASSERT_EQ(v, 1) << x << "," << y;
                }
            }
        for (int p = 1; p < 3; ++p)
            for (int y = 0; y < 15; ++y)
                for (int x = 10; x < (w + 1) / 2; ++x) ASSERT_EQ(o->pData[p][y * o->iStride[p] + x], 1);
    }
}

// ---- Documented behaviour ----------------------------------------------------

TEST(FastDebandBehaviour, StrengthZeroLeavesTheDestinationAlone)
{
    Picture src, dst;
    MakePicture(&src, 96, 64, Banded);
    MakePicture(&dst, 96, 64, [](int, int, int) { return uint8_t{9}; });
    const std::vector<uint8_t> before = Bytes(dst);
    DebandHost byConfig(Config(96, 64, 0));
    EXPECT_EQ(byConfig.Run(src, dst), RL_OK);
    EXPECT_EQ(Bytes(dst), before);
    DebandHost byOption(Config(96, 64, 64));
    byOption.Set(RL_OPTION_DEBAND_STRENGTH, 0);
    EXPECT_EQ(byOption.Run(src, dst), RL_OK);
    EXPECT_EQ(Bytes(dst), before);
}

TEST(FastDebandBehaviour, StrengthsUpTo16ActAs16)
{
    Picture src, ref, out;
    MakePicture(&src, 130, 70, Banded);
    MakePicture(&ref, 130, 70, Hash);
    MakePicture(&out, 130, 70, Hash);
    DebandHost h16(Config(130, 70, 16, 6, 6, 2, 2));
    ASSERT_EQ(h16.Run(src, ref), RL_OK);
    for (int s : {1, 9, 15}) {
        DebandHost h(Config(130, 70, s, 6, 6, 2, 2));
        ASSERT_EQ(h.Run(src, out), RL_OK);
        EXPECT_EQ(Bytes(out), Bytes(ref)) << s;
    }
    DebandHost h80(Config(130, 70, 80, 6, 6, 2, 2));
    ASSERT_EQ(h80.Run(src, out), RL_OK);
    EXPECT_NE(Bytes(out), Bytes(ref));
}

TEST(FastDebandBehaviour, FlatPicturesKeepTheirLevelUpToDither6)
{
    for (uint8_t level : {0, 1, 128, 254, 255}) {
        Picture src, dst;
        MakePicture(&src, 100, 72, [&](int, int, int) { return level; });
        for (int dither : {0, 1, 3, 5, 6}) {
            MakePicture(&dst, 100, 72, [](int, int, int) { return uint8_t{77}; });
            DebandHost h(Config(100, 72, 200, dither, 6, 3, 3), 0);
            ASSERT_EQ(h.Run(src, dst), RL_OK);
            ASSERT_EQ(Bytes(dst), Bytes(src)) << int(level) << " dither " << dither;
        }
        // Dither 8 moves samples, by two levels at most (clamped at the ends).
        DebandHost h(Config(100, 72, 200, 8), 0);
        ASSERT_EQ(h.Run(src, dst), RL_OK);
        int moved = 0;
        for (int p = 0; p < 3; ++p) {
            const SRLPictureInfo* o = dst.info();
            for (int y = 0; y < (p ? 36 : 72); ++y)
                for (int x = 0; x < (p ? 50 : 100); ++x) {
                    const int d = o->pData[p][y * o->iStride[p] + x] - level;
                    ASSERT_LE(std::abs(d), 2);
                    moved += d != 0;
                }
        }
        EXPECT_GT(moved, 100) << int(level);
    }
}

// The passes of each plane, written out: sizes shrink by one per pass, only
// the last one dithers, and chroma starts one size smaller and dithers by 6.
struct PassPlan {
    int log2, depthY, depthUV, dither;
    std::vector<std::vector<int>> luma, chroma;  // {horizontal size, vertical size, dither} per pass
};

class FastDebandPasses : public testing::TestWithParam<PassPlan> {};

TEST_P(FastDebandPasses, FollowThePassSchedule)
{
    const PassPlan& plan = GetParam();
    const int w = 150, h = 90, seed = 0;  // seed method 1, first frame
    Picture src, dst;
    MakePicture(&src, w, h, Banded);
    MakePicture(&dst, w, h, Hash);
    DebandHost host(Config(w, h, 70, plan.dither, plan.log2, plan.depthY, plan.depthUV));
    ASSERT_EQ(host.Run(src, dst), RL_OK);

    for (int p = 0; p < 3; ++p) {
        const int pw = p ? (w + 1) / 2 : w, ph = p ? (h + 1) / 2 : h;
        std::vector<uint8_t> in(static_cast<size_t>(pw) * ph), out(in.size());
        for (int y = 0; y < ph; ++y)
            std::memcpy(&in[static_cast<size_t>(y) * pw], src.info()->pData[p] + y * src.info()->iStride[p], pw);
        bool first = true;
        for (const std::vector<int>& pass : p ? plan.chroma : plan.luma) {
            ASSERT_EQ(deband_subimage_c(nullptr, nullptr, nullptr, first ? in.data() : out.data(), pw, out.data(), pw,
                                        pw, ph, 70, pass[0], pass[1], pass[2], seed, 0, ph),
                      1);
            first = false;
        }
        for (int y = 0; y < ph; ++y)
            ASSERT_EQ(0, std::memcmp(&out[static_cast<size_t>(y) * pw],
                                     dst.info()->pData[p] + y * dst.info()->iStride[p], pw))
                << "plane " << p << " row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Schedules, FastDebandPasses,
    testing::Values(PassPlan{6, 0, 1, 6, {{6, 6, 6}}, {{5, 5, 6}}},
                    PassPlan{6, 3, 2, 5, {{6, 6, 0}, {5, 5, 0}, {4, 4, 5}}, {{5, 5, 0}, {4, 4, 6}}},
                    PassPlan{6, 4, 4, 9, {{6, 6, 0}, {5, 5, 0}, {4, 4, 0}, {3, 3, 9}}, {{5, 5, 0}, {4, 4, 0}, {3, 3, 6}}},
                    PassPlan{5, 2, 3, 0, {{5, 5, 0}, {4, 4, 0}}, {{4, 4, 0}, {3, 3, 0}}},
                    PassPlan{4, 4, 4, 2, {{4, 4, 0}, {3, 3, 2}}, {{3, 3, 6}}},
                    PassPlan{9, 1, 1, 6, {{9, 6, 6}}, {{8, 5, 6}}},  // the vertical span stops at 6
                    PassPlan{2, 3, 3, 6, {{3, 2, 6}}, {{2, 1, 6}}}));

// Automatic mode: from the sixteenth frame on, strength and span come from the
// average quantiser of the last sixteen frames and the configured size.
TEST(FastDebandBehaviour, AutomaticModeFollowsTheQuantiserHistory)
{
    struct Case {
        int w, h;
        uint8_t qp;  // 0: the picture brings no list
        const char* line;
    } const kCases[] = {{1280, 720, 100, "strength 2, size 5 dither 6 qp 100"},
                        {1920, 1080, 200, "strength 7, size 6 dither 6 qp 200"},
                        {640, 480, 0, "strength 1, size 4 dither 6 qp 24"}};
    for (const Case& c : kCases) {
        DebandHost h(Config(c.w, c.h));
        int32_t level = RL_TRACE_DEBUG;
        h.rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_LEVEL, &level);
        h.Set(RL_OPTION_DEBAND_AUTO_MODE, 1);
        Picture src, dst;  // small pictures: the filter is clipped to them
        MakePicture(&src, 64, 48, Banded);
        MakePicture(&dst, 64, 48, Hash);
        std::vector<uint8_t> list(4 * 3, c.qp);
        list[5] = static_cast<uint8_t>(c.qp + 6);  // floor of the mean: one entry alone moves nothing
        src.info()->pQPList = c.qp ? list.data() : nullptr;
        for (int f = 0; f < 16; ++f) ASSERT_EQ(h.Run(src, dst), RL_OK);
        EXPECT_FALSE(h.log.Contains("qp ")) << "automatic mode before the history is full";
        ASSERT_EQ(h.Run(src, dst), RL_OK);
        EXPECT_TRUE(h.log.Contains(c.line)) << c.line;
        EXPECT_EQ(h.Get(RL_OPTION_DEBAND_GET_STRENGTH), 64);  // the host's setting is not replaced
    }
}

// ---- Lifecycle and state -------------------------------------------------------

TEST(FastDebandLifecycle, RandomSeedsAreReproduciblePerObject)
{
    Picture src, a, b, c;
    MakePicture(&src, 80, 40, Textured);
    MakePicture(&a, 80, 40, Hash);
    MakePicture(&b, 80, 40, Hash);
    MakePicture(&c, 80, 40, Hash);
    DebandHost one(Config(80, 40), 0), two(Config(80, 40), 0);
    // Frames of one object differ from each other (new seed), but two objects
    // interleaved see the same sequence, and a new Init starts it again.
    ASSERT_EQ(one.Run(src, a), RL_OK);
    ASSERT_EQ(one.Run(src, b), RL_OK);
    EXPECT_NE(Bytes(a), Bytes(b));
    ASSERT_EQ(two.Run(src, c), RL_OK);
    EXPECT_EQ(Bytes(a), Bytes(c));
    ASSERT_EQ(two.Run(src, c), RL_OK);
    EXPECT_EQ(Bytes(b), Bytes(c));

    EXPECT_TRUE(one.log.Contains("m_iFrameIndex=0 m_iStrength=64 m_iDither=6 m_iLog2Size=6 m_iDepthY=0"));

    // A new Init starts the sequence again.
    SFastDebandConfig cfg = Config(80, 40);
    ASSERT_EQ(one.rl->Init(RL_METHOD_FAST_DEBAND, &cfg, false), RL_OK);
    ASSERT_EQ(one.Run(src, c), RL_OK);
    EXPECT_EQ(Bytes(a), Bytes(c));
}

TEST(FastDebandLifecycle, UninitRestartsTheFrameCountAndKeepsTheSettings)
{
    Picture src, a, b, c;
    MakePicture(&src, 160, 80, Textured);
    MakePicture(&a, 160, 80, Hash);
    MakePicture(&b, 160, 80, Hash);
    MakePicture(&c, 160, 80, Hash);
    CFastDeband deband(RL_CPU_SSE2);  // every x86-64 processor has it
    LogCapture log;
    deband.GetLogger()->SetLogCallbackFunc(&LogCapture::Callback);
    deband.GetLogger()->SetLogCallbackInstance(&log);
    SFastDebandConfig cfg = Config(160, 80, 200);
    ASSERT_EQ(deband.Init(&cfg, false), RL_OK);
    EXPECT_FALSE(deband.IsInited());  // Init leaves the flag alone
    ASSERT_EQ(deband.Process(src.info(), a.info(), nullptr), RL_OK);  // frame 0: first seed
    ASSERT_EQ(deband.Process(src.info(), b.info(), nullptr), RL_OK);  // frame 1: second seed
    EXPECT_NE(Bytes(a), Bytes(b));
    // Seed method 1 gives seeds 0 and 1, and a zero seed counts as 1.
    int32_t v = 1;
    deband.SetOption(RL_OPTION_DEBAND_SEED_METHOD, &v);
    ASSERT_EQ(deband.Process(src.info(), c.info(), nullptr), RL_OK);
    std::vector<uint8_t> seedOne = Bytes(c);
    ASSERT_EQ(deband.Process(src.info(), c.info(), nullptr), RL_OK);
    EXPECT_EQ(Bytes(c), seedOne);
    v = 0;
    deband.SetOption(RL_OPTION_DEBAND_SEED_METHOD, &v);
    EXPECT_EQ(deband.Uninit(), RL_OK);
    log.lines.clear();
    ASSERT_EQ(deband.Process(src.info(), c.info(), nullptr), RL_OK);  // frame 0 again
    EXPECT_EQ(Bytes(a), Bytes(c));
    EXPECT_TRUE(log.Contains("m_iWidth=160 m_iHeight=80 m_iFrameIndex=0 m_iStrength=200"));
    // A null config keeps everything and the kernel choice is made again.
    ASSERT_EQ(deband.Init(nullptr, false), RL_OK);
    ASSERT_EQ(deband.Process(src.info(), c.info(), nullptr), RL_OK);  // frame 1
    EXPECT_EQ(Bytes(b), Bytes(c));
}

// ---- Kernel details ------------------------------------------------------------

// The state generator against a bitwise CRC-32C (no table).
TEST(DebandKernel, StateStepIsACrc32cOfTheTopBytes)
{
    auto bitwise = [](uint32_t crc, uint32_t byte) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
        return crc;
    };
    uint32_t s = 1;
    for (int i = 0; i < 5000; ++i) {
        const uint32_t expect = bitwise(bitwise(s, (s >> 16) & 255), (s >> 24) & 255);
        ASSERT_EQ(DebandNextState(s), expect) << i;
        s = expect ^ static_cast<uint32_t>(i * 2654435761u);
    }
}

TEST(DebandKernel, NoiseRangesPerDither)
{
    const struct {
        int dither, lo, hi;
    } kRanges[] = {{0, 7, 8}, {3, 7, 8}, {5, 4, 11}, {6, 0, 15}, {8, -24, 39}, {13, -1016, 1031}, {99, -1016, 1031}};
    int16_t table[kDebandNoiseSize + kDebandNoiseTail];
    for (const auto& r : kRanges) {
        const DebandPass p = DebandSetupPass(64, 6, 6, r.dither);
        DebandBuildNoise(12345, p.iDitherBits, table);
        int lo = 1 << 20, hi = -(1 << 20);
        for (int i = 0; i < kDebandNoiseSize; ++i) lo = std::min<int>(lo, table[i]), hi = std::max<int>(hi, table[i]);
        // 2048 draws reach every value of the narrow ranges
        if (r.hi - r.lo < 64) {
            EXPECT_EQ(lo, r.lo) << r.dither;
            EXPECT_EQ(hi, r.hi) << r.dither;
        }
        EXPECT_GE(lo, r.lo) << r.dither;
        EXPECT_LE(hi, r.hi) << r.dither;
        for (int i = 0; i < kDebandNoiseTail; ++i) ASSERT_EQ(table[kDebandNoiseSize + i], table[i]);
    }
    // Seed 0 is taken as 1.
    int16_t other[kDebandNoiseSize + kDebandNoiseTail];
    EXPECT_EQ(DebandBuildNoise(0, 4, table), DebandBuildNoise(1, 4, other));
    EXPECT_EQ(0, std::memcmp(table, other, sizeof table));
}

// A failing allocator ends the pass without writing; the releaser gets the
// block back.
TEST(DebandKernel, AllocatorIsUsedAndFailureReported)
{
    struct Pool {
        std::vector<uint8_t> mem;
        size_t asked = 0;
        int freed = 0;
        bool fail = false;
    } pool;
    auto alloc = [](void* o, size_t n) -> void* {
        Pool* p = static_cast<Pool*>(o);
        p->asked = n;
        if (p->fail) return nullptr;
        p->mem.resize(n);
        return p->mem.data();
    };
    auto release = [](void* o, void*) { ++static_cast<Pool*>(o)->freed; };
    std::vector<uint8_t> src(70 * 20, 100), dst(70 * 20, 3);
    EXPECT_EQ(deband_subimage_c(alloc, release, &pool, src.data(), 70, dst.data(), 70, 70, 20, 64, 6, 5, 6, 1, 0, 20), 1);
    EXPECT_EQ(pool.asked, 32u * 70 * 2);
    EXPECT_EQ(pool.freed, 1);
    EXPECT_EQ(dst, src);
    pool.fail = true;
    std::fill(dst.begin(), dst.end(), 3);
    EXPECT_EQ(deband_subimage_c(alloc, release, &pool, src.data(), 70, dst.data(), 70, 70, 20, 64, 6, 5, 6, 1, 0, 20), 0);
    EXPECT_EQ(pool.freed, 1);
    EXPECT_EQ(dst, std::vector<uint8_t>(70 * 20, 3));
}

// ---- Acceptance: a banded gradient ---------------------------------------------

// Horizontal 8-bit gradient rising by 4 levels every 256 pixels.
TEST(FastDebandQuality, BandsOfAGradientDisappearAtStrength128)
{
    const int w = 1024, h = 64;
    Picture src, dst;
    MakePicture(&src, w, h, [](int p, int x, int) { return static_cast<uint8_t>(p ? 128 : 100 + 4 * (x / 256)); });
    MakePicture(&dst, w, h, Hash);
    DebandHost host(Config(w, h, 128, 6), 0);
    ASSERT_EQ(host.Run(src, dst), RL_OK);
    auto steps = [&](const Picture& p, int* largest) {
        const SRLPictureInfo* i = const_cast<Picture&>(p).info();
        long sum = 0, n = 0;
        *largest = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x + 1 < w; ++x) {
                const int d = std::abs(i->pData[0][y * i->iStride[0] + x + 1] - i->pData[0][y * i->iStride[0] + x]);
                sum += d, ++n;
                *largest = std::max(*largest, d);
            }
        return static_cast<double>(sum) / n;
    };
    int before = 0, after = 0;
    const double meanBefore = steps(src, &before), meanAfter = steps(dst, &after);
    EXPECT_EQ(before, 4);
    EXPECT_LT(after, 2);
    std::printf("banded gradient: mean |step| %.4f -> %.4f, largest %d -> %d\n", meanBefore, meanAfter, before, after);
}

}  // namespace
