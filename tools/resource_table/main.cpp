// gs-resource-table: compiles a Windows resource script into the C++ source of a module's
// resource table (see platform/linux/resource_table_format.h).
//
//   gs-resource-table SCRIPT.rc -o OUT.cpp [-I DIR]... [-D NAME[=VALUE]]... [--depfile FILE]
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/resource_table/resource_script.h"
#include "tools/resource_table/table_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace gs::tools::resource_table;

int usage() {
    std::cerr << "usage: gs-resource-table SCRIPT.rc -o OUT.cpp [-I DIR]... [-D NAME[=VALUE]]... "
                 "[--depfile FILE]\n";
    return 2;
}

// Writes through a temporary file so that a failed run never leaves half a source behind, and
// leaves an unchanged file alone so that nothing is rebuilt for nothing.
bool writeIfChanged(const fs::path& path, const std::string& text) {
    {
        std::ifstream existing(path, std::ios::binary);
        if (existing) {
            std::ostringstream current;
            current << existing.rdbuf();
            if (current.str() == text) {
                return true;
            }
        }
    }
    const fs::path temporary = path.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            return false;
        }
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    return !error;
}

std::string escapeForMake(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#') {
            out.push_back('\\');
        } else if (c == '$') {
            out.push_back('$');
        }
        out.push_back(c);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path script;
    fs::path output;
    fs::path depfile;
    ScriptOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&]() -> std::string {
            if (argument.size() > 2 && (argument[1] == 'I' || argument[1] == 'D')) {
                return argument.substr(2);
            }
            if (i + 1 >= argc) {
                throw std::invalid_argument(argument);
            }
            return argv[++i];
        };
        try {
            if (argument == "-o") {
                output = value();
            } else if (argument.rfind("-I", 0) == 0) {
                options.includeDirectories.emplace_back(value());
            } else if (argument.rfind("-D", 0) == 0) {
                const std::string definition = value();
                const auto equals = definition.find('=');
                options.definitions.emplace_back(
                    definition.substr(0, equals),
                    equals == std::string::npos ? "1" : definition.substr(equals + 1));
            } else if (argument == "--depfile") {
                depfile = value();
            } else if (!argument.empty() && argument[0] != '-' && script.empty()) {
                script = argument;
            } else {
                return usage();
            }
        } catch (const std::invalid_argument&) {
            return usage();
        }
    }
    if (script.empty() || output.empty()) {
        return usage();
    }
    try {
        const CompiledScript compiled = compileResourceScript(script, options);
        const std::string source =
            writeNoteSource(buildTableDescriptor(compiled.resources), script.filename().string());
        if (!writeIfChanged(output, source)) {
            std::cerr << output.string() << ": cannot be written\n";
            return 1;
        }
        if (!depfile.empty()) {
            std::ostringstream rule;
            rule << escapeForMake(output.string()) << ":";
            for (const fs::path& file : compiled.filesRead) {
                rule << " \\\n  " << escapeForMake(fs::absolute(file).lexically_normal().string());
            }
            rule << "\n";
            if (!writeIfChanged(depfile, rule.str())) {
                std::cerr << depfile.string() << ": cannot be written\n";
                return 1;
            }
        }
    } catch (const ScriptError& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
