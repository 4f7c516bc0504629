// Runs the installed-style ravvel program as a user would and checks what it
// leaves behind: exit codes, one-line errors, valid Y4M and decodable PNGs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#ifdef RAVVEL_TOOL_HAVE_PNG
#include <png.h>
#endif

#include "../../tools/methods.h"
#include "../../tools/y4m.h"

namespace {

struct RunResult {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/rvtool_e2e_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    RunResult Run(const std::string& args)
    {
        RunResult r;
        const std::string cmd = std::string("'") + RAVVEL_TOOL_PATH + "' " + args + " >'" + dir + "/stdout' 2>'" +
                                dir + "/stderr' </dev/null";
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(dir + "/stdout");
        r.err = Slurp(dir + "/stderr");
        return r;
    }

    // Runs a shell command line in the scratch folder; `tool` in it names the program.
    RunResult Shell(std::string line)
    {
        const std::string tool = std::string("'") + RAVVEL_TOOL_PATH + "'";
        for (size_t at = line.find("TOOL"); at != std::string::npos; at = line.find("TOOL", at + tool.size()))
            line.replace(at, 4, tool);
        RunResult r;
        const std::string cmd = "cd '" + dir + "' && ( " + line + " ) >stdout 2>stderr </dev/null";
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(dir + "/stdout");
        r.err = Slurp(dir + "/stderr");
        return r;
    }

    // A small clip with a vertical ramp and a moving bar.
    void WriteClip(const std::string& path, int w, int h, int frames)
    {
        rvtool::Y4MHeader hdr;
        ASSERT_EQ(rvtool::ParseY4MHeaderLine("YUV4MPEG2 W" + std::to_string(w) + " H" + std::to_string(h) + " F30:1", &hdr),
                  "");
        rvtool::Y4MWriter wr;
        ASSERT_TRUE(wr.Open(path, hdr));
        rvtool::I420Image f;
        ASSERT_TRUE(f.Allocate(w, h));
        for (int i = 0; i < frames; ++i) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    f.Y()[y * w + x] = static_cast<uint8_t>((x / 4 == i % (w / 4)) ? 235 : 16 + y * 200 / h);
            for (size_t k = 0; k < f.ChromaBytes(); ++k) {
                f.U()[k] = static_cast<uint8_t>(100 + k % 50);
                f.V()[k] = 140;
            }
            ASSERT_TRUE(wr.WriteFrame(f));
        }
        ASSERT_TRUE(wr.Close());
    }

    std::string dir;
};

bool SingleLine(const std::string& s)
{
    return !s.empty() && s.find('\n') == s.size() - 1;
}

#ifdef RAVVEL_TOOL_HAVE_PNG
// Fully decodes a PNG; returns false when libpng refuses it.
bool DecodePng(const std::string& path, int* w, int* h)
{
    png_image img;
    std::memset(&img, 0, sizeof(img));
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGB;
    std::string buf(PNG_IMAGE_SIZE(img), '\0');
    const bool ok = png_image_finish_read(&img, nullptr, &buf[0], 0, nullptr) != 0;
    *w = static_cast<int>(img.width);
    *h = static_cast<int>(img.height);
    return ok;
}
#endif

