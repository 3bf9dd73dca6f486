// Test helpers: scratch folders and audio files of every kind the host must read, made with
// FFmpeg's own encoders so the decoder meets real streams.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace gs::host::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sample value (full scale +-1) of `channel` at frame `frame`.
using Signal = std::function<float(int channel, std::int64_t frame)>;

Signal sine(double frequency, double amplitude = 1.0, int sampleRate = 44100);

// Encodes `seconds` of `signal` with the encoder named `encoder` ("pcm_s16le", "flac",
// "libmp3lame", "libvorbis", "libopus", "aac", ...) into `path`, the container chosen from its
// extension. Fails the current test on any error.
void writeAudioFile(const std::string& path, const std::string& encoder, int channels,
                    int sampleRate, double seconds, const Signal& signal);

}  // namespace gs::host::testing
