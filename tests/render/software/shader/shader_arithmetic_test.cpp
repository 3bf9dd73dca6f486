// The interpreter's log2 and exp2 approximations against double precision, over their whole
// ranges: the error bounds shader_arithmetic.h states, and the exact cases callers rely on.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>

#include "render/software/shader/shader_arithmetic.h"

namespace gs::render::software::arithmetic {
namespace {

TEST(ShaderArithmetic, Log2IsWithinItsBoundForEveryBinade) {
    std::mt19937 random(5);
    std::uniform_int_distribution<std::uint32_t> fraction(0, 0x7FFFFF);
    double worst = 0.0;  // in units of 2^-21 * max(1, |log2 x|)
    // Every binade from the smallest denormal to the largest float, 2000 mantissas each, with the
    // mantissas around sqrt(2), where the reduction switches, among them.
    for (std::uint32_t exponent = 0; exponent < 255; ++exponent) {
        for (int k = 0; k < 2000; ++k) {
            std::uint32_t bits = k < 16 ? 0x3504F3u + k - 8 : fraction(random);
            bits |= exponent << 23;
            const float x = std::bit_cast<float>(bits);
            if (x == 0.0f) {
                continue;
            }
            const double exact = std::log2(double(x));
            const double error = std::fabs(double(logarithm2(x)) - exact);
            worst = std::max(worst, error / std::ldexp(std::max(1.0, std::fabs(exact)), -21));
            ASSERT_EQ(logarithm2(-x), logarithm2(x));
        }
    }
    EXPECT_LE(worst, 1.0);
    RecordProperty("worst_in_bound_units", std::to_string(worst));
}

TEST(ShaderArithmetic, Exp2IsWithinItsBoundOverTheWholeRange) {
    double worstNormal = 0.0;  // relative error in units of 2^-21
    double worstTiny = 0.0;    // absolute error in units of the smallest denormal
    for (double x = -151.0; x <= 128.0; x += 1.0 / 4096 + 1e-7) {
        const float xf = static_cast<float>(x);
        const double exact = std::exp2(double(xf));
        const double got = exponential2(xf);
        if (exact >= FLT_MIN) {
            worstNormal = std::max(worstNormal, std::fabs(got - exact) / exact * 0x1p21);
        } else {
            worstTiny = std::max(worstTiny, std::fabs(got - exact) / 0x1p-149);
        }
    }
    EXPECT_LE(worstNormal, 1.0);
    EXPECT_LE(worstTiny, 1.0);  // rounded once, as a multiplication would
}

TEST(ShaderArithmetic, ExactCasesAndSpecialValues) {
    for (int n = -149; n <= 127; ++n) {
        ASSERT_EQ(logarithm2(std::ldexp(1.0f, n)), float(n)) << n;
        ASSERT_EQ(exponential2(float(n)), std::ldexp(1.0f, n)) << n;
    }
    EXPECT_EQ(logarithm2(0.0f), -INFINITY);
    EXPECT_EQ(logarithm2(-0.0f), -INFINITY);
    EXPECT_EQ(logarithm2(INFINITY), INFINITY);
    EXPECT_EQ(logarithm2(-INFINITY), INFINITY);
    EXPECT_TRUE(std::isnan(logarithm2(NAN)));
    EXPECT_EQ(exponential2(-INFINITY), 0.0f);
    EXPECT_EQ(exponential2(INFINITY), INFINITY);
    EXPECT_EQ(exponential2(128.0f), INFINITY);
    EXPECT_EQ(exponential2(-1000.0f), 0.0f);
    EXPECT_TRUE(std::isnan(exponential2(NAN)));
    // The effect's weight: a difference of 0 adds nothing.
    EXPECT_EQ(power(0.0f, 0.45f), 0.0f);
}

}  // namespace
}  // namespace gs::render::software::arithmetic
