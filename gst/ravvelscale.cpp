// ravvelscale: the library's scalers on I420 video. The output size comes from
// downstream caps when they fix it, else from the method's natural ratio.
#include "ravvelscale.h"

#include "ravvel_gst.h"

GST_DEBUG_CATEGORY_EXTERN(ravvel_gst_debug);
#define GST_CAT_DEFAULT ravvel_gst_debug

struct _GstRavvelScale {
    GstVideoFilter parent;
    rvgst::MethodHost host;
};

G_DEFINE_TYPE(GstRavvelScale, gst_ravvel_scale, GST_TYPE_VIDEO_FILTER)

namespace {

// The natural output size of a method for an input size (even sides).
void NaturalSize(const rvgst::MethodInfo& m, int w, int h, int* ow, int* oh)
{
    const double scale = m.scale;
    *ow = (static_cast<int>(w * scale) + 1) & ~1;
    *oh = (static_cast<int>(h * scale) + 1) & ~1;
    if (*ow < 2) *ow = 2;
    if (*oh < 2) *oh = 2;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    rvgst::HostSetProperty(object, &GST_RAVVEL_SCALE(object)->host, id, value, pspec);
    if (id == rvgst::PROP_METHOD) gst_base_transform_reconfigure_src(GST_BASE_TRANSFORM(object));
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    rvgst::HostGetProperty(object, &GST_RAVVEL_SCALE(object)->host, id, value, pspec);
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
        NaturalSize(rvgst::Selected(&self->host), w, h, &ow, &oh);
        GST_OBJECT_UNLOCK(self);
        gst_structure_fixate_field_nearest_int(out, "width", ow);
        gst_structure_fixate_field_nearest_int(out, "height", oh);
    }
    return gst_caps_fixate(othercaps);
}

gboolean Start(GstBaseTransform* trans)
{
    return rvgst::HostStart(GST_ELEMENT(trans), &GST_RAVVEL_SCALE(trans)->host);
}

gboolean Stop(GstBaseTransform* trans)
{
    rvgst::HostStop(&GST_RAVVEL_SCALE(trans)->host);
    return TRUE;
}

gboolean SetInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo* in, GstCaps*, GstVideoInfo* out)
{
    GST_OBJECT_LOCK(filter);
    GST_RAVVEL_SCALE(filter)->host.reinit = true;
    GST_OBJECT_UNLOCK(filter);
    // Same size: nothing to do, frames pass through untouched.
    gst_base_transform_set_passthrough(GST_BASE_TRANSFORM(filter),
                                       GST_VIDEO_INFO_WIDTH(in) == GST_VIDEO_INFO_WIDTH(out) &&
                                           GST_VIDEO_INFO_HEIGHT(in) == GST_VIDEO_INFO_HEIGHT(out));
    return TRUE;
}

GstFlowReturn TransformFrame(GstVideoFilter* filter, GstVideoFrame* inFrame, GstVideoFrame* outFrame)
{
    GstRavvelScale* self = GST_RAVVEL_SCALE(filter);
    SRLPictureInfo src = rvgst::Describe(inFrame), dst = rvgst::Describe(outFrame);
    GST_OBJECT_LOCK(self);
    const rvgst::MethodInfo& m = rvgst::Selected(&self->host);
    bool fresh = false;
    // The scalers write our output planes (Init's flag true where it matters).
    const bool ok = rvgst::EnsureInit(GST_ELEMENT(self), &self->host, src.iWidth, src.iHeight, true, &fresh);
    GST_OBJECT_UNLOCK(self);
    if (!ok) {
        GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s refused its configuration", m.name), (nullptr));
        return GST_FLOW_ERROR;
    }
    const int32_t rc = self->host.rl->Process(m.method, &src, &dst, nullptr);
    if (rc != RL_OK) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED,
                          ("%s cannot take %dx%d to %dx%d (%d)", m.name, src.iWidth, src.iHeight, dst.iWidth,
                           dst.iHeight, rc),
                          (nullptr));
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
    rvgst::InstallHostProperties(gobject, rvgst::Element::kScale, "The library scaler");
    gst_element_class_set_static_metadata(element, "Ravvel scaler", "Filter/Converter/Video/Scaler",
                                          "Downsampling, upsampling and super resolution of the Ravvel library",
                                          "Ravvel developers");
    rvgst::AddI420Pads(element);
    trans->start = Start;
    trans->stop = Stop;
    trans->transform_caps = TransformCaps;
    trans->fixate_caps = FixateCaps;
    video->set_info = SetInfo;
    video->transform_frame = TransformFrame;
}

static void gst_ravvel_scale_init(GstRavvelScale* self)
{
    rvgst::HostReset(&self->host, rvgst::Element::kScale);
}
