// Late-bound calls over the argument kinds the invoker handles: integers of both signs, strings,
// enumerations, interfaces, values by reference, optional and defaulted parameters, named
// arguments, and HRESULT failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/automation/kinds_library.h"
#include "tests/automation/type_library_support.h"

namespace {

using gs::test::Bstr;
using gs::test::narrow;
using gs::test::ole;
using gs::test::Ref;
using namespace gs::test::kinds;

struct IKinds : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Add(LONG a, ULONG b, LONG* sum) = 0;
    virtual HRESULT STDMETHODCALLTYPE Swap(LONG* first, BSTR* second) = 0;
    virtual HRESULT STDMETHODCALLTYPE Repeat(BSTR text, LONG times, BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Pick(LONG which, BSTR name, LONG offset, LONG big,
                                           LONG* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(ULONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fail(HRESULT code) = 0;
    virtual HRESULT STDMETHODCALLTYPE Peer(IKinds* other, LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Note(LONG depth, VARIANT* remark, VARIANT_BOOL* noted) = 0;
};

// Records what each method received.
class KindsObject : public IKinds {
public:
    explicit KindsObject(ITypeInfo* typeInfo) : typeInfo_(typeInfo) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, kInterfaceId)) {
            *object = static_cast<IKinds*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        typeInfo_->AddRef();
        *info = typeInfo_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return typeInfo_->GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        return typeInfo_->Invoke(static_cast<IKinds*>(this), member, flags, parameters, result,
                                 exception, argumentError);
    }

    HRESULT STDMETHODCALLTYPE Add(LONG a, ULONG b, LONG* sum) override {
        lastA = a;
        lastB = b;
        *sum = static_cast<LONG>(a + b);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Swap(LONG* first, BSTR* second) override {
        *first = -*first;
        SysFreeString(*second);
        *second = SysAllocString(ole("swapped").c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Repeat(BSTR text, LONG times, BSTR* result) override {
        gs::test::OleString repeated;
        for (LONG i = 0; i < times; ++i) {
            repeated.append(text, SysStringLen(text));
        }
        *result = SysAllocStringLen(repeated.data(), static_cast<UINT>(repeated.size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Pick(LONG which, BSTR name, LONG offset, LONG big,
                                   LONG* result) override {
        lastName = narrow(name);
        lastOffset = offset;
        lastBig = big;
        *result = which;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Count(ULONG* count) override {
        *count = 4000000000u;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Fail(HRESULT code) override { return code; }
    HRESULT STDMETHODCALLTYPE Peer(IKinds* other, LONG* count) override {
        ULONG held = other->AddRef();
        other->Release();
        *count = static_cast<LONG>(held);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Note(LONG depth, VARIANT* remark, VARIANT_BOOL* noted) override {
        lastDepth = depth;
        remarkMissing = remark->vt == VT_ERROR && remark->scode == DISP_E_PARAMNOTFOUND;
        *noted = remarkMissing ? VARIANT_FALSE : VARIANT_TRUE;
        return S_OK;
    }

    ULONG references = 1;
    LONG lastA = 0;
    ULONG lastB = 0;
    std::string lastName;
    LONG lastOffset = 0;
    LONG lastBig = 0;
    LONG lastDepth = 0;
    bool remarkMissing = false;

private:
    ITypeInfo* typeInfo_;
};

VARIANT integer(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT text(const char* value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(ole(value).c_str());
    return v;
}

class KindsInvoke : public ::testing::Test {
protected:
    void SetUp() override {
        library = loadKindsLibrary();
        ASSERT_TRUE(library);
        ASSERT_EQ(library->GetTypeInfoOfGuid(kInterfaceId, typeInfo.put()), S_OK);
        object = std::make_unique<KindsObject>(typeInfo.get());
        VariantInit(&result);
        std::memset(&exception, 0, sizeof(exception));
    }
    void TearDown() override {
        VariantClear(&result);
        EXPECT_EQ(object->references, 1u);
    }

    // Arguments in call order; they are passed last-first as dispatch calls expect.
    HRESULT call(DISPID member, std::initializer_list<VARIANT> arguments,
                 WORD flags = DISPATCH_METHOD) {
        std::vector<VARIANT> reversed(arguments.begin(), arguments.end());
        std::reverse(reversed.begin(), reversed.end());
        DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        VariantClear(&result);
        argumentError = 0xdeadbeef;
        const HRESULT hr = object->Invoke(member, GUID_NULL, 0, flags, &parameters, &result,
                                          &exception, &argumentError);
        for (VARIANT& v : reversed) {
            VariantClear(&v);
        }
        return hr;
    }

    Ref<ITypeLib> library;
    Ref<ITypeInfo> typeInfo;
    std::unique_ptr<KindsObject> object;
    VARIANT result;
    EXCEPINFO exception;
    UINT argumentError = 0;
};

TEST_F(KindsInvoke, IntegersAreConvertedToTheDeclaredTypes) {
    ASSERT_EQ(call(1, {integer(-7), integer(10)}), S_OK);
    EXPECT_EQ(object->lastA, -7);
    EXPECT_EQ(object->lastB, 10u);
    ASSERT_EQ(V_VT(&result), VT_I4);
    EXPECT_EQ(V_I4(&result), 3);

    ASSERT_EQ(call(1, {text(" 40 "), text("2")}), S_OK) << "numbers as text convert too";
    EXPECT_EQ(V_I4(&result), 42);

    EXPECT_EQ(call(1, {integer(1), text("two")}), DISP_E_TYPEMISMATCH);
#ifndef _WIN32
    EXPECT_EQ(argumentError, 0u) << "b, the last argument, is rgvarg[0]";  // Wine leaves it
#endif
    EXPECT_EQ(call(1, {integer(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(call(1, {integer(1), integer(2), integer(3)}), DISP_E_BADPARAMCOUNT);
#ifndef _WIN32
    // Explicitly leaving out a required argument; Wine tries to convert the marker instead.
    VARIANT missing;
    VariantInit(&missing);
    V_VT(&missing) = VT_ERROR;
    V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
    EXPECT_EQ(call(1, {integer(1), missing}), DISP_E_PARAMNOTOPTIONAL);
#endif
}

TEST_F(KindsInvoke, NamedArgumentsFindTheirParameters) {
    gs::test::OleString names[] = {ole("Add"), ole("B"), ole("a")};
    LPOLESTR pointers[] = {names[0].data(), names[1].data(), names[2].data()};
    DISPID ids[3] = {};
    ASSERT_EQ(object->GetIDsOfNames(GUID_NULL, pointers, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], 0);

    VARIANT arguments[] = {integer(5), integer(100)};  // b = 5, a = 100
    DISPID named[] = {ids[1], ids[2]};
    DISPPARAMS parameters{arguments, named, 2, 2};
    ASSERT_EQ(
        object->Invoke(1, GUID_NULL, 0, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(object->lastA, 100);
    EXPECT_EQ(object->lastB, 5u);
}

TEST_F(KindsInvoke, ReferencesLetTheCalleeWriteIntoTheCallersStorage) {
    LONG number = 12;
    BSTR word = SysAllocString(ole("original").c_str());
    VARIANT arguments[2];
    VariantInit(&arguments[0]);
    VariantInit(&arguments[1]);
    V_VT(&arguments[1]) = VT_I4 | VT_BYREF;
    V_I4REF(&arguments[1]) = &number;
    V_VT(&arguments[0]) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&arguments[0]) = &word;
    DISPPARAMS parameters{arguments, nullptr, 2, 0};
    ASSERT_EQ(
        object->Invoke(2, GUID_NULL, 0, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(number, -12);
    EXPECT_EQ(narrow(word), "swapped");
    SysFreeString(word);
}

TEST_F(KindsInvoke, MissingArgumentsTakeTheirDefaults) {
    ASSERT_EQ(call(3, {text("ab")}), S_OK);
    EXPECT_EQ(narrow(V_BSTR(&result)), "ababab");
    ASSERT_EQ(call(3, {text("ab"), integer(2)}), S_OK);
    EXPECT_EQ(narrow(V_BSTR(&result)), "abab");

    ASSERT_EQ(call(4, {integer(1)}), S_OK) << "an enumeration passes as its integer";
    EXPECT_EQ(V_I4(&result), 1);
    EXPECT_EQ(object->lastName, "both");
    EXPECT_EQ(object->lastOffset, -5);
    EXPECT_EQ(object->lastBig, 100000000);

    // Leaving an optional argument out explicitly.
    VARIANT missing;
    VariantInit(&missing);
    V_VT(&missing) = VT_ERROR;
    V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(call(4, {integer(0), missing, integer(7)}), S_OK);
    EXPECT_EQ(object->lastName, "both");
    EXPECT_EQ(object->lastOffset, 7);

    ASSERT_EQ(call(8, {integer(2)}), S_OK);
    EXPECT_TRUE(object->remarkMissing) << "an optional VARIANT arrives as DISP_E_PARAMNOTFOUND";
    EXPECT_EQ(V_VT(&result), VT_BOOL);
    EXPECT_EQ(V_BOOL(&result), VARIANT_FALSE);
    ASSERT_EQ(call(8, {integer(3), text("remark")}), S_OK);
    EXPECT_FALSE(object->remarkMissing);
    EXPECT_EQ(object->lastDepth, 3) << "an alias passes as what it names";
    EXPECT_EQ(V_BOOL(&result), VARIANT_TRUE);
}

TEST_F(KindsInvoke, UnsignedResultsKeepTheirType) {
    ASSERT_EQ(call(5, {}, DISPATCH_PROPERTYGET), S_OK);
    ASSERT_EQ(V_VT(&result), VT_UI4);
    EXPECT_EQ(V_UI4(&result), 4000000000u);
}

VARIANT status(HRESULT code) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ERROR;
    V_ERROR(&v) = code;
    return v;
}

TEST_F(KindsInvoke, FailingResultsBecomeExceptionsAndSuccessCodesDoNot) {
    EXPECT_EQ(call(6, {status(E_FAIL)}), DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_FAIL);
    EXPECT_EQ(call(6, {status(S_FALSE)}), S_OK);
    EXPECT_EQ(V_VT(&result), VT_EMPTY);
}

TEST_F(KindsInvoke, InterfaceArgumentsAreAskedForTheDeclaredInterface) {
    KindsObject other(typeInfo.get());
    VARIANT peer;
    VariantInit(&peer);
    V_VT(&peer) = VT_DISPATCH;
    V_DISPATCH(&peer) = static_cast<IKinds*>(&other);
    DISPPARAMS parameters{&peer, nullptr, 1, 0};
    ASSERT_EQ(
        object->Invoke(7, GUID_NULL, 0, DISPATCH_METHOD, &parameters, &result, nullptr, nullptr),
        S_OK);
    EXPECT_GE(V_I4(&result), 2) << "the callee holds a live object";
    EXPECT_EQ(other.references, 1u) << "and it was given back";

    EXPECT_EQ(call(7, {integer(1)}), DISP_E_TYPEMISMATCH);
}

// A dispinterface has no vtable to call: its members are the object's own IDispatch::Invoke.
class EventSink : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags,
                                     DISPPARAMS* parameters, VARIANT*, EXCEPINFO*, UINT*) override {
        lastMember = member;
        lastFlags = flags;
        lastCount = parameters->cArgs;
        return S_OK;
    }
    DISPID lastMember = 0;
    WORD lastFlags = 0;
    UINT lastCount = 0;
};

TEST(KindsDispinterface, MembersAreForwardedToTheObjectsInvoke) {
    Ref<ITypeLib> library = loadKindsLibrary();
    Ref<ITypeInfo> events;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kEventsId, events.put()), S_OK);
    EventSink sink;
    VARIANT value = integer(9);
    DISPPARAMS parameters{&value, nullptr, 1, 0};
    ASSERT_EQ(events->Invoke(static_cast<IDispatch*>(&sink), 1, DISPATCH_METHOD, &parameters,
                             nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(sink.lastMember, 1);
    EXPECT_EQ(sink.lastFlags, DISPATCH_METHOD);
    EXPECT_EQ(sink.lastCount, 1u);
}

}  // namespace
