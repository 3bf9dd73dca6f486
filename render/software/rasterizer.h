// Coverage of primitives by Direct3D 9's rules for pre-transformed vertices.
//
// Pixel centres lie at integer coordinates: pixel (i, j) is covered when the point (i, j) lies
// inside the primitive. A centre exactly on an edge belongs to the primitive only when that edge
// is a top edge (horizontal, with the inside below) or a left edge, so primitives that share an
// edge cover each pixel along it once. Vertices are snapped to 1/256 pixel and edges evaluated in
// exact integer arithmetic.
#pragma once

namespace gs::render::software {

// Receives the covered pixels row by row, top to bottom, already clipped to the target.
class SpanSink {
public:
    virtual void span(int y, int x0, int x1) = 0;  // pixels x0 .. x1 - 1 of row y

protected:
    ~SpanSink() = default;
};

// An endRow past every target's last row: no limit.
constexpr int kNoRowLimit = 1 << 30;

// The target's size, and the rows [firstRow, endRow) that primitives may cover: a draw that runs
// band by band covers one band at a time.
struct RasterTarget {
    int width;
    int height;
    int firstRow = 0;
    int endRow = kNoRowLimit;
};

// Either winding; a degenerate or non-finite triangle covers nothing.
void rasterizeTriangle(const float (&x)[3], const float (&y)[3], RasterTarget target,
                       SpanSink& sink);

// Two triangles that share an edge and lie on its two sides (a quad's halves, as fans, strips and
// lists give them), row by row together: each row's pixels of both come as one span where they
// meet, not split at the shared edge. Every pixel is covered by the same triangle, and the same
// once, as rasterizeTriangle covers it; rows still come top to bottom, but the two triangles'
// pixels interleave. False, with nothing given to `sink`, where after snapping the two do not lie
// on the two sides of an edge they share, either covers no area, or a vertex lies far outside the
// target (the guard band).
bool rasterizeTrianglePair(const float (&x0)[3], const float (&y0)[3], const float (&x1)[3],
                           const float (&y1)[3], RasterTarget target, SpanSink& sink);

// The axis-aligned square or rectangle [left, right) x [top, bottom): its left and top edges are
// in, its right and bottom edges out. This is how points are drawn.
void rasterizeRectangle(float left, float top, float right, float bottom, RasterTarget target,
                        SpanSink& sink);

}  // namespace gs::render::software
