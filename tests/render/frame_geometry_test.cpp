#include "render/frame_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace gs::render {
namespace {

using plugin::TimedLevel;

constexpr double kPi = 3.14159265358979323846;

TimedLevel silentLevels() {
    TimedLevel levels;
    std::memset(&levels, 0, sizeof levels);
    std::memset(levels.waveform, 128, sizeof levels.waveform);
    levels.state = plugin::kPlaying;
    return levels;
}

double distanceFromCentre(const FrameGeometry& g, const TracePointVertex& p) {
    return std::hypot(p.x - g.cx, p.y - g.cy);
}

// Angle of a point in degrees, 0 pointing up and growing clockwise on the screen.
double angleOf(const FrameGeometry& g, const TracePointVertex& p) {
    double degrees = std::atan2(p.x - g.cx, g.cy - p.y) * 180.0 / kPi;
    return degrees < 0 ? degrees + 360.0 : degrees;
}

TEST(FrameGeometry, DerivedValues) {
    const FrameGeometry g = makeFrameGeometry(640, 480, 90.0f);
    EXPECT_EQ(g.width, 640.0f);
    EXPECT_EQ(g.height, 480.0f);
    EXPECT_EQ(g.cx, 320.0f);
    EXPECT_EQ(g.cy, 240.0f);
    EXPECT_EQ(g.minDim, 480u);
    EXPECT_NEAR(g.angle, kPi / 2, 1e-6);
}

TEST(FrameGeometry, BackgroundSamplesInsideTheEdges) {
    // Hue 0: sin terms 0, cos terms 1; minDim 480 gives m = 14, m2 = 28.
    const FrameGeometry g = makeFrameGeometry(640, 480, 0.0f);
    BackgroundVertex quad[4];
    buildBackgroundQuad(g, quad);
    const float expected[4][4] = {
        {0, 0, 28.0f / 640, 56.0f / 480},
        {640, 0, (640 - 14.0f) / 640, 28.0f / 480},
        {640, 480, (640 - 28.0f) / 640, (480 - 56.0f) / 480},
        {0, 480, 14.0f / 640, (480 - 28.0f) / 480},
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(quad[i].x, expected[i][0]) << i;
        EXPECT_EQ(quad[i].y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(quad[i].u, expected[i][2]) << i;
        EXPECT_FLOAT_EQ(quad[i].v, expected[i][3]) << i;
        EXPECT_EQ(quad[i].diffuse, 0xB2FFFFFFu);
        EXPECT_EQ(quad[i].z, 1.0f);
        EXPECT_EQ(quad[i].rhw, 1.0f);
    }
    // The wobble stays inside the texture whatever the hue.
    for (float hue = 0; hue < 360; hue += 7.3f) {
        buildBackgroundQuad(makeFrameGeometry(300, 400, hue), quad);
        for (const BackgroundVertex& v : quad) {
            EXPECT_GE(v.u, 0.0f);
            EXPECT_LE(v.u, 1.0f);
            EXPECT_GE(v.v, 0.0f);
            EXPECT_LE(v.v, 1.0f);
        }
    }
}

TEST(FrameGeometry, ConstantWaveformClosesOneCircle) {
    const FrameGeometry g = makeFrameGeometry(800, 600, 0.0f);
    const TimedLevel levels = silentLevels();
    static TracePointVertex points[kTracePointCount];
    buildTracePoints(g, levels, 1, 30.0f, points);
    const double radius = 128.0 / 255.0 * 300.0;
    for (int i = 2 * 1024; i < 4 * 1024; ++i) {
        ASSERT_NEAR(distanceFromCentre(g, points[i]), radius, 1e-3) << i;
        EXPECT_FLOAT_EQ(points[i].size, 0.008f * 300.0f);
        EXPECT_EQ(points[i].diffuse, 0xFF404040u);
    }
    // Trace 2 starts at the hue and covers half a turn; trace 3 the other half.
    EXPECT_NEAR(angleOf(g, points[2048]), 30.0, 1e-3);
    EXPECT_NEAR(angleOf(g, points[3072]), 210.0, 1e-3);
    EXPECT_NEAR(angleOf(g, points[3071]), 30.0 + 1023 * 0.17578125, 1e-3);
    // Silent spectra: points of size 0 at the centre.
    for (int i = 0; i < 2 * 1024; ++i) {
        ASSERT_EQ(points[i].size, 0.0f);
        ASSERT_NEAR(distanceFromCentre(g, points[i]), 0.0, 1e-4);
    }
}

TEST(FrameGeometry, SpectrumPointsAndTheSecondChannel) {
    const FrameGeometry g = makeFrameGeometry(400, 400, 0.0f);
    TimedLevel levels = silentLevels();
    levels.frequency[0][10] = 255;
    levels.frequency[1][20] = 51;
    levels.waveform[1][5] = 0;
    static TracePointVertex stereo[kTracePointCount];
    static TracePointVertex mono[kTracePointCount];
    buildTracePoints(g, levels, 1, 0.0f, stereo);
    buildTracePoints(g, levels, 0, 0.0f, mono);

    EXPECT_NEAR(distanceFromCentre(g, stereo[10]), 200.0, 1e-3);
    EXPECT_FLOAT_EQ(stereo[10].size, 1.6f);
    EXPECT_EQ(stereo[11].size, 0.0f);
    EXPECT_NEAR(distanceFromCentre(g, stereo[1024 + 20]), 40.0, 1e-3);
    EXPECT_NEAR(distanceFromCentre(g, stereo[3072 + 5]), 0.0, 1e-4);
    EXPECT_FLOAT_EQ(stereo[3072 + 5].size, 1.6f);  // waveform points keep their size at 0

    // Mono: traces 1 and 3 repeat traces 0 and 2 half a turn on.
    for (int i = 0; i < 1024; ++i) {
        ASSERT_NEAR(mono[1024 + i].x - g.cx, -(mono[i].x - g.cx), 1e-3) << i;
        ASSERT_NEAR(mono[1024 + i].y - g.cy, -(mono[i].y - g.cy), 1e-3) << i;
        ASSERT_EQ(mono[1024 + i].size, mono[i].size);
        ASSERT_NEAR(mono[3072 + i].x - g.cx, -(mono[2048 + i].x - g.cx), 1e-3) << i;
    }
    EXPECT_NEAR(distanceFromCentre(g, mono[3072 + 5]), 128.0 / 255.0 * 200.0, 1e-3);
}

TEST(FrameGeometry, EffectSourcesAndQuad) {
    const FrameGeometry g = makeFrameGeometry(600, 300, 0.0f);
    fx::Vector4 p[4];
    effectPositions(g, p);
    const float expected[4][3] = {
        {300, 150 + 100, 0}, {300, 150 - 100, 0}, {300, 150 - 150, 0}, {300, 150 + 150, 150}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(p[i].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(p[i].y, expected[i][1]) << i;
        EXPECT_FLOAT_EQ(p[i].z, expected[i][2]) << i;
    }
    // A quarter turn of 2a (hue 45): pos0 and pos1 move to the ends of the horizontal axis.
    effectPositions(makeFrameGeometry(600, 300, 45.0f), p);
    EXPECT_NEAR(p[0].x, 500.0f, 1e-3);
    EXPECT_NEAR(p[1].x, 100.0f, 1e-3);
    EXPECT_NEAR(p[0].y, 150.0f, 1e-3);

    EffectQuadVertex quad[4];
    buildEffectQuad(g, quad);
    for (const EffectQuadVertex& v : quad) {
        EXPECT_EQ(v.u, v.x);
        EXPECT_EQ(v.v, v.y);
    }
    EXPECT_EQ(quad[2].x, 600.0f);
    EXPECT_EQ(quad[2].y, 300.0f);
}

}  // namespace
}  // namespace gs::render
