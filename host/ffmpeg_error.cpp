#include "host/ffmpeg_error.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace gs::host {

std::string ffmpegErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(error, text, sizeof text) < 0) {
        return "error " + std::to_string(error);
    }
    return text;
}

void setFfmpegLogging(bool verbose) {
    av_log_set_level(verbose ? AV_LOG_WARNING : AV_LOG_QUIET);
}

}  // namespace gs::host
