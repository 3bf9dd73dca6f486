// Finds the adapter that already wraps a Direct3D resource.
//
// The device hands resources back (GetRenderTarget, GetTexture, GetSurfaceLevel) as raw Direct3D
// objects. To give the caller the adapter it already holds, and so keep AddRef and Release
// balanced on one count, each adapter records a pointer to itself in its resource's private data.
// The record is a plain pointer copied into the resource, not an interface the resource would
// reference: the adapter owns the resource, never the other way round, so there is no cycle, and
// the adapter erases the record before it lets go of the resource.
#pragma once

#include <d3d9.h>

namespace gs::render::d3d9 {

// The adapter recorded on `resource`, or null when none is alive.
void* linkedAdapter(IDirect3DResource9* resource);

// Records `adapter` on `resource`. Returns false when Direct3D refused the record; the adapter
// then works as before, only a later lookup will not find it.
bool linkAdapter(IDirect3DResource9* resource, void* adapter);

// Erases the record, provided it still names `adapter`.
void unlinkAdapter(IDirect3DResource9* resource, void* adapter);

// The adapter for a resource that a Direct3D call has just handed out with one reference: the
// live adapter, given one more reference (the resource's extra reference is dropped), or a new
// adapter that takes over that reference. Null, with the reference dropped, when memory runs out.
template <class Adapter, class Resource>
Adapter* adoptResource(Resource* resource) {
    if (void* existing = linkedAdapter(resource)) {
        auto* adapter = static_cast<Adapter*>(existing);
        adapter->AddRef();
        resource->Release();
        return adapter;
    }
    auto* adapter = Adapter::create(resource);
    if (adapter == nullptr) {
        resource->Release();
        return nullptr;
    }
    linkAdapter(resource, adapter);
    return adapter;
}

}  // namespace gs::render::d3d9
