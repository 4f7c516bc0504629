#ifndef RAVVEL_GST_RAVVELANALYSE_H
#define RAVVEL_GST_RAVVELANALYSE_H

#include <gst/base/gstbasetransform.h>

G_BEGIN_DECLS
#define GST_TYPE_RAVVEL_ANALYSE (gst_ravvel_analyse_get_type())
G_DECLARE_FINAL_TYPE(GstRavvelAnalyse, gst_ravvel_analyse, GST, RAVVEL_ANALYSE, GstBaseTransform)
G_END_DECLS

#endif
