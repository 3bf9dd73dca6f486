// IDispatch of the visualizer as an automation client meets it: the module loaded with dlopen,
// objects made through its exports, the type library registered in a scratch registry. What the
// module does with the type information is watched through the recording LoadRegTypeLib of this
// program (recording_type_library.h).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <latch>
#include <thread>
#include <vector>

#include "platform/linux/registry_testing.h"
#include "platform/linux/testing.h"
#include "plugin/glimmerstrand_interface.h"
#include "tests/automation/recording_type_library.h"
#include "tests/automation/type_library_support.h"

namespace {

using gs::test::Bstr;
using gs::test::narrow;
using gs::test::ole;
using gs::test::OleString;
using gs::test::Ref;
using gs::test::typeLibraryRecord;

constexpr CLSID kClassId = {
    0x3CAE2904, 0x060B, 0x43DC, {0xA5, 0xD9, 0xC6, 0xAB, 0xB9, 0x18, 0x70, 0x7B}};
// The library's own locale: the only one LoadRegTypeLib finds it under.
constexpr LCID kLibraryLocale = 0x0409;
constexpr DISPID kUntouched = 0x7777;

using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFunction = HRESULT (*)();

// The plug-in module as a client holds it: a dlopen handle and two of its exports.
class LoadedModule {
public:
    LoadedModule() = default;
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule() { unload(); }

    void load() {
        ASSERT_EQ(handle_, nullptr);
        handle_ = dlopen(GS_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        getClassObject_ =
            reinterpret_cast<DllGetClassObjectFunction>(dlsym(handle_, "DllGetClassObject"));
        canUnloadNow_ =
            reinterpret_cast<DllCanUnloadNowFunction>(dlsym(handle_, "DllCanUnloadNow"));
        ASSERT_NE(getClassObject_, nullptr);
        ASSERT_NE(canUnloadNow_, nullptr);
    }

    // Unloads only a module that agrees to it; a module that stays mapped is a failure.
    void unload() {
        if (handle_ == nullptr) {
            return;
        }
        EXPECT_EQ(canUnloadNow_(), S_OK) << "an object or a lock was left";
        dlclose(handle_);
        handle_ = nullptr;
        void* still = dlopen(GS_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
        EXPECT_EQ(still, nullptr) << "the module stayed loaded after dlclose";
        if (still != nullptr) {
            dlclose(still);
        }
    }

    Ref<IGlimmerstrand> createVisualizer() {
        Ref<IClassFactory> factory;
        Ref<IGlimmerstrand> object;
        EXPECT_EQ(
            getClassObject_(kClassId, IID_IClassFactory, reinterpret_cast<void**>(factory.put())),
            S_OK);
        if (factory) {
            EXPECT_EQ(factory->CreateInstance(nullptr, gs::plugin::kIIDGlimmerstrand,
                                              reinterpret_cast<void**>(object.put())),
                      S_OK);
        }
        return object;
    }

private:
    void* handle_ = nullptr;
    DllGetClassObjectFunction getClassObject_ = nullptr;
    DllCanUnloadNowFunction canUnloadNow_ = nullptr;
};

class VariantValue {
public:
    VariantValue() { VariantInit(&value); }
    explicit VariantValue(const char* text) : VariantValue() {
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = Bstr(ole(text)).release();
    }
    VariantValue(const VariantValue&) = delete;
    VariantValue& operator=(const VariantValue&) = delete;
    ~VariantValue() { VariantClear(&value); }

    VARIANT value;
};

class ExceptionInfo {
public:
    ExceptionInfo() { std::memset(&info, 0, sizeof(info)); }
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
    ~ExceptionInfo() {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }

    EXCEPINFO info;
};

// One name lookup through the object; ids not written keep kUntouched.
struct NameLookup {
    HRESULT result;
    std::vector<DISPID> ids;
};

NameLookup lookUp(IDispatch* object, std::initializer_list<const char*> names,
                  LCID locale = kLibraryLocale) {
    std::vector<OleString> texts;
    for (const char* name : names) {
        texts.push_back(ole(name));
    }
    std::vector<LPOLESTR> pointers;
    for (OleString& text : texts) {
        pointers.push_back(text.data());
    }
    NameLookup lookup{E_UNEXPECTED, std::vector<DISPID>(names.size(), kUntouched)};
    lookup.result = object->GetIDsOfNames(
        GUID_NULL, pointers.data(), static_cast<UINT>(pointers.size()), locale, lookup.ids.data());
    return lookup;
}

// The colour as a property get through Invoke returns it; "<failed>" with the code otherwise.
std::string invokeGet(IDispatch* object, HRESULT* hr = nullptr, LCID locale = kLibraryLocale) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantValue result;
    ExceptionInfo exception;
    UINT argumentError = 0;
    const HRESULT status = object->Invoke(1, GUID_NULL, locale, DISPATCH_PROPERTYGET, &none,
                                          &result.value, &exception.info, &argumentError);
    if (hr != nullptr) {
        *hr = status;
    }
    if (FAILED(status)) {
        EXPECT_EQ(V_VT(&result.value), VT_EMPTY);
        return "<failed>";
    }
    EXPECT_EQ(V_VT(&result.value), VT_BSTR);
    return V_VT(&result.value) == VT_BSTR ? narrow(V_BSTR(&result.value)) : "<not a string>";
}

class ModuleDispatch : public ::testing::Test {
protected:
    void SetUp() override {
        gsTestReset();
        gsTestSilenceMessageBoxes(TRUE);
        typeLibraryRecord().reset(gs::plugin::kLibraryId);
        ASSERT_EQ(typeLibraryRecord().liveTypeInfos, 0);
        char pattern[] = "/tmp/gs-module-dispatch-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        gs::platform::registry::testing::useStore((folder / "registry").c_str());
        module.load();
    }

