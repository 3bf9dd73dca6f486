#include "render/d3d9/adapter_link.h"

namespace gs::render::d3d9 {
namespace {

// {2D472E84-50B9-492C-9324-543631C78EDC}: private data holding the address of an adapter.
constexpr GUID kAdapterLink = {
    0x2d472e84, 0x50b9, 0x492c, {0x93, 0x24, 0x54, 0x36, 0x31, 0xc7, 0x8e, 0xdc}};

}  // namespace

void* linkedAdapter(IDirect3DResource9* resource) {
    void* adapter = nullptr;
    DWORD size = sizeof(adapter);
    if (FAILED(resource->GetPrivateData(kAdapterLink, &adapter, &size)) ||
        size != sizeof(adapter)) {
        return nullptr;
    }
    return adapter;
}

bool linkAdapter(IDirect3DResource9* resource, void* adapter) {
    return SUCCEEDED(resource->SetPrivateData(kAdapterLink, &adapter, sizeof(adapter), 0));
}

void unlinkAdapter(IDirect3DResource9* resource, void* adapter) {
    if (linkedAdapter(resource) == adapter) {
        resource->FreePrivateData(kAdapterLink);
    }
}

}  // namespace gs::render::d3d9
