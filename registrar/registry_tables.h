// The fixed tables of the registry-script language: root key names, value type letters and the
// keys that a forced deletion never touches.
#pragma once

#include "platform/win32.h"

namespace gs::registrar {

// The root key named by a script's root token ("HKCR", "HKEY_LOCAL_MACHINE", ... in any letter
// case), or null.
HKEY rootKeyTable(LPCSTR name);

// The registry type of a value type letter ("S", "M", "D", "B" in either case), or REG_NONE.
DWORD valueTypeTable(LPCSTR letter);

// False for the names in neverDeleteKeys, in any letter case.
bool canForceRemoveKey(LPCSTR name);

}  // namespace gs::registrar
