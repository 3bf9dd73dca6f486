// Creation, validation, fault injection, device loss and reference counting.
#include <gtest/gtest.h>

#include <functional>

#include "tests/render/software/device_test_support.h"

// Lets the out-of-memory test ask for more memory than exists without AddressSanitizer aborting.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace gs::render::software::testing {
namespace {

Device* const kSentinelDevice = reinterpret_cast<Device*>(static_cast<std::uintptr_t>(0xdeadbeef));

class SoftwareAdapterTest : public ::testing::Test {
protected:
    void SetUp() override { resetAdapter(); }
    void TearDown() override {
        EXPECT_EQ(liveObjects().total(), 0);
        resetAdapter();
    }

    HRESULT createDevice(Direct3D* d3d, PresentParameters p, Device** device) {
        return d3d->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr,
                                 kCreateSoftwareVertexProcessing, &p, device);
    }
};

TEST_F(SoftwareAdapterTest, ReportsTheHostsDisplayAndCapabilities) {
    Direct3D* d3d = createDirect3D(kSdkVersion);
    ASSERT_NE(d3d, nullptr);
    DisplayMode mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(kDefaultAdapter, &mode), S_OK);
    EXPECT_EQ(mode.Width, 1920u);
    EXPECT_EQ(mode.Height, 1080u);
    EXPECT_EQ(mode.RefreshRate, 60u);
    EXPECT_EQ(mode.Format, Format::X8R8G8B8);
    Caps caps{};
    ASSERT_EQ(d3d->GetDeviceCaps(kDefaultAdapter, DeviceType::Hal, &caps), S_OK);
    EXPECT_EQ(caps.PixelShaderVersion, 0xFFFF0200u);

    AdapterSettings settings;
    settings.displayMode = {1366, 768, 0, Format::X8R8G8B8};
    settings.pixelShaderVersion = pixelShaderVersion(1, 4);
    settings.maxPointSize = 8.0f;
    settings.maxTextureSize = 4096;
    setAdapterSettings(settings);
    ASSERT_EQ(d3d->GetAdapterDisplayMode(kDefaultAdapter, &mode), S_OK);
    EXPECT_EQ(mode.Width, 1366u);
    EXPECT_EQ(mode.RefreshRate, 0u);
    ASSERT_EQ(d3d->GetDeviceCaps(kDefaultAdapter, DeviceType::Hal, &caps), S_OK);
    EXPECT_EQ(caps.PixelShaderVersion, 0xFFFF0104u);
    EXPECT_EQ(caps.MaxPointSize, 8.0f);
    EXPECT_EQ(caps.MaxTextureWidth, 4096u);

    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), kErrInvalidCall);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(kDefaultAdapter, nullptr), kErrInvalidCall);
    EXPECT_EQ(d3d->GetDeviceCaps(kDefaultAdapter, DeviceType::Hal, nullptr), kErrInvalidCall);
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(SoftwareAdapterTest, InjectedFaultsAnswerForTheGivenNumberOfCalls) {
    injectFault(Fault::CreateDirect3D, S_OK, 1);
    EXPECT_EQ(createDirect3D(kSdkVersion), nullptr);
    EXPECT_EQ(createDirect3D(kSdkVersion + 1), nullptr);
    Direct3D* d3d = createDirect3D(kSdkVersion);
    ASSERT_NE(d3d, nullptr);

    DisplayMode mode{};
    Caps caps{};
    injectFault(Fault::GetAdapterDisplayMode, E_FAIL, 2);
    injectFault(Fault::GetDeviceCaps, kErrNotAvailable);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(kDefaultAdapter, &mode), E_FAIL);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(kDefaultAdapter, &mode), E_FAIL);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(kDefaultAdapter, &mode), S_OK);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(d3d->GetDeviceCaps(kDefaultAdapter, DeviceType::Hal, &caps), kErrNotAvailable);
    }
    injectFault(Fault::GetDeviceCaps, S_OK, 0);
    EXPECT_EQ(d3d->GetDeviceCaps(kDefaultAdapter, DeviceType::Hal, &caps), S_OK);

    Device* device = kSentinelDevice;
    injectFault(Fault::CreateDevice, kErrDeviceLost, 2);
    EXPECT_EQ(createDevice(d3d, presentParameters(8, 8), &device), kErrDeviceLost);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(createDevice(d3d, presentParameters(8, 8), &device), kErrDeviceLost);
    ASSERT_EQ(createDevice(d3d, presentParameters(8, 8), &device), S_OK);
    EXPECT_EQ(device->Release(), 0u);

    injectFault(Fault::CreateDevice, kErrNotAvailable);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(createDevice(d3d, presentParameters(8, 8), &device), kErrNotAvailable);
    }
    resetAdapter();
    ASSERT_EQ(createDevice(d3d, presentParameters(8, 8), &device), S_OK);

    injectFault(Fault::Clear, E_FAIL, 1);
    injectFault(Fault::BeginScene, kErrInvalidCall, 1);
    EXPECT_EQ(device->Clear(0, nullptr, kClearTarget, 0, 1.0f, 0), E_FAIL);
    EXPECT_EQ(device->Clear(0, nullptr, kClearTarget, 0, 1.0f, 0), S_OK);
    EXPECT_EQ(device->BeginScene(), kErrInvalidCall);
    EXPECT_EQ(device->BeginScene(), S_OK);
    EXPECT_EQ(device->EndScene(), S_OK);

    Surface* backBuffer = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &backBuffer), S_OK);
    injectFault(Fault::SurfaceGetDC, E_FAIL, 1);
    HDC dc = reinterpret_cast<HDC>(static_cast<std::uintptr_t>(0xdeadbeef));
    EXPECT_EQ(backBuffer->GetDC(&dc), E_FAIL);
    EXPECT_EQ(dc, nullptr);
    backBuffer->Release();
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(SoftwareAdapterTest, CreateDeviceRefusesParametersItCannotHonour) {
    Direct3D* d3d = createDirect3D(kSdkVersion);
    ASSERT_NE(d3d, nullptr);
    const std::pair<const char*, std::function<void(PresentParameters&)>> cases[] = {
        {"zero width", [](PresentParameters& p) { p.BackBufferWidth = 0; }},
        {"zero height", [](PresentParameters& p) { p.BackBufferHeight = 0; }},
        {"huge width", [](PresentParameters& p) { p.BackBufferWidth = 1u << 30; }},
        {"huge height", [](PresentParameters& p) { p.BackBufferHeight = 0xFFFFFFFFu; }},
        {"no window", [](PresentParameters& p) { p.hDeviceWindow = nullptr; }},
        {"depth format", [](PresentParameters& p) { p.BackBufferFormat = Format::D16; }},
        {"unknown format", [](PresentParameters& p) { p.BackBufferFormat = Format(99); }},
        {"full screen", [](PresentParameters& p) { p.Windowed = FALSE; }},
        {"multisampling", [](PresentParameters& p) { p.MultiSampleType = 4; }},
        {"depth buffer", [](PresentParameters& p) { p.EnableAutoDepthStencil = TRUE; }},
        {"swap effect", [](PresentParameters& p) { p.SwapEffect = 7; }},
        {"back buffers", [](PresentParameters& p) { p.BackBufferCount = 4; }},
    };
    for (const auto& [name, spoil] : cases) {
        PresentParameters p = presentParameters(64, 32);
        spoil(p);
        Device* device = kSentinelDevice;
        EXPECT_EQ(createDevice(d3d, p, &device), kErrInvalidCall) << name;
        EXPECT_EQ(device, nullptr) << name;
    }
    PresentParameters p = presentParameters(64, 32);
    EXPECT_EQ(d3d->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr, 0, nullptr, nullptr),
              kErrInvalidCall);
    Device* device = nullptr;
    EXPECT_EQ(d3d->CreateDevice(1, DeviceType::Hal, nullptr, 0, &p, &device), kErrInvalidCall);
    EXPECT_EQ(d3d->CreateDevice(kDefaultAdapter, DeviceType::Ref, nullptr, 0, &p, &device),
              kErrNotAvailable);

    // A focus window stands in for a missing device window; Unknown takes the display's format.
    p.hDeviceWindow = nullptr;
    p.BackBufferFormat = Format::Unknown;
    p.BackBufferCount = 0;
    ASSERT_EQ(d3d->CreateDevice(kDefaultAdapter, DeviceType::Hal, fakeWindow(), 0, &p, &device),
              S_OK);
    EXPECT_EQ(p.BackBufferFormat, Format::X8R8G8B8);
    EXPECT_EQ(p.BackBufferCount, 1u);
    Surface* backBuffer = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &backBuffer), S_OK);
    SurfaceDesc desc{};
    ASSERT_EQ(backBuffer->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Height, 32u);
    EXPECT_EQ(desc.Format, Format::X8R8G8B8);
    EXPECT_EQ(desc.Usage, kUsageRenderTarget);
    backBuffer->Release();
    device->Release();
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(SoftwareAdapterTest, MemoryExhaustionIsReportedNotFatal) {
    AdapterSettings settings;
    settings.maxTextureSize = 1u << 22;
    setAdapterSettings(settings);
    Direct3D* d3d = createDirect3D(kSdkVersion);
    ASSERT_NE(d3d, nullptr);
    Device* device = kSentinelDevice;
    // 2^22 x 2^22 pixels: 64 TiB.
    EXPECT_EQ(createDevice(d3d, presentParameters(1u << 22, 1u << 22), &device),
              kErrOutOfVideoMemory);
    EXPECT_EQ(device, nullptr);
    ASSERT_EQ(createDevice(d3d, presentParameters(8, 8), &device), S_OK);
    Texture* texture = reinterpret_cast<Texture*>(static_cast<std::uintptr_t>(0xdeadbeef));
    EXPECT_EQ(device->CreateTexture(1u << 22, 1u << 22, 1, kUsageRenderTarget, Format::A8R8G8B8,
                                    Pool::Default, &texture),
              kErrOutOfVideoMemory);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
}

