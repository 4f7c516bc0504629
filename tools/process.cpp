// ravvel process: one method over every frame of a Y4M file.
#include <unistd.h>

#include <csignal>
#include <cerrno>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "commands.h"
#include "host.h"
#include "methods.h"
#include "png_writer.h"
#include "y4m.h"

namespace rvtool {

namespace {

struct ProcessArgs {
    std::string method;
    std::string input;
    std::string output;
    std::vector<std::pair<std::string, std::string>> options;
    int width = 0, height = 0;
    int scale = 0;  // 2: twice the input, 1: one and a half times, 0: --size or the method's default
    std::set<int> pngFrames;
    bool verbose = false;
};

bool ParsePngList(const std::string& s, std::set<int>* out)
{
    size_t pos = 0;
    while (pos <= s.size()) {
        const size_t comma = s.find(',', pos);
        const std::string item = s.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        int n = 0;
        if (!ParseInt(item, 0, 100000000L, &n)) return false;
        out->insert(n);
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return !out->empty();
}

bool ParseArgs(int argc, char** argv, ProcessArgs* a)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                Complain("process: %s needs %s", arg.c_str(), what);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "-i" || arg == "--input") {
            const char* v = value("a file name");
            if (!v) return false;
            a->input = v;
        } else if (arg == "-o" || arg == "--output") {
            const char* v = value("a file name");
            if (!v) return false;
            a->output = v;
        } else if (arg == "--option" || arg == "-O") {
            const char* v = value("NAME=VALUE");
            if (!v) return false;
            const char* eq = std::strchr(v, '=');
            if (eq == nullptr || eq == v) {
                Complain("process: --option expects NAME=VALUE, got '%s'", v);
                return false;
            }
            a->options.emplace_back(std::string(v, eq), std::string(eq + 1));
        } else if (arg == "--size") {
            const char* v = value("WxH");
            if (!v) return false;
            if (!ParseSize(v, &a->width, &a->height)) {
                Complain("process: --size expects WxH (for example 640x360), got '%s'", v);
                return false;
            }
        } else if (arg == "--scale") {
            const char* v = value("2 or 1.5");
            if (!v) return false;
            if (std::strcmp(v, "2") != 0 && std::strcmp(v, "1.5") != 0) {
                Complain("process: --scale expects 2 or 1.5, got '%s'", v);
                return false;
            }
            a->scale = std::strcmp(v, "2") == 0 ? 2 : 1;
        } else if (arg == "--png") {
            const char* v = value("frame numbers");
            if (!v) return false;
            if (!ParsePngList(v, &a->pngFrames)) {
                Complain("process: --png expects frame numbers like 0,10,20, got '%s'", v);
                return false;
            }
        } else if (arg == "-v" || arg == "--verbose") {
            a->verbose = true;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            Complain("process: unknown argument '%s'", arg.c_str());
            return false;
        } else if (a->method.empty()) {
            a->method = arg;
        } else {
            Complain("process: unexpected argument '%s'", arg.c_str());
            return false;
        }
    }
    if (a->method.empty()) {
        Complain("process: no method given (see: ravvel methods)");
        return false;
    }
    if (a->input.empty()) {
        Complain("process: no input file given (-i IN.y4m)");
        return false;
    }
    return true;
}

std::string PngPrefix(const ProcessArgs& a)
{
    std::string base = a.output.empty() || a.output == "-" ? a.input : a.output;
    if (base == "-") base = "stdin";
    if (a.output.empty() || a.output == "-") {
        const size_t slash = base.rfind('/');
        if (slash != std::string::npos) base = base.substr(slash + 1);
    }
    const size_t dot = base.rfind(".y4m");
    if (dot != std::string::npos && dot + 4 == base.size()) base.resize(dot);
    return base;
}

class Progress {
public:
    explicit Progress(const char* name) : m_name(name), m_tty(isatty(STDERR_FILENO) != 0) {}
    void Frame(int done)
    {
        if (!m_tty) return;
        const double t = Seconds();
        if (t - m_last < 0.25) return;
        m_last = t;
        std::fprintf(stderr, "\r%s: %d frames, %.1f fps ", m_name, done, t > 0 ? done / t : 0.0);
        m_shown = true;
    }
    void Clear()
    {
        if (m_shown) std::fputs("\r\033[K", stderr);
        m_shown = false;
    }
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    const char* m_name;
    bool m_tty;
    bool m_shown = false;
    double m_last = 0.0;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// The reader of our output went away (`| head`, a consumer that stopped after
// the frames it wanted): not a failure of ours, so the run ends with status 0
// and one line saying how far it got.
int EndAtClosedPipe(Progress& progress, const char* stream, int frames)
{
    progress.Clear();
    Complain("%s: the reader closed the pipe after %d frames; stopping", stream, frames);
    return kExitOk;
}

}  // namespace

