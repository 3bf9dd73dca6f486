#include "platform/linux/detail/desktop.h"
#include "platform/linux/testing.h"

extern "C" void gsTestDesktopObjectCounts(GsDesktopObjectCounts* counts) {
    if (counts == nullptr) {
        return;
    }
    using namespace gs::platform::detail;
    std::lock_guard lock(desktopMutex());
    counts->windows = static_cast<UINT>(windowCountLocked());
    counts->deviceContexts = static_cast<UINT>(deviceContextCountLocked());
    counts->bitmaps = static_cast<UINT>(bitmapCountLocked());
}
