// The Ravvel GStreamer plugin: ravvelfilter, ravvelscale and ravvelanalyse.
#include <gst/gst.h>

#include "ravvelanalyse.h"
#include "ravvelfilter.h"
#include "ravvelscale.h"

GST_DEBUG_CATEGORY_EXTERN(ravvel_gst_debug);

#ifndef PACKAGE
#define PACKAGE "ravvel"
#endif

static gboolean plugin_init(GstPlugin* plugin)
{
    GST_DEBUG_CATEGORY_INIT(ravvel_gst_debug, "ravvel", 0, "Ravvel video processing");
    return gst_element_register(plugin, "ravvelfilter", GST_RANK_NONE, GST_TYPE_RAVVEL_FILTER) &&
           gst_element_register(plugin, "ravvelscale", GST_RANK_NONE, GST_TYPE_RAVVEL_SCALE) &&
           gst_element_register(plugin, "ravvelanalyse", GST_RANK_NONE, GST_TYPE_RAVVEL_ANALYSE);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, ravvel, "Ravvel video processing: enhancement, scaling, analysis",
                  plugin_init, RAVVEL_GST_VERSION, "unknown", "ravvel", "local build")
