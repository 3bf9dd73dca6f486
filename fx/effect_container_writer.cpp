#include "fx/effect_container_writer.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

namespace gs::fx {
namespace {

using Word = std::uint32_t;

// Builds the container as words; sections are appended in order and patched with their offsets.
class ContainerBuilder {
public:
    std::size_t reserve(std::size_t words) {
        const std::size_t at = words_.size();
        words_.resize(at + words, 0);
        return at;
    }
    void set(std::size_t word, Word value) { words_[word] = value; }
    Word offsetOf(std::size_t word) const { return static_cast<Word>(word * sizeof(Word)); }
    std::size_t size() const { return words_.size(); }

    std::vector<std::byte> bytes() const {
        std::vector<std::byte> out(words_.size() * sizeof(Word));
        for (std::size_t i = 0; i < words_.size(); ++i) {
            const Word w = words_[i];
            for (std::size_t b = 0; b < sizeof(Word); ++b) {
                out[i * sizeof(Word) + b] = static_cast<std::byte>((w >> (8 * b)) & 0xFFu);
            }
        }
        return out;
    }

private:
    std::vector<Word> words_;
};

// Names, each stored once, NUL-terminated, padded to whole words.
class StringTable {
public:
    Word add(const std::string& name) {
        const auto found = offsets_.find(name);
        if (found != offsets_.end()) {
            return found->second;
        }
        const Word offset = static_cast<Word>(bytes_.size());
        bytes_.insert(bytes_.end(), name.begin(), name.end());
        bytes_.push_back('\0');
        offsets_.emplace(name, offset);
        return offset;
    }

    std::size_t words() const { return (bytes_.size() + sizeof(Word) - 1) / sizeof(Word); }

