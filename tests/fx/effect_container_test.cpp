#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "fx/effect_container.h"
#include "fx/effect_container_writer.h"
#include "tests/fx/sample_effect.h"

namespace gs::fx {
namespace {

using testing::sampleEffect;

bool read(const std::vector<std::byte>& bytes, EffectDescription& effect) {
    return readEffectContainer(bytes, effect);
}

void putWord(std::vector<std::byte>& bytes, std::size_t offset, std::uint32_t value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(value));
}

std::uint32_t word(const std::vector<std::byte>& bytes, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + offset, sizeof(value));
    return value;
}

TEST(EffectContainer, RoundTripsEverythingTheWriterStores) {
    EffectDescription written = sampleEffect();
    written.parameters[testing::kPos2].defaults = {1.5f, -2.0f, 0.25f, 0.0f};
    EffectDescription back;
    ASSERT_TRUE(read(writeEffectContainer(written), back));

    ASSERT_EQ(back.parameters.size(), written.parameters.size());
    for (std::size_t i = 0; i < written.parameters.size(); ++i) {
        EXPECT_EQ(back.parameters[i].name, written.parameters[i].name);
        EXPECT_EQ(back.parameters[i].parameterClass, written.parameters[i].parameterClass);
        EXPECT_EQ(back.parameters[i].components, written.parameters[i].components);
        EXPECT_EQ(back.parameters[i].constantRegister, written.parameters[i].constantRegister);
        EXPECT_EQ(back.parameters[i].defaults, written.parameters[i].defaults);
    }
    ASSERT_EQ(back.derivedConstants.size(), 1u);
    EXPECT_EQ(back.derivedConstants[0].parameter, written.derivedConstants[0].parameter);
    EXPECT_EQ(back.derivedConstants[0].constantRegister, 4u);

    ASSERT_EQ(back.techniques.size(), 2u);
    for (std::size_t t = 0; t < 2; ++t) {
        const TechniqueDescription& a = written.techniques[t];
        const TechniqueDescription& b = back.techniques[t];
        EXPECT_EQ(b.name, a.name);
        ASSERT_EQ(b.passes.size(), a.passes.size());
        for (std::size_t p = 0; p < a.passes.size(); ++p) {
            EXPECT_EQ(b.passes[p].name, a.passes[p].name);
            EXPECT_EQ(b.passes[p].shader, a.passes[p].shader);
            ASSERT_EQ(b.passes[p].renderStates.size(), a.passes[p].renderStates.size());
            for (std::size_t s = 0; s < a.passes[p].renderStates.size(); ++s) {
                EXPECT_EQ(b.passes[p].renderStates[s].state, a.passes[p].renderStates[s].state);
                EXPECT_EQ(b.passes[p].renderStates[s].value, a.passes[p].renderStates[s].value);
            }
            ASSERT_EQ(b.passes[p].samplers.size(), a.passes[p].samplers.size());
            for (std::size_t s = 0; s < a.passes[p].samplers.size(); ++s) {
                const auto& sa = a.passes[p].samplers[s];
                const auto& sb = b.passes[p].samplers[s];
                EXPECT_EQ(sb.unit, sa.unit);
                EXPECT_EQ(sb.samplerParameter, sa.samplerParameter);
                EXPECT_EQ(sb.textureParameter, sa.textureParameter);
                ASSERT_EQ(sb.states.size(), sa.states.size());
                for (std::size_t k = 0; k < sa.states.size(); ++k) {
                    EXPECT_EQ(sb.states[k].state, sa.states[k].state);
                    EXPECT_EQ(sb.states[k].value, sa.states[k].value);
                }
            }
        }
    }
    EXPECT_EQ(back.shaders, written.shaders);
}

TEST(EffectContainer, IsLittleEndianAndWordAligned) {
    const std::vector<std::byte> bytes = writeEffectContainer(sampleEffect());
    ASSERT_EQ(bytes.size() % 4, 0u);
    EXPECT_EQ(std::to_integer<char>(bytes[0]), 'G');
    EXPECT_EQ(std::to_integer<char>(bytes[3]), 'X');
    EXPECT_EQ(word(bytes, 8), bytes.size());
}

