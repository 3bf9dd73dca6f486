// The compiler's passes: optimised programs give exactly the oC0 of unoptimised ones over random
// valid programs and inputs on every instruction set, each pass does what it is for on programs
// written for it, and the fused kernels stay within their error bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "render/shader/pixel_shader_validator.h"
#include "render/software/shader/power_table.h"
#include "render/software/shader/program_compiler.h"
#include "render/software/shader/tile_kernels.h"
#include "render/software/simd/instruction_set.h"
#include "tests/render/software/shader/shader_test_support.h"

namespace gs::render::software::detail {
namespace {

using shader::Opcode;
using testing_support::assemble;
using testing_support::dotAs;
using testing_support::FakeTextures;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr OptimizationOptions kUnoptimized{false, false};
constexpr OptimizationOptions kExactPasses{true, false};

bool sameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) ||
           std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

std::vector<simd::InstructionSet> setsOfThisMachine() {
    std::vector<simd::InstructionSet> sets;
    for (int s = 0; s <= static_cast<int>(simd::bestInstructionSet()); ++s) {
        sets.push_back(static_cast<simd::InstructionSet>(s));
    }
    return sets;
}

shader::PixelShaderDescription describe(const std::string& source) {
    const std::vector<DWORD> tokens = assemble(source);
    shader::PixelShaderDescription shader;
    shader::ValidationError error;
    EXPECT_TRUE(shader::validatePixelShader(tokens.data(), tokens.size(), shader, error))
        << error.message << "\n"
        << source;
    return shader;
}

float randomValue(std::mt19937& random) {
    static constexpr float kSpecial[] = {0.0f, -0.0f, 1e-40f, FLT_MIN, 1.0f,  -1.0f,   0.5f,
                                         2.0f, kInf,  -kInf,  kNaN,    1e30f, FLT_MAX, -0.25f};
    if (random() % 6 == 0) {
        return kSpecial[random() % std::size(kSpecial)];
    }
    std::uniform_real_distribution<float> value(-4.0f, 4.0f);
    return value(random);
}

// One tile's inputs and device constants; the output starts as a sentinel.
struct TileRun {
    explicit TileRun(std::mt19937& random) {
        for (auto& reg : inputs->texcoord) {
            for (auto& component : reg) {
                for (float& value : component) {
                    value = randomValue(random);
                }
            }
        }
        for (auto& reg : inputs->colour) {
            for (auto& component : reg) {
                for (float& value : component) {
                    value = randomValue(random);
                }
            }
        }
        for (auto& reg : constants) {
            for (float& value : reg) {
                value = randomValue(random);
            }
        }
    }
    std::unique_ptr<PixelTileOutput> run(const CompiledProgram& program, int count) const {
        auto output = std::make_unique<PixelTileOutput>();
        for (auto& component : output->colour) {
            std::fill(std::begin(component), std::end(component), -12345.0f);
        }
        runCompiledProgram(program, constants, textures, *inputs, count, *output);
        return output;
    }

    std::unique_ptr<PixelTileInputs> inputs = std::make_unique<PixelTileInputs>();
    float constants[32][4] = {};
    FakeTextures textures;
};

// Random valid ps_2_0 programs: every instruction form, swizzles, masks, negation, saturation,
// device and defined constants, and few temporaries so that registers are reused and read back.
class ProgramGenerator {
public:
    explicit ProgramGenerator(std::mt19937& random) : random_(random) {}

    std::string generate() {
        std::string text = "ps_2_0\n";
        for (int c = 20; c < 24; ++c) {
            text += "def c" + std::to_string(c);
            for (int k = 0; k < 4; ++k) {
                const float value = random_() % 5 == 0 ? 0.0f : randomFinite();
                text += ", " + std::to_string(value);
            }
            text += "\n";
        }
        text += "dcl t0\ndcl t1\ndcl t2.xy\ndcl v0\ndcl_2d s0\ndcl_2d s1\n";
        const int length = 4 + static_cast<int>(random_() % 36);
        for (int i = 0; i < length && slots_ < 56; ++i) {
            text += instruction() + "\n";
        }
        // oC0 from a whole temporary (made whole if none is), a constant or an input.
        const unsigned kind = random_() % 8;
        if (kind == 0) {
            text += "mov oC0, c" + std::to_string(random_() % 2 ? 1 : 21) + "\n";
        } else if (kind == 1) {
            text += "mov oC0, t1\n";
        } else {
            int whole = -1;
            for (int r = 0; r < kTemps; ++r) {
                if (written_[r] == 15 && (whole < 0 || random_() % 2)) {
                    whole = r;
                }
            }
            if (whole < 0) {
                whole = static_cast<int>(random_() % kTemps);
                text += "mov r" + std::to_string(whole) + ", t0.wzyx\n";
            }
            text += "mov oC0, r" + std::to_string(whole) + "\n";
            // Dead code after the output.
            if (random_() % 4 == 0) {
                text += "add r" + std::to_string(whole) + ", r" + std::to_string(whole) + ", c0\n";
            }
        }
        return text;
    }

private:
    static constexpr int kTemps = 5;
    struct Op {
        const char* name;
        int arity;
        char form;  // c componentwise, s scalar, 3/4 dot, n nrm, t texld
        int slots;
    };

    float randomFinite() {
        std::uniform_real_distribution<float> value(-3.0f, 3.0f);
        return value(random_);
    }

    std::string instruction() {
        static constexpr Op kOps[] = {
            {"mov", 1, 'c', 1}, {"add", 2, 'c', 1}, {"sub", 2, 'c', 1}, {"mad", 3, 'c', 1},
            {"mul", 2, 'c', 1}, {"min", 2, 'c', 1}, {"max", 2, 'c', 1}, {"abs", 1, 'c', 1},
            {"frc", 1, 'c', 1}, {"cmp", 3, 'c', 1}, {"lrp", 3, 'c', 2}, {"rcp", 1, 's', 1},
            {"rsq", 1, 's', 1}, {"exp", 1, 's', 1}, {"log", 1, 's', 1}, {"pow", 2, 's', 3},
            {"dp3", 2, '3', 1}, {"dp4", 2, '4', 1}, {"nrm", 1, 'n', 3}, {"texld", 1, 't', 0},
        };
        const Op& op = kOps[random_() % std::size(kOps)];
        slots_ += op.slots;
        usedConstants_.clear();
        usedTexcoord_ = -1;
        const int dest = static_cast<int>(random_() % kTemps);
        if (op.form == 't') {
            // Coordinates from t0, t1 or a temporary whose x and y are written.
            std::string coordinates = "t" + std::to_string(random_() % 2);
            for (int r = 0; r < kTemps; ++r) {
                if ((written_[r] & 3) == 3 && random_() % 2) {
                    coordinates = "r" + std::to_string(r);
                }
            }
            written_[dest] = 15;
            return "texld r" + std::to_string(dest) + ", " + coordinates + ", s" +
                   std::to_string(random_() % 2);
        }
        unsigned mask = 1 + random_() % 15;
        if (op.form != 'c' && random_() % 2) {
            mask = 1u << (random_() % 4);  // scalar results mostly go to one component
        }
        std::string text = std::string(op.name) + (random_() % 4 == 0 ? "_sat" : "") + " r" +
                           std::to_string(dest) + maskText(mask);
        for (int s = 0; s < op.arity; ++s) {
            // pow cannot write its exponent's register, nrm the register it reads.
            const bool avoidDest = (op.form == 's' && s == 1) || op.form == 'n';
            text += ", " + source(op.form, mask, avoidDest ? dest : -1);
        }
        written_[dest] |= mask;
        return text;
    }

