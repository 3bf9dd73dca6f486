#include "tools/fxbuild/effect_description.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <map>
#include <optional>

#include "render/device.h"

namespace gs::fx::tools {
namespace {

using render::Blend;
using render::BlendOp;
using render::Cull;
using render::RenderStateType;
using render::SamplerState;
using render::TextureAddress;
using render::TextureFilter;

struct NamedValue {
    std::string_view name;
    std::uint32_t value;
};

template <typename E>
constexpr std::uint32_t value(E e) {
    return static_cast<std::uint32_t>(e);
}

constexpr NamedValue kBooleans[] = {{"false", 0}, {"true", 1}};
constexpr NamedValue kBlendOps[] = {{"add", value(BlendOp::Add)},
                                    {"subtract", value(BlendOp::Subtract)},
                                    {"revsubtract", value(BlendOp::RevSubtract)},
                                    {"min", value(BlendOp::Min)},
                                    {"max", value(BlendOp::Max)}};
constexpr NamedValue kBlends[] = {
    {"zero", value(Blend::Zero)},           {"one", value(Blend::One)},
    {"srccolor", value(Blend::SrcColor)},   {"invsrccolor", value(Blend::InvSrcColor)},
    {"srcalpha", value(Blend::SrcAlpha)},   {"invsrcalpha", value(Blend::InvSrcAlpha)},
    {"destalpha", value(Blend::DestAlpha)}, {"invdestalpha", value(Blend::InvDestAlpha)},
    {"destcolor", value(Blend::DestColor)}, {"invdestcolor", value(Blend::InvDestColor)}};
constexpr NamedValue kCulls[] = {{"none", value(Cull::None)},
                                 {"cw", value(Cull::Clockwise)},
                                 {"ccw", value(Cull::CounterClockwise)}};
constexpr NamedValue kAddresses[] = {{"wrap", value(TextureAddress::Wrap)},
                                     {"mirror", value(TextureAddress::Mirror)},
                                     {"clamp", value(TextureAddress::Clamp)},
                                     {"border", value(TextureAddress::Border)},
                                     {"mirroronce", value(TextureAddress::MirrorOnce)}};
constexpr NamedValue kFilters[] = {{"none", value(TextureFilter::None)},
                                   {"point", value(TextureFilter::Point)},
                                   {"linear", value(TextureFilter::Linear)}};

// A state, its number and the names its values go by (none: numbers only).
struct StateKind {
    std::string_view name;
    std::uint32_t state;
    std::span<const NamedValue> values;
};

const StateKind kRenderStates[] = {
    {"zenable", value(RenderStateType::ZEnable), kBooleans},
    {"lighting", value(RenderStateType::Lighting), kBooleans},
    {"alphablendenable", value(RenderStateType::AlphaBlendEnable), kBooleans},
    {"blendop", value(RenderStateType::BlendOp), kBlendOps},
    {"srcblend", value(RenderStateType::SrcBlend), kBlends},
    {"destblend", value(RenderStateType::DestBlend), kBlends},
    {"cullmode", value(RenderStateType::CullMode), kCulls},
};

const StateKind kSamplerStates[] = {
    {"addressu", value(SamplerState::AddressU), kAddresses},
    {"addressv", value(SamplerState::AddressV), kAddresses},
    {"addressw", value(SamplerState::AddressW), kAddresses},
    {"bordercolor", value(SamplerState::BorderColor), {}},
    {"magfilter", value(SamplerState::MagFilter), kFilters},
    {"minfilter", value(SamplerState::MinFilter), kFilters},
    {"mipfilter", value(SamplerState::MipFilter), kFilters},
};

// Joins message pieces by appending: GCC 12 warns falsely (-Wrestrict) on "text" + std::string.
std::string message(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (std::string_view piece : pieces) {
        out.append(piece);
    }
    return out;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) {
            ++at;
        }
        const std::size_t start = at;
        while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) {
            ++at;
        }
        if (at > start) {
            out.push_back(line.substr(start, at - start));
        }
    }
    return out;
}

