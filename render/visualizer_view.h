// What the renderer sees of the visualizer that owns it: the object's own fields, by reference, so
// the object keeps them in its own order and the renderer reads and writes them in place.
#pragma once

#include "render/render_state.h"

namespace gs::render {

struct VisualizerView {
    RenderState& state;
    HWND hostWindow;        // the window given by Create, or null
    HMODULE& moduleHandle;  // where the effect resource is looked up
    LONG currentPreset;     // 0: two sources, 1: four sources, other: no effect pass
    bool isMono;            // the right side repeats channel 0
    bool& isRenderingEnabled;
    float& hue;  // degrees, [0, 360)
};

}  // namespace gs::render
