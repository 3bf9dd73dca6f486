// Shader-model-2.0 token streams written by hand, the form the renderer's effect hands to
// CreatePixelShader.
#pragma once

#include <d3d9.h>

#include <array>
#include <bit>

namespace gs::render::d3d9::testing {

constexpr DWORD instruction(D3DSHADER_INSTRUCTION_OPCODE_TYPE opcode, DWORD operandTokens) {
    return static_cast<DWORD>(opcode) | (operandTokens << D3DSI_INSTLENGTH_SHIFT);
}

// The register type is split over two fields of the token.
constexpr DWORD registerToken(D3DSHADER_PARAM_REGISTER_TYPE type, DWORD index) {
    const auto t = static_cast<DWORD>(type);
    return 0x80000000u | ((t << D3DSP_REGTYPE_SHIFT) & D3DSP_REGTYPE_MASK) |
           ((t << D3DSP_REGTYPE_SHIFT2) & D3DSP_REGTYPE_MASK2) | index;
}
constexpr DWORD destination(D3DSHADER_PARAM_REGISTER_TYPE type, DWORD index,
                            DWORD mask = D3DSP_WRITEMASK_ALL) {
    return registerToken(type, index) | mask;
}
constexpr DWORD source(D3DSHADER_PARAM_REGISTER_TYPE type, DWORD index) {
    return registerToken(type, index) | D3DSP_NOSWIZZLE;
}

// ps_2_0
//   def c0, scale.x, scale.y, scale.z, scale.w   (left out when `defineScale` is false: c0 is
//                                                 then whatever SetPixelShaderConstantF set)
//   dcl t0.xy
//   mul r0, t0, c0
//   mov oC0, r0
using ScaleShader = std::array<DWORD, 18>;
constexpr ScaleShader scaleShader(float x, float y, float z, float w, bool defineScale = true) {
    ScaleShader tokens{};
    std::size_t n = 0;
    tokens[n++] = D3DPS_VERSION(2, 0);
    if (defineScale) {
        tokens[n++] = instruction(D3DSIO_DEF, 5);
        tokens[n++] = destination(D3DSPR_CONST, 0);
        tokens[n++] = std::bit_cast<DWORD>(x);
        tokens[n++] = std::bit_cast<DWORD>(y);
        tokens[n++] = std::bit_cast<DWORD>(z);
        tokens[n++] = std::bit_cast<DWORD>(w);
    }
    tokens[n++] = instruction(D3DSIO_DCL, 2);
    tokens[n++] = 0x80000000u;  // no usage: a texture coordinate of ps_2_0
    tokens[n++] = destination(D3DSPR_TEXTURE, 0, D3DSP_WRITEMASK_0 | D3DSP_WRITEMASK_1);
    tokens[n++] = instruction(D3DSIO_MUL, 3);
    tokens[n++] = destination(D3DSPR_TEMP, 0);
    tokens[n++] = source(D3DSPR_TEXTURE, 0);
    tokens[n++] = source(D3DSPR_CONST, 0);
    tokens[n++] = instruction(D3DSIO_MOV, 2);
    tokens[n++] = destination(D3DSPR_COLOROUT, 0);
    tokens[n++] = source(D3DSPR_TEMP, 0);
    tokens[n++] = D3DPS_END();
    return tokens;
}

static_assert(scaleShader(0, 0, 0, 0)[0] == 0xFFFF0200u &&
                  scaleShader(0, 0, 0, 0)[2] == 0xA00F0000u &&
                  scaleShader(0, 0, 0, 0)[9] == 0xB0030000u &&
                  scaleShader(0, 0, 0, 0)[15] == 0x800F0800u &&
                  scaleShader(0, 0, 0, 0)[17] == 0x0000FFFFu,
              "the encoding of def c0, dcl t0.xy and oC0");

}  // namespace gs::render::d3d9::testing
