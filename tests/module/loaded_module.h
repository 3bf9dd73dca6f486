// The module as a player loads it: the shared object opened with dlopen and reached through its
// four exports alone, with nothing of the module linked into the test program.
#pragma once

#include <string>

#include "platform/win32.h"

namespace gs::module::test {

class LoadedModule {
public:
    explicit LoadedModule(const std::string& path);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    // Why the module could not be loaded or lacks an export; empty when it is usable.
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

    HRESULT canUnloadNow() const { return canUnloadNow_(); }
    HRESULT getClassObject(REFCLSID classId, REFIID riid, void** object) const {
        return getClassObject_(classId, riid, object);
    }
    HRESULT registerServer() const { return registerServer_(); }
    HRESULT unregisterServer() const { return unregisterServer_(); }

    // The visualizer's class object, with one reference for the caller; null when refused.
    IClassFactory* classFactory() const;

    // Drops this process's handle; the loader unmaps the module unless something else holds it.
    void unload();

private:
    using Simple = HRESULT(STDAPICALLTYPE*)();
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

    std::string path_;
    std::string error_;
    void* library_ = nullptr;
    Simple canUnloadNow_ = nullptr;
    GetClassObject getClassObject_ = nullptr;
    Simple registerServer_ = nullptr;
    Simple unregisterServer_ = nullptr;
};

// Whether a shared object of that path is mapped in this process.
bool isMapped(const std::string& path);

}  // namespace gs::module::test
