// Finding and checking resource tables: in the notes of an ELF segment, in the bytes of an ELF
// file, and entries inside a table. Every offset and length is checked against the bytes at hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/resource_table_format.h"
#include "platform/linux/types.h"

namespace gs::platform::detail {

struct ByteSpan {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

enum class NoteSearch { found, absent, damaged };

// Looks through the notes of one PT_NOTE segment (alignment 4 or 8) for the resource table.
NoteSearch findResourceNote(ByteSpan segment, std::size_t alignment, ByteSpan& descriptor);

// Looks through the program headers of an ELF file held in memory. A file that is not a
// well-formed ELF executable or shared object is damaged.
NoteSearch findResourceNoteInFile(ByteSpan file, ByteSpan& descriptor);

// A resource type or name as callers give it: an integer id, "#123", or a name compared
// case-insensitively.
struct ResourceId {
    bool isName = false;
    std::uint16_t id = 0;
    std::string upperName;

    static ResourceId from(LPCSTR text);
};

// A validated resource table.
class ResourceTable {
public:
    static std::optional<ResourceTable> parse(ByteSpan descriptor);

    // Windows' order for a neutral language: neutral, the thread's language (US English),
    // any English, then the first present. With a specific language, only that one.
    // On failure returns null with error set to the ERROR_RESOURCE_* code that Windows gives.
    const resource_table::Entry* find(const ResourceId& type, const ResourceId& name, WORD language,
                                      DWORD& error) const;

    bool holds(const void* entry) const;
    const unsigned char* dataOf(const resource_table::Entry& entry) const {
        return descriptor_.data + entry.dataOffset;
    }

private:
    explicit ResourceTable(ByteSpan descriptor, std::uint32_t entryCount)
        : descriptor_(descriptor), entryCount_(entryCount) {}

    const resource_table::Entry* entries() const;
    bool matches(std::uint32_t stored, const ResourceId& wanted) const;

    ByteSpan descriptor_;
    std::uint32_t entryCount_;
};

}  // namespace gs::platform::detail
