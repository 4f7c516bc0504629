// Shared pieces of the GStreamer elements: the table of methods each element
// offers, their options as properties, and I420 frames as picture descriptors.
#ifndef RAVVEL_GST_RAVVEL_GST_H
#define RAVVEL_GST_RAVVEL_GST_H

#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstddef>

#include "ravvel.h"

namespace rvgst {

enum class OptType { kInt, kFloat, kU8 };

// One method option exposed as the property "<method>-<name>".
struct OptionInfo {
    const char* name;
    const char* blurb;
    // Applied with SetOption after Init and on every change; 0 for a field of
    // the Init record (read by makeConfig, changes re-initialise).
    RL_EOption option;
    OptType type;
    double min, max, def;
};

enum class Element { kFilter, kScale, kAnalyse };

// What an analysis method needs between frames: the library object, the
// host variables and callback targets it reports through.
struct AnalyseState {
    IRavvel* rl;
    GstElement* owner;
    guint64 frame;
    int32_t content;       // last content the callback reported (0 video, 1 text)
    bool contentReported;  // the callback ran during the last frame
    int32_t motion;        // host variable of motion detection
    unsigned char result[64];  // host variable of other analysers
    // Motion detection's planar RGB picture and mask (four planes of w x h),
    // g_malloc'ed, remade when the size changes, freed by the element.
    guint8* planes;
    gsize planesSize;
    int planesWidth, planesHeight;
};

struct AnalyseHooks {
    // After Init: register callbacks and result variables.
    int32_t (*attach)(AnalyseState& state, RL_EMethod method);
    // One frame (`previous` is the frame before, the frame itself at first);
    // may set *message to a structure to post.
    int32_t (*frame)(AnalyseState& state, RL_EMethod method, SRLPictureInfo* current, SRLPictureInfo* previous,
                     GstStructure** message);
};

struct MethodInfo {
    const char* name;  // the value of the element's "method" property
    const char* summary;
    Element element;
    RL_EMethod method;
    bool initFlag;
    bool inPlace;  // works on the source picture itself (no destination written)
    // Fills `record` (zeroed, 256 bytes) for a picture of w x h I420, with
    // this method's option values in table order, and returns the config
    // pointer Init takes (may be null).
    void* (*makeConfig)(unsigned char* record, int w, int h, const double* values);
    const OptionInfo* options;
    size_t optionCount;
    const AnalyseHooks* analyse;  // analysis methods only
    double scale;                 // scalers: natural output size / input size
    void (*finish)(SRLPictureInfo* destination);  // after each frame, or null
    bool aligned64 = false;  // planes and strides must be multiples of 64 bytes
};

// The methods of one element, in table order; `count` receives their number.
const MethodInfo* const* MethodsOf(Element element, size_t* count);

// GEnum type of the element's "method" property.
GType MethodEnumType(Element element);

// Properties: PROP_METHOD is 1; options follow from 2 on, across all methods
// of the element, in table order.
struct OptionValues {
    double value[64];
    bool dirty[64];
};
void InstallOptionProperties(GObjectClass* klass, Element element, guint firstId);
// True when the property was an option; *reinit tells that it is an Init field.
bool SetOptionProperty(Element element, guint firstId, guint propId, const GValue* v, OptionValues* values,
                       bool* reinit);
bool GetOptionProperty(Element element, guint firstId, guint propId, GValue* v, const OptionValues* values);
void ResetOptionValues(Element element, OptionValues* values);
// SetOption for every option of `method` (all of them, or the changed ones only).
// Index of the method's first option in OptionValues.
size_t FirstOptionIndex(Element element, const MethodInfo& method);
void ApplyOptions(IRavvel* rl, Element element, const MethodInfo& method, OptionValues* values, bool all,
                  GstElement* owner);

// A library object whose log lines go to GStreamer's debug log.
IRavvel* CreateLibrary(GstElement* owner);

// What every element keeps: the library object, the chosen method and its
// option values, and whether Init has to run (again) before the next frame.
// The property functions take the object lock themselves; EnsureInit and
// Selected expect it held.
struct MethodHost {
    Element element;
    gint method;
    OptionValues values;
    IRavvel* rl;
    bool inited;
    bool reinit;
};

enum { PROP_0, PROP_METHOD, PROP_FIRST_OPTION };

void HostReset(MethodHost* host, Element element);
void InstallHostProperties(GObjectClass* klass, Element element, const char* blurb);
void HostSetProperty(GObject* object, MethodHost* host, guint id, const GValue* value, GParamSpec* pspec);
void HostGetProperty(GObject* object, MethodHost* host, guint id, GValue* value, GParamSpec* pspec);
gboolean HostStart(GstElement* owner, MethodHost* host);
void HostStop(MethodHost* host);
const MethodInfo& Selected(const MethodHost* host);
// Init (after Uninit of every method of the element) when needed, else the
// changed options. True when the method is ready; *fresh when Init just ran.
bool EnsureInit(GstElement* owner, MethodHost* host, int w, int h, bool initFlag, bool* fresh);

// Always pads "sink" and "src" taking I420.
void AddI420Pads(GstElementClass* klass);

// Describes a mapped I420 frame.
SRLPictureInfo Describe(GstVideoFrame* frame);

// A tightly packed copy of an I420 picture in *buffer (grown as needed, freed
// by the caller with g_free), described with the same size and format.
SRLPictureInfo PackedCopy(const SRLPictureInfo& picture, guint8** buffer, gsize* capacity);
// The same with every plane and stride on a 64-byte boundary (`align` 64);
// `copyPixels` false only lays the planes out.
SRLPictureInfo AlignedCopy(const SRLPictureInfo& picture, guint8** buffer, gsize* capacity, bool copyPixels);
// Copies the pixels of one I420 picture into another of the same size.
void CopyPixels(const SRLPictureInfo& from, const SRLPictureInfo& to);

}  // namespace rvgst

#endif
