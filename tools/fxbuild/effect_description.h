// The readable description of an effect that gs-fxbuild turns into a container.
//
// One statement per line; '#' starts a comment; indentation is for the reader only. Keywords and
// state values ignore case, names of parameters, techniques and passes do not.
//
//   parameter <name> float|float2|float3|float4 [register c<n>] [default <v> ...]
//   parameter <name> texture
//   parameter <name> sampler
//       state Texture <texture parameter>        states of the sampler declared last, applied
//       state <sampler state> <value>            in the order written
//   constant c<n>.<x|y|z|w> reciprocal <float parameter>[.<x|y|z|w>]
//   technique <name>
//   pass <name>                                  belongs to the technique declared last
//       renderstate <render state> <value>       applied in the order written
//       pixelshader <file>                       shader assembly, relative to the description
//       sampler <unit> <sampler parameter>
//
// Parameters keep the order in which they are declared. Render states are ZEnable, Lighting,
// AlphaBlendEnable, BlendOp, SrcBlend, DestBlend and CullMode; sampler states AddressU, AddressV,
// AddressW, BorderColor, MagFilter, MinFilter and MipFilter. Values are numbers or the names of
// the state's values (False, True; Add, Subtract, ...; Zero, One, SrcAlpha, ...; None, CW, CCW;
// Wrap, Mirror, Clamp, Border, MirrorOnce; None, Point, Linear).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "fx/effect_container.h"

namespace gs::fx::tools {

struct EffectSource {
    // Everything but the shaders' tokens: effect.shaders stays empty.
    EffectDescription effect;
    // The pixel-shader files, one per shader index, in the order passes first name them.
    std::vector<std::string> shaderFiles;
};

struct DescriptionError {
    int line = 0;  // 1-based
    std::string message;
};

// Parses a description. On failure describes the first problem and returns false.
bool parseEffectDescription(std::string_view text, EffectSource& source, DescriptionError& error);

}  // namespace gs::fx::tools
