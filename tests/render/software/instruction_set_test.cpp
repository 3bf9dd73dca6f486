// Every instruction set the machine runs computes exactly what the SSE2 baseline computes: texture
// sampling in every addressing mode and filter, the pipeline's interpolation, texture stage,
// blending and storing, on random inputs and tile sizes around the vector widths.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_pipeline.h"
#include "render/software/rasterizer.h"
#include "render/software/simd/instruction_set.h"
#include "render/software/texture_sampling.h"

namespace gs::render::software {
namespace {

using simd::InstructionSet;

std::vector<InstructionSet> setsOfThisMachine() {
    std::vector<InstructionSet> sets;
    for (int s = 0; s <= static_cast<int>(simd::bestInstructionSet()); ++s) {
        sets.push_back(static_cast<InstructionSet>(s));
    }
    return sets;
}

// Restores the best set when a test is over.
class InstructionSetTest : public ::testing::Test {
protected:
    void TearDown() override { simd::useInstructionSet(simd::bestInstructionSet()); }
};

std::unique_ptr<PixelStorage> randomTexture(UINT width, UINT height, std::mt19937& random) {
    auto texture = PixelStorage::create(width, height, Format::A8R8G8B8);
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            texture->buffer().row(y)[x] = static_cast<Colour>(random());
        }
    }
    return texture;
}

TEST_F(InstructionSetTest, SamplingMatchesTheBaselineBitForBit) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> coordinate(-3.0f, 3.0f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (const auto& [width, height] :
         {std::pair{1u, 1u}, {7u, 1u}, {16u, 1u}, {20u, 1u}, {1920u, 1u}, {33u, 17u}}) {
        const auto texture = randomTexture(width, height, random);
        for (DWORD address = 1; address <= 5; ++address) {
            // Random coordinates, and ramps of a few texels or less per lane (strips read at
            // distances), some across the texture's edges and the mirror's folds.
            for (int variant = 0; variant < 8; ++variant) {
                const int pattern = variant / 2;
                const bool linear = variant % 2 != 0;
                SamplerSetup setup;
                setup.texture = &texture->buffer();
                setup.addressU = address;
                setup.addressV = 6 - address;
                setup.border = 0x80402010u;
                const float texel = 1.0f / static_cast<float>(width);
                const float start = pattern == 1 ? unit(random) : coordinate(random);
                const float step = (pattern == 3 ? 1.5f : 0.9f * unit(random)) * texel;
                alignas(64) float u[kTileLanes], v[kTileLanes];
                for (int i = 0; i < kTileLanes; ++i) {
                    u[i] = pattern == 0 ? coordinate(random) : start + step * static_cast<float>(i);
                    v[i] = i % 5 == 0 ? 0.5f : coordinate(random);
                }
                for (int count : {1, 7, 8, 15, 16, 17, 33, kTileLanes}) {
                    alignas(64) float baseline[4][kTileLanes] = {};
                    pipelineKernels(InstructionSet::Sse2)
                        .sample(setup, linear, u, v, count, baseline);
                    for (InstructionSet set : setsOfThisMachine()) {
                        alignas(64) float out[4][kTileLanes] = {};
                        pipelineKernels(set).sample(setup, linear, u, v, count, out);
                        ASSERT_EQ(std::memcmp(out, baseline, sizeof out), 0)
                            << simd::instructionSetName(set) << ", address " << address
                            << ", pattern " << pattern << ", linear " << linear << ", " << width
                            << "x" << height << ", count " << count;
                    }
                }
            }
        }
    }
}

