#include "host/command_line.h"

#include <CLI/CLI.hpp>

#include <charconv>

namespace gs::host {

std::optional<std::pair<int, int>> parseSize(const std::string& text) {
    const std::size_t cross = text.find_first_of("xX");
    if (cross == std::string::npos) {
        return std::nullopt;
    }
    int width = 0;
    int height = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto [widthEnd, widthError] = std::from_chars(begin, begin + cross, width);
    const auto [heightEnd, heightError] = std::from_chars(begin + cross + 1, end, height);
    if (widthError != std::errc() || heightError != std::errc() || widthEnd != begin + cross ||
        heightEnd != end || width <= 0 || height <= 0) {
        return std::nullopt;
    }
    return std::pair{width, height};
}

namespace {

// A CLI11 validator for WxH sizes.
struct SizeValidator : CLI::Validator {
    SizeValidator() {
        name_ = "WxH";
        func_ = [](const std::string& text) {
            return parseSize(text) ? std::string()
                                   : "expected a size such as 1280x720, got '" + text + "'";
        };
    }
};

}  // namespace

Command parseCommandLine(int argc, const char* const* argv) {
    CLI::App app{"Glimmerstrand: renders music through the Glimmerstrand visualization plug-in",
                 "glimmerstrand"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "glimmerstrand 1.0.0");

    RenderCommand render;
    std::string renderSize = "1280x720";
    std::string format = "auto";
    CLI::App* renderApp = app.add_subcommand(
        "render", "render INPUT (or the built-in demo) to an H.264 video or PNG frames");
    renderApp->add_option("input", render.input,
                          "audio or video file to visualize; the built-in demo when left out");
    renderApp
        ->add_option("-o,--output", render.output,
                     "OUT.mp4 (.mkv, .mov) for a video; DIR/ for PNG frames")
        ->required();
    renderApp->add_option("--size", renderSize, "frame size")->check(SizeValidator());
    renderApp->add_option("--fps", render.fps, "frames per second")->check(CLI::Range(1, 240));
    renderApp->add_option("--preset", render.preset, "preset title (2-Wave, 4-Wave) or number");
    renderApp->add_option("--start", render.start, "seconds into INPUT to begin")
        ->check(CLI::NonNegativeNumber);
    renderApp->add_option("--duration", render.duration, "seconds to render (default: to the end)")
        ->check(CLI::PositiveNumber);
    renderApp->add_option("--format", format, "png, video, or auto (from the output name)")
        ->check(CLI::IsMember({"auto", "png", "video"}));
    renderApp->add_option("--module", render.module,
                          "plug-in module to load instead of the registered one");

    PlayCommand play;
    std::string playSize = "1280x720";
    CLI::App* playApp =
        app.add_subcommand("play", "play INPUT with the visualization live in a window");
    playApp->add_option("input", play.input,
                        "audio or video file; the built-in demo when left out");
    playApp->add_option("--size", playSize, "initial window size")->check(SizeValidator());
    playApp->add_option("--preset", play.preset, "preset title or number");
    playApp->add_option("--start", play.start, "seconds into INPUT to begin")
        ->check(CLI::NonNegativeNumber);
    playApp->add_option("--module", play.module,
                        "plug-in module to load instead of the registered one");

    RegisterCommand registration;
    CLI::App* registerApp =
        app.add_subcommand("register", "register a plug-in module through its own exports");
    registerApp->add_option(
        "module", registration.module,
        "the module (default: the Glimmerstrand module installed with this program)");
    RegisterCommand unregistration{true, {}};
    CLI::App* unregisterApp =
        app.add_subcommand("unregister", "unregister a plug-in module through its own exports");
    unregisterApp->add_option("module", unregistration.module, "the module (default as register)");

    CLI::App* listApp = app.add_subcommand("list", "list the registered visualization plug-ins");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return ParseExit{app.exit(error)};
    }

    if (renderApp->parsed()) {
        std::tie(render.width, render.height) = *parseSize(renderSize);
        render.format = format == "png"     ? OutputFormat::Png
                        : format == "video" ? OutputFormat::Video
                                            : OutputFormat::Automatic;
        return render;
    }
    if (playApp->parsed()) {
        std::tie(play.width, play.height) = *parseSize(playSize);
        return play;
    }
    if (registerApp->parsed()) {
        return registration;
    }
    if (unregisterApp->parsed()) {
        return unregistration;
    }
    (void)listApp;
    return ListCommand{};
}

}  // namespace gs::host
