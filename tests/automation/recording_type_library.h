// Watches what a module does with one registered type library, from the test program's side of
// the platform: this program defines LoadRegTypeLib itself, so a module loaded with dlopen (and
// the platform too) binds to it ahead of the platform's. Requests for the watched library are
// counted and forwarded, and the library handed out gives type information wrapped in a
// recording type information, which counts its references, the name lookups and the calls that
// reach it and forwards everything else. Requests for other libraries (the platform resolving
// the standard library, for one) pass through untouched. Linux only.
#pragma once

#include <atomic>

#include "platform/win32.h"

namespace gs::test {

struct TypeLibraryRecord {
    // Set before the watched module makes its first request.
    GUID watchedLibrary{};
    std::atomic<int> loadRegTypeLibCalls{0};
    // Type information handed out and not yet released for the last time.
    std::atomic<int> liveTypeInfos{0};
    std::atomic<int> getIDsOfNamesCalls{0};
    std::atomic<int> invokeCalls{0};
    // How long each LoadRegTypeLib takes at least, to widen the window in which callers race.
    std::atomic<int> loadDelayMilliseconds{0};

    void reset(const GUID& library) {
        watchedLibrary = library;
        loadRegTypeLibCalls = 0;
        getIDsOfNamesCalls = 0;
        invokeCalls = 0;
        loadDelayMilliseconds = 0;
    }
};

TypeLibraryRecord& typeLibraryRecord();

// The platform's own LoadRegTypeLib, bypassing the recording.
HRESULT loadRegTypeLibUnrecorded(REFGUID libraryId, WORD major, WORD minor, LCID locale,
                                 ITypeLib** library);

}  // namespace gs::test
