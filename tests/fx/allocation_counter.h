// Counts the allocations of the whole test program, for tests that show a path allocates nothing.
#pragma once

namespace gs::fx::testing {

long allocationCount();

}  // namespace gs::fx::testing
