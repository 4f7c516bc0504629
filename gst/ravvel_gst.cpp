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

// ---- the tables ----

const MethodInfo* const kFilterMethods[] = {&kVideoFilter, &kMia, &kBlur, &kEdge};
const MethodInfo* const kScaleMethods[] = {&kDownsample, &kUpsample};
const MethodInfo* const kAnalyseMethods[] = {&kSceneChange};

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

}  // namespace rvgst
