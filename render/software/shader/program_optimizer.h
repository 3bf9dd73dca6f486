// The compiler's passes over a straight-line program before it picks kernels.
//
// A program has no branches, so every read of a temporary component has exactly one reaching
// write, and the passes work on those def-use links component by component: dead components and
// instructions go, results that are the same in every lane are computed once, texld reads def
// constants from lane arrays made at compilation, the last writes of the value that goes to oC0
// land in oC0 directly, and a few instruction chains become one kernel.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "render/shader/bytecode.h"
#include "render/software/shader/compiled_program.h"
#include "render/software/shader/tile_kernels.h"

namespace gs::render::software::detail {

// One instruction between decoding and kernel selection.
struct ProgramStep {
    shader::Opcode opcode = shader::Opcode::Nop;
    shader::InstructionForm form = shader::InstructionForm::NoOperation;
    FusedOperation fused = FusedOperation::None;
    std::uint8_t writeMask = 0;
    bool saturate = false;
    std::uint8_t operandCount = 0;  // register sources (texld's sampler is not one)
    std::uint8_t sampler = 0;
    std::uint8_t uniformSources = 0;  // bit s: source s has one value for every lane
    bool laneZeroOnly = false;
    std::array<ComponentRef, 4> destination{};
    std::array<std::array<ComponentRef, 4>, 3> source{};
    std::array<std::uint32_t, 3> sign{};
    // SumProductOfTablePower and SumProductOfSquareRoot: the factor's sum, p + q, and the power's
    // exponent. The passes that follow the fusion do not see these reads: it comes last.
    // TwiceScaledDistance and SampleAtTwiceScaledDistance: the second scale, in factorSource[0][0],
    // a uniform that no pass moves.
    std::array<std::array<ComponentRef, 4>, 2> factorSource{};
    std::array<std::uint32_t, 2> factorSign{};
    ComponentRef factorExponent{};
    std::uint32_t factorExponentSign = 0;
};

struct OptimizationOptions {
    bool enabled = true;  // the exact passes: dead code, uniform values, output coalescing
    bool fuse = true;     // the fusions, which round differently from the chains they replace
    // The components of oC0 the caller reads (bit c for component c); the others are dead code
    // and are left unwritten.
    std::uint8_t outputMask = 0xF;
};

// A def constant's component, negated where `sign` says so.
struct ConstantComponent {
    ComponentRef constant;
    std::uint32_t sign = 0;
};

// Slots of source `operand` (indices into source[operand]) that the step reads.
unsigned readSlots(const ProgramStep& step, unsigned operand);
// Components whose earlier values the step ends: texld's four, whatever part of them it computes
// (the optimiser narrows its mask to the components read later).
unsigned storedComponents(const ProgramStep& step);

// The values of a shader's def constants by register, as CompiledProgram holds them.
using DefinedConstants = std::array<std::array<float, 4>, shader::limits::kConstants>;

// The exponent of a fused power by a def constant (FusedOperation::TablePower and
// TablePowerOfSum: source 1; SumProductOfTablePower: factorExponent), its negation applied.
float powerExponent(const ProgramStep& step, const DefinedConstants& defined);

// Rewrites `steps` in place. Before the call uniformSources marks constant sources only. Texture
// coordinates that are def constants come to read ConstantLanes component k, whose value is
// constantLanes[k] on return.
void optimizeProgram(std::vector<ProgramStep>& steps, const OptimizationOptions& options,
                     const DefinedConstants& defined,
                     std::vector<ConstantComponent>& constantLanes);

}  // namespace gs::render::software::detail
