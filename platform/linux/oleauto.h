// OLE Automation: BSTR, VARIANT and type information (see the headers below).
#pragma once

#include "platform/linux/bstr.h"
#include "platform/linux/typeinfo.h"
#include "platform/linux/variant.h"

extern "C" {
// The standard dispatch helpers: thin forwards to the type information's own methods.
GS_PLATFORM_API HRESULT DispGetIDsOfNames(ITypeInfo* typeInfo, OLECHAR** names, UINT count,
                                          DISPID* ids);
GS_PLATFORM_API HRESULT DispInvoke(void* instance, ITypeInfo* typeInfo, DISPID member, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError);
}
