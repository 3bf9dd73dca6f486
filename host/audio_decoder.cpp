#include "host/audio_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "host/ffmpeg_error.h"
#include "host/host_error.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace gs::host {

std::string DecodeDamage::describe() const {
    std::string text;
    auto append = [&text](const std::string& part) {
        if (!text.empty()) {
            text += "; ";
        }
        text += part;
    };
    if (refusedPackets > 0) {
        append(std::to_string(refusedPackets) + " damaged packet" +
               (refusedPackets == 1 ? "" : "s") + " skipped");
    }
    if (damagedFrames > 0) {
        append(std::to_string(damagedFrames) + " frame" + (damagedFrames == 1 ? "" : "s") +
               " decoded with errors concealed");
    }
    if (endedEarly) {
        append("stream cut short (" + readError + ")");
    }
    if (missingSeconds > 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", missingSeconds);
        append(std::string("stream ends ") + seconds + " s before its stated length");
    }
    return text;
}

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

// A frame's channel layout, with an unordered layout replaced by the default order for its channel
// count so that the resampler knows how to mix it down.
AVChannelLayout usableLayout(const AVChannelLayout& layout) {
    AVChannelLayout result{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || layout.nb_channels <= 0) {
        av_channel_layout_default(&result, std::max(layout.nb_channels, 1));
    } else {
        av_channel_layout_copy(&result, &layout);
    }
    return result;
}

std::string fileTitle(const AVFormatContext& format, const AVStream& stream,
                      const std::string& path) {
    for (AVDictionary* metadata : {stream.metadata, format.metadata}) {
        if (const AVDictionaryEntry* entry = av_dict_get(metadata, "title", nullptr, 0);
            entry != nullptr && entry->value[0] != '\0') {
            return entry->value;
        }
    }
    return std::filesystem::path(path).stem().string();
}

}  // namespace

struct AudioFileDecoder::State {
    std::string path;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<AVPacket, PacketFreer> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameFreer> frame{av_frame_alloc()};
    std::unique_ptr<SwrContext, ResamplerFreer> resampler;
    AVChannelLayout resamplerInputLayout{};
    int resamplerInputFormat = -1;
    int resamplerInputRate = 0;
    int streamIndex = -1;

    StreamInfo info;
    DecodeDamage damage;

    // Converted samples not yet handed out, and how many frames of them were already read.
    std::vector<float> pending;
    std::vector<float> converted;  // the resampler's output for one frame, reused
    std::size_t pendingOffset = 0;
    // Output frames still to drop before the requested start (a seek lands on an earlier packet).
    std::int64_t framesToSkip = 0;
    bool startResolved = true;
    double startSeconds = 0.0;

    // Frames handed out, and whether the stated duration is exact enough to tell a cut file.
    std::int64_t framesRead = 0;
    bool durationIsExact = false;

    bool inputEnded = false;
    bool flushSent = false;
    bool finished = false;

    ~State() { av_channel_layout_uninit(&resamplerInputLayout); }

    void open(const std::string& file, double start);
    void seekTo(double start);
    void decodeMore();
    void convert(const AVFrame* decoded);
    void drainResampler();
    void appendConverted(const float* samples, std::int64_t frames);
    void noteShortfall();
};

