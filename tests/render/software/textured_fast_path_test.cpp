// The textured fast path against the general path: random textured triangles in the states it
// takes (every addressing mode, both filters, texture or diffuse alpha, the blends it handles),
// drawn by a pipeline with fast paths and one without, on every instruction set of the machine.
// Fixed-point filter weights may move a channel across a rounding boundary, never further; states
// the path does not take must come out exactly as before, and so must additive blends, which take
// a one-pass blend of their own.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "render/software/pixel_pipeline.h"
#include "render/software/rasterizer.h"
#include "render/software/shader/pixel_program.h"
#include "render/software/simd/instruction_set.h"

namespace gs::render::software {
namespace {

using simd::InstructionSet;

constexpr UINT kWidth = 96, kHeight = 64;

struct TexturedVertex {
    float x, y, z, rhw;
    Colour diffuse;
    float u, v;
};

class TexturedFastPathTest : public ::testing::Test {
protected:
    void TearDown() override { simd::useInstructionSet(simd::bestInstructionSet()); }
};

std::unique_ptr<PixelStorage> randomPixels(UINT width, UINT height, Format format,
                                           std::mt19937& random) {
    auto storage = PixelStorage::create(width, height, format);
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            storage->buffer().row(y)[x] = storage->buffer().stored(static_cast<Colour>(random()));
        }
    }
    return storage;
}

// One draw: its states and three corners.
struct Draw {
    SamplerSetup sampler;
    DrawSetup setup;
    TexturedVertex corners[3];
};

// Draws `draws` into a copy of `initial` with or without fast paths; returns the pixels and
// counts the draws that took the textured path.
std::vector<Colour> render(const std::vector<Draw>& draws, const PixelStorage& initial,
                           bool fastPaths, int* texturedDraws) {
    const PixelBuffer& from = initial.buffer();
    auto target = PixelStorage::create(from.width, from.height, from.format);
    for (UINT y = 0; y < from.height; ++y) {
        std::memcpy(target->buffer().row(y), from.row(y), from.width * sizeof(Colour));
    }
    TextureSampling textures;
    PixelPipeline pipeline;
    pipeline.useFastPaths(fastPaths);
    for (const Draw& draw : draws) {
        textures.bind(0, draw.sampler);
        DrawSetup setup = draw.setup;
        setup.target = target->buffer();
        setup.textures = &textures;
        pipeline.beginDraw(setup);
        *texturedDraws += pipeline.texturedPathChosen() ? 1 : 0;
        Vertex v[3];
        for (int k = 0; k < 3; ++k) {
            setup.layout.decode(reinterpret_cast<const unsigned char*>(&draw.corners[k]), &v[k]);
        }
        if (pipeline.setTriangle(v[0], v[1], v[2])) {
            const float x[3] = {v[0].x, v[1].x, v[2].x}, y[3] = {v[0].y, v[1].y, v[2].y};
            rasterizeTriangle(x, y, pipeline.rasterTarget(), pipeline);
            pipeline.endPrimitive();
        }
    }
    const PixelBuffer& to = target->buffer();
    std::vector<Colour> pixels;
    for (UINT y = 0; y < to.height; ++y) {
        pixels.insert(pixels.end(), to.row(y), to.row(y) + to.width);
    }
    return pixels;
}

int largestChannelDifference(Colour a, Colour b) {
    int largest = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        largest = std::max(largest, std::abs(static_cast<int>((a >> shift) & 0xFFu) -
                                             static_cast<int>((b >> shift) & 0xFFu)));
    }
    return largest;
}

