// The shader-model-2.0 pixel shader token format, as Direct3D 9 defines it, and the ps_2_0
// instruction set this code base writes and runs.
//
// Shared by the assembler (a build tool), the bytecode validator and the software device's
// interpreter, so it depends on nothing but the standard library. The layout of each token is
// described field by field below; fx/assembler/pixel_shader_assembler.h walks through the whole
// stream with examples.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace gs::render::shader {

using Token = std::uint32_t;

// First token: 0xFFFF for a pixel shader in the high word, major and minor version in the low.
constexpr Token kPixelShader20Version = 0xFFFF0200u;
// Last token.
constexpr Token kEndToken = 0x0000FFFFu;

enum class Opcode : std::uint16_t {
    Nop = 0,
    Mov = 1,
    Add = 2,
    Sub = 3,
    Mad = 4,
    Mul = 5,
    Rcp = 6,
    Rsq = 7,
    Dp3 = 8,
    Dp4 = 9,
    Min = 10,
    Max = 11,
    Exp = 14,
    Log = 15,
    Lrp = 18,
    Frc = 19,
    Dcl = 31,
    Pow = 32,
    Abs = 35,
    Nrm = 36,
    Texld = 66,
    Def = 81,
    Cmp = 88,
    Comment = 0xFFFE,
};

// Instruction token:
//   bits 0-15   opcode
//   bits 16-23  opcode-specific controls (texldp / texldb flags; we use none)
//   bits 24-27  number of tokens that follow the instruction token (shader model 2 and later)
//   bit 28      predicated (not in ps_2_0); bit 29 reserved; bit 30 co-issue (ps_1_x only);
//   bit 31      always 0, which is what tells an instruction token from a parameter token.
// A comment is opcode 0xFFFE with its length in DWORDs in bits 16-30 instead.
namespace instruction {
constexpr Token encode(Opcode opcode, unsigned length) {
    return static_cast<Token>(opcode) | (static_cast<Token>(length) << 24);
}
constexpr std::uint32_t opcode(Token t) {
    return t & 0xFFFFu;
}
constexpr std::uint32_t controls(Token t) {
    return (t >> 16) & 0xFFu;
}
constexpr std::uint32_t length(Token t) {
    return (t >> 24) & 0xFu;
}
constexpr std::uint32_t highBits(Token t) {
    return t >> 28;
}  // predicate, reserved, co-issue, 31
constexpr std::uint32_t commentLength(Token t) {
    return (t >> 16) & 0x7FFFu;
}
}  // namespace instruction

// Register types: a five-bit number split across a parameter token (bits 0-2 in 28-30, bits 3-4 in
// 11-12). Only those a ps_2_0 pixel shader can name are listed.
enum class RegisterType : std::uint8_t {
    Temp = 0,      // r#
    Input = 1,     // v#, interpolated colours
    Const = 2,     // c#, float constants
    Texture = 3,   // t#, interpolated texture coordinates
    ColorOut = 8,  // oC#
    DepthOut = 9,  // oDepth
    Sampler = 10,  // s#
};

// Parameter tokens (destination and source) share:
//   bits 0-10   register number
//   bits 11-12  register type bits 3-4
//   bit 13      relative addressing (ps_3_0 and later; 0 here)
//   bits 14-15  reserved, 0
//   bits 28-30  register type bits 0-2
//   bit 31      always 1
// A destination parameter token adds:
//   bits 16-19  write mask, one bit per component x, y, z, w
//   bits 20-23  result modifiers: 1 saturate, 2 partial precision, 4 centroid (declarations)
//   bits 24-27  result shift (ps_1_x only; 0 here)
// A source parameter token adds:
//   bits 16-23  swizzle, two bits per output component (x in 16-17 ... w in 22-23) naming the
//               source component it reads
//   bits 24-27  source modifier: 0 none, 1 negate, 11 abs, 12 negated abs (abs needs ps_3_0)
namespace parameter {
constexpr Token kAlwaysSet = 0x80000000u;
constexpr Token kRelativeAddressing = 0x00002000u;
constexpr Token kReservedBits = 0x0000C000u;

constexpr Token encodeRegister(RegisterType type, unsigned number) {
    const auto t = static_cast<Token>(type);
    return kAlwaysSet | ((t & 7u) << 28) | ((t & 0x18u) << 8) | (number & 0x7FFu);
}
constexpr std::uint32_t registerNumber(Token t) {
    return t & 0x7FFu;
}
constexpr std::uint32_t registerType(Token t) {
    return ((t >> 28) & 7u) | ((t >> 8) & 0x18u);
}
}  // namespace parameter

