// ravvelscale: the library's scalers on I420 video. The output size comes from
// downstream caps when they fix it, else from the method's natural ratio.
#include "ravvelscale.h"

#include "ravvel_gst.h"

GST_DEBUG_CATEGORY_EXTERN(ravvel_gst_debug);
#define GST_CAT_DEFAULT ravvel_gst_debug

using rvgst::Element;

struct _GstRavvelScale {
    GstVideoFilter parent;
    gint method;
    rvgst::OptionValues values;
    IRavvel* rl;
    bool inited;
    bool reinit;
};

G_DEFINE_TYPE(GstRavvelScale, gst_ravvel_scale, GST_TYPE_VIDEO_FILTER)

namespace {

enum { PROP_0, PROP_METHOD, PROP_FIRST_OPTION };

const rvgst::MethodSpec& Method(GstRavvelScale* self)
{
    size_t n = 0;
    return *rvgst::MethodsOf(Element::kScale, &n)[self->method];
}

// The natural output size of a method for an input size (even sides).
void NaturalSize(const rvgst::MethodSpec& m, int w, int h, int* ow, int* oh)
{
    double scale = 0.5;
    if (m.method == RL_METHOD_UPSAMPLING) scale = 2.0;
    *ow = (static_cast<int>(w * scale) + 1) & ~1;
    *oh = (static_cast<int>(h * scale) + 1) & ~1;
    if (*ow < 2) *ow = 2;
    if (*oh < 2) *oh = 2;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    GstRavvelScale* self = GST_RAVVEL_SCALE(object);
    GST_OBJECT_LOCK(self);
    bool reinit = false;
    if (id == PROP_METHOD) {
        self->method = g_value_get_enum(value);
        self->reinit = true;
    } else if (rvgst::SetOptionProperty(Element::kScale, PROP_FIRST_OPTION, id, value, &self->values, &reinit)) {
        self->reinit = self->reinit || reinit;
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(self);
    if (id == PROP_METHOD) gst_base_transform_reconfigure_src(GST_BASE_TRANSFORM(object));
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    GstRavvelScale* self = GST_RAVVEL_SCALE(object);
    GST_OBJECT_LOCK(self);
    if (id == PROP_METHOD)
        g_value_set_enum(value, self->method);
    else if (!rvgst::GetOptionProperty(Element::kScale, PROP_FIRST_OPTION, id, value, &self->values))
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    GST_OBJECT_UNLOCK(self);
}

// Either side may take any size: the other pad's width and height are open.
GstCaps* TransformCaps(GstBaseTransform*, GstPadDirection, GstCaps* caps, GstCaps* filter)
{
    GstCaps* out = gst_caps_copy(caps);
    for (guint i = 0; i < gst_caps_get_size(out); ++i) {
        GstStructure* s = gst_caps_get_structure(out, i);
        gst_structure_set(s, "width", GST_TYPE_INT_RANGE, 2, 16384, "height", GST_TYPE_INT_RANGE, 2, 16384, nullptr);
        gst_structure_remove_field(s, "pixel-aspect-ratio");
    }
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, out, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(out);
        out = both;
    }
    return out;
}

GstCaps* FixateCaps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps, GstCaps* othercaps)
{
    GstRavvelScale* self = GST_RAVVEL_SCALE(trans);
    othercaps = gst_caps_truncate(gst_caps_make_writable(othercaps));
    GstStructure* in = gst_caps_get_structure(caps, 0);
    GstStructure* out = gst_caps_get_structure(othercaps, 0);
    int w = 0, h = 0;
    if (direction == GST_PAD_SINK && gst_structure_get_int(in, "width", &w) && gst_structure_get_int(in, "height", &h)) {
        GST_OBJECT_LOCK(self);
        int ow = 0, oh = 0;
        NaturalSize(Method(self), w, h, &ow, &oh);
        GST_OBJECT_UNLOCK(self);
        gst_structure_fixate_field_nearest_int(out, "width", ow);
        gst_structure_fixate_field_nearest_int(out, "height", oh);
    }
    return gst_caps_fixate(othercaps);
}

gboolean Start(GstBaseTransform* trans)
{
    GstRavvelScale* self = GST_RAVVEL_SCALE(trans);
    self->rl = rvgst::CreateLibrary(GST_ELEMENT(trans));
    if (self->rl == nullptr) {
        GST_ELEMENT_ERROR(trans, RESOURCE, FAILED, ("Could not create the library object"), (nullptr));
        return FALSE;
    }
    self->inited = false;
    return TRUE;
}