TEST(EffectContainer, RefusesEveryTruncation) {
    const std::vector<std::byte> whole = writeEffectContainer(sampleEffect());
    for (std::size_t length = 0; length < whole.size(); ++length) {
        // A buffer of exactly `length` bytes, so that the sanitizers see any read past it.
        std::vector<std::byte> prefix(whole.begin(), whole.begin() + length);
        EffectDescription effect;
        EXPECT_FALSE(readEffectContainer(std::span(prefix.data(), prefix.size()), effect))
            << "prefix of " << length << " bytes";
    }
}

TEST(EffectContainer, IgnoresBytesAfterTheContainer) {
    std::vector<std::byte> bytes = writeEffectContainer(sampleEffect());
    bytes.resize(bytes.size() + 7, std::byte{0xCC});
    EffectDescription effect;
    EXPECT_TRUE(read(bytes, effect));
}

TEST(EffectContainer, SurvivesRandomCorruption) {
    const std::vector<std::byte> whole = writeEffectContainer(sampleEffect());
    std::mt19937 random(20240611);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::byte> bytes = whole;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) {
            bytes[random() % bytes.size()] ^= static_cast<std::byte>(1 + random() % 255);
        }
        EffectDescription effect;
        std::string error;
        if (!readEffectContainer(bytes, effect, &error)) {
            ++refused;
            EXPECT_FALSE(error.empty());
        } else {
            // Whatever a corrupted container still passes must itself be well formed.
            EXPECT_TRUE(validateEffect(effect));
        }
    }
    // Most flips hit structure, names or shaders; a few land in defaults or state values.
    EXPECT_GT(refused, 1500);
}

// Corruptions of the layout: each must be refused without reading outside the buffer.
TEST(EffectContainer, RefusesLayoutOutsideTheContainer) {
    const std::vector<std::byte> whole = writeEffectContainer(sampleEffect());
    const std::uint32_t parametersOffset = word(whole, 24);
    const std::uint32_t techniquesOffset = word(whole, 40);
    const std::uint32_t shadersOffset = word(whole, 48);
    const std::uint32_t size = static_cast<std::uint32_t>(whole.size());

    const std::vector<std::pair<const char*, std::function<void(std::vector<std::byte>&)>>>
        corruptions = {
            {"magic", [](auto& b) { putWord(b, 0, 0x46584653u); }},
            {"version", [](auto& b) { putWord(b, 4, 2); }},
            {"total size beyond the data", [&](auto& b) { putWord(b, 8, size + 4); }},
            {"total size below the header", [](auto& b) { putWord(b, 8, 8); }},
            {"string table beyond the end", [&](auto& b) { putWord(b, 16, size); }},
            {"string table offset wraps", [](auto& b) { putWord(b, 12, 0xFFFFFFFCu); }},
            {"parameter table misaligned", [&](auto& b) { putWord(b, 24, parametersOffset + 2); }},
            {"parameter count huge", [](auto& b) { putWord(b, 20, 0xFFFFFFFFu); }},
            {"parameter count past the end", [](auto& b) { putWord(b, 20, 200); }},
            {"parameter name outside strings",
             [&](auto& b) { putWord(b, parametersOffset, 4096); }},
            {"technique pass count huge",
             [&](auto& b) { putWord(b, techniquesOffset + 4, 0x40000000u); }},
            {"technique passes past the end",
             [&](auto& b) { putWord(b, techniquesOffset + 8, size - 8); }},
            {"shader tokens past the end", [&](auto& b) { putWord(b, shadersOffset, 4000); }},
            {"shader tokens offset wraps",
             [&](auto& b) { putWord(b, shadersOffset + 4, 0xFFFFFFF0u); }},
        };
    for (const auto& [what, corrupt] : corruptions) {
        std::vector<std::byte> bytes = whole;
        corrupt(bytes);
        EffectDescription effect;
        EXPECT_FALSE(read(bytes, effect)) << what;
    }
}

TEST(EffectContainer, RefusesAnUnterminatedName) {
    EffectDescription effect = sampleEffect();
    std::vector<std::byte> bytes = writeEffectContainer(effect);
    // Shrink the string table so that it ends just before the last name's terminator.
    const std::uint32_t stringsOffset = word(bytes, 12);
    std::uint32_t end = word(bytes, 16);
    while (std::to_integer<int>(bytes[stringsOffset + end - 1]) == 0) {
        --end;  // padding and the terminator itself
    }
    putWord(bytes, 16, end);
    EffectDescription back;
    EXPECT_FALSE(read(bytes, back));
}

