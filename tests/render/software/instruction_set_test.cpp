// Every instruction set the machine runs computes what the SSE2 baseline computes: texture
// sampling in every addressing mode and filter, the pipeline's interpolation, texture stage,
// blending and storing, on random inputs and tile sizes around the vector widths. Sets of one kind
// give the same bits; sets that fuse multiply-adds round a filter's steps once, and stay within a
// few units in the last place of the baseline's samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_pipeline.h"
#include "render/software/rasterizer.h"
#include "render/software/simd/instruction_set.h"
#include "render/software/texture_sampling.h"
#include "tests/render/software/instruction_sets.h"

namespace gs::render::software {
namespace {

using simd::InstructionSet;

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

// The sets that fuse multiply-adds against the baseline: a filter's three steps, each rounded once
// instead of twice, on values in [0, 1].
constexpr float kFusedSampleBound = 0x1p-21f;

TEST_F(InstructionSetTest, SamplingMatchesTheBaseline) {
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
                    // The first set of each kind: the baseline, and AVX2 where the machine
                    // runs it.
                    alignas(64) float baseline[2][4][kTileLanes] = {};
                    for (InstructionSet set : {InstructionSet::Sse2, InstructionSet::Avx2}) {
                        if (set <= simd::bestInstructionSet()) {
                            pipelineKernels(set).sample(setup, linear, u, v, count,
                                                        baseline[simd::fusesMultiplyAdd(set)], 15u);
                        }
                    }
                    for (InstructionSet set : setsOfThisMachine()) {
                        alignas(64) float out[4][kTileLanes] = {};
                        pipelineKernels(set).sample(setup, linear, u, v, count, out, 15u);
                        const auto& ofItsKind = baseline[simd::fusesMultiplyAdd(set)];
                        ASSERT_EQ(std::memcmp(out, ofItsKind, sizeof out), 0)
                            << simd::instructionSetName(set) << ", address " << address
                            << ", pattern " << pattern << ", linear " << linear << ", " << width
                            << "x" << height << ", count " << count;
                        for (int c = 0; c < 4; ++c) {
                            for (int i = 0; i < count; ++i) {
                                ASSERT_NEAR(out[c][i], baseline[0][c][i], kFusedSampleBound)
                                    << simd::instructionSetName(set) << ", address " << address
                                    << ", lane " << i;
                            }
                        }
                        // A caller that reads colour only gets the same colour.
                        alignas(64) float colour[4][kTileLanes] = {};
                        pipelineKernels(set).sample(setup, linear, u, v, count, colour, 7u);
                        ASSERT_EQ(std::memcmp(colour, ofItsKind, sizeof colour[0] * 3), 0)
                            << simd::instructionSetName(set) << ", colour only";
                    }
                }
            }
        }
    }
}