    static std::string maskText(unsigned mask) {
        if (mask == 15) {
            return "";
        }
        std::string text = ".";
        for (unsigned c = 0; c < 4; ++c) {
            if ((mask >> c) & 1u) {
                text += "xyzw"[c];
            }
        }
        return text;
    }

    // Components of a source that an instruction of `form` writing `mask` reads through `swizzle`.
    static unsigned componentsRead(char form, unsigned mask, const char* swizzle) {
        auto component = [&](int k) { return 1u << (std::string("xyzw").find(swizzle[k])); };
        unsigned read = 0;
        switch (form) {
            case 'c':
                for (int k = 0; k < 4; ++k) {
                    read |= (mask >> k) & 1u ? component(k) : 0u;
                }
                return read;
            case 's':
                return component(0);
            case '4':
                return component(0) | component(1) | component(2) | component(3);
            default:  // dp3, nrm
                return component(0) | component(1) | component(2) |
                       ((mask & 8u) && form == 'n' ? component(3) : 0u);
        }
    }

    std::string source(char form, unsigned mask, int avoid) {
        // The swizzles ps_2_0 allows: identity, replicates and three rotations.
        static constexpr const char* kSwizzles[] = {"xyzw", "xxxx", "yyyy", "zzzz",
                                                    "wwww", "yzxw", "zxyw", "wzyx"};
        std::string text = random_() % 3 == 0 ? "-" : "";
        const char* swizzle = form == 's' ? kSwizzles[1 + random_() % 4]
                                          : kSwizzles[random_() % 3 == 0 ? 0 : random_() % 8];
        const unsigned read = componentsRead(form, mask, swizzle);
        std::vector<int> temps;
        for (int r = 0; r < kTemps; ++r) {
            if ((read & ~written_[r]) == 0 && r != avoid) {
                temps.push_back(r);
            }
        }
        const unsigned kind = random_() % 8;
        if (kind < 4 && !temps.empty()) {
            text += "r" + std::to_string(temps[random_() % temps.size()]);
        } else if (kind == 6) {
            text += "v0";
        } else if (kind == 7 && (usedTexcoord_ >= 0 || (read & 12u) == 0)) {
            if (usedTexcoord_ < 0) {
                usedTexcoord_ = static_cast<int>(random_() % 3);
            }
            if (usedTexcoord_ == 2 && (read & 12u) != 0) {
                text += "v0";  // t2 declares only x and y
            } else {
                text += "t" + std::to_string(usedTexcoord_);
            }
        } else {
            int c = static_cast<int>(random_() % 2 ? random_() % 4 : 20 + random_() % 4);
            if (usedConstants_.size() == 2 && !usedConstants_.count(c)) {
                c = *usedConstants_.begin();
            }
            usedConstants_.insert(c);
            text += "c" + std::to_string(c);
        }
        const std::string name(swizzle);
        if (name == "xyzw") {
            return text;
        }
        return text + "." + (form == 's' || name[0] == name[1] ? name.substr(0, 1) : name);
    }