// Meaning: each description lays out fine but breaks a rule that the framework relies on.
TEST(EffectContainer, RefusesEffectsThatBreakTheRules) {
    using Edit = std::function<void(EffectDescription&)>;
    const std::vector<std::pair<const char*, Edit>> edits = {
        {"duplicate parameter", [](auto& e) { e.parameters[1].name = "pos0"; }},
        {"empty parameter name", [](auto& e) { e.parameters[2].name.clear(); }},
        {"unknown class", [](auto& e) { e.parameters[0].parameterClass = ParameterClass{7}; }},
        {"five components", [](auto& e) { e.parameters[0].components = 5; }},
        {"no components", [](auto& e) { e.parameters[0].components = 0; }},
        {"register c32", [](auto& e) { e.parameters[0].constantRegister = 32; }},
        {"two parameters in c1", [](auto& e) { e.parameters[0].constantRegister = 1; }},
        {"texture with a register", [](auto& e) { e.parameters[5].constantRegister = 6; }},
        {"derived over a parameter", [](auto& e) { e.derivedConstants[0].constantRegister = 0; }},
        {"derived from a texture", [](auto& e) { e.derivedConstants[0].parameter = 5; }},
        {"derived from a missing component",
         [](auto& e) { e.derivedConstants[0].parameterComponent = 1; }},
        {"derived component 4", [](auto& e) { e.derivedConstants[0].registerComponent = 4; }},
        {"derived operation",
         [](auto& e) { e.derivedConstants[0].operation = DerivedOperation{9}; }},
        {"no technique", [](auto& e) { e.techniques.clear(); }},
        {"technique without passes", [](auto& e) { e.techniques[0].passes.clear(); }},
        {"duplicate technique", [](auto& e) { e.techniques[1].name = "effect"; }},
        {"duplicate pass", [](auto& e) { e.techniques[0].passes[1].name = "effect0"; }},
        {"missing shader", [](auto& e) { e.techniques[0].passes[1].shader = 2; }},
        {"unknown render state",
         [](auto& e) { e.techniques[0].passes[0].renderStates[0].state = 8; }},
        {"unknown sampler state",
         [](auto& e) { e.techniques[0].passes[0].samplers[0].states[0].state = 13; }},
        {"sampler unit 16", [](auto& e) { e.techniques[0].passes[0].samplers[0].unit = 16; }},
        {"unit bound twice", [](auto& e) { e.techniques[0].passes[0].samplers[1].unit = 0; }},
        {"sampler from a texture",
         [](auto& e) { e.techniques[0].passes[0].samplers[0].samplerParameter = 5; }},
        {"texture from a float",
         [](auto& e) { e.techniques[0].passes[0].samplers[0].textureParameter = 0; }},
        {"texture index out of range",
         [](auto& e) { e.techniques[0].passes[0].samplers[0].textureParameter = 99; }},
        {"vertex shader version", [](auto& e) { e.shaders[0][0] = 0xFFFE0200u; }},
        {"pixel shader 1.4", [](auto& e) { e.shaders[0][0] = 0xFFFF0104u; }},
        {"no end token", [](auto& e) { e.shaders[0].back() = 0; }},
        {"tokens after the end", [](auto& e) { e.shaders[0].push_back(0); }},
        {"instruction longer than the shader", [](auto& e) { e.shaders[0][3] = 0x0F000001u; }},
        {"comment longer than the shader", [](auto& e) { e.shaders[0][1] = 0x0040FFFEu; }},
        {"end token only as an operand",
         [](auto& e) {
             e.shaders[0] = {0xFFFF0200u, 0x01000001u, testing::kEndToken};
         }},
    };
    for (const auto& [what, edit] : edits) {
        EffectDescription effect = sampleEffect();
        edit(effect);
        EXPECT_FALSE(validateEffect(effect)) << what;
        EffectDescription back;
        EXPECT_FALSE(read(writeEffectContainer(effect), back)) << what;
    }
}

}  // namespace
}  // namespace gs::fx
