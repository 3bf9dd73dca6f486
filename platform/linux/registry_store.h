// Where the registry lives and how processes share it.
//
// The store is one file per machine profile: $GLIMMERSTRAND_REGISTRY if set, otherwise
// $XDG_CONFIG_HOME/glimmerstrand/registry, otherwise ~/.config/glimmerstrand/registry. Beside it
// are "<file>.lock", which serialises writers across processes, and "<file>.tmp", the next version
// while it is being written.
//
// Every process keeps a snapshot of the file in memory and holds the snapshot's file open, so
// comparing device and inode numbers with the file now at the path tells whether another process
// has replaced it (an inode held open cannot be reused). Reads refresh the snapshot when the file
// changed and need no lock: writers replace the file by rename, so a reader sees a whole version.
// A mutation takes the lock file (flock), refreshes, applies the change, writes the new version to
// the temporary file, flushes it to disk, renames it over the store and flushes the directory, then
// lets go of the lock. A crash at any point leaves either the old or the new version.
//
// A file that exists but cannot be parsed is never replaced: every call that needs the contents
// fails with ERROR_REGISTRY_CORRUPT (and the reason is printed to stderr once) until it is repaired
// or removed. A missing file is an empty registry.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <functional>
#include <mutex>
#include <string>

#include "platform/linux/registry.h"
#include "platform/linux/registry_tree.h"

namespace gs::platform::registry {

std::string storePath();

class Store {
public:
    static Store& instance();

    // Runs `work` on an up-to-date snapshot.
    LSTATUS read(const std::function<LSTATUS(const Tree&)>& work);

    // Runs `work` under the cross-process lock on an up-to-date snapshot. When it succeeds and sets
    // its flag, the changed tree is written back; when writing fails, the change is dropped.
    LSTATUS write(const std::function<LSTATUS(Tree&, bool& changed)>& work);

    // Whether the file, read afresh, holds what the snapshot holds.
    bool fileMatchesSnapshot();

private:
    Store() = default;

    LSTATUS refresh(const std::string& path, bool force);
    LSTATUS persist(const std::string& path);
    void forget();
    void hold(int fd);

    std::mutex mutex_;
    Tree tree_;
    std::string snapshotPath_;  // the store this snapshot came from; empty: none yet
    int snapshotFd_ = -1;       // the file the snapshot was read from; -1: file was absent
    // What the file looked like when read, to notice a file changed in place (by an editor).
    timespec snapshotModified_{};
    off_t snapshotSize_ = 0;
    bool corrupt_ = false;
};

}  // namespace gs::platform::registry
