#include "module/class_factory.h"

#include <new>

namespace gs::module {

namespace {

// Whether the object map still caches this class object. Shut-down takes it out of the cache
// before it gives up the module's own reference.
bool isCached(const IUnknown* classObject) {
    for (ObjectMapEntry* entry = serverModule.objectMap;
         entry != nullptr && entry->classId != nullptr; ++entry) {
        const void* cached = InterlockedCompareExchangePointer(
            reinterpret_cast<PVOID volatile*>(&entry->cachedClassObject), nullptr, nullptr);
        if (cached == classObject) {
            return true;
        }
    }
    return false;
}

}  // namespace

ClassFactory::ClassFactory() : creator(nullptr), referenceCount(0), cacheLock() {
    InitializeCriticalSection(&cacheLock);
}

ClassFactory::~ClassFactory() {
    DeleteCriticalSection(&cacheLock);
}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The count moves under cacheLock so that the module's lock on 1 -> 2 and unlock on 2 -> 1 pair
// up even when clients on several threads take and drop references at once.
ULONG ClassFactory::AddRef() {
    EnterCriticalSection(&cacheLock);
    const LONG count = InterlockedIncrement(&referenceCount);
    if (count == 2) {
        serverModule.lock();
    }
    LeaveCriticalSection(&cacheLock);
    return static_cast<ULONG>(count);
}

// A client that releases once too often would otherwise take the module's own reference and leave
// the cache pointing at a deleted object: while the object is cached, a release to zero is
// refused and the count stays at the module's one reference.
ULONG ClassFactory::Release() {
    EnterCriticalSection(&cacheLock);
    LONG count = InterlockedDecrement(&referenceCount);
    const bool refused = count == 0 && isCached(this);
    if (refused) {
        count = InterlockedIncrement(&referenceCount);
    }
    LeaveCriticalSection(&cacheLock);
    if (refused) {
        return static_cast<ULONG>(count);
    }
    if (count == 0) {
        delete this;
    } else if (count == 1) {
        serverModule.unlock();
    }
    return static_cast<ULONG>(count);
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr && !IsEqualGUID(riid, IID_IUnknown)) {
        return CLASS_E_NOAGGREGATION;
    }
    return creator(outer, riid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    if (lock) {
        serverModule.lock();
    } else {
        serverModule.unlock();
    }
    return S_OK;
}

HRESULT createClassObject(CreateInstanceFunction creator, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    auto* factory = new (std::nothrow) ClassFactory;
    if (factory == nullptr) {
        return E_OUTOFMEMORY;
    }
    factory->creator = creator;
    const HRESULT hr = factory->QueryInterface(riid, object);
    if (hr != S_OK) {
        delete factory;
    }
    return hr;
}

}  // namespace gs::module
