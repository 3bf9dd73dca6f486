#include "tests/host/media_probe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace gs::host::testing {

MediaProbe probeMedia(const std::string& path) {
    MediaProbe probe;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        return probe;
    }
    if (avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        return probe;
    }
    probe.opened = true;
    probe.durationSeconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (video >= 0) {
        const AVCodecParameters* parameters = format->streams[video]->codecpar;
        probe.videoCodec = avcodec_get_name(parameters->codec_id);
        probe.width = parameters->width;
        probe.height = parameters->height;
    }
    if (audio >= 0) {
        const AVStream* stream = format->streams[audio];
        probe.hasAudio = true;
        probe.audioCodec = avcodec_get_name(stream->codecpar->codec_id);
        probe.audioChannels = stream->codecpar->ch_layout.nb_channels;
        probe.audioSampleRate = stream->codecpar->sample_rate;
        probe.audioSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
    }
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == video) {
            ++probe.videoFrames;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return probe;
}

}  // namespace gs::host::testing
