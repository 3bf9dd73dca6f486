// Lifetime of an object made by a device: texture, back buffer, pixel shader.
//
// Callers' references (AddRef / Release) and the device's own holds (a texture bound to a sampler,
// the pixel shader in use, the back buffer) are counted apart, as in Direct3D 9. While callers
// hold an object it holds its device, so a device outlives everything callers still have; the
// device's holds do not hold the device, so releasing a device that still has a texture bound
// frees both instead of keeping each other alive.
#pragma once

#include <atomic>

#include "platform/win32.h"
#include "render/software/reference_count.h"

namespace gs::render::software {

class SoftwareDevice;

class DeviceChild {
public:
    DeviceChild(const DeviceChild&) = delete;
    DeviceChild& operator=(const DeviceChild&) = delete;

    ULONG addPublicRef();
    ULONG releasePublicRef();
    void addDeviceHold();
    void releaseDeviceHold();

    SoftwareDevice& device() const { return *device_; }

protected:
    // A newly made object starts with one caller reference (`heldByCaller`) or with one device
    // hold (the back buffer).
    DeviceChild(SoftwareDevice& device, bool heldByCaller);
    virtual ~DeviceChild() = default;

private:
    void dropAnchor();

    SoftwareDevice* device_;
    ReferenceCount publicRefs_;
    // Device holds, plus one while callers hold a reference. The object is deleted when it
    // reaches 0.
    std::atomic<ULONG> anchors_;
};

}  // namespace gs::render::software
