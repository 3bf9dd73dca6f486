// The subset of the Windows resource-script language that our modules use: LANGUAGE statements,
// STRINGTABLE blocks, and `name type "file"` lines with integer or string names and types.
// VERSIONINFO blocks are read over and dropped: nothing reads version resources on Linux.
// A small preprocessor handles #define (object-like), #undef, #ifdef, #ifndef, #if with
// defined(), #elif, #else, #endif and #include "file"; #pragma and #include <...> are ignored.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace gs::tools::resource_table {

// A resource type or name: an integer id, or a name kept in upper case.
struct Identifier {
    std::optional<std::uint16_t> id;
    std::string name;

    bool operator==(const Identifier&) const = default;
};

struct Resource {
    Identifier type;
    Identifier name;
    std::uint16_t language = 0;
    std::vector<unsigned char> bytes;
};

struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ScriptOptions {
    std::vector<std::filesystem::path> includeDirectories;  // searched after the script's folder
    std::vector<std::pair<std::string, std::string>> definitions;
};

struct CompiledScript {
    std::vector<Resource> resources;  // string-table blocks first, then in script order
    std::vector<std::filesystem::path> filesRead;  // the script, includes and resource files
};

// Throws ScriptError with "file:line: message" for anything outside the subset.
CompiledScript compileResourceScript(const std::filesystem::path& script,
                                     const ScriptOptions& options);

}  // namespace gs::tools::resource_table
