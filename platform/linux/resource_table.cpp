#include <cstdlib>
#include <cstring>

#include "platform/linux/detail/resource_lookup.h"
#include "platform/linux/kernel.h"

namespace gs::platform::detail {

using resource_table::Entry;
using resource_table::nameFlag;
using resource_table::TableHeader;

namespace {

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A stored name: its offset must lie in the table and the name must end before the table does.
bool validName(ByteSpan descriptor, std::uint32_t offset) {
    return offset < descriptor.size &&
           std::memchr(descriptor.data + offset, 0, descriptor.size - offset) != nullptr;
}

bool validIdentifier(ByteSpan descriptor, std::uint32_t identifier) {
    return (identifier & nameFlag) ? validName(descriptor, identifier & ~nameFlag)
                                   : identifier < 0x10000;
}

}  // namespace

ResourceId ResourceId::from(LPCSTR text) {
    ResourceId result;
    if (IS_INTRESOURCE(text)) {
        result.id = static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(text));
        return result;
    }
    if (text[0] == '#' && text[1] != 0) {
        char* end = nullptr;
        const unsigned long number = std::strtoul(text + 1, &end, 10);
        if (*end == 0 && text[1] >= '0' && text[1] <= '9' && number < 0x10000) {
            result.id = static_cast<std::uint16_t>(number);
            return result;
        }
    }
    result.isName = true;
    for (const char* p = text; *p != 0; ++p) {
        result.upperName.push_back(upperAscii(*p));
    }
    return result;
}

std::optional<ResourceTable> ResourceTable::parse(ByteSpan descriptor) {
    TableHeader header;
    if (descriptor.size < sizeof header) {
        return std::nullopt;
    }
    std::memcpy(&header, descriptor.data, sizeof header);
    if (header.magic != resource_table::magic || header.version != resource_table::version ||
        header.entryCount > (descriptor.size - sizeof header) / sizeof(Entry)) {
        return std::nullopt;
    }
    // Entries are read in place, so they must be aligned as the structure is.
    if (reinterpret_cast<std::uintptr_t>(descriptor.data) % alignof(Entry) != 0) {
        return std::nullopt;
    }
    const auto* entries = reinterpret_cast<const Entry*>(descriptor.data + sizeof header);
    for (std::uint32_t i = 0; i < header.entryCount; ++i) {
        const Entry& entry = entries[i];
        if (!validIdentifier(descriptor, entry.type) || !validIdentifier(descriptor, entry.name) ||
            entry.language > 0xFFFF || entry.dataOffset > descriptor.size ||
            entry.dataSize > descriptor.size - entry.dataOffset) {
            return std::nullopt;
        }
    }
    return ResourceTable(descriptor, header.entryCount);
}

const Entry* ResourceTable::entries() const {
    return reinterpret_cast<const Entry*>(descriptor_.data + sizeof(TableHeader));
}

bool ResourceTable::holds(const void* entry) const {
    const auto address = reinterpret_cast<std::uintptr_t>(entry);
    const auto first = reinterpret_cast<std::uintptr_t>(entries());
    return address >= first && address < first + entryCount_ * sizeof(Entry) &&
           (address - first) % sizeof(Entry) == 0;
}

bool ResourceTable::matches(std::uint32_t stored, const ResourceId& wanted) const {
    if (!wanted.isName) {
        return stored == wanted.id;
    }
    if (!(stored & nameFlag)) {
        return false;
    }
    const auto* name = reinterpret_cast<const char*>(descriptor_.data + (stored & ~nameFlag));
    return wanted.upperName == name;
}

const Entry* ResourceTable::find(const ResourceId& type, const ResourceId& name, WORD language,
                                 DWORD& error) const {
    const Entry* candidates[5] = {};  // neutral, US English, any English, first, exact
    bool typeSeen = false;
    bool nameSeen = false;
    for (std::uint32_t i = 0; i < entryCount_; ++i) {
        const Entry& entry = entries()[i];
        if (!matches(entry.type, type)) {
            continue;
        }
        typeSeen = true;
        if (!matches(entry.name, name)) {
            continue;
        }
        nameSeen = true;
        const auto stored = static_cast<WORD>(entry.language);
        auto remember = [&](int slot) {
            if (candidates[slot] == nullptr) {
                candidates[slot] = &entry;
            }
        };
        if (language != LANG_NEUTRAL) {
            if (stored == language) {
                remember(4);
            }
            continue;
        }
        if (stored == LANG_NEUTRAL) {
            remember(0);
        }
        if (stored == MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) {
            remember(1);
        }
        if (PRIMARYLANGID(stored) == LANG_ENGLISH) {
            remember(2);
        }
        remember(3);
    }
    for (const Entry* candidate : candidates) {
        if (candidate != nullptr) {
            return candidate;
        }
    }
    error = !typeSeen   ? ERROR_RESOURCE_TYPE_NOT_FOUND
            : !nameSeen ? ERROR_RESOURCE_NAME_NOT_FOUND
                        : ERROR_RESOURCE_LANG_NOT_FOUND;
    return nullptr;
}

}  // namespace gs::platform::detail
