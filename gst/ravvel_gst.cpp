#include "ravvel_gst.h"

#include <cstring>
#include <string>
#include <vector>

GST_DEBUG_CATEGORY(ravvel_gst_debug);
#define GST_CAT_DEFAULT ravvel_gst_debug

namespace rvgst {

namespace {

template <class T>
T* Record(unsigned char* record)
{
    static_assert(sizeof(T) <= 256, "record storage");
    return reinterpret_cast<T*>(record);
}

// ---- filter: I420 in place ----

void* NoConfig(unsigned char*, int, int, const double*) { return nullptr; }

void* BlurConfig(unsigned char* record, int, int, const double* values)
{
    RLGaussSigma* sigma = Record<RLGaussSigma>(record);
    *sigma = static_cast<float>(values[0]);
    return sigma;
}
const OptionInfo kBlurOptions[] = {
    {"sigma", "Standard deviation of the Gaussian in pixels (below 0.5 counts as 0.5)", static_cast<RL_EOption>(0),
     OptType::kFloat, 0.0, 1000.0, 5.0},
};
const MethodInfo kBlur = {"blur",         "Gaussian blur", Element::kFilter, RL_METHOD_GAUSS_BLUR, false, false,
                          BlurConfig,     kBlurOptions,    1,                nullptr,              1.0,   nullptr};

// The packed source copy has rows of exactly the width.
void* EdgeConfig(unsigned char* record, int w, int h, const double* values)
{
    SRLEdgeConfig* c = Record<SRLEdgeConfig>(record);
    *c = {w, h, w, values[0] != 0, RL_FORMAT_I420};
    return c;
}
// The edge map is grey: chroma goes neutral.
void NeutralChroma(SRLPictureInfo* picture)
{
    const int cw = (picture->iWidth + 1) / 2, ch = (picture->iHeight + 1) / 2;
    for (int p = 1; p < 3; ++p)
        for (int y = 0; y < ch; ++y) std::memset(picture->pData[p] + static_cast<ptrdiff_t>(y) * picture->iStride[p], 128, cw);
}
const OptionInfo kEdgeOptions[] = {
    {"thin", "Thin edges to one pixel (non-maximum suppression)", static_cast<RL_EOption>(0), OptType::kInt, 0, 1, 1},
};
const MethodInfo kEdge = {"edge",     "Sobel edge-strength map", Element::kFilter, RL_METHOD_EDGE, false, false,
                          EdgeConfig, kEdgeOptions,              1,                nullptr,        1.0,   NeutralChroma};

void* VideoFilterConfig(unsigned char* record, int w, int h, const double* values)
{
    SRLVideoFilterConfig* c = Record<SRLVideoFilterConfig>(record);
    *c = {w, h, RL_FORMAT_I420, static_cast<int32_t>(values[0])};
    return c;
}
const OptionInfo kVideoFilterOptions[] = {
    {"mode", "1 black and white, 2 hue angle, 3 sepia, 4 cinnamon, 5 seafoam", RL_OPTION_VIDEO_FILTER_MODE,
     OptType::kInt, 1, 5, 3},
};
const MethodInfo kVideoFilter = {"filter",          "colour looks",      Element::kFilter, RL_METHOD_VIDEO_FILTER,
                                 false,             true,                VideoFilterConfig, kVideoFilterOptions,
                                 1,                 nullptr,             1.0,              nullptr};

void* MiaConfig(unsigned char* record, int w, int h, const double* values)
{
    SRLMiaConfig* c = Record<SRLMiaConfig>(record);
    *c = {w, h, static_cast<int32_t>(values[0]), 50, static_cast<int32_t>(values[2]), RL_FORMAT_I420};
    return c;
}
const OptionInfo kMiaOptions[] = {
    {"brightness", "Brightness, 50 neutral", RL_OPTION_MIA_BRIGHTNESS, OptType::kInt, 0, 200, 50},
    {"contrast", "Contrast, 50 neutral", RL_OPTION_MIA_CONTRAST, OptType::kInt, 0, 200, 50},
    {"saturation", "Saturation, 50 neutral", RL_OPTION_MIA_SATURATION, OptType::kInt, 0, 200, 50},
};
const MethodInfo kMia = {"mia",    "brightness, contrast and saturation", Element::kFilter, RL_METHOD_MIA, false, true,
                         MiaConfig, kMiaOptions, 3, nullptr, 1.0, nullptr};

void* DenoiseConfig(unsigned char* record, int w, int h, const double* values)
{
    SDenoiseConfig* c = Record<SDenoiseConfig>(record);
    *c = {w, h, RL_FORMAT_I420, static_cast<int32_t>(values[0])};
    return c;
}
const OptionInfo kDenoiseOptions[] = {
    {"mode", "0 automatic level, 1..4 fixed level (1 weak, 4 strongest)", static_cast<RL_EOption>(0), OptType::kInt,
     0, 4, 0},
    {"interval", "Frames between noise estimations (automatic level)", RL_OPTION_DENOISE_ESTIMATE_INTERVAL,
     OptType::kInt, 1, 100000, 90},
};
const MethodInfo kDenoise = {"denoise", "spatial and temporal noise reduction", Element::kFilter, RL_METHOD_DENOISE,
                             false,     true,                                   DenoiseConfig,    kDenoiseOptions,
                             2,         nullptr,                                1.0,              nullptr};

void* LcboostConfig(unsigned char* record, int w, int h, const double* v)
{
    SLcboostConfig* c = Record<SLcboostConfig>(record);
    *c = {w,
          h,
          RL_FORMAT_I420,
          static_cast<float>(v[0]),
          static_cast<float>(v[1]),
          static_cast<float>(v[2]),
          static_cast<int32_t>(v[3]),
          static_cast<int32_t>(v[4]),
          static_cast<int32_t>(v[5])};
    return c;
}
const OptionInfo kLcboostOptions[] = {
    {"contrast", "Contrast strength; 0 derives it from the picture", static_cast<RL_EOption>(0), OptType::kFloat, 0,
     4, 1.15},
    {"colour", "Colour (vibrance) strength", static_cast<RL_EOption>(0), OptType::kFloat, 0, 4, 1.1},
    {"cdf-weight", "Histogram equalisation weight", static_cast<RL_EOption>(0), OptType::kFloat, 0.1, 10, 1.1},
    {"brightness", "0 none, 1 equalisation, 2 beta mapping, 3 hybrid", static_cast<RL_EOption>(0), OptType::kInt, 0,
     3, 3},
    {"colour-method", "0 none, 1 chroma gain table", static_cast<RL_EOption>(0), OptType::kInt, 0, 1, 1},
    {"scale-chroma", "Scale chroma with the luma change (0 or 1)", static_cast<RL_EOption>(0), OptType::kInt, 0, 1, 1},
};
const MethodInfo kLcboost = {"lcboost",     "local contrast, brightness and colour boost", Element::kFilter,
                             RL_METHOD_LCBOOST, false, false, LcboostConfig, kLcboostOptions, 6, nullptr, 1.0,
                             nullptr};

void* DebandConfig(unsigned char* record, int w, int h, const double* v)
{
    SFastDebandConfig* c = Record<SFastDebandConfig>(record);
    *c = {w,
          h,
          static_cast<int32_t>(v[0]),
          static_cast<int32_t>(v[1]),
          static_cast<int32_t>(v[2]),
          RL_FORMAT_I420,
          static_cast<int32_t>(v[3]),
          static_cast<int32_t>(v[4])};
    return c;
}
const OptionInfo kDebandOptions[] = {
    {"strength", "Threshold in 1/16 levels (0 off, 1..16 act as 16)", static_cast<RL_EOption>(0), OptType::kInt, 0,
     240, 8},
    {"dither", "Dither amount in 1/16 levels", static_cast<RL_EOption>(0), OptType::kInt, 0, 15, 6},
    {"log2-size", "log2 of the filter span", static_cast<RL_EOption>(0), OptType::kInt, 1, 8, 6},
    {"depth-y", "Extra passes on luma", static_cast<RL_EOption>(0), OptType::kInt, 0, 4, 0},
    {"depth-uv", "Passes on chroma", static_cast<RL_EOption>(0), OptType::kInt, 1, 4, 1},
};
const MethodInfo kDeband = {"deband", "removes banding from smooth gradients", Element::kFilter, RL_METHOD_FAST_DEBAND,
                            false,    false, DebandConfig, kDebandOptions, 5, nullptr, 1.0, nullptr, true};

// ---- scale: I420 to another size ----

const OptionInfo kDownsampleOptions[] = {
    {"sharp", "Sharper filters for the filtered path (0 or 1)", RL_OPTION_LANCZOS_TUNE, OptType::kU8, 0, 1, 0},
};
const MethodInfo kDownsample = {"downsample", "shrinks (default: half size)", Element::kScale,
                                RL_METHOD_DOWNSAMPLING, true, false, NoConfig, kDownsampleOptions, 1, nullptr, 0.5, nullptr};

void* UpsampleConfig(unsigned char* record, int, int, const double* values)
{
    SRLUpsampleConfig* r = Record<SRLUpsampleConfig>(record);
    r->iFilterMode = static_cast<int32_t>(values[0]);
    return r;
}
const OptionInfo kUpsampleOptions[] = {
    {"filter", "1 linear, 2 bilinear, 3 box", static_cast<RL_EOption>(0), OptType::kInt, 1, 3, 1},
};
const MethodInfo kUpsample = {"upsample", "enlarges (default: double size)", Element::kScale, RL_METHOD_UPSAMPLING,
                              false, false, UpsampleConfig, kUpsampleOptions, 1, nullptr, 2.0, nullptr};

const OptionInfo kSrOptions[] = {
    {"simple", "Simple filter for 1.5x (0 or 1)", RL_OPTION_SR_SIMPLE_1PT5, OptType::kU8, 0, 1, 0},
};
const MethodInfo kSuperResolution = {"sr",    "super resolution to exactly 2x (default) or 1.5x the size",
                                     Element::kScale, RL_METHOD_SUPER_RESOLUTION, true, false, NoConfig, kSrOptions,
                                     1,       nullptr, 2.0, nullptr};

// ---- analyse: I420 passes through, results become element messages ----

int32_t AttachNothing(AnalyseState&, RL_EMethod) { return RL_OK; }

int32_t SceneChangeFrame(AnalyseState& state, RL_EMethod method, SRLPictureInfo* current, SRLPictureInfo* previous,
                         GstStructure** message)
{
    const int32_t rc = state.rl->Process(method, current, previous, nullptr);
    if (rc != RL_OK) return rc;
    int32_t level = 0;
    float ratio = 0.0f;
    state.rl->GetOption(method, RL_OPTION_SCENE_CHANGE_LEVEL, &level);
    state.rl->GetOption(method, RL_OPTION_SCENE_CHANGE_RATIO, &ratio);
    *message = gst_structure_new("ravvel-scenechange", "frame", G_TYPE_UINT64, state.frame, "level", G_TYPE_INT,
                                 level, "ratio", G_TYPE_DOUBLE, static_cast<double>(ratio), nullptr);
    return RL_OK;
}
const AnalyseHooks kSceneChangeHooks = {AttachNothing, SceneChangeFrame};
const MethodInfo kSceneChange = {"scenechange",
                                 "scene-change level and changed-block ratio against the previous frame, every frame",
                                 Element::kAnalyse,
                                 RL_METHOD_SCENE_CHANGE_DETECTION,
                                 false,
                                 true,
                                 NoConfig,
                                 nullptr,
                                 0,
                                 &kSceneChangeHooks,
                                 1.0,
                                 nullptr};

// Content: the library calls back on every change of its verdict.
void OnContent(void* context, int32_t content)
{
    AnalyseState* state = static_cast<AnalyseState*>(context);
    state->content = content;
    state->contentReported = true;
}
int32_t AttachContent(AnalyseState& state, RL_EMethod method)
{
    SRLContentCallback cb = {&OnContent, &state};
    uint8_t reset = 1;
    const int32_t rc = state.rl->SetOption(method, RL_OPTION_CONTENT_CALLBACK, &cb);
    return rc != RL_OK ? rc : state.rl->SetOption(method, RL_OPTION_CONTENT_RESET, &reset);
}
int32_t ContentFrame(AnalyseState& state, RL_EMethod method, SRLPictureInfo* current, SRLPictureInfo*,
                     GstStructure** message)
{
    state.contentReported = false;
    const int32_t rc = state.rl->Process(method, current, nullptr, nullptr);
    if (rc == RL_OK && state.contentReported)
        *message = gst_structure_new("ravvel-content", "frame", G_TYPE_UINT64, state.frame, "text", G_TYPE_BOOLEAN,
                                     state.content == RL_CONTENT_TEXT, nullptr);
    return rc;
}
void* ContentConfig(unsigned char* record, int w, int h, const double*)
{
    SRLContentDetectionConfig* c = Record<SRLContentDetectionConfig>(record);
    c->iWidth = w;
    c->iHeight = h;
    c->eFormat = RL_FORMAT_I420;
    return c;
}
const AnalyseHooks kContentHooks = {AttachContent, ContentFrame};
const MethodInfo kContent = {"content", "text or natural video, posted when the verdict changes", Element::kAnalyse,
                             RL_METHOD_CONTENT_DETECTION, false, true, ContentConfig, nullptr, 0, &kContentHooks, 1.0,
                             nullptr};

// Flicker: the verdict of every frame.
int32_t FlickerFrame(AnalyseState& state, RL_EMethod method, SRLPictureInfo* current, SRLPictureInfo*,
                     GstStructure** message)
{
    const int32_t rc = state.rl->Process(method, current, nullptr, nullptr);
    if (rc != RL_OK) return rc;
    int32_t flicker = 0;
    state.rl->GetOption(method, RL_OPTION_FLICKER_RESULT, &flicker);
    *message = gst_structure_new("ravvel-flicker", "frame", G_TYPE_UINT64, state.frame, "flicker", G_TYPE_BOOLEAN,
                                 flicker != 0, nullptr);
    return RL_OK;
}
void* FlickerConfig(unsigned char* record, int w, int h, const double* v)
{
    SRLFlickerDetectConfig* c = Record<SRLFlickerDetectConfig>(record);
    c->width = w;
    c->height = h;
    c->window_frames = static_cast<int32_t>(v[0]);
    c->grid_columns = static_cast<int32_t>(v[1]);
    c->grid_rows = static_cast<int32_t>(v[2]);
    c->grace_period = static_cast<int32_t>(v[3]);
    for (float& t : c->winsum_threshold_yuv) t = static_cast<float>(v[4]);
    c->format = RL_FORMAT_I420;
    return c;
}
const OptionInfo kFlickerOptions[] = {
    {"window", "Window length in frames", static_cast<RL_EOption>(0), OptType::kInt, 1, 512, 5},
    {"columns", "Region grid columns", static_cast<RL_EOption>(0), OptType::kInt, 1, 32, 3},
    {"rows", "Region grid rows", static_cast<RL_EOption>(0), OptType::kInt, 1, 32, 3},
    {"grace", "Frames the verdict holds after flicker", static_cast<RL_EOption>(0), OptType::kInt, 0, 10000, 30},
    {"threshold", "Region MSE sum per window for Y, U and V (1000 suits 1920x1080)", static_cast<RL_EOption>(0),
     OptType::kFloat, 0, 1e9, 1000},
};
const AnalyseHooks kFlickerHooks = {AttachNothing, FlickerFrame};
const MethodInfo kFlicker = {"flicker", "whether region brightness keeps jumping, every frame", Element::kAnalyse,
                             RL_METHOD_FLICKER_DETECT, false, true, FlickerConfig, kFlickerOptions, 5, &kFlickerHooks,
                             1.0, nullptr};

// Motion: the library converts each frame to planar RGB, then tests the
// boundary of the centred rectangle of half the width and height.
int32_t AttachMotion(AnalyseState& state, RL_EMethod method)
{
    const int32_t rc = state.rl->Init(RL_METHOD_COLOR_SPACE_CONVERT, nullptr, false);
    return rc != RL_OK ? rc : state.rl->SetOption(method, RL_OPTION_MOTION_RESULT, &state.motion);
}
int32_t MotionFrame(AnalyseState& state, RL_EMethod method, SRLPictureInfo* current, SRLPictureInfo*,
                    GstStructure** message)
{
    const int w = current->iWidth, h = current->iHeight;
    const gsize plane = static_cast<gsize>(w) * h;
    if (state.planes == nullptr || state.planesWidth != w || state.planesHeight != h) {
        g_free(state.planes);
        state.planes = static_cast<guint8*>(g_malloc0(4 * plane));
        state.planesSize = 4 * plane;
        state.planesWidth = w;
        state.planesHeight = h;
        guint8* mask = state.planes + 3 * plane;
        for (int y = h / 4; y < h / 4 + h / 2; ++y) std::memset(mask + static_cast<gsize>(y) * w + w / 4, 255, w / 2);
    }
    SRLPictureInfo rgb;
    std::memset(&rgb, 0, sizeof rgb);
    rgb.eFormat = RL_FORMAT_RGB_PLANAR;
    rgb.iWidth = w;
    rgb.iHeight = h;
    for (int p = 0; p < 3; ++p) {
        rgb.pData[p] = state.planes + p * plane;
        rgb.iStride[p] = w;
    }
    int32_t rc = state.rl->Process(RL_METHOD_COLOR_SPACE_CONVERT, current, &rgb, nullptr);
    if (rc != RL_OK) return rc;
    rgb.pMask = state.planes + 3 * plane;
    rgb.iMaskWidth = w;
    rgb.iMaskHeight = h;
    rc = state.rl->Process(method, &rgb, nullptr, nullptr);
    if (rc != RL_OK) return rc;
    *message = gst_structure_new("ravvel-motion", "frame", G_TYPE_UINT64, state.frame, "changed", G_TYPE_BOOLEAN,
                                 state.motion != 0, nullptr);
    return RL_OK;
}
void* MotionConfig(unsigned char* record, int w, int h, const double* v)
{
    SRLMotionDetectConfig* c = Record<SRLMotionDetectConfig>(record);
    c->width = w;
    c->height = h;
    c->min_predict_step = static_cast<int32_t>(v[0]);
    c->area_threshold = v[1];
    return c;
}
const OptionInfo kMotionOptions[] = {
    {"min-step", "Frames after a reported change before the next test", static_cast<RL_EOption>(0), OptType::kInt, 0,
     100, 0},
    {"area", "Fraction of boundary pixels that must change", static_cast<RL_EOption>(0), OptType::kFloat, 0, 1, 0.2},
};
const AnalyseHooks kMotionHooks = {AttachMotion, MotionFrame};
const MethodInfo kMotion = {"motion",
                            "change along the boundary of the centred half-size rectangle since the stored reference, "
                            "every frame",
                            Element::kAnalyse,
                            RL_METHOD_MOTION_DETECT,
                            false,
                            true,
                            MotionConfig,
                            kMotionOptions,
                            2,
                            &kMotionHooks,
                            1.0,
                            nullptr};

// ---- the tables ----

const MethodInfo* const kFilterMethods[] = {&kDenoise, &kLcboost, &kDeband, &kVideoFilter, &kMia, &kBlur, &kEdge};
const MethodInfo* const kScaleMethods[] = {&kDownsample, &kUpsample, &kSuperResolution};
const MethodInfo* const kAnalyseMethods[] = {&kSceneChange, &kContent, &kMotion, &kFlicker};

struct OptionRef {
    const MethodInfo* method;
    const OptionInfo* option;
    size_t index;
};

std::vector<OptionRef> OptionsOf(Element element)
{
    std::vector<OptionRef> out;
    size_t n = 0;
    const MethodInfo* const* methods = MethodsOf(element, &n);
    for (size_t m = 0; m < n; ++m)
        for (size_t o = 0; o < methods[m]->optionCount; ++o)
            out.push_back({methods[m], &methods[m]->options[o], out.size()});
    return out;
}

void LogToGst(void* instance, RL_ETraceLevel level, const char* message)
{
    GstElement* owner = static_cast<GstElement*>(instance);
    if (level <= RL_TRACE_WARNING)
        GST_WARNING_OBJECT(owner, "%s", message);
    else
        GST_DEBUG_OBJECT(owner, "%s", message);
}

}  // namespace

const MethodInfo* const* MethodsOf(Element element, size_t* count)
{
    switch (element) {
    case Element::kFilter: *count = G_N_ELEMENTS(kFilterMethods); return kFilterMethods;
    case Element::kScale: *count = G_N_ELEMENTS(kScaleMethods); return kScaleMethods;
    default: *count = G_N_ELEMENTS(kAnalyseMethods); return kAnalyseMethods;
    }
}

GType MethodEnumType(Element element)
{
    static GType types[3] = {0, 0, 0};
    const int e = static_cast<int>(element);
    if (g_once_init_enter(&types[e])) {
        size_t n = 0;
        const MethodInfo* const* methods = MethodsOf(element, &n);
        GEnumValue* values = g_new0(GEnumValue, n + 1);
        for (size_t i = 0; i < n; ++i) {
            values[i].value = static_cast<gint>(i);
            values[i].value_name = methods[i]->summary;
            values[i].value_nick = methods[i]->name;
        }
        const char* names[] = {"GstRavvelFilterMethod", "GstRavvelScaleMethod", "GstRavvelAnalyseMethod"};
        g_once_init_leave(&types[e], g_enum_register_static(names[e], values));
    }
    return types[e];
}

void InstallOptionProperties(GObjectClass* klass, Element element, guint firstId)
{
    for (const OptionRef& r : OptionsOf(element)) {
        const std::string name = std::string(r.method->name) + "-" + r.option->name;
        const GParamFlags flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
        GParamSpec* param = nullptr;
        const char* nick = g_intern_string(name.c_str());
        if (r.option->type == OptType::kFloat)
            param = g_param_spec_double(nick, nick, r.option->blurb, r.option->min, r.option->max, r.option->def, flags);
        else
            param = g_param_spec_int(nick, nick, r.option->blurb, static_cast<gint>(r.option->min),
                                    static_cast<gint>(r.option->max), static_cast<gint>(r.option->def), flags);
        g_object_class_install_property(klass, firstId + static_cast<guint>(r.index), param);
    }
}

void ResetOptionValues(Element element, OptionValues* values)
{
    for (const OptionRef& r : OptionsOf(element)) {
        values->value[r.index] = r.option->def;
        values->dirty[r.index] = false;
    }
}

bool SetOptionProperty(Element element, guint firstId, guint propId, const GValue* v, OptionValues* values,
                       bool* reinit)
{
    if (propId < firstId) return false;
    const size_t index = propId - firstId;
    const std::vector<OptionRef> options = OptionsOf(element);
    if (index >= options.size() || index >= G_N_ELEMENTS(values->value)) return false;
    values->value[index] = options[index].option->type == OptType::kFloat ? g_value_get_double(v) : g_value_get_int(v);
    values->dirty[index] = true;
    *reinit = options[index].option->option == 0;
    return true;
}

bool GetOptionProperty(Element element, guint firstId, guint propId, GValue* v, const OptionValues* values)
{
    if (propId < firstId) return false;
    const size_t index = propId - firstId;
    const std::vector<OptionRef> options = OptionsOf(element);
    if (index >= options.size()) return false;
    if (options[index].option->type == OptType::kFloat)
        g_value_set_double(v, values->value[index]);
    else
        g_value_set_int(v, static_cast<gint>(values->value[index]));
    return true;
}

size_t FirstOptionIndex(Element element, const MethodInfo& method)
{
    for (const OptionRef& r : OptionsOf(element))
        if (r.method == &method) return r.index;
    return 0;
}

void ApplyOptions(IRavvel* rl, Element element, const MethodInfo& method, OptionValues* values, bool all,
                  GstElement* owner)
{
    const size_t first = FirstOptionIndex(element, method);
    for (size_t o = 0; o < method.optionCount; ++o) {
        const OptionInfo& opt = method.options[o];
        const size_t i = first + o;
        if (opt.option == 0 || (!all && !values->dirty[i])) continue;
        values->dirty[i] = false;
        int32_t asInt = static_cast<int32_t>(values->value[i]);
        float asFloat = static_cast<float>(values->value[i]);
        uint8_t asByte = static_cast<uint8_t>(values->value[i]);
        void* payload = opt.type == OptType::kFloat ? static_cast<void*>(&asFloat)
                        : opt.type == OptType::kU8  ? static_cast<void*>(&asByte)
                                                     : static_cast<void*>(&asInt);
        const int32_t rc = rl->SetOption(method.method, opt.option, payload);
        if (rc != RL_OK) GST_WARNING_OBJECT(owner, "%s-%s: the library refused %g (%d)", method.name, opt.name,
                                            values->value[i], rc);
    }
}

IRavvel* CreateLibrary(GstElement* owner)
{
    IRavvel* rl = nullptr;
    if (CreateRavvel(&rl) != RL_OK || rl == nullptr) return nullptr;
    RLLogCallbackFunc fn = &LogToGst;
    void* instance = owner;
    rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK, &fn);
    rl->SetOption(RL_METHOD_ALL, RL_OPTION_LOG_CALLBACK_INSTANCE, &instance);
    return rl;
}

