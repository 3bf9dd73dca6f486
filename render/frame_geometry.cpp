#include "render/frame_geometry.h"

#include <algorithm>
#include <cmath>

namespace gs::render {

namespace {

constexpr float kByteScale = 0.003921569f;                 // 1/255
constexpr std::uint32_t kBackgroundDiffuse = 0xB2FFFFFFu;  // 178/255 of the previous frame
constexpr std::uint32_t kTraceDiffuse = 0xFF404040u;  // multiplies what lies beneath by 1 + 64/255

}  // namespace

FrameGeometry makeFrameGeometry(UINT targetWidth, UINT targetHeight, float hue) {
    FrameGeometry g;
    g.width = static_cast<float>(targetWidth);
    g.height = static_cast<float>(targetHeight);
    g.cx = g.width * 0.5f;
    g.cy = g.height * 0.5f;
    g.minDim = std::min(targetWidth, targetHeight);
    g.angle = hue * kDegreesToRadians;
    return g;
}

void buildBackgroundQuad(const FrameGeometry& g, BackgroundVertex (&quad)[4]) {
    const float m = static_cast<float>(static_cast<int>(g.minDim * 0.03));
    const float m2 = 2.0f * m;
    const float s10 = std::sin(10.0f * g.angle) + 1.0f;
    const float c10 = std::cos(10.0f * g.angle) + 1.0f;
    const float s20 = std::sin(20.0f * g.angle) + 1.0f;
    const float c20 = std::cos(20.0f * g.angle) + 1.0f;
    const float w = g.width;
    const float h = g.height;
    quad[0] = {0.0f, 0.0f, 1.0f, 1.0f, kBackgroundDiffuse, s10 * m2 / w, c10 * m2 / h};
    quad[1] = {w, 0.0f, 1.0f, 1.0f, kBackgroundDiffuse, (w - s20 * m) / w, c20 * m / h};
    quad[2] = {w, h, 1.0f, 1.0f, kBackgroundDiffuse, (w - s10 * m2) / w, (h - c10 * m2) / h};
    quad[3] = {0.0f, h, 1.0f, 1.0f, kBackgroundDiffuse, s20 * m / w, (h - c20 * m) / h};
}

void buildTracePoints(const FrameGeometry& g, const plugin::TimedLevel& levels, int secondChannel,
                      float hue, TracePointVertex (&points)[kTracePointCount]) {
    const double radius = g.minDim * 0.5;
    const float pointSize = static_cast<float>(0.008 * radius);
    struct Trace {
        const unsigned char* bytes;
        float offset;  // degrees
        bool hideSilent;
    };
    const Trace traces[4] = {
        {levels.frequency[0], 0.0f, true},
        {levels.frequency[secondChannel], 180.0f, true},
        {levels.waveform[0], 0.0f, false},
        {levels.waveform[secondChannel], 180.0f, false},
    };
    TracePointVertex* point = points;
    for (const Trace& trace : traces) {
        for (int i = 0; i < plugin::kSpectrumSize; ++i, ++point) {
            const unsigned char b = trace.bytes[i];
            const float r = static_cast<float>(b * kByteScale * radius);
            const float theta = (i * 0.17578125f + hue + trace.offset) * kDegreesToRadians;
            point->x = g.cx + std::sin(theta) * r;
            point->y = g.cy - std::cos(theta) * r;
            point->z = 1.0f;
            point->rhw = 1.0f;
            point->size = (trace.hideSilent && b == 0) ? 0.0f : pointSize;
            point->diffuse = kTraceDiffuse;
        }
    }
}

void effectPositions(const FrameGeometry& g, fx::Vector4 (&positions)[4]) {
    const float a = g.angle;
    const float w = g.width;
    const float h = g.height;
    positions[0] = {g.cx + w / 3.0f * std::sin(2.0f * a), g.cy + h / 3.0f * std::cos(2.0f * a),
                    0.0f, 0.0f};
    positions[1] = {g.cx - w / 3.0f * std::sin(2.0f * a), g.cy - h / 3.0f * std::cos(2.0f * a),
                    0.0f, 0.0f};
    positions[2] = {g.cx - w / 2.0f * std::sin(4.0f * a), g.cy - h / 2.0f * std::cos(6.0f * a),
                    -w / 2.0f * std::sin(4.0f * a), 0.0f};
    positions[3] = {g.cx + w / 2.0f * std::sin(6.0f * a), g.cy + h / 2.0f * std::cos(4.0f * a),
                    h / 2.0f * std::cos(2.0f * a), 0.0f};
}

void buildEffectQuad(const FrameGeometry& g, EffectQuadVertex (&quad)[4]) {
    const float w = g.width;
    const float h = g.height;
    quad[0] = {0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f};
    quad[1] = {w, 0.0f, 1.0f, 1.0f, w, 0.0f};
    quad[2] = {w, h, 1.0f, 1.0f, w, h};
    quad[3] = {0.0f, h, 1.0f, 1.0f, 0.0f, h};
}

}  // namespace gs::render
