// Colour arithmetic of the renderer: the cycling hue, RGB/HSV conversion, the colour of a history
// texel from one channel's band energies, its smoothing over frames and its packing into ARGB.
#pragma once

#include <cstdint>

namespace gs::render {

// The hue turns by this many degrees each played frame: once in 7200 frames.
constexpr double kHueStep = 0.05;

enum class Side { Left = 0, Right = 1 };

struct Hsv {
    double hue;  // degrees
    double saturation;
    double value;
};

struct Rgb {
    double red;
    double green;
    double blue;
};

// fmod(hue + 0.05, 360) in double precision, stored back as a float.
float advanceHue(float hue);

Hsv RgbToHsv(double red, double green, double blue);
// hue in [0, 360).
Rgb HsvToRgb(double hue, double saturation, double value);

// The colour of the next history texel of one side: the band energies read as red, green and blue,
// the hue turned by the side's offset for the current hue, converted back, scaled to 0..255,
// smoothed with that side's history and packed as opaque ARGB. Updates the side's smoothed colour.
std::uint32_t bandColour(double low, double mid, double high, float hue, Side side);

// The smoothed colour of one side on a 0..255 scale. Process-wide: every visualizer of the process
// shares it, and it survives device loss.
Rgb smoothedColour(Side side);
// Puts a side's smoothing state back to a known value (tests).
void setSmoothedColour(Side side, Rgb colour);

// Packs components by truncation toward zero, keeping only their low 8 bits: a component of 300
// packs as 44. Alpha is opaque.
std::uint32_t packColour(Rgb colour);

}  // namespace gs::render