    void store(ContainerBuilder& builder, std::size_t at) const {
        for (std::size_t w = 0; w < words(); ++w) {
            Word value = 0;
            for (std::size_t b = 0; b < sizeof(Word); ++b) {
                const std::size_t i = w * sizeof(Word) + b;
                if (i < bytes_.size()) {
                    value |= static_cast<Word>(static_cast<unsigned char>(bytes_[i])) << (8 * b);
                }
            }
            builder.set(at + w, value);
        }
    }

private:
    std::string bytes_;
    std::map<std::string, Word> offsets_;
};

Word count(std::size_t n) {
    return static_cast<Word>(n);
}

std::size_t writeStates(ContainerBuilder& out, const std::vector<StateAssignment>& states) {
    const std::size_t at = out.reserve(states.size() * container::kStateAssignmentWords);
    for (std::size_t i = 0; i < states.size(); ++i) {
        out.set(at + 2 * i, states[i].state);
        out.set(at + 2 * i + 1, states[i].value);
    }
    return at;
}

}  // namespace

std::vector<std::byte> writeEffectContainer(const EffectDescription& effect) {
    StringTable strings;
    for (const auto& parameter : effect.parameters) {
        strings.add(parameter.name);
    }
    for (const auto& technique : effect.techniques) {
        strings.add(technique.name);
        for (const auto& pass : technique.passes) {
            strings.add(pass.name);
        }
    }

    ContainerBuilder out;
    const std::size_t header = out.reserve(container::kHeaderWords);
    out.set(header + 0, container::kMagic);
    out.set(header + 1, container::kVersion);

    const std::size_t stringsAt = out.reserve(strings.words());
    strings.store(out, stringsAt);
    out.set(header + 3, out.offsetOf(stringsAt));
    out.set(header + 4, count(strings.words() * sizeof(Word)));

    const std::size_t parametersAt =
        out.reserve(effect.parameters.size() * container::kParameterWords);
    for (std::size_t i = 0; i < effect.parameters.size(); ++i) {
        const ParameterDescription& p = effect.parameters[i];
        const std::size_t at = parametersAt + i * container::kParameterWords;
        out.set(at + 0, strings.add(p.name));
        out.set(at + 1, static_cast<Word>(p.parameterClass));
        out.set(at + 2, p.components);
        out.set(at + 3, p.constantRegister);
        for (std::size_t c = 0; c < 4; ++c) {
            out.set(at + 4 + c, std::bit_cast<Word>(p.defaults[c]));
        }
    }
    out.set(header + 5, count(effect.parameters.size()));
    out.set(header + 6, out.offsetOf(parametersAt));

    const std::size_t derivedAt =
        out.reserve(effect.derivedConstants.size() * container::kDerivedConstantWords);
    for (std::size_t i = 0; i < effect.derivedConstants.size(); ++i) {
        const DerivedConstantDescription& d = effect.derivedConstants[i];
        const std::size_t at = derivedAt + i * container::kDerivedConstantWords;
        out.set(at + 0, static_cast<Word>(d.operation));
        out.set(at + 1, d.parameter);
        out.set(at + 2, d.parameterComponent);
        out.set(at + 3, d.constantRegister);
        out.set(at + 4, d.registerComponent);
    }
    out.set(header + 7, count(effect.derivedConstants.size()));
    out.set(header + 8, out.offsetOf(derivedAt));

    const std::size_t techniquesAt =
        out.reserve(effect.techniques.size() * container::kTechniqueWords);
    out.set(header + 9, count(effect.techniques.size()));
    out.set(header + 10, out.offsetOf(techniquesAt));
    for (std::size_t t = 0; t < effect.techniques.size(); ++t) {
        const TechniqueDescription& technique = effect.techniques[t];
        const std::size_t passesAt = out.reserve(technique.passes.size() * container::kPassWords);
        const std::size_t record = techniquesAt + t * container::kTechniqueWords;
        out.set(record + 0, strings.add(technique.name));
        out.set(record + 1, count(technique.passes.size()));
        out.set(record + 2, out.offsetOf(passesAt));

        for (std::size_t p = 0; p < technique.passes.size(); ++p) {
            const PassDescription& pass = technique.passes[p];
            const std::size_t renderStatesAt = writeStates(out, pass.renderStates);
            const std::size_t samplersAt =
                out.reserve(pass.samplers.size() * container::kSamplerBindingWords);
            for (std::size_t s = 0; s < pass.samplers.size(); ++s) {
                const SamplerBindingDescription& binding = pass.samplers[s];
                const std::size_t statesAt = writeStates(out, binding.states);
                const std::size_t at = samplersAt + s * container::kSamplerBindingWords;
                out.set(at + 0, binding.unit);
                out.set(at + 1, binding.samplerParameter);
                out.set(at + 2, binding.textureParameter);
                out.set(at + 3, count(binding.states.size()));
                out.set(at + 4, out.offsetOf(statesAt));
            }
            const std::size_t at = passesAt + p * container::kPassWords;
            out.set(at + 0, strings.add(pass.name));
            out.set(at + 1, pass.shader);
            out.set(at + 2, count(pass.renderStates.size()));
            out.set(at + 3, out.offsetOf(renderStatesAt));
            out.set(at + 4, count(pass.samplers.size()));
            out.set(at + 5, out.offsetOf(samplersAt));
        }
    }

    const std::size_t shadersAt = out.reserve(effect.shaders.size() * container::kShaderWords);
    out.set(header + 11, count(effect.shaders.size()));
    out.set(header + 12, out.offsetOf(shadersAt));
    for (std::size_t s = 0; s < effect.shaders.size(); ++s) {
        const std::vector<Word>& tokens = effect.shaders[s];
        const std::size_t tokensAt = out.reserve(tokens.size());
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            out.set(tokensAt + i, tokens[i]);
        }
        out.set(shadersAt + s * container::kShaderWords + 0, count(tokens.size()));
        out.set(shadersAt + s * container::kShaderWords + 1, out.offsetOf(tokensAt));
    }

    out.set(header + 2, count(out.size() * sizeof(Word)));
    return out.bytes();
}

}  // namespace gs::fx
