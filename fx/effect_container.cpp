#include "fx/effect_container.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <set>
#include <string_view>
#include <utility>

#include "render/device.h"

namespace gs::fx {
namespace {

using Word = std::uint32_t;
constexpr std::size_t kWordBytes = sizeof(Word);

static_assert(std::endian::native == std::endian::little,
              "the container is read in place as little-endian words");

bool fail(std::string* error, std::string_view what) {
    if (error != nullptr) {
        *error = what;
    }
    return false;
}

// Bounds-checked access to the container's bytes. Every read goes through here.
class ContainerBytes {
public:
    explicit ContainerBytes(std::span<const std::byte> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }

    Word word(std::size_t offset) const {
        Word value;
        std::memcpy(&value, bytes_.data() + offset, kWordBytes);
        return value;
    }

    // True when `count` records of `recordWords` words starting at `offset` lie inside the
    // container and start on a word boundary.
    bool holds(Word offset, Word count, std::size_t recordWords) const {
        if (offset % kWordBytes != 0) {
            return false;
        }
        const std::uint64_t end =
            std::uint64_t{offset} + std::uint64_t{count} * recordWords * std::uint64_t{kWordBytes};
        return end <= bytes_.size();
    }

    std::span<const std::byte> slice(std::size_t offset, std::size_t length) const {
        return bytes_.subspan(offset, length);
    }

private:
    std::span<const std::byte> bytes_;
};

// A record of words at a checked position.
class Record {
public:
    Record(const ContainerBytes& bytes, std::size_t offset) : bytes_(bytes), offset_(offset) {}
    Word operator[](std::size_t field) const { return bytes_.word(offset_ + field * kWordBytes); }

private:
    const ContainerBytes& bytes_;
    std::size_t offset_;
};

class Reader {
public:
    Reader(std::span<const std::byte> bytes, std::string* error) : bytes_(bytes), error_(error) {}

    bool read(EffectDescription& effect) {
        if (bytes_.size() < container::kHeaderWords * kWordBytes) {
            return fail(error_, "shorter than the container header");
        }
        const Record header(bytes_, 0);
        if (header[0] != container::kMagic) {
            return fail(error_, "not an effect container (magic)");
        }
        if (header[1] != container::kVersion) {
            return fail(error_, "unsupported container version");
        }
        const Word totalSize = header[2];
        if (totalSize > bytes_.size() || totalSize < container::kHeaderWords * kWordBytes) {
            return fail(error_, "truncated container (total size)");
        }
        // Everything below reads only the container's own extent.
        bytes_ = ContainerBytes(bytes_.slice(0, totalSize));

        const Word stringsOffset = header[3];
        const Word stringsSize = header[4];
        if (stringsOffset % kWordBytes != 0 ||
            std::uint64_t{stringsOffset} + stringsSize > bytes_.size()) {
            return fail(error_, "string table outside the container");
        }
        strings_ = bytes_.slice(stringsOffset, stringsSize);

        return readParameters(header[5], header[6], effect) &&
               readDerivedConstants(header[7], header[8], effect) &&
               readTechniques(header[9], header[10], effect) &&
               readShaders(header[11], header[12], effect);
    }

private:
    bool table(Word count, Word offset, std::size_t recordWords, Word limit,
               std::string_view what) {
        if (count > limit) {
            return fail(error_, std::string(what) + ": too many records");
        }
        if (!bytes_.holds(offset, count, recordWords)) {
            return fail(error_, std::string(what) + ": table outside the container");
        }
        return true;
    }

    bool name(Word offset, std::string& out) {
        if (offset >= strings_.size()) {
            return fail(error_, "name outside the string table");
        }
        const auto* first = reinterpret_cast<const char*>(strings_.data()) + offset;
        const auto* last = reinterpret_cast<const char*>(strings_.data()) + strings_.size();
        const auto* terminator = std::find(first, last, '\0');
        if (terminator == last) {
            return fail(error_, "unterminated name");
        }
        out.assign(first, terminator);
        return true;
    }

    bool states(Word count, Word offset, Word limit, std::vector<StateAssignment>& out) {
        if (!table(count, offset, container::kStateAssignmentWords, limit, "states")) {
            return false;
        }
        out.resize(count);
        for (Word i = 0; i < count; ++i) {
            const Record r(bytes_, offset + i * container::kStateAssignmentWords * kWordBytes);
            out[i] = StateAssignment{r[0], r[1]};
        }
        return true;
    }

    bool readParameters(Word count, Word offset, EffectDescription& effect) {
        if (!table(count, offset, container::kParameterWords, container::kMaxParameters,
                   "parameters")) {
            return false;
        }
        effect.parameters.resize(count);
        for (Word i = 0; i < count; ++i) {
            const Record r(bytes_, offset + i * container::kParameterWords * kWordBytes);
            ParameterDescription& p = effect.parameters[i];
            if (!name(r[0], p.name)) {
                return false;
            }
            p.parameterClass = static_cast<ParameterClass>(r[1]);
            p.components = r[2];
            p.constantRegister = r[3];
            for (std::size_t c = 0; c < 4; ++c) {
                p.defaults[c] = std::bit_cast<float>(r[4 + c]);
            }
        }
        return true;
    }

