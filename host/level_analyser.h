// Turns the samples around a frame's time into the player's per-frame level record: per channel
// 1024 spectrum bytes spanning 20 Hz to 22050 Hz and 1024 waveform bytes. How the bytes are made
// (window, transform size, cell mapping, decibel scale, smoothing) is described in host/README.md.
#pragma once

#include <cstdint>
#include <memory>

#include "plugin/player_interfaces.h"

namespace gs::host {

class SampleHistory;

class LevelAnalyser {
public:
    static constexpr int kTransformSize = 4096;  // 93 ms at 44.1 kHz; bins 10.8 Hz apart
    static constexpr double kLowestFrequency = 20.0;
    static constexpr double kHighestFrequency = 22050.0;
    // The spectrum's byte scale: kFloorDecibels and below give 0, a full-scale sine 255.
    static constexpr double kFloorDecibels = -80.0;
    // A cell rises at once and falls by at most this much per second.
    static constexpr double kReleaseDecibelsPerSecond = 120.0;

    LevelAnalyser();
    ~LevelAnalyser();
    LevelAnalyser(const LevelAnalyser&) = delete;
    LevelAnalyser& operator=(const LevelAnalyser&) = delete;

    // Fills `levels` for the instant at absolute frame `centre` of the stream in `history`
    // (samples at the host's rate): the spectrum from the kTransformSize samples centred there,
    // the waveform from the 1024 samples centred there. `timeStamp` (100 ns units) goes into the
    // record and paces the smoothing.
    void analyse(const SampleHistory& history, std::int64_t centre, std::int64_t timeStamp,
                 plugin::PlayState state, plugin::TimedLevel& levels);

    // Forgets the smoothing, for a jump in the stream.
    void reset();

    // The spectrum cell that holds `frequency` Hz, or -1 outside 20 Hz to 22050 Hz.
    static int cellOf(double frequency);

private:
    struct Transform;
    std::unique_ptr<Transform> transform_;
    float smoothed_[plugin::kChannelCount][plugin::kSpectrumSize] = {};
    std::int64_t lastTimeStamp_ = 0;
    bool hasHistory_ = false;
};

}  // namespace gs::host
