// ravvelanalyse: the library's analysis methods on I420 video. Frames pass
// through untouched; each result is posted on the bus as an element message
// named "ravvel-<method>".
#include "ravvelanalyse.h"

#include <gst/video/video.h>

#include <cstring>

#include "ravvel_gst.h"

GST_DEBUG_CATEGORY_EXTERN(ravvel_gst_debug);
#define GST_CAT_DEFAULT ravvel_gst_debug

using rvgst::Element;

struct _GstRavvelAnalyse {
    GstBaseTransform parent;
    gint method;
    rvgst::OptionValues values;
    rvgst::AnalyseState state;
    bool inited;
    bool reinit;
    GstVideoInfo info;
    guint8* previous;  // tightly packed I420 copy of the frame before
    gsize previousSize;
};

G_DEFINE_TYPE(GstRavvelAnalyse, gst_ravvel_analyse, GST_TYPE_BASE_TRANSFORM)

namespace {

enum { PROP_0, PROP_METHOD, PROP_FIRST_OPTION };

const rvgst::MethodSpec& Method(GstRavvelAnalyse* self)
{
    size_t n = 0;
    return *rvgst::MethodsOf(Element::kAnalyse, &n)[self->method];
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(object);
    GST_OBJECT_LOCK(self);
    bool reinit = false;
    if (id == PROP_METHOD) {
        self->method = g_value_get_enum(value);
        self->reinit = true;
    } else if (rvgst::SetOptionProperty(Element::kAnalyse, PROP_FIRST_OPTION, id, value, &self->values, &reinit)) {
        self->reinit = self->reinit || reinit;
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(self);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(object);
    GST_OBJECT_LOCK(self);
    if (id == PROP_METHOD)
        g_value_set_enum(value, self->method);
    else if (!rvgst::GetOptionProperty(Element::kAnalyse, PROP_FIRST_OPTION, id, value, &self->values))
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    GST_OBJECT_UNLOCK(self);
}

gboolean Start(GstBaseTransform* trans)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(trans);
    self->state.rl = rvgst::CreateLibrary(GST_ELEMENT(trans));
    self->state.owner = GST_ELEMENT(trans);
    if (self->state.rl == nullptr) {
        GST_ELEMENT_ERROR(trans, RESOURCE, FAILED, ("Could not create the library object"), (nullptr));
        return FALSE;
    }
    self->inited = false;
    return TRUE;
}

gboolean Stop(GstBaseTransform* trans)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(trans);
    if (self->state.rl) DestroyRavvel(self->state.rl);
    self->state.rl = nullptr;
    g_free(self->previous);
    self->previous = nullptr;
    self->previousSize = 0;
    self->inited = false;
    return TRUE;
}

gboolean SetCaps(GstBaseTransform* trans, GstCaps* incaps, GstCaps*)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(trans);
    if (!gst_video_info_from_caps(&self->info, incaps)) return FALSE;
    GST_OBJECT_LOCK(self);
    self->reinit = true;
    GST_OBJECT_UNLOCK(self);
    return TRUE;
}

// A tightly packed copy of the frame, described as I420.
SRLPictureInfo KeepCopy(GstRavvelAnalyse* self, const SRLPictureInfo& frame)
{
    const int w = frame.iWidth, h = frame.iHeight, cw = (w + 1) / 2, ch = (h + 1) / 2;
    const gsize bytes = static_cast<gsize>(w) * h + 2 * static_cast<gsize>(cw) * ch;
    if (self->previousSize < bytes) {
        g_free(self->previous);
        self->previous = static_cast<guint8*>(g_malloc(bytes));
        self->previousSize = bytes;
    }
    SRLPictureInfo copy = frame;
    const int rows[3] = {h, ch, ch}, rowBytes[3] = {w, cw, cw};
    guint8* at = self->previous;
    for (int p = 0; p < 3; ++p) {
        copy.pData[p] = at;
        copy.iStride[p] = rowBytes[p];
        for (int y = 0; y < rows[p]; ++y, at += rowBytes[p])
            std::memcpy(at, frame.pData[p] + static_cast<gsize>(y) * frame.iStride[p], rowBytes[p]);
    }
    return copy;
}

SRLPictureInfo Previous(GstRavvelAnalyse* self, const SRLPictureInfo& frame)
{
    SRLPictureInfo p = frame;
    const int w = frame.iWidth, h = frame.iHeight, cw = (w + 1) / 2, ch = (h + 1) / 2;
    p.pData[0] = self->previous;
    p.pData[1] = self->previous + static_cast<gsize>(w) * h;
    p.pData[2] = p.pData[1] + static_cast<gsize>(cw) * ch;
    p.iStride[0] = w;
    p.iStride[1] = p.iStride[2] = cw;
    return p;
}

