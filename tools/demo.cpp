// ravvel demo: the camera pipeline on the built-in clip.
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "host.h"
#include "methods.h"
#include "png_writer.h"
#include "synth_clip.h"

namespace rvtool {

namespace {

struct DemoArgs {
    std::string outDir = "demo-out";
    int frames = 40;
    int width = 640;
    int height = 360;
    bool verbose = false;
};

bool ParseDemoArgs(int argc, char** argv, DemoArgs* a)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--out" && hasValue) {
            a->outDir = argv[++i];
        } else if (arg == "--frames" && hasValue) {
            if (!ParseInt(argv[++i], 1, 100000, &a->frames)) {
                Complain("demo: --frames expects a number of frames (1..100000), got '%s'", argv[i]);
                return false;
            }
        } else if (arg == "--size" && hasValue) {
            if (!ParseSize(argv[++i], &a->width, &a->height) || a->width % 2 || a->height % 2 || a->width < 64 ||
                a->height < 64) {
                Complain("demo: --size expects an even WxH of at least 64x64, got '%s'", argv[i]);
                return false;
            }
        } else if (arg == "-v" || arg == "--verbose") {
            a->verbose = true;
        } else if (arg == "--out" || arg == "--frames" || arg == "--size") {
            Complain("demo: %s needs a value", arg.c_str());
            return false;
        } else {
            Complain("demo: unknown argument '%s'", arg.c_str());
            return false;
        }
    }
    return true;
}

bool MakeDirs(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Stage {
    std::string name;
    std::string tier;
    std::string note;  // why skipped, or what ran instead
    bool active = false;
    double totalMs = 0.0;
    int frames = 0;
    std::unique_ptr<MethodRun> run;
    I420Image ref;  // analysis reference: this stage's previous input
    I420Image side; // output of an effect run beside the pipeline
    std::string lastReport;  // analyses that report every frame are printed when it changes
};

void Blit(const RgbImage& src, RgbImage* dst, int x0, int y0)
{
    for (int y = 0; y < src.height && y0 + y < dst->height; ++y)
        std::memcpy(dst->Row(y0 + y) + 3 * x0, src.Row(y), 3 * static_cast<size_t>(src.width));
}

struct Shot {
    int frame;
    RgbImage before, after, small;
    std::vector<RgbImage> effects;  // one per effect stage, in order
};

}  // namespace