    std::mt19937& random_;
    unsigned written_[kTemps] = {};
    int slots_ = 0;
    std::set<int> usedConstants_;
    int usedTexcoord_ = -1;
};

void expectSameOutput(const PixelTileOutput& expected, const PixelTileOutput& actual, int count,
                      const std::string& what, unsigned components = 4) {
    for (unsigned c = 0; c < components; ++c) {
        for (int i = 0; i < count; ++i) {
            ASSERT_TRUE(sameFloat(expected.colour[c][i], actual.colour[c][i]))
                << what << "\ncomponent " << c << ", lane " << i << ": " << expected.colour[c][i]
                << " unoptimised, " << actual.colour[c][i] << " optimised";
        }
    }
}

TEST(ProgramOptimizer, RandomProgramsGiveTheUnoptimisedOutputBitForBit) {
    std::mt19937 random(2024);
    for (int program = 0; program < 3000; ++program) {
        const std::string source = ProgramGenerator(random).generate();
        const shader::PixelShaderDescription shader = describe(source);
        ASSERT_FALSE(shader.instructions.empty()) << source;
        const TileRun tile(random);
        const int count =
            program % 4 == 0 ? 1 + static_cast<int>(random() % kTileLanes) : kTileLanes;
        for (simd::InstructionSet set : setsOfThisMachine()) {
            const auto expected = tile.run(compileProgram(shader, set, kUnoptimized), count);
            const auto actual = tile.run(compileProgram(shader, set, kExactPasses), count);
            expectSameOutput(*expected, *actual, count,
                             source + "(" + simd::instructionSetName(set) + ")");
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

// effect0's weighting: |L0 - R1| raised to 0.45 per channel, as log, mul and exp.
constexpr const char* kEffect0Power = R"(
    ps_2_0
    def c5, 0.5, 0.45, 0, 0
    dcl t0
    sub r5, t0, c0
    abs r5, r5
    log r6.x, r5.x
    log r6.y, r5.y
    log r6.z, r5.z
    log r6.w, r5.w
    mul r6, r6, c5.y
    exp r7.x, r6.x
    exp r7.y, r6.y
    exp r7.z, r6.z
    exp r7.w, r6.w
    mov oC0, r7
)";

// Compiled for a caller that reads red, green and blue only, a program gives those bit for bit and
// leaves oC0's alpha unwritten wherever computing it took work of its own.
TEST(ProgramOptimizer, ColourOnlyProgramsGiveTheSameColourAndSkipAlpha) {
    std::mt19937 random(77);
    OptimizationOptions colourOnly = kExactPasses;
    colourOnly.outputMask = 0x7;
    for (int program = 0; program < 1000; ++program) {
        const std::string source = ProgramGenerator(random).generate();
        const shader::PixelShaderDescription shader = describe(source);
        const TileRun tile(random);
        for (simd::InstructionSet set : setsOfThisMachine()) {
            const auto expected = tile.run(compileProgram(shader, set, kUnoptimized), kTileLanes);
            const auto actual = tile.run(compileProgram(shader, set, colourOnly), kTileLanes);
            expectSameOutput(*expected, *actual, kTileLanes,
                             source + "(" + simd::instructionSetName(set) + ", colour only)", 3);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
    // The power of effect0's alpha and everything that only feeds it go; the other three powers
    // take the difference in their own pass.
    const shader::PixelShaderDescription shader = describe(kEffect0Power);
    colourOnly.fuse = true;
    const CompiledProgram program = compileProgram(shader, simd::bestInstructionSet(), colourOnly);
    EXPECT_EQ(program.instructions.size(), 3u);
    for (const CompiledInstruction& instruction : program.instructions) {
        EXPECT_EQ(instruction.writeMask & 0x8u, 0u);
    }
    std::mt19937 inputs(5);
    const TileRun tile(inputs);
    EXPECT_EQ(tile.run(program, kTileLanes)->colour[3][0], -12345.0f);  // left as it was
}

// Compiles `source` both ways and checks that they agree on every instruction set the machine
// runs; returns the optimised program of the best one.
CompiledProgram compileAndCompare(const std::string& source,
                                  OptimizationOptions options = kExactPasses) {
    const shader::PixelShaderDescription shader = describe(source);
    if (!options.fuse) {
        std::mt19937 random(3);
        const TileRun tile(random);
        for (simd::InstructionSet set : setsOfThisMachine()) {
            expectSameOutput(*tile.run(compileProgram(shader, set, kUnoptimized), kTileLanes),
                             *tile.run(compileProgram(shader, set, options), kTileLanes),
                             kTileLanes, source + "(" + simd::instructionSetName(set) + ")");
        }
    }
    return compileProgram(shader, simd::bestInstructionSet(), options);
}

TEST(ProgramOptimizer, ComputesOnlyComponentsThatAreReadAndDropsDeadInstructions) {
    const CompiledProgram program = compileAndCompare(R"(
        ps_2_0
        dcl t0
        def c5, 0.5, 0.25, 0, 0
        mov r0.yzw, c5.x
        mul r1, t0, c5.y
        rcp r2, t0.x
        add r3, r0.y, r2.z
        mov oC0, r3
    )");
    // r1 is never read; of r0 only y is, of r2 only z.
    ASSERT_EQ(program.instructions.size(), 3u);
    EXPECT_EQ(program.instructions[0].writeMask, 0b0010);
    EXPECT_EQ(program.instructions[1].writeMask, 0b0100);
}

TEST(ProgramOptimizer, UniformResultsAreComputedOnceAndReadAsConstants) {
    const auto set = simd::bestInstructionSet();
    const CompiledProgram program = compileAndCompare(R"(
        ps_2_0
        dcl t0
        rcp r1.x, c0.x
        mul r1.y, r1.x, c1.y
        add r2, t0, r1.y
        mov oC0, r2
    )");
    ASSERT_EQ(program.instructions.size(), 3u);
    EXPECT_TRUE(program.instructions[0].laneZeroOnly);
    EXPECT_TRUE(program.instructions[1].laneZeroOnly);
    EXPECT_FALSE(program.instructions[2].laneZeroOnly);
    EXPECT_EQ(program.instructions[1].kernel, selectKernel(set, Opcode::Mul, 0b11));
    EXPECT_EQ(program.instructions[2].kernel, selectKernel(set, Opcode::Add, 0b10));
}

TEST(ProgramOptimizer, UniformValuesThatAReaderNeedsPerLaneFillEveryLane) {
    // v of the texld (a device constant), a source that mixes uniform and per-lane components, and
    // oC0 itself.
    const std::string source = R"(
        ps_2_0
        dcl t0
        dcl_2d s0
        def c5, 0.5, 0.25, 0, 0
        mov r0.x, t0.x
        mov r0.y, c1.x
        texld r1, r0, s0
        mov r2.x, c5.y
        mov r2.yzw, t0.y
        add r3, r1, r2
        mov r4, c5.y
        mad r5, r3, r4, r0.y
        mov oC0, r5
    )";
    const CompiledProgram program = compileAndCompare(source);
    EXPECT_FALSE(program.instructions[1].laneZeroOnly);  // mov r0.y, read by texld
    std::mt19937 random(8);
    TileRun tile(random);
    tile.constants[1][0] = 0.75f;
    const auto output = tile.run(program, kTileLanes);
    for (int i = 0; i < kTileLanes; ++i) {
        const float u = tile.inputs->texcoord[0][0][i];
        // The fake sampler returns (10u, v, u + v, 1); x and z add r2.x, y and w add r2.y.
        EXPECT_TRUE(sameFloat(output->colour[1][i],
                              (0.75f + tile.inputs->texcoord[0][1][i]) * 0.25f + 0.75f))
            << i;
        EXPECT_TRUE(sameFloat(output->colour[0][i], (u * 10.0f + 0.25f) * 0.25f + 0.75f)) << i;
    }
}

TEST(ProgramOptimizer, DefinedConstantCoordinatesAreLaneArraysMadeOnce) {
    const CompiledProgram program = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl_2d s1
        def c5, 0.5, 0.25, 0, 0
        mov r0.x, t0.x
        mov r0.yzw, -c5.x
        texld r1, r0, s1
        mov oC0, r1
    )");
    // The move of the constant is gone: texld reads v from the program's own lane array.
    ASSERT_EQ(program.instructions.size(), 2u);
    EXPECT_EQ(program.instructions[1].source[0][1].file, RegisterFile::ConstantLanes);
    std::mt19937 random(9);
    const TileRun tile(random);
    for (int count : {kTileLanes, 13}) {
        const auto output = tile.run(program, count);
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(output->colour[1][i], -0.5f) << i;  // the fake sampler's green is v
        }
    }
}

TEST(ProgramOptimizer, OverlapsBetweenResultsAndSourcesStillTakeTheDetour) {
    // Rotations through a swizzle and sampling into the coordinates' register.
    const CompiledProgram program = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl_2d s0
        mov r0, t0
        mov r0, r0.wzyx
        add r2, r0, r0.yzxw
        texld r0, r0, s0
        add r1, r0, r2
        mov r1.xyz, r1.zxyw
        add r3, r1, r2
        mov oC0, r3
    )");
    ASSERT_EQ(program.instructions.size(), 7u);
    // Only the components that later components still read wait in Scratch.
    EXPECT_EQ(program.instructions[1].redirected, 0b0011);
    EXPECT_EQ(program.instructions[3].redirected, 0b1111);
    EXPECT_EQ(program.instructions[3].target[0].file, RegisterFile::Scratch);
    EXPECT_EQ(program.instructions[5].redirected, 0b0011);

    // Where only x and y of the rotation are read, nothing overlaps any more.
    const CompiledProgram partly = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl_2d s0
        mov r0, t0
        mov r0, r0.wzyx
        texld r0, r0, s0
        mov oC0, r0
    )");
    ASSERT_EQ(partly.instructions.size(), 3u);
    EXPECT_EQ(partly.instructions[1].writeMask, 0b0011);
    EXPECT_EQ(partly.instructions[1].redirected, 0);
}

