#include "host/demo_signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace gs::host {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kBeatSeconds = 0.5;
constexpr double kBarSeconds = 4 * kBeatSeconds;

struct Chord {
    double bassRoot;  // Hz
    double notes[3];  // Hz
};
// Am, F, C, G.
constexpr Chord kProgression[] = {
    {55.00, {220.00, 261.63, 329.63}},
    {43.65, {174.61, 220.00, 261.63}},
    {65.41, {261.63, 329.63, 392.00}},
    {49.00, {196.00, 246.94, 293.66}},
};

// White noise as a hash of the sample index, in [-1, 1): random access without state.
double noise(std::int64_t index) {
    auto x = static_cast<std::uint32_t>(index * 2654435761u + 0x9E3779B9u);
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return static_cast<double>(x) / 2147483648.0 - 1.0;
}

// A sawtooth-like tone from its first harmonics: bright enough to light up the upper spectrum.
double richTone(double frequency, double t) {
    double sum = 0.0;
    for (int harmonic = 1; harmonic <= 6; ++harmonic) {
        sum += std::sin(kTwoPi * frequency * harmonic * t) / harmonic;
    }
    return sum;
}

}  // namespace

DemoSignal::DemoSignal(double startSeconds)
    : position_(static_cast<std::int64_t>(std::max(0.0, startSeconds) * kSampleRate + 0.5)),
      end_(static_cast<std::int64_t>(kLengthSeconds * kSampleRate)) {
    info_.sourceChannels = 2;
    info_.sourceSampleRate = kSampleRate;
    info_.channels = 2;
    info_.durationSeconds = std::max(0.0, kLengthSeconds - std::max(0.0, startSeconds));
    info_.title = "Glimmerstrand demo";
}

std::size_t DemoSignal::read(float* interleaved, std::size_t frames) {
    const auto count =
        static_cast<std::size_t>(std::clamp<std::int64_t>(end_ - position_, 0, frames));
    for (std::size_t i = 0; i < count; ++i) {
        sampleAt(position_ + static_cast<std::int64_t>(i), interleaved[2 * i],
                 interleaved[2 * i + 1]);
    }
    position_ += static_cast<std::int64_t>(count);
    return count;
}

void DemoSignal::sampleAt(std::int64_t index, float& left, float& right) {
    left = right = 0.0f;
    if (index < 0 || index >= static_cast<std::int64_t>(kLengthSeconds * kSampleRate)) {
        return;
    }
    const double t = static_cast<double>(index) / kSampleRate;
    const auto bar = static_cast<int>(t / kBarSeconds);
    const Chord& chord = kProgression[bar % 4];
    const double inBar = t - bar * kBarSeconds;
    const auto beat = static_cast<int>(inBar / kBeatSeconds);
    const double inBeat = inBar - beat * kBeatSeconds;
    const double inEighth = std::fmod(inBar, kBeatSeconds / 2);

    // Bass: plucked eighths, the attack ramp keeps note changes free of clicks.
    const double pluck = std::exp(-inEighth * 6.0) * (1.0 - std::exp(-inEighth * 400.0));
    const double f = chord.bassRoot;
    const double bass = 0.35 * pluck *
                        (std::sin(kTwoPi * f * t) + 0.3 * std::sin(kTwoPi * 2 * f * t) +
                         0.15 * std::sin(kTwoPi * 3 * f * t));

    // Pad: the chord, detuned in opposite directions on the two sides, faded in and out per bar.
    const double fade = std::min({1.0, inBar / 0.05, (kBarSeconds - inBar) / 0.05});
    double padLeft = 0.0;
    double padRight = 0.0;
    for (double note : chord.notes) {
        padLeft += richTone(note * 0.998, t);
        padRight += richTone(note * 1.002, t);
    }
    padLeft *= 0.05 * fade;
    padRight *= 0.05 * fade;

    // Kick on every beat: a sine swept from 120 Hz down to 45 Hz.
    const double sweepPhase =
        kTwoPi * (45.0 * inBeat + 75.0 * (1.0 - std::exp(-30.0 * inBeat)) / 30.0);
    const double kick = 0.9 * std::exp(-inBeat * 9.0) * std::sin(sweepPhase);

    // Snare on the second and fourth beats: a noise burst over a short 185 Hz body.
    double snare = 0.0;
    if (beat % 2 == 1) {
        snare = 0.35 * std::exp(-inBeat * 18.0) * noise(index) +
                0.2 * std::exp(-inBeat * 25.0) * std::sin(kTwoPi * 185.0 * inBeat);
    }

    // Hi-hat on the off-beat eighths: differenced noise keeps only the top of the spectrum.
    double hat = 0.0;
    if (inBeat >= kBeatSeconds / 2) {
        hat = 0.3 * std::exp(-inEighth * 60.0) * (noise(index) - noise(index - 1)) * 0.5;
    }

    const double centre = bass + kick + snare;
    const double mixLeft = centre + padLeft + 0.4 * hat;
    const double mixRight = centre + padRight + 0.9 * hat;
    // Gentle saturation keeps the sum inside full scale.
    left = static_cast<float>(0.9 * std::tanh(1.2 * mixLeft));
    right = static_cast<float>(0.9 * std::tanh(1.2 * mixRight));
}

}  // namespace gs::host
