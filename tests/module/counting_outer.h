// A controlling object that aggregates the visualizer by the rules of COM aggregation: it holds
// the inner object's non-delegating IUnknown, answers IUnknown itself, hands every other request
// to the inner object, and counts every reference taken on it. Interfaces the inner object hands
// out count into this object, so `references` shows what the inner object forwarded.
#pragma once

#include "platform/win32.h"

namespace gs::module::test {

class CountingOuter final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        ++queries;
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualGUID(riid, IID_IUnknown)) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner == nullptr) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        return inner->QueryInterface(riid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    // The test owns the object; its last reference only lets the inner object go.
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG count = --references;
        if (count == 0) {
            releaseInner();
        }
        return static_cast<ULONG>(count);
    }

    // Gives up the inner object; the return is the inner object's remaining count.
    ULONG releaseInner() {
        IUnknown* held = inner;
        inner = nullptr;
        return held != nullptr ? held->Release() : 0;
    }

    IUnknown* inner = nullptr;  // the non-delegating IUnknown of the aggregated object
    LONG references = 1;        // the test's own
    int queries = 0;
};

}  // namespace gs::module::test