TEST(ProgramOptimizer, TheLastWritesOfTheOutputTemporaryLandInTheOutput) {
    const CompiledProgram program = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl_2d s0
        texld r1, t0, s0
        add r0, r1, t0
        mul r0.xyz, r0, r0.zxyw
        dp3 r0.w, r0, t0
        mov oC0, r0
    )");
    // The copy is gone: the rotation and dp3 write oC0, the add and the texel stay in temps, so
    // the rotation reads nothing it overwrites.
    ASSERT_EQ(program.instructions.size(), 4u);
    EXPECT_EQ(program.instructions[0].target[0].file, RegisterFile::Temp);
    EXPECT_EQ(program.instructions[1].destination[0].file, RegisterFile::Temp);
    EXPECT_EQ(program.instructions[2].destination[0].file, RegisterFile::Output);
    EXPECT_EQ(program.instructions[2].redirected, 0);
    EXPECT_EQ(program.instructions[3].destination[3].file, RegisterFile::Output);
    EXPECT_EQ(program.instructions[3].source[0][0].file, RegisterFile::Output);

    // A texel that is the whole output is sampled straight into it.
    const CompiledProgram texel = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl_2d s0
        texld r2, t0, s0
        mov oC0, r2
    )");
    ASSERT_EQ(texel.instructions.size(), 1u);
    EXPECT_EQ(texel.instructions[0].target[0].file, RegisterFile::Output);
}

// The effect passes lose their dead components, their copies and the log/exp and rsq/rcp chains.
// A difference dotted with itself and read nowhere else becomes one pass that rounds as the pair
// does (compileAndCompare checks the output bit for bit), whatever the swizzles and negations.
TEST(ProgramOptimizer, DifferencesDottedWithThemselvesBecomeOnePass) {
    const auto set = simd::bestInstructionSet();
    const CompiledProgram fused = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl t1
        sub r0.xyz, t0, c0
        dp3 r0.x, r0, r0
        add r1, c1.yzxw, -t1.wzyx
        dp3 r2.y, -r1.zxyw, -r1.zxyw
        mul r3, r0.x, r2.y
        mov oC0, r3
    )");
    ASSERT_EQ(fused.instructions.size(), 3u);
    EXPECT_EQ(fused.instructions[0].kernel,
              selectFusedKernel(set, FusedOperation::SquaredDistance, 0b10));
    EXPECT_EQ(fused.instructions[1].kernel,
              selectFusedKernel(set, FusedOperation::SquaredDistance, 0b01));

    // The difference read again, and a dot product whose two sides differ in sign, stay apart.
    const CompiledProgram apart = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl t1
        sub r0.xyz, t0, c0
        dp3 r1.x, r0, r0
        mul r2, r1.x, r0.y
        add r3.xyz, t1, c1
        dp3 r4.x, r3, -r3
        add r5, r2, r4.x
        mov oC0, r5
    )");
    ASSERT_EQ(apart.instructions.size(), 6u);
    for (const CompiledInstruction& instruction : apart.instructions) {
        for (unsigned uniform = 0; uniform < 4; ++uniform) {
            EXPECT_NE(instruction.kernel,
                      selectFusedKernel(set, FusedOperation::SquaredDistance, uniform));
        }
    }
}

// log and rsq read magnitudes: an abs that only they read goes, one that anything else reads stays.
TEST(ProgramOptimizer, AbsoluteValuesOnlyMagnitudesReadAreDropped) {
    const char* source = R"(
        ps_2_0
        dcl t0
        sub r5, t0, c0
        abs r5, -r5
        log r6.x, r5.x
        rsq r6.y, -r5.y
        log r6.z, r5.z
        mov r6.w, r5.w
        mov oC0, r6
    )";
    const CompiledProgram kept = compileAndCompare(source);
    EXPECT_EQ(kept.instructions.size(), 6u);  // mov oC0 coalesced; abs still feeds the mov
    std::string rewritten = source;
    rewritten.replace(rewritten.find("mov r6.w, r5.w"), 14, "mov r6.w, c1.w");
    const CompiledProgram dropped = compileAndCompare(rewritten);
    EXPECT_EQ(dropped.instructions.size(), 5u);
}

TEST(ProgramOptimizer, ShrinksTheChainsOfTheEffectPasses) {
    const CompiledProgram power = compileAndCompare(kEffect0Power, OptimizationOptions{});
    // The four powers: the abs went, since the powers read magnitudes anyway, and each power
    // computes its component of the difference itself.
    ASSERT_EQ(power.instructions.size(), 4u);
    // effect0's exponent is a def constant: each power runs by that exponent's table.
    for (unsigned c = 0; c < 4; ++c) {
        const CompiledInstruction& step = power.instructions[c];
        EXPECT_EQ(step.kernel, selectFusedKernel(simd::bestInstructionSet(),
                                                 FusedOperation::TablePowerOfSum, 0b110));
        ASSERT_NE(step.powerTable, nullptr);
        EXPECT_EQ(step.powerTable->y, 0.45f);
        EXPECT_EQ(step.target[c].file, RegisterFile::Output);
    }
    // An exponent from the device, or one beyond the tables' bound, takes the general power.
    for (const char* exponent : {"c6.x", "c5.w"}) {
        std::string source = kEffect0Power;
        source.replace(source.find("c5.y"), 4, exponent);
        source.replace(source.find("0.45, 0, 0"), 10, "0.45, 0, 4.5");
        const CompiledProgram general = compileAndCompare(source, OptimizationOptions{});
        ASSERT_EQ(general.instructions.size(), 5u) << exponent;
        EXPECT_EQ(general.instructions[1].kernel,
                  selectFusedKernel(simd::bestInstructionSet(), FusedOperation::Power, 0b10));
        EXPECT_EQ(general.instructions[1].powerTable, nullptr);
    }
    const CompiledProgram root = compileAndCompare(R"(
        ps_2_0
        dcl t0
        rsq r1.x, t0.x
        rcp r1.x, r1.x
        rsq r2.y, t0.y
        rcp r3.y, r2.y
        mul r0, r1.x, r3.y
        add r0.y, r0.y, r2.y
        mov oC0, r0
    )",
                                                   OptimizationOptions{});
    // The second rsq is read again, so only the first pair fuses.
    ASSERT_EQ(root.instructions.size(), 5u);
    EXPECT_EQ(root.instructions[0].kernel,
              selectFusedKernel(simd::bestInstructionSet(), FusedOperation::SquareRoot, 0));
}

