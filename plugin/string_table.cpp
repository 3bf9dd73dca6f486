#include "plugin/string_table.h"

#include <cstring>

#include "module/module_instance.h"

namespace gs::plugin {

namespace {

constexpr UINT kEntriesPerBlock = 16;

// Steps through one block of counted strings to the entry of `number`. Every step is checked
// against the end of the block, so a damaged block yields nothing rather than a read beyond it.
bool findInBlock(const BYTE* block, DWORD size, UINT number, CountedString& found) {
    const DWORD units = size / sizeof(WORD);
    DWORD position = 0;
    for (UINT skip = number % kEntriesPerBlock; skip > 0; --skip) {
        if (position >= units) {
            return false;
        }
        WORD count;
        std::memcpy(&count, block + position * sizeof(WORD), sizeof(WORD));
        position += DWORD(count) + 1;
    }
    if (position >= units) {
        return false;
    }
    WORD count;
    std::memcpy(&count, block + position * sizeof(WORD), sizeof(WORD));
    if (count == 0 || position + 1 + count > units) {
        return false;
    }
    found.count = count;
    found.text = reinterpret_cast<const WCHAR*>(block + (position + 1) * sizeof(WORD));
    return true;
}

}  // namespace

bool findStringResource(UINT number, CountedString& found) {
    // The module has one resource instance: its own.
    const HINSTANCE instances[] = {module::moduleInstance};
    const auto blockId = static_cast<WORD>((number >> 4) + 1);
    for (HINSTANCE instance : instances) {
        HRSRC resource = FindResourceA(instance, MAKEINTRESOURCEA(blockId), MAKEINTRESOURCEA(6));
        if (resource == nullptr) {
            continue;
        }
        HGLOBAL loaded = LoadResource(instance, resource);
        if (loaded == nullptr) {
            continue;
        }
        const auto* block = static_cast<const BYTE*>(LockResource(loaded));
        if (block == nullptr) {
            continue;
        }
        if (findInBlock(block, SizeofResource(instance, resource), number, found)) {
            return true;
        }
    }
    return false;
}

bool loadStringResource(UINT number, BSTR& target) {
    SysFreeString(target);
    target = nullptr;
    CountedString found;
    if (findStringResource(number, found)) {
        // The resource holds no NUL and may be unaligned; SysAllocStringLen copies exactly count.
        target = SysAllocStringLen(nullptr, found.count);
        if (target != nullptr) {
            std::memcpy(target, found.text, found.count * sizeof(WCHAR));
        }
    }
    return target != nullptr;
}

}  // namespace gs::plugin
