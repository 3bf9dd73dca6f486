// The compiled effect container: the binary form in which an effect travels from the build
// (tools/fxbuild writes it from effect/) into the module (createEffect reads it).
//
// Layout. Every field is a little-endian 32-bit word; every table starts at a multiple of 4 bytes
// from the start of the container. Offsets count bytes from the start of the container.
//
//   Header (13 words)
//     magic            kMagic ("GSFX")
//     version          kVersion
//     totalSize        bytes in the container, header included; data past it is ignored
//     stringsOffset    the string table: names, each NUL-terminated, referred to by their
//     stringsSize        offset inside the table
//     parameterCount, parametersOffset     Parameter records
//     derivedCount, derivedOffset          DerivedConstant records
//     techniqueCount, techniquesOffset     Technique records
//     shaderCount, shadersOffset           Shader records
//
//   Parameter (8 words)        name, class, components, register, default[4]
//     Float parameters have 1 to 4 components and name the constant register (c0..c31) whose
//     first components hold them, or kNoIndex when only derived constants read them. Defaults
//     are IEEE single-precision bit patterns. Textures and samplers: 0 components, kNoIndex
//     register, defaults ignored.
//
//   DerivedConstant (5 words)  operation, parameter, parameterComponent, register,
//                              registerComponent
//     One component of a constant register computed from one component of a float parameter
//     when changes are committed (kReciprocal: 1 / value), so that pixels multiply instead of
//     divide.
//
//   Technique (3 words)        name, passCount, passesOffset
//   Pass (6 words)             name, shader, renderStateCount, renderStatesOffset,
//                              samplerCount, samplersOffset
//   StateAssignment (2 words)  state, value (render states: D3DRENDERSTATETYPE and its value;
//                              sampler states: D3DSAMPLERSTATETYPE and its value)
//   SamplerBinding (5 words)   unit, samplerParameter, textureParameter, stateCount,
//                              statesOffset
//     The sampler unit's texture is whatever the texture parameter holds when the pass begins
//     or changes are committed; the states follow in the order they are applied.
//   Shader (2 words)           tokenCount, tokensOffset: a pixel-shader 2.x token stream,
//                              version token first, end token last
//
// Parameters, techniques and shaders are referred to by their index in their table.
//
// Reading checks every count and offset against the container's size before it is used, and
// then the meaning (see validateEffect); a container that fails either is refused as a whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gs::fx {

namespace container {

constexpr std::uint32_t kMagic = 0x58465347u;  // "GSFX"
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

constexpr std::size_t kHeaderWords = 13;
constexpr std::size_t kParameterWords = 8;
constexpr std::size_t kDerivedConstantWords = 5;
constexpr std::size_t kTechniqueWords = 3;
constexpr std::size_t kPassWords = 6;
constexpr std::size_t kStateAssignmentWords = 2;
constexpr std::size_t kSamplerBindingWords = 5;
constexpr std::size_t kShaderWords = 2;

// Limits far above what an effect needs; they bound what a corrupted container can make the
// reader allocate.
constexpr std::uint32_t kMaxParameters = 256;
constexpr std::uint32_t kMaxDerivedConstants = 64;
constexpr std::uint32_t kMaxTechniques = 16;
constexpr std::uint32_t kMaxPassesPerTechnique = 16;
constexpr std::uint32_t kMaxRenderStatesPerPass = 64;
constexpr std::uint32_t kMaxStatesPerSampler = 16;
constexpr std::uint32_t kMaxShaders = 64;
constexpr std::uint32_t kMaxShaderTokens = 16384;

// Constant registers and sampler units of a pixel shader 2.0 device.
constexpr std::uint32_t kConstantRegisters = 32;
constexpr std::uint32_t kSamplerUnits = 16;

}  // namespace container

enum class ParameterClass : std::uint32_t { Float = 1, Texture = 2, Sampler = 3 };

enum class DerivedOperation : std::uint32_t { Reciprocal = 1 };

struct ParameterDescription {
    std::string name;
    ParameterClass parameterClass = ParameterClass::Float;
    std::uint32_t components = 0;
    std::uint32_t constantRegister = container::kNoIndex;
    std::array<float, 4> defaults{};
};

struct DerivedConstantDescription {
    DerivedOperation operation = DerivedOperation::Reciprocal;
    std::uint32_t parameter = 0;
    std::uint32_t parameterComponent = 0;
    std::uint32_t constantRegister = 0;
    std::uint32_t registerComponent = 0;
};

struct StateAssignment {
    std::uint32_t state = 0;
    std::uint32_t value = 0;
};

struct SamplerBindingDescription {
    std::uint32_t unit = 0;
    std::uint32_t samplerParameter = 0;
    std::uint32_t textureParameter = 0;
    std::vector<StateAssignment> states;
};

struct PassDescription {
    std::string name;
    std::uint32_t shader = 0;
    std::vector<StateAssignment> renderStates;
    std::vector<SamplerBindingDescription> samplers;
};

struct TechniqueDescription {
    std::string name;
    std::vector<PassDescription> passes;
};

// An effect as the container carries it.
struct EffectDescription {
    std::vector<ParameterDescription> parameters;
    std::vector<DerivedConstantDescription> derivedConstants;
    std::vector<TechniqueDescription> techniques;
    std::vector<std::vector<std::uint32_t>> shaders;
};

// Parses and validates a container. On failure returns false, leaves `effect` unspecified and,
// when `error` is given, says what was wrong. Reads nothing outside `bytes`.
bool readEffectContainer(std::span<const std::byte> bytes, EffectDescription& effect,
                         std::string* error = nullptr);

// The rules a well-formed effect keeps beyond the layout: unique non-empty names, parameter
// classes that fit where they are used, constant registers and sampler units in range and not
// claimed twice, states the device contract knows, at least one technique and one pass each,
// shader indices in range and each shader a complete pixel-shader 2.x token stream.
bool validateEffect(const EffectDescription& effect, std::string* error = nullptr);

// Walks a shader token stream instruction by instruction: a pixel-shader 2.x version token, then
// instructions and comments whose lengths stay inside the stream, then the end token as its last
// token. Whoever later reads the stream up to its end token therefore stays inside it.
bool isCompletePixelShader(std::span<const std::uint32_t> tokens);

}  // namespace gs::fx
