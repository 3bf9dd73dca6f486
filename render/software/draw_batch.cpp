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
    if (!vertices_ || !pointRows_) {
        vertices_.reset();
        pointRows_.reset();
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

void DrawBatch::runDraw(const Held& held, PixelPipeline& pipeline, TextureSampling& sampling,
                        DeferredFill& fill, int first, int end) const {
    const Draw& draw = held.draw;
    for (DWORD s = 0; s < kSamplerCount; ++s) {
        sampling.bind(s, draw.samplers[s]);
    }
    DrawSetup setup = draw.setup;
    setup.constants = draw.constants;
    pipeline.beginDraw(setup, draw.fill ? &fill : nullptr);
    pipeline.limitRows(first, end);
    if (draw.type == PrimitiveType::PointList) {
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
    const auto runCopy = [&](int first, int end) {
        stretchPointFromRows(target, copy_->copy.sourceRect, copy_->destination,
                             copy_->copy.destinationRect, first, end);
    };
    for (int first = 0; first < height; first += bandRows) {
        const int end = std::min(height, first + bandRows);
        for (int d = 0; d < count_; ++d) {
            if (copy_ && copy_->after == d) {
                runCopy(first, end);
            }
            runDraw(held_[static_cast<std::size_t>(d)], pipeline, sampling, fill, first, end);
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
