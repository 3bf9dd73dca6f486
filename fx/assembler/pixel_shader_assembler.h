// Assembler for pixel shader model 2.0 ("ps_2_0") assembly text.
//
// It turns the readable form of a pixel shader into the token stream that Direct3D 9's
// CreatePixelShader takes and that our software device interprets: the same bytes run on both.
// It is a build tool: the effect container writer links it, and gs-psasm wraps it for people.
//
// The token stream
// ----------------
// A shader is a sequence of 32-bit little-endian tokens:
//
//   version token   0xFFFF0200: 0xFFFF marks a pixel shader, then major 2 and minor 0.
//   instructions    each an instruction token followed by its operand tokens.
//   end token       0x0000FFFF.
//
// An instruction token holds the opcode in bits 0-15 (mov 1, add 2, texld 66, def 81, ...),
// opcode-specific controls in bits 16-23, and in bits 24-27 how many tokens follow it (shader
// model 2 made instructions self-sized, so a reader can skip what it does not know). Bit 31 is
// always clear; every parameter token has it set.
//
// A parameter token names a register: its number in bits 0-10 and its type in five bits split
// between bits 28-30 (low three) and 11-12 (high two): r# temporaries are type 0, v# colours 1,
// c# constants 2, t# texture coordinates 3, oC# colour outputs 8, s# samplers 10.
//   - A destination parameter adds the write mask in bits 16-19 (x, y, z, w) and result
//     modifiers in bits 20-23 (1 = _sat, clamp to [0, 1]; 2 = _pp, partial precision allowed).
//   - A source parameter adds the swizzle in bits 16-23, two bits per result component naming the
//     source component it takes (.xyzw is 0xE4), and a modifier in bits 24-27 (1 = negate).
//
// Most instructions are one destination followed by their sources in the order written. Two are
// special:
//   dcl     a declaration token, then the declared register as a destination. For t# and v# the
//           declaration token is 0x80000000 and the write mask lists the components the shader
//           may read; for s# bits 27-30 give the texture type (2 = 2D).
//   def     a c# destination with all components, then the four floats as their IEEE bit patterns.
//
// Worked encodings:
//   ps_2_0                      FFFF0200
//   dcl t0.xyz                  0200001F 80000000 B0070000
//   dcl_2d s0                   0200001F 90000000 A00F0800
//   def c0, 0.5, 0.45, 0, 0     05000051 A00F0000 3F000000 3EE66666 00000000 00000000
//   texld r0, t0, s0            03000042 800F0000 B0E40000 A0E40800
//   mul_sat r1.xyz, -r0.wzyx, c0  03000005 80170001 811B0000 A0E40000
//   mov oC0, r0                 02000001 800F0800 80E40000
//   (end)                       0000FFFF
//
// ps_2_0 itself restricts what may be written: 12 temporaries, 32 constants, 8 texture
// coordinates, 2 colours, 16 samplers; at most 64 arithmetic and 32 texture instruction slots;
// swizzles limited to .xyzw, the replicates .x/.y/.z/.w and .yzxw, .zxyw, .wzyx; inputs and
// samplers declared before use; oC0 written exactly once, by mov. The assembler checks its output
// against these rules (render/shader/pixel_shader_validator.h) and reports a break of them at the
// line that caused it.
//
// The text
// --------
// One statement per line; comments run from // or ; to the end of the line; case does not matter.
// The first statement is ps_2_0. Then dcl, dcl_2d and def, then the instructions nop, mov, add,
// sub, mul, mad, dp3, dp4, rcp, rsq, exp, log, pow, abs, nrm, frc, min, max, cmp, lrp and texld,
// each optionally suffixed _sat and/or _pp. Destinations take write masks (r0.xyz, r0.rgb),
// sources a leading minus and swizzles (-c0.wzyx; .xy means .xyyy).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gs::fx {

// The token type, without the platform headers: this library also builds as a native build tool.
using DWORD = std::uint32_t;

struct AssemblyError {
    int line;  // 1-based line of the statement at fault
    std::string message;
};

// Assembles `source` into `tokens` (replacing their contents) and returns true, or leaves `tokens`
// empty, describes the first problem in `error` and returns false. Throws only std::bad_alloc.
bool assemblePixelShader(std::string_view source, std::vector<DWORD>& tokens, AssemblyError& error);

}  // namespace gs::fx
