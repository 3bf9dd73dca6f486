// The exports and the class object: what keeps the module loaded, and what the class object
// answers.
#include "tests/module/module_fixture.h"

namespace gs::module::test {
namespace {

const CLSID kOtherClass = {
    0x3CAE2904, 0x060B, 0x43DC, {0xA5, 0xD9, 0xC6, 0xAB, 0xB9, 0x18, 0x70, 0x7C}};
// IClassFactory2: a class object interface this module does not offer.
const IID kIIDClassFactory2 = {
    0xB196B28F, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

void* const kUntouched = reinterpret_cast<void*>(0xdeadbeef);

using ModuleExports = ModuleTest;

TEST_F(ModuleExports, AClientReferenceToTheClassObjectKeepsTheModuleLoaded) {
    EXPECT_EQ(module().canUnloadNow(), S_OK);

    IClassFactory* first = nullptr;
    ASSERT_EQ(module().getClassObject(plugin::kCLSIDGlimmerstrand, IID_IClassFactory,
                                      reinterpret_cast<void**>(&first)),
              S_OK);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);

    IUnknown* second = nullptr;
    ASSERT_EQ(module().getClassObject(plugin::kCLSIDGlimmerstrand, IID_IUnknown,
                                      reinterpret_cast<void**>(&second)),
              S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(first), second) << "the class object is made once";

    // The module's own cached reference counts too, but never keeps the module loaded.
    EXPECT_EQ(second->Release(), 2u);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(module().canUnloadNow(), S_OK);

    // A later client finds the same cached object.
    IClassFactory* again = module().classFactory();
    EXPECT_EQ(again, first);
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);
    again->Release();
}

TEST_F(ModuleExports, EachServerLockNeedsItsOwnUnlock) {
    IClassFactory* factory = module().classFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);

    factory = module().classFactory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(module().canUnloadNow(), S_FALSE);

    factory = module().classFactory();
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(module().canUnloadNow(), S_OK);
}

TEST_F(ModuleExports, RefusedRequestsLeaveANullOutPointer) {
    for (const CLSID* classId : {&kOtherClass, &GUID_NULL, &plugin::kIIDWmpEffects2}) {
        void* object = kUntouched;
        EXPECT_EQ(module().getClassObject(*classId, IID_IClassFactory, &object),
                  CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(object, nullptr);
    }
    for (const IID* iid : {&kIIDClassFactory2, &IID_IDispatch, &plugin::kIIDWmpEffects2}) {
        void* object = kUntouched;
        EXPECT_EQ(module().getClassObject(plugin::kCLSIDGlimmerstrand, *iid, &object),
                  E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(module().getClassObject(plugin::kCLSIDGlimmerstrand, IID_IClassFactory, nullptr),
              E_POINTER);
    EXPECT_EQ(module().getClassObject(kOtherClass, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(module().canUnloadNow(), S_OK);

    // The refusals kept the cached class object: it still answers, and answers as itself.
    IClassFactory* factory = module().classFactory();
    ASSERT_NE(factory, nullptr);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(factory));
    void* object = kUntouched;
    EXPECT_EQ(factory->QueryInterface(kIIDClassFactory2, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
    unknown->Release();
    factory->Release();
}

TEST_F(ModuleExports, EveryLiveObjectHoldsTheModule) {
    IClassFactory* factory = module().classFactory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, plugin::kIIDWmpEffects2, nullptr), E_POINTER);

    // Each interface of the object can be asked for at creation.
    const IID* interfaces[] = {&plugin::kIIDWmpEffects2, &plugin::kIIDWmpEffects,
                               &plugin::kIIDGlimmerstrand, &IID_IDispatch, &IID_IUnknown};
    IUnknown* objects[std::size(interfaces)] = {};
    for (std::size_t i = 0; i < std::size(interfaces); ++i) {
        EXPECT_EQ(
            factory->CreateInstance(nullptr, *interfaces[i], reinterpret_cast<void**>(&objects[i])),
            S_OK);
        ASSERT_NE(objects[i], nullptr);
    }
    // One that it lacks fails the creation, and the half-made object goes with its lock.
    void* object = kUntouched;
    EXPECT_EQ(factory->CreateInstance(nullptr, kIIDClassFactory2, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    factory->Release();

    for (IUnknown* live : objects) {
        EXPECT_EQ(module().canUnloadNow(), S_FALSE);
        EXPECT_EQ(live->Release(), 0u);
    }
    EXPECT_EQ(module().canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace gs::module::test
