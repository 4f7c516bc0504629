// ravvelfilter: one picture-to-picture method of the library on I420 video,
// in place. Methods that read one picture and write another get a private
// copy of the frame as their source.
#include <cstring>

#include "ravvel_gst.h"
#include "ravvelfilter.h"

GST_DEBUG_CATEGORY_EXTERN(ravvel_gst_debug);
#define GST_CAT_DEFAULT ravvel_gst_debug

using rvgst::Element;

struct _GstRavvelFilter {
    GstVideoFilter parent;
    gint method;
    rvgst::OptionValues values;
    IRavvel* rl;
    bool inited;
    bool reinit;
    guint8* copy;
    gsize copySize;
};

G_DEFINE_TYPE(GstRavvelFilter, gst_ravvel_filter, GST_TYPE_VIDEO_FILTER)

namespace {

enum { PROP_0, PROP_METHOD, PROP_FIRST_OPTION };

const rvgst::MethodSpec& Method(GstRavvelFilter* self)
{
    size_t n = 0;
    return *rvgst::MethodsOf(Element::kFilter, &n)[self->method];
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    GstRavvelFilter* self = GST_RAVVEL_FILTER(object);
    GST_OBJECT_LOCK(self);
    bool reinit = false;
    if (id == PROP_METHOD) {
        self->method = g_value_get_enum(value);
        self->reinit = true;
    } else if (rvgst::SetOptionProperty(Element::kFilter, PROP_FIRST_OPTION, id, value, &self->values, &reinit)) {
        self->reinit = self->reinit || reinit;
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(self);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    GstRavvelFilter* self = GST_RAVVEL_FILTER(object);
    GST_OBJECT_LOCK(self);
    if (id == PROP_METHOD)
        g_value_set_enum(value, self->method);
    else if (!rvgst::GetOptionProperty(Element::kFilter, PROP_FIRST_OPTION, id, value, &self->values))
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    GST_OBJECT_UNLOCK(self);
}

gboolean Start(GstBaseTransform* trans)
{
    GstRavvelFilter* self = GST_RAVVEL_FILTER(trans);
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
    GstRavvelFilter* self = GST_RAVVEL_FILTER(trans);
    if (self->rl) DestroyRavvel(self->rl);
    self->rl = nullptr;
    g_free(self->copy);
    self->copy = nullptr;
    self->copySize = 0;
    self->inited = false;
    return TRUE;
}

gboolean SetInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo*, GstCaps*, GstVideoInfo*)
{
    GstRavvelFilter* self = GST_RAVVEL_FILTER(filter);
    GST_OBJECT_LOCK(self);
    self->reinit = true;  // the size may have changed
    GST_OBJECT_UNLOCK(self);
    return TRUE;
}

bool EnsureInit(GstRavvelFilter* self, int w, int h)
{
    const rvgst::MethodSpec& m = Method(self);
    if (self->inited && !self->reinit) {
        rvgst::ApplyOptions(self->rl, Element::kFilter, m, &self->values, false, GST_ELEMENT(self));
        return true;
    }
    // Every method this element ever ran goes, so that a switch starts afresh.
    size_t n = 0;
    const rvgst::MethodSpec* const* all = rvgst::MethodsOf(Element::kFilter, &n);
    for (size_t i = 0; i < n; ++i) self->rl->Uninit(all[i]->method);
    alignas(16) unsigned char record[256] = {};
    const double* values = self->values.value + rvgst::FirstOptionIndex(Element::kFilter, m);
    const int32_t rc = self->rl->Init(m.method, m.makeConfig(record, w, h, values), m.initFlag);
    if (rc != RL_OK) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s refused its configuration (%d)", m.name, rc), (nullptr));
        return false;
    }
    rvgst::ApplyOptions(self->rl, Element::kFilter, m, &self->values, true, GST_ELEMENT(self));
    self->inited = true;
    self->reinit = false;
    return true;
}

GstFlowReturn TransformFrameIp(GstVideoFilter* filter, GstVideoFrame* frame)
{
    GstRavvelFilter* self = GST_RAVVEL_FILTER(filter);
    const int w = GST_VIDEO_FRAME_WIDTH(frame), h = GST_VIDEO_FRAME_HEIGHT(frame);
    GST_OBJECT_LOCK(self);
    const bool ok = EnsureInit(self, w, h);
    const rvgst::MethodSpec& m = Method(self);
    GST_OBJECT_UNLOCK(self);
    if (!ok) return GST_FLOW_ERROR;

    SRLPictureInfo dst = rvgst::Describe(frame);
    SRLPictureInfo src = dst;
    if (!m.inPlace) {
        // The source is a tightly packed copy of the frame.
        const gsize cw = (w + 1) / 2, ch = (h + 1) / 2;
        const gsize bytes = static_cast<gsize>(w) * h + 2 * cw * ch;
        if (self->copySize < bytes) {
            g_free(self->copy);
            self->copy = static_cast<guint8*>(g_malloc(bytes));
            self->copySize = bytes;
        }
        const int rows[3] = {h, static_cast<int>(ch), static_cast<int>(ch)};
        const int rowBytes[3] = {w, static_cast<int>(cw), static_cast<int>(cw)};
        guint8* at = self->copy;
        for (int p = 0; p < 3; ++p) {
            src.pData[p] = at;
            src.iStride[p] = rowBytes[p];
            for (int y = 0; y < rows[p]; ++y, at += rowBytes[p])
                std::memcpy(at, dst.pData[p] + static_cast<gsize>(y) * dst.iStride[p], rowBytes[p]);
        }
    }
    const int32_t rc = self->rl->Process(m.method, &src, &dst, nullptr);
    if (rc != RL_OK) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("%s failed on a %dx%d frame (%d)", m.name, w, h, rc), (nullptr));
        return GST_FLOW_ERROR;
    }
    return GST_FLOW_OK;
}

void Finalize(GObject* object)
{
    Stop(GST_BASE_TRANSFORM(object));
    G_OBJECT_CLASS(gst_ravvel_filter_parent_class)->finalize(object);
}

}  // namespace

static void gst_ravvel_filter_class_init(GstRavvelFilterClass* klass)
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
        g_param_spec_enum("method", "Method", "The library method applied to every frame",
                          rvgst::MethodEnumType(Element::kFilter), 0,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    rvgst::InstallOptionProperties(gobject, Element::kFilter, PROP_FIRST_OPTION);
    gst_element_class_set_static_metadata(element, "Ravvel filter", "Filter/Effect/Video",
                                          "Enhancement and effects of the Ravvel library on I420 video, in place",
                                          "Ravvel developers");
    GstCaps* caps = gst_caps_from_string(GST_VIDEO_CAPS_MAKE("I420"));
    gst_element_class_add_pad_template(element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
    trans->start = Start;
    trans->stop = Stop;
    video->set_info = SetInfo;
    video->transform_frame_ip = TransformFrameIp;
}

static void gst_ravvel_filter_init(GstRavvelFilter* self)
{
    self->method = 0;
    rvgst::ResetOptionValues(Element::kFilter, &self->values);
    self->rl = nullptr;
    self->inited = false;
    self->reinit = true;
    self->copy = nullptr;
    self->copySize = 0;
}
