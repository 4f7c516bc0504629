#include "methods.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rvtool {

// ---- number parsing ----

bool ParseInt(const std::string& s, long lo, long hi, int* out)
{
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int>(v);
    return true;
}

bool ParseFloat(const std::string& s, float* out)
{
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const float v = std::strtof(s.c_str(), &end);
    if (errno != 0 || end == s.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool ParseSize(const std::string& s, int* w, int* h)
{
    const size_t x = s.find('x');
    if (x == std::string::npos) return false;
    return ParseInt(s.substr(0, x), 1, 16384, w) && ParseInt(s.substr(x + 1), 1, 16384, h);
}

namespace {

template <class T>
T* Record(MethodRun& run)
{
    static_assert(sizeof(T) <= sizeof(run.record), "record storage too small");
    std::memset(run.record, 0, sizeof(run.record));
    run.config = run.record;
    return reinterpret_cast<T*>(run.record);
}

std::string SameSizeOut(const I420Image& in, I420Image* out)
{
    if ((out->width != in.width || out->height != in.height || !out->buf.Data()) &&
        !out->Allocate(in.width, in.height))
        return "out of memory";
    return std::string();
}

int32_t OutOfMemory()
{
    return RL_ERR_NO_MEMORY;
}

// ---- colour conversion: I420 -> intermediate format -> I420 ----

struct ViaFormat {
    const char* name;
    RL_EVideoFormat format;
    int bytesPerPixel;  // packed formats; 0 for the YUV planar and semi-planar ones
};

const ViaFormat kViaFormats[] = {
    {"rgb24", RL_FORMAT_RGB24, 3}, {"bgr24", RL_FORMAT_BGR24, 3}, {"rgba", RL_FORMAT_RGBA, 4},
    {"bgra", RL_FORMAT_BGRA, 4},   {"argb", RL_FORMAT_ARGB, 4},   {"abgr", RL_FORMAT_ABGR, 4},
    {"yuyv", RL_FORMAT_YUYV, 2},   {"uyvy", RL_FORMAT_UYVY, 2},   {"yvyu", RL_FORMAT_YVYU, 2},
    {"nv12", RL_FORMAT_NV12, 0},   {"nv21", RL_FORMAT_NV21, 0},   {"yv12", RL_FORMAT_YV12, 0},
    {"i420", RL_FORMAT_I420, 0},
};

std::string PrepareConvert(MethodRun& run)
{
    const std::string via = run.Str("via");
    for (const ViaFormat& f : kViaFormats) {
        if (via != f.name) continue;
        run.viaFormat = f.format;
        const size_t w = static_cast<size_t>(run.inWidth), h = static_cast<size_t>(run.inHeight);
        const size_t bytes = f.bytesPerPixel ? w * h * f.bytesPerPixel : w * h * 2;
        if (!run.packed.Resize(bytes)) return "out of memory";
        return std::string();
    }
    std::string names;
    for (const ViaFormat& f : kViaFormats) names += std::string(names.empty() ? "" : ", ") + f.name;
    return "unknown format '" + via + "' for via (one of: " + names + ")";
}

SRLPictureInfo DescribeVia(MethodRun& run)
{
    SRLPictureInfo p;
    std::memset(&p, 0, sizeof(p));
    const int w = run.inWidth, h = run.inHeight;
    uint8_t* base = run.packed.Data();
    p.iWidth = w;
    p.iHeight = h;
    p.eFormat = static_cast<RL_EVideoFormat>(run.viaFormat);
    for (const ViaFormat& f : kViaFormats) {
        if (f.format != run.viaFormat) continue;
        if (f.bytesPerPixel) {
            p.pData[0] = base;
            p.iStride[0] = w * f.bytesPerPixel;
        } else if (f.format == RL_FORMAT_NV12 || f.format == RL_FORMAT_NV21) {
            p.pData[0] = base;
            p.pData[1] = base + static_cast<size_t>(w) * h;
            p.iStride[0] = p.iStride[1] = w;
        } else {
            p.pData[0] = base;
            p.pData[1] = base + static_cast<size_t>(w) * h;
            p.pData[2] = p.pData[1] + static_cast<size_t>(w / 2) * (h / 2);
            p.iStride[0] = w;
            p.iStride[1] = p.iStride[2] = w / 2;
        }
    }
    return p;
}

int32_t FrameConvert(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    if (!SameSizeOut(in, out).empty()) return OutOfMemory();
    SRLPictureInfo s = in.Describe(), mid = DescribeVia(run), d = out->Describe();
    const int32_t rc = run.Rl()->Process(RL_METHOD_COLOR_SPACE_CONVERT, &s, &mid, nullptr);
    if (rc != RL_OK) return rc;
    mid = DescribeVia(run);
    return run.Rl()->Process(RL_METHOD_COLOR_SPACE_CONVERT, &mid, &d, nullptr);
}

const OptionInfo kConvertOptions[] = {
    {"via", OptType::kString, 0, "rgb24", "format to convert to and back from (rgb24, bgra, nv12, yuyv, ...)"},
};

// ---- denoise: in place ----

std::string PrepareDenoise(MethodRun& run)
{
    SDenoiseConfig* r = Record<SDenoiseConfig>(run);
    *r = {run.inWidth, run.inHeight, RL_FORMAT_I420, run.Int("mode")};
    return std::string();
}

int32_t FrameInPlace(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    SRLPictureInfo s = in.Describe();
    const int32_t rc = run.Rl()->Process(run.Row().method, &s, nullptr, nullptr);
    if (rc != RL_OK) return rc;
    return out->CopyFrom(in) ? RL_OK : OutOfMemory();
}

const OptionInfo kDenoiseOptions[] = {
    {"mode", OptType::kInt, RL_OPTION_DENOISE_MODE, "0", "0 automatic level, 1..4 fixed level"},
    {"interval", OptType::kInt, RL_OPTION_DENOISE_ESTIMATE_INTERVAL, "90", "frames between noise estimations"},
};

// ---- source -> destination at the same size ----

int32_t FrameSameSize(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    if (!SameSizeOut(in, out).empty()) return OutOfMemory();
    SRLPictureInfo s = in.Describe(), d = out->Describe();
    return run.Rl()->Process(run.Row().method, &s, &d, nullptr);
}

std::string PrepareLcboost(MethodRun& run)
{
    SLcboostConfig* r = Record<SLcboostConfig>(run);
    *r = {run.inWidth,           run.inHeight,         RL_FORMAT_I420,
          run.Float("contrast"), run.Float("colour"),  run.Float("cdf_weight"),
          run.Int("brightness"), run.Int("colour_method"), run.Int("scale_chroma")};
    return std::string();
}

const OptionInfo kLcboostOptions[] = {
    {"contrast", OptType::kFloat, 0, "1.15", "contrast strength; 0 derives it from the picture"},
    {"colour", OptType::kFloat, 0, "1.1", "colour (vibrance) strength"},
    {"cdf_weight", OptType::kFloat, 0, "1.1", "histogram equalisation weight"},
    {"brightness", OptType::kInt, 0, "3", "0 none, 1 equalisation, 2 beta mapping, 3 hybrid"},
    {"colour_method", OptType::kInt, 0, "1", "0 none, 1 chroma gain table"},
    {"scale_chroma", OptType::kInt, 0, "1", "scale chroma with the luma change (0/1)"},
    // A byte flag; the tool's int payload carries it in its first byte (x86-64 is little-endian).
    {"colour_auto", OptType::kInt, RL_OPTION_LCBOOST_COLOUR_AUTO, "0", "derive the colour strength from the picture (0/1)"},
};

std::string PrepareDeband(MethodRun& run)
{
    SFastDebandConfig* r = Record<SFastDebandConfig>(run);
    *r = {run.inWidth,     run.inHeight,  run.Int("strength"), run.Int("dither"), run.Int("log2_size"),
          RL_FORMAT_I420, run.Int("depth_y"), run.Int("depth_uv")};
    return std::string();
}

const OptionInfo kDebandOptions[] = {
    {"strength", OptType::kInt, 0, "64", "threshold in 1/16 levels (16..240)"},
    {"dither", OptType::kInt, 0, "6", "dither amount"},
    {"log2_size", OptType::kInt, 0, "6", "log2 of the filter span"},
    {"depth_y", OptType::kInt, 0, "1", "passes on luma"},
    {"depth_uv", OptType::kInt, 0, "1", "passes on chroma"},
    // A fixed seed keeps the output the same from run to run.
    {"seed_method", OptType::kInt, RL_OPTION_DEBAND_SEED_METHOD, "1", "1 repeatable dither, 0 random"},
};

// ---- scene change: analysis against the previous frame ----

std::string PrepareSceneChange(MethodRun& run)
{
    SRLSceneChangeConfig* r = Record<SRLSceneChangeConfig>(run);
    *r = {run.inWidth, run.inHeight, RL_FORMAT_I420};
    return std::string();
}

int32_t FrameSceneChange(MethodRun& run, I420Image& in, const I420Image& ref, I420Image* out)
{
    SRLPictureInfo s = in.Describe(), d = const_cast<I420Image&>(ref).Describe();
    const int32_t rc = run.Rl()->Process(RL_METHOD_SCENE_CHANGE_DETECTION, &s, &d, nullptr);
    if (rc != RL_OK) return rc;
    return out->CopyFrom(in) ? RL_OK : OutOfMemory();
}

std::string ReportSceneChange(MethodRun& run)
{
    int32_t level = -1;
    float ratio = 0.0f;
    run.Rl()->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_LEVEL, &level);
    run.Rl()->GetOption(RL_METHOD_SCENE_CHANGE_DETECTION, RL_OPTION_SCENE_CHANGE_RATIO, &ratio);
    static const char* const kNames[] = {"none", "small", "medium", "large"};
    char line[96];
    std::snprintf(line, sizeof(line), "scene change %s (level %d, %.1f%% of blocks changed)",
                  level >= 0 && level <= 3 ? kNames[level] : "?", level, 100.0 * ratio);
    return line;
}

// ---- content detection: reports arrive through a callback ----

std::string PrepareContent(MethodRun& run)
{
    SRLContentDetectionConfig* r = Record<SRLContentDetectionConfig>(run);
    *r = {run.inWidth, run.inHeight, RL_FORMAT_I420};
    return std::string();
}

void OnContent(void* context, int32_t content) { static_cast<MethodRun*>(context)->reports.push_back(content); }

int32_t FrameContent(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    SRLPictureInfo s = in.Describe();
    const int32_t rc = run.Rl()->Process(RL_METHOD_CONTENT_DETECTION, &s, nullptr, nullptr);
    if (rc != RL_OK) return rc;
    return out->CopyFrom(in) ? RL_OK : OutOfMemory();
}

// Empty when the method reported nothing on this frame.
std::string ReportContent(MethodRun& run)
{
    std::string line;
    for (int32_t c : run.reports)
        line += std::string(line.empty() ? "" : "; ") + "content is now " + (c == RL_CONTENT_TEXT ? "text" : "video");
    run.reports.clear();
    return line;
}

// ---- scaling ----

std::string PrepareDownsample(MethodRun& run)
{
    if (run.reqWidth == 0) {
        run.reqWidth = (run.inWidth / 2) & ~1;
        run.reqHeight = (run.inHeight / 2) & ~1;
    }
    if (run.reqWidth >= run.inWidth || run.reqHeight >= run.inHeight)
        return "downsample needs an output smaller in both dimensions than " + std::to_string(run.inWidth) + "x" +
               std::to_string(run.inHeight) + " (--size)";
    if (run.reqWidth % 2 || run.reqHeight % 2 || run.reqWidth < 16 || run.reqHeight < 16)
        return "downsample needs an even output size of at least 16x16 (--size)";
    run.config = nullptr;
    return std::string();
}

int32_t FrameScaled(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    if ((out->width != run.reqWidth || out->height != run.reqHeight || !out->buf.Data()) &&
        !out->Allocate(run.reqWidth, run.reqHeight))
        return OutOfMemory();
    SRLPictureInfo s = in.Describe(), d = out->Describe();
    return run.Rl()->Process(run.Row().method, &s, &d, nullptr);
}

const OptionInfo kDownsampleOptions[] = {
    {"filter", OptType::kString, 0, "lanczos", "lanczos (multi-tap) or bilinear"},
};

std::string PrepareDownsampleFilter(MethodRun& run)
{
    const std::string f = run.Str("filter");
    if (f != "lanczos" && f != "bilinear") return "filter must be lanczos or bilinear";
    return PrepareDownsample(run);
}

std::string PrepareUpsample(MethodRun& run)
{
    if (run.reqWidth == 0) {
        run.reqWidth = run.inWidth * 2;
        run.reqHeight = run.inHeight * 2;
    }
    if (run.reqHeight <= run.inHeight || run.reqWidth < run.inWidth)
        return "upsample needs an output taller than " + std::to_string(run.inHeight) +
               " rows and at least as wide (--size)";
    if (run.reqWidth % 2 || run.reqHeight % 2) return "upsample needs an even output size (--size)";
    SRLUpsampleConfig* r = Record<SRLUpsampleConfig>(run);
    r->iFilterMode = run.Int("filter");
    return std::string();
}

const OptionInfo kUpsampleOptions[] = {
    {"filter", OptType::kInt, 0, "1", "1 linear, 2 bilinear, 3 box"},
};

// Super resolution: exactly 2x (the default) or 1.5x, asked for with --scale
// or --size.
std::string PrepareSuperResolution(MethodRun& run)
{
    if (run.reqWidth == 0) {
        run.reqWidth = run.inWidth * 2;
        run.reqHeight = run.inHeight * 2;
    }
    const bool twice = run.reqWidth == 2 * run.inWidth && run.reqHeight == 2 * run.inHeight;
    const bool oneAndHalf = run.reqWidth == (3 * run.inWidth) / 2 && run.reqHeight == (3 * run.inHeight) / 2;
    if (!twice && !oneAndHalf) return "sr enlarges by exactly 2 or 1.5 (--scale 2|1.5)";
    if (run.reqWidth % 2 || run.reqHeight % 2)
        return "sr at 1.5x needs an input whose sides are multiples of 4 (the output sides must be even)";
    if (run.Int("enhanced") && oneAndHalf) return "the enhanced filter works at 2x only";
    run.config = nullptr;
    return std::string();
}

const OptionInfo kSuperResolutionOptions[] = {
    {"simple", OptType::kInt, RL_OPTION_SR_SIMPLE_1PT5, "0", "1: plain interpolation at 1.5x"},
    {"enhanced", OptType::kInt, RL_OPTION_SR_ENHANCED, "0", "1: filters from the coefficient file (2x)"},
    {"coeffs", OptType::kString, 0, nullptr, "enhanced coefficient file (default: the installed one)"},
};

// Set by the tool's build; programs that compile this file on their own look
// in neither place.
#ifndef RAVVEL_TOOL_DATA_DIR
#define RAVVEL_TOOL_DATA_DIR ""
#endif
#ifndef RAVVEL_TOOL_SOURCE_DATA_DIR
#define RAVVEL_TOOL_SOURCE_DATA_DIR ""
#endif

// The enhanced coefficients: the file given, else the installed one, else the
// source tree's (a tool run from its build tree).
std::string CoefficientFile(const MethodRun& run)
{
    if (run.Given("coeffs")) return run.Str("coeffs");
    const char* const dirs[] = {RAVVEL_TOOL_DATA_DIR, RAVVEL_TOOL_SOURCE_DATA_DIR};
    for (const char* dir : dirs) {
        if (!*dir) continue;
        const std::string path = std::string(dir) + "/superResCoeffs.txt";
        if (FILE* f = std::fopen(path.c_str(), "r")) {
            std::fclose(f);
            return path;
        }
    }
    return std::string();
}

// ---- image operations ----

std::string PrepareRotate(MethodRun& run)
{
    const int a = run.Int("angle");
    if (a != 90 && a != 180 && a != 270) return "angle must be 90, 180 or 270";
    run.reqWidth = a == 180 ? run.inWidth : run.inHeight;
    run.reqHeight = a == 180 ? run.inHeight : run.inWidth;
    run.config = nullptr;
    return std::string();
}

const OptionInfo kRotateOptions[] = {
    {"angle", OptType::kInt, RL_OPTION_ROTATION_ANGLE, "90", "clockwise degrees: 90, 180 or 270"},
};

std::string PrepareCrop(MethodRun& run)
{
    SRLCropParam* r = Record<SRLCropParam>(run);
    const int w = run.Given("width") ? run.Int("width") : (run.reqWidth ? run.reqWidth : run.inWidth / 2);
    const int h = run.Given("height") ? run.Int("height") : (run.reqHeight ? run.reqHeight : run.inHeight / 2);
    *r = {static_cast<uint32_t>(run.Int("mode")), static_cast<uint32_t>(run.Int("top")),
          static_cast<uint32_t>(run.Int("left")), static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
    return std::string();
}

int32_t FrameCrop(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    SRLPictureInfo s = in.Describe(), d;
    std::memset(&d, 0, sizeof(d));
    const int32_t rc = run.Rl()->Process(RL_METHOD_IMAGE_CROP, &s, &d, nullptr);
    if (rc != RL_OK) return rc;
    // The result describes a window into our own frame; keep a copy of it.
    return CopyI420FromPicture(d, out) ? RL_OK : RL_ERR_FAILED;
}

const OptionInfo kCropOptions[] = {
    {"mode", OptType::kInt, 0, "1", "1 rectangle, 0 largest top-left area of aspect width:height"},
    {"top", OptType::kInt, 0, "0", "first row"},
    {"left", OptType::kInt, 0, "0", "first column"},
    {"width", OptType::kInt, 0, nullptr, "width (mode 1) or aspect numerator (default: --size or half)"},
    {"height", OptType::kInt, 0, nullptr, "height (mode 1) or aspect denominator"},
};

std::string PrepareBlend(MethodRun& run)
{
    const int w = run.inWidth, h = run.inHeight;
    if (!run.alpha.Resize(static_cast<size_t>(w) * h) || !run.overlay.Allocate(w, h)) return "out of memory";
    const int fixed = run.Int("alpha");
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            run.alpha.Data()[static_cast<size_t>(y) * w + x] =
                static_cast<uint8_t>(fixed >= 0 ? fixed : (w > 1 ? x * 255 / (w - 1) : 0));
    // The picture blended in: a grey checkerboard of 32-pixel squares.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            run.overlay.Y()[static_cast<size_t>(y) * w + x] = ((x / 32 + y / 32) & 1) ? 200 : 60;
    std::memset(run.overlay.U(), 128, run.overlay.ChromaBytes());
    std::memset(run.overlay.V(), 128, run.overlay.ChromaBytes());
    run.config = run.alpha.Data();
    return std::string();
}

int32_t FrameBlend(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    if (!out->CopyFrom(run.overlay)) return OutOfMemory();
    SRLPictureInfo s = in.Describe(), d = out->Describe();
    return run.Rl()->Process(RL_METHOD_ALPHA_BLEND, &s, &d, nullptr);
}

const OptionInfo kBlendOptions[] = {
    {"alpha", OptType::kInt, 0, "-1", "weight of the checkerboard 0..255; -1 ramps from 0 (left) to 255 (right)"},
};

// ---- effects ----

std::string PrepareBlur(MethodRun& run)
{
    RLGaussSigma* sigma = Record<RLGaussSigma>(run);
    *sigma = run.Float("sigma");
    if (!(*sigma > 0.0f)) return "sigma must be above 0";
    return std::string();
}

// The blur leaves the last chroma column of an odd width alone: start from
// the input so that it keeps the picture's own samples.
int32_t FrameBlur(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    if (!out->CopyFrom(in)) return OutOfMemory();
    SRLPictureInfo s = in.Describe(), d = out->Describe();
    return run.Rl()->Process(RL_METHOD_GAUSS_BLUR, &s, &d, nullptr);
}

const OptionInfo kBlurOptions[] = {
    {"sigma", OptType::kFloat, 0, "5", "standard deviation in pixels (values below 0.5 count as 0.5)"},
};

std::string PrepareEdge(MethodRun& run)
{
    SRLEdgeConfig* r = Record<SRLEdgeConfig>(run);
    *r = {run.inWidth, run.inHeight, run.inWidth, run.Int("thin") != 0, RL_FORMAT_I420};
    return std::string();
}

// The map as a grey picture: black borders, neutral chroma.
int32_t FrameEdge(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    if (!SameSizeOut(in, out).empty()) return OutOfMemory();
    std::memset(out->Y(), 0, out->LumaBytes());
    std::memset(out->U(), 128, out->ChromaBytes());
    std::memset(out->V(), 128, out->ChromaBytes());
    SRLPictureInfo s = in.Describe(), d = out->Describe();
    return run.Rl()->Process(RL_METHOD_EDGE, &s, &d, nullptr);
}

const OptionInfo kEdgeOptions[] = {
    {"thin", OptType::kInt, 0, "1", "1 thins edges to their ridge (non-maximum suppression), 0 keeps them wide"},
};

// ---- effects: colour looks and masked adjustment, in place ----

std::string PrepareFilter(MethodRun& run)
{
    const int mode = run.Int("mode");
    if (mode < RL_VIDEO_FILTER_BLACK_AND_WHITE || mode > RL_VIDEO_FILTER_SEAFOAM)
        return "mode must be 1 (black and white), 2 (hue angle), 3 (sepia), 4 (cinnamon) or 5 (seafoam)";
    SRLVideoFilterConfig* r = Record<SRLVideoFilterConfig>(run);
    *r = {run.inWidth, run.inHeight, RL_FORMAT_I420, mode};
    return std::string();
}

// The look is applied to a copy: the demo shows it beside the pipeline and
// keeps the input for the next stage.
int32_t FrameFilter(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    if (!out->CopyFrom(in)) return OutOfMemory();
    SRLPictureInfo s = out->Describe();
    return run.Rl()->Process(RL_METHOD_VIDEO_FILTER, &s, nullptr, nullptr);
}

const OptionInfo kFilterOptions[] = {
    {"mode", OptType::kInt, 0, "3", "1 black and white, 2 hue angle, 3 sepia, 4 cinnamon, 5 seafoam"},
};

// Next header token of a PGM file, skipping white space and # comments.
bool PgmToken(FILE* f, long* value)
{
    int c = std::fgetc(f);
    for (;;) {
        while (c == ' ' || c == '\t' || c == '\r' || c == '\n') c = std::fgetc(f);
        if (c != '#') break;
        while (c != '\n' && c != EOF) c = std::fgetc(f);
    }
    long v = 0;
    int digits = 0;
    for (; c >= '0' && c <= '9' && digits < 9; ++digits, c = std::fgetc(f)) v = v * 10 + (c - '0');
    if (digits == 0 || digits == 9) return false;
    *value = v;
    // Exactly one white-space byte ends the last header field; it was read here.
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Binary greyscale PGM (P5) with at most 8 bits per sample into run.alpha.
std::string LoadPgmMask(MethodRun& run, const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "cannot open mask '" + path + "': " + std::strerror(errno);
    long w = 0, h = 0, maxval = 0;
    const bool header = std::fgetc(f) == 'P' && std::fgetc(f) == '5' && PgmToken(f, &w) && PgmToken(f, &h) &&
                        PgmToken(f, &maxval);
    std::string why;
    if (!header || w < 1 || h < 1 || w > 16384 || h > 16384 || maxval < 1 || maxval > 255) {
        why = "mask '" + path + "' is not a binary 8-bit PGM (P5) picture";
    } else if (!run.alpha.Resize(static_cast<size_t>(w) * h)) {
        why = "out of memory";
    } else if (std::fread(run.alpha.Data(), 1, run.alpha.Size(), f) != run.alpha.Size()) {
        why = "mask '" + path + "' ends before its " + std::to_string(w) + "x" + std::to_string(h) + " samples";
    } else {
        // Samples on another scale than 0..255 are stretched to it.
        if (maxval != 255)
            for (size_t i = 0; i < run.alpha.Size(); ++i) {
                const long v = run.alpha.Data()[i];
                run.alpha.Data()[i] = static_cast<uint8_t>((v > maxval ? maxval : v) * 255 / maxval);
            }
        run.maskWidth = static_cast<int>(w);
        run.maskHeight = static_cast<int>(h);
    }
    std::fclose(f);
    return why;
}

std::string PrepareMia(MethodRun& run)
{
    run.maskWidth = run.maskHeight = 0;
    if (run.Given("mask")) {
        const std::string why = LoadPgmMask(run, run.Str("mask"));
        if (!why.empty()) return why;
    }
    SRLMiaConfig* r = Record<SRLMiaConfig>(run);
    *r = {run.inWidth, run.inHeight, run.Int("brightness"), 0, run.Int("saturation"), RL_FORMAT_I420};
    return std::string();
}

int32_t FrameMia(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    if (!out->CopyFrom(in)) return OutOfMemory();
    SRLPictureInfo s = out->Describe();
    if (run.maskWidth > 0) {
        s.pMask = run.alpha.Data();
        s.iMaskWidth = run.maskWidth;
        s.iMaskHeight = run.maskHeight;
    }
    return run.Rl()->Process(RL_METHOD_MIA, &s, nullptr, nullptr);
}

const OptionInfo kMiaOptions[] = {
    {"brightness", OptType::kInt, RL_OPTION_MIA_BRIGHTNESS, "50", "50 neutral; each step shifts luma by one level"},
    {"contrast", OptType::kInt, RL_OPTION_MIA_CONTRAST, "50", "50 neutral; gain (contrast + 50) / 100"},
    {"saturation", OptType::kInt, RL_OPTION_MIA_SATURATION, "50", "50 neutral; 0 grey"},
    {"mask", OptType::kString, 0, nullptr, "PGM (P5) file: where to adjust, 0 none .. 255 fully; scaled to the picture"},
};

// ---- motion detection: planar RGB and a mask ----

std::string PrepareMotion(MethodRun& run)
{
    const int w = run.inWidth, h = run.inHeight;
    const size_t n = static_cast<size_t>(w) * h;
    if (!run.packed.Resize(3 * n)) return "out of memory";
    const std::string mask = run.Str("mask");
    if (!mask.empty()) {
        // The method takes a mask of the picture's own size.
        const std::string why = LoadPgmMask(run, mask);
        if (!why.empty()) return why;
        if (run.maskWidth != w || run.maskHeight != h)
            return "mask '" + mask + "' is " + std::to_string(run.maskWidth) + "x" + std::to_string(run.maskHeight) +
                   ", the clip is " + std::to_string(w) + "x" + std::to_string(h);
    } else {
        if (!run.alpha.Resize(n)) return "out of memory";
        // The centred rectangle of half the width and height.
        for (int y = h / 4; y < h / 4 + h / 2; ++y)
            std::memset(run.alpha.Data() + static_cast<size_t>(y) * w + w / 4, 255, static_cast<size_t>(w / 2));
    }
    if (run.Rl()->Init(RL_METHOD_COLOR_SPACE_CONVERT, nullptr, false) != RL_OK)
        return "the colour converter refused to start";
    SRLMotionDetectConfig* r = Record<SRLMotionDetectConfig>(run);
    r->width = w;
    r->height = h;
    r->min_predict_step = run.Int("min_step");
    r->area_threshold = run.Float("area");
    return std::string();
}

int32_t FrameMotion(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    // The library's colour converter makes the planar RGB the method takes.
    const int w = in.width, h = in.height;
    const size_t n = static_cast<size_t>(w) * h;
    SRLPictureInfo s;
    std::memset(&s, 0, sizeof(s));
    s.eFormat = RL_FORMAT_RGB_PLANAR;
    s.iWidth = w;
    s.iHeight = h;
    for (int p = 0; p < 3; ++p) s.pData[p] = run.packed.Data() + p * n, s.iStride[p] = w;
    SRLPictureInfo yuv = in.Describe();
    const int32_t converted = run.Rl()->Process(RL_METHOD_COLOR_SPACE_CONVERT, &yuv, &s, nullptr);
    if (converted != RL_OK) return converted;
    s.pMask = run.alpha.Data();
    s.iMaskWidth = w;
    s.iMaskHeight = h;
    run.Rl()->SetOption(RL_METHOD_MOTION_DETECT, RL_OPTION_MOTION_RESULT, &run.resultFlag);
    const int32_t rc = run.Rl()->Process(RL_METHOD_MOTION_DETECT, &s, nullptr, nullptr);
    if (rc != RL_OK) return rc;
    return out->CopyFrom(in) ? RL_OK : OutOfMemory();
}

std::string ReportMotion(MethodRun& run)
{
    return run.resultFlag ? "motion: changed along the mask boundary" : "motion: no change";
}

const OptionInfo kMotionOptions[] = {
    {"mask", OptType::kString, 0, "", "8-bit PGM of the clip's size (default: a centred half-size rectangle)"},
    {"min_step", OptType::kInt, 0, "0", "frames after a reported change before the next test (0..100)"},
    {"area", OptType::kFloat, 0, "0.2", "fraction of boundary pixels that must change (0..1)"},
};

// ---- flicker detection ----

std::string PrepareFlicker(MethodRun& run)
{
    SRLFlickerDetectConfig* r = Record<SRLFlickerDetectConfig>(run);
    r->width = run.inWidth;
    r->height = run.inHeight;
    r->window_frames = run.Int("window");
    r->grid_columns = run.Int("columns");
    r->grid_rows = run.Int("rows");
    r->grace_period = run.Int("grace");
    for (float& t : r->winsum_threshold_yuv) t = run.Float("threshold");
    r->format = RL_FORMAT_I420;
    return std::string();
}

int32_t FrameAnalyse(MethodRun& run, I420Image& in, const I420Image&, I420Image* out)
{
    SRLPictureInfo s = in.Describe();
    const int32_t rc = run.Rl()->Process(run.Row().method, &s, nullptr, nullptr);
    if (rc != RL_OK) return rc;
    return out->CopyFrom(in) ? RL_OK : OutOfMemory();
}

std::string ReportFlicker(MethodRun& run)
{
    int32_t verdict = 0, window = 0;
    run.Rl()->GetOption(RL_METHOD_FLICKER_DETECT, RL_OPTION_FLICKER_RESULT, &verdict);
    run.Rl()->GetOption(RL_METHOD_FLICKER_DETECT, RL_OPTION_FLICKER_WINDOW_SIZE, &window);
    return std::string(verdict ? "flicker: yes" : "flicker: no") + " (window " + std::to_string(window) + " frames)";
}

const OptionInfo kFlickerOptions[] = {
    {"window", OptType::kInt, 0, "5", "window length in frames"},
    {"columns", OptType::kInt, 0, "3", "region grid columns"},
    {"rows", OptType::kInt, 0, "3", "region grid rows"},
    {"grace", OptType::kInt, 0, "30", "frames the verdict holds after flicker"},
    {"threshold", OptType::kFloat, 0, "1000", "region MSE sum per window for Y, U and V (suits 1920x1080)"},
    {"static_ratio", OptType::kFloat, RL_OPTION_FLICKER_STATIC_RATIO, "0.9",
     "share of unchanged samples that makes a frame static"},
};

#define RV_OPTIONS(a) a, sizeof(a) / sizeof(a[0])

// Rows in the order the camera pipeline runs them.
const MethodRow kRows[] = {
    {"convert", "csc", RL_METHOD_COLOR_SPACE_CONVERT, MethodKind::kTransform, false, TierRule::kCommon,
     "colour conversion to another format and back", RV_OPTIONS(kConvertOptions), PrepareConvert, FrameConvert,
     nullptr},
    {"denoise", nullptr, RL_METHOD_DENOISE, MethodKind::kTransform, false, TierRule::kCommon,
     "spatial and temporal noise reduction (in place)", RV_OPTIONS(kDenoiseOptions), PrepareDenoise, FrameInPlace,
     nullptr},
    {"lcboost", nullptr, RL_METHOD_LCBOOST, MethodKind::kTransform, false, TierRule::kNoAvx,
     "local contrast, brightness and colour boost", RV_OPTIONS(kLcboostOptions), PrepareLcboost, FrameSameSize,
     nullptr},
    {"deband", nullptr, RL_METHOD_FAST_DEBAND, MethodKind::kTransform, false, TierRule::kCommon,
     "removes banding from smooth gradients", RV_OPTIONS(kDebandOptions), PrepareDeband, FrameSameSize, nullptr},
    {"scenechange", "scene-change", RL_METHOD_SCENE_CHANGE_DETECTION, MethodKind::kAnalysis, false,
     TierRule::kCommon, "scene change level against the previous frame", nullptr, 0, PrepareSceneChange,
     FrameSceneChange, ReportSceneChange},
    {"content", nullptr, RL_METHOD_CONTENT_DETECTION, MethodKind::kAnalysis, false, TierRule::kCommon,
     "text or natural video, printed when it changes", nullptr, 0, PrepareContent, FrameContent, ReportContent},
    {"downsample", nullptr, RL_METHOD_DOWNSAMPLING, MethodKind::kTransform, true, TierRule::kDownsampler,
     "shrinks to --size (default half)", RV_OPTIONS(kDownsampleOptions), PrepareDownsampleFilter, FrameScaled,
     nullptr},
    {"upsample", nullptr, RL_METHOD_UPSAMPLING, MethodKind::kTransform, false, TierRule::kSse2Avx2,
     "enlarges to --size (default double)", RV_OPTIONS(kUpsampleOptions), PrepareUpsample, FrameScaled, nullptr},
    {"sr", "superres", RL_METHOD_SUPER_RESOLUTION, MethodKind::kTransform, true, TierRule::kCommon,
     "enlarges by 2 (default) or 1.5 (--scale) with trained filters", RV_OPTIONS(kSuperResolutionOptions),
     PrepareSuperResolution, FrameScaled, nullptr},
    {"rotate", nullptr, RL_METHOD_IMAGE_ROTATING, MethodKind::kTransform, false, TierRule::kReferenceOnly,
     "rotates by 90, 180 or 270 degrees", RV_OPTIONS(kRotateOptions), PrepareRotate, FrameScaled, nullptr},
    {"crop", nullptr, RL_METHOD_IMAGE_CROP, MethodKind::kTransform, false, TierRule::kReferenceOnly,
     "cuts out a rectangle", RV_OPTIONS(kCropOptions), PrepareCrop, FrameCrop, nullptr},
    {"filter", "videofilter", RL_METHOD_VIDEO_FILTER, MethodKind::kTransform, false, TierRule::kCommon,
     "colour look: black and white, hue angle, sepia, cinnamon or seafoam (in place)", RV_OPTIONS(kFilterOptions),
     PrepareFilter, FrameFilter, nullptr},
    {"mia", nullptr, RL_METHOD_MIA, MethodKind::kTransform, false, TierRule::kCommon,
     "brightness, contrast and saturation, optionally through a mask (in place)", RV_OPTIONS(kMiaOptions),
     PrepareMia, FrameMia, nullptr},
    {"blend", "alphablend", RL_METHOD_ALPHA_BLEND, MethodKind::kTransform, false, TierRule::kCommon,
     "alpha-blends a checkerboard over the picture", RV_OPTIONS(kBlendOptions), PrepareBlend, FrameBlend, nullptr},
    {"blur", "gaussblur", RL_METHOD_GAUSS_BLUR, MethodKind::kTransform, false, TierRule::kAvx2Only,
     "Gaussian blur of any sigma at one cost", RV_OPTIONS(kBlurOptions), PrepareBlur, FrameBlur, nullptr},
    {"edge", nullptr, RL_METHOD_EDGE, MethodKind::kTransform, false, TierRule::kCommon,
     "Sobel edge-strength map of the luma", RV_OPTIONS(kEdgeOptions), PrepareEdge, FrameEdge, nullptr},
    {"motion", "motion-detect", RL_METHOD_MOTION_DETECT, MethodKind::kAnalysis, false, TierRule::kReferenceOnly,
     "change along a mask's boundary since the stored reference", RV_OPTIONS(kMotionOptions), PrepareMotion,
     FrameMotion, ReportMotion},
    {"flicker", "flicker-detect", RL_METHOD_FLICKER_DETECT, MethodKind::kAnalysis, false, TierRule::kCommon,
     "whether region histograms keep jumping over a window of frames", RV_OPTIONS(kFlickerOptions), PrepareFlicker,
     FrameAnalyse, ReportFlicker},
};

}  // namespace

const MethodRow* MethodTable(size_t* count)
{
    *count = sizeof(kRows) / sizeof(kRows[0]);
    return kRows;
}

const MethodRow* FindMethod(const std::string& name)
{
    for (const MethodRow& r : kRows)
        if (name == r.name || (r.alias && name == r.alias)) return &r;
    return nullptr;
}

// ---- MethodRun ----

const OptionInfo* MethodRun::FindOption(const char* name) const
{
    for (size_t i = 0; i < m_row.optionCount; ++i)
        if (std::strcmp(m_row.options[i].name, name) == 0) return &m_row.options[i];
    return nullptr;
}

std::string MethodRun::SetParam(const std::string& name, const std::string& value)
{
    const OptionInfo* opt = FindOption(name.c_str());
    if (opt == nullptr) {
        std::string known;
        for (size_t i = 0; i < m_row.optionCount; ++i)
            known += std::string(known.empty() ? "" : ", ") + m_row.options[i].name;
        return "unknown option '" + name + "' for " + m_row.name +
               (known.empty() ? std::string(" (it has none)") : " (known: " + known + ")");
    }
    int iv = 0;
    float fv = 0.0f;
    if (opt->type == OptType::kInt && !ParseInt(value, -2147483647L, 2147483647L, &iv))
        return "option '" + name + "' expects an integer, got '" + value + "'";
    if (opt->type == OptType::kFloat && !ParseFloat(value, &fv))
        return "option '" + name + "' expects a number, got '" + value + "'";
    m_values[name] = value;
    return std::string();
}

std::string MethodRun::Str(const char* name) const
{
    const auto it = m_values.find(name);
    if (it != m_values.end()) return it->second;
    const OptionInfo* opt = FindOption(name);
    return opt && opt->def ? opt->def : "";
}

int MethodRun::Int(const char* name) const
{
    int v = 0;
    ParseInt(Str(name), -2147483647L, 2147483647L, &v);
    return v;
}

float MethodRun::Float(const char* name) const
{
    float v = 0.0f;
    ParseFloat(Str(name), &v);
    return v;
}

std::string MethodRun::Start(bool* missing)
{
    *missing = false;
    const std::string why = m_row.prepare(*this);
    if (!why.empty()) return why;
    m_host->ClearProblem();
    const int32_t rc = m_host->Init(m_row.method, config, m_row.initFlag, missing);
    if (*missing) return std::string("method '") + m_row.name + "' is not available in this build of the library";
    if (rc != RL_OK) {
        const std::string log = m_host->LastProblem();
        return std::string("the library refused to set up '") + m_row.name + "': " + ResultName(rc) +
               (log.empty() ? "" : " (" + log + ")");
    }
    if (m_row.method == RL_METHOD_DOWNSAMPLING) {
        const bool bilinear = Str("filter") == "bilinear";
        int32_t unused = 0;
        Rl()->SetOption(RL_METHOD_DOWNSAMPLING,
                        bilinear ? RL_OPTION_DOWNSAMPLE_BILINEAR : RL_OPTION_DOWNSAMPLE_LANCZOS, &unused);
    }
    if (m_row.method == RL_METHOD_CONTENT_DETECTION) {
        // Reports come back through the callback; the reset starts the histories.
        SRLContentCallback cb = {&OnContent, this};
        uint8_t reset = 1;
        const int32_t crc = Rl()->SetOption(RL_METHOD_CONTENT_DETECTION, RL_OPTION_CONTENT_CALLBACK, &cb);
        if (crc == RL_OK) Rl()->SetOption(RL_METHOD_CONTENT_DETECTION, RL_OPTION_CONTENT_RESET, &reset);
        if (crc != RL_OK) return std::string("the library refused the content callback: ") + ResultName(crc);
    }
    if (m_row.method == RL_METHOD_SUPER_RESOLUTION && Int("enhanced")) {
        std::string path = CoefficientFile(*this);
        if (path.empty()) return "no enhanced coefficient file found; give one with --option coeffs=FILE";
        const int32_t rc = Rl()->SetOption(RL_METHOD_SUPER_RESOLUTION, RL_OPTION_SR_COEFF_FILE, &path[0]);
        if (rc != RL_OK) return "coefficient file refused by 'sr': " + ResultName(rc) + " (paths of at most 134 characters)";
    }
    for (size_t i = 0; i < m_row.optionCount; ++i) {
        const OptionInfo& o = m_row.options[i];
        if (o.setOption == 0 || (o.def == nullptr && !Given(o.name))) continue;
        int32_t iv = Int(o.name);
        float fv = Float(o.name);
        void* payload = o.type == OptType::kFloat ? static_cast<void*>(&fv) : static_cast<void*>(&iv);
        const int32_t src = Rl()->SetOption(m_row.method, static_cast<RL_EOption>(o.setOption), payload);
        if (src != RL_OK)
            return std::string("option '") + o.name + "' was refused by '" + m_row.name + "': " + ResultName(src);
    }
    return std::string();
}

}  // namespace rvtool
