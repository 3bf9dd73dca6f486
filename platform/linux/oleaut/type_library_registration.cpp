// Registered type libraries, found and recorded where Windows keeps them:
//
//   HKEY_CLASSES_ROOT\TypeLib\{library id}\<major>.<minor>        (hexadecimal)  = help string
//       FLAGS                                                                     = flags
//       HELPDIR                                                                   = folder
//       <locale>\win32 or win64                                  (locale in hex) = file path
//   HKEY_CLASSES_ROOT\Interface\{interface id}                                    = name
//       ProxyStubClsid, ProxyStubClsid32                                          = marshaler
//       TypeLib                                           = {library id}, Version = major.minor
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/oleaut/com_object.h"
#include "platform/linux/oleaut/standard_library.h"
#include "platform/linux/oleaut/text.h"
#include "platform/linux/oleaut/type_library.h"
#include "platform/linux/oleauto.h"
#include "platform/linux/registry.h"

namespace gs::platform::oleaut {
namespace {

// The marshalers Windows names for automation interfaces and for dispinterfaces.
constexpr char16_t kOleAutomationMarshaler[] = u"{00020424-0000-0000-C000-000000000046}";
constexpr char16_t kDispatchMarshaler[] = u"{00020420-0000-0000-C000-000000000046}";

std::u16string ascii(const char* text) {
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%x", value);
    return ascii(text);
}

std::u16string guidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return ascii(text);
}

std::u16string versionText(unsigned major, unsigned minor) {
    return hex(major) + u"." + hex(minor);
}

const char16_t* platformKey(SYSKIND kind) {
    switch (kind) {
        case SYS_WIN16:
            return u"win16";
        case SYS_WIN32:
            return u"win32";
        case SYS_MAC:
            return u"mac";
        default:
            return u"win64";
    }
}

class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (handle_ != nullptr) {
            RegCloseKey(handle_);
        }
    }

    bool open(HKEY parent, const std::u16string& path, REGSAM access = KEY_READ) {
        return RegOpenKeyExW(parent, path.c_str(), 0, access, &handle_) == ERROR_SUCCESS;
    }
    bool create(HKEY parent, const std::u16string& path) {
        return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_READ | KEY_WRITE, nullptr, &handle_, nullptr) == ERROR_SUCCESS;
    }
    HKEY get() const { return handle_; }

    bool setString(const char16_t* name, std::u16string_view text) {
        const std::u16string value(text);
        return RegSetValueExW(
                   handle_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
    }
    std::optional<std::u16string> string(const char16_t* name) const {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(handle_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        std::u16string value(size / sizeof(char16_t), u'\0');
        if (RegQueryValueExW(handle_, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                             &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        value.resize(std::min<std::size_t>(value.size(), size / sizeof(char16_t)));
        while (!value.empty() && value.back() == u'\0') {
            value.pop_back();
        }
        return value;
    }
    std::vector<std::u16string> subkeys() const {
        std::vector<std::u16string> names;
        for (DWORD index = 0;; ++index) {
            char16_t name[256];
            DWORD length = 256;
            if (RegEnumKeyExW(handle_, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                return names;
            }
            names.emplace_back(name, length);
        }
    }

private:
    HKEY handle_ = nullptr;
};

// Deletes a key with everything below it.
bool deleteTree(HKEY parent, const std::u16string& name) {
    {
        Key key;
        if (!key.open(parent, name, KEY_READ | KEY_WRITE)) {
            return false;
        }
        for (const std::u16string& child : key.subkeys()) {
            deleteTree(key.get(), child);
        }
    }
    return RegDeleteKeyW(parent, name.c_str()) == ERROR_SUCCESS;
}

bool isEmpty(HKEY parent, const std::u16string& name) {
    Key key;
    return key.open(parent, name) && key.subkeys().empty();
}

// The registered version to use: the requested one, else the highest minor version of the
// requested major version that is not older.
std::optional<std::u16string> registeredVersion(const Key& library, WORD major, WORD minor) {
    std::optional<std::u16string> best;
    unsigned bestMinor = 0;
    for (const std::u16string& name : library.subkeys()) {
        const std::string text = toUtf8(name);
        unsigned foundMajor = 0;
        unsigned foundMinor = 0;
        char extra = 0;
        if (std::sscanf(text.c_str(), "%x.%x%c", &foundMajor, &foundMinor, &extra) != 2 ||
            foundMajor != major || foundMinor < minor) {
            continue;
        }
        if (foundMinor == minor) {
            return name;
        }
        if (!best || foundMinor > bestMinor) {
            best = name;
            bestMinor = foundMinor;
        }
    }
    return best;
}

std::optional<std::u16string> registeredPath(const GUID& libraryId, WORD major, WORD minor,
                                             LCID locale) {
    Key library;
    if (!library.open(HKEY_CLASSES_ROOT, u"TypeLib\\" + guidText(libraryId))) {
        return std::nullopt;
    }
    const std::optional<std::u16string> version = registeredVersion(library, major, minor);
    if (!version) {
        return std::nullopt;
    }
    // The exact locale, then its primary language, then the neutral one.
    std::vector<LCID> locales{locale, locale & 0x3FF, 0};
    locales.erase(std::unique(locales.begin(), locales.end()), locales.end());
    const char16_t* platforms[] = {sizeof(void*) == 8 ? u"win64" : u"win32",
                                   sizeof(void*) == 8 ? u"win32" : u"win64"};
    for (LCID candidate : locales) {
        for (const char16_t* platform : platforms) {
            Key path;
            if (path.open(library.get(), *version + u"\\" + hex(candidate) + u"\\" + platform)) {
                if (auto file = path.string(nullptr); file && !file->empty()) {
                    return file;
                }
            }
        }
    }
    return std::nullopt;
}

bool registerInterface(const TypeEntry& type, const std::u16string& libraryId,
                       const std::u16string& version) {
    Key key;
    if (!key.create(HKEY_CLASSES_ROOT, u"Interface\\" + guidText(type.guid)) ||
        !key.setString(nullptr, type.name)) {
        return false;
    }
    const char16_t* marshaler = type.kind == TKIND_DISPATCH && !type.isDual()
                                    ? kDispatchMarshaler
                                    : kOleAutomationMarshaler;
    for (const char16_t* name : {u"ProxyStubClsid", u"ProxyStubClsid32"}) {
        Key stub;
        if (!stub.create(key.get(), name) || !stub.setString(nullptr, marshaler)) {
            return false;
        }
    }
    Key library;
    return library.create(key.get(), u"TypeLib") && library.setString(nullptr, libraryId) &&
           library.setString(u"Version", version);
}

// Interfaces a registered library makes known: those automation can marshal.
bool isRegisteredInterface(const TypeEntry& type) {
    return type.kind == TKIND_DISPATCH ||
           (type.kind == TKIND_INTERFACE &&
            (type.flags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)) != 0);
}

}  // namespace

HRESULT queryPath(const GUID& libraryId, WORD major, WORD minor, LCID locale, BSTR* path) {
    const std::optional<std::u16string> file = registeredPath(libraryId, major, minor, locale);
    if (!file) {
        return TYPE_E_LIBNOTREGISTERED;
    }
    *path = allocateBstr(*file);
    return *path != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT registerLibrary(ITypeLib* library, std::u16string_view fullPath,
                        std::u16string_view helpDirectory) {
    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) {
        return E_INVALIDARG;
    }
    const TLIBATTR attr = *attributes;
    library->ReleaseTLibAttr(attributes);
    BSTR name = nullptr;
    BSTR doc = nullptr;
    library->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    const std::u16string description(view(doc ? doc : name));
    SysFreeString(name);
    SysFreeString(doc);

    const std::u16string libraryId = guidText(attr.guid);
    const std::u16string version = versionText(attr.wMajorVerNum, attr.wMinorVerNum);
    Key versionKey;
    if (!versionKey.create(HKEY_CLASSES_ROOT, u"TypeLib\\" + libraryId + u"\\" + version) ||
        !versionKey.setString(nullptr, description)) {
        return TYPE_E_REGISTRYACCESS;
    }
    std::u16string directory(helpDirectory);
    if (directory.empty()) {
        const std::size_t slash = fullPath.find_last_of(u"/\\");
        directory = slash == std::u16string_view::npos ? u"" : fullPath.substr(0, slash);
    }
    Key flags, help, file;
    if (!flags.create(versionKey.get(), u"FLAGS") ||
        !flags.setString(nullptr, ascii(std::to_string(attr.wLibFlags).c_str())) ||
        !help.create(versionKey.get(), u"HELPDIR") || !help.setString(nullptr, directory) ||
        !file.create(versionKey.get(), hex(attr.lcid) + u"\\" + platformKey(attr.syskind)) ||
        !file.setString(nullptr, fullPath)) {
        return TYPE_E_REGISTRYACCESS;
    }

    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComRef<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(i, info.put()))) {
            continue;
        }
        TYPEATTR* type = nullptr;
        if (FAILED(info->GetTypeAttr(&type))) {
            continue;
        }
        TypeEntry entry;
        entry.kind = type->typekind;
        entry.guid = type->guid;
        entry.flags = type->wTypeFlags;
        info->ReleaseTypeAttr(type);
        if (!isRegisteredInterface(entry)) {
            continue;
        }
        BSTR typeName = nullptr;
        info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr, nullptr, nullptr);
        entry.name = view(typeName);
        SysFreeString(typeName);
        if (!registerInterface(entry, libraryId, version)) {
            return TYPE_E_REGISTRYACCESS;
        }
    }
    return S_OK;
}

