// How a visualizer lives: alone, counting its own references, or inside an aggregate, where its
// IUnknown belongs to the outer object and a small wrapper gives the outer object a non-delegating
// IUnknown of its own.
#pragma once

#include "plugin/visualizer_object.h"

namespace gs::module {

// Set first when an object is destroyed, so reference traffic during destruction (finalRelease
// releasing what points back at it) can never bring the count to zero again. What it does not
// cover: a caller's Release after the last one reaches memory already freed, and no check here
// can answer it (COM leaves that undefined). The class object, which the module caches, is the
// one object that refuses an extra release (ClassFactory::Release).
constexpr LONG kDestructionReferenceCount = -1073741823;  // 0xC0000001

class PlainVisualizer final : public plugin::VisualizerObject {
public:
    PlainVisualizer();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // The creation path of an object without an outer object.
    static HRESULT create(REFIID riid, void** object);

private:
    ~PlainVisualizer() = default;
    void destroy();
};

// The visualizer inside an AggregatedVisualizer: its IUnknown is the outer object's.
class ContainedVisualizer final : public plugin::VisualizerObject {
public:
    explicit ContainedVisualizer(IUnknown* outer);
    ~ContainedVisualizer() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
};

class AggregatedVisualizer final : public IUnknown {
public:
    explicit AggregatedVisualizer(IUnknown* outer);

    // The non-delegating IUnknown handed to the outer object.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    virtual ~AggregatedVisualizer();

    // The creation path of an object with an outer object; riid is IID_IUnknown.
    static HRESULT create(IUnknown* outer, REFIID riid, void** object);

private:
    void destroy();

    LONG referenceCount;
    ContainedVisualizer contained;
};

// The object map's creator: the plain path without an outer object, the aggregated one with it.
HRESULT createVisualizer(IUnknown* outer, REFIID riid, void** object);

}  // namespace gs::module
