// A recorded visualization session that two builds of the plug-in replay identically: what the
// player tells the object (rectangle, preset, stream format), the clock it shows it (at creation,
// which seeds the hue, and before every frame) and the levels of every frame. Alongside a sequence
// may go the pictures one build drew for it.
//
// Both files are little-endian binary with a magic word and a version; readers refuse anything
// else with a message instead of guessing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/player_interfaces.h"

namespace gs::differential {

struct RecordedFrame {
    std::uint32_t clock = 0;  // milliseconds that timeGetTime answers during this Render
    plugin::TimedLevel levels = {};
};

struct FrameSequence {
    // The display the recording was made on: the back buffer, the feedback texture and the
    // history strips take their sizes from it, so a replay on another display draws otherwise.
    std::uint32_t displayWidth = 0;
    std::uint32_t displayHeight = 0;
    std::int32_t width = 0;  // the rectangle given to Render, at (0, 0)
    std::int32_t height = 0;
    std::int32_t preset = 0;
    std::int32_t channelCount = 2;  // MediaInfo
    std::int32_t sampleRate = 44100;
    std::uint32_t creationClock = 0;  // timeGetTime while the object is created
    std::vector<RecordedFrame> frames;
};

// Frames as the plug-in left them in the player's 32-bit DIB: 0x00RRGGBB, rows top to bottom.
struct FrameImages {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;  // frame after frame

    std::size_t pixelsPerFrame() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
    std::size_t frameCount() const {
        return pixelsPerFrame() == 0 ? 0 : pixels.size() / pixelsPerFrame();
    }
    const std::uint32_t* frame(std::size_t index) const {
        return pixels.data() + index * pixelsPerFrame();
    }
};

// Each returns false and says why in `error` when the file cannot be written or read, or is not
// a file of that kind.
bool writeSequence(const std::string& path, const FrameSequence& sequence, std::string& error);
bool readSequence(const std::string& path, FrameSequence& sequence, std::string& error);
bool writeImages(const std::string& path, const FrameImages& images, std::string& error);
bool readImages(const std::string& path, FrameImages& images, std::string& error);

}  // namespace gs::differential
