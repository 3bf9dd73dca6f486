#include "render/messages.h"
#include "renderer_fixture.h"

namespace gs::render::testing {
namespace {

using software::Fault;

class DeviceLifecycleTest : public RendererTest {};

TEST_F(DeviceLifecycleTest, InitialisationPreparesPresentParameters) {
    setDisplay(1366, 768, 75);
    ASSERT_EQ(initialize(), S_OK);
    EXPECT_TRUE(isRenderingEnabled_);
    EXPECT_NE(state_.direct3d, nullptr);
    EXPECT_EQ(state_.device, nullptr);  // no device until the first frame
    const PresentParameters& pp = state_.presentParameters;
    EXPECT_EQ(pp.BackBufferWidth, 1366u);
    EXPECT_EQ(pp.BackBufferHeight, 768u);
    EXPECT_EQ(pp.BackBufferFormat, Format::X8R8G8B8);
    EXPECT_EQ(pp.BackBufferCount, 1u);
    EXPECT_EQ(pp.SwapEffect, kSwapEffectDiscard);
    EXPECT_EQ(pp.Windowed, TRUE);
    EXPECT_EQ(pp.EnableAutoDepthStencil, FALSE);
    EXPECT_EQ(pp.AutoDepthStencilFormat, Format::D16);
    EXPECT_EQ(pp.Flags, kPresentFlagLockableBackBuffer);
    EXPECT_EQ(pp.hDeviceWindow, nullptr);
    EXPECT_EQ(state_.targetWidth, 1366u);
    EXPECT_EQ(state_.targetHeight, 768u);
    EXPECT_EQ(state_.displayMode.RefreshRate, 75u);
    EXPECT_EQ(gsTestMessageBoxCount(), 0u);
}

TEST_F(DeviceLifecycleTest, InitialisationFailuresTellTheUser) {
    struct Case {
        Fault fault;
        const char* message;
    };
    const Case cases[] = {
        {Fault::CreateDirect3D, messages::kDirectXInitFailed},
        {Fault::GetAdapterDisplayMode, messages::kDisplayModeFailed},
        {Fault::GetDeviceCaps, messages::kCapsFailed},
    };
    for (const Case& c : cases) {
        software::resetAdapter();
        software::injectFault(c.fault, E_FAIL);
        gsTestClearMessageBoxes();
        isRenderingEnabled_ = false;
        EXPECT_EQ(initialize(), E_FAIL);
        EXPECT_FALSE(isRenderingEnabled_);
        ASSERT_EQ(messageTexts(), std::vector<std::string>{c.message});
        GsMessageBoxRecord record;
        ASSERT_TRUE(gsTestMessageBox(0, &record));
        EXPECT_STREQ(record.caption, "ERROR");
        EXPECT_EQ(record.style, static_cast<UINT>(MB_ICONWARNING));
        EXPECT_EQ(record.owner, nullptr);
        releaseAll();
    }
}

TEST_F(DeviceLifecycleTest, PixelShaderTwoIsRequired) {
    for (DWORD version :
         {pixelShaderVersion(1, 4), pixelShaderVersion(2, 0), pixelShaderVersion(3, 0)}) {
        software::AdapterSettings settings = software::adapterSettings();
        settings.pixelShaderVersion = version;
        software::setAdapterSettings(settings);
        gsTestClearMessageBoxes();
        const HRESULT hr = initialize();
        if (version < pixelShaderVersion(2, 0)) {
            EXPECT_EQ(hr, E_FAIL);
            EXPECT_EQ(messageTexts(), std::vector<std::string>{messages::kPixelShaderUnsupported});
        } else {
            EXPECT_EQ(hr, S_OK);
            EXPECT_EQ(gsTestMessageBoxCount(), 0u);
        }
        releaseAll();
    }
}

TEST_F(DeviceLifecycleTest, ResourcesFollowTheBackBuffer) {
    struct Case {
        UINT width, height;
        UINT feedbackWidth, feedbackHeight;
        LONG historyLength;
    };
    const Case cases[] = {
        {1920, 1080, 960, 540, 1920},
        {1366, 768, 683, 384, 1366},
        {1025, 700, 512, 350, 1025},
        {40, 30, 20, 15, 50},  // strips are never shorter than 50 texels
    };
    for (const Case& c : cases) {
        setDisplay(c.width, c.height, 60);
        ASSERT_EQ(initialize(), S_OK);
        ASSERT_EQ(recreateDevice(view()), S_OK);
        ASSERT_NE(state_.device, nullptr);
        SurfaceDesc desc = {};
        ASSERT_EQ(state_.feedbackSurface->GetDesc(&desc), S_OK);
        EXPECT_EQ(desc.Width, c.feedbackWidth);
        EXPECT_EQ(desc.Height, c.feedbackHeight);
        EXPECT_EQ(state_.historyLength, c.historyLength);
        ASSERT_EQ(state_.scratchSurface->GetDesc(&desc), S_OK);
        EXPECT_EQ(desc.Width, static_cast<UINT>(c.historyLength));
        EXPECT_EQ(desc.Height, 1u);
        EXPECT_NE(state_.effectObject, nullptr);
        EXPECT_NE(state_.techniqueHandle, nullptr);
        for (fx::Handle handle : state_.posHandles) {
            EXPECT_NE(handle, nullptr);
        }
        EXPECT_NE(state_.texWidthHandle, nullptr);
        EXPECT_NE(state_.leftTextureHandle, nullptr);
        EXPECT_NE(state_.rightTextureHandle, nullptr);
        // Fresh strips: dark green on the left, blue on the right.
        for (Colour texel : strip(state_.leftHistorySurface)) {
            ASSERT_EQ(texel, 0xFF004600u);
        }
        for (Colour texel : strip(state_.rightHistorySurface)) {
            ASSERT_EQ(texel, 0xFF0A00FCu);
        }
        releaseAll();
    }
}

TEST_F(DeviceLifecycleTest, StripsFollowTheLongerSideOfTheLatestFrame) {
    setDisplay(640, 480, 60);
    ASSERT_EQ(initialize(), S_OK);
    MemoryTarget target(300, 400);
    ASSERT_EQ(render(target), S_OK);
    EXPECT_EQ(state_.historyLength, 640);  // made before the first frame: display is wider
    software::loseDevices();
    EXPECT_EQ(render(target), S_OK);       // notices the loss and rebuilds
    EXPECT_EQ(state_.historyLength, 480);  // a back-buffer dimension: the height
}

TEST_F(DeviceLifecycleTest, CreationWaitsForAWindow) {
    ASSERT_EQ(initialize(), S_OK);
    hostWindow_ = nullptr;
    gsSetForegroundWindow(nullptr);
    MemoryTarget target(100, 100);
    EXPECT_EQ(render(target), S_OK);
    EXPECT_EQ(state_.device, nullptr);
    EXPECT_TRUE(target.untouched());
    // The foreground window serves when the host gave none.
    gsSetForegroundWindow(window_);
    EXPECT_EQ(render(target), S_OK);
    EXPECT_NE(state_.device, nullptr);
    EXPECT_EQ(state_.presentParameters.hDeviceWindow, window_);
    EXPECT_FALSE(target.untouched());
}

TEST_F(DeviceLifecycleTest, LostDeviceAtCreationIsDeferredSilently) {
    ASSERT_EQ(initialize(), S_OK);
    software::injectFault(Fault::CreateDevice, kErrDeviceLost, 2);
    MemoryTarget target(100, 100);
    EXPECT_EQ(render(target), S_OK);
    EXPECT_EQ(render(target), S_OK);
    EXPECT_EQ(state_.device, nullptr);
    EXPECT_EQ(gsTestMessageBoxCount(), 0u);
    EXPECT_TRUE(target.untouched());
    EXPECT_EQ(render(target), S_OK);
    EXPECT_NE(state_.device, nullptr);
}

TEST_F(DeviceLifecycleTest, UnavailableDeviceIsReportedOnEveryTry) {
    ASSERT_EQ(initialize(), S_OK);
    software::injectFault(Fault::CreateDevice, kErrNotAvailable);
    MemoryTarget target(100, 100);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_EQ(render(target), E_FAIL);
        EXPECT_EQ(gsTestMessageBoxCount(), static_cast<UINT>(attempt));
    }
    EXPECT_TRUE(isRenderingEnabled_);  // the next call tries again
    for (const std::string& text : messageTexts()) {
        EXPECT_EQ(text, messages::kDeviceCreationFailed);
    }
    software::injectFault(Fault::CreateDevice, S_OK, 0);
    EXPECT_EQ(render(target), S_OK);
    EXPECT_NE(state_.device, nullptr);
}

TEST_F(DeviceLifecycleTest, AMissingEffectFailsDeviceCreation) {
    ASSERT_EQ(initialize(), S_OK);
    // A module that carries no effect: the lookup of the module by its own file name finds none.
    moduleHandle_ = nullptr;
    MemoryTarget target(100, 100);
    EXPECT_EQ(render(target), E_FAIL);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{messages::kDeviceCreationFailed});
    EXPECT_EQ(state_.effectObject, nullptr);
    EXPECT_TRUE(target.untouched());
}

TEST_F(DeviceLifecycleTest, ReleaseOrderLeavesNothing) {
    ASSERT_EQ(initialize(), S_OK);
    MemoryTarget target(100, 100);
    ASSERT_EQ(render(target), S_OK);
    EXPECT_GT(software::liveObjects().total(), baseline_ + 1);
    releaseDeviceResources(state_);
    EXPECT_EQ(state_.device, nullptr);
    EXPECT_EQ(state_.feedbackTexture, nullptr);
    EXPECT_EQ(state_.scratchSurface, nullptr);
    EXPECT_EQ(state_.effectObject, nullptr);
    EXPECT_EQ(software::liveObjects().total(), baseline_ + 1);  // only the Direct3D object
}

TEST_F(DeviceLifecycleTest, ThousandLossesLeakNothing) {
    ASSERT_EQ(initialize(), S_OK);
    MemoryTarget target(64, 48);
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_EQ(render(target), S_OK);
        software::loseDevices();
        ASSERT_EQ(render(target), S_OK);  // rebuilds, skips the frame
    }
    EXPECT_EQ(software::liveObjects().devices, 1);
}

}  // namespace
}  // namespace gs::render::testing
