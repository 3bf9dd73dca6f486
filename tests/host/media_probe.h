// Reads a written video back with FFmpeg's libraries: what a player would find in it.
#pragma once

#include <string>

namespace gs::host::testing {

struct MediaProbe {
    bool opened = false;
    std::string videoCodec;
    int width = 0;
    int height = 0;
    long long videoFrames = 0;  // packets of the video stream: one per frame
    double durationSeconds = 0.0;
    bool hasAudio = false;
    std::string audioCodec;
    int audioChannels = 0;
    int audioSampleRate = 0;
    double audioSeconds = 0.0;
};

MediaProbe probeMedia(const std::string& path);

}  // namespace gs::host::testing
