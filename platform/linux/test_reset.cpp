#include "platform/linux/detail/test_state.h"
#include "platform/linux/testing.h"

extern "C" void gsTestReset() {
    gs::platform::detail::resetClock();
    gs::platform::detail::resetMessageBoxLog();
    gs::platform::detail::resetPostedMessageLog();
}
