// ravvelfilter: one picture-to-picture method of the library on I420 video,
// in place. Methods that read one picture and write another get a private
// copy of the frame as their source.
#include "ravvelfilter.h"

#include "ravvel_gst.h"

GST_DEBUG_CATEGORY_EXTERN(ravvel_gst_debug);
#define GST_CAT_DEFAULT ravvel_gst_debug

struct _GstRavvelFilter {
    GstVideoFilter parent;
    rvgst::MethodHost host;
    guint8* copy;
    gsize copySize;
    guint8* out;  // aligned destination for methods that need one
    gsize outSize;
};

G_DEFINE_TYPE(GstRavvelFilter, gst_ravvel_filter, GST_TYPE_VIDEO_FILTER)

namespace {

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    rvgst::HostSetProperty(object, &GST_RAVVEL_FILTER(object)->host, id, value, pspec);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    rvgst::HostGetProperty(object, &GST_RAVVEL_FILTER(object)->host, id, value, pspec);
}

gboolean Start(GstBaseTransform* trans)
{
    return rvgst::HostStart(GST_ELEMENT(trans), &GST_RAVVEL_FILTER(trans)->host);
}

gboolean Stop(GstBaseTransform* trans)
{
    GstRavvelFilter* self = GST_RAVVEL_FILTER(trans);
    rvgst::HostStop(&self->host);
    g_free(self->copy);
    self->copy = nullptr;
    self->copySize = 0;
    g_free(self->out);
    self->out = nullptr;
    self->outSize = 0;
    return TRUE;
}

gboolean SetInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo*, GstCaps*, GstVideoInfo*)
{
    GST_OBJECT_LOCK(filter);
    GST_RAVVEL_FILTER(filter)->host.reinit = true;  // the size may have changed
    GST_OBJECT_UNLOCK(filter);
    return TRUE;
}

GstFlowReturn TransformFrameIp(GstVideoFilter* filter, GstVideoFrame* frame)
{
    GstRavvelFilter* self = GST_RAVVEL_FILTER(filter);
    SRLPictureInfo dst = rvgst::Describe(frame);
    GST_OBJECT_LOCK(self);
    const rvgst::MethodInfo& m = rvgst::Selected(&self->host);
    bool fresh = false;
    const bool ok = rvgst::EnsureInit(GST_ELEMENT(self), &self->host, dst.iWidth, dst.iHeight, m.initFlag, &fresh);
    GST_OBJECT_UNLOCK(self);
    if (!ok) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s refused its configuration", m.name), (nullptr));
        return GST_FLOW_ERROR;
    }
    SRLPictureInfo frameDst = dst;
    SRLPictureInfo src = m.inPlace     ? dst
                         : m.aligned64 ? rvgst::AlignedCopy(dst, &self->copy, &self->copySize, true)
                                       : rvgst::PackedCopy(dst, &self->copy, &self->copySize);
    if (m.aligned64) dst = rvgst::AlignedCopy(frameDst, &self->out, &self->outSize, false);
    const int32_t rc = self->host.rl->Process(m.method, &src, &dst, nullptr);
    if (rc == RL_OK && m.aligned64) rvgst::CopyPixels(dst, frameDst);
    if (rc != RL_OK) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED,
                          ("%s failed on a %dx%d frame (%d)", m.name, dst.iWidth, dst.iHeight, rc), (nullptr));
        return GST_FLOW_ERROR;
    }
    if (m.finish) m.finish(&dst);
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
    rvgst::InstallHostProperties(gobject, rvgst::Element::kFilter, "The library method applied to every frame");
    gst_element_class_set_static_metadata(element, "Ravvel filter", "Filter/Effect/Video",
                                          "Enhancement and effects of the Ravvel library on I420 video, in place",
                                          "Ravvel developers");
    rvgst::AddI420Pads(element);
    trans->start = Start;
    trans->stop = Stop;
    video->set_info = SetInfo;
    video->transform_frame_ip = TransformFrameIp;
}

static void gst_ravvel_filter_init(GstRavvelFilter* self)
{
    rvgst::HostReset(&self->host, rvgst::Element::kFilter);
    self->copy = nullptr;
    self->copySize = 0;
    self->out = nullptr;
    self->outSize = 0;
}
