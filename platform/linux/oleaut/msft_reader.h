// Reads a compiled type library in the "MSFT" format, the one widl and MIDL write.
//
// Layout, as far as this reader needs it (all numbers little-endian, offsets in bytes):
//   header        "MSFT", format version 0x00010002, library GUID, locale, flags, counts and the
//                 string offsets of the library's name, help string and help file; 0x54 bytes,
//                 four more when bit 8 of the flags word says a file name follows
//   type offsets  one 32-bit offset per type into the type segment
//   directory     15 segment descriptors {offset, length, -1, 0x0F}: types, import entries,
//                 imported libraries, implemented-interface references, GUID hash, GUIDs, name
//                 hash, names, strings, type descriptions, array descriptions, custom data,
//                 custom-data GUIDs and two unused ones
//   segments      where the directory says
//   members       per type, a block of function and variable records followed by three arrays
//                 (member ids, name offsets, record offsets), at the offset the type gives
//
// Every offset and length is checked against the data before it is followed: a damaged library
// is refused as a whole, with TYPE_E_CANTLOADLIBRARY (not a type library at all),
// TYPE_E_UNSUPFORMAT (a format or version we do not read) or TYPE_E_INVDATAREAD (a type library
// whose contents do not hold together).
#pragma once

#include <cstddef>
#include <span>

#include "platform/linux/oleaut/library_model.h"

namespace gs::platform::oleaut {

HRESULT readMsftLibrary(std::span<const std::byte> data, Library& library);

}  // namespace gs::platform::oleaut
