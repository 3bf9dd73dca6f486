#include "real_device.h"

namespace gs::render::d3d9::testing {
namespace {

const wchar_t kWindowClass[] = L"GlimmerstrandDeviceTest";

HWND makeHiddenWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);  // fails harmlessly once the class exists
    return CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

}  // namespace

HWND RealDeviceTest::window_ = nullptr;
Direct3D* RealDeviceTest::direct3d_ = nullptr;
DisplayMode RealDeviceTest::mode_{};

void RealDeviceTest::SetUpTestSuite() {
    window_ = makeHiddenWindow();
    direct3d_ = createDirect3D(kSdkVersion);
    if (direct3d_ != nullptr && FAILED(direct3d_->GetAdapterDisplayMode(kDefaultAdapter, &mode_))) {
        mode_ = DisplayMode{};
    }
}

void RealDeviceTest::TearDownTestSuite() {
    if (direct3d_ != nullptr) {
        EXPECT_EQ(direct3d_->Release(), 0u);
        direct3d_ = nullptr;
    }
    if (window_ != nullptr) {
        DestroyWindow(window_);
        window_ = nullptr;
    }
}

void RealDeviceTest::SetUp() {
    ASSERT_NE(window_, nullptr);
    ASSERT_NE(direct3d_, nullptr);
    ASSERT_NE(mode_.Width, 0u);

    PresentParameters parameters{};
    parameters.BackBufferWidth = mode_.Width;
    parameters.BackBufferHeight = mode_.Height;
    parameters.BackBufferFormat = mode_.Format;
    parameters.BackBufferCount = 1;
    parameters.MultiSampleType = kMultiSampleNone;
    parameters.SwapEffect = kSwapEffectDiscard;
    parameters.hDeviceWindow = window_;
    parameters.Windowed = TRUE;
    parameters.AutoDepthStencilFormat = Format::D16;
    parameters.Flags = kPresentFlagLockableBackBuffer;
    parameters.PresentationInterval = kPresentIntervalDefault;
    ASSERT_EQ(direct3d_->CreateDevice(kDefaultAdapter, DeviceType::Hal, window_,
                                      kCreateSoftwareVertexProcessing, &parameters, &device_),
              S_OK);
    ASSERT_EQ(device_->GetRenderTarget(0, &backBuffer_), S_OK);
    // The states the renderer fixes at device creation.
    device_->SetRenderState(RenderStateType::Lighting, FALSE);
    device_->SetRenderState(RenderStateType::CullMode, static_cast<DWORD>(Cull::None));
    device_->SetRenderState(RenderStateType::ZEnable, kZBufferFalse);
    device_->SetRenderState(RenderStateType::BlendOp, static_cast<DWORD>(BlendOp::Add));
}

void RealDeviceTest::TearDown() {
    for (int i = targetCount_ - 1; i >= 0; --i) {
        EXPECT_EQ(targets_[i].surface->Release(), 0u);
        EXPECT_EQ(targets_[i].texture->Release(), 0u);
    }
    targetCount_ = 0;
    if (backBuffer_ != nullptr) {
        backBuffer_->Release();
        backBuffer_ = nullptr;
    }
    if (device_ != nullptr) {
        EXPECT_EQ(device_->Release(), 0u);
        device_ = nullptr;
    }
}

RealDeviceTest::Target RealDeviceTest::makeTarget(UINT width, UINT height) {
    Target target;
    if (targetCount_ == kMaxTargets) {
        ADD_FAILURE() << "too many targets";
        return target;
    }
    EXPECT_EQ(device_->CreateTexture(width, height, 1, kUsageRenderTarget, mode_.Format,
                                     Pool::Default, &target.texture),
              S_OK);
    if (target.texture == nullptr) {
        return target;
    }
    EXPECT_EQ(target.texture->GetSurfaceLevel(0, &target.surface), S_OK);
    if (target.surface == nullptr) {
        target.texture->Release();
        target.texture = nullptr;
        return target;
    }
    targets_[targetCount_++] = target;
    return target;
}

void RealDeviceTest::fillPixel(Surface* surface, LONG x, LONG y, Colour colour) {
    const RECT pixel{x, y, x + 1, y + 1};
    EXPECT_EQ(device_->ColorFill(surface, &pixel, colour), S_OK);
}

void RealDeviceTest::setBlend(Blend source, Blend destination) {
    device_->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
    device_->SetRenderState(RenderStateType::SrcBlend, static_cast<DWORD>(source));
    device_->SetRenderState(RenderStateType::DestBlend, static_cast<DWORD>(destination));
}

void RealDeviceTest::setStage0Colour(TextureArg colour) {
    device_->SetTextureStageState(0, TextureStageState::ColorOp,
                                  static_cast<DWORD>(TextureOp::SelectArg1));
    device_->SetTextureStageState(0, TextureStageState::ColorArg1, static_cast<DWORD>(colour));
    device_->SetTextureStageState(0, TextureStageState::AlphaOp,
                                  static_cast<DWORD>(TextureOp::SelectArg1));
    device_->SetTextureStageState(0, TextureStageState::AlphaArg1,
                                  static_cast<DWORD>(TextureArg::Diffuse));
}

void RealDeviceTest::useDiffuseColourOnly() {
    device_->SetRenderState(RenderStateType::AlphaBlendEnable, FALSE);
    setStage0Colour(TextureArg::Diffuse);
}

void RealDeviceTest::drawRectangle(float left, float top, float right, float bottom,
                                   Colour colour) {
    const ColouredVertex fan[4] = {
        {left, top, 1.0f, 1.0f, colour},
        {right, top, 1.0f, 1.0f, colour},
        {right, bottom, 1.0f, 1.0f, colour},
        {left, bottom, 1.0f, 1.0f, colour},
    };
    device_->SetFVF(kFvfXyzRhw | kFvfDiffuse);
    EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, fan, sizeof(fan[0])), S_OK);
}

}  // namespace gs::render::d3d9::testing