std::optional<std::uint32_t> parseInteger(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint32_t result = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result, base);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return result;
}

std::optional<float> parseFloat(std::string_view text) {
    float result = 0.0f;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return result;
}

std::optional<std::uint32_t> parseComponent(std::string_view text) {
    static constexpr std::string_view kComponents = "xyzw";
    if (text.size() != 1) {
        return std::nullopt;
    }
    const std::size_t at = kComponents.find(static_cast<char>(std::tolower(text[0])));
    return at == std::string_view::npos
               ? std::nullopt
               : std::optional<std::uint32_t>(static_cast<std::uint32_t>(at));
}

// "c12" -> 12.
std::optional<std::uint32_t> parseConstantRegister(std::string_view text) {
    if (text.size() < 2 || (text[0] != 'c' && text[0] != 'C')) {
        return std::nullopt;
    }
    return parseInteger(text.substr(1));
}

const StateKind* findState(std::span<const StateKind> kinds, std::string_view name) {
    const std::string key = lower(name);
    for (const StateKind& kind : kinds) {
        if (kind.name == key) {
            return &kind;
        }
    }
    return nullptr;
}

std::optional<std::uint32_t> parseStateValue(const StateKind& kind, std::string_view text) {
    const std::string key = lower(text);
    for (const NamedValue& named : kind.values) {
        if (named.name == key) {
            return named.value;
        }
    }
    return parseInteger(text);
}

// A sampler parameter's states as declared, copied into each pass that binds it.
struct SamplerDeclaration {
    std::optional<std::uint32_t> texture;
    std::vector<StateAssignment> states;
};

class DescriptionParser {
public:
    DescriptionParser(EffectSource& source, DescriptionError& error)
        : source_(source), effect_(source.effect), error_(error) {}

    bool parse(std::string_view text) {
        source_ = EffectSource{};
        int lineNumber = 0;
        while (!text.empty()) {
            ++lineNumber;
            const std::size_t newline = text.find('\n');
            std::string_view line = text.substr(0, newline);
            text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
            line = line.substr(0, line.find('#'));
            const std::vector<std::string_view> w = words(line);
            if (!w.empty() && !statement(w)) {
                error_.line = lineNumber;
                return false;
            }
        }
        error_.line = lineNumber;
        return finishPass();
    }

private:
    bool fail(std::string message) {
        error_.message = std::move(message);
        return false;
    }

    bool statement(const std::vector<std::string_view>& w) {
        const std::string keyword = lower(w[0]);
        const bool isSamplerState = keyword == "state";
        if (!isSamplerState) {
            sampler_ = nullptr;
        }
        if (keyword == "parameter") {
            return parameter(w);
        }
        if (keyword == "state") {
            return samplerState(w);
        }
        if (keyword == "constant") {
            return constant(w);
        }
        if (keyword == "technique") {
            return technique(w);
        }
        if (keyword == "pass") {
            return pass(w);
        }
        if (keyword == "renderstate") {
            return renderState(w);
        }
        if (keyword == "pixelshader") {
            return pixelShader(w);
        }
        if (keyword == "sampler") {
            return samplerBinding(w);
        }
        return fail(message({"unknown statement '", w[0], "'"}));
    }

    std::optional<std::uint32_t> findParameter(std::string_view name) const {
        for (std::size_t p = 0; p < effect_.parameters.size(); ++p) {
            if (effect_.parameters[p].name == name) {
                return static_cast<std::uint32_t>(p);
            }
        }
        return std::nullopt;
    }

    std::optional<std::uint32_t> findParameter(std::string_view name, ParameterClass wanted) const {
        const auto p = findParameter(name);
        if (p && effect_.parameters[*p].parameterClass == wanted) {
            return p;
        }
        return std::nullopt;
    }

