// One frame: the previous frame faded and wobbling, the spectrum and waveform traces, one new texel
// per colour history, the rings of the effect, the capture for the next frame, and the paced copy
// into the caller's device context.
#pragma once

#include "plugin/player_interfaces.h"
#include "render/visualizer_view.h"

namespace gs::render {

// The body of IWMPEffects::Render. S_OK after a frame and when there was nothing to draw
// (rendering disabled, device lost or deferred, an empty rectangle); E_FAIL when the device could
// not be made, the target could not be cleared or the back buffer's device context could not be
// had; E_POINTER for null levels or rectangle.
HRESULT renderFrame(const VisualizerView& view, const plugin::TimedLevel* levels, HDC dc,
                    const RECT* rc);

// Milliseconds between copies: one and a half refresh periods. A refresh rate of 0, which real
// drivers report, paces as 60 Hz.
DWORD pacingInterval(UINT refreshRate);

}  // namespace gs::render
