// The class object of a class the module serves. One per class and process, cached in the object
// map; the cache's own reference never keeps the module loaded, every client reference does.
#pragma once

#include "module/server_module.h"

namespace gs::module {

class ClassFactory final : public IClassFactory {
public:
    ClassFactory();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
    virtual ~ClassFactory();

    CreateInstanceFunction creator;

private:
    volatile LONG referenceCount;
    CRITICAL_SECTION cacheLock;
};

// The object map's class-object maker: a new ClassFactory bound to creator, queried for riid.
HRESULT createClassObject(CreateInstanceFunction creator, REFIID riid, void** object);

}  // namespace gs::module
