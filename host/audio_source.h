// Where the host's audio comes from: a decoded file or the built-in demo signal. Every source
// delivers interleaved float samples at one fixed rate, so that the analyser, the live player and
// the video's sound track all see the same samples.
#pragma once

#include <cstddef>
#include <string>

namespace gs::host {

// 44.1 kHz puts the Nyquist frequency at 22050 Hz, the top of the player's spectrum.
constexpr int kSampleRate = 44100;

struct StreamInfo {
    int sourceChannels = 0;  // as stored in the stream: what the plug-in's MediaInfo is told
    int sourceSampleRate = 0;
    int channels = 0;              // of the samples read: 1 for a mono stream, otherwise 2
    double durationSeconds = 0.0;  // from the read position on; 0 when the stream does not say
    std::string title;
};

class AudioSource {
public:
    virtual ~AudioSource() = default;

    virtual const StreamInfo& info() const = 0;

    // Reads up to `frames` frames of interleaved samples (info().channels per frame) at
    // kSampleRate into `interleaved`; returns how many were read, 0 once the source has ended.
    virtual std::size_t read(float* interleaved, std::size_t frames) = 0;
};

}  // namespace gs::host
