// The objects of the contract on the real Direct3D 9: what the adapter and device report, and
// the identity and reference counts of what the device hands back.
#include <algorithm>

#include "real_device.h"
#include "shader_tokens.h"

namespace gs::render::d3d9::testing {
namespace {

template <class T>
T* poisoned() {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(0xDEADBEEF));
}

class Direct3DObjects : public RealDeviceTest {};

TEST_F(Direct3DObjects, DescribeTheDisplayAndAShaderModel2Adapter) {
    EXPECT_EQ(mode_.Width, static_cast<UINT>(GetSystemMetrics(SM_CXSCREEN)));
    EXPECT_EQ(mode_.Height, static_cast<UINT>(GetSystemMetrics(SM_CYSCREEN)));
    EXPECT_EQ(mode_.Format, Format::X8R8G8B8);
    // Wine under Xvfb reports 0 Hz, so the renderer's pacing must not divide by it blindly.
    RecordProperty("refresh_rate", static_cast<int>(mode_.RefreshRate));

    Caps caps{};
    ASSERT_EQ(direct3d_->GetDeviceCaps(kDefaultAdapter, DeviceType::Hal, &caps), S_OK);
    EXPECT_GE(caps.PixelShaderVersion, pixelShaderVersion(2, 0));
    // Trace points are 0.004 x the smaller display side; history strips are a display side long.
    EXPECT_GE(caps.MaxPointSize, 0.004f * static_cast<float>(std::min(mode_.Width, mode_.Height)));
    EXPECT_GE(caps.MaxTextureWidth, std::max(mode_.Width, mode_.Height));
    RecordProperty("pixel_shader_version", static_cast<int>(caps.PixelShaderVersion & 0xFFFF));
}

TEST_F(Direct3DObjects, DeviceDrawsIntoALockableBackBufferOfTheDisplaySize) {
    Surface* again = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(0, &again), S_OK);
    // The same object both times: the renderer asks twice a frame and releases each time.
    EXPECT_EQ(again, backBuffer());
    SurfaceDesc desc{};
    ASSERT_EQ(again->GetDesc(&desc), S_OK);
    EXPECT_EQ(desc.Width, mode_.Width);
    EXPECT_EQ(desc.Height, mode_.Height);
    EXPECT_EQ(desc.Format, mode_.Format);
    EXPECT_EQ(desc.Usage & kUsageRenderTarget, kUsageRenderTarget);
    again->Release();

    HDC dc = nullptr;
    ASSERT_EQ(backBuffer()->GetDC(&dc), S_OK);
    EXPECT_NE(dc, nullptr);
    EXPECT_EQ(backBuffer()->ReleaseDC(dc), S_OK);
}

class DeviceObjects : public RealDeviceTest {};

TEST_F(DeviceObjects, TexturesAndSurfacesComeBackAsTheAdaptersTheCallerHolds) {
    Texture* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(16, 1, 1, kUsageRenderTarget, mode_.Format, Pool::Default, &texture),
        S_OK);
    SurfaceDesc desc{};
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), S_OK);
    EXPECT_EQ(desc.Width, 16u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(desc.Pool, Pool::Default);

    Surface* first = nullptr;
    Surface* second = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &first), S_OK);
    ASSERT_EQ(texture->GetSurfaceLevel(0, &second), S_OK);
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->Release(), 1u);
    EXPECT_EQ(first->Release(), 0u);

    ASSERT_EQ(device_->SetTexture(0, texture), S_OK);
    BaseTexture* bound = poisoned<BaseTexture>();
    ASSERT_EQ(device_->GetTexture(0, &bound), S_OK);
    EXPECT_EQ(bound, static_cast<BaseTexture*>(texture));
    EXPECT_EQ(bound->Release(), 1u);

    BaseTexture* unbound = poisoned<BaseTexture>();
    EXPECT_EQ(device_->GetTexture(1, &unbound), S_OK);
    EXPECT_EQ(unbound, nullptr);

    ASSERT_EQ(device_->SetTexture(0, nullptr), S_OK);
    ASSERT_EQ(device_->GetTexture(0, &bound), S_OK);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(texture->Release(), 0u);
}

