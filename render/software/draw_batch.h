// Draws of a scene held back and run band by band over the back buffer.
//
// On a back buffer larger than the caches, every draw of a frame streams the whole target through
// memory: the background writes it, then the points and the effect read it back and write it
// again. Held back until something needs their pixels, the draws run a band of rows at a time
// instead, every draw over one band while its rows are still in the cache. Each pixel sees the
// same draws in the same order either way, and each draw's primitives keep theirs, so the pixels
// are the same.
//
// The batch holds what it draws with: copies of the states, constants and vertices, views of the
// textures' pixels, and device holds on the textures and the pixel shader, so that neither a later
// state change nor a release by the caller reaches a draw still waiting. What writes a surface
// that a waiting draw samples, or reads or writes the back buffer, must run the batch first (the
// device does).
//
// A point-sampled copy out of the back buffer (the frame's feedback capture) can wait with the
// draws: each band copies the rows the draws before it have just finished, while they are still in
// the cache, instead of streaming the whole back buffer through memory once more. Its destination
// takes new pixel memory first (the device swaps it in), so that draws waiting to sample the old
// picture still find it; what reads or writes that surface must run the batch first as well.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>

#include "render/device.h"
#include "render/software/deferred_fill.h"
#include "render/software/pixel_pipeline.h"
#include "render/software/primitive_assembly.h"
#include "render/software/texture_sampling.h"
#include "render/software/vertex_format.h"

namespace gs::render::software {

class DeviceChild;
class SoftwareSurface;

class DrawBatch {
public:
    static constexpr int kMaxDraws = 8;

    // Room for draws of up to `vertexBytes` bytes of vertices in all, so that holding a draw back
    // allocates nothing. False, with no room at all (every draw then runs at once), when the
    // memory cannot be had.
    bool reserve(std::size_t vertexBytes);

    bool empty() const { return count_ == 0; }
    // Whether a draw of `vertexBytes` bytes can be held back now.
    bool fits(std::size_t vertexBytes) const;

    // A draw as DrawPrimitiveUP takes it, with the states of the moment: `setup` and `samplers`
    // (what drawSetup bound), `constants`, and the vertices, all copied. `textures` and `shader`
    // (null where none) are held until the batch has run. `fill`: the back buffer's clear that
    // this draw takes over, written as it reaches the pixels (only the batch's first draw may).
    struct Draw {
        DrawSetup setup;
        std::array<SamplerSetup, kSamplerCount> samplers;
        const float (*constants)[4];
        PrimitiveType type;
        UINT primitiveCount;
        const unsigned char* vertices;
        std::size_t vertexBytes;  // as far as the last vertex reaches
        UINT stride;
        Cull cull;
        PointRule points;
        std::array<DeviceChild*, kSamplerCount> textures;
        DeviceChild* shader;
        std::optional<Colour> fill;
    };
    void add(const Draw& draw);

    // A stretchRect with point sampling from `sourceRect` of the back buffer into
    // `destinationRect` of `surface`, run after the draws held so far and before any held later.
    // The surface's texture is held until the copy has run. One at a time, after at least one
    // draw (which has taken any pending clear of the back buffer).
    struct Copy {
        RECT sourceRect;
        SoftwareSurface* surface;
        RECT destinationRect;
    };
    // The waiting copy's destination, or null.
    SoftwareSurface* copyDestination() const { return copy_ ? copy_->copy.surface : nullptr; }
    void addCopy(const Copy& copy);

    // Whether a waiting draw samples `pixels` (a texture level's first pixel).
    bool samples(const Colour* pixels) const;

    // Runs the draws and the copy over `target` in bands of `bandRows` rows, then forgets them.
    void run(PixelPipeline& pipeline, TextureSampling& sampling, DeferredFill& fill,
             const PixelBuffer& target, int bandRows);
    // Forgets the draws and the copy without running them (a lost or released device).
    void drop();

private:
    struct Held {
        Draw draw;
        float constants[kPixelShaderFloatConstants][4];
        // The textures' pixels as the draw was made: its samplers read these views, which keep
        // pointing at the old memory when a copy gives a texture new memory.
        std::array<PixelBuffer, kSamplerCount> textureViews;
        std::size_t pointRows = 0;  // where the draw's points' rows start in pointRows_
    };
    struct HeldCopy {
        Copy copy;
        PixelBuffer destination;  // the surface's pixels when the copy was held
        int after = 0;            // the number of draws that run before it in each band
    };
    // Draw `d` over band `band`, rows [first, end).
    void runDraw(int d, PixelPipeline& pipeline, TextureSampling& sampling, DeferredFill& fill,
                 int band, int first, int end) const;
    // Sorts the points of point list `d` by the band their rows begin in (stable, so that each
    // band's keep their order), for a run in bands of `bandRows` rows over `height`. False, with
    // the draw left to look at every point in every band, where a point reaches over more than
    // two bands or the bands are too many.
    bool sortPointsByBand(int d, int height, int bandRows);
    // The points of sorted point list `d` that meet band `band`, whose rows begin at `first`, in
    // the draw's order: those that begin in it and those of the band before that reach into it.
    // Returns how many it wrote to bandVisit_.
    int pointsInBand(int d, int band, int first) const;

    std::array<Held, kMaxDraws> held_{};
    int count_ = 0;
    std::optional<HeldCopy> copy_;
    std::unique_ptr<unsigned char[]> vertices_;
    std::size_t capacity_ = 0, used_ = 0;
    // Two entries per point of the waiting point lists: the rows [first, end) it may cover.
    std::unique_ptr<int[]> pointRows_;
    std::size_t pointRowsUsed_ = 0;
    // Banded runs of point lists visit in each band only the points that meet it: a frame's
    // thousands of trace points each meet one band or two of dozens. For each point list sorted
    // by band, one entry per point (from its draw's first point, as pointRows_) holds the points
    // in the order of their first band, and kMaxSortedBands + 1 entries per draw where each
    // band's begin; bandVisit_ holds one band's merged visit.
    static constexpr int kMaxSortedBands = 1024;
    std::unique_ptr<int[]> bandOrder_, bandVisit_, bandStarts_;
    std::array<bool, kMaxDraws> sortedByBand_{};
};

}  // namespace gs::render::software