gboolean Stop(GstBaseTransform* trans)
{
    GstRavvelScale* self = GST_RAVVEL_SCALE(trans);
    if (self->rl) DestroyRavvel(self->rl);
    self->rl = nullptr;
    self->inited = false;
    return TRUE;
}

gboolean SetInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo* in, GstCaps*, GstVideoInfo* out)
{
    GstRavvelScale* self = GST_RAVVEL_SCALE(filter);
    GST_OBJECT_LOCK(self);
    self->reinit = true;
    GST_OBJECT_UNLOCK(self);
    // Same size: nothing to do, frames pass through untouched.
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(filter),
                                       GST_VIDEO_INFO_WIDTH(in) == GST_VIDEO_INFO_WIDTH(out) &&
                                           GST_VIDEO_INFO_HEIGHT(in) == GST_VIDEO_INFO_HEIGHT(out));
    return TRUE;
}

GstFlowReturn TransformFrame(GstVideoFilter* filter, GstVideoFrame* inFrame, GstVideoFrame* outFrame)
{
    GstRavvelScale* self = GST_RAVVEL_SCALE(filter);
    const int w = GST_VIDEO_FRAME_WIDTH(inFrame), h = GST_VIDEO_FRAME_HEIGHT(inFrame);
    GST_OBJECT_LOCK(self);
    const rvgst::MethodSpec& m = Method(self);
    bool ok = true;
    if (!self->inited || self->reinit) {
        size_t n = 0;
        const rvgst::MethodSpec* const* all = rvgst::MethodsOf(Element::kScale, &n);
        for (size_t i = 0; i < n; ++i) self->rl->Uninit(all[i]->method);
        alignas(16) unsigned char record[256] = {};
        const double* values = self->values.value + rvgst::FirstOptionIndex(Element::kScale, m);
        // The scalers write our output planes (Init's flag true where it matters).
        const int32_t rc = self->rl->Init(m.method, m.makeConfig(record, w, h, values), true);
        ok = rc == RL_OK;
        if (ok) {
            rvgst::ApplyOptions(self->rl, Element::kScale, m, &self->values, true, GST_ELEMENT(self));
            self->inited = true;
            self->reinit = false;
        }
    } else {
        rvgst::ApplyOptions(self->rl, Element::kScale, m, &self->values, false, GST_ELEMENT(self));
    }
    GST_OBJECT_UNLOCK(self);
    if (!ok) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s refused its configuration", m.name), (nullptr));
        return GST_FLOW_ERROR;
    }
    SRLPictureInfo src = rvgst::Describe(inFrame), dst = rvgst::Describe(outFrame);
    const int32_t rc = self->rl->Process(m.method, &src, &dst, nullptr);
    if (rc != RL_OK) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED,
                          ("%s cannot take %dx%d to %dx%d (%d)", m.name, w, h, dst.iWidth, dst.iHeight, rc), (nullptr));
        return GST_FLOW_ERROR;
    }
    return GST_FLOW_OK;
}

void Finalize(GObject* object)
{
    Stop(GST_BASE_TRANSFORM(object));
    G_OBJECT_CLASS(gst_ravvel_scale_parent_class)->finalize(object);
}

}  // namespace

static void gst_ravvel_scale_class_init(GstRavvelScaleClass* klass)
{
    GObjectClass* gobject = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* trans = GST_BASE_TRANSFORM_CLASS(klass);
    GstVideoFilterClass* video = GST_VIDEO_FILTER_CLASS(klass);
    gobject->set_property = SetProperty;
    gobject->get_property = GetProperty;
    gobject->finalize = Finalize;
    g_object_class_install_property(
        gobject, PROP_METHOD,
        g_param_spec_enum("method", "Method", "The library scaler", rvgst::MethodEnumType(Element::kScale), 0,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    rvgst::InstallOptionProperties(gobject, Element::kScale, PROP_FIRST_OPTION);
    gst_element_class_set_static_metadata(element, "Ravvel scaler", "Filter/Converter/Video/Scaler",
                                          "Downsampling, upsampling and super resolution of the Ravvel library",
                                          "Ravvel developers");
    GstCaps* caps = gst_caps_from_string(GST_VIDEO_CAPS_MAKE("I420"));
    gst_element_class_add_pad_template(element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
    trans->start = Start;
    trans->stop = Stop;
    trans->transform_caps = TransformCaps;
    trans->fixate_caps = FixateCaps;
    video->set_info = SetInfo;
    video->transform_frame = TransformFrame;
}

static void gst_ravvel_scale_init(GstRavvelScale* self)
{
    self->method = 0;
    rvgst::ResetOptionValues(Element::kScale, &self->values);
    self->rl = nullptr;
    self->inited = false;
    self->reinit = true;
}
