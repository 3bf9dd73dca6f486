// Drives the visualizer's automation interface, loaded from Glimmerstrand.so through its exports,
// with arbitrary strings and arguments: put_foregroundColor, GetIDsOfNames, Invoke with any
// member, flags and well-formed arguments of any plain type, by value or by reference. Sanitizers
// catch what goes wrong inside; the checks below hold the colour property to its rules and find
// references that the object or the dispatch machinery took and never gave back.
//
// An input is a sequence of operations, each an opcode byte followed by its operands; strings are
// a length byte and that many UTF-16 units (length 255: a null string).
#include <stdlib.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>

#include "fuzz/byte_reader.h"
#include "platform/linux/registry_testing.h"
#include "platform/linux/testing.h"
#include "platform/win32.h"
#include "plugin/glimmerstrand_interface.h"
#include "plugin/player_interfaces.h"
#include "render/software/adapter.h"
#include "tests/module/player_module.h"

namespace {

using gs::fuzz::ByteReader;

constexpr int kMostOperations = 32;
constexpr UINT kMostArguments = 4;
constexpr UINT kMostNames = 4;

std::filesystem::path folder;
gs::test::PlayerModule* module = nullptr;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "automation_fuzzer: %s\n", what);
        std::abort();
    }
}

// An object handed to the callee inside VT_UNKNOWN and VT_DISPATCH arguments. It answers every
// call and counts references, so that one kept by the callee shows.
class CountingDispatch final : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count != nullptr) {
            *count = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    long references = 1;  // the fuzzer's own
};

CountingDispatch argumentObject;

// A string of the input: null, or exactly the units given (NULs included).
BSTR readString(ByteReader& in) {
    const unsigned length = in.read<std::uint8_t>();
    if (length == 255) {
        return nullptr;
    }
    BSTR text = SysAllocStringLen(nullptr, length);
    check(text != nullptr, "no memory for a string");
    for (unsigned i = 0; i < length; ++i) {
        text[i] = in.read<std::uint16_t>();
    }
    return text;
}

// What put_foregroundColor must make of a text: its result, and the getter's text afterwards.
HRESULT expectedPut(const OLECHAR* text, std::u16string& colour) {
    if (text == nullptr) {
        return E_POINTER;
    }
    std::size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    if (length != 7) {
        return E_INVALIDARG;
    }
    std::u16string digits = u"#";
    for (std::size_t i = 1; i < 7; ++i) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            digits += c;
        } else if ((c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f')) {
            digits += static_cast<char16_t>(c & ~0x20);
        } else {
            return E_INVALIDARG;
        }
    }
    colour = digits;
    return S_OK;
}

std::u16string textOf(BSTR text) {
    return text == nullptr ? u"<null>" : std::u16string(text, SysStringLen(text));
}

std::u16string currentColour(IGlimmerstrand* object) {
    BSTR text = nullptr;
    check(object->get_foregroundColor(&text) == S_OK, "the getter failed");
    std::u16string colour = textOf(text);
    SysFreeString(text);
    return colour;
}

DISPID readMember(ByteReader& in) {
    switch (in.read<std::uint8_t>() % 6) {
        case 0:
            return 1;  // foregroundColor
        case 1:
            return DISPID_VALUE;
        case 2:
            return DISPID_UNKNOWN;
        case 3:
            return DISPID_PROPERTYPUT;
        case 4:
            return DISPID_NEWENUM;
        default:
            return in.read<std::int32_t>();
    }
}

LCID readLocale(ByteReader& in) {
    switch (in.read<std::uint8_t>() % 4) {
        case 0:
        case 1:
            return 0x0409;
        case 2:
            return LOCALE_USER_DEFAULT;
        default:
            return in.read<std::uint32_t>();
    }
}

// One argument and what it refers to when it is passed by reference.
struct Argument {
    VARIANT value;
    VARIANT target;  // the storage a by-reference argument points into
    VARIANT inner;   // the variant a VT_BYREF | VT_VARIANT argument points at

    Argument() {
        VariantInit(&value);
        VariantInit(&target);
        VariantInit(&inner);
    }
    ~Argument() {
        // The callee may have replaced what a reference points at; the caller frees it.
        if ((value.vt & VT_BYREF) == 0) {
            VariantClear(&value);
        }
        VariantClear(&target);
        VariantClear(&inner);
    }
    Argument(const Argument&) = delete;
    Argument& operator=(const Argument&) = delete;
};

