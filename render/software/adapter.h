// The software adapter: the "display" the software Direct3D 9 device pretends to drive, and the
// hooks tests use to make it fail.
//
// Hosts set the display mode and the capabilities before the plug-in reads them; tests also inject
// failures, lose devices, count live objects and read or write a surface's pixels. The renderer
// never includes this header: it sees only render/device.h.
//
// The adapter is process-wide, like a real display: its settings and faults are shared by every
// Direct3D object and device of the process.
#pragma once

#include <cstddef>

#include "render/device.h"

#define GS_D3D9_API __attribute__((visibility("default")))

namespace gs::render::software {

struct AdapterSettings {
    DisplayMode displayMode{1920, 1080, 60, Format::X8R8G8B8};  // RefreshRate may be 0
    DWORD pixelShaderVersion = render::pixelShaderVersion(2, 0);
    float maxPointSize = 256.0f;
    // Largest width and height of a texture or back buffer.
    DWORD maxTextureSize = 8192;
    // A device whose back buffer takes more bytes than this holds a scene's draws back and runs
    // them in bands of about bandBytes (DrawBatch): beyond the size of a processor's last-level
    // cache, where each draw would otherwise stream the whole target through memory.
    std::size_t bandedTargetBytes = std::size_t{16} << 20;
    std::size_t bandBytes = std::size_t{1} << 20;
};

GS_D3D9_API AdapterSettings adapterSettings();
GS_D3D9_API void setAdapterSettings(const AdapterSettings& settings);

// Calls that tests can make fail.
enum class Fault {
    CreateDirect3D,         // createDirect3D returns null (the result code is not used)
    GetAdapterDisplayMode,  // Direct3D::GetAdapterDisplayMode
    GetDeviceCaps,          // Direct3D::GetDeviceCaps
    CreateDevice,           // Direct3D::CreateDevice, e.g. kErrDeviceLost or kErrNotAvailable
    SurfaceGetDC,           // Surface::GetDC
    Clear,                  // Device::Clear
    BeginScene,             // Device::BeginScene
};
constexpr int kEveryCall = -1;

// The next `calls` calls at `fault` (every call with kEveryCall) answer `result` and do nothing
// else. A later injection at the same point replaces the earlier one; calls = 0 removes it.
GS_D3D9_API void injectFault(Fault fault, HRESULT result, int calls = kEveryCall);

// Loses every device that exists now: from here on their TestCooperativeLevel answers
// kErrDeviceLost and their drawing calls do nothing, until they are released. Devices created
// afterwards are not lost.
GS_D3D9_API void loseDevices();

// Default settings, no faults. Live objects are not touched.
GS_D3D9_API void resetAdapter();

struct LiveObjects {
    int direct3d = 0;
    int devices = 0;
    int textures = 0;
    int surfaces = 0;  // back buffers and texture levels
    int shaders = 0;

    int total() const { return direct3d + devices + textures + surfaces + shaders; }
};

// Objects of the software device not yet destroyed, in this process.
GS_D3D9_API LiveObjects liveObjects();

// Copies a surface's pixels, row after row, width x height 0xAARRGGBB values (X8R8G8B8 surfaces
// read with alpha 0xFF). kErrInvalidCall when surface or pixels is null or pixelCount is smaller
// than width x height.
GS_D3D9_API HRESULT readSurfacePixels(Surface* surface, Colour* pixels, std::size_t pixelCount);
// The reverse, for setting up test content in any pool.
GS_D3D9_API HRESULT writeSurfacePixels(Surface* surface, const Colour* pixels,
                                       std::size_t pixelCount);

}  // namespace gs::render::software
