// The effect container as the build makes it: what it holds, and one frame driven through it the
// way the renderer does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "fx/effect.h"
#include "fx/effect_container.h"
#include "render/shader/pixel_shader_validator.h"
#include "tests/fx/recording_device.h"

namespace gs::fx {
namespace {

using render::RenderStateType;
using render::SamplerState;

std::vector<std::byte> builtContainer() {
    std::ifstream in(GS_EFFECT_CONTAINER_PATH, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::byte> out(bytes.size());
    std::memcpy(out.data(), bytes.data(), bytes.size());
    return out;
}

class BuiltEffect : public ::testing::Test {
protected:
    void SetUp() override {
        bytes_ = builtContainer();
        ASSERT_FALSE(bytes_.empty()) << "cannot read " << GS_EFFECT_CONTAINER_PATH;
        std::string error;
        ASSERT_TRUE(readEffectContainer(bytes_, effect_, &error)) << error;
    }

    std::vector<std::byte> bytes_;
    EffectDescription effect_;
};

TEST_F(BuiltEffect, HasTheNineParametersInOrder) {
    struct Expected {
        const char* name;
        ParameterClass parameterClass;
        std::uint32_t components;
    };
    const Expected expected[] = {
        {"pos0", ParameterClass::Float, 3},       {"pos1", ParameterClass::Float, 3},
        {"pos2", ParameterClass::Float, 3},       {"pos3", ParameterClass::Float, 3},
        {"texWidth", ParameterClass::Float, 1},   {"Ltexture", ParameterClass::Texture, 0},
        {"Lsampler", ParameterClass::Sampler, 0}, {"Rtexture", ParameterClass::Texture, 0},
        {"Rsampler", ParameterClass::Sampler, 0},
    };
    ASSERT_EQ(effect_.parameters.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const ParameterDescription& p = effect_.parameters[i];
        EXPECT_EQ(p.name, expected[i].name);
        EXPECT_EQ(p.parameterClass, expected[i].parameterClass) << p.name;
        EXPECT_EQ(p.components, expected[i].components) << p.name;
        EXPECT_THAT(p.defaults, ::testing::Each(0.0f)) << p.name;
    }
}

TEST_F(BuiltEffect, PassesSetTheirStatesInOrderAndDifferOnlyInTheirShader) {
    ASSERT_EQ(effect_.techniques.size(), 1u);
    const TechniqueDescription& technique = effect_.techniques[0];
    EXPECT_EQ(technique.name, "effect");
    ASSERT_EQ(technique.passes.size(), 2u);
    EXPECT_EQ(technique.passes[0].name, "effect0");
    EXPECT_EQ(technique.passes[1].name, "effect1");
    EXPECT_NE(technique.passes[0].shader, technique.passes[1].shader);

    const std::pair<RenderStateType, std::uint32_t> renderStates[] = {
        {RenderStateType::ZEnable, render::kZBufferFalse},
        {RenderStateType::Lighting, 0},
        {RenderStateType::BlendOp, static_cast<std::uint32_t>(render::BlendOp::Add)},
        {RenderStateType::SrcBlend, static_cast<std::uint32_t>(render::Blend::One)},
        {RenderStateType::DestBlend, static_cast<std::uint32_t>(render::Blend::One)},
        {RenderStateType::CullMode, static_cast<std::uint32_t>(render::Cull::None)},
    };
    const std::uint32_t linear = static_cast<std::uint32_t>(render::TextureFilter::Linear);
    const std::pair<SamplerState, std::uint32_t> samplerStates[] = {
        {SamplerState::AddressU, static_cast<std::uint32_t>(render::TextureAddress::Mirror)},
        {SamplerState::AddressV, static_cast<std::uint32_t>(render::TextureAddress::Clamp)},
        {SamplerState::MagFilter, linear},
        {SamplerState::MinFilter, linear},
        {SamplerState::MipFilter, linear},
    };
    for (const PassDescription& pass : technique.passes) {
        ASSERT_EQ(pass.renderStates.size(), std::size(renderStates)) << pass.name;
        for (std::size_t i = 0; i < std::size(renderStates); ++i) {
            EXPECT_EQ(pass.renderStates[i].state,
                      static_cast<std::uint32_t>(renderStates[i].first));
            EXPECT_EQ(pass.renderStates[i].value, renderStates[i].second);
        }
        ASSERT_EQ(pass.samplers.size(), 2u) << pass.name;
        for (std::uint32_t unit = 0; unit < 2; ++unit) {
            const SamplerBindingDescription& binding = pass.samplers[unit];
            EXPECT_EQ(binding.unit, unit);
            EXPECT_EQ(effect_.parameters[binding.samplerParameter].name,
                      unit == 0 ? "Lsampler" : "Rsampler");
            EXPECT_EQ(effect_.parameters[binding.textureParameter].name,
                      unit == 0 ? "Ltexture" : "Rtexture");
            ASSERT_EQ(binding.states.size(), std::size(samplerStates));
            for (std::size_t i = 0; i < std::size(samplerStates); ++i) {
                EXPECT_EQ(binding.states[i].state,
                          static_cast<std::uint32_t>(samplerStates[i].first));
                EXPECT_EQ(binding.states[i].value, samplerStates[i].second);
            }
        }
    }
}

TEST_F(BuiltEffect, ShadersAreValidPixelShaders20WithTheirLiterals) {
    const std::vector<float> literals[] = {{0.5f, 0.45f}, {0.5f, 0.8f}};
    for (std::size_t pass = 0; pass < 2; ++pass) {
        const std::vector<std::uint32_t>& tokens =
            effect_.shaders[effect_.techniques[0].passes[pass].shader];
        EXPECT_EQ(tokens.front(), render::pixelShaderVersion(2, 0));
        render::shader::PixelShaderDescription shader;
        render::shader::ValidationError error;
        ASSERT_TRUE(
            render::shader::validatePixelShader(tokens.data(), tokens.size(), shader, error))
            << error.message;
        std::vector<float> defined;
        for (const auto& constant : shader.constants) {
            defined.insert(defined.end(), constant.value.begin(), constant.value.end());
        }
        for (float literal : literals[pass]) {
            EXPECT_THAT(defined, ::testing::Contains(literal)) << "pass " << pass;
        }
        EXPECT_EQ(shader.samplers, 0x3u) << "samplers 0 (left) and 1 (right)";
    }
}

// The renderer's calls of one frame, in its order, on the real container.
TEST_F(BuiltEffect, AFrameBringsItsValuesToTheRegistersTheShadersRead) {
    testing::RecordingDevice device;
    Effect* effect = nullptr;
    ASSERT_EQ(
        createEffect(&device, bytes_.data(), static_cast<UINT>(bytes_.size()), &effect, nullptr),
        S_OK);
    const Handle technique = effect->GetTechniqueByName("effect");
    Handle pos[4];
    for (int i = 0; i < 4; ++i) {
        pos[i] = effect->GetParameterByName(nullptr, ("pos" + std::to_string(i)).c_str());
        ASSERT_NE(pos[i], nullptr);
    }
    const Handle texWidth = effect->GetParameterByName(nullptr, "texWidth");
    const Handle left = effect->GetParameterByName(nullptr, "Ltexture");
    const Handle right = effect->GetParameterByName(nullptr, "Rtexture");
    ASSERT_TRUE(technique && texWidth && left && right);

    testing::FakeTexture* leftStrip = device.newTexture();
    testing::FakeTexture* rightStrip = device.newTexture();
    const testing::DeviceState before = device.state();
    for (UINT pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(effect->SetTechnique(technique), S_OK);
        ASSERT_EQ(effect->Begin(nullptr, 0), S_OK);
        ASSERT_EQ(effect->BeginPass(pass), S_OK);
        for (int i = 0; i < 4; ++i) {
            const Vector4 v{100.0f + i, 200.0f + i, -7.0f * i, 1.0f};
            ASSERT_EQ(effect->SetVector(pos[i], &v), S_OK);
        }
        ASSERT_EQ(effect->SetTexture(left, leftStrip), S_OK);
        ASSERT_EQ(effect->SetTexture(right, rightStrip), S_OK);
        ASSERT_EQ(effect->SetFloat(texWidth, 1080.0f * 15.0f), S_OK);
        ASSERT_EQ(effect->CommitChanges(), S_OK);

        const auto& constants = device.state().constants;
        for (int i = 0; i < 4; ++i) {
            EXPECT_THAT(std::vector<float>(constants[i], constants[i] + 3),
                        ::testing::ElementsAre(100.0f + i, 200.0f + i, -7.0f * i));
        }
        EXPECT_EQ(constants[4][0], 1.0f / 16200.0f);
        EXPECT_EQ(device.state().textures[0], leftStrip);
        EXPECT_EQ(device.state().textures[1], rightStrip);

        ASSERT_EQ(effect->EndPass(), S_OK);
        ASSERT_EQ(effect->End(), S_OK);
        EXPECT_TRUE(device.state() == before);
    }
    EXPECT_EQ(effect->Release(), 0u);
    EXPECT_EQ(leftStrip->Release(), 0u);
    EXPECT_EQ(rightStrip->Release(), 0u);
    EXPECT_EQ(device.ledger()->liveObjects, 0);
}

}  // namespace
}  // namespace gs::fx
