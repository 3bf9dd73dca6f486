#include "render/software/channel_table.h"

#include <bit>

#include "render/software/pipeline_kernels.h"
#include "render/software/pixel_pipeline.h"

namespace gs::render::software {

SourceKey::SourceKey(const Vertex& v, const int* slots, int count) : count(count) {
    for (int k = 0; k < count; ++k) {
        bits[k] = std::bit_cast<std::uint32_t>(v.attributes[slots[k]]);
    }
}

bool SourceKey::operator==(const SourceKey& other) const {
    if (count != other.count) {
        return false;
    }
    std::uint32_t differ = 0;
    for (int k = 0; k < count; ++k) {
        differ |= bits[k] ^ other.bits[k];
    }
    return differ == 0;
}

void ChannelTable::fillDestinations(Colour (&pixels)[kEntries]) {
    for (int v = 0; v < kEntries; ++v) {
        pixels[v] = static_cast<Colour>(v) * 0x01010101u;
    }
}

bool ChannelTable::appliesTo(const BlendSetup& blend) {
    for (int shift = 0; shift < 32; shift += 8) {
        const Colour channel = (blend.writeMask >> shift) & 0xFFu;
        if (channel != 0 && channel != 0xFFu) {
            return false;
        }
    }
    if (!blend.enabled) {
        return true;
    }
    // The alpha factors read alpha only; every operation works channel by channel.
    const auto readsOwnChannel = [](DWORD factor) {
        return factor != DWORD(Blend::DestAlpha) && factor != DWORD(Blend::InvDestAlpha) &&
               factor != kBlendSrcAlphaSat;
    };
    return readsOwnChannel(blend.sourceColour) && readsOwnChannel(blend.destinationColour);
}

bool ChannelTable::holds(const SourceKey& key) const {
    return holding_ && key_ == key;
}

void ChannelTable::set(const Colour (&stored)[kEntries], const SourceKey& key) {
    for (int c = 0; c < 4; ++c) {
        const Colour mask = 0xFFu << (8 * c);
        for (int v = 0; v < kEntries; ++v) {
            channels_[c][v] = stored[v] & mask;
        }
    }
    key_ = key;
    holding_ = true;
}

void ChannelTable::apply(Colour* pixels, int count) const {
    for (int i = 0; i < count; ++i) {
        const Colour d = pixels[i];
        pixels[i] = channels_[0][d & 0xFFu] | channels_[1][(d >> 8) & 0xFFu] |
                    channels_[2][(d >> 16) & 0xFFu] | channels_[3][d >> 24];
    }
}

}  // namespace gs::render::software
