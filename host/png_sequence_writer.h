// Writes each frame as an 8-bit RGB PNG file, frame-000000.png onwards, into a folder that
// appears (or is updated) only when the render completes.
#pragma once

#include <filesystem>
#include <vector>

#include "host/frame_sink.h"
#include "host/staged_output.h"

namespace gs::host {

class PngSequenceWriter final : public FrameSink {
public:
    explicit PngSequenceWriter(const std::filesystem::path& folder);

    void writeFrame(const FrameView& frame) override;
    void writeAudio(const float*, std::size_t) override {}
    void finish() override;

    long long framesWritten() const { return frames_; }

private:
    StagedFolder folder_;
    long long frames_ = 0;
    std::vector<unsigned char> row_;
};

// Writes one frame as a PNG file at `path`; throws HostError on failure.
void writePng(const std::filesystem::path& path, const FrameView& frame,
              std::vector<unsigned char>& rowScratch);

}  // namespace gs::host
