#include "registrar/update_registry.h"

#include <new>

#include "registrar/registrar.h"
#include "registrar/text_conversion.h"

namespace gs::registrar {

namespace {

constexpr DWORD moduleNameSize = MAX_PATH;

}  // namespace

HRESULT addCommonReplacements(IRegistrarReplacements& registrar) {
    return registrar.addReplacement(OLESTR("APPID"), OLESTR(""));
}

HRESULT updateRegistry(HINSTANCE module, bool registering) {
    Registrar registrar;
    HRESULT hr = addCommonReplacements(registrar);
    if (FAILED(hr)) {
        return hr;
    }
    char fileName[moduleNameSize];
    const DWORD length = GetModuleFileNameA(module, fileName, moduleNameSize);
    if (length == 0) {
        return lastErrorResult();
    }
    if (length == moduleNameSize) {
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    WideString path;
    if (!toWide(fileName, path)) {
        return E_OUTOFMEMORY;
    }
    // The script quotes the path ('%MODULE%'), so its quotes are doubled.
    WideString quoted;
    try {
        quoted.reserve(path.size() * 2);
        for (OLECHAR c : path) {
            quoted += c;
            if (c == OLECHAR('\'')) {
                quoted += c;
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (FAILED(hr = registrar.addReplacement(OLESTR("Module"), quoted.c_str())) ||
        FAILED(hr = registrar.addReplacement(OLESTR("Module_Raw"), quoted.c_str()))) {
        return hr;
    }
    return registering
               ? registrar.registerResource(path.c_str(), registryScriptId, OLESTR("REGISTRY"))
               : registrar.unregisterResource(path.c_str(), registryScriptId, OLESTR("REGISTRY"));
}

}  // namespace gs::registrar
