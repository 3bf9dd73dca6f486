#include "render/shader/pixel_shader_validator.h"

#include <bit>
#include <string_view>
#include <utility>

namespace gs::render::shader {
namespace {

constexpr std::uint8_t kAllComponents = 0xF;

std::string registerName(std::uint32_t type, std::uint32_t number) {
    const char* prefix = nullptr;
    switch (static_cast<RegisterType>(type)) {
        case RegisterType::Temp:
            prefix = "r";
            break;
        case RegisterType::Input:
            prefix = "v";
            break;
        case RegisterType::Const:
            prefix = "c";
            break;
        case RegisterType::Texture:
            prefix = "t";
            break;
        case RegisterType::ColorOut:
            prefix = "oC";
            break;
        case RegisterType::DepthOut:
            return "oDepth";
        case RegisterType::Sampler:
            prefix = "s";
            break;
        default:
            return "register of type " + std::to_string(type);
    }
    return prefix + std::to_string(number);
}

std::string componentNames(std::uint8_t mask) {
    std::string names = ".";
    for (unsigned c = 0; c < 4; ++c) {
        if (mask & (1u << c)) {
            names += "xyzw"[c];
        }
    }
    return names;
}

// Number of registers of `type` in ps_2_0, for the types an instruction may name at all.
unsigned registerCount(RegisterType type) {
    switch (type) {
        case RegisterType::Temp:
            return limits::kTemps;
        case RegisterType::Input:
            return limits::kColours;
        case RegisterType::Const:
            return limits::kConstants;
        case RegisterType::Texture:
            return limits::kTexcoords;
        case RegisterType::ColorOut:
            return limits::kColourOutputs;
        case RegisterType::Sampler:
            return limits::kSamplers;
        default:
            return 0;
    }
}

class Validator {
public:
    Validator(const Token* tokens, std::size_t count, PixelShaderDescription& shader,
              ValidationError& error)
        : tokens_(tokens), count_(count), shader_(shader), error_(error) {}

    bool run() {
        shader_ = PixelShaderDescription{};
        if (count_ == 0 || tokens_[0] != kPixelShader20Version) {
            return fail(0, "not a ps_2_0 shader (version token 0xFFFF0200 expected)");
        }
        std::size_t position = 1;
        while (position < count_) {
            const Token token = tokens_[position];
            if (token == kEndToken) {
                return finish(position);
            }
            if (instruction::opcode(token) == static_cast<std::uint32_t>(Opcode::Comment)) {
                if (token & 0x80000000u) {
                    return fail(position, "malformed comment token");
                }
                const std::size_t length = instruction::commentLength(token);
                if (length >= count_ - position) {
                    return fail(position, "comment runs past the end of the stream");
                }
                position += 1 + length;
                continue;
            }
            if (!instructionAt(position)) {
                return false;
            }
            position += 1 + instruction::length(token);
        }
        return fail(count_ == 0 ? 0 : count_ - 1, "missing end token");
    }

private:
    bool fail(std::size_t offset, std::string message) {
        error_.tokenOffset = offset;
        error_.message = std::move(message);
        return false;
    }

    bool finish(std::size_t endPosition) {
        if (!colourOutputWritten_) {
            return fail(endPosition, "oC0 is never written");
        }
        shader_.tokenCount = endPosition + 1;
        return true;
    }

    bool instructionAt(std::size_t position) {
        const Token token = tokens_[position];
        if (instruction::highBits(token) != 0) {
            return fail(position, "predicated, co-issued or malformed instruction token");
        }
        const std::uint32_t opcode = instruction::opcode(token);
        const InstructionInfo* info = findInstruction(opcode);
        if (info == nullptr) {
            return fail(position, "unknown or unsupported opcode " + std::to_string(opcode));
        }
        if (instruction::controls(token) != 0) {
            return fail(position, std::string(info->mnemonic) + " with unsupported controls");
        }
        const std::size_t length = instruction::length(token);
        if (length != expectedLength(*info)) {
            return fail(position, std::string(info->mnemonic) + " has " + std::to_string(length) +
                                      " operand tokens, " + std::to_string(expectedLength(*info)) +
                                      " expected");
        }
        if (length >= count_ - position) {
            return fail(position, "instruction runs past the end of the stream");
        }
        switch (info->form) {
            case InstructionForm::Declaration:
                return declaration(position);
            case InstructionForm::Definition:
                return definition(position);
            default:
                return executable(*info, position);
        }
    }

