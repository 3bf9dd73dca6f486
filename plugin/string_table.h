// The module's string table: titles are resources, looked up by number whenever they are needed.
#pragma once

#include "platform/win32.h"

namespace gs::plugin {

// Resource numbers of the module's texts.
constexpr UINT kStringTitle = 101;
constexpr UINT kStringPreset0Title = 102;
constexpr UINT kStringPreset1Title = 103;
constexpr UINT kStringDescription = 105;

// A string of the table as stored: its count of UTF-16 code units followed by the code units,
// with no terminating NUL.
struct CountedString {
    WORD count;
    const WCHAR* text;
};

// Finds a non-empty string of the module's string table. False when its block or entry is missing
// or empty.
bool findStringResource(UINT number, CountedString& found);

// Frees target, then makes it a BSTR of exactly the string's counted length. True when target holds
// a string afterwards.
bool loadStringResource(UINT number, BSTR& target);

}  // namespace gs::plugin
