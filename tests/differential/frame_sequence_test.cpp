// Recordings travel from the Linux build to the Windows one as files: everything written must come
// back unchanged, and anything damaged must be refused rather than replayed.
#include "tests/differential/frame_sequence.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace gs::differential {
namespace {

namespace fs = std::filesystem;

class FrameFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("gs-differential-" +
                   std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                   std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const char* name) const { return (folder_ / name).string(); }

    // Keeps the first `size` bytes of a file, or appends `extra` bytes.
    static void truncate(const std::string& file, std::uintmax_t size) {
        fs::resize_file(file, size);
    }
    static void append(const std::string& file, const char* bytes) {
        std::ofstream(file, std::ios::binary | std::ios::app) << bytes;
    }
    static void overwrite(const std::string& file, std::streamoff at, std::uint32_t value) {
        std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
        stream.seekp(at);
        stream.write(reinterpret_cast<const char*>(&value), sizeof value);
    }

    static FrameSequence sampleSequence() {
        FrameSequence sequence;
        sequence.displayWidth = 1920;
        sequence.displayHeight = 1080;
        sequence.width = 320;
        sequence.height = 180;
        sequence.preset = 1;
        sequence.channelCount = 1;
        sequence.sampleRate = 48000;
        sequence.creationClock = 0xFFFFFF00u;  // near the wrap of the millisecond counter
        for (int f = 0; f < 3; ++f) {
            RecordedFrame frame;
            frame.clock = sequence.creationClock + 40u + 33u * f;
            for (int c = 0; c < plugin::kChannelCount; ++c) {
                for (int i = 0; i < plugin::kSpectrumSize; ++i) {
                    frame.levels.frequency[c][i] = static_cast<unsigned char>(i * 7 + c + f);
                    frame.levels.waveform[c][i] = static_cast<unsigned char>(255 - i - c * f);
                }
            }
            frame.levels.state = f == 2 ? plugin::kPaused : plugin::kPlaying;
            frame.levels.timeStamp = -0x123456789AB + f;  // both halves and the sign count
            sequence.frames.push_back(frame);
        }
        return sequence;
    }

    fs::path folder_;
};

TEST_F(FrameFilesTest, SequenceComesBackAsWritten) {
    const FrameSequence written = sampleSequence();
    std::string error;
    ASSERT_TRUE(writeSequence(path("a.sequence"), written, error)) << error;
    FrameSequence read;
    ASSERT_TRUE(readSequence(path("a.sequence"), read, error)) << error;

    EXPECT_EQ(read.displayWidth, written.displayWidth);
    EXPECT_EQ(read.displayHeight, written.displayHeight);
    EXPECT_EQ(read.width, written.width);
    EXPECT_EQ(read.height, written.height);
    EXPECT_EQ(read.preset, written.preset);
    EXPECT_EQ(read.channelCount, written.channelCount);
    EXPECT_EQ(read.sampleRate, written.sampleRate);
    EXPECT_EQ(read.creationClock, written.creationClock);
    ASSERT_EQ(read.frames.size(), written.frames.size());
    for (std::size_t f = 0; f < read.frames.size(); ++f) {
        EXPECT_EQ(read.frames[f].clock, written.frames[f].clock);
        EXPECT_EQ(read.frames[f].levels.state, written.frames[f].levels.state);
        EXPECT_EQ(read.frames[f].levels.timeStamp, written.frames[f].levels.timeStamp);
        EXPECT_EQ(std::memcmp(read.frames[f].levels.frequency, written.frames[f].levels.frequency,
                              sizeof written.frames[f].levels.frequency),
                  0);
        EXPECT_EQ(std::memcmp(read.frames[f].levels.waveform, written.frames[f].levels.waveform,
                              sizeof written.frames[f].levels.waveform),
                  0);
    }
}

TEST_F(FrameFilesTest, ImagesComeBackAsWritten) {
    FrameImages written;
    written.width = 5;
    written.height = 3;
    for (std::uint32_t i = 0; i < 2 * 15; ++i) {
        written.pixels.push_back(i * 0x010203u);
    }
    std::string error;
    ASSERT_TRUE(writeImages(path("a.frames"), written, error)) << error;
    FrameImages read;
    ASSERT_TRUE(readImages(path("a.frames"), read, error)) << error;
    EXPECT_EQ(read.width, 5);
    EXPECT_EQ(read.height, 3);
    ASSERT_EQ(read.frameCount(), 2u);
    EXPECT_EQ(read.pixels, written.pixels);
    EXPECT_EQ(read.frame(1)[0], 15u * 0x010203u);
}

TEST_F(FrameFilesTest, DamagedFilesAreRefusedAndLeaveTheTargetAlone) {
    std::string error;
    const std::string sequenceFile = path("s.sequence");
    const std::string imagesFile = path("i.frames");
    FrameImages images;
    images.width = 2;
    images.height = 2;
    images.pixels.assign(8, 0x00FF00FFu);
    ASSERT_TRUE(writeSequence(sequenceFile, sampleSequence(), error));
    ASSERT_TRUE(writeImages(imagesFile, images, error));

    FrameSequence sequence;
    sequence.preset = 7;
    FrameImages read;
    read.width = 9;

    // One kind read as the other.
    EXPECT_FALSE(readSequence(imagesFile, sequence, error));
    EXPECT_NE(error.find("expected kind"), std::string::npos) << error;
    EXPECT_FALSE(readImages(sequenceFile, read, error));
    EXPECT_FALSE(readSequence(path("missing.sequence"), sequence, error));

    // Another format version.
    const std::string renamed = path("v.sequence");
    fs::copy_file(sequenceFile, renamed);
    overwrite(renamed, 8, 2);
    EXPECT_FALSE(readSequence(renamed, sequence, error));

    // A header asking for an impossible picture, before anything is allocated for it.
    const std::string huge = path("huge.frames");
    fs::copy_file(imagesFile, huge);
    overwrite(huge, 12, 0x7FFFFFFF);
    EXPECT_FALSE(readImages(huge, read, error));
    EXPECT_NE(error.find("impossible"), std::string::npos) << error;

    // Cut short in the middle of a frame, or with bytes after the last one.
    truncate(sequenceFile, fs::file_size(sequenceFile) - 5);
    EXPECT_FALSE(readSequence(sequenceFile, sequence, error));
    EXPECT_NE(error.find("cut short"), std::string::npos) << error;
    append(imagesFile, "x");
    EXPECT_FALSE(readImages(imagesFile, read, error));
    EXPECT_NE(error.find("after its last frame"), std::string::npos) << error;

    EXPECT_EQ(sequence.preset, 7);
    EXPECT_EQ(read.width, 9);
}

}  // namespace
}  // namespace gs::differential
