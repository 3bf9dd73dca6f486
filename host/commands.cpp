#include "host/commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "host/audio_decoder.h"
#include "host/demo_signal.h"
#include "host/host_error.h"
#include "host/interruption.h"
#include "host/plugin_registry.h"
#include "host/plugin_selection.h"
#include "host/plugin_visualizer.h"
#include "host/png_sequence_writer.h"
#include "host/render_job.h"
#include "host/target_limits.h"
#include "host/video_writer.h"

namespace gs::host {

namespace fs = std::filesystem;

namespace {

bool wantsPng(const RenderCommand& command) {
    if (command.format != OutputFormat::Automatic) {
        return command.format == OutputFormat::Png;
    }
    std::error_code error;
    return command.output.ends_with('/') || fs::is_directory(command.output, error);
}

std::string presetList(Visualizer& visualizer) {
    std::string list;
    for (int preset = 0; preset < visualizer.presetCount(); ++preset) {
        list += (preset > 0 ? ", " : "") + visualizer.presetTitle(preset);
    }
    return list;
}

}  // namespace

void applyPreset(Visualizer& visualizer, const std::string& name) {
    if (name.empty()) {
        return;
    }
    const int preset = findPreset(visualizer, name);
    if (preset < 0) {
        throw HostError("unknown preset '" + name + "': the plug-in offers " +
                        presetList(visualizer));
    }
    visualizer.selectPreset(preset);
}

std::unique_ptr<AudioSource> openAudio(const std::string& input, double start,
                                       const AudioFileDecoder** decoder) {
    if (input.empty()) {
        *decoder = nullptr;
        return std::make_unique<DemoSignal>(start);
    }
    auto file = std::make_unique<AudioFileDecoder>(input, start);
    *decoder = file.get();
    return file;
}

int runRender(const RenderCommand& command) {
    // From here on, Ctrl-C unwinds the job so that staged output is removed.
    InterruptionGuard guard;
    checkTargetSize(command.width, command.height);
    const bool png = wantsPng(command);
    if (!png && !isVideoPath(command.output)) {
        throw HostError("cannot tell a video format from '" + command.output +
                        "': name it .mp4, .mkv or .mov, end it with / or use --format png");
    }
    const AudioFileDecoder* decoder = nullptr;
    std::unique_ptr<AudioSource> audio = openAudio(command.input, command.start, &decoder);
    const StreamInfo& info = audio->info();

    // The output first: a path that cannot be written is reported before anything is loaded.
    std::unique_ptr<FrameSink> sink;
    if (png) {
        sink = std::make_unique<PngSequenceWriter>(command.output);
    } else {
        sink = std::make_unique<VideoWriter>(
            command.output,
            VideoSettings{command.width, command.height, command.fps, info.channels});
    }
    prepareDisplayFor(command.width, command.height);
    SelectedPlugin plugin = selectPlugin(command.module);
    std::unique_ptr<Visualizer> visualizer =
        createPluginVisualizer(*plugin.module, plugin.classId,
                               {command.width, command.height, command.fps, PluginClock::Offline});
    applyPreset(*visualizer, command.preset);

    double seconds = info.durationSeconds;
    if (command.duration > 0 && (seconds <= 0 || command.duration < seconds)) {
        seconds = command.duration;
    }
    ProgressBar progress(stderr, frameCountFor(seconds, command.fps),
                         ProgressBar::isTerminal(stderr));
    const std::int64_t frames = renderToSink(
        *audio, *visualizer, *sink, {command.fps, command.duration, command.start}, progress);
    if (decoder != nullptr && decoder->damage().any()) {
        std::fprintf(stderr, "warning: '%s': %s\n", command.input.c_str(),
                     decoder->damage().describe().c_str());
    }
    std::printf("wrote %lld frames of %dx%d at %d fps (preset %s) to %s\n",
                static_cast<long long>(frames), command.width, command.height, command.fps,
                visualizer->presetTitle(visualizer->currentPreset()).c_str(),
                command.output.c_str());
    return 0;
}

int runRegistration(const RegisterCommand& command) {
    const fs::path path = command.module.empty() ? defaultModulePath() : fs::path(command.module);
    PluginModule module(path);
    const HRESULT result = command.unregister ? module.unregisterServer() : module.registerServer();
    if (FAILED(result)) {
        throw HostError(std::string(command.unregister ? "unregistering" : "registering") + " '" +
                        module.path().string() + "' failed: " + describeHresult(result));
    }
    std::printf("%s %s\n", command.unregister ? "unregistered" : "registered",
                module.path().string().c_str());
    return 0;
}

int runList() {
    const std::vector<RegisteredPlugin> plugins = registeredPlugins();
    if (plugins.empty()) {
        std::printf("no visualization plug-ins are registered\n");
        return 0;
    }
    for (const RegisteredPlugin& plugin : plugins) {
        std::printf("%s  %s  %s%s%s\n", plugin.key.c_str(),
                    plugin.classText.empty() ? "-" : plugin.classText.c_str(),
                    plugin.modulePath.empty() ? "-" : plugin.modulePath.c_str(),
                    plugin.problem.empty() ? "" : "  (",
                    plugin.problem.empty() ? "" : (plugin.problem + ")").c_str());
    }
    return 0;
}

}  // namespace gs::host

#include "host/live_player.h"

namespace gs::host {

int runPlay(const PlayCommand& command) {
    checkTargetSize(command.width, command.height);
    const AudioFileDecoder* decoder = nullptr;
    std::unique_ptr<AudioSource> audio = openAudio(command.input, command.start, &decoder);
    // The window may grow to full screen: the display covers the largest target it can take.
    const TargetLimits limits = targetLimits();
    prepareDisplayFor(std::max(command.width, std::min(limits.width, 3840)),
                      std::max(command.height, std::min(limits.height, 2160)));
    SelectedPlugin plugin = selectPlugin(command.module);
    std::unique_ptr<Visualizer> visualizer = createPluginVisualizer(
        *plugin.module, plugin.classId, {command.width, command.height, 60, PluginClock::Real});
    applyPreset(*visualizer, command.preset);
    InterruptionGuard guard;
    LivePlayerOptions options;
    options.width = command.width;
    options.height = command.height;
    options.windowTitle = audio->info().title + " - " + visualizer->title();
    playLive(*audio, *visualizer, options);
    if (decoder != nullptr && decoder->damage().any()) {
        std::fprintf(stderr, "warning: '%s': %s\n", command.input.c_str(),
                     decoder->damage().describe().c_str());
    }
    return 0;
}

}  // namespace gs::host
