// Points blended by table against the general path: runs of points in one colour and others in
// colours of their own, under random stage operations and blend states, drawn by a pipeline with
// fast paths and one without, on every instruction set of the machine. The table is made by the
// general path's own kernels, so the pixels must be the same bits; states whose blend mixes
// channels must not take it.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "render/software/channel_table.h"
#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_pipeline.h"
#include "render/software/rasterizer.h"
#include "render/software/simd/instruction_set.h"
#include "tests/render/software/instruction_sets.h"

namespace gs::render::software {
namespace {

constexpr UINT kWidth = 80, kHeight = 48;
constexpr DWORD kFvfSpecular = 0x080;  // D3DFVF_SPECULAR

class ChannelTableTest : public ::testing::Test {
protected:
    void TearDown() override { simd::useInstructionSet(simd::bestInstructionSet()); }
};

struct Points {
    DrawSetup setup;
    std::vector<Vertex> vertices;
};

// Draws each set of points into a copy of `initial`; counts each draw's points blended by table.
std::vector<Colour> render(const std::vector<Points>& draws, const PixelStorage& initial,
                           bool fastPaths, std::vector<int>* tablePoints) {
    tablePoints->assign(draws.size(), 0);
    auto target = PixelStorage::create(kWidth, kHeight, initial.buffer().format);
    for (UINT y = 0; y < kHeight; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
            target->buffer().row(y)[x] = initial.buffer().row(y)[x];
        }
    }
    TextureSampling textures;
    PixelPipeline pipeline;
    pipeline.useFastPaths(fastPaths);
    for (std::size_t d = 0; d < draws.size(); ++d) {
        const Points& draw = draws[d];
        DrawSetup setup = draw.setup;
        setup.target = target->buffer();
        setup.textures = &textures;
        pipeline.beginDraw(setup);
        for (const Vertex& v : draw.vertices) {
            pipeline.setConstant(v);
            (*tablePoints)[d] += pipeline.channelTableChosen() ? 1 : 0;
            const float half = 0.5f * v.pointSize;
            rasterizeRectangle(v.x - half, v.y - half, v.x + half, v.y + half,
                               pipeline.rasterTarget(), pipeline);
            pipeline.endPrimitive();
        }
    }
    std::vector<Colour> pixels;
    for (UINT y = 0; y < kHeight; ++y) {
        pixels.insert(pixels.end(), target->buffer().row(y), target->buffer().row(y) + kWidth);
    }
    return pixels;
}

std::unique_ptr<PixelStorage> randomTarget(Format format, std::mt19937& random) {
    auto storage = PixelStorage::create(kWidth, kHeight, format);
    for (UINT y = 0; y < kHeight; ++y) {
        for (UINT x = 0; x < kWidth; ++x) {
            storage->buffer().row(y)[x] = storage->buffer().stored(static_cast<Colour>(random()));
        }
    }
    return storage;
}

// Random fixed-function states without a texture: stage operations and arguments, every blend
// factor and operation, separate alpha blending, write masks and the blend factor.
DrawSetup randomStates(std::mt19937& random) {
    DrawSetup setup;
    EXPECT_TRUE(
        VertexLayout::parse(kFvfXyzRhw | kFvfDiffuse | kFvfSpecular | kFvfPSize, &setup.layout));
    const DWORD args[] = {kArgDiffuse,
                          kArgCurrent,
                          kArgTFactor,
                          kArgSpecular,
                          kArgDiffuse | kArgComplement,
                          kArgSpecular | kArgAlphaReplicate};
    TextureStageSetup& stage = setup.stage;
    stage.colourOp = 1 + random() % 11;
    stage.alphaOp = 1 + random() % 11;
    stage.colourArg1 = args[random() % std::size(args)];
    stage.colourArg2 = args[random() % std::size(args)];
    stage.alphaArg1 = args[random() % std::size(args)];
    stage.alphaArg2 = args[random() % std::size(args)];
    stage.addSpecular = random() % 3 == 0;
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (float& f : stage.textureFactor) {
        f = unit(random);
    }
    BlendSetup& blend = setup.blend;
    blend.enabled = random() % 6 != 0;
    blend.sourceColour = 1 + random() % 14;
    blend.destinationColour = 1 + random() % 14;
    blend.operationColour = 1 + random() % 5;
    const bool separate = random() % 2 == 0;
    blend.sourceAlpha = separate ? 1 + random() % 14 : blend.sourceColour;
    blend.destinationAlpha = separate ? 1 + random() % 14 : blend.destinationColour;
    blend.operationAlpha = separate ? 1 + random() % 5 : blend.operationColour;
    for (float& f : blend.blendFactor) {
        f = unit(random);
    }
    const Colour masks[] = {0xFFFFFFFFu, 0x00FFFFFFu, 0xFF00FF00u, 0x0000FFFFu, 0xFFFF0F00u};
    blend.writeMask = masks[random() % std::size(masks)];
    return setup;
}

// Points in runs of one colour (values outside 0..1 and NaN among them), some runs of one point.
std::vector<Vertex> randomPoints(std::mt19937& random) {
    std::uniform_real_distribution<float> x(-4.0f, kWidth + 4.0f), y(-4.0f, kHeight + 4.0f);
    std::uniform_real_distribution<float> size(0.5f, 9.0f), colour(-0.25f, 1.25f);
    std::vector<Vertex> points;
    while (points.size() < 120) {
        Vertex v{};
        for (float& a : v.attributes) {
            a = colour(random);
        }
        if (random() % 8 == 0) {
            v.attributes[random() % 8] = std::numeric_limits<float>::quiet_NaN();
        }
        v.rhw = 1.0f;
        const int run = 1 + static_cast<int>(random() % 6);
        for (int k = 0; k < run; ++k) {
            v.x = x(random);
            v.y = y(random);
            v.pointSize = size(random);
            points.push_back(v);
        }
    }
    return points;
}

TEST_F(ChannelTableTest, PointsBlendByTableAsTheGeneralPathDoesOnEverySet) {
    for (simd::InstructionSet set : setsOfThisMachine()) {
        ASSERT_TRUE(simd::useInstructionSet(set));
        const char* name = simd::instructionSetName(set);
        std::mt19937 random(17);
        int tableDraws = 0, otherDraws = 0;
        for (int k = 0; k < 120; ++k) {
            const Format format = k % 2 == 0 ? Format::X8R8G8B8 : Format::A8R8G8B8;
            const auto initial = randomTarget(format, random);
            // Two draws, so that the second blends over what the first stored.
            std::vector<Points> draws(2);
            for (Points& draw : draws) {
                draw.setup = randomStates(random);
                draw.vertices = randomPoints(random);
            }
            std::vector<int> fastTable, generalTable;
            const std::vector<Colour> fast = render(draws, *initial, true, &fastTable);
            const std::vector<Colour> general = render(draws, *initial, false, &generalTable);
            for (std::size_t i = 0; i < fast.size(); ++i) {
                ASSERT_EQ(fast[i], general[i]) << name << ", case " << k << ", pixel " << i;
            }
            for (std::size_t d = 0; d < draws.size(); ++d) {
                EXPECT_EQ(generalTable[d], 0);
                if (!ChannelTable::appliesTo(draws[d].setup.blend)) {
                    EXPECT_EQ(fastTable[d], 0) << name << ", case " << k << ", draw " << d;
                }
                (fastTable[d] > 0 ? tableDraws : otherDraws) += 1;
            }
        }
        // Both kinds of draw are common enough to be tested.
        EXPECT_GT(tableDraws, 60) << name;
        EXPECT_GT(otherDraws, 30) << name;
    }
}

TEST_F(ChannelTableTest, BlendsThatMixChannelsOrSplitOneAreLeftToTheGeneralPath) {
    BlendSetup blend;
    blend.enabled = true;
    blend.sourceColour = DWORD(Blend::DestColor);
    blend.destinationColour = DWORD(Blend::One);
    EXPECT_TRUE(ChannelTable::appliesTo(blend));
    // Alpha factors may read the destination's alpha: that is their own channel.
    blend.sourceAlpha = DWORD(Blend::DestAlpha);
    blend.destinationAlpha = kBlendSrcAlphaSat;
    EXPECT_TRUE(ChannelTable::appliesTo(blend));
    for (DWORD mixing : {DWORD(Blend::DestAlpha), DWORD(Blend::InvDestAlpha), kBlendSrcAlphaSat}) {
        BlendSetup source = blend, destination = blend;
        source.sourceColour = mixing;
        destination.destinationColour = mixing;
        EXPECT_FALSE(ChannelTable::appliesTo(source)) << mixing;
        EXPECT_FALSE(ChannelTable::appliesTo(destination)) << mixing;
    }
    blend.writeMask = 0xFFFF0F00u;
    EXPECT_FALSE(ChannelTable::appliesTo(blend));
    blend.enabled = false;
    EXPECT_FALSE(ChannelTable::appliesTo(blend));
    blend.writeMask = 0x00FF00FFu;
    EXPECT_TRUE(ChannelTable::appliesTo(blend));
}

}  // namespace
}  // namespace gs::render::software
