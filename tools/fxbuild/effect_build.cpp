#include "tools/fxbuild/effect_build.h"

#include <fstream>
#include <sstream>

#include "fx/assembler/pixel_shader_assembler.h"
#include "fx/effect_container_writer.h"
#include "render/shader/pixel_shader_validator.h"
#include "tools/fxbuild/effect_description.h"

namespace gs::fx::tools {
namespace {

bool readText(const std::filesystem::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::stringstream contents;
    contents << in.rdbuf();
    text = contents.str();
    return true;
}

// Constant registers the effect writes: float parameters and derived constants.
std::uint32_t registersWritten(const EffectDescription& effect) {
    std::uint32_t mask = 0;
    for (const ParameterDescription& p : effect.parameters) {
        if (p.parameterClass == ParameterClass::Float && p.constantRegister < 32) {
            mask |= 1u << p.constantRegister;
        }
    }
    for (const DerivedConstantDescription& d : effect.derivedConstants) {
        if (d.constantRegister < 32) {
            mask |= 1u << d.constantRegister;
        }
    }
    return mask;
}

// A shader must find every constant it reads without defining it, and every sampler it declares,
// provided by the effect and its pass; otherwise it would read whatever the device last held.
bool checkPassFitsItsShader(const EffectDescription& effect, const PassDescription& pass,
                            const render::shader::PixelShaderDescription& shader,
                            std::string& problem) {
    std::uint32_t defined = 0;
    for (const auto& constant : shader.constants) {
        defined |= 1u << constant.number;
    }
    const std::uint32_t provided = registersWritten(effect);
    for (const auto& instruction : shader.instructions) {
        for (std::uint8_t s = 0; s < instruction.sourceCount; ++s) {
            const auto& source = instruction.sources[s];
            if (source.type == render::shader::RegisterType::Const &&
                (defined & (1u << source.number)) == 0 && (provided & (1u << source.number)) == 0) {
                problem = "reads c" + std::to_string(source.number) +
                          ", which neither the shader nor the effect sets";
                return false;
            }
        }
    }
    std::uint32_t bound = 0;
    for (const SamplerBindingDescription& binding : pass.samplers) {
        bound |= 1u << binding.unit;
    }
    for (unsigned unit = 0; unit < render::shader::limits::kSamplers; ++unit) {
        if ((shader.samplers & (1u << unit)) != 0 && (bound & (1u << unit)) == 0) {
            problem = "declares s" + std::to_string(unit) + ", which pass '" + pass.name +
                      "' does not bind";
            return false;
        }
    }
    return true;
}

}  // namespace

bool buildEffectContainer(const std::filesystem::path& description,
                          std::vector<std::byte>& container, std::string& error) {
    const std::string where = description.string();
    std::string text;
    if (!readText(description, text)) {
        error = where + ": cannot read";
        return false;
    }
    EffectSource source;
    DescriptionError descriptionError;
    if (!parseEffectDescription(text, source, descriptionError)) {
        error =
            where + ":" + std::to_string(descriptionError.line) + ": " + descriptionError.message;
        return false;
    }

    EffectDescription& effect = source.effect;
    std::vector<render::shader::PixelShaderDescription> decoded;
    for (const std::string& file : source.shaderFiles) {
        const std::filesystem::path path = description.parent_path() / file;
        std::string assembly;
        if (!readText(path, assembly)) {
            error = path.string() + ": cannot read";
            return false;
        }
        std::vector<DWORD> tokens;
        AssemblyError assemblyError;
        if (!assemblePixelShader(assembly, tokens, assemblyError)) {
            error = path.string() + ":" + std::to_string(assemblyError.line) + ": " +
                    assemblyError.message;
            return false;
        }
        render::shader::PixelShaderDescription shader;
        render::shader::ValidationError validationError;
        if (!render::shader::validatePixelShader(tokens.data(), tokens.size(), shader,
                                                 validationError)) {
            error = path.string() + ": " + validationError.message;
            return false;
        }
        effect.shaders.emplace_back(tokens.begin(), tokens.end());
        decoded.push_back(std::move(shader));
    }

    std::string problem;
    if (!validateEffect(effect, &problem)) {
        error = where + ": " + problem;
        return false;
    }
    for (const TechniqueDescription& technique : effect.techniques) {
        for (const PassDescription& pass : technique.passes) {
            if (!checkPassFitsItsShader(effect, pass, decoded[pass.shader], problem)) {
                error = (description.parent_path() / source.shaderFiles[pass.shader]).string() +
                        ": " + problem;
                return false;
            }
        }
    }
    container = writeEffectContainer(effect);
    return true;
}

}  // namespace gs::fx::tools
