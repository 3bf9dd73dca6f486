// gs-fxbuild: builds the compiled effect container from an effect description.
//
//   gs-fxbuild description.effect -o EFFECT.OBJ
//
// The description names the pixel-shader assembly files of its passes, relative to itself.
// Errors go to standard error as "file:line: message" and the exit status is 1.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "tools/fxbuild/effect_build.h"

namespace {

int usage() {
    std::cerr << "usage: gs-fxbuild description.effect -o EFFECT.OBJ\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, output;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (input.empty() && !argument.starts_with("-")) {
            input = argument;
        } else {
            return usage();
        }
    }
    if (input.empty() || output.empty()) {
        return usage();
    }

    std::vector<std::byte> container;
    std::string error;
    if (!gs::fx::tools::buildEffectContainer(input, container, error)) {
        std::cerr << error << "\n";
        return 1;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(container.data()),
                   static_cast<std::streamsize>(container.size())) ||
        !out.flush()) {
        std::cerr << output << ": cannot write\n";
        out.close();
        std::remove(output.c_str());
        return 1;
    }
    return 0;
}