    void TearDown() override {
        module.unload();
        EXPECT_EQ(typeLibraryRecord().liveTypeInfos, 0)
            << "the type information outlived the module";
        EXPECT_EQ(gsTestMessageBoxCount(), 0u);
        gs::platform::registry::testing::useStore(nullptr);
        std::filesystem::remove_all(folder);
        gsTestReset();
    }

    // Registers the type library the module carries, at the module's own path.
    static void registerLibrary() {
        const OleString path = ole(GS_MODULE_PATH);
        Ref<ITypeLib> library;
        ASSERT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.put()), S_OK);
    }

    std::filesystem::path folder;
    LoadedModule module;
};

TEST_F(ModuleDispatch, WithoutTheRegisteredLibraryEveryMethodFailsUntilItIsRegistered) {
    Ref<IGlimmerstrand> object = module.createVisualizer();
    ASSERT_TRUE(object);

    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK) << "needs no type information";
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(typeLibraryRecord().loadRegTypeLibCalls, 0);

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
    EXPECT_EQ(object->GetTypeInfo(0, kLibraryLocale, &info), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(info, nullptr);
    NameLookup lookup = lookUp(object.get(), {"foregroundColor"});
    EXPECT_EQ(lookup.result, TYPE_E_LIBNOTREGISTERED);
    HRESULT hr = S_OK;
    EXPECT_EQ(invokeGet(object.get(), &hr), "<failed>");
    EXPECT_EQ(hr, TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(typeLibraryRecord().loadRegTypeLibCalls, 3) << "a failed load is tried again";

    registerLibrary();
    // Registered under its own locale, the library is not found for the neutral one.
    lookup = lookUp(object.get(), {"foregroundColor"}, LOCALE_NEUTRAL);
    EXPECT_EQ(lookup.result, TYPE_E_LIBNOTREGISTERED);

    lookup = lookUp(object.get(), {"foregroundColor"});
    EXPECT_EQ(lookup.result, S_OK);
    EXPECT_EQ(lookup.ids[0], 1);
    EXPECT_EQ(invokeGet(object.get()), "#FF0000");
    ASSERT_EQ(object->GetTypeInfo(0, kLibraryLocale, &info), S_OK);
    ASSERT_NE(info, nullptr);
    info->Release();
    EXPECT_EQ(typeLibraryRecord().loadRegTypeLibCalls, 5) << "loaded once, then cached";
}

TEST_F(ModuleDispatch, ALoadFailureIsReportedAsLoadRegTypeLibReportsIt) {
    // Registered at a path where nothing is left to load.
    const std::filesystem::path copy = folder / "Glimmerstrand.tlb";
    std::filesystem::copy_file(GS_TYPE_LIBRARY_PATH, copy);
    {
        Ref<ITypeLib> library;
        const OleString path = ole(copy.c_str());
        ASSERT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.put()), S_OK);
    }
    std::filesystem::remove(copy);
    ITypeLib* nothing = nullptr;
    const HRESULT failure =
        gs::test::loadRegTypeLibUnrecorded(gs::plugin::kLibraryId, 1, 0, kLibraryLocale, &nothing);
    ASSERT_TRUE(FAILED(failure));
    ASSERT_NE(failure, TYPE_E_LIBNOTREGISTERED);

    Ref<IGlimmerstrand> object = module.createVisualizer();
    ASSERT_TRUE(object);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
    EXPECT_EQ(object->GetTypeInfo(0, kLibraryLocale, &info), failure);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(lookUp(object.get(), {"foregroundColor"}).result, failure);
    HRESULT hr = S_OK;
    invokeGet(object.get(), &hr);
    EXPECT_EQ(hr, failure);

    // Once the file is back, the next call loads it.
    std::filesystem::copy_file(GS_TYPE_LIBRARY_PATH, copy);
    EXPECT_EQ(invokeGet(object.get()), "#FF0000");
}

