// Y4M reading and writing: the strict parser's refusals and the round trip.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <unistd.h>
#include <string>

#include "../../tools/y4m.h"

namespace {

using rvtool::I420Image;
using rvtool::Y4MHeader;
using rvtool::Y4MReader;

// A reader over bytes held in memory.
bool OpenBytes(Y4MReader* r, const std::string& bytes)
{
    FILE* f = tmpfile();
    if (f == nullptr) return false;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return r->Open(f, "clip.y4m");
}

std::string Frame(int w, int h, char fill = 'x')
{
    return "FRAME\n" + std::string(rvtool::Y4MFrameBytes(w, h), fill);
}

struct BadHeader {
    const char* line;
    const char* reason;  // a word the message must contain
};

class Y4MBadHeader : public ::testing::TestWithParam<BadHeader> {};

TEST_P(Y4MBadHeader, IsRefusedWithItsReason)
{
    Y4MHeader h;
    const std::string why = rvtool::ParseY4MHeaderLine(GetParam().line, &h);
    EXPECT_NE(why.find(GetParam().reason), std::string::npos) << "line: " << GetParam().line << "\nwhy: " << why;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, Y4MBadHeader,
    ::testing::Values(BadHeader{"YUV4MPEG W16 H16", "signature"}, BadHeader{"YUV4MPEG2W16 H16", "signature"},
                      BadHeader{"RIFF W16 H16", "signature"}, BadHeader{"YUV4MPEG2 H16", "missing width"},
                      BadHeader{"YUV4MPEG2 W16", "missing height"}, BadHeader{"YUV4MPEG2 W0 H16", "width"},
                      BadHeader{"YUV4MPEG2 W-16 H16", "width"}, BadHeader{"YUV4MPEG2 W16x H16", "width"},
                      BadHeader{"YUV4MPEG2 W16 H99999", "height"}, BadHeader{"YUV4MPEG2 W16 H16 W16", "duplicate"},
                      BadHeader{"YUV4MPEG2 W16 H16 F30", "frame rate"}, BadHeader{"YUV4MPEG2 W16 H16 F30:0", "frame rate"},
                      BadHeader{"YUV4MPEG2 W16 H16 A1:0", "aspect"}, BadHeader{"YUV4MPEG2 W16 H16 Iq", "interlace"},
                      BadHeader{"YUV4MPEG2 W16 H16 C422", "colour space"},
                      BadHeader{"YUV4MPEG2 W16 H16 C420p10", "colour space"},
                      BadHeader{"YUV4MPEG2 W16 H16 Cmono", "colour space"},
                      BadHeader{"YUV4MPEG2 W16 H16 Z1", "unknown"}, BadHeader{"YUV4MPEG2 W16  H16", "double space"},
                      BadHeader{"YUV4MPEG2 W16 H16 ", "trailing"}));

TEST(Y4MHeader, AcceptsTheUsualFieldsAndDefaults)
{
    Y4MHeader h;
    ASSERT_EQ(rvtool::ParseY4MHeaderLine("YUV4MPEG2 W1920 H1080 F30000:1001 Ip A1:1 C420mpeg2 XYSCSS=420MPEG2", &h), "");
    EXPECT_EQ(h.width, 1920);
    EXPECT_EQ(h.height, 1080);
    EXPECT_EQ(h.fpsNum, 30000);
    EXPECT_EQ(h.fpsDen, 1001);
    EXPECT_EQ(h.colour, "420mpeg2");
    ASSERT_EQ(rvtool::ParseY4MHeaderLine("YUV4MPEG2 H2 W3", &h), "");
    EXPECT_EQ(h.width, 3);
    EXPECT_EQ(h.fpsNum, 25);
    EXPECT_EQ(h.colour, "420jpeg");
}

TEST(Y4MReader, ReadsFramesOfOddSizesWithRoundedUpChroma)
{
    // 5x3: chroma is 3x2, so a frame holds 15 + 2 * 6 = 27 bytes.
    ASSERT_EQ(rvtool::Y4MFrameBytes(5, 3), 27u);
    std::string body;
    for (int i = 0; i < 27; ++i) body.push_back(static_cast<char>(i));
    Y4MReader r;
    ASSERT_TRUE(OpenBytes(&r, "YUV4MPEG2 W5 H3\nFRAME\n" + body + "FRAME Ixyz\n" + body)) << r.Error();
    I420Image f;
    ASSERT_EQ(r.ReadFrame(&f), 1) << r.Error();
    EXPECT_EQ(f.width, 5);
    EXPECT_EQ(f.height, 3);
    EXPECT_EQ(f.Y()[14], 14);
    EXPECT_EQ(f.U()[0], 15);
    EXPECT_EQ(f.V()[5], 26);
    ASSERT_EQ(r.ReadFrame(&f), 1) << r.Error();
    EXPECT_EQ(r.ReadFrame(&f), 0);
    EXPECT_EQ(r.FramesRead(), 2);
}

struct BadStream {
    const char* name;
    std::string bytes;
    const char* message;  // what the one-line error must say
};

class Y4MBadStream : public ::testing::TestWithParam<BadStream> {};

TEST_P(Y4MBadStream, StopsWithAMessageNamingFileAndFrame)
{
    const BadStream& p = GetParam();
    Y4MReader r;
    bool failed = !OpenBytes(&r, p.bytes);
    I420Image f;
    for (int i = 0; !failed && i < 10; ++i) {
        const int got = r.ReadFrame(&f);
        if (got == 0) break;
        failed = got < 0;
    }
    ASSERT_TRUE(failed) << p.name;
    EXPECT_EQ(r.Error().rfind("clip.y4m: ", 0), 0u) << r.Error();
    EXPECT_NE(r.Error().find(p.message), std::string::npos) << r.Error();
    EXPECT_EQ(r.Error().find('\n'), std::string::npos);
}

const std::string kHdr = "YUV4MPEG2 W4 H2 F25:1\n";

INSTANTIATE_TEST_SUITE_P(
    Streams, Y4MBadStream,
    ::testing::Values(BadStream{"empty", "", "empty file"},
                      BadStream{"header without newline", "YUV4MPEG2 W4 H2", "not terminated"},
                      BadStream{"header too long", "YUV4MPEG2 W4 H2 X" + std::string(2000, 'a') + "\n", "too long"},
                      BadStream{"NUL in header", std::string("YUV4MPEG2 W4\0 H2\n", 17), "NUL"},
                      BadStream{"short first frame", kHdr + "FRAME\nabc", "frame 0: truncated frame data (3 of 12"},
                      BadStream{"short third frame", kHdr + Frame(4, 2) + Frame(4, 2) + "FRAME\n12345678901",
                                "frame 2: truncated frame data (11 of 12"},
                      BadStream{"cut inside a frame header", kHdr + Frame(4, 2) + "FRA", "frame 1: truncated frame header"},
                      BadStream{"bad marker", kHdr + "FRAMEX\n" + std::string(12, 'x'), "frame 0: expected FRAME"},
                      BadStream{"garbage after a frame", kHdr + Frame(4, 2) + "junk\n", "frame 1: expected FRAME"}),
    [](const ::testing::TestParamInfo<BadStream>& i) {
        std::string n = i.param.name;
        for (char& c : n)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return n;
    });

TEST(Y4MWriter, RoundTripKeepsTimingAndPixelsAndRefusesSizeChanges)
{
    char path[] = "/tmp/rvtool_y4m_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    Y4MHeader timing;
    ASSERT_EQ(rvtool::ParseY4MHeaderLine("YUV4MPEG2 W6 H4 F24000:1001 A4:3 C420paldv", &timing), "");
    I420Image a;
    ASSERT_TRUE(a.Allocate(6, 4));
    for (int p = 0; p < 3; ++p)
        for (size_t i = 0; i < a.PlaneBytes(p); ++i) a.Plane(p)[i] = static_cast<uint8_t>(p * 50 + i);
    {
        rvtool::Y4MWriter w;
        ASSERT_TRUE(w.Open(path, timing));
        ASSERT_TRUE(w.WriteFrame(a));
        ASSERT_TRUE(w.WriteFrame(a));
        I420Image other;
        ASSERT_TRUE(other.Allocate(4, 4));
        EXPECT_FALSE(w.WriteFrame(other));
        EXPECT_NE(w.Error().find("frame 2: size 4x4 differs"), std::string::npos) << w.Error();
        ASSERT_TRUE(w.Close());
    }
    Y4MReader r;
    ASSERT_TRUE(r.Open(path)) << r.Error();
    EXPECT_EQ(r.Header().fpsNum, 24000);
    EXPECT_EQ(r.Header().fpsDen, 1001);
    EXPECT_EQ(r.Header().aspectNum, 4);
    EXPECT_EQ(r.Header().colour, "420paldv");
    I420Image b;
    ASSERT_EQ(r.ReadFrame(&b), 1);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(std::memcmp(a.Plane(p), b.Plane(p), a.PlaneBytes(p)), 0) << "plane " << p;
    ASSERT_EQ(r.ReadFrame(&b), 1);
    EXPECT_EQ(r.ReadFrame(&b), 0);
    std::remove(path);
}

TEST(Y4MReader, MissingFileNamesIt)
{
    Y4MReader r;
    EXPECT_FALSE(r.Open("/nonexistent/dir/in.y4m"));
    EXPECT_EQ(r.Error().rfind("/nonexistent/dir/in.y4m: ", 0), 0u) << r.Error();
}

}  // namespace