int CmdDemo(int argc, char** argv)
{
    DemoArgs a;
    if (!ParseDemoArgs(argc, argv, &a)) return kExitUsage;
    if (!MakeDirs(a.outDir)) {
        Complain("demo: cannot create output folder '%s': %s", a.outDir.c_str(), std::strerror(errno));
        return kExitFailed;
    }
    Host host;
    std::string err;
    if (!host.Create(a.verbose, &err)) {
        Complain("%s", err.c_str());
        return kExitFailed;
    }
    const uint32_t flags = VeskCPUFeatureDetect(nullptr);
    const SRLVersion v = GetRavvelVersion();
    std::printf("Ravvel %u.%u.%u.%u demo: %dx%d, %d frames, built-in clip with one scene cut\n", v.uiMajor,
                v.uiMinor, v.uiRevision, v.uiBuild, a.width, a.height, a.frames);

    ColourPath colour(&host);
    const bool libColour = colour.Setup();
    const char* colourTier = libColour ? TierFor(TierRule::kCommon, flags) : "tool code";
    if (!libColour)
        std::printf("note: the library's colour converter is not available; RGB<->I420 runs in the tool "
                    "(BT.601 limited range, plain C++)\n");

    // Enhancement and analysis in the pipeline's order, then the smaller layer.
    // The smaller layer is enlarged again as a receiver would (super
    // resolution), and by the plain upsampler for comparison.
    const char* const kPipeline[] = {"denoise", "lcboost", "deband",     "scenechange", "content",
                                     "motion",  "flicker", "downsample", "sr",          "upsample"};
    std::vector<Stage> stages;
    Stage capture;
    capture.name = "capture RGB -> I420";
    capture.tier = colourTier;
    capture.active = true;
    stages.push_back(std::move(capture));
    const int smallW = (a.width / 2) & ~1, smallH = (a.height / 2) & ~1;
    for (const char* name : kPipeline) {
        const MethodRow* row = FindMethod(name);
        Stage s;
        s.name = name;
        s.tier = TierFor(row->tier, flags);
        s.run.reset(new MethodRun(*row, &host));
        s.run->inWidth = a.width;
        s.run->inHeight = a.height;
        if (row->method == RL_METHOD_DOWNSAMPLING) {
            s.name = "downsample (layer " + std::to_string(smallW) + "x" + std::to_string(smallH) + ")";
            s.run->reqWidth = smallW;
            s.run->reqHeight = smallH;
        } else if (row->method == RL_METHOD_SUPER_RESOLUTION || row->method == RL_METHOD_UPSAMPLING) {
            s.name = std::string(name) + " (layer back to " + std::to_string(2 * smallW) + "x" +
                     std::to_string(2 * smallH) + ")";
            s.run->inWidth = smallW;
            s.run->inHeight = smallH;
            s.run->reqWidth = 2 * smallW;
            s.run->reqHeight = 2 * smallH;
        }
        bool missing = false;
        const std::string why = s.run->Start(&missing);
        s.active = why.empty();
        if (missing) s.note = "skipped: not in this build of the library yet";
        else if (!why.empty()) s.note = "skipped: " + why;
        else if (row->method == RL_METHOD_MOTION_DETECT) s.note = "(with the conversion to planar RGB)";
        stages.push_back(std::move(s));
    }
    Stage back;
    back.name = "I420 -> RGB for viewing";
    back.tier = colourTier;
    back.active = true;
    stages.push_back(std::move(back));
    Stage& toYuv = stages.front();
    Stage& toRgb = stages.back();
    // Effects branch off the processed picture; they get their own columns
    // in the contact sheet and do not feed the pipeline.
    std::vector<Stage> effects;
    for (const char* name : {"blur", "edge", "filter", "mia", "blend", "rotate", "crop"}) {
        const MethodRow* row = FindMethod(name);
        if (row == nullptr) continue;
        Stage s;
        s.name = std::string(name) + " (side branch)";
        s.tier = TierFor(row->tier, flags);
        s.run.reset(new MethodRun(*row, &host));
        s.run->inWidth = a.width;
        s.run->inHeight = a.height;
        if (row->method == RL_METHOD_GAUSS_BLUR) s.run->SetParam("sigma", "3");
        // Wide edges: thinning removes hard steps, whose two sides tie.
        if (row->method == RL_METHOD_EDGE) s.run->SetParam("thin", "0");
        if (row->method == RL_METHOD_MIA) {
            s.run->SetParam("brightness", "58");
            s.run->SetParam("contrast", "65");
            s.run->SetParam("saturation", "80");
        }
        // Half turn and centre cut: both fit the sheet's column.
        if (row->method == RL_METHOD_IMAGE_ROTATING) s.run->SetParam("angle", "180");
        if (row->method == RL_METHOD_IMAGE_CROP) {
            s.run->SetParam("top", std::to_string((a.height / 4) & ~1));
            s.run->SetParam("left", std::to_string((a.width / 4) & ~1));
        }
        bool missing = false;
        const std::string why = s.run->Start(&missing);
        s.active = why.empty();
        if (missing) s.note = "skipped: not in this build of the library yet";
        else if (!why.empty()) s.note = "skipped: " + why;
        effects.push_back(std::move(s));
    }

    SynthClip clip(a.width, a.height, a.frames);
    // The contact sheet shows the first and last frames and, once the scene
    // change stage reports the cut, the frames on either side of it.
    std::vector<Shot> shots;
    Shot previous;
    int cutFrame = -1;
    RgbImage rgb, rgbOut, rgbSmall;
    I420Image cur, next, small, restored;
    if (!rgb.Allocate(a.width, a.height)) {
        Complain("out of memory");
        return kExitFailed;
    }
    std::vector<std::string> events;
    for (int f = 0; f < a.frames; ++f) {
        clip.Render(f, &rgb);
        Clock::time_point t0 = Clock::now();
        colour.ToI420(rgb, &cur);
        toYuv.totalMs += MsSince(t0);
        ++toYuv.frames;
        bool haveSmall = false;
        for (Stage& s : stages) {
            if (!s.run || !s.active) continue;
            const MethodRow& row = s.run->Row();
            const bool enlarge = row.method == RL_METHOD_SUPER_RESOLUTION || row.method == RL_METHOD_UPSAMPLING;
            if (enlarge && !haveSmall) continue;
            if (!enlarge && (f == 0 || s.ref.buf.Data() == nullptr)) s.ref.CopyFrom(cur);
            host.ClearProblem();
            I420Image* dst = row.method == RL_METHOD_DOWNSAMPLING ? &small : (enlarge ? &restored : &next);
            t0 = Clock::now();
            const int32_t rc = row.frame(*s.run, enlarge ? small : cur, s.ref, dst);
            s.totalMs += MsSince(t0);
            ++s.frames;
            if (rc != RL_OK) {
                const std::string log = host.LastProblem();
                s.note = "stopped at frame " + std::to_string(f) + ": " + ResultName(rc) +
                         (log.empty() ? "" : " (" + log + ")");
                s.active = false;
                continue;
            }
            if (row.method == RL_METHOD_SCENE_CHANGE_DETECTION) {
                int32_t level = 0;
                host.Rl()->GetOption(row.method, RL_OPTION_SCENE_CHANGE_LEVEL, &level);
                if (level >= RL_SCENE_CHANGE_MEDIUM) {
                    events.push_back("frame " + std::to_string(f) + ": " + row.report(*s.run));
                    if (cutFrame < 0 && f > 0) cutFrame = f;
                }
                s.ref.CopyFrom(cur);
            } else if (row.kind == MethodKind::kAnalysis) {
                const std::string report = row.report(*s.run);
                if (!report.empty() && report != s.lastReport)
                    events.push_back("frame " + std::to_string(f) + ": " + report);
                s.lastReport = report;
            } else if (row.method == RL_METHOD_DOWNSAMPLING) {
                haveSmall = true;
            } else if (enlarge) {
                // The enlarged layers are timed only; the pictures show the pipeline's output.
            } else {
                std::swap(cur, next);
            }
        }
        for (Stage& s : effects) {
            if (!s.active) continue;
            t0 = Clock::now();
            const int32_t rc = s.run->Row().frame(*s.run, cur, cur, &s.side);
            s.totalMs += MsSince(t0);
            ++s.frames;
            if (rc != RL_OK) {
                s.note = "stopped at frame " + std::to_string(f) + ": " + ResultName(rc);
                s.active = false;
                s.side = I420Image();
            }
        }
        t0 = Clock::now();
        colour.ToRgb(cur, &rgbOut);
        if (haveSmall) colour.ToRgb(small, &rgbSmall);
        toRgb.totalMs += MsSince(t0);
        ++toRgb.frames;
        Shot shot;
        shot.frame = f;
        shot.before.Allocate(a.width, a.height);
        std::memcpy(shot.before.buf.Data(), rgb.buf.Data(), rgb.buf.Size());
        shot.after.Allocate(a.width, a.height);
        std::memcpy(shot.after.buf.Data(), rgbOut.buf.Data(), rgbOut.buf.Size());
        if (haveSmall) {
            shot.small.Allocate(rgbSmall.width, rgbSmall.height);
            std::memcpy(shot.small.buf.Data(), rgbSmall.buf.Data(), rgbSmall.buf.Size());
        }
        for (Stage& e : effects) {
            shot.effects.emplace_back();
            if (e.side.buf.Data()) colour.ToRgb(e.side, &shot.effects.back());
        }
        const bool lastBeforeCut = cutFrame == f && f - 1 > 0;
        if (lastBeforeCut) shots.push_back(std::move(previous));
        if (f == 0 || cutFrame == f || f == a.frames - 1) {
            // The first frame doubles as the one before a cut at frame 1.
            shots.push_back(std::move(shot));
        } else {
            previous = std::move(shot);
        }
    }

    std::printf("\n%-34s %-15s %10s\n", "stage", "tier", "ms/frame");
    double total = 0.0;
    const size_t pipelineStages = stages.size();
    for (Stage& e : effects) stages.push_back(std::move(e));
    for (size_t i = 0; i < stages.size(); ++i) {
        const Stage& s = stages[i];
        if (i == pipelineStages) std::printf("%-34s %-15s %10.3f\n", "total", "", total);
        if (s.frames == 0) {
            std::printf("%-34s %-15s %10s  %s\n", s.name.c_str(), s.tier.c_str(), "-", s.note.c_str());
            continue;
        }
        const double ms = s.totalMs / s.frames;
        if (i < pipelineStages) total += ms;
        std::printf("%-34s %-15s %10.3f%s%s\n", s.name.c_str(), s.tier.c_str(), ms, s.note.empty() ? "" : "  ",
                    s.note.c_str());
    }
    if (stages.size() == pipelineStages) std::printf("%-34s %-15s %10.3f\n", "total", "", total);
    for (const std::string& e : events) std::printf("%s\n", e.c_str());
    if (cutFrame >= 0) std::printf("scene cut found by the library at frame %d\n", cutFrame);
    else std::printf("no scene cut reported\n");

    if (!PngAvailable()) {
        std::printf("\nno pictures written: this ravvel was built without libpng\n");
        return kExitOk;
    }
    // Contact sheet: one row per picked frame, original | processed | smaller
    // layer | effects.
    const int gap = 8;
    const bool withSmall = !shots.empty() && shots.front().small.width > 0;
    std::vector<std::string> effectNames;
    for (size_t i = pipelineStages; i < stages.size(); ++i)
        if (!shots.empty() && shots.front().effects[i - pipelineStages].width > 0)
            effectNames.push_back(stages[i].run->Row().name);
    const int effectsX = gap + 2 * (a.width + gap) + (withSmall ? smallW + gap : 0);
    RgbImage sheet;
    const int sheetW = effectsX + static_cast<int>(effectNames.size()) * (a.width + gap);
    const int sheetH = gap + static_cast<int>(shots.size()) * (a.height + gap);
    if (!sheet.Allocate(sheetW, sheetH)) {
        Complain("out of memory");
        return kExitFailed;
    }
    std::memset(sheet.buf.Data(), 24, sheet.buf.Size());
    std::vector<std::string> written;
    for (size_t i = 0; i < shots.size(); ++i) {
        const Shot& s = shots[i];
        const int y = gap + static_cast<int>(i) * (a.height + gap);
        Blit(s.before, &sheet, gap, y);
        Blit(s.after, &sheet, 2 * gap + a.width, y);
        if (withSmall && s.small.width > 0) Blit(s.small, &sheet, 3 * gap + 2 * a.width, y);
        int x = effectsX;
        for (const RgbImage& e : s.effects)
            if (e.width > 0) Blit(e, &sheet, x, y), x += a.width + gap;
        char name[64];
        std::snprintf(name, sizeof(name), "/frame%03d_before.png", s.frame);
        const std::string before = a.outDir + name;
        std::snprintf(name, sizeof(name), "/frame%03d_after.png", s.frame);
        const std::string after = a.outDir + name;
        for (const auto& job : {std::make_pair(before, &s.before), std::make_pair(after, &s.after)}) {
            const std::string why = WritePng(job.first, *job.second);
            if (!why.empty()) {
                Complain("%s", why.c_str());
                return kExitFailed;
            }
            written.push_back(job.first);
        }
    }
    const std::string sheetPath = a.outDir + "/contact_sheet.png";
    const std::string why = WritePng(sheetPath, sheet);
    if (!why.empty()) {
        Complain("%s", why.c_str());
        return kExitFailed;
    }
    std::string columns = withSmall ? " | smaller layer" : "";
    for (const std::string& n : effectNames) columns += " | " + n;
    std::printf("\nwrote %s (original | processed%s, frames", sheetPath.c_str(), columns.c_str());
    for (const Shot& s : shots) std::printf(" %d", s.frame);
    std::printf(") and %zu before/after pictures in %s\n", written.size(), a.outDir.c_str());
    return kExitOk;
}

}  // namespace rvtool
