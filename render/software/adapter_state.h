// The adapter's process-wide state as the device's own objects see it.
#pragma once

#include <cstdint>

#include "render/software/adapter.h"

namespace gs::render::software {

enum class ObjectKind { Direct3D, Device, Texture, Surface, Shader };

// Keeps liveObjects() current: +1 from each constructor, -1 from each destructor.
void countObject(ObjectKind kind, int delta);

// True when a fault is injected at `fault`; consumes one of its calls and gives its result.
bool takeFault(Fault fault, HRESULT* result);

// Grows by one with every loseDevices(). A device is lost once the epoch has moved past the one it
// was created in.
std::uint64_t lossEpoch();

}  // namespace gs::render::software
