// The program's command line: render, play, register, unregister and list, parsed with CLI11.
#pragma once

#include <optional>
#include <string>
#include <variant>

namespace gs::host {

enum class OutputFormat { Automatic, Png, Video };

struct RenderCommand {
    std::string input;  // empty: the built-in demo signal
    std::string output;
    int width = 1280;
    int height = 720;
    int fps = 30;
    std::string preset;  // empty: the plug-in's first
    double start = 0.0;
    double duration = 0.0;  // 0: to the end
    OutputFormat format = OutputFormat::Automatic;
    std::string module;  // empty: the registered plug-in
};

struct PlayCommand {
    std::string input;  // empty: the built-in demo signal
    int width = 1280;
    int height = 720;
    std::string preset;
    double start = 0.0;
    std::string module;
};

struct RegisterCommand {
    bool unregister = false;
    std::string module;  // empty: the module installed beside the program
};

struct ListCommand {};

// What main does when parsing ends the program (--help, or an error): the exit code to return.
struct ParseExit {
    int code;
};

using Command = std::variant<RenderCommand, PlayCommand, RegisterCommand, ListCommand, ParseExit>;

// Parses the arguments; help and usage errors are printed here.
Command parseCommandLine(int argc, const char* const* argv);

// "1280x720" into its two numbers; nothing for anything else.
std::optional<std::pair<int, int>> parseSize(const std::string& text);

}  // namespace gs::host
