// Reads a surface back the way the renderer hands frames to the player: through the surface's
// GDI device context, copied with BitBlt into a 32-bit DIB section.
#pragma once

#include <cstdint>
#include <vector>

#include "render/device.h"

namespace gs::render::d3d9::testing {

// 0x00RRGGBB: GDI carries no alpha.
using Rgb = std::uint32_t;

constexpr Rgb rgb(unsigned r, unsigned g, unsigned b) {
    return (r << 16) | (g << 8) | b;
}
constexpr unsigned red(Rgb c) {
    return (c >> 16) & 0xFF;
}
constexpr unsigned green(Rgb c) {
    return (c >> 8) & 0xFF;
}
constexpr unsigned blue(Rgb c) {
    return c & 0xFF;
}

class Pixels {
public:
    // The top-left width x height pixels of `surface`. On failure the test fails and every pixel
    // reads 0xDEADBEEF.
    static Pixels read(Surface* surface, int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    Rgb at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

private:
    Pixels(int width, int height, std::vector<Rgb> pixels)
        : width_(width), height_(height), pixels_(std::move(pixels)) {}

    int width_;
    int height_;
    std::vector<Rgb> pixels_;
};

}  // namespace gs::render::d3d9::testing