GstFlowReturn TransformIp(GstBaseTransform* trans, GstBuffer* buffer)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(trans);
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &self->info, buffer, GST_MAP_READ)) return GST_FLOW_ERROR;
    SRLPictureInfo current = rvgst::Describe(&frame);
    rvgst::AnalyseState& st = self->state;

    GST_OBJECT_LOCK(self);
    const rvgst::MethodSpec& m = Method(self);
    bool ok = true;
    bool fresh = false;
    if (!self->inited || self->reinit) {
        size_t n = 0;
        const rvgst::MethodSpec* const* all = rvgst::MethodsOf(Element::kAnalyse, &n);
        for (size_t i = 0; i < n; ++i) st.rl->Uninit(all[i]->method);
        alignas(16) unsigned char record[256] = {};
        const double* values = self->values.value + rvgst::FirstOptionIndex(Element::kAnalyse, m);
        ok = st.rl->Init(m.method, m.makeConfig(record, current.iWidth, current.iHeight, values), m.initFlag) ==
                 RL_OK &&
             m.analyse->attach(st, m.method) == RL_OK;
        if (ok) {
            rvgst::ApplyOptions(st.rl, Element::kAnalyse, m, &self->values, true, GST_ELEMENT(self));
            self->inited = true;
            self->reinit = false;
            fresh = true;
            st.frame = 0;
        }
    } else {
        rvgst::ApplyOptions(st.rl, Element::kAnalyse, m, &self->values, false, GST_ELEMENT(self));
    }
    GST_OBJECT_UNLOCK(self);
    if (!ok) {
        gst_video_frame_unmap(&frame);
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s refused its configuration", m.name), (nullptr));
        return GST_FLOW_ERROR;
    }

    // The frame before is the reference; the first frame is its own.
    SRLPictureInfo previous = fresh ? KeepCopy(self, current) : Previous(self, current);
    GstStructure* message = nullptr;
    const int32_t rc = m.analyse->frame(st, m.method, &current, &previous, &message);
    KeepCopy(self, current);
    gst_video_frame_unmap(&frame);
    ++st.frame;
    if (rc != RL_OK) {
        if (message) gst_structure_free(message);
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("%s failed on frame %" G_GUINT64_FORMAT " (%d)", m.name,
                                                 st.frame - 1, rc), (nullptr));
        return GST_FLOW_ERROR;
    }
    if (message) gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), message));
    return GST_FLOW_OK;
}

void Finalize(GObject* object)
{
    Stop(GST_BASE_TRANSFORM(object));
    G_OBJECT_CLASS(gst_ravvel_analyse_parent_class)->finalize(object);
}

}  // namespace

static void gst_ravvel_analyse_class_init(GstRavvelAnalyseClass* klass)
{
    GObjectClass* gobject = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* trans = GST_BASE_TRANSFORM_CLASS(klass);
    gobject->set_property = SetProperty;
    gobject->get_property = GetProperty;
    gobject->finalize = Finalize;
    g_object_class_install_property(
        gobject, PROP_METHOD,
        g_param_spec_enum("method", "Method", "The library analysis posted as \"ravvel-<method>\" messages",
                          rvgst::MethodEnumType(Element::kAnalyse), 0,
                          static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));
    rvgst::InstallOptionProperties(gobject, Element::kAnalyse, PROP_FIRST_OPTION);
    gst_element_class_set_static_metadata(element, "Ravvel analyser", "Filter/Analyzer/Video",
                                          "Scene-change, content, motion and flicker detection of the Ravvel "
                                          "library, posted as element messages",
                                          "Ravvel developers");
    GstCaps* caps = gst_caps_from_string(GST_VIDEO_CAPS_MAKE("I420"));
    gst_element_class_add_pad_template(element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
    trans->start = Start;
    trans->stop = Stop;
    trans->set_caps = SetCaps;
    trans->transform_ip = TransformIp;
    trans->passthrough_on_same_caps = TRUE;
}

static void gst_ravvel_analyse_init(GstRavvelAnalyse* self)
{
    self->method = 0;
    rvgst::ResetOptionValues(Element::kAnalyse, &self->values);
    std::memset(&self->state, 0, sizeof self->state);
    self->inited = false;
    self->reinit = true;
    self->previous = nullptr;
    self->previousSize = 0;
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(self), TRUE);
}