// Runs `source` (its result in r0) with the given t0 values in lane order on every set.
std::vector<std::unique_ptr<PixelTileOutput>> runFused(const std::string& source,
                                                       const std::vector<float>& x,
                                                       const float (&constants)[32][4]) {
    const shader::PixelShaderDescription shader = describe(source);
    std::vector<std::unique_ptr<PixelTileOutput>> outputs;
    std::mt19937 random(1);
    TileRun tile(random);
    std::copy(&constants[0][0], &constants[0][0] + 128, &tile.constants[0][0]);
    for (simd::InstructionSet set : setsOfThisMachine()) {
        const CompiledProgram program = compileProgram(shader, set, OptimizationOptions{});
        for (std::size_t start = 0; start < x.size(); start += kTileLanes) {
            const int count = static_cast<int>(std::min<std::size_t>(kTileLanes, x.size() - start));
            std::copy_n(x.begin() + static_cast<std::ptrdiff_t>(start), count,
                        tile.inputs->texcoord[0][0]);
            outputs.push_back(tile.run(program, count));
        }
    }
    return outputs;
}

TEST(FusedKernels, SquareRootKeepsTheSpecialValuesOfTheReciprocalPair) {
    const std::vector<float> x = {0.0f, -0.0f, kInf, -kInf, kNaN, 4.0f, -9.0f, 1e-40f, FLT_MAX};
    float constants[32][4] = {};
    const auto outputs = runFused(R"(
        ps_2_0
        dcl t0
        rsq r1.x, -t0.x
        rcp r0, r1.x
        mov oC0, r0
    )",
                                  x, constants);
    for (const auto& output : outputs) {
        for (std::size_t i = 0; i < x.size(); ++i) {
            const float expected = std::sqrt(std::fabs(x[i]));
            for (unsigned c = 0; c < 4; ++c) {
                EXPECT_TRUE(sameFloat(output->colour[c][i], expected)) << x[i];
            }
        }
    }
}

// A root scaled by a constant is one kernel, rounding as the fused root and a multiplication do.
TEST(FusedKernels, ScaledSquareRootIsTheRootTimesTheConstant) {
    const std::vector<float> x = {0.0f,  -0.0f,  kInf, -kInf, kNaN,    4.0f,
                                  -9.0f, 1e-40f, 2.0f, 1e30f, FLT_MAX, 0.3f};
    float constants[32][4] = {{0.75f, 0, 0, 0}};
    const std::string source = R"(
        ps_2_0
        dcl t0
        rsq r1.x, -t0.x
        rcp r2.x, r1.x
        mul r0.x, -r2.x, c0.x
        mov r0.yzw, c0.y
        mov oC0, r0
    )";
    const CompiledProgram program =
        compileProgram(describe(source), simd::bestInstructionSet(), OptimizationOptions{});
    ASSERT_FALSE(program.instructions.empty());
    EXPECT_EQ(
        program.instructions[0].kernel,
        selectFusedKernel(simd::bestInstructionSet(), FusedOperation::ScaledSquareRoot, 0b10));
    for (const auto& output : runFused(source, x, constants)) {
        for (std::size_t i = 0; i < x.size(); ++i) {
            const float expected = std::sqrt(std::fabs(x[i])) * -0.75f;
            EXPECT_TRUE(sameFloat(output->colour[0][i], expected)) << x[i];
        }
    }
}

// An add read only as a mul's factor becomes part of the mul, rounding as the pair does
// (compileAndCompare checks the output bit for bit), whichever side and whatever the swizzles and
// negations; one whose results are read elsewhere, or whose other writes overwrite what it read,
// stays.
TEST(ProgramOptimizer, SumsThatOnlyAProductReadsBecomePartOfIt) {
    const auto set = simd::bestInstructionSet();
    const CompiledProgram fused = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl t1
        dcl v0
        add r0, t0, -v0.wzyx
        sub r1, c0.yzxw, t1
        mul r2, -r0.zxyw, t1.x
        mul r3.xy, t0.y, -r1.yzxw
        add r2.xy, r2, r3
        mov oC0, r2
    )");
    ASSERT_EQ(fused.instructions.size(), 3u);
    EXPECT_EQ(fused.instructions[0].kernel,
              selectFusedKernel(set, FusedOperation::SumProduct, 0b000));
    EXPECT_EQ(fused.instructions[1].kernel,
              selectFusedKernel(set, FusedOperation::SumProduct, 0b001));

    const CompiledProgram apart = compileAndCompare(R"(
        ps_2_0
        dcl t0
        dcl v0
        add r0, t0, v0
        mul r1, r0, v0
        add r1, r1, r0.x
        add r2.xy, v0.yzxw, t0
        mul r3, r2.x, v0
        add r3.y, r3.y, r2.y
        mov r4, t0
        add r4.xy, r4.yzxw, v0
        mul r5, r4.x, t0
        add r5, r5, r4.y
        add r5, r5, r1
        add r5, r5, r3
        mov oC0, r5
    )");
    // r0 is read again (by the add), and r4.y, which the component the mul reads was computed
    // from, is what the sum's other component overwrites: those stay. r2.x, read by the mul alone,
    // moves into it; r2.y, read elsewhere, stays an add.
    ASSERT_EQ(apart.instructions.size(), 12u);
    int products = 0;
    for (const CompiledInstruction& instruction : apart.instructions) {
        for (unsigned uniform = 0; uniform < 8; ++uniform) {
            products +=
                instruction.kernel == selectFusedKernel(set, FusedOperation::SumProduct, uniform);
        }
    }
    EXPECT_EQ(products, 1);
    EXPECT_EQ(apart.instructions[4].kernel, selectFusedKernel(set, FusedOperation::SumProduct, 0));
}

