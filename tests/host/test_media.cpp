#include "tests/host/test_media.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace gs::host::testing {

ScratchFolder::ScratchFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("glimmerstrand-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Signal sine(double frequency, double amplitude, int sampleRate) {
    return [=](int, std::int64_t frame) {
        return static_cast<float>(
            amplitude * std::sin(2.0 * std::numbers::pi * frequency * frame / sampleRate));
    };
}

void writeAudioFile(const std::string& path, const std::string& encoderName, int channels,
                    int sampleRate, double seconds, const Signal& signal) {
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName.c_str());
    ASSERT_NE(encoder, nullptr) << encoderName;
    AVFormatContext* format = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&format, nullptr, nullptr, path.c_str()), 0) << path;
    AVStream* stream = avformat_new_stream(format, nullptr);
    AVCodecContext* codec = avcodec_alloc_context3(encoder);
    codec->sample_rate = sampleRate;
    av_channel_layout_default(&codec->ch_layout, channels);
    codec->sample_fmt =
        encoder->sample_fmts != nullptr ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    codec->time_base = {1, sampleRate};
    codec->bit_rate = 128000;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    ASSERT_GE(avcodec_open2(codec, encoder, nullptr), 0) << encoderName;
    ASSERT_GE(avcodec_parameters_from_context(stream->codecpar, codec), 0);
    stream->time_base = codec->time_base;
    ASSERT_GE(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), 0) << path;
    ASSERT_GE(avformat_write_header(format, nullptr), 0);

    SwrContext* resampler = nullptr;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    swr_alloc_set_opts2(&resampler, &layout, codec->sample_fmt, sampleRate, &layout,
                        AV_SAMPLE_FMT_FLT, sampleRate, 0, nullptr);
    ASSERT_GE(swr_init(resampler), 0);

    const int frameSize = codec->frame_size > 0 ? codec->frame_size : 1024;
    const auto total = static_cast<std::int64_t>(seconds * sampleRate);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<float> interleaved;
    auto drain = [&] {
        while (avcodec_receive_packet(codec, packet) >= 0) {
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            av_interleaved_write_frame(format, packet);
        }
    };
    for (std::int64_t position = 0; position < total; position += frameSize) {
        const int count = static_cast<int>(std::min<std::int64_t>(frameSize, total - position));
        interleaved.resize(static_cast<std::size_t>(count) * channels);
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) {
                interleaved[static_cast<std::size_t>(i) * channels + c] = signal(c, position + i);
            }
        }
        frame->nb_samples = count;
        frame->format = codec->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
        frame->sample_rate = sampleRate;
        ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
        const auto* input = reinterpret_cast<const std::uint8_t*>(interleaved.data());
        swr_convert(resampler, frame->data, count, &input, count);
        frame->pts = position;
        ASSERT_GE(avcodec_send_frame(codec, frame), 0);
        av_frame_unref(frame);
        drain();
    }
    avcodec_send_frame(codec, nullptr);
    drain();
    av_write_trailer(format);
    avio_closep(&format->pb);
    av_channel_layout_uninit(&layout);
    swr_free(&resampler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_free_context(format);
}

}  // namespace gs::host::testing
