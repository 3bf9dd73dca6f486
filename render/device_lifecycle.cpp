#include "render/device_lifecycle.h"

#include "render/messages.h"

namespace gs::render {

namespace {

HRESULT warn(const char* text) {
    MessageBoxA(nullptr, text, messages::kCaption, MB_ICONWARNING);
    return E_FAIL;
}

template <typename T>
void releaseAndClear(T*& object) {
    if (object != nullptr) {
        object->Release();
        object = nullptr;
    }
}

// A one-level render-target texture in the back buffer's format, and its level-0 surface, which
// holds a reference of its own.
HRESULT createRenderTarget(Device* device, UINT width, UINT height, Format format,
                           Texture*& texture, Surface*& surface) {
    HRESULT hr = device->CreateTexture(width, height, 1, kUsageRenderTarget, format, Pool::Default,
                                       &texture);
    if (FAILED(hr)) {
        return hr;
    }
    return texture->GetSurfaceLevel(0, &surface);
}

void setFixedStates(Device* device) {
    device->SetSamplerState(0, SamplerState::MinFilter, DWORD(TextureFilter::Linear));
    device->SetSamplerState(0, SamplerState::MipFilter, DWORD(TextureFilter::Linear));
    device->SetSamplerState(0, SamplerState::MagFilter, DWORD(TextureFilter::Linear));

    device->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
    device->SetRenderState(RenderStateType::Lighting, FALSE);
    device->SetRenderState(RenderStateType::BlendOp, DWORD(BlendOp::Add));
    device->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::SrcAlpha));
    device->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    device->SetRenderState(RenderStateType::CullMode, DWORD(Cull::None));
    device->SetRenderState(RenderStateType::ZEnable, kZBufferFalse);

    device->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
    device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Texture));
    device->SetTextureStageState(0, TextureStageState::AlphaOp, DWORD(TextureOp::SelectArg1));
    device->SetTextureStageState(0, TextureStageState::AlphaArg1, DWORD(TextureArg::Diffuse));
}

}  // namespace

HRESULT initializeDirect3D(const VisualizerView& view) {
    RenderState& state = view.state;
    state.direct3d = createDirect3D(kSdkVersion);
    if (state.direct3d == nullptr) {
        return warn(messages::kDirectXInitFailed);
    }
    if (FAILED(state.direct3d->GetAdapterDisplayMode(kDefaultAdapter, &state.displayMode))) {
        return warn(messages::kDisplayModeFailed);
    }
    Caps caps = {};
    if (FAILED(state.direct3d->GetDeviceCaps(kDefaultAdapter, DeviceType::Hal, &caps))) {
        return warn(messages::kCapsFailed);
    }
    if (caps.PixelShaderVersion < pixelShaderVersion(2, 0)) {
        return warn(messages::kPixelShaderUnsupported);
    }

    PresentParameters& pp = state.presentParameters;
    pp = {};
    pp.BackBufferWidth = state.displayMode.Width;
    pp.BackBufferHeight = state.displayMode.Height;
    pp.BackBufferFormat = state.displayMode.Format;
    pp.BackBufferCount = 1;
    pp.MultiSampleType = kMultiSampleNone;
    pp.MultiSampleQuality = 0;
    pp.SwapEffect = kSwapEffectDiscard;
    pp.hDeviceWindow = nullptr;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = FALSE;
    pp.AutoDepthStencilFormat = Format::D16;
    // The frame is copied out through a GDI device context of the back buffer.
    pp.Flags = kPresentFlagLockableBackBuffer;
    pp.FullScreen_RefreshRateInHz = 0;
    pp.PresentationInterval = kPresentIntervalDefault;
    state.targetWidth = state.displayMode.Width;
    state.targetHeight = state.displayMode.Height;

    view.isRenderingEnabled = true;
    return S_OK;
}

void releaseDeviceResources(RenderState& state) {
    releaseAndClear(state.feedbackTexture);
    releaseAndClear(state.feedbackSurface);
    releaseAndClear(state.leftHistoryTexture);
    releaseAndClear(state.leftHistorySurface);
    releaseAndClear(state.rightHistoryTexture);
    releaseAndClear(state.rightHistorySurface);
    releaseAndClear(state.scratchTexture);
    releaseAndClear(state.scratchSurface);
    releaseAndClear(state.effectObject);
    releaseAndClear(state.device);
}