TEST_F(ModuleDispatch, OneNameIsAnsweredFromTheCacheOthersByTheTypeInformation) {
    registerLibrary();
    Ref<IGlimmerstrand> object = module.createVisualizer();
    ASSERT_TRUE(object);

    // The first lookup loads the type information and builds the cache, which answers it.
    NameLookup lookup = lookUp(object.get(), {"foregroundColor"});
    EXPECT_EQ(lookup.result, S_OK);
    EXPECT_EQ(lookup.ids[0], 1);
    EXPECT_EQ(typeLibraryRecord().getIDsOfNamesCalls, 0);

    // The cache compares letter case; the type information does not.
    lookup = lookUp(object.get(), {"FOREGROUNDCOLOR"});
    EXPECT_EQ(lookup.result, S_OK);
    EXPECT_EQ(lookup.ids[0], 1);
    EXPECT_EQ(typeLibraryRecord().getIDsOfNamesCalls, 1);

    // A member and a parameter name together: the cache knows members only.
    lookup = lookUp(object.get(), {"foregroundColor", "pVal"});
    EXPECT_EQ(lookup.ids[0], 1);
    EXPECT_NE(lookup.ids[1], kUntouched) << "the second name was looked at";
    EXPECT_EQ(typeLibraryRecord().getIDsOfNamesCalls, 2);

    lookup = lookUp(object.get(), {"backgroundColor"});
    EXPECT_EQ(lookup.result, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(lookup.ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(typeLibraryRecord().getIDsOfNamesCalls, 3);

    // A second object shares the cache.
    Ref<IGlimmerstrand> second = module.createVisualizer();
    ASSERT_TRUE(second);
    lookup = lookUp(second.get(), {"foregroundColor"});
    EXPECT_EQ(lookup.ids[0], 1);
    EXPECT_EQ(typeLibraryRecord().getIDsOfNamesCalls, 3);
    EXPECT_EQ(typeLibraryRecord().loadRegTypeLibCalls, 1);
}

TEST_F(ModuleDispatch, EveryObjectAndIndexGetsTheOneTypeInformation) {
    registerLibrary();
    Ref<IGlimmerstrand> first = module.createVisualizer();
    Ref<IGlimmerstrand> second = module.createVisualizer();
    ASSERT_TRUE(first && second);

    EXPECT_EQ(first->GetTypeInfoCount(nullptr), E_POINTER);
    EXPECT_EQ(first->GetTypeInfo(0, kLibraryLocale, nullptr), E_POINTER);

    Ref<ITypeInfo> atZero, atFive, ofSecond;
    ASSERT_EQ(first->GetTypeInfo(0, kLibraryLocale, atZero.put()), S_OK);
    ASSERT_EQ(first->GetTypeInfo(5, kLibraryLocale, atFive.put()), S_OK);
    ASSERT_EQ(second->GetTypeInfo(0, kLibraryLocale, ofSecond.put()), S_OK);
    EXPECT_EQ(atZero.get(), atFive.get());
    EXPECT_EQ(atZero.get(), ofSecond.get());
    EXPECT_EQ(typeLibraryRecord().loadRegTypeLibCalls, 1);
    EXPECT_EQ(typeLibraryRecord().liveTypeInfos, 1);

    // The dispatch view of IGlimmerstrand.
    gs::test::TypeAttr attributes(atZero.get());
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, gs::plugin::kIIDGlimmerstrand));
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attributes->cFuncs, 9);
}