using SoftwareDeviceLifecycleTest = DeviceTest;

TEST_F(SoftwareDeviceLifecycleTest, LostDevicesStayLostAndDrawNothing) {
    EXPECT_EQ(device_->TestCooperativeLevel(), S_OK);
    ASSERT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFF102030u, 1.0f, 0), S_OK);
    loseDevices();
    EXPECT_EQ(device_->TestCooperativeLevel(), kErrDeviceLost);
    EXPECT_EQ(device_->TestCooperativeLevel(), kErrDeviceLost);

    // Calls still succeed but leave the pixels alone, as on a lost Direct3D 9 device.
    EXPECT_EQ(device_->Clear(0, nullptr, kClearTarget, 0xFFFFFFFFu, 1.0f, 0), S_OK);
    EXPECT_EQ(device_->ColorFill(backBuffer_, nullptr, 0xFFFFFFFFu), S_OK);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    const ColourVertex quad[4] = {{0, 0, 0, 1, 0xFFFFFFFFu},
                                  {float(kWidth), 0, 0, 1, 0xFFFFFFFFu},
                                  {float(kWidth), float(kHeight), 0, 1, 0xFFFFFFFFu},
                                  {0, float(kHeight), 0, 1, 0xFFFFFFFFu}};
    EXPECT_EQ(draw(PrimitiveType::TriangleFan, 2, quad, kFvfColour), S_OK);
    ASSERT_EQ(device_->EndScene(), S_OK);
    EXPECT_EQ(target(3, 3), 0xFF102030u);

    // A device made after the loss is not lost.
    PresentParameters p = presentParameters(4, 4);
    Device* fresh = nullptr;
    ASSERT_EQ(direct3d_->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr, 0, &p, &fresh),
              S_OK);
    EXPECT_EQ(fresh->TestCooperativeLevel(), S_OK);
    EXPECT_EQ(fresh->Release(), 0u);
}

