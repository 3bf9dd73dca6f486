#include "render/software/shader/program_compiler.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>

#include "render/software/shader/tile_kernels.h"

namespace gs::render::software::detail {
namespace {

using shader::InstructionForm;
using shader::RegisterType;

constexpr std::uint32_t kSignBit = 0x80000000u;

ComponentRef componentOf(RegisterFile file, unsigned number, unsigned component) {
    return {file, static_cast<std::uint16_t>(number * 4 + component)};
}

bool sameComponent(ComponentRef a, ComponentRef b) {
    return a.file == b.file && a.index == b.index;
}

class Compiler {
public:
    Compiler(const shader::PixelShaderDescription& shader, simd::InstructionSet set,
             const OptimizationOptions& options)
        : shader_(shader), set_(set), options_(options) {}

    CompiledProgram run() {
        CompiledProgram program;
        for (const auto& constant : shader_.constants) {
            program.definedConstants[constant.number] = constant.value;
            definedConstants_ |= 1u << constant.number;
        }
        std::vector<ProgramStep> steps;
        steps.reserve(shader_.instructions.size());
        for (const auto& instruction : shader_.instructions) {
            steps.push_back(decode(instruction));
        }
        std::vector<ConstantComponent> constantLanes;
        optimizeProgram(steps, options_, program.definedConstants, constantLanes);
        program.constantLanes.resize(constantLanes.size());
        for (std::size_t k = 0; k < constantLanes.size(); ++k) {
            const ComponentRef constant = constantLanes[k].constant;
            const float value = std::bit_cast<float>(
                std::bit_cast<std::uint32_t>(
                    program.definedConstants[constant.index / 4][constant.index % 4]) ^
                constantLanes[k].sign);
            std::fill(std::begin(program.constantLanes[k].values),
                      std::end(program.constantLanes[k].values), value);
        }
        program.instructions.reserve(steps.size());
        for (const auto& step : steps) {
            program.instructions.push_back(lower(step, program));
        }
        return program;
    }

private:
    ComponentRef sourceComponent(const shader::SourceOperand& s, unsigned component) const {
        switch (s.type) {
            case RegisterType::Texture:
                return componentOf(RegisterFile::Texcoord, s.number, component);
            case RegisterType::Input:
                return componentOf(RegisterFile::Colour, s.number, component);
            case RegisterType::Const:
                return componentOf((definedConstants_ >> s.number) & 1u
                                       ? RegisterFile::DefinedConstant
                                       : RegisterFile::DeviceConstant,
                                   s.number, component);
            default:
                return componentOf(RegisterFile::Temp, s.number, component);
        }
    }

    ProgramStep decode(const shader::ShaderInstruction& instruction) const {
        ProgramStep step;
        const auto& d = instruction.destination;
        step.opcode = instruction.opcode;
        step.form = instruction.form;
        step.writeMask = d.writeMask;
        step.saturate = d.saturate;
        for (unsigned c = 0; c < 4; ++c) {
            step.destination[c] = d.type == RegisterType::ColorOut
                                      ? componentOf(RegisterFile::Output, 0, c)
                                      : componentOf(RegisterFile::Temp, d.number, c);
        }
        for (unsigned s = 0; s < instruction.sourceCount; ++s) {
            const auto& source = instruction.sources[s];
            if (source.type == RegisterType::Sampler) {
                step.sampler = static_cast<std::uint8_t>(source.number);
                continue;
            }
            step.operandCount = static_cast<std::uint8_t>(s + 1);
            for (unsigned c = 0; c < 4; ++c) {
                step.source[s][c] = sourceComponent(source, source.swizzle[c]);
            }
            step.sign[s] = source.negate ? kSignBit : 0;
            if (isUniform(step.source[s][0].file)) {
                step.uniformSources |= static_cast<std::uint8_t>(1u << s);
            }
        }
        if (instruction.opcode == shader::Opcode::Sub) {
            step.sign[1] ^= kSignBit;  // a - b runs as a + (-b)
        }
        return step;
    }

    // Components whose result must wait in Scratch: a componentwise kernel computes x to w in
    // turn, so a result that a later component still reads ("mov r0, r0.wzyx") cannot go straight
    // to its place; the sampler writes texels while it reads coordinates ("texld r0, r0, s0"), or
    // the sources of the distances it reads at. Scalar and dot kernels read every source before
    // they write.
    static unsigned hazards(const ProgramStep& step) {
        if (step.form == InstructionForm::TextureLoad) {
            for (unsigned op = 0; op < step.operandCount; ++op) {
                for (unsigned slot = 0; slot < 4; ++slot) {
                    if (!((readSlots(step, op) >> slot) & 1u)) {
                        continue;
                    }
                    for (unsigned c = 0; c < 4; ++c) {
                        if (sameComponent(step.destination[c], step.source[op][slot])) {
                            return 15u;
                        }
                    }
                }
            }
            return 0;
        }
        if (step.form != InstructionForm::Componentwise &&
            step.form != InstructionForm::Normalize) {
            return 0;
        }
        unsigned mask = 0;
        for (unsigned c = 0; c < 4; ++c) {
            for (unsigned later = c + 1; later < 4; ++later) {
                if (!((step.writeMask >> c) & 1u) || !((step.writeMask >> later) & 1u)) {
                    continue;
                }
                for (unsigned s = 0; s < step.operandCount; ++s) {
                    if (sameComponent(step.destination[c], step.source[s][later])) {
                        mask |= 1u << c;
                    }
                }
            }
        }
        return mask;
    }

    CompiledInstruction lower(const ProgramStep& step, CompiledProgram& program) const {
        CompiledInstruction out;
        out.writeMask = step.writeMask;
        out.saturate = step.saturate;
        out.sampler = step.sampler;
        out.source = step.source;
        out.sign = step.sign;
        out.laneZeroOnly = step.laneZeroOnly;
        out.destination = step.destination;
        const unsigned hazard = hazards(step);
        // Without the optimiser every component of a hazardous instruction takes the detour.
        out.redirected = static_cast<std::uint8_t>(
            hazard == 0 ? 0u : (options_.enabled ? hazard : storedComponents(step)));
        for (unsigned c = 0; c < 4; ++c) {
            out.target[c] = (out.redirected >> c) & 1u ? componentOf(RegisterFile::Scratch, 0, c)
                                                       : step.destination[c];
        }
        out.factorSource = step.factorSource;
        out.factorSign = step.factorSign;
        if (step.fused == FusedOperation::TablePower ||
            step.fused == FusedOperation::TablePowerOfSum ||
            step.fused == FusedOperation::SumProductOfTablePower) {
            // An exponent fixed at compilation: the power by its own table.
            program.powerTables.push_back(
                std::make_unique<PowerTable>(powerExponent(step, program.definedConstants)));
            out.powerTable = program.powerTables.back().get();
        }
        out.kernel = step.fused == FusedOperation::None
                         ? selectKernel(set_, step.opcode, step.uniformSources)
                         : selectFusedKernel(set_, step.fused, step.uniformSources);
        return out;
    }

    const shader::PixelShaderDescription& shader_;
    simd::InstructionSet set_;
    OptimizationOptions options_;
    std::uint32_t definedConstants_ = 0;
};

}  // namespace

CompiledProgram compileProgram(const shader::PixelShaderDescription& shader,
                               simd::InstructionSet set, const OptimizationOptions& options) {
    return Compiler(shader, set, options).run();
}

}  // namespace gs::render::software::detail
