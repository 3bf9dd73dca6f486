// The largest picture the plug-in can draw here. The plug-in renders into a back buffer of the
// display's size and copies the target's part of it, so a target may not exceed the display
// mode of the software adapter (1920 x 1080 unless the host changes it).
#pragma once

namespace gs::host {

struct TargetLimits {
    int width;
    int height;
};

TargetLimits targetLimits();

// Throws HostError with a one-line reason when width x height cannot be drawn.
void checkTargetSize(int width, int height);

}  // namespace gs::host
