// The description blocks ITypeInfo hands out (TYPEATTR, FUNCDESC, VARDESC), each built as one
// heap block holding everything it points to, and released as one.
#pragma once

#include "platform/linux/oleaut/library_model.h"

namespace gs::platform::oleaut {

// The type attributes as the given view presents them; the caller fills the counts and flags
// that depend on the view.
TYPEATTR* newTypeAttr(const Library& library, const TypeEntry& type);
void deleteTypeAttr(TYPEATTR* attributes);

// In the dispatch form, as the dispatch side of a dual interface shows its methods: the kind
// is FUNC_DISPATCH, and a method returning HRESULT shows its retval parameter as its result
// (or returns nothing).
FUNCDESC* newFuncDesc(const Function& function, bool dispatchForm);
void deleteFuncDesc(FUNCDESC* function);

VARDESC* newVarDesc(const Variable& variable);
void deleteVarDesc(VARDESC* variable);

// A function as seen through a dual interface's dispatch side: its parameters without the
// retval one, and what it returns.
struct DispatchSignature {
    TypeSpec result;
    std::size_t parameterCount;
};
DispatchSignature dispatchSignature(const Function& function);

// A constant as a variant (which then owns its string, if any).
void constantToVariant(const Constant& constant, VARIANT& value);

}  // namespace gs::platform::oleaut
