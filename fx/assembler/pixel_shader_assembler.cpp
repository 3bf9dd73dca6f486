#include "fx/assembler/pixel_shader_assembler.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <optional>
#include <utility>

#include "render/shader/bytecode.h"
#include "render/shader/pixel_shader_validator.h"

namespace gs::fx {
namespace {

namespace sm = gs::render::shader;
using sm::RegisterType;
using sm::Token;

// Largest register number a parameter token can hold; ps_2_0's own limits are the validator's.
constexpr unsigned kMaxEncodableRegister = 0x7FF;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::string quoted(std::string_view text) {
    std::string result;  // appended piece by piece: GCC 12 misreports "'" + std::string(...)
    result.reserve(text.size() + 2);
    result += '\'';
    result += text;
    result += '\'';
    return result;
}

// Component index of a mask or swizzle letter, or -1.
int componentIndex(char letter) {
    switch (letter) {
        case 'x':
        case 'r':
            return 0;
        case 'y':
        case 'g':
            return 1;
        case 'z':
        case 'b':
            return 2;
        case 'w':
        case 'a':
            return 3;
        default:
            return -1;
    }
}

struct RegisterOperand {
    RegisterType type = RegisterType::Temp;
    unsigned number = 0;
    bool negate = false;
    std::string components;  // lower-case letters after the dot; empty when none were written
};

// The text of one statement: mnemonic with its suffixes, and the comma-separated operands.
struct Statement {
    int line = 0;
    std::string mnemonic;  // lower case, suffixes included ("mul_sat")
    std::vector<std::string_view> operands;
};

class Assembler {
public:
    Assembler(std::vector<Token>& tokens, AssemblyError& error) : tokens_(tokens), error_(error) {}

    bool run(std::string_view source) {
        tokens_.clear();
        int line = 0;
        while (!source.empty() || line == 0) {
            ++line;
            const std::size_t end = source.find('\n');
            const std::string_view text = source.substr(0, end);
            source = end == std::string_view::npos ? std::string_view{} : source.substr(end + 1);
            Statement statement;
            if (!split(line, text, statement)) {
                return false;
            }
            if (!statement.mnemonic.empty() && !assemble(statement)) {
                return false;
            }
        }
        if (!versionSeen_) {
            return fail(line, "empty shader: ps_2_0 expected");
        }
        const std::size_t endOffset = tokens_.size();
        tokens_.push_back(sm::kEndToken);
        return validate(endOffset);
    }

private:
    bool fail(int line, std::string message) {
        error_.line = line;
        error_.message = std::move(message);
        tokens_.clear();
        return false;
    }

    // Strips the comment and splits the statement into mnemonic and operands.
    bool split(int line, std::string_view text, Statement& statement) {
        const std::size_t slashes = text.find("//");
        const std::size_t semicolon = text.find(';');
        text = trim(text.substr(0, std::min(slashes, semicolon)));
        if (text.empty()) {
            return true;
        }
        std::size_t mnemonicEnd = 0;
        while (mnemonicEnd < text.size() && !isSpace(text[mnemonicEnd])) {
            ++mnemonicEnd;
        }
        statement.line = line;
        statement.mnemonic = lowerCase(text.substr(0, mnemonicEnd));
        std::string_view rest = trim(text.substr(mnemonicEnd));
        if (rest.empty()) {
            return true;
        }
        while (true) {
            const std::size_t comma = rest.find(',');
            const std::string_view operand = trim(rest.substr(0, comma));
            if (operand.empty()) {
                return fail(line, "missing operand");
            }
            statement.operands.push_back(operand);
            if (comma == std::string_view::npos) {
                return true;
            }
            rest = rest.substr(comma + 1);
        }
    }