// A square root or a table power of an add's result computes the sum in its own pass: the sum of
// each lane rounds as the add rounds it, then the fused root or the table power takes it.
TEST(FusedKernels, RootsAndTablePowersOfSumsTakeTheSumThemselves) {
    const auto best = simd::bestInstructionSet();
    const std::string source = R"(
        ps_2_0
        def c5, 0.45, 0, 0, 0
        dcl t0
        dcl v0
        sub r1, -t0, v0.yzxw
        log r2.x, r1.x
        log r2.y, r1.y
        mul r2.xy, r2, c5.x
        exp r3.x, r2.x
        exp r3.y, r2.y
        rsq r4.z, r1.z
        rcp r3.z, r4.z
        add r5, t0.w, c0.x
        rsq r4.w, r5.w
        rcp r3.w, r4.w
        mov oC0, r3
    )";
    const CompiledProgram program = compileProgram(describe(source), best, OptimizationOptions{});
    ASSERT_EQ(program.instructions.size(), 4u);
    EXPECT_EQ(program.instructions[0].kernel,
              selectFusedKernel(best, FusedOperation::TablePowerOfSum, 0b010));
    EXPECT_EQ(program.instructions[2].kernel,
              selectFusedKernel(best, FusedOperation::SquareRootOfSum, 0));
    EXPECT_EQ(program.instructions[3].kernel,
              selectFusedKernel(best, FusedOperation::SquareRootOfSum, 0b10));

    const PowerTable table(0.45f);
    std::mt19937 random(11);
    for (int run = 0; run < 20; ++run) {
        const TileRun tile(random);
        const auto& t = tile.inputs->texcoord[0];
        const auto& v = tile.inputs->colour[0];
        for (simd::InstructionSet set : setsOfThisMachine()) {
            const auto output =
                tile.run(compileProgram(describe(source), set, OptimizationOptions{}), kTileLanes);
            for (int i = 0; i < kTileLanes; ++i) {
                const float expected[4] = {arithmetic::tablePower(-t[0][i] - v[1][i], table),
                                           arithmetic::tablePower(-t[1][i] - v[2][i], table),
                                           std::sqrt(std::fabs(-t[2][i] - v[0][i])),
                                           std::sqrt(std::fabs(t[3][i] + tile.constants[0][0]))};
                for (unsigned c = 0; c < 4; ++c) {
                    ASSERT_TRUE(sameFloat(output->colour[c][i], expected[c]))
                        << simd::instructionSetName(set) << ", component " << c << ", lane " << i;
                }
            }
        }
    }
}

// A sum product whose factor is a table power or a square root of a sum that it alone reads takes
// that factor into its own pass: the power's sources the sum's own (the effect passes' weight of
// a sum by a power of its difference) or others, any of them negated and the factor too, each
// value as the two kernels gave it on every set, in whole tiles and in a part of one.
TEST(FusedKernels, ProductsOfPowersAndRootsOfSumsAreOnePass) {
    const auto best = simd::bestInstructionSet();
    // (An instruction reads one t# register at most: r6 holds t1.)
    std::vector<std::string> sources = {
        R"(
        ps_2_0
        def c5, 0.45, 0, 0, 0
        dcl t0
        dcl t1
        mov r6, t1
        sub r1, t0, r6
        log r2.x, r1.x
        log r2.y, r1.y
        log r2.z, r1.z
        log r2.w, r1.w
        mul r2, r2, c5.x
        exp r3.x, r2.x
        exp r3.y, r2.y
        exp r3.z, r2.z
        exp r3.w, r2.w
        add r4, t0, r6
        mul r0, r4, -r3
        mov oC0, r0
    )",
        R"(
        ps_2_0
        def c5, 0.45, 0, 0, 0
        dcl t0
        dcl t1
        dcl v0
        mov r6, t1
        add r1.xyz, -v0, t1.zxyw
        log r2.x, r1.x
        log r2.y, r1.y
        log r2.z, r1.z
        mul r2.xyz, r2, c5.x
        exp r3.x, r2.x
        exp r3.y, r2.y
        exp r3.z, r2.z
        sub r4.xyz, -t0, r6
        mul r0.xyz, r3, r4
        mov r0.w, t0.w
        mov oC0, r0
    )",
        R"(
        ps_2_0
        dcl t0
        dcl t1
        dcl v0
        mov r6, t1
        sub r1.xy, v0, -t1
        rsq r2.x, r1.x
        rsq r2.y, r1.y
        rcp r3.x, r2.x
        rcp r3.y, r2.y
        add r4.xy, t0.yzxw, -r6
        mul r0.xy, -r4, r3
        mov r0.zw, t1
        mov oC0, r0
    )",
    };
    // The first program without its negations: the effect passes' plain product.
    std::string plain = sources[0];
    plain.replace(plain.find("mul r0, r4, -r3"), 15, "mul r0, r4, r3");
    sources.push_back(plain);
    const FusedOperation fused[] = {
        FusedOperation::SumProductOfTablePower, FusedOperation::SumProductOfTablePower,
        FusedOperation::SumProductOfSquareRoot, FusedOperation::SumProductOfTablePower};
    const PowerTable table(0.45f);
    std::mt19937 random(17);
    for (std::size_t k = 0; k < std::size(sources); ++k) {
        const CompiledProgram program =
            compileProgram(describe(sources[k]), best, OptimizationOptions{});
        int products = 0, others = 0;
        for (const CompiledInstruction& instruction : program.instructions) {
            products += instruction.kernel == selectFusedKernel(best, fused[k], 0);
            for (FusedOperation apart :
                 {FusedOperation::SumProduct, FusedOperation::TablePowerOfSum,
                  FusedOperation::SquareRootOfSum}) {
                for (unsigned uniform = 0; uniform < 8; ++uniform) {
                    others += instruction.kernel == selectFusedKernel(best, apart, uniform);
                }
            }
        }
        EXPECT_EQ(products, 1) << k;
        EXPECT_EQ(others, 0) << k;
        for (int run = 0; run < 10; ++run) {
            const TileRun tile(random);
            const auto& t0 = tile.inputs->texcoord[0];
            const auto& t1 = tile.inputs->texcoord[1];
            const auto& v0 = tile.inputs->colour[0];
            const int count = run % 2 == 0 ? kTileLanes : 1 + static_cast<int>(random() % 200);
            for (simd::InstructionSet set : setsOfThisMachine()) {
                const auto output = tile.run(
                    compileProgram(describe(sources[k]), set, OptimizationOptions{}), count);
                for (int i = 0; i < count; ++i) {
                    for (unsigned c = 0; c < (k == 2 ? 2u : k == 1 ? 3u : 4u); ++c) {
                        float expected = 0.0f;
                        if (k == 0 || k == 3) {
                            const float power = arithmetic::tablePower(t0[c][i] - t1[c][i], table);
                            expected = (t0[c][i] + t1[c][i]) * (k == 0 ? -power : power);
                        } else if (k == 1) {
                            const float power =
                                arithmetic::tablePower(-v0[c][i] + t1[(c + 2) % 3][i], table);
                            expected = power * (-t0[c][i] - t1[c][i]);
                        } else {
                            const float root = std::sqrt(std::fabs(v0[c][i] + t1[c][i]));
                            expected = -(t0[c + 1][i] + -t1[c][i]) * root;
                        }
                        ASSERT_TRUE(sameFloat(output->colour[c][i], expected))
                            << simd::instructionSetName(set) << ", program " << k << ", component "
                            << c << ", lane " << i;
                    }
                }
            }
        }
    }
}

