// Building and tearing down the visualizer's Direct3D state. The device is never reset: whenever it
// is lost, everything made on it is released and made again from scratch.
#pragma once

#include "render/visualizer_view.h"

namespace gs::render {

// The module's own file name: the effect resource is looked up through the module of this name.
#ifdef _WIN32
inline constexpr char kModuleFileName[] = "Glimmerstrand.dll";
#else
inline constexpr char kModuleFileName[] = "Glimmerstrand.so";
#endif

// The object's final construction step: the Direct3D object, the display mode, the capabilities
// (pixel shader 2.0 or better) and the present parameters. No device is made. On failure the user
// has been shown why and the result is E_FAIL.
HRESULT initializeDirect3D(const VisualizerView& view);

// Releases everything and makes the device, its five render-target textures, the effect and its
// handles again. S_OK with no device when creation has to wait (no window, an empty back buffer,
// a lost device); E_FAIL when creation failed.
HRESULT recreateDevice(const VisualizerView& view);

// Releases the device resources and the device, in their fixed order; keeps the Direct3D object.
void releaseDeviceResources(RenderState& state);

}  // namespace gs::render
