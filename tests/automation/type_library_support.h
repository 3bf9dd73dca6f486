// Helpers shared by the type library tests: the compiled library's path, owning pointers for
// interfaces, BSTRs and descriptions, and text conversions that work with either OLECHAR.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/win32.h"

namespace gs::test {

using OleString = std::basic_string<OLECHAR>;

inline OleString ole(const char* text) {
    OleString result;
    while (*text != 0) {
        result.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(*text++)));
    }
    return result;
}

inline std::string narrow(const OLECHAR* text, std::size_t length) {
    std::string result;
    for (std::size_t i = 0; i < length; ++i) {
        result.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
    }
    return result;
}

// A BSTR's text as plain ASCII, for comparisons; null reads as "<null>".
inline std::string narrow(BSTR text) {
    return text ? narrow(text, SysStringLen(text)) : std::string("<null>");
}

// A build path as the platform's file functions take it: under Wine the Unix root is drive Z:.
inline OleString platformPath(const char* buildPath) {
#ifdef _WIN32
    OleString path = ole("Z:") + ole(buildPath);
    for (OLECHAR& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
#else
    return ole(buildPath);
#endif
}

// The compiled type library.
inline OleString typeLibraryPath() {
    return platformPath(GS_TYPE_LIBRARY_PATH);
}

template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ~Ref() { reset(); }

    void reset(T* p = nullptr) {
        if (p_ != nullptr) {
            p_->Release();
        }
        p_ = p;
    }
    T** put() {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const OleString& text)
        : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(value_); }

    BSTR* put() {
        SysFreeString(value_);
        value_ = nullptr;
        return &value_;
    }
    BSTR get() const { return value_; }
    BSTR release() { return std::exchange(value_, nullptr); }
    std::string text() const { return narrow(value_); }

private:
    BSTR value_ = nullptr;
};

// A type attribute block released with the type information that handed it out.
class TypeAttr {
public:
    explicit TypeAttr(ITypeInfo* info) : info_(info) { EXPECT_EQ(info->GetTypeAttr(&attr_), S_OK); }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    ~TypeAttr() {
        if (attr_ != nullptr) {
            info_->ReleaseTypeAttr(attr_);
        }
    }
    const TYPEATTR* operator->() const { return attr_; }
    explicit operator bool() const { return attr_ != nullptr; }

private:
    ITypeInfo* info_;
    TYPEATTR* attr_ = nullptr;
};

class FuncDesc {
public:
    FuncDesc(ITypeInfo* info, UINT index) : info_(info) {
        EXPECT_EQ(info->GetFuncDesc(index, &desc_), S_OK) << "function " << index;
    }
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    ~FuncDesc() {
        if (desc_ != nullptr) {
            info_->ReleaseFuncDesc(desc_);
        }
    }
    const FUNCDESC* operator->() const { return desc_; }
    explicit operator bool() const { return desc_ != nullptr; }

private:
    ITypeInfo* info_;
    FUNCDESC* desc_ = nullptr;
};

inline Ref<ITypeLib> loadTypeLibrary() {
    Ref<ITypeLib> library;
    const OleString path = typeLibraryPath();
    EXPECT_EQ(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()), S_OK);
    return library;
}

inline std::string documentationName(ITypeInfo* info, MEMBERID member) {
    Bstr name;
    EXPECT_EQ(info->GetDocumentation(member, name.put(), nullptr, nullptr, nullptr), S_OK);
    return name.text();
}

}  // namespace gs::test
