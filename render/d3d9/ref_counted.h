// The reference count every adapter of this backend carries.
//
// An adapter counts the references its callers hold, independently of the Direct3D object it
// wraps, on which it holds exactly one reference of its own for as long as it lives.
#pragma once

#include <atomic>

#include "platform/win32.h"

namespace gs::render::d3d9 {

// Derived is the adapter itself (it is deleted through its own type, since the contract's
// interfaces have no virtual destructor); Interface is the contract class it implements.
template <class Derived, class Interface>
class RefCounted : public Interface {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    ULONG AddRef() final { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG Release() final {
        const ULONG left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete static_cast<Derived*>(this);
        }
        return left;
    }

protected:
    RefCounted() = default;
    ~RefCounted() = default;

private:
    std::atomic<ULONG> count_{1};
};

}  // namespace gs::render::d3d9
