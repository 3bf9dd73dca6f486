// Counts every allocation a benchmark program makes through operator new, in any of its forms.
// Linking allocation_counter.cpp into a program replaces the global operators for all of it,
// shared libraries included.
#pragma once

namespace gs::bench {

// Allocations since the program started.
long long allocationCount();

}  // namespace gs::bench
