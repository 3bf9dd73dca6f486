// The built effect on the real Direct3D 9 (Windows builds, under Wine here): the device accepts
// both shaders, a pass draws what the formulas give for strips whose reads are easy to predict,
// and End leaves the device's states as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "fx/effect.h"
#include "tests/render/d3d9/real_device.h"

namespace gs::fx {
namespace {

using render::RenderStateType;
using render::SamplerState;
using render::d3d9::testing::Pixels;
using render::d3d9::testing::rgb;

constexpr int kSize = 64;
constexpr render::Colour kBlack = 0xFF000000u;
constexpr render::Colour kWhite = 0xFFFFFFFFu;

// Everything a pass changes, as the device reports it.
struct PassStates {
    DWORD render[6];
    DWORD sampler[2][5];
    render::BaseTexture* texture[2];
    render::PixelShader* shader;

    static PassStates read(render::Device* device) {
        static constexpr RenderStateType kRender[] = {
            RenderStateType::ZEnable,  RenderStateType::Lighting,  RenderStateType::BlendOp,
            RenderStateType::SrcBlend, RenderStateType::DestBlend, RenderStateType::CullMode};
        static constexpr SamplerState kSampler[] = {
            SamplerState::AddressU, SamplerState::AddressV, SamplerState::MagFilter,
            SamplerState::MinFilter, SamplerState::MipFilter};
        PassStates s{};
        for (int i = 0; i < 6; ++i) {
            device->GetRenderState(kRender[i], &s.render[i]);
        }
        for (DWORD unit = 0; unit < 2; ++unit) {
            for (int i = 0; i < 5; ++i) {
                device->GetSamplerState(unit, kSampler[i], &s.sampler[unit][i]);
            }
            device->GetTexture(unit, &s.texture[unit]);
            if (s.texture[unit] != nullptr) {
                s.texture[unit]->Release();  // compared by identity only
            }
        }
        device->GetPixelShader(&s.shader);
        if (s.shader != nullptr) {
            s.shader->Release();
        }
        return s;
    }

    bool operator==(const PassStates& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

class EffectOnDirect3D9 : public render::d3d9::testing::RealDeviceTest {
protected:
    void SetUp() override {
        RealDeviceTest::SetUp();
        if (device_ == nullptr || HasFatalFailure() || IsSkipped()) {
            return;
        }
        std::ifstream in(GS_EFFECT_CONTAINER_PATH, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
        ASSERT_FALSE(bytes.empty());
        ASSERT_EQ(
            createEffect(device_, bytes.data(), static_cast<UINT>(bytes.size()), &effect_, nullptr),
            S_OK)
            << "the real device refused a shader";
        left_ = makeTarget(4, 1);
        right_ = makeTarget(4, 1);
    }

    void TearDown() override {
        if (effect_ != nullptr) {
            EXPECT_EQ(effect_->Release(), 0u);
        }
        RealDeviceTest::TearDown();
    }

    // One frame of the effect over a grey target, as the renderer draws it.
    Pixels draw(UINT pass, const Vector4 (&pos)[4], float texWidth) {
        device_->SetRenderState(RenderStateType::AlphaBlendEnable, TRUE);
        device_->Clear(0, nullptr, render::kClearTarget, 0xFF404040u, 1.0f, 0);
        device_->BeginScene();
        effect_->SetTechnique(effect_->GetTechniqueByName("effect"));
        EXPECT_EQ(effect_->Begin(nullptr, 0), S_OK);
        EXPECT_EQ(effect_->BeginPass(pass), S_OK);
        for (int i = 0; i < 4; ++i) {
            effect_->SetVector(
                effect_->GetParameterByName(nullptr, ("pos" + std::to_string(i)).c_str()), &pos[i]);
        }
        effect_->SetTexture(effect_->GetParameterByName(nullptr, "Ltexture"), left_.texture);
        effect_->SetTexture(effect_->GetParameterByName(nullptr, "Rtexture"), right_.texture);
        effect_->SetFloat(effect_->GetParameterByName(nullptr, "texWidth"), texWidth);
        EXPECT_EQ(effect_->CommitChanges(), S_OK);
        const render::d3d9::testing::ShaderQuadVertex quad[4] = {{0, 0, 1, 1, 0, 0},
                                                                 {kSize, 0, 1, 1, kSize, 0},
                                                                 {kSize, kSize, 1, 1, kSize, kSize},
                                                                 {0, kSize, 1, 1, 0, kSize}};
        device_->SetFVF(render::kFvfXyzRhw | render::kFvfTex1);
        EXPECT_EQ(
            device_->DrawPrimitiveUP(render::PrimitiveType::TriangleFan, 2, quad, sizeof(quad[0])),
            S_OK);
        EXPECT_EQ(effect_->EndPass(), S_OK);
        EXPECT_EQ(effect_->End(), S_OK);
        device_->EndScene();
        return readBackBuffer(kSize, kSize);
    }

    Effect* effect_ = nullptr;
    Target left_, right_;
};

// Left strip: white texel 0, black beyond; right strip black. Around pos0 the left read is white
// (a disc of texWidth / 8 pixels), so white against black adds (1, 1, 1); where the left read is
// black too nothing is added.
TEST_F(EffectOnDirect3D9, Pass0DrawsTheFirstTexelAroundItsSourceAndRestoresTheDevice) {
    device_->ColorFill(left_.surface, nullptr, kBlack);
    const RECT first{0, 0, 1, 1};
    device_->ColorFill(left_.surface, &first, kWhite);
    device_->ColorFill(right_.surface, nullptr, kBlack);
    device_->SetRenderState(RenderStateType::SrcBlend, static_cast<DWORD>(render::Blend::SrcAlpha));
    device_->SetTexture(0, left_.texture);
    const PassStates before = PassStates::read(device_);

    const Vector4 pos[4] = {{16, 16, 0, 0}, {16, 16, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    const Pixels pixels = draw(0, pos, 64.0f);
    EXPECT_EQ(pixels.at(16, 16), rgb(255, 255, 255)) << "at pos0";
    EXPECT_EQ(pixels.at(20, 13), rgb(255, 255, 255)) << "5 pixels from pos0";
    EXPECT_EQ(pixels.at(16 + 40, 16), rgb(0x40, 0x40, 0x40)) << "where both reads are black";
    EXPECT_TRUE(PassStates::read(device_) == before);
    device_->SetTexture(0, nullptr);
}

TEST_F(EffectOnDirect3D9, Pass1AddsNothingWithIdenticalStripsAndPos2AtPos3) {
    const RECT first{0, 0, 1, 1};
    for (const Target* strip : {&left_, &right_}) {
        device_->ColorFill(strip->surface, nullptr, 0xFF2080C0u);
        device_->ColorFill(strip->surface, &first, kWhite);
    }
    const Vector4 pos[4] = {{10, 10, 0, 0}, {50, 30, 0, 0}, {30, 40, 5, 0}, {30, 40, 5, 0}};
    const Pixels pixels = draw(1, pos, 48.0f);
    for (int y = 0; y < kSize; y += 7) {
        for (int x = 0; x < kSize; x += 5) {
            ASSERT_EQ(pixels.at(x, y), rgb(0x40, 0x40, 0x40)) << x << ", " << y;
        }
    }
}

}  // namespace
}  // namespace gs::fx
