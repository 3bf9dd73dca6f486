// The tile interpreter against plain scalar transcriptions of each instruction.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "render/software/shader/pixel_program.h"
#include "render/software/shader/power_table.h"
#include "render/software/shader/shader_arithmetic.h"
#include "render/software/simd/instruction_set.h"
#include "tests/render/software/shader/shader_test_support.h"

namespace gs::render::software {
namespace {

using testing_support::createProgram;
using testing_support::dotAs;
using testing_support::FakeTextures;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

bool sameFloat(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) ||
           std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// Zero, signed zeros, denormals, infinities, NaN, extremes, or a random value of moderate size.
float interestingValue(std::mt19937& random) {
    static constexpr float kSpecial[] = {0.0f,  -0.0f,   1e-40f,   -1e-45f, FLT_MIN, 1.0f,
                                         -1.0f, 0.5f,    2.0f,     -3.5f,   kInf,    -kInf,
                                         kNaN,  FLT_MAX, -FLT_MAX, 1e30f,   -1e-30f, 7.25f};
    if (random() % 3 == 0) {
        return kSpecial[random() % std::size(kSpecial)];
    }
    std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
    const int exponent = static_cast<int>(random() % 41) - 20;
    return (random() % 2 ? -1.0f : 1.0f) * std::ldexp(mantissa(random), exponent);
}

// One tile's inputs, constants and output, with every output lane preset to a sentinel.
struct Tile {
    Tile() {
        for (auto& component : output->colour) {
            std::fill(std::begin(component), std::end(component), kSentinel);
        }
    }
    void randomTexcoords(std::mt19937& random) {
        for (auto& reg : inputs->texcoord) {
            for (auto& component : reg) {
                for (float& value : component) {
                    value = interestingValue(random);
                }
            }
        }
    }
    void run(const PixelProgram& program, int count = kTileLanes) {
        program.run(constants, textures, *inputs, count, *output);
    }
    float t(unsigned reg, unsigned component, int lane) const {
        return inputs->texcoord[reg][component][lane];
    }
    float out(unsigned component, int lane) const { return output->colour[component][lane]; }

