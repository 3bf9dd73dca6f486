// BSTR: the automation string. A BSTR points at UTF-16 characters that are preceded by a 32-bit
// count of their bytes (the terminator not included) and followed by a NUL character, so that it
// can be handed to anything that takes a plain wide string. A null BSTR means the empty string.
#pragma once

#include "platform/linux/com.h"

extern "C" {
GS_PLATFORM_API BSTR SysAllocString(const OLECHAR* text);
// With a null source the characters are left uninitialised; the terminator is always written.
GS_PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Copies `length` bytes of `bytes` (uninitialised when null); SysStringByteLen reports exactly that
// count, which may be odd.
GS_PLATFORM_API BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length);
// Replace *target by a new copy of `text`, which may point into *target itself. TRUE on success;
// on failure *target is left as it was.
GS_PLATFORM_API INT SysReAllocString(BSTR* target, const OLECHAR* text);
GS_PLATFORM_API INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
GS_PLATFORM_API UINT SysStringLen(BSTR text);
GS_PLATFORM_API UINT SysStringByteLen(BSTR text);
GS_PLATFORM_API void SysFreeString(BSTR text);
}
