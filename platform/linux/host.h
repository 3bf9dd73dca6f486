// The window table's side for hosts and tests: windows are created, resized and read here and
// reach the module as HWNDs (GetDC, GetClientRect, GetForegroundWindow in user.h).
#pragma once

#include "platform/linux/user.h"

extern "C" {

// A window with a black client area of that size (0 x 0 is allowed). Null with
// ERROR_INVALID_PARAMETER for negative or too large sizes.
GS_PLATFORM_API HWND gsCreateWindow(LONG clientWidth, LONG clientHeight);
// Keeps the pixels of the area both sizes share; new pixels are black. DCs already handed out
// draw into the resized client area.
GS_PLATFORM_API BOOL gsResizeWindow(HWND window, LONG clientWidth, LONG clientHeight);
// Its DCs stay valid handles but draw nothing until released; it stops being the foreground.
GS_PLATFORM_API BOOL gsDestroyWindow(HWND window);
// Copies the client area, top row first, as 0x00RRGGBB values into rows pitchBytes apart.
GS_PLATFORM_API BOOL gsReadWindowPixels(HWND window, DWORD* pixels, LONG pitchBytes);
// Makes the window the foreground window (null: none).
GS_PLATFORM_API BOOL gsSetForegroundWindow(HWND window);

}  // extern "C"