void HostReset(MethodHost* host, Element element)
{
    host->element = element;
    host->method = 0;
    ResetOptionValues(element, &host->values);
    host->rl = nullptr;
    host->inited = false;
    host->reinit = true;
}

void InstallHostProperties(GObjectClass* klass, Element element, const char* blurb)
{
    g_object_class_install_property(klass, PROP_METHOD,
                                    g_param_spec_enum("method", "Method", blurb, MethodEnumType(element), 0,
                                                      static_cast<GParamFlags>(G_PARAM_READWRITE |
                                                                               G_PARAM_STATIC_STRINGS)));
    InstallOptionProperties(klass, element, PROP_FIRST_OPTION);
}

void HostSetProperty(GObject* object, MethodHost* host, guint id, const GValue* value, GParamSpec* pspec)
{
    GST_OBJECT_LOCK(object);
    bool reinit = false;
    if (id == PROP_METHOD) {
        host->method = g_value_get_enum(value);
        host->reinit = true;
    } else if (SetOptionProperty(host->element, PROP_FIRST_OPTION, id, value, &host->values, &reinit)) {
        host->reinit = host->reinit || reinit;
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(object);
}

void HostGetProperty(GObject* object, MethodHost* host, guint id, GValue* value, GParamSpec* pspec)
{
    GST_OBJECT_LOCK(object);
    if (id == PROP_METHOD)
        g_value_set_enum(value, host->method);
    else if (!GetOptionProperty(host->element, PROP_FIRST_OPTION, id, value, &host->values))
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    GST_OBJECT_UNLOCK(object);
}

gboolean HostStart(GstElement* owner, MethodHost* host)
{
    host->rl = CreateLibrary(owner);
    host->inited = false;
    if (host->rl == nullptr) {
        GST_ELEMENT_ERROR(owner, RESOURCE, FAILED, ("Could not create the library object"), (nullptr));
        return FALSE;
    }
    return TRUE;
}

void HostStop(MethodHost* host)
{
    if (host->rl) DestroyRavvel(host->rl);
    host->rl = nullptr;
    host->inited = false;
}

const MethodInfo& Selected(const MethodHost* host)
{
    size_t n = 0;
    return *MethodsOf(host->element, &n)[host->method];
}

bool EnsureInit(GstElement* owner, MethodHost* host, int w, int h, bool initFlag, bool* fresh)
{
    const MethodInfo& m = Selected(host);
    *fresh = false;
    if (host->inited && !host->reinit) {
        ApplyOptions(host->rl, host->element, m, &host->values, false, owner);
        return true;
    }
    // Every method this element may have run goes, so that a switch starts afresh.
    size_t n = 0;
    const MethodInfo* const* all = MethodsOf(host->element, &n);
    for (size_t i = 0; i < n; ++i) host->rl->Uninit(all[i]->method);
    alignas(16) unsigned char record[256] = {};
    const double* values = host->values.value + FirstOptionIndex(host->element, m);
    const int32_t rc = host->rl->Init(m.method, m.makeConfig(record, w, h, values), initFlag);
    if (rc != RL_OK) {
        GST_WARNING_OBJECT(owner, "%s refused its configuration (%d)", m.name, rc);
        return false;
    }
    ApplyOptions(host->rl, host->element, m, &host->values, true, owner);
    host->inited = true;
    host->reinit = false;
    *fresh = true;
    return true;
}

void AddI420Pads(GstElementClass* klass)
{
    GstCaps* caps = gst_caps_from_string(GST_VIDEO_CAPS_MAKE("I420"));
    gst_element_class_add_pad_template(klass, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(klass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
}

SRLPictureInfo Describe(GstVideoFrame* frame)
{
    SRLPictureInfo p;
    std::memset(&p, 0, sizeof p);
    for (int i = 0; i < 3; ++i) {
        p.pData[i] = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, i));
        p.iStride[i] = GST_VIDEO_FRAME_PLANE_STRIDE(frame, i);
    }
    p.iWidth = GST_VIDEO_FRAME_WIDTH(frame);
    p.iHeight = GST_VIDEO_FRAME_HEIGHT(frame);
    p.eFormat = RL_FORMAT_I420;
    return p;
}

SRLPictureInfo PackedCopy(const SRLPictureInfo& picture, guint8** buffer, gsize* capacity)
{
    const int w = picture.iWidth, h = picture.iHeight, cw = (w + 1) / 2, ch = (h + 1) / 2;
    const gsize bytes = static_cast<gsize>(w) * h + 2 * static_cast<gsize>(cw) * ch;
    if (*capacity < bytes) {
        g_free(*buffer);
        *buffer = static_cast<guint8*>(g_malloc(bytes));
        *capacity = bytes;
    }
    SRLPictureInfo copy = picture;
    const int rows[3] = {h, ch, ch}, rowBytes[3] = {w, cw, cw};
    guint8* at = *buffer;
    for (int p = 0; p < 3; ++p) {
        copy.pData[p] = at;
        copy.iStride[p] = rowBytes[p];
        for (int y = 0; y < rows[p]; ++y, at += rowBytes[p])
            std::memcpy(at, picture.pData[p] + static_cast<gsize>(y) * picture.iStride[p], rowBytes[p]);
    }
    return copy;
}

void CopyPixels(const SRLPictureInfo& from, const SRLPictureInfo& to)
{
    const int w = from.iWidth, h = from.iHeight, cw = (w + 1) / 2, ch = (h + 1) / 2;
    const int rows[3] = {h, ch, ch}, rowBytes[3] = {w, cw, cw};
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < rows[p]; ++y)
            std::memcpy(to.pData[p] + static_cast<gsize>(y) * to.iStride[p],
                        from.pData[p] + static_cast<gsize>(y) * from.iStride[p], rowBytes[p]);
}

