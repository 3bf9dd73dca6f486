// Glimmerstrand.so loaded the way a player loads it: by its path, then only through its four
// exports and the interfaces they hand out. Used by the tests and fuzzers that drive the module
// as a whole.
#pragma once

#include <dlfcn.h>

#include "platform/win32.h"
#include "plugin/player_interfaces.h"

namespace gs::test {

class PlayerModule {
public:
    explicit PlayerModule(const char* path) {
        library_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) {
            return;
        }
        getClassObject_ = reinterpret_cast<GetClassObject>(dlsym(library_, "DllGetClassObject"));
        canUnloadNow_ = reinterpret_cast<Entry>(dlsym(library_, "DllCanUnloadNow"));
        registerServer_ = reinterpret_cast<Entry>(dlsym(library_, "DllRegisterServer"));
        unregisterServer_ = reinterpret_cast<Entry>(dlsym(library_, "DllUnregisterServer"));
    }
    // The module stays loaded: the process ends soon enough, and a module must survive being
    // kept.
    ~PlayerModule() = default;
    PlayerModule(const PlayerModule&) = delete;
    PlayerModule& operator=(const PlayerModule&) = delete;

    bool loaded() const {
        return getClassObject_ != nullptr && canUnloadNow_ != nullptr &&
               registerServer_ != nullptr && unregisterServer_ != nullptr;
    }

    HRESULT getClassObject(REFCLSID classId, REFIID riid, void** object) const {
        return getClassObject_(classId, riid, object);
    }
    HRESULT canUnloadNow() const { return canUnloadNow_(); }
    HRESULT registerServer() const { return registerServer_(); }
    HRESULT unregisterServer() const { return unregisterServer_(); }

    // A new visualizer from the class object, as a player makes one; the class object is let go
    // again.
    HRESULT createVisualizer(IWMPEffects2** effects) const {
        *effects = nullptr;
        IClassFactory* factory = nullptr;
        HRESULT hr = getClassObject(plugin::kCLSIDGlimmerstrand, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory));
        if (FAILED(hr)) {
            return hr;
        }
        hr = factory->CreateInstance(nullptr, plugin::kIIDWmpEffects2,
                                     reinterpret_cast<void**>(effects));
        factory->Release();
        return hr;
    }

private:
    using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
    using Entry = HRESULT (*)();

    void* library_ = nullptr;
    GetClassObject getClassObject_ = nullptr;
    Entry canUnloadNow_ = nullptr;
    Entry registerServer_ = nullptr;
    Entry unregisterServer_ = nullptr;
};

}  // namespace gs::test