// One-row textures are sampled a vector at a time, apart from the general path. A two-row texture
// holding the row twice goes through the general path and must give the same bits: the vertical
// filter blends the row with itself. Coordinates of every kind, tiles wholly inside [0, 1) but for
// a lane here and there (mirroring folds only the vectors that need it), coordinates at the ends
// of the row where clamping starts, narrow textures that fit one vector and wide ones, tile sizes
// around every vector width.
TEST_F(InstructionSetTest, OneRowSamplingMatchesTheGeneralPathBitForBit) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> spread(-3.0f, 3.0f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float odd[] = {NAN,    INFINITY,    -INFINITY,   3e38f,  -3e38f,  1e30f,
                         -1e30f, 4194304.0f,  -4194304.0f, 1e-40f, -1e-40f, -0.0f,
                         1.0f,   0.99999994f, -1e-8f,      2.0f,   -1.0f,   0.5f};
    for (UINT width : {1u, 3u, 8u, 9u, 16u, 17u, 31u, 64u, 1920u}) {
        auto row = randomTexture(width, 1, random);
        auto rows = PixelStorage::create(width, 2, Format::A8R8G8B8);
        for (UINT y = 0; y < 2; ++y) {
            std::memcpy(rows->buffer().row(y), row->buffer().row(0), width * sizeof(Colour));
        }
        alignas(64) float u[kTileLanes], v[kTileLanes];
        // Sample positions width * u - 0.5 that round to just inside or outside [0, width - 1]:
        // vectors within it skip the clamps.
        std::vector<float> bounds;
        for (const float bound : {0.5f / static_cast<float>(width),
                                  (static_cast<float>(width) - 0.5f) / static_cast<float>(width)}) {
            float below = bound, above = bound;
            for (int k = 0; k < 24; ++k) {
                bounds.push_back(below);
                bounds.push_back(above);
                below = std::nextafter(below, 0.0f);
                above = std::nextafter(above, 1.0f);
            }
        }
        std::sort(bounds.begin(), bounds.end());
        for (int pattern = 0; pattern < 6; ++pattern) {
            // Strips are read at distances growing or shrinking along the run.
            const float step = (pattern == 3 ? -0.07f : 0.07f) / static_cast<float>(width);
            const float start = unit(random) * 0.9f;
            for (int i = 0; i < kTileLanes; ++i) {
                switch (pattern) {
                    case 0:  // anywhere, odd values mixed in
                        u[i] = i % 3 == 0 ? odd[random() % std::size(odd)] : spread(random);
                        break;
                    case 1:  // a strip read at distances
                    case 3:  // the same, shrinking
                        u[i] = start + step * static_cast<float>(i);
                        break;
                    case 2:  // inside but for a few lanes
                        u[i] = random() % 23 == 0 ? odd[random() % std::size(odd)] : unit(random);
                        break;
                    case 5:  // near the ends of the row, a unit in the last place apart
                        u[i] = bounds[static_cast<std::size_t>(i) % bounds.size()];
                        break;
                    default:  // texel edges and centres
                        u[i] = static_cast<float>(static_cast<int>(random() % (4 * width)) -
                                                  static_cast<int>(width)) /
                               (2.0f * static_cast<float>(width));
                        break;
                }
                v[i] = i % 7 == 0 ? NAN : spread(random);
            }
            for (InstructionSet set : setsOfThisMachine()) {
                const PipelineKernels& kernels = pipelineKernels(set);
                for (DWORD addressU = 1; addressU <= 5; ++addressU) {
                    for (DWORD addressV : {1u, 2u, 3u, 5u}) {  // all but the border
                        for (bool linear : {false, true}) {
                            SamplerSetup one;
                            one.texture = &row->buffer();
                            one.addressU = addressU;
                            one.addressV = addressV;
                            one.border = 0x80402010u;
                            SamplerSetup two = one;
                            two.texture = &rows->buffer();
                            for (int count : {1, 3, 4, 5, 8, 9, 15, 16, 17, 100, kTileLanes}) {
                                alignas(64) float expected[4][kTileLanes] = {};
                                alignas(64) float out[4][kTileLanes] = {};
                                kernels.sample(two, linear, u, v, count, expected, 15u);
                                kernels.sample(one, linear, u, v, count, out, 15u);
                                ASSERT_EQ(std::memcmp(out, expected, sizeof out), 0)
                                    << simd::instructionSetName(set) << ", width " << width
                                    << ", address " << addressU << "/" << addressV << ", pattern "
                                    << pattern << ", linear " << linear << ", count " << count;
                            }
                        }
                    }
                }
            }
        }
    }
}

