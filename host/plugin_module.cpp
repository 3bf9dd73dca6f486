#include "host/plugin_module.h"

#include <dlfcn.h>

#include <cstdio>

#include "host/host_error.h"

namespace gs::host {

namespace fs = std::filesystem;

std::string describeHresult(HRESULT result) {
    struct Known {
        HRESULT code;
        const char* name;
    };
    static const Known kKnown[] = {
        {E_FAIL, "E_FAIL"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_ACCESSDENIED, "E_ACCESSDENIED"},
        {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
        {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"},
        {HRESULT_FROM_WIN32(5), "access denied"},
    };
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    for (const Known& known : kKnown) {
        if (known.code == result) {
            return std::string(code) + " " + known.name;
        }
    }
    return code;
}

PluginModule::PluginModule(const fs::path& path) {
    std::error_code error;
    path_ = fs::absolute(path, error);
    if (!fs::exists(path_, error)) {
        throw HostError("cannot load '" + path.string() + "': no such file");
    }
    library_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* reason = dlerror();
        throw HostError("cannot load '" + path.string() +
                        "': " + (reason ? reason : "unknown error"));
    }
    auto find = [this](const char* name) { return dlsym(library_, name); };
    getClassObject_ = reinterpret_cast<GetClassObject>(find("DllGetClassObject"));
    canUnloadNow_ = reinterpret_cast<Simple>(find("DllCanUnloadNow"));
    registerServer_ = reinterpret_cast<Simple>(find("DllRegisterServer"));
    unregisterServer_ = reinterpret_cast<Simple>(find("DllUnregisterServer"));
    if (getClassObject_ == nullptr || canUnloadNow_ == nullptr) {
        dlclose(library_);
        throw HostError("'" + path.string() +
                        "' is not a plug-in module: it does not export DllGetClassObject and "
                        "DllCanUnloadNow");
    }
}

PluginModule::~PluginModule() {
    if (canUnloadNow()) {
        dlclose(library_);
    }
}

HRESULT PluginModule::registerServer() const {
    return registerServer_ != nullptr ? registerServer_() : E_NOTIMPL;
}

HRESULT PluginModule::unregisterServer() const {
    return unregisterServer_ != nullptr ? unregisterServer_() : E_NOTIMPL;
}

bool PluginModule::canUnloadNow() const {
    return canUnloadNow_() == S_OK;
}

ComPtr<IClassFactory> PluginModule::classFactory(const CLSID& classId) const {
    ComPtr<IClassFactory> factory;
    const HRESULT result = getClassObject_(classId, IID_IClassFactory, factory.put());
    if (FAILED(result) || !factory) {
        throw HostError("'" + path_.filename().string() +
                        "' does not serve the visualization's class (" + describeHresult(result) +
                        ")");
    }
    return factory;
}

}  // namespace gs::host
