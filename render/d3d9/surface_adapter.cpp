#include "render/d3d9/surface_adapter.h"

#include <new>

#include "render/d3d9/adapter_link.h"

namespace gs::render::d3d9 {

SurfaceAdapter* SurfaceAdapter::create(IDirect3DSurface9* surface) {
    return new (std::nothrow) SurfaceAdapter(surface);
}

SurfaceAdapter::~SurfaceAdapter() {
    unlinkAdapter(surface_, this);
    surface_->Release();
}

HRESULT SurfaceAdapter::GetDesc(SurfaceDesc* desc) {
    if (desc == nullptr) {
        return kErrInvalidCall;
    }
    D3DSURFACE_DESC real{};
    const HRESULT hr = surface_->GetDesc(&real);
    if (SUCCEEDED(hr)) {
        *desc = toSurfaceDesc(real);
    }
    return hr;
}

HRESULT SurfaceAdapter::GetDC(HDC* dc) {
    return surface_->GetDC(dc);
}

HRESULT SurfaceAdapter::ReleaseDC(HDC dc) {
    return surface_->ReleaseDC(dc);
}

SurfaceDesc toSurfaceDesc(const D3DSURFACE_DESC& desc) {
    return SurfaceDesc{
        .Format = static_cast<render::Format>(desc.Format),
        .Usage = desc.Usage,
        .Pool = static_cast<render::Pool>(desc.Pool),
        .Width = desc.Width,
        .Height = desc.Height,
    };
}

}  // namespace gs::render::d3d9
