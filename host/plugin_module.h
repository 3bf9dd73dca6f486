// A plug-in module loaded the way a player loads an in-process server: only its four exports are
// used (DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer) and objects
// come from its class factory.
#pragma once

#include <filesystem>
#include <string>

#include "host/com_ptr.h"
#include "platform/win32.h"

namespace gs::host {

class PluginModule {
public:
    // Loads the module. Throws HostError when the file is missing, cannot be loaded, or lacks the
    // exports of an in-process server.
    explicit PluginModule(const std::filesystem::path& path);
    // Unloads the module when it says it can be unloaded; otherwise it stays, as a player's would.
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    const std::filesystem::path& path() const { return path_; }

    HRESULT registerServer() const;
    HRESULT unregisterServer() const;
    bool canUnloadNow() const;

    // The class object of `classId`. Throws HostError when the module does not serve that class.
    ComPtr<IClassFactory> classFactory(const CLSID& classId) const;

private:
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using Simple = HRESULT(STDAPICALLTYPE*)();

    std::filesystem::path path_;
    void* library_ = nullptr;
    GetClassObject getClassObject_ = nullptr;
    Simple canUnloadNow_ = nullptr;
    Simple registerServer_ = nullptr;
    Simple unregisterServer_ = nullptr;
};

// "0x80004005" and, where known, its name: for one-line messages.
std::string describeHresult(HRESULT result);

}  // namespace gs::host