HRESULT recreateDevice(const VisualizerView& view) {
    RenderState& state = view.state;
    releaseDeviceResources(state);

    PresentParameters& pp = state.presentParameters;
    HWND window = view.hostWindow != nullptr ? view.hostWindow : GetForegroundWindow();
    pp.hDeviceWindow = window;
    if (window == nullptr || (pp.BackBufferWidth == 0 && pp.BackBufferHeight == 0)) {
        return S_OK;  // deferred: nothing to attach a device to yet
    }

    HRESULT hr = state.direct3d->CreateDevice(kDefaultAdapter, DeviceType::Hal, view.hostWindow,
                                              kCreateSoftwareVertexProcessing, &pp, &state.device);
    if (hr == kErrDeviceLost) {
        return S_OK;  // deferred: tried again next frame
    }
    if (FAILED(hr)) {
        return E_FAIL;
    }

    // The strips run along the longer side of the target, but are sized by the back buffer.
    LONG length = static_cast<LONG>(state.targetHeight > state.targetWidth ? pp.BackBufferHeight
                                                                           : pp.BackBufferWidth);
    state.historyLength = length <= 50 ? 50 : length;

    const UINT feedbackWidth = static_cast<UINT>(pp.BackBufferWidth * 0.5);
    const UINT feedbackHeight = static_cast<UINT>(pp.BackBufferHeight * 0.5);
    const UINT strip = static_cast<UINT>(state.historyLength);
    if (FAILED(createRenderTarget(state.device, feedbackWidth, feedbackHeight, pp.BackBufferFormat,
                                  state.feedbackTexture, state.feedbackSurface)) ||
        FAILED(createRenderTarget(state.device, strip, 1, pp.BackBufferFormat,
                                  state.leftHistoryTexture, state.leftHistorySurface)) ||
        FAILED(createRenderTarget(state.device, strip, 1, pp.BackBufferFormat,
                                  state.rightHistoryTexture, state.rightHistorySurface)) ||
        FAILED(createRenderTarget(state.device, strip, 1, pp.BackBufferFormat, state.scratchTexture,
                                  state.scratchSurface))) {
        return E_FAIL;
    }

    if (FAILED(state.device->ColorFill(state.feedbackSurface, nullptr, 0xFFFFFFFFu)) ||
        FAILED(state.device->ColorFill(state.leftHistorySurface, nullptr, 0xFF004600u)) ||
        FAILED(state.device->ColorFill(state.rightHistorySurface, nullptr, 0xFF0A00FCu))) {
        return E_FAIL;
    }

    if (view.moduleHandle == nullptr) {
        view.moduleHandle = GetModuleHandleA(kModuleFileName);
    }
    // A missing resource is not tested here: it leaves no data, and effect creation refuses that.
    // Without a module handle there is nothing to look in (a null handle would name the host's
    // own program, which carries no effect of ours).
    HRSRC resource = view.moduleHandle != nullptr
                         ? FindResourceA(view.moduleHandle, "EFFECT.OBJ", "OBJ")
                         : nullptr;
    HGLOBAL loaded = resource != nullptr ? LoadResource(view.moduleHandle, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = resource != nullptr ? SizeofResource(view.moduleHandle, resource) : 0;

    fx::Buffer* errors = nullptr;
    hr = fx::createEffect(state.device, bytes, bytes != nullptr ? size : 0, &state.effectObject,
                          &errors);
    if (FAILED(hr)) {
        if (errors != nullptr) {
            MessageBoxA(nullptr, static_cast<const char*>(errors->GetBufferPointer()),
                        messages::kCaption, MB_OK);
            errors->Release();
        }
        if (loaded != nullptr) {
            FreeResource(loaded);
        }
        return E_FAIL;
    }

    fx::Effect* effect = state.effectObject;
    state.techniqueHandle = effect->GetTechniqueByName("effect");
    state.posHandles[0] = effect->GetParameterByName(nullptr, "pos0");
    state.posHandles[1] = effect->GetParameterByName(nullptr, "pos1");
    state.posHandles[2] = effect->GetParameterByName(nullptr, "pos2");
    state.posHandles[3] = effect->GetParameterByName(nullptr, "pos3");
    state.texWidthHandle = effect->GetParameterByName(nullptr, "texWidth");
    state.leftTextureHandle = effect->GetParameterByName(nullptr, "Ltexture");
    state.rightTextureHandle = effect->GetParameterByName(nullptr, "Rtexture");

    if (errors != nullptr) {
        errors->Release();
    }
    if (loaded != nullptr) {
        FreeResource(loaded);
    }

    setFixedStates(state.device);
    return S_OK;
}

}  // namespace gs::render