TEST_F(SoftwareDeviceLifecycleTest, SurfacesShareTheirTexturesReferencesAndMemory) {
    Texture* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(4, 2, 1, kUsageRenderTarget, Format::A8R8G8B8, Pool::Default,
                                     &texture),
              S_OK);
    EXPECT_EQ(liveObjects().textures, 1);
    Surface* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), S_OK);
    EXPECT_EQ(texture->AddRef(), 3u);  // the caller's, the surface's, this one
    EXPECT_EQ(texture->Release(), 2u);
    ASSERT_EQ(device_->ColorFill(surface, nullptr, 0x80402010u), S_OK);

    EXPECT_EQ(texture->Release(), 1u);
    // The surface alone keeps the pixels.
    EXPECT_EQ(pixel(surface, 3, 1), 0x80402010u);
    EXPECT_EQ(liveObjects().textures, 1);
    EXPECT_EQ(surface->Release(), 0u);
    EXPECT_EQ(liveObjects().textures, 0);
    EXPECT_EQ(liveObjects().surfaces, 1);  // the back buffer
}

TEST_F(SoftwareDeviceLifecycleTest, BoundObjectsDieWithTheDeviceAndCallersKeepTheDeviceAlive) {
    Texture* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, kUsageRenderTarget, Format::X8R8G8B8, Pool::Default,
                                     &texture),
              S_OK);
    // Each object a caller holds holds the device: device, back buffer, texture.
    EXPECT_EQ(device_->AddRef(), 4u);
    EXPECT_EQ(device_->Release(), 3u);

    ASSERT_EQ(device_->SetTexture(3, texture), S_OK);
    BaseTexture* bound = nullptr;
    ASSERT_EQ(device_->GetTexture(3, &bound), S_OK);
    EXPECT_EQ(bound, static_cast<BaseTexture*>(texture));
    EXPECT_EQ(texture->Release(), 1u);  // GetTexture's reference remains
    EXPECT_EQ(bound->Release(), 0u);
    // Only the device holds it now; it lives on for the sampler.
    EXPECT_EQ(liveObjects().textures, 1);
    BaseTexture* again = nullptr;
    ASSERT_EQ(device_->GetTexture(3, &again), S_OK);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Release(), 0u);

    EXPECT_EQ(device_->GetTexture(4, &again), S_OK);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(device_->GetTexture(kSamplerCount, &again), kErrInvalidCall);
    EXPECT_EQ(device_->SetTexture(kSamplerCount, nullptr), kErrInvalidCall);

    // Unbinding frees it.
    ASSERT_EQ(device_->SetTexture(3, nullptr), S_OK);
    EXPECT_EQ(liveObjects().textures, 0);

    // A texture left bound when the device goes is freed with it (TearDown checks).
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, kUsageRenderTarget, Format::X8R8G8B8, Pool::Default,
                                     &texture),
              S_OK);
    ASSERT_EQ(device_->SetTexture(0, texture), S_OK);
    ASSERT_EQ(device_->SetTexture(0, texture), S_OK);  // rebinding the same texture is harmless
    texture->Release();
}

