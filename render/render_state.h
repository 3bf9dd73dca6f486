// The Direct3D state of one visualizer: the Direct3D object, the device and everything made on it,
// the target size and the pacing time stamp. Fields keep the order in which they are described and
// released; pointers are null and counters 0 until something fills them.
#pragma once

#include "fx/effect.h"
#include "render/device.h"

namespace gs::render {

struct RenderState {
    Direct3D* direct3d = nullptr;
    Device* device = nullptr;
    // The display mode's size until the first drawn frame, then the size of the latest frame's
    // rectangle.
    UINT targetWidth = 0;
    UINT targetHeight = 0;
    PresentParameters presentParameters = {};
    DisplayMode displayMode = {};
    // Half the back buffer's size; holds the previous frame.
    Texture* feedbackTexture = nullptr;
    Surface* feedbackSurface = nullptr;
    // historyLength x 1 colour histories, newest colour in texel 0.
    Texture* leftHistoryTexture = nullptr;
    Surface* leftHistorySurface = nullptr;
    Texture* rightHistoryTexture = nullptr;
    Surface* rightHistorySurface = nullptr;
    // historyLength x 1; the strips are shifted through it.
    Texture* scratchTexture = nullptr;
    Surface* scratchSurface = nullptr;
    fx::Effect* effectObject = nullptr;
    fx::Handle techniqueHandle = nullptr;
    fx::Handle posHandles[4] = {};
    fx::Handle leftTextureHandle = nullptr;
    fx::Handle rightTextureHandle = nullptr;
    fx::Handle texWidthHandle = nullptr;
    DWORD lastBlitTime = 0;  // milliseconds, timeGetTime after the previous copy
    LONG historyLength = 0;
};

}  // namespace gs::render
