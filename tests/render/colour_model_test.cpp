#include "render/colour_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace gs::render {
namespace {

class ColourModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        setSmoothedColour(Side::Left, {0, 0, 0});
        setSmoothedColour(Side::Right, {0, 0, 0});
    }
};

TEST_F(ColourModelTest, RgbToHsvOfBandEnergies) {
    const Hsv hsv = RgbToHsv(0.5, 0.25, 0.0);
    EXPECT_DOUBLE_EQ(hsv.hue, 30.0);
    EXPECT_DOUBLE_EQ(hsv.saturation, 1.0);
    EXPECT_DOUBLE_EQ(hsv.value, 0.5);

    const Hsv grey = RgbToHsv(0.3, 0.3, 0.3);
    EXPECT_EQ(grey.hue, 0.0);
    EXPECT_EQ(grey.saturation, 0.0);
    const Hsv black = RgbToHsv(0, 0, 0);
    EXPECT_EQ(black.hue, 0.0);
    EXPECT_EQ(black.saturation, 0.0);
    EXPECT_EQ(black.value, 0.0);
    // A tie between red and another component takes the red branch.
    EXPECT_DOUBLE_EQ(RgbToHsv(1.0, 1.0, 0.0).hue, 60.0);
    EXPECT_DOUBLE_EQ(RgbToHsv(1.0, 0.0, 1.0).hue, 300.0);
}

TEST_F(ColourModelTest, HsvRoundTripsOverAGrid) {
    for (double r = 0; r <= 1.0; r += 0.125) {
        for (double g = 0; g <= 1.0; g += 0.125) {
            for (double b = 0; b <= 1.0; b += 0.125) {
                const Hsv hsv = RgbToHsv(r, g, b);
                ASSERT_GE(hsv.hue, 0.0);
                ASSERT_LT(hsv.hue, 360.0);
                const Rgb rgb = HsvToRgb(hsv.hue, hsv.saturation, hsv.value);
                EXPECT_NEAR(rgb.red, r, 1e-12) << r << ' ' << g << ' ' << b;
                EXPECT_NEAR(rgb.green, g, 1e-12) << r << ' ' << g << ' ' << b;
                EXPECT_NEAR(rgb.blue, b, 1e-12) << r << ' ' << g << ' ' << b;
            }
        }
    }
    // Energies above 1 round-trip too.
    const Hsv big = RgbToHsv(1.0, 0.5, 2.998046875);
    const Rgb back = HsvToRgb(big.hue, big.saturation, big.value);
    EXPECT_NEAR(back.blue, 2.998046875, 1e-12);
    EXPECT_NEAR(back.green, 0.5, 1e-12);
}

struct BandColourCase {
    float hue;
    Side side;
    std::uint32_t packed;
};

TEST_F(ColourModelTest, SideOffsetsTurnTheHue) {
    // Energies (0.5, 0.25, 0) have hue 30; from zero the smoothed colour is a third of the new one.
    const BandColourCase cases[] = {
        {100.0f, Side::Left, 0xFF2A1500u},   // 30:  (42.5, 21.25, 0)
        {100.0f, Side::Right, 0xFF00152Au},  // 210: (0, 21.25, 42.5)
        {200.0f, Side::Left, 0xFF002A15u},   // 150
        {200.0f, Side::Right, 0xFF2A0015u},  // 330
        {300.0f, Side::Left, 0xFF15002Au},   // 270: (21.25, 0, 42.5)
    };
    for (const BandColourCase& c : cases) {
        setSmoothedColour(c.side, {0, 0, 0});
        EXPECT_EQ(bandColour(0.5, 0.25, 0.0, c.hue, c.side), c.packed) << c.hue;
    }
    setSmoothedColour(Side::Left, {0, 0, 0});
    bandColour(0.5, 0.25, 0.0, 100.0f, Side::Left);
    const Rgb smoothed = smoothedColour(Side::Left);
    EXPECT_DOUBLE_EQ(smoothed.red, 42.5);
    EXPECT_DOUBLE_EQ(smoothed.green, 21.25);
    EXPECT_DOUBLE_EQ(smoothed.blue, 0.0);
    // The right side above 240 turns by 160.
    setSmoothedColour(Side::Right, {0, 0, 0});
    bandColour(0.5, 0.25, 0.0, 300.0f, Side::Right);  // 190: sector 3
    const Rgb right = smoothedColour(Side::Right);
    EXPECT_NEAR(right.red, 0.0, 1e-9);
    EXPECT_GT(right.blue, right.green);
}

TEST_F(ColourModelTest, SilenceDecaysTheSmoothedColour) {
    setSmoothedColour(Side::Left, {90, 60, 30});
    EXPECT_EQ(bandColour(0, 0, 0, 10.0f, Side::Left), 0xFF3C2814u);  // (60, 40, 20)
    const Rgb after = smoothedColour(Side::Left);
    EXPECT_DOUBLE_EQ(after.red, 60.0);
    EXPECT_DOUBLE_EQ(after.green, 40.0);
    EXPECT_DOUBLE_EQ(after.blue, 20.0);
    // The other side is untouched.
    EXPECT_EQ(smoothedColour(Side::Right).red, 0.0);
}

TEST_F(ColourModelTest, PackingKeepsOnlyTheLowByte) {
    EXPECT_EQ(packColour({300.0, 0.0, 0.0}), 0xFF2C0000u);
    EXPECT_EQ(packColour({255.9, 256.0, 511.0}), 0xFFFF00FFu);
    EXPECT_EQ(packColour({0.99, 1.0, 42.5}), 0xFF00012Au);
    // Strong high-band energy wraps instead of saturating.
    setSmoothedColour(Side::Left, {0, 0, 0});
    std::uint32_t packed = 0;
    for (int i = 0; i < 40; ++i) {
        packed = bandColour(0.0, 0.0, 2.998046875, 10.0f, Side::Left);
    }
    EXPECT_EQ(packed & 0xFFu, static_cast<std::uint32_t>(2.998046875 * 255.0) & 0xFFu);
}

TEST_F(ColourModelTest, HueStepWraps) {
    EXPECT_NEAR(advanceHue(359.98f), 0.03f, 1e-3f);
    EXPECT_LT(advanceHue(359.98f), 360.0f);
    EXPECT_FLOAT_EQ(advanceHue(100.0f), 100.05f);
    float hue = 0.0f;
    for (int i = 0; i < 7200; ++i) {
        hue = advanceHue(hue);
        ASSERT_LT(hue, 360.0f);
    }
    // One turn in 7200 played frames, within float accumulation.
    EXPECT_TRUE(hue < 1.0f || hue > 359.0f) << hue;
}

}  // namespace
}  // namespace gs::render
