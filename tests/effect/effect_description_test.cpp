// The effect description format of gs-fxbuild.
#include "tools/fxbuild/effect_description.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>

#include "tools/fxbuild/effect_build.h"

namespace gs::fx::tools {
namespace {

constexpr const char* kSmallEffect = R"(# comment
parameter Scale  float2 register c3 default 0.5 -2   # trailing comment
parameter Tex    texture
parameter Samp   sampler
    state Texture  Tex
    state addressu WRAP
    state BorderColor 0xFF00FF00
constant c3.w reciprocal Scale.y
technique main
    pass first
        renderstate SrcBlend InvSrcAlpha
        renderstate CullMode 3
        pixelshader a.psh
        sampler 2 Samp
    pass second
        pixelshader b.psh
technique alternative
    pass only
        pixelshader a.psh
)";

TEST(EffectDescription, ReadsEveryKindOfStatement) {
    EffectSource source;
    DescriptionError error;
    ASSERT_TRUE(parseEffectDescription(kSmallEffect, source, error))
        << error.line << ": " << error.message;
    const EffectDescription& effect = source.effect;

    ASSERT_EQ(effect.parameters.size(), 3u);
    EXPECT_EQ(effect.parameters[0].name, "Scale");
    EXPECT_EQ(effect.parameters[0].components, 2u);
    EXPECT_EQ(effect.parameters[0].constantRegister, 3u);
    EXPECT_EQ(effect.parameters[0].defaults[0], 0.5f);
    EXPECT_EQ(effect.parameters[0].defaults[1], -2.0f);
    EXPECT_EQ(effect.parameters[2].parameterClass, ParameterClass::Sampler);

    ASSERT_EQ(effect.derivedConstants.size(), 1u);
    EXPECT_EQ(effect.derivedConstants[0].parameterComponent, 1u);
    EXPECT_EQ(effect.derivedConstants[0].constantRegister, 3u);
    EXPECT_EQ(effect.derivedConstants[0].registerComponent, 3u);

    ASSERT_EQ(effect.techniques.size(), 2u);
    const PassDescription& first = effect.techniques[0].passes[0];
    ASSERT_EQ(first.renderStates.size(), 2u);
    EXPECT_EQ(first.renderStates[0].state, 19u);
    EXPECT_EQ(first.renderStates[0].value, 6u);
    EXPECT_EQ(first.renderStates[1].value, 3u);
    ASSERT_EQ(first.samplers.size(), 1u);
    EXPECT_EQ(first.samplers[0].unit, 2u);
    EXPECT_EQ(first.samplers[0].textureParameter, 1u);
    ASSERT_EQ(first.samplers[0].states.size(), 2u);
    EXPECT_EQ(first.samplers[0].states[0].value, 1u);
    EXPECT_EQ(first.samplers[0].states[1].value, 0xFF00FF00u);

    // A file named twice is one shader.
    EXPECT_THAT(source.shaderFiles, ::testing::ElementsAre("a.psh", "b.psh"));
    EXPECT_EQ(effect.techniques[0].passes[1].shader, 1u);
    EXPECT_EQ(effect.techniques[1].passes[0].shader, 0u);
}

TEST(EffectDescription, PointsAtTheLineAtFault) {
    const std::pair<const char*, int> cases[] = {
        {"parameter a float5\n", 1},
        {"parameter a float\nparameter a float\n", 2},
        {"parameter a float3 default 1 2\n", 1},
        {"parameter a float default x\n", 1},
        {"parameter a float register r0\n", 1},
        {"parameter a texture default 1\n", 1},
        {"state AddressU Wrap\n", 1},
        {"parameter s sampler\nparameter t texture\nstate AddressU Wrap\n", 3},
        {"parameter t texture\nparameter s sampler\nstate AddressU Sideways\n", 3},
        {"parameter t texture\nparameter s sampler\nstate Texture s\n", 3},
        {"parameter t texture\nparameter s sampler\nstate Texture t\nstate Texture t\n", 4},
        {"constant c4.q reciprocal a\n", 1},
        {"parameter t texture\nconstant c4.x reciprocal t\n", 2},
        {"pass p\n", 1},
        {"technique t\nrenderstate ZEnable False\n", 2},
        {"technique t\npass p\nrenderstate ZFunc Less\n", 3},
        {"technique t\npass p\nrenderstate CullMode Sideways\n", 3},
        {"technique t\npass p\npixelshader a.psh\npixelshader b.psh\n", 4},
        {"technique t\npass p\nsampler 0 nothing\npixelshader a.psh\n", 3},
        {"parameter s sampler\ntechnique t\npass p\nsampler 0 s\n", 4},
        {"technique t\npass p\nrenderstate Lighting False\npass q\npixelshader a.psh\n", 4},
        {"technique t\npass p\n", 2},
        {"frobnicate\n", 1},
    };
    for (const auto& [text, line] : cases) {
        EffectSource source;
        DescriptionError error;
        EXPECT_FALSE(parseEffectDescription(text, source, error)) << text;
        EXPECT_EQ(error.line, line) << text;
        EXPECT_FALSE(error.message.empty()) << text;
    }
}

// Whole builds from files: a shader that reads a constant nobody sets, or declares a sampler its
// pass does not bind, is refused with the shader's file named.
TEST(EffectBuild, RefusesShadersThatDoNotFitTheirPass) {
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                      ("gs-fxbuild-effect-build-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, const char* text) {
        std::ofstream(dir / name) << text;
    };
    write("reads.psh", "ps_2_0\nmov r0, c7\nmov oC0, r0\n");
    write("samples.psh", "ps_2_0\ndcl t0.xy\ndcl_2d s3\ntexld r0, t0, s3\nmov oC0, r0\n");
    write("good.psh", "ps_2_0\nmov r0, c1\nmov oC0, r0\n");
    write("bad.psh", "ps_2_0\nmov r0, c1\nfrobnicate r0\nmov oC0, r0\n");
    const auto build = [&](const std::string& shader, std::string& error) {
        write("test.effect",
              ("parameter v float4 register c1\ntechnique t\npass p\npixelshader " + shader + "\n")
                  .c_str());
        std::vector<std::byte> container;
        return buildEffectContainer(dir / "test.effect", container, error);
    };

    std::string error;
    EXPECT_TRUE(build("good.psh", error)) << error;
    EXPECT_FALSE(build("reads.psh", error));
    EXPECT_THAT(error, ::testing::HasSubstr("reads.psh"));
    EXPECT_THAT(error, ::testing::HasSubstr("c7"));
    EXPECT_FALSE(build("samples.psh", error));
    EXPECT_THAT(error, ::testing::HasSubstr("s3"));
    EXPECT_FALSE(build("bad.psh", error));
    EXPECT_THAT(error, ::testing::HasSubstr("bad.psh:3"));
    EXPECT_FALSE(build("missing.psh", error));
    EXPECT_THAT(error, ::testing::HasSubstr("missing.psh"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace gs::fx::tools
