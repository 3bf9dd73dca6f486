// Numbers as automation reads and writes them in text, with the neutral locale's conventions
// ("." before decimals, "," between thousands).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/types.h"

namespace gs::platform::oleaut {

// An integer read from text, as sign and magnitude so that the full range of both 64-bit types
// fits. `bitPattern` marks &H and &O numbers, which signed targets take as a bit pattern of their
// width ("&HFFFFFFFF" is -1 as a 32-bit integer).
struct ParsedInteger {
    bool negative = false;
    std::uint64_t magnitude = 0;
    bool bitPattern = false;
};

// S_OK, DISP_E_TYPEMISMATCH (not a number) or DISP_E_OVERFLOW (a number beyond 64 bits).
// Decimals are rounded half to even.
HRESULT parseInteger(const OLECHAR* text, ParsedInteger& out);

// Range-checks a parsed number against an integer type of `bits` width; DISP_E_OVERFLOW if it
// does not fit.
HRESULT narrowSigned(const ParsedInteger& number, int bits, std::int64_t& out);
HRESULT narrowUnsigned(const ParsedInteger& number, int bits, std::uint64_t& out);

std::u16string formatSigned(std::int64_t value);
std::u16string formatUnsigned(std::uint64_t value);

// Case-insensitive comparison of ASCII letters; other characters must match exactly.
bool equalsIgnoringAsciiCase(const OLECHAR* a, std::size_t aLength, const char* b);

}  // namespace gs::platform::oleaut
