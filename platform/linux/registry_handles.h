// Open key handles. A handle remembers its key by path, so it stays valid when the store is
// reloaded after another process changed it; a handle whose key has gone reports ERROR_KEY_DELETED.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/registry.h"
#include "platform/linux/registry_tree.h"

namespace gs::platform::registry {

struct OpenKey {
    Root root = Root::ClassesRoot;
    std::vector<std::string> path;
    REGSAM access = 0;
};

// The key behind a handle: a predefined root (with every right) or one this process opened.
// Fails with ERROR_INVALID_HANDLE for anything else.
LSTATUS resolveHandle(HKEY key, OpenKey& open);
HKEY addHandle(OpenKey open);
LSTATUS closeHandle(HKEY key);

}  // namespace gs::platform::registry
