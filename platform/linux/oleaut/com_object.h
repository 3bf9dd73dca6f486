// Reference counting shared by the type library objects, and an owning interface pointer.
#pragma once

#include <atomic>
#include <utility>

#include "platform/linux/com.h"

namespace gs::platform::oleaut {

// Holds one reference to a COM object and releases it when destroyed.
template <class T>
class ComRef {
public:
    ComRef() = default;
    // Takes over a reference the caller owns.
    static ComRef adopt(T* object) {
        ComRef ref;
        ref.object_ = object;
        return ref;
    }
    // Adds a reference of its own.
    static ComRef share(T* object) {
        if (object != nullptr) {
            object->AddRef();
        }
        return adopt(object);
    }
    ComRef(const ComRef& other) : object_(other.object_) {
        if (object_ != nullptr) {
            object_->AddRef();
        }
    }
    ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~ComRef() {
        if (object_ != nullptr) {
            object_->Release();
        }
    }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    T** put() {
        *this = ComRef();
        return &object_;
    }
    // Hands the reference to the caller.
    T* detach() { return std::exchange(object_, nullptr); }

private:
    T* object_ = nullptr;
};

class ReferenceCount {
public:
    ULONG add() { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
    // Returns the count left; the object deletes itself at zero.
    ULONG remove() { return references_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace gs::platform::oleaut
