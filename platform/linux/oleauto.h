// OLE Automation: BSTR, VARIANT and type information (see the headers below).
#pragma once

#include "platform/linux/bstr.h"
#include "platform/linux/typeinfo.h"
#include "platform/linux/variant.h"

extern "C" {
// Calls a function with arguments given as variants: slot `vtableOffset / sizeof(void*)` of the
// object's vtable (with the object as its first argument), or, without an object, the function
// at address `vtableOffset`. The arguments and the result may be of the integer types, VT_BOOL,
// VT_ERROR, VT_BSTR, interface pointers and any by-reference type, which is everything the
// platform's calling convention passes in integer registers; floating-point and aggregate
// values give DISP_E_BADVARTYPE. A VT_HRESULT result comes back as VT_ERROR.
GS_PLATFORM_API HRESULT DispCallFunc(void* instance, ULONG_PTR vtableOffset, CALLCONV callConv,
                                     VARTYPE returnType, UINT count, VARTYPE* types,
                                     VARIANTARG** arguments, VARIANT* result);

// The standard dispatch helpers: thin forwards to the type information's own methods.
GS_PLATFORM_API HRESULT DispGetIDsOfNames(ITypeInfo* typeInfo, OLECHAR** names, UINT count,
                                          DISPID* ids);
GS_PLATFORM_API HRESULT DispInvoke(void* instance, ITypeInfo* typeInfo, DISPID member, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError);
}
