// Resets of the records that platform/linux/testing.h exposes, one per concept, so that
// gsTestReset can clear them all without knowing how each is kept.
#pragma once

namespace gs::platform::detail {

void resetClock();
void resetMessageBoxLog();
void resetPostedMessageLog();

}  // namespace gs::platform::detail