    bool assemble(const Statement& statement) {
        const int line = statement.line;
        if (!versionSeen_) {
            if (statement.mnemonic != "ps_2_0") {
                const bool otherVersion =
                    statement.mnemonic.starts_with("ps_") || statement.mnemonic.starts_with("vs_");
                return fail(line, otherVersion
                                      ? "unsupported shader version " + quoted(statement.mnemonic)
                                      : "ps_2_0 expected before " + quoted(statement.mnemonic));
            }
            if (!statement.operands.empty()) {
                return fail(line, "ps_2_0 takes no operands");
            }
            versionSeen_ = true;
            lines_.emplace_back(tokens_.size(), line);
            tokens_.push_back(sm::kPixelShader20Version);
            return true;
        }
        if (statement.mnemonic == "ps_2_0") {
            return fail(line, "ps_2_0 given twice");
        }

        // Mnemonic and suffixes: "mul_sat_pp" -> "mul", {"sat", "pp"}.
        const std::string_view full = statement.mnemonic;
        const std::string_view base = full.substr(0, full.find('_'));
        const sm::InstructionInfo* info = sm::findInstruction(base);
        if (info == nullptr) {
            return fail(line, "unknown instruction " + quoted(base));
        }
        Suffixes suffixes;
        std::string_view rest = full.substr(base.size());
        while (!rest.empty()) {
            rest.remove_prefix(1);  // the underscore
            const std::string_view suffix = rest.substr(0, rest.find('_'));
            rest.remove_prefix(suffix.size());
            if (suffix == "sat") {
                suffixes.saturate = true;
            } else if (suffix == "pp") {
                suffixes.partialPrecision = true;
            } else if (suffix == "2d" && info->form == sm::InstructionForm::Declaration) {
                suffixes.texture2D = true;
            } else {
                std::string message = "unknown or misplaced modifier '_";
                message += suffix;
                message += "' on ";
                message += info->mnemonic;
                return fail(line, message);
            }
        }

        const std::size_t expected = operandCount(*info);
        if (statement.operands.size() < expected) {
            return fail(line, std::string(info->mnemonic) + " takes " + std::to_string(expected) +
                                  " operands: missing operand");
        }
        if (statement.operands.size() > expected) {
            return fail(line, std::string(info->mnemonic) + " takes " + std::to_string(expected) +
                                  " operands: too many operands");
        }
        lines_.emplace_back(tokens_.size(), line);
        switch (info->form) {
            case sm::InstructionForm::Declaration:
                return declaration(line, suffixes, statement.operands[0]);
            case sm::InstructionForm::Definition:
                return definition(line, suffixes, statement.operands);
            default:
                return instruction(line, *info, suffixes, statement.operands);
        }
    }

    struct Suffixes {
        bool saturate = false;
        bool partialPrecision = false;
        bool texture2D = false;
    };

    static std::size_t operandCount(const sm::InstructionInfo& info) {
        switch (info.form) {
            case sm::InstructionForm::NoOperation:
                return 0;
            case sm::InstructionForm::Declaration:
                return 1;
            case sm::InstructionForm::Definition:
                return 5;
            default:
                return 1u + info.sourceCount;
        }
    }

