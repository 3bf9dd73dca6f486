// The two pass shaders of effect/, assembled and run by the software interpreter, against a plain
// transcription of the ring formulas in double precision.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "fx/assembler/pixel_shader_assembler.h"
#include "render/software/shader/pixel_program.h"

namespace gs::effect {
namespace {

using render::software::kTileLanes;
using render::software::PixelProgram;
using render::software::PixelTileInputs;
using render::software::PixelTileOutput;

using Colour = std::array<double, 4>;
struct Point {
    double x, y, z;
};

// Output is stored in 8 bits: half a step is the most a pixel may be off.
constexpr double kTolerance = 0.5 / 255.0;

// A colour history strip of N texels and its read at (u, 0.5): linear between texel centres,
// mirrored outside 0..1 (D3DTADDRESS_MIRROR).
class Strip {
public:
    explicit Strip(std::vector<Colour> texels) : texels_(std::move(texels)) {}

    static Strip random(int n, std::mt19937& random) {
        std::uniform_real_distribution<double> channel(0.0, 1.0);
        std::vector<Colour> texels(n);
        for (Colour& t : texels) {
            t = {channel(random), channel(random), channel(random), channel(random)};
        }
        return Strip(std::move(texels));
    }

    static Strip uniform(int n, Colour colour) { return Strip(std::vector<Colour>(n, colour)); }

    const Colour& texel(int i) const { return texels_[i]; }

    Colour read(double u) const {
        const int n = static_cast<int>(texels_.size());
        const double s = u * n - 0.5;
        const double i0 = std::floor(s);
        const double f = s - i0;
        const Colour& a = texels_[mirror(static_cast<long long>(i0), n)];
        const Colour& b = texels_[mirror(static_cast<long long>(i0) + 1, n)];
        Colour out;
        for (int c = 0; c < 4; ++c) {
            out[c] = (1.0 - f) * a[c] + f * b[c];
        }
        return out;
    }

private:
    static int mirror(long long i, int n) {
        long long j = i % (2LL * n);
        if (j < 0) {
            j += 2LL * n;
        }
        return static_cast<int>(j < n ? j : 2LL * n - 1 - j);
    }

    std::vector<Colour> texels_;
};

// The device side of the test: samplers 0 and 1 read the left and right strips.
class StripUnits final : public render::software::TextureUnits {
public:
    StripUnits(const Strip& left, const Strip& right) : strips_{&left, &right} {}

    void sample2D(unsigned sampler, const float* u, const float* v, int count,
                  float (*out)[kTileLanes], unsigned) const override {
        for (int i = 0; i < count; ++i) {
            if (v[i] != 0.5f) {
                ++offRowReads;
            }
            const Colour c = strips_[sampler]->read(u[i]);
            for (int k = 0; k < 4; ++k) {
                out[k][i] = static_cast<float>(c[k]);
            }
        }
    }

    mutable int offRowReads = 0;

private:
    const Strip* strips_[2];
};

struct Scene {
    Point pos[4];
    double texWidth;
};

double distance(const Point& p, const Point& q) {
    return std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) +
                     (p.z - q.z) * (p.z - q.z));
}

// The formulas of the two passes, per channel.
Colour oraclePass0(const Point& p, const Scene& scene, const Strip& left, const Strip& right) {
    const double k = 1.0 / scene.texWidth;
    const Colour l0 = left.read(distance(p, scene.pos[0]) * k);
    const Colour r1 = right.read(distance(p, scene.pos[1]) * k);
    Colour out;
    for (int c = 0; c < 4; ++c) {
        const double e = std::fabs(l0[c] - r1[c]);
        out[c] = (l0[c] + r1[c]) * (e == 0.0 ? 0.0 : std::pow(e, 0.45));
    }
    return out;
}

Colour oraclePass1(const Point& p, const Scene& scene, const Strip& left, const Strip& right) {
    const double k = 1.0 / scene.texWidth;
    const Colour l0 = left.read(distance(p, scene.pos[0]) * k);
    const Colour r1 = right.read(distance(p, scene.pos[1]) * k);
    const Colour l2 = left.read(0.8 * distance(p, scene.pos[2]) * k);
    const Colour r3 = right.read(0.8 * distance(p, scene.pos[3]) * k);
    Colour out;
    for (int c = 0; c < 4; ++c) {
        out[c] = (l0[c] + r1[c]) * std::sqrt(std::fabs(l2[c] - r3[c]));
    }
    return out;
}

