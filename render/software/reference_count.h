// The callers' reference count of a device object, safe from any thread.
//
// A Release with no reference left is ignored instead of wrapping the count: a caller that
// releases once too often must not free an object that is already gone, or whose last reference
// another thread is releasing at the same time.
#pragma once

#include <atomic>

#include "platform/win32.h"

namespace gs::render::software {

class ReferenceCount {
public:
    explicit ReferenceCount(ULONG initial) : count_(initial) {}

    // The count after this reference.
    ULONG add() { return ++count_; }

    // The count after this release, and whether it was the last reference: false for a release
    // with none left, which changes nothing.
    struct Released {
        ULONG left;
        bool last;
    };
    Released release() {
        ULONG count = count_.load();
        do {
            if (count == 0) {
                return {0, false};
            }
        } while (!count_.compare_exchange_weak(count, count - 1));
        return {count - 1, count == 1};
    }

private:
    std::atomic<ULONG> count_;
};

}  // namespace gs::render::software
