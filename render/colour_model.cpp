#include "render/colour_model.h"

#include <cmath>

namespace gs::render {

namespace {

// Shared by all objects of the process and never reset. The host calls on one thread
// (apartment model), so it takes no lock.
Rgb gSmoothed[2] = {};

// Hue offset of a side for the current hue.
double sideOffset(Side side, float hue) {
    if (hue > 240.0f) {
        return side == Side::Left ? 240.0 : 160.0;
    }
    if (hue > 120.0f) {
        return side == Side::Left ? 120.0 : 300.0;
    }
    return side == Side::Left ? 0.0 : 180.0;
}

std::uint32_t lowByte(double component) {
    // Truncation toward zero, then the low 8 bits. Components are finite and below 2^31 here
    // (energies are bounded), but go through a 64-bit integer so a large value wraps instead of
    // overflowing the conversion.
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(component)) & 0xFFu;
}

}  // namespace

float advanceHue(float hue) {
    return static_cast<float>(std::fmod(static_cast<double>(hue) + kHueStep, 360.0));
}

Hsv RgbToHsv(double red, double green, double blue) {
    const double max = std::fmax(red, std::fmax(green, blue));
    const double min = std::fmin(red, std::fmin(green, blue));
    Hsv hsv{0.0, max == 0.0 ? 0.0 : (max - min) / max, max};
    const double delta = max - min;
    double rc = 0.0;
    double gc = 0.0;
    double bc = 0.0;
    if (delta != 0.0) {
        rc = (max - red) / delta;
        gc = (max - green) / delta;
        bc = (max - blue) / delta;
    }
    if (max == red) {
        hsv.hue = 60.0 * (bc - gc);
    } else if (max == green) {
        hsv.hue = 60.0 * (2.0 + rc - bc);
    } else {
        hsv.hue = 60.0 * (4.0 + gc - rc);
    }
    if (hsv.hue < 0.0) {
        hsv.hue += 360.0;
    }
    return hsv;
}

Rgb HsvToRgb(double hue, double saturation, double value) {
    const double x = hue * 0.016666666666666666;
    // The sector is 0..5 for hues in [0, 360); anything else is folded into that range rather
    // than falling off the table.
    int sector = static_cast<int>(std::floor(x));
    const double fraction = x - sector;
    sector = ((sector % 6) + 6) % 6;
    const double ff = (sector & 1) ? fraction : 1.0 - fraction;
    const double p = value * (1.0 - saturation);
    const double t = value * (1.0 - saturation * ff);
    switch (sector) {
        case 0:
            return {value, t, p};
        case 1:
            return {t, value, p};
        case 2:
            return {p, value, t};
        case 3:
            return {p, t, value};
        case 4:
            return {t, p, value};
        default:
            return {value, p, t};
    }
}

std::uint32_t packColour(Rgb colour) {
    return 0xFF000000u + lowByte(colour.red) * 65536u + lowByte(colour.green) * 256u +
           lowByte(colour.blue);
}

std::uint32_t bandColour(double low, double mid, double high, float hue, Side side) {
    const Hsv hsv = RgbToHsv(low, mid, high);
    const double turned = std::fmod(hsv.hue + sideOffset(side, hue), 360.0);
    const Rgb fresh = HsvToRgb(turned, hsv.saturation, hsv.value);

    Rgb& smoothed = gSmoothed[static_cast<int>(side)];
    smoothed.red = (2.0 * smoothed.red + fresh.red * 255.0) * 0.3333333333333333;
    smoothed.green = (2.0 * smoothed.green + fresh.green * 255.0) * 0.3333333333333333;
    smoothed.blue = (2.0 * smoothed.blue + fresh.blue * 255.0) * 0.3333333333333333;
    return packColour(smoothed);
}

Rgb smoothedColour(Side side) {
    return gSmoothed[static_cast<int>(side)];
}

void setSmoothedColour(Side side, Rgb colour) {
    gSmoothed[static_cast<int>(side)] = colour;
}

}  // namespace gs::render
