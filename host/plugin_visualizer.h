// The visualization object of a plug-in module, driven as the player drives it: created through
// the module's class factory, asked for IWMPEffects2, given no core (SetCore(null)), a window
// (Create), the stream's format (MediaInfo), presets and titles, and one Render per frame into a
// memory device context holding a 32-bit top-down DIB section of the target size.
#pragma once

#include <memory>

#include "host/plugin_module.h"
#include "host/visualizer.h"

namespace gs::host {

enum class PluginClock {
    Real,     // live playback: the plug-in paces itself against the real clock
    Offline,  // rendering to files: the platform's clock advances one frame period per frame
};

struct PluginTarget {
    int width = 1280;
    int height = 720;
    int fps = 30;
    PluginClock clock = PluginClock::Offline;
};

// Creates the object of class `classId` from `module`. Throws HostError when the module does not
// create it, or it is no visualization (no IWMPEffects2).
std::unique_ptr<Visualizer> createPluginVisualizer(const PluginModule& module, const CLSID& classId,
                                                   const PluginTarget& target);

}  // namespace gs::host