    static constexpr float kSentinel = -12345.0f;
    std::unique_ptr<PixelTileInputs> inputs = std::make_unique<PixelTileInputs>();
    std::unique_ptr<PixelTileOutput> output = std::make_unique<PixelTileOutput>();
    float constants[32][4] = {};
    FakeTextures textures;
};

// t0, t1 and t2 reach the instruction as t0, r1 and r2 (one t# read per instruction in ps_2_0).
std::string threeInputShader(const std::string& statement) {
    return "ps_2_0\ndcl t0\ndcl t1\ndcl t2\nmov r1, t1\nmov r2, t2\n" + statement +
           "\nmov oC0, r0\n";
}

using Reference = float (*)(float, float, float);

struct ComponentwiseCase {
    const char* statement;
    Reference reference;
    Reference alternative;  // another result Direct3D allows (a fused multiply-add), or null
};

class ComponentwiseInstruction : public testing::TestWithParam<ComponentwiseCase> {};

TEST_P(ComponentwiseInstruction, MatchesTheScalarReferenceInEveryLaneAndComponent) {
    const auto& test = GetParam();
    const auto program = createProgram(threeInputShader(test.statement));
    ASSERT_NE(program, nullptr);
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        Tile tile;
        tile.randomTexcoords(random);
        tile.run(*program);
        for (unsigned c = 0; c < 4; ++c) {
            for (int i = 0; i < kTileLanes; ++i) {
                const float a = tile.t(0, c, i), b = tile.t(1, c, i), e = tile.t(2, c, i);
                const float actual = tile.out(c, i);
                const bool matches =
                    sameFloat(actual, test.reference(a, b, e)) ||
                    (test.alternative && sameFloat(actual, test.alternative(a, b, e)));
                ASSERT_TRUE(matches)
                    << test.statement << " (" << a << ", " << b << ", " << e << ") gave " << actual
                    << ", expected " << test.reference(a, b, e) << "; lane " << i << ", component "
                    << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Instructions, ComponentwiseInstruction,
    testing::Values(
        ComponentwiseCase{"mov r0, t0", [](float a, float, float) { return a; }, nullptr},
        ComponentwiseCase{"add r0, t0, r1", [](float a, float b, float) { return a + b; }, nullptr},
        ComponentwiseCase{"sub r0, t0, r1", [](float a, float b, float) { return a - b; }, nullptr},
        ComponentwiseCase{"mul r0, t0, r1", [](float a, float b, float) { return a * b; }, nullptr},
        ComponentwiseCase{"mad r0, t0, r1, r2", [](float a, float b, float c) { return a * b + c; },
                          [](float a, float b, float c) { return std::fma(a, b, c); }},
        ComponentwiseCase{"min r0, t0, r1", [](float a, float b, float) { return a < b ? a : b; },
                          nullptr},
        ComponentwiseCase{"max r0, t0, r1", [](float a, float b, float) { return a >= b ? a : b; },
                          nullptr},
        ComponentwiseCase{"abs r0, t0", [](float a, float, float) { return std::fabs(a); },
                          nullptr},
        ComponentwiseCase{"frc r0, t0", [](float a, float, float) { return a - std::floor(a); },
                          nullptr},
        ComponentwiseCase{"cmp r0, t0, r1, r2",
                          [](float a, float b, float c) { return a >= 0.0f ? b : c; }, nullptr},
        ComponentwiseCase{"lrp r0, t0, r1, r2",
                          [](float a, float b, float c) { return a * (b - c) + c; },
                          [](float a, float b, float c) { return std::fma(a, b - c, c); }},
        ComponentwiseCase{"add_sat r0, -t0, r1",
                          [](float a, float b, float) {
                              const float sum = -a + b;
                              return sum > 0.0f ? (sum < 1.0f ? sum : 1.0f) : 0.0f;
                          },
                          nullptr}));

// How far a scalar result may be from the reference: exact, or within the error bound the
// interpreter documents for its log and exp approximations (pow compounds both).
enum class Bound { Exact, Log, Exp, Pow };

struct ScalarCase {
    const char* statement;
    unsigned component0;  // component of t0 read
    unsigned component1;  // component of t1 read (pow)
    Reference reference;
    Bound bound = Bound::Exact;
};

// pow's relative bound: the log's error, scaled by |b|, becomes a relative error of the power.
double powerRelativeBound(float a, float b) {
    const double exponent = std::fabs(double(b) * std::log2(std::fabs(double(a))));
    return std::ldexp(1.0 + exponent + std::fabs(double(b)), -20);
}

bool withinBound(float actual, float a, float b, const ScalarCase& test) {
    const double exact = test.bound == Bound::Log   ? std::log2(std::fabs(double(a)))
                         : test.bound == Bound::Exp ? std::exp2(double(a))
                         : test.bound == Bound::Pow
                             ? std::exp2(double(b) * std::log2(std::fabs(double(a))))
                             : double(test.reference(a, b, 0.0f));
    const float rounded = static_cast<float>(exact);
    if (sameFloat(actual, rounded) || std::isnan(exact)) {
        return sameFloat(actual, rounded);
    }
    if (test.bound == Bound::Pow && std::isinf(actual) && std::isfinite(exact) &&
        std::signbit(actual) == std::signbit(exact)) {
        // Within the bound's reach of the largest float, rounding may overflow: exp2 of a product
        // that rounds to 128 is infinite (pow(FLT_MAX, 1) among them).
        return std::fabs(exact) * (1.0 + powerRelativeBound(a, b) * 1.5) >= double(FLT_MAX);
    }
    if (!std::isfinite(rounded) || !std::isfinite(actual)) {
        return false;
    }
    const double error = std::fabs(double(actual) - exact);
    switch (test.bound) {
        case Bound::Log:
            return error <= std::ldexp(std::max(1.0, std::fabs(exact)), -21);
        case Bound::Exp:
            return error <= std::ldexp(std::fabs(exact), -21) + std::ldexp(1.0, -149);
        case Bound::Pow:
            return error <=
                   std::fabs(exact) * powerRelativeBound(a, b) * 1.5 + std::ldexp(1.0, -149);
        case Bound::Exact:
            break;
    }
    return false;
}

class ScalarInstruction : public testing::TestWithParam<ScalarCase> {};

TEST_P(ScalarInstruction, ReplicatesTheScalarReference) {
    const auto& test = GetParam();
    const auto program = createProgram(threeInputShader(test.statement));
    ASSERT_NE(program, nullptr);
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        Tile tile;
        tile.randomTexcoords(random);
        tile.run(*program);
        for (int i = 0; i < kTileLanes; ++i) {
            const float a = tile.t(0, test.component0, i), b = tile.t(1, test.component1, i);
            const float expected = test.reference(a, b, 0.0f);
            for (unsigned c = 0; c < 4; ++c) {
                ASSERT_TRUE(withinBound(tile.out(c, i), a, b, test))
                    << test.statement << " (" << a << ", " << b << ") gave " << tile.out(c, i)
                    << ", expected " << expected;
                ASSERT_TRUE(sameFloat(tile.out(c, i), tile.out(0, i)));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Instructions, ScalarInstruction,
    testing::Values(
        ScalarCase{"rcp r0, t0.x", 0, 0, [](float a, float, float) { return 1.0f / a; }},
        ScalarCase{"rsq r0, t0.y", 1, 0,
                   [](float a, float, float) { return 1.0f / std::sqrt(std::fabs(a)); }},
        ScalarCase{"log r0, t0.z", 2, 0,
                   [](float a, float, float) { return std::log2(std::fabs(a)); }, Bound::Log},
        ScalarCase{"exp r0, t0.w", 3, 0, [](float a, float, float) { return std::exp2(a); },
                   Bound::Exp},
        ScalarCase{"pow r0, t0.z, r1.w", 2, 3,
                   [](float a, float b, float) { return std::exp2(b * std::log2(std::fabs(a))); },
                   Bound::Pow}));

// Sums of products: within a few units of rounding of the sum of magnitudes, or the same
// non-finite value.
void expectCloseSum(float actual, float expected, float magnitude, const char* what) {
    if (!std::isfinite(expected) || !std::isfinite(actual)) {
        EXPECT_TRUE(sameFloat(actual, expected)) << what << ": " << actual << " vs " << expected;
    } else {
        EXPECT_LE(std::fabs(actual - expected), 4 * FLT_EPSILON * magnitude + FLT_MIN)
            << what << ": " << actual << " vs " << expected;
    }
}

TEST(PixelProgramRun, DotProductsAndNormalizeMatchTheReference) {
    const auto dp3 = createProgram(threeInputShader("dp3 r0, t0, r1"));
    const auto dp4 = createProgram(threeInputShader("mov r0, c0\ndp4 r0.yw, t0.wzyx, -r1"));
    const auto nrm = createProgram(threeInputShader("nrm r0, t0"));
    ASSERT_TRUE(dp3 && dp4 && nrm);
    std::mt19937 random(13);
    for (int round = 0; round < 10; ++round) {
        Tile tile3, tile4, tileN;
        tile3.randomTexcoords(random);
        *tile4.inputs = *tile3.inputs;
        *tileN.inputs = *tile3.inputs;
        tile3.run(*dp3);
        tile4.run(*dp4);
        tileN.run(*nrm);
        for (int i = 0; i < kTileLanes; ++i) {
            float a[4], b[4];
            for (unsigned c = 0; c < 4; ++c) {
                a[c] = tile3.t(0, c, i);
                b[c] = tile3.t(1, c, i);
            }
            // Summed in the kernels' order: where a product overflows, the order decides
            // between an infinity and NaN.
            const simd::InstructionSet set = simd::activeInstructionSet();
            const float sum3 = dotAs(set, a, b, 3);
            const float size3 =
                std::fabs(a[0] * b[0]) + std::fabs(a[1] * b[1]) + std::fabs(a[2] * b[2]);
            for (unsigned c = 0; c < 4; ++c) {
                expectCloseSum(tile3.out(c, i), sum3, size3, "dp3");
            }
            // .wzyx against the negated b: w*(-x) + z*(-y) + y*(-z) + x*(-w).
            const float swizzled[4] = {a[3], a[2], a[1], a[0]};
            const float negated[4] = {-b[0], -b[1], -b[2], -b[3]};
            const float sum4 = dotAs(set, swizzled, negated, 4);
            const float size4 = std::fabs(a[3] * b[0]) + std::fabs(a[2] * b[1]) +
                                std::fabs(a[1] * b[2]) + std::fabs(a[0] * b[3]);
            expectCloseSum(tile4.out(1, i), sum4, size4, "dp4");
            expectCloseSum(tile4.out(3, i), sum4, size4, "dp4");
            EXPECT_EQ(tile4.out(0, i), 0.0f);  // masked out: still c0
            EXPECT_EQ(tile4.out(2, i), 0.0f);

            const float lengthSquared = dotAs(set, a, a, 3);
            const float factor = lengthSquared != 0.0f ? 1.0f / std::sqrt(lengthSquared) : FLT_MAX;
            for (unsigned c = 0; c < 4; ++c) {
                const float expected = a[c] * factor;
                expectCloseSum(tileN.out(c, i), expected, std::fabs(expected), "nrm");
            }
        }
    }
}

// The results the interpreter documents for special inputs; t0.x, t1.x and t2.x are a, b and c.
struct SpecialCase {
    const char* statement;
    float a, b, c;
    float expected;
};

class SpecialValues : public testing::TestWithParam<SpecialCase> {};

TEST_P(SpecialValues, GiveTheDocumentedResult) {
    const auto& test = GetParam();
    const auto program = createProgram(threeInputShader(test.statement));
    ASSERT_NE(program, nullptr);
    Tile tile;
    for (int i = 0; i < kTileLanes; ++i) {
        tile.inputs->texcoord[0][0][i] = test.a;
        tile.inputs->texcoord[1][0][i] = test.b;
        tile.inputs->texcoord[2][0][i] = test.c;
    }
    tile.run(*program);
    for (int i = 0; i < kTileLanes; ++i) {
        ASSERT_TRUE(sameFloat(tile.out(0, i), test.expected))
            << test.statement << " (" << test.a << ", " << test.b << ", " << test.c << ") gave "
            << tile.out(0, i) << ", expected " << test.expected;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpecialValues,
    testing::Values(SpecialCase{"rcp r0, t0.x", 0.0f, 0, 0, kInf},
                    SpecialCase{"rcp r0, t0.x", -0.0f, 0, 0, -kInf},
                    SpecialCase{"rcp r0, t0.x", kInf, 0, 0, 0.0f},
                    SpecialCase{"rcp r0, t0.x", 4.0f, 0, 0, 0.25f},
                    SpecialCase{"rsq r0, t0.x", 0.0f, 0, 0, kInf},
                    SpecialCase{"rsq r0, t0.x", -0.0f, 0, 0, kInf},
                    SpecialCase{"rsq r0, t0.x", -4.0f, 0, 0, 0.5f},
                    SpecialCase{"rsq r0, t0.x", kInf, 0, 0, 0.0f},
                    SpecialCase{"log r0, t0.x", 0.0f, 0, 0, -kInf},
                    SpecialCase{"log r0, t0.x", -0.0f, 0, 0, -kInf},
                    SpecialCase{"log r0, t0.x", -8.0f, 0, 0, 3.0f},
                    SpecialCase{"log r0, t0.x", 1.0f, 0, 0, 0.0f},
                    SpecialCase{"log r0, t0.x", kInf, 0, 0, kInf},
                    SpecialCase{"log r0, t0.x", 0x1p-140f, 0, 0, -140.0f},
                    SpecialCase{"log r0, t0.x", 0x1p-149f, 0, 0, -149.0f},
                    SpecialCase{"log r0, t0.x", FLT_MAX, 0, 0, 128.0f},
                    SpecialCase{"log r0, t0.x", kNaN, 0, 0, kNaN},
                    SpecialCase{"exp r0, t0.x", -149.0f, 0, 0, 0x1p-149f},
                    SpecialCase{"exp r0, t0.x", -150.5f, 0, 0, 0.0f},
                    SpecialCase{"exp r0, t0.x", 127.0f, 0, 0, 0x1p127f},
                    SpecialCase{"exp r0, t0.x", 128.0f, 0, 0, kInf},
                    SpecialCase{"exp r0, t0.x", kNaN, 0, 0, kNaN},
                    SpecialCase{"exp r0, t0.x", -kInf, 0, 0, 0.0f},
                    SpecialCase{"exp r0, t0.x", 0.0f, 0, 0, 1.0f},
                    SpecialCase{"exp r0, t0.x", -1.0f, 0, 0, 0.5f},
                    SpecialCase{"exp r0, t0.x", kInf, 0, 0, kInf},
                    SpecialCase{"exp r0, t0.x", 200.0f, 0, 0, kInf},
                    SpecialCase{"pow r0, t0.x, r1.x", 0.0f, 0.45f, 0, 0.0f},
                    SpecialCase{"pow r0, t0.x, r1.x", -4.0f, 0.5f, 0, 2.0f},
                    SpecialCase{"pow r0, t0.x, r1.x", 2.0f, 3.0f, 0, 8.0f},
                    SpecialCase{"pow r0, t0.x, r1.x", 0.0f, 0.0f, 0, kNaN},
                    SpecialCase{"min r0, t0, r1", kNaN, 1.0f, 0, 1.0f},
                    SpecialCase{"min r0, t0, r1", 1.0f, kNaN, 0, kNaN},
                    SpecialCase{"min r0, t0, r1", -0.0f, 0.0f, 0, 0.0f},
                    SpecialCase{"max r0, t0, r1", kNaN, 1.0f, 0, 1.0f},
                    SpecialCase{"max r0, t0, r1", 1.0f, kNaN, 0, kNaN},
                    SpecialCase{"cmp r0, t0, r1, r2", -0.0f, 1.0f, 2.0f, 1.0f},
                    SpecialCase{"cmp r0, t0, r1, r2", kNaN, 1.0f, 2.0f, 2.0f},
                    SpecialCase{"cmp r0, t0, r1, r2", -1e-45f, 1.0f, 2.0f, 2.0f},
                    SpecialCase{"frc r0, t0", -0.25f, 0, 0, 0.75f},
                    SpecialCase{"frc r0, t0", -2.0f, 0, 0, 0.0f},
                    SpecialCase{"frc r0, t0", 1e20f, 0, 0, 0.0f},
                    SpecialCase{"frc r0, t0", kInf, 0, 0, kNaN},
                    SpecialCase{"mul r0, t0, r1", 0.0f, kInf, 0, kNaN},
                    SpecialCase{"mad r0, t0, r1, r2", FLT_MAX, 2.0f, 1.0f, kInf},
                    SpecialCase{"mov_sat r0, t0", kNaN, 0, 0, 0.0f},
                    SpecialCase{"mov_sat r0, t0", -1.0f, 0, 0, 0.0f},
                    SpecialCase{"mov_sat r0, t0", 2.0f, 0, 0, 1.0f},
                    SpecialCase{"mov_sat r0, t0", 0.25f, 0, 0, 0.25f},
                    SpecialCase{"mov_sat r0, t0", kInf, 0, 0, 1.0f},
                    // A zero vector normalises to zero rather than NaN.
                    SpecialCase{"mov r1, c0\nnrm r0, r1", 0, 0, 0, 0.0f}));

// Only lanes [0, count) are computed and written, for counts around the vector widths.
TEST(PixelProgramRun, WritesExactlyTheRequestedLanes) {
    const auto program = createProgram(threeInputShader("mad r0, t0, r1, -r2"));
    ASSERT_NE(program, nullptr);
    std::mt19937 random(17);
    for (int count : {0, 1, 3, 4, 7, 8, 15, 16, 17, 31, 33, 63, 64, 65}) {
        Tile tile;
        tile.randomTexcoords(random);
        tile.run(*program, count);
        for (unsigned c = 0; c < 4; ++c) {
            for (int i = 0; i < kTileLanes; ++i) {
                if (i < count) {
                    const float a = tile.t(0, c, i), b = tile.t(1, c, i), e = tile.t(2, c, i);
                    EXPECT_TRUE(sameFloat(tile.out(c, i), a * b - e) ||
                                sameFloat(tile.out(c, i), std::fma(a, b, -e)))
                        << "count " << count << ", lane " << i;
                } else {
                    EXPECT_EQ(tile.out(c, i), Tile::kSentinel) << "count " << count;
                }
            }
        }
    }
}

TEST(PixelProgramRun, ReadsDeviceConstantsUnlessTheShaderDefinesThem) {
    const auto program = createProgram(R"(
        ps_2_0
        dcl t0
        def c1, 0.5, 0.25, 2, -1
        mad r0, t0, c0, c1
        add r0, r0, -c2.y
        rcp r1.x, c2.x
        mul r0.x, r0.x, r1.x
        mov oC0, r0
    )");
    ASSERT_NE(program, nullptr);
    Tile tile;
    std::mt19937 random(19);
    tile.randomTexcoords(random);
    const float device[3][4] = {{1, 2, 3, 4}, {100, 100, 100, 100}, {4, 8, 0, 0}};
    std::copy(&device[0][0], &device[0][0] + 12, &tile.constants[0][0]);
    tile.run(*program);
    const float defined[4] = {0.5f, 0.25f, 2.0f, -1.0f};
    for (unsigned c = 0; c < 4; ++c) {
        for (int i = 0; i < kTileLanes; ++i) {
            float expected = tile.t(0, c, i) * device[0][c] + defined[c] - 8.0f;
            if (c == 0) {
                expected *= 0.25f;
            }
            EXPECT_TRUE(sameFloat(tile.out(c, i), expected)) << c << " " << i;
        }
    }

    // Without device constants every c# the shader does not define reads as zero.
    auto output = std::make_unique<PixelTileOutput>();
    program->run(nullptr, tile.textures, *tile.inputs, kTileLanes, *output);
    EXPECT_TRUE(sameFloat(output->colour[1][0], 0.25f));
    EXPECT_TRUE(sameFloat(output->colour[0][0], 0.5f * kInf));
}

TEST(PixelProgramRun, HonoursWriteMasksSwizzlesAndNegation) {
    const auto program = createProgram(R"(
        ps_2_0
        dcl t0
        dcl t1
        mov r0, t0
        mov r0.yw, -t1.wzyx
        mov r1, t1.zxyw
        mov r0.z, r1.y
        mov oC0, r0
    )");
    ASSERT_NE(program, nullptr);
    Tile tile;
    std::mt19937 random(23);
    tile.randomTexcoords(random);
    tile.run(*program);
    for (int i = 0; i < kTileLanes; ++i) {
        EXPECT_TRUE(sameFloat(tile.out(0, i), tile.t(0, 0, i)));   // untouched x
        EXPECT_TRUE(sameFloat(tile.out(1, i), -tile.t(1, 2, i)));  // y from -t1.z
        EXPECT_TRUE(sameFloat(tile.out(2, i), tile.t(1, 0, i)));   // z from t1.zxyw's y = x
        EXPECT_TRUE(sameFloat(tile.out(3, i), -tile.t(1, 0, i)));  // w from -t1.x
    }
}

// An instruction whose destination is also its source must read every component before any is
// overwritten, as the hardware does.
TEST(PixelProgramRun, ReadsSourcesBeforeOverwritingThem) {
    const auto rotate = createProgram(R"(
        ps_2_0
        dcl t0
        mov r0, t0
        mov r0.xyz, r0.yzxw
        mov oC0, r0
    )");
    const auto reverseAdd = createProgram(R"(
        ps_2_0
        dcl t0
        mov r0, t0
        add r0, r0, r0.wzyx
        mov oC0, r0
    )");
    ASSERT_TRUE(rotate && reverseAdd);
    Tile a, b;
    std::mt19937 random(29);
    a.randomTexcoords(random);
    *b.inputs = *a.inputs;
    a.run(*rotate);
    b.run(*reverseAdd);
    for (int i = 0; i < kTileLanes; ++i) {
        EXPECT_TRUE(sameFloat(a.out(0, i), a.t(0, 1, i)));
        EXPECT_TRUE(sameFloat(a.out(1, i), a.t(0, 2, i)));
        EXPECT_TRUE(sameFloat(a.out(2, i), a.t(0, 0, i)));
        EXPECT_TRUE(sameFloat(a.out(3, i), a.t(0, 3, i)));
        for (unsigned c = 0; c < 4; ++c) {
            EXPECT_TRUE(sameFloat(b.out(c, i), b.t(0, c, i) + b.t(0, 3 - c, i)));
        }
    }
}

// The texture units are asked for the channels the program goes on to read, no more.
TEST(PixelProgramRun, AsksTheTextureUnitsForTheChannelsItReads) {
    const auto program = createProgram(R"(
        ps_2_0
        dcl t0.xy
        dcl_2d s1
        def c0, 1, 2, 3, 4
        texld r0, t0, s1
        mul r1.xy, r0.zxyw, c0
        mov r1.zw, c0
        mov oC0, r1
    )");
    const auto all = createProgram("ps_2_0\ndcl t0.xy\ndcl_2d s1\ntexld r0, t0, s1\nmov oC0, r0\n");
    ASSERT_TRUE(program && all);
    std::mt19937 random(7);
    Tile tile;
    tile.randomTexcoords(random);
    tile.run(*program);
    EXPECT_EQ(tile.textures.lastChannels, 5u);  // x and z
    for (int i = 0; i < kTileLanes; ++i) {
        EXPECT_TRUE(sameFloat(tile.out(0, i), tile.t(0, 0, i) + tile.t(0, 1, i)));
        EXPECT_TRUE(sameFloat(tile.out(1, i), (tile.t(0, 0, i) * 10.0f + 1.0f) * 2.0f));
    }
    // A caller that reads colour only: the program's alpha, and the texel's, go unread.
    program->runColour(tile.constants, tile.textures, *tile.inputs, kTileLanes, *tile.output);
    all->runColour(tile.constants, tile.textures, *tile.inputs, kTileLanes, *tile.output);
    EXPECT_EQ(tile.textures.lastChannels, 7u);
    all->run(tile.constants, tile.textures, *tile.inputs, kTileLanes, *tile.output);
    EXPECT_EQ(tile.textures.lastChannels, 15u);
}

TEST(PixelProgramRun, SamplesOncePerTexldWithTheCoordinateArrays) {
    const auto direct = createProgram(R"(
        ps_2_0
        dcl t0.xy
        dcl_2d s3
        texld r0, t0, s3
        mov oC0, r0
    )");
    // A dependent read whose texels overwrite its own coordinates.
    const auto dependent = createProgram(R"(
        ps_2_0
        dcl t0.xy
        dcl_2d s2
        def c0, 0.5, 2, 0, 0
        mul r1.xy, t0, c0
        texld r1, r1, s2
        mov oC0, r1
    )");
    ASSERT_TRUE(direct && dependent);
    std::mt19937 random(31);
    for (int count : {64, 13}) {
        Tile tile;
        tile.randomTexcoords(random);
        tile.run(*direct, count);
        EXPECT_EQ(tile.textures.calls, 1);
        EXPECT_EQ(tile.textures.lastSampler, 3u);
        EXPECT_EQ(tile.textures.lastCount, count);
        EXPECT_EQ(tile.textures.lastChannels, 15u);
        for (int i = 0; i < count; ++i) {
            const float u = tile.t(0, 0, i), v = tile.t(0, 1, i);
            EXPECT_TRUE(sameFloat(tile.out(0, i), u * 10.0f + 3.0f));
            EXPECT_TRUE(sameFloat(tile.out(1, i), v));
            EXPECT_TRUE(sameFloat(tile.out(2, i), u + v));
            EXPECT_EQ(tile.out(3, i), 1.0f);
        }

        Tile second;
        *second.inputs = *tile.inputs;
        second.run(*dependent, count);
        EXPECT_EQ(second.textures.calls, 1);
        EXPECT_EQ(second.textures.lastSampler, 2u);
        for (int i = 0; i < count; ++i) {
            const float u = tile.t(0, 0, i) * 0.5f, v = tile.t(0, 1, i) * 2.0f;
            EXPECT_TRUE(sameFloat(second.out(0, i), u * 10.0f + 2.0f));
            EXPECT_TRUE(sameFloat(second.out(1, i), v));
            EXPECT_TRUE(sameFloat(second.out(2, i), u + v));
        }
    }
}

// A program in the shape of the effect's two-source pass: distances to two points through rsq and
// rcp, two strip reads at u = distance * k, and |L - R|^0.45 through log, mul and exp.
TEST(PixelProgramRun, RunsADistanceAndStripProgramLikeTheEffect) {
    const auto program = createProgram(R"(
        ps_2_0
        dcl t0.xyz
        dcl_2d s0
        dcl_2d s1
        def c3, 0.5, 0.45, 0, 0      ; strip row, exponent
        ; c0, c1: the two sources; c2.x: 1 / texWidth
        add r0.xyz, t0, -c0
        dp3 r0.w, r0, r0
        rsq r0.w, r0.w
        rcp r0.w, r0.w
        mul r0.x, r0.w, c2.x
        mov r0.y, c3.x
        texld r0, r0, s0
        add r1.xyz, t0, -c1
        dp3 r1.w, r1, r1
        rsq r1.w, r1.w
        rcp r1.w, r1.w
        mul r1.x, r1.w, c2.x
        mov r1.y, c3.x
        texld r1, r1, s1
        add r2, r0, r1
        add r3, r0, -r1
        abs r3, r3
        log r4.x, r3.x
        log r4.y, r3.y
        log r4.z, r3.z
        log r4.w, r3.w
        mul r4, r4, c3.y
        exp r5.x, r4.x
        exp r5.y, r4.y
        exp r5.z, r4.z
        exp r5.w, r4.w
        mul r0, r2, r5
        mov oC0, r0
    )");
    ASSERT_NE(program, nullptr);
    Tile tile;
    const float source0[3] = {10, 20, 0}, source1[3] = {40, 5, 0}, k = 1.0f / 900.0f;
    std::copy(source0, source0 + 3, tile.constants[0]);
    std::copy(source1, source1 + 3, tile.constants[1]);
    tile.constants[2][0] = k;
    for (int i = 0; i < kTileLanes; ++i) {  // a row of pixels at y = 7, and one exactly at pos0
        tile.inputs->texcoord[0][0][i] = static_cast<float>(i);
        tile.inputs->texcoord[0][1][i] = i == 10 ? 20.0f : 7.0f;
        tile.inputs->texcoord[0][2][i] = 0.0f;
    }
    tile.run(*program);

    auto strip = [](unsigned sampler, float u, float v) {  // what FakeTextures returns
        return std::array<float, 4>{u * 10.0f + static_cast<float>(sampler), v, u + v, 1.0f};
    };
    for (int i = 0; i < kTileLanes; ++i) {
        const double x = i, y = i == 10 ? 20.0 : 7.0;
        const double d0 = std::hypot(x - source0[0], y - source0[1]);
        const double d1 = std::hypot(x - source1[0], y - source1[1]);
        const auto left = strip(0, static_cast<float>(d0 * k), 0.5f);
        const auto right = strip(1, static_cast<float>(d1 * k), 0.5f);
        for (unsigned c = 0; c < 4; ++c) {
            const double difference = std::fabs(double(left[c]) - right[c]);
            const double expected =
                (double(left[c]) + right[c]) * (difference == 0 ? 0.0 : std::pow(difference, 0.45));
            // Within the bound of the power by a def exponent's table of chords, 2^-14 relative.
            EXPECT_NEAR(tile.out(c, i), expected, 0x1p-14 * std::max(1.0, std::fabs(expected)))
                << "pixel " << i << ", channel " << c;
        }
    }
}

// A program of every kind of instruction, compiled under each instruction set the machine runs,
// gives bit for bit what the first set of its kind gives (any NaN matching any NaN), on random
// inputs and tile sizes around the vector widths: the SSE2 baseline, or AVX2 for the sets that fuse
// multiply-adds. (Across the kinds, a last-place difference in a distance can move a texel, or
// turn a comparison, further on; the kernels' own tests bound each step.)
TEST(PixelProgramRun, EveryInstructionSetMatchesTheBaseline) {
    const std::string source = R"(ps_2_0
        dcl t0
        dcl t1
        dcl_2d s0
        def c5, 0.5, 0.45, 0.8, -1
        add r0, t0, -c0
        dp3 r1.x, r0, r0
        rsq r1.y, r1.x
        rcp r1.z, r1.y
        mul r1.w, r1.z, c1.x
        mov r11, r1.wzyx
        texld r2, r11, s0
        add r3, r2, -t1
        abs r3, r3
        log r4.x, r3.x
        log r4.y, r3.y
        mul r4.xy, r4, c5.y
        exp r5.x, r4.x
        exp r5.y, r4.y
        pow r5.z, r3.z, c5.z
        frc r5.w, t0.w
        mad r6, r5, r2, c5.w
        mov r9, t1
        lrp_sat r7, r6, t0, r9
        cmp r8, r6, r7, r5
        max r8, r8, r9
        min r8, r8, -r6
        dp4 r9.x, r8, t0
        nrm r10.xyz, r8
        mov r10.w, r9.x
        mov oC0, r10
    )";
    std::mt19937 random(31);
    Tile tile;
    tile.randomTexcoords(random);
    const float constants[2][4] = {{0.5f, -2.0f, 3.0f, 0.0f}, {0.01f, 0, 0, 0}};
    std::copy(&constants[0][0], &constants[0][0] + 8, &tile.constants[0][0]);
    std::vector<std::vector<float>> baseline;
    bool baselineFuses = false;
    for (int set = 0; set <= static_cast<int>(simd::bestInstructionSet()); ++set) {
        const bool fuses = simd::fusesMultiplyAdd(static_cast<simd::InstructionSet>(set));
        if (set == 0 || fuses != baselineFuses) {
            baseline.clear();  // the first set of another kind
            baselineFuses = fuses;
        }
        ASSERT_TRUE(simd::useInstructionSet(static_cast<simd::InstructionSet>(set)));
        const auto program = createProgram(source);
        ASSERT_NE(program, nullptr);
        const int counts[] = {1, 4, 7, 8, 9, 16, 17, 31, kTileLanes};
        for (std::size_t k = 0; k < std::size(counts); ++k) {
            tile.run(*program, counts[k]);
            std::vector<float> out;
            for (unsigned c = 0; c < 4; ++c) {
                out.insert(out.end(), tile.output->colour[c], tile.output->colour[c] + counts[k]);
            }
            if (baseline.size() <= k) {
                baseline.push_back(out);
                continue;
            }
            // A NaN is a NaN: which encoding comes out (x86 passes on the first operand's NaN, and
            // an unoptimised build orders operands differently per instruction set) is no result.
            for (std::size_t i = 0; i < out.size(); ++i) {
                if (std::isnan(out[i]) && std::isnan(baseline[k][i])) {
                    continue;
                }
                ASSERT_EQ(std::memcmp(&out[i], &baseline[k][i], sizeof(float)), 0)
                    << simd::instructionSetName(static_cast<simd::InstructionSet>(set)) << ", "
                    << counts[k] << " lanes, value " << i << ": " << out[i] << " against "
                    << baseline[k][i];
            }
        }
    }
    simd::useInstructionSet(simd::bestInstructionSet());
}

// log, exp and the power their chain fuses into have vector versions of their own on some
// instruction sets: on every set, they must give what the per-lane functions give, bit for bit,
// over a sweep of every binade of floats (denormals, zeros, infinities and NaNs included), for
// plain and negated sources and for tiles that end inside a vector.
TEST(PixelProgramRun, TranscendentalsEqualTheirPerLaneFunctionsOnEverySet) {
    std::vector<float> values;
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 65521) {  // a prime stride
        values.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    }
    for (float special : {0.0f, -0.0f, kInf, -kInf, kNaN, FLT_MIN, FLT_TRUE_MIN, FLT_MAX, 1.0f,
                          0.5f, 128.0f, 129.5f, -149.5f, -150.0f, -152.0f, 130.0f, 1e-40f}) {
        values.push_back(special);
    }
    // Mantissas on either side of sqrt(2), where log splits its range, in every binade.
    for (std::uint32_t exponent = 1; exponent < 255; ++exponent) {
        for (std::uint32_t fraction : {0x3504F2u, 0x3504F3u, 0x3504F4u}) {
            values.push_back(std::bit_cast<float>(exponent << 23 | fraction));
        }
    }
    struct Case {
        const char* source;
        float (*reference)(float);
    };
    const Case cases[] = {
        {"ps_2_0\ndcl t0\nlog r0, t0.x\nmov oC0, r0\n",
         [](float x) { return arithmetic::logarithm2(x); }},
        {"ps_2_0\ndcl t0\nlog r0, -t0.x\nmov oC0, r0\n",
         [](float x) { return arithmetic::logarithm2(-x); }},
        {"ps_2_0\ndcl t0\nexp r0, t0.x\nmov oC0, r0\n",
         [](float x) { return arithmetic::exponential2(x); }},
        {"ps_2_0\ndcl t0\nexp r0, -t0.x\nmov oC0, r0\n",
         [](float x) { return arithmetic::exponential2(-x); }},
        // log, a multiplication by a device constant (c0.x = 0.45 below) and exp become one
        // power; by a def constant, the power by that exponent's table.
        {"ps_2_0\ndcl t0\nlog r0, t0.x\nmul r0, r0, c0.x\nexp r0, r0.x\nmov oC0, r0\n",
         [](float x) { return arithmetic::shortPower(x, 0.45f); }},
        {"ps_2_0\ndcl t0\nlog r0, -t0.x\nmul r0, r0, -c0.x\nexp r0, r0.x\nmov oC0, r0\n",
         [](float x) { return arithmetic::shortPower(-x, -0.45f); }},
        {"ps_2_0\ndef c1, 0.45, 0, 0, 0\ndcl t0\nlog r0, t0.x\nmul r0, r0, c1.x\n"
         "exp r0, r0.x\nmov oC0, r0\n",
         [](float x) {
             static const PowerTable table(0.45f);
             return arithmetic::tablePower(x, table);
         }},
        {"ps_2_0\ndef c1, -2.5, 0, 0, 0\ndcl t0\nlog r0, -t0.x\nmul r0, r0, c1.x\n"
         "exp r0, r0.x\nmov oC0, r0\n",
         [](float x) {
             static const PowerTable table(-2.5f);
             return arithmetic::tablePower(-x, table);
         }},
        {"ps_2_0\ndef c1, 4, 0, 0, 0\ndcl t0\nlog r0, t0.x\nmul r0, r0, c1.x\n"
         "exp r0, r0.x\nmov oC0, r0\n",
         [](float x) {
             static const PowerTable table(4.0f);
             return arithmetic::tablePower(x, table);
         }},
    };
    for (int set = 0; set <= static_cast<int>(simd::bestInstructionSet()); ++set) {
        ASSERT_TRUE(simd::useInstructionSet(static_cast<simd::InstructionSet>(set)));
        for (const Case& test : cases) {
            const auto program = createProgram(test.source);
            ASSERT_NE(program, nullptr);
            Tile tile;
            tile.constants[0][0] = 0.45f;
            for (std::size_t first = 0; first < values.size(); first += kTileLanes) {
                // The last tile is a partial one.
                const int count =
                    static_cast<int>(std::min<std::size_t>(kTileLanes, values.size() - first));
                std::copy_n(values.begin() + first, count, tile.inputs->texcoord[0][0]);
                tile.run(*program, count);
                for (int i = 0; i < count; ++i) {
                    const float x = values[first + i];
                    ASSERT_TRUE(sameFloat(tile.out(0, i), test.reference(x)))
                        << simd::instructionSetName(static_cast<simd::InstructionSet>(set)) << ", "
                        << test.source << " at " << std::hexfloat << x << ": " << tile.out(0, i)
                        << " against " << test.reference(x);
                }
            }
        }
    }
    simd::useInstructionSet(simd::bestInstructionSet());
}

}  // namespace
}  // namespace gs::render::software
