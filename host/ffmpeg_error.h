// FFmpeg's error codes as text for one-line messages.
#pragma once

#include <string>

namespace gs::host {

std::string ffmpegErrorText(int error);

// Keeps FFmpeg's own logging off the terminal unless `verbose`: the host reports problems itself,
// one line each.
void setFfmpegLogging(bool verbose);

}  // namespace gs::host
