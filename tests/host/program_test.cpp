// The glimmerstrand program as a user runs it: exit codes, one-line errors, and the round trip of
// register, list, render and unregister in a scratch registry, with the stand-in plug-in module.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/host/media_probe.h"
#include "tests/host/test_media.h"

namespace gs::host {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

class ProgramTest : public ::testing::Test {
protected:
    testing::ScratchFolder folder;

    // Runs the program with `arguments` against this test's scratch registry.
    ProgramRun run(const std::string& arguments) {
        const std::string errFile = folder.file("stderr.txt");
        const std::string command = "GLIMMERSTRAND_REGISTRY='" + folder.file("registry") + "' '" +
                                    GS_PROGRAM_PATH + "' " + arguments + " 2>'" + errFile + "'";
        ProgramRun result{-1, {}, {}};
        FILE* pipe = popen(command.c_str(), "r");
        std::array<char, 4096> buffer;
        while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
            result.out.append(buffer.data(), got);
        }
        const int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream err(errFile);
        result.err.assign(std::istreambuf_iterator<char>(err), {});
        return result;
    }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

const std::string kFake = std::string("'") + GS_FAKE_PLUGIN_PATH + "'";

TEST_F(ProgramTest, RegisterListRenderUnregisterRoundTrip) {
    EXPECT_EQ(run("list").out, "no visualization plug-ins are registered\n");

    ProgramRun registered = run("register " + kFake);
    ASSERT_EQ(registered.status, 0) << registered.err;
    const ProgramRun listed = run("list");
    EXPECT_EQ(listed.out.rfind("GlimmerstrandFake  {3CAE2904-060B-43DC-A5D9-C6ABB918707B}  ", 0),
              0u)
        << listed.out;
    EXPECT_NE(listed.out.find("FakeVisualizer.so"), std::string::npos);

    // The registered plug-in renders the demo without being named.
    const std::string video = folder.file("demo.mp4");
    ProgramRun rendered =
        run("render --size 320x180 --fps 20 --duration 1.5 --preset 4-wave -o '" + video + "'");
    ASSERT_EQ(rendered.status, 0) << rendered.err;
    EXPECT_EQ(rendered.out,
              "wrote 30 frames of 320x180 at 20 fps (preset 4-Wave) to " + video + "\n");
    const testing::MediaProbe probe = testing::probeMedia(video);
    EXPECT_EQ(probe.videoFrames, 30);
    EXPECT_EQ(probe.width, 320);
    EXPECT_EQ(probe.height, 180);
    EXPECT_NEAR(probe.durationSeconds, 1.5, 0.06);
    EXPECT_TRUE(probe.hasAudio);

    ASSERT_EQ(run("unregister " + kFake).status, 0);
    EXPECT_EQ(run("list").out, "no visualization plug-ins are registered\n");
    const ProgramRun orphaned = run("render --duration 1 -o '" + folder.file("again.mp4") + "'");
    EXPECT_EQ(orphaned.status, 1);
    EXPECT_NE(orphaned.err.find("no visualization plug-in is registered"), std::string::npos);
}

// The same round trip with the product: the module registers itself through its own script, the
// player-style discovery finds it, and it draws real frames of both presets.
TEST_F(ProgramTest, TheProductModuleRoundTrip) {
    const std::string product = std::string("'") + GS_PRODUCT_MODULE_PATH + "'";
    ProgramRun registered = run("register " + product);
    ASSERT_EQ(registered.status, 0) << registered.err;
    const ProgramRun listed = run("list");
    EXPECT_EQ(listed.out.rfind("Glimmerstrand  {3CAE2904-060B-43DC-A5D9-C6ABB918707B}  ", 0), 0u)
        << listed.out;
    EXPECT_NE(listed.out.find("Glimmerstrand.so"), std::string::npos);

    std::vector<unsigned char> lastFrames[2];
    const char* presets[2] = {"2-Wave", "4-Wave"};
    for (int preset = 0; preset < 2; ++preset) {
        const std::string frames = folder.file(presets[preset]) + "/";
        const ProgramRun rendered =
            run(std::string("render --preset ") + presets[preset] +
                " --duration 0.5 --size 96x64 --format png -o '" + frames + "'");
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, (frames + "frame-000014.png").c_str()));
        image.format = PNG_FORMAT_RGB;
        lastFrames[preset].resize(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, lastFrames[preset].data(), 0, nullptr));
        EXPECT_EQ(image.width, 96u);
        EXPECT_EQ(image.height, 64u);
        // A picture, not a flat fill.
        const auto [low, high] =
            std::minmax_element(lastFrames[preset].begin(), lastFrames[preset].end());
        EXPECT_GT(*high - *low, 64);
    }
    EXPECT_NE(lastFrames[0], lastFrames[1]);  // two sources and four draw different rings

    ASSERT_EQ(run("unregister " + product).status, 0);
    EXPECT_EQ(run("list").out, "no visualization plug-ins are registered\n");
}

