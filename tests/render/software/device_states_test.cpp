// Default states, round trips and refused state calls.
#include <gtest/gtest.h>

#include <bit>

#include "tests/render/software/device_test_support.h"

namespace gs::render::software::testing {
namespace {

using DeviceStatesTest = DeviceTest;

DWORD bits(float value) {
    return std::bit_cast<DWORD>(value);
}

TEST_F(DeviceStatesTest, StartWithDirect3D9Defaults) {
    const std::pair<DWORD, DWORD> renderDefaults[] = {
        {7, 0},              // ZENABLE: no depth buffer was asked for
        {19, 2},             // SRCBLEND one
        {20, 1},             // DESTBLEND zero
        {22, 3},             // CULLMODE counter-clockwise
        {27, 0},             // ALPHABLENDENABLE
        {137, 1},            // LIGHTING
        {154, bits(1.0f)},   // POINTSIZE
        {155, bits(1.0f)},   // POINTSIZE_MIN
        {166, bits(64.0f)},  // POINTSIZE_MAX
        {168, 0xF},          // COLORWRITEENABLE
        {171, 1},            // BLENDOP add
        {60, 0xFFFFFFFFu},   // TEXTUREFACTOR
    };
    for (const auto& [state, expected] : renderDefaults) {
        DWORD value = 0xdeadbeef;
        ASSERT_EQ(device_->GetRenderState(RenderStateType(state), &value), S_OK) << state;
        EXPECT_EQ(value, expected) << "render state " << state;
    }
    auto stage = [&](DWORD s, TextureStageState state) {
        DWORD value = 0xdeadbeef;
        EXPECT_EQ(device_->GetTextureStageState(s, state, &value), S_OK);
        return value;
    };
    EXPECT_EQ(stage(0, TextureStageState::ColorOp), DWORD(TextureOp::Modulate));
    EXPECT_EQ(stage(0, TextureStageState::ColorArg1), DWORD(TextureArg::Texture));
    EXPECT_EQ(stage(0, TextureStageState::ColorArg2), DWORD(TextureArg::Current));
    EXPECT_EQ(stage(0, TextureStageState::AlphaOp), DWORD(TextureOp::SelectArg1));
    EXPECT_EQ(stage(0, TextureStageState::AlphaArg1), DWORD(TextureArg::Texture));
    EXPECT_EQ(stage(1, TextureStageState::ColorOp), DWORD(TextureOp::Disable));
    EXPECT_EQ(stage(7, TextureStageState::AlphaOp), DWORD(TextureOp::Disable));
    for (DWORD sampler : {0u, 15u}) {
        auto get = [&](SamplerState state) {
            DWORD value = 0xdeadbeef;
            EXPECT_EQ(device_->GetSamplerState(sampler, state, &value), S_OK);
            return value;
        };
        EXPECT_EQ(get(SamplerState::AddressU), DWORD(TextureAddress::Wrap));
        EXPECT_EQ(get(SamplerState::AddressV), DWORD(TextureAddress::Wrap));
        EXPECT_EQ(get(SamplerState::MagFilter), DWORD(TextureFilter::Point));
        EXPECT_EQ(get(SamplerState::MinFilter), DWORD(TextureFilter::Point));
        EXPECT_EQ(get(SamplerState::MipFilter), DWORD(TextureFilter::None));
        EXPECT_EQ(get(SamplerState::BorderColor), 0u);
    }
    PixelShader* shader = reinterpret_cast<PixelShader*>(std::uintptr_t{0xdeadbeef});
    ASSERT_EQ(device_->GetPixelShader(&shader), S_OK);
    EXPECT_EQ(shader, nullptr);
    float constants[kPixelShaderFloatConstants * 4];
    ASSERT_EQ(device_->GetPixelShaderConstantF(0, constants, kPixelShaderFloatConstants), S_OK);
    for (float c : constants) {
        EXPECT_EQ(c, 0.0f);
    }
}

TEST_F(DeviceStatesTest, ValuesRoundTripAndBadStatesAreRefused) {
    ASSERT_EQ(device_->SetRenderState(RenderStateType::SrcBlend, DWORD(Blend::DestColor)), S_OK);
    ASSERT_EQ(device_->SetRenderState(RenderStateType(155), bits(0.0f)), S_OK);
    DWORD value = 0;
    ASSERT_EQ(device_->GetRenderState(RenderStateType::SrcBlend, &value), S_OK);
    EXPECT_EQ(value, DWORD(Blend::DestColor));
    ASSERT_EQ(device_->GetRenderState(RenderStateType(155), &value), S_OK);
    EXPECT_EQ(value, bits(0.0f));
    ASSERT_EQ(
        device_->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(TextureArg::Diffuse)),
        S_OK);
    ASSERT_EQ(device_->GetTextureStageState(0, TextureStageState::ColorArg1, &value), S_OK);
    EXPECT_EQ(value, DWORD(TextureArg::Diffuse));
    ASSERT_EQ(device_->SetSamplerState(15, SamplerState::AddressU, DWORD(TextureAddress::Mirror)),
              S_OK);
    ASSERT_EQ(device_->GetSamplerState(15, SamplerState::AddressU, &value), S_OK);
    EXPECT_EQ(value, DWORD(TextureAddress::Mirror));
    ASSERT_EQ(device_->GetSamplerState(14, SamplerState::AddressU, &value), S_OK);
    EXPECT_EQ(value, DWORD(TextureAddress::Wrap));

