// Validation of ps_2_0 token streams.
//
// Everything that consumes pixel shader bytecode goes through here first: the software device
// before it compiles a program, the assembler to check what it produced. The validator accepts a
// stream only if Direct3D 9 would accept it as ps_2_0 and our interpreter can run every part of it;
// what it accepts it hands back decoded, so nobody reads raw tokens twice.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/shader/bytecode.h"

namespace gs::render::shader {

struct DestinationOperand {
    RegisterType type = RegisterType::Temp;
    std::uint16_t number = 0;
    std::uint8_t writeMask = 0;  // bit i: component i (x, y, z, w) is written
    bool saturate = false;
};

struct SourceOperand {
    RegisterType type = RegisterType::Temp;
    std::uint16_t number = 0;
    std::array<std::uint8_t, 4> swizzle{0, 1, 2, 3};  // component read for result component i
    bool negate = false;
};

// One executable instruction (declarations, definitions and nop are not listed).
struct ShaderInstruction {
    Opcode opcode = Opcode::Nop;
    InstructionForm form = InstructionForm::NoOperation;
    DestinationOperand destination;
    std::array<SourceOperand, 3> sources;
    std::uint8_t sourceCount = 0;
    std::size_t tokenOffset = 0;  // of the instruction token
};

struct ConstantDefinition {
    std::uint16_t number = 0;
    std::array<float, 4> value{};
};

struct PixelShaderDescription {
    std::vector<ShaderInstruction> instructions;
    std::vector<ConstantDefinition> constants;
    std::array<std::uint8_t, limits::kTexcoords> texcoordMasks{};  // declared components of t#
    std::array<std::uint8_t, limits::kColours> colourMasks{};      // declared components of v#
    std::uint32_t samplers = 0;  // bit n: s# declared as a 2D sampler
    std::size_t tokenCount = 0;  // tokens up to and including the end token
    unsigned arithmeticSlots = 0;
    unsigned textureSlots = 0;
};

struct ValidationError {
    std::size_t tokenOffset = 0;  // the token at which the stream was refused
    std::string message;
};

// Validates the ps_2_0 shader in tokens[0, count): it may end before `count`, at its end token,
// and nothing at or past tokens + count is ever read. On success fills `shader` and returns true;
// otherwise fills `error` and returns false. Throws only std::bad_alloc.
bool validatePixelShader(const Token* tokens, std::size_t count, PixelShaderDescription& shader,
                         ValidationError& error);

}  // namespace gs::render::shader
