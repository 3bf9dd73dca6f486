#include "render/software/shader/power_table.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace gs::render::software {

PowerTable::PowerTable(float exponent) : y(exponent), zero(arithmetic::shortPower(0.0f, exponent)) {
    const double power = exponent;
    linear = exponent >= 0.0f && exponent <= 1.0f;
    // Interpolation at the Chebyshev nodes of [0, 1] spreads the error evenly over a segment: two
    // of them for chords, three for parabolas.
    const int order = linear ? 2 : 3;
    const int segments = linear ? kLinearSegments : kSegments;
    double nodes[3] = {};
    for (int k = 0; k < order; ++k) {
        nodes[k] = 0.5 - 0.5 * std::cos((2 * k + 1) * std::numbers::pi / (2.0 * order));
    }
    for (int j = 0; j < segments; ++j) {
        double values[3] = {};
        for (int k = 0; k < order; ++k) {
            values[k] = std::pow(1.0 + (j + nodes[k]) / segments, power);
        }
        // Newton's divided differences, then expanded into powers of t.
        const double d01 = (values[1] - values[0]) / (nodes[1] - nodes[0]);
        double d012 = 0.0;
        if (!linear) {
            const double d12 = (values[2] - values[1]) / (nodes[2] - nodes[1]);
            d012 = (d12 - d01) / (nodes[2] - nodes[0]);
        }
        c2[j] = static_cast<float>(d012);
        c1[j] = static_cast<float>(d01 - d012 * (nodes[0] + nodes[1]));
        c0[j] = static_cast<float>(values[0] - d01 * nodes[0] + d012 * nodes[0] * nodes[1]);
    }
    for (int j = segments; j < kSegments; ++j) {
        c0[j] = c0[j % segments];
        c1[j] = c1[j % segments];
        c2[j] = c2[j % segments];
    }
    for (int l = 0; l < kLowBinades; ++l) {
        low[l] = static_cast<float>(std::exp2(-power * l));
    }
    for (int k = 0; k < 16; ++k) {
        shallowLow[k] = low[15 - k];
    }
    // Steps of 2^-32 while their factor stays a normal float, and never below the normal floats:
    // d = 127 - biased exponent reaches 126 at most.
    int steps = 1;
    while (steps < 4 && std::fabs(32.0 * steps * power) <= 126.0) {
        ++steps;
    }
    for (int h = 0; h < kHighBinades; ++h) {
        high[h] = h < steps ? static_cast<float>(std::exp2(-power * 32 * h)) : 1.0f;  // else unread
    }
    const int deepest = std::min(32 * steps - 1, 126);
    firstBits = static_cast<std::uint32_t>(127 - deepest) << 23;
    spanBits = 0x40000000u - firstBits;
}

}  // namespace gs::render::software
