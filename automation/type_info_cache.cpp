#include "automation/type_info_cache.h"

#include <new>
#include <string>

#include "module/server_module.h"
#include "plugin/glimmerstrand_interface.h"

namespace gs::automation {

TypeInfoCache::TypeInfoCache(const IID& interfaceIid, const GUID& library, WORD major, WORD minor)
    : interfaceId(interfaceIid),
      libraryId(library),
      majorVersion(major),
      minorVersion(minor),
      typeInfo(nullptr),
      nameCache(nullptr),
      nameCount(0) {}

HRESULT TypeInfoCache::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 1;
    return S_OK;
}

HRESULT TypeInfoCache::loadTypeInfo(LCID locale) {
    if (typeInfo.load(std::memory_order_acquire) != nullptr &&
        nameCache.load(std::memory_order_acquire) != nullptr) {
        return S_OK;
    }
    CRITICAL_SECTION& lock = module::serverModule.moduleLock;
    EnterCriticalSection(&lock);
    HRESULT hr = S_OK;
    if (typeInfo.load(std::memory_order_relaxed) == nullptr) {
        ITypeLib* library = nullptr;
        hr = LoadRegTypeLib(libraryId, majorVersion, minorVersion, locale, &library);
        if (SUCCEEDED(hr)) {
            ITypeInfo* loaded = nullptr;
            hr = library->GetTypeInfoOfGuid(interfaceId, &loaded);
            if (SUCCEEDED(hr)) {
                // Prefer the ITypeInfo reached through ITypeInfo2 where the library offers it.
                ITypeInfo2* extended = nullptr;
                if (SUCCEEDED(loaded->QueryInterface(IID_ITypeInfo2,
                                                     reinterpret_cast<void**>(&extended)))) {
                    loaded->Release();
                    loaded = extended;
                }
                typeInfo.store(loaded, std::memory_order_release);
                module::serverModule.addTerminationCallback(&TypeInfoCache::cleanup, this);
            }
            library->Release();
        }
    }
    if (typeInfo.load(std::memory_order_relaxed) != nullptr &&
        nameCache.load(std::memory_order_relaxed) == nullptr) {
        buildNameCache();
    }
    LeaveCriticalSection(&lock);
    return hr;
}

void TypeInfoCache::buildNameCache() {
    ITypeInfo* const info = typeInfo.load(std::memory_order_relaxed);
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) {
        return;
    }
    const int count = attributes->cFuncs;
    NameCacheEntry* entries = nullptr;
    if (count > 0) {
        entries = new (std::nothrow) NameCacheEntry[count];
        if (entries == nullptr) {
            info->ReleaseTypeAttr(attributes);
            return;
        }
        for (int i = 0; i < count; ++i) {
            entries[i] = {nullptr, 0, -1};
            FUNCDESC* function = nullptr;
            if (FAILED(info->GetFuncDesc(static_cast<UINT>(i), &function))) {
                continue;
            }
            BSTR name = nullptr;
            if (SUCCEEDED(
                    info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
                entries[i] = {name, static_cast<LONG>(SysStringLen(name)), function->memid};
            }
            info->ReleaseFuncDesc(function);
        }
    }
    nameCount = count;
    nameCache.store(entries, std::memory_order_release);
    info->ReleaseTypeAttr(attributes);
}

void TypeInfoCache::cleanup(void* argument) {
    auto* cache = static_cast<TypeInfoCache*>(argument);
    if (ITypeInfo* info = cache->typeInfo.exchange(nullptr, std::memory_order_acq_rel)) {
        info->Release();
    }
    if (NameCacheEntry* entries = cache->nameCache.exchange(nullptr, std::memory_order_acq_rel)) {
        for (int i = 0; i < cache->nameCount; ++i) {
            SysFreeString(entries[i].name);
        }
        delete[] entries;
    }
    cache->nameCount = 0;
}

HRESULT TypeInfoCache::GetTypeInfo(UINT, LCID locale, ITypeInfo** typeInfoOut) {
    if (typeInfoOut == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = S_OK;
    if (typeInfo.load(std::memory_order_acquire) == nullptr) {
        hr = loadTypeInfo(locale);
    }
    ITypeInfo* const info = typeInfo.load(std::memory_order_acquire);
    *typeInfoOut = info;
    if (info == nullptr) {
        return hr;
    }
    info->AddRef();
    return S_OK;
}

HRESULT TypeInfoCache::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                     DISPID* dispids) {
    HRESULT hr = S_OK;
    if (typeInfo.load(std::memory_order_acquire) == nullptr ||
        nameCache.load(std::memory_order_acquire) == nullptr) {
        hr = loadTypeInfo(locale);
    }
    ITypeInfo* const info = typeInfo.load(std::memory_order_acquire);
    if (info == nullptr) {
        return hr;
    }
    const NameCacheEntry* const entries = nameCache.load(std::memory_order_acquire);
    if (entries != nullptr && count == 1 && names != nullptr && names[0] != nullptr &&
        dispids != nullptr) {
        const LONG length = lstrlenW(names[0]);
        for (int i = nameCount - 1; i >= 0; --i) {
            const NameCacheEntry& entry = entries[i];
            if (entry.name != nullptr && entry.length == length &&
                std::char_traits<OLECHAR>::compare(entry.name, names[0],
                                                   static_cast<size_t>(length)) == 0) {
                dispids[0] = entry.dispid;
                return S_OK;
            }
        }
    }
    return info->GetIDsOfNames(names, count, dispids);
}

namespace {

// Whether the type information describes `member` as a restricted function: the IUnknown and
// IDispatch methods a dual interface inherits are, and invoked by number they would add or drop
// references behind their caller's back (an Invoke of Release destroys the object under it).
bool isRestricted(ITypeInfo* info, DISPID member) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) {
        return false;
    }
    const UINT functions = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    bool restricted = false;
    for (UINT i = 0; i < functions && !restricted; ++i) {
        FUNCDESC* function = nullptr;
        if (SUCCEEDED(info->GetFuncDesc(i, &function))) {
            restricted =
                function->memid == member && (function->wFuncFlags & FUNCFLAG_FRESTRICTED) != 0;
            info->ReleaseFuncDesc(function);
        }
    }
    return restricted;
}

}  // namespace

HRESULT TypeInfoCache::Invoke(IDispatch* object, DISPID member, REFIID, LCID locale, WORD flags,
                              DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                              UINT* argumentError) {
    HRESULT hr = S_OK;
    if (typeInfo.load(std::memory_order_acquire) == nullptr ||
        nameCache.load(std::memory_order_acquire) == nullptr) {
        hr = loadTypeInfo(locale);
    }
    ITypeInfo* const info = typeInfo.load(std::memory_order_acquire);
    if (info == nullptr) {
        return hr;
    }
    if (isRestricted(info, member)) {
        return DISP_E_MEMBERNOTFOUND;
    }
    return info->Invoke(object, member, flags, parameters, result, exception, argumentError);
}

TypeInfoCache& glimmerstrandTypeInfo() {
    static TypeInfoCache cache(plugin::kIIDGlimmerstrand, plugin::kLibraryId,
                               plugin::kLibraryMajorVersion, plugin::kLibraryMinorVersion);
    return cache;
}

}  // namespace gs::automation
