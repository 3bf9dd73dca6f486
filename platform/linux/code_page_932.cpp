#include <iconv.h>

#include <memory>
#include <mutex>
#include <utility>

#include "platform/linux/detail/cp932.h"

namespace gs::platform::detail {
namespace {

// Converts one short sequence; returns the number of output bytes, or -1 for an invalid or
// incomplete input.
int convertOne(iconv_t converter, const unsigned char* input, std::size_t inputLength,
               unsigned char* output, std::size_t outputCapacity) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(input));
    char* out = reinterpret_cast<char*>(output);
    std::size_t inLeft = inputLength;
    std::size_t outLeft = outputCapacity;
    if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0) {
        return -1;
    }
    return static_cast<int>(outputCapacity - outLeft);
}

std::unique_ptr<Cp932Tables> buildTables() {
    const iconv_t decoder = iconv_open("UTF-16LE", "CP932");
    const iconv_t encoder = iconv_open("CP932", "UTF-16LE");
    if (decoder == reinterpret_cast<iconv_t>(-1) || encoder == reinterpret_cast<iconv_t>(-1)) {
        if (decoder != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(decoder);
        }
        if (encoder != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(encoder);
        }
        return nullptr;
    }
    auto tables = std::make_unique<Cp932Tables>();
    for (auto& entry : tables->toUnicode) {
        entry = Cp932Tables::unmapped;
    }
    for (auto& entry : tables->fromUnicode) {
        entry = Cp932Tables::unmapped;
    }
    unsigned char output[8];
    for (unsigned byte = 0; byte < 256; ++byte) {
        // Windows' lead-byte ranges, whether or not iconv maps anything behind them: a lead byte
        // with an unassigned trail is one unmappable character, not two.
        tables->isLeadByte[byte] = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        if (!tables->isLeadByte[byte]) {
            const unsigned char input[1] = {static_cast<unsigned char>(byte)};
            if (convertOne(decoder, input, 1, output, sizeof output) == 2) {
                tables->toUnicode[byte] = static_cast<std::uint16_t>(output[0] | (output[1] << 8));
            }
            continue;
        }
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const unsigned char pair[2] = {static_cast<unsigned char>(byte),
                                           static_cast<unsigned char>(trail)};
            if (convertOne(decoder, pair, 2, output, sizeof output) == 2) {
                tables->toUnicode[(byte << 8) | trail] =
                    static_cast<std::uint16_t>(output[0] | (output[1] << 8));
            }
        }
    }
    // Single bytes that Windows maps and iconv leaves out: 0x80 to U+0080, and 0xA0, 0xFD to
    // 0xFF to the private-use characters U+F8F0 to U+F8F3.
    const std::pair<unsigned, std::uint16_t> windowsSingles[] = {
        {0x80, 0x0080}, {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3}};
    for (const auto& [byte, unit] : windowsSingles) {
        if (tables->toUnicode[byte] == Cp932Tables::unmapped) {
            tables->toUnicode[byte] = unit;
        }
    }
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            continue;
        }
        const unsigned char input[2] = {static_cast<unsigned char>(unit & 0xFF),
                                        static_cast<unsigned char>(unit >> 8)};
        const int length = convertOne(encoder, input, 2, output, sizeof output);
        if (length == 1) {
            tables->fromUnicode[unit] = output[0];
        } else if (length == 2) {
            tables->fromUnicode[unit] = static_cast<std::uint16_t>((output[0] << 8) | output[1]);
        }
    }
    for (const auto& [byte, unit] : windowsSingles) {
        if (tables->fromUnicode[unit] == Cp932Tables::unmapped) {
            tables->fromUnicode[unit] = static_cast<std::uint16_t>(byte);
        }
    }
    iconv_close(decoder);
    iconv_close(encoder);
    return tables;
}

}  // namespace

const Cp932Tables* cp932Tables() {
    static std::once_flag once;
    static std::unique_ptr<Cp932Tables> tables;
    std::call_once(once, [] { tables = buildTables(); });
    return tables.get();
}

}  // namespace gs::platform::detail
