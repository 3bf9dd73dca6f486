#include "host/audio_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "host/host_error.h"
#include "host/level_analyser.h"
#include "host/sample_history.h"
#include "tests/host/test_media.h"

namespace gs::host {
namespace {

using testing::ScratchFolder;
using testing::writeAudioFile;

struct Decoded {
    StreamInfo info;
    std::vector<float> samples;  // interleaved
    DecodeDamage damage;
    std::int64_t frames() const {
        return static_cast<std::int64_t>(samples.size()) / info.channels;
    }
};

Decoded decodeAll(const std::string& path, double start = 0.0) {
    AudioFileDecoder decoder(path, start);
    Decoded result{decoder.info(), {}, {}};
    std::vector<float> block(1000 * decoder.info().channels);
    // Odd block sizes exercise the hand-out of partly consumed frames.
    while (std::size_t got = decoder.read(block.data(), 1000)) {
        result.samples.insert(
            result.samples.end(), block.begin(),
            block.begin() + static_cast<std::ptrdiff_t>(got) * result.info.channels);
    }
    result.damage = decoder.damage();
    return result;
}

// The levels of the decoded signal half a second in.
plugin::TimedLevel levelsOf(const Decoded& decoded) {
    SampleHistory history(static_cast<std::size_t>(decoded.frames()));
    history.append(decoded.samples.data(), static_cast<std::size_t>(decoded.frames()),
                   decoded.info.channels);
    LevelAnalyser analyser;
    plugin::TimedLevel levels{};
    analyser.analyse(history, kSampleRate / 2, 0, plugin::kPlaying, levels);
    return levels;
}

int peakCell(const plugin::TimedLevel& levels, int channel) {
    const auto& cells = levels.frequency[channel];
    return static_cast<int>(std::max_element(std::begin(cells), std::end(cells)) -
                            std::begin(cells));
}

// 1 kHz on the left (first) channel, 3 kHz on all others.
float twoTones(int channel, std::int64_t frame, int rate) {
    const double frequency = channel == 0 ? 1000.0 : 3000.0;
    return static_cast<float>(0.5 * std::sin(2.0 * M_PI * frequency * frame / rate));
}

struct FormatCase {
    const char* file;
    const char* encoder;
    int channels;
    int rate;
};

TEST(AudioFileDecoder, ReadsEveryCommonFormatAtTheHostRate) {
    const FormatCase cases[] = {
        {"tone.wav", "pcm_s16le", 2, 44100},     {"tone.flac", "flac", 2, 96000},
        {"tone.mp3", "libmp3lame", 2, 44100},    {"tone.ogg", "libvorbis", 2, 48000},
        {"tone.opus", "libopus", 2, 48000},      {"tone.m4a", "aac", 2, 44100},
        {"surround.wav", "pcm_s16le", 6, 48000},
    };
    ScratchFolder folder;
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = folder.file(c.file);
        writeAudioFile(path, c.encoder, c.channels, c.rate, 1.0,
                       [rate = c.rate](int ch, std::int64_t f) { return twoTones(ch, f, rate); });
        const Decoded decoded = decodeAll(path);
        EXPECT_EQ(decoded.info.sourceChannels, c.channels);
        EXPECT_EQ(decoded.info.sourceSampleRate, c.rate);
        EXPECT_EQ(decoded.info.channels, 2);
        EXPECT_EQ(decoded.info.title,
                  "tone" == std::string(c.file).substr(0, 4) ? "tone" : "surround");
        // Encoder delay and padding add at most a few frames of the codec's block size.
        EXPECT_NEAR(static_cast<double>(decoded.frames()), kSampleRate, 0.06 * kSampleRate);
        EXPECT_FALSE(decoded.damage.any()) << decoded.damage.describe();
        // Left keeps its 1 kHz; in the surround mix-down the 3 kHz of centre and surrounds
        // joins it, and right never hears the 1 kHz.
        const plugin::TimedLevel levels = levelsOf(decoded);
        EXPECT_GT(levels.frequency[0][LevelAnalyser::cellOf(1000.0)], 200);
        EXPECT_EQ(peakCell(levels, 1), LevelAnalyser::cellOf(3000.0));
        EXPECT_LT(levels.frequency[1][LevelAnalyser::cellOf(1000.0)], 40);
        if (c.channels == 2) {
            EXPECT_EQ(peakCell(levels, 0), LevelAnalyser::cellOf(1000.0));
        }
    }
}

TEST(AudioFileDecoder, KeepsMonoStreamsMono) {
    ScratchFolder folder;
    const std::string path = folder.file("mono.flac");
    writeAudioFile(path, "flac", 1, 22050, 0.5, testing::sine(1000.0, 0.5, 22050));
    const Decoded decoded = decodeAll(path);
    EXPECT_EQ(decoded.info.sourceChannels, 1);
    EXPECT_EQ(decoded.info.sourceSampleRate, 22050);
    EXPECT_EQ(decoded.info.channels, 1);
    EXPECT_NEAR(decoded.info.durationSeconds, 0.5, 0.01);
    EXPECT_NEAR(static_cast<double>(decoded.frames()), kSampleRate / 2, 50);
}

TEST(AudioFileDecoder, StartsExactlyAtTheRequestedTime) {
    // One second of silence, then a tone: the first sounding frame tells where reading began.
    ScratchFolder folder;
    const std::string path = folder.file("late.wav");
    writeAudioFile(path, "pcm_s16le", 2, 44100, 2.0, [](int, std::int64_t frame) {
        return frame < 44100 ? 0.0f : static_cast<float>(0.5 * std::sin(frame * 0.1) + 0.25);
    });
    for (double start : {0.25, 0.5, 0.99}) {
        SCOPED_TRACE(start);
        const Decoded decoded = decodeAll(path, start);
        std::int64_t silent = 0;
        while (silent < decoded.frames() && decoded.samples[2 * silent] == 0.0f) {
            ++silent;
        }
        EXPECT_NEAR(static_cast<double>(silent), (1.0 - start) * kSampleRate, 2.0);
        EXPECT_NEAR(static_cast<double>(decoded.frames()), (2.0 - start) * kSampleRate, 2.0);
        EXPECT_NEAR(decoded.info.durationSeconds, 2.0 - start, 0.01);
    }
}

TEST(AudioFileDecoder, RefusesWhatIsNoAudioWithOneLineReasons) {
    ScratchFolder folder;
    std::ofstream(folder.file("notes.txt")) << "not music at all\n";
    std::ofstream(folder.file("captions.srt")) << "1\n00:00:01,000 --> 00:00:02,000\nHello\n\n";
    std::ofstream(folder.file("empty.mp3"));
    // Named for a format whose reader is then chosen by the name alone.
    std::ofstream(folder.file("notes.mp3")) << "not music at all\n";
    const std::pair<std::string, std::string> cases[] = {
        {folder.file("missing.flac"), "No such file"},
        {folder.path().string(), "is a folder"},
        {folder.file("captions.srt"), "has no audio stream"},
        {folder.file("empty.mp3"), "'" + folder.file("empty.mp3") + "' is empty"},
        {folder.file("notes.txt"), "is not a media file"},
        {folder.file("notes.mp3"), "is not a media file"},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        try {
            AudioFileDecoder decoder(path);
            FAIL() << "opened";
        } catch (const HostError& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(reason), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
}

std::vector<char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(AudioFileDecoder, DecodesWhatSurvivesOfDamagedFiles) {
    ScratchFolder folder;
    const auto tone = testing::sine(440.0, 0.5);

    // A FLAC file with a stretch of garbage in the middle: the rest decodes, the damage is told.
    const std::string flac = folder.file("scratched.flac");
    writeAudioFile(flac, "flac", 2, 44100, 4.0, tone);
    std::vector<char> bytes = readBytes(flac);
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 4000; ++i) {
        bytes[i] = static_cast<char>(i * 7919);
    }
    writeBytes(flac, bytes);
    Decoded decoded = decodeAll(flac);
    EXPECT_GT(decoded.frames(), 3 * kSampleRate);
    EXPECT_TRUE(decoded.damage.any());

    // A FLAC file cut in half: its header promised four seconds, two arrive, and that is told.
    const std::string cutFlac = folder.file("cut.flac");
    writeAudioFile(cutFlac, "flac", 2, 44100, 4.0, tone);
    bytes = readBytes(cutFlac);
    bytes.resize(bytes.size() / 2);
    writeBytes(cutFlac, bytes);
    decoded = decodeAll(cutFlac);
    // Half the bytes hold somewhat less than half the audio: the last frame is torn.
    EXPECT_NEAR(static_cast<double>(decoded.frames()), 1.8 * kSampleRate, 0.25 * kSampleRate);
    EXPECT_NEAR(decoded.damage.missingSeconds,
                4.0 - static_cast<double>(decoded.frames()) / kSampleRate, 0.05);
    EXPECT_NE(decoded.damage.describe().find("before its stated length"), std::string::npos);

    // A WAV file cut mid-sample: everything up to the cut arrives.
    const std::string wav = folder.file("cut.wav");
    writeAudioFile(wav, "pcm_s16le", 2, 44100, 4.0, tone);
    bytes = readBytes(wav);
    bytes.resize(bytes.size() / 2 + 1);
    writeBytes(wav, bytes);
    decoded = decodeAll(wav);
    EXPECT_NEAR(static_cast<double>(decoded.frames()), 2 * kSampleRate, 0.01 * kSampleRate);

    // An MP3 file cut mid-frame decodes up to the cut without complaint or crash.
    const std::string mp3 = folder.file("cut.mp3");
    writeAudioFile(mp3, "libmp3lame", 2, 44100, 2.0, tone);
    bytes = readBytes(mp3);
    bytes.resize(bytes.size() / 2 + 17);
    writeBytes(mp3, bytes);
    decoded = decodeAll(mp3);
    EXPECT_NEAR(static_cast<double>(decoded.frames()), kSampleRate, 0.1 * kSampleRate);
}

}  // namespace
}  // namespace gs::host
