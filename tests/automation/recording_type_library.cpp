#include "tests/automation/recording_type_library.h"

#include <dlfcn.h>

#include <chrono>
#include <thread>

namespace gs::test {
namespace {

// Forwards every call to the platform's type information; counts references, name lookups and
// calls. Offers ITypeInfo2 where the wrapped one does, as the platform's own does.
class RecordingTypeInfo final : public ITypeInfo2 {
public:
    explicit RecordingTypeInfo(ITypeInfo* inner) : inner_(inner) {
        if (FAILED(inner->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&inner2_)))) {
            inner2_ = nullptr;
        }
        ++typeLibraryRecord().liveTypeInfos;
    }
    RecordingTypeInfo(const RecordingTypeInfo&) = delete;
    RecordingTypeInfo& operator=(const RecordingTypeInfo&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeInfo) ||
            (inner2_ != nullptr && IsEqualGUID(riid, IID_ITypeInfo2))) {
            *object = static_cast<ITypeInfo2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            if (inner2_ != nullptr) {
                inner2_->Release();
            }
            inner_->Release();
            --typeLibraryRecord().liveTypeInfos;
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        ++typeLibraryRecord().getIDsOfNamesCalls;
        return inner_->GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(PVOID instance, MEMBERID member, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        ++typeLibraryRecord().invokeCalls;
        return inner_->Invoke(instance, member, flags, parameters, result, exception,
                              argumentError);
    }

    // Everything else passes straight through.
    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** a) override { return inner_->GetTypeAttr(a); }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** c) override { return inner_->GetTypeComp(c); }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT i, FUNCDESC** f) override {
        return inner_->GetFuncDesc(i, f);
    }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT i, VARDESC** v) override {
        return inner_->GetVarDesc(i, v);
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID m, BSTR* n, UINT max, UINT* count) override {
        return inner_->GetNames(m, n, max, count);
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT i, HREFTYPE* r) override {
        return inner_->GetRefTypeOfImplType(i, r);
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT i, INT* f) override {
        return inner_->GetImplTypeFlags(i, f);
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID m, BSTR* n, BSTR* d, DWORD* c,
                                               BSTR* f) override {
        return inner_->GetDocumentation(m, n, d, c, f);
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID m, INVOKEKIND k, BSTR* d, BSTR* n,
                                          WORD* o) override {
        return inner_->GetDllEntry(m, k, d, n, o);
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE r, ITypeInfo** t) override {
        return inner_->GetRefTypeInfo(r, t);
    }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID m, INVOKEKIND k, PVOID* a) override {
        return inner_->AddressOfMember(m, k, a);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* o, REFIID r, PVOID* p) override {
        return inner_->CreateInstance(o, r, p);
    }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID m, BSTR* mops) override {
        return inner_->GetMops(m, mops);
    }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** l, UINT* i) override {
        return inner_->GetContainingTypeLib(l, i);
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* a) override { inner_->ReleaseTypeAttr(a); }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* f) override { inner_->ReleaseFuncDesc(f); }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* v) override { inner_->ReleaseVarDesc(v); }

    HRESULT STDMETHODCALLTYPE GetTypeKind(TYPEKIND* k) override { return inner2_->GetTypeKind(k); }
    HRESULT STDMETHODCALLTYPE GetTypeFlags(ULONG* f) override { return inner2_->GetTypeFlags(f); }
    HRESULT STDMETHODCALLTYPE GetFuncIndexOfMemId(MEMBERID m, INVOKEKIND k, UINT* i) override {
        return inner2_->GetFuncIndexOfMemId(m, k, i);
    }
    HRESULT STDMETHODCALLTYPE GetVarIndexOfMemId(MEMBERID m, UINT* i) override {
        return inner2_->GetVarIndexOfMemId(m, i);
    }
    HRESULT STDMETHODCALLTYPE GetCustData(REFGUID g, VARIANT* v) override {
        return inner2_->GetCustData(g, v);
    }
    HRESULT STDMETHODCALLTYPE GetFuncCustData(UINT i, REFGUID g, VARIANT* v) override {
        return inner2_->GetFuncCustData(i, g, v);
    }
    HRESULT STDMETHODCALLTYPE GetParamCustData(UINT f, UINT p, REFGUID g, VARIANT* v) override {
        return inner2_->GetParamCustData(f, p, g, v);
    }
    HRESULT STDMETHODCALLTYPE GetVarCustData(UINT i, REFGUID g, VARIANT* v) override {
        return inner2_->GetVarCustData(i, g, v);
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeCustData(UINT i, REFGUID g, VARIANT* v) override {
        return inner2_->GetImplTypeCustData(i, g, v);
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation2(MEMBERID m, LCID l, BSTR* s, DWORD* c,
                                                BSTR* d) override {
        return inner2_->GetDocumentation2(m, l, s, c, d);
    }
    HRESULT STDMETHODCALLTYPE GetAllCustData(CUSTDATA* d) override {
        return inner2_->GetAllCustData(d);
    }
    HRESULT STDMETHODCALLTYPE GetAllFuncCustData(UINT i, CUSTDATA* d) override {
        return inner2_->GetAllFuncCustData(i, d);
    }
    HRESULT STDMETHODCALLTYPE GetAllParamCustData(UINT f, UINT p, CUSTDATA* d) override {
        return inner2_->GetAllParamCustData(f, p, d);
    }
    HRESULT STDMETHODCALLTYPE GetAllVarCustData(UINT i, CUSTDATA* d) override {
        return inner2_->GetAllVarCustData(i, d);
    }
    HRESULT STDMETHODCALLTYPE GetAllImplTypeCustData(UINT i, CUSTDATA* d) override {
        return inner2_->GetAllImplTypeCustData(i, d);
    }

private:
    ~RecordingTypeInfo() = default;

    std::atomic<ULONG> references_{1};
    ITypeInfo* inner_;
    ITypeInfo2* inner2_ = nullptr;
};

// A registered library whose type information comes out wrapped.
class RecordingTypeLib final : public ITypeLib {
public:
    explicit RecordingTypeLib(ITypeLib* inner) : inner_(inner) {}
    RecordingTypeLib(const RecordingTypeLib&) = delete;
    RecordingTypeLib& operator=(const RecordingTypeLib&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeLib)) {
            *object = static_cast<ITypeLib*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            inner_->Release();
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) override {
        return wrap(inner_->GetTypeInfo(index, info), info);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
        return wrap(inner_->GetTypeInfoOfGuid(guid, info), info);
    }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return inner_->GetTypeInfoCount(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT i, TYPEKIND* k) override {
        return inner_->GetTypeInfoType(i, k);
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** a) override { return inner_->GetLibAttr(a); }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** c) override { return inner_->GetTypeComp(c); }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT i, BSTR* n, BSTR* d, DWORD* c,
                                               BSTR* f) override {
        return inner_->GetDocumentation(i, n, d, c, f);
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR n, ULONG h, BOOL* found) override {
        return inner_->IsName(n, h, found);
    }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR n, ULONG h, ITypeInfo** t, MEMBERID* m,
                                       USHORT* found) override {
        return inner_->FindName(n, h, t, m, found);
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* a) override { inner_->ReleaseTLibAttr(a); }