// A caller that releases a texture once too often must not take the reference the device's
// sampler holds, nor the one the texture held on the device.
TEST_F(SoftwareDeviceLifecycleTest, AReleaseTooManyLeavesTheDevicesHoldsAlone) {
    Texture* texture = nullptr;
    ASSERT_EQ(device_->CreateTexture(2, 2, 1, kUsageRenderTarget, Format::X8R8G8B8, Pool::Default,
                                     &texture),
              S_OK);
    ASSERT_EQ(device_->SetTexture(0, texture), S_OK);
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(texture->Release(), 0u);  // once too often: ignored
    EXPECT_EQ(liveObjects().textures, 1);
    // The fixture's device and back buffer hold the device, as before the texture was made.
    EXPECT_EQ(device_->AddRef(), 3u);
    EXPECT_EQ(device_->Release(), 2u);

    BaseTexture* bound = nullptr;
    ASSERT_EQ(device_->GetTexture(0, &bound), S_OK);
    EXPECT_EQ(bound, static_cast<BaseTexture*>(texture));
    EXPECT_EQ(bound->Release(), 0u);
    ASSERT_EQ(device_->SetTexture(0, nullptr), S_OK);
    EXPECT_EQ(liveObjects().textures, 0);
}

TEST_F(SoftwareDeviceLifecycleTest, RefusesInvalidResourceRequests) {
    Texture* texture = reinterpret_cast<Texture*>(static_cast<std::uintptr_t>(0xdeadbeef));
    auto create = [&](UINT w, UINT h, UINT levels, DWORD usage, Format format, Pool pool) {
        texture = reinterpret_cast<Texture*>(static_cast<std::uintptr_t>(0xdeadbeef));
        const HRESULT hr = device_->CreateTexture(w, h, levels, usage, format, pool, &texture);
        if (SUCCEEDED(hr)) {
            texture->Release();
        } else {
            EXPECT_EQ(texture, nullptr);
        }
        return hr;
    };
    const auto rt = kUsageRenderTarget;
    EXPECT_EQ(create(0, 4, 1, rt, Format::X8R8G8B8, Pool::Default), kErrInvalidCall);
    EXPECT_EQ(create(4, 0, 1, rt, Format::X8R8G8B8, Pool::Default), kErrInvalidCall);
    EXPECT_EQ(create(8193, 4, 1, rt, Format::X8R8G8B8, Pool::Default), kErrInvalidCall);
    EXPECT_EQ(create(4, 4, 2, rt, Format::X8R8G8B8, Pool::Default), kErrInvalidCall);
    EXPECT_EQ(create(4, 4, 0, rt, Format::X8R8G8B8, Pool::Default), kErrInvalidCall);
    EXPECT_EQ(create(4, 4, 1, rt, Format::D16, Pool::Default), kErrInvalidCall);
    EXPECT_EQ(create(4, 4, 1, rt, Format::X8R8G8B8, Pool::Managed), kErrInvalidCall);
    EXPECT_EQ(create(4, 4, 1, 0x8, Format::X8R8G8B8, Pool::Default), kErrInvalidCall);
    EXPECT_EQ(create(4, 4, 1, 0, Format::X8R8G8B8, Pool(7)), kErrInvalidCall);
    EXPECT_EQ(create(1, 1, 0, rt, Format::X8R8G8B8, Pool::Default), S_OK);
    EXPECT_EQ(create(4, 4, 1, 0, Format::A8R8G8B8, Pool::Managed), S_OK);
    EXPECT_EQ(device_->CreateTexture(4, 4, 1, rt, Format::X8R8G8B8, Pool::Default, nullptr),
              kErrInvalidCall);

    ASSERT_EQ(create(4, 4, 1, rt, Format::X8R8G8B8, Pool::Default), S_OK);
    ASSERT_EQ(device_->CreateTexture(4, 4, 1, rt, Format::X8R8G8B8, Pool::Default, &texture), S_OK);
    Surface* surface = reinterpret_cast<Surface*>(static_cast<std::uintptr_t>(0xdeadbeef));
    EXPECT_EQ(texture->GetSurfaceLevel(1, &surface), kErrInvalidCall);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(texture->GetSurfaceLevel(0, nullptr), kErrInvalidCall);
    SurfaceDesc desc{};
    EXPECT_EQ(texture->GetLevelDesc(1, &desc), kErrInvalidCall);
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), S_OK);
    EXPECT_EQ(desc.Width, 4u);
    EXPECT_EQ(desc.Pool, Pool::Default);
    EXPECT_EQ(texture->Release(), 0u);

    surface = reinterpret_cast<Surface*>(static_cast<std::uintptr_t>(0xdeadbeef));
    EXPECT_EQ(device_->GetRenderTarget(1, &surface), kErrInvalidCall);
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(device_->GetRenderTarget(0, nullptr), kErrInvalidCall);
}