constexpr VARTYPE kPlainTypes[] = {VT_EMPTY,   VT_NULL,    VT_I2,   VT_I4,       VT_R4,    VT_R8,
                                   VT_CY,      VT_DATE,    VT_BSTR, VT_DISPATCH, VT_ERROR, VT_BOOL,
                                   VT_UNKNOWN, VT_DECIMAL, VT_I1,   VT_UI1,      VT_UI2,   VT_UI4,
                                   VT_I8,      VT_UI8,     VT_INT,  VT_UINT};

// A well-formed value of a plain type into `v`.
void readPlainValue(ByteReader& in, VARTYPE type, VARIANT& v) {
    VariantInit(&v);
    if (type == VT_DECIMAL) {
        in.take(&v.decVal, sizeof v.decVal);
    } else if (type == VT_BSTR) {
        v.bstrVal = readString(in);
    } else if (type == VT_DISPATCH || type == VT_UNKNOWN) {
        if (in.read<std::uint8_t>() & 1) {
            v.pdispVal = &argumentObject;
            argumentObject.AddRef();
        }
    } else {
        v.llVal = in.read<std::int64_t>();
    }
    v.vt = type;
}

void readArgument(ByteReader& in, Argument& argument) {
    const std::uint8_t choice = in.read<std::uint8_t>();
    const VARTYPE type = kPlainTypes[(choice & 0x7F) % std::size(kPlainTypes)];
    if ((choice & 0x80) == 0) {
        readPlainValue(in, type, argument.value);
        return;
    }
    if (type == VT_EMPTY || type == VT_NULL) {
        // By reference to a variant, which holds a plain value of its own.
        const VARTYPE innerType = kPlainTypes[in.read<std::uint8_t>() % std::size(kPlainTypes)];
        readPlainValue(in, innerType, argument.inner);
        argument.value.vt = VT_BYREF | VT_VARIANT;
        argument.value.pvarVal = &argument.inner;
        return;
    }
    readPlainValue(in, type, argument.target);
    argument.value.vt = VT_BYREF | type;
    argument.value.byref = type == VT_DECIMAL ? static_cast<void*>(&argument.target.decVal)
                                              : static_cast<void*>(&argument.target.llVal);
}

void invoke(ByteReader& in, IGlimmerstrand* object) {
    const DISPID member = readMember(in);
    const std::uint8_t flagChoice = in.read<std::uint8_t>();
    const WORD flags =
        flagChoice < 200 ? static_cast<WORD>(1u << (flagChoice % 4)) : in.read<std::uint16_t>();
    const LCID locale = readLocale(in);
    const UINT count = in.read<std::uint8_t>() % (kMostArguments + 1);
    const UINT named = count == 0 ? 0 : in.read<std::uint8_t>() % (count + 1);
    const std::uint8_t outputs = in.read<std::uint8_t>();

    Argument arguments[kMostArguments];
    VARIANT values[kMostArguments];
    DISPID namedIds[kMostArguments];
    for (UINT i = 0; i < named; ++i) {
        namedIds[i] = readMember(in);
    }
    for (UINT i = 0; i < count; ++i) {
        readArgument(in, arguments[i]);
        values[i] = arguments[i].value;
    }
    DISPPARAMS parameters = {count > 0 ? values : nullptr, named > 0 ? namedIds : nullptr, count,
                             named};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception = {};
    UINT argumentError = 0;
    const HRESULT hr = object->Invoke(
        member, GUID_NULL, locale, flags, &parameters, (outputs & 1) ? &result : nullptr,
        (outputs & 2) ? &exception : nullptr, (outputs & 4) ? &argumentError : nullptr);
    if (SUCCEEDED(hr) && member == 1 && flags == DISPATCH_PROPERTYGET && (outputs & 1)) {
        check(result.vt == VT_BSTR && SysStringLen(result.bstrVal) == 7,
              "a property get that succeeded without the colour text");
    }
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    // Arguments passed by value are the caller's; the callee may only have read them.
    for (UINT i = 0; i < count; ++i) {
        check(values[i].vt == arguments[i].value.vt, "the callee changed an argument's type");
    }
}