    // Checks the bits every parameter token shares.
    bool parameterToken(std::size_t offset) {
        const Token t = tokens_[offset];
        if (!(t & parameter::kAlwaysSet) || (t & parameter::kReservedBits)) {
            return fail(offset, "malformed parameter token");
        }
        if (t & parameter::kRelativeAddressing) {
            return fail(offset, "relative addressing is not available in ps_2_0");
        }
        return true;
    }

    bool declarationsStillAllowed(std::size_t position, const char* what) {
        if (executableSeen_) {
            return fail(position, std::string(what) + " after the first instruction");
        }
        return true;
    }

    bool declaration(std::size_t position) {
        if (!declarationsStillAllowed(position, "dcl")) {
            return false;
        }
        const Token usage = tokens_[position + 1];
        const std::size_t operand = position + 2;
        if (!(usage & 0x80000000u)) {
            return fail(position + 1, "malformed declaration token");
        }
        if (!parameterToken(operand)) {
            return false;
        }
        const Token t = tokens_[operand];
        const std::uint32_t type = parameter::registerType(t);
        const std::uint32_t number = parameter::registerNumber(t);
        const std::string name = registerName(type, number);
        if (destination::shift(t) != 0) {
            return fail(operand, "result shift is not available in ps_2_0");
        }
        switch (static_cast<RegisterType>(type)) {
            case RegisterType::Sampler: {
                if (number >= limits::kSamplers) {
                    return fail(operand, name + " is out of range (ps_2_0 has s0-s15)");
                }
                if (usage & 0x07FFFFFFu || destination::modifiers(t) != 0) {
                    return fail(position + 1, "malformed sampler declaration");
                }
                if (declaration::textureType(usage) != declaration::kTextureType2D) {
                    return fail(position + 1, "only 2D samplers are supported");
                }
                if (shader_.samplers & (1u << number)) {
                    return fail(operand, name + " is declared twice");
                }
                shader_.samplers |= 1u << number;
                return true;
            }
            case RegisterType::Texture:
            case RegisterType::Input: {
                const bool texcoord = static_cast<RegisterType>(type) == RegisterType::Texture;
                const unsigned available = texcoord ? limits::kTexcoords : limits::kColours;
                if (number >= available) {
                    return fail(operand, name + " is out of range (ps_2_0 has " +
                                             (texcoord ? "t0-t7)" : "v0-v1)"));
                }
                if (usage & 0x7FFFFFFFu) {
                    return fail(position + 1, "malformed input declaration");
                }
                if (destination::modifiers(t) &
                    ~(destination::kPartialPrecision | destination::kCentroid)) {
                    return fail(operand, "modifier not allowed on an input declaration");
                }
                const auto mask = static_cast<std::uint8_t>(destination::writeMask(t));
                if (mask == 0) {
                    return fail(operand, "declaration of " + name + " names no component");
                }
                std::uint8_t& declared =
                    texcoord ? shader_.texcoordMasks[number] : shader_.colourMasks[number];
                if (declared != 0) {
                    return fail(operand, name + " is declared twice");
                }
                declared = mask;
                return true;
            }
            default:
                return fail(operand, "cannot declare " + name + " in ps_2_0");
        }
    }

