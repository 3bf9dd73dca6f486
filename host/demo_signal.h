// The built-in demo: eight seconds of synthesised music, so that the host shows something without
// an input file. Four bars at 120 beats a minute over A minor, F, C and G: a plucked bass line in
// eighths, a detuned pad playing the chords (wide in stereo), a kick on every beat, a snare on two
// and four and hi-hats between the beats. Every sample is a pure function of its index, so the
// signal is the same on every run and on every machine.
#pragma once

#include <cstdint>

#include "host/audio_source.h"

namespace gs::host {

class DemoSignal final : public AudioSource {
public:
    static constexpr double kLengthSeconds = 8.0;

    explicit DemoSignal(double startSeconds = 0.0);

    const StreamInfo& info() const override { return info_; }
    std::size_t read(float* interleaved, std::size_t frames) override;

    // The stereo sample at `index` frames from the beginning (silence outside the signal).
    static void sampleAt(std::int64_t index, float& left, float& right);

private:
    StreamInfo info_;
    std::int64_t position_;
    std::int64_t end_;
};

}  // namespace gs::host