    // Parses "-c3.wzyx", "oC0", "t0.xy" into a register and the letters after its dot.
    std::optional<RegisterOperand> registerOperand(int line, std::string_view text,
                                                   bool allowNegate) {
        RegisterOperand operand;
        const std::string whole(text);
        if (!text.empty() && text.front() == '-') {
            if (!allowNegate) {
                fail(line, "a destination cannot be negated: " + quoted(whole));
                return std::nullopt;
            }
            operand.negate = true;
            text = trim(text.substr(1));
        }
        const std::string lower = lowerCase(text);
        std::string_view rest = lower;
        if (rest.starts_with("odepth")) {
            operand.type = RegisterType::DepthOut;
            rest.remove_prefix(6);
        } else {
            if (rest.starts_with("oc")) {
                operand.type = RegisterType::ColorOut;
                rest.remove_prefix(2);
            } else if (!rest.empty()) {
                switch (rest.front()) {
                    case 'r':
                        operand.type = RegisterType::Temp;
                        break;
                    case 'v':
                        operand.type = RegisterType::Input;
                        break;
                    case 'c':
                        operand.type = RegisterType::Const;
                        break;
                    case 't':
                        operand.type = RegisterType::Texture;
                        break;
                    case 's':
                        operand.type = RegisterType::Sampler;
                        break;
                    default:
                        fail(line, "bad register " + quoted(whole));
                        return std::nullopt;
                }
                rest.remove_prefix(1);
            }
            std::size_t digits = 0;
            while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
                ++digits;
            }
            const auto [end, status] =
                std::from_chars(rest.data(), rest.data() + digits, operand.number);
            if (digits == 0 || status != std::errc{} || operand.number > kMaxEncodableRegister) {
                fail(line, "bad register " + quoted(whole));
                return std::nullopt;
            }
            rest.remove_prefix(digits);
        }
        if (!rest.empty()) {
            if (rest.front() == '_') {
                fail(line, "unsupported register modifier in " + quoted(whole));
                return std::nullopt;
            }
            if (rest.front() != '.' || rest.size() < 2 || rest.size() > 5) {
                fail(line, "bad register " + quoted(whole));
                return std::nullopt;
            }
            operand.components = std::string(rest.substr(1));
            for (char letter : operand.components) {
                if (componentIndex(letter) < 0) {
                    fail(line, "bad component " + quoted(std::string(1, letter)) + " in " +
                                   quoted(whole));
                    return std::nullopt;
                }
            }
        }
        return operand;
    }

    // Write mask of a destination: components in x, y, z, w order, each at most once.
    std::optional<std::uint32_t> writeMask(int line, const RegisterOperand& operand,
                                           std::string_view text) {
        if (operand.components.empty()) {
            return sm::destination::kMaskAll;
        }
        std::uint32_t mask = 0;
        int previous = -1;
        for (char letter : operand.components) {
            const int c = componentIndex(letter);
            if (c <= previous) {
                fail(line, "bad write mask in " + quoted(text) +
                               " (components in xyzw order, each once)");
                return std::nullopt;
            }
            previous = c;
            mask |= 1u << c;
        }
        return mask;
    }

    static std::uint32_t swizzle(const RegisterOperand& operand) {
        if (operand.components.empty()) {
            return sm::source::kIdentity;
        }
        unsigned selected[4];
        for (unsigned i = 0; i < 4; ++i) {
            const std::size_t letter = std::min<std::size_t>(i, operand.components.size() - 1);
            selected[i] = static_cast<unsigned>(componentIndex(operand.components[letter]));
        }
        return sm::source::swizzle(selected[0], selected[1], selected[2], selected[3]);
    }

    bool instruction(int line, const sm::InstructionInfo& info, const Suffixes& suffixes,
                     const std::vector<std::string_view>& operands) {
        tokens_.push_back(sm::instruction::encode(info.opcode, sm::expectedLength(info)));
        if (info.form == sm::InstructionForm::NoOperation) {
            if (suffixes.saturate || suffixes.partialPrecision) {
                return fail(line, "nop takes no modifiers");
            }
            return true;
        }
        const auto destination = registerOperand(line, operands[0], false);
        if (!destination) {
            return false;
        }
        const auto mask = writeMask(line, *destination, operands[0]);
        if (!mask) {
            return false;
        }
        const std::uint32_t modifiers =
            (suffixes.saturate ? sm::destination::kSaturate : 0) |
            (suffixes.partialPrecision ? sm::destination::kPartialPrecision : 0);
        tokens_.push_back(
            sm::destination::encode(destination->type, destination->number, *mask, modifiers));
        for (std::size_t i = 1; i < operands.size(); ++i) {
            const auto source = registerOperand(line, operands[i], true);
            if (!source) {
                return false;
            }
            tokens_.push_back(sm::source::encode(
                source->type, source->number, swizzle(*source),
                source->negate ? sm::source::kModifierNegate : sm::source::kModifierNone));
        }
        return true;
    }

