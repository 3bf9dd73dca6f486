// PixelProgram::create: what it accepts, what it refuses, and that it never reads past the stream.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "render/software/shader/pixel_program.h"
#include "tests/render/software/shader/shader_test_support.h"

namespace gs::render::software {
namespace {

using testing_support::assemble;
using testing_support::FakeTextures;
using Tokens = std::vector<DWORD>;

// A shader that uses every part of the format: declarations, a definition, a dependent texture
// read, scalar and vector arithmetic.
const char* const kReferenceShader = R"(
    ps_2_0
    dcl t0.xyz
    dcl v0
    dcl_2d s1
    def c2, 0.5, 0.25, 2, 1
    add r0.xyz, t0, -c0
    dp3 r0.w, r0, r0
    rsq r0.w, r0.w
    mul r1.xy, r0.w, c2
    texld r1, r1, s1
    mad_sat r2, r1, v0, c1.wzyx
    mov oC0, r2
)";

// Indices into the assembled reference shader.
constexpr std::size_t kFirstDcl = 1;         // dcl t0.xyz: 0200001F 80000000 B0070000
constexpr std::size_t kSamplerDcl = 7;       // dcl_2d s1
constexpr std::size_t kAddInstruction = 16;  // add r0.xyz, t0, -c0

std::unique_ptr<PixelProgram> someProgram() {
    const Tokens tokens = assemble(kReferenceShader);
    std::unique_ptr<PixelProgram> program;
    EXPECT_EQ(PixelProgram::create(tokens.data(), tokens.size(), &program), S_OK);
    return program;
}

HRESULT createFrom(const Tokens& tokens, std::unique_ptr<PixelProgram>* program) {
    *program = someProgram();  // a refusal must clear it
    const HRESULT result = PixelProgram::create(tokens.data(), tokens.size(), program);
    if (FAILED(result)) {
        EXPECT_EQ(*program, nullptr);
    }
    return result;
}

TEST(PixelProgramCreate, KeepsTheStreamUpToItsEndToken) {
    const Tokens shader = assemble(kReferenceShader);
    ASSERT_EQ(shader[kFirstDcl], 0x0200001Fu);
    ASSERT_EQ(shader[kSamplerDcl], 0x0200001Fu);
    ASSERT_EQ(shader[kAddInstruction], 0x03000002u);

    Tokens padded = shader;
    padded.insert(padded.end(), {0xDEADBEEF, 0x12345678});
    std::unique_ptr<PixelProgram> program;
    ASSERT_EQ(PixelProgram::create(padded.data(), padded.size(), &program), S_OK);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->tokenCount(), shader.size());
    EXPECT_EQ(Tokens(program->tokens(), program->tokens() + program->tokenCount()), shader);
}

TEST(PixelProgramCreate, RefusesNullArguments) {
    const Tokens shader = assemble(kReferenceShader);
    EXPECT_EQ(PixelProgram::create(shader.data(), shader.size(), nullptr), E_POINTER);
    std::unique_ptr<PixelProgram> program = someProgram();
    EXPECT_EQ(PixelProgram::create(nullptr, shader.size(), &program), kErrInvalidCall);
    EXPECT_EQ(program, nullptr);
}

// Every proper prefix lacks the end token. Each prefix lives in a buffer of exactly its length, so
// a read past it is caught by the address sanitizer build.
TEST(PixelProgramCreate, RefusesEveryTruncation) {
    const Tokens shader = assemble(kReferenceShader);
    for (std::size_t length = 0; length < shader.size(); ++length) {
        const Tokens prefix(shader.begin(), shader.begin() + static_cast<std::ptrdiff_t>(length));
        std::unique_ptr<PixelProgram> program;
        EXPECT_EQ(createFrom(prefix, &program), kErrInvalidCall) << "length " << length;
    }
}

struct Corruption {
    const char* what;
    std::function<void(Tokens&)> apply;
};

class MalformedStream : public testing::TestWithParam<Corruption> {};

TEST_P(MalformedStream, IsRefused) {
    Tokens tokens = assemble(kReferenceShader);
    GetParam().apply(tokens);
    std::unique_ptr<PixelProgram> program;
    EXPECT_EQ(createFrom(tokens, &program), kErrInvalidCall);
}

