// The module table shared by the module functions and the resource functions.
#pragma once

#include <optional>

#include "platform/linux/detail/resource_lookup.h"

namespace gs::platform::detail {

// The resource table of a module (null: the main program). Without one, error is set to the code
// FindResource reports.
std::optional<ResourceTable> resourceTableOf(HMODULE module, DWORD& error);

// The table, of any module, whose entries include this one.
std::optional<ResourceTable> resourceTableHolding(const void* entry);

}  // namespace gs::platform::detail