namespace destination {
constexpr std::uint32_t kMaskX = 1, kMaskY = 2, kMaskZ = 4, kMaskW = 8, kMaskAll = 15;
constexpr std::uint32_t kSaturate = 1, kPartialPrecision = 2, kCentroid = 4;

constexpr Token encode(RegisterType type, unsigned number, std::uint32_t writeMask,
                       std::uint32_t modifiers = 0) {
    return parameter::encodeRegister(type, number) | ((writeMask & 0xFu) << 16) |
           ((modifiers & 0xFu) << 20);
}
constexpr std::uint32_t writeMask(Token t) {
    return (t >> 16) & 0xFu;
}
constexpr std::uint32_t modifiers(Token t) {
    return (t >> 20) & 0xFu;
}
constexpr std::uint32_t shift(Token t) {
    return (t >> 24) & 0xFu;
}
}  // namespace destination

namespace source {
constexpr std::uint32_t kModifierNone = 0, kModifierNegate = 1, kModifierAbs = 11,
                        kModifierAbsNegate = 12;

// Swizzles as their eight-bit field: component i of the result reads component (s >> 2i) & 3.
constexpr std::uint32_t swizzle(unsigned x, unsigned y, unsigned z, unsigned w) {
    return (x & 3u) | ((y & 3u) << 2) | ((z & 3u) << 4) | ((w & 3u) << 6);
}
constexpr std::uint32_t kIdentity = swizzle(0, 1, 2, 3);  // .xyzw = 0xE4
constexpr std::uint32_t replicate(unsigned c) {
    return swizzle(c, c, c, c);
}
constexpr unsigned component(std::uint32_t swizzleField, unsigned i) {
    return (swizzleField >> (2 * i)) & 3u;
}

constexpr Token encode(RegisterType type, unsigned number, std::uint32_t swizzleField = kIdentity,
                       std::uint32_t modifier = kModifierNone) {
    return parameter::encodeRegister(type, number) | ((swizzleField & 0xFFu) << 16) |
           ((modifier & 0xFu) << 24);
}
constexpr std::uint32_t swizzleOf(Token t) {
    return (t >> 16) & 0xFFu;
}
constexpr std::uint32_t modifier(Token t) {
    return (t >> 24) & 0xFu;
}

// ps_2_0 allows no arbitrary swizzles: only the identity, the four replicates and three rotations.
constexpr bool isValidPs20Swizzle(std::uint32_t s) {
    return s == kIdentity || s == replicate(0) || s == replicate(1) || s == replicate(2) ||
           s == replicate(3) || s == swizzle(1, 2, 0, 3) /* .yzxw */ ||
           s == swizzle(2, 0, 1, 3) /* .zxyw */ || s == swizzle(3, 2, 1, 0) /* .wzyx */;
}
constexpr bool isReplicate(std::uint32_t s) {
    return s == replicate(0) || s == replicate(1) || s == replicate(2) || s == replicate(3);
}
}  // namespace source

// The declaration token that follows a dcl instruction token. For t# and v# only bit 31 is set and
// the destination token's write mask names the declared components; for s# bits 27-30 carry the
// texture type.
namespace declaration {
constexpr std::uint32_t kTextureType2D = 2;
constexpr Token encode(std::uint32_t textureType = 0) {
    return 0x80000000u | ((textureType & 0xFu) << 27);
}
constexpr std::uint32_t textureType(Token t) {
    return (t >> 27) & 0xFu;
}
}  // namespace declaration

// ps_2_0 register files and instruction slots.
namespace limits {
constexpr unsigned kTemps = 12;
constexpr unsigned kConstants = 32;
constexpr unsigned kTexcoords = 8;
constexpr unsigned kColours = 2;
constexpr unsigned kSamplers = 16;
constexpr unsigned kColourOutputs = 4;
constexpr unsigned kArithmeticSlots = 64;
constexpr unsigned kTextureSlots = 32;
// Distinct registers of one file that one instruction may read ("read ports").
constexpr unsigned kConstantReadPorts = 2;
constexpr unsigned kTexcoordReadPorts = 1;
constexpr unsigned kColourReadPorts = 1;
}  // namespace limits