// Random triangles with random colours, texture coordinates and blend states, drawn through whole
// pipelines made under each set, into identical targets.
TEST_F(InstructionSetTest, PipelinesDrawTheSamePixels) {
    struct Vertex3 {
        float x, y, z, rhw;
        Colour diffuse;
        float u, v;
    };
    std::mt19937 random(17);
    std::uniform_real_distribution<float> position(-10.0f, 90.0f);
    std::uniform_real_distribution<float> unit(-1.5f, 2.5f);
    const auto texture = randomTexture(13, 9, random);
    const auto initial = randomTexture(80, 60, random);
    std::vector<Colour> baseline;
    for (InstructionSet set : setsOfThisMachine()) {
        ASSERT_TRUE(simd::useInstructionSet(set));
        std::mt19937 draws(99);
        auto target = PixelStorage::create(80, 60, Format::X8R8G8B8);
        for (UINT y = 0; y < 60; ++y) {
            std::memcpy(target->buffer().row(y), initial->buffer().row(y), 80 * sizeof(Colour));
        }
        TextureSampling textures;
        PixelPipeline pipeline;
        for (int draw = 0; draw < 40; ++draw) {
            SamplerSetup sampler;
            sampler.texture = &texture->buffer();
            sampler.addressU = 1 + draws() % 5;
            sampler.addressV = 1 + draws() % 5;
            sampler.magnifyLinear = draws() % 2 == 0;
            sampler.minifyLinear = draws() % 2 == 0;
            textures.bind(0, sampler);
            DrawSetup setup;
            setup.target = target->buffer();
            setup.textures = &textures;
            setup.stage.colourOp = 2 + draws() % 10;
            setup.stage.colourArg1 = draws() % 2 == 0 ? 2 : 0x12;
            setup.stage.colourArg2 = draws() % 2 == 0 ? 0 : 0x20;
            setup.stage.alphaOp = 2 + draws() % 10;
            setup.blend.enabled = draws() % 4 != 0;
            setup.blend.sourceColour = setup.blend.sourceAlpha = 1 + draws() % 10;
            setup.blend.destinationColour = setup.blend.destinationAlpha = 1 + draws() % 10;
            setup.blend.operationColour = setup.blend.operationAlpha = 1 + draws() % 5;
            setup.blend.writeMask = draws() % 3 == 0 ? 0x00FF00FFu : 0xFFFFFFFFu;
            ASSERT_TRUE(VertexLayout::parse(kFvfXyzRhw | kFvfDiffuse | kFvfTex1, &setup.layout));
            pipeline.beginDraw(setup);
            Vertex3 corners[3];
            for (Vertex3& c : corners) {
                c = {position(draws),
                     position(draws),
                     0.5f,
                     draws() % 4 == 0 ? 0.5f : 1.0f,
                     static_cast<Colour>(draws()),
                     unit(draws),
                     unit(draws)};
            }
            Vertex a, b, c;
            setup.layout.decode(reinterpret_cast<const unsigned char*>(&corners[0]), &a);
            setup.layout.decode(reinterpret_cast<const unsigned char*>(&corners[1]), &b);
            setup.layout.decode(reinterpret_cast<const unsigned char*>(&corners[2]), &c);
            if (pipeline.setTriangle(a, b, c)) {
                const float x[3] = {a.x, b.x, c.x}, y[3] = {a.y, b.y, c.y};
                rasterizeTriangle(x, y, pipeline.rasterTarget(), pipeline);
                pipeline.endPrimitive();
            }
        }
        std::vector<Colour> pixels;
        for (UINT y = 0; y < 60; ++y) {
            pixels.insert(pixels.end(), target->buffer().row(y), target->buffer().row(y) + 80);
        }
        if (baseline.empty()) {
            baseline = pixels;
            continue;
        }
        ASSERT_EQ(pixels, baseline) << simd::instructionSetName(set);
    }
}

TEST_F(InstructionSetTest, OnlySetsTheMachineRunsCanBeChosen) {
    EXPECT_TRUE(simd::useInstructionSet(InstructionSet::Sse2));
    EXPECT_EQ(simd::activeInstructionSet(), InstructionSet::Sse2);
    const bool hasAvx512 = simd::bestInstructionSet() == InstructionSet::Avx512;
    EXPECT_EQ(simd::useInstructionSet(InstructionSet::Avx512), hasAvx512);
    EXPECT_EQ(simd::activeInstructionSet(),
              hasAvx512 ? InstructionSet::Avx512 : InstructionSet::Sse2);
}

}  // namespace
}  // namespace gs::render::software
