#include "platform/linux/oleaut/invoke.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/linux/oleaut/com_object.h"
#include "platform/linux/oleaut/descriptions.h"
#include "platform/linux/oleauto.h"

namespace gs::platform::oleaut {
namespace {

// Aliases of aliases deeper than this are taken as a loop.
constexpr int kMaxAliasDepth = 16;

// How a parameter is passed: a value of `vt`, or (`reference`) a pointer to one. Interface
// pointers carry the interface the argument must be asked for.
struct CallType {
    VARTYPE vt = VT_EMPTY;
    bool reference = false;
    std::optional<IID> interfaceId;
};

bool isScalar(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_BOOL:
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return true;
        default:
            return false;
    }
}

// What a user-defined type stands for in a call: enumerations are 32-bit integers, aliases
// their aliased type, interfaces pointers to them.
HRESULT resolveUserDefined(ITypeInfo* owner, HREFTYPE reference, CallType& out, int depth) {
    if (depth > kMaxAliasDepth) {
        return DISP_E_BADVARTYPE;
    }
    ComRef<ITypeInfo> type;
    if (HRESULT hr = owner->GetRefTypeInfo(reference, type.put()); FAILED(hr)) {
        return hr;
    }
    TYPEATTR* attributes = nullptr;
    if (HRESULT hr = type->GetTypeAttr(&attributes); FAILED(hr)) {
        return hr;
    }
    HRESULT hr = S_OK;
    switch (attributes->typekind) {
        case TKIND_ENUM:
            out.vt = VT_I4;
            break;
        case TKIND_INTERFACE:
        case TKIND_DISPATCH:
            out.vt = attributes->typekind == TKIND_DISPATCH ? VT_DISPATCH : VT_UNKNOWN;
            out.interfaceId = attributes->guid;
            break;
        case TKIND_ALIAS:
            if (attributes->tdescAlias.vt == VT_USERDEFINED) {
                hr =
                    resolveUserDefined(type.get(), attributes->tdescAlias.hreftype, out, depth + 1);
            } else if (isScalar(attributes->tdescAlias.vt)) {
                out.vt = attributes->tdescAlias.vt;
            } else {
                hr = DISP_E_BADVARTYPE;
            }
            break;
        default:
            hr = DISP_E_BADVARTYPE;  // records and unions are not passed by this call
    }
    type->ReleaseTypeAttr(attributes);
    return hr;
}

HRESULT valueType(ITypeInfo* owner, const TypeLevel& level, CallType& out) {
    if (level.vt == VT_USERDEFINED) {
        return resolveUserDefined(owner, level.reference, out, 0);
    }
    if (level.vt == VT_HRESULT || level.vt == VT_ERROR) {
        out.vt = VT_ERROR;  // status codes; see prepare()
        return S_OK;
    }
    if (!isScalar(level.vt) && level.vt != VT_VARIANT) {
        return DISP_E_BADVARTYPE;  // floating point, arrays, records, ...: not passed here
    }
    out.vt = level.vt;
    return S_OK;
}

HRESULT parameterType(ITypeInfo* owner, const TypeSpec& type, CallType& out) {
    const std::vector<TypeLevel>& levels = type.levels;
    if (levels.empty()) {
        return DISP_E_BADVARTYPE;
    }
    if (levels[0].vt != VT_PTR) {
        if (HRESULT hr = valueType(owner, levels[0], out); FAILED(hr)) {
            return hr;
        }
        // A VARIANT by value or an interface by value cannot be passed in a register.
        return out.vt == VT_VARIANT || out.interfaceId ? DISP_E_BADVARTYPE : S_OK;
    }
    if (levels.size() < 2) {
        return DISP_E_BADVARTYPE;
    }
    if (levels[1].vt == VT_PTR) {
        // Pointer to an interface pointer: an [out] interface.
        if (levels.size() < 3 || FAILED(valueType(owner, levels[2], out)) || !out.interfaceId) {
            return DISP_E_BADVARTYPE;
        }
        out.reference = true;
        return S_OK;
    }
    if (HRESULT hr = valueType(owner, levels[1], out); FAILED(hr)) {
        return hr;
    }
    out.reference = !out.interfaceId;  // IFoo* is the interface pointer itself
    return S_OK;
}

HRESULT returnType(ITypeInfo* owner, const TypeSpec& type, VARTYPE& out) {
    switch (type.vt()) {
        case VT_VOID:
        case VT_EMPTY:
            out = VT_EMPTY;
            return S_OK;
        case VT_HRESULT:
            out = VT_HRESULT;
            return S_OK;
        default: {
            CallType call;
            if (HRESULT hr = parameterType(owner, type, call); FAILED(hr)) {
                return hr;
            }
            if (call.reference) {
                return DISP_E_BADVARTYPE;
            }
            out = call.vt;
            return S_OK;
        }
    }
}

// One parameter ready for DispCallFunc: `pass` is what the call reads; `held` owns whatever
// was made for the call (a converted value, an interface reference, a retval's storage).
struct Slot {
    VARIANT pass;
    VARIANT held;
    Slot() {
        VariantInit(&pass);
        VariantInit(&held);
    }
    ~Slot() { VariantClear(&held); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    // `pass` refers to `held`'s value, of type `vt`.
    void passHeldByReference(VARTYPE vt) {
        pass.vt = VT_BYREF | vt;
        pass.byref = vt == VT_VARIANT ? static_cast<void*>(&held) : static_cast<void*>(&held.llVal);
    }
};

IUnknown* interfaceArgument(const VARIANT& argument, bool& valid) {
    valid = true;
    switch (argument.vt) {
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return argument.punkVal;
        case VT_BYREF | VT_UNKNOWN:
        case VT_BYREF | VT_DISPATCH:
            return argument.ppunkVal ? *argument.ppunkVal : nullptr;
        case VT_EMPTY:
        case VT_NULL:
            return nullptr;
        default:
            valid = false;
            return nullptr;
    }
}

// Fills `slot` for one argument; DISP_E_TYPEMISMATCH when it cannot be passed as `type`.
HRESULT prepare(const CallType& type, USHORT parameterFlags, VARIANT& argument, Slot& slot) {
    if (type.interfaceId && !type.reference) {
        bool valid = false;
        IUnknown* object = interfaceArgument(argument, valid);
        if (!valid) {
            return DISP_E_TYPEMISMATCH;
        }
        void* asked = nullptr;
        if (object != nullptr && FAILED(object->QueryInterface(*type.interfaceId, &asked))) {
            return DISP_E_TYPEMISMATCH;
        }
        slot.held.vt = type.vt;
        slot.held.punkVal = static_cast<IUnknown*>(asked);
        slot.pass = slot.held;
        return S_OK;
    }
    if (type.reference) {
        const VARTYPE byReference = VT_BYREF | type.vt;
        if (argument.vt == byReference ||
            (type.interfaceId &&
             (argument.vt == (VT_BYREF | VT_UNKNOWN) || argument.vt == (VT_BYREF | VT_DISPATCH)))) {
            slot.pass = argument;  // the caller's own storage
            return S_OK;
        }
        if (type.vt == VT_VARIANT) {
            slot.pass.vt = VT_BYREF | VT_VARIANT;
            slot.pass.pvarVal =
                argument.vt == (VT_BYREF | VT_VARIANT) ? argument.pvarVal : &argument;
            return S_OK;
        }
        if (argument.vt == (VT_BYREF | VT_VARIANT) && argument.pvarVal != nullptr &&
            argument.pvarVal->vt == type.vt) {
            slot.pass.vt = byReference;
            slot.pass.byref = &argument.pvarVal->llVal;
            return S_OK;
        }
        if ((parameterFlags & PARAMFLAG_FOUT) != 0 || type.interfaceId) {
            return DISP_E_TYPEMISMATCH;  // the callee would write into a copy
        }
        if (FAILED(VariantChangeType(&slot.held, &argument, 0, type.vt))) {
            return DISP_E_TYPEMISMATCH;
        }
        slot.passHeldByReference(type.vt);
        return S_OK;
    }
    if (type.vt == VT_ERROR) {
        // A status code comes as one (VT_ERROR) or as a 32-bit integer.
        VARIANT code;
        VariantInit(&code);
        if (FAILED(VariantCopyInd(&code, &argument)) ||
            (code.vt != VT_ERROR && FAILED(VariantChangeType(&code, &code, 0, VT_I4)))) {
            VariantClear(&code);
            return DISP_E_TYPEMISMATCH;
        }
        slot.pass.vt = VT_ERROR;
        slot.pass.scode = code.scode;
        return S_OK;
    }
    if (FAILED(VariantChangeType(&slot.held, &argument, 0, type.vt))) {
        return DISP_E_TYPEMISMATCH;
    }
    slot.pass = slot.held;
    return S_OK;
}

void reportException(HRESULT code, EXCEPINFO* exception) {
    if (exception != nullptr) {
        std::memset(exception, 0, sizeof(*exception));
        exception->scode = code;
    }
}

}  // namespace

HRESULT invokeThroughVtable(ITypeInfo* owner, const Function& function, void* instance,
                            DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                            UINT* argumentError) {
    const std::vector<Parameter>& declared = function.parameters;
    const std::size_t count = declared.size();
    std::optional<std::size_t> retval;
    if (count > 0 && (declared.back().flags & PARAMFLAG_FRETVAL)) {
        retval = count - 1;
    }
    // The parameters the caller supplies, in order: all but the retval and locale ones.
    std::vector<std::size_t> visible;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != retval && (declared[i].flags & PARAMFLAG_FLCID) == 0) {
            visible.push_back(i);
        }
    }

    // Which rgvarg entry feeds each declared parameter.
    const UINT named = parameters->cNamedArgs;
    const UINT positional = parameters->cArgs - named;
    std::vector<std::optional<UINT>> source(count);
    std::size_t capacity = visible.size();
    const bool isPut = (function.invokeKind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;
    std::optional<UINT> putValue;
    if (isPut) {
        if (visible.empty()) {
            return DISP_E_BADPARAMCOUNT;
        }
        if (parameters->cArgs == 0) {
            return DISP_E_PARAMNOTOPTIONAL;
        }
        for (UINT k = 0; k < named && !putValue; ++k) {
            if (parameters->rgdispidNamedArgs[k] == DISPID_PROPERTYPUT) {
                putValue = k;
            }
        }
        if (!putValue) {
            return DISP_E_PARAMNOTFOUND;  // the value must be named DISPID_PROPERTYPUT
        }
        source[visible.back()] = *putValue;
        --capacity;
    }
    if (positional > capacity) {
        // Arguments beyond a property's own would index into what it returns.
        return function.invokeKind == INVOKE_PROPERTYGET ? DISP_E_NOTACOLLECTION
                                                         : DISP_E_BADPARAMCOUNT;
    }
    std::size_t required = 0;
    for (std::size_t v = 0; v < capacity; ++v) {
        const Parameter& p = declared[visible[v]];
        required += (p.flags & PARAMFLAG_FOPT) == 0 && !p.defaultValue ? 1 : 0;
    }
    if (parameters->cArgs - (putValue ? 1 : 0) < required) {
        return DISP_E_BADPARAMCOUNT;
    }
    for (UINT p = 0; p < positional; ++p) {
        source[visible[p]] = parameters->cArgs - 1 - p;
    }
    // Named arguments give a parameter's position as their DISPID.
    std::vector<bool> nameable(count, false);
    for (std::size_t v = 0; v < visible.size() - (isPut ? 1 : 0); ++v) {
        nameable[visible[v]] = true;
    }
    for (UINT k = 0; k < named; ++k) {
        if (putValue && k == *putValue) {
            continue;
        }
        const DISPID id = parameters->rgdispidNamedArgs[k];
        if (id < 0 || static_cast<std::size_t>(id) >= count || !nameable[id] || source[id]) {
            if (argumentError != nullptr) {
                *argumentError = k;
            }
            return DISP_E_PARAMNOTFOUND;
        }
        source[id] = k;
    }

    std::vector<Slot> slots(count);
    std::vector<VARIANT> defaults(count);
    struct DefaultsCleanup {
        std::vector<VARIANT>& values;
        ~DefaultsCleanup() {
            for (VARIANT& v : values) {
                VariantClear(&v);
            }
        }
    } cleanup{defaults};
    for (VARIANT& v : defaults) {
        VariantInit(&v);
    }

    for (std::size_t i = 0; i < count; ++i) {
        const Parameter& parameter = declared[i];
        Slot& slot = slots[i];
        if ((parameter.flags & PARAMFLAG_FLCID) != 0) {
            slot.pass.vt = VT_I4;
            slot.pass.lVal = LOCALE_USER_DEFAULT;
            continue;
        }
        CallType type;
        if (HRESULT hr = parameterType(owner, parameter.type, type); FAILED(hr)) {
            return hr;
        }
        if (i == retval) {
            if (!type.reference) {
                return DISP_E_BADVARTYPE;
            }
            if (type.vt != VT_VARIANT) {
                slot.held.vt = type.vt;  // zeroed storage the callee fills
            }
            slot.passHeldByReference(type.vt);
            continue;
        }
        VARIANT* argument = source[i] ? &parameters->rgvarg[*source[i]] : nullptr;
        if (argument != nullptr && argument->vt == VT_ERROR &&
            argument->scode == DISP_E_PARAMNOTFOUND) {
            argument = nullptr;  // the caller's way of leaving an optional argument out
        }
        if (argument == nullptr) {
            if (parameter.defaultValue) {
                constantToVariant(*parameter.defaultValue, defaults[i]);
            } else if ((parameter.flags & PARAMFLAG_FOPT) != 0 && type.vt == VT_VARIANT) {
                defaults[i].vt = VT_ERROR;
                defaults[i].scode = DISP_E_PARAMNOTFOUND;
            } else {
                return DISP_E_PARAMNOTOPTIONAL;
            }
            argument = &defaults[i];
        }
        if (HRESULT hr = prepare(type, parameter.flags, *argument, slot); FAILED(hr)) {
            if (argumentError != nullptr && source[i]) {
                *argumentError = *source[i];
            }
            return hr;
        }
    }

    VARTYPE returns = VT_EMPTY;
    if (HRESULT hr = returnType(owner, function.result, returns); FAILED(hr)) {
        return hr;
    }
    std::vector<VARTYPE> types(count);
    std::vector<VARIANTARG*> arguments(count);
    for (std::size_t i = 0; i < count; ++i) {
        types[i] = slots[i].pass.vt;
        arguments[i] = &slots[i].pass;
    }
    // Status codes come back as VT_ERROR, the variant type that holds them.
    VARIANT returned;
    VariantInit(&returned);
    if (HRESULT hr =
            DispCallFunc(instance, function.vtableSlot * sizeof(void*), function.callConv,
                         returns == VT_HRESULT ? VARTYPE{VT_ERROR} : returns,
                         static_cast<UINT>(count), types.data(), arguments.data(), &returned);
        FAILED(hr)) {
        return hr;
    }

    if (returns == VT_HRESULT) {
        if (FAILED(returned.scode)) {
            reportException(returned.scode, exception);
            return DISP_E_EXCEPTION;
        }
    } else if (returns != VT_EMPTY && !retval) {
        if (result != nullptr) {
            *result = returned;
        } else {
            VariantClear(&returned);
        }
    }
    if (retval && result != nullptr) {
        *result = slots[*retval].held;  // the result takes over the callee's value
        VariantInit(&slots[*retval].held);
    }
    return S_OK;
}

}  // namespace gs::platform::oleaut