// How an instruction reads its sources and fills its destination.
enum class InstructionForm : std::uint8_t {
    NoOperation,
    Componentwise,  // each written component from the same components of the (swizzled) sources
    Scalar,         // one component of each source (replicate swizzle), result in every component
    Dot3,
    Dot4,
    Normalize,    // dest = src * rsq(dot3(src, src))
    TextureLoad,  // texld dst, t#/r#, s#
    Declaration,  // dcl
    Definition,   // def
};

struct InstructionInfo {
    Opcode opcode;
    std::string_view mnemonic;
    InstructionForm form;
    std::uint8_t sourceCount;
    std::uint8_t arithmeticSlots;
    std::uint8_t textureSlots;
};

inline constexpr std::array<InstructionInfo, 23> kInstructions{{
    {Opcode::Nop, "nop", InstructionForm::NoOperation, 0, 1, 0},
    {Opcode::Mov, "mov", InstructionForm::Componentwise, 1, 1, 0},
    {Opcode::Add, "add", InstructionForm::Componentwise, 2, 1, 0},
    {Opcode::Sub, "sub", InstructionForm::Componentwise, 2, 1, 0},
    {Opcode::Mad, "mad", InstructionForm::Componentwise, 3, 1, 0},
    {Opcode::Mul, "mul", InstructionForm::Componentwise, 2, 1, 0},
    {Opcode::Rcp, "rcp", InstructionForm::Scalar, 1, 1, 0},
    {Opcode::Rsq, "rsq", InstructionForm::Scalar, 1, 1, 0},
    {Opcode::Dp3, "dp3", InstructionForm::Dot3, 2, 1, 0},
    {Opcode::Dp4, "dp4", InstructionForm::Dot4, 2, 1, 0},
    {Opcode::Min, "min", InstructionForm::Componentwise, 2, 1, 0},
    {Opcode::Max, "max", InstructionForm::Componentwise, 2, 1, 0},
    {Opcode::Exp, "exp", InstructionForm::Scalar, 1, 1, 0},
    {Opcode::Log, "log", InstructionForm::Scalar, 1, 1, 0},
    {Opcode::Lrp, "lrp", InstructionForm::Componentwise, 3, 2, 0},
    {Opcode::Frc, "frc", InstructionForm::Componentwise, 1, 1, 0},
    {Opcode::Dcl, "dcl", InstructionForm::Declaration, 0, 0, 0},
    {Opcode::Pow, "pow", InstructionForm::Scalar, 2, 3, 0},
    {Opcode::Abs, "abs", InstructionForm::Componentwise, 1, 1, 0},
    {Opcode::Nrm, "nrm", InstructionForm::Normalize, 1, 3, 0},
    {Opcode::Texld, "texld", InstructionForm::TextureLoad, 2, 0, 1},
    {Opcode::Def, "def", InstructionForm::Definition, 0, 0, 0},
    {Opcode::Cmp, "cmp", InstructionForm::Componentwise, 3, 1, 0},
}};

constexpr const InstructionInfo* findInstruction(std::uint32_t opcode) {
    for (const auto& info : kInstructions) {
        if (static_cast<std::uint32_t>(info.opcode) == opcode) {
            return &info;
        }
    }
    return nullptr;
}

// By lower-case mnemonic ("texld", "mov").
constexpr const InstructionInfo* findInstruction(std::string_view mnemonic) {
    for (const auto& info : kInstructions) {
        if (info.mnemonic == mnemonic) {
            return &info;
        }
    }
    return nullptr;
}

// Tokens that follow the instruction token.
constexpr unsigned expectedLength(const InstructionInfo& info) {
    switch (info.form) {
        case InstructionForm::NoOperation:
            return 0;
        case InstructionForm::Declaration:
            return 2;  // declaration token, destination
        case InstructionForm::Definition:
            return 5;  // destination, four floats
        default:
            return 1u + info.sourceCount;
    }
}

}  // namespace gs::render::shader
