#include "render/software/rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace gs::render::software {
namespace {

constexpr int kSubpixelBits = 8;
constexpr std::int64_t kSubpixelScale = std::int64_t{1} << kSubpixelBits;
// Triangles reaching beyond this many pixels from the origin are clipped to it first, which keeps
// every edge product below 2^60; it lies far outside any target.
constexpr double kGuardBand = 1 << 20;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {  // b > 0
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) {  // b > 0
    const std::int64_t q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}

// v in 1/256 pixels, rounded half away from zero as llround rounds, without the library call
// (points snap four edges each). Callers pass finite values within the guard band, so the
// truncation is defined and x - t is exact.
std::int64_t snap(double v) {
    const double x = v * static_cast<double>(kSubpixelScale);
    const auto t = static_cast<std::int64_t>(x);
    const double rest = x - static_cast<double>(t);
    return t + (rest >= 0.5 ? 1 : 0) - (rest <= -0.5 ? 1 : 0);
}

struct Edge {
    std::int64_t dx, dy;  // b - a
    std::int64_t ax, ay;  // a
    std::int64_t bias;    // 0 on top and left edges, -1 elsewhere: E > 0 becomes E - 1 >= 0
};

// A triangle snapped to the subpixel grid and wound clockwise on screen (y down), so that its
// inside is E >= 0 for every edge; the target's rows it may cover.
struct SnappedTriangle {
    std::int64_t X[3], Y[3];
    Edge edges[3];
    std::int64_t firstRow, lastRow;
};

// False for a triangle of no area. Its vertices must lie inside the guard band.
bool snapTriangle(const double (&xd)[3], const double (&yd)[3], RasterTarget target,
                  SnappedTriangle* t) {
    std::int64_t* X = t->X;
    std::int64_t* Y = t->Y;
    for (int i = 0; i < 3; ++i) {
        X[i] = snap(xd[i]);
        Y[i] = snap(yd[i]);
    }
    const std::int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0) {
        return false;
    }
    if (area < 0) {
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
    }
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        Edge& e = t->edges[i];
        e.dx = X[j] - X[i];
        e.dy = Y[j] - Y[i];
        e.ax = X[i];
        e.ay = Y[i];
        const bool top = e.dy == 0 && e.dx > 0;
        const bool left = e.dy < 0;
        e.bias = (top || left) ? 0 : -1;
    }
    const std::int64_t minY = std::min({Y[0], Y[1], Y[2]});
    const std::int64_t maxY = std::max({Y[0], Y[1], Y[2]});
    t->firstRow =
        std::max<std::int64_t>(ceilDiv(minY, kSubpixelScale), std::max(target.firstRow, 0));
    t->lastRow = std::min<std::int64_t>(floorDiv(maxY, kSubpixelScale),
                                        std::min(target.endRow, target.height) - 1);
    return true;
}

// The pixels [*lo, *hi] of `row` that the triangle covers; none where *lo > *hi.
void rowSpan(const SnappedTriangle& t, std::int64_t row, int width, std::int64_t* lo,
             std::int64_t* hi) {
    const std::int64_t py = row * kSubpixelScale;
    *lo = 0;
    *hi = width - 1;
    if (row < t.firstRow || row > t.lastRow) {
        *hi = -1;
        return;
    }
    for (const Edge& e : t.edges) {
        // E(px) = dx * (py - ay) - dy * (px - ax) = a * px + c, with px = i * 256.
        const std::int64_t a = -e.dy;
        const std::int64_t c = e.dx * (py - e.ay) + e.dy * e.ax + e.bias;
        if (a > 0) {
            *lo = std::max(*lo, ceilDiv(-c, a * kSubpixelScale));
        } else if (a < 0) {
            *hi = std::min(*hi, floorDiv(c, -a * kSubpixelScale));
        } else if (c < 0) {
            *hi = -1;
        }
    }
}

// Rasterises a triangle whose vertices all lie inside the guard band.
void rasterizeSnapped(const double (&xd)[3], const double (&yd)[3], RasterTarget target,
                      SpanSink& sink) {
    SnappedTriangle t;
    if (!snapTriangle(xd, yd, target, &t)) {
        return;
    }
    for (std::int64_t row = t.firstRow; row <= t.lastRow; ++row) {
        std::int64_t lo, hi;
        rowSpan(t, row, target.width, &lo, &hi);
        if (lo <= hi) {
            sink.span(static_cast<int>(row), static_cast<int>(lo), static_cast<int>(hi + 1));
        }
    }
}

// Whether the two triangles (both wound clockwise by snapTriangle) lie on the two sides of an edge
// they share: each then runs along it the other way.
bool shareEdge(const SnappedTriangle& a, const SnappedTriangle& b) {
    for (int i = 0; i < 3; ++i) {
        const int i1 = (i + 1) % 3;
        for (int j = 0; j < 3; ++j) {
            const int j1 = (j + 1) % 3;
            if (a.X[i] == b.X[j1] && a.Y[i] == b.Y[j1] && a.X[i1] == b.X[j] && a.Y[i1] == b.Y[j]) {
                return true;
            }
        }
    }
    return false;
}

bool insideGuardBand(const float (&x)[3], const float (&y)[3]) {
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(x[i]) <= kGuardBand && std::fabs(y[i]) <= kGuardBand)) {
            return false;  // NaN included
        }
    }
    return true;
}

