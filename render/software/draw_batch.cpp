#include "render/software/draw_batch.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "render/software/device_child.h"
#include "render/software/software_surface.h"
#include "render/software/surface_blit.h"

namespace gs::render::software {
namespace {

// The smallest vertex: a pre-transformed position alone.
constexpr std::size_t kSmallestVertex = 16;

}  // namespace

bool DrawBatch::reserve(std::size_t vertexBytes) {
    const std::size_t points = vertexBytes / kSmallestVertex;
    vertices_.reset(new (std::nothrow) unsigned char[vertexBytes]);
    pointRows_.reset(new (std::nothrow) int[2 * points]);
    bandOrder_.reset(new (std::nothrow) int[points]);
    bandVisit_.reset(new (std::nothrow) int[points]);
    bandStarts_.reset(new (std::nothrow) int[kMaxDraws * std::size_t{kMaxSortedBands + 1}]);
    if (!vertices_ || !pointRows_ || !bandOrder_ || !bandVisit_ || !bandStarts_) {
        vertices_.reset();
        pointRows_.reset();
        bandOrder_.reset();
        bandVisit_.reset();
        bandStarts_.reset();
        return false;
    }
    capacity_ = vertexBytes;
    return true;
}

bool DrawBatch::fits(std::size_t vertexBytes) const {
    return count_ < kMaxDraws && vertexBytes <= capacity_ - used_;
}

void DrawBatch::add(const Draw& draw) {
    Held& held = held_[static_cast<std::size_t>(count_++)];
    held.draw = draw;
    std::memcpy(held.constants, draw.constants, sizeof held.constants);
    held.draw.constants = held.constants;
    unsigned char* copy = vertices_.get() + used_;
    std::memcpy(copy, draw.vertices, draw.vertexBytes);
    used_ += draw.vertexBytes;
    held.draw.vertices = copy;
    for (std::size_t s = 0; s < kSamplerCount; ++s) {
        SamplerSetup& sampler = held.draw.samplers[s];
        if (sampler.texture != nullptr) {
            held.textureViews[s] = *sampler.texture;
            sampler.texture = &held.textureViews[s];
        }
    }
    for (DeviceChild* texture : draw.textures) {
        if (texture != nullptr) {
            texture->addDeviceHold();
        }
    }
    if (draw.shader != nullptr) {
        draw.shader->addDeviceHold();
    }
    if (draw.type == PrimitiveType::PointList) {
        // A point takes kSmallestVertex bytes or more (stride >= the layout's size): the rows
        // fit whenever the vertices did.
        held.pointRows = pointRowsUsed_;
        pointRows(draw.primitiveCount, copy, draw.stride, draw.setup.layout, draw.points,
                  pointRows_.get() + pointRowsUsed_);
        pointRowsUsed_ += 2 * std::size_t{draw.primitiveCount};
    }
}

void DrawBatch::addCopy(const Copy& copy) {
    copy_ = HeldCopy{copy, copy.surface->pixels(), count_};
    copy.surface->owner().addDeviceHold();
}

bool DrawBatch::samples(const Colour* pixels) const {
    for (int d = 0; d < count_; ++d) {
        for (const SamplerSetup& sampler : held_[static_cast<std::size_t>(d)].draw.samplers) {
            if (sampler.texture != nullptr && sampler.texture->pixels == pixels) {
                return true;
            }
        }
    }
    return false;
}

bool DrawBatch::sortPointsByBand(int d, int height, int bandRows) {
    const Held& held = held_[static_cast<std::size_t>(d)];
    const int bands = (height + bandRows - 1) / bandRows;
    if (bands > kMaxSortedBands) {
        return false;
    }
    const int* rows = pointRows_.get() + held.pointRows;
    int* order = bandOrder_.get() + held.pointRows / 2;
    int* starts = bandStarts_.get() + static_cast<std::size_t>(d) * (kMaxSortedBands + 1);
    const int count = static_cast<int>(held.draw.primitiveCount);
    // The band a point's rows begin in, or -1 where they miss the target.
    const auto firstBand = [&](int i) {
        const int first = rows[2 * i], end = rows[2 * i + 1];
        return end <= 0 || first >= height || end <= first ? -1 : std::max(first, 0) / bandRows;
    };
    // A counting sort: the points per band, where each band's begin, then the points in place.
    std::fill(starts, starts + bands + 1, 0);
    for (int i = 0; i < count; ++i) {
        const int band = firstBand(i);
        if (band < 0) {
            continue;
        }
        if ((std::min(rows[2 * i + 1], height) - 1) / bandRows > band + 1) {
            return false;
        }
        ++starts[band + 1];
    }
    for (int b = 1; b <= bands; ++b) {
        starts[b] += starts[b - 1];
    }
    for (int i = 0; i < count; ++i) {
        if (const int band = firstBand(i); band >= 0) {
            order[starts[band]++] = i;
        }
    }
    // Each band's entry was moved on to where the next band begins.
    for (int b = bands; b > 0; --b) {
        starts[b] = starts[b - 1];
    }
    starts[0] = 0;
    return true;
}

int DrawBatch::pointsInBand(int d, int band, int first) const {
    const Held& held = held_[static_cast<std::size_t>(d)];
    const int* rows = pointRows_.get() + held.pointRows;
    const int* order = bandOrder_.get() + held.pointRows / 2;
    const int* starts = bandStarts_.get() + static_cast<std::size_t>(d) * (kMaxSortedBands + 1);
    // Both runs are in the draw's order: merged, they keep it.
    int before = band > 0 ? starts[band - 1] : starts[band];
    const int beforeEnd = starts[band];
    int here = starts[band];
    const int hereEnd = starts[band + 1];
    int* visit = bandVisit_.get();
    int n = 0;
    while (before < beforeEnd || here < hereEnd) {
        if (here == hereEnd || (before < beforeEnd && order[before] < order[here])) {
            const int i = order[before++];
            if (rows[2 * i + 1] > first) {
                visit[n++] = i;
            }
        } else {
            visit[n++] = order[here++];
        }
    }
    return n;
}

void DrawBatch::runDraw(int d, PixelPipeline& pipeline, TextureSampling& sampling,
                        DeferredFill& fill, int band, int first, int end) const {
    const Held& held = held_[static_cast<std::size_t>(d)];
    const Draw& draw = held.draw;
    for (DWORD s = 0; s < kSamplerCount; ++s) {
        sampling.bind(s, draw.samplers[s]);
    }
    DrawSetup setup = draw.setup;
    setup.constants = draw.constants;
    pipeline.beginDraw(setup, draw.fill ? &fill : nullptr);
    pipeline.limitRows(first, end);
    if (draw.type == PrimitiveType::PointList && sortedByBand_[static_cast<std::size_t>(d)]) {
        const int n = pointsInBand(d, band, first);
        assemblePointsAt(bandVisit_.get(), n, draw.vertices, draw.stride, setup.layout, draw.points,
                         pipeline);
    } else if (draw.type == PrimitiveType::PointList) {
        assemblePointsInRows(draw.primitiveCount, draw.vertices, draw.stride, setup.layout,
                             draw.points, pointRows_.get() + held.pointRows, first, end, pipeline);
    } else {
        assemblePrimitives(draw.type, draw.primitiveCount, draw.vertices, draw.stride, setup.layout,
                           draw.cull, draw.points, pipeline);
    }
    if (draw.fill) {
        fill.finishRows(first, end);
    }
}

void DrawBatch::run(PixelPipeline& pipeline, TextureSampling& sampling, DeferredFill& fill,
                    const PixelBuffer& target, int bandRows) {
    if (count_ > 0 && held_[0].draw.fill) {
        fill.start(target, *held_[0].draw.fill);
    }
    const int height = static_cast<int>(target.height);
    bandRows = std::max(bandRows, 1);
    for (int d = 0; d < count_; ++d) {
        sortedByBand_[static_cast<std::size_t>(d)] =
            held_[static_cast<std::size_t>(d)].draw.type == PrimitiveType::PointList &&
            sortPointsByBand(d, height, bandRows);
    }
    const auto runCopy = [&](int first, int end) {
        stretchPointFromRows(target, copy_->copy.sourceRect, copy_->destination,
                             copy_->copy.destinationRect, first, end);
    };
    for (int band = 0, first = 0; first < height; ++band, first += bandRows) {
        const int end = std::min(height, first + bandRows);
        for (int d = 0; d < count_; ++d) {
            if (copy_ && copy_->after == d) {
                runCopy(first, end);
            }
            runDraw(d, pipeline, sampling, fill, band, first, end);
        }
        if (copy_ && copy_->after == count_) {
            runCopy(first, end);
        }
    }
    drop();
}

void DrawBatch::drop() {
    for (int d = 0; d < count_; ++d) {
        Draw& draw = held_[static_cast<std::size_t>(d)].draw;
        for (DeviceChild* texture : draw.textures) {
            if (texture != nullptr) {
                texture->releaseDeviceHold();
            }
        }
        if (draw.shader != nullptr) {
            draw.shader->releaseDeviceHold();
        }
    }
    if (copy_) {
        copy_->copy.surface->owner().releaseDeviceHold();
        copy_.reset();
    }
    count_ = 0;
    used_ = 0;
    pointRowsUsed_ = 0;
}

}  // namespace gs::render::software
