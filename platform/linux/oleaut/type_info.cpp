#include "platform/linux/oleaut/type_info.h"

#include "platform/linux/oleaut/descriptions.h"
#include "platform/linux/oleaut/invoke.h"
#include "platform/linux/oleaut/text.h"

namespace gs::platform::oleaut {
namespace {

// Asked for by implementationOf() only; never handed out to other code as an interface.
constexpr IID kImplementationId = {
    0x6A1C0F3E, 0x58B2, 0x4D0C, {0x9E, 0x71, 0x2B, 0x44, 0xC6, 0x0D, 0x13, 0x5F}};

// Interface chains deeper than this are taken as a loop between libraries.
constexpr int kMaxInheritance = 32;

// The vtable a dispatch view reports: IDispatch's seven methods.
constexpr WORD kDispatchVtableBytes = 7 * sizeof(void*);

}  // namespace

TypeInfo::TypeInfo(TypeLibrary* library, std::size_t index, TypeView view)
    : library_(ComRef<TypeLibrary>::share(library)), index_(index), view_(view) {}

TypeInfo* TypeInfo::implementationOf(ITypeInfo* info) {
    void* implementation = nullptr;
    if (info == nullptr || FAILED(info->QueryInterface(kImplementationId, &implementation))) {
        return nullptr;
    }
    auto* typeInfo = static_cast<TypeInfo*>(implementation);
    typeInfo->Release();  // the caller holds `info`, which keeps it alive
    return typeInfo;
}

HRESULT TypeInfo::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, kImplementationId)) {
        *object = this;
    } else if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITypeInfo) ||
               IsEqualIID(riid, IID_ITypeInfo2)) {
        *object = static_cast<ITypeInfo2*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TypeInfo::AddRef() {
    return references_.add();
}

ULONG TypeInfo::Release() {
    const ULONG left = references_.remove();
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT TypeInfo::vtableMembers(std::vector<Member>& list, std::vector<ComRef<ITypeInfo>>& keep,
                                int depth) {
    if (depth > kMaxInheritance) {
        return TYPE_E_CIRCULARTYPE;
    }
    const TypeEntry& type = entry();
    if (!type.implemented.empty()) {
        ComRef<ITypeInfo> base;
        if (HRESULT hr = library_->resolve(type.implemented.front().reference, base.put());
            FAILED(hr)) {
            return hr;
        }
        TypeInfo* implementation = implementationOf(base.get());
        if (implementation == nullptr) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (HRESULT hr = implementation->vtableMembers(list, keep, depth + 1); FAILED(hr)) {
            return hr;
        }
        keep.push_back(std::move(base));
    }
    for (const Function& function : type.functions) {
        list.push_back(Member{this, &function});
    }
    return S_OK;
}

HRESULT TypeInfo::members(const std::vector<Member>*& list) {
    std::lock_guard lock(membersMutex_);
    if (!membersReady_) {
        std::vector<Member> found;
        std::vector<ComRef<ITypeInfo>> keep;
        if (view_ == TypeView::DualDispatch) {
            if (HRESULT hr = vtableMembers(found, keep, 0); FAILED(hr)) {
                return hr;
            }
        } else {
            for (const Function& function : entry().functions) {
                found.push_back(Member{this, &function});
            }
        }
        members_ = std::move(found);
        bases_ = std::move(keep);
        membersReady_ = true;
    }
    list = &members_;
    return S_OK;
}

template <class Predicate>
const TypeInfo::Member* TypeInfo::findMember(const std::vector<Member>& list,
                                             Predicate matches) const {
    // A type's own functions take precedence over inherited ones of the same id or name.
    const Member* inherited = nullptr;
    for (const Member& candidate : list) {
        if (!matches(*candidate.function)) {
            continue;
        }
        if (candidate.owner == this) {
            return &candidate;
        }
        if (inherited == nullptr) {
            inherited = &candidate;
        }
    }
    return inherited;
}

const TypeInfo::Member* TypeInfo::findMember(const std::vector<Member>& list,
                                             MEMBERID member) const {
    return findMember(list, [member](const Function& f) { return f.memid == member; });
}

const Variable* TypeInfo::findVariable(MEMBERID member) const {
    for (const Variable& variable : entry().variables) {
        if (variable.memid == member) {
            return &variable;
        }
    }
    return nullptr;
}

HRESULT TypeInfo::GetTypeAttr(TYPEATTR** attributes) {
    if (attributes == nullptr) {
        return E_INVALIDARG;
    }
    *attributes = nullptr;
    const std::vector<Member>* list = nullptr;
    if (HRESULT hr = members(list); FAILED(hr)) {
        return hr;
    }
    TYPEATTR* result = newTypeAttr(library_->model(), entry());
    if (result == nullptr) {
        return E_OUTOFMEMORY;
    }
    result->cFuncs = static_cast<WORD>(list->size());
    switch (view_) {
        case TypeView::DualDispatch:
            // Reached through IDispatch only: its vtable is IDispatch's, and it is no longer
            // an OLE Automation vtable interface.
            result->cbSizeVft = kDispatchVtableBytes;
            result->wTypeFlags &= ~TYPEFLAG_FOLEAUTOMATION;
            break;
        case TypeView::DualInterface:
            result->typekind = TKIND_INTERFACE;
            break;
        case TypeView::Natural:
            if (result->typekind == TKIND_DISPATCH) {
                result->cbSizeVft = kDispatchVtableBytes;
            }
            break;
    }
    *attributes = result;
    return S_OK;
}

void TypeInfo::ReleaseTypeAttr(TYPEATTR* attributes) {
    deleteTypeAttr(attributes);
}

HRESULT TypeInfo::GetTypeComp(ITypeComp** typeComp) {
    if (typeComp != nullptr) {
        *typeComp = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** function) {
    if (function == nullptr) {
        return E_INVALIDARG;
    }
    *function = nullptr;
    const std::vector<Member>* list = nullptr;
    if (HRESULT hr = members(list); FAILED(hr)) {
        return hr;
    }
    if (index >= list->size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *function = newFuncDesc(*(*list)[index].function, dispatchForm());
    return *function != nullptr ? S_OK : E_OUTOFMEMORY;
}

void TypeInfo::ReleaseFuncDesc(FUNCDESC* function) {
    deleteFuncDesc(function);
}

HRESULT TypeInfo::GetVarDesc(UINT index, VARDESC** variable) {
    if (variable == nullptr) {
        return E_INVALIDARG;
    }
    *variable = nullptr;
    if (index >= entry().variables.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *variable = newVarDesc(entry().variables[index]);
    return *variable != nullptr ? S_OK : E_OUTOFMEMORY;
}

void TypeInfo::ReleaseVarDesc(VARDESC* variable) {
    deleteVarDesc(variable);
}

HRESULT TypeInfo::GetNames(MEMBERID member, BSTR* names, UINT maxNames, UINT* count) {
    if (names == nullptr || count == nullptr) {
        return E_INVALIDARG;
    }
    *count = 0;
    const std::vector<Member>* list = nullptr;
    if (HRESULT hr = members(list); FAILED(hr)) {
        return hr;
    }
    std::vector<std::u16string_view> found;
    if (const Member* m = findMember(*list, member)) {
        found.push_back(m->function->name);
        const std::size_t visible = dispatchForm() ? dispatchSignature(*m->function).parameterCount
                                                   : m->function->parameters.size();
        // Names answer for positions: they stop at the first parameter without one.
        for (std::size_t i = 0; i < visible && m->function->parameters[i].name; ++i) {
            found.push_back(*m->function->parameters[i].name);
        }
    } else if (const Variable* variable = findVariable(member)) {
        found.push_back(variable->name);
    } else {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    UINT written = 0;
    for (; written < maxNames && written < found.size(); ++written) {
        names[written] = allocateBstr(found[written]);
        if (names[written] == nullptr) {
            while (written > 0) {
                SysFreeString(names[--written]);
            }
            return E_OUTOFMEMORY;
        }
    }
    *count = written;
    return S_OK;
}

HRESULT TypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* reference) {
    if (reference == nullptr) {
        return E_INVALIDARG;
    }
    if (index == static_cast<UINT>(-1)) {
        if (view_ != TypeView::DualDispatch) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *reference = kDualInterfaceReference;
        return S_OK;
    }
    if (index >= entry().implemented.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *reference = entry().implemented[index].reference;
    return S_OK;
}

HRESULT TypeInfo::GetImplTypeFlags(UINT index, INT* flags) {
    if (flags == nullptr) {
        return E_INVALIDARG;
    }
    if (index >= entry().implemented.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *flags = entry().implemented[index].flags;
    return S_OK;
}

HRESULT TypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
    if (names == nullptr || ids == nullptr || count == 0) {
        return E_INVALIDARG;
    }
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    const std::vector<Member>* list = nullptr;
    if (HRESULT hr = members(list); FAILED(hr)) {
        return hr;
    }
    const std::u16string_view wanted = view(names[0]);
    const Member* found =
        findMember(*list, [wanted](const Function& f) { return sameName(f.name, wanted); });
    const Function* function = found ? found->function : nullptr;
    if (function == nullptr) {
        for (const Variable& variable : entry().variables) {
            if (sameName(variable.name, wanted)) {
                ids[0] = variable.memid;
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        }
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = function->memid;
    HRESULT result = S_OK;
    for (UINT i = 1; i < count; ++i) {
        const std::u16string_view parameter = view(names[i]);
        for (std::size_t p = 0; p < function->parameters.size(); ++p) {
            if (function->parameters[p].name &&
                sameName(*function->parameters[p].name, parameter)) {
                ids[i] = static_cast<MEMBERID>(p);
                break;
            }
        }
        if (ids[i] == DISPID_UNKNOWN) {
            result = DISP_E_UNKNOWNNAME;
        }
    }
    return result;
}

HRESULT TypeInfo::Invoke(PVOID instance, MEMBERID member, WORD flags, DISPPARAMS* parameters,
                         VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    if (instance == nullptr || parameters == nullptr ||
        (parameters->cArgs > 0 && parameters->rgvarg == nullptr) ||
        parameters->cNamedArgs > parameters->cArgs ||
        (parameters->cNamedArgs > 0 && parameters->rgdispidNamedArgs == nullptr)) {
        return E_INVALIDARG;
    }
    const std::vector<Member>* list = nullptr;
    if (HRESULT hr = members(list); FAILED(hr)) {
        return hr;
    }
    const Member* target = findMember(*list, [member, flags](const Function& f) {
        return f.memid == member && (f.invokeKind & flags) != 0;
    });
    // A dispinterface's members exist only behind the object's own IDispatch.
    const bool dispatched = target != nullptr
                                ? target->function->kind == FUNC_DISPATCH
                                : entry().kind == TKIND_DISPATCH && findVariable(member) != nullptr;
    if (dispatched) {
        ComRef<IDispatch> dispatch;
        if (HRESULT hr = static_cast<IUnknown*>(instance)->QueryInterface(
                IID_IDispatch, reinterpret_cast<void**>(dispatch.put()));
            FAILED(hr)) {
            return hr;
        }
        return dispatch->Invoke(member, GUID_NULL, LOCALE_USER_DEFAULT, flags, parameters, result,
                                exception, argumentError);
    }
    if (target == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    return invokeThroughVtable(target->owner, *target->function, instance, parameters, result,
                               exception, argumentError);
}

HRESULT TypeInfo::GetDocumentation(MEMBERID member, BSTR* name, BSTR* docString, DWORD* helpContext,
                                   BSTR* helpFile) {
    std::u16string_view memberName;
    std::u16string_view doc;
    DWORD context = 0;
    if (member == MEMBERID_NIL) {
        memberName = entry().name;
        doc = entry().docString;
        context = entry().helpContext;
    } else {
        const std::vector<Member>* list = nullptr;
        if (HRESULT hr = members(list); FAILED(hr)) {
            return hr;
        }
        if (const Member* m = findMember(*list, member)) {
            memberName = m->function->name;
            doc = m->function->helpString;
            context = m->function->helpContext;
        } else if (const Variable* variable = findVariable(member)) {
            memberName = variable->name;
            doc = variable->helpString;
            context = variable->helpContext;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
    }
    const std::u16string& file = library_->model().helpFile;
    BSTR texts[3] = {allocateBstr(memberName), doc.empty() ? nullptr : allocateBstr(doc),
                     file.empty() ? nullptr : allocateBstr(file)};
    if (texts[0] == nullptr || (!doc.empty() && texts[1] == nullptr) ||
        (!file.empty() && texts[2] == nullptr)) {
        for (BSTR text : texts) {
            SysFreeString(text);
        }
        return E_OUTOFMEMORY;
    }
    BSTR* outs[3] = {name, docString, helpFile};
    for (int i = 0; i < 3; ++i) {
        if (outs[i] != nullptr) {
            *outs[i] = texts[i];
        } else {
            SysFreeString(texts[i]);
        }
    }
    if (helpContext != nullptr) {
        *helpContext = context;
    }
    return S_OK;
}

HRESULT TypeInfo::GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dllName, BSTR* name, WORD* ordinal) {
    if (dllName != nullptr) {
        *dllName = nullptr;
    }
    if (name != nullptr) {
        *name = nullptr;
    }
    if (ordinal != nullptr) {
        *ordinal = 0;
    }
    return entry().kind == TKIND_MODULE ? E_NOTIMPL : TYPE_E_BADMODULEKIND;
}

HRESULT TypeInfo::GetRefTypeInfo(HREFTYPE reference, ITypeInfo** typeInfo) {
    if (typeInfo == nullptr) {
        return E_INVALIDARG;
    }
    *typeInfo = nullptr;
    if (reference == kDualInterfaceReference && entry().isDual()) {
        return library_->typeInfo(index_, TypeView::DualInterface, typeInfo);
    }
    return library_->resolve(reference, typeInfo);
}

HRESULT TypeInfo::AddressOfMember(MEMBERID, INVOKEKIND, PVOID* address) {
    if (address != nullptr) {
        *address = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TypeInfo::CreateInstance(IUnknown*, REFIID, PVOID* object) {
    if (object != nullptr) {
        *object = nullptr;
    }
    return entry().kind == TKIND_COCLASS ? E_NOTIMPL : TYPE_E_WRONGTYPEKIND;
}

HRESULT TypeInfo::GetMops(MEMBERID, BSTR* mops) {
    if (mops == nullptr) {
        return E_INVALIDARG;
    }
    *mops = nullptr;
    return S_OK;
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** library, UINT* index) {
    if (library == nullptr) {
        return E_INVALIDARG;
    }
    library_->AddRef();
    *library = library_.get();
    if (index != nullptr) {
        *index = static_cast<UINT>(index_);
    }
    return S_OK;
}

HRESULT TypeInfo::GetTypeKind(TYPEKIND* kind) {
    if (kind == nullptr) {
        return E_INVALIDARG;
    }
    *kind = view_ == TypeView::DualInterface ? TKIND_INTERFACE : entry().kind;
    return S_OK;
}

HRESULT TypeInfo::GetTypeFlags(ULONG* flags) {
    if (flags == nullptr) {
        return E_INVALIDARG;
    }
    *flags = entry().flags;
    if (view_ == TypeView::DualDispatch) {
        *flags &= ~ULONG{TYPEFLAG_FOLEAUTOMATION};
    }
    return S_OK;
}

HRESULT TypeInfo::GetFuncIndexOfMemId(MEMBERID member, INVOKEKIND kind, UINT* index) {
    if (index == nullptr) {
        return E_INVALIDARG;
    }
    const std::vector<Member>* list = nullptr;
    if (HRESULT hr = members(list); FAILED(hr)) {
        return hr;
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        if ((*list)[i].function->memid == member && (*list)[i].function->invokeKind == kind) {
            *index = static_cast<UINT>(i);
            return S_OK;
        }
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInfo::GetVarIndexOfMemId(MEMBERID member, UINT* index) {
    if (index == nullptr) {
        return E_INVALIDARG;
    }
    const std::vector<Variable>& variables = entry().variables;
    for (std::size_t i = 0; i < variables.size(); ++i) {
        if (variables[i].memid == member) {
            *index = static_cast<UINT>(i);
            return S_OK;
        }
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInfo::GetDocumentation2(MEMBERID member, LCID, BSTR* helpString, DWORD* helpContext,
                                    BSTR* helpDll) {
    if (helpDll != nullptr) {
        *helpDll = nullptr;
    }
    DWORD ignored = 0;
    HRESULT hr = GetDocumentation(member, nullptr, helpString, &ignored, nullptr);
    if (SUCCEEDED(hr) && helpContext != nullptr) {
        // The help string context, not the help context, belongs to this call.
        *helpContext = entry().helpStringContext;
        const std::vector<Member>* list = nullptr;
        if (member != MEMBERID_NIL && SUCCEEDED(members(list))) {
            if (const Member* m = findMember(*list, member)) {
                *helpContext = m->function->helpStringContext;
            } else if (const Variable* variable = findVariable(member)) {
                *helpContext = variable->helpStringContext;
            }
        }
    }
    return hr;
}

// Custom data is not read from libraries; these report so rather than pretend there is none.
HRESULT TypeInfo::GetCustData(REFGUID, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetFuncCustData(UINT, REFGUID, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetParamCustData(UINT, UINT, REFGUID, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetVarCustData(UINT, REFGUID, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetImplTypeCustData(UINT, REFGUID, VARIANT*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetAllCustData(CUSTDATA*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetAllFuncCustData(UINT, CUSTDATA*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetAllParamCustData(UINT, UINT, CUSTDATA*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetAllVarCustData(UINT, CUSTDATA*) {
    return E_NOTIMPL;
}
HRESULT TypeInfo::GetAllImplTypeCustData(UINT, CUSTDATA*) {
    return E_NOTIMPL;
}

}  // namespace gs::platform::oleaut
