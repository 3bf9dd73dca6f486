#include "host/level_analyser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "host/audio_source.h"
#include "host/sample_history.h"
#include "tests/host/test_media.h"

namespace gs::host {
namespace {

using plugin::TimedLevel;
using testing::Signal;
using testing::sine;

constexpr std::int64_t kCentre = 20000;  // far enough in for a whole window of signal

SampleHistory historyOf(const Signal& signal, int channels, std::int64_t frames = 2 * kCentre) {
    SampleHistory history(static_cast<std::size_t>(frames));
    std::vector<float> interleaved(static_cast<std::size_t>(frames) * channels);
    for (std::int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            interleaved[static_cast<std::size_t>(i) * channels + c] = signal(c, i);
        }
    }
    history.append(interleaved.data(), static_cast<std::size_t>(frames), channels);
    return history;
}

TimedLevel analyseOnce(const Signal& signal, int channels = 2) {
    LevelAnalyser analyser;
    TimedLevel levels{};
    analyser.analyse(historyOf(signal, channels), kCentre, 0, plugin::kPlaying, levels);
    return levels;
}

int peakCell(const unsigned char (&cells)[plugin::kSpectrumSize]) {
    return static_cast<int>(std::max_element(std::begin(cells), std::end(cells)) -
                            std::begin(cells));
}

double cellCentre(int cell) {
    constexpr double width = (22050.0 - 20.0) / plugin::kSpectrumSize;
    return 20.0 + (cell + 0.5) * width;
}

TEST(LevelAnalyser, FullScaleTonesPeakInTheirCellAndStayNarrow) {
    for (double frequency :
         {1000.0, cellCentre(3), cellCentre(100), cellCentre(512), 15000.0, cellCentre(1015)}) {
        SCOPED_TRACE(frequency);
        const TimedLevel levels = analyseOnce(sine(frequency));
        const int expected = LevelAnalyser::cellOf(frequency);
        for (int channel = 0; channel < 2; ++channel) {
            const auto& cells = levels.frequency[channel];
            EXPECT_EQ(peakCell(cells), expected);
            EXPECT_GE(cells[expected], 250);  // 0 dBFS less the window's scalloping loss
            // The window's side lobes sit below the scale's floor: far cells stay dark.
            for (int cell = 0; cell < plugin::kSpectrumSize; ++cell) {
                if (std::abs(cell - expected) > 6) {
                    ASSERT_LE(cells[cell], 8) << "cell " << cell;
                }
            }
        }
    }
    EXPECT_EQ(LevelAnalyser::cellOf(1000.0), 45);
    EXPECT_EQ(LevelAnalyser::cellOf(19.9), -1);
    EXPECT_EQ(LevelAnalyser::cellOf(22050.0), plugin::kSpectrumSize - 1);
}

TEST(LevelAnalyser, SpectrumBytesFollowTheDecibelScale) {
    // 255 bytes span 80 dB: a tone at -20 dBFS sits 60 dB above the floor, at -90 dBFS below it.
    const double frequency = cellCentre(200);
    const int cell = LevelAnalyser::cellOf(frequency);
    EXPECT_NEAR(analyseOnce(sine(frequency, 0.1)).frequency[0][cell], 255.0 * 60 / 80, 3.0);
    EXPECT_NEAR(analyseOnce(sine(frequency, 0.01)).frequency[0][cell], 255.0 * 40 / 80, 3.0);
    EXPECT_EQ(analyseOnce(sine(frequency, std::pow(10.0, -90.0 / 20))).frequency[0][cell], 0);
}

TEST(LevelAnalyser, SilenceGivesZeroSpectrumAndCentredWaveform) {
    const TimedLevel levels = analyseOnce([](int, std::int64_t) { return 0.0f; });
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_TRUE(std::all_of(std::begin(levels.frequency[channel]),
                                std::end(levels.frequency[channel]),
                                [](auto b) { return b == 0; }));
        EXPECT_TRUE(std::all_of(std::begin(levels.waveform[channel]),
                                std::end(levels.waveform[channel]),
                                [](auto b) { return b == 128; }));
    }
}

TEST(LevelAnalyser, FullScaleWhiteNoiseDoesNotSaturate) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> noise(2 * kCentre);
    for (float& sample : noise) {
        sample = uniform(random);
    }
    const TimedLevel levels = analyseOnce(
        [&](int, std::int64_t frame) { return noise[static_cast<std::size_t>(frame)]; }, 1);
    const auto& cells = levels.frequency[0];
    const auto saturated = std::count(std::begin(cells), std::end(cells), 255);
    const double mean =
        std::accumulate(std::begin(cells), std::end(cells), 0.0) / plugin::kSpectrumSize;
    EXPECT_EQ(saturated, 0);
    // Spread evenly over the band, some 35 dB below a full-scale tone's bin.
    EXPECT_GT(mean, 255.0 * 30 / 80);
    EXPECT_LT(mean, 255.0 * 55 / 80);
    EXPECT_GT(*std::min_element(std::begin(cells), std::end(cells)), 40);
}

