// The host's view of a visualization: what the render loop and the live player need, whatever
// draws the pictures. The plug-in loaded through its class factory is one (PluginVisualizer);
// tests use their own.
#pragma once

#include <string>

#include "host/audio_source.h"
#include "host/frame.h"
#include "plugin/player_interfaces.h"

namespace gs::host {

class Visualizer {
public:
    virtual ~Visualizer() = default;

    virtual std::string title() = 0;
    virtual int presetCount() = 0;
    virtual std::string presetTitle(int preset) = 0;
    virtual int currentPreset() = 0;
    // Throws HostError for a preset the visualization refuses.
    virtual void selectPreset(int preset) = 0;

    // A new stream starts playing.
    virtual void beginStream(const StreamInfo& stream) = 0;

    // The picture's size from the next frame on.
    virtual void resize(int width, int height) = 0;

    // Draws one frame. The view stays valid until the next call of render or resize.
    virtual FrameView render(const plugin::TimedLevel& levels) = 0;
};

// The preset whose title is `name` (case does not matter), or whose number it is; -1 when none.
int findPreset(Visualizer& visualizer, const std::string& name);

}  // namespace gs::host