    bool readDerivedConstants(Word count, Word offset, EffectDescription& effect) {
        if (!table(count, offset, container::kDerivedConstantWords, container::kMaxDerivedConstants,
                   "derived constants")) {
            return false;
        }
        effect.derivedConstants.resize(count);
        for (Word i = 0; i < count; ++i) {
            const Record r(bytes_, offset + i * container::kDerivedConstantWords * kWordBytes);
            effect.derivedConstants[i] = DerivedConstantDescription{
                static_cast<DerivedOperation>(r[0]), r[1], r[2], r[3], r[4]};
        }
        return true;
    }

    bool readTechniques(Word count, Word offset, EffectDescription& effect) {
        if (!table(count, offset, container::kTechniqueWords, container::kMaxTechniques,
                   "techniques")) {
            return false;
        }
        effect.techniques.resize(count);
        for (Word t = 0; t < count; ++t) {
            const Record r(bytes_, offset + t * container::kTechniqueWords * kWordBytes);
            TechniqueDescription& technique = effect.techniques[t];
            if (!name(r[0], technique.name) ||
                !table(r[1], r[2], container::kPassWords, container::kMaxPassesPerTechnique,
                       "passes")) {
                return false;
            }
            technique.passes.resize(r[1]);
            for (Word p = 0; p < r[1]; ++p) {
                if (!readPass(r[2] + p * container::kPassWords * kWordBytes, technique.passes[p])) {
                    return false;
                }
            }
        }
        return true;
    }

    bool readPass(Word offset, PassDescription& pass) {
        const Record r(bytes_, offset);
        pass.shader = r[1];
        if (!name(r[0], pass.name) ||
            !states(r[2], r[3], container::kMaxRenderStatesPerPass, pass.renderStates) ||
            !table(r[4], r[5], container::kSamplerBindingWords, container::kSamplerUnits,
                   "sampler bindings")) {
            return false;
        }
        pass.samplers.resize(r[4]);
        for (Word s = 0; s < r[4]; ++s) {
            const Record b(bytes_, r[5] + s * container::kSamplerBindingWords * kWordBytes);
            SamplerBindingDescription& binding = pass.samplers[s];
            binding.unit = b[0];
            binding.samplerParameter = b[1];
            binding.textureParameter = b[2];
            if (!states(b[3], b[4], container::kMaxStatesPerSampler, binding.states)) {
                return false;
            }
        }
        return true;
    }

    bool readShaders(Word count, Word offset, EffectDescription& effect) {
        if (!table(count, offset, container::kShaderWords, container::kMaxShaders, "shaders")) {
            return false;
        }
        effect.shaders.resize(count);
        for (Word s = 0; s < count; ++s) {
            const Record r(bytes_, offset + s * container::kShaderWords * kWordBytes);
            if (!table(r[0], r[1], 1, container::kMaxShaderTokens, "shader tokens")) {
                return false;
            }
            std::vector<Word>& tokens = effect.shaders[s];
            tokens.resize(r[0]);
            for (Word i = 0; i < r[0]; ++i) {
                tokens[i] = bytes_.word(r[1] + i * kWordBytes);
            }
        }
        return true;
    }

