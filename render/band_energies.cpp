#include "render/band_energies.h"

#include <cstdlib>

namespace gs::render {

BandEnergies bandEnergies(const unsigned char (&spectrum)[plugin::kSpectrumSize]) {
    constexpr float kByteScale = 0.003921569f;  // 1/255
    double low = 0.0;
    double mid = 0.0;
    double high = 0.0;
    for (int i = 0; i < 512; ++i) {
        low += spectrum[i] * kByteScale * (1.0 - i * 0.001953125);
    }
    for (int i = 256; i < 768; ++i) {
        mid += spectrum[i] * kByteScale * (1.0 - std::abs(512 - i) * 0.00390625);
    }
    for (int i = 512; i < 1024; ++i) {
        high += spectrum[i] * kByteScale * (i * 0.001953125);
    }
    return {low * 0.00390625, mid * 0.00390625, high * 0.00390625};
}

}  // namespace gs::render
