#include "host/demo_signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "host/level_analyser.h"
#include "host/sample_history.h"

namespace gs::host {
namespace {

std::vector<float> readAll(DemoSignal& demo) {
    std::vector<float> samples;
    std::vector<float> block(2 * 777);
    while (std::size_t got = demo.read(block.data(), 777)) {
        samples.insert(samples.end(), block.begin(),
                       block.begin() + 2 * static_cast<std::ptrdiff_t>(got));
    }
    return samples;
}

TEST(DemoSignal, IsDeterministicStereoWithinFullScale) {
    DemoSignal first;
    DemoSignal second;
    const std::vector<float> a = readAll(first);
    EXPECT_EQ(a, readAll(second));
    EXPECT_EQ(a.size(), static_cast<std::size_t>(2 * DemoSignal::kLengthSeconds * kSampleRate));
    EXPECT_LT(std::ranges::max(a, {}, [](float x) { return std::fabs(x); }), 0.91f);
    EXPECT_NE(a[2 * 30000], a[2 * 30000 + 1]);  // the pad is detuned apart on the two sides

    DemoSignal late(6.0);
    EXPECT_EQ(late.info().durationSeconds, 2.0);
    const std::vector<float> tail = readAll(late);
    EXPECT_TRUE(
        std::equal(tail.begin(), tail.end(), a.end() - static_cast<std::ptrdiff_t>(tail.size())));
}

TEST(DemoSignal, HasBassChordsAndTransients) {
    DemoSignal demo;
    const std::vector<float> samples = readAll(demo);
    SampleHistory history(samples.size() / 2);
    history.append(samples.data(), samples.size() / 2, 2);
    LevelAnalyser analyser;
    plugin::TimedLevel onBeat{};
    plugin::TimedLevel offBeat{};
    // First bar, A minor: windows centred 40 ms after the third beat (a kick without snare) and
    // 40 ms after the "and" that follows it.
    analyser.analyse(history, static_cast<std::int64_t>(1.04 * kSampleRate), 0, plugin::kPlaying,
                     onBeat);
    analyser.reset();
    analyser.analyse(history, static_cast<std::int64_t>(1.29 * kSampleRate), 0, plugin::kPlaying,
                     offBeat);
    const auto& spectrum = onBeat.frequency[0];
    EXPECT_GT(spectrum[LevelAnalyser::cellOf(55.0)], 180);  // bass root
    for (double note : {220.0, 261.63, 329.63}) {           // the chord
        EXPECT_GT(spectrum[LevelAnalyser::cellOf(note)], 150) << note;
    }
    // The kick's energy sits on the beat; the hi-hat fills the top octave between beats.
    auto energyBelow = [](const plugin::TimedLevel& l, int cell) {
        return std::accumulate(std::begin(l.frequency[1]), std::begin(l.frequency[1]) + cell, 0);
    };
    EXPECT_GT(energyBelow(onBeat, 6), energyBelow(offBeat, 6));
    const int top = LevelAnalyser::cellOf(12000.0);
    EXPECT_GT(
        std::accumulate(std::begin(offBeat.frequency[1]) + top, std::end(offBeat.frequency[1]), 0),
        std::accumulate(std::begin(onBeat.frequency[1]) + top, std::end(onBeat.frequency[1]), 0));
}

}  // namespace
}  // namespace gs::host
