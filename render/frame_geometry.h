// The vertex data of a frame, computed from the target size, the hue and the levels: the
// background quad with its wobble, the 4096 trace points, and the effect's sources and quad.
#pragma once

#include "fx/effect.h"
#include "plugin/player_interfaces.h"
#include "render/vertices.h"

namespace gs::render {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr int kTracePointCount = 4 * plugin::kSpectrumSize;

// Per-frame values derived from the target size and the hue.
struct FrameGeometry {
    float width;   // W
    float height;  // H
    float cx;      // centre of the target
    float cy;
    UINT minDim;  // the shorter side
    float angle;  // the hue before this frame's step, in radians
};

FrameGeometry makeFrameGeometry(UINT targetWidth, UINT targetHeight, float hue);

// The previous frame drawn back at 178/255, each corner sampling a little inside the texture's
// edge, so the picture grows slightly and wobbles as the hue turns.
void buildBackgroundQuad(const FrameGeometry& g, BackgroundVertex (&quad)[4]);

// Four traces of 1024 points, each a half-circle around the centre: the spectrum of channel 0 and
// of the second channel (points only where the byte is non-zero), then their waveforms; the second
// channel's traces run half a turn on. hue is the value after this frame's step.
void buildTracePoints(const FrameGeometry& g, const plugin::TimedLevel& levels, int secondChannel,
                      float hue, TracePointVertex (&points)[kTracePointCount]);

// The effect's four sources: two opposite each other on an ellipse, two on Lissajous paths with a
// height above the picture.
void effectPositions(const FrameGeometry& g, fx::Vector4 (&positions)[4]);

// The whole target, each vertex carrying its own position as texture coordinates.
void buildEffectQuad(const FrameGeometry& g, EffectQuadVertex (&quad)[4]);

}  // namespace gs::render
