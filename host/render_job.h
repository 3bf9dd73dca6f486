// The offline render loop: steps through the audio at a fixed frame rate, computes each frame's
// levels, has the visualization draw it and hands picture and sound to a sink.
#pragma once

#include <cstdint>

#include "host/audio_source.h"
#include "host/frame_sink.h"
#include "host/progress_bar.h"
#include "host/visualizer.h"

namespace gs::host {

struct RenderPlan {
    int fps = 30;
    double durationSeconds = 0.0;  // 0: to the end of the audio
    double startSeconds = 0.0;     // where in the stream the audio source begins (time stamps)
};

// Frames a render of `seconds` at `fps` yields: one per started frame period.
std::int64_t frameCountFor(double seconds, int fps);

// Runs the render to the end (or until interrupted: throws Interrupted) and finishes the sink.
// Returns the number of frames written.
std::int64_t renderToSink(AudioSource& audio, Visualizer& visualizer, FrameSink& sink,
                          const RenderPlan& plan, ProgressBar& progress);

}  // namespace gs::host