TEST_F(ProgramTest, PngFramesShowThePresetAndThePlayState) {
    const std::string frames = folder.file("frames") + "/";
    const ProgramRun rendered =
        run("render --module " + kFake +
            " --preset 2-Wave --duration 0.5 --size 64x48 --format png -o '" + frames + "'");
    ASSERT_EQ(rendered.status, 0) << rendered.err;
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(frames)) {
        (void)entry;
        ++count;
    }
    EXPECT_EQ(count, 15u);
    // The stand-in paints green 0x20 for the first preset and blue 0x80 for "playing", over the
    // whole target rectangle.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (frames + "frame-000007.png").c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    EXPECT_EQ(image.width, 64u);
    EXPECT_EQ(image.height, 48u);
    for (std::size_t at : {std::size_t{0}, pixels.size() - 3}) {
        EXPECT_GT(pixels[at], 0);  // red: the demo's mean left spectrum
        EXPECT_EQ(pixels[at + 1], 0x20);
        EXPECT_EQ(pixels[at + 2], 0x80);
    }
}

TEST_F(ProgramTest, DamagedInputRendersWhatDecodesAndWarns) {
    const std::string input = folder.file("cut.flac");
    testing::writeAudioFile(input, "flac", 2, 44100, 2.0, testing::sine(440, 0.5));
    fs::resize_file(input, fs::file_size(input) / 2);
    const ProgramRun result = run("render '" + input + "' --module " + kFake +
                                  " --size 32x32 --fps 10 -o '" + folder.file("cut") + "/'");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("warning: '" + input + "': stream ends"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.out.rfind("wrote ", 0), 0u);
    EXPECT_LT(std::distance(fs::directory_iterator(folder.file("cut")), fs::directory_iterator()),
              20);
}

TEST_F(ProgramTest, BadInputGivesOneLineAndNoOutput) {
    std::ofstream(folder.file("notes.txt")) << "not music";
    std::ofstream(folder.file("plain")) << "a file";
    testing::writeAudioFile(folder.file("tone.wav"), "pcm_s16le", 1, 8000, 0.2,
                            testing::sine(440, 0.5, 8000));
    const std::string out = " -o '" + folder.file("out.mp4") + "'";
    const std::pair<std::string, std::string> cases[] = {
        {"render '" + folder.file("missing.flac") + "' --module " + kFake + out, "No such file"},
        {"render '" + folder.file("notes.txt") + "' --module " + kFake + out, "notes.txt"},
        {"render --module " + kFake + " -o '" + folder.file("plain") + "/x.mp4'", "cannot write"},
        {"render --module '" + std::string(GS_PLATFORM_LIBRARY_PATH) + "'" + out,
         "is not a plug-in module"},
        {"render --module " + kFake + " --size 9000x600" + out,
         "larger than the software adapter allows"},
        {"render --module " + kFake + " --preset 9-Wave" + out, "unknown preset '9-Wave'"},
        {"render --module " + kFake + " -o '" + folder.file("out.txt") + "'",
         "cannot tell a video format"},
        {"register '" + folder.file("notes.txt") + "'", "cannot load"},
    };
    for (const auto& [arguments, reason] : cases) {
        SCOPED_TRACE(arguments);
        const ProgramRun result = run(arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_EQ(entries(),
              (std::vector<std::string>{"notes.txt", "plain", "stderr.txt", "tone.wav"}));

    // Interrupting a render leaves nothing under the output name (nor under a staging name).
    const std::string interrupted = folder.file("long.mp4");
    // The signal is sent once the staging file exists, that is, once the render has begun.
    const std::string command =
        "GLIMMERSTRAND_REGISTRY='" + folder.file("registry") + "' '" + GS_PROGRAM_PATH +
        "' render --module " + kFake + " --fps 240 --size 640x480 -o '" + interrupted +
        "' 2>/dev/null & pid=$!; for i in $(seq 200); do ls -a '" + folder.path().string() +
        "' | grep -q partial && break; sleep 0.05; done; kill -INT $pid; wait $pid";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(entries(),
              (std::vector<std::string>{"notes.txt", "plain", "stderr.txt", "tone.wav"}));
}

}  // namespace
}  // namespace gs::host