// Factors read elsewhere as well, or whose sources the product overwrites before a later
// component's factor reads them, stay kernels of their own.
TEST(ProgramOptimizer, FactorsReadElsewhereStayApart) {
    const auto best = simd::bestInstructionSet();
    const auto hasFusedProduct = [&](const std::string& source) {
        const CompiledProgram program =
            compileProgram(describe(source), best, OptimizationOptions{});
        bool found = false;
        for (const CompiledInstruction& instruction : program.instructions) {
            found = found || instruction.kernel ==
                                 selectFusedKernel(best, FusedOperation::SumProductOfSquareRoot, 0);
        }
        return found;
    };
    const std::string fused = R"(
        ps_2_0
        dcl t0
        dcl t1
        mov r6, t1
        sub r1.xy, t0, r6
        rsq r2.x, r1.x
        rsq r2.y, r1.y
        rcp r3.x, r2.x
        rcp r3.y, r2.y
        add r4.xy, t0, r6
        mul r5.xy, r4, r3
        add r0.xy, r5, t0
        mov r0.zw, t1
        mov oC0, r0
    )";
    EXPECT_TRUE(hasFusedProduct(fused));
    // r3.x is read again by the last add.
    std::string readAgain = fused;
    readAgain.replace(readAgain.find("add r0.xy, r5, t0"), 17, "add r0.xy, r5, r3.x");
    EXPECT_FALSE(hasFusedProduct(readAgain));
    // The product's x lands in r6.x, which y's factor then reads.
    std::string overwritten = fused;
    overwritten.replace(overwritten.find("sub r1.xy, t0, r6"), 17, "sub r1.xy, t0, r6.x");
    overwritten.replace(overwritten.find("mul r5.xy"), 9, "mul r6.xy");
    overwritten.replace(overwritten.find("add r0.xy, r5, t0"), 17, "add r0.xy, r6, t0");
    EXPECT_FALSE(hasFusedProduct(overwritten));
}

// A scaled root of a squared distance is one pass: the sum of squares, the root and the product
// round as the fused pair rounds them. So is one scaled twice, each product rounded as its mul
// rounds it, unless something else reads the first product.
TEST(FusedKernels, ScaledDistancesAreOnePass) {
    const std::string once = R"(
        ps_2_0
        def c5, 0.5, 0.8, 0, 0
        dcl t0
        sub r1.xyz, t0, c0
        dp3 r1.x, r1, r1
        rsq r1.x, r1.x
        rcp r1.x, r1.x
        mul r0.x, r1.x, -c4.x
        mov r0.yzw, c5.x
        mov oC0, r0
    )";
    std::string twice = once;
    twice.replace(twice.find("mul r0.x, r1.x, -c4.x"), 21, "mul r2.x, r1.x, -c4.x");
    twice.replace(twice.find("mov r0.yzw"), 10, "mul r0.x, -r2.x, c5.y\nmov r0.yzw");
    std::string readAgain = twice;
    readAgain.replace(readAgain.find("mov r0.yzw, c5.x"), 16, "mov r0.yzw, r2.x");
    const auto best = simd::bestInstructionSet();
    const auto firstKernel = [&](const std::string& source) {
        const CompiledProgram program = compileProgram(describe(source), best, {});
        return program.instructions.empty() ? nullptr : program.instructions[0].kernel;
    };
    EXPECT_EQ(firstKernel(once), selectFusedKernel(best, FusedOperation::ScaledDistance, 0b10));
    EXPECT_EQ(firstKernel(twice),
              selectFusedKernel(best, FusedOperation::TwiceScaledDistance, 0b10));
    EXPECT_EQ(firstKernel(readAgain),
              selectFusedKernel(best, FusedOperation::ScaledDistance, 0b10));
    std::mt19937 random(12);
    for (int run = 0; run < 20; ++run) {
        TileRun tile(random);
        // Every other run, y, z or both are one value across the tile (a row of pixels), and the
        // inputs say so: the kernel then squares them once, where both are.
        if (run % 2 == 1) {
            const unsigned same = std::array{0b010u, 0b100u, 0b110u}[(run / 2) % 3];
            for (unsigned k : {1u, 2u}) {
                if ((same >> k) & 1u) {
                    auto& component = tile.inputs->texcoord[0][k];
                    std::fill_n(component, kTileLanes, component[0]);
                }
            }
            tile.inputs->sameInEveryLane = same;
        }
        const auto& t = tile.inputs->texcoord[0];
        const float* c = tile.constants[0];
        for (simd::InstructionSet set : setsOfThisMachine()) {
            const auto scaledOnce = tile.run(compileProgram(describe(once), set, {}), kTileLanes);
            const auto scaledTwice = tile.run(compileProgram(describe(twice), set, {}), kTileLanes);
            for (int i = 0; i < kTileLanes; ++i) {
                const float d[3] = {t[0][i] - c[0], t[1][i] - c[1], t[2][i] - c[2]};
                const float sum = dotAs(set, d, d, 3);
                const float expected = std::sqrt(std::fabs(sum)) * -tile.constants[4][0];
                ASSERT_TRUE(sameFloat(scaledOnce->colour[0][i], expected))
                    << simd::instructionSetName(set) << ", lane " << i;
                ASSERT_TRUE(sameFloat(scaledTwice->colour[0][i], -expected * 0.8f))
                    << simd::instructionSetName(set) << ", lane " << i;
            }
        }
    }
}

