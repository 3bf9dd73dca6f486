// The software adapter's side of the picture. The plug-in renders into a back buffer of the
// display's size and copies the target's part of it, so the host makes the adapter's display
// large enough for the target, up to the largest surface the adapter creates.
#pragma once

namespace gs::host {

struct TargetLimits {
    int width;
    int height;
};

// The largest target the adapter can draw.
TargetLimits targetLimits();

// The adapter's display now: the largest target the plug-in's back buffer covers.
TargetLimits displaySize();

// Throws HostError with a one-line reason when width x height cannot be drawn.
void checkTargetSize(int width, int height);

// Sets the adapter's display mode to cover width x height (never smaller than the default
// display), before the plug-in creates its device.
void prepareDisplayFor(int width, int height);

}  // namespace gs::host
