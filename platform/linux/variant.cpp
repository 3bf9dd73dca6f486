#include "platform/linux/variant.h"

#include <cstring>
#include <string>

#include "platform/linux/oleaut/number_text.h"
#include "platform/linux/typeinfo.h"

namespace {

using gs::platform::oleaut::ParsedInteger;

// The base types a VARIANT may hold by value. Safe arrays and records are not offered on this
// platform, so variants holding them are refused as bad types rather than half handled.
bool isValueType(VARTYPE base) {
    switch (base) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

bool isValidVariantType(VARTYPE vt) {
    if ((vt & VT_BYREF) != 0) {
        const VARTYPE base = vt & ~VT_BYREF;
        return base == VT_VARIANT || (base != VT_EMPTY && base != VT_NULL && isValueType(base));
    }
    return isValueType(vt);
}

// The value a by-reference variant points at, as a by-value variant. Strings and interfaces are
// shared, not copied. E_INVALIDARG for a null reference or a variant that refers to a reference.
HRESULT dereference(const VARIANT& source, VARIANT& value) {
    VariantInit(&value);
    const VARTYPE base = source.vt & ~VT_BYREF;
    if (source.byref == nullptr) {
        return E_INVALIDARG;
    }
    if (base == VT_VARIANT) {
        if ((source.pvarVal->vt & VT_BYREF) != 0 || !isValidVariantType(source.pvarVal->vt)) {
            return E_INVALIDARG;
        }
        value = *source.pvarVal;
        return S_OK;
    }
    value.vt = base;
    switch (base) {
        case VT_I1:
        case VT_UI1:
            value.bVal = *source.pbVal;
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            value.iVal = *source.piVal;
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            value.lVal = *source.plVal;
            break;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            value.llVal = *source.pllVal;
            break;
        case VT_BSTR:
            value.bstrVal = *source.pbstrVal;
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            value.punkVal = *source.ppunkVal;
            break;
        case VT_DECIMAL:
            value.decVal = *source.pdecVal;
            value.vt = VT_DECIMAL;  // the decimal overlays the type word
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

// Copies a by-value variant into an empty one, taking its own string copy or reference.
HRESULT copyValue(VARIANT& target, const VARIANT& source) {
    target = source;
    if (source.vt == VT_BSTR && source.bstrVal != nullptr) {
        target.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source.bstrVal),
                                               SysStringByteLen(source.bstrVal));
        if (target.bstrVal == nullptr) {
            target.vt = VT_EMPTY;
            return E_OUTOFMEMORY;
        }
    } else if ((source.vt == VT_UNKNOWN || source.vt == VT_DISPATCH) && source.punkVal) {
        source.punkVal->AddRef();
    }
    return S_OK;
}

bool asInteger(const VARIANT& value, ParsedInteger& out) {
    auto fromSigned = [&](std::int64_t v) {
        out = ParsedInteger{
            v < 0, v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v),
            false};
    };
    switch (value.vt) {
        case VT_EMPTY:
            fromSigned(0);
            return true;
        case VT_BOOL:
            fromSigned(value.boolVal);
            return true;
        case VT_I1:
            fromSigned(value.cVal);
            return true;
        case VT_I2:
            fromSigned(value.iVal);
            return true;
        case VT_I4:
        case VT_INT:
            fromSigned(value.lVal);
            return true;
        case VT_I8:
            fromSigned(value.llVal);
            return true;
        case VT_UI1:
            out = ParsedInteger{false, value.bVal, false};
            return true;
        case VT_UI2:
            out = ParsedInteger{false, value.uiVal, false};
            return true;
        case VT_UI4:
        case VT_UINT:
            out = ParsedInteger{false, value.ulVal, false};
            return true;
        case VT_UI8:
            out = ParsedInteger{false, value.ullVal, false};
            return true;
        default:
            return false;
    }
}

HRESULT toInteger(const VARIANT& value, ParsedInteger& out) {
    if (value.vt == VT_BSTR) {
        return gs::platform::oleaut::parseInteger(value.bstrVal ? value.bstrVal : u"", out);
    }
    return asInteger(value, out) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT toBoolean(const VARIANT& value, VARIANT_BOOL& out) {
    if (value.vt == VT_BSTR) {
        const OLECHAR* text = value.bstrVal ? value.bstrVal : u"";
        const std::size_t length = SysStringLen(value.bstrVal);
        if (gs::platform::oleaut::equalsIgnoringAsciiCase(text, length, "true")) {
            out = VARIANT_TRUE;
            return S_OK;
        }
        if (gs::platform::oleaut::equalsIgnoringAsciiCase(text, length, "false")) {
            out = VARIANT_FALSE;
            return S_OK;
        }
    }
    ParsedInteger number;
    if (HRESULT hr = toInteger(value, number); FAILED(hr)) {
        return hr;
    }
    out = number.magnitude != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT toText(const VARIANT& value, USHORT flags, BSTR& out) {
    std::u16string text;
    if (value.vt == VT_BOOL) {
        if ((flags & VARIANT_ALPHABOOL) != 0) {
            text = value.boolVal ? u"True" : u"False";
        } else {
            text = value.boolVal ? u"-1" : u"0";
        }
    } else if (value.vt != VT_EMPTY) {
        ParsedInteger number;
        if (!asInteger(value, number)) {
            return DISP_E_TYPEMISMATCH;
        }
        text = number.negative ? u"-" + gs::platform::oleaut::formatUnsigned(number.magnitude)
                               : gs::platform::oleaut::formatUnsigned(number.magnitude);
    }
    out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return out != nullptr ? S_OK : E_OUTOFMEMORY;
}

int integerBits(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_UI1:
            return 8;
        case VT_I2:
        case VT_UI2:
            return 16;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return 32;
        case VT_I8:
        case VT_UI8:
            return 64;
        default:
            return 0;
    }
}

bool isSignedInteger(VARTYPE type) {
    return type == VT_I1 || type == VT_I2 || type == VT_I4 || type == VT_I8 || type == VT_INT;
}

// Converts a by-value variant into `type`, writing a fresh value into `out` (left empty on
// failure).
HRESULT convert(const VARIANT& value, VARTYPE type, USHORT flags, VARIANT& out) {
    VariantInit(&out);
    if (value.vt == type) {
        return copyValue(out, value);
    }
    if (const int bits = integerBits(type); bits != 0) {
        if (integerBits(value.vt) == bits) {
            // Signed and unsigned integers of one width trade their bit patterns.
            out.ullVal = value.ullVal & (bits == 64 ? ~0ull : (1ull << bits) - 1);
            out.vt = type;
            return S_OK;
        }
        ParsedInteger number;
        if (HRESULT hr = toInteger(value, number); FAILED(hr)) {
            return hr;
        }
        if (isSignedInteger(type)) {
            std::int64_t narrowed = 0;
            if (HRESULT hr = gs::platform::oleaut::narrowSigned(number, bits, narrowed);
                FAILED(hr)) {
                return hr;
            }
            out.llVal = 0;
            switch (bits) {
                case 8:
                    out.cVal = static_cast<CHAR>(narrowed);
                    break;
                case 16:
                    out.iVal = static_cast<SHORT>(narrowed);
                    break;
                case 32:
                    out.lVal = static_cast<LONG>(narrowed);
                    break;
                default:
                    out.llVal = narrowed;
            }
        } else {
            std::uint64_t narrowed = 0;
            if (HRESULT hr = gs::platform::oleaut::narrowUnsigned(number, bits, narrowed);
                FAILED(hr)) {
                return hr;
            }
            out.ullVal = narrowed;  // little-endian: the narrower members share the low bytes
        }
        out.vt = type;
        return S_OK;
    }
    switch (type) {
        case VT_BOOL: {
            VARIANT_BOOL result = VARIANT_FALSE;
            if (HRESULT hr = toBoolean(value, result); FAILED(hr)) {
                return hr;
            }
            out.vt = VT_BOOL;
            out.boolVal = result;
            return S_OK;
        }
        case VT_BSTR: {
            BSTR result = nullptr;
            if (HRESULT hr = toText(value, flags, result); FAILED(hr)) {
                return hr;
            }
            out.vt = VT_BSTR;
            out.bstrVal = result;
            return S_OK;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            if ((value.vt != VT_UNKNOWN && value.vt != VT_DISPATCH) || value.punkVal == nullptr) {
                return DISP_E_TYPEMISMATCH;
            }
            void* result = nullptr;
            const IID& iid = type == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch;
            if (FAILED(value.punkVal->QueryInterface(iid, &result))) {
                return DISP_E_TYPEMISMATCH;
            }
            out.vt = type;
            out.punkVal = static_cast<IUnknown*>(result);
            return S_OK;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

bool isSupportedTarget(VARTYPE type) {
    return integerBits(type) != 0 || type == VT_BOOL || type == VT_BSTR || type == VT_EMPTY ||
           type == VT_NULL || type == VT_ERROR || type == VT_UNKNOWN || type == VT_DISPATCH;
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* value) {
    if (value != nullptr) {
        std::memset(value, 0, sizeof(*value));
        value->vt = VT_EMPTY;
    }
}

HRESULT VariantClear(VARIANTARG* value) {
    if (value == nullptr) {
        return E_INVALIDARG;
    }
    if (!isValidVariantType(value->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (value->vt == VT_BSTR) {
        SysFreeString(value->bstrVal);
    } else if ((value->vt == VT_UNKNOWN || value->vt == VT_DISPATCH) && value->punkVal) {
        value->punkVal->Release();
    }
    value->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source) {
    if (target == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if (target == source) {
        return S_OK;
    }
    if (!isValidVariantType(source->vt)) {
        return DISP_E_BADVARTYPE;
    }
    if (HRESULT hr = VariantClear(target); FAILED(hr)) {
        return hr;
    }
    return copyValue(*target, *source);
}

HRESULT VariantCopyInd(VARIANT* target, const VARIANTARG* source) {
    if (target == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if ((source->vt & VT_BYREF) == 0) {
        return VariantCopy(target, source);
    }
    if (!isValidVariantType(source->vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT value;
    if (HRESULT hr = dereference(*source, value); FAILED(hr)) {
        return hr;
    }
    VARIANT copy;
    if (HRESULT hr = copyValue(copy, value); FAILED(hr)) {
        return hr;
    }
    // The source may be the target itself: it is released only after its value was copied.
    if (HRESULT hr = VariantClear(target); FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *target = copy;
    return S_OK;
}

HRESULT VariantChangeTypeEx(VARIANTARG* target, const VARIANTARG* source, LCID locale, USHORT flags,
                            VARTYPE type) {
    if (target == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if (!isValidVariantType(source->vt) || (!isValidVariantType(type) && type != VT_VARIANT) ||
        (type & VT_BYREF)) {
        return DISP_E_BADVARTYPE;
    }
    if (!isSupportedTarget(type)) {
        return DISP_E_TYPEMISMATCH;
    }
    VARIANT value;
    if ((source->vt & VT_BYREF) != 0) {
        if (HRESULT hr = dereference(*source, value); FAILED(hr)) {
            return hr;
        }
    } else {
        value = *source;
    }
    // An object converts through its value property, as automation clients expect.
    VARIANT property;
    VariantInit(&property);
    if (value.vt == VT_DISPATCH && type != VT_DISPATCH && type != VT_UNKNOWN &&
        (flags & VARIANT_NOVALUEPROP) == 0) {
        if (value.pdispVal == nullptr) {
            return DISP_E_TYPEMISMATCH;
        }
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        HRESULT hr = value.pdispVal->Invoke(DISPID_VALUE, GUID_NULL, locale, DISPATCH_PROPERTYGET,
                                            &none, &property, nullptr, nullptr);
        if (FAILED(hr) || property.vt == VT_DISPATCH || (property.vt & VT_BYREF) != 0) {
            VariantClear(&property);
            return DISP_E_TYPEMISMATCH;
        }
        value = property;
    }
    VARIANT result;
    HRESULT hr = convert(value, type, flags, result);
    VariantClear(&property);
    if (FAILED(hr)) {
        return hr;
    }
    if (HRESULT cleared = VariantClear(target); FAILED(cleared)) {
        VariantClear(&result);
        return cleared;
    }
    *target = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT flags,
                          VARTYPE type) {
    return VariantChangeTypeEx(target, source, LOCALE_USER_DEFAULT, flags, type);
}

HRESULT VarUI4FromStr(const OLECHAR* text, LCID, ULONG, ULONG* out) {
    if (text == nullptr || out == nullptr) {
        return E_INVALIDARG;
    }
    ParsedInteger number;
    std::uint64_t value = 0;
    HRESULT hr = gs::platform::oleaut::parseInteger(text, number);
    if (SUCCEEDED(hr)) {
        hr = gs::platform::oleaut::narrowUnsigned(number, 32, value);
    }
    if (SUCCEEDED(hr)) {
        *out = static_cast<ULONG>(value);
    }
    return hr;
}

HRESULT VarI4FromStr(const OLECHAR* text, LCID, ULONG, LONG* out) {
    if (text == nullptr || out == nullptr) {
        return E_INVALIDARG;
    }
    ParsedInteger number;
    std::int64_t value = 0;
    HRESULT hr = gs::platform::oleaut::parseInteger(text, number);
    if (SUCCEEDED(hr)) {
        hr = gs::platform::oleaut::narrowSigned(number, 32, value);
    }
    if (SUCCEEDED(hr)) {
        *out = static_cast<LONG>(value);
    }
    return hr;
}

HRESULT VarBstrFromUI4(ULONG value, LCID, ULONG, BSTR* out) {
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    const std::u16string text = gs::platform::oleaut::formatUnsigned(value);
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT VarBstrFromI4(LONG value, LCID, ULONG, BSTR* out) {
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    const std::u16string text = gs::platform::oleaut::formatSigned(value);
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // extern "C"