    bool parameter(const std::vector<std::string_view>& w) {
        if (w.size() < 3) {
            return fail("expected: parameter <name> <type> ...");
        }
        if (findParameter(w[1])) {
            return fail(message({"parameter '", w[1], "' declared twice"}));
        }
        ParameterDescription p;
        p.name = w[1];
        const std::string type = lower(w[2]);
        if (type == "texture" || type == "sampler") {
            if (w.size() != 3) {
                return fail(message({"a ", type, " parameter takes no register or default"}));
            }
            p.parameterClass =
                type == "texture" ? ParameterClass::Texture : ParameterClass::Sampler;
            effect_.parameters.push_back(p);
            if (p.parameterClass == ParameterClass::Sampler) {
                samplers_[effect_.parameters.size() - 1] = {};
                sampler_ = &samplers_[effect_.parameters.size() - 1];
            }
            return true;
        }
        static constexpr std::string_view kFloatTypes[] = {"float", "float2", "float3", "float4"};
        const auto* found = std::find(std::begin(kFloatTypes), std::end(kFloatTypes), type);
        if (found == std::end(kFloatTypes)) {
            return fail(message({"unknown parameter type '", w[2], "'"}));
        }
        p.parameterClass = ParameterClass::Float;
        p.components = static_cast<std::uint32_t>(found - std::begin(kFloatTypes)) + 1;

        std::size_t at = 3;
        if (at < w.size() && lower(w[at]) == "register") {
            const auto r = at + 1 < w.size() ? parseConstantRegister(w[at + 1]) : std::nullopt;
            if (!r) {
                return fail("expected a constant register such as c0 after 'register'");
            }
            p.constantRegister = *r;
            at += 2;
        }
        if (at < w.size() && lower(w[at]) == "default") {
            ++at;
            if (w.size() - at != p.components) {
                return fail(message({"parameter '", p.name, "' needs ",
                                     std::to_string(p.components), " default value(s)"}));
            }
            for (std::uint32_t c = 0; c < p.components; ++c, ++at) {
                const auto v = parseFloat(w[at]);
                if (!v) {
                    return fail(message({"not a number: '", w[at], "'"}));
                }
                p.defaults[c] = *v;
            }
        }
        if (at != w.size()) {
            return fail(message({"unexpected '", w[at], "'"}));
        }
        effect_.parameters.push_back(p);
        return true;
    }

    bool samplerState(const std::vector<std::string_view>& w) {
        if (sampler_ == nullptr) {
            return fail("'state' belongs right after a sampler parameter");
        }
        if (w.size() != 3) {
            return fail("expected: state <sampler state> <value>");
        }
        if (lower(w[1]) == "texture") {
            const auto texture = findParameter(w[2], ParameterClass::Texture);
            if (!texture) {
                return fail(message({"'", w[2], "' is no texture parameter"}));
            }
            if (sampler_->texture) {
                return fail("the sampler's texture is set twice");
            }
            sampler_->texture = *texture;
            return true;
        }
        const StateKind* kind = findState(kSamplerStates, w[1]);
        if (kind == nullptr) {
            return fail(message({"unknown sampler state '", w[1], "'"}));
        }
        const auto v = parseStateValue(*kind, w[2]);
        if (!v) {
            return fail(message({"unknown value '", w[2], "' for ", w[1]}));
        }
        sampler_->states.push_back({kind->state, *v});
        return true;
    }

    bool constant(const std::vector<std::string_view>& w) {
        if (w.size() != 4 || lower(w[2]) != "reciprocal") {
            return fail("expected: constant c<n>.<component> reciprocal <parameter>");
        }
        const std::size_t dot = w[1].find('.');
        const auto r = parseConstantRegister(w[1].substr(0, dot));
        const auto c =
            dot == std::string_view::npos ? std::nullopt : parseComponent(w[1].substr(dot + 1));
        if (!r || !c) {
            return fail(message({"expected a register component such as c4.x, not '", w[1], "'"}));
        }
        const std::size_t sourceDot = w[3].find('.');
        const auto p = findParameter(w[3].substr(0, sourceDot), ParameterClass::Float);
        const auto sc = sourceDot == std::string_view::npos
                            ? std::optional<std::uint32_t>(0)
                            : parseComponent(w[3].substr(sourceDot + 1));
        if (!p || !sc) {
            return fail(message({"'", w[3], "' is no float parameter component"}));
        }
        effect_.derivedConstants.push_back({DerivedOperation::Reciprocal, *p, *sc, *r, *c});
        return true;
    }

