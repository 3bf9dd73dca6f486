// Encodes the frames as H.264 video with the sound track as AAC, muxed by FFmpeg's libraries into
// the container the output name asks for (.mp4, .mkv, .mov), under a staging name until finish().
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "host/frame_sink.h"

namespace gs::host {

struct VideoSettings {
    int width = 1280;
    int height = 720;
    int fps = 30;
    int audioChannels = 2;  // 1 or 2; 0 for a video without sound
};

class VideoWriter final : public FrameSink {
public:
    // Throws HostError when the container is unknown, no video encoder opens, or the output
    // cannot be written.
    VideoWriter(const std::filesystem::path& path, const VideoSettings& settings);
    ~VideoWriter() override;

    void writeFrame(const FrameView& frame) override;
    void writeAudio(const float* interleaved, std::size_t frames) override;
    void finish() override;

    // The video encoder in use ("libx264" where Debian's FFmpeg has it).
    const std::string& videoEncoder() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// True for output names whose container takes H.264 video (.mp4, .mkv, .mov, ...).
bool isVideoPath(const std::filesystem::path& path);

}  // namespace gs::host
