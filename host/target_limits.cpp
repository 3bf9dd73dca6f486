#include "host/target_limits.h"

#include <string>

#include "host/host_error.h"

namespace gs::host {

TargetLimits targetLimits() {
    // The software adapter's default display mode.
    return {1920, 1080};
}

void checkTargetSize(int width, int height) {
    const TargetLimits limits = targetLimits();
    if (width > limits.width || height > limits.height) {
        throw HostError("a " + std::to_string(width) + "x" + std::to_string(height) +
                        " picture is larger than the software adapter's display (" +
                        std::to_string(limits.width) + "x" + std::to_string(limits.height) + ")");
    }
    if (width < 2 || height < 2) {
        throw HostError("a picture needs at least 2x2 pixels");
    }
}

}  // namespace gs::host