    bool technique(const std::vector<std::string_view>& w) {
        if (w.size() != 2) {
            return fail("expected: technique <name>");
        }
        if (!finishPass()) {
            return false;
        }
        effect_.techniques.push_back({std::string(w[1]), {}});
        return true;
    }

    bool pass(const std::vector<std::string_view>& w) {
        if (w.size() != 2) {
            return fail("expected: pass <name>");
        }
        if (effect_.techniques.empty()) {
            return fail("a pass belongs inside a technique");
        }
        if (!finishPass()) {
            return false;
        }
        effect_.techniques.back().passes.push_back({std::string(w[1]), 0, {}, {}});
        pass_ = &effect_.techniques.back().passes.back();
        hasShader_ = false;
        return true;
    }

    // A pass needs its shader; checked when the next pass, technique or the end comes.
    bool finishPass() {
        if (pass_ != nullptr && !hasShader_) {
            return fail(message({"pass '", pass_->name, "' has no pixelshader"}));
        }
        pass_ = nullptr;
        return true;
    }

    bool renderState(const std::vector<std::string_view>& w) {
        if (pass_ == nullptr) {
            return fail("'renderstate' belongs inside a pass");
        }
        if (w.size() != 3) {
            return fail("expected: renderstate <state> <value>");
        }
        const StateKind* kind = findState(kRenderStates, w[1]);
        if (kind == nullptr) {
            return fail(message({"unknown render state '", w[1], "'"}));
        }
        const auto v = parseStateValue(*kind, w[2]);
        if (!v) {
            return fail(message({"unknown value '", w[2], "' for ", w[1]}));
        }
        pass_->renderStates.push_back({kind->state, *v});
        return true;
    }

    bool pixelShader(const std::vector<std::string_view>& w) {
        if (pass_ == nullptr) {
            return fail("'pixelshader' belongs inside a pass");
        }
        if (w.size() != 2) {
            return fail("expected: pixelshader <file>");
        }
        if (hasShader_) {
            return fail(message({"pass '", pass_->name, "' has two pixel shaders"}));
        }
        std::vector<std::string>& files = source_.shaderFiles;
        const auto found = std::find(files.begin(), files.end(), w[1]);
        pass_->shader = static_cast<std::uint32_t>(found - files.begin());
        if (found == files.end()) {
            files.emplace_back(w[1]);
        }
        hasShader_ = true;
        return true;
    }

    bool samplerBinding(const std::vector<std::string_view>& w) {
        if (pass_ == nullptr) {
            return fail("'sampler' belongs inside a pass");
        }
        const auto unit = w.size() == 3 ? parseInteger(w[1]) : std::nullopt;
        if (!unit) {
            return fail("expected: sampler <unit> <sampler parameter>");
        }
        const auto sampler = findParameter(w[2], ParameterClass::Sampler);
        if (!sampler) {
            return fail(message({"'", w[2], "' is no sampler parameter"}));
        }
        const SamplerDeclaration& declaration = samplers_.at(*sampler);
        if (!declaration.texture) {
            return fail(message({"sampler '", w[2], "' has no 'state Texture'"}));
        }
        pass_->samplers.push_back({*unit, *sampler, *declaration.texture, declaration.states});
        return true;
    }

    EffectSource& source_;
    EffectDescription& effect_;
    DescriptionError& error_;
    std::map<std::size_t, SamplerDeclaration> samplers_;
    SamplerDeclaration* sampler_ = nullptr;
    PassDescription* pass_ = nullptr;
    bool hasShader_ = false;
};

}  // namespace

bool parseEffectDescription(std::string_view text, EffectSource& source, DescriptionError& error) {
    return DescriptionParser(source, error).parse(text);
}

}  // namespace gs::fx::tools