// A texld whose u is a scaled distance that nothing else reads takes the distance into its own
// kernel; these texture units have no path of their own for it, so the kernel computes the
// distances first, and the texel's red (u * 10) shows them.
TEST(ProgramOptimizer, TextureReadsAtADistanceTakeTheDistanceWithThem) {
    // `between` comes between the distance and the read; `tail` after the read, before oC0 takes
    // r1.
    const auto withRead = [](const std::string& between, const std::string& texel,
                             const std::string& tail) {
        return "ps_2_0\ndef c5, 0.5, 0.8, 0, 0\ndef c6, 0, 0, 0, 0\ndcl t0\ndcl_2d s1\n"
               "mov r2, t0\nsub r0.xyz, r2, c0\ndp3 r0.x, r0, r0\nrsq r0.x, r0.x\n"
               "rcp r0.x, r0.x\nmul r0.x, r0.x, -c4.x\n" +
               between + "\nmov r0.yzw, c5.x\ntexld " + texel + ", r0, s1\n" + tail +
               "\nmov oC0, r1\n";
    };
    const std::string once = withRead("", "r1", "");
    const std::string twice = withRead("mul r0.x, r0.x, c5.y", "r1", "");
    // The texel lands on the distance's source: the sampler writes it aside first.
    const std::string overlapping = withRead("", "r2", "add r1, r2, c6");
    const std::string readAgain = withRead("mov r3, r0.x", "r1", "add r1, r1, r3");
    const std::string movedSource = withRead("mov r2.y, c1.x", "r1", "add r1, r1, r2");
    const auto best = simd::bestInstructionSet();
    const auto kernels = [&](const std::string& source) {
        std::vector<InstructionKernel> all;
        for (const auto& instruction : compileProgram(describe(source), best, {}).instructions) {
            all.push_back(instruction.kernel);
        }
        return all;
    };
    const auto sample = selectFusedKernel(best, FusedOperation::SampleAtScaledDistance, 0b10);
    const auto distance = selectFusedKernel(best, FusedOperation::ScaledDistance, 0b10);
    EXPECT_EQ(kernels(once).back(), sample);
    EXPECT_EQ(kernels(twice).back(),
              selectFusedKernel(best, FusedOperation::SampleAtTwiceScaledDistance, 0b10));
    EXPECT_EQ(kernels(overlapping).end()[-2], sample);
    const CompiledProgram aside = compileProgram(describe(overlapping), best, {});
    ASSERT_GE(aside.instructions.size(), 2u);
    EXPECT_EQ(aside.instructions.end()[-2].redirected, 0b1111);
    for (const std::string& apart : {readAgain, movedSource}) {
        const auto all = kernels(apart);
        EXPECT_NE(std::find(all.begin(), all.end(), distance), all.end()) << apart;
        EXPECT_EQ(std::find(all.begin(), all.end(), sample), all.end()) << apart;
    }

    std::mt19937 random(41);
    TileRun tile(random);
    for (simd::InstructionSet set : setsOfThisMachine()) {
        for (const std::string& source : {once, twice, overlapping}) {
            std::string coordinate = source;
            coordinate.replace(coordinate.find("texld"), coordinate.npos, "mov oC0, r0\n");
            for (int count : {kTileLanes, 45}) {
                const auto u = tile.run(compileProgram(describe(coordinate), set, {}), count);
                const auto read = tile.run(compileProgram(describe(source), set, {}), count);
                for (int i = 0; i < count; ++i) {
                    ASSERT_TRUE(sameFloat(read->colour[0][i], u->colour[0][i] * 10.0f + 1.0f))
                        << source << simd::instructionSetName(set) << ", lane " << i;
                    ASSERT_EQ(read->colour[1][i], 0.5f);
                }
            }
        }
    }
}

// The fused power, with its exponent from the device (shortPower) or from a def (by its table).
class FusedPower : public ::testing::TestWithParam<bool> {
protected:
    static std::string source(float y) {
        // The negations fold into the exponent: the power is |t0.x|^y.
        return std::string("ps_2_0\n") +
               (GetParam() ? "def c0, " + std::to_string(y) + ", 0, 0, 0\n" : "") +
               "dcl t0\nlog r1.x, t0.x\nmul r2.x, -r1.x, c0.x\nexp r0, -r2.x\nmov oC0, r0\n";
    }
};

TEST_P(FusedPower, IsWithinItsBoundOverADenseSweep) {
    // x from 0 through the denormals to 1e4, y in [-4, 4] with the negations folded into it.
    std::vector<float> x = {0.0f, -0.0f, 1e-45f, 1e-40f, FLT_MIN};
    for (float v = 1e-38f; v <= 1e4f; v *= 1.0007f) {
        x.push_back(v);
    }
    x.push_back(1e4f);
    x.push_back(-2.5f);
    double worst = 0.0;
    // The tables of parabolas keep a tighter bound than shortPower; the chords for exponents in
    // [0, 1] the same one.
    for (float y = -4.0f; y <= 4.0f; y += 0.0625f) {
        const double bound = GetParam() && !PowerTable(y).linear ? 0x1p-15 : 0x1p-14;
        float constants[32][4] = {{y, 0, 0, 0}};
        const auto outputs = runFused(source(y), x, constants);
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            const std::size_t tiles = outputs.size() / setsOfThisMachine().size();
            const std::size_t base = (k % tiles) * kTileLanes;
            for (int i = 0; i < kTileLanes && base + i < x.size(); ++i) {
                const double exact = std::pow(std::fabs(double(x[base + i])), double(y));
                const float actual = outputs[k]->colour[0][i];
                if (x[base + i] == 0.0f) {
                    const float expected = y > 0 ? 0.0f : (y < 0 ? kInf : kNaN);
                    ASSERT_TRUE(sameFloat(actual, expected)) << y;
                } else if (exact < FLT_MIN) {
                    ASSERT_LE(actual, FLT_MIN) << x[base + i] << "^" << y;
                } else if (exact < 0x1p127) {
                    worst = std::max(worst, std::fabs(actual - exact) / exact);
                    ASSERT_LE(std::fabs(actual - exact), exact * bound) << x[base + i] << "^" << y;
                }
            }
        }
    }
    RecordProperty("worst_relative_error", std::to_string(worst));
    EXPECT_GT(worst, 0.0);

    // NaN stays NaN.
    float constants[32][4] = {{0.45f, 0, 0, 0}};
    const auto nan = runFused(source(0.45f), {kNaN, -kNaN}, constants);
    for (const auto& output : nan) {
        EXPECT_TRUE(std::isnan(output->colour[0][0]) && std::isnan(output->colour[0][1]));
    }
}

INSTANTIATE_TEST_SUITE_P(ExponentFrom, FusedPower, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Def" : "Device"; });

}  // namespace
}  // namespace gs::render::software::detail