void getIdsOfNames(ByteReader& in, IGlimmerstrand* object) {
    const UINT count = in.read<std::uint8_t>() % (kMostNames + 1);
    BSTR names[kMostNames] = {};
    for (UINT i = 0; i < count; ++i) {
        names[i] = readString(in);
        if (names[i] == nullptr) {
            names[i] = SysAllocString(u"");  // names are never null
        }
    }
    const LCID locale = readLocale(in);
    DISPID ids[kMostNames];
    for (DISPID& id : ids) {
        id = 12345;
    }
    const HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, count, locale, ids);
    if (hr == S_OK && count >= 1) {
        check(ids[0] == 1, "a name found that is not foregroundColor");
        const char16_t expected[] = u"foregroundcolor";
        for (std::size_t i = 0; i < 16; ++i) {
            const char16_t c = names[0][i];
            check((c < 0x80 ? static_cast<char16_t>(std::tolower(c)) : c) == expected[i],
                  "a name other than foregroundColor found as foregroundColor");
        }
    }
    for (UINT i = 0; i < count; ++i) {
        SysFreeString(names[i]);
    }
}

void typeInfo(ByteReader& in, IGlimmerstrand* object) {
    const UINT index = in.read<std::uint32_t>();
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(std::uintptr_t{0xdead});
    const HRESULT hr = object->GetTypeInfo(index, readLocale(in), &info);
    check(SUCCEEDED(hr) ? info != nullptr : info == nullptr, "type information and result differ");
    if (info != nullptr) {
        info->Release();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string scratch = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    scratch += "/gs-automation-fuzz-XXXXXX";
    check(mkdtemp(scratch.data()) != nullptr, "no scratch folder");
    folder = scratch;
    std::atexit([] { std::filesystem::remove_all(folder); });
    gs::platform::registry::testing::useStore((folder / "registry").c_str());
    gs::platform::registry::testing::syncWrites(false);
    gsTestSilenceMessageBoxes(TRUE);
    gs::render::software::AdapterSettings settings = gs::render::software::adapterSettings();
    settings.displayMode = {32, 32, 60, gs::render::Format::X8R8G8B8};
    gs::render::software::setAdapterSettings(settings);

    // Automation clients find the type library through the registry.
    const std::string path = GS_MODULE_PATH;
    const std::u16string widePath(path.begin(), path.end());
    ITypeLib* library = nullptr;
    check(LoadTypeLibEx(widePath.c_str(), REGKIND_REGISTER, &library) == S_OK,
          "the module's type library does not register");
    library->Release();
    module = new gs::test::PlayerModule(GS_MODULE_PATH);
    check(module->loaded(), "the module does not load");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    const std::size_t openKeys = gs::platform::registry::testing::openKeyCount();
    IWMPEffects2* effects = nullptr;
    check(module->createVisualizer(&effects) == S_OK, "no visualizer");
    IGlimmerstrand* object = nullptr;
    check(effects->QueryInterface(gs::plugin::kIIDGlimmerstrand,
                                  reinterpret_cast<void**>(&object)) == S_OK,
          "no automation interface");
    effects->Release();

    std::u16string colour = u"#FF0000";
    for (int operation = 0; operation < kMostOperations && !in.empty(); ++operation) {
        switch (in.read<std::uint8_t>() % 4) {
            case 0: {
                BSTR text = readString(in);
                std::u16string expectedColour = colour;
                const HRESULT expected = expectedPut(text, expectedColour);
                check(object->put_foregroundColor(text) == expected,
                      "put_foregroundColor answered other than its rules say");
                SysFreeString(text);
                colour = expectedColour;
                check(currentColour(object) == colour, "the getter does not give back the colour");
                break;
            }
            case 1:
                getIdsOfNames(in, object);
                break;
            case 2:
                invoke(in, object);
                colour = currentColour(object);  // a put through Invoke may have changed it
                break;
            default:
                typeInfo(in, object);
                break;
        }
    }

    check(object->Release() == 0, "the visualizer kept a reference");
    check(module->canUnloadNow() == S_OK, "a module lock was left");
    check(argumentObject.references == 1, "an argument's object kept a reference");
    check(gs::platform::registry::testing::openKeyCount() == openKeys, "a registry key left open");
    return 0;
}
