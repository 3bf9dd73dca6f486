// ITypeLib over a library the reader produced. Immutable once built, so it may be used from any
// thread; imported libraries are loaded on first use and kept.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/linux/oleaut/com_object.h"
#include "platform/linux/oleaut/library_model.h"

namespace gs::platform::oleaut {

// How a type presents itself. A dual interface is one entry with two sides: the dispatch side
// (the entry's natural view, reached through IDispatch) and the interface side (its vtable).
enum class TypeView { Natural, DualDispatch, DualInterface };

class TypeLibrary final : public ITypeLib {
public:
    // `fromFile` marks a library read from a file or module, as Windows marks them.
    static HRESULT create(std::shared_ptr<const Library> model, bool fromFile, ITypeLib** out);
    // The built-in standard OLE library.
    static HRESULT openStandard(ITypeLib** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** attributes) override;
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** typeComp) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* docString,
                                               DWORD* helpContext, BSTR* helpFile) override;
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR name, ULONG hash, BOOL* found) override;
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR name, ULONG hash, ITypeInfo** typeInfos,
                                       MEMBERID* members, USHORT* found) override;
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attributes) override;

    const Library& model() const { return *model_; }
    HRESULT typeInfo(std::size_t index, TypeView view, ITypeInfo** out);
    // A type that one of this library's types refers to: its own or an imported one.
    HRESULT resolve(HREFTYPE reference, ITypeInfo** out);

private:
    TypeLibrary(std::shared_ptr<const Library> model, bool fromFile);
    ~TypeLibrary();
    HRESULT importedLibrary(std::size_t index, ComRef<ITypeLib>& out);

    ReferenceCount references_;
    std::shared_ptr<const Library> model_;
    bool fromFile_;
    std::mutex importsMutex_;
    std::vector<ComRef<ITypeLib>> imports_;
};

// The view a type is first seen in.
inline TypeView naturalView(const TypeEntry& type) {
    return type.isDual() ? TypeView::DualDispatch : TypeView::Natural;
}

}  // namespace gs::platform::oleaut