HRESULT unregisterLibrary(const GUID& libraryId, WORD major, WORD minor, LCID locale,
                          SYSKIND sysKind) {
    const std::u16string libraryKey = u"TypeLib\\" + guidText(libraryId);
    const std::u16string versionPath = libraryKey + u"\\" + versionText(major, minor);
    const std::u16string localePath = versionPath + u"\\" + hex(locale);
    Key file;
    if (!file.open(HKEY_CLASSES_ROOT, localePath + u"\\" + platformKey(sysKind))) {
        return TYPE_E_REGISTRYACCESS;
    }
    const std::optional<std::u16string> path = file.string(nullptr);

    // The interfaces this library registered, found through the library itself.
    if (path) {
        ComRef<ITypeLib> library;
        if (SUCCEEDED(LoadTypeLibEx(path->c_str(), REGKIND_NONE, library.put()))) {
            const std::u16string id = guidText(libraryId);
            for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
                ComRef<ITypeInfo> info;
                TYPEATTR* type = nullptr;
                if (FAILED(library->GetTypeInfo(i, info.put())) ||
                    FAILED(info->GetTypeAttr(&type))) {
                    continue;
                }
                const std::u16string interfacePath = u"Interface\\" + guidText(type->guid);
                info->ReleaseTypeAttr(type);
                Key owner;
                if (owner.open(HKEY_CLASSES_ROOT, interfacePath + u"\\TypeLib") &&
                    owner.string(nullptr) == id) {
                    deleteTree(HKEY_CLASSES_ROOT, interfacePath);
                }
            }
        }
    }

    Key locales;
    if (!locales.open(HKEY_CLASSES_ROOT, localePath, KEY_READ | KEY_WRITE) ||
        RegDeleteKeyW(locales.get(), platformKey(sysKind)) != ERROR_SUCCESS) {
        return TYPE_E_REGISTRYACCESS;
    }
    if (isEmpty(HKEY_CLASSES_ROOT, localePath)) {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, localePath.c_str());
    }
    // The version goes when no locale is left, only its FLAGS and HELPDIR.
    Key versionKey;
    if (versionKey.open(HKEY_CLASSES_ROOT, versionPath)) {
        const std::vector<std::u16string> rest = versionKey.subkeys();
        const bool onlyDescriptions = std::all_of(rest.begin(), rest.end(), [](const auto& n) {
            return sameName(n, u"FLAGS") || sameName(n, u"HELPDIR");
        });
        if (onlyDescriptions) {
            deleteTree(HKEY_CLASSES_ROOT, versionPath);
        }
    }
    if (isEmpty(HKEY_CLASSES_ROOT, libraryKey)) {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, libraryKey.c_str());
    }
    return S_OK;
}

}  // namespace gs::platform::oleaut

