// Modules and their resources.
//
// A module handle is the address at which a loaded shared object's ELF header is mapped (the
// main program's for a null name). A module loaded with LOAD_LIBRARY_AS_DATAFILE is only read,
// never mapped for execution; its handle has the low bit set, as on Windows, and serves only for
// resources. Resources are those the build embedded with gs_embed_resources (cmake/
// GlimmerstrandResources.cmake) from the module's resource script.
#pragma once

#include "platform/linux/kernel.h"

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002u
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001u
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008u
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020u
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040u

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001u
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002u
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004u

#define RT_STRING MAKEINTRESOURCEA(6)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_VERSION MAKEINTRESOURCEA(16)

using FARPROC = INT_PTR(WINAPI*)();

extern "C" {

// A bare file name is searched for as dlopen searches; a name with a slash is a path.
GS_PLATFORM_API HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
GS_PLATFORM_API HMODULE WINAPI LoadLibraryExA(LPCSTR fileName, HANDLE file, DWORD flags);
GS_PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE module);
GS_PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName);

// A name matches a loaded object whose file's base name is the same, compared case-insensitively.
// Windows names map to ours: "Glimmerstrand.dll" also finds Glimmerstrand.so, and a name without
// an extension is tried with ".so" and ".dll".
GS_PLATFORM_API HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);
GS_PLATFORM_API BOOL WINAPI GetModuleHandleExA(DWORD flags, LPCSTR moduleName, HMODULE* module);
GS_PLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

GS_PLATFORM_API HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
GS_PLATFORM_API HRSRC WINAPI FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name,
                                             WORD language);
GS_PLATFORM_API HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
GS_PLATFORM_API LPVOID WINAPI LockResource(HGLOBAL resourceData);
GS_PLATFORM_API DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);
GS_PLATFORM_API BOOL WINAPI FreeResource(HGLOBAL resourceData);

}  // extern "C"
