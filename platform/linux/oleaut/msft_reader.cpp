#include "platform/linux/oleaut/msft_reader.h"

#include <cstring>
#include <limits>
#include <new>
#include <set>
#include <stdexcept>

namespace gs::platform::oleaut {
namespace {

constexpr std::uint32_t kMagic = 0x5446534D;       // "MSFT"
constexpr std::uint32_t kOtherMagic = 0x47544C53;  // "SLTG", the older format
constexpr std::uint32_t kFormatVersion = 0x00010002;
constexpr std::size_t kHeaderSize = 0x54;
constexpr std::uint32_t kHasFileName = 0x100;
constexpr std::size_t kSegmentCount = 15;
constexpr std::size_t kTypeRecordSize = 0x64;
constexpr std::size_t kFunctionRecordBase = 0x18;
constexpr std::size_t kVariableRecordBase = 0x14;
constexpr std::size_t kParameterRecordSize = 12;
constexpr std::size_t kTypeDescSize = 8;
constexpr std::int32_t kNone = -1;
// Deeper type descriptions than this are taken as a loop in a damaged file.
constexpr int kMaxTypeDepth = 16;

enum Segment {
    kTypeInfos = 0,
    kImportInfos = 1,
    kImportFiles = 2,
    kReferences = 3,
    kGuids = 5,
    kNames = 7,
    kStrings = 8,
    kTypeDescs = 9,
    kArrayDescs = 10,
    kCustomData = 11,
};

// A failed check; the reader unwinds with it to readMsftLibrary, which reports the code.
struct Refusal {
    HRESULT code;
};

[[noreturn]] void refuse(HRESULT code = TYPE_E_INVDATAREAD) {
    throw Refusal{code};
}

void require(bool condition) {
    if (!condition) {
        refuse();
    }
}

class Reader {
public:
    explicit Reader(std::span<const std::byte> data) : data_(data) {}

    void read(Library& library);

private:
    struct Range {
        std::size_t offset = 0;
        std::size_t length = 0;
    };

    // Bounds-checked little-endian reads; `offset` is from the start of the data.
    bool fits(std::uint64_t offset, std::uint64_t length) const {
        return offset <= data_.size() && length <= data_.size() - offset;
    }
    template <class T>
    T at(std::uint64_t offset) const {
        require(fits(offset, sizeof(T)));
        T value;
        std::memcpy(&value, data_.data() + offset, sizeof(T));
        return value;
    }
    std::uint32_t u32(std::uint64_t offset) const { return at<std::uint32_t>(offset); }
    std::int32_t i32(std::uint64_t offset) const { return at<std::int32_t>(offset); }
    std::uint16_t u16(std::uint64_t offset) const { return at<std::uint16_t>(offset); }
    std::uint8_t u8(std::uint64_t offset) const { return at<std::uint8_t>(offset); }

    // The file offset of `length` bytes at `offset` inside a segment.
    std::size_t inSegment(Segment segment, std::int64_t offset, std::size_t length) const {
        const Range& range = segments_[segment];
        require(offset >= 0 && static_cast<std::uint64_t>(offset) <= range.length &&
                length <= range.length - static_cast<std::uint64_t>(offset));
        return range.offset + static_cast<std::size_t>(offset);
    }

    std::u16string latin1(std::size_t offset, std::size_t length) const {
        require(fits(offset, length));
        std::u16string text(length, u'\0');
        for (std::size_t i = 0; i < length; ++i) {
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(data_[offset + i]));
        }
        return text;
    }

    std::u16string name(std::int32_t offset) const {
        const std::size_t entry = inSegment(kNames, offset, 12);
        const std::size_t length = u8(entry + 8);
        return latin1(inSegment(kNames, std::int64_t{offset} + 12, length), length);
    }
    std::optional<std::u16string> optionalName(std::int32_t offset) const {
        if (offset == kNone) {
            return std::nullopt;
        }
        return name(offset);
    }
    std::u16string string(std::int32_t offset) const {
        if (offset == kNone) {
            return {};
        }
        const std::size_t entry = inSegment(kStrings, offset, 2);
        const std::size_t length = u16(entry);
        return latin1(inSegment(kStrings, std::int64_t{offset} + 2, length), length);
    }
    GUID guid(std::int32_t offset) const {
        if (offset == kNone) {
            return GUID{};
        }
        const std::size_t entry = inSegment(kGuids, offset, sizeof(GUID));
        GUID value;
        std::memcpy(&value, data_.data() + entry, sizeof(GUID));
        return value;
    }

