// One run of the registry-script interpreter over a script.
//
// A script is a sequence of root blocks; each names a root key and holds items in braces:
//
//     HKCR
//     {
//         NoRemove CLSID
//         {
//             ForceRemove {...} = s 'Name'
//             {
//                 InprocServer32 = s '%MODULE%'
//                 {
//                     val ThreadingModel = s 'Apartment'
//                 }
//             }
//         }
//     }
//
// An item is a key name, optionally with a default value (= type value) and a block of its own,
// or "val name = type value". Prefixes: ForceRemove (delete the key's tree before registering
// it), Delete (delete it and do not register it), NoRemove (keep the key when unregistering).
// Types: s (string), m (strings separated by \0), d (32-bit number), b (hexadecimal bytes).
// Tokens are separated by whitespace; a token in single quotes may hold anything, with '' for a
// quote. %name% is replaced by a variable's value before the script is read, %% by one %.
#pragma once

#include <cstddef>

#include "platform/win32.h"

namespace gs::registrar {

class Registrar;

inline constexpr std::size_t tokenBufferSize = 4096;  // a token holds at most 4094 bytes
inline constexpr std::size_t nameBufferSize = 260;    // value names and remembered key names
inline constexpr std::size_t variableNameSize = 32;   // a variable name holds at most 31 bytes
inline constexpr std::size_t subkeyNameSize = 256;    // names enumerated while deleting a tree
// Blocks nest no deeper than the registry's own keys do, so a hostile script cannot exhaust
// the stack.
inline constexpr int maxBlockNesting = 512;

using TokenBuffer = char[tokenBufferSize];

// Deletes a key with all its subkeys; returns a Win32 error code.
LONG recurseDeleteKey(HKEY parent, LPCSTR name);

class ScriptParser {
public:
    explicit ScriptParser(Registrar& registrar) : registrar_(registrar) {}

    // Applies a whole script (register or unregister mode).
    HRESULT registerBuffer(LPCSTR script, bool registering);

    // Replaces the variables; the result comes from CoTaskMemAlloc and is the caller's to free.
    HRESULT preprocess(LPCSTR script, LPSTR* result);

    // Processes the items of one block, from the token after its "{" up to its "}".
    HRESULT registerSubkeys(TokenBuffer& token, HKEY parent, bool registering, bool recovering);

    HRESULT nextToken(TokenBuffer& token);
    void skipWhiteSpace();
    // When the token is "=", reads past the type letter and the value: the token after them
    // ends up in `token`.
    HRESULT skipAssignment(TokenBuffer& token);
    // Writes the value "= type value" that follows; `token` holds the "=". A null name writes the
    // key's default value. Leaves the token after the value in `token`.
    HRESULT addValue(HKEY key, LPCSTR valueName, TokenBuffer& token);

    // The text being read (for tests): the preprocessed script from the current position on.
    LPCSTR cursor() const { return cursor_; }
    void setCursor(LPSTR cursor) { cursor_ = cursor; }

private:
    HRESULT registerValueItem(TokenBuffer& token, HKEY parent, bool registering, bool recovering,
                              bool protect);
    HRESULT unregisterKeyItem(TokenBuffer& token, HKEY parent, bool recovering, bool protect);
    HRESULT writeValue(HKEY key, LPCSTR valueName, DWORD type, LPCSTR text);
    // Whether a "{" block comes right after the current item: the rest of its assignment (when
    // `equalsRead`, the "=" has been read already) and then a "{" token. Reads nothing.
    bool blockFollows(bool equalsRead);

    Registrar& registrar_;
    LPSTR cursor_ = nullptr;
    int nesting_ = 0;
};

}  // namespace gs::registrar
