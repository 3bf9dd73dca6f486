// Controls for tests of code that uses the registry: a scratch store, refused write access, and a
// hook into the stages of writing the store file.
#pragma once

#include <cstddef>

#include "platform/linux/types.h"

namespace gs::platform::registry::testing {

// Points this process at another store file; null goes back to the environment's choice.
GS_PLATFORM_API void useStore(const char* path);

// Refuses write access to a key and every key below it, as Windows does for a user without write
// rights there: opening for writing, creating, deleting and setting values fail with
// ERROR_ACCESS_DENIED, reading still works. `keyPath` is a root name ("HKLM" or
// "HKEY_LOCAL_MACHINE") optionally followed by key names ("HKLM\\SOFTWARE\\Classes"). The
// environment variable GLIMMERSTRAND_REGISTRY_DENY lists such paths separated by ';'.
GS_PLATFORM_API void denyWrites(const char* keyPath);
// Forgets the paths given to denyWrites (the environment's list stays).
GS_PLATFORM_API void allowWrites();

// How many key handles this process holds open (the predefined roots are not counted).
GS_PLATFORM_API std::size_t openKeyCount();

// Whether the store file, read afresh, holds exactly what this process's snapshot of it holds: a
// check that everything written survives the file's text form.
GS_PLATFORM_API bool storeFileMatchesSnapshot();

// Whether store writes wait for the disk (fsync). Tests and fuzzing that write thousands of
// times may turn it off: a write stays atomic for other processes and against a crash of the
// writer, only a power loss may then lose it.
GS_PLATFORM_API void syncWrites(bool sync);

enum class WriteStage {
    Locked,       // the writer holds the lock and has an up-to-date snapshot
    HalfWritten,  // half of the new version is in the temporary file
    Written,      // all of it is
    Synced,       // and it is on disk
    Renamed,      // the new version has replaced the store
};
// Called at each stage of every store write in this process; null removes the hook.
GS_PLATFORM_API void onWriteStage(void (*hook)(WriteStage stage));

}  // namespace gs::platform::registry::testing
