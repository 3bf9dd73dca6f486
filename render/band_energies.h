// One channel's spectrum folded into three overlapping bands, the colour of its history texel.
#pragma once

#include "plugin/player_interfaces.h"

namespace gs::render {

struct BandEnergies {
    double low;   // bins 0..511, weight falling from 1 to 0
    double mid;   // bins 256..767, a triangle peaking at 512
    double high;  // bins 512..1023, weight rising from 1 towards 2
};

BandEnergies bandEnergies(const unsigned char (&spectrum)[plugin::kSpectrumSize]);

}  // namespace gs::render
