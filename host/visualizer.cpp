#include "host/visualizer.h"

#include <algorithm>
#include <cctype>

namespace gs::host {

int findPreset(Visualizer& visualizer, const std::string& name) {
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    const int count = visualizer.presetCount();
    for (int preset = 0; preset < count; ++preset) {
        if (lower(visualizer.presetTitle(preset)) == lower(name)) {
            return preset;
        }
    }
    if (!name.empty() && std::all_of(name.begin(), name.end(), ::isdigit) && name.size() < 4) {
        const int preset = std::stoi(name);
        return preset < count ? preset : -1;
    }
    return -1;
}

}  // namespace gs::host
