// glimmerstrand: renders music through a visualization plug-in, plays it live, and registers,
// unregisters and lists plug-ins the way the media player finds them.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "host/command_line.h"
#include "host/commands.h"
#include "host/ffmpeg_error.h"
#include "host/host_error.h"

namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
// Spelled out for compilers without class template argument deduction for aggregates (clang 14).
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace

int main(int argc, char** argv) {
    using namespace gs::host;
    setFfmpegLogging(std::getenv("GLIMMERSTRAND_VERBOSE") != nullptr);
    try {
        const Command command = parseCommandLine(argc, argv);
        return std::visit(Overloaded{
                              [](const RenderCommand& c) { return runRender(c); },
                              [](const PlayCommand& c) { return runPlay(c); },
                              [](const RegisterCommand& c) { return runRegistration(c); },
                              [](const ListCommand&) { return runList(); },
                              [](const ParseExit& exit) { return exit.code; },
                          },
                          command);
    } catch (const HostError& error) {
        std::fprintf(stderr, "glimmerstrand: %s\n", error.what());
        return 1;
    } catch (const Interrupted&) {
        std::fprintf(stderr, "glimmerstrand: interrupted; no output written\n");
        return 130;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "glimmerstrand: %s\n", error.what());
        return 1;
    }
}