    bool definition(std::size_t position) {
        if (!declarationsStillAllowed(position, "def")) {
            return false;
        }
        const std::size_t operand = position + 1;
        if (!parameterToken(operand)) {
            return false;
        }
        const Token t = tokens_[operand];
        const std::uint32_t type = parameter::registerType(t);
        const std::uint32_t number = parameter::registerNumber(t);
        if (static_cast<RegisterType>(type) != RegisterType::Const) {
            return fail(operand,
                        "def needs a constant register, not " + registerName(type, number));
        }
        if (number >= limits::kConstants) {
            return fail(operand,
                        registerName(type, number) + " is out of range (ps_2_0 has c0-c31)");
        }
        if (destination::writeMask(t) != kAllComponents || destination::modifiers(t) != 0 ||
            destination::shift(t) != 0) {
            return fail(operand, "def needs a plain destination with all four components");
        }
        if (definedConstants_ & (1u << number)) {
            return fail(operand, registerName(type, number) + " is defined twice");
        }
        definedConstants_ |= 1u << number;
        ConstantDefinition constant;
        constant.number = static_cast<std::uint16_t>(number);
        for (unsigned c = 0; c < 4; ++c) {
            constant.value[c] = std::bit_cast<float>(tokens_[position + 2 + c]);
        }
        shader_.constants.push_back(constant);
        return true;
    }

    bool destinationOperand(std::size_t offset, ShaderInstruction& instruction) {
        if (!parameterToken(offset)) {
            return false;
        }
        const Token t = tokens_[offset];
        const std::uint32_t type = parameter::registerType(t);
        const std::uint32_t number = parameter::registerNumber(t);
        const std::string name = registerName(type, number);
        if (destination::shift(t) != 0) {
            return fail(offset, "result shift is not available in ps_2_0");
        }
        if (destination::modifiers(t) &
            ~(destination::kSaturate | destination::kPartialPrecision)) {
            return fail(offset, "result modifier not allowed in ps_2_0 instructions");
        }
        const auto kind = static_cast<RegisterType>(type);
        if (kind != RegisterType::Temp && kind != RegisterType::ColorOut) {
            return fail(offset, "cannot write to " + name);
        }
        if (number >= registerCount(kind)) {
            return fail(offset, name + " is out of range (ps_2_0 has " +
                                    (kind == RegisterType::Temp ? "r0-r11)" : "oC0-oC3)"));
        }
        if (kind == RegisterType::ColorOut && number != 0) {
            return fail(offset, "only oC0 is supported (one render target)");
        }
        if (destination::writeMask(t) == 0) {
            return fail(offset, "write mask names no component");
        }
        DestinationOperand& d = instruction.destination;
        d.type = kind;
        d.number = static_cast<std::uint16_t>(number);
        d.writeMask = static_cast<std::uint8_t>(destination::writeMask(t));
        d.saturate = (destination::modifiers(t) & destination::kSaturate) != 0;
        return true;
    }

    bool sourceOperand(std::size_t offset, SourceOperand& s) {
        if (!parameterToken(offset)) {
            return false;
        }
        const Token t = tokens_[offset];
        const std::uint32_t type = parameter::registerType(t);
        const std::uint32_t number = parameter::registerNumber(t);
        const std::string name = registerName(type, number);
        const auto kind = static_cast<RegisterType>(type);
        switch (kind) {
            case RegisterType::Temp:
            case RegisterType::Input:
            case RegisterType::Const:
            case RegisterType::Texture:
            case RegisterType::Sampler:
                break;
            default:
                return fail(offset, "cannot read " + name);
        }
        if (number >= registerCount(kind)) {
            return fail(offset, name + " is out of range for ps_2_0");
        }
        const std::uint32_t modifier = source::modifier(t);
        if (modifier != source::kModifierNone && modifier != source::kModifierNegate) {
            return fail(offset, "source modifier not allowed in ps_2_0 (only negation is)");
        }
        const std::uint32_t swizzle = source::swizzleOf(t);
        if (!source::isValidPs20Swizzle(swizzle)) {
            return fail(offset,
                        "swizzle not allowed in ps_2_0 (only .xyzw, .x, .y, .z, .w, "
                        ".yzxw, .zxyw and .wzyx are)");
        }
        s.type = kind;
        s.number = static_cast<std::uint16_t>(number);
        for (unsigned c = 0; c < 4; ++c) {
            s.swizzle[c] = static_cast<std::uint8_t>(source::component(swizzle, c));
        }
        s.negate = modifier == source::kModifierNegate;
        return true;
    }