// Token offsets inside "add r0.xyz, t0, -c0": instruction, destination, source 0, source 1.
constexpr std::size_t kAdd = kAddInstruction, kAddDst = kAdd + 1, kAddSrc0 = kAdd + 2,
                      kAddSrc1 = kAdd + 3;

INSTANTIATE_TEST_SUITE_P(
    Corruptions, MalformedStream,
    testing::Values(
        Corruption{"ps_3_0", [](Tokens& stream) { stream[0] = 0xFFFF0300; }},
        Corruption{"ps_1_4", [](Tokens& stream) { stream[0] = 0xFFFF0104; }},
        Corruption{"vs_2_0", [](Tokens& stream) { stream[0] = 0xFFFE0200; }},
        Corruption{"unknown opcode", [](Tokens& stream) { stream[kAdd] = 0x03000070; }},
        Corruption{"unsupported opcode (crs)", [](Tokens& stream) { stream[kAdd] = 0x03000021; }},
        Corruption{"length too short", [](Tokens& stream) { stream[kAdd] = 0x02000002; }},
        Corruption{"length too long", [](Tokens& stream) { stream[kAdd] = 0x04000002; }},
        Corruption{"predicated", [](Tokens& stream) { stream[kAdd] |= 0x10000000; }},
        Corruption{"co-issue", [](Tokens& stream) { stream[kAdd] |= 0x40000000; }},
        Corruption{"opcode controls", [](Tokens& stream) { stream[kAdd] |= 0x00010000; }},
        Corruption{"r12",
                   [](Tokens& stream) { stream[kAddDst] = (stream[kAddDst] & ~0x7FFu) | 12; }},
        Corruption{"c32",
                   [](Tokens& stream) { stream[kAddSrc1] = (stream[kAddSrc1] & ~0x7FFu) | 32; }},
        Corruption{"write to t0", [](Tokens& stream) { stream[kAddDst] = 0xB0070000; }},
        Corruption{"write to oDepth", [](Tokens& stream) { stream[kAddDst] = 0x90070800; }},
        Corruption{"read an output type",
                   [](Tokens& stream) {
                       stream[kAddSrc0] = (stream[kAddSrc0] & ~0x70001800u) | 0x40000000;
                   }},
        Corruption{"relative addressing", [](Tokens& stream) { stream[kAddSrc1] |= 0x2000; }},
        Corruption{"reserved parameter bits", [](Tokens& stream) { stream[kAddSrc1] |= 0x4000; }},
        Corruption{"parameter without bit 31",
                   [](Tokens& stream) { stream[kAddSrc1] &= 0x7FFFFFFF; }},
        Corruption{"abs modifier",
                   [](Tokens& stream) {
                       stream[kAddSrc1] = (stream[kAddSrc1] & ~0x0F000000u) | 0x0B000000;
                   }},
        Corruption{"bias modifier",
                   [](Tokens& stream) {
                       stream[kAddSrc1] = (stream[kAddSrc1] & ~0x0F000000u) | 0x02000000;
                   }},
        Corruption{"result shift", [](Tokens& stream) { stream[kAddDst] |= 0x01000000; }},
        Corruption{"centroid on an instruction",
                   [](Tokens& stream) { stream[kAddDst] |= 0x00400000; }},
        Corruption{"empty write mask", [](Tokens& stream) { stream[kAddDst] &= ~0x000F0000u; }},
        Corruption{"arbitrary swizzle .xxyy",
                   [](Tokens& stream) {
                       stream[kAddSrc1] = (stream[kAddSrc1] & ~0x00FF0000u) | (0x50u << 16);
                   }},
        Corruption{"undeclared sampler",
                   [](Tokens& stream) { stream[kSamplerDcl + 2] ^= 1; }},  // s1 -> s0
        Corruption{"cube sampler", [](Tokens& stream) { stream[kSamplerDcl + 1] = 0x98000000; }},
        Corruption{"undeclared input component",
                   [](Tokens& stream) { stream[kFirstDcl + 2] = 0xB0030000; }},  // dcl t0.xy
        Corruption{"missing end token", [](Tokens& stream) { stream.back() = 0; }},
        Corruption{"comment past the end",
                   [](Tokens& stream) { stream.insert(stream.end() - 1, 0x0002FFFE); }},
        Corruption{"oC0 never written", [](Tokens& stream) {
                       stream[stream.size() - 4] = 0;  // the mov becomes nop, nop, nop (length 0)
                       stream[stream.size() - 3] = 0;
                       stream[stream.size() - 2] = 0;
                   }}));