TEST(LevelAnalyser, WaveformIsTheCentredSamplesOffsetBy128) {
    // A ramp from -1 to +1 across the 1024 samples centred on the frame, left; its negation, right.
    auto ramp = [](int channel, std::int64_t frame) {
        const double x = static_cast<double>(frame - (kCentre - 512)) / 512.0 - 1.0;
        const double clamped = std::clamp(x, -1.0, 1.0);
        return static_cast<float>(channel == 0 ? clamped : -clamped);
    };
    const TimedLevel levels = analyseOnce(ramp);
    EXPECT_EQ(levels.waveform[0][0], 0);       // -1.0
    EXPECT_EQ(levels.waveform[0][512], 128);   //  0.0
    EXPECT_EQ(levels.waveform[0][768], 192);   // +0.5
    EXPECT_EQ(levels.waveform[0][1000], 250);  // +0.953
    EXPECT_EQ(levels.waveform[1][0], 255);     // +1.0 saturates at 127 + 128
    EXPECT_EQ(levels.waveform[1][256], 192);
}

TEST(LevelAnalyser, MonoStreamsFillBothChannelsAlike) {
    const TimedLevel levels = analyseOnce(sine(440.0, 0.5), 1);
    EXPECT_TRUE(std::equal(std::begin(levels.frequency[0]), std::end(levels.frequency[0]),
                           std::begin(levels.frequency[1])));
    EXPECT_TRUE(std::equal(std::begin(levels.waveform[0]), std::end(levels.waveform[0]),
                           std::begin(levels.waveform[1])));
}

TEST(LevelAnalyser, LevelsRiseAtOnceAndFallAtTheReleaseRate) {
    // A tone for the first 20000 frames, then silence.
    const double frequency = cellCentre(300);
    const int cell = LevelAnalyser::cellOf(frequency);
    const Signal burst = [tone = sine(frequency)](int c, std::int64_t frame) {
        return frame < kCentre ? tone(c, frame) : 0.0f;
    };
    const SampleHistory history = historyOf(burst, 2, 3 * kCentre);
    LevelAnalyser analyser;
    TimedLevel levels{};
    analyser.analyse(history, kCentre - 4096, 0, plugin::kPlaying, levels);
    const int loud = levels.frequency[0][cell];
    EXPECT_GE(loud, 250);

    // 100 ms later the window holds only silence: the cell has fallen by 12 dB, not to zero.
    constexpr std::int64_t kTenthSecond = 1'000'000;
    analyser.analyse(history, kCentre + 4096, kTenthSecond, plugin::kPlaying, levels);
    EXPECT_NEAR(levels.frequency[0][cell], loud - 12.0 * 255 / 80, 1.0);
    EXPECT_EQ(levels.timeStamp, kTenthSecond);
    EXPECT_EQ(levels.state, plugin::kPlaying);

    // Two thirds of a second covers the whole 80 dB range.
    analyser.analyse(history, kCentre + 8192, 8 * kTenthSecond, plugin::kPaused, levels);
    EXPECT_EQ(levels.frequency[0][cell], 0);
    EXPECT_EQ(levels.state, plugin::kPaused);

    // A jump back in time (a seek) forgets the smoothing instead of holding stale levels.
    analyser.analyse(history, kCentre - 4096, 20 * kTenthSecond, plugin::kPlaying, levels);
    ASSERT_GE(levels.frequency[0][cell], 250);
    analyser.analyse(history, kCentre + 4096, 0, plugin::kPlaying, levels);
    EXPECT_EQ(levels.frequency[0][cell], 0);
}

TEST(SampleHistory, ReadsSilenceOutsideWhatItHolds) {
    SampleHistory history(4);  // rounded up to a power of two: holds exactly 4 frames
    const float stereo[] = {1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6};
    history.append(stereo, 6, 2);
    EXPECT_EQ(history.end(), 6);
    float out[8];
    history.copy(0, 0, out);
    EXPECT_EQ(std::vector<float>(out, out + 8), (std::vector<float>{0, 0, 3, 4, 5, 6, 0, 0}));
    history.copy(1, -2, std::span(out, 4));
    EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{0, 0, 0, 0}));
    history.copy(1, 4, std::span(out, 2));
    EXPECT_EQ(std::vector<float>(out, out + 2), (std::vector<float>{-5, -6}));
}

}  // namespace
}  // namespace gs::host