    // The components of source `index` that the instruction reads.
    static std::uint8_t componentsRead(const ShaderInstruction& instruction, unsigned index) {
        const SourceOperand& s = instruction.sources[index];
        std::uint8_t read = 0;
        auto add = [&](unsigned resultComponent) { read |= 1u << s.swizzle[resultComponent]; };
        switch (instruction.form) {
            case InstructionForm::Componentwise:
                for (unsigned c = 0; c < 4; ++c) {
                    if (instruction.destination.writeMask & (1u << c)) {
                        add(c);
                    }
                }
                break;
            case InstructionForm::Scalar:
                add(0);
                break;
            case InstructionForm::Dot3:
            case InstructionForm::Dot4:
            case InstructionForm::Normalize:
                add(0);
                add(1);
                add(2);
                if (instruction.form == InstructionForm::Dot4) {
                    add(3);
                }
                if (instruction.form == InstructionForm::Normalize &&
                    (instruction.destination.writeMask & destination::kMaskW)) {
                    add(3);
                }
                break;
            case InstructionForm::TextureLoad:
                if (index == 0) {
                    add(0);  // u and v of a 2D sample
                    add(1);
                }
                break;
            default:
                break;
        }
        return read;
    }

    bool formRules(const InstructionInfo& info, std::size_t position,
                   const ShaderInstruction& instruction) {
        const std::string mnemonic(info.mnemonic);
        const DestinationOperand& d = instruction.destination;
        const auto& s = instruction.sources;
        auto sameRegister = [&](const SourceOperand& source) {
            return source.type == d.type && source.number == d.number;
        };
        for (unsigned i = 0; i < info.sourceCount; ++i) {
            const bool samplerAllowed = info.form == InstructionForm::TextureLoad && i == 1;
            if ((s[i].type == RegisterType::Sampler) != samplerAllowed) {
                return fail(position + 2 + i,
                            samplerAllowed ? "texld reads a sampler (s#) as its second source"
                                           : "a sampler can only be read by texld");
            }
        }
        if (d.type == RegisterType::ColorOut) {
            if (info.opcode != Opcode::Mov) {
                return fail(position + 1, "oC0 can only be written by mov");
            }
            if (d.writeMask != kAllComponents || d.saturate ||
                destination::modifiers(tokens_[position + 1]) != 0) {
                return fail(position + 1, "oC0 must be written whole, without modifiers");
            }
            if (s[0].negate || source::swizzleOf(tokens_[position + 2]) != source::kIdentity) {
                return fail(position + 2, "a value written to oC0 cannot be swizzled or negated");
            }
            if (colourOutputWritten_) {
                return fail(position + 1, "oC0 is written twice");
            }
        }
        switch (info.form) {
            case InstructionForm::Scalar:
                for (unsigned i = 0; i < info.sourceCount; ++i) {
                    if (!source::isReplicate(source::swizzleOf(tokens_[position + 2 + i]))) {
                        return fail(
                            position + 2 + i,
                            mnemonic + " needs a single-component source (.x, .y, .z or .w)");
                    }
                }
                if (info.opcode == Opcode::Pow && sameRegister(s[1])) {
                    return fail(position + 1, "pow cannot write the register of its exponent");
                }
                break;
            case InstructionForm::Normalize:
                if (sameRegister(s[0])) {
                    return fail(position + 1, "nrm cannot write the register it reads");
                }
                break;
            case InstructionForm::TextureLoad:
                if (d.writeMask != kAllComponents || d.saturate) {
                    return fail(position + 1, "texld writes all four components, without _sat");
                }
                if (s[0].type != RegisterType::Texture && s[0].type != RegisterType::Temp) {
                    return fail(position + 2, "texld reads its coordinates from t# or r#");
                }
                for (unsigned i = 0; i < 2; ++i) {
                    const Token t = tokens_[position + 2 + i];
                    if (source::swizzleOf(t) != source::kIdentity ||
                        source::modifier(t) != source::kModifierNone) {
                        return fail(position + 2 + i,
                                    "texld sources cannot be swizzled or negated");
                    }
                }
                if (!(shader_.samplers & (1u << s[1].number))) {
                    return fail(position + 3, "texld from s" + std::to_string(s[1].number) +
                                                  ", which is not declared");
                }
                break;
            default:
                break;
        }
        return true;
    }