TEST_F(ToolTest, DemoPrintsTheTimingTableAndWritesDecodablePictures)
{
    const RunResult r = Run("demo --frames 3 --size 320x180 --out '" + dir + "/out'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("ms/frame"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("capture RGB -> I420"), std::string::npos);
    EXPECT_NE(r.out.find("I420 -> RGB for viewing"), std::string::npos);
    // Every method the tool knows has a stage of its own and ran; colour
    // conversion is the capture and viewing stages.
    const RunResult methods = Run("methods");
    ASSERT_EQ(methods.status, 0);
    size_t start = 0;
    int stagesSeen = 0;
    while (start < methods.out.size()) {
        const size_t end = methods.out.find('\n', start);
        const std::string line = methods.out.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? methods.out.size() : end + 1;
        if (line.empty() || line[0] == ' ') continue;
        const std::string name = line.substr(0, line.find(' '));
        if (name == "convert") continue;
        const size_t at = r.out.find("\n" + name + " ");
        ASSERT_NE(at, std::string::npos) << name << " has no stage in the demo:\n" << r.out;
        const std::string row = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
        EXPECT_EQ(row.find("skipped"), std::string::npos) << row;
        EXPECT_EQ(row.find("stopped"), std::string::npos) << row;
        ++stagesSeen;
    }
    EXPECT_GE(stagesSeen, 17);
#ifdef RAVVEL_TOOL_HAVE_PNG
    int w = 0, h = 0;
    // Frames 0, 1 (first after the cut) and 2: three rows of 180 with 8-pixel gaps.
    ASSERT_TRUE(DecodePng(dir + "/out/contact_sheet.png", &w, &h));
    EXPECT_EQ(h, 8 + 3 * (180 + 8));
    EXPECT_GE(w, 8 + 2 * (320 + 8));
    for (const char* name : {"frame000_before.png", "frame001_after.png", "frame002_after.png"}) {
        ASSERT_TRUE(DecodePng(dir + "/out/" + name, &w, &h)) << name;
        EXPECT_EQ(w, 320);
        EXPECT_EQ(h, 180);
    }
#else
    EXPECT_NE(r.out.find("without libpng"), std::string::npos);
#endif
}

TEST_F(ToolTest, DemoRefusesBadArguments)
{
    for (const char* args : {"demo --size 321x180", "demo --size 32x32", "demo --frames 0", "demo --frames", "demo --fast"}) {
        const RunResult r = Run(std::string(args) + " --out '" + dir + "/o'");
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(SingleLine(r.err)) << args << ": " << r.err;
    }
}

TEST_F(ToolTest, InfoNamesEveryMethodWithItsTier)
{
    const RunResult r = Run("info");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Ravvel 4.9.2.0"), std::string::npos);
    EXPECT_NE(r.out.find("SIMD level:"), std::string::npos);
    size_t n = 0;
    const rvtool::MethodRow* rows = rvtool::MethodTable(&n);
    for (size_t i = 0; i < n; ++i) EXPECT_NE(r.out.find(std::string("  ") + rows[i].name + " "), std::string::npos);
    const size_t rot = r.out.find("  rotate ");
    ASSERT_NE(rot, std::string::npos);
    const std::string line = r.out.substr(rot, r.out.find('\n', rot) - rot);
    EXPECT_NE(line.find(" 14  reference only"), std::string::npos) << line;
}

struct BadCall {
    const char* args;
    int status;
    const char* message;
};

class ToolBadCall : public ToolTest, public ::testing::WithParamInterface<BadCall> {};

TEST_P(ToolBadCall, FailsWithOneLine)
{
    WriteClip(dir + "/in.y4m", 64, 48, 2);
    // in.y4m cut inside its second frame
    const std::string full = Slurp(dir + "/in.y4m");
    std::ofstream(dir + "/short.y4m", std::ios::binary) << full.substr(0, full.size() - 100);
    std::ofstream(dir + "/bad.y4m", std::ios::binary) << "YUV4MPEG2 W64 H48 C444\nFRAME\n";
    std::ofstream(dir + "/odd.y4m", std::ios::binary) << "YUV4MPEG2 W63 H48\n";
    std::string args = GetParam().args;
    for (size_t p; (p = args.find("@")) != std::string::npos;) args.replace(p, 1, dir + "/");
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, GetParam().status) << args << "\n" << r.err;
    EXPECT_TRUE(SingleLine(r.err)) << r.err;
    std::string want = GetParam().message;
    for (size_t p; (p = want.find("@")) != std::string::npos;) want.replace(p, 1, dir + "/");
    EXPECT_NE(r.err.find(want), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ToolBadCall,
    ::testing::Values(BadCall{"frobnicate", 2, "unknown command 'frobnicate'"},
                      BadCall{"process sharpen -i @in.y4m -o @o.y4m", 2, "unknown method 'sharpen'"},
                      BadCall{"process rotate -i @in.y4m -o @o.y4m --option degrees=90", 2, "unknown option 'degrees'"},
                      BadCall{"process rotate -i @in.y4m -o @o.y4m --option angle", 2, "NAME=VALUE"},
                      BadCall{"process rotate -o @o.y4m", 2, "no input file"},
                      BadCall{"process rotate -i @in.y4m", 2, "give an output file"},
                      BadCall{"process rotate -i @in.y4m -o @o.y4m --size big", 2, "--size expects WxH"},
                      BadCall{"process rotate -i @missing.y4m -o @o.y4m", 1, "@missing.y4m: "},
                      BadCall{"process scenechange -i @bad.y4m", 1, "@bad.y4m: bad header: unsupported colour space C444"},
                      BadCall{"process scenechange -i @odd.y4m", 1, "@odd.y4m: 63x48"},
                      BadCall{"process rotate -i @in.y4m -o @o.y4m --option angle=45", 1, "angle must be 90, 180 or 270"}));

// Every method of the table, where the library has it, turns a clip into a
// valid Y4M stream (or, for analysis, one result line per frame); a short
// file stops it at the right frame.
class ToolEachMethod : public ToolTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(ToolEachMethod, ProcessesAClipOrSaysItIsMissing)
{
    size_t n = 0;
    const rvtool::MethodRow& row = rvtool::MethodTable(&n)[GetParam()];
    WriteClip(dir + "/in.y4m", 64, 48, 4);
    const RunResult r = Run(std::string("process ") + row.name + " -i '" + dir + "/in.y4m' -o '" + dir +
                            "/out.y4m' --png 1");
    if (r.status == 3) {
        EXPECT_NE(r.err.find("not available in this build"), std::string::npos) << r.err;
        GTEST_SKIP() << row.name << " is not in this build of the library yet";
    }
    ASSERT_EQ(r.status, 0) << r.err;
    rvtool::Y4MReader rd;
    ASSERT_TRUE(rd.Open(dir + "/out.y4m")) << rd.Error();
    EXPECT_EQ(rd.Header().fpsNum, 30);
    rvtool::I420Image f;
    int frames = 0;
    while (rd.ReadFrame(&f) == 1) ++frames;
    EXPECT_EQ(rd.Error(), "");
    EXPECT_EQ(frames, 4);
    // Content detection prints only changes; the others print every frame.
    if (row.kind == rvtool::MethodKind::kAnalysis && row.method != RL_METHOD_CONTENT_DETECTION) {
        for (int i = 0; i < 4; ++i) EXPECT_NE(r.out.find("frame " + std::to_string(i) + ": "), std::string::npos);
    }
#ifdef RAVVEL_TOOL_HAVE_PNG
    int w = 0, h = 0;
    EXPECT_TRUE(DecodePng(dir + "/out_1.png", &w, &h));
    EXPECT_EQ(w, rd.Header().width);
#endif

    const std::string full = Slurp(dir + "/in.y4m");
    std::ofstream(dir + "/short.y4m", std::ios::binary) << full.substr(0, full.size() - 10);
    const RunResult s = Run(std::string("process ") + row.name + " -i '" + dir + "/short.y4m' -o '" + dir + "/o2.y4m'");
    EXPECT_EQ(s.status, 1);
    EXPECT_NE(s.err.find("short.y4m: frame 3: truncated frame data"), std::string::npos) << s.err;
}

INSTANTIATE_TEST_SUITE_P(Methods, ToolEachMethod, ::testing::Range<size_t>(0, [] {
                             size_t n = 0;
                             rvtool::MethodTable(&n);
                             return n;
                         }()),
                         [](const ::testing::TestParamInfo<size_t>& i) {
                             size_t n = 0;
                             return std::string(rvtool::MethodTable(&n)[i.param].name);
                         });

TEST_F(ToolTest, DownsampleHonoursSize)
{
    WriteClip(dir + "/in.y4m", 64, 48, 2);
    const RunResult r = Run("process downsample -i '" + dir + "/in.y4m' -o '" + dir + "/o.y4m' --size 32x24");
    if (r.status == 3) GTEST_SKIP() << "downsample is not in this build yet";
    ASSERT_EQ(r.status, 0) << r.err;
    rvtool::Y4MReader rd;
    ASSERT_TRUE(rd.Open(dir + "/o.y4m"));
    EXPECT_EQ(rd.Header().width, 32);
    EXPECT_EQ(rd.Header().height, 24);
    const RunResult up = Run("process downsample -i '" + dir + "/in.y4m' -o '" + dir + "/o.y4m' --size 128x96");
    EXPECT_EQ(up.status, 1);
    EXPECT_NE(up.err.find("smaller in both dimensions"), std::string::npos) << up.err;
}

// Y4M through pipes in and out gives the same stream as files do.
TEST_F(ToolTest, ProcessStreamsThroughPipes)
{
    WriteClip(dir + "/in.y4m", 64, 48, 3);
    const RunResult files = Run("process rotate -i '" + dir + "/in.y4m' -o '" + dir + "/f.y4m' --option angle=180");
    ASSERT_EQ(files.status, 0) << files.err;
    const RunResult piped = Shell("cat in.y4m | TOOL process rotate -i - -o - --option angle=180 | cat > p.y4m");
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(Slurp(dir + "/p.y4m"), Slurp(dir + "/f.y4m"));
    // Pictures own standard output; the summary goes to standard error.
    EXPECT_TRUE(piped.out.empty());
    EXPECT_NE(piped.err.find("3 frames"), std::string::npos) << piped.err;
}

// A reader that stops early ends the run with a message, not a signal.
TEST_F(ToolTest, ClosedPipeEndsTheRunCleanly)
{
    WriteClip(dir + "/in.y4m", 64, 48, 60);  // well past a pipe's buffer
    const RunResult r =
        Shell("( TOOL process rotate -i in.y4m -o - --option angle=90; echo $? >status ) | head -c 100 >/dev/null");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(Slurp(dir + "/status"), "0\n");
    EXPECT_NE(r.err.find("<stdout>: the reader closed the pipe after"), std::string::npos) << r.err;
    EXPECT_TRUE(SingleLine(r.err)) << r.err;
}

}  // namespace

