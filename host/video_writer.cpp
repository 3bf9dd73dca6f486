#include "host/video_writer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/audio_source.h"
#include "host/ffmpeg_error.h"
#include "host/host_error.h"
#include "host/staged_output.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace gs::host {

namespace {

struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using CodecPointer = std::unique_ptr<AVCodecContext, CodecFreer>;

// Encoders to try, best first: x264, then any other software H.264 encoder this FFmpeg has, then
// MPEG-4 part 2 so that a video is still made where no H.264 encoder exists.
std::vector<const AVCodec*> videoEncoderCandidates() {
    std::vector<const AVCodec*> candidates;
    if (const AVCodec* x264 = avcodec_find_encoder_by_name("libx264")) {
        candidates.push_back(x264);
    }
    void* iterator = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&iterator)) {
        if (av_codec_is_encoder(codec) && codec->id == AV_CODEC_ID_H264 &&
            (codec->capabilities & AV_CODEC_CAP_HARDWARE) == 0 &&
            std::find(candidates.begin(), candidates.end(), codec) == candidates.end()) {
            candidates.push_back(codec);
        }
    }
    if (const AVCodec* mpeg4 = avcodec_find_encoder(AV_CODEC_ID_MPEG4)) {
        candidates.push_back(mpeg4);
    }
    return candidates;
}

}  // namespace

bool isVideoPath(const std::filesystem::path& path) {
    const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
    return format != nullptr && (format->flags & AVFMT_NOFILE) == 0 &&
           avformat_query_codec(format, AV_CODEC_ID_H264, FF_COMPLIANCE_NORMAL) == 1;
}

struct VideoWriter::State {
    VideoSettings settings;
    StagedFile file;
    std::unique_ptr<AVFormatContext, OutputCloser> output;
    CodecPointer video;
    CodecPointer audio;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    std::unique_ptr<SwsContext, ScalerFreer> scaler;
    std::unique_ptr<AVFrame, FrameFreer> picture{av_frame_alloc()};
    std::unique_ptr<AVFrame, FrameFreer> sound{av_frame_alloc()};
    std::unique_ptr<AVPacket, PacketFreer> packet{av_packet_alloc()};
    std::string encoderName;
    std::int64_t framesWritten = 0;
    std::int64_t samplesEncoded = 0;
    std::vector<float> pendingAudio;  // interleaved samples short of a whole encoder frame

    State(const std::filesystem::path& path, const VideoSettings& s) : settings(s), file(path) {}

    [[noreturn]] void fail(const std::string& what, int error) const {
        throw HostError("cannot write '" + file.finalPath().string() + "': " + what +
                        (error != 0 ? " (" + ffmpegErrorText(error) + ")" : ""));
    }

    void openVideo();
    void openAudio();
    void encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame);
    void encodeAudio(std::size_t frames, bool last);
};

