#include "host/target_limits.h"

#include <algorithm>
#include <string>

#include "host/host_error.h"
#include "render/software/adapter.h"

namespace gs::host {

namespace software = render::software;

TargetLimits targetLimits() {
    const auto largest = static_cast<int>(software::adapterSettings().maxTextureSize);
    return {largest, largest};
}

TargetLimits displaySize() {
    const render::DisplayMode mode = software::adapterSettings().displayMode;
    return {static_cast<int>(mode.Width), static_cast<int>(mode.Height)};
}

void checkTargetSize(int width, int height) {
    const TargetLimits limits = targetLimits();
    if (width > limits.width || height > limits.height) {
        throw HostError("a " + std::to_string(width) + "x" + std::to_string(height) +
                        " picture is larger than the software adapter allows (" +
                        std::to_string(limits.width) + "x" + std::to_string(limits.height) + ")");
    }
    if (width < 2 || height < 2) {
        throw HostError("a picture needs at least 2x2 pixels");
    }
}

void prepareDisplayFor(int width, int height) {
    software::AdapterSettings settings = software::adapterSettings();
    const software::AdapterSettings defaults{};
    settings.displayMode.Width =
        std::max<UINT>(defaults.displayMode.Width, static_cast<UINT>(width));
    settings.displayMode.Height =
        std::max<UINT>(defaults.displayMode.Height, static_cast<UINT>(height));
    software::setAdapterSettings(settings);
}

}  // namespace gs::host
