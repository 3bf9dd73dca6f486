// An effect shaped like the plug-in's (the nine parameters, the reciprocal of texWidth in c4.x,
// technique "effect" with two passes) with tiny hand-assembled shaders, plus a second technique
// whose passes change different states, for tests that need more than one pass layout.
#pragma once

#include <cstdint>
#include <vector>

#include "fx/effect_container.h"
#include "render/device.h"

namespace gs::fx::testing {

enum SampleParameter : std::uint32_t {
    kPos0,
    kPos1,
    kPos2,
    kPos3,
    kTexWidth,
    kLtexture,
    kLsampler,
    kRtexture,
    kRsampler,
};

constexpr std::uint32_t kEndToken = 0x0000FFFFu;

// ps_2_0 with a comment, then "mov oC0, c<source>".
inline std::vector<std::uint32_t> movShader(std::uint32_t source) {
    return {0xFFFF0200u, 0x0001FFFEu,          0x12345678u, 0x02000001u,
            0x800F0800u, 0xA0E40000u | source, kEndToken};
}

inline StateAssignment renderState(render::RenderStateType state, std::uint32_t value) {
    return {static_cast<std::uint32_t>(state), value};
}

inline StateAssignment samplerState(render::SamplerState state, std::uint32_t value) {
    return {static_cast<std::uint32_t>(state), value};
}

inline SamplerBindingDescription stripSampler(std::uint32_t unit, std::uint32_t sampler,
                                              std::uint32_t texture) {
    using render::SamplerState;
    using render::TextureAddress;
    using render::TextureFilter;
    const auto linear = static_cast<std::uint32_t>(TextureFilter::Linear);
    return {
        unit,
        sampler,
        texture,
        {samplerState(SamplerState::AddressU, static_cast<std::uint32_t>(TextureAddress::Mirror)),
         samplerState(SamplerState::AddressV, static_cast<std::uint32_t>(TextureAddress::Clamp)),
         samplerState(SamplerState::MagFilter, linear),
         samplerState(SamplerState::MinFilter, linear),
         samplerState(SamplerState::MipFilter, linear)}};
}

inline PassDescription ringPass(const char* name, std::uint32_t shader) {
    using render::RenderStateType;
    return {
        name,
        shader,
        {renderState(RenderStateType::ZEnable, render::kZBufferFalse),
         renderState(RenderStateType::Lighting, 0),
         renderState(RenderStateType::BlendOp, static_cast<std::uint32_t>(render::BlendOp::Add)),
         renderState(RenderStateType::SrcBlend, static_cast<std::uint32_t>(render::Blend::One)),
         renderState(RenderStateType::DestBlend, static_cast<std::uint32_t>(render::Blend::One)),
         renderState(RenderStateType::CullMode, static_cast<std::uint32_t>(render::Cull::None))},
        {stripSampler(0, kLsampler, kLtexture), stripSampler(1, kRsampler, kRtexture)}};
}

inline EffectDescription sampleEffect() {
    using container::kNoIndex;
    EffectDescription effect;
    effect.parameters = {
        {"pos0", ParameterClass::Float, 3, 0, {}},
        {"pos1", ParameterClass::Float, 3, 1, {}},
        {"pos2", ParameterClass::Float, 3, 2, {}},
        {"pos3", ParameterClass::Float, 3, 3, {}},
        {"texWidth", ParameterClass::Float, 1, kNoIndex, {}},
        {"Ltexture", ParameterClass::Texture, 0, kNoIndex, {}},
        {"Lsampler", ParameterClass::Sampler, 0, kNoIndex, {}},
        {"Rtexture", ParameterClass::Texture, 0, kNoIndex, {}},
        {"Rsampler", ParameterClass::Sampler, 0, kNoIndex, {}},
    };
    effect.derivedConstants = {{DerivedOperation::Reciprocal, kTexWidth, 0, 4, 0}};

    using render::RenderStateType;
    TechniqueDescription other{"other", {}};
    other.passes.push_back({"blend",
                            0,
                            {renderState(RenderStateType::SrcBlend, 3)},
                            {stripSampler(0, kLsampler, kLtexture)}});
    other.passes.push_back(
        {"cull",
         1,
         {renderState(RenderStateType::CullMode, 2), renderState(RenderStateType::SrcBlend, 4)},
         {stripSampler(2, kRsampler, kRtexture)}});

    effect.techniques = {{"effect", {ringPass("effect0", 0), ringPass("effect1", 1)}}, other};
    effect.shaders = {movShader(0), movShader(1)};
    return effect;
}

}  // namespace gs::fx::testing
