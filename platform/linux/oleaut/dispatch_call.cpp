// DispCallFunc: the one place where a call is made from a description instead of a prototype.
//
// On the 64-bit System V ABI (x86-64) and AAPCS64 (AArch64), integer-class arguments each occupy
// the next 64-bit integer register or stack slot, whatever their declared width, and an
// integer-class result comes back in the first integer register. So a function taking N such
// arguments can be called through a prototype of N 64-bit words, each argument widened to 64
// bits first (sign- or zero-extended as its type says, which is what the callee may rely on).
// Floating-point arguments would travel in other registers and aggregates in memory; those are
// refused rather than passed wrongly.
#include <array>
#include <cstdint>
#include <utility>

#include "platform/linux/oleauto.h"

#if !(defined(__x86_64__) || defined(__aarch64__))
#error "DispCallFunc passes integer arguments as 64-bit words; port it to this ABI first"
#endif

namespace {

using Word = std::uint64_t;
constexpr std::size_t kMaxWords = 17;  // the object and 16 arguments

template <std::size_t... I>
Word callWith(void* function, const Word* words, std::index_sequence<I...>) {
    using Prototype = Word (*)(decltype(I, Word{})...);
    return reinterpret_cast<Prototype>(function)(words[I]...);
}

template <std::size_t... N>
constexpr auto makeCallers(std::index_sequence<N...>) {
    using Caller = Word (*)(void*, const Word*);
    return std::array<Caller, sizeof...(N)>{[](void* function, const Word* words) {
        return callWith(function, words, std::make_index_sequence<N>{});
    }...};
}

constexpr auto kCallers = makeCallers(std::make_index_sequence<kMaxWords + 1>{});

// An argument widened to a word; false for types that do not travel in integer registers.
bool toWord(VARTYPE type, const VARIANTARG& value, Word& word) {
    if ((type & VT_BYREF) != 0) {
        word = reinterpret_cast<std::uintptr_t>(value.byref);
        return true;
    }
    switch (type) {
        case VT_I1:
            word = static_cast<Word>(static_cast<std::int64_t>(value.cVal));
            return true;
        case VT_UI1:
            word = value.bVal;
            return true;
        case VT_I2:
        case VT_BOOL:
            word = static_cast<Word>(static_cast<std::int64_t>(value.iVal));
            return true;
        case VT_UI2:
            word = value.uiVal;
            return true;
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
        case VT_HRESULT:
            word = static_cast<Word>(static_cast<std::int64_t>(value.lVal));
            return true;
        case VT_UI4:
        case VT_UINT:
            word = value.ulVal;
            return true;
        case VT_I8:
        case VT_UI8:
            word = value.ullVal;
            return true;
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
        case VT_PTR:
        case VT_INT_PTR:
        case VT_UINT_PTR:
            word = reinterpret_cast<std::uintptr_t>(value.byref);
            return true;
        default:
            return false;
    }
}

// Stores a returned word as a variant of `type`; false for types not returned in a register.
bool fromWord(VARTYPE type, Word word, VARIANT& result) {
    VariantInit(&result);
    switch (type) {
        case VT_EMPTY:
        case VT_VOID:
            return true;
        case VT_I1:
        case VT_UI1:
            result.bVal = static_cast<BYTE>(word);
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            result.uiVal = static_cast<USHORT>(word);
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            result.ulVal = static_cast<ULONG>(word);
            break;
        case VT_HRESULT:
            result.ulVal = static_cast<ULONG>(word);
            result.vt = VT_ERROR;
            return true;
        case VT_I8:
        case VT_UI8:
            result.ullVal = word;
            break;
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            result.byref = reinterpret_cast<void*>(static_cast<std::uintptr_t>(word));
            break;
        default:
            return false;
    }
    result.vt = type;
    return true;
}

bool returnsInRegister(VARTYPE type) {
    VARIANT probe;
    return fromWord(type, 0, probe);
}

}  // namespace

extern "C" HRESULT DispCallFunc(void* instance, ULONG_PTR vtableOffset, CALLCONV callConv,
                                VARTYPE returnType, UINT count, VARTYPE* types,
                                VARIANTARG** arguments, VARIANT* result) {
    // Every calling convention a library may name is the same one on these ABIs.
    if (callConv >= CC_MAX || (count > 0 && (types == nullptr || arguments == nullptr))) {
        return E_INVALIDARG;
    }
    std::array<Word, kMaxWords> words{};
    std::size_t used = 0;
    void* function = nullptr;
    if (instance != nullptr) {
        if (vtableOffset % sizeof(void*) != 0) {
            return E_INVALIDARG;
        }
        void* const* vtable = *static_cast<void* const* const*>(instance);
        function = vtable[vtableOffset / sizeof(void*)];
        words[used++] = reinterpret_cast<std::uintptr_t>(instance);
    } else {
        function = reinterpret_cast<void*>(vtableOffset);
    }
    if (function == nullptr || count > kMaxWords - used) {
        return E_INVALIDARG;
    }
    for (UINT i = 0; i < count; ++i) {
        if (arguments[i] == nullptr || !toWord(types[i], *arguments[i], words[used++])) {
            return DISP_E_BADVARTYPE;
        }
    }
    if (!returnsInRegister(returnType)) {
        return DISP_E_BADVARTYPE;
    }
    const Word returned = kCallers[used](function, words.data());
    VARIANT value;
    fromWord(returnType, returned, value);
    if (result != nullptr) {
        *result = value;
    } else {
        VariantClear(&value);
    }
    return S_OK;
}

extern "C" HRESULT DispGetIDsOfNames(ITypeInfo* typeInfo, OLECHAR** names, UINT count,
                                     DISPID* ids) {
    if (typeInfo == nullptr) {
        return E_INVALIDARG;
    }
    return typeInfo->GetIDsOfNames(names, count, ids);
}

extern "C" HRESULT DispInvoke(void* instance, ITypeInfo* typeInfo, DISPID member, WORD flags,
                              DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                              UINT* argumentError) {
    if (typeInfo == nullptr) {
        return E_INVALIDARG;
    }
    return typeInfo->Invoke(instance, member, flags, parameters, result, exception, argumentError);
}
