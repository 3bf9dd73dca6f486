// Texel addressing against a plain double-precision transcription of Direct3D 9's rules: texel
// centres at (i + 0.5) / N, wrap repeats, mirror runs forwards then backwards, clamp holds the edge
// texel, border answers the border colour, mirror-once mirrors about 0 and then clamps.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "render/software/texture_sampling.h"

namespace gs::render::software {
namespace {

constexpr double kBorder = -1.0;

// Index of texel i under `address`, or -1 for the border.
long referenceTexel(TextureAddress address, long i, long n) {
    auto mod = [](long a, long m) { return ((a % m) + m) % m; };
    switch (address) {
        case TextureAddress::Wrap:
            return mod(i, n);
        case TextureAddress::Mirror: {
            const long j = mod(i, 2 * n);
            return j < n ? j : 2 * n - 1 - j;
        }
        case TextureAddress::Clamp:
            return std::clamp(i, 0L, n - 1);
        case TextureAddress::Border:
            return i >= 0 && i < n ? i : -1;
        case TextureAddress::MirrorOnce:
            return std::min(i < 0 ? -1 - i : i, n - 1);
    }
    return -1;
}

double texelValue(long index) {
    return index < 0 ? kBorder : static_cast<double>((index * 37) % 101) / 100.0;
}

double referenceLinear(TextureAddress address, double u, long n) {
    const double s = u * static_cast<double>(n) - 0.5;
    const double i0 = std::floor(s);
    const double f = s - i0;
    const long i = static_cast<long>(i0);
    return (1 - f) * texelValue(referenceTexel(address, i, n)) +
           f * texelValue(referenceTexel(address, i + 1, n));
}

std::vector<float> coordinates(long n) {
    std::vector<float> u = {0.0f,
                            1.0f,
                            -1.0f,
                            0.5f,
                            2.0f,
                            0.5f / float(n),
                            1.0f - 0.5f / float(n),
                            1.0f + 0.5f / float(n),
                            -0.5f / float(n),
                            2.999f};
    std::mt19937 random(static_cast<unsigned>(n));
    std::uniform_real_distribution<float> spread(-3.0f, 3.0f);
    while (u.size() < 2 * kTileLanes) {
        u.push_back(spread(random));
    }
    // A third tile wholly inside [0, 1), where mirroring needs no fold: edges of the first texel
    // and of the last included.
    std::uniform_real_distribution<float> inside(0.0f, 1.0f);
    for (float edge : {0.0f, 0.5f / float(n), 1.0f - 0.5f / float(n), 0.99999994f}) {
        u.push_back(edge);
    }
    while (u.size() < 3 * kTileLanes) {
        u.push_back(inside(random));
    }
    return u;
}

class SoftwareTextureAddressingTest : public ::testing::TestWithParam<TextureAddress> {};

TEST_P(SoftwareTextureAddressingTest, LinearWeightsMatchTheReference) {
    const TextureAddress address = GetParam();
    for (long n : {1L, 2L, 3L, 4L, 5L, 50L, 64L, 1920L}) {
        const std::vector<float> u = coordinates(n);
        for (std::size_t start = 0; start < u.size(); start += kTileLanes) {
            const int count = static_cast<int>(std::min<std::size_t>(kTileLanes, u.size() - start));
            int i0[kTileLanes], i1[kTileLanes];
            float frac[kTileLanes];
            resolveTexelAxis(DWORD(address), static_cast<int>(n), &u[start], count, i0, i1, frac);
            for (int k = 0; k < count; ++k) {
                ASSERT_GE(i0[k], -1);
                ASSERT_LT(i0[k], n);
                ASSERT_GE(i1[k], -1);
                ASSERT_LT(i1[k], n);
                const double got = (1 - frac[k]) * texelValue(i0[k]) + frac[k] * texelValue(i1[k]);
                // The float path loses about N * |u| * 2^-24 in the weight.
                EXPECT_NEAR(got, referenceLinear(address, u[start + k], n), 2e-3)
                    << "N = " << n << ", u = " << u[start + k];
            }
        }
    }
}

TEST_P(SoftwareTextureAddressingTest, PointSamplingPicksTheTexelHoldingTheCoordinate) {
    const TextureAddress address = GetParam();
    for (long n : {1L, 3L, 4L, 50L}) {
        const std::vector<float> u = coordinates(n);
        int i0[kTileLanes], i1[kTileLanes];
        float frac[kTileLanes];
        resolveTexelAxis(DWORD(address), static_cast<int>(n), u.data(), kTileLanes, i0, i1, frac);
        for (int k = 0; k < kTileLanes; ++k) {
            const double position = double(u[k]) * double(n);
            if (std::fabs(position - std::round(position)) < 1e-3) {
                continue;  // on a texel boundary either neighbour is right
            }
            const long expected =
                address == TextureAddress::MirrorOnce
                    ? referenceTexel(address, static_cast<long>(std::floor(std::fabs(position))), n)
                    : referenceTexel(address, static_cast<long>(std::floor(position)), n);
            EXPECT_EQ(frac[k] < 0.5f ? i0[k] : i1[k], expected) << "N = " << n << ", u = " << u[k];
        }
    }
}

TEST(SoftwareTextureAddressing, NonFiniteCoordinatesStayInsideTheTexture) {
    const float odd[4] = {NAN, INFINITY, -INFINITY, 3e38f};
    for (DWORD address = 1; address <= 6; ++address) {
        int i0[4], i1[4];
        float frac[4];
        resolveTexelAxis(address, 7, odd, 4, i0, i1, frac);
        for (int k = 0; k < 4; ++k) {
            EXPECT_TRUE(i0[k] >= -1 && i0[k] < 7 && i1[k] >= -1 && i1[k] < 7) << address;
            EXPECT_TRUE(frac[k] >= 0.0f && frac[k] <= 1.0f) << address;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, SoftwareTextureAddressingTest,
                         ::testing::Values(TextureAddress::Wrap, TextureAddress::Mirror,
                                           TextureAddress::Clamp, TextureAddress::Border,
                                           TextureAddress::MirrorOnce));

}  // namespace
}  // namespace gs::render::software
