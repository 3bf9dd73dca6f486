#include "render/software/primitive_assembly.h"

#include <cmath>

#include "render/software/rasterizer.h"

namespace gs::render::software {
namespace {

// Twice the signed area on screen (y down): positive for clockwise triangles.
double windingArea(const Vertex& a, const Vertex& b, const Vertex& c) {
    return (static_cast<double>(b.x) - a.x) * (static_cast<double>(c.y) - a.y) -
           (static_cast<double>(c.x) - a.x) * (static_cast<double>(b.y) - a.y);
}

bool culled(const Vertex (&t)[3], Cull cullMode) {
    const double area = windingArea(t[0], t[1], t[2]);
    return (cullMode == Cull::Clockwise && area > 0.0) ||
           (cullMode == Cull::CounterClockwise && area < 0.0);
}

// Draws `first`, and `second` with it where the two make one surface: a quad's halves that share
// an edge and shade alike. Their rows then come together, so that a wide quad's tiles run its
// whole width instead of breaking where its diagonal crosses each row. Returns whether it drew
// `second`; either is culled by the caller.
bool drawTriangles(const Vertex (&first)[3], const Vertex* second, PixelPipeline& pipeline) {
    if (!pipeline.setTriangle(first[0], first[1], first[2])) {
        return false;
    }
    const float x[3] = {first[0].x, first[1].x, first[2].x};
    const float y[3] = {first[0].y, first[1].y, first[2].y};
    bool paired = false;
    if (second != nullptr && pipeline.sharesShading(second[0], second[1], second[2])) {
        const float x1[3] = {second[0].x, second[1].x, second[2].x};
        const float y1[3] = {second[0].y, second[1].y, second[2].y};
        paired = rasterizeTrianglePair(x, y, x1, y1, pipeline.rasterTarget(), pipeline);
    }
    if (!paired) {
        rasterizeTriangle(x, y, pipeline.rasterTarget(), pipeline);
    }
    pipeline.endPrimitive();
    return paired;
}

// Draws `count` triangles, triangle(i, t) giving the vertices of the i-th, in pairs where they
// make one surface (drawTriangles).
template <typename Triangle>
void drawTriangleSequence(UINT count, const Triangle& triangle, Cull cullMode,
                          PixelPipeline& pipeline) {
    Vertex triangles[2][3];
    int current = 0;
    bool decoded = false;  // triangles[current] already holds triangle i
    for (UINT i = 0; i < count; ++i) {
        const Vertex(&first)[3] = triangles[current];
        if (!decoded) {
            triangle(i, triangles[current]);
        }
        decoded = false;
        if (culled(first, cullMode)) {
            continue;
        }
        const Vertex(&second)[3] = triangles[1 - current];
        if (i + 1 < count) {
            triangle(i + 1, triangles[1 - current]);
            decoded = true;
        }
        if (drawTriangles(first, decoded && !culled(second, cullMode) ? second : nullptr,
                          pipeline)) {
            ++i;
            decoded = false;
        }
        // The next triangle, decoded or not, takes the other array.
        current = 1 - current;
    }
}

// Half the side of a point's square, from its own size where the format has one.
float pointHalfSize(float ownSize, bool hasOwnSize, const PointRule& rule) {
    float size = hasOwnSize ? ownSize : rule.size;
    size = size > rule.minimum ? size : rule.minimum;  // NaN takes the minimum
    size = size < rule.maximum ? size : rule.maximum;
    return 0.5f * size;
}

void drawPoint(const Vertex& v, bool ownSize, const PointRule& rule, PixelPipeline& pipeline) {
    const float half = pointHalfSize(v.pointSize, ownSize, rule);
    pipeline.setConstant(v);
    rasterizeRectangle(v.x - half, v.y - half, v.x + half, v.y + half, pipeline.rasterTarget(),
                       pipeline);
    pipeline.endPrimitive();
}

// How many points ahead of the one being drawn the pixels are asked for: enough to cover the
// memory's latency with the few pixels each point takes, few enough that the lines stay.
constexpr UINT kPointLookAhead = 8;

void prefetchPoint(const unsigned char* vertex, const VertexLayout& layout, const PointRule& rule,
                   const PixelPipeline& pipeline) {
    float x, y, size;
    layout.decodePosition(vertex, &x, &y, &size);
    const float half = pointHalfSize(size, layout.hasPointSize(), rule);
    pipeline.prefetchRectangle(x - half, y - half, x + half, y + half);
}

// floor(y) + step as an int, held to [-2^30, 2^30]: rows beyond lie outside every target. NaN
// gives 0 (a point at NaN covers nothing).
int rowBound(float y, int step) {
    constexpr float kLimit = 1 << 30;
    if (!(y > -kLimit)) {
        return y < 0.0f ? -(1 << 30) : 0;
    }
    if (!(y < kLimit)) {
        return 1 << 30;
    }
    return static_cast<int>(std::floor(y)) + step;
}

}  // namespace

void pointRows(UINT count, const unsigned char* vertices, UINT stride, const VertexLayout& layout,
               const PointRule& points, int* rows) {
    const bool ownSize = layout.hasPointSize();
    for (UINT i = 0; i < count; ++i) {
        float x, y, size;
        layout.decodePosition(vertices + std::uint64_t{i} * stride, &x, &y, &size);
        const float half = pointHalfSize(size, ownSize, points);
        rows[2 * i] = rowBound(y - half, -1);
        rows[2 * i + 1] = rowBound(y + half, 2);
    }
}

void assemblePointsInRows(UINT count, const unsigned char* vertices, UINT stride,
                          const VertexLayout& layout, const PointRule& points, const int* rows,
                          int first, int end, PixelPipeline& pipeline) {
    Vertex v;
    for (UINT i = 0; i < count; ++i) {
        if (rows[2 * i] < end && rows[2 * i + 1] > first) {
            layout.decode(vertices + std::uint64_t{i} * stride, &v);
            drawPoint(v, layout.hasPointSize(), points, pipeline);
        }
    }
}

void assemblePointsAt(const int* indices, int count, const unsigned char* vertices, UINT stride,
                      const VertexLayout& layout, const PointRule& points,
                      PixelPipeline& pipeline) {
    Vertex v;
    for (int k = 0; k < count; ++k) {
        layout.decode(vertices + static_cast<std::uint64_t>(indices[k]) * stride, &v);
        drawPoint(v, layout.hasPointSize(), points, pipeline);
    }
}

std::uint64_t verticesFor(PrimitiveType type, UINT primitiveCount) {
    const std::uint64_t n = primitiveCount;
    switch (type) {
        case PrimitiveType::PointList:
            return n;
        case PrimitiveType::TriangleList:
            return 3 * n;
        case PrimitiveType::TriangleStrip:
        case PrimitiveType::TriangleFan:
            return n + 2;
        default:
            return 0;
    }
}

void assemblePrimitives(PrimitiveType type, UINT primitiveCount, const unsigned char* vertices,
                        UINT stride, const VertexLayout& layout, Cull cullMode,
                        const PointRule& points, PixelPipeline& pipeline) {
    auto at = [&](std::uint64_t index) { return vertices + index * stride; };
    Vertex a;
    switch (type) {
        case PrimitiveType::PointList:
            for (UINT i = 0; i < primitiveCount; ++i) {
                if (i + kPointLookAhead < primitiveCount) {
                    prefetchPoint(at(i + kPointLookAhead), layout, points, pipeline);
                }
                layout.decode(at(i), &a);
                drawPoint(a, layout.hasPointSize(), points, pipeline);
            }
            break;
        case PrimitiveType::TriangleList:
            drawTriangleSequence(
                primitiveCount,
                [&](UINT i, Vertex(&t)[3]) {
                    for (int k = 0; k < 3; ++k) {
                        layout.decode(at(3 * std::uint64_t{i} + k), &t[k]);
                    }
                },
                cullMode, pipeline);
            break;
        case PrimitiveType::TriangleStrip:
            // Every second triangle of a strip is wound the other way; swapping its last two
            // vertices keeps one winding for culling and the first vertex for flat shading.
            drawTriangleSequence(
                primitiveCount,
                [&](UINT i, Vertex(&t)[3]) {
                    layout.decode(at(i), &t[0]);
                    layout.decode(at(i + std::uint64_t{1}), &t[i % 2 == 0 ? 1 : 2]);
                    layout.decode(at(i + std::uint64_t{2}), &t[i % 2 == 0 ? 2 : 1]);
                },
                cullMode, pipeline);
            break;
        case PrimitiveType::TriangleFan:
            // Rotated, not reordered: same winding, and flat shading takes a fan triangle's
            // colours from the vertex after the hub, as Direct3D does.
            drawTriangleSequence(
                primitiveCount,
                [&](UINT i, Vertex(&t)[3]) {
                    layout.decode(at(i + std::uint64_t{1}), &t[0]);
                    layout.decode(at(i + std::uint64_t{2}), &t[1]);
                    layout.decode(at(0), &t[2]);
                },
                cullMode, pipeline);
            break;
        default:
            break;
    }
}

}  // namespace gs::render::software