void VideoWriter::State::openVideo() {
    const AVOutputFormat* format = output->oformat;
    for (const AVCodec* encoder : videoEncoderCandidates()) {
        CodecPointer codec(avcodec_alloc_context3(encoder));
        if (!codec) {
            continue;
        }
        codec->width = settings.width;
        codec->height = settings.height;
        codec->time_base = {1, settings.fps};
        codec->framerate = {settings.fps, 1};
        codec->pix_fmt = AV_PIX_FMT_YUV420P;
        codec->gop_size = 2 * settings.fps;
        codec->colorspace = AVCOL_SPC_BT709;
        codec->color_primaries = AVCOL_PRI_BT709;
        codec->color_trc = AVCOL_TRC_BT709;
        codec->color_range = AVCOL_RANGE_MPEG;
        if (encoder->id == AV_CODEC_ID_H264) {
            av_opt_set(codec->priv_data, "preset", "veryfast", 0);
            av_opt_set(codec->priv_data, "crf", "20", 0);
        } else {
            codec->bit_rate =
                static_cast<std::int64_t>(settings.width) * settings.height * settings.fps / 4;
        }
        if (format->flags & AVFMT_GLOBALHEADER) {
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (avcodec_open2(codec.get(), encoder, nullptr) >= 0) {
            video = std::move(codec);
            encoderName = encoder->name;
            break;
        }
    }
    if (!video) {
        fail("no video encoder could be opened", 0);
    }
    if (video->codec_id != AV_CODEC_ID_H264) {
        std::fprintf(stderr, "warning: no H.264 encoder available, writing %s video instead\n",
                     encoderName.c_str());
    }
    videoStream = avformat_new_stream(output.get(), nullptr);
    if (videoStream == nullptr ||
        avcodec_parameters_from_context(videoStream->codecpar, video.get()) < 0) {
        fail("cannot add the video stream", 0);
    }
    videoStream->time_base = video->time_base;
    videoStream->avg_frame_rate = {settings.fps, 1};

    scaler.reset(sws_getContext(settings.width, settings.height, AV_PIX_FMT_BGR0, settings.width,
                                settings.height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr,
                                nullptr));
    if (!scaler) {
        fail("cannot set up the colour conversion", 0);
    }
    // Full-range RGB into limited-range BT.709, as the stream is labelled.
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = settings.width;
    picture->height = settings.height;
    if (int error = av_frame_get_buffer(picture.get(), 0); error < 0) {
        fail("out of memory", error);
    }
}

void VideoWriter::State::openAudio() {
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (encoder == nullptr) {
        fail("no AAC encoder in this FFmpeg", 0);
    }
    audio.reset(avcodec_alloc_context3(encoder));
    if (!audio) {
        fail("out of memory", 0);
    }
    audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audio->sample_rate = kSampleRate;
    av_channel_layout_default(&audio->ch_layout, settings.audioChannels);
    audio->bit_rate = settings.audioChannels == 1 ? 128000 : 192000;
    audio->time_base = {1, kSampleRate};
    if (output->oformat->flags & AVFMT_GLOBALHEADER) {
        audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (int error = avcodec_open2(audio.get(), encoder, nullptr); error < 0) {
        fail("cannot open the AAC encoder", error);
    }
    audioStream = avformat_new_stream(output.get(), nullptr);
    if (audioStream == nullptr ||
        avcodec_parameters_from_context(audioStream->codecpar, audio.get()) < 0) {
        fail("cannot add the audio stream", 0);
    }
    audioStream->time_base = audio->time_base;
    sound->format = AV_SAMPLE_FMT_FLTP;
    sound->sample_rate = kSampleRate;
    sound->nb_samples = audio->frame_size;
    av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
    if (int error = av_frame_get_buffer(sound.get(), 0); error < 0) {
        fail("out of memory", error);
    }
}

void VideoWriter::State::encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
    if (int error = avcodec_send_frame(codec, frame); error < 0) {
        fail("encoding failed", error);
    }
    for (;;) {
        const int result = avcodec_receive_packet(codec, packet.get());
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return;
        }
        if (result < 0) {
            fail("encoding failed", result);
        }
        av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (int error = av_interleaved_write_frame(output.get(), packet.get()); error < 0) {
            fail("writing failed", error);
        }
    }
}

