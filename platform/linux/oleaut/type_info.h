// ITypeInfo2 over one type of a TypeLibrary, in one of its views.
#pragma once

#include <mutex>
#include <vector>

#include "platform/linux/oleaut/com_object.h"
#include "platform/linux/oleaut/type_library.h"

namespace gs::platform::oleaut {

class TypeInfo final : public ITypeInfo2 {
public:
    TypeInfo(TypeLibrary* library, std::size_t index, TypeView view);

    // The implementation behind a type information object of this platform, or null for any
    // other object. Adds no reference.
    static TypeInfo* implementationOf(ITypeInfo* info);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** attributes) override;
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** typeComp) override;
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** function) override;
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** variable) override;
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID member, BSTR* names, UINT maxNames,
                                       UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* reference) override;
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* flags) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(PVOID instance, MEMBERID member, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID member, BSTR* name, BSTR* docString,
                                               DWORD* helpContext, BSTR* helpFile) override;
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID member, INVOKEKIND kind, BSTR* dllName,
                                          BSTR* name, WORD* ordinal) override;
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE reference, ITypeInfo** typeInfo) override;
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID member, INVOKEKIND kind,
                                              PVOID* address) override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, PVOID* object) override;
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID member, BSTR* mops) override;
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** library, UINT* index) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attributes) override;
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* function) override;
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* variable) override;

    HRESULT STDMETHODCALLTYPE GetTypeKind(TYPEKIND* kind) override;
    HRESULT STDMETHODCALLTYPE GetTypeFlags(ULONG* flags) override;
    HRESULT STDMETHODCALLTYPE GetFuncIndexOfMemId(MEMBERID member, INVOKEKIND kind,
                                                  UINT* index) override;
    HRESULT STDMETHODCALLTYPE GetVarIndexOfMemId(MEMBERID member, UINT* index) override;
    HRESULT STDMETHODCALLTYPE GetCustData(REFGUID guid, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE GetFuncCustData(UINT index, REFGUID guid, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE GetParamCustData(UINT function, UINT parameter, REFGUID guid,
                                               VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE GetVarCustData(UINT index, REFGUID guid, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE GetImplTypeCustData(UINT index, REFGUID guid,
                                                  VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation2(MEMBERID member, LCID locale, BSTR* helpString,
                                                DWORD* helpContext, BSTR* helpDll) override;
    HRESULT STDMETHODCALLTYPE GetAllCustData(CUSTDATA* data) override;
    HRESULT STDMETHODCALLTYPE GetAllFuncCustData(UINT index, CUSTDATA* data) override;
    HRESULT STDMETHODCALLTYPE GetAllParamCustData(UINT function, UINT parameter,
                                                  CUSTDATA* data) override;
    HRESULT STDMETHODCALLTYPE GetAllVarCustData(UINT index, CUSTDATA* data) override;
    HRESULT STDMETHODCALLTYPE GetAllImplTypeCustData(UINT index, CUSTDATA* data) override;

    const TypeEntry& entry() const { return library_->model().types[index_]; }

private:
    // A function of this view, with the type information that describes it (this one, or a base
    // interface's for inherited functions).
    struct Member {
        TypeInfo* owner;
        const Function* function;
    };

    ~TypeInfo() = default;
    // This view's functions in order: for the dispatch side of a dual interface, the functions
    // of its base interfaces first.
    HRESULT members(const std::vector<Member>*& list);
    // All functions of this interface's vtable, base interfaces' first.
    HRESULT vtableMembers(std::vector<Member>& list, std::vector<ComRef<ITypeInfo>>& keep,
                          int depth);
    template <class Predicate>
    const Member* findMember(const std::vector<Member>& list, Predicate matches) const;
    const Member* findMember(const std::vector<Member>& list, MEMBERID member) const;
    const Variable* findVariable(MEMBERID member) const;
    bool dispatchForm() const { return view_ == TypeView::DualDispatch; }

    ReferenceCount references_;
    ComRef<TypeLibrary> library_;
    std::size_t index_;
    TypeView view_;

    std::mutex membersMutex_;
    bool membersReady_ = false;
    std::vector<Member> members_;
    std::vector<ComRef<ITypeInfo>> bases_;  // keeps inherited members' owners alive
};

}  // namespace gs::platform::oleaut