std::unique_ptr<PixelProgram> passProgram(int pass) {
    const std::string path =
        std::string(GS_EFFECT_SOURCE_DIR) + "/effect" + std::to_string(pass) + ".psh";
    std::ifstream in(path);
    std::stringstream source;
    source << in.rdbuf();
    std::vector<fx::DWORD> tokens;
    fx::AssemblyError error{0, ""};
    EXPECT_TRUE(fx::assemblePixelShader(source.str(), tokens, error))
        << path << ":" << error.line << ": " << error.message;
    const std::vector<DWORD> function(tokens.begin(), tokens.end());
    std::unique_ptr<PixelProgram> program;
    EXPECT_EQ(PixelProgram::create(function.data(), function.size(), &program), S_OK) << path;
    return program;
}

// Runs a pass's shader for the given pixels (fragment coordinates (x, y, 0)).
class PassRunner {
public:
    explicit PassRunner(int pass) : pass_(pass), program_(passProgram(pass)) {}

    bool ready() const { return program_ != nullptr; }

    std::vector<Colour> run(const std::vector<Point>& pixels, const Scene& scene, const Strip& left,
                            const Strip& right, int* offRowReads = nullptr) {
        float constants[32][4] = {};
        for (int i = 0; i < 4; ++i) {
            constants[i][0] = static_cast<float>(scene.pos[i].x);
            constants[i][1] = static_cast<float>(scene.pos[i].y);
            constants[i][2] = static_cast<float>(scene.pos[i].z);
        }
        // As the effect evaluates it: one float reciprocal of the float texWidth.
        constants[4][0] = 1.0f / static_cast<float>(scene.texWidth);

        const StripUnits units(left, right);
        std::vector<Colour> out;
        auto inputs = std::make_unique<PixelTileInputs>();
        PixelTileOutput output;
        for (std::size_t first = 0; first < pixels.size(); first += kTileLanes) {
            const int count =
                static_cast<int>(std::min<std::size_t>(kTileLanes, pixels.size() - first));
            for (int i = 0; i < count; ++i) {
                inputs->texcoord[0][0][i] = static_cast<float>(pixels[first + i].x);
                inputs->texcoord[0][1][i] = static_cast<float>(pixels[first + i].y);
                inputs->texcoord[0][2][i] = 0.0f;
                inputs->texcoord[0][3][i] = 1.0f;
            }
            program_->run(constants, units, *inputs, count, output);
            for (int i = 0; i < count; ++i) {
                out.push_back({output.colour[0][i], output.colour[1][i], output.colour[2][i],
                               output.colour[3][i]});
            }
        }
        if (offRowReads != nullptr) {
            *offRowReads = units.offRowReads;
        }
        return out;
    }

    Colour oracle(const Point& p, const Scene& scene, const Strip& left, const Strip& right) {
        return pass_ == 0 ? oraclePass0(p, scene, left, right) : oraclePass1(p, scene, left, right);
    }

private:
    int pass_;
    std::unique_ptr<PixelProgram> program_;
};

std::vector<Point> grid(int width, int height) {
    std::vector<Point> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back({double(x), double(y), 0.0});
        }
    }
    return pixels;
}

#define EXPECT_COLOUR_NEAR(actual, expected, what)                                          \
    for (int c_ = 0; c_ < 4; ++c_) {                                                        \
        EXPECT_NEAR((actual)[c_], (expected)[c_], kTolerance) << what << " channel " << c_; \
    }

class EffectShader : public ::testing::TestWithParam<int> {};

