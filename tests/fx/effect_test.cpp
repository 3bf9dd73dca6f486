#include "fx/effect.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "fx/effect_container_writer.h"
#include "tests/fx/allocation_counter.h"
#include "tests/fx/recording_device.h"
#include "tests/fx/sample_effect.h"

namespace gs::fx {
namespace {

using render::Blend;
using render::RenderStateType;
using render::SamplerState;
using testing::FakePixelShader;
using testing::FakeTexture;
using testing::RecordingDevice;

constexpr DWORD kSrcAlpha = static_cast<DWORD>(Blend::SrcAlpha);

class EffectTest : public ::testing::Test {
protected:
    void SetUp() override { create(testing::sampleEffect()); }

    void create(const EffectDescription& description) {
        container_ = writeEffectContainer(description);
        ASSERT_EQ(createEffect(&device_, container_.data(), static_cast<UINT>(container_.size()),
                               &effect_, nullptr),
                  S_OK);
        ASSERT_NE(effect_, nullptr);
        pos_[0] = parameter("pos0");
        pos_[1] = parameter("pos1");
        pos_[2] = parameter("pos2");
        pos_[3] = parameter("pos3");
        texWidth_ = parameter("texWidth");
        left_ = parameter("Ltexture");
        right_ = parameter("Rtexture");
    }

    void TearDown() override {
        if (effect_ != nullptr) {
            EXPECT_EQ(effect_->Release(), 0u);
        }
        device_.unbindAll();
        for (FakeTexture* texture : textures_) {
            EXPECT_EQ(texture->references(), 1u) << "a reference was not given back";
            texture->Release();
        }
        EXPECT_EQ(device_.references(), 1u);
        EXPECT_EQ(device_.ledger()->liveObjects, 0) << "shaders or textures leaked";
    }

    Handle parameter(const char* name) { return effect_->GetParameterByName(nullptr, name); }

    FakeTexture* texture() {
        textures_.push_back(device_.newTexture());
        return textures_.back();
    }

    // What the renderer leaves on the device before the effect pass.
    void primeDevice() {
        device_.SetRenderState(RenderStateType::AlphaBlendEnable, 1);
        device_.SetRenderState(RenderStateType::SrcBlend, kSrcAlpha);
        device_.SetRenderState(RenderStateType::DestBlend, static_cast<DWORD>(Blend::One));
        device_.SetRenderState(RenderStateType::CullMode, 1);
        device_.SetRenderState(RenderStateType::BlendOp, 1);
        for (SamplerState s :
             {SamplerState::MinFilter, SamplerState::MipFilter, SamplerState::MagFilter}) {
            device_.SetSamplerState(0, s, 2);
        }
        device_.SetSamplerState(2, SamplerState::AddressU, 3);
        feedback_ = texture();
        device_.SetTexture(0, feedback_);
        for (UINT r = 0; r < 8; ++r) {
            const float sentinel[4] = {100.0f + r, 200.0f + r, 300.0f + r, 400.0f + r};
            device_.SetPixelShaderConstantF(r, sentinel, 1);
        }
        device_.clearLog();
    }

    // One frame as the renderer draws it.
    void drawFrame(UINT pass, render::BaseTexture* left, render::BaseTexture* right) {
        ASSERT_EQ(effect_->SetTechnique(effect_->GetTechniqueByName("effect")), S_OK);
        ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
        ASSERT_EQ(effect_->BeginPass(pass), S_OK);
        for (int i = 0; i < 4; ++i) {
            const Vector4 v{10.0f * i, 20.0f * i, 30.0f * i, 99.0f};
            ASSERT_EQ(effect_->SetVector(pos_[i], &v), S_OK);
        }
        ASSERT_EQ(effect_->SetTexture(left_, left), S_OK);
        ASSERT_EQ(effect_->SetTexture(right_, right), S_OK);
        ASSERT_EQ(effect_->SetFloat(texWidth_, 28800.0f), S_OK);
        ASSERT_EQ(effect_->CommitChanges(), S_OK);
        ASSERT_EQ(effect_->EndPass(), S_OK);
        ASSERT_EQ(effect_->End(), S_OK);
    }

    const float* constant(UINT r) const { return device_.state().constants[r]; }

