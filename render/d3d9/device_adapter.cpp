#include "render/d3d9/device_adapter.h"

#include <cstddef>
#include <new>

#include "render/d3d9/adapter_link.h"
#include "render/d3d9/pixel_shader_adapter.h"
#include "render/d3d9/surface_adapter.h"
#include "render/d3d9/texture_adapter.h"

namespace gs::render::d3d9 {
namespace {

static_assert(sizeof(RECT) == sizeof(D3DRECT) && offsetof(RECT, left) == offsetof(D3DRECT, x1) &&
                  offsetof(RECT, top) == offsetof(D3DRECT, y1) &&
                  offsetof(RECT, right) == offsetof(D3DRECT, x2) &&
                  offsetof(RECT, bottom) == offsetof(D3DRECT, y2),
              "Clear's rectangles are handed to Direct3D as they are");

}  // namespace

DeviceAdapter* DeviceAdapter::create(IDirect3DDevice9* device) {
    return new (std::nothrow) DeviceAdapter(device);
}

DeviceAdapter::DeviceAdapter(IDirect3DDevice9* device) : device_(device) {
    // Without it the back buffer would get a new adapter on every frame; if it cannot be had
    // now, GetRenderTarget still works, only without that saving.
    IDirect3DSurface9* backBuffer = nullptr;
    if (SUCCEEDED(device_->GetRenderTarget(0, &backBuffer))) {
        backBuffer_ = adoptResource<SurfaceAdapter>(backBuffer);
    }
}

DeviceAdapter::~DeviceAdapter() {
    if (pixelShader_ != nullptr) {
        pixelShader_->Release();
    }
    if (backBuffer_ != nullptr) {
        backBuffer_->Release();
    }
    device_->Release();
}

HRESULT DeviceAdapter::TestCooperativeLevel() {
    return device_->TestCooperativeLevel();
}

HRESULT DeviceAdapter::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                     Format format, Pool pool, render::Texture** texture) {
    if (texture == nullptr) {
        return kErrInvalidCall;
    }
    *texture = nullptr;
    IDirect3DTexture9* real = nullptr;
    const HRESULT hr =
        device_->CreateTexture(width, height, levels, usage, static_cast<D3DFORMAT>(format),
                               static_cast<D3DPOOL>(pool), &real, nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    *texture = adoptResource<TextureAdapter>(real);
    return *texture != nullptr ? hr : E_OUTOFMEMORY;
}

HRESULT DeviceAdapter::GetRenderTarget(DWORD index, render::Surface** surface) {
    if (surface == nullptr) {
        return kErrInvalidCall;
    }
    *surface = nullptr;
    IDirect3DSurface9* real = nullptr;
    const HRESULT hr = device_->GetRenderTarget(index, &real);
    if (FAILED(hr)) {
        return hr;
    }
    *surface = adoptResource<SurfaceAdapter>(real);
    return *surface != nullptr ? hr : E_OUTOFMEMORY;
}

HRESULT DeviceAdapter::Clear(DWORD rectCount, const RECT* rects, DWORD flags, Colour colour,
                             float z, DWORD stencil) {
    return device_->Clear(rectCount, reinterpret_cast<const D3DRECT*>(rects), flags, colour, z,
                          stencil);
}

HRESULT DeviceAdapter::ColorFill(render::Surface* surface, const RECT* rect, Colour colour) {
    return device_->ColorFill(SurfaceAdapter::unwrap(surface), rect, colour);
}

HRESULT DeviceAdapter::StretchRect(render::Surface* source, const RECT* sourceRect,
                                   render::Surface* destination, const RECT* destinationRect,
                                   TextureFilter filter) {
    return device_->StretchRect(SurfaceAdapter::unwrap(source), sourceRect,
                                SurfaceAdapter::unwrap(destination), destinationRect,
                                static_cast<D3DTEXTUREFILTERTYPE>(filter));
}

HRESULT DeviceAdapter::BeginScene() {
    return device_->BeginScene();
}

HRESULT DeviceAdapter::EndScene() {
    return device_->EndScene();
}

HRESULT DeviceAdapter::SetRenderState(RenderStateType state, DWORD value) {
    return device_->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
}

HRESULT DeviceAdapter::GetRenderState(RenderStateType state, DWORD* value) {
    return device_->GetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
}

HRESULT DeviceAdapter::SetTextureStageState(DWORD stage, TextureStageState state, DWORD value) {
    return device_->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(state),
                                         value);
}

