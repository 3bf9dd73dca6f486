// Redirects a loaded module's calls of one imported function, by rewriting its import address
// table. Tests use it to put the module on a clock they control without the module knowing.
#pragma once

#include "platform/win32.h"

namespace gs::differential {

// Points `module`'s import of `function` from `library` (matched without regard to case) at
// `replacement`. False when the module does not import it by that name.
bool redirectImport(HMODULE module, const char* library, const char* function, void* replacement);

}  // namespace gs::differential
