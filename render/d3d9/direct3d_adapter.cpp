#include "render/d3d9/direct3d_adapter.h"

#include <new>

#include "render/d3d9/device_adapter.h"

namespace gs::render {

Direct3D* createDirect3D(UINT sdkVersion) {
    IDirect3D9* direct3d = Direct3DCreate9(sdkVersion);
    if (direct3d == nullptr) {
        return nullptr;
    }
    Direct3D* adapter = d3d9::Direct3DAdapter::create(direct3d);
    if (adapter == nullptr) {
        direct3d->Release();
    }
    return adapter;
}

}  // namespace gs::render

namespace gs::render::d3d9 {

Direct3DAdapter* Direct3DAdapter::create(IDirect3D9* direct3d) {
    return new (std::nothrow) Direct3DAdapter(direct3d);
}

HRESULT Direct3DAdapter::GetAdapterDisplayMode(UINT adapter, DisplayMode* mode) {
    if (mode == nullptr) {
        return kErrInvalidCall;
    }
    D3DDISPLAYMODE real{};
    const HRESULT hr = direct3d_->GetAdapterDisplayMode(adapter, &real);
    if (SUCCEEDED(hr)) {
        *mode = DisplayMode{
            .Width = real.Width,
            .Height = real.Height,
            .RefreshRate = real.RefreshRate,
            .Format = static_cast<render::Format>(real.Format),
        };
    }
    return hr;
}

HRESULT Direct3DAdapter::GetDeviceCaps(UINT adapter, DeviceType type, Caps* caps) {
    if (caps == nullptr) {
        return kErrInvalidCall;
    }
    D3DCAPS9 real{};
    const HRESULT hr = direct3d_->GetDeviceCaps(adapter, static_cast<D3DDEVTYPE>(type), &real);
    if (SUCCEEDED(hr)) {
        *caps = toCaps(real);
    }
    return hr;
}

HRESULT Direct3DAdapter::CreateDevice(UINT adapter, DeviceType type, HWND focusWindow,
                                      DWORD behaviourFlags, PresentParameters* parameters,
                                      render::Device** device) {
    if (device == nullptr || parameters == nullptr) {
        return kErrInvalidCall;
    }
    *device = nullptr;
    // Direct3D writes back what it chose (a windowed back buffer of size 0 takes the window's).
    D3DPRESENT_PARAMETERS real = toD3d(*parameters);
    IDirect3DDevice9* created = nullptr;
    const HRESULT hr = direct3d_->CreateDevice(adapter, static_cast<D3DDEVTYPE>(type), focusWindow,
                                               behaviourFlags, &real, &created);
    *parameters = fromD3d(real);
    if (FAILED(hr)) {
        return hr;
    }
    DeviceAdapter* wrapped = DeviceAdapter::create(created);
    if (wrapped == nullptr) {
        created->Release();
        return E_OUTOFMEMORY;
    }
    *device = wrapped;
    return hr;
}

Caps toCaps(const D3DCAPS9& caps) {
    return Caps{
        .PixelShaderVersion = caps.PixelShaderVersion,
        .MaxPointSize = caps.MaxPointSize,
        .MaxTextureWidth = caps.MaxTextureWidth,
        .MaxTextureHeight = caps.MaxTextureHeight,
    };
}

D3DPRESENT_PARAMETERS toD3d(const PresentParameters& parameters) {
    D3DPRESENT_PARAMETERS real{};
    real.BackBufferWidth = parameters.BackBufferWidth;
    real.BackBufferHeight = parameters.BackBufferHeight;
    real.BackBufferFormat = static_cast<D3DFORMAT>(parameters.BackBufferFormat);
    real.BackBufferCount = parameters.BackBufferCount;
    real.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(parameters.MultiSampleType);
    real.MultiSampleQuality = parameters.MultiSampleQuality;
    real.SwapEffect = static_cast<D3DSWAPEFFECT>(parameters.SwapEffect);
    real.hDeviceWindow = parameters.hDeviceWindow;
    real.Windowed = parameters.Windowed;
    real.EnableAutoDepthStencil = parameters.EnableAutoDepthStencil;
    real.AutoDepthStencilFormat = static_cast<D3DFORMAT>(parameters.AutoDepthStencilFormat);
    real.Flags = parameters.Flags;
    real.FullScreen_RefreshRateInHz = parameters.FullScreen_RefreshRateInHz;
    real.PresentationInterval = parameters.PresentationInterval;
    return real;
}

PresentParameters fromD3d(const D3DPRESENT_PARAMETERS& real) {
    return PresentParameters{
        .BackBufferWidth = real.BackBufferWidth,
        .BackBufferHeight = real.BackBufferHeight,
        .BackBufferFormat = static_cast<render::Format>(real.BackBufferFormat),
        .BackBufferCount = real.BackBufferCount,
        .MultiSampleType = static_cast<DWORD>(real.MultiSampleType),
        .MultiSampleQuality = real.MultiSampleQuality,
        .SwapEffect = static_cast<DWORD>(real.SwapEffect),
        .hDeviceWindow = real.hDeviceWindow,
        .Windowed = real.Windowed,
        .EnableAutoDepthStencil = real.EnableAutoDepthStencil,
        .AutoDepthStencilFormat = static_cast<render::Format>(real.AutoDepthStencilFormat),
        .Flags = real.Flags,
        .FullScreen_RefreshRateInHz = real.FullScreen_RefreshRateInHz,
        .PresentationInterval = real.PresentationInterval,
    };
}

}  // namespace gs::render::d3d9