    bool declaration(int line, const Suffixes& suffixes, std::string_view text) {
        if (suffixes.saturate) {
            return fail(line, "dcl takes no _sat");
        }
        const auto declared = registerOperand(line, text, false);
        if (!declared) {
            return false;
        }
        const bool sampler = declared->type == RegisterType::Sampler;
        if (sampler != suffixes.texture2D) {
            return fail(line, sampler ? "a sampler is declared with its texture type: dcl_2d " +
                                            std::string(text)
                                      : "dcl_2d declares samplers (s#), not " + quoted(text));
        }
        if (sampler && !declared->components.empty()) {
            return fail(line, "a sampler declaration takes no components");
        }
        const auto mask = writeMask(line, *declared, text);
        if (!mask) {
            return false;
        }
        tokens_.push_back(sm::instruction::encode(sm::Opcode::Dcl, 2));
        tokens_.push_back(sm::declaration::encode(sampler ? sm::declaration::kTextureType2D : 0));
        tokens_.push_back(sm::destination::encode(
            declared->type, declared->number, *mask,
            suffixes.partialPrecision ? sm::destination::kPartialPrecision : 0));
        return true;
    }

    bool definition(int line, const Suffixes& suffixes,
                    const std::vector<std::string_view>& operands) {
        if (suffixes.saturate || suffixes.partialPrecision) {
            return fail(line, "def takes no modifiers");
        }
        const auto constant = registerOperand(line, operands[0], false);
        if (!constant) {
            return false;
        }
        if (!constant->components.empty()) {
            return fail(line, "def sets all four components: no write mask");
        }
        tokens_.push_back(sm::instruction::encode(sm::Opcode::Def, 5));
        tokens_.push_back(
            sm::destination::encode(constant->type, constant->number, sm::destination::kMaskAll));
        for (std::size_t i = 1; i < operands.size(); ++i) {
            const auto value = literal(operands[i]);
            if (!value) {
                return fail(line, "bad literal " + quoted(operands[i]));
            }
            tokens_.push_back(std::bit_cast<Token>(*value));
        }
        return true;
    }

    // A finite decimal float: optional sign, digits, optional fraction and exponent.
    static std::optional<float> literal(std::string_view text) {
        bool negative = false;
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            negative = text.front() == '-';
            text.remove_prefix(1);
        }
        if (text.empty() ||
            !((text.front() >= '0' && text.front() <= '9') || text.front() == '.')) {
            return std::nullopt;  // also refuses "inf" and "nan"
        }
        float value = 0;
        const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (status != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
            return std::nullopt;
        }
        return negative ? -value : value;
    }

    // Checks the assembled stream against ps_2_0 and reports a refusal at its statement's line.
    bool validate(std::size_t endOffset) {
        sm::PixelShaderDescription shader;
        sm::ValidationError refusal;
        if (sm::validatePixelShader(tokens_.data(), tokens_.size(), shader, refusal)) {
            return true;
        }
        int line = lines_.back().second;
        if (refusal.tokenOffset < endOffset) {
            for (const auto& [offset, statementLine] : lines_) {
                if (offset <= refusal.tokenOffset) {
                    line = statementLine;
                }
            }
        }
        return fail(line, refusal.message);
    }

    std::vector<Token>& tokens_;
    AssemblyError& error_;
    bool versionSeen_ = false;
    std::vector<std::pair<std::size_t, int>> lines_;  // first token of each statement, its line
};

}  // namespace

bool assemblePixelShader(std::string_view source, std::vector<DWORD>& tokens,
                         AssemblyError& error) {
    return Assembler(tokens, error).run(source);
}

}  // namespace gs::fx
