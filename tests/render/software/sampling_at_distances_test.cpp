// A program that reads a strip at a pixel's scaled distance from a point computes the distance in
// the texture units' loop where it can: a row of pixels reading a one-row texture under a set that
// has that path. Every way in or around it must give the bits of the distance computed first and
// the texture read at it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fx/assembler/pixel_shader_assembler.h"
#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_buffer.h"
#include "render/software/shader/pixel_program.h"
#include "render/software/simd/instruction_set.h"
#include "render/software/texture_sampling.h"
#include "tests/render/software/instruction_sets.h"

namespace gs::render::software {
namespace {

using simd::InstructionSet;

std::unique_ptr<PixelProgram> program(const std::string& source) {
    std::vector<DWORD> tokens;
    fx::AssemblyError error{0, ""};
    EXPECT_TRUE(fx::assemblePixelShader(source, tokens, error)) << error.message;
    std::unique_ptr<PixelProgram> made;
    EXPECT_EQ(PixelProgram::create(tokens.data(), tokens.size(), &made), S_OK);
    return made;
}

// The texture units, counting the reads that took the distances with them.
class CountingTextures final : public TextureUnits {
public:
    explicit CountingTextures(const TextureSampling& units) : units_(units) {}
    void sample2D(unsigned sampler, const float* u, const float* v, int count,
                  float (*out)[kTileLanes], unsigned channels) const override {
        units_.sample2D(sampler, u, v, count, out, channels);
    }
    bool sampleAtRowDistances(unsigned sampler, const RowDistances& u, int count,
                              float (*out)[kTileLanes], unsigned channels) const override {
        const bool taken = units_.sampleAtRowDistances(sampler, u, count, out, channels);
        rowReads += taken ? 1 : 0;
        return taken;
    }
    mutable int rowReads = 0;

private:
    const TextureSampling& units_;
};

// The strip read around c0 as the effect passes write it, with the distance's sources either way
// round, one scale or two, each of either sign; and the same program giving the coordinate itself.
struct DistanceRead {
    std::string difference, scales;

    std::string source(bool readTexture) const {
        return "ps_2_0\ndef c5, 0.5, 0.8, 0, 0\ndcl t0.xyz\ndcl_2d s0\n" + difference +
               "\ndp3 r0.x, r0, r0\nrsq r0.x, r0.x\nrcp r0.x, r0.x\n" + scales +
               "\nmov r0.yzw, c5.x\n" +
               (readTexture ? "texld r1, r0, s0\nmov oC0, r1\n" : "mov oC0, r0\n");
    }
};

TEST(SamplingAtDistances, GivesTheSamplesOfTheDistancesComputedFirst) {
    const DistanceRead reads[] = {
        {"sub r0.xyz, t0, c0", "mul r0.x, r0.x, c4.x"},
        {"sub r0.xyz, c0, t0", "mul r0.x, r0.x, -c4.x"},
        {"sub r0.xyz, t0, c0", "mul r0.x, r0.x, c4.x\nmul r0.x, r0.x, c5.y"},
        {"add r0.xyz, -c0, t0", "mul r0.x, r0.x, c4.x\nmul r0.x, r0.x, -c5.y"},
    };
    std::mt19937 random(31);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    constexpr UINT kWidth = 300;
    auto row = PixelStorage::create(kWidth, 1, Format::A8R8G8B8);
    auto rows = PixelStorage::create(kWidth, 2, Format::A8R8G8B8);
    for (UINT x = 0; x < kWidth; ++x) {
        row->buffer().row(0)[x] = static_cast<Colour>(random());
        rows->buffer().row(0)[x] = rows->buffer().row(1)[x] = row->buffer().row(0)[x];
    }
    float constants[32][4] = {};
    constants[0][0] = 140.5f;
    constants[0][1] = 60.0f;
    constants[4][0] = 1.0f / kWidth;
    auto inputs = std::make_unique<PixelTileInputs>();
    int fastReads = 0;
    for (InstructionSet set : setsOfThisMachine()) {
        ASSERT_TRUE(simd::useInstructionSet(set));
        for (const DistanceRead& read : reads) {
            const auto sampling = program(read.source(true));
            const auto coordinate = program(read.source(false));
            // The row's texture under each vertical mode that reads it alone, and the cases that
            // take the two steps: a border above and below, two rows, no texture at all.
            for (int texture = 0; texture < 5; ++texture) {
                TextureSampling units;
                SamplerSetup setup;
                setup.texture = texture == 3 ? &rows->buffer() : &row->buffer();
                setup.texture = texture == 4 ? nullptr : setup.texture;
                setup.addressU = texture == 1 ? 2u : 3u;  // mirror or clamp
                setup.addressV = texture == 2 ? 4u : 1u;  // border or wrap
                setup.magnifyLinear = texture != 1;
                units.bind(0, setup);
                CountingTextures textures(units);
                // A row of pixels (y and z one value, and said to be), then pixels of several rows.
                for (bool aRow : {true, false}) {
                    const float x0 = (unit(random) - 0.5f) * 400.0f;
                    for (int i = 0; i < kTileLanes; ++i) {
                        inputs->texcoord[0][0][i] = x0 + static_cast<float>(i);
                        inputs->texcoord[0][1][i] = aRow ? 17.0f : static_cast<float>(i % 7);
                        inputs->texcoord[0][2][i] = 0.0f;
                    }
                    inputs->sameInEveryLane = aRow ? 0b110u : 0u;
                    for (int count : {kTileLanes, 37}) {
                        auto expected = std::make_unique<PixelTileOutput>();
                        auto actual = std::make_unique<PixelTileOutput>();
                        coordinate->run(constants, units, *inputs, count, *expected);
                        const float* u = expected->colour[0];
                        alignas(64) float v[kTileLanes];
                        std::fill(std::begin(v), std::end(v), 0.5f);
                        units.sample2D(0, u, v, count, expected->colour, 15u);
                        const int before = textures.rowReads;
                        sampling->run(constants, textures, *inputs, count, *actual);
                        for (int c = 0; c < 4; ++c) {
                            ASSERT_EQ(std::memcmp(actual->colour[c], expected->colour[c],
                                                  sizeof(float) * count),
                                      0)
                                << simd::instructionSetName(set) << ", " << read.difference << ", "
                                << read.scales << ", texture " << texture << ", row " << aRow
                                << ", count " << count << ", channel " << c;
                        }
                        const bool fast = textures.rowReads > before;
                        EXPECT_FALSE(fast && (!aRow || texture >= 2));
                        fastReads += fast ? 1 : 0;
                    }
                }
            }
        }
    }
    simd::useInstructionSet(simd::bestInstructionSet());
    // Every row of every program on a one-row texture, on each set with such a path.
    int setsWithRowReads = 0;
    for (InstructionSet set : setsOfThisMachine()) {
        setsWithRowReads += pipelineKernels(set).sampleAtRowDistances != nullptr ? 1 : 0;
    }
    EXPECT_EQ(fastReads, static_cast<int>(std::size(reads)) * 2 * 2 * setsWithRowReads);
}

}  // namespace
}  // namespace gs::render::software
