// Where rendered frames go: a PNG sequence or a video with the sound track. A sink publishes its
// output under the final name only in finish(); destroyed without finish() (an error, an
// interruption) it removes everything it wrote.
#pragma once

#include <cstddef>

#include "host/frame.h"

namespace gs::host {

class FrameSink {
public:
    virtual ~FrameSink() = default;

    virtual void writeFrame(const FrameView& frame) = 0;

    // The sound that belongs with the frames so far: interleaved samples at the host's rate, in
    // the channel count the sink was made for. Sinks without sound ignore it.
    virtual void writeAudio(const float* interleaved, std::size_t frames) = 0;

    // Completes the output and moves it to its final name. Throws HostError on failure.
    virtual void finish() = 0;
};

}  // namespace gs::host
