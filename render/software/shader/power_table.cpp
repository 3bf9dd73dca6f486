#include "render/software/shader/power_table.h"

#include <cmath>
#include <numbers>

namespace gs::render::software {

PowerTable::PowerTable(float exponent) : y(exponent), zero(arithmetic::shortPower(0.0f, exponent)) {
    const double power = exponent;
    // Interpolation at the Chebyshev nodes of [0, 1] spreads the error evenly over a segment.
    double nodes[3];
    for (int k = 0; k < 3; ++k) {
        nodes[k] = 0.5 - 0.5 * std::cos((2 * k + 1) * std::numbers::pi / 6.0);
    }
    for (int j = 0; j < kSegments; ++j) {
        double values[3];
        for (int k = 0; k < 3; ++k) {
            values[k] = std::pow(1.0 + (j + nodes[k]) / kSegments, power);
        }
        // Newton's divided differences, then expanded into powers of t.
        const double d01 = (values[1] - values[0]) / (nodes[1] - nodes[0]);
        const double d12 = (values[2] - values[1]) / (nodes[2] - nodes[1]);
        const double d012 = (d12 - d01) / (nodes[2] - nodes[0]);
        c2[j] = static_cast<float>(d012);
        c1[j] = static_cast<float>(d01 - d012 * (nodes[0] + nodes[1]));
        c0[j] = static_cast<float>(values[0] - d01 * nodes[0] + d012 * nodes[0] * nodes[1]);
    }
    for (int e = 0; e < kBinades; ++e) {
        binade[e] = static_cast<float>(std::exp2(power * (e - (kBinades - 1))));
    }
}

}  // namespace gs::render::software
