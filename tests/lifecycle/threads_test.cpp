// Separate IRavvel objects on separate threads at the same time: every method
// of the catalog, two different clips, and the results must equal those of
// the same clips processed one after the other. CI also runs this program
// under ThreadSanitizer, which reports any shared state the methods touch.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "support/method_catalog.h"
#include "support/picture.h"

namespace {

using rltest::DstKind;
using rltest::MethodEntry;
using rltest::Picture;

void DiscardLog(void*, RL_ETraceLevel, const char*) {}

constexpr int kWidth = 96, kHeight = 64, kFrames = 6;

// A clip with texture, a moving square, noise and a cut halfway, different per seed.
void FillFrame(Picture& p, uint32_t seed, int frame)
{
    uint32_t s = seed * 2654435761u + static_cast<uint32_t>(frame) * 40503u + 1;
    uint8_t* b = p.block();
    const int cut = frame >= kFrames / 2 ? 97 : 0;
    for (size_t i = 0; i < p.size(); ++i) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        const int x = static_cast<int>(i % 97), y = static_cast<int>(i / 97);
        int v = (x * static_cast<int>(seed + 1) + y * 3 + cut) & 0xff;
        if (x >= frame * 4 && x < frame * 4 + 16 && (y & 31) < 16) v = 235;
        b[i] = static_cast<uint8_t>(v ^ (s >> 29));
    }
}

uint32_t SourceFormat(const MethodEntry& m)
{
    for (uint32_t f : m.srcFormats)
        if (f == RL_FORMAT_I420) return f;
    return m.srcFormats.front();
}

// Everything a run produces: result codes, destination bytes and the answers
// of the method's options.
std::vector<uint8_t> RunClip(const MethodEntry& m, uint32_t seed)
{
    std::vector<uint8_t> out;
    IRavvel* rl = nullptr;
    if (CreateRavvel(&rl) != RL_OK) return out;
    RLLogCallbackFunc quiet = &DiscardLog;
    rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &quiet);
    const uint8_t defaults[] = {250, 250, 250, 250, 250, 250, 250, 250, 250, 250, 250, 250};
    rltest::Choices c(defaults, sizeof defaults);
    alignas(8) uint8_t record[64] = {};
    void* config = m.makeConfig(c, record, rltest::CatalogHostMemory());
    auto note = [&out](int32_t r) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&r);
        out.insert(out.end(), p, p + sizeof r);
    };
    note(rl->Init(m.method, config, false));

    const uint32_t format = SourceFormat(m);
    Picture src, previous;
    src.Allocate(format, kWidth, kHeight, 0, false, m.planeAlign);
    previous.Allocate(format, kWidth, kHeight, 0, false, m.planeAlign);
    Picture dst;
    FillFrame(previous, seed, 0);
    for (int frame = 0; frame < kFrames; ++frame) {
        FillFrame(src, seed, frame);
        const uint32_t dstFormat = m.dstFormats.empty() ? format : static_cast<uint32_t>(RL_FORMAT_I420);
        switch (m.dst) {
        case DstKind::Descriptor: dst.Allocate(0, 0, 0); break;
        case DstKind::AnySize: dst.Allocate(format, kWidth / 2, kHeight / 2); break;
        case DstKind::Reference: break;
        default: dst.Allocate(dstFormat, kWidth, kHeight, 0, false, m.planeAlign); break;
        }
        if (m.dst != DstKind::Reference) dst.Fill(7);
        Picture& target = m.dst == DstKind::Reference ? previous : dst;
        note(rl->Process(m.method, src.info(), target.info(), nullptr));
        if (m.dst == DstKind::Reference) {
            std::memcpy(previous.block(), src.block(), src.size());
        } else if (m.dst != DstKind::Descriptor) {
            out.insert(out.end(), dst.block(), dst.block() + dst.size());
        }
        // In-place methods change their source.
        out.insert(out.end(), src.block(), src.block() + src.size());
        for (int option : m.options) {
            if (option == RL_OPTION_AVERAGE_TIME || rltest::OptionCarriesPointer(option)) continue;
            alignas(8) uint8_t answer[64] = {};
            note(rl->GetOption(m.method, static_cast<RL_EOption>(option), answer));
            out.insert(out.end(), answer, answer + sizeof answer);
        }
    }
    DestroyRavvel(rl);
    return out;
}

class TwoThreads : public testing::TestWithParam<size_t> {};

TEST_P(TwoThreads, GiveTheResultsOfOneThread)
{
    const MethodEntry& m = rltest::MethodCatalog()[GetParam()];
    const std::vector<uint8_t> a = RunClip(m, 1), b = RunClip(m, 2);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(a == b) << "the two clips must differ";
    for (int round = 0; round < 3; ++round) {
        std::vector<uint8_t> ta, tb;
        std::thread first([&] { ta = RunClip(m, 1); });
        std::thread second([&] { tb = RunClip(m, 2); });
        first.join();
        second.join();
        EXPECT_TRUE(ta == a) << m.name << ": first thread differs in round " << round;
        EXPECT_TRUE(tb == b) << m.name << ": second thread differs in round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, TwoThreads, testing::Range<size_t>(0, rltest::MethodCatalog().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return std::string(rltest::MethodCatalog()[info.param].name);
                         });

// Every method at once, each on its own thread with its own object.
TEST(AllMethodsAtOnce, GiveTheResultsOfOneThread)
{
    const auto& catalog = rltest::MethodCatalog();
    std::vector<std::vector<uint8_t>> expected, got(catalog.size());
    for (const MethodEntry& m : catalog) expected.push_back(RunClip(m, 3));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < catalog.size(); ++i) threads.emplace_back([&, i] { got[i] = RunClip(catalog[i], 3); });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < catalog.size(); ++i) EXPECT_TRUE(got[i] == expected[i]) << catalog[i].name;
}

}  // namespace
