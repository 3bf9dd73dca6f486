// Which keys this process may not write: the paths listed in GLIMMERSTRAND_REGISTRY_DENY and those
// given to testing::denyWrites. A denied path covers its key and everything below it.
#pragma once

#include <string>
#include <vector>

#include "platform/linux/registry_tree.h"

namespace gs::platform::registry {

bool isWriteDenied(Root root, const std::vector<std::string>& path);

}  // namespace gs::platform::registry
