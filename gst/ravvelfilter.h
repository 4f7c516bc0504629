#ifndef RAVVEL_GST_RAVVELFILTER_H
#define RAVVEL_GST_RAVVELFILTER_H

#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS
#define GST_TYPE_RAVVEL_FILTER (gst_ravvel_filter_get_type())
G_DECLARE_FINAL_TYPE(GstRavvelFilter, gst_ravvel_filter, GST, RAVVEL_FILTER, GstVideoFilter)
G_END_DECLS

#endif
