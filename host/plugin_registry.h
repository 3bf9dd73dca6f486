// Finds visualization plug-ins the way the player does: every key under the player's Effects key
// names a plug-in, its Properties subkey gives the class id ("classid"), and the class's
// InprocServer32 key under HKEY_CLASSES_ROOT gives the module file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace gs::host {

struct RegisteredPlugin {
    std::string key;        // the name under the Effects key
    std::string classText;  // the "classid" value as written
    CLSID classId{};
    std::string className;   // the class key's default value
    std::string modulePath;  // InprocServer32's default value
    std::string problem;     // why the entry cannot be used; empty when it can
};

// Every plug-in entry, in the registry's order.
std::vector<RegisteredPlugin> registeredPlugins();

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::optional<CLSID> parseClassId(const std::string& text);
std::string formatClassId(const CLSID& classId);

}  // namespace gs::host
