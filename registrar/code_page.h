// The code page of every conversion between the script's ANSI text and UTF-16.
#pragma once

#include "platform/win32.h"

namespace gs::registrar {

// CP_THREAD_ACP on Windows NT 5 and later; on older systems the thread locale's default ANSI
// code page, or the system's when the locale names none.
UINT conversionCodePage();

}  // namespace gs::registrar
