#include "module/visualizer_lifetime.h"

#include <new>

#include "module/server_module.h"

namespace gs::module {

PlainVisualizer::PlainVisualizer() : VisualizerObject(nullptr) {}

HRESULT PlainVisualizer::QueryInterface(REFIID riid, void** object) {
    return internalQueryInterface(riid, object);
}

// The apartment model brings every call on the thread that made the object: plain counting.
ULONG PlainVisualizer::AddRef() {
    return static_cast<ULONG>(++referenceCount);
}

ULONG PlainVisualizer::Release() {
    const LONG count = --referenceCount;
    if (count == 0) {
        destroy();
    }
    return static_cast<ULONG>(count);
}

void PlainVisualizer::destroy() {
    referenceCount = kDestructionReferenceCount;
    finalRelease();
    serverModule.unlock();
    delete this;
}

HRESULT PlainVisualizer::create(REFIID riid, void** object) {
    auto* visualizer = new (std::nothrow) PlainVisualizer;
    if (visualizer == nullptr) {
        return E_OUTOFMEMORY;
    }
    serverModule.lock();

    // The count is held at 1 while the object finishes construction, so nothing it does can
    // release it, then lowered again without a release.
    visualizer->referenceCount = 1;
    HRESULT hr = visualizer->finalConstruct();
    visualizer->referenceCount = 0;
    if (SUCCEEDED(hr)) {
        hr = visualizer->QueryInterface(riid, object);
    }
    if (hr != S_OK) {
        visualizer->destroy();
    }
    return hr;
}

ContainedVisualizer::ContainedVisualizer(IUnknown* outer) : VisualizerObject(outer) {}

HRESULT ContainedVisualizer::QueryInterface(REFIID riid, void** object) {
    return outerUnknown->QueryInterface(riid, object);
}

ULONG ContainedVisualizer::AddRef() {
    return outerUnknown->AddRef();
}

ULONG ContainedVisualizer::Release() {
    return outerUnknown->Release();
}

AggregatedVisualizer::AggregatedVisualizer(IUnknown* outer) : referenceCount(0), contained(outer) {
    serverModule.lock();
}

AggregatedVisualizer::~AggregatedVisualizer() = default;

HRESULT AggregatedVisualizer::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualGUID(riid, IID_IUnknown)) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    return contained.internalQueryInterface(riid, object);
}

ULONG AggregatedVisualizer::AddRef() {
    return static_cast<ULONG>(++referenceCount);
}

ULONG AggregatedVisualizer::Release() {
    const LONG count = --referenceCount;
    if (count == 0) {
        destroy();
    }
    return static_cast<ULONG>(count);
}

void AggregatedVisualizer::destroy() {
    referenceCount = kDestructionReferenceCount;
    contained.finalRelease();
    serverModule.unlock();
    delete this;
}

HRESULT AggregatedVisualizer::create(IUnknown* outer, REFIID riid, void** object) {
    auto* aggregate = new (std::nothrow) AggregatedVisualizer(outer);
    if (aggregate == nullptr) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = aggregate->contained.finalConstruct();
    if (FAILED(hr)) {
        aggregate->destroy();
        return hr;
    }
    hr = aggregate->QueryInterface(riid, object);
    if (hr != S_OK) {
        aggregate->destroy();
    }
    return hr;
}

HRESULT createVisualizer(IUnknown* outer, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    return outer == nullptr ? PlainVisualizer::create(riid, object)
                            : AggregatedVisualizer::create(outer, riid, object);
}

}  // namespace gs::module
