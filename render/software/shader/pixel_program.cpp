// PixelProgram: validation at creation, then the tile interpreter.
#include "render/software/shader/pixel_program.h"

#include <algorithm>
#include <new>
#include <vector>

#include "render/device.h"
#include "render/shader/pixel_shader_validator.h"
#include "render/software/shader/program_compiler.h"

namespace gs::render::software {
namespace {

using detail::RegisterFile;

// Device constants for a caller that passes none: every c# reads as zero.
constexpr float kNoConstants[shader::limits::kConstants][4] = {};

class InterpretedPixelProgram final : public PixelProgram {
public:
    InterpretedPixelProgram(std::vector<DWORD> tokens, detail::CompiledProgram program,
                            detail::CompiledProgram colourProgram)
        : tokens_(std::move(tokens)),
          program_(std::move(program)),
          colourProgram_(std::move(colourProgram)) {}

    std::size_t tokenCount() const override { return tokens_.size(); }
    const DWORD* tokens() const override { return tokens_.data(); }

    void run(const float (*constants)[4], const TextureUnits& textures,
             const PixelTileInputs& inputs, int count, PixelTileOutput& output) const override {
        count = std::min(count, kTileLanes);
        if (count > 0) {
            detail::runCompiledProgram(program_, constants, textures, inputs, count, output);
        }
    }

    void runColour(const float (*constants)[4], const TextureUnits& textures,
                   const PixelTileInputs& inputs, int count,
                   PixelTileOutput& output) const override {
        count = std::min(count, kTileLanes);
        if (count > 0) {
            detail::runCompiledProgram(colourProgram_, constants, textures, inputs, count, output);
        }
    }

private:
    std::vector<DWORD> tokens_;
    detail::CompiledProgram program_;
    detail::CompiledProgram colourProgram_;  // without what only oC0's alpha needs
};

}  // namespace

namespace detail {

void runCompiledProgram(const CompiledProgram& program, const float (*constants)[4],
                        const TextureUnits& textures, const PixelTileInputs& inputs, int count,
                        PixelTileOutput& output) {
    // Uninitialised on purpose: validation guarantees that no component is read before the
    // program writes it, and only lanes [0, count) are ever touched.
    alignas(64) float temps[shader::limits::kTemps * 4][kTileLanes];
    alignas(64) float scratch[4][kTileLanes];

    // Results that are the same in every lane and only ever read as such are computed for lane 0,
    // under a context of their own. Both are written field by field: a copy of one into the other
    // reads back, in wider moves, what was just stored, and waits on each of those stores.
    TileContext tile, laneZero;
    auto bind = [&](RegisterFile file, const float* base, unsigned stride) {
        tile.readBase[static_cast<unsigned>(file)] = base;
        tile.stride[static_cast<unsigned>(file)] = stride;
        laneZero.readBase[static_cast<unsigned>(file)] = base;
        laneZero.stride[static_cast<unsigned>(file)] = stride;
    };
    // The written files are bound by writable pointers: GCC counts passing an uninitialised
    // array's address as a pointer to const for a read of it.
    auto bindWritable = [&](RegisterFile file, float* base) {
        bind(file, base, kTileLanes);
        tile.writeBase[static_cast<unsigned>(file)] = base;
        laneZero.writeBase[static_cast<unsigned>(file)] = base;
    };
    bindWritable(RegisterFile::Temp, &temps[0][0]);
    bindWritable(RegisterFile::Scratch, &scratch[0][0]);
    bindWritable(RegisterFile::Output, &output.colour[0][0]);
    bind(RegisterFile::Texcoord, &inputs.texcoord[0][0][0], kTileLanes);
    bind(RegisterFile::Colour, &inputs.colour[0][0][0], kTileLanes);
    bind(RegisterFile::ConstantLanes,
         program.constantLanes.empty() ? nullptr : program.constantLanes[0].values, kTileLanes);
    bind(RegisterFile::DeviceConstant, constants ? &constants[0][0] : &kNoConstants[0][0], 1);
    bind(RegisterFile::DefinedConstant, &program.definedConstants[0][0], 1);
    tile.textures = &textures;
    laneZero.textures = &textures;
    tile.count = count;
    laneZero.count = 1;
    tile.texcoordsSameInEveryLane = inputs.sameInEveryLane;
    laneZero.texcoordsSameInEveryLane = inputs.sameInEveryLane;

    for (const auto& instruction : program.instructions) {
        instruction.kernel(instruction, instruction.laneZeroOnly ? laneZero : tile);
    }
}

}  // namespace detail

HRESULT PixelProgram::create(const DWORD* tokens, std::size_t tokenCount,
                             std::unique_ptr<PixelProgram>* program) {
    if (program == nullptr) {
        return E_POINTER;
    }
    program->reset();
    if (tokens == nullptr) {
        return kErrInvalidCall;
    }
    try {
        shader::PixelShaderDescription shader;
        shader::ValidationError refusal;
        if (!shader::validatePixelShader(tokens, tokenCount, shader, refusal)) {
            return kErrInvalidCall;
        }
        std::vector<DWORD> copy(tokens, tokens + shader.tokenCount);
        const simd::InstructionSet set = simd::activeInstructionSet();
        detail::OptimizationOptions colourOnly;
        colourOnly.outputMask = 0x7;
        *program = std::make_unique<InterpretedPixelProgram>(
            std::move(copy), detail::compileProgram(shader, set),
            detail::compileProgram(shader, set, colourOnly));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace gs::render::software