extern "C" HRESULT QueryPathOfRegTypeLib(REFGUID libraryId, USHORT major, USHORT minor, LCID locale,
                                         BSTR* path) {
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    *path = nullptr;
    return gs::platform::oleaut::queryPath(libraryId, major, minor, locale, path);
}

extern "C" HRESULT LoadRegTypeLib(REFGUID libraryId, WORD major, WORD minor, LCID locale,
                                  ITypeLib** library) {
    if (library == nullptr) {
        return E_INVALIDARG;
    }
    *library = nullptr;
    BSTR path = nullptr;
    HRESULT hr = gs::platform::oleaut::queryPath(libraryId, major, minor, locale, &path);
    if (FAILED(hr)) {
        // The standard library is part of the platform, registered or not.
        if (hr == TYPE_E_LIBNOTREGISTERED &&
            IsEqualGUID(libraryId, gs::platform::oleaut::kStandardLibraryId) && major == 2) {
            return gs::platform::oleaut::TypeLibrary::openStandard(library);
        }
        return hr;
    }
    hr = LoadTypeLibEx(path, REGKIND_NONE, library);
    SysFreeString(path);
    return hr;
}

extern "C" HRESULT RegisterTypeLib(ITypeLib* library, LPCOLESTR fullPath, LPCOLESTR helpDirectory) {
    if (library == nullptr || fullPath == nullptr) {
        return E_INVALIDARG;
    }
    return gs::platform::oleaut::registerLibrary(library, gs::platform::oleaut::view(fullPath),
                                                 gs::platform::oleaut::view(helpDirectory));
}

extern "C" HRESULT UnRegisterTypeLib(REFGUID libraryId, WORD major, WORD minor, LCID locale,
                                     SYSKIND sysKind) {
    return gs::platform::oleaut::unregisterLibrary(libraryId, major, minor, locale, sysKind);
}
