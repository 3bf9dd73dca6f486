#include "module/server_module.h"

#include <new>

namespace gs::module {

namespace {

// Owns classObjectLock for the lifetime of the module's static state.
struct ClassObjectLockOwner {
    ClassObjectLockOwner() { InitializeCriticalSection(&classObjectLock); }
    ~ClassObjectLockOwner() { DeleteCriticalSection(&classObjectLock); }
};

}  // namespace

// Constructed before the entry point's own static object on Linux (see entry_point.cpp); on
// Windows the runtime constructs all static state before DllMain runs.
#ifdef _WIN32
#define GS_EARLY_INIT
#else
#define GS_EARLY_INIT __attribute__((init_priority(1000)))
#endif

CRITICAL_SECTION classObjectLock;
ServerModule serverModule GS_EARLY_INIT;
static ClassObjectLockOwner classObjectLockOwner GS_EARLY_INIT;

ServerModule::ServerModule()
    : lockCount(0),
      initialized(TRUE),
      terminationCallbacks(nullptr),
      moduleLock(),
      libraryId(),
      objectMap(nullptr) {
    InitializeCriticalSection(&moduleLock);
}

ServerModule::~ServerModule() {
    terminate();
}

void ServerModule::initialize(ObjectMapEntry* map, const GUID& library) {
    libraryId = library;
    objectMap = map;
}

void ServerModule::terminate() {
    for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->classId != nullptr;
         ++entry) {
        if (entry->cachedClassObject != nullptr) {
            IUnknown* classObject = entry->cachedClassObject;
            entry->cachedClassObject = nullptr;
            classObject->Release();
        }
    }
    if (!initialized) {
        return;
    }
    EnterCriticalSection(&moduleLock);
    while (terminationCallbacks != nullptr) {
        TerminationNode* node = terminationCallbacks;
        terminationCallbacks = node->next;
        node->callback(node->argument);
        delete node;
    }
    LeaveCriticalSection(&moduleLock);
    DeleteCriticalSection(&moduleLock);
    initialized = FALSE;
}

LONG ServerModule::lock() {
    return InterlockedIncrement(&lockCount);
}

LONG ServerModule::unlock() {
    return InterlockedDecrement(&lockCount);
}

HRESULT ServerModule::addTerminationCallback(TerminationCallback callback, void* argument) {
    if (!initialized) {
        return E_INVALIDARG;
    }
    auto* node = new (std::nothrow) TerminationNode{callback, argument, nullptr};
    if (node == nullptr) {
        return E_OUTOFMEMORY;
    }
    EnterCriticalSection(&moduleLock);
    node->next = terminationCallbacks;
    terminationCallbacks = node;
    LeaveCriticalSection(&moduleLock);
    return S_OK;
}

HRESULT ServerModule::registerServer() {
    for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->classId != nullptr;
         ++entry) {
        const HRESULT hr = entry->updateRegistry(true);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT ServerModule::unregisterServer() {
    for (ObjectMapEntry* entry = objectMap; entry != nullptr && entry->classId != nullptr;
         ++entry) {
        const HRESULT hr = entry->updateRegistry(false);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

}  // namespace gs::module
