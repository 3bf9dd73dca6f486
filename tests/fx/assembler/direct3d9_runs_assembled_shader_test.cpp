// The real Direct3D 9 accepts what the assembler writes and computes what the source says.
//
// Windows only (under Wine in our runs): a shader that touches every encoding the effect relies on
// (declarations, definitions, a texture read, swizzles, negation, write masks, _sat and the scalar
// instructions) is assembled, drawn over a 64 x 64 target and compared with a transcription of its
// source into C++.
#include <windows.h>

#include <d3d9.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "fx/assembler/pixel_shader_assembler.h"

namespace gs::fx {
namespace {

constexpr int kSize = 64;

const char* const kShader = R"(
    ps_2_0
    dcl t0.xy
    dcl_2d s0
    def c1, 0.015625, 0.5, 0.25, 1
    def c2, 0.3, -0.7, 2, 0
    mul r0.xy, t0, c1.x          ; pixel / 64
    mov r0.zw, c1.y
    texld r1, r0, s0             ; the strip at u = x / 64
    add r2.xyz, r0.yzxw, -c1.z   ; (y / 64 - 0.25, 0.25, x / 64 - 0.25)
    dp3 r2.w, r2, r2
    rsq r3.x, r2.w
    rcp r3.y, r3.x               ; length of r2.xyz
    log r3.z, r2.x
    exp r3.w, -r3.z              ; 1 / |r2.x|
    min r3.w, r3.w, c2.z
    cmp r4, r2, c1.w, c2.w       ; 1 where r2 >= 0, else 0
    lrp r5, r4, r1, c2
    mad_sat r6.x, r3.y, c2.z, r5.x
    mul_sat r6.y, r3.w, c1.y
    mov_sat r6.z, r5.y
    mad_sat r6.w, r1.wzyx, c1.z, c1.z
    mov oC0, r6
)";

// The strip's four texels, A8R8G8B8.
constexpr DWORD kTexels[4] = {0xFF000000, 0x80FF4020, 0x4010C0FF, 0xC0808080};

float channel(DWORD colour, int shift) {
    return static_cast<float>((colour >> shift) & 0xFF) / 255;
}

// The shader's result at pixel (x, y), component by component as its source computes it.
std::array<float, 4> expectedColour(int x, int y) {
    auto sat = [](float v) { return std::clamp(v, 0.0f, 1.0f); };
    const float u = x / 64.0f, v = y / 64.0f;
    const DWORD texel = kTexels[std::clamp(static_cast<int>(std::floor(u * 4)), 0, 3)];
    const float r1[4] = {channel(texel, 16), channel(texel, 8), channel(texel, 0),
                         channel(texel, 24)};
    const float r2[4] = {v - 0.25f, 0.25f, u - 0.25f, 0.0f};
    const float length = std::sqrt(r2[0] * r2[0] + r2[1] * r2[1] + r2[2] * r2[2]);
    const float inverse = std::min(1.0f / std::fabs(r2[0]), 2.0f);
    const float c2[4] = {0.3f, -0.7f, 2.0f, 0.0f};
    float r5[4];
    for (int c = 0; c < 4; ++c) {
        const float r2c = c == 3 ? length * length : r2[c];
        r5[c] = r2c >= 0 ? r1[c] : c2[c];
    }
    return {sat(length * 2 + r5[0]), sat(inverse * 0.5f), sat(r5[1]), sat(r1[0] * 0.25f + 0.25f)};
}

template <class T>
void release(T*& object) {
    if (object) {
        object->Release();
        object = nullptr;
    }
}

class Direct3D9Fixture : public testing::Test {
protected:
    void SetUp() override {
        window_ = CreateWindowExA(0, "STATIC", "shader test", WS_OVERLAPPEDWINDOW, 0, 0, kSize,
                                  kSize, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        direct3D_ = Direct3DCreate9(D3D_SDK_VERSION);
        if (direct3D_ == nullptr) {
            GTEST_SKIP() << "no Direct3D 9";
        }
        D3DPRESENT_PARAMETERS parameters = {};
        parameters.BackBufferWidth = kSize;
        parameters.BackBufferHeight = kSize;
        parameters.BackBufferFormat = D3DFMT_A8R8G8B8;
        parameters.BackBufferCount = 1;
        parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
        parameters.hDeviceWindow = window_;
        parameters.Windowed = TRUE;
        parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        if (FAILED(direct3D_->CreateDevice(0, D3DDEVTYPE_HAL, window_,
                                           D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                           &device_))) {
            GTEST_SKIP() << "no Direct3D 9 device";
        }
    }
    void TearDown() override {
        release(device_);
        release(direct3D_);
        if (window_) {
            DestroyWindow(window_);
        }
    }

    HWND window_ = nullptr;
    IDirect3D9* direct3D_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

TEST_F(Direct3D9Fixture, DrawsWhatTheAssembledSourceComputes) {
    std::vector<DWORD> tokens;
    AssemblyError error{0, ""};
    ASSERT_TRUE(assemblePixelShader(kShader, tokens, error))
        << "line " << error.line << ": " << error.message;
    IDirect3DPixelShader9* shader = nullptr;
    ASSERT_EQ(device_->CreatePixelShader(reinterpret_cast<const ::DWORD*>(tokens.data()), &shader),
              D3D_OK);

    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device_->CreateTexture(4, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    std::memcpy(locked.pBits, kTexels, sizeof kTexels);
    texture->UnlockRect(0);

    device_->SetTexture(0, texture);
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device_->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device_->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device_->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);

    // Pre-transformed corners whose texture coordinates equal their positions.
    struct Vertex {
        float x, y, z, rhw, u, v;
    };
    const Vertex quad[4] = {{0, 0, 0, 1, 0, 0},
                            {kSize, 0, 0, 1, kSize, 0},
                            {kSize, kSize, 0, 1, kSize, kSize},
                            {0, kSize, 0, 1, 0, kSize}};
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
    device_->SetPixelShader(shader);
    device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, quad, sizeof(Vertex)), D3D_OK);
    device_->EndScene();

    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->GetRenderTarget(0, &target), D3D_OK);
    ASSERT_EQ(target->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    int mismatches = 0;
    for (int y = 0; y < kSize; ++y) {
        const auto* row = reinterpret_cast<const DWORD*>(static_cast<const char*>(locked.pBits) +
                                                         y * locked.Pitch);
        for (int x = 0; x < kSize; ++x) {
            const auto expected = expectedColour(x, y);
            const float drawn[4] = {channel(row[x], 16), channel(row[x], 8), channel(row[x], 0),
                                    channel(row[x], 24)};
            for (int c = 0; c < 4; ++c) {
                if (std::fabs(drawn[c] - expected[c]) > 1.5f / 255 && ++mismatches <= 10) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": drawn "
                                  << drawn[c] << ", expected " << expected[c];
                }
            }
        }
    }
    target->UnlockRect();
    EXPECT_EQ(mismatches, 0);

    device_->SetPixelShader(nullptr);
    device_->SetTexture(0, nullptr);
    release(target);
    release(texture);
    release(shader);
}

}  // namespace
}  // namespace gs::fx
