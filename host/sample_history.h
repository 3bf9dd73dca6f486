// The most recent stretch of a stream's samples, split into two channels (a mono stream fills both
// the same) and addressed by absolute frame number from the stream's start. The analyser reads its
// windows from here; samples before the start, after the end or already overwritten read as
// silence.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace gs::host {

class SampleHistory {
public:
    // Keeps at least `capacityFrames` frames.
    explicit SampleHistory(std::size_t capacityFrames);

    void append(const float* interleaved, std::size_t frames, int channels);

    // Frames appended so far: the absolute number one past the newest frame.
    std::int64_t end() const { return end_; }

    // Copies channel `channel` (0 or 1) from absolute frame `first` on into `out`.
    void copy(int channel, std::int64_t first, std::span<float> out) const;

private:
    std::vector<float> channels_[2];
    std::size_t mask_;
    std::int64_t end_ = 0;
};

}  // namespace gs::host