TEST(PixelProgramCreate, SkipsComments) {
    Tokens tokens = assemble(kReferenceShader);
    const std::size_t assembledSize = tokens.size();
    tokens.insert(tokens.begin() + 1, {0x0002FFFE, 0x42415443, 0x0000FFFF});  // comment, 2 words
    std::unique_ptr<PixelProgram> program;
    ASSERT_EQ(PixelProgram::create(tokens.data(), tokens.size(), &program), S_OK);
    EXPECT_EQ(program->tokenCount(), assembledSize + 3);
}

TEST(PixelProgramCreate, RefusesMoreThanTheInstructionSlots) {
    // Texture slots: 32 texld pass, 33 do not.
    for (int count : {32, 33}) {
        std::string source = "ps_2_0\ndcl t0\ndcl_2d s0\n";
        for (int i = 0; i < count; ++i) {
            source += "texld r0, t0, s0\n";
        }
        source += "mov oC0, r0\n";
        std::vector<DWORD> tokens;
        fx::AssemblyError error{0, ""};
        EXPECT_EQ(fx::assemblePixelShader(source, tokens, error), count == 32) << count;
    }
    // The assembler refuses too, so build 65 arithmetic slots by hand.
    Tokens tokens = {0xFFFF0200, 0x02000001, 0x800F0000, 0xA0E40000};  // mov r0, c0
    for (int i = 0; i < 62; ++i) {                                     // add r0, r0, c0
        tokens.insert(tokens.end(), {0x03000002, 0x800F0000, 0x80E40000, 0xA0E40000});
    }
    tokens.insert(tokens.end(), {0x02000001, 0x800F0800, 0x80E40000, 0x0000FFFF});
    std::unique_ptr<PixelProgram> program;
    EXPECT_EQ(PixelProgram::create(tokens.data(), tokens.size(), &program), S_OK);  // 64 slots
    tokens.insert(tokens.begin() + 4, {0x03000002, 0x800F0000, 0x80E40000, 0xA0E40000});
    EXPECT_EQ(createFrom(tokens, &program), kErrInvalidCall);  // 65
}

// Whatever create accepts must run; what it refuses must leave no program. Random words and
// mutations of a valid stream, each in a buffer of exactly its size.
TEST(PixelProgramCreate, SurvivesRandomAndMutatedStreams) {
    std::mt19937 random(20240611);
    const Tokens shader = assemble(kReferenceShader);
    auto inputs = std::make_unique<PixelTileInputs>();
    auto output = std::make_unique<PixelTileOutput>();
    float constants[32][4] = {};
    FakeTextures textures;
    int accepted = 0;

    auto tryStream = [&](const Tokens& tokens) {
        std::unique_ptr<PixelProgram> program;
        const HRESULT result = PixelProgram::create(tokens.data(), tokens.size(), &program);
        if (result == S_OK) {
            ASSERT_NE(program, nullptr);
            ++accepted;
            program->run(constants, textures, *inputs, kTileLanes, *output);
        } else {
            ASSERT_EQ(result, kErrInvalidCall);
            ASSERT_EQ(program, nullptr);
        }
    };

    for (int round = 0; round < 4000; ++round) {
        Tokens tokens(random() % 24);
        for (auto& token : tokens) {
            token = static_cast<DWORD>(random());
        }
        if (!tokens.empty() && round % 2 == 0) {
            tokens[0] = 0xFFFF0200;
        }
        tryStream(tokens);
    }
    for (int round = 0; round < 20000; ++round) {
        Tokens tokens = shader;
        const int edits = 1 + static_cast<int>(random() % 3);
        for (int edit = 0; edit < edits; ++edit) {
            DWORD& token = tokens[random() % tokens.size()];
            switch (random() % 3) {
                case 0:
                    token ^= 1u << (random() % 32);
                    break;
                case 1:
                    token = static_cast<DWORD>(random());
                    break;
                default:
                    token = shader[random() % shader.size()];
                    break;
            }
        }
        if (round % 5 == 0) {
            tokens.resize(random() % (tokens.size() + 1));
        }
        tryStream(tokens);
    }
    EXPECT_GT(accepted, 0);  // some mutations are harmless (a changed constant, another mask)
}

}  // namespace
}  // namespace gs::render::software
