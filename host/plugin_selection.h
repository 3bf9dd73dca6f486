// Which plug-in the host drives: the module given on the command line, or else the first usable
// one registered among the player's visualizations.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "host/plugin_module.h"

namespace gs::host {

struct SelectedPlugin {
    std::unique_ptr<PluginModule> module;
    CLSID classId{};
};

// `modulePath` empty: the registry's first usable entry. Otherwise that module, with the class
// registered for it, or the Glimmerstrand class when it is not registered. Throws HostError.
SelectedPlugin selectPlugin(const std::string& modulePath);

// The Glimmerstrand module installed with this program (in the build tree: ../module/).
std::filesystem::path defaultModulePath();

}  // namespace gs::host
