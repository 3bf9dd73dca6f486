// Type information of IGlimmerstrand, loaded once from the registered type library and shared by
// every visualizer of the process; behind it, IDispatch reaches foregroundColor by name.
#pragma once

#include <atomic>

#include "platform/win32.h"

namespace gs::automation {

struct NameCacheEntry {
    BSTR name;
    LONG length;  // characters of name
    DISPID dispid;
};

class TypeInfoCache {
public:
    TypeInfoCache(const IID& interfaceId, const GUID& libraryId, WORD majorVersion,
                  WORD minorVersion);
    TypeInfoCache(const TypeInfoCache&) = delete;
    TypeInfoCache& operator=(const TypeInfoCache&) = delete;

    HRESULT GetTypeInfoCount(UINT* count);
    // The index is not looked at: there is one type.
    HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfoOut);
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale, DISPID* dispids);
    HRESULT Invoke(IDispatch* object, DISPID member, REFIID riid, LCID locale, WORD flags,
                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                   UINT* argumentError);

    // Loads the type information and builds the name cache, once, under the module lock.
    HRESULT loadTypeInfo(LCID locale);

    // Frees the type information and the name cache: the module runs it when it unloads.
    static void cleanup(void* cache);

private:
    void buildNameCache();

    IID interfaceId;
    GUID libraryId;
    WORD majorVersion;
    WORD minorVersion;
    // Read without the module lock once set, so each is published with release after everything
    // it points to is complete, and read with acquire.
    std::atomic<ITypeInfo*> typeInfo;
    std::atomic<NameCacheEntry*> nameCache;
    int nameCount;
};

// The cache serving IGlimmerstrand.
TypeInfoCache& glimmerstrandTypeInfo();

}  // namespace gs::automation
