// render::Direct3D over IDirect3D9, and the conversions of its records.
#pragma once

#include <d3d9.h>

#include "render/d3d9/ref_counted.h"
#include "render/device.h"

namespace gs::render::d3d9 {

class Direct3DAdapter final : public RefCounted<Direct3DAdapter, render::Direct3D> {
public:
    // Takes over one reference on `direct3d`. Null when memory runs out (the reference stays the
    // caller's).
    static Direct3DAdapter* create(IDirect3D9* direct3d);

    HRESULT GetAdapterDisplayMode(UINT adapter, DisplayMode* mode) override;
    HRESULT GetDeviceCaps(UINT adapter, DeviceType type, Caps* caps) override;
    HRESULT CreateDevice(UINT adapter, DeviceType type, HWND focusWindow, DWORD behaviourFlags,
                         PresentParameters* parameters, render::Device** device) override;

private:
    friend class RefCounted<Direct3DAdapter, render::Direct3D>;
    explicit Direct3DAdapter(IDirect3D9* direct3d) : direct3d_(direct3d) {}
    ~Direct3DAdapter() { direct3d_->Release(); }

    IDirect3D9* const direct3d_;
};

Caps toCaps(const D3DCAPS9& caps);
D3DPRESENT_PARAMETERS toD3d(const PresentParameters& parameters);
PresentParameters fromD3d(const D3DPRESENT_PARAMETERS& parameters);

}  // namespace gs::render::d3d9
