#include "platform/linux/oleaut/descriptions.h"

#include <cstdlib>
#include <cstring>

#include "platform/linux/oleaut/text.h"

namespace gs::platform::oleaut {
namespace {

// Every piece of a block starts on a 16-byte boundary, so that sizing and filling agree
// without knowing each piece's alignment.
constexpr std::size_t piece(std::size_t bytes) {
    return (bytes + 15) & ~std::size_t{15};
}

std::size_t arrayDescBytes(std::size_t dimensions) {
    const std::size_t bytes = offsetof(ARRAYDESC, rgbounds) + dimensions * sizeof(SAFEARRAYBOUND);
    return bytes < sizeof(ARRAYDESC) ? sizeof(ARRAYDESC) : bytes;
}

// What a type description needs beyond its outermost TYPEDESC.
std::size_t typeBytes(const TypeSpec& type) {
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < type.levels.size(); ++i) {
        if (i > 0 && type.levels[i - 1].vt != VT_CARRAY) {
            bytes += piece(sizeof(TYPEDESC));  // a C array holds its element type itself
        }
        if (type.levels[i].vt == VT_CARRAY) {
            bytes += piece(arrayDescBytes(type.levels[i].bounds.size()));
        }
    }
    return bytes;
}

class Block {
public:
    explicit Block(std::size_t size) : base_(static_cast<std::byte*>(std::calloc(1, size))) {}
    bool valid() const { return base_ != nullptr; }
    std::byte* base() const { return base_; }

    void* take(std::size_t bytes) {
        void* p = base_ + used_;
        used_ += piece(bytes);
        return p;
    }
    template <class T>
    T* take(std::size_t count = 1) {
        return static_cast<T*>(take(sizeof(T) * count));
    }

    void fillType(const TypeSpec& type, std::size_t level, TYPEDESC& out) {
        const TypeLevel& here = type.levels[level];
        out.vt = here.vt;
        switch (here.vt) {
            case VT_PTR:
            case VT_SAFEARRAY: {
                auto* inner = take<TYPEDESC>();
                fillType(type, level + 1, *inner);
                out.lptdesc = inner;
                break;
            }
            case VT_CARRAY: {
                auto* array = static_cast<ARRAYDESC*>(take(arrayDescBytes(here.bounds.size())));
                array->cDims = static_cast<USHORT>(here.bounds.size());
                std::memcpy(array->rgbounds, here.bounds.data(),
                            here.bounds.size() * sizeof(SAFEARRAYBOUND));
                fillType(type, level + 1, array->tdescElem);
                out.lpadesc = array;
                break;
            }
            case VT_USERDEFINED:
                out.hreftype = here.reference;
                break;
            default:
                out.lptdesc = nullptr;
        }
    }
    void fillType(const TypeSpec& type, TYPEDESC& out) {
        if (type.levels.empty()) {
            out.vt = VT_EMPTY;
            out.lptdesc = nullptr;
            return;
        }
        fillType(type, 0, out);
    }

private:
    std::byte* base_;
    std::size_t used_ = 0;
};

}  // namespace

void constantToVariant(const Constant& constant, VARIANT& value) {
    VariantInit(&value);
    if (constant.vt == VT_BSTR) {
        value.bstrVal = allocateBstr(constant.text);
        value.vt = VT_BSTR;
        return;
    }
    std::memcpy(&value.llVal, &constant.bits, sizeof(constant.bits));
    value.vt = constant.vt == VT_HRESULT ? VARTYPE{VT_ERROR} : constant.vt;
}

DispatchSignature dispatchSignature(const Function& function) {
    const std::size_t count = function.parameters.size();
    if (function.result.vt() != VT_HRESULT) {
        return {function.result, count};
    }
    if (count > 0 && (function.parameters.back().flags & PARAMFLAG_FRETVAL) &&
        function.parameters.back().type.vt() == VT_PTR) {
        return {function.parameters.back().type.pointee(), count - 1};
    }
    return {TypeSpec::of(VT_VOID), count};
}