// Random draws in the fast path's states; `vary` may then change each draw's states.
std::vector<Draw> randomDraws(const PixelStorage& texture, std::mt19937& random,
                              const std::function<void(Draw&)>& vary = {}) {
    std::uniform_real_distribution<float> position(-20.0f, kWidth + 20.0f);
    std::uniform_real_distribution<float> coordinate(-1.5f, 2.5f);
    constexpr DWORD kFactors[] = {DWORD(Blend::Zero), DWORD(Blend::One), DWORD(Blend::SrcAlpha),
                                  DWORD(Blend::InvSrcAlpha)};
    std::vector<Draw> draws(48);
    for (Draw& draw : draws) {
        draw.sampler.texture = &texture.buffer();
        draw.sampler.addressU = 1 + random() % 5;
        draw.sampler.addressV = 1 + random() % 5;
        draw.sampler.magnifyLinear = random() % 4 != 0;
        draw.sampler.minifyLinear = random() % 4 != 0;
        draw.sampler.border = static_cast<Colour>(random());
        DrawSetup& setup = draw.setup;
        setup.stage.colourOp = kOpSelectArg1;
        setup.stage.colourArg1 = kArgTexture;
        setup.stage.alphaOp = random() % 2 == 0 ? kOpSelectArg1 : kOpSelectArg2;
        const DWORD alphaArg = random() % 2 == 0 ? kArgTexture : kArgDiffuse;
        (setup.stage.alphaOp == kOpSelectArg1 ? setup.stage.alphaArg1 : setup.stage.alphaArg2) =
            alphaArg;
        setup.flatShading = random() % 4 == 0;
        BlendSetup& blend = setup.blend;
        blend.enabled = random() % 5 != 0;
        blend.sourceColour = kFactors[random() % 4];
        blend.destinationColour = kFactors[random() % 4];
        const bool separate = random() % 3 == 0;
        blend.sourceAlpha = separate ? kFactors[random() % 4] : blend.sourceColour;
        blend.destinationAlpha = separate ? kFactors[random() % 4] : blend.destinationColour;
        blend.writeMask = random() % 4 == 0 ? 0x00FF00FFu : 0xFFFFFFFFu;
        // Without a diffuse colour the alpha the stage selects is 1.
        const DWORD fvf = kFvfXyzRhw | kFvfTex1 | (random() % 4 == 0 ? 0u : kFvfDiffuse);
        EXPECT_TRUE(VertexLayout::parse(fvf, &setup.layout));
        for (TexturedVertex& corner : draw.corners) {
            corner = {
                position(random),   position(random),  0.5f, 1.0f, static_cast<Colour>(random()),
                coordinate(random), coordinate(random)};
        }
        if (vary) {
            vary(draw);
        }
    }
    return draws;
}

std::vector<InstructionSet> setsOfThisMachine() {
    std::vector<InstructionSet> sets;
    for (int s = 0; s <= static_cast<int>(simd::bestInstructionSet()); ++s) {
        sets.push_back(static_cast<InstructionSet>(s));
    }
    return sets;
}

TEST_F(TexturedFastPathTest, DrawsWithinOneOfTheGeneralPathOnEveryInstructionSet) {
    for (InstructionSet set : setsOfThisMachine()) {
        ASSERT_TRUE(simd::useInstructionSet(set));
        std::mt19937 random(7);
        for (const auto& [width, height] : {std::pair{13u, 9u}, {64u, 1u}, {5u, 40u}}) {
            for (Format format : {Format::X8R8G8B8, Format::A8R8G8B8}) {
                const auto texture = randomPixels(width, height, Format::A8R8G8B8, random);
                const auto initial = randomPixels(kWidth, kHeight, format, random);
                // Each draw on its own, so that a difference is not carried into later blends.
                std::size_t differing = 0, pixels = 0;
                for (const Draw& draw : randomDraws(*texture, random)) {
                    int fastDraws = 0, generalDraws = 0;
                    const std::vector<Colour> fast = render({draw}, *initial, true, &fastDraws);
                    const std::vector<Colour> general =
                        render({draw}, *initial, false, &generalDraws);
                    ASSERT_EQ(fastDraws, 1);
                    ASSERT_EQ(generalDraws, 0);
                    for (std::size_t i = 0; i < fast.size(); ++i) {
                        ASSERT_LE(largestChannelDifference(fast[i], general[i]), 1)
                            << simd::instructionSetName(set) << ", pixel " << i << ": " << std::hex
                            << fast[i] << " vs " << general[i];
                        differing += fast[i] != general[i] ? 1 : 0;
                    }
                    pixels += fast.size();
                }
                // Rounding boundaries are rare: a systematic offset would move far more pixels.
                EXPECT_LT(differing, pixels / 200) << simd::instructionSetName(set);
            }
        }
    }
}

