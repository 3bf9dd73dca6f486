// Lays an effect out as a container (format in fx/effect_container.h). Used by the build tool and
// by tests; the module only reads containers.
#pragma once

#include <cstddef>
#include <vector>

#include "fx/effect_container.h"

namespace gs::fx {

// Serialises `effect` as it stands, without validating it, so that tests can also build
// containers that a reader must refuse. Callers that write real effects validate first.
std::vector<std::byte> writeEffectContainer(const EffectDescription& effect);

}  // namespace gs::fx
