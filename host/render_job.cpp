#include "host/render_job.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "host/host_error.h"
#include "host/interruption.h"
#include "host/level_analyser.h"
#include "host/sample_history.h"

namespace gs::host {

namespace {

constexpr std::size_t kReadBlock = 4096;

std::int64_t samplesFor(double seconds) {
    return static_cast<std::int64_t>(std::llround(seconds * kSampleRate));
}

}  // namespace

std::int64_t frameCountFor(double seconds, int fps) {
    // Frame i shows the instant i / fps; every instant before the end gets its frame.
    const std::int64_t samples = samplesFor(seconds);
    return (samples * fps + kSampleRate - 1) / kSampleRate;
}

std::int64_t renderToSink(AudioSource& audio, Visualizer& visualizer, FrameSink& sink,
                          const RenderPlan& plan, ProgressBar& progress) {
    const StreamInfo& info = audio.info();
    const int channels = info.channels;
    const std::int64_t limit = plan.durationSeconds > 0 ? samplesFor(plan.durationSeconds)
                                                        : std::numeric_limits<std::int64_t>::max();

    SampleHistory history(2 * LevelAnalyser::kTransformSize + kReadBlock);
    LevelAnalyser analyser;
    plugin::TimedLevel levels{};
    std::vector<float> block(kReadBlock * static_cast<std::size_t>(channels));
    bool ended = false;

    // Reads one block into the history, and the part of it inside the render into the sink.
    auto readBlock = [&] {
        const std::size_t got = audio.read(block.data(), kReadBlock);
        if (got == 0) {
            ended = true;
            return;
        }
        const std::int64_t first = history.end();
        history.append(block.data(), got, channels);
        const std::int64_t wanted =
            std::clamp<std::int64_t>(limit - first, 0, static_cast<std::int64_t>(got));
        if (wanted > 0) {
            sink.writeAudio(block.data(), static_cast<std::size_t>(wanted));
        }
    };

    visualizer.beginStream(info);
    std::int64_t frame = 0;
    for (;; ++frame) {
        // The instant of this frame, as a sample number, rounded to the nearest sample.
        const std::int64_t centre = (frame * kSampleRate * 2 + plan.fps) / (2 * plan.fps);
        while (!ended && history.end() < centre + LevelAnalyser::kTransformSize / 2) {
            readBlock();
        }
        const bool bounded = ended || plan.durationSeconds > 0;
        const std::int64_t end = ended ? std::min(limit, history.end()) : limit;
        if (bounded && frame * kSampleRate >= end * plan.fps) {
            break;
        }
        const double seconds = plan.startSeconds + static_cast<double>(frame) / plan.fps;
        analyser.analyse(history, centre, std::llround(seconds * 1e7), plugin::kPlaying, levels);
        sink.writeFrame(visualizer.render(levels));
        progress.update(frame + 1);
        throwIfInterrupted();
    }
    if (frame == 0) {
        throw HostError("there is no audio to render");
    }
    // The sound track runs to the end of the render even where no frame starts any more.
    while (!ended && history.end() < limit) {
        readBlock();
        throwIfInterrupted();
    }
    sink.finish();
    progress.finish();
    return frame;
}

}  // namespace gs::host
