// Conversions between the script's ANSI text and UTF-16, in conversionCodePage().
#pragma once

#include <string>

#include "platform/win32.h"

namespace gs::registrar {

using WideString = std::basic_string<OLECHAR>;

// False when the text cannot be converted or the copy cannot be allocated.
bool toAnsi(LPCOLESTR text, std::string& ansi);
bool toWide(LPCSTR text, WideString& wide);

}  // namespace gs::registrar
