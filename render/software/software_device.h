// The software Direct3D 9 device: validates calls as Direct3D 9 does and carries them out on
// surfaces in memory.
//
// The device has one render target, its back buffer, and never presents it. It creates no threads
// and allocates nothing per draw: its pixel pipeline's scratch tiles are made with the device.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "render/device.h"
#include "render/software/adapter.h"
#include "render/software/deferred_fill.h"
#include "render/software/device_states.h"
#include "render/software/draw_batch.h"
#include "render/software/pixel_pipeline.h"
#include "render/software/primitive_assembly.h"
#include "render/software/reference_count.h"
#include "render/software/texture_sampling.h"

namespace gs::render::software {

class BackBuffer;
class SoftwareDirect3D;
class SoftwarePixelShader;
class SoftwareSurface;
class SoftwareTexture;

class SoftwareDevice final : public Device {
public:
    // `parameters` already validated. kErrOutOfVideoMemory when the back buffer cannot be had.
    static HRESULT create(SoftwareDirect3D& direct3d, const PresentParameters& parameters,
                          const AdapterSettings& settings, SoftwareDevice** device);

    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, Format format,
                          Pool pool, Texture** texture) override;
    HRESULT GetRenderTarget(DWORD index, Surface** surface) override;

    HRESULT Clear(DWORD rectCount, const RECT* rects, DWORD flags, Colour colour, float z,
                  DWORD stencil) override;
    HRESULT ColorFill(Surface* surface, const RECT* rect, Colour colour) override;
    HRESULT StretchRect(Surface* source, const RECT* sourceRect, Surface* destination,
                        const RECT* destinationRect, TextureFilter filter) override;

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

    HRESULT CreatePixelShader(const DWORD* function, PixelShader** shader) override;
    HRESULT SetPixelShader(PixelShader* shader) override;
    HRESULT GetPixelShader(PixelShader** shader) override;
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data,
                                    UINT vector4fCount) override;
    HRESULT GetPixelShaderConstantF(UINT startRegister, float* data, UINT vector4fCount) override;

    // Runs the draws held back (DrawBatch) if `surface` is the back buffer, a waiting draw
    // samples it or the waiting copy writes it: before anything outside a draw reads or writes its
    // pixels.
    void finishDrawsOn(const SoftwareSurface& surface);

private:
    SoftwareDevice(SoftwareDirect3D& direct3d, const PresentParameters& parameters,
                   const AdapterSettings& settings, std::unique_ptr<PixelPipeline> pipeline);
    ~SoftwareDevice();

    bool isLost() const;
    // The surface behind `surface` when this device made it, else null.
    SoftwareSurface* ownSurface(Surface* surface);
    DrawSetup drawSetup(const VertexLayout& layout);
    // Whether this device's draws are held back and run band by band (a back buffer larger
    // than AdapterSettings::bandedTargetBytes).
    bool drawsInBands() const;
    void runHeldDraws();
    // Forgets the held draws, a held copy's destination given back the memory it had.
    void dropHeldDraws();
    // Holds a point-sampled StretchRect from the back buffer into the whole of `to` back with the
    // draws (DrawBatch::Copy), `to` moved to the spare memory first so that waiting draws still
    // sample what it showed. False where the copy must run now.
    bool holdCopy(const SoftwareSurface& from, const RECT& fromRect, SoftwareSurface& to,
                  const RECT& toRect, bool linear);
    // Whether a draw now would sample the surface a held copy writes.
    bool samplesHeldCopy() const;
    void holdDraw(PrimitiveType type, UINT primitiveCount, const void* vertices,
                  std::size_t vertexBytes, UINT stride, const VertexLayout& layout);
    PointRule pointRule() const;
    Cull cullMode() const;

    ReferenceCount refs_{1};
    SoftwareDirect3D& direct3d_;
    const PresentParameters parameters_;  // kept as the device was made
    const AdapterSettings settings_;
    const std::uint64_t createdInEpoch_;

    BackBuffer* backBuffer_ = nullptr;
    DeviceStates states_;
    std::array<SoftwareTexture*, kSamplerCount> textures_{};
    SoftwarePixelShader* pixelShader_ = nullptr;
    float constants_[kPixelShaderFloatConstants][4] = {};
    DWORD fvf_ = 0;
    bool inScene_ = false;

    std::unique_ptr<PixelPipeline> pipeline_;
    TextureSampling sampling_;
    DeferredFill deferredFill_;  // a clear of the back buffer, written as the next draw goes
    DrawBatch heldDraws_;        // the scene's draws not yet run, where drawsInBands()
    // The memory a held copy's destination gave up: what the waiting draws sample until they
    // have run, and the memory the next held copy moves its destination to.
    std::unique_ptr<PixelStorage> spareStorage_;
};

}  // namespace gs::render::software
