// The registrar: applies a module's registry script in register or unregister mode, with the
// replacement variables its caller adds.
#pragma once

#include "platform/win32.h"
#include "registrar/replacement_map.h"

namespace gs::registrar {

// What the module's registration hook sees of a registrar: a table of slots in COM order. The
// object behind it lives on its caller's stack and is not reference counted.
struct IRegistrarReplacements : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE addReplacement(LPCOLESTR name, LPCOLESTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE clearReplacements() = 0;
    virtual ~IRegistrarReplacements() = default;
};

class Registrar final : public IRegistrarReplacements {
public:
    Registrar() = default;
    ~Registrar() override;
    Registrar(const Registrar&) = delete;
    Registrar& operator=(const Registrar&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE addReplacement(LPCOLESTR name, LPCOLESTR value) override;
    HRESULT STDMETHODCALLTYPE clearReplacements() override;

    // Run the script held as resource `id` of type `type` in the module file `modulePath`.
    HRESULT registerResource(LPCOLESTR modulePath, UINT id, LPCOLESTR type);
    HRESULT unregisterResource(LPCOLESTR modulePath, UINT id, LPCOLESTR type);
    HRESULT runResource(LPCOLESTR modulePath, UINT id, LPCSTR type, bool registering);

    const ReplacementMap& replacements() const { return replacements_; }

private:
    HRESULT runResourceOfType(LPCOLESTR modulePath, UINT id, LPCOLESTR type, bool registering);

    ReplacementMap replacements_;
};

// HRESULT_FROM_WIN32 of the thread's last error; E_FAIL where a failing call left none.
HRESULT lastErrorResult();

}  // namespace gs::registrar
