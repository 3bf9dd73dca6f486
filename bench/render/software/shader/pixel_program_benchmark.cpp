// Cost of interpreting pixel programs a tile at a time, per pixel, with the kernels of each
// instruction set the machine runs (set: 0 SSE2, 1 AVX2, 2 AVX-512).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "fx/assembler/pixel_shader_assembler.h"
#include "render/software/shader/pixel_program.h"
#include "render/software/simd/instruction_set.h"

namespace gs::render::software {
namespace {

// A strip of 256 texels read with nearest filtering: cheap enough that the interpreter dominates.
class StripTextures final : public TextureUnits {
public:
    // Colours that differ from texel to texel, as a strip's history does: the weights between the
    // two reads are then powers of values spread over 0..1, not of zero.
    StripTextures() {
        for (int texel = 0; texel < 256; ++texel) {
            for (int c = 0; c < 4; ++c) {
                strip_[texel][c] = static_cast<float>((texel * 37 + c * 71) % 256) / 255.0f;
            }
        }
    }

    void sample2D(unsigned, const float* u, const float*, int count, float (*out)[kTileLanes],
                  unsigned) const override {
        for (int i = 0; i < count; ++i) {
            const float position = u[i] * 256.0f;
            const int texel = position < 0.0f ? 0 : position > 255.0f ? 255 : int(position);
            for (int c = 0; c < 4; ++c) {
                out[c][i] = strip_[texel][c];
            }
        }
    }

private:
    float strip_[256][4] = {};
};

// The two-source pass of the effect, written the way its shader computes it.
const char* const kTwoSourceRings = R"(
    ps_2_0
    dcl t0.xyz
    dcl_2d s0
    dcl_2d s1
    def c3, 0.5, 0.45, 0, 0
    add r0.xyz, t0, -c0
    dp3 r0.w, r0, r0
    rsq r0.w, r0.w
    rcp r0.w, r0.w
    mul r0.x, r0.w, c2.x
    mov r0.y, c3.x
    texld r0, r0, s0
    add r1.xyz, t0, -c1
    dp3 r1.w, r1, r1
    rsq r1.w, r1.w
    rcp r1.w, r1.w
    mul r1.x, r1.w, c2.x
    mov r1.y, c3.x
    texld r1, r1, s1
    add r2, r0, r1
    add r3, r0, -r1
    abs r3, r3
    log r4.x, r3.x
    log r4.y, r3.y
    log r4.z, r3.z
    log r4.w, r3.w
    mul r4, r4, c3.y
    exp r5.x, r4.x
    exp r5.y, r4.y
    exp r5.z, r4.z
    exp r5.w, r4.w
    mul r0, r2, r5
    mov oC0, r0
)";

// Arithmetic only: what the interpreter costs without texture reads and transcendental functions.
const char* const kArithmetic = R"(
    ps_2_0
    dcl t0
    mul r0, t0, c0
    mad r0, r0, c1, t0
    add r1, r0, -c2
    dp3 r1.w, r1, r0
    max r2, r1, c3
    min r2, r2, r0.wzyx
    cmp r3, r1, r2, c0
    lrp_sat r0, r3, r2, r1
    mov oC0, r0
)";

void runTiles(benchmark::State& state, const char* source) {
    const auto set = static_cast<simd::InstructionSet>(state.range(1));
    if (!simd::useInstructionSet(set)) {
        state.SkipWithError("the machine does not run this instruction set");
        return;
    }
    std::vector<DWORD> tokens;
    fx::AssemblyError error{0, ""};
    std::unique_ptr<PixelProgram> program;
    if (!fx::assemblePixelShader(source, tokens, error) ||
        PixelProgram::create(tokens.data(), tokens.size(), &program) != S_OK) {
        state.SkipWithError("shader does not assemble");
        return;
    }
    auto inputs = std::make_unique<PixelTileInputs>();
    auto output = std::make_unique<PixelTileOutput>();
    for (int i = 0; i < kTileLanes; ++i) {
        inputs->texcoord[0][0][i] = static_cast<float>(i);
        inputs->texcoord[0][1][i] = 17.0f;
        inputs->texcoord[0][2][i] = 0.0f;
        inputs->texcoord[0][3][i] = 1.0f;
    }
    float constants[32][4] = {{10, 20, 0, 0}, {40, 5, 3, 0}, {1.0f / 900, 0.5f, 0, 0}};
    StripTextures textures;
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        program->run(constants, textures, *inputs, count, *output);
        benchmark::DoNotOptimize(output->colour[0][0]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * count);  // pixels
    simd::useInstructionSet(simd::bestInstructionSet());
}

void TwoSourceRings(benchmark::State& state) {
    runTiles(state, kTwoSourceRings);
}
void Arithmetic(benchmark::State& state) {
    runTiles(state, kArithmetic);
}

BENCHMARK(TwoSourceRings)->ArgNames({"lanes", "set"})->ArgsProduct({{kTileLanes, 17}, {0, 1, 2}});
BENCHMARK(Arithmetic)->ArgNames({"lanes", "set"})->ArgsProduct({{kTileLanes, 17}, {0, 1, 2}});

}  // namespace
}  // namespace gs::render::software