    RecordingDevice device_;
    std::vector<std::byte> container_;
    Effect* effect_ = nullptr;
    Handle pos_[4] = {};
    Handle texWidth_ = nullptr;
    Handle left_ = nullptr;
    Handle right_ = nullptr;
    FakeTexture* feedback_ = nullptr;
    std::vector<FakeTexture*> textures_;
};

TEST_F(EffectTest, FindsTechniquesAndParametersByName) {
    const Handle technique = effect_->GetTechniqueByName("effect");
    ASSERT_NE(technique, nullptr);
    EXPECT_STREQ(technique, "effect");
    EXPECT_EQ(effect_->GetTechniqueByName("effect"), technique);
    EXPECT_EQ(effect_->GetTechniqueByName("effect0"), nullptr);
    EXPECT_EQ(effect_->GetTechniqueByName(nullptr), nullptr);

    for (const char* name : {"pos0", "pos1", "pos2", "pos3", "texWidth", "Ltexture", "Lsampler",
                             "Rtexture", "Rsampler"}) {
        EXPECT_STREQ(parameter(name), name);
    }
    EXPECT_EQ(parameter("effect"), nullptr);
    EXPECT_EQ(parameter("pos4"), nullptr);
    EXPECT_EQ(parameter(nullptr), nullptr);
    EXPECT_EQ(effect_->GetParameterByName(pos_[0], "pos1"), nullptr) << "no parameter has members";

    UINT passes = 0;
    ASSERT_EQ(effect_->SetTechnique(technique), S_OK);
    ASSERT_EQ(effect_->Begin(&passes, 0), S_OK);
    EXPECT_EQ(passes, 2u);
    EXPECT_EQ(effect_->End(), S_OK);
}

TEST_F(EffectTest, BeginPassAppliesThePassInOrder) {
    ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
    device_.clearLog();
    ASSERT_EQ(effect_->BeginPass(1), S_OK);

    std::vector<std::string> sampler0{"SetTexture 0"}, sampler1{"SetTexture 1"};
    for (const char* state : {"1 2", "2 3", "5 2", "6 2", "7 2"}) {
        sampler0.push_back(std::string("SetSamplerState 0 ") + state);
        sampler1.push_back(std::string("SetSamplerState 1 ") + state);
    }
    std::vector<std::string> expected{"SetRenderState 7 0",   "SetRenderState 137 0",
                                      "SetRenderState 171 1", "SetRenderState 19 2",
                                      "SetRenderState 20 2",  "SetRenderState 22 1",
                                      "SetPixelShader"};
    expected.insert(expected.end(), sampler0.begin(), sampler0.end());
    expected.insert(expected.end(), sampler1.begin(), sampler1.end());
    expected.push_back("SetPixelShaderConstantF 0 5");
    EXPECT_EQ(device_.log(), expected);

    const auto* shader = dynamic_cast<FakePixelShader*>(device_.state().pixelShader);
    ASSERT_NE(shader, nullptr);
    const std::vector<std::uint32_t> second = testing::movShader(1);
    EXPECT_EQ(shader->tokens(), std::vector<DWORD>(second.begin(), second.end()))
        << "pass 1 binds the second shader";
    EXPECT_EQ(effect_->End(), S_OK);
}

TEST_F(EffectTest, EndRestoresTheDeviceAsBeginFoundIt) {
    primeDevice();
    const testing::DeviceState before = device_.state();
    FakeTexture* left = texture();
    FakeTexture* right = texture();

    drawFrame(0, left, right);
    EXPECT_TRUE(device_.state() == before);
    drawFrame(1, left, right);
    EXPECT_TRUE(device_.state() == before);
    EXPECT_EQ(device_.state().textures[0], feedback_);
    EXPECT_EQ(device_.state().renderStates.at(19), kSrcAlpha);
    EXPECT_EQ(device_.state().pixelShader, nullptr);
    EXPECT_EQ(constant(0)[0], 100.0f);
    EXPECT_EQ(constant(4)[3], 404.0f);
}

TEST_F(EffectTest, BeginRecordsWhatAnyPassOfTheTechniqueChanges) {
    primeDevice();
    const testing::DeviceState before = device_.state();
    ASSERT_EQ(effect_->SetTechnique(effect_->GetTechniqueByName("other")), S_OK);
    ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
    ASSERT_EQ(effect_->BeginPass(0), S_OK);
    ASSERT_EQ(effect_->EndPass(), S_OK);
    ASSERT_EQ(effect_->BeginPass(1), S_OK);
    EXPECT_EQ(device_.state().renderStates.at(22), 2u);
    EXPECT_EQ(device_.state().samplerStates.at({2, 1}), 2u);
    // No EndPass: End closes the pass itself.
    ASSERT_EQ(effect_->End(), S_OK);
    EXPECT_TRUE(device_.state() == before);
}

TEST_F(EffectTest, ValuesReachTheDeviceAtCommit) {
    ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
    ASSERT_EQ(effect_->BeginPass(0), S_OK);
    EXPECT_EQ(constant(0)[0], 0.0f) << "defaults until set";
    EXPECT_EQ(constant(4)[0], std::numeric_limits<float>::infinity()) << "1 / texWidth of 0";

    const Vector4 v{1.0f, 2.0f, 3.0f, 4.0f};
    FakeTexture* left = texture();
    ASSERT_EQ(effect_->SetVector(pos_[1], &v), S_OK);
    ASSERT_EQ(effect_->SetFloat(texWidth_, 1920.0f * 15.0f), S_OK);
    ASSERT_EQ(effect_->SetTexture(left_, left), S_OK);
    EXPECT_EQ(constant(1)[0], 0.0f) << "nothing reaches the device before the commit";
    EXPECT_EQ(device_.state().textures[0], nullptr);

    device_.clearLog();
    ASSERT_EQ(effect_->CommitChanges(), S_OK);
    EXPECT_THAT(device_.log(),
                ::testing::ElementsAre("SetPixelShaderConstantF 1 1", "SetPixelShaderConstantF 4 1",
                                       "SetTexture 0"));
    EXPECT_THAT(std::vector<float>(constant(1), constant(1) + 4),
                ::testing::ElementsAre(1.0f, 2.0f, 3.0f, 0.0f))
        << "a float3 keeps the first three components";
    EXPECT_EQ(constant(4)[0], 1.0f / 28800.0f);
    EXPECT_EQ(device_.state().textures[0], left);

    device_.clearLog();
    ASSERT_EQ(effect_->CommitChanges(), S_OK);
    EXPECT_TRUE(device_.log().empty()) << "a commit without changes sends nothing";

    ASSERT_EQ(effect_->SetFloat(texWidth_, 4.0f), S_OK);
    ASSERT_EQ(effect_->CommitChanges(), S_OK);
    EXPECT_EQ(constant(4)[0], 0.25f);
    EXPECT_EQ(effect_->End(), S_OK);
}

TEST_F(EffectTest, ValuesPersistIntoTheNextPass) {
    FakeTexture* left = texture();
    FakeTexture* right = texture();
    drawFrame(0, left, right);

    ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
    ASSERT_EQ(effect_->BeginPass(1), S_OK);
    EXPECT_EQ(constant(3)[1], 60.0f);
    EXPECT_EQ(constant(4)[0], 1.0f / 28800.0f);
    EXPECT_EQ(device_.state().textures[0], left);
    EXPECT_EQ(device_.state().textures[1], right);
    EXPECT_EQ(effect_->End(), S_OK);
}

TEST_F(EffectTest, DefaultsOfTheContainerHoldUntilSet) {
    EXPECT_EQ(effect_->Release(), 0u);
    EffectDescription description = testing::sampleEffect();
    description.parameters[testing::kPos2].defaults = {1.0f, 2.0f, 3.0f, 0.0f};
    description.parameters[testing::kTexWidth].defaults = {8.0f, 0.0f, 0.0f, 0.0f};
    create(description);

    ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
    ASSERT_EQ(effect_->BeginPass(1), S_OK);
    EXPECT_THAT(std::vector<float>(constant(2), constant(2) + 4),
                ::testing::ElementsAre(1.0f, 2.0f, 3.0f, 0.0f));
    EXPECT_EQ(constant(4)[0], 0.125f);
    EXPECT_EQ(effect_->End(), S_OK);
}

TEST_F(EffectTest, ADerivedConstantKeepsItsComponentOfASharedRegister) {
    EXPECT_EQ(effect_->Release(), 0u);
    EffectDescription description = testing::sampleEffect();
    description.derivedConstants[0].constantRegister = 3;  // beside pos3 (float3) in c3.w
    description.derivedConstants[0].registerComponent = 3;
    create(description);

    ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
    ASSERT_EQ(effect_->BeginPass(1), S_OK);
    ASSERT_EQ(effect_->SetFloat(texWidth_, 2.0f), S_OK);
    ASSERT_EQ(effect_->CommitChanges(), S_OK);
    const Vector4 v{5.0f, 6.0f, 7.0f, 8.0f};
    ASSERT_EQ(effect_->SetVector(pos_[3], &v), S_OK);
    ASSERT_EQ(effect_->CommitChanges(), S_OK);
    EXPECT_THAT(std::vector<float>(constant(3), constant(3) + 4),
                ::testing::ElementsAre(5.0f, 6.0f, 7.0f, 0.5f));
    EXPECT_EQ(effect_->End(), S_OK);
}

TEST_F(EffectTest, TexturesAreHeldUntilReplacedOrReleased) {
    FakeTexture* first = texture();
    FakeTexture* second = texture();
    ASSERT_EQ(effect_->SetTexture(left_, first), S_OK);
    EXPECT_EQ(first->references(), 2u);
    ASSERT_EQ(effect_->SetTexture(left_, first), S_OK);
    EXPECT_EQ(first->references(), 2u) << "setting the same texture again";
    ASSERT_EQ(effect_->SetTexture(left_, second), S_OK);
    EXPECT_EQ(first->references(), 1u);
    EXPECT_EQ(second->references(), 2u);
    ASSERT_EQ(effect_->SetTexture(right_, first), S_OK);
    EXPECT_EQ(device_.references(), 2u) << "the effect holds the device";
    EXPECT_EQ(effect_->Release(), 0u);
    effect_ = nullptr;
    EXPECT_EQ(first->references(), 1u);
    EXPECT_EQ(second->references(), 1u);
}

TEST_F(EffectTest, ReleaseBetweenBeginAndEndDropsTheRecordedReferences) {
    primeDevice();
    ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
    EXPECT_EQ(feedback_->references(), 3u) << "the device's, the test's and the recorded one";
    ASSERT_EQ(effect_->BeginPass(0), S_OK);
    EXPECT_EQ(effect_->Release(), 0u);
    effect_ = nullptr;
    EXPECT_EQ(feedback_->references(), 1u);
}

TEST_F(EffectTest, RefusesCallsOutOfOrder) {
    EXPECT_EQ(effect_->BeginPass(0), render::kErrInvalidCall) << "before Begin";
    EXPECT_EQ(effect_->EndPass(), render::kErrInvalidCall);
    EXPECT_EQ(effect_->End(), render::kErrInvalidCall);
    EXPECT_EQ(effect_->CommitChanges(), S_OK) << "outside a pass there is nothing to commit";

    ASSERT_EQ(effect_->Begin(nullptr, 0), S_OK);
    EXPECT_EQ(effect_->Begin(nullptr, 0), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetTechnique(effect_->GetTechniqueByName("other")), render::kErrInvalidCall);
    EXPECT_EQ(effect_->BeginPass(2), render::kErrInvalidCall);
    ASSERT_EQ(effect_->BeginPass(0), S_OK);
    EXPECT_EQ(effect_->BeginPass(1), render::kErrInvalidCall) << "a pass is already active";
    EXPECT_EQ(effect_->EndPass(), S_OK);
    EXPECT_EQ(effect_->EndPass(), render::kErrInvalidCall);
    EXPECT_EQ(effect_->End(), S_OK);
    EXPECT_EQ(effect_->Begin(nullptr, 1), render::kErrInvalidCall) << "only flags 0";
}

TEST_F(EffectTest, RefusesHandlesAndValuesThatDoNotFit) {
    const Vector4 v{1, 2, 3, 4};
    const std::string copy = "pos0";  // same name, not the effect's handle
    FakeTexture* t = texture();
    EXPECT_EQ(effect_->SetTechnique(nullptr), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetTechnique(pos_[0]), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetVector(nullptr, &v), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetVector(copy.c_str(), &v), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetVector(pos_[0], nullptr), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetVector(left_, &v), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetFloat(parameter("Lsampler"), 1.0f), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetTexture(pos_[0], t), render::kErrInvalidCall);
    EXPECT_EQ(effect_->SetTexture(parameter("Rsampler"), t), render::kErrInvalidCall);
    EXPECT_EQ(t->references(), 1u);
}

TEST_F(EffectTest, AFailedBeginRecordsNothing) {
    primeDevice();
    device_.getTextureResult = E_FAIL;
    EXPECT_EQ(effect_->Begin(nullptr, 0), E_FAIL);
    EXPECT_EQ(effect_->BeginPass(0), render::kErrInvalidCall);
    EXPECT_EQ(feedback_->references(), 2u);
    device_.getTextureResult = S_OK;
    EXPECT_EQ(effect_->Begin(nullptr, 0), S_OK);
    EXPECT_EQ(effect_->End(), S_OK);
}

TEST_F(EffectTest, DrawingAFrameAllocatesNothing) {
    primeDevice();
    FakeTexture* left = texture();
    FakeTexture* right = texture();
    device_.logging = false;
    drawFrame(1, left, right);  // the fake device's state maps fill up here

    const long before = testing::allocationCount();
    drawFrame(1, left, right);
    drawFrame(0, right, left);
    EXPECT_EQ(testing::allocationCount(), before);
}

TEST(CreateEffect, RefusesBadArgumentsAndMalformedData) {
    RecordingDevice device;
    const std::vector<std::byte> bytes = writeEffectContainer(testing::sampleEffect());
    const UINT size = static_cast<UINT>(bytes.size());
    auto* const sentinel = reinterpret_cast<Effect*>(0xdeadbeef);
    auto* const bufferSentinel = reinterpret_cast<Buffer*>(0xdeadbeef);

    Effect* effect = sentinel;
    Buffer* errors = bufferSentinel;
    EXPECT_EQ(createEffect(&device, bytes.data(), size - 4, &effect, &errors), kErrInvalidData);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(errors, nullptr);

    effect = sentinel;
    EXPECT_EQ(createEffect(nullptr, bytes.data(), size, &effect, nullptr), render::kErrInvalidCall);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(createEffect(&device, nullptr, size, &effect, nullptr), render::kErrInvalidCall);
    errors = bufferSentinel;
    EXPECT_EQ(createEffect(&device, bytes.data(), size, nullptr, &errors), render::kErrInvalidCall);
    EXPECT_EQ(errors, nullptr);

    EXPECT_EQ(device.pixelShadersCreated(), 0);
    EXPECT_EQ(device.references(), 1u);
}

TEST(CreateEffect, FailsWhenTheDeviceRefusesAShader) {
    RecordingDevice device;
    device.refusePixelShaderAt = 1;
    const std::vector<std::byte> bytes = writeEffectContainer(testing::sampleEffect());
    Effect* effect = reinterpret_cast<Effect*>(0xdeadbeef);
    EXPECT_EQ(
        createEffect(&device, bytes.data(), static_cast<UINT>(bytes.size()), &effect, nullptr),
        render::kErrInvalidCall);
    EXPECT_EQ(effect, nullptr);
    EXPECT_EQ(device.pixelShadersCreated(), 1);
    EXPECT_EQ(device.ledger()->liveObjects, 0) << "the first shader was released";
    EXPECT_EQ(device.references(), 1u);
}

// Corrupted containers either make a working effect or fail cleanly, never leaking.
TEST(CreateEffect, SurvivesCorruptedContainers) {
    const std::vector<std::byte> whole = writeEffectContainer(testing::sampleEffect());
    unsigned seed = 7;
    for (int round = 0; round < 1500; ++round) {
        std::vector<std::byte> bytes = whole;
        seed = seed * 1103515245u + 12345u;
        bytes[(seed >> 8) % bytes.size()] ^= static_cast<std::byte>(1 + (seed >> 20) % 255);
        RecordingDevice device;
        Effect* effect = nullptr;
        const HRESULT hr =
            createEffect(&device, bytes.data(), static_cast<UINT>(bytes.size()), &effect, nullptr);
        if (SUCCEEDED(hr)) {
            ASSERT_NE(effect, nullptr);
            effect->Begin(nullptr, 0);
            effect->BeginPass(0);
            effect->End();
            EXPECT_EQ(effect->Release(), 0u);
        } else {
            EXPECT_EQ(effect, nullptr);
        }
        device.unbindAll();
        EXPECT_EQ(device.ledger()->liveObjects, 0);
        EXPECT_EQ(device.references(), 1u);
    }
}

}  // namespace
}  // namespace gs::fx