// Every pixel of small targets, with random strips and sources placed so that reads run through
// several mirrored periods of the strips, including raised sources.
TEST_P(EffectShader, MatchesTheFormulasOverWholeTargets) {
    PassRunner runner(GetParam());
    ASSERT_TRUE(runner.ready());
    std::mt19937 random(1234 + GetParam());
    std::uniform_real_distribution<double> coordinate(-10.0, 74.0);
    std::uniform_real_distribution<double> height(-30.0, 30.0);
    for (const int n : {50, 64, 97}) {
        const Strip left = Strip::random(n, random);
        const Strip right = Strip::random(n, random);
        const Scene scene{{{coordinate(random), coordinate(random), 0.0},
                           {coordinate(random), coordinate(random), 0.0},
                           {coordinate(random), coordinate(random), height(random)},
                           {coordinate(random), coordinate(random), height(random)}},
                          n == 50 ? 25.0 : 48.0 * 15.0 / 8.0};
        const std::vector<Point> pixels = grid(64, 48);
        int offRowReads = 0;
        const std::vector<Colour> out = runner.run(pixels, scene, left, right, &offRowReads);
        EXPECT_EQ(offRowReads, 0) << "every read is at v = 0.5";
        double worst = 0.0;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            const Colour expected = runner.oracle(pixels[i], scene, left, right);
            for (int c = 0; c < 4; ++c) {
                worst = std::max(worst, std::fabs(out[i][c] - expected[c]));
            }
        }
        EXPECT_LE(worst, kTolerance) << "strip of " << n << " texels";
    }
}

