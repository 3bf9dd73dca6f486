// Turns a validated pixel shader into the instruction list the tile interpreter runs.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "render/shader/pixel_shader_validator.h"
#include "render/software/shader/compiled_program.h"
#include "render/software/shader/power_table.h"
#include "render/software/shader/program_optimizer.h"
#include "render/software/simd/instruction_set.h"

namespace gs::render::software::detail {

struct alignas(kLaneAlignment) LaneArray {
    float values[kTileLanes];
};

struct CompiledProgram {
    std::vector<CompiledInstruction> instructions;
    // Values of the shader's def constants, indexed by register; others are unused zeros.
    std::array<std::array<float, 4>, shader::limits::kConstants> definedConstants{};
    // The ConstantLanes file: def constant components that texld reads as coordinates.
    std::vector<LaneArray> constantLanes;
    // The tables of fused powers by def exponents, which their instructions point to.
    std::vector<std::unique_ptr<PowerTable>> powerTables;
};

// `shader` must come from validatePixelShader; the kernels are those of `set`. Throws only
// std::bad_alloc.
CompiledProgram compileProgram(const shader::PixelShaderDescription& shader,
                               simd::InstructionSet set, const OptimizationOptions& options = {});

// Runs `program` for lanes [0, count) of one tile, count in [1, kTileLanes]; the arguments are
// those of PixelProgram::run.
void runCompiledProgram(const CompiledProgram& program, const float (*constants)[4],
                        const TextureUnits& textures, const PixelTileInputs& inputs, int count,
                        PixelTileOutput& output);

}  // namespace gs::render::software::detail