TEST_F(ModuleDispatch, InvokeReadsAndWritesTheColour) {
    registerLibrary();
    Ref<IGlimmerstrand> object = module.createVisualizer();
    ASSERT_TRUE(object);
    EXPECT_EQ(invokeGet(object.get()), "#FF0000");

    DISPID named = DISPID_PROPERTYPUT;
    auto put = [&](VARIANT& value, EXCEPINFO* exception, UINT* argumentError) {
        DISPPARAMS parameters{&value, &named, 1, 1};
        return object->Invoke(1, GUID_NULL, kLibraryLocale, DISPATCH_PROPERTYPUT, &parameters,
                              nullptr, exception, argumentError);
    };

    VariantValue colour("#12abEF");
    EXPECT_EQ(put(colour.value, nullptr, nullptr), S_OK);
    EXPECT_EQ(invokeGet(object.get()), "#12ABEF");
    // The same value through the interface itself.
    Bstr direct;
    ASSERT_EQ(object->get_foregroundColor(direct.put()), S_OK);
    EXPECT_EQ(direct.text(), "#12ABEF");

    // A value that no conversion makes a string never reaches the setter.
    VariantValue unknown;
    V_VT(&unknown.value) = VT_UNKNOWN;
    V_UNKNOWN(&unknown.value) = object.get();
    object->AddRef();
    UINT argumentError = 0xdeadbeef;
    EXPECT_EQ(put(unknown.value, nullptr, &argumentError), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argumentError, 0u);

    // A number becomes its text, which the setter refuses; so does a malformed colour.
    VariantValue number;
    V_VT(&number.value) = VT_I4;
    V_I4(&number.value) = 42;
    ExceptionInfo numberException;
    EXPECT_EQ(put(number.value, &numberException.info, nullptr), DISP_E_EXCEPTION);
    EXPECT_EQ(numberException.info.scode, E_INVALIDARG);
    VariantValue malformed("#12ABEG");
    ExceptionInfo malformedException;
    EXPECT_EQ(put(malformed.value, &malformedException.info, nullptr), DISP_E_EXCEPTION);
    EXPECT_EQ(malformedException.info.scode, E_INVALIDARG);

    EXPECT_EQ(invokeGet(object.get()), "#12ABEF") << "refused values change nothing";
    EXPECT_EQ(typeLibraryRecord().invokeCalls, 7) << "every call went through the type information";
}