TEST_F(TexturedFastPathTest, OtherStatesDrawExactlyAsTheGeneralPath) {
    const std::function<void(Draw&)> variations[] = {
        [](Draw& d) { d.setup.stage.colourArg1 = kArgTexture | kArgComplement; },
        [](Draw& d) { d.setup.stage.colourOp = kOpModulate; },
        [](Draw& d) { d.setup.stage.alphaArg1 = d.setup.stage.alphaArg2 = kArgTFactor; },
        [](Draw& d) { d.setup.stage.addSpecular = true; },
        [](Draw& d) {
            d.setup.blend.enabled = true;
            d.setup.blend.destinationColour = DWORD(Blend::DestColor);
        },
        [](Draw& d) {
            d.setup.blend.enabled = true;
            d.setup.blend.operationAlpha = DWORD(BlendOp::Max);
        },
        [](Draw& d) { d.sampler.texture = nullptr; },
        // Perspective-correct triangles keep the general interpolation.
        [](Draw& d) { d.corners[1].rhw = 0.25f; },
    };
    std::mt19937 random(11);
    const auto texture = randomPixels(13, 9, Format::A8R8G8B8, random);
    const auto initial = randomPixels(kWidth, kHeight, Format::A8R8G8B8, random);
    for (std::size_t k = 0; k < std::size(variations); ++k) {
        const std::vector<Draw> draws = randomDraws(*texture, random, variations[k]);
        int unusedFast = 0, unusedGeneral = 0;
        EXPECT_EQ(render(draws, *initial, true, &unusedFast),
                  render(draws, *initial, false, &unusedGeneral))
            << "variation " << k;
    }
}

// Additive blends (factors Zero and One, operation Add) take a one-pass blend. It must store
// exactly what the general path stores, for shader outputs far outside 0..1 as well: a program
// that writes c0 to oC0 draws each constant below.
TEST_F(TexturedFastPathTest, AdditiveBlendsDrawExactlyAsTheGeneralPath) {
    const DWORD tokens[] = {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x0000FFFF};
    std::unique_ptr<PixelProgram> program;
    ASSERT_EQ(PixelProgram::create(tokens, std::size(tokens), &program), S_OK);
    const float values[] = {-1.0f, 0.0f,  0.2f,      0.5f,     0.999f, 1.0f,
                            2.5f,  1e30f, -INFINITY, INFINITY, NAN};
    constexpr DWORD kFactors[] = {DWORD(Blend::Zero), DWORD(Blend::One)};
    for (InstructionSet set : setsOfThisMachine()) {
        ASSERT_TRUE(simd::useInstructionSet(set));
        std::mt19937 random(5);
        const auto texture = randomPixels(13, 9, Format::A8R8G8B8, random);
        for (Format format : {Format::X8R8G8B8, Format::A8R8G8B8}) {
            const auto initial = randomPixels(kWidth, kHeight, format, random);
            std::vector<std::array<float, 4>> constants(48);
            std::vector<Draw> draws = randomDraws(*texture, random);
            for (std::size_t k = 0; k < draws.size(); ++k) {
                for (float& channel : constants[k]) {
                    channel = values[random() % std::size(values)];
                }
                DrawSetup& setup = draws[k].setup;
                setup.program = program.get();
                setup.constants = reinterpret_cast<const float(*)[4]>(constants[k].data());
                setup.blend.enabled = true;
                setup.blend.writeMask = 0xFFFFFFFFu;
                setup.blend.sourceColour = kFactors[random() % 2];
                setup.blend.destinationColour = kFactors[random() % 2];
                setup.blend.sourceAlpha = kFactors[random() % 2];
                setup.blend.destinationAlpha = kFactors[random() % 2];
            }
            int unusedFast = 0, unusedGeneral = 0;
            EXPECT_EQ(render(draws, *initial, true, &unusedFast),
                      render(draws, *initial, false, &unusedGeneral))
                << simd::instructionSetName(set);
        }
    }
}

}  // namespace
}  // namespace gs::render::software
