// A software device per test, and checks of its pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/device.h"
#include "render/software/adapter.h"

namespace gs::render::software::testing {

inline HWND fakeWindow() {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1000));
}

inline PresentParameters presentParameters(UINT width, UINT height,
                                           Format format = Format::X8R8G8B8) {
    PresentParameters p{};
    p.BackBufferWidth = width;
    p.BackBufferHeight = height;
    p.BackBufferFormat = format;
    p.BackBufferCount = 1;
    p.MultiSampleType = kMultiSampleNone;
    p.SwapEffect = kSwapEffectDiscard;
    p.hDeviceWindow = fakeWindow();
    p.Windowed = TRUE;
    p.AutoDepthStencilFormat = Format::D16;
    p.Flags = kPresentFlagLockableBackBuffer;
    return p;
}

// Vertex records of the formats the renderer draws with.
struct TexturedColourVertex {  // 0x144: xyzrhw, diffuse, tex1
    float x, y, z, rhw;
    Colour diffuse;
    float u, v;
};
struct TexturedVertex {  // 0x104: xyzrhw, tex1
    float x, y, z, rhw;
    float u, v;
};
struct PointVertex {  // 0x64: xyzrhw, psize, diffuse
    float x, y, z, rhw;
    float size;
    Colour diffuse;
};
struct ColourVertex {  // 0x44: xyzrhw, diffuse
    float x, y, z, rhw;
    Colour diffuse;
};
constexpr DWORD kFvfTexturedColour = kFvfXyzRhw | kFvfDiffuse | kFvfTex1;
constexpr DWORD kFvfTextured = kFvfXyzRhw | kFvfTex1;
constexpr DWORD kFvfPoint = kFvfXyzRhw | kFvfPSize | kFvfDiffuse;
constexpr DWORD kFvfColour = kFvfXyzRhw | kFvfDiffuse;

inline std::string hex(Colour c) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", c);
    return text;
}

// Each channel of `actual` within `tolerance` of `expected`'s.
inline ::testing::AssertionResult coloursNear(Colour actual, Colour expected, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xFF);
        const int e = static_cast<int>((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance) {
            return ::testing::AssertionFailure() << "colour " << hex(actual) << ", expected "
                                                 << hex(expected) << " +-" << tolerance;
        }
    }
    return ::testing::AssertionSuccess();
}

#define EXPECT_COLOUR_NEAR(actual, expected, tolerance) \
    EXPECT_TRUE(::gs::render::software::testing::coloursNear((actual), (expected), (tolerance)))

// Direct3D, a device with a small X8R8G8B8 back buffer, and the check that every object the test
// made is gone at the end.
class DeviceTest : public ::testing::Test {
protected:
    static constexpr UINT kWidth = 16;
    static constexpr UINT kHeight = 12;

    void SetUp() override {
        resetAdapter();
        ASSERT_EQ(liveObjects().total(), 0) << "objects left over from an earlier test";
        direct3d_ = createDirect3D(kSdkVersion);
        ASSERT_NE(direct3d_, nullptr);
        PresentParameters p = presentParameters(width(), height(), backBufferFormat());
        ASSERT_EQ(direct3d_->CreateDevice(kDefaultAdapter, DeviceType::Hal, nullptr,
                                          kCreateSoftwareVertexProcessing, &p, &device_),
                  S_OK);
        ASSERT_EQ(device_->GetRenderTarget(0, &backBuffer_), S_OK);
    }

    void TearDown() override {
        if (backBuffer_ != nullptr) {
            backBuffer_->Release();
        }
        if (device_ != nullptr) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (direct3d_ != nullptr) {
            EXPECT_EQ(direct3d_->Release(), 0u);
        }
        EXPECT_EQ(liveObjects().total(), 0);
        resetAdapter();
    }

    virtual UINT width() const { return kWidth; }
    virtual UINT height() const { return kHeight; }
    virtual Format backBufferFormat() const { return Format::X8R8G8B8; }

    static std::vector<Colour> pixels(Surface* surface) {
        SurfaceDesc desc{};
        EXPECT_EQ(surface->GetDesc(&desc), S_OK);
        std::vector<Colour> out(std::size_t{desc.Width} * desc.Height);
        EXPECT_EQ(readSurfacePixels(surface, out.data(), out.size()), S_OK);
        return out;
    }
    static Colour pixel(Surface* surface, UINT x, UINT y) {
        SurfaceDesc desc{};
        EXPECT_EQ(surface->GetDesc(&desc), S_OK);
        return pixels(surface)[std::size_t{y} * desc.Width + x];
    }
    Colour target(UINT x, UINT y) { return pixel(backBuffer_, x, y); }

    // A one-level render-target texture and its surface (released by the caller).
    void makeTexture(UINT w, UINT h, Format format, Texture** texture, Surface** surface) {
        ASSERT_EQ(
            device_->CreateTexture(w, h, 1, kUsageRenderTarget, format, Pool::Default, texture),
            S_OK);
        ASSERT_EQ((*texture)->GetSurfaceLevel(0, surface), S_OK);
    }

    // Draws add their diffuse colour to the target, both faces of a triangle drawn: a pixel's
    // value counts what covered it.
    void addDiffuseColours() {
        device_->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
        device_->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::One));
        device_->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
        device_->SetRenderState(RenderStateType::CullMode, DWORD(Cull::None));
        device_->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
        device_->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Diffuse));
        device_->SetTextureStageState(0, TextureStageState::AlphaArg1, DWORD(TextureArg::Diffuse));
    }

    template <class V>
    HRESULT draw(PrimitiveType type, UINT count, const V* vertices, DWORD fvf) {
        device_->SetFVF(fvf);
        return device_->DrawPrimitiveUP(type, count, vertices, sizeof(V));
    }

    Direct3D* direct3d_ = nullptr;
    Device* device_ = nullptr;
    Surface* backBuffer_ = nullptr;
};

}  // namespace gs::render::software::testing
