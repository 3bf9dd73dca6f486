// The module's four entry points and its start-up and shut-down: thin C wrappers around the
// server module and its object map.
#include "module/class_factory.h"
#include "module/entry_point.h"
#include "module/module_instance.h"
#include "module/server_module.h"
#include "module/visualizer_lifetime.h"
#include "plugin/glimmerstrand_interface.h"
#include "plugin/player_interfaces.h"
#include "registrar/update_registry.h"

#ifdef _WIN32
#define GS_EXPORT extern "C"
#else
#define GS_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace gs::module {

namespace {

HRESULT updateVisualizerRegistry(bool registering) {
    return registrar::updateRegistry(moduleInstance, registering);
}

ObjectMapEntry objectMap[] = {
    {&plugin::kCLSIDGlimmerstrand, &updateVisualizerRegistry, &createClassObject, &createVisualizer,
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Every read is atomic, inside classObjectLock too: one thread may store the class object while
// others look without the lock.
IUnknown* readCachedClassObject(ObjectMapEntry& entry) {
    return static_cast<IUnknown*>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile*>(&entry.cachedClassObject), nullptr, nullptr));
}

// Tells running players that the set of visualizations changed.
void announcePluginChange() {
    const UINT message = RegisterWindowMessageA("WMPlayer_PluginAddRemove");
    PostMessageA(HWND_BROADCAST, message, 0, 0);
}

}  // namespace

void processAttach(HINSTANCE instance) {
    moduleInstance = instance;
    serverModule.initialize(objectMap, plugin::kLibraryId);
    DisableThreadLibraryCalls(instance);
}

void processDetach() {
    serverModule.terminate();
}

HRESULT getClassObject(REFCLSID classId, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    for (ObjectMapEntry* entry = objectMap; entry->classId != nullptr; ++entry) {
        if (!IsEqualGUID(*entry->classId, classId)) {
            continue;
        }
        HRESULT hr = S_OK;
        if (readCachedClassObject(*entry) == nullptr) {
            EnterCriticalSection(&classObjectLock);
            if (readCachedClassObject(*entry) == nullptr) {
                IUnknown* created = nullptr;
                hr = entry->createClassObject(entry->createInstance, IID_IUnknown,
                                              reinterpret_cast<void**>(&created));
                InterlockedExchangePointer(
                    reinterpret_cast<PVOID volatile*>(&entry->cachedClassObject), created);
            }
            LeaveCriticalSection(&classObjectLock);
        }
        IUnknown* cached = readCachedClassObject(*entry);
        if (cached != nullptr) {
            return cached->QueryInterface(riid, object);
        }
        *object = nullptr;
        return FAILED(hr) ? hr : E_UNEXPECTED;
    }
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace gs::module

// Any thread may ask while others take and drop locks: the count is read atomically too.
GS_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return InterlockedCompareExchange(&gs::module::serverModule.lockCount, 0, 0) == 0 ? S_OK
                                                                                      : S_FALSE;
}

GS_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
    return gs::module::getClassObject(classId, riid, object);
}

GS_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
    const HRESULT hr = gs::module::serverModule.registerServer();
    gs::module::announcePluginChange();
    return hr;
}

GS_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
    const HRESULT hr = gs::module::serverModule.unregisterServer();
    gs::module::announcePluginChange();
    return hr;
}
