// Self-registration: applies or removes the module's registry script (resource "REGISTRY" 104).
#pragma once

#include "platform/win32.h"

namespace gs::registrar {

inline constexpr UINT registryScriptId = 104;

struct IRegistrarReplacements;

// The replacement every module script may use: APPID, empty.
HRESULT addCommonReplacements(IRegistrarReplacements& registrar);

// Runs the script of `module` (the module's own instance handle) with the replacements APPID,
// Module and Module_Raw (the module's file name, single quotes doubled).
HRESULT updateRegistry(HINSTANCE module, bool registering);

}  // namespace gs::registrar