// Encodes the first `frames` frames of pendingAudio as one encoder frame.
void VideoWriter::State::encodeAudio(std::size_t frames, bool last) {
    if (int error = av_frame_make_writable(sound.get()); error < 0) {
        fail("out of memory", error);
    }
    const int channels = settings.audioChannels;
    // The encoder takes a short frame only as the very last one; otherwise pad with silence.
    const bool shortFrame = last && (audio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    const auto length = shortFrame ? frames : static_cast<std::size_t>(audio->frame_size);
    sound->nb_samples = static_cast<int>(length);
    for (int channel = 0; channel < channels; ++channel) {
        auto* plane = reinterpret_cast<float*>(sound->data[channel]);
        for (std::size_t i = 0; i < length; ++i) {
            plane[i] = i < frames ? pendingAudio[i * channels + channel] : 0.0f;
        }
    }
    sound->pts = samplesEncoded;
    samplesEncoded += static_cast<std::int64_t>(length);
    pendingAudio.erase(pendingAudio.begin(),
                       pendingAudio.begin() + static_cast<std::ptrdiff_t>(frames * channels));
    encode(audio.get(), audioStream, sound.get());
}

VideoWriter::VideoWriter(const std::filesystem::path& path, const VideoSettings& settings) {
    const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!isVideoPath(path)) {
        throw HostError("cannot tell a video format from '" + path.string() +
                        "': name it .mp4, .mkv or .mov, or use --format png");
    }
    if (settings.width % 2 != 0 || settings.height % 2 != 0) {
        throw HostError("video sizes must be even, " + std::to_string(settings.width) + "x" +
                        std::to_string(settings.height) + " is not");
    }
    state_ = std::make_unique<State>(path, settings);
    State& s = *state_;
    if (!s.picture || !s.sound || !s.packet) {
        throw HostError("out of memory");
    }
    AVFormatContext* raw = nullptr;
    if (int error =
            avformat_alloc_output_context2(&raw, format, nullptr, s.file.stagingPath().c_str());
        error < 0) {
        s.fail("cannot set up the container", error);
    }
    s.output.reset(raw);
    s.openVideo();
    if (settings.audioChannels > 0) {
        s.openAudio();
    }
    if (int error = avio_open(&s.output->pb, s.file.stagingPath().c_str(), AVIO_FLAG_WRITE);
        error < 0) {
        s.fail("cannot open", error);
    }
    AVDictionary* options = nullptr;
    // The index at the front lets players start before the whole file has arrived.
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int error = avformat_write_header(s.output.get(), &options);
    av_dict_free(&options);
    if (error < 0) {
        s.fail("cannot write the header", error);
    }
}

VideoWriter::~VideoWriter() = default;

const std::string& VideoWriter::videoEncoder() const {
    return state_->encoderName;
}

void VideoWriter::writeFrame(const FrameView& frame) {
    State& s = *state_;
    if (frame.width != s.settings.width || frame.height != s.settings.height) {
        s.fail("a frame of the wrong size arrived", 0);
    }
    if (int error = av_frame_make_writable(s.picture.get()); error < 0) {
        s.fail("out of memory", error);
    }
    const auto* source = reinterpret_cast<const std::uint8_t*>(frame.pixels);
    const int sourceStride = static_cast<int>(frame.stride * 4);
    sws_scale(s.scaler.get(), &source, &sourceStride, 0, frame.height, s.picture->data,
              s.picture->linesize);
    s.picture->pts = s.framesWritten++;
    s.encode(s.video.get(), s.videoStream, s.picture.get());
}

void VideoWriter::writeAudio(const float* interleaved, std::size_t frames) {
    State& s = *state_;
    if (!s.audio) {
        return;
    }
    s.pendingAudio.insert(s.pendingAudio.end(), interleaved,
                          interleaved + frames * s.settings.audioChannels);
    const auto frameSize = static_cast<std::size_t>(s.audio->frame_size);
    while (s.pendingAudio.size() >= frameSize * s.settings.audioChannels) {
        s.encodeAudio(frameSize, false);
    }
}

void VideoWriter::finish() {
    State& s = *state_;
    if (s.audio) {
        const std::size_t left = s.pendingAudio.size() / s.settings.audioChannels;
        if (left > 0) {
            s.encodeAudio(left, true);
        }
        s.encode(s.audio.get(), s.audioStream, nullptr);
    }
    s.encode(s.video.get(), s.videoStream, nullptr);
    if (int error = av_write_trailer(s.output.get()); error < 0) {
        s.fail("cannot finish the file", error);
    }
    if (int error = avio_closep(&s.output->pb); error < 0) {
        s.fail("cannot finish the file", error);
    }
    s.output.reset();
    s.file.commit();
}

}  // namespace gs::host
