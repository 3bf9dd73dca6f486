// gs-psasm: assembles a ps_2_0 assembly file into its Direct3D 9 token stream.
//
//   gs-psasm input.psh -o output.bin
//
// The output holds the tokens as 32-bit little-endian words, version token first, end token last.
// Errors go to standard error as "input.psh:LINE: message" and the exit status is 1.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fx/assembler/pixel_shader_assembler.h"

namespace {

int usage() {
    std::cerr << "usage: gs-psasm input.psh -o output.bin\n";
    return 2;
}

void appendLittleEndian(std::string& bytes, std::uint32_t token) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<char>((token >> shift) & 0xFFu));
    }
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

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        std::cerr << input << ": cannot read\n";
        return 1;
    }
    std::stringstream source;
    source << in.rdbuf();

    std::vector<gs::fx::DWORD> tokens;
    gs::fx::AssemblyError error;
    if (!gs::fx::assemblePixelShader(source.str(), tokens, error)) {
        std::cerr << input << ":" << error.line << ": " << error.message << "\n";
        return 1;
    }

    std::string bytes;
    bytes.reserve(tokens.size() * 4);
    for (const auto token : tokens) {
        appendLittleEndian(bytes, token);
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush()) {
        std::cerr << output << ": cannot write\n";
        std::remove(output.c_str());
        return 1;
    }
    return 0;
}
