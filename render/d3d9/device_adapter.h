// render::Device over IDirect3DDevice9.
//
// Every call passes straight through: the contract's numbers are Direct3D 9's own, so states,
// formats and filters are only cast. What the device hands back comes back as the adapter the
// caller already holds, so that Release balances:
//   - surfaces and textures carry a record of their adapter (adapter_link.h); GetRenderTarget,
//     GetTexture and GetSurfaceLevel find it there, and make a fresh adapter only when the caller
//     has released the last one while Direct3D still kept the object (a texture left bound);
//   - the device keeps the back buffer's adapter for its own lifetime, so the renderer's two
//     GetRenderTarget calls a frame find it alive and allocate nothing;
//   - pixel shaders carry no private data, so the device remembers the adapter last given to
//     SetPixelShader and holds a reference on it, as Direct3D holds one on the shader itself.
#pragma once

#include <d3d9.h>

#include "render/d3d9/ref_counted.h"
#include "render/device.h"

namespace gs::render::d3d9 {

class SurfaceAdapter;
class PixelShaderAdapter;

class DeviceAdapter final : public RefCounted<DeviceAdapter, render::Device> {
public:
    // Takes over one reference on `device`. Null when memory runs out (the reference stays the
    // caller's).
    static DeviceAdapter* create(IDirect3DDevice9* device);

    HRESULT TestCooperativeLevel() override;

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, Format format,
                          Pool pool, render::Texture** texture) override;
    HRESULT GetRenderTarget(DWORD index, render::Surface** surface) override;

    HRESULT Clear(DWORD rectCount, const RECT* rects, DWORD flags, Colour colour, float z,
                  DWORD stencil) override;
    HRESULT ColorFill(render::Surface* surface, const RECT* rect, Colour colour) override;
    HRESULT StretchRect(render::Surface* source, const RECT* sourceRect,
                        render::Surface* destination, const RECT* destinationRect,
                        TextureFilter filter) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;

    HRESULT SetRenderState(RenderStateType state, DWORD value) override;
    HRESULT GetRenderState(RenderStateType state, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, TextureStageState state, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, TextureStageState state, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, SamplerState state, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, SamplerState state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, BaseTexture* texture) override;
    HRESULT GetTexture(DWORD stage, BaseTexture** texture) override;

    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT DrawPrimitiveUP(PrimitiveType type, UINT primitiveCount, const void* vertices,
                            UINT stride) override;

    HRESULT CreatePixelShader(const DWORD* function, render::PixelShader** shader) override;
    HRESULT SetPixelShader(render::PixelShader* shader) override;
    HRESULT GetPixelShader(render::PixelShader** shader) override;
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data,
                                    UINT vector4fCount) override;
    HRESULT GetPixelShaderConstantF(UINT startRegister, float* data, UINT vector4fCount) override;

private:
    friend class RefCounted<DeviceAdapter, render::Device>;
    explicit DeviceAdapter(IDirect3DDevice9* device);
    ~DeviceAdapter();

    IDirect3DDevice9* const device_;
    SurfaceAdapter* backBuffer_ = nullptr;
    PixelShaderAdapter* pixelShader_ = nullptr;
};

}  // namespace gs::render::d3d9
