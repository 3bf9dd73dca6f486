// Windows as the module sees them: the platform's window table (created by hosts and tests
// through platform/linux/host.h), their device contexts, message boxes and posted messages.
#pragma once

#include "platform/linux/gdi.h"

#define HWND_BROADCAST (reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0xFFFF)))

#define WM_NULL 0x0000u
#define WM_CLOSE 0x0010u
#define WM_USER 0x0400u
#define WM_APP 0x8000u

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_CANCELTRYCONTINUE 0x00000006u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u
#define MB_SETFOREGROUND 0x00010000u
#define MB_TOPMOST 0x00040000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDTRYAGAIN 10

extern "C" {

GS_PLATFORM_API BOOL WINAPI IsWindow(HWND window);
GS_PLATFORM_API BOOL WINAPI GetClientRect(HWND window, LPRECT rect);
// A DC over the window's client pixels; null for a null or unknown window (there is no screen).
GS_PLATFORM_API HDC WINAPI GetDC(HWND window);
GS_PLATFORM_API int WINAPI ReleaseDC(HWND window, HDC dc);
// Null until a host sets one (gsSetForegroundWindow).
GS_PLATFORM_API HWND WINAPI GetForegroundWindow();

// No dialog is shown: "caption: text" goes to standard error, both converted from code page 932
// (the module's messages are CP932 bytes) to UTF-8, and the box is recorded for tests
// (platform/linux/testing.h). Returns the first button of the style: IDOK for MB_OK.
GS_PLATFORM_API int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Ids from 0xC000 up; the same name, compared case-insensitively, gives the same id.
GS_PLATFORM_API UINT WINAPI RegisterWindowMessageA(LPCSTR name);
// Messages to HWND_BROADCAST, to the calling thread (null) and to windows of the table are
// recorded (testing.h); an unknown window fails with ERROR_INVALID_WINDOW_HANDLE.
GS_PLATFORM_API BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // extern "C"
