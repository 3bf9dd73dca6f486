#include "tests/differential/import_patch.h"

#include <cstring>

namespace gs::differential {

namespace {

template <typename T>
T* at(HMODULE module, DWORD rva) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

bool overwrite(ULONG_PTR* slot, void* replacement) {
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
        return false;
    }
    *slot = reinterpret_cast<ULONG_PTR>(replacement);
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return true;
}

}  // namespace

bool redirectImport(HMODULE module, const char* library, const char* function, void* replacement) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = at<const IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return false;
    }
    for (auto* entry = at<const IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (_stricmp(at<const char>(module, entry->Name), library) != 0 ||
            entry->OriginalFirstThunk == 0) {
            continue;
        }
        // The name table and the address table run side by side; the first is never bound.
        auto* names = at<const IMAGE_THUNK_DATA>(module, entry->OriginalFirstThunk);
        auto* addresses = at<IMAGE_THUNK_DATA>(module, entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName =
                at<const IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return overwrite(reinterpret_cast<ULONG_PTR*>(&addresses->u1.Function),
                                 replacement);
            }
        }
    }
    return false;
}

}  // namespace gs::differential
