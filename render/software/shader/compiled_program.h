// The form a validated pixel shader takes for the tile interpreter.
//
// Compilation resolves everything that does not change from pixel to pixel: which register and
// component each operand component reads after its swizzle, whether it is negated, whether a
// constant comes from the shader's own def or from the device, and which kernel runs the
// instruction. Running a compiled instruction is then one call that loops over the tile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/software/shader/pixel_program.h"

namespace gs::render::software {
struct PowerTable;
}

namespace gs::render::software::detail {

// Where the values of an operand live while a tile runs. Lane files hold kTileLanes values per
// component; uniform files one value per component, shared by every lane.
enum class RegisterFile : std::uint8_t {
    Temp,             // r#: the tile's temporaries (written)
    Scratch,          // a spare register for results that would overwrite their own sources
    Output,           // oC0 (written)
    Texcoord,         // t#
    Colour,           // v#
    ConstantLanes,    // def constant components repeated across a tile, for texld coordinates
    DeviceConstant,   // c# as set on the device (uniform)
    DefinedConstant,  // c# given by the shader's def (uniform)
};
constexpr unsigned kRegisterFileCount = 8;
constexpr unsigned kWritableFileCount = 3;  // Temp, Scratch, Output

constexpr bool isUniform(RegisterFile file) {
    return file >= RegisterFile::DeviceConstant;
}

// One component of one register: index = register number * 4 + component.
struct ComponentRef {
    RegisterFile file = RegisterFile::Temp;
    std::uint16_t index = 0;
};

// Every lane array starts on this boundary: the tile structures are aligned to it and a
// component holds kTileLanes floats, a multiple of it.
constexpr std::size_t kLaneAlignment = 64;
static_assert(kTileLanes * sizeof(float) % kLaneAlignment == 0);

// The register files of the tile being run.
struct TileContext {
    std::array<const float*, kRegisterFileCount> readBase{};
    std::array<unsigned, kRegisterFileCount> stride{};  // floats from one component to the next
    std::array<float*, kWritableFileCount> writeBase{};
    const TextureUnits* textures = nullptr;
    int count = 0;
    std::uint32_t texcoordsSameInEveryLane = 0;  // PixelTileInputs::sameInEveryLane

    // Whether every lane of `ref` holds one value: a uniform file, or a texture coordinate the
    // tile's inputs say is.
    bool sameInEveryLane(ComponentRef ref) const {
        return isUniform(ref.file) || (ref.file == RegisterFile::Texcoord &&
                                       ((texcoordsSameInEveryLane >> ref.index) & 1u));
    }

    const float* read(ComponentRef ref) const {
        const auto file = static_cast<unsigned>(ref.file);
        return readBase[file] + ref.index * stride[file];
    }
    float* write(ComponentRef ref) const {
        return std::assume_aligned<kLaneAlignment>(writeBase[static_cast<unsigned>(ref.file)] +
                                                   ref.index * kTileLanes);
    }
};

struct CompiledInstruction;
using InstructionKernel = void (*)(const CompiledInstruction&, const TileContext&);

struct CompiledInstruction {
    InstructionKernel kernel = nullptr;
    std::uint8_t writeMask = 0;  // components the instruction writes
    bool saturate = false;
    std::uint8_t redirected =
        0;                      // components computed in Scratch first, then moved to `destination`
    bool laneZeroOnly = false;  // every source is uniform and every reader takes the result as one
    std::uint8_t sampler = 0;   // texld
    const PowerTable* powerTable = nullptr;     // the fused power by a def exponent
    std::array<ComponentRef, 4> target{};       // where component c of the result is computed
    std::array<ComponentRef, 4> destination{};  // where it finally lands
    // For result component c, the component of source s it reads. Scalar instructions read
    // component 0; dot products and nrm read components 0-3 whatever the write mask.
    std::array<std::array<ComponentRef, 4>, 3> source{};
    std::array<std::uint32_t, 3> sign{};  // 0x80000000 for a negated source
    // The sum p + q whose magnitude is the factor of SumProductOfTablePower and
    // SumProductOfSquareRoot (whose sign[2] negates that factor), component by component; the
    // second scale of TwiceScaledDistance and SampleAtTwiceScaledDistance in factorSource[0][0].
    std::array<std::array<ComponentRef, 4>, 2> factorSource{};
    std::array<std::uint32_t, 2> factorSign{};
};

}  // namespace gs::render::software::detail