int CmdProcess(int argc, char** argv)
{
    ProcessArgs a;
    if (!ParseArgs(argc, argv, &a)) return kExitUsage;
    // A closed pipe shows up as EPIPE from the write, which we report, instead
    // of a signal that kills the run without a word.
    std::signal(SIGPIPE, SIG_IGN);
    const MethodRow* row = FindMethod(a.method);
    if (row == nullptr) {
        std::string names;
        size_t n = 0;
        const MethodRow* rows = MethodTable(&n);
        for (size_t i = 0; i < n; ++i) names += std::string(i ? ", " : "") + rows[i].name;
        Complain("process: unknown method '%s' (one of: %s)", a.method.c_str(), names.c_str());
        return kExitUsage;
    }
    if (a.output.empty() && row->kind == MethodKind::kTransform) {
        Complain("process: %s writes pictures; give an output file (-o OUT.y4m)", row->name);
        return kExitUsage;
    }

    Host host;
    std::string err;
    if (!host.Create(a.verbose, &err)) {
        Complain("%s", err.c_str());
        return kExitFailed;
    }
    MethodRun run(*row, &host);
    for (const auto& kv : a.options) {
        const std::string why = run.SetParam(kv.first, kv.second);
        if (!why.empty()) {
            Complain("process: %s", why.c_str());
            return kExitUsage;
        }
    }

    Y4MReader reader;
    if (!reader.Open(a.input)) {
        Complain("%s", reader.Error().c_str());
        return kExitFailed;
    }
    const Y4MHeader& hdr = reader.Header();
    if (hdr.width % 2 || hdr.height % 2) {
        Complain("%s: %dx%d: the methods work on even widths and heights", a.input.c_str(), hdr.width, hdr.height);
        return kExitFailed;
    }
    run.inWidth = hdr.width;
    run.inHeight = hdr.height;
    run.reqWidth = a.width;
    run.reqHeight = a.height;
    if (a.scale) {
        run.reqWidth = a.scale == 2 ? 2 * hdr.width : (3 * hdr.width) / 2;
        run.reqHeight = a.scale == 2 ? 2 * hdr.height : (3 * hdr.height) / 2;
    }
    bool missing = false;
    const std::string why = run.Start(&missing);
    if (!why.empty()) {
        Complain("%s", why.c_str());
        return missing ? kExitMissing : kExitFailed;
    }

    Y4MWriter writer;
    if (!a.output.empty() && !writer.Open(a.output, hdr)) {
        Complain("%s", writer.Error().c_str());
        return kExitFailed;
    }
    ColourPath colour(&host);
    if (!a.pngFrames.empty()) {
        if (!PngAvailable()) Complain("note: built without libpng, --png writes nothing");
        else colour.Setup();
    }
    const std::string pngPrefix = PngPrefix(a);

    I420Image in, ref, out;
    RgbImage rgb;
    Progress progress(row->name);
    int frames = 0;
    for (;;) {
        const int got = reader.ReadFrame(&in);
        if (got < 0) {
            progress.Clear();
            Complain("%s", reader.Error().c_str());
            return kExitFailed;
        }
        if (got == 0) break;
        if (frames == 0 && !ref.CopyFrom(in)) {
            Complain("out of memory");
            return kExitFailed;
        }
        host.ClearProblem();
        const int32_t rc = row->frame(run, in, ref, &out);
        if (rc != RL_OK) {
            progress.Clear();
            const std::string log = host.LastProblem();
            Complain("%s: frame %d: %s failed: %s%s", a.input.c_str(), frames, row->name, ResultName(rc).c_str(),
                     log.empty() ? "" : (" (" + log + ")").c_str());
            return kExitFailed;
        }
        // Methods that report only changes have nothing to say on most frames.
        const std::string report = row->kind == MethodKind::kAnalysis ? row->report(run) : std::string();
        if (!report.empty()) {
            progress.Clear();
            // With the pictures on standard output, results go to standard error.
            FILE* results = a.output == "-" ? stderr : stdout;
            std::fprintf(results, "frame %d: %s\n", frames, report.c_str());
            if (results == stdout && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
                if (errno == EPIPE) return EndAtClosedPipe(progress, "<stdout>", frames);
                progress.Clear();
                Complain("<stdout>: write failed: %s", std::strerror(errno));
                return kExitFailed;
            }
        }
        if (!a.output.empty() && !writer.WriteFrame(out)) {
            if (writer.PipeClosed()) return EndAtClosedPipe(progress, a.output == "-" ? "<stdout>" : a.output.c_str(), frames);
            progress.Clear();
            Complain("%s", writer.Error().c_str());
            return kExitFailed;
        }
        if (a.pngFrames.count(frames) && PngAvailable()) {
            const std::string path = pngPrefix + "_" + std::to_string(frames) + ".png";
            std::string pngErr = colour.ToRgb(out, &rgb) ? WritePng(path, rgb) : "out of memory";
            if (!pngErr.empty()) {
                progress.Clear();
                Complain("%s", pngErr.c_str());
                return kExitFailed;
            }
        }
        // The input frame becomes the next frame's reference (in-place methods
        // have already changed it, which is what they see on their next call too).
        if (row->kind == MethodKind::kAnalysis && !ref.CopyFrom(in)) {
            Complain("out of memory");
            return kExitFailed;
        }
        ++frames;
        progress.Frame(frames);
    }
    progress.Clear();
    if (!a.output.empty() && !writer.Close()) {
        if (writer.PipeClosed()) return EndAtClosedPipe(progress, a.output == "-" ? "<stdout>" : a.output.c_str(), frames);
        Complain("%s", writer.Error().c_str());
        return kExitFailed;
    }
    for (int n : a.pngFrames)
        if (n >= frames) Complain("note: --png frame %d is past the end (%d frames)", n, frames);
    const double secs = progress.Seconds();
    std::fprintf(stderr, "%s: %d frames in %.2f s (%.1f fps)%s%s\n", row->name, frames, secs,
                 secs > 0 ? frames / secs : 0.0, a.output.empty() ? "" : " -> ", a.output.c_str());
    return kExitOk;
}

}  // namespace rvtool
