// A draw's blend of one source colour, as a table per channel.
//
// Where every pixel of a primitive shades to the same colour (a point takes its one vertex's
// attributes) and the blend works on each channel apart, what a pixel stores in a channel depends
// on that channel of the destination alone: 256 values per channel say it all. The pipeline fills
// the table by shading and blending 256 destination pixels through its own kernels, so the table's
// values are the general path's, and then blends a primitive's pixels by looking them up. Trace
// points, thousands of a few pixels each in one colour, are blended this way.
#pragma once

#include <array>
#include <cstdint>

#include "render/software/pixel_buffer.h"
#include "render/software/vertex_format.h"

namespace gs::render::software {

struct BlendSetup;

// The attribute values every pixel of a primitive takes, over the draw's supplied slots in order.
struct SourceKey {
    std::array<std::uint32_t, kAttributeSlots> bits;  // the first `count` are the values' bits
    int count = 0;

    SourceKey() = default;
    SourceKey(const Vertex& v, const int* slots, int count);
    // Bit for bit: NaNs of one pattern match, 0 and -0 do not.
    bool operator==(const SourceKey& other) const;
};

class ChannelTable {
public:
    // The destination pixels whose stored values make the table: channel value v in every
    // channel of pixel v.
    static constexpr int kEntries = 256;
    static void fillDestinations(Colour (&pixels)[kEntries]);

    // Whether `blend` gives each channel of a stored pixel from the source and that channel of the
    // destination alone: true unless a colour factor reads the destination's alpha, or the write
    // mask splits a channel.
    static bool appliesTo(const BlendSetup& blend);

    // Forgets the table (a new draw's states make another).
    void clear() { holding_ = false; }
    // Whether the table was made for a source with these attribute values (compared bit for bit).
    bool holds(const SourceKey& key) const;
    // The table from the pixels fillDestinations gave, as the draw stored them, for `key`.
    void set(const Colour (&stored)[kEntries], const SourceKey& key);
    // Each of `count` pixels replaced by what the draw stores over it.
    void apply(Colour* pixels, int count) const;

private:
    // Entry v of channel c: what the draw stores in channel c (blue, green, red, alpha: bits
    // 8c..8c+7, the rest 0) over a destination whose channel c is v.
    std::array<std::array<Colour, kEntries>, 4> channels_{};
    SourceKey key_{};
    bool holding_ = false;
};

}  // namespace gs::render::software
