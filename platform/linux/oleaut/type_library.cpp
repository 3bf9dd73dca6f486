#include "platform/linux/oleaut/type_library.h"

#include <new>

#include "platform/linux/oleaut/standard_library.h"
#include "platform/linux/oleaut/text.h"
#include "platform/linux/oleaut/type_info.h"

namespace gs::platform::oleaut {
namespace {

void setText(BSTR* out, std::u16string_view text, bool nullWhenEmpty = false) {
    if (out != nullptr) {
        *out = nullWhenEmpty && text.empty() ? nullptr : allocateBstr(text);
    }
}

}  // namespace

TypeLibrary::TypeLibrary(std::shared_ptr<const Library> model, bool fromFile)
    : model_(std::move(model)), fromFile_(fromFile), imports_(model_->importedLibraries.size()) {}

TypeLibrary::~TypeLibrary() = default;

HRESULT TypeLibrary::create(std::shared_ptr<const Library> model, bool fromFile, ITypeLib** out) {
    *out = new (std::nothrow) TypeLibrary(std::move(model), fromFile);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TypeLibrary::openStandard(ITypeLib** out) {
    return create(standardLibrary(), false, out);
}

HRESULT TypeLibrary::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITypeLib)) {
        *object = static_cast<ITypeLib*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG TypeLibrary::AddRef() {
    return references_.add();
}

ULONG TypeLibrary::Release() {
    const ULONG left = references_.remove();
    if (left == 0) {
        delete this;
    }
    return left;
}

UINT TypeLibrary::GetTypeInfoCount() {
    return static_cast<UINT>(model_->types.size());
}

HRESULT TypeLibrary::typeInfo(std::size_t index, TypeView view, ITypeInfo** out) {
    *out = new (std::nothrow) TypeInfo(this, index, view);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TypeLibrary::GetTypeInfo(UINT index, ITypeInfo** typeInfo) {
    if (typeInfo == nullptr) {
        return E_INVALIDARG;
    }
    *typeInfo = nullptr;
    if (index >= model_->types.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    return this->typeInfo(index, naturalView(model_->types[index]), typeInfo);
}

HRESULT TypeLibrary::GetTypeInfoType(UINT index, TYPEKIND* kind) {
    if (kind == nullptr) {
        return E_INVALIDARG;
    }
    if (index >= model_->types.size()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    *kind = model_->types[index].kind;
    return S_OK;
}

HRESULT TypeLibrary::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** typeInfo) {
    if (typeInfo == nullptr) {
        return E_INVALIDARG;
    }
    *typeInfo = nullptr;
    for (std::size_t i = 0; i < model_->types.size(); ++i) {
        if (IsEqualGUID(model_->types[i].guid, guid)) {
            return this->typeInfo(i, naturalView(model_->types[i]), typeInfo);
        }
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibrary::GetLibAttr(TLIBATTR** attributes) {
    if (attributes == nullptr) {
        return E_INVALIDARG;
    }
    *attributes = new (std::nothrow) TLIBATTR{};
    if (*attributes == nullptr) {
        return E_OUTOFMEMORY;
    }
    (*attributes)->guid = model_->guid;
    (*attributes)->lcid = model_->lcid;
    (*attributes)->syskind = model_->sysKind;
    (*attributes)->wMajorVerNum = model_->majorVersion;
    (*attributes)->wMinorVerNum = model_->minorVersion;
    (*attributes)->wLibFlags =
        static_cast<WORD>(model_->flags | (fromFile_ ? LIBFLAG_FHASDISKIMAGE : 0));
    return S_OK;
}

void TypeLibrary::ReleaseTLibAttr(TLIBATTR* attributes) {
    delete attributes;
}

HRESULT TypeLibrary::GetTypeComp(ITypeComp** typeComp) {
    if (typeComp != nullptr) {
        *typeComp = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TypeLibrary::GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                      BSTR* helpFile) {
    std::u16string_view typeName = model_->name;
    std::u16string_view typeDoc = model_->docString;
    DWORD context = model_->helpContext;
    if (index != -1) {
        if (index < 0 || static_cast<std::size_t>(index) >= model_->types.size()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        const TypeEntry& type = model_->types[index];
        typeName = type.name;
        typeDoc = type.docString;
        context = type.helpContext;
    }
    setText(name, typeName);
    setText(docString, typeDoc, true);
    setText(helpFile, model_->helpFile, true);
    if (helpContext != nullptr) {
        *helpContext = context;
    }
    return S_OK;
}

// Finds a name among the types, their members and their members' parameters; `found` receives
// the library's own spelling.
namespace {

const std::u16string* findName(const Library& library, std::u16string_view name) {
    for (const TypeEntry& type : library.types) {
        if (sameName(type.name, name)) {
            return &type.name;
        }
        for (const Function& function : type.functions) {
            if (sameName(function.name, name)) {
                return &function.name;
            }
            for (const Parameter& parameter : function.parameters) {
                if (parameter.name && sameName(*parameter.name, name)) {
                    return &*parameter.name;
                }
            }
        }
        for (const Variable& variable : type.variables) {
            if (sameName(variable.name, name)) {
                return &variable.name;
            }
        }
    }
    return nullptr;
}

}  // namespace

HRESULT TypeLibrary::IsName(LPOLESTR name, ULONG, BOOL* found) {
    if (name == nullptr || found == nullptr) {
        return E_INVALIDARG;
    }
    const std::u16string* match = findName(*model_, view(name));
    *found = match != nullptr;
    if (match != nullptr) {
        std::copy(match->begin(), match->end(), name);  // same length, the library's spelling
    }
    return S_OK;
}

HRESULT TypeLibrary::FindName(LPOLESTR name, ULONG, ITypeInfo** typeInfos, MEMBERID* members,
                              USHORT* found) {
    if (name == nullptr || typeInfos == nullptr || members == nullptr || found == nullptr ||
        *found == 0) {
        return E_INVALIDARG;
    }
    const std::u16string_view wanted = view(name);
    const USHORT capacity = *found;
    USHORT count = 0;
    for (std::size_t i = 0; i < model_->types.size() && count < capacity; ++i) {
        const TypeEntry& type = model_->types[i];
        MEMBERID member = MEMBERID_NIL;
        bool match = sameName(type.name, wanted);
        for (std::size_t f = 0; !match && f < type.functions.size(); ++f) {
            match = sameName(type.functions[f].name, wanted);
            member = type.functions[f].memid;
        }
        for (std::size_t v = 0; !match && v < type.variables.size(); ++v) {
            match = sameName(type.variables[v].name, wanted);
            member = type.variables[v].memid;
        }
        if (!match) {
            continue;
        }
        if (HRESULT hr = typeInfo(i, naturalView(type), &typeInfos[count]); FAILED(hr)) {
            while (count > 0) {
                typeInfos[--count]->Release();
            }
            return hr;
        }
        members[count++] = member;
    }
    *found = count;
    return S_OK;
}

HRESULT TypeLibrary::importedLibrary(std::size_t index, ComRef<ITypeLib>& out) {
    std::lock_guard lock(importsMutex_);
    if (!imports_[index]) {
        const ImportedLibrary& imported = model_->importedLibraries[index];
        ComRef<ITypeLib> library;
        HRESULT hr = LoadRegTypeLib(imported.guid, imported.majorVersion, imported.minorVersion,
                                    imported.lcid, library.put());
        if (FAILED(hr) && !imported.fileName.empty()) {
            hr = LoadTypeLibEx(imported.fileName.c_str(), REGKIND_NONE, library.put());
        }
        if (FAILED(hr)) {
            return TYPE_E_CANTLOADLIBRARY;
        }
        imports_[index] = std::move(library);
    }
    out = imports_[index];
    return S_OK;
}

HRESULT TypeLibrary::resolve(HREFTYPE reference, ITypeInfo** out) {
    *out = nullptr;
    if (auto local = model_->localTypes.find(reference); local != model_->localTypes.end()) {
        return typeInfo(local->second, naturalView(model_->types[local->second]), out);
    }
    const auto imported = model_->importedTypes.find(reference);
    if (imported == model_->importedTypes.end()) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    ComRef<ITypeLib> library;
    if (HRESULT hr = importedLibrary(imported->second.library, library); FAILED(hr)) {
        return hr;
    }
    if (imported->second.guid) {
        return library->GetTypeInfoOfGuid(*imported->second.guid, out);
    }
    return library->GetTypeInfo(imported->second.index, out);
}

}  // namespace gs::platform::oleaut
