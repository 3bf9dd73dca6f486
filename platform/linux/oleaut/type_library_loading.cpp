// LoadTypeLib and LoadTypeLibEx: a library from a file of its own, or from the "TYPELIB"
// resource of a module.
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/module.h"
#include "platform/linux/oleaut/msft_reader.h"
#include "platform/linux/oleaut/text.h"
#include "platform/linux/oleaut/type_library.h"
#include "platform/linux/oleauto.h"

namespace gs::platform::oleaut {
namespace {

// Larger files are not type libraries this platform will read.
constexpr long kMaxFileSize = 64L << 20;

enum class FileState { Missing, Read, Unreadable };

FileState readFile(const std::string& path, std::vector<std::byte>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return FileState::Missing;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return FileState::Unreadable;
    }
    const long size = std::ftell(file);
    if (size < 0 || size > kMaxFileSize || std::fseek(file, 0, SEEK_SET) != 0) {
        return FileState::Unreadable;
    }
    bytes.resize(static_cast<std::size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        return FileState::Unreadable;
    }
    return FileState::Read;
}

bool looksLikeTypeLibrary(const std::vector<std::byte>& bytes) {
    if (bytes.size() < 4) {
        return false;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    return (b[0] == 'M' && b[1] == 'S' && b[2] == 'F' && b[3] == 'T') ||
           (b[0] == 'S' && b[1] == 'L' && b[2] == 'T' && b[3] == 'G');
}

HRESULT readResource(const std::string& modulePath, WORD id, std::vector<std::byte>& bytes) {
    HMODULE module = LoadLibraryExA(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    HRESULT hr = TYPE_E_CANTLOADLIBRARY;
    if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), "TYPELIB")) {
        const DWORD size = SizeofResource(module, resource);
        const void* data = LockResource(LoadResource(module, resource));
        if (data != nullptr) {
            const auto* first = static_cast<const std::byte*>(data);
            bytes.assign(first, first + size);
            hr = S_OK;
        }
    }
    FreeLibrary(module);
    return hr;
}

// "path\N": the module at `path`, resource N.
std::optional<std::pair<std::u16string, WORD>> splitResourceId(std::u16string_view path) {
    const std::size_t separator = path.rfind(u'\\');
    if (separator == std::u16string_view::npos || separator == 0 || separator + 1 == path.size() ||
        path.size() - separator > 6) {
        return std::nullopt;
    }
    unsigned id = 0;
    for (char16_t c : path.substr(separator + 1)) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        id = id * 10 + (c - u'0');
    }
    if (id > 0xFFFF) {
        return std::nullopt;
    }
    return std::pair{std::u16string(path.substr(0, separator)), static_cast<WORD>(id)};
}

bool namesStandardLibrary(std::u16string_view path) {
    const std::size_t slash = path.find_last_of(u"/\\");
    const std::u16string_view file =
        slash == std::u16string_view::npos ? path : path.substr(slash + 1);
    return sameName(file, u"stdole2.tlb") || sameName(file, u"stdole32.tlb");
}

HRESULT load(std::u16string_view path, ITypeLib** library) {
    std::vector<std::byte> bytes;
    switch (readFile(toUtf8(path), bytes)) {
        case FileState::Read:
            if (!looksLikeTypeLibrary(bytes)) {
                // A module: its first type library resource.
                bytes.clear();
                if (HRESULT hr = readResource(toUtf8(path), 1, bytes); FAILED(hr)) {
                    return hr;
                }
            }
            break;
        case FileState::Unreadable:
            return TYPE_E_CANTLOADLIBRARY;
        case FileState::Missing:
            if (auto resource = splitResourceId(path)) {
                if (HRESULT hr = readResource(toUtf8(resource->first), resource->second, bytes);
                    FAILED(hr)) {
                    return hr;
                }
                break;
            }
            if (namesStandardLibrary(path)) {
                return TypeLibrary::openStandard(library);
            }
            return TYPE_E_CANTLOADLIBRARY;
    }
    auto model = std::make_shared<Library>();
    if (HRESULT hr = readMsftLibrary(bytes, *model); FAILED(hr)) {
        return hr;
    }
    return TypeLibrary::create(std::move(model), true, library);
}

}  // namespace
}  // namespace gs::platform::oleaut

extern "C" HRESULT LoadTypeLibEx(LPCOLESTR path, REGKIND kind, ITypeLib** library) {
    if (path == nullptr || library == nullptr) {
        return E_INVALIDARG;
    }
    *library = nullptr;
    try {
        if (HRESULT hr = gs::platform::oleaut::load(path, library); FAILED(hr)) {
            return hr;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // Registration needs the path the library will later be found at; REGKIND_DEFAULT registers
    // nothing, since this platform does not search for libraries by bare file name.
    if (kind == REGKIND_REGISTER) {
        if (HRESULT hr = RegisterTypeLib(*library, path, nullptr); FAILED(hr)) {
            (*library)->Release();
            *library = nullptr;
            return hr;
        }
    }
    return S_OK;
}

extern "C" HRESULT LoadTypeLib(LPCOLESTR path, ITypeLib** library) {
    return LoadTypeLibEx(path, REGKIND_DEFAULT, library);
}
