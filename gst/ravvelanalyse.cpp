// ravvelanalyse: the library's analysis methods on I420 video. Frames pass
// through untouched; each result is posted on the bus as an element message
// named "ravvel-<method>".
#include "ravvelanalyse.h"

#include <gst/video/video.h>

#include <cstring>

#include "ravvel_gst.h"

GST_DEBUG_CATEGORY_EXTERN(ravvel_gst_debug);
#define GST_CAT_DEFAULT ravvel_gst_debug

struct _GstRavvelAnalyse {
    GstBaseTransform parent;
    rvgst::MethodHost host;
    rvgst::AnalyseState state;
    GstVideoInfo info;
    guint8* previous;  // tightly packed I420 copy of the frame before
    gsize previousSize;
};

G_DEFINE_TYPE(GstRavvelAnalyse, gst_ravvel_analyse, GST_TYPE_BASE_TRANSFORM)

namespace {

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    rvgst::HostSetProperty(object, &GST_RAVVEL_ANALYSE(object)->host, id, value, pspec);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    rvgst::HostGetProperty(object, &GST_RAVVEL_ANALYSE(object)->host, id, value, pspec);
}

gboolean Start(GstBaseTransform* trans)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(trans);
    std::memset(&self->state, 0, sizeof self->state);
    if (!rvgst::HostStart(GST_ELEMENT(trans), &self->host)) return FALSE;
    self->state.rl = self->host.rl;
    self->state.owner = GST_ELEMENT(trans);
    return TRUE;
}

gboolean Stop(GstBaseTransform* trans)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(trans);
    rvgst::HostStop(&self->host);
    self->state.rl = nullptr;
    g_free(self->previous);
    self->previous = nullptr;
    self->previousSize = 0;
    g_free(self->state.planes);
    self->state.planes = nullptr;
    self->state.planesSize = 0;
    return TRUE;
}

gboolean SetCaps(GstBaseTransform* trans, GstCaps* incaps, GstCaps*)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(trans);
    if (!gst_video_info_from_caps(&self->info, incaps)) return FALSE;
    GST_OBJECT_LOCK(self);
    self->host.reinit = true;
    GST_OBJECT_UNLOCK(self);
    return TRUE;
}

GstFlowReturn TransformIp(GstBaseTransform* trans, GstBuffer* buffer)
{
    GstRavvelAnalyse* self = GST_RAVVEL_ANALYSE(trans);
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &self->info, buffer, GST_MAP_READ)) return GST_FLOW_ERROR;
    SRLPictureInfo current = rvgst::Describe(&frame);
    rvgst::AnalyseState& st = self->state;

    GST_OBJECT_LOCK(self);
    const rvgst::MethodInfo& m = rvgst::Selected(&self->host);
    bool fresh = false;
    bool ok = rvgst::EnsureInit(GST_ELEMENT(self), &self->host, current.iWidth, current.iHeight, m.initFlag, &fresh);
    if (ok && fresh) {
        st.frame = 0;
        ok = m.analyse->attach(st, m.method) == RL_OK;
    }
    GST_OBJECT_UNLOCK(self);
    if (!ok) {
        gst_video_frame_unmap(&frame);
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s refused its configuration", m.name), (nullptr));
        return GST_FLOW_ERROR;
    }

    // The frame before is the reference; the first frame is its own.
    SRLPictureInfo previous = current;
    if (fresh || self->previous == nullptr) {
        previous = rvgst::PackedCopy(current, &self->previous, &self->previousSize);
    } else {
        const int w = current.iWidth, h = current.iHeight, cw = (w + 1) / 2, ch = (h + 1) / 2;
        previous.pData[0] = self->previous;
        previous.pData[1] = self->previous + static_cast<gsize>(w) * h;
        previous.pData[2] = previous.pData[1] + static_cast<gsize>(cw) * ch;
        previous.iStride[0] = w;
        previous.iStride[1] = previous.iStride[2] = cw;
    }
    GstStructure* message = nullptr;
    const int32_t rc = m.analyse->frame(st, m.method, &current, &previous, &message);
    rvgst::PackedCopy(current, &self->previous, &self->previousSize);
    gst_video_frame_unmap(&frame);
    ++st.frame;
    if (rc != RL_OK) {
        if (message) gst_structure_free(message);
        GST_ELEMENT_ERROR(self, STREAM, FAILED,
                          ("%s failed on frame %" G_GUINT64_FORMAT " (%d)", m.name, st.frame - 1, rc), (nullptr));
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
    rvgst::InstallHostProperties(gobject, rvgst::Element::kAnalyse,
                                 "The library analysis, posted as \"ravvel-<method>\" element messages");
    gst_element_class_set_static_metadata(element, "Ravvel analyser", "Filter/Analyzer/Video",
                                          "Scene-change, content and flicker detection of the Ravvel "
                                          "library, posted as element messages",
                                          "Ravvel developers");
    rvgst::AddI420Pads(element);
    trans->start = Start;
    trans->stop = Stop;
    trans->set_caps = SetCaps;
    trans->transform_ip = TransformIp;
    trans->passthrough_on_same_caps = TRUE;
}

static void gst_ravvel_analyse_init(GstRavvelAnalyse* self)
{
    rvgst::HostReset(&self->host, rvgst::Element::kAnalyse);
    std::memset(&self->state, 0, sizeof self->state);
    self->previous = nullptr;
    self->previousSize = 0;
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(self), TRUE);
}
