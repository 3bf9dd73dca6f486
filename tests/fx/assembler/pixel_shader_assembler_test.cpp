#include "fx/assembler/pixel_shader_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gs::fx {
namespace {

using Tokens = std::vector<DWORD>;

Tokens assembleOrFail(const std::string& source) {
    Tokens tokens;
    AssemblyError error{0, ""};
    EXPECT_TRUE(assemblePixelShader(source, tokens, error))
        << "line " << error.line << ": " << error.message;
    return tokens;
}

// The encodings written out by hand from the token format, independently of the assembler.
TEST(PixelShaderAssembler, EncodesADocumentedShaderTokenForToken) {
    const Tokens tokens = assembleOrFail(R"(
        ps_2_0
        dcl t0.xyz
        dcl_2d s0
        def c0, 0.5, 0.45, 0, 0
        texld r0, t0, s0
        mul_sat r1.xyz, -r0.wzyx, c0
        mov oC0, r0
    )");
    const Tokens expected = {
        0xFFFF0200,                                                // ps_2_0
        0x0200001F, 0x80000000, 0xB0070000,                        // dcl t0.xyz
        0x0200001F, 0x90000000, 0xA00F0800,                        // dcl_2d s0
        0x05000051, 0xA00F0000, 0x3F000000, 0x3EE66666, 0x0, 0x0,  // def c0
        0x03000042, 0x800F0000, 0xB0E40000, 0xA0E40800,            // texld r0, t0, s0
        0x03000005, 0x80170001, 0x811B0000, 0xA0E40000,            // mul_sat r1.xyz, -r0.wzyx, c0
        0x02000001, 0x800F0800, 0x80E40000,                        // mov oC0, r0
        0x0000FFFF,
    };
    EXPECT_EQ(tokens, expected);
}

// Each statement is placed in a shader whose prelude declares and initialises what it reads; the
// tokens it produced are then picked out from between the prelude and the final mov.
struct EncodingCase {
    const char* statement;
    Tokens expected;
};

class InstructionEncoding : public testing::TestWithParam<EncodingCase> {};

TEST_P(InstructionEncoding, MatchesHandEncodedTokens) {
    const std::string prelude =
        "ps_2_0\n"
        "dcl t0\n"
        "dcl v0\n"
        "dcl_2d s0\n"
        "def c0, 1, 2, 3, 4\n"
        "mov r0, t0\n"
        "mov r1, v0\n";
    const Tokens preludeTokens = assembleOrFail(prelude + "mov oC0, r0\n");
    const Tokens tokens = assembleOrFail(prelude + GetParam().statement + "\nmov oC0, r0\n");
    // Prelude without its last four tokens (mov oC0, r0 and the end token).
    const std::size_t start = preludeTokens.size() - 4;
    ASSERT_GE(tokens.size(), preludeTokens.size());
    const Tokens statement(tokens.begin() + static_cast<std::ptrdiff_t>(start), tokens.end() - 4);
    EXPECT_EQ(statement, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryInstruction, InstructionEncoding,
    testing::Values(
        EncodingCase{"add r2, r0, r1", {0x03000002, 0x800F0002, 0x80E40000, 0x80E40001}},
        EncodingCase{"sub r2, r0, -r1", {0x03000003, 0x800F0002, 0x80E40000, 0x81E40001}},
        EncodingCase{"mul r2, r0, c0", {0x03000005, 0x800F0002, 0x80E40000, 0xA0E40000}},
        EncodingCase{"mad r2, r0, r1, c0",
                     {0x04000004, 0x800F0002, 0x80E40000, 0x80E40001, 0xA0E40000}},
        EncodingCase{"rcp r2.x, r0.y", {0x02000006, 0x80010002, 0x80550000}},
        EncodingCase{"rsq r2.y, r0.z", {0x02000007, 0x80020002, 0x80AA0000}},
        EncodingCase{"dp3 r2, r0, c0", {0x03000008, 0x800F0002, 0x80E40000, 0xA0E40000}},
        EncodingCase{"dp4 r2.w, r0, r1", {0x03000009, 0x80080002, 0x80E40000, 0x80E40001}},
        EncodingCase{"min r2, r0, r1", {0x0300000A, 0x800F0002, 0x80E40000, 0x80E40001}},
        EncodingCase{"max r2, r0, r1", {0x0300000B, 0x800F0002, 0x80E40000, 0x80E40001}},
        EncodingCase{"exp r2.w, r0.w", {0x0200000E, 0x80080002, 0x80FF0000}},
        EncodingCase{"log r2.z, r0.x", {0x0200000F, 0x80040002, 0x80000000}},
        EncodingCase{"lrp r2, r0, r1, c0",
                     {0x04000012, 0x800F0002, 0x80E40000, 0x80E40001, 0xA0E40000}},
        EncodingCase{"frc r2.xy, r0", {0x02000013, 0x80030002, 0x80E40000}},
        EncodingCase{"pow r2.x, r0.x, c0.y", {0x03000020, 0x80010002, 0x80000000, 0xA0550000}},
        EncodingCase{"abs r2, -r0", {0x02000023, 0x800F0002, 0x81E40000}},
        EncodingCase{"nrm r2.xyz, r0", {0x02000024, 0x80070002, 0x80E40000}},
        EncodingCase{"cmp r2, r0, r1, c0",
                     {0x04000058, 0x800F0002, 0x80E40000, 0x80E40001, 0xA0E40000}},
        EncodingCase{"texld r2, r0, s0", {0x03000042, 0x800F0002, 0x80E40000, 0xA0E40800}},
        EncodingCase{"texld r2, t0, s0", {0x03000042, 0x800F0002, 0xB0E40000, 0xA0E40800}},
        EncodingCase{"nop", {0x00000000}},
        // Modifiers, masks, swizzles and register files.
        EncodingCase{"mov_pp r2, c0.yzxw", {0x02000001, 0x802F0002, 0xA0C90000}},
        EncodingCase{"mov_sat_pp r2, c0.zxyw", {0x02000001, 0x803F0002, 0xA0D20000}},
        EncodingCase{"mov r2.xw, r1.wzyx", {0x02000001, 0x80090002, 0x801B0001}},
        EncodingCase{"mov r2.rgb, -c0.a", {0x02000001, 0x80070002, 0xA1FF0000}},
        EncodingCase{"add r11, v0, t0", {0x03000002, 0x800F000B, 0x90E40000, 0xB0E40000}},
        EncodingCase{"MUL_SAT R2.XZ, -T0, C0.Z",
                     {0x03000005, 0x80150002, 0xB1E40000, 0xA0AA0000}}));

TEST(PixelShaderAssembler, SkipsCommentsBlankLinesAndCarriageReturns) {
    const Tokens plain = assembleOrFail("ps_2_0\ndef c1, -1.5, .25, 1e2, +3\nmov oC0, c1\n");
    const Tokens commented = assembleOrFail(
        "// a shader\r\n"
        "\r\n"
        "PS_2_0 ; version\r\n"
        "  def  c1 ,-1.5,  .25 , 1e2 ,+3   // constants\r\n"
        "\t; nothing here\r\n"
        "mov oC0, c1");
    EXPECT_EQ(commented, plain);
    ASSERT_EQ(plain.size(), 11u);      // version, def (6), mov (3), end
    EXPECT_EQ(plain[3], 0xBFC00000u);  // -1.5
    EXPECT_EQ(plain[4], 0x3E800000u);  // 0.25
    EXPECT_EQ(plain[5], 0x42C80000u);  // 100
    EXPECT_EQ(plain[6], 0x40400000u);  // 3
}

struct ErrorCase {
    const char* source;
    int line;
    const char* message;  // a part of the expected message
};

class AssemblyErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(AssemblyErrors, NameTheLineAndTheProblem) {
    Tokens tokens = {0xDEADBEEF};
    AssemblyError error{-1, ""};
    EXPECT_FALSE(assemblePixelShader(GetParam().source, tokens, error));
    EXPECT_EQ(error.line, GetParam().line) << error.message;
    EXPECT_NE(error.message.find(GetParam().message), std::string::npos) << error.message;
    EXPECT_TRUE(tokens.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, AssemblyErrors,
    testing::Values(ErrorCase{"", 1, "ps_2_0 expected"},
                    ErrorCase{"// nothing\n\n", 2, "ps_2_0 expected"},
                    ErrorCase{"mov oC0, c0", 1, "ps_2_0 expected"},
                    ErrorCase{"ps_3_0\nmov oC0, c0", 1, "unsupported shader version"},
                    ErrorCase{"ps_2_0\nps_2_0\nmov oC0, c0", 2, "twice"},
                    ErrorCase{"ps_2_0\n\nfoo r0, c0\nmov oC0, r0", 3, "unknown instruction 'foo'"},
                    ErrorCase{"ps_2_0\nmov_bx2 r0, c0\nmov oC0, r0", 2, "modifier"},
                    ErrorCase{"ps_2_0\nadd r0, c0\nmov oC0, r0", 2, "missing operand"},
                    ErrorCase{"ps_2_0\nadd r0, c0, c1, c2\nmov oC0, r0", 2, "too many operands"},
                    ErrorCase{"ps_2_0\nadd r0, , c1\nmov oC0, r0", 2, "missing operand"},
                    ErrorCase{"ps_2_0\nmov r0, x1\nmov oC0, r0", 2, "bad register 'x1'"},
                    ErrorCase{"ps_2_0\nmov r0, c\nmov oC0, r0", 2, "bad register"},
                    ErrorCase{"ps_2_0\nmov r0, c0_abs\nmov oC0, r0", 2, "modifier"},
                    ErrorCase{"ps_2_0\nmov r0, c0.xq\nmov oC0, r0", 2, "bad component"},
                    ErrorCase{"ps_2_0\nmov r0, c0.xyzwx\nmov oC0, r0", 2, "bad register"},
                    ErrorCase{"ps_2_0\nmov r0.yx, c0\nmov oC0, r0", 2, "bad write mask"},
                    ErrorCase{"ps_2_0\nmov r0.xx, c0\nmov oC0, r0", 2, "bad write mask"},
                    ErrorCase{"ps_2_0\nmov -r0, c0\nmov oC0, r0", 2, "cannot be negated"},
                    ErrorCase{"ps_2_0\ndef c0, 1, 2, abc, 4\nmov oC0, c0", 2, "bad literal 'abc'"},
                    ErrorCase{"ps_2_0\ndef c0, 1, 2, 1e39, 4\nmov oC0, c0", 2, "bad literal"},
                    ErrorCase{"ps_2_0\ndef c0, 1, 2, inf, 4\nmov oC0, c0", 2, "bad literal"},
                    ErrorCase{"ps_2_0\ndef c0, 1, 2, 3\nmov oC0, c0", 2, "missing operand"},
                    ErrorCase{"ps_2_0\ndef c0.x, 1, 2, 3, 4\nmov oC0, c0", 2, "no write mask"},
                    ErrorCase{"ps_2_0\ndcl s0\nmov oC0, c0", 2, "dcl_2d"},
                    ErrorCase{"ps_2_0\ndcl_2d t0\nmov oC0, c0", 2, "dcl_2d declares samplers"},
                    ErrorCase{"ps_2_0\ndcl_cube s0\nmov oC0, c0", 2, "modifier '_cube'"}));

// Rules of ps_2_0 that the validator enforces, reported at the statement that breaks them.
INSTANTIATE_TEST_SUITE_P(
    Ps20Rules, AssemblyErrors,
    testing::Values(
        ErrorCase{"ps_2_0\nmov r12, c0\nmov oC0, c0", 2, "r12 is out of range"},
        ErrorCase{"ps_2_0\nmov r0, c32\nmov oC0, r0", 2, "c32 is out of range"},
        ErrorCase{"ps_2_0\ndcl t8\nmov oC0, c0", 2, "t8 is out of range"},
        ErrorCase{"ps_2_0\ndcl v2\nmov oC0, c0", 2, "v2 is out of range"},
        ErrorCase{"ps_2_0\ndcl_2d s16\nmov oC0, c0", 2, "s16 is out of range"},
        ErrorCase{"ps_2_0\nmov oC1, c0\nmov oC0, c0", 2, "only oC0"},
        ErrorCase{"ps_2_0\nmov r0, c0.xy\nmov oC0, r0", 2, "swizzle not allowed"},
        ErrorCase{"ps_2_0\nrcp r0, c0\nmov oC0, r0", 2, "single-component source"},
        ErrorCase{"ps_2_0\ndcl t0\ntexld r0, t0, s0\nmov oC0, r0", 3, "s0, which is not declared"},
        ErrorCase{"ps_2_0\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0", 3,
                  "t0 is read but not declared"},
        ErrorCase{"ps_2_0\ndcl t0.xy\nmov r0, t0\nmov oC0, r0", 3,
                  "t0.zw is read but not declared"},
        ErrorCase{"ps_2_0\nmov r0.x, c0\nadd r1, r0, c0\nmov oC0, r1", 3,
                  "r0.yzw is read before it is written"},
        ErrorCase{"ps_2_0\ndcl t0\ndcl t1\nadd r0, t0, t1\nmov oC0, r0", 4, "one t# register"},
        ErrorCase{"ps_2_0\nmad r0, c0, c1, c2\nmov oC0, r0", 2, "two constant registers"},
        ErrorCase{"ps_2_0\nadd oC0, c0, c1", 2, "only be written by mov"},
        ErrorCase{"ps_2_0\nmov_sat oC0, c0", 2, "without modifiers"},
        ErrorCase{"ps_2_0\nmov oC0, -c0", 2, "cannot be swizzled or negated"},
        ErrorCase{"ps_2_0\nmov oC0, c0\nmov oC0, c1", 3, "written twice"},
        ErrorCase{"ps_2_0\nmov r0, c0\n// the end\n", 2, "oC0 is never written"},
        ErrorCase{"ps_2_0\nmov r0, c0\ndcl t0\nmov oC0, r0", 3, "after the first instruction"},
        ErrorCase{"ps_2_0\ndcl t0\ndcl t0.x\nmov oC0, c0", 3, "declared twice"},
        ErrorCase{"ps_2_0\ndcl_2d s0\ndcl t0\ntexld r0.xy, t0, s0\nmov oC0, r0", 4,
                  "all four components"},
        ErrorCase{"ps_2_0\ndcl_2d s0\ntexld r0, c0, s0\nmov oC0, r0", 3, "from t# or r#"},
        ErrorCase{"ps_2_0\nmov r0, s0\nmov oC0, r0", 2, "only be read by texld"},
        ErrorCase{"ps_2_0\nmov r0, c0\nnrm r0, r0\nmov oC0, r0", 3, "nrm cannot write"},
        ErrorCase{"ps_2_0\nmov r0, c0\npow r0.x, c0.x, r0.y\nmov oC0, r0", 3, "pow cannot write"},
        ErrorCase{"ps_2_0\ndef c0, 1, 1, 1, 1\ndef c0, 2, 2, 2, 2\nmov oC0, c0", 3,
                  "defined twice"}));

TEST(PixelShaderAssembler, RefusesTheInstructionThatExceedsTheSlotLimit) {
    std::string source = "ps_2_0\nmov r0, c0\n";  // line 2: slot 1
    for (int slot = 2; slot <= 63; ++slot) {
        source += "add r0, r0, c0\n";  // lines 3-64: slots 2-63
    }
    assembleOrFail(source + "mov oC0, r0\n");  // line 65: slot 64, the last one
    Tokens tokens;
    AssemblyError error{0, ""};
    EXPECT_FALSE(assemblePixelShader(source + "lrp r0, r0, r0, c0\nmov oC0, r0\n", tokens, error));
    EXPECT_EQ(error.line, 65);  // lrp takes two slots
    EXPECT_NE(error.message.find("64 arithmetic"), std::string::npos) << error.message;
}

}  // namespace
}  // namespace gs::fx
