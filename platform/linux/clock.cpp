// The millisecond clocks, Sleep, and the virtual clock that tests and hosts can put in their place.
#include <time.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>

#include "platform/linux/detail/test_state.h"
#include "platform/linux/kernel.h"
#include "platform/linux/testing.h"

namespace {

// How many of the latest virtual sleeps keep their durations. A host renders hours of frames on
// the virtual clock, one pacing Sleep each: a record of them all would grow for as long.
constexpr std::uint64_t kRecordedSleeps = 1024;

struct VirtualClock {
    std::mutex mutex;
    bool enabled = false;
    DWORD now = 0;
    std::uint64_t sleeps = 0;                        // since the last clear
    std::array<DWORD, kRecordedSleeps> durations{};  // sleep i at i % kRecordedSleeps
};

VirtualClock& virtualClock() {
    static VirtualClock clock;
    return clock;
}

DWORD monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);  // wraps every 49.7 days, as on Windows
}

DWORD currentMilliseconds() {
    VirtualClock& clock = virtualClock();
    std::lock_guard lock(clock.mutex);
    return clock.enabled ? clock.now : monotonicMilliseconds();
}

}  // namespace

namespace gs::platform::detail {

void resetClock() {
    VirtualClock& clock = virtualClock();
    std::lock_guard lock(clock.mutex);
    clock.enabled = false;
    clock.now = 0;
    clock.sleeps = 0;
}

}  // namespace gs::platform::detail

extern "C" {

void WINAPI Sleep(DWORD milliseconds) {
    VirtualClock& clock = virtualClock();
    {
        std::lock_guard lock(clock.mutex);
        if (clock.enabled) {
            clock.durations[clock.sleeps % kRecordedSleeps] = milliseconds;
            ++clock.sleeps;
            clock.now += milliseconds;
            return;
        }
    }
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    // INFINITE is one very long wait; nothing here can wake it, as on Windows.
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD WINAPI GetTickCount() {
    return currentMilliseconds();
}

DWORD WINAPI timeGetTime() {
    return currentMilliseconds();
}

void gsTestUseVirtualClock(BOOL enable, DWORD startMilliseconds) {
    VirtualClock& clock = virtualClock();
    std::lock_guard lock(clock.mutex);
    clock.enabled = enable != FALSE;
    clock.now = startMilliseconds;
}

BOOL gsTestVirtualClockEnabled() {
    VirtualClock& clock = virtualClock();
    std::lock_guard lock(clock.mutex);
    return clock.enabled ? TRUE : FALSE;
}

void gsTestAdvanceClock(DWORD milliseconds) {
    VirtualClock& clock = virtualClock();
    std::lock_guard lock(clock.mutex);
    clock.now += milliseconds;
}

UINT gsTestSleepCount() {
    VirtualClock& clock = virtualClock();
    std::lock_guard lock(clock.mutex);
    return static_cast<UINT>(
        std::min<std::uint64_t>(clock.sleeps, std::numeric_limits<UINT>::max()));
}

DWORD gsTestSleepDuration(UINT index) {
    VirtualClock& clock = virtualClock();
    std::lock_guard lock(clock.mutex);
    const bool recorded = index < clock.sleeps && clock.sleeps - index <= kRecordedSleeps;
    return recorded ? clock.durations[index % kRecordedSleeps] : 0;
}

void gsTestClearSleeps() {
    VirtualClock& clock = virtualClock();
    std::lock_guard lock(clock.mutex);
    clock.sleeps = 0;
}

}  // extern "C"
