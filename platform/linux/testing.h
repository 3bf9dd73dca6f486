// Hooks for tests and hosts, never for the module: a virtual clock, the records of message boxes
// and posted messages, and a reset of all of them. The module needs no flag of its own; what it
// sees through timeGetTime, Sleep, MessageBoxA and PostMessageA is steered from here.
#pragma once

#include "platform/linux/types.h"

// A message box that MessageBoxA showed. The texts are the caller's bytes (code page 932 for the
// module's messages), NUL-terminated; they stay valid until the log is cleared or drops the box.
struct GsMessageBoxRecord {
    HWND owner;
    UINT style;
    const char* caption;
    const char* text;
};

// A message that PostMessageA accepted, to HWND_BROADCAST or to a window of the window table.
struct GsPostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Windows, device contexts and bitmaps that exist now (the stock bitmap is not counted): a test
// compares them before and after the code under test to find a handle nobody gave back.
struct GsDesktopObjectCounts {
    UINT windows;
    UINT deviceContexts;
    UINT bitmaps;
};

extern "C" {

// While the virtual clock is on, timeGetTime and GetTickCount return its time, and Sleep adds its
// duration to it at once instead of waiting. Switching it on sets the time to start.
GS_PLATFORM_API void gsTestUseVirtualClock(BOOL enable, DWORD startMilliseconds);
GS_PLATFORM_API BOOL gsTestVirtualClockEnabled();
GS_PLATFORM_API void gsTestAdvanceClock(DWORD milliseconds);
// Each Sleep made while the virtual clock is on is counted, and the latest 1024 keep their
// durations (an earlier index gives 0), so that a clock run for hours holds no growing record.
GS_PLATFORM_API UINT gsTestSleepCount();
GS_PLATFORM_API DWORD gsTestSleepDuration(UINT index);
GS_PLATFORM_API void gsTestClearSleeps();

// Every message box is counted; the log keeps the latest 64 (gsTestMessageBox is FALSE for an
// earlier index), so that a module that fails on every frame of a long run holds no growing log.
GS_PLATFORM_API UINT gsTestMessageBoxCount();
GS_PLATFORM_API BOOL gsTestMessageBox(UINT index, GsMessageBoxRecord* record);
GS_PLATFORM_API void gsTestClearMessageBoxes();
// Off by default: MessageBoxA writes "caption: text" to standard error.
GS_PLATFORM_API void gsTestSilenceMessageBoxes(BOOL silence);

GS_PLATFORM_API UINT gsTestPostedMessageCount();
GS_PLATFORM_API BOOL gsTestPostedMessage(UINT index, GsPostedMessage* message);
GS_PLATFORM_API void gsTestClearPostedMessages();

GS_PLATFORM_API void gsTestDesktopObjectCounts(GsDesktopObjectCounts* counts);

// Bytes in the regions VirtualAlloc has given and VirtualFree not yet released (whole pages): a
// benchmark adds them to the C heap's to tell what a device takes.
GS_PLATFORM_API SIZE_T gsTestVirtualBytes();

// Turns the virtual clock off and clears every record above.
GS_PLATFORM_API void gsTestReset();

}  // extern "C"