    ContainerBytes bytes_;
    std::span<const std::byte> strings_;
    std::string* error_;
};

// The states the device contract defines; the container may set no others.
bool isKnownRenderState(Word state) {
    using render::RenderStateType;
    for (const RenderStateType known :
         {RenderStateType::ZEnable, RenderStateType::SrcBlend, RenderStateType::DestBlend,
          RenderStateType::CullMode, RenderStateType::AlphaBlendEnable, RenderStateType::Lighting,
          RenderStateType::BlendOp}) {
        if (state == static_cast<Word>(known)) {
            return true;
        }
    }
    return false;
}

bool isKnownSamplerState(Word state) {
    return state >= static_cast<Word>(render::SamplerState::AddressU) &&
           state <= static_cast<Word>(render::SamplerState::MipFilter);
}

bool hasClass(const EffectDescription& effect, Word index, ParameterClass wanted) {
    return index < effect.parameters.size() && effect.parameters[index].parameterClass == wanted;
}

template <typename Named>
bool namesAreUniqueAndPresent(const std::vector<Named>& items) {
    std::set<std::string_view> seen;
    for (const Named& item : items) {
        if (item.name.empty() || !seen.insert(item.name).second) {
            return false;
        }
    }
    return true;
}

bool validateParameters(const EffectDescription& effect, std::string* error) {
    if (!namesAreUniqueAndPresent(effect.parameters)) {
        return fail(error, "parameter names must be present and unique");
    }
    // Each component of each constant register is written by at most one parameter or derived
    // constant, so that committing one never overwrites another.
    std::set<std::pair<Word, Word>> claimed;
    for (const ParameterDescription& p : effect.parameters) {
        switch (p.parameterClass) {
            case ParameterClass::Float:
                if (p.components < 1 || p.components > 4) {
                    return fail(error, "float parameter " + p.name + " needs 1 to 4 components");
                }
                if (p.constantRegister == container::kNoIndex) {
                    break;
                }
                if (p.constantRegister >= container::kConstantRegisters) {
                    return fail(error, "parameter " + p.name + ": constant register out of range");
                }
                for (Word c = 0; c < p.components; ++c) {
                    if (!claimed.insert({p.constantRegister, c}).second) {
                        return fail(error, "parameter " + p.name + ": register already in use");
                    }
                }
                break;
            case ParameterClass::Texture:
            case ParameterClass::Sampler:
                if (p.components != 0 || p.constantRegister != container::kNoIndex) {
                    return fail(error, "parameter " + p.name + " cannot have a register");
                }
                break;
            default:
                return fail(error, "parameter " + p.name + " has an unknown class");
        }
    }
    for (const DerivedConstantDescription& d : effect.derivedConstants) {
        if (d.operation != DerivedOperation::Reciprocal) {
            return fail(error, "derived constant with an unknown operation");
        }
        if (!hasClass(effect, d.parameter, ParameterClass::Float) ||
            d.parameterComponent >= effect.parameters[d.parameter].components) {
            return fail(error, "derived constant reads no float parameter component");
        }
        if (d.constantRegister >= container::kConstantRegisters || d.registerComponent >= 4) {
            return fail(error, "derived constant register out of range");
        }
        if (!claimed.insert({d.constantRegister, d.registerComponent}).second) {
            return fail(error, "derived constant register already in use");
        }
    }
    return true;
}

bool validatePass(const EffectDescription& effect, const PassDescription& pass,
                  std::string* error) {
    if (pass.shader >= effect.shaders.size()) {
        return fail(error, "pass " + pass.name + ": no such shader");
    }
    for (const StateAssignment& state : pass.renderStates) {
        if (!isKnownRenderState(state.state)) {
            return fail(error, "pass " + pass.name + ": unknown render state");
        }
    }
    std::set<Word> units;
    for (const SamplerBindingDescription& binding : pass.samplers) {
        if (binding.unit >= container::kSamplerUnits || !units.insert(binding.unit).second) {
            return fail(error, "pass " + pass.name + ": sampler unit out of range or bound twice");
        }
        if (!hasClass(effect, binding.samplerParameter, ParameterClass::Sampler) ||
            !hasClass(effect, binding.textureParameter, ParameterClass::Texture)) {
            return fail(error, "pass " + pass.name + ": sampler binding needs a sampler and a " +
                                   "texture parameter");
        }
        for (const StateAssignment& state : binding.states) {
            if (!isKnownSamplerState(state.state)) {
                return fail(error, "pass " + pass.name + ": unknown sampler state");
            }
        }
    }
    return true;
}

}  // namespace

bool isCompletePixelShader(std::span<const std::uint32_t> tokens) {
    constexpr Word kPixelShaderMajor2 = 0xFFFF0200u;
    constexpr Word kEndToken = 0x0000FFFFu;
    constexpr Word kCommentOpcode = 0xFFFEu;
    if (tokens.size() < 2 || (tokens[0] & 0xFFFFFF00u) != kPixelShaderMajor2) {
        return false;
    }
    std::size_t at = 1;
    while (at < tokens.size()) {
        const Word token = tokens[at];
        if (token == kEndToken) {
            return at + 1 == tokens.size();
        }
        // Comments carry their length in bits 16..30, instructions of shader model 2 in bits
        // 24..27; both count the tokens that follow.
        const std::size_t following =
            (token & 0xFFFFu) == kCommentOpcode ? (token >> 16) & 0x7FFFu : (token >> 24) & 0xFu;
        at += 1 + following;
    }
    return false;
}

bool validateEffect(const EffectDescription& effect, std::string* error) {
    if (!validateParameters(effect, error)) {
        return false;
    }
    if (effect.techniques.empty()) {
        return fail(error, "an effect needs a technique");
    }
    if (!namesAreUniqueAndPresent(effect.techniques)) {
        return fail(error, "technique names must be present and unique");
    }
    for (const TechniqueDescription& technique : effect.techniques) {
        if (technique.passes.empty()) {
            return fail(error, "technique " + technique.name + " has no pass");
        }
        if (!namesAreUniqueAndPresent(technique.passes)) {
            return fail(error, "technique " + technique.name + ": pass names must be unique");
        }
        for (const PassDescription& pass : technique.passes) {
            if (!validatePass(effect, pass, error)) {
                return false;
            }
        }
    }
    for (std::size_t s = 0; s < effect.shaders.size(); ++s) {
        if (!isCompletePixelShader(effect.shaders[s])) {
            return fail(error, "shader " + std::to_string(s) + " is not a complete pixel shader");
        }
    }
    return true;
}

bool readEffectContainer(std::span<const std::byte> bytes, EffectDescription& effect,
                         std::string* error) {
    effect = EffectDescription{};
    return Reader(bytes, error).read(effect) && validateEffect(effect, error);
}

}  // namespace gs::fx
