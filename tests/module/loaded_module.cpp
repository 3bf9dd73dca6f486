#include "tests/module/loaded_module.h"

#include <dlfcn.h>

#include "plugin/player_interfaces.h"

namespace gs::module::test {

LoadedModule::LoadedModule(const std::string& path) : path_(path) {
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "dlopen failed";
        return;
    }
    canUnloadNow_ = reinterpret_cast<Simple>(dlsym(library_, "DllCanUnloadNow"));
    getClassObject_ = reinterpret_cast<GetClassObject>(dlsym(library_, "DllGetClassObject"));
    registerServer_ = reinterpret_cast<Simple>(dlsym(library_, "DllRegisterServer"));
    unregisterServer_ = reinterpret_cast<Simple>(dlsym(library_, "DllUnregisterServer"));
    if (canUnloadNow_ == nullptr || getClassObject_ == nullptr || registerServer_ == nullptr ||
        unregisterServer_ == nullptr) {
        error_ = "an export is missing";
    }
}

LoadedModule::~LoadedModule() {
    unload();
}

void LoadedModule::unload() {
    if (library_ != nullptr) {
        dlclose(library_);
        library_ = nullptr;
    }
}

IClassFactory* LoadedModule::classFactory() const {
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(plugin::kCLSIDGlimmerstrand, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory)))) {
        return nullptr;
    }
    return factory;
}

bool isMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    dlclose(handle);
    return true;
}

}  // namespace gs::module::test
