// Decodes the audio of any file FFmpeg's libraries read (WAV, FLAC, MP3, Ogg Vorbis, Opus, AAC/M4A,
// the sound track of a video) and resamples it to the host's rate: mono streams stay mono, all
// others are mixed down to stereo.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/audio_source.h"

namespace gs::host {

// What could not be decoded. A damaged file plays as far as it can; the host warns afterwards.
struct DecodeDamage {
    std::int64_t refusedPackets = 0;  // packets the codec rejected as invalid, skipped
    std::int64_t damagedFrames = 0;   // frames decoded with concealed errors
    bool endedEarly = false;          // reading stopped at an error before the end of the file
    std::string readError;            // why, when endedEarly
    double missingSeconds = 0.0;      // how much shorter the stream was than its header says

    bool any() const {
        return refusedPackets > 0 || damagedFrames > 0 || endedEarly || missingSeconds > 0;
    }
    // One line for the user, such as "12 damaged packets skipped; stream cut short (End of file)".
    std::string describe() const;
};

class AudioFileDecoder final : public AudioSource {
public:
    // Opens `path` and positions it at `startSeconds`. Throws HostError with a one-line reason when
    // the file is missing, is no media file, holds no audio stream or no codec for it.
    explicit AudioFileDecoder(const std::string& path, double startSeconds = 0.0);
    ~AudioFileDecoder() override;

    AudioFileDecoder(const AudioFileDecoder&) = delete;
    AudioFileDecoder& operator=(const AudioFileDecoder&) = delete;

    const StreamInfo& info() const override;
    std::size_t read(float* interleaved, std::size_t frames) override;

    const DecodeDamage& damage() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace gs::host
