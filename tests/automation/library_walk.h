// Asks a type library for everything it describes, through the public interfaces only: every
// type's attributes, functions, variables, names, documentation and references. Used on damaged
// libraries that loaded anyway, where the sanitizers watch for reads out of bounds.
#pragma once

#include "platform/win32.h"

namespace gs::test {

inline void walkNames(ITypeInfo* info, MEMBERID member) {
    BSTR names[8] = {};
    UINT count = 0;
    if (SUCCEEDED(info->GetNames(member, names, 8, &count))) {
        if (count > 0) {
            LPOLESTR lookup[] = {names[0]};
            MEMBERID id = 0;
            info->GetIDsOfNames(lookup, 1, &id);
        }
        for (UINT i = 0; i < count; ++i) {
            SysFreeString(names[i]);
        }
    }
    BSTR name = nullptr;
    BSTR doc = nullptr;
    BSTR file = nullptr;
    DWORD context = 0;
    if (SUCCEEDED(info->GetDocumentation(member, &name, &doc, &context, &file))) {
        SysFreeString(name);
        SysFreeString(doc);
        SysFreeString(file);
    }
}

inline void walkType(ITypeInfo* info, int depth) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) {
        return;
    }
    const WORD functions = attributes->cFuncs;
    const WORD variables = attributes->cVars;
    const WORD implemented = attributes->cImplTypes;
    info->ReleaseTypeAttr(attributes);
    walkNames(info, MEMBERID_NIL);
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* function = nullptr;
        if (SUCCEEDED(info->GetFuncDesc(i, &function))) {
            walkNames(info, function->memid);
            info->ReleaseFuncDesc(function);
        }
    }
    for (UINT i = 0; i < variables; ++i) {
        VARDESC* variable = nullptr;
        if (SUCCEEDED(info->GetVarDesc(i, &variable))) {
            walkNames(info, variable->memid);
            info->ReleaseVarDesc(variable);
        }
    }
    for (UINT i = 0; i < implemented + 1u; ++i) {
        const UINT index = i == implemented ? static_cast<UINT>(-1) : i;
        HREFTYPE reference = 0;
        INT flags = 0;
        info->GetImplTypeFlags(index, &flags);
        ITypeInfo* referenced = nullptr;
        if (SUCCEEDED(info->GetRefTypeOfImplType(index, &reference)) &&
            SUCCEEDED(info->GetRefTypeInfo(reference, &referenced))) {
            if (depth < 2) {
                walkType(referenced, depth + 1);
            }
            referenced->Release();
        }
    }
}

inline void walkLibrary(ITypeLib* library) {
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        library->ReleaseTLibAttr(attributes);
    }
    const UINT count = library->GetTypeInfoCount();
    for (INT i = -1; i < static_cast<INT>(count); ++i) {
        BSTR name = nullptr;
        if (SUCCEEDED(library->GetDocumentation(i, &name, nullptr, nullptr, nullptr))) {
            SysFreeString(name);
        }
    }
    for (UINT i = 0; i < count; ++i) {
        ITypeInfo* info = nullptr;
        if (SUCCEEDED(library->GetTypeInfo(i, &info))) {
            walkType(info, 0);
            info->Release();
        }
    }
}

}  // namespace gs::test