TYPEATTR* newTypeAttr(const Library& library, const TypeEntry& type) {
    Block block(piece(sizeof(TYPEATTR)) + typeBytes(type.alias));
    if (!block.valid()) {
        return nullptr;
    }
    auto* attributes = block.take<TYPEATTR>();
    attributes->guid = type.guid;
    attributes->lcid = library.lcid;
    attributes->memidConstructor = MEMBERID_NIL;
    attributes->memidDestructor = MEMBERID_NIL;
    attributes->cbSizeInstance = type.instanceSize;
    attributes->typekind = type.kind;
    attributes->cFuncs = static_cast<WORD>(type.functions.size());
    attributes->cVars = static_cast<WORD>(type.variables.size());
    attributes->cImplTypes = static_cast<WORD>(type.implemented.size());
    attributes->cbSizeVft = static_cast<WORD>(type.vtableSlots * sizeof(void*));
    attributes->cbAlignment = type.alignment;
    attributes->wTypeFlags = type.flags;
    attributes->wMajorVerNum = type.majorVersion;
    attributes->wMinorVerNum = type.minorVersion;
    if (type.kind == TKIND_ALIAS) {
        block.fillType(type.alias, attributes->tdescAlias);
    }
    return attributes;
}

void deleteTypeAttr(TYPEATTR* attributes) {
    std::free(attributes);
}

FUNCDESC* newFuncDesc(const Function& function, bool dispatchForm) {
    const DispatchSignature signature =
        dispatchForm ? dispatchSignature(function)
                     : DispatchSignature{function.result, function.parameters.size()};
    std::size_t size = piece(sizeof(FUNCDESC)) +
                       piece(sizeof(ELEMDESC) * signature.parameterCount) +
                       typeBytes(signature.result);
    for (std::size_t i = 0; i < signature.parameterCount; ++i) {
        const Parameter& p = function.parameters[i];
        size += typeBytes(p.type) + (p.defaultValue ? piece(sizeof(PARAMDESCEX)) : 0);
    }
    Block block(size);
    if (!block.valid()) {
        return nullptr;
    }
    auto* desc = block.take<FUNCDESC>();
    auto* parameters = block.take<ELEMDESC>(signature.parameterCount);
    desc->memid = function.memid;
    desc->lprgelemdescParam = signature.parameterCount ? parameters : nullptr;
    desc->funckind = dispatchForm ? FUNC_DISPATCH : function.kind;
    desc->invkind = function.invokeKind;
    desc->callconv = function.callConv;
    desc->cParams = static_cast<SHORT>(signature.parameterCount);
    desc->cParamsOpt = function.optionalCount;
    desc->oVft = static_cast<SHORT>(function.vtableSlot * sizeof(void*));
    desc->wFuncFlags = function.flags;
    block.fillType(signature.result, desc->elemdescFunc.tdesc);
    for (std::size_t i = 0; i < signature.parameterCount; ++i) {
        const Parameter& p = function.parameters[i];
        block.fillType(p.type, parameters[i].tdesc);
        parameters[i].paramdesc.wParamFlags = p.flags;
        if (p.defaultValue) {
            auto* extra = block.take<PARAMDESCEX>();
            extra->cBytes = sizeof(PARAMDESCEX);
            constantToVariant(*p.defaultValue, extra->varDefaultValue);
            parameters[i].paramdesc.pparamdescex = extra;
        }
    }
    return desc;
}

void deleteFuncDesc(FUNCDESC* function) {
    if (function == nullptr) {
        return;
    }
    for (SHORT i = 0; i < function->cParams; ++i) {
        PARAMDESC& p = function->lprgelemdescParam[i].paramdesc;
        if (p.pparamdescex != nullptr) {
            VariantClear(&p.pparamdescex->varDefaultValue);
        }
    }
    std::free(function);
}

VARDESC* newVarDesc(const Variable& variable) {
    Block block(piece(sizeof(VARDESC)) + typeBytes(variable.type) +
                (variable.value ? piece(sizeof(VARIANT)) : 0));
    if (!block.valid()) {
        return nullptr;
    }
    auto* desc = block.take<VARDESC>();
    desc->memid = variable.memid;
    desc->varkind = variable.kind;
    desc->wVarFlags = variable.flags;
    block.fillType(variable.type, desc->elemdescVar.tdesc);
    if (variable.value) {
        auto* value = block.take<VARIANT>();
        constantToVariant(*variable.value, *value);
        desc->lpvarValue = value;
    } else {
        desc->oInst = variable.instanceOffset;
    }
    return desc;
}

void deleteVarDesc(VARDESC* variable) {
    if (variable == nullptr) {
        return;
    }
    if (variable->varkind == VAR_CONST && variable->lpvarValue != nullptr) {
        VariantClear(variable->lpvarValue);
    }
    std::free(variable);
}

}  // namespace gs::platform::oleaut
