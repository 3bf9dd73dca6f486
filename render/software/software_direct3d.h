// The software device's Direct3D object: adapter queries and device creation.
#pragma once

#include "render/device.h"
#include "render/software/reference_count.h"

namespace gs::render::software {

class SoftwareDirect3D final : public Direct3D {
public:
    SoftwareDirect3D();

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetAdapterDisplayMode(UINT adapter, DisplayMode* mode) override;
    HRESULT GetDeviceCaps(UINT adapter, DeviceType type, Caps* caps) override;
    HRESULT CreateDevice(UINT adapter, DeviceType type, HWND focusWindow, DWORD behaviourFlags,
                         PresentParameters* parameters, Device** device) override;

private:
    ~SoftwareDirect3D();

    ReferenceCount refs_{1};
};

}  // namespace gs::render::software
