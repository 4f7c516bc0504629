#ifndef RAVVEL_GST_RAVVELSCALE_H
#define RAVVEL_GST_RAVVELSCALE_H

#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS
#define GST_TYPE_RAVVEL_SCALE (gst_ravvel_scale_get_type())
G_DECLARE_FINAL_TYPE(GstRavvelScale, gst_ravvel_scale, GST, RAVVEL_SCALE, GstVideoFilter)
G_END_DECLS

#endif
