// The textured fast path against the general path: random textured triangles in the states it
// takes (every addressing mode, both filters, texture or diffuse alpha, the blends it handles),
// drawn by a pipeline with fast paths and one without, on every instruction set of the machine.
// Fixed-point filter weights may move a channel across a rounding boundary, never further; states
// the path does not take must come out exactly as before, and so must additive blends, which take
// a one-pass blend of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "render/software/deferred_fill.h"
#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_pipeline.h"
#include "render/software/rasterizer.h"
#include "render/software/shader/pixel_program.h"
#include "render/software/simd/instruction_set.h"
#include "tests/render/software/instruction_sets.h"

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
// counts the draws that took the textured path. With `clear`, the target is cleared to it first,
// the clear deferred into the first draw as a frame's is.
std::vector<Colour> render(const std::vector<Draw>& draws, const PixelStorage& initial,
                           bool fastPaths, int* texturedDraws,
                           std::optional<Colour> clear = std::nullopt) {
    const PixelBuffer& from = initial.buffer();
    auto target = PixelStorage::create(from.width, from.height, from.format);
    for (UINT y = 0; y < from.height; ++y) {
        std::memcpy(target->buffer().row(y), from.row(y), from.width * sizeof(Colour));
    }
    TextureSampling textures;
    PixelPipeline pipeline;
    pipeline.useFastPaths(fastPaths);
    DeferredFill fill;
    if (clear) {
        EXPECT_TRUE(fill.reserve(from.height));
        fill.start(target->buffer(), *clear);
    }
    for (const Draw& draw : draws) {
        textures.bind(0, draw.sampler);
        DrawSetup setup = draw.setup;
        setup.target = target->buffer();
        setup.textures = &textures;
        const bool first = &draw == &draws.front();
        pipeline.beginDraw(setup, clear && first ? &fill : nullptr);
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
        if (clear && first) {
            fill.finish();
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

// Draws each of `draws` on its own with and without fast paths and compares: within 1 per channel,
// and different in fewer than one pixel in `rarity`.
void expectWithinOneOfTheGeneralPath(const std::vector<Draw>& draws, const PixelStorage& initial,
                                     std::size_t rarity, const std::string& context) {
    std::size_t differing = 0, pixels = 0;
    for (const Draw& draw : draws) {
        int fastDraws = 0, generalDraws = 0;
        const std::vector<Colour> fast = render({draw}, initial, true, &fastDraws);
        const std::vector<Colour> general = render({draw}, initial, false, &generalDraws);
        ASSERT_EQ(fastDraws, 1) << context;
        ASSERT_EQ(generalDraws, 0) << context;
        for (std::size_t i = 0; i < fast.size(); ++i) {
            ASSERT_LE(largestChannelDifference(fast[i], general[i]), 1)
                << context << ", pixel " << i << ": " << std::hex << fast[i] << " vs "
                << general[i];
            differing += fast[i] != general[i] ? 1 : 0;
        }
        pixels += fast.size();
    }
    EXPECT_LT(differing, pixels / rarity) << context;
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

// A pixel shader that writes c0 to oC0.
std::unique_ptr<PixelProgram> constantProgram() {
    const DWORD tokens[] = {0xFFFF0200, 0x02000001, 0x800F0800, 0xA0E40000, 0x0000FFFF};
    std::unique_ptr<PixelProgram> program;
    EXPECT_EQ(PixelProgram::create(tokens, std::size(tokens), &program), S_OK);
    return program;
}

// Turns each draw into one of `program`, its c0 (kept in `constants`) from `value` and its four
// blend factors from `factors`.
template <std::size_t N>
void drawProgram(std::vector<Draw>& draws, const PixelProgram& program,
                 std::vector<std::array<float, 4>>& constants, const DWORD (&factors)[N],
                 std::mt19937& random, const std::function<float()>& value) {
    constants.resize(draws.size());
    for (std::size_t k = 0; k < draws.size(); ++k) {
        for (float& channel : constants[k]) {
            channel = value();
        }
        DrawSetup& setup = draws[k].setup;
        setup.program = &program;
        setup.constants = reinterpret_cast<const float(*)[4]>(constants[k].data());
        setup.blend.sourceColour = factors[random() % N];
        setup.blend.destinationColour = factors[random() % N];
        setup.blend.sourceAlpha = factors[random() % N];
        setup.blend.destinationAlpha = factors[random() % N];
    }
}

// Additive blends (factors Zero and One, operation Add) take a one-pass blend. It must store
// exactly what the general path stores, for shader outputs far outside 0..1 as well: a program
// that writes c0 to oC0 draws each constant below.
TEST_F(TexturedFastPathTest, AdditiveBlendsDrawExactlyAsTheGeneralPath) {
    const auto program = constantProgram();
    ASSERT_NE(program, nullptr);
    const float values[] = {-1.0f, 0.0f,  0.2f,      0.5f,     0.999f, 1.0f,
                            2.5f,  1e30f, -INFINITY, INFINITY, NAN};
    constexpr DWORD kFactors[] = {DWORD(Blend::Zero), DWORD(Blend::One)};
    for (InstructionSet set : setsOfThisMachine()) {
        ASSERT_TRUE(simd::useInstructionSet(set));
        std::mt19937 random(5);
        const auto texture = randomPixels(13, 9, Format::A8R8G8B8, random);
        for (Format format : {Format::X8R8G8B8, Format::A8R8G8B8}) {
            const auto initial = randomPixels(kWidth, kHeight, format, random);
            std::vector<std::array<float, 4>> constants;
            std::vector<Draw> draws = randomDraws(*texture, random);
            drawProgram(draws, *program, constants, kFactors, random,
                        [&] { return values[random() % std::size(values)]; });
            for (Draw& draw : draws) {
                draw.setup.blend.enabled = true;
                draw.setup.blend.writeMask = 0xFFFFFFFFu;
            }
            int unusedFast = 0, unusedGeneral = 0;
            EXPECT_EQ(render(draws, *initial, true, &unusedFast),
                      render(draws, *initial, false, &unusedGeneral))
                << simd::instructionSetName(set);
        }
    }
}

// A pixel shader's alpha is left out where nothing stored depends on it: blends by factors that
// read it, and targets that keep it, must see it as the general path does.
TEST_F(TexturedFastPathTest, ProgramsRunWithoutAlphaOnlyWhereNothingReadsIt) {
    const auto program = constantProgram();
    ASSERT_NE(program, nullptr);
    constexpr DWORD kFactors[] = {DWORD(Blend::Zero),      DWORD(Blend::One),
                                  DWORD(Blend::SrcAlpha),  DWORD(Blend::InvSrcAlpha),
                                  DWORD(Blend::SrcColor),  DWORD(Blend::DestAlpha),
                                  DWORD(Blend::DestColor), kBlendSrcAlphaSat};
    std::mt19937 random(41);
    std::uniform_real_distribution<float> unit(-0.2f, 1.2f);
    const auto texture = randomPixels(13, 9, Format::A8R8G8B8, random);
    for (Format format : {Format::X8R8G8B8, Format::A8R8G8B8}) {
        const auto initial = randomPixels(kWidth, kHeight, format, random);
        std::vector<std::array<float, 4>> constants;
        std::vector<Draw> draws = randomDraws(*texture, random);
        drawProgram(draws, *program, constants, kFactors, random, [&] { return unit(random); });
        int unusedFast = 0, unusedGeneral = 0;
        EXPECT_EQ(render(draws, *initial, true, &unusedFast),
                  render(draws, *initial, false, &unusedGeneral))
            << (format == Format::X8R8G8B8 ? "X8R8G8B8" : "A8R8G8B8");
    }
}

// A triangle over the whole target whose coordinates run affinely from (u0, v0) at the top left
// corner to (u1, v1) at the bottom right, slightly tilted as the background quad is.
void coverTarget(Draw& draw, float u0, float u1, float v0, float v1, float tilt) {
    const float corners[3][2] = {
        {-1.0f, -1.0f}, {2.0f * kWidth + 2.0f, -1.0f}, {-1.0f, 2.0f * kHeight + 2.0f}};
    for (int k = 0; k < 3; ++k) {
        const float x = corners[k][0] / kWidth, y = corners[k][1] / kHeight;
        TexturedVertex& corner = draw.corners[k];
        corner.x = corners[k][0];
        corner.y = corners[k][1];
        corner.rhw = 1.0f;
        corner.u = u0 + (u1 - u0) * x + tilt * y;
        corner.v = v0 + (v1 - v0) * y + tilt * x;
    }
}

TEST_F(TexturedFastPathTest, LargeTrianglesInsideAndAcrossTextureEdgesMatchTheGeneralPath) {
    struct Scenario {
        const char* name;
        UINT width, height;  // of the texture
        float u0, u1, v0, v1, tilt;
    };
    const Scenario scenarios[] = {
        // Every footprint inside the texture, magnified and minified.
        {"magnified inside", 13, 9, 0.1f, 0.9f, 0.12f, 0.85f, 0.01f},
        {"minified inside", 300, 200, 0.05f, 0.95f, 0.1f, 0.9f, 0.02f},
        // As the background quad: the texture the size of the target, slightly moved.
        {"one to one", kWidth, kHeight, 0.02f, 0.97f, 0.03f, 0.96f, 0.004f},
        // Runs that start inside and leave the texture, or touch its last texel.
        {"across the edges", 13, 9, -0.05f, 1.05f, -0.1f, 1.1f, 0.0f},
        {"up to the edges", kWidth, kHeight, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f},
        // Coordinates falling along the run.
        {"mirrored", 40, 30, 0.9f, 0.1f, 0.85f, 0.12f, -0.01f},
        // Hundreds of texels per pixel, and one texel over many pixels.
        {"huge steps", 13, 9, 0.0f, 400.0f, 0.2f, -300.0f, 3.0f},
        {"tiny steps", 300, 200, 0.4f, 0.4001f, 0.6f, 0.60005f, 0.0f},
    };
    for (InstructionSet set : setsOfThisMachine()) {
        ASSERT_TRUE(simd::useInstructionSet(set));
        std::mt19937 random(23);
        for (const Scenario& scenario : scenarios) {
            const auto texture =
                randomPixels(scenario.width, scenario.height, Format::A8R8G8B8, random);
            const auto initial = randomPixels(kWidth, kHeight, Format::X8R8G8B8, random);
            std::vector<Draw> draws = randomDraws(*texture, random, [&](Draw& draw) {
                coverTarget(draw, scenario.u0, scenario.u1, scenario.v0, scenario.v1,
                            scenario.tilt);
            });
            // The background quad's own states: diffuse alpha, added on top of the target.
            Draw background = draws.front();
            background.sampler.magnifyLinear = background.sampler.minifyLinear = true;
            background.setup.stage.alphaOp = kOpSelectArg1;
            background.setup.stage.alphaArg1 = kArgDiffuse;
            background.setup.blend.enabled = true;
            background.setup.blend.sourceColour = background.setup.blend.sourceAlpha =
                DWORD(Blend::SrcAlpha);
            background.setup.blend.destinationColour = background.setup.blend.destinationAlpha =
                DWORD(Blend::One);
            background.setup.blend.writeMask = 0xFFFFFFFFu;
            ASSERT_TRUE(
                VertexLayout::parse(kFvfXyzRhw | kFvfTex1 | kFvfDiffuse, &background.setup.layout));
            for (TexturedVertex& corner : background.corners) {
                corner.diffuse = 0xA0FFFFFFu;
            }
            draws.push_back(background);
            // Triangles this large cross rounding boundaries of the fixed-point filter on up to a
            // few percent of their pixels; an offset in the filter or the blend moves far more.
            expectWithinOneOfTheGeneralPath(
                draws, *initial, 10,
                std::string(simd::instructionSetName(set)) + ", " + scenario.name);
        }
    }
}

// Footprints inside the texture take each set's own filter and blend: every set must store the
// baseline's pixels exactly, in full tiles of one run, tiles of several runs and the lanes past the
// last full vector, for every blend the path takes, texture or diffuse alpha, both filters,
// targets with and without alpha, and over a clear the first draw takes over.
TEST_F(TexturedFastPathTest, InteriorFootprintsDrawTheSamePixelsOnEverySet) {
    constexpr UINT kTargetWidth = 301, kTargetHeight = 40;  // rows longer than a tile
    struct Scenario {
        UINT width, height;  // of the texture
        float u0, u1, v0, v1;
        float tilt = 0.01f;  // the most either coordinate moves along the other axis
    };
    const Scenario scenarios[] = {
        // As the background quad: half the target's size, magnified about twice.
        {150, 20, 0.03f, 0.96f, 0.05f, 0.94f},
        {13, 9, 0.1f, 0.9f, 0.12f, 0.85f},
        {900, 120, 0.02f, 0.98f, 0.03f, 0.97f},
        // About 31 texels across 16 pixels: the widest groups of footprints one load serves.
        {650, 120, 0.02f, 0.98f, 0.03f, 0.97f},
        // Mirrored: positions falling along the runs and down the rows.
        {150, 20, 0.96f, 0.03f, 0.94f, 0.05f},
        // Rows changing along the runs, up to every 6 pixels.
        {320, 200, 0.27f, 0.7f, 0.3f, 0.55f, 0.25f},
        // Larger than the textures whose lines further down are prefetched.
        {1100, 1000, 0.02f, 0.3f, 0.05f, 0.1f},
    };
    std::vector<std::vector<Colour>> baseline;
    for (InstructionSet set : setsOfThisMachine()) {
        ASSERT_TRUE(simd::useInstructionSet(set));
        std::mt19937 random(41);
        std::size_t k = 0;
        for (const Scenario& scenario : scenarios) {
            for (Format format : {Format::X8R8G8B8, Format::A8R8G8B8}) {
                const auto texture =
                    randomPixels(scenario.width, scenario.height, Format::A8R8G8B8, random);
                const auto initial = randomPixels(kTargetWidth, kTargetHeight, format, random);
                std::uniform_real_distribution<float> x(-10.0f, kTargetWidth + 10.0f);
                std::uniform_real_distribution<float> y(-5.0f, kTargetHeight + 5.0f);
                std::uniform_real_distribution<float> tilt(-scenario.tilt, scenario.tilt);
                // Every other case over a clear, which the first draw takes over: a filtered
                // additive draw over the whole target, as a frame's background is.
                const std::optional<Colour> clear =
                    (k + k / 2) % 2 == 0 ? std::nullopt : std::optional<Colour>(0x80402010u);
                bool first = true;
                const std::vector<Draw> draws = randomDraws(*texture, random, [&](Draw& draw) {
                    const bool background = clear && first;
                    first = false;
                    if (background) {
                        draw.sampler.magnifyLinear = draw.sampler.minifyLinear = true;
                    }
                    // Half the draws cover the target, the others are triangles inside it; the
                    // coordinates follow the positions, so that every footprint lies inside.
                    const bool cover = background || random() % 2 == 0;
                    const float t = tilt(random);
                    for (int c = 0; c < 3; ++c) {
                        TexturedVertex& corner = draw.corners[c];
                        if (cover) {
                            corner.x = c == 1 ? 2.0f * kTargetWidth + 2.0f : -1.0f;
                            corner.y = c == 2 ? 2.0f * kTargetHeight + 2.0f : -1.0f;
                        } else {
                            corner.x = x(random);
                            corner.y = y(random);
                        }
                        const float sx = std::clamp(corner.x / kTargetWidth, 0.0f, 2.0f);
                        const float sy = std::clamp(corner.y / kTargetHeight, 0.0f, 2.0f);
                        corner.u = scenario.u0 + (scenario.u1 - scenario.u0) * sx + t * sy;
                        corner.v = scenario.v0 + (scenario.v1 - scenario.v0) * sy + t * sx;
                    }
                    // Half the draws add the texture with one alpha over the whole triangle, which
                    // the sets may blend in a pass of their own.
                    if (background || random() % 2 == 0) {
                        BlendSetup& blend = draw.setup.blend;
                        // The background adds itself to what lies beneath: the clear's colour.
                        blend.enabled = blend.enabled || background;
                        blend.destinationColour =
                            DWORD(background || random() % 2 == 0 ? Blend::One : Blend::Zero);
                        blend.destinationAlpha =
                            DWORD(random() % 2 == 0 ? Blend::One : Blend::Zero);
                        draw.setup.stage.alphaOp = kOpSelectArg1;
                        draw.setup.stage.alphaArg1 = kArgDiffuse;
                        for (TexturedVertex& corner : draw.corners) {
                            corner.diffuse = (corner.diffuse & 0x00FFFFFFu) |
                                             (draw.corners[0].diffuse & 0xFF000000u);
                        }
                    }
                });
                int texturedDraws = 0;
                std::vector<Colour> pixels = render(draws, *initial, true, &texturedDraws, clear);
                ASSERT_EQ(texturedDraws, static_cast<int>(draws.size()));
                if (clear) {
                    // The background on its own as well: later draws may cover all it stored.
                    const std::vector<Colour> background =
                        render({draws.front()}, *initial, true, &texturedDraws, clear);
                    pixels.insert(pixels.end(), background.begin(), background.end());
                }
                if (set == InstructionSet::Sse2) {
                    baseline.push_back(pixels);
                } else {
                    ASSERT_LT(k, baseline.size());
                    EXPECT_EQ(pixels, baseline[k])
                        << simd::instructionSetName(set) << ", texture " << scenario.width << "x"
                        << scenario.height << (format == Format::X8R8G8B8 ? ", X8R8G8B8" : "")
                        << (clear ? ", over a clear" : "");
                }
                ++k;
            }
        }
    }
}

// Where the interior case applies it must find exactly the texels and fractions that addressing
// finds under every mode; where a lane's footprint leaves the texture it must not apply.
TEST_F(TexturedFastPathTest, InteriorFootprintsAreTheTexelsOfEveryAddressingMode) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    for (InstructionSet set : setsOfThisMachine()) {
        const PipelineKernels& kernels = pipelineKernels(set);
        std::mt19937 random(31);
        for (const auto& [width, height] :
             {std::pair{2u, 2u}, {13u, 9u}, {640u, 3u}, {1920u, 1080u}, {4096u, 17u}}) {
            PixelBuffer texture;
            texture.width = width;
            texture.height = height;
            texture.pitch = width + 5;  // rows further apart than their width
            // A position as a share of the positions inside: 0 is the first texel's centre, 1 the
            // last one's.
            const auto coordinate = [](float share, UINT size) {
                return (0.5f + share * static_cast<float>(size - 1)) / static_cast<float>(size);
            };
            int interiorTiles = 0;
            for (int t = 0; t < 300; ++t) {
                const int count = 1 + static_cast<int>(random() % kTileLanes);
                // Inside; one lane outside; runs to the very edges of the columns, or of the
                // rows.
                const int kind = t % 4;
                alignas(64) float u[kTileLanes], v[kTileLanes];
                std::uniform_real_distribution<float> inside(0.002f, 0.998f);
                // An affine run, rising or falling, as a span gives it.
                const float start = inside(random), end = inside(random);
                // Rows drift a little along the run (at most 0.032 of the texture over a tile),
                // never out of it.
                const float across = 0.05f + 0.9f * inside(random);
                const float along = inside(random) - 0.5f;
                for (int i = 0; i < count; ++i) {
                    const float share = start + (end - start) * static_cast<float>(i) / kTileLanes;
                    // The runs to the edges start on the first texel's centre and end on the
                    // last one's: exactly so for the sizes that are powers of two.
                    const bool first = i == 0, last = i == count - 1;
                    const float edge = first ? 0.0f : 1.0f;
                    const float row = across + along * 0.064f * static_cast<float>(i) / kTileLanes;
                    u[i] = coordinate(kind == 2 && (first || last) ? edge : share, width);
                    v[i] = coordinate(kind == 3 && (first || last) ? edge : row, height);
                }
                if (kind == 1) {
                    // Just before the first texel's centre or past the last one's, or beyond
                    // [0, 1) altogether.
                    const bool alongU = random() % 2 == 0;
                    const UINT size = alongU ? width : height;
                    const float outside[] = {coordinate(-0.02f, size),
                                             coordinate(1.02f, size),
                                             -0.3f,
                                             1.0f,
                                             1.5f,
                                             nan,
                                             infinity,
                                             -infinity};
                    (alongU ? u : v)[random() % count] = outside[random() % std::size(outside)];
                }
                alignas(64) int at[kTileLanes];
                alignas(64) float fx[kTileLanes], fy[kTileLanes];
                const bool interior =
                    kernels.resolveInteriorFootprints(texture, u, v, count, at, fx, fy);
                if (kind == 0) {
                    EXPECT_TRUE(interior) << simd::instructionSetName(set) << " " << width;
                } else if (kind == 1) {
                    EXPECT_FALSE(interior) << simd::instructionSetName(set) << " " << width;
                }
                if (!interior) {
                    continue;
                }
                ++interiorTiles;
                for (DWORD address = 1; address <= 5; ++address) {
                    alignas(64) int x0[kTileLanes], x1[kTileLanes], y0[kTileLanes], y1[kTileLanes];
                    alignas(64) float ex[kTileLanes], ey[kTileLanes];
                    kernels.resolveTexelAxis(address, static_cast<int>(width), u, count, x0, x1,
                                             ex);
                    kernels.resolveTexelAxis(address, static_cast<int>(height), v, count, y0, y1,
                                             ey);
                    for (int i = 0; i < count; ++i) {
                        ASSERT_EQ(x1[i], x0[i] + 1) << "mode " << address << ", lane " << i;
                        ASSERT_EQ(y1[i], y0[i] + 1) << "mode " << address << ", lane " << i;
                        ASSERT_EQ(at[i], y0[i] * static_cast<int>(texture.pitch) + x0[i])
                            << simd::instructionSetName(set) << ", mode " << address << ", "
                            << width << "x" << height << ", lane " << i;
                        ASSERT_EQ(fx[i], ex[i]) << "mode " << address << ", lane " << i;
                        ASSERT_EQ(fy[i], ey[i]) << "mode " << address << ", lane " << i;
                    }
                }
            }
            EXPECT_GE(interiorTiles, 75) << simd::instructionSetName(set) << " " << width;
        }
    }
}

}  // namespace
}  // namespace gs::render::software