    // Read ports, declared inputs and initialised temporaries.
    bool readRules(const InstructionInfo& info, std::size_t position,
                   const ShaderInstruction& instruction) {
        std::uint32_t constants = 0, texcoords = 0, colours = 0;
        for (unsigned i = 0; i < info.sourceCount; ++i) {
            const SourceOperand& s = instruction.sources[i];
            const std::size_t offset = position + 2 + i;
            const std::uint8_t read = componentsRead(instruction, i);
            const std::string name = registerName(static_cast<std::uint32_t>(s.type), s.number);
            switch (s.type) {
                case RegisterType::Const:
                    constants |= 1u << s.number;
                    break;
                case RegisterType::Texture:
                case RegisterType::Input: {
                    const bool texcoord = s.type == RegisterType::Texture;
                    (texcoord ? texcoords : colours) |= 1u << s.number;
                    const std::uint8_t declared =
                        texcoord ? shader_.texcoordMasks[s.number] : shader_.colourMasks[s.number];
                    if (declared == 0) {
                        return fail(offset, name + " is read but not declared");
                    }
                    if (read & ~declared) {
                        return fail(offset, name + componentNames(read & ~declared) +
                                                " is read but not declared");
                    }
                    break;
                }
                case RegisterType::Temp:
                    if (read & ~tempWritten_[s.number]) {
                        return fail(offset, name + componentNames(read & ~tempWritten_[s.number]) +
                                                " is read before it is written");
                    }
                    break;
                default:
                    break;
            }
        }
        if (std::popcount(constants) > static_cast<int>(limits::kConstantReadPorts)) {
            return fail(position, "an instruction can read at most two constant registers");
        }
        if (std::popcount(texcoords) > static_cast<int>(limits::kTexcoordReadPorts)) {
            return fail(position, "an instruction can read at most one t# register");
        }
        if (std::popcount(colours) > static_cast<int>(limits::kColourReadPorts)) {
            return fail(position, "an instruction can read at most one v# register");
        }
        return true;
    }

    bool executable(const InstructionInfo& info, std::size_t position) {
        executableSeen_ = true;
        if (info.form == InstructionForm::NoOperation) {
            return countSlots(info, position);
        }
        ShaderInstruction instruction;
        instruction.opcode = info.opcode;
        instruction.form = info.form;
        instruction.sourceCount = info.sourceCount;
        instruction.tokenOffset = position;
        if (!destinationOperand(position + 1, instruction)) {
            return false;
        }
        for (unsigned i = 0; i < info.sourceCount; ++i) {
            if (!sourceOperand(position + 2 + i, instruction.sources[i])) {
                return false;
            }
        }
        if (!formRules(info, position, instruction) || !readRules(info, position, instruction) ||
            !countSlots(info, position)) {
            return false;
        }
        const DestinationOperand& d = instruction.destination;
        if (d.type == RegisterType::Temp) {
            tempWritten_[d.number] |= d.writeMask;
        } else {
            colourOutputWritten_ = true;
        }
        shader_.instructions.push_back(instruction);
        return true;
    }

    bool countSlots(const InstructionInfo& info, std::size_t position) {
        shader_.arithmeticSlots += info.arithmeticSlots;
        shader_.textureSlots += info.textureSlots;
        if (shader_.arithmeticSlots > limits::kArithmeticSlots) {
            return fail(position, "more than 64 arithmetic instruction slots");
        }
        if (shader_.textureSlots > limits::kTextureSlots) {
            return fail(position, "more than 32 texture instruction slots");
        }
        return true;
    }

    const Token* tokens_;
    std::size_t count_;
    PixelShaderDescription& shader_;
    ValidationError& error_;

    bool executableSeen_ = false;
    bool colourOutputWritten_ = false;
    std::uint32_t definedConstants_ = 0;
    std::array<std::uint8_t, limits::kTemps> tempWritten_{};
};

}  // namespace

bool validatePixelShader(const Token* tokens, std::size_t count, PixelShaderDescription& shader,
                         ValidationError& error) {
    return Validator(tokens, count, shader, error).run();
}

}  // namespace gs::render::shader
