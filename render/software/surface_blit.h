// Fills and stretch copies between surfaces: ColorFill, Clear and StretchRect.
#pragma once

#include "render/device.h"
#include "render/software/pixel_buffer.h"

namespace gs::render::software {

// `rect` (null: the whole surface) intersected with the surface. False when nothing is left.
bool clipRect(const RECT* rect, const PixelBuffer& surface, RECT* clipped);

// True when `rect` is non-empty and lies wholly inside a surface of width x height pixels.
bool rectInside(const RECT& rect, UINT width, UINT height);

// Sets every pixel of `rect` (inside the surface) to `colour`.
void fillRect(const PixelBuffer& surface, const RECT& rect, Colour colour);

// Copies `sourceRect` of `source` into `destinationRect` of another surface, scaling it. Both
// rectangles lie inside their surfaces. Point sampling takes for destination pixel x (counted from
// the rectangle's left) the source pixel floor((x + 0.5) * sourceWidth / destinationWidth), the
// pixel under the destination pixel's centre, as a GPU's nearest-filtered blit does; the same
// for rows. Linear filtering blends the four source pixels around that point, clamped to the
// source rectangle.
void stretchRect(const PixelBuffer& source, const RECT& sourceRect, const PixelBuffer& destination,
                 const RECT& destinationRect, bool linear);

// The part of a point-sampled stretchRect that reads source rows [sourceFirst, sourceEnd): the
// destination rows whose source row lies there. Run over consecutive ranges of rows, it writes
// what one stretchRect writes, a band of the source at a time.
void stretchPointFromRows(const PixelBuffer& source, const RECT& sourceRect,
                          const PixelBuffer& destination, const RECT& destinationRect,
                          LONG sourceFirst, LONG sourceEnd);

}  // namespace gs::render::software
