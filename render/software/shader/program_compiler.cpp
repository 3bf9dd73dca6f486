#include "render/software/shader/program_compiler.h"

#include <cstdint>

#include "render/software/shader/tile_kernels.h"

namespace gs::render::software::detail {
namespace {

using shader::InstructionForm;
using shader::RegisterType;

constexpr std::uint32_t kSignBit = 0x80000000u;

ComponentRef componentOf(RegisterFile file, unsigned number, unsigned component) {
    return {file, static_cast<std::uint16_t>(number * 4 + component)};
}

class Compiler {
public:
    Compiler(const shader::PixelShaderDescription& shader, simd::InstructionSet set)
        : shader_(shader), set_(set) {}

    CompiledProgram run() {
        CompiledProgram program;
        for (const auto& constant : shader_.constants) {
            program.definedConstants[constant.number] = constant.value;
            definedConstants_ |= 1u << constant.number;
        }
        program.instructions.reserve(shader_.instructions.size());
        for (const auto& instruction : shader_.instructions) {
            program.instructions.push_back(compile(instruction));
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

    // True when a componentwise instruction, computing x to w in turn, would read a component of
    // its destination register that it has already overwritten ("mov r0, r0.wzyx").
    static bool overwritesOwnSource(const shader::ShaderInstruction& instruction) {
        const auto& d = instruction.destination;
        if (d.type != RegisterType::Temp) {
            return false;
        }
        for (unsigned s = 0; s < instruction.sourceCount; ++s) {
            const auto& source = instruction.sources[s];
            if (source.type != RegisterType::Temp || source.number != d.number) {
                continue;
            }
            if (instruction.form == InstructionForm::TextureLoad) {
                return true;  // the sampler writes texels while it reads coordinates
            }
            if (instruction.form != InstructionForm::Componentwise) {
                continue;  // computed into one component after all reads, then copied
            }
            for (unsigned c = 0; c < 4; ++c) {
                const unsigned read = source.swizzle[c];
                if ((d.writeMask >> c) & 1u && read < c && (d.writeMask >> read) & 1u) {
                    return true;
                }
            }
        }
        return false;
    }

    CompiledInstruction compile(const shader::ShaderInstruction& instruction) const {
        CompiledInstruction out;
        const auto& d = instruction.destination;
        out.writeMask = d.writeMask;
        out.saturate = d.saturate;
        out.redirected = overwritesOwnSource(instruction);
        for (unsigned c = 0; c < 4; ++c) {
            out.destination[c] = d.type == RegisterType::ColorOut
                                     ? componentOf(RegisterFile::Output, 0, c)
                                     : componentOf(RegisterFile::Temp, d.number, c);
            out.target[c] =
                out.redirected ? componentOf(RegisterFile::Scratch, 0, c) : out.destination[c];
        }

        unsigned uniformSources = 0;
        for (unsigned s = 0; s < instruction.sourceCount; ++s) {
            const auto& source = instruction.sources[s];
            if (source.type == RegisterType::Sampler) {
                out.sampler = static_cast<std::uint8_t>(source.number);
                continue;
            }
            for (unsigned c = 0; c < 4; ++c) {
                out.source[s][c] = sourceComponent(source, source.swizzle[c]);
            }
            out.sign[s] = source.negate ? kSignBit : 0;
            if (isUniform(out.source[s][0].file)) {
                uniformSources |= 1u << s;
            }
        }
        if (instruction.opcode == shader::Opcode::Sub) {
            out.sign[1] ^= kSignBit;  // a - b runs as a + (-b)
        }
        out.kernel = selectKernel(set_, instruction.opcode, uniformSources);
        return out;
    }

    const shader::PixelShaderDescription& shader_;
    simd::InstructionSet set_;
    std::uint32_t definedConstants_ = 0;
};

}  // namespace

CompiledProgram compileProgram(const shader::PixelShaderDescription& shader,
                               simd::InstructionSet set) {
    return Compiler(shader, set).run();
}

}  // namespace gs::render::software::detail
