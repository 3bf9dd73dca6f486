// Late-bound calls: a dispatch call (DISPID, flags, arguments as variants) carried out on the
// vtable slot a function description names.
#pragma once

#include "platform/linux/oleaut/library_model.h"

namespace gs::platform::oleaut {

// Calls `function` on `instance` through DispCallFunc, as ITypeInfo::Invoke does:
// - positional arguments come last-first in rgvarg; named ones (their DISPIDs are parameter
//   positions) first; a property put takes its value from the argument named DISPID_PROPERTYPUT;
// - each argument is converted to the declared parameter type (BSTR, the integer types,
//   booleans, interfaces, enumerations, and pointers to these), a by-reference argument of the
//   exact type is passed through as the pointer, and missing optional ones take their defaults;
// - the retval parameter becomes the result; a failing HRESULT becomes DISP_E_EXCEPTION with
//   the code in EXCEPINFO.
// `owner` describes the function and resolves the user-defined types it names.
HRESULT invokeThroughVtable(ITypeInfo* owner, const Function& function, void* instance,
                            DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                            UINT* argumentError);

}  // namespace gs::platform::oleaut
