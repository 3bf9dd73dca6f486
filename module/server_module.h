// Process-wide state of the COM server: the lock count that keeps the module loaded, the callbacks
// run at unload, the lock that guards them, and the object map of the classes it serves.
#pragma once

#include "platform/win32.h"

namespace gs::module {

using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

// One class the module serves. The map ends with an entry whose classId is null.
struct ObjectMapEntry {
    const CLSID* classId;
    HRESULT (*updateRegistry)(bool registering);
    HRESULT (*createClassObject)(CreateInstanceFunction creator, REFIID riid, void** object);
    CreateInstanceFunction createInstance;
    // The class's one class object, created on first demand and kept until shut-down.
    IUnknown* cachedClassObject;
};

using TerminationCallback = void (*)(void* argument);

struct TerminationNode {
    TerminationCallback callback;
    void* argument;
    TerminationNode* next;
};

struct ServerModule {
    ServerModule();
    ~ServerModule();
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    void initialize(ObjectMapEntry* map, const GUID& library);
    // Releases the cached class objects and runs the termination callbacks, newest first. A second
    // call does nothing.
    void terminate();

    LONG lock();
    LONG unlock();
    // E_INVALIDARG when the module is not initialised, E_OUTOFMEMORY when no node can be made.
    HRESULT addTerminationCallback(TerminationCallback callback, void* argument);

    // Runs each class's registry script; stops at the first failure.
    HRESULT registerServer();
    HRESULT unregisterServer();

    // Reasons to stay loaded: live objects, client references to class objects beyond the cached
    // ones, outstanding LockServer(TRUE) calls. Changed only atomically.
    volatile LONG lockCount;
    BOOL initialized;
    TerminationNode* terminationCallbacks;
    // Guards terminationCallbacks and the one-time loading of type information.
    CRITICAL_SECTION moduleLock;
    GUID libraryId;
    ObjectMapEntry* objectMap;
};

// The module's state, constructed before the entry point first runs.
extern ServerModule serverModule;

// Serialises the creation of the cached class objects.
extern CRITICAL_SECTION classObjectLock;

}  // namespace gs::module