void AudioFileDecoder::State::open(const std::string& file, double start) {
    path = file;
    if (!packet || !frame) {
        throw HostError("out of memory");
    }
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        throw HostError("'" + file + "' is a folder, not an audio file");
    }
    if (std::filesystem::is_regular_file(file, error) &&
        std::filesystem::file_size(file, error) == 0 && !error) {
        throw HostError("'" + file + "' is empty");
    }
    AVFormatContext* rawFormat = nullptr;
    if (int result = avformat_open_input(&rawFormat, file.c_str(), nullptr, nullptr); result < 0) {
        // A demuxer chosen by the file's extension answers EINVAL where the header it expects is
        // not there (a text file named .mp3): the file is what is wrong, not an argument.
        if (result == AVERROR_INVALIDDATA || result == AVERROR(EINVAL)) {
            throw HostError("'" + file + "' is not a media file that can be read");
        }
        throw HostError("cannot open '" + file + "': " + ffmpegErrorText(result));
    }
    format.reset(rawFormat);
    if (int result = avformat_find_stream_info(format.get(), nullptr); result < 0) {
        throw HostError("cannot read '" + file + "': " + ffmpegErrorText(result));
    }
    const AVCodec* decoder = nullptr;
    streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex == AVERROR_STREAM_NOT_FOUND) {
        throw HostError("'" + file + "' has no audio stream");
    }
    if (streamIndex < 0 || decoder == nullptr) {
        throw HostError("'" + file + "' has audio in a format that cannot be decoded");
    }
    const AVStream& stream = *format->streams[streamIndex];
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0) {
        throw HostError("cannot set up the decoder for '" + file + "'");
    }
    codec->pkt_timebase = stream.time_base;
    if (int result = avcodec_open2(codec.get(), decoder, nullptr); result < 0) {
        throw HostError("cannot open the audio decoder for '" + file +
                        "': " + ffmpegErrorText(result));
    }
    // Other streams (video, subtitles, cover art) are not even demuxed into packets we decode.
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != streamIndex) {
            format->streams[i]->discard = AVDISCARD_ALL;
        }
    }

    info.sourceChannels = codec->ch_layout.nb_channels;
    info.sourceSampleRate = codec->sample_rate;
    if (info.sourceChannels <= 0 || info.sourceSampleRate <= 0) {
        throw HostError("'" + file + "' has an audio stream without channels or sample rate");
    }
    info.channels = info.sourceChannels == 1 ? 1 : 2;
    info.title = fileTitle(*format, stream, file);
    double duration = 0.0;
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
        duration = static_cast<double>(stream.duration) * av_q2d(stream.time_base);
    } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
        duration = static_cast<double>(format->duration) / AV_TIME_BASE;
    }
    info.durationSeconds = std::max(0.0, duration - start);
    // A length guessed from the bit rate (MP3 without a frame index, raw AAC) is no promise.
    durationIsExact = format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
    if (start > 0.0) {
        seekTo(start);
    }
}

void AudioFileDecoder::State::seekTo(double start) {
    startSeconds = start;
    const AVStream& stream = *format->streams[streamIndex];
    const auto target = static_cast<std::int64_t>(start / av_q2d(stream.time_base));
    if (avformat_seek_file(format.get(), streamIndex, INT64_MIN, target, target, 0) >= 0) {
        avcodec_flush_buffers(codec.get());
        // The first decoded frame's time stamp tells how far before the start the seek landed.
        startResolved = false;
    } else {
        // No seeking in this file: decode from the beginning and drop what lies before the start.
        framesToSkip = static_cast<std::int64_t>(start * kSampleRate + 0.5);
    }
}

void AudioFileDecoder::State::decodeMore() {
    for (;;) {
        int result = avcodec_receive_frame(codec.get(), frame.get());
        if (result >= 0) {
            if (frame->decode_error_flags != 0) {
                ++damage.damagedFrames;
            }
            convert(frame.get());
            av_frame_unref(frame.get());
            return;
        }
        if (result == AVERROR_EOF) {
            drainResampler();
            finished = true;
            return;
        }
        if (result != AVERROR(EAGAIN)) {
            // Some decoders report damaged data here rather than when the packet is sent.
            ++damage.refusedPackets;
            continue;
        }
        if (inputEnded) {
            if (flushSent) {
                drainResampler();
                finished = true;
                return;
            }
            avcodec_send_packet(codec.get(), nullptr);
            flushSent = true;
            continue;
        }
        result = av_read_frame(format.get(), packet.get());
        if (result < 0) {
            inputEnded = true;
            if (result != AVERROR_EOF) {
                damage.endedEarly = true;
                damage.readError = ffmpegErrorText(result);
            }
            continue;
        }
        if (packet->stream_index == streamIndex) {
            result = avcodec_send_packet(codec.get(), packet.get());
            if (result < 0 && result != AVERROR(EAGAIN)) {
                ++damage.refusedPackets;
            }
        }
        av_packet_unref(packet.get());
    }
}

