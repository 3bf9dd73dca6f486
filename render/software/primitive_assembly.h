// Turns vertex arrays into primitives: triangles of lists, strips and fans, and points.
#pragma once

#include <cstdint>

#include "render/device.h"
#include "render/software/pixel_pipeline.h"
#include "render/software/vertex_format.h"

namespace gs::render::software {

// Point size in pixels: the vertex's own size when the format has one, else `size`; then clamped
// to [minimum, maximum] (the render states, with maximum also limited by the adapter's
// MaxPointSize). A point of size s at (x, y) covers the pixels whose centres lie in
// [x - s/2, x + s/2) x [y - s/2, y + s/2).
struct PointRule {
    float size = 1.0f;
    float minimum = 1.0f;
    float maximum = 64.0f;
};

// How many vertices `primitiveCount` primitives of `type` read; 0 for a type this device does not
// draw (lines) or does not know.
std::uint64_t verticesFor(PrimitiveType type, UINT primitiveCount);

// Draws through `pipeline`, which has begun the draw. Triangles are culled by their winding on
// screen (Direct3D's D3DCULL_CW culls clockwise, D3DCULL_CCW counter-clockwise ones).
void assemblePrimitives(PrimitiveType type, UINT primitiveCount, const unsigned char* vertices,
                        UINT stride, const VertexLayout& layout, Cull cullMode,
                        const PointRule& points, PixelPipeline& pipeline);

// For each of `count` points, rows[2 i] and rows[2 i + 1]: rows [first, end) that hold every row
// the point can cover (a little more, never less).
void pointRows(UINT count, const unsigned char* vertices, UINT stride, const VertexLayout& layout,
               const PointRule& points, int* rows);
// assemblePrimitives for a point list, with only the points whose pointRows meet [first, end).
void assemblePointsInRows(UINT count, const unsigned char* vertices, UINT stride,
                          const VertexLayout& layout, const PointRule& points, const int* rows,
                          int first, int end, PixelPipeline& pipeline);
// assemblePrimitives for the `count` points of a point list at `indices`, in that order.
void assemblePointsAt(const int* indices, int count, const unsigned char* vertices, UINT stride,
                      const VertexLayout& layout, const PointRule& points, PixelPipeline& pipeline);

}  // namespace gs::render::software
