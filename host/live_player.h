// Live playback: the sound through an SDL audio device and the visualization in an SDL window, in
// step with what is being heard. Keys: N or Right for the next preset, F for full screen, Space to
// pause, Q or Escape to quit. The window's client size is the plug-in's target rectangle, and
// resizing the window resizes the target.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/audio_source.h"
#include "host/visualizer.h"

namespace gs::host {

struct LivePlayerOptions {
    int width = 1280;
    int height = 720;
    std::string windowTitle = "Glimmerstrand";
    // Called before each frame with its number (tests push input events from here).
    std::function<void(std::int64_t frame)> beforeFrame;
};

struct LivePlayerReport {
    std::int64_t frames = 0;
    std::int64_t pausedFrames = 0;  // frames drawn with the play state "paused"
    int presetChanges = 0;
    bool quitByUser = false;     // false: the sound ran out
    double playedSeconds = 0.0;  // of audio that reached the device
    int finalWidth = 0;
    int finalHeight = 0;
};

// Plays to the end or until the user quits. Throws HostError when SDL cannot open a window or an
// audio device.
LivePlayerReport playLive(AudioSource& audio, Visualizer& visualizer,
                          const LivePlayerOptions& options);

}  // namespace gs::host
