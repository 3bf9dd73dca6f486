#include "render/d3d9/texture_adapter.h"

#include <new>

#include "render/d3d9/adapter_link.h"
#include "render/d3d9/surface_adapter.h"

namespace gs::render::d3d9 {

TextureAdapter* TextureAdapter::create(IDirect3DTexture9* texture) {
    return new (std::nothrow) TextureAdapter(texture);
}

TextureAdapter::~TextureAdapter() {
    unlinkAdapter(texture_, this);
    texture_->Release();
}

HRESULT TextureAdapter::GetLevelDesc(UINT level, SurfaceDesc* desc) {
    if (desc == nullptr) {
        return kErrInvalidCall;
    }
    D3DSURFACE_DESC real{};
    const HRESULT hr = texture_->GetLevelDesc(level, &real);
    if (SUCCEEDED(hr)) {
        *desc = toSurfaceDesc(real);
    }
    return hr;
}

HRESULT TextureAdapter::GetSurfaceLevel(UINT level, render::Surface** surface) {
    if (surface == nullptr) {
        return kErrInvalidCall;
    }
    *surface = nullptr;
    IDirect3DSurface9* real = nullptr;
    const HRESULT hr = texture_->GetSurfaceLevel(level, &real);
    if (FAILED(hr)) {
        return hr;
    }
    *surface = adoptResource<SurfaceAdapter>(real);
    return *surface != nullptr ? hr : E_OUTOFMEMORY;
}

}  // namespace gs::render::d3d9
