#include "render/frame_renderer.h"

#include <algorithm>
#include <cmath>

#include "render/band_energies.h"
#include "render/colour_model.h"
#include "render/device_lifecycle.h"
#include "render/messages.h"
#include "render/vertices.h"

namespace gs::render {

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kByteScale = 0.003921569f;  // 1/255
constexpr int kTracePoints = 4 * plugin::kSpectrumSize;
constexpr Colour kBlack = 0xFF000000u;
constexpr Colour kBackgroundDiffuse = 0xB2FFFFFFu;  // 178/255 of the previous frame
constexpr Colour kTraceDiffuse = 0xFF404040u;       // multiplies what lies beneath by 1 + 64/255

// Per-frame values derived from the target size and the hue.
struct FrameGeometry {
    float width;   // W
    float height;  // H
    float cx;
    float cy;
    UINT minDim;
    float angle;  // the hue before this frame's step, in radians
};

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

// The previous frame, added at 178/255 over the cleared target, each corner sampling a little
// inside the texture's edge so the picture grows slightly and wobbles as the hue turns.
void drawBackground(const RenderState& state, const FrameGeometry& g) {
    Device* device = state.device;
    setBlend(device, Blend::SrcAlpha, TextureArg::Texture);

    const float m = static_cast<float>(static_cast<int>(g.minDim * 0.03));
    const float m2 = 2.0f * m;
    const float s10 = std::sin(10.0f * g.angle) + 1.0f;
    const float c10 = std::cos(10.0f * g.angle) + 1.0f;
    const float s20 = std::sin(20.0f * g.angle) + 1.0f;
    const float c20 = std::cos(20.0f * g.angle) + 1.0f;
    const float w = g.width;
    const float h = g.height;
    const BackgroundVertex quad[4] = {
        {0.0f, 0.0f, 1.0f, 1.0f, kBackgroundDiffuse, s10 * m2 / w, c10 * m2 / h},
        {w, 0.0f, 1.0f, 1.0f, kBackgroundDiffuse, (w - s20 * m) / w, c20 * m / h},
        {w, h, 1.0f, 1.0f, kBackgroundDiffuse, (w - s10 * m2) / w, (h - c10 * m2) / h},
        {0.0f, h, 1.0f, 1.0f, kBackgroundDiffuse, s20 * m / w, (h - c20 * m) / h},
    };
    device->SetFVF(kBackgroundFvf);
    device->SetTexture(0, state.feedbackTexture);
    device->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(BackgroundVertex));
}

// Four traces of 1024 points, each a half-circle around the centre: the spectrum of both channels
// (points only where the byte is non-zero) and their waveforms, the second channel half a turn on.
void drawTraces(const RenderState& state, const FrameGeometry& g, const plugin::TimedLevel& levels,
                int secondChannel, float hue) {
    Device* device = state.device;
    setBlend(device, Blend::DestColor, TextureArg::Diffuse);

    const double radius = g.minDim * 0.5;
    const float pointSize = static_cast<float>(0.008 * radius);
    struct Trace {
        const unsigned char* bytes;
        float offset;  // degrees
        bool hideSilent;
    };
    const Trace traces[4] = {
        {levels.frequency[0], 0.0f, true},
        {levels.frequency[secondChannel], 180.0f, true},
        {levels.waveform[0], 0.0f, false},
        {levels.waveform[secondChannel], 180.0f, false},
    };

    TracePointVertex points[kTracePoints];
    TracePointVertex* point = points;
    for (const Trace& trace : traces) {
        for (int i = 0; i < plugin::kSpectrumSize; ++i, ++point) {
            const unsigned char b = trace.bytes[i];
            const float r = static_cast<float>(b * kByteScale * radius);
            const float theta = (i * 0.17578125f + hue + trace.offset) * kDegreesToRadians;
            point->x = g.cx + std::sin(theta) * r;
            point->y = g.cy - std::cos(theta) * r;
            point->z = 1.0f;
            point->rhw = 1.0f;
            point->size = (trace.hideSilent && b == 0) ? 0.0f : pointSize;
            point->diffuse = kTraceDiffuse;
        }
    }
    device->SetFVF(kTracePointFvf);
    device->DrawPrimitiveUP(PrimitiveType::PointList, kTracePoints, points,
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

    const float a = g.angle;
    const float w = g.width;
    const float h = g.height;
    const fx::Vector4 positions[4] = {
        {g.cx + w / 3.0f * std::sin(2.0f * a), g.cy + h / 3.0f * std::cos(2.0f * a), 0.0f, 0.0f},
        {g.cx - w / 3.0f * std::sin(2.0f * a), g.cy - h / 3.0f * std::cos(2.0f * a), 0.0f, 0.0f},
        {g.cx - w / 2.0f * std::sin(4.0f * a), g.cy - h / 2.0f * std::cos(6.0f * a),
         -w / 2.0f * std::sin(4.0f * a), 0.0f},
        {g.cx + w / 2.0f * std::sin(6.0f * a), g.cy + h / 2.0f * std::cos(4.0f * a),
         h / 2.0f * std::cos(2.0f * a), 0.0f},
    };
    for (int i = 0; i < 4; ++i) {
        effect->SetVector(state.posHandles[i], &positions[i]);
    }
    effect->SetTexture(state.leftTextureHandle, state.leftHistoryTexture);
    effect->SetTexture(state.rightTextureHandle, state.rightHistoryTexture);
    effect->SetFloat(state.texWidthHandle,
                     static_cast<float>(std::max(state.targetWidth, state.targetHeight)) * 15.0f);
    effect->CommitChanges();

    const EffectQuadVertex quad[4] = {
        {0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f},
        {w, 0.0f, 1.0f, 1.0f, w, 0.0f},
        {w, h, 1.0f, 1.0f, w, h},
        {0.0f, h, 1.0f, 1.0f, 0.0f, h},
    };
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

// Waits until one and a half refresh periods have passed since the previous copy.
void pace(const RenderState& state) {
    const DWORD now = timeGetTime();
    const DWORD interval = pacingInterval(state.displayMode.RefreshRate);
    const LONG wait = static_cast<LONG>(interval - (now - state.lastBlitTime));
    if (wait > 0) {
        Sleep(static_cast<DWORD>(wait));
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
    state.targetWidth = static_cast<UINT>(rc->right - rc->left);
    state.targetHeight = static_cast<UINT>(rc->bottom - rc->top);
    FrameGeometry geometry;
    geometry.width = static_cast<float>(state.targetWidth);
    geometry.height = static_cast<float>(state.targetHeight);
    geometry.cx = geometry.width * 0.5f;
    geometry.cy = geometry.height * 0.5f;
    geometry.minDim = std::min(state.targetWidth, state.targetHeight);
    geometry.angle = view.hue * kDegreesToRadians;
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