    void readHeader(Library& library, std::size_t& typeCount);
    void readImports(Library& library, std::int32_t importCount);
    void checkReference(HREFTYPE reference) const;
    TypeSpec typeSpec(std::uint32_t encoded) const;
    void appendTypeLevels(std::uint32_t encoded, TypeSpec& typeSpec, int depth) const;
    void appendArray(std::int32_t offset, TypeSpec& typeSpec, int depth) const;
    Constant constant(std::uint32_t encoded) const;
    void readType(std::size_t typeOffset, TypeEntry& type);
    void readMembers(std::size_t blockOffset, std::size_t functionCount, std::size_t variableCount,
                     TypeEntry& type) const;
    Function function(std::size_t record, std::size_t recordEnd) const;
    Variable variable(std::size_t record, std::size_t recordEnd) const;

    std::span<const std::byte> data_;
    Range segments_[kSegmentCount];
    std::set<std::uint32_t> typeOffsets_;
    HREFTYPE dispatchReference_ = 0;
    bool hasDispatchReference_ = false;
    std::size_t importInfoCount_ = 0;
    int pointerSize_ = 4;
};

void Reader::readHeader(Library& library, std::size_t& typeCount) {
    if (!fits(0, kHeaderSize) || (u32(0) != kMagic && u32(0) != kOtherMagic)) {
        refuse(TYPE_E_CANTLOADLIBRARY);
    }
    if (u32(0) != kMagic || u32(4) != kFormatVersion) {
        refuse(TYPE_E_UNSUPFORMAT);
    }
    const std::uint32_t systemFlags = u32(0x14);
    const std::uint32_t sysKind = systemFlags & 0xF;
    require(sysKind <= SYS_WIN64);
    library.sysKind = static_cast<SYSKIND>(sysKind);
    pointerSize_ = library.sysKind == SYS_WIN64 ? 8 : 4;
    // The locale written by the library's own lcid attribute; the one before it is the
    // compiler's default.
    library.lcid = u32(0x10);
    const std::uint32_t version = u32(0x18);
    library.majorVersion = static_cast<WORD>(version & 0xFFFF);
    library.minorVersion = static_cast<WORD>(version >> 16);
    library.flags = static_cast<WORD>(u32(0x1C));
    const std::int32_t types = i32(0x20);
    require(types >= 0);
    typeCount = static_cast<std::size_t>(types);
    library.helpStringContext = u32(0x28);
    library.helpContext = u32(0x2C);
    const std::int32_t dispatch = i32(0x4C);
    hasDispatchReference_ = dispatch != kNone;
    dispatchReference_ = static_cast<HREFTYPE>(dispatch);

    const std::size_t typeOffsetsAt = kHeaderSize + ((systemFlags & kHasFileName) ? 4 : 0);
    require(fits(typeOffsetsAt, std::uint64_t{typeCount} * 4));
    const std::size_t directoryAt = typeOffsetsAt + typeCount * 4;
    for (std::size_t i = 0; i < kSegmentCount; ++i) {
        const std::int32_t offset = i32(directoryAt + i * 16);
        const std::int32_t length = i32(directoryAt + i * 16 + 4);
        if (offset == kNone) {
            segments_[i] = Range{0, 0};
            continue;
        }
        require(offset >= 0 && length >= 0 && fits(std::uint32_t(offset), std::uint32_t(length)));
        segments_[i] = Range{static_cast<std::size_t>(offset), static_cast<std::size_t>(length)};
    }
    for (std::size_t i = 0; i < typeCount; ++i) {
        const std::int32_t offset = i32(typeOffsetsAt + i * 4);
        // Types are referred to by these offsets; odd ones would collide with imported types.
        require(offset >= 0 && offset % 4 == 0);
        inSegment(kTypeInfos, offset, kTypeRecordSize);
        require(typeOffsets_.insert(static_cast<std::uint32_t>(offset)).second);
    }

    library.guid = guid(i32(0x08));
    library.docString = string(i32(0x24));
    library.name = name(i32(0x38));
    library.helpFile = string(i32(0x3C));
    readImports(library, i32(0x50));
}

void Reader::readImports(Library& library, std::int32_t importCount) {
    constexpr std::size_t kImportInfoSize = 12;
    require(importCount >= 0);
    require(segments_[kImportInfos].length / kImportInfoSize >=
            static_cast<std::size_t>(importCount));
    importInfoCount_ = static_cast<std::size_t>(importCount);

    std::map<std::int32_t, std::size_t> libraryAt;  // import-file offset -> library index
    for (std::size_t i = 0; i < importInfoCount_; ++i) {
        const std::size_t entry = inSegment(kImportInfos, i * kImportInfoSize, kImportInfoSize);
        const std::uint8_t flags = u8(entry + 2);
        const std::int32_t fileOffset = i32(entry + 4);
        const std::int32_t target = i32(entry + 8);

        auto known = libraryAt.find(fileOffset);
        if (known == libraryAt.end()) {
            const std::size_t file = inSegment(kImportFiles, fileOffset, 14);
            ImportedLibrary imported;
            imported.guid = guid(i32(file));
            imported.lcid = u32(file + 4);
            imported.majorVersion = u16(file + 8);
            imported.minorVersion = u16(file + 10);
            const std::size_t nameLength = u16(file + 12) >> 2;
            imported.fileName = latin1(
                inSegment(kImportFiles, std::int64_t{fileOffset} + 14, nameLength), nameLength);
            known = libraryAt.emplace(fileOffset, library.importedLibraries.size()).first;
            library.importedLibraries.push_back(std::move(imported));
        }

        ImportedType type;
        type.library = known->second;
        if (flags & 1) {
            type.guid = guid(target);
        } else {
            require(target >= 0);
            type.index = static_cast<UINT>(target);
        }
        library.importedTypes.emplace(static_cast<HREFTYPE>(i * kImportInfoSize) | 1, type);
    }
}

void Reader::checkReference(HREFTYPE reference) const {
    if (reference & 1) {
        const HREFTYPE entry = reference & ~HREFTYPE{1};
        require(entry % 12 == 0 && entry / 12 < importInfoCount_);
    } else {
        require(typeOffsets_.count(reference) == 1);
    }
}

// Type descriptions are encoded in 32 bits: with the top bit set the low 16 bits are the
// variant type itself; otherwise they are the offset of an 8-byte entry in the type description
// segment: {variant type in the low 16 bits, then what it refers to}.
TypeSpec Reader::typeSpec(std::uint32_t encoded) const {
    TypeSpec typeSpec;
    appendTypeLevels(encoded, typeSpec, 0);
    return typeSpec;
}

void Reader::appendTypeLevels(std::uint32_t encoded, TypeSpec& typeSpec, int depth) const {
    require(depth < kMaxTypeDepth);
    if (encoded & 0x80000000u) {
        const VARTYPE vt = static_cast<VARTYPE>(encoded & 0x7FFF);
        require(vt != VT_PTR && vt != VT_SAFEARRAY && vt != VT_CARRAY && vt != VT_USERDEFINED &&
                vt <= VT_CLSID);
        typeSpec.levels.push_back(TypeLevel{vt, 0, {}});
        return;
    }
    const std::size_t entry = inSegment(kTypeDescs, encoded, kTypeDescSize);
    require(encoded % kTypeDescSize == 0);
    const VARTYPE vt = static_cast<VARTYPE>(u32(entry) & 0x7FFF);
    const std::uint32_t target = u32(entry + 4);
    switch (vt) {
        case VT_PTR:
        case VT_SAFEARRAY:
            typeSpec.levels.push_back(TypeLevel{vt, 0, {}});
            appendTypeLevels(target, typeSpec, depth + 1);
            return;
        case VT_USERDEFINED:
            checkReference(target);
            typeSpec.levels.push_back(TypeLevel{vt, target, {}});
            return;
        case VT_CARRAY:
            appendArray(static_cast<std::int32_t>(target), typeSpec, depth + 1);
            return;
        default:
            refuse();
    }
}

// Array descriptions: {element type (encoded as above), dimension count, variant type, then
// per dimension {element count, lower bound}}.
void Reader::appendArray(std::int32_t offset, TypeSpec& typeSpec, int depth) const {
    const std::size_t entry = inSegment(kArrayDescs, offset, 8);
    const std::size_t dimensions = u16(entry + 4);
    require(dimensions > 0);
    const std::size_t boundsAt =
        inSegment(kArrayDescs, std::int64_t{offset} + 8, dimensions * sizeof(SAFEARRAYBOUND));
    TypeLevel level{VT_CARRAY, 0, {}};
    level.bounds.resize(dimensions);
    for (std::size_t i = 0; i < dimensions; ++i) {
        level.bounds[i].cElements = u32(boundsAt + i * 8);
        level.bounds[i].lLbound = i32(boundsAt + i * 8 + 4);
    }
    typeSpec.levels.push_back(std::move(level));
    appendTypeLevels(u32(entry), typeSpec, depth);
}

// Constants are stored inline when small, as {bit 31, variant type in bits 26 to 30, value in
// the low 26 bits}, and otherwise in the custom data segment as {variant type, value}.
Constant Reader::constant(std::uint32_t encoded) const {
    Constant value;
    if (encoded & 0x80000000u) {
        value.vt = static_cast<VARTYPE>((encoded >> 26) & 0x1F);
        value.bits = encoded & 0x03FFFFFF;
        switch (value.vt) {
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
            case VT_ERROR:
                return value;
            default:
                refuse();
        }
    }
    const std::size_t entry = inSegment(kCustomData, encoded, 2);
    value.vt = u16(entry);
    std::size_t size = 0;
    switch (value.vt) {
        case VT_I1:
        case VT_UI1:
            size = 1;
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            size = 2;
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
        case VT_HRESULT:
            size = 4;
            break;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
            size = 8;
            break;
        case VT_BSTR: {
            const std::uint32_t length = u32(inSegment(kCustomData, std::int64_t{encoded} + 2, 4));
            value.text = latin1(inSegment(kCustomData, std::int64_t{encoded} + 6, length), length);
            return value;
        }
        case VT_EMPTY:
        case VT_NULL:
            return value;
        default:
            refuse(TYPE_E_UNSUPFORMAT);
    }
    std::memcpy(&value.bits, data_.data() + inSegment(kCustomData, std::int64_t{encoded} + 2, size),
                size);
    return value;
}

// Function records: {record size, index, result type, function flags, vtable offset, size in
// memory, kind/invoke kind/calling convention bits, parameter count, optional parameter count},
// then as many of {help context, help string, entry, two unused, help string context, custom
// data} as the record has room for, then (when bit 12 of the kind bits says so) one default
// value per parameter, then per parameter {type, name, flags}.
Function Reader::function(std::size_t record, std::size_t recordEnd) const {
    Function f;
    const std::size_t size = recordEnd - record;
    f.result = typeSpec(u32(record + 4));
    f.flags = static_cast<WORD>(u32(record + 8));
    const std::int16_t vtableOffset = static_cast<std::int16_t>(u16(record + 12));
    const std::uint32_t bits = u32(record + 16);
    const std::uint32_t kind = bits & 0x7;
    const std::uint32_t invokeKind = (bits >> 3) & 0xF;
    const std::uint32_t callConv = (bits >> 8) & 0xF;
    const bool hasDefaults = (bits & 0x1000) != 0;
    require(kind <= FUNC_DISPATCH && callConv < CC_MAX);
    require(invokeKind == INVOKE_FUNC || invokeKind == INVOKE_PROPERTYGET ||
            invokeKind == INVOKE_PROPERTYPUT || invokeKind == INVOKE_PROPERTYPUTREF);
    f.kind = static_cast<FUNCKIND>(kind);
    f.invokeKind = static_cast<INVOKEKIND>(invokeKind);
    f.callConv = static_cast<CALLCONV>(callConv);
    require(vtableOffset >= 0 && vtableOffset % pointerSize_ == 0);
    f.vtableSlot = vtableOffset / pointerSize_;

    const std::size_t parameterCount = u16(record + 20);
    const std::size_t optionalCount = u16(record + 22);
    require(optionalCount <= parameterCount);
    f.optionalCount = static_cast<SHORT>(optionalCount);
    const std::size_t trailer = parameterCount * (kParameterRecordSize + (hasDefaults ? 4 : 0));
    require(size >= kFunctionRecordBase + trailer);
    const std::size_t extraFields = (size - kFunctionRecordBase - trailer) / 4;
    if (extraFields >= 1) {
        f.helpContext = u32(record + 0x18);
    }
    if (extraFields >= 2) {
        f.helpString = string(i32(record + 0x1C));
    }
    if (extraFields >= 6) {
        f.helpStringContext = u32(record + 0x2C);
    }

    const std::size_t parametersAt = recordEnd - parameterCount * kParameterRecordSize;
    const std::size_t defaultsAt = parametersAt - (hasDefaults ? parameterCount * 4 : 0);
    f.parameters.resize(parameterCount);
    for (std::size_t i = 0; i < parameterCount; ++i) {
        Parameter& p = f.parameters[i];
        const std::size_t at = parametersAt + i * kParameterRecordSize;
        p.type = typeSpec(u32(at));
        p.name = optionalName(i32(at + 4));
        p.flags = static_cast<USHORT>(u32(at + 8));
        if (hasDefaults && (p.flags & PARAMFLAG_FHASDEFAULT)) {
            const std::int32_t encoded = i32(defaultsAt + i * 4);
            require(encoded != kNone);
            p.defaultValue = constant(static_cast<std::uint32_t>(encoded));
        } else {
            p.flags &= ~PARAMFLAG_FHASDEFAULT;  // a default we were not given is not offered
        }
    }
    return f;
}

// Variable records: {record size, index, type, variable flags, variable kind, size in memory,
// value or instance offset}, then as many of {help context, help string, unused, custom data,
// help string context} as there is room for.
Variable Reader::variable(std::size_t record, std::size_t recordEnd) const {
    Variable v;
    const std::size_t size = recordEnd - record;
    require(size >= kVariableRecordBase);
    v.type = typeSpec(u32(record + 4));
    v.flags = static_cast<WORD>(u32(record + 8));
    const std::uint16_t kind = u16(record + 12);
    require(kind <= VAR_DISPATCH);
    v.kind = static_cast<VARKIND>(kind);
    const std::uint32_t value = u32(record + 16);
    if (v.kind == VAR_CONST) {
        v.value = constant(value);
    } else {
        v.instanceOffset = value;
    }
    const std::size_t extraFields = (size - kVariableRecordBase) / 4;
    if (extraFields >= 1) {
        v.helpContext = u32(record + 0x14);
    }
    if (extraFields >= 2) {
        v.helpString = string(i32(record + 0x18));
    }
    if (extraFields >= 5) {
        v.helpStringContext = u32(record + 0x24);
    }
    return v;
}

// The member block: {size of the records}, the records, then member ids, name offsets and
// record offsets (relative to the first record), one each per function and then per variable.
void Reader::readMembers(std::size_t blockOffset, std::size_t functionCount,
                         std::size_t variableCount, TypeEntry& type) const {
    const std::size_t count = functionCount + variableCount;
    const std::size_t recordsAt = blockOffset + 4;
    const std::uint32_t recordsSize = u32(blockOffset);
    require(fits(recordsAt, recordsSize));
    const std::size_t arraysAt = recordsAt + recordsSize;
    require(fits(arraysAt, std::uint64_t{count} * 12));

    type.functions.reserve(functionCount);
    type.variables.reserve(variableCount);
    for (std::size_t i = 0; i < count; ++i) {
        const MEMBERID memid = i32(arraysAt + i * 4);
        const std::int32_t nameOffset = i32(arraysAt + (count + i) * 4);
        const std::uint32_t recordOffset = u32(arraysAt + (2 * count + i) * 4);
        require(recordOffset < recordsSize && recordsSize - recordOffset >= 2);
        const std::size_t record = recordsAt + recordOffset;
        const std::size_t recordSize = u16(record);
        require(recordSize <= recordsSize - recordOffset);
        if (i < functionCount) {
            require(recordSize >= kFunctionRecordBase);
            Function f = function(record, record + recordSize);
            f.memid = memid;
            f.name = name(nameOffset);
            type.functions.push_back(std::move(f));
        } else {
            Variable v = variable(record, record + recordSize);
            v.memid = memid;
            v.name = name(nameOffset);
            type.variables.push_back(std::move(v));
        }
    }
}

// Type records (0x64 bytes): {kind and alignment, member block offset, sizes in memory, two
// unused, function and variable counts, four unused, GUID, type flags, name, version, doc
// string, help string context, help context, custom data, implemented-type count and vtable
// size, instance size, two type-dependent words, two unused}.
void Reader::readType(std::size_t typeOffset, TypeEntry& type) {
    const std::size_t record = inSegment(kTypeInfos, typeOffset, kTypeRecordSize);
    const std::uint32_t kindWord = u32(record);
    require((kindWord & 0xF) < TKIND_MAX);
    type.kind = static_cast<TYPEKIND>(kindWord & 0xF);
    type.alignment = static_cast<WORD>((kindWord >> 11) & 0x1F);
    type.reference = static_cast<HREFTYPE>(typeOffset);
    const std::uint32_t counts = u32(record + 0x18);
    const std::size_t functionCount = counts & 0xFFFF;
    const std::size_t variableCount = counts >> 16;
    type.guid = guid(i32(record + 0x2C));
    type.flags = static_cast<WORD>(u32(record + 0x30));
    type.name = name(i32(record + 0x34));
    const std::uint32_t version = u32(record + 0x38);
    type.majorVersion = static_cast<WORD>(version & 0xFFFF);
    type.minorVersion = static_cast<WORD>(version >> 16);
    type.docString = string(i32(record + 0x3C));
    type.helpStringContext = u32(record + 0x40);
    type.helpContext = u32(record + 0x44);
    const std::size_t implementedCount = u16(record + 0x4C);
    const std::size_t vtableBytes = u16(record + 0x4E);
    require(vtableBytes % pointerSize_ == 0);
    type.vtableSlots = static_cast<int>(vtableBytes / pointerSize_);
    type.instanceSize = u32(record + 0x50);
    const std::int32_t typeWord = i32(record + 0x54);

    if (functionCount + variableCount > 0) {
        const std::int32_t block = i32(record + 0x04);
        require(block >= 0);
        readMembers(static_cast<std::size_t>(block), functionCount, variableCount, type);
    }

    switch (type.kind) {
        case TKIND_INTERFACE:
        case TKIND_DISPATCH:
            require(implementedCount <= 1);
            if (implementedCount == 1) {
                // Dispinterfaces may leave their base unnamed: it is IDispatch.
                HREFTYPE base = static_cast<HREFTYPE>(typeWord);
                if (typeWord == kNone && type.kind == TKIND_DISPATCH && hasDispatchReference_) {
                    base = dispatchReference_;
                }
                checkReference(base);
                type.implemented.push_back(ImplementedType{base, 0});
            }
            break;
        case TKIND_COCLASS: {
            // Implemented interfaces: a chain of {reference, flags, custom data, next}.
            std::int32_t next = typeWord;
            for (std::size_t i = 0; i < implementedCount; ++i) {
                const std::size_t entry = inSegment(kReferences, next, 16);
                const HREFTYPE reference = u32(entry);
                checkReference(reference);
                type.implemented.push_back(ImplementedType{reference, i32(entry + 4)});
                next = i32(entry + 12);
            }
            break;
        }
        case TKIND_ALIAS:
            type.alias = typeSpec(static_cast<std::uint32_t>(typeWord));
            break;
        default:
            break;
    }
}

void Reader::read(Library& library) {
    std::size_t typeCount = 0;
    readHeader(library, typeCount);
    const std::size_t typeOffsetsAt = kHeaderSize + ((u32(0x14) & kHasFileName) ? 4 : 0);
    library.types.resize(typeCount);
    for (std::size_t i = 0; i < typeCount; ++i) {
        const auto offset = static_cast<std::size_t>(u32(typeOffsetsAt + i * 4));
        readType(offset, library.types[i]);
        library.localTypes.emplace(static_cast<HREFTYPE>(offset), i);
    }
}

}  // namespace

HRESULT readMsftLibrary(std::span<const std::byte> data, Library& library) {
    try {
        Library result;
        Reader(data).read(result);
        library = std::move(result);
        return S_OK;
    } catch (const Refusal& refusal) {
        return refusal.code;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace gs::platform::oleaut
