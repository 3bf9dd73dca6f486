#include "render/software/deferred_fill.h"

#include <algorithm>
#include <new>

#include "render/software/surface_blit.h"

namespace gs::render::software {

bool DeferredFill::reserve(UINT height) {
    try {
        rows_.resize(height);
        return true;
    } catch (const std::bad_alloc&) {
        rows_.clear();
        return false;
    }
}

void DeferredFill::start(const PixelBuffer& target, Colour colour) {
    target_ = target;
    colour_ = colour;
    std::fill_n(rows_.begin(), target.height, Columns{});
}

void DeferredFill::fill(int y, int x0, int x1) const {
    if (x0 < x1) {
        fillRect(target_, RECT{x0, y, x1, y + 1}, colour_);
    }
}

void DeferredFill::cover(int y, int x0, int x1) {
    Columns& had = rows_[static_cast<std::size_t>(y)];
    if (had.begin == had.end) {
        fill(y, x0, x1);
        had = {x0, x1};
        return;
    }
    if (x0 < had.begin) {
        fill(y, x0, had.begin);
        had.begin = x0;
    }
    if (x1 > had.end) {
        fill(y, had.end, x1);
        had.end = x1;
    }
}

bool DeferredFill::claim(int y, int x0, int x1) {
    Columns& had = rows_[static_cast<std::size_t>(y)];
    if (had.begin == had.end) {
        had = {x0, x1};
        return true;
    }
    if (x1 == had.begin) {
        had.begin = x0;
        return true;
    }
    if (x0 == had.end) {
        had.end = x1;
        return true;
    }
    return false;
}

void DeferredFill::finishRows(int first, int end) {
    const int width = static_cast<int>(target_.width);
    end = std::min(end, static_cast<int>(target_.height));
    for (int y = std::max(first, 0); y < end; ++y) {
        const Columns had = rows_[static_cast<std::size_t>(y)];
        if (had.begin == had.end) {
            fill(y, 0, width);
        } else {
            fill(y, 0, had.begin);
            fill(y, had.end, width);
        }
    }
}

}  // namespace gs::render::software