// The IUnknown and IDispatch methods the interface inherits are in its type information, by
// number, but no automation client reaches them: invoking Release would destroy the object under
// its caller, AddRef would keep it for ever.
TEST_F(ModuleDispatch, TheInheritedMethodsAreNotMembers) {
    registerLibrary();
    Ref<IGlimmerstrand> object = module.createVisualizer();
    ASSERT_TRUE(object);
    const auto references = [&] {
        object->AddRef();
        return object->Release();
    };
    const ULONG before = references();
    for (DISPID member :
         {0x60000000, 0x60000001, 0x60000002, 0x60010000, 0x60010001, 0x60010002, 0x60010003}) {
        for (WORD flags : {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT}) {
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            VariantValue result;
            EXPECT_EQ(object->Invoke(member, GUID_NULL, kLibraryLocale, flags, &none, &result.value,
                                     nullptr, nullptr),
                      DISP_E_MEMBERNOTFOUND)
                << std::hex << member << ", flags " << flags;
        }
    }
    EXPECT_EQ(references(), before);
    EXPECT_EQ(invokeGet(object.get()), "#FF0000") << "the colour is still a member";
}

TEST_F(ModuleDispatch, ManyThreadsLoadTheTypeInformationOnce) {
    registerLibrary();
    constexpr int kThreads = 8;
    std::vector<Ref<IGlimmerstrand>> objects;
    for (int i = 0; i < kThreads; ++i) {
        objects.push_back(module.createVisualizer());
        ASSERT_TRUE(objects.back());
    }
    // The first caller stays inside LoadRegTypeLib long enough for the others to arrive.
    typeLibraryRecord().loadDelayMilliseconds = 20;

    std::latch start(kThreads);
    std::vector<HRESULT> results(kThreads, E_UNEXPECTED);
    std::vector<ITypeInfo*> infos(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            IGlimmerstrand* object = objects[i].get();
            start.arrive_and_wait();
            // Each of the three loading methods races the others.
            switch (i % 3) {
                case 0:
                    results[i] = lookUp(object, {"foregroundColor"}).result;
                    break;
                case 1:
                    results[i] = object->GetTypeInfo(0, kLibraryLocale, &infos[i]);
                    break;
                default:
                    invokeGet(object, &results[i]);
                    break;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(results[i], S_OK) << "thread " << i;
        if (infos[i] != nullptr) {
            infos[i]->Release();
        }
    }
    EXPECT_EQ(typeLibraryRecord().loadRegTypeLibCalls, 1);
    EXPECT_EQ(typeLibraryRecord().liveTypeInfos, 1);
}

TEST_F(ModuleDispatch, UnloadingFreesTheTypeInformationAndAReloadLoadsItAgain) {
    registerLibrary();
    {
        Ref<IGlimmerstrand> object = module.createVisualizer();
        ASSERT_TRUE(object);
        EXPECT_EQ(lookUp(object.get(), {"foregroundColor"}).ids[0], 1);
    }
    // Kept while the module stays, even with no object left.
    EXPECT_EQ(typeLibraryRecord().liveTypeInfos, 1);
    module.unload();
    EXPECT_EQ(typeLibraryRecord().liveTypeInfos, 0);

    module.load();
    Ref<IGlimmerstrand> object = module.createVisualizer();
    ASSERT_TRUE(object);
    NameLookup lookup = lookUp(object.get(), {"foregroundColor"});
    EXPECT_EQ(lookup.result, S_OK);
    EXPECT_EQ(lookup.ids[0], 1);
    EXPECT_EQ(invokeGet(object.get()), "#FF0000") << "a fresh module, a fresh object";
    EXPECT_EQ(typeLibraryRecord().loadRegTypeLibCalls, 2);
    EXPECT_EQ(typeLibraryRecord().liveTypeInfos, 1);
}

}  // namespace