SRLPictureInfo AlignedCopy(const SRLPictureInfo& picture, guint8** buffer, gsize* capacity, bool copyPixels)
{
    const int w = picture.iWidth, h = picture.iHeight, cw = (w + 1) / 2, ch = (h + 1) / 2;
    const gsize ys = (static_cast<gsize>(w) + 63) & ~static_cast<gsize>(63);
    const gsize cs = (static_cast<gsize>(cw) + 63) & ~static_cast<gsize>(63);
    const gsize bytes = ys * h + 2 * cs * ch + 64;
    if (*capacity < bytes) {
        g_free(*buffer);
        *buffer = static_cast<guint8*>(g_malloc0(bytes));
        *capacity = bytes;
    }
    guint8* base = reinterpret_cast<guint8*>((reinterpret_cast<guintptr>(*buffer) + 63) & ~static_cast<guintptr>(63));
    SRLPictureInfo copy = picture;
    copy.pData[0] = base;
    copy.pData[1] = base + ys * h;
    copy.pData[2] = copy.pData[1] + cs * ch;
    copy.iStride[0] = static_cast<int32_t>(ys);
    copy.iStride[1] = copy.iStride[2] = static_cast<int32_t>(cs);
    if (copyPixels) CopyPixels(picture, copy);
    return copy;
}

}  // namespace rvgst
