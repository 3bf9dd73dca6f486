#include "registrar/registrar.h"

#include <memory>
#include <new>
#include <string>

#include "registrar/script_parser.h"
#include "registrar/text_conversion.h"

namespace gs::registrar {

namespace {

struct LibraryRelease {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using LoadedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryRelease>;

}  // namespace

HRESULT lastErrorResult() {
    const DWORD error = GetLastError();
    return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

Registrar::~Registrar() {
    clearReplacements();
}

HRESULT STDMETHODCALLTYPE Registrar::QueryInterface(REFIID, void**) {
    return E_NOTIMPL;
}

ULONG STDMETHODCALLTYPE Registrar::AddRef() {
    return 1;
}

ULONG STDMETHODCALLTYPE Registrar::Release() {
    return 0;
}

HRESULT STDMETHODCALLTYPE Registrar::addReplacement(LPCOLESTR name, LPCOLESTR value) {
    return replacements_.add(name, value);
}

HRESULT STDMETHODCALLTYPE Registrar::clearReplacements() {
    replacements_.clear();
    return S_OK;
}

HRESULT Registrar::registerResource(LPCOLESTR modulePath, UINT id, LPCOLESTR type) {
    return runResourceOfType(modulePath, id, type, true);
}

HRESULT Registrar::unregisterResource(LPCOLESTR modulePath, UINT id, LPCOLESTR type) {
    return runResourceOfType(modulePath, id, type, false);
}

HRESULT Registrar::runResourceOfType(LPCOLESTR modulePath, UINT id, LPCOLESTR type,
                                     bool registering) {
    std::string ansiType;
    if (!type || !toAnsi(type, ansiType)) {
        return E_OUTOFMEMORY;
    }
    return runResource(modulePath, id, ansiType.c_str(), registering);
}

HRESULT Registrar::runResource(LPCOLESTR modulePath, UINT id, LPCSTR type, bool registering) {
    std::string ansiPath;
    if (!modulePath || !toAnsi(modulePath, ansiPath)) {
        return E_OUTOFMEMORY;
    }
    // Loaded as data only: nothing of the module runs, and it need not match this process.
    const LoadedLibrary module(LoadLibraryExA(ansiPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        return lastErrorResult();
    }
    const HRSRC resource = FindResourceA(module.get(), MAKEINTRESOURCEA(id), type);
    if (!resource) {
        return lastErrorResult();
    }
    const HGLOBAL loaded = LoadResource(module.get(), resource);
    if (!loaded) {
        return lastErrorResult();
    }
    const DWORD size = SizeofResource(module.get(), resource);
    const auto* bytes = static_cast<const char*>(LockResource(loaded));
    if (size == 0 || !bytes) {
        return lastErrorResult();
    }
    // The resource is not terminated; the script ends at its first NUL or its last byte.
    std::unique_ptr<char[]> script(new (std::nothrow) char[size + 1]);
    if (!script) {
        return E_OUTOFMEMORY;
    }
    std::copy(bytes, bytes + size, script.get());
    script[size] = '\0';
    return ScriptParser(*this).registerBuffer(script.get(), registering);
}

}  // namespace gs::registrar
