// A type library as the reader leaves it: every name, type and member already resolved and
// checked, so that the COM objects serving it never look at file bytes again.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/typeinfo.h"

namespace gs::platform::oleaut {

// One level of a type description; pointers, safe arrays and C arrays refer to the next level.
struct TypeLevel {
    VARTYPE vt = VT_EMPTY;
    HREFTYPE reference = 0;              // VT_USERDEFINED: the referenced type
    std::vector<SAFEARRAYBOUND> bounds;  // VT_CARRAY: one per dimension
};

// A type description, outermost level first: BSTR* is {VT_PTR, VT_BSTR}.
struct TypeSpec {
    std::vector<TypeLevel> levels;

    VARTYPE vt() const { return levels.empty() ? VARTYPE{VT_EMPTY} : levels.front().vt; }
    // The type a pointer (or array) refers to; empty for other types.
    TypeSpec pointee() const {
        TypeSpec inner;
        if (levels.size() > 1) {
            inner.levels.assign(levels.begin() + 1, levels.end());
        }
        return inner;
    }
    static TypeSpec of(VARTYPE vt) { return TypeSpec{{TypeLevel{vt, 0, {}}}}; }
    static TypeSpec pointerTo(TypeSpec inner) {
        inner.levels.insert(inner.levels.begin(), TypeLevel{VT_PTR, 0, {}});
        return inner;
    }
    static TypeSpec userDefined(HREFTYPE reference) {
        return TypeSpec{{TypeLevel{VT_USERDEFINED, reference, {}}}};
    }
};

// A constant: an enumeration value or a parameter's default. Scalars keep their bytes in
// `bits` (little-endian, as a VARIANT holds them); strings keep their text.
struct Constant {
    VARTYPE vt = VT_EMPTY;
    std::uint64_t bits = 0;
    std::u16string text;
};

struct Parameter {
    std::optional<std::u16string> name;  // unnamed parameters have none
    TypeSpec type;
    USHORT flags = 0;
    std::optional<Constant> defaultValue;
};

struct Function {
    MEMBERID memid = 0;
    std::u16string name;
    std::u16string helpString;
    DWORD helpContext = 0;
    DWORD helpStringContext = 0;
    FUNCKIND kind = FUNC_PUREVIRTUAL;
    INVOKEKIND invokeKind = INVOKE_FUNC;
    CALLCONV callConv = CC_STDCALL;
    WORD flags = 0;
    int vtableSlot = 0;  // index into the object's vtable
    TypeSpec result;
    std::vector<Parameter> parameters;
    SHORT optionalCount = 0;
};

struct Variable {
    MEMBERID memid = 0;
    std::u16string name;
    std::u16string helpString;
    DWORD helpContext = 0;
    DWORD helpStringContext = 0;
    TypeSpec type;
    WORD flags = 0;
    VARKIND kind = VAR_PERINSTANCE;
    ULONG instanceOffset = 0;       // VAR_PERINSTANCE
    std::optional<Constant> value;  // VAR_CONST
};

struct ImplementedType {
    HREFTYPE reference = 0;
    INT flags = 0;
};

struct TypeEntry {
    TYPEKIND kind = TKIND_INTERFACE;
    GUID guid{};
    std::u16string name;
    std::u16string docString;
    DWORD helpContext = 0;
    DWORD helpStringContext = 0;
    WORD flags = 0;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD alignment = 0;
    ULONG instanceSize = 0;
    int vtableSlots = 0;  // the whole vtable, inherited slots included
    std::vector<Function> functions;
    std::vector<Variable> variables;
    // Interfaces: their base (at most one); classes: the interfaces they implement.
    std::vector<ImplementedType> implemented;
    TypeSpec alias;          // TKIND_ALIAS
    HREFTYPE reference = 0;  // how other types refer to this one

    bool isDual() const { return kind == TKIND_DISPATCH && (flags & TYPEFLAG_FDUAL) != 0; }
};

struct ImportedLibrary {
    GUID guid{};
    LCID lcid = 0;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    std::u16string fileName;
};

// A type of another library, found there by its GUID or else by its index.
struct ImportedType {
    std::size_t library = 0;
    std::optional<GUID> guid;
    UINT index = 0;
};

struct Library {
    GUID guid{};
    LCID lcid = 0;
    SYSKIND sysKind = SYS_WIN32;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD flags = 0;
    std::u16string name;
    std::u16string docString;
    std::u16string helpFile;
    DWORD helpContext = 0;
    DWORD helpStringContext = 0;
    std::vector<TypeEntry> types;
    std::vector<ImportedLibrary> importedLibraries;
    std::map<HREFTYPE, ImportedType> importedTypes;
    std::map<HREFTYPE, std::size_t> localTypes;  // reference -> index into `types`
};

// References: a library's own types are referred to by their entry's `reference` (a multiple
// of 4), imported types by odd references. From the dispatch side of a dual interface, this
// reference leads to its interface side.
constexpr HREFTYPE kDualInterfaceReference = 0xFFFFFFFE;

}  // namespace gs::platform::oleaut
