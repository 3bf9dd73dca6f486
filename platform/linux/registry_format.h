// The store file's text form.
//
// The file is a sequence of lines ending in LF. The first line is exactly
//
//     Glimmerstrand registry 1
//
// after which blank lines and lines starting with '#' are ignored, and every other line is a key
// line or a value line. A key line names a key by its full path and makes it (and every key above
// it) exist; the value lines after it belong to it:
//
//     [HKEY_CLASSES_ROOT\CLSID\{3CAE2904-060B-43DC-A5D9-C6ABB918707B}]
//     @=sz:"Glimmerstrand Class"
//     "ThreadingModel"=sz:"Apartment"
//
// The path starts with a root's long name (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG; the short forms HKCR, HKLM, ... are read
// too) and separates key names with '\'. In key names, '%' and the bytes below 0x20 and 0x7F are
// written as '%' and two hexadecimal digits.
//
// A value line is NAME=TYPE:DATA. NAME is '@' for the key's default value or a quoted string.
// Quoted strings escape '"' and '\' with a backslash and the bytes below 0x20 and 0x7F as \xHH;
// every other byte stands for itself (names written through the W calls are UTF-8). TYPE and DATA:
//
//     sz:"text"              REG_SZ, the text and one NUL
//     expand_sz:"text"       REG_EXPAND_SZ, likewise
//     multi_sz:"a","b"       REG_MULTI_SZ, each string and its NUL, then one more NUL
//     dword:0000002a         REG_DWORD, eight hexadecimal digits
//     qword:000000000000002a REG_QWORD, sixteen hexadecimal digits
//     binary:0a0bff          REG_BINARY, two hexadecimal digits a byte (none for an empty value)
//     hex(N):0a0bff          any type N (decimal) with exactly these bytes
//
// A writer uses the readable forms only where they reproduce the data exactly (for example, an
// sz form only for text with a single NUL at its end) and hex(N) otherwise, so every value
// survives a round trip byte for byte. Subkeys are written in the order they enumerate, values in
// the order they were first set.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/linux/registry_tree.h"

namespace gs::platform::registry {

struct FormatError {
    std::size_t line = 0;  // 1-based
    std::string message;
};

// Parses a store file into `tree`, which is left empty when the text is malformed.
bool parseStore(std::string_view text, Tree& tree, FormatError& error);

std::string formatStore(const Tree& tree);

}  // namespace gs::platform::registry
