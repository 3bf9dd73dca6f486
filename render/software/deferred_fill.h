// A clear of the back buffer written as a draw reaches it.
//
// A frame clears the whole target and then draws over it, mostly all of it. Writing the clear
// colour out first means a pass over the whole target, whose pixels the draw then reads back
// from memory. Deferred, the clear is written into each row's pixels as the draw's spans reach
// them, just before their blend reads them, and into what the draw left untouched once it ends.
// Pixels a draw visits twice are written once: each row remembers the columns it has had. A draw
// that writes every pixel of its spans may claim them instead (claim): it blends over the clear's
// value as if read from them, and the clear is never written there at all.
#pragma once

#include <vector>

#include "render/software/pixel_buffer.h"

namespace gs::render::software {

class DeferredFill {
public:
    // Room for a target of up to `height` rows, so that a draw allocates nothing. False when the
    // memory cannot be had.
    bool reserve(UINT height);

    // Starts filling `target` (of no more rows than reserved) with `colour`: no pixel has it yet.
    void start(const PixelBuffer& target, Colour colour);
    // Gives the pixels [x0, x1) of row y the colour unless they have it, and any between them and
    // what the row has had (no draw has written those either), before a draw writes them.
    void cover(int y, int x0, int x1);
    // Takes the pixels [x0, x1) of row y for a draw that writes every one of them, reading them as
    // the colour, before anything else reads them: where none has had the colour and they join
    // what the row has had (or it has had nothing), they are left as they are. False, with
    // nothing taken, for any other span: the draw covers it instead.
    bool claim(int y, int x0, int x1);
    // The colour as the target stores it.
    Colour stored() const { return target_.stored(colour_); }
    // Gives every pixel not yet covered the colour, and ends the fill.
    void finish() { finishRows(0, static_cast<int>(target_.height)); }
    // finish for the rows [first, end) alone: a draw that runs band by band ends each band so.
    void finishRows(int first, int end);

private:
    struct Columns {
        int begin = 0, end = 0;  // [begin, end) has the colour; empty when equal
    };
    void fill(int y, int x0, int x1) const;

    std::vector<Columns> rows_;
    PixelBuffer target_{};
    Colour colour_ = 0;
};

}  // namespace gs::render::software
