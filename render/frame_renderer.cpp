#include "render/frame_renderer.h"

#include <algorithm>

#include "render/band_energies.h"
#include "render/colour_model.h"
#include "render/device_lifecycle.h"
#include "render/frame_geometry.h"
#include "render/messages.h"
#include "render/vertices.h"

namespace gs::render {

namespace {

constexpr Colour kBlack = 0xFF000000u;

bool deviceComplete(const RenderState& state) {
    return state.device != nullptr && state.feedbackSurface != nullptr &&
           state.leftHistorySurface != nullptr && state.rightHistorySurface != nullptr &&
           state.scratchSurface != nullptr && state.effectObject != nullptr;
}

void setBlend(Device* device, Blend source, TextureArg colourSource) {
    device->SetRenderState(RenderStateType::SrcBlend, DWORD(source));
    device->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    device->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
    device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(colourSource));
}

void drawBackground(const RenderState& state, const FrameGeometry& g) {
    Device* device = state.device;
    setBlend(device, Blend::SrcAlpha, TextureArg::Texture);
    BackgroundVertex quad[4];
    buildBackgroundQuad(g, quad);
    device->SetFVF(kBackgroundFvf);
    device->SetTexture(0, state.feedbackTexture);
    device->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(BackgroundVertex));
}

void drawTraces(const RenderState& state, const FrameGeometry& g, const plugin::TimedLevel& levels,
                int secondChannel, float hue) {
    Device* device = state.device;
    setBlend(device, Blend::DestColor, TextureArg::Diffuse);
    // A fixed array of the call: no allocation per frame.
    TracePointVertex points[kTracePointCount];
    buildTracePoints(g, levels, secondChannel, hue, points);
    device->SetFVF(kTracePointFvf);
    device->DrawPrimitiveUP(PrimitiveType::PointList, kTracePointCount, points,
                            sizeof(TracePointVertex));
}

// Moves every colour of a strip one texel on, through the scratch surface, and puts the newest
// colour in texel 0; the oldest falls off the end.
void pushHistory(const RenderState& state, Surface* strip, Colour colour) {
    Device* device = state.device;
    const LONG n = state.historyLength;
    const RECT head = {0, 0, 1, 1};
    const RECT older = {0, 0, n - 1, 1};
    const RECT shifted = {1, 0, n, 1};
    device->StretchRect(strip, nullptr, state.scratchSurface, nullptr, TextureFilter::None);
    device->ColorFill(strip, &head, colour);
    device->StretchRect(state.scratchSurface, &older, strip, &shifted, TextureFilter::None);
}

void updateHistory(const RenderState& state, Surface* strip,
                   const unsigned char (&spectrum)[plugin::kSpectrumSize], float hue, Side side) {
    const BandEnergies bands = bandEnergies(spectrum);
    pushHistory(state, strip, bandColour(bands.low, bands.mid, bands.high, hue, side));
}

// One quad over the target through the effect: rings around two (pass 0) or four (pass 1) moving
// sources, read from the colour histories.
void drawEffect(const RenderState& state, const FrameGeometry& g, UINT pass) {
    fx::Effect* effect = state.effectObject;
    effect->SetTechnique(state.techniqueHandle);
    effect->Begin(nullptr, 0);
    effect->BeginPass(pass);

    fx::Vector4 positions[4];
    effectPositions(g, positions);
    for (int i = 0; i < 4; ++i) {
        effect->SetVector(state.posHandles[i], &positions[i]);
    }
    effect->SetTexture(state.leftTextureHandle, state.leftHistoryTexture);
    effect->SetTexture(state.rightTextureHandle, state.rightHistoryTexture);
    effect->SetFloat(state.texWidthHandle,
                     static_cast<float>(std::max(state.targetWidth, state.targetHeight)) * 15.0f);
    effect->CommitChanges();

    EffectQuadVertex quad[4];
    buildEffectQuad(g, quad);
    state.device->SetFVF(kEffectQuadFvf);
    state.device->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(EffectQuadVertex));

    effect->EndPass();
    effect->End();
}

// The part of the target that lies on the back buffer: a target larger than the display is cut to
// the back buffer for the capture and the copy.
LONG visibleWidth(const RenderState& state) {
    return static_cast<LONG>(std::min(state.targetWidth, state.presentParameters.BackBufferWidth));
}
LONG visibleHeight(const RenderState& state) {
    return static_cast<LONG>(
        std::min(state.targetHeight, state.presentParameters.BackBufferHeight));
}