HRESULT DeviceAdapter::GetTextureStageState(DWORD stage, TextureStageState state, DWORD* value) {
    return device_->GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(state),
                                         value);
}

HRESULT DeviceAdapter::SetSamplerState(DWORD sampler, SamplerState state, DWORD value) {
    return device_->SetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(state), value);
}

HRESULT DeviceAdapter::GetSamplerState(DWORD sampler, SamplerState state, DWORD* value) {
    return device_->GetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(state), value);
}

HRESULT DeviceAdapter::SetTexture(DWORD stage, BaseTexture* texture) {
    return device_->SetTexture(stage, TextureAdapter::unwrap(texture));
}

HRESULT DeviceAdapter::GetTexture(DWORD stage, BaseTexture** texture) {
    if (texture == nullptr) {
        return kErrInvalidCall;
    }
    *texture = nullptr;
    IDirect3DBaseTexture9* bound = nullptr;
    const HRESULT hr = device_->GetTexture(stage, &bound);
    if (FAILED(hr) || bound == nullptr) {
        return hr;
    }
    // Only 2D textures are made through this contract, so the bound object is one.
    IDirect3DTexture9* real = nullptr;
    const HRESULT query =
        bound->QueryInterface(__uuidof(IDirect3DTexture9), reinterpret_cast<void**>(&real));
    bound->Release();
    if (FAILED(query)) {
        return query;
    }
    *texture = adoptResource<TextureAdapter>(real);
    return *texture != nullptr ? hr : E_OUTOFMEMORY;
}

HRESULT DeviceAdapter::SetFVF(DWORD fvf) {
    return device_->SetFVF(fvf);
}

HRESULT DeviceAdapter::GetFVF(DWORD* fvf) {
    return device_->GetFVF(fvf);
}

HRESULT DeviceAdapter::DrawPrimitiveUP(PrimitiveType type, UINT primitiveCount,
                                       const void* vertices, UINT stride) {
    return device_->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(type), primitiveCount, vertices,
                                    stride);
}

HRESULT DeviceAdapter::CreatePixelShader(const DWORD* function, render::PixelShader** shader) {
    if (shader == nullptr) {
        return kErrInvalidCall;
    }
    *shader = nullptr;
    IDirect3DPixelShader9* real = nullptr;
    const HRESULT hr = device_->CreatePixelShader(function, &real);
    if (FAILED(hr)) {
        return hr;
    }
    PixelShaderAdapter* adapter = PixelShaderAdapter::create(real);
    if (adapter == nullptr) {
        real->Release();
        return E_OUTOFMEMORY;
    }
    *shader = adapter;
    return hr;
}

HRESULT DeviceAdapter::SetPixelShader(render::PixelShader* shader) {
    const HRESULT hr = device_->SetPixelShader(PixelShaderAdapter::unwrap(shader));
    if (FAILED(hr)) {
        return hr;
    }
    auto* adapter = static_cast<PixelShaderAdapter*>(shader);
    if (adapter != nullptr) {
        adapter->AddRef();
    }
    if (pixelShader_ != nullptr) {
        pixelShader_->Release();
    }
    pixelShader_ = adapter;
    return hr;
}

HRESULT DeviceAdapter::GetPixelShader(render::PixelShader** shader) {
    if (shader == nullptr) {
        return kErrInvalidCall;
    }
    if (pixelShader_ != nullptr) {
        pixelShader_->AddRef();
    }
    *shader = pixelShader_;
    return D3D_OK;
}

HRESULT DeviceAdapter::SetPixelShaderConstantF(UINT startRegister, const float* data,
                                               UINT vector4fCount) {
    return device_->SetPixelShaderConstantF(startRegister, data, vector4fCount);
}

HRESULT DeviceAdapter::GetPixelShaderConstantF(UINT startRegister, float* data,
                                               UINT vector4fCount) {
    return device_->GetPixelShaderConstantF(startRegister, data, vector4fCount);
}

}  // namespace gs::render::d3d9
