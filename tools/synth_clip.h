// The demo's built-in clip: generated in memory, the same bytes on every run.
//
// It holds what the enhancement methods are for: smooth gradients that band in
// 8 bits, fine text-like detail, moving shapes, a scene cut halfway, and mild
// sensor-like noise.
#ifndef RAVVEL_TOOLS_SYNTH_CLIP_H
#define RAVVEL_TOOLS_SYNTH_CLIP_H

#include "image.h"

namespace rvtool {

class SynthClip {
public:
    SynthClip(int width, int height, int frames);

    // Renders frame `index` (0-based) into `out` (allocated by the caller to the clip's size).
    void Render(int index, RgbImage* out) const;

    // First frame of the second scene.
    int CutFrame() const { return m_cut; }
    int Frames() const { return m_frames; }

private:
    int m_width;
    int m_height;
    int m_frames;
    int m_cut;
};

}  // namespace rvtool

#endif