// Keeps this frame, scaled to half size, for the next frame's background.
void captureFeedback(const RenderState& state) {
    Surface* backBuffer = nullptr;
    if (FAILED(state.device->GetRenderTarget(0, &backBuffer))) {
        return;
    }
    const RECT source = {0, 0, visibleWidth(state), visibleHeight(state)};
    state.device->StretchRect(backBuffer, &source, state.feedbackSurface, nullptr,
                              TextureFilter::None);
    backBuffer->Release();
}

// Waits until one and a half refresh periods have passed since the previous copy. The elapsed
// time is taken in wrapping unsigned arithmetic, so the millisecond counter's wrap after 49.7 days
// is harmless; and a time stamp from long ago (the first frame on a machine that has been up for
// more than 24.8 days) counts as long ago, never as a wait of weeks.
void pace(const RenderState& state) {
    const DWORD now = timeGetTime();
    const DWORD interval = pacingInterval(state.displayMode.RefreshRate);
    const DWORD elapsed = now - state.lastBlitTime;
    if (elapsed < interval) {
        Sleep(interval - elapsed);
    }
}

HRESULT reportSurfaceDcFailure(const VisualizerView& view, Surface* backBuffer) {
    view.isRenderingEnabled = false;
    if (backBuffer != nullptr) {
        backBuffer->Release();
    }
    MessageBoxA(nullptr, messages::kSurfaceDcFailed, messages::kCaption, MB_ICONWARNING);
    return E_FAIL;
}

// Copies the finished frame from the back buffer into the caller's device context, paced.
HRESULT present(const VisualizerView& view, HDC dc, const RECT& rc) {
    RenderState& state = view.state;
    Surface* backBuffer = nullptr;
    HDC backBufferDc = nullptr;
    if (FAILED(state.device->GetRenderTarget(0, &backBuffer)) || backBuffer == nullptr ||
        FAILED(backBuffer->GetDC(&backBufferDc))) {
        return reportSurfaceDcFailure(view, backBuffer);
    }
    pace(state);
    BitBlt(dc, rc.left, rc.top, visibleWidth(state), visibleHeight(state), backBufferDc, 0, 0,
           SRCCOPY);
    state.lastBlitTime = timeGetTime();
    backBuffer->ReleaseDC(backBufferDc);
    backBuffer->Release();
    return S_OK;
}

}  // namespace

DWORD pacingInterval(UINT refreshRate) {
    return 1500u / (refreshRate != 0 ? refreshRate : 60u);
}

HRESULT renderFrame(const VisualizerView& view, const plugin::TimedLevel* levels, HDC dc,
                    const RECT* rc) {
    if (!view.isRenderingEnabled) {
        return S_OK;
    }
    if (levels == nullptr || rc == nullptr) {
        return E_POINTER;
    }
    RenderState& state = view.state;

    if (deviceComplete(state)) {
        if (FAILED(state.device->TestCooperativeLevel())) {
            recreateDevice(view);
            return S_OK;  // the device was lost: this frame is skipped
        }
    } else {
        if (FAILED(recreateDevice(view))) {
            MessageBoxA(nullptr, messages::kDeviceCreationFailed, messages::kCaption,
                        MB_ICONWARNING);
            return E_FAIL;
        }
        if (state.device == nullptr) {
            return S_OK;  // creation deferred
        }
    }

    // An empty or inverted rectangle has nothing to show.
    if (rc->right <= rc->left || rc->bottom <= rc->top) {
        return S_OK;
    }
    // Unsigned: the extent of a rectangle from far left to far right does not fit a LONG.
    state.targetWidth = static_cast<UINT>(rc->right) - static_cast<UINT>(rc->left);
    state.targetHeight = static_cast<UINT>(rc->bottom) - static_cast<UINT>(rc->top);
    const FrameGeometry geometry =
        makeFrameGeometry(state.targetWidth, state.targetHeight, view.hue);
    const int secondChannel = view.isMono ? 0 : 1;

    Device* device = state.device;
    if (FAILED(device->Clear(0, nullptr, kClearTarget, kBlack, 1.0f, 0))) {
        return E_FAIL;
    }
    if (SUCCEEDED(device->BeginScene())) {
        drawBackground(state, geometry);
        if (levels->state == plugin::kPlaying) {
            view.hue = advanceHue(view.hue);
            drawTraces(state, geometry, *levels, secondChannel, view.hue);
            updateHistory(state, state.leftHistorySurface, levels->frequency[0], view.hue,
                          Side::Left);
            updateHistory(state, state.rightHistorySurface, levels->frequency[secondChannel],
                          view.hue, Side::Right);
        }
        if (view.currentPreset == 0 || view.currentPreset == 1) {
            drawEffect(state, geometry, static_cast<UINT>(view.currentPreset));
        }
        captureFeedback(state);
        device->EndScene();
    }
    return present(view, dc, *rc);
}

}  // namespace gs::render
