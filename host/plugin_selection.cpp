#include "host/plugin_selection.h"

#include <unistd.h>

#include "host/host_error.h"
#include "host/plugin_registry.h"
#include "plugin/player_interfaces.h"

namespace gs::host {

namespace fs = std::filesystem;

namespace {

bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

}  // namespace

fs::path defaultModulePath() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    const fs::path folder = program.parent_path();
    for (const fs::path& candidate :
         {folder / "../module/Glimmerstrand.so", folder / "../lib/glimmerstrand/Glimmerstrand.so",
          folder / "Glimmerstrand.so"}) {
        if (fs::exists(candidate, error)) {
            return fs::weakly_canonical(candidate, error);
        }
    }
    return folder / "../module/Glimmerstrand.so";
}

SelectedPlugin selectPlugin(const std::string& modulePath) {
    const std::vector<RegisteredPlugin> registered = registeredPlugins();
    if (!modulePath.empty()) {
        SelectedPlugin selected{std::make_unique<PluginModule>(modulePath),
                                plugin::kCLSIDGlimmerstrand};
        for (const RegisteredPlugin& entry : registered) {
            if (entry.problem.empty() && sameFile(entry.modulePath, selected.module->path())) {
                selected.classId = entry.classId;
                break;
            }
        }
        return selected;
    }
    std::string reasons;
    for (const RegisteredPlugin& entry : registered) {
        if (entry.problem.empty()) {
            return {std::make_unique<PluginModule>(entry.modulePath), entry.classId};
        }
        reasons += (reasons.empty() ? "" : ", ") + entry.key + ": " + entry.problem;
    }
    throw HostError(registered.empty()
                        ? "no visualization plug-in is registered: run 'glimmerstrand register' "
                          "or pass --module"
                        : "no usable visualization plug-in is registered (" + reasons + ")");
}

}  // namespace gs::host