private:
    ~RecordingTypeLib() = default;

    static HRESULT wrap(HRESULT hr, ITypeInfo** info) {
        if (SUCCEEDED(hr) && info != nullptr && *info != nullptr) {
            *info = new RecordingTypeInfo(*info);
        }
        return hr;
    }

    std::atomic<ULONG> references_{1};
    ITypeLib* inner_;
};

using LoadRegTypeLibFunction = HRESULT (*)(REFGUID, WORD, WORD, LCID, ITypeLib**);

LoadRegTypeLibFunction platformLoadRegTypeLib() {
    static const auto function =
        reinterpret_cast<LoadRegTypeLibFunction>(dlsym(RTLD_NEXT, "LoadRegTypeLib"));
    return function;
}

}  // namespace

TypeLibraryRecord& typeLibraryRecord() {
    static TypeLibraryRecord record;
    return record;
}

HRESULT loadRegTypeLibUnrecorded(REFGUID libraryId, WORD major, WORD minor, LCID locale,
                                 ITypeLib** library) {
    return platformLoadRegTypeLib()(libraryId, major, minor, locale, library);
}

}  // namespace gs::test

extern "C" HRESULT LoadRegTypeLib(REFGUID libraryId, WORD major, WORD minor, LCID locale,
                                  ITypeLib** library) {
    gs::test::TypeLibraryRecord& record = gs::test::typeLibraryRecord();
    if (!IsEqualGUID(libraryId, record.watchedLibrary)) {
        return gs::test::loadRegTypeLibUnrecorded(libraryId, major, minor, locale, library);
    }
    ++record.loadRegTypeLibCalls;
    if (const int delay = record.loadDelayMilliseconds; delay > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    }
    const HRESULT hr = gs::test::loadRegTypeLibUnrecorded(libraryId, major, minor, locale, library);
    if (SUCCEEDED(hr) && library != nullptr && *library != nullptr) {
        *library = new gs::test::RecordingTypeLib(*library);
    }
    return hr;
}
