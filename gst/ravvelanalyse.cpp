// placeholder
#include "ravvelanalyse.h"
struct _GstRavvelAnalyse { GstBaseTransform parent; };
G_DEFINE_TYPE(GstRavvelAnalyse, gst_ravvel_analyse, GST_TYPE_BASE_TRANSFORM)
static void gst_ravvel_analyse_class_init(GstRavvelAnalyseClass* klass) {
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(element, "Ravvel analyser", "Filter/Analyzer/Video", "x", "Ravvel developers");
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=I420");
    gst_element_class_add_pad_template(element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
}
static void gst_ravvel_analyse_init(GstRavvelAnalyse*) {}
