// The module's own instance handle: where its string resources are looked up and whose file the
// registrar reads. Recorded when the module's static state is constructed; tests that run the
// layers without the module point it at a module of their choice.
#pragma once

#include "platform/win32.h"

namespace gs::module {

extern HINSTANCE moduleInstance;

}  // namespace gs::module