TEST_F(DeviceObjects, ATextureReleasedWhileBoundStaysReadableThroughTheDevice) {
    // Direct3D keeps a bound texture alive after the caller's last release; the device hands it
    // back through a working adapter, not through the stale one.
    Texture* owned = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(4, 1, 1, kUsageRenderTarget, mode_.Format, Pool::Default, &owned),
        S_OK);
    Surface* ownedSurface = nullptr;
    ASSERT_EQ(owned->GetSurfaceLevel(0, &ownedSurface), S_OK);
    ASSERT_EQ(device_->ColorFill(ownedSurface, nullptr, 0xFF004600), S_OK);
    ASSERT_EQ(device_->SetTexture(1, owned), S_OK);
    EXPECT_EQ(ownedSurface->Release(), 0u);
    EXPECT_EQ(owned->Release(), 0u);

    BaseTexture* bound = nullptr;
    ASSERT_EQ(device_->GetTexture(1, &bound), S_OK);
    ASSERT_NE(bound, nullptr);
    auto* again = static_cast<Texture*>(bound);
    SurfaceDesc desc{};
    ASSERT_EQ(again->GetLevelDesc(0, &desc), S_OK);
    EXPECT_EQ(desc.Width, 4u);
    Surface* level = nullptr;
    ASSERT_EQ(again->GetSurfaceLevel(0, &level), S_OK);
    EXPECT_EQ(Pixels::read(level, 4, 1).at(3, 0), rgb(0x00, 0x46, 0x00));
    EXPECT_EQ(level->Release(), 0u);

    // Unbinding drops Direct3D's reference; the adapter the caller holds keeps the texture.
    ASSERT_EQ(device_->SetTexture(1, nullptr), S_OK);
    ASSERT_EQ(again->GetSurfaceLevel(0, &level), S_OK);
    EXPECT_EQ(Pixels::read(level, 4, 1).at(0, 0), rgb(0x00, 0x46, 0x00));
    EXPECT_EQ(level->Release(), 0u);
    EXPECT_EQ(again->Release(), 0u);
}

TEST_F(DeviceObjects, PixelShaderComesBackAsTheOneSetAndLivesWhileSet) {
    const ScaleShader tokens = scaleShader(1.0f, 1.0f, 0.0f, 0.0f);
    PixelShader* shader = nullptr;
    ASSERT_EQ(device_->CreatePixelShader(tokens.data(), &shader), S_OK);
    ASSERT_EQ(device_->SetPixelShader(shader), S_OK);

    PixelShader* current = nullptr;
    ASSERT_EQ(device_->GetPixelShader(&current), S_OK);
    EXPECT_EQ(current, shader);
    EXPECT_EQ(current->Release(), 2u);  // the caller's and the device's
    EXPECT_EQ(shader->Release(), 1u);

    ASSERT_EQ(device_->GetPixelShader(&current), S_OK);
    EXPECT_EQ(current, shader);
    EXPECT_EQ(current->Release(), 1u);

    ASSERT_EQ(device_->SetPixelShader(nullptr), S_OK);  // lets the shader go
    current = poisoned<PixelShader>();
    ASSERT_EQ(device_->GetPixelShader(&current), S_OK);
    EXPECT_EQ(current, nullptr);
}

TEST_F(DeviceObjects, RefusedCreationsLeaveTheOutPointerNull) {
    Texture* texture = poisoned<Texture>();
    EXPECT_EQ(
        device_->CreateTexture(0, 0, 1, kUsageRenderTarget, mode_.Format, Pool::Default, &texture),
        kErrInvalidCall);
    EXPECT_EQ(texture, nullptr);

    // An unknown opcode between a valid version and end token.
    const DWORD malformed[] = {D3DPS_VERSION(2, 0), 0x12345678u, D3DPS_END()};
    PixelShader* shader = poisoned<PixelShader>();
    EXPECT_EQ(device_->CreatePixelShader(malformed, &shader), kErrInvalidCall);
    EXPECT_EQ(shader, nullptr);

    Surface* surface = poisoned<Surface>();
    EXPECT_TRUE(FAILED(device_->GetRenderTarget(1, &surface)));
    EXPECT_EQ(surface, nullptr);
}

}  // namespace
}  // namespace gs::render::d3d9::testing
