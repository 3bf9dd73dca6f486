// Calls a COM method the way a C client or another compiler does: by its slot in the object's
// function table, with the interface pointer as the first argument. The argument types given must
// be those of the method, since nothing here checks them.
#pragma once

#include <cstddef>

#include "platform/win32.h"

namespace gs::testing {

template <typename Result, typename... Arguments>
Result callSlot(void* object, std::size_t slot, Arguments... arguments) {
    using Method = Result(STDMETHODCALLTYPE*)(void*, Arguments...);
    void* const* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Method>(table[slot])(object, arguments...);
}

}  // namespace gs::testing
