// The software device on a frame's workload at 1920 x 1080: the feedback quad, the trace points,
// the feedback capture and the effect quad's fill rate.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "render/device.h"
#include "render/software/adapter.h"

namespace gs::render::software {
namespace {

constexpr UINT kWidth = 1920;
constexpr UINT kHeight = 1080;

struct TexturedColourVertex {
    float x, y, z, rhw;
    Colour diffuse;
    float u, v;
};
struct PointVertex {
    float x, y, z, rhw;
    float size;
    Colour diffuse;
};

class Frame : public benchmark::Fixture {
public:
    void SetUp(benchmark::State& state) override {
        resetAdapter();
        direct3d_ = createDirect3D(kSdkVersion);
        PresentParameters p{};
        p.BackBufferWidth = kWidth;
        p.BackBufferHeight = kHeight;
        p.BackBufferFormat = Format::X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = kSwapEffectDiscard;
        p.hDeviceWindow = reinterpret_cast<HWND>(std::uintptr_t{1});
        p.Windowed = TRUE;
        p.Flags = kPresentFlagLockableBackBuffer;
        if (direct3d_ == nullptr ||
            FAILED(direct3d_->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr, 0, &p,
                                           &device_)) ||
            FAILED(device_->CreateTexture(kWidth / 2, kHeight / 2, 1, kUsageRenderTarget,
                                          Format::X8R8G8B8, Pool::Default, &feedback_)) ||
            FAILED(feedback_->GetSurfaceLevel(0, &feedbackSurface_)) ||
            FAILED(device_->GetRenderTarget(0, &backBuffer_))) {
            state.SkipWithError("no software device");
            return;
        }
        device_->ColorFill(feedbackSurface_, nullptr, 0xFFFFFFFFu);
        device_->SetSamplerState(0, SamplerState::MinFilter, DWORD(TextureFilter::Linear));
        device_->SetSamplerState(0, SamplerState::MagFilter, DWORD(TextureFilter::Linear));
        device_->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
        device_->SetRenderState(RenderStateType::CullMode, DWORD(Cull::None));
        device_->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
        device_->SetTextureStageState(0, TextureStageState::AlphaOp, DWORD(TextureOp::SelectArg1));
        device_->SetTextureStageState(0, TextureStageState::AlphaArg1, DWORD(TextureArg::Diffuse));
    }

    void TearDown(benchmark::State&) override {
        for (Unknown* object : std::initializer_list<Unknown*>{backBuffer_, feedbackSurface_,
                                                               feedback_, device_, direct3d_}) {
            if (object != nullptr) {
                object->Release();
            }
        }
        backBuffer_ = feedbackSurface_ = nullptr;
        feedback_ = nullptr;
        device_ = nullptr;
        direct3d_ = nullptr;
    }

protected:
    Direct3D* direct3d_ = nullptr;
    Device* device_ = nullptr;
    Texture* feedback_ = nullptr;
    Surface* feedbackSurface_ = nullptr;
    Surface* backBuffer_ = nullptr;
};

BENCHMARK_F(Frame, FeedbackQuad)(benchmark::State& state) {
    const float w = kWidth, h = kHeight;
    const TexturedColourVertex fan[4] = {{0, 0, 1, 1, 0xB2FFFFFFu, 0.02f, 0.03f},
                                         {w, 0, 1, 1, 0xB2FFFFFFu, 0.98f, 0.02f},
                                         {w, h, 1, 1, 0xB2FFFFFFu, 0.97f, 0.98f},
                                         {0, h, 1, 1, 0xB2FFFFFFu, 0.01f, 0.97f}};
    device_->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::SrcAlpha));
    device_->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    device_->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Texture));
    device_->SetTexture(0, feedback_);
    device_->SetFVF(kFvfXyzRhw | kFvfDiffuse | kFvfTex1);
    device_->BeginScene();
    for (auto _ : state) {
        device_->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, fan, sizeof fan[0]);
    }
    device_->EndScene();
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

BENCHMARK_F(Frame, TracePoints)(benchmark::State& state) {
    std::vector<PointVertex> points(4096);
    const float radius = 540.0f;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const float angle = float(i) * 0.0015f;
        const float r = float((i * 37) % 256) / 255.0f * radius;
        points[i] = {960.0f + std::sin(angle) * r,
                     540.0f - std::cos(angle) * r,
                     1,
                     1,
                     0.008f * radius,
                     0xFF404040u};
    }
    device_->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::DestColor));
    device_->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    device_->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Diffuse));
    device_->SetFVF(kFvfXyzRhw | kFvfPSize | kFvfDiffuse);
    device_->BeginScene();
    for (auto _ : state) {
        device_->DrawPrimitiveUP(PrimitiveType::PointList, 4096, points.data(), sizeof points[0]);
    }
    device_->EndScene();
    state.SetItemsProcessed(state.iterations() * 4096);
}

BENCHMARK_F(Frame, FeedbackCapture)(benchmark::State& state) {
    const RECT frame{0, 0, LONG(kWidth), LONG(kHeight)};
    for (auto _ : state) {
        device_->StretchRect(backBuffer_, &frame, feedbackSurface_, nullptr, TextureFilter::None);
    }
    state.SetItemsProcessed(state.iterations() * (kWidth / 2) * (kHeight / 2));
}

BENCHMARK_F(Frame, Clear)(benchmark::State& state) {
    for (auto _ : state) {
        device_->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

}  // namespace
}  // namespace gs::render::software
