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

void drawTriangle(const Vertex& a, const Vertex& b, const Vertex& c, Cull cullMode,
                  PixelPipeline& pipeline) {
    const double area = windingArea(a, b, c);
    if ((cullMode == Cull::Clockwise && area > 0.0) ||
        (cullMode == Cull::CounterClockwise && area < 0.0)) {
        return;
    }
    if (!pipeline.setTriangle(a, b, c)) {
        return;
    }
    const float x[3] = {a.x, b.x, c.x};
    const float y[3] = {a.y, b.y, c.y};
    rasterizeTriangle(x, y, pipeline.rasterTarget(), pipeline);
    pipeline.endPrimitive();
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
    Vertex a, b, c;
    switch (type) {
        case PrimitiveType::PointList:
            for (UINT i = 0; i < primitiveCount; ++i) {
                layout.decode(at(i), &a);
                drawPoint(a, layout.hasPointSize(), points, pipeline);
            }
            break;
        case PrimitiveType::TriangleList:
            for (UINT i = 0; i < primitiveCount; ++i) {
                layout.decode(at(3 * std::uint64_t{i}), &a);
                layout.decode(at(3 * std::uint64_t{i} + 1), &b);
                layout.decode(at(3 * std::uint64_t{i} + 2), &c);
                drawTriangle(a, b, c, cullMode, pipeline);
            }
            break;
        case PrimitiveType::TriangleStrip:
            for (UINT i = 0; i < primitiveCount; ++i) {
                layout.decode(at(i), &a);
                layout.decode(at(i + std::uint64_t{1}), &b);
                layout.decode(at(i + std::uint64_t{2}), &c);
                // Every second triangle of a strip is wound the other way; swapping its last two
                // vertices keeps one winding for culling and the first vertex for flat shading.
                if (i % 2 == 0) {
                    drawTriangle(a, b, c, cullMode, pipeline);
                } else {
                    drawTriangle(a, c, b, cullMode, pipeline);
                }
            }
            break;
        case PrimitiveType::TriangleFan:
            layout.decode(at(0), &a);
            for (UINT i = 0; i < primitiveCount; ++i) {
                layout.decode(at(i + std::uint64_t{1}), &b);
                layout.decode(at(i + std::uint64_t{2}), &c);
                // Rotated, not reordered: same winding, and flat shading takes a fan triangle's
                // colours from the vertex after the hub, as Direct3D does.
                drawTriangle(b, c, a, cullMode, pipeline);
            }
            break;
        default:
            break;
    }
}

}  // namespace gs::render::software
