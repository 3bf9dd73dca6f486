#include "render/band_energies.h"

#include <gtest/gtest.h>

#include <cstring>

namespace gs::render {
namespace {

TEST(BandEnergies, SilenceAndFullScale) {
    unsigned char spectrum[plugin::kSpectrumSize];
    std::memset(spectrum, 0, sizeof spectrum);
    const BandEnergies silent = bandEnergies(spectrum);
    EXPECT_EQ(silent.low, 0.0);
    EXPECT_EQ(silent.mid, 0.0);
    EXPECT_EQ(silent.high, 0.0);

    std::memset(spectrum, 255, sizeof spectrum);
    const BandEnergies full = bandEnergies(spectrum);
    EXPECT_NEAR(full.low, 1.001953125, 1e-6);
    EXPECT_NEAR(full.mid, 1.0, 1e-6);
    EXPECT_NEAR(full.high, 2.998046875, 1e-6);
}

TEST(BandEnergies, EachBandSeesItsOwnRange) {
    unsigned char spectrum[plugin::kSpectrumSize] = {};
    spectrum[0] = 255;  // weight 1 in low, outside mid and high
    BandEnergies e = bandEnergies(spectrum);
    EXPECT_NEAR(e.low, 1.0 / 256.0, 1e-8);
    EXPECT_EQ(e.mid, 0.0);
    EXPECT_EQ(e.high, 0.0);

    spectrum[0] = 0;
    spectrum[512] = 255;  // low ends at 511; mid peaks here; high starts at weight 1
    e = bandEnergies(spectrum);
    EXPECT_EQ(e.low, 0.0);
    EXPECT_NEAR(e.mid, 1.0 / 256.0, 1e-8);
    EXPECT_NEAR(e.high, 1.0 / 256.0, 1e-8);

    spectrum[512] = 0;
    spectrum[1023] = 51;  // 0.2 at weight 1023/512
    e = bandEnergies(spectrum);
    EXPECT_NEAR(e.high, 0.2 * 1023.0 / 512.0 / 256.0, 1e-8);
}

}  // namespace
}  // namespace gs::render