// Motion detection takes its mask from a PGM of the clip's own size; any
// other size is refused with both sizes named.
TEST_F(ToolTest, MotionTakesAMaskOfTheClipsSize)
{
    WriteClip(dir + "/in.y4m", 64, 48, 3);
    std::string inside(64 * 48, '\0');
    for (int y = 8; y < 40; ++y) inside.replace(static_cast<size_t>(y) * 64 + 16, 32, 32, '\xff');
    std::ofstream(dir + "/mask.pgm", std::ios::binary) << "P5 64 48 255\n" << inside;
    std::ofstream(dir + "/small.pgm", std::ios::binary) << "P5 2 2 255\n" << std::string(4, '\xff');
    const std::string base = "process motion -i '" + dir + "/in.y4m' --option mask='" + dir;
    const RunResult ok = Run(base + "/mask.pgm'");
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_NE(ok.out.find("frame 2: motion: "), std::string::npos) << ok.out;
    const RunResult small = Run(base + "/small.pgm'");
    EXPECT_NE(small.status, 0);
    EXPECT_NE(small.err.find("is 2x2, the clip is 64x48"), std::string::npos) << small.err;
}

// A mask from a PGM file limits the adjustment: a black mask keeps the clip
// as it was, a white one changes it; a file that is not a PGM is refused.
TEST_F(ToolTest, MiaTakesItsMaskFromAPgmFile)
{
    WriteClip(dir + "/in.y4m", 64, 48, 2);
    std::ofstream(dir + "/black.pgm", std::ios::binary) << "P5\n# two by two\n2 2\n255\n" << std::string(4, '\0');
    std::ofstream(dir + "/white.pgm", std::ios::binary) << "P5 2 2 255\n" << std::string(4, '\xff');
    std::ofstream(dir + "/text.pgm", std::ios::binary) << "P2 2 2 255\n0 0 0 0\n";
    const std::string base = "process mia -i '" + dir + "/in.y4m' --option brightness=60 --option mask='" + dir;
    const RunResult black = Run(base + "/black.pgm' -o '" + dir + "/b.y4m'");
    if (black.status == 3) GTEST_SKIP() << "mia is not in this build yet";
    ASSERT_EQ(black.status, 0) << black.err;
    const RunResult white = Run(base + "/white.pgm' -o '" + dir + "/w.y4m'");
    ASSERT_EQ(white.status, 0) << white.err;
    const RunResult copy = Run("process filter -i '" + dir + "/in.y4m' -o '" + dir + "/f.y4m' --option mode=3");
    ASSERT_EQ(copy.status, 0) << copy.err;
    const std::string in = Slurp(dir + "/in.y4m"), kept = Slurp(dir + "/b.y4m");
    EXPECT_EQ(kept.substr(kept.find("FRAME")), in.substr(in.find("FRAME")));
    EXPECT_NE(Slurp(dir + "/w.y4m"), Slurp(dir + "/b.y4m"));
    EXPECT_NE(Slurp(dir + "/f.y4m"), Slurp(dir + "/b.y4m"));
    const RunResult text = Run(base + "/text.pgm' -o '" + dir + "/t.y4m'");
    EXPECT_NE(text.status, 0);
    EXPECT_NE(text.err.find("not a binary 8-bit PGM"), std::string::npos) << text.err;
    EXPECT_TRUE(SingleLine(text.err)) << text.err;
}
