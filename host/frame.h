// A finished picture as the plug-in leaves it in the host's device context: 32-bit pixels
// 0x00RRGGBB (bytes B, G, R, unused in memory), rows top to bottom.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gs::host {

struct FrameView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;  // pixels from one row to the next

    const std::uint32_t* row(int y) const { return pixels + y * stride; }
};

}  // namespace gs::host