// A strip read at distances computed as it reads gives the bits of the distances computed first
// and then sampled: rows of pixels around a point inside the row and off its ends, so that the
// distances shrink, turn and grow across a tile, steep and shallow ones; both signs of x and of
// the scales, a lane or an offset that is not a number, tile sizes around the vectors that the
// distances run ahead of the reads.
TEST_F(InstructionSetTest, DistancesComputedWhileSamplingGiveTheirOwnSamples) {
    std::mt19937 random(29);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int compared = 0;
    for (UINT width : {1u, 9u, 16u, 40u, 512u, 1920u}) {
        const auto texture = randomTexture(width, 1, random);
        for (int pattern = 0; pattern < 6; ++pattern) {
            alignas(64) float lanes[kTileLanes];
            const float start = (unit(random) - 0.5f) * 600.0f;
            for (int i = 0; i < kTileLanes; ++i) {
                lanes[i] = start + static_cast<float>(i);
            }
            if (pattern == 5) {
                lanes[random() % kTileLanes] = NAN;
                lanes[random() % kTileLanes] = -INFINITY;
            }
            RowDistances d;
            d.lanes = lanes;
            d.sign = pattern % 2 == 0 ? 0u : 0x80000000u;
            d.offset = pattern == 4 ? NAN : (unit(random) - 0.5f) * 400.0f;
            const float y = (unit(random) - 0.5f) * 300.0f, z = pattern == 3 ? 2.0f : 0.0f;
            d.yz = std::fma(y, y, z * z);
            d.scale = (pattern == 2 ? -1.0f : 1.0f) / static_cast<float>(pattern == 1 ? 8 : width);
            d.second = pattern % 3 == 0 ? 1.0f : 0.8f;
            alignas(64) float u[kTileLanes], v[kTileLanes];
            for (int i = 0; i < kTileLanes; ++i) {
                const float x =
                    std::bit_cast<float>(std::bit_cast<std::uint32_t>(lanes[i]) ^ d.sign) +
                    d.offset;
                u[i] = std::sqrt(std::fabs(std::fma(x, x, d.yz))) * d.scale * d.second;
                v[i] = 0.5f;
            }
            for (InstructionSet set : setsOfThisMachine()) {
                const PipelineKernels& kernels = pipelineKernels(set);
                if (kernels.sampleAtRowDistances == nullptr) {
                    continue;
                }
                for (DWORD addressU = 1; addressU <= 5; ++addressU) {
                    for (bool linear : {false, true}) {
                        SamplerSetup setup;
                        setup.texture = &texture->buffer();
                        setup.addressU = addressU;
                        setup.addressV = 3;
                        setup.border = 0x80402010u;
                        for (int count : {1, 15, 16, 17, 47, 48, 49, 64, 65, 200, kTileLanes}) {
                            for (unsigned channels : {7u, 15u}) {
                                alignas(64) float expected[4][kTileLanes] = {};
                                alignas(64) float out[4][kTileLanes] = {};
                                kernels.sample(setup, linear, u, v, count, expected, channels);
                                kernels.sampleAtRowDistances(setup, linear, d, count, out,
                                                             channels);
                                ASSERT_EQ(std::memcmp(out, expected, sizeof out), 0)
                                    << simd::instructionSetName(set) << ", width " << width
                                    << ", pattern " << pattern << ", address " << addressU
                                    << ", linear " << linear << ", count " << count;
                                ++compared;
                            }
                        }
                    }
                }
            }
        }
    }
    if (compared == 0) {
        GTEST_SKIP() << "no set of this machine reads rows at distances";
    }
}

