// The binary form of a module's resource table, shared by the build-time generator
// (tools/resource_table) and the loader. It travels in one ELF note of its own section, so that
// it lands in a PT_NOTE segment: found through the program headers both in a loaded module and in
// a file that is only read. All numbers are little-endian 32-bit words.
//
//   note header     namesz = 14, descsz, type = noteType   (the ELF note header)
//   note name       "Glimmerstrand\0", padded to 4 bytes
//   descriptor      TableHeader, then entryCount Entry records, then names and data
//
// Offsets in the descriptor are from its first byte. Names are NUL-terminated, upper-case ASCII.
// Each resource's bytes start at a multiple of 4. A string table block (type 6) holds its 16
// entries as 16-bit counts of UTF-16 code units, each followed by that many units, no NULs.
#pragma once

#include <cstdint>

namespace gs::platform::resource_table {

inline constexpr char noteName[] = "Glimmerstrand";    // with its NUL: 14 bytes
inline constexpr std::uint32_t noteType = 0x31525347;  // "GSR1"
inline constexpr std::uint32_t magic = 0x54525347;     // "GSRT"
inline constexpr std::uint32_t version = 1;
inline constexpr char sectionName[] = ".note.glimmerstrand.resources";

struct TableHeader {
    std::uint32_t magic;
    std::uint32_t version;
    std::uint32_t entryCount;
    std::uint32_t reserved;  // 0
};

// An identifier is an integer id (below 0x10000), or, with nameFlag set, the offset of a name.
inline constexpr std::uint32_t nameFlag = 0x80000000u;

struct Entry {
    std::uint32_t type;
    std::uint32_t name;
    std::uint32_t language;
    std::uint32_t dataOffset;
    std::uint32_t dataSize;
};

static_assert(sizeof(TableHeader) == 16 && sizeof(Entry) == 20);

}  // namespace gs::platform::resource_table
