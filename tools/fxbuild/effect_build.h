// Builds an effect container from a description file: parses it, assembles the pixel shaders it
// names, checks that the shaders and the passes fit together, and lays the container out.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace gs::fx::tools {

// On failure returns false and puts a "file:line: message" text in `error`.
bool buildEffectContainer(const std::filesystem::path& description,
                          std::vector<std::byte>& container, std::string& error);

}  // namespace gs::fx::tools
