#include <gtest/gtest.h>
#include <png.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "host/audio_decoder.h"
#include "host/demo_signal.h"
#include "host/host_error.h"
#include "host/interruption.h"
#include "host/png_sequence_writer.h"
#include "host/render_job.h"
#include "host/video_writer.h"
#include "tests/host/media_probe.h"
#include "tests/host/pattern_visualizer.h"
#include "tests/host/test_media.h"

namespace gs::host {
namespace {

namespace fs = std::filesystem;
using testing::MediaProbe;
using testing::PatternVisualizer;
using testing::probeMedia;
using testing::ScratchFolder;

std::int64_t render(AudioSource& audio, Visualizer& visualizer, FrameSink& sink, int fps,
                    double duration = 0.0) {
    ProgressBar quiet(stderr, 0, false);
    return renderToSink(audio, visualizer, sink, {fps, duration, 0.0}, quiet);
}

// Everything in `folder`, hidden staging names included.
std::vector<std::string> listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RenderToVideo, WritesTheExpectedFramesAndTheSoundTrack) {
    ScratchFolder folder;
    const std::string out = folder.file("demo.mp4");
    DemoSignal demo;
    PatternVisualizer visualizer(320, 240);
    {
        VideoWriter writer(out, {320, 240, 25, 2});
        EXPECT_EQ(writer.videoEncoder(), "libx264");
        EXPECT_EQ(render(demo, visualizer, writer, 25, 2.0), 50);
    }
    const MediaProbe probe = probeMedia(out);
    ASSERT_TRUE(probe.opened);
    EXPECT_EQ(probe.videoCodec, "h264");
    EXPECT_EQ(probe.width, 320);
    EXPECT_EQ(probe.height, 240);
    EXPECT_EQ(probe.videoFrames, 50);
    EXPECT_NEAR(probe.durationSeconds, 2.0, 0.05);
    ASSERT_TRUE(probe.hasAudio);
    EXPECT_EQ(probe.audioCodec, "aac");
    EXPECT_EQ(probe.audioChannels, 2);
    EXPECT_EQ(probe.audioSampleRate, 44100);
    EXPECT_NEAR(probe.audioSeconds, 2.0, 0.05);
    EXPECT_EQ(listing(folder.path()), std::vector<std::string>{"demo.mp4"});

    // Frames are 1/25 s apart in 100 ns units, and the stream was announced first.
    ASSERT_EQ(visualizer.timeStamps().size(), 50u);
    EXPECT_EQ(visualizer.timeStamps()[1], 400'000);
    EXPECT_EQ(visualizer.timeStamps()[49], 49 * 400'000);
    EXPECT_EQ(visualizer.stream().sourceChannels, 2);

    // The video's own sound track reads back as an input, as any video file's would.
    AudioFileDecoder decoder(out);
    EXPECT_EQ(decoder.info().sourceChannels, 2);
    EXPECT_NEAR(decoder.info().durationSeconds, 2.0, 0.05);
}

TEST(RenderToVideo, StopsAtTheEndOfShortInputAndKeepsMonoSound) {
    ScratchFolder folder;
    const std::string input = folder.file("short.flac");
    testing::writeAudioFile(input, "flac", 1, 48000, 0.5, testing::sine(440.0, 0.5, 48000));
    AudioFileDecoder decoder(input);
    PatternVisualizer visualizer(64, 48);
    const std::string out = folder.file("short.mkv");
    {
        VideoWriter writer(out, {64, 48, 30, 1});
        EXPECT_EQ(render(decoder, visualizer, writer, 30, 10.0), 15);
    }
    const MediaProbe probe = probeMedia(out);
    EXPECT_EQ(probe.videoFrames, 15);
    EXPECT_EQ(probe.audioChannels, 1);
    EXPECT_NEAR(probe.durationSeconds, 0.5, 0.05);
    EXPECT_EQ(visualizer.stream().sourceSampleRate, 48000);
}

TEST(RenderToVideo, RefusesOutputItCannotWrite) {
    ScratchFolder folder;
    std::ofstream(folder.file("plain.txt")) << "a file, not a folder";
    const std::pair<std::string, VideoSettings> cases[] = {
        {folder.file("plain.txt/out.mp4"), {}},       // folder is a file
        {folder.file("missing/out.mp4"), {}},         // folder does not exist
        {folder.file("out.xyz"), {}},                 // no such container
        {folder.file("out.wav"), {}},                 // container without video
        {folder.file("odd.mp4"), {321, 240, 30, 2}},  // 4:2:0 needs even sizes
        {folder.path().string(), {}},                 // a folder
    };
    for (const auto& [path, settings] : cases) {
        SCOPED_TRACE(path);
        EXPECT_THROW(VideoWriter(path, settings), HostError);
    }
    EXPECT_EQ(listing(folder.path()), std::vector<std::string>{"plain.txt"});
}

TEST(RenderToVideo, NothingAppearsUnderTheFinalNameWhenTheRenderStops) {
    ScratchFolder folder;
    const std::string out = folder.file("cut.mp4");
    std::ofstream(out) << "an older render";

    // An error mid-way: the sink is destroyed unfinished, the older file stays as it was.
    {
        DemoSignal demo;
        PatternVisualizer visualizer(64, 48);
        VideoWriter writer(out, {64, 48, 30, 2});
        demo.read(nullptr, 0);
        writer.writeFrame(visualizer.render({}));
        EXPECT_THROW(writer.writeFrame({nullptr, 32, 32, 32}), HostError);
    }
    EXPECT_EQ(listing(folder.path()), std::vector<std::string>{"cut.mp4"});

    // An interruption: the signal raised mid-render stops it at the next frame.
    class InterruptingVisualizer final : public Visualizer {
    public:
        PatternVisualizer inner{64, 48};
        int frames = 0;
        std::string title() override { return inner.title(); }
        int presetCount() override { return 1; }
        std::string presetTitle(int) override { return "x"; }
        int currentPreset() override { return 0; }
        void selectPreset(int) override {}
        void beginStream(const StreamInfo&) override {}
        void resize(int, int) override {}
        FrameView render(const plugin::TimedLevel& levels) override {
            if (++frames == 5) {
                std::raise(SIGINT);
            }
            return inner.render(levels);
        }
    };
    {
        InterruptionGuard guard;
        DemoSignal demo;
        InterruptingVisualizer visualizer;
        PngSequenceWriter frames(folder.file("frames/"));
        EXPECT_THROW(render(demo, visualizer, frames, 30), Interrupted);
        EXPECT_EQ(visualizer.frames, 5);
    }
    EXPECT_FALSE(interruptionRequested());
    EXPECT_EQ(listing(folder.path()), std::vector<std::string>{"cut.mp4"});
    std::ifstream older(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(older), {}), "an older render");
}

// Width, height and the top-left pixel of a PNG file, or zeros when it cannot be read.
std::tuple<int, int, std::uint32_t> readPng(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return {0, 0, 0};
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    return {static_cast<int>(image.width), static_cast<int>(image.height),
            static_cast<std::uint32_t>(pixels[0] << 16 | pixels[1] << 8 | pixels[2])};
}

TEST(RenderToPng, WritesNumberedFramesAndReplacesAnEarlierRender) {
    ScratchFolder folder;
    const fs::path out = folder.path() / "deep" / "frames";
    {
        DemoSignal demo;
        PatternVisualizer visualizer(33, 17);  // odd sizes are fine for pictures
        PngSequenceWriter writer(out.string() + "/");
        EXPECT_EQ(render(demo, visualizer, writer, 10, 1.0), 10);
    }
    ASSERT_EQ(listing(out).size(), 10u);
    EXPECT_EQ(listing(out).front(), "frame-000000.png");
    const auto [width, height, first] = readPng(out / "frame-000009.png");
    EXPECT_EQ(width, 33);
    EXPECT_EQ(height, 17);
    EXPECT_EQ(first & 0xff, 9u);  // the pattern's frame counter: the tenth frame

    std::ofstream(out / "notes.txt") << "kept";
    {
        DemoSignal demo;
        PatternVisualizer visualizer(8, 8);
        visualizer.selectPreset(1);
        PngSequenceWriter writer(out);
        EXPECT_EQ(render(demo, visualizer, writer, 10, 0.3), 3);
    }
    EXPECT_EQ(listing(out), (std::vector<std::string>{"frame-000000.png", "frame-000001.png",
                                                      "frame-000002.png", "notes.txt"}));
    EXPECT_EQ(std::get<0>(readPng(out / "frame-000002.png")), 8);
    EXPECT_EQ(listing(folder.path()), std::vector<std::string>{"deep"});
    EXPECT_EQ(listing(out.parent_path()), std::vector<std::string>{"frames"});

    std::ofstream(folder.file("taken")) << "a file";
    EXPECT_THROW(PngSequenceWriter(folder.file("taken")), HostError);
    EXPECT_THROW(PngSequenceWriter(folder.file("taken/sub/")), HostError);
}

TEST(RenderToPng, SilentInputStillRendersButNoInputRefuses) {
    class Empty final : public AudioSource {
    public:
        StreamInfo info_{2, 44100, 2, 0.0, "empty"};
        const StreamInfo& info() const override { return info_; }
        std::size_t read(float*, std::size_t) override { return 0; }
    } empty;
    ScratchFolder folder;
    PatternVisualizer visualizer(8, 8);
    {
        PngSequenceWriter writer(folder.file("none"));
        EXPECT_THROW(render(empty, visualizer, writer, 30), HostError);
    }
    EXPECT_TRUE(listing(folder.path()).empty());
}

TEST(RenderTiming, FrameCountsAndProgressLine) {
    EXPECT_EQ(frameCountFor(2.0, 30), 60);
    EXPECT_EQ(frameCountFor(0.5, 30), 15);
    EXPECT_EQ(frameCountFor(1.01, 30), 31);
    EXPECT_EQ(frameCountFor(0.0, 30), 0);
    EXPECT_EQ(ProgressBar::line(50, 200, 10.0),
              " 25% [#######-----------------------] 50/200 frames  0:10 elapsed  0:30 left");
    EXPECT_EQ(ProgressBar::line(0, 200, 0.2),
              "  0% [------------------------------] 0/200 frames  0:00 elapsed  ? left");
    EXPECT_EQ(ProgressBar::line(7300, 0, 3725.0), "7300 frames  1:02:05 elapsed");
}

}  // namespace
}  // namespace gs::host