// Random triangles with random colours, texture coordinates and blend states, drawn through whole
// pipelines made under each set, into identical targets.
// Interpolation takes shortcuts (one product of dy and y per run, one value for attributes that
// do not change): each lane must still hold c + dx * x + dy * y as written, signed zeros and
// special values included, for tiles of one run and of several.
TEST_F(InstructionSetTest, InterpolationGivesEachPlaneAtEachPixelCentre) {
    const Plane planes[] = {
        {0.25f, 0.0f, 0.0f},        {-0.0f, -0.0f, 0.0f},  {-0.0f, -0.0f, -0.0f},
        {-0.0f, 0.0f, 0.0f},        {NAN, 0.0f, 0.0f},     {INFINITY, -0.0f, 0.0f},
        {0.5f, 1.0f / 3.0f, -0.7f}, {1e30f, 3e-8f, 1e25f}, {-2.0f, 0.0f, 0.125f},
    };
    std::mt19937 random(23);
    auto tile = std::make_unique<PipelineTile>();
    for (InstructionSet set : setsOfThisMachine()) {
        const PipelineKernels& kernels = pipelineKernels(set);
        // Every plane alone (the shortcut for constant attributes applies only when all are), then
        // all of them together.
        for (std::size_t first = 0; first <= std::size(planes); ++first) {
            const bool together = first == std::size(planes);
            tile->activeCount = together ? static_cast<int>(std::size(planes)) : 1;
            for (int k = 0; k < tile->activeCount; ++k) {
                tile->activeSlots[k] = k;
                tile->planes[k] = planes[together ? k : first];
                tile->slotLanes[k] = tile->inputs.texcoord[k / 4][k % 4];
            }
            tile->perspective = false;
            for (int runs : {1, 3, 7}) {
                int lane = 0;
                for (int r = 0; r < runs; ++r) {
                    const int n = runs == 1 ? kTileLanes - static_cast<int>(random() % 9)
                                            : 1 + static_cast<int>(random() % 30);
                    tile->runs[r] = PixelRun{0,
                                             lane,
                                             n,
                                             static_cast<int>(random() % 4000),
                                             static_cast<int>(random() % 2200),
                                             false};
                    lane += n;
                }
                kernels.interpolate(*tile, lane, runs);
                for (int r = 0; r < runs; ++r) {
                    const PixelRun& run = tile->runs[r];
                    for (int i = 0; i < run.count; ++i) {
                        const float x = static_cast<float>(run.x) + static_cast<float>(i);
                        const float y = static_cast<float>(run.y);
                        for (int k = 0; k < tile->activeCount; ++k) {
                            const Plane& p = tile->planes[k];
                            const float expected = p.c + p.dx * x + p.dy * y;
                            const float actual = tile->slotLanes[k][run.firstLane + i];
                            ASSERT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0)
                                << simd::instructionSetName(set) << ", plane " << k << " (" << p.c
                                << ", " << p.dx << ", " << p.dy << "), " << runs << " runs, at "
                                << x << ", " << y << ": " << actual << " against " << expected;
                        }
                    }
                }
            }
        }
    }
}

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
    std::vector<Colour> baseline[2];  // of each kind: rounding products apart, or fused
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
        std::vector<Colour>& ofItsKind = baseline[simd::fusesMultiplyAdd(set)];
        if (ofItsKind.empty()) {
            ofItsKind = pixels;
        }
        ASSERT_EQ(pixels, ofItsKind) << simd::instructionSetName(set);
        // Across the kinds, a filter or a blend rounded once instead of twice can move a channel
        // by a level where its value lies at a rounding's edge.
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            for (int shift = 0; shift < 32; shift += 8) {
                const int actual = static_cast<int>((pixels[i] >> shift) & 0xFFu);
                const int expected = static_cast<int>((baseline[0][i] >> shift) & 0xFFu);
                ASSERT_LE(std::abs(actual - expected), 1)
                    << simd::instructionSetName(set) << ", pixel " << i << ", bit " << shift;
            }
        }
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

// GLIMMERSTRAND_INSTRUCTION_SET may step a process down to an older set, never up to one the
// machine does not run; anything it does not name leaves the best set.
TEST(StartingInstructionSet, IsTheBestOrAnOlderOneTheEnvironmentNames) {
    EXPECT_EQ(simd::startingInstructionSet(InstructionSet::Avx512, "avx2"), InstructionSet::Avx2);
    EXPECT_EQ(simd::startingInstructionSet(InstructionSet::Avx512, "SSE2"), InstructionSet::Sse2);
    EXPECT_EQ(simd::startingInstructionSet(InstructionSet::Avx2, "Avx2"), InstructionSet::Avx2);
    EXPECT_EQ(simd::startingInstructionSet(InstructionSet::Avx2, "avx512"), InstructionSet::Avx2);
    EXPECT_EQ(simd::startingInstructionSet(InstructionSet::Sse2, "avx2"), InstructionSet::Sse2);
    for (const char* other : {static_cast<const char*>(nullptr), "", "avx", "avx2 ", "avx5120"}) {
        EXPECT_EQ(simd::startingInstructionSet(InstructionSet::Avx512, other),
                  InstructionSet::Avx512)
            << (other != nullptr ? other : "(none)");
    }
}

}  // namespace
}  // namespace gs::render::software