TEST_F(SoftwareDeviceLifecycleTest, ScenesAndDrawsFollowDirect3DsRules) {
    const ColourVertex triangle[3] = {
        {0, 0, 0, 1, 0xFFFFFFFFu}, {4, 0, 0, 1, 0xFFFFFFFFu}, {0, 4, 0, 1, 0xFFFFFFFFu}};
    EXPECT_EQ(draw(PrimitiveType::TriangleList, 1, triangle, kFvfColour), kErrInvalidCall);
    EXPECT_EQ(device_->EndScene(), kErrInvalidCall);
    ASSERT_EQ(device_->BeginScene(), S_OK);
    EXPECT_EQ(device_->BeginScene(), kErrInvalidCall);

    device_->SetFVF(kFvfColour);
    EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, nullptr, 20),
              kErrInvalidCall);
    EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, triangle, 16),
              kErrInvalidCall);  // stride shorter than the vertex
    EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType(9), 1, triangle, 20), kErrInvalidCall);
    EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType::LineList, 1, triangle, 20), E_NOTIMPL);
    EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 0, triangle, 20), S_OK);
    device_->SetFVF(0x002 | kFvfDiffuse);  // untransformed positions: no transform stage here
    EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, triangle, 20),
              kErrInvalidCall);
    device_->SetFVF(kFvfColour | 0x010);  // a normal on pre-transformed vertices
    EXPECT_EQ(device_->DrawPrimitiveUP(PrimitiveType::TriangleList, 1, triangle, 32),
              kErrInvalidCall);
    EXPECT_EQ(draw(PrimitiveType::TriangleList, 1, triangle, kFvfColour), S_OK);
    DWORD fvf = 0;
    ASSERT_EQ(device_->GetFVF(&fvf), S_OK);
    EXPECT_EQ(fvf, kFvfColour);
    EXPECT_EQ(device_->GetFVF(nullptr), kErrInvalidCall);
    EXPECT_EQ(device_->EndScene(), S_OK);
}

}  // namespace
}  // namespace gs::render::software::testing
