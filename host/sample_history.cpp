#include "host/sample_history.h"

#include <algorithm>
#include <bit>

namespace gs::host {

SampleHistory::SampleHistory(std::size_t capacityFrames)
    : mask_(std::bit_ceil(std::max<std::size_t>(capacityFrames, 1)) - 1) {
    for (auto& channel : channels_) {
        channel.assign(mask_ + 1, 0.0f);
    }
}

void SampleHistory::append(const float* interleaved, std::size_t frames, int channels) {
    const int right = channels > 1 ? 1 : 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t slot = static_cast<std::size_t>(end_) & mask_;
        channels_[0][slot] = interleaved[i * channels];
        channels_[1][slot] = interleaved[i * channels + right];
        ++end_;
    }
}

void SampleHistory::copy(int channel, std::int64_t first, std::span<float> out) const {
    const std::vector<float>& source = channels_[channel];
    const std::int64_t oldest =
        std::max<std::int64_t>(0, end_ - static_cast<std::int64_t>(mask_ + 1));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::int64_t frame = first + static_cast<std::int64_t>(i);
        out[i] = frame >= oldest && frame < end_ ? source[static_cast<std::size_t>(frame) & mask_]
                                                 : 0.0f;
    }
}

}  // namespace gs::host
