#include "render/software/device_child.h"

#include "render/software/software_device.h"

namespace gs::render::software {

DeviceChild::DeviceChild(SoftwareDevice& device, bool heldByCaller)
    : device_(&device), publicRefs_(heldByCaller ? 1 : 0), anchors_(1) {
    if (heldByCaller) {
        device_->AddRef();
    }
}

ULONG DeviceChild::addPublicRef() {
    const ULONG refs = publicRefs_.add();
    if (refs == 1) {
        ++anchors_;
        device_->AddRef();
    }
    return refs;
}

ULONG DeviceChild::releasePublicRef() {
    const ReferenceCount::Released released = publicRefs_.release();
    if (released.last) {
        // Releasing the device may free this object (through the device's holds), so nothing of
        // it is touched afterwards.
        SoftwareDevice* device = device_;
        dropAnchor();
        device->Release();
    }
    return released.left;
}

void DeviceChild::addDeviceHold() {
    ++anchors_;
}

void DeviceChild::releaseDeviceHold() {
    dropAnchor();
}

void DeviceChild::dropAnchor() {
    if (--anchors_ == 0) {
        delete this;
    }
}

}  // namespace gs::render::software
