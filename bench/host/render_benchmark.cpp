// Frames per second of glimmerstrand's offline render loop for a 30-second input, at 1280x720 and
// 1920x1080 and with each preset: the levels, the plug-in's Render into the memory DC, and either
// nothing more (the plug-in's own cost) or the H.264 encoder and muxer as `render` runs them.
//
// The module is build/linux/module/Glimmerstrand.so, or the one named by GLIMMERSTRAND_MODULE;
// GLIMMERSTRAND_BENCH_SECONDS shortens the input for a quick look.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/demo_signal.h"
#include "host/ffmpeg_error.h"
#include "host/plugin_selection.h"
#include "host/plugin_visualizer.h"
#include "host/render_job.h"
#include "host/video_writer.h"

namespace gs::host {
namespace {

// The demo signal, over and over, for as long as asked.
class LoopedDemo final : public AudioSource {
public:
    explicit LoopedDemo(double seconds) : left_(static_cast<std::int64_t>(seconds * kSampleRate)) {
        info_ = demo_.info();
        info_.durationSeconds = seconds;
    }
    const StreamInfo& info() const override { return info_; }
    std::size_t read(float* interleaved, std::size_t frames) override {
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(left_, frames));
        std::size_t got = demo_.read(interleaved, wanted);
        if (got == 0 && wanted > 0) {
            demo_ = DemoSignal();
            got = demo_.read(interleaved, wanted);
        }
        left_ -= static_cast<std::int64_t>(got);
        return got;
    }

private:
    DemoSignal demo_;
    StreamInfo info_;
    std::int64_t left_;
};

class DiscardingSink final : public FrameSink {
public:
    void writeFrame(const FrameView& frame) override { benchmark::DoNotOptimize(frame.pixels[0]); }
    void writeAudio(const float*, std::size_t) override {}
    void finish() override {}
};

std::string modulePath() {
    const char* named = std::getenv("GLIMMERSTRAND_MODULE");
    return named != nullptr ? named : GS_BENCH_DEFAULT_MODULE;
}

double inputSeconds() {
    const char* named = std::getenv("GLIMMERSTRAND_BENCH_SECONDS");
    return named != nullptr ? std::atof(named) : 30.0;
}

void renderLoop(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const int preset = static_cast<int>(state.range(2));
    const bool encode = state.range(3) != 0;
    constexpr int kFps = 30;
    const std::string module = modulePath();
    if (!std::filesystem::exists(module)) {
        state.SkipWithError(("no plug-in module at " + module).c_str());
        return;
    }
    const std::filesystem::path video =
        std::filesystem::temp_directory_path() / "glimmerstrand-bench.mp4";
    std::int64_t frames = 0;
    try {
        SelectedPlugin plugin = selectPlugin(module);
        std::unique_ptr<Visualizer> visualizer = createPluginVisualizer(
            *plugin.module, plugin.classId, {width, height, kFps, PluginClock::Offline});
        visualizer->selectPreset(preset);
        for (auto _ : state) {
            LoopedDemo audio(inputSeconds());
            std::unique_ptr<FrameSink> sink;
            if (encode) {
                sink = std::make_unique<VideoWriter>(video, VideoSettings{width, height, kFps, 2});
            } else {
                sink = std::make_unique<DiscardingSink>();
            }
            ProgressBar quiet(stderr, 0, false);
            frames += renderToSink(audio, *visualizer, *sink, {kFps, 0.0, 0.0}, quiet);
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    std::filesystem::remove(video);
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

BENCHMARK(renderLoop)
    ->ArgNames({"width", "height", "preset", "encode"})
    ->ArgsProduct({{1280}, {720}, {0, 1}, {0, 1}})
    ->ArgsProduct({{1920}, {1080}, {0, 1}, {0, 1}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace gs::host

int main(int argc, char** argv) {
    gs::host::setFfmpegLogging(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