// Where the weighting reads agree nothing is added: identical strips, and (pass 1) pos2 = pos3.
TEST_P(EffectShader, AddsNothingWhereTheWeightingReadsAreEqual) {
    PassRunner runner(GetParam());
    ASSERT_TRUE(runner.ready());
    std::mt19937 random(99);
    const Strip strip = Strip::random(60, random);
    const Point shared{20.5, 13.0, GetParam() == 0 ? 0.0 : 7.0};
    Scene scene{{{30, 20, 0}, {5, 40, 0}, shared, shared}, 40.0};
    if (GetParam() == 0) {
        scene.pos[1] = scene.pos[0];  // L0 and R1 read the same place of the same strip
    }
    for (const Colour& c : runner.run(grid(64, 32), scene, strip, strip)) {
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(c[k], 0.0) << "channel " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Passes, EffectShader, ::testing::Values(0, 1),
                         [](const auto& pass) { return "effect" + std::to_string(pass.param); });

TEST(EffectShader0, APixelAtItsSourceReadsTexelZeroUnblended) {
    PassRunner runner(0);
    ASSERT_TRUE(runner.ready());
    const Strip left({{0.9, 0.1, 0.6, 1.0}, {0.0, 0.0, 0.0, 0.0}, {0.0, 0.0, 0.0, 0.0}});
    const Strip right = Strip::uniform(3, {0.2, 0.2, 0.2, 1.0});
    // pos1 far enough that R1 is the same anywhere near: the right strip is uniform anyway.
    const Scene scene{{{12, 7, 0}, {40, 40, 0}, {}, {}}, 10.0};
    const Colour out = runner.run({{12, 7, 0}}, scene, left, right)[0];
    const Colour l0 = left.texel(0), r1 = right.texel(0);
    Colour expected;
    for (int c = 0; c < 4; ++c) {
        const double e = std::fabs(l0[c] - r1[c]);
        expected[c] = (l0[c] + r1[c]) * (e == 0.0 ? 0.0 : std::pow(e, 0.45));
    }
    EXPECT_COLOUR_NEAR(out, expected, "at pos0");
}

TEST(EffectShader0, SaturatedReadsGiveTheirSumWhereTheyDifferFully) {
    PassRunner runner(0);
    ASSERT_TRUE(runner.ready());
    const Strip white = Strip::uniform(8, {1, 1, 1, 1});
    const Strip black = Strip::uniform(8, {0, 0, 0, 1});
    const Scene scene{{{3, 3, 0}, {9, 2, 0}, {}, {}}, 30.0};
    const Colour out = runner.run({{5, 6, 0}}, scene, white, black)[0];
    const Colour expected{1.0, 1.0, 1.0, 0.0};
    EXPECT_COLOUR_NEAR(out, expected, "white against black");
}

// u = 1 + x reads the strip at 1 - x; a raised source is never nearer than its height.
TEST(EffectShader0, MirrorsPastTheStripsEndAndKeepsRaisedSourcesAway) {
    PassRunner runner(0);
    ASSERT_TRUE(runner.ready());
    std::mt19937 random(5);
    const Strip left = Strip::random(50, random);
    const Strip right = Strip::uniform(50, {0.5, 0.25, 0.75, 1.0});
    const double texWidth = 40.0;
    const Scene flat{{{0, 0, 0}, {0, 0, 0}, {}, {}}, texWidth};
    for (const double x : {0.1, 0.37, 0.8}) {
        // Pixels on the x axis at distances (1 + x) and (1 - x) strip widths from pos0.
        const std::vector<Colour> out =
            runner.run({{(1 + x) * texWidth, 0, 0}, {(1 - x) * texWidth, 0, 0}}, flat, left, right);
        // Both read R1 at the same distances' u too, from a uniform strip.
        EXPECT_COLOUR_NEAR(out[0], out[1], "mirror at x = " << x);
    }

    const double h = -13.0;
    const Scene raised{{{20, 10, h}, {0, 0, 0}, {}, {}}, texWidth};
    const Colour below = runner.run({{20, 10, 0}}, raised, left, right)[0];
    const Colour l0 = left.read(std::fabs(h) / texWidth);
    const Colour r1 = right.texel(0);
    Colour expected;
    for (int c = 0; c < 4; ++c) {
        expected[c] = (l0[c] + r1[c]) * std::pow(std::fabs(l0[c] - r1[c]), 0.45);
    }
    EXPECT_COLOUR_NEAR(below, expected, "right below a raised pos0");
}

TEST(EffectShader0, IgnoresTheSecondPairOfSources) {
    PassRunner runner(0);
    ASSERT_TRUE(runner.ready());
    std::mt19937 random(8);
    const Strip left = Strip::random(50, random);
    const Strip right = Strip::random(50, random);
    const Scene a{{{10, 10, 0}, {50, 30, 0}, {0, 0, 0}, {0, 0, 0}}, 60.0};
    const Scene b{{{10, 10, 0}, {50, 30, 0}, {33, 3, -9}, {7, 21, 40}}, 60.0};
    EXPECT_EQ(runner.run(grid(64, 8), a, left, right), runner.run(grid(64, 8), b, left, right));
}

TEST(EffectShader1, ReadsTheSecondPairAtEightTenthsOfItsDistance) {
    PassRunner runner(1);
    ASSERT_TRUE(runner.ready());
    std::mt19937 random(21);
    const Strip left = Strip::random(50, random);
    const Strip right = Strip::uniform(50, {0.1, 0.1, 0.1, 1.0});
    const double h = 11.0, texWidth = 50.0;
    // Right below a raised pos2 the left strip is read at u = 0.8 |h| k.
    const Scene scene{{{0, 0, 0}, {0, 0, 0}, {25, 25, h}, {0, 0, 0}}, texWidth};
    const Colour out = runner.run({{25, 25, 0}}, scene, left, right)[0];
    EXPECT_COLOUR_NEAR(out, oraclePass1({25, 25, 0}, scene, left, right), "below pos2");
    const Colour l2 = left.read(0.8 * h / texWidth);
    const Colour l0 = left.read(distance({25, 25, 0}, scene.pos[0]) / texWidth);
    const Colour r = right.texel(0);
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(out[c], (l0[c] + r[c]) * std::sqrt(std::fabs(l2[c] - r[c])), kTolerance);
    }
}

TEST(StripRead, FollowsTheLinearMirrorRule) {
    const Strip strip({{0, 0, 0, 0}, {0.2, 0, 0, 0}, {0.6, 0, 0, 0}, {1, 0, 0, 0}});
    EXPECT_DOUBLE_EQ(strip.read(0.5)[0], 0.4) << "mean of texels 1 and 2";
    EXPECT_DOUBLE_EQ(strip.read(0.0)[0], 0.0) << "texel 0 blended with its mirror image";
    EXPECT_DOUBLE_EQ(strip.read(1.125)[0], 1.0) << "texel 3 exactly";
    EXPECT_DOUBLE_EQ(strip.read(1.3)[0], strip.read(0.7)[0]);
    EXPECT_DOUBLE_EQ(strip.read(2.3)[0], strip.read(0.3)[0]);
}

}  // namespace
}  // namespace gs::effect
