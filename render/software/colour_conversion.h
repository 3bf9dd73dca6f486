// Conversions between 8-bit unsigned-normalised storage and floats in 0..1.
#pragma once

#include <array>
#include <cstdint>

#include "render/device.h"

namespace gs::render::software {

// kUnorm8[b] = b / 255, exactly the value an 8-bit channel stands for.
inline constexpr std::array<float, 256> kUnorm8 = [] {
    std::array<float, 256> table{};
    for (int i = 0; i < 256; ++i) {
        table[i] = static_cast<float>(i) / 255.0f;
    }
    return table;
}();

// Round-to-nearest of x * 255, saturated to 0..255; NaN gives 0.
inline std::uint32_t toUnorm8(float x) {
    x = x > 0.0f ? x : 0.0f;
    x = x < 1.0f ? x : 1.0f;
    return static_cast<std::uint32_t>(x * 255.0f + 0.5f);
}

inline Colour packColour(float r, float g, float b, float a) {
    return (toUnorm8(a) << 24) | (toUnorm8(r) << 16) | (toUnorm8(g) << 8) | toUnorm8(b);
}

inline float channelRed(Colour c) {
    return kUnorm8[(c >> 16) & 0xFF];
}
inline float channelGreen(Colour c) {
    return kUnorm8[(c >> 8) & 0xFF];
}
inline float channelBlue(Colour c) {
    return kUnorm8[c & 0xFF];
}
inline float channelAlpha(Colour c) {
    return kUnorm8[c >> 24];
}

}  // namespace gs::render::software
