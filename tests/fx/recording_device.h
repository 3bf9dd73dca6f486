// A render::Device that draws nothing: it keeps the state an effect sets (render and sampler
// states, bound textures, pixel shader, constant registers), logs every state call in order,
// and counts references of itself and of the objects it hands out, so tests can see what an
// effect did to the device and that every reference came back.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/device.h"

namespace gs::fx::testing {

// Reference counts of everything a RecordingDevice made, shared with the objects so they can be
// checked after the device is gone.
struct ReferenceLedger {
    int liveObjects = 0;
};

class FakeObject {
public:
    explicit FakeObject(std::shared_ptr<ReferenceLedger> ledger) : ledger_(std::move(ledger)) {
        ++ledger_->liveObjects;
    }
    virtual ~FakeObject() { --ledger_->liveObjects; }
    ULONG references() const { return references_; }

protected:
    ULONG addReference() { return ++references_; }
    ULONG dropReference() {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

private:
    std::shared_ptr<ReferenceLedger> ledger_;
    ULONG references_ = 1;
};

class FakeTexture final : public render::Texture, public FakeObject {
public:
    using FakeObject::FakeObject;
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return dropReference(); }
    HRESULT GetLevelDesc(UINT, render::SurfaceDesc*) override { return E_NOTIMPL; }
    HRESULT GetSurfaceLevel(UINT, render::Surface**) override { return E_NOTIMPL; }
};

class FakePixelShader final : public render::PixelShader, public FakeObject {
public:
    FakePixelShader(std::shared_ptr<ReferenceLedger> ledger, std::vector<DWORD> tokens)
        : FakeObject(std::move(ledger)), tokens_(std::move(tokens)) {}
    ULONG AddRef() override { return addReference(); }
    ULONG Release() override { return dropReference(); }
    const std::vector<DWORD>& tokens() const { return tokens_; }

private:
    std::vector<DWORD> tokens_;
};

// Everything an effect may change, comparable as a whole.
struct DeviceState {
    std::map<DWORD, DWORD> renderStates;
    std::map<std::pair<DWORD, DWORD>, DWORD> samplerStates;  // (unit, state) -> value
    render::BaseTexture* textures[render::kSamplerCount] = {};
    render::PixelShader* pixelShader = nullptr;
    float constants[render::kPixelShaderFloatConstants][4] = {};

    bool operator==(const DeviceState& other) const;
};

class RecordingDevice final : public render::Device {
public:
    RecordingDevice();
    ~RecordingDevice();

    // Failure injection: the CreatePixelShader call with this index (from 0) is refused.
    int refusePixelShaderAt = -1;
    HRESULT getTextureResult = S_OK;
    // Off for tests that count allocations: the log itself allocates.
    bool logging = true;

    const DeviceState& state() const { return state_; }
    const std::vector<std::string>& log() const { return log_; }
    void clearLog() { log_.clear(); }
    std::shared_ptr<ReferenceLedger> ledger() const { return ledger_; }
    ULONG references() const { return references_; }
    int pixelShadersCreated() const { return pixelShadersCreated_; }

    // A texture the test owns (one reference).
    FakeTexture* newTexture() { return new FakeTexture(ledger_); }
    // Drops the references the device holds for bound textures and the pixel shader.
    void unbindAll();

    ULONG AddRef() override { return ++references_; }
    ULONG Release() override { return --references_; }

    HRESULT TestCooperativeLevel() override { return S_OK; }
    HRESULT CreateTexture(UINT, UINT, UINT, DWORD, render::Format, render::Pool,
                          render::Texture** texture) override;
    HRESULT GetRenderTarget(DWORD, render::Surface**) override { return E_NOTIMPL; }
    HRESULT Clear(DWORD, const RECT*, DWORD, render::Colour, float, DWORD) override;
    HRESULT ColorFill(render::Surface*, const RECT*, render::Colour) override;
    HRESULT StretchRect(render::Surface*, const RECT*, render::Surface*, const RECT*,
                        render::TextureFilter) override;
    HRESULT BeginScene() override { return S_OK; }
    HRESULT EndScene() override { return S_OK; }

    HRESULT SetRenderState(render::RenderStateType state, DWORD value) override;
    HRESULT GetRenderState(render::RenderStateType state, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD, render::TextureStageState, DWORD) override;
    HRESULT GetTextureStageState(DWORD, render::TextureStageState, DWORD*) override;
    HRESULT SetSamplerState(DWORD sampler, render::SamplerState state, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, render::SamplerState state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, render::BaseTexture* texture) override;
    HRESULT GetTexture(DWORD stage, render::BaseTexture** texture) override;
    HRESULT SetFVF(DWORD) override { return S_OK; }
    HRESULT GetFVF(DWORD*) override { return E_NOTIMPL; }
    HRESULT DrawPrimitiveUP(render::PrimitiveType, UINT, const void*, UINT) override;

    HRESULT CreatePixelShader(const DWORD* function, render::PixelShader** shader) override;
    HRESULT SetPixelShader(render::PixelShader* shader) override;
    HRESULT GetPixelShader(render::PixelShader** shader) override;
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data,
                                    UINT vector4fCount) override;
    HRESULT GetPixelShaderConstantF(UINT startRegister, float* data, UINT vector4fCount) override;

private:
    void record(std::string entry);

    std::shared_ptr<ReferenceLedger> ledger_ = std::make_shared<ReferenceLedger>();
    DeviceState state_;
    std::vector<std::string> log_;
    ULONG references_ = 1;
    int pixelShadersCreated_ = 0;
    int pixelShaderCalls_ = 0;
};

}  // namespace gs::fx::testing