    EXPECT_EQ(device_->SetRenderState(RenderStateType(0), 1), kErrInvalidCall);
    EXPECT_EQ(device_->SetRenderState(RenderStateType(1000), 1), kErrInvalidCall);
    EXPECT_EQ(device_->GetRenderState(RenderStateType::SrcBlend, nullptr), kErrInvalidCall);
    EXPECT_EQ(device_->SetTextureStageState(8, TextureStageState::ColorOp, 1), kErrInvalidCall);
    EXPECT_EQ(device_->SetTextureStageState(0, TextureStageState(12), 1), kErrInvalidCall);
    EXPECT_EQ(device_->GetTextureStageState(0, TextureStageState::ColorOp, nullptr),
              kErrInvalidCall);
    EXPECT_EQ(device_->SetSamplerState(16, SamplerState::AddressU, 1), kErrInvalidCall);
    EXPECT_EQ(device_->SetSamplerState(0, SamplerState(0), 1), kErrInvalidCall);
    EXPECT_EQ(device_->GetSamplerState(0, SamplerState(14), &value), kErrInvalidCall);

    const float four[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(device_->SetPixelShaderConstantF(30, four, 2), S_OK);
    float back[8] = {};
    ASSERT_EQ(device_->GetPixelShaderConstantF(30, back, 2), S_OK);
    EXPECT_EQ(back[0], 1.0f);
    EXPECT_EQ(back[7], 8.0f);
    EXPECT_EQ(device_->SetPixelShaderConstantF(31, four, 2), kErrInvalidCall);
    EXPECT_EQ(device_->SetPixelShaderConstantF(0xFFFFFFFFu, four, 2), kErrInvalidCall);
    EXPECT_EQ(device_->SetPixelShaderConstantF(0, nullptr, 1), kErrInvalidCall);
    EXPECT_EQ(device_->GetPixelShaderConstantF(32, back, 1), kErrInvalidCall);
    EXPECT_EQ(device_->SetPixelShaderConstantF(32, nullptr, 0), S_OK);
}

TEST_F(DeviceStatesTest, ShadersThatCannotBeRunAreRefused) {
    PixelShader* shader = reinterpret_cast<PixelShader*>(std::uintptr_t{0xdeadbeef});
    EXPECT_EQ(device_->CreatePixelShader(nullptr, &shader), kErrInvalidCall);
    EXPECT_EQ(shader, nullptr);
    // No end token within any sensible length: refused without reading on and on.
    std::vector<DWORD> endless(1u << 17, 0x02000001u);  // mov with two operands, forever
    endless[0] = 0xFFFF0200u;
    EXPECT_EQ(device_->CreatePixelShader(endless.data(), &shader), kErrInvalidCall);
    EXPECT_EQ(device_->CreatePixelShader(endless.data(), nullptr), kErrInvalidCall);
    EXPECT_EQ(liveObjects().shaders, 0);
}

}  // namespace
}  // namespace gs::render::software::testing
