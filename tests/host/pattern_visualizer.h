// A visualization for tests of the render loop and the outputs: each frame is a flat colour made
// from the frame's levels (red: left spectrum, green: right spectrum, blue: frame count), so the
// tests can tell frames apart without the plug-in.
#pragma once

#include <cstdint>
#include <numeric>
#include <vector>

#include "host/visualizer.h"

namespace gs::host::testing {

class PatternVisualizer final : public Visualizer {
public:
    PatternVisualizer(int width, int height) { resize(width, height); }

    std::string title() override { return "Pattern"; }
    int presetCount() override { return 2; }
    std::string presetTitle(int preset) override { return preset == 0 ? "Flat" : "Inverted"; }
    int currentPreset() override { return preset_; }
    void selectPreset(int preset) override { preset_ = preset; }
    void beginStream(const StreamInfo& stream) override { stream_ = stream; }
    void resize(int width, int height) override {
        width_ = width;
        height_ = height;
        pixels_.assign(static_cast<std::size_t>(width) * height, 0);
    }

    FrameView render(const plugin::TimedLevel& levels) override {
        const auto sum = [](const unsigned char(&cells)[plugin::kSpectrumSize]) {
            return std::accumulate(std::begin(cells), std::end(cells), 0u) / plugin::kSpectrumSize;
        };
        std::uint32_t colour =
            sum(levels.frequency[0]) << 16 | sum(levels.frequency[1]) << 8 | (frames_ & 0xff);
        if (preset_ == 1) {
            colour ^= 0xffffff;
        }
        std::fill(pixels_.begin(), pixels_.end(), colour);
        timeStamps_.push_back(levels.timeStamp);
        ++frames_;
        return {pixels_.data(), width_, height_, width_};
    }

    const StreamInfo& stream() const { return stream_; }
    const std::vector<std::int64_t>& timeStamps() const { return timeStamps_; }

private:
    int width_ = 0;
    int height_ = 0;
    int preset_ = 0;
    std::uint32_t frames_ = 0;
    std::vector<std::uint32_t> pixels_;
    std::vector<std::int64_t> timeStamps_;
    StreamInfo stream_;
};

}  // namespace gs::host::testing