void AudioFileDecoder::State::convert(const AVFrame* decoded) {
    if (decoded->nb_samples <= 0 || decoded->sample_rate <= 0) {
        return;
    }
    if (!startResolved) {
        startResolved = true;
        if (decoded->best_effort_timestamp != AV_NOPTS_VALUE) {
            const double frameStart = static_cast<double>(decoded->best_effort_timestamp) *
                                      av_q2d(format->streams[streamIndex]->time_base);
            framesToSkip = std::max<std::int64_t>(
                0, static_cast<std::int64_t>((startSeconds - frameStart) * kSampleRate + 0.5));
        }
    }
    // A damaged stream may change its layout, format or rate mid-way: the resampler follows.
    AVChannelLayout inputLayout = usableLayout(decoded->ch_layout);
    if (!resampler || av_channel_layout_compare(&inputLayout, &resamplerInputLayout) != 0 ||
        decoded->format != resamplerInputFormat || decoded->sample_rate != resamplerInputRate) {
        drainResampler();
        AVChannelLayout outputLayout{};
        av_channel_layout_default(&outputLayout, info.channels);
        SwrContext* raw = nullptr;
        const int result = swr_alloc_set_opts2(
            &raw, &outputLayout, AV_SAMPLE_FMT_FLT, kSampleRate, &inputLayout,
            static_cast<AVSampleFormat>(decoded->format), decoded->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outputLayout);
        resampler.reset(raw);
        if (result < 0 || swr_init(resampler.get()) < 0) {
            resampler.reset();
            av_channel_layout_uninit(&inputLayout);
            ++damage.damagedFrames;
            return;
        }
        av_channel_layout_uninit(&resamplerInputLayout);
        resamplerInputLayout = inputLayout;
        resamplerInputFormat = decoded->format;
        resamplerInputRate = decoded->sample_rate;
    } else {
        av_channel_layout_uninit(&inputLayout);
    }

    const int capacity = swr_get_out_samples(resampler.get(), decoded->nb_samples);
    if (capacity <= 0) {
        return;
    }
    converted.resize(static_cast<std::size_t>(capacity) * info.channels);
    auto* output = reinterpret_cast<std::uint8_t*>(converted.data());
    const int produced =
        swr_convert(resampler.get(), &output, capacity,
                    const_cast<const std::uint8_t**>(decoded->extended_data), decoded->nb_samples);
    if (produced > 0) {
        appendConverted(converted.data(), produced);
    }
}

void AudioFileDecoder::State::drainResampler() {
    if (!resampler) {
        return;
    }
    const int capacity = swr_get_out_samples(resampler.get(), 0);
    if (capacity > 0) {
        converted.resize(static_cast<std::size_t>(capacity) * info.channels);
        auto* output = reinterpret_cast<std::uint8_t*>(converted.data());
        const int produced = swr_convert(resampler.get(), &output, capacity, nullptr, 0);
        if (produced > 0) {
            appendConverted(converted.data(), produced);
        }
    }
    resampler.reset();
}

void AudioFileDecoder::State::appendConverted(const float* samples, std::int64_t frames) {
    const std::int64_t skipped = std::min(frames, framesToSkip);
    framesToSkip -= skipped;
    samples += skipped * info.channels;
    frames -= skipped;
    if (frames <= 0) {
        return;
    }
    if (pendingOffset > 0) {
        pending.erase(pending.begin(),
                      pending.begin() + static_cast<std::ptrdiff_t>(pendingOffset * info.channels));
        pendingOffset = 0;
    }
    pending.insert(pending.end(), samples, samples + frames * info.channels);
}

void AudioFileDecoder::State::noteShortfall() {
    // Codec delay and padding account for a few tens of milliseconds; a quarter second is damage.
    constexpr double kTolerance = 0.25;
    const double missing = info.durationSeconds - static_cast<double>(framesRead) / kSampleRate;
    if (durationIsExact && missing > kTolerance) {
        damage.missingSeconds = missing;
    }
}

AudioFileDecoder::AudioFileDecoder(const std::string& path, double startSeconds)
    : state_(std::make_unique<State>()) {
    state_->open(path, std::max(0.0, startSeconds));
}

AudioFileDecoder::~AudioFileDecoder() = default;

const StreamInfo& AudioFileDecoder::info() const {
    return state_->info;
}

const DecodeDamage& AudioFileDecoder::damage() const {
    return state_->damage;
}

std::size_t AudioFileDecoder::read(float* interleaved, std::size_t frames) {
    State& s = *state_;
    const auto channels = static_cast<std::size_t>(s.info.channels);
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t available = s.pending.size() / channels - s.pendingOffset;
        if (available == 0) {
            if (s.finished) {
                s.noteShortfall();
                break;
            }
            s.decodeMore();
            continue;
        }
        const std::size_t count = std::min(available, frames - done);
        std::copy_n(s.pending.data() + s.pendingOffset * channels, count * channels,
                    interleaved + done * channels);
        s.pendingOffset += count;
        s.framesRead += static_cast<std::int64_t>(count);
        done += count;
    }
    return done;
}

}  // namespace gs::host