// Sutherland-Hodgman against one side of the guard band; `axis` 0 is x, `sign` +1 keeps
// coordinates <= kGuardBand, -1 keeps those >= -kGuardBand.
int clipPolygon(const double (*in)[2], int count, double (*out)[2], int axis, double sign) {
    int produced = 0;
    for (int i = 0; i < count; ++i) {
        const double* a = in[i];
        const double* b = in[(i + 1) % count];
        const double da = kGuardBand - sign * a[axis];
        const double db = kGuardBand - sign * b[axis];
        if (da >= 0) {
            out[produced][0] = a[0];
            out[produced][1] = a[1];
            ++produced;
        }
        if ((da >= 0) != (db >= 0)) {
            const double t = da / (da - db);
            out[produced][0] = a[0] + (b[0] - a[0]) * t;
            out[produced][1] = a[1] + (b[1] - a[1]) * t;
            ++produced;
        }
    }
    return produced;
}

}  // namespace

void rasterizeTriangle(const float (&x)[3], const float (&y)[3], RasterTarget target,
                       SpanSink& sink) {
    if (target.width <= 0 || target.height <= 0) {
        return;
    }
    bool inside = true;
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            return;
        }
        inside = inside && std::fabs(x[i]) <= kGuardBand && std::fabs(y[i]) <= kGuardBand;
    }
    if (inside) {
        const double xd[3] = {x[0], x[1], x[2]};
        const double yd[3] = {y[0], y[1], y[2]};
        rasterizeSnapped(xd, yd, target, sink);
        return;
    }
    // Each side adds at most one vertex: 3 + 4.
    double polygon[8][2];
    double clipped[8][2];
    int count = 3;
    for (int i = 0; i < 3; ++i) {
        polygon[i][0] = x[i];
        polygon[i][1] = y[i];
    }
    for (int side = 0; side < 4 && count > 0; ++side) {
        count = clipPolygon(polygon, count, clipped, side / 2, (side % 2) ? -1.0 : 1.0);
        std::copy(&clipped[0][0], &clipped[0][0] + 2 * count, &polygon[0][0]);
    }
    // A fan over the convex remainder; its inner edges are shared, so the fill rule keeps them
    // from being drawn twice.
    for (int i = 1; i + 1 < count; ++i) {
        const double xd[3] = {polygon[0][0], polygon[i][0], polygon[i + 1][0]};
        const double yd[3] = {polygon[0][1], polygon[i][1], polygon[i + 1][1]};
        rasterizeSnapped(xd, yd, target, sink);
    }
}

bool rasterizeTrianglePair(const float (&x0)[3], const float (&y0)[3], const float (&x1)[3],
                           const float (&y1)[3], RasterTarget target, SpanSink& sink) {
    if (!insideGuardBand(x0, y0) || !insideGuardBand(x1, y1)) {
        return false;
    }
    if (target.width <= 0 || target.height <= 0) {
        return true;
    }
    SnappedTriangle first, second;
    if (!snapTriangle({x0[0], x0[1], x0[2]}, {y0[0], y0[1], y0[2]}, target, &first) ||
        !snapTriangle({x1[0], x1[1], x1[2]}, {y1[0], y1[1], y1[2]}, target, &second) ||
        !shareEdge(first, second)) {
        return false;
    }
    const std::int64_t firstRow = std::min(first.firstRow, second.firstRow);
    const std::int64_t lastRow = std::max(first.lastRow, second.lastRow);
    for (std::int64_t row = firstRow; row <= lastRow; ++row) {
        std::int64_t lo0, hi0, lo1, hi1;
        rowSpan(first, row, target.width, &lo0, &hi0);
        rowSpan(second, row, target.width, &lo1, &hi1);
        const auto emit = [&](std::int64_t lo, std::int64_t hi) {
            if (lo <= hi) {
                sink.span(static_cast<int>(row), static_cast<int>(lo), static_cast<int>(hi + 1));
            }
        };
        if (lo0 <= hi0 && lo1 <= hi1 && (hi0 + 1 == lo1 || hi1 + 1 == lo0)) {
            emit(std::min(lo0, lo1), std::max(hi0, hi1));
        } else {
            emit(lo0, hi0);
            emit(lo1, hi1);
        }
    }
    return true;
}

void rasterizeRectangle(float left, float top, float right, float bottom, RasterTarget target,
                        SpanSink& sink) {
    if (!(left < right) || !(top < bottom) || target.width <= 0 || target.height <= 0) {
        return;  // also refuses NaN
    }
    // Clamp before snapping so huge or infinite coordinates stay representable.
    auto span = [](float lo, float hi, int size, std::int64_t* first, std::int64_t* last) {
        const double limit = static_cast<double>(size) + 1.0;
        const std::int64_t a = snap(std::clamp<double>(lo, -1.0, limit));
        const std::int64_t b = snap(std::clamp<double>(hi, -1.0, limit));
        // Centres i with a <= i * 256 < b.
        *first = std::max<std::int64_t>(ceilDiv(a, kSubpixelScale), 0);
        *last = std::min<std::int64_t>(ceilDiv(b, kSubpixelScale) - 1, size - 1);
    };
    std::int64_t x0, x1, y0, y1;
    span(left, right, target.width, &x0, &x1);
    span(top, bottom, target.height, &y0, &y1);
    y0 = std::max<std::int64_t>(y0, target.firstRow);
    y1 = std::min<std::int64_t>(y1, std::int64_t{target.endRow} - 1);
    if (x0 > x1) {
        return;
    }
    for (std::int64_t row = y0; row <= y1; ++row) {
        sink.span(static_cast<int>(row), static_cast<int>(x0), static_cast<int>(x1 + 1));
    }
}

}  // namespace gs::render::software
