// Records a session for the differential check and plays it through the Linux module on the
// software device: the host's demo music analysed at 30 frames a second gives the levels, the
// virtual clock gives the times. Writes <stem>.sequence and, unless told not to, the frames the
// software device drew as <stem>.frames. One object per process, since the colour smoothing is
// shared by all objects of a process.
//
//   gs_differential_generate <module> <stem> <preset> <width>x<height> <played> [<paused>]
//       [--no-images]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/demo_signal.h"
#include "host/host_error.h"
#include "host/level_analyser.h"
#include "host/plugin_module.h"
#include "host/sample_history.h"
#include "platform/linux/host.h"
#include "platform/linux/testing.h"
#include "render/software/adapter.h"
#include "tests/differential/frame_sequence.h"
#include "tests/differential/sequence_player.h"

namespace gs::differential {
namespace {

constexpr int kFramesPerSecond = 30;
// The object is made at a time whose remainder by 360 is 118 degrees of hue: 40 played frames
// later the hue passes 120, where the band colours change their offsets.
constexpr std::uint32_t kCreationClock = 300 * 360 + 118;
constexpr std::uint32_t kFirstFrameDelay = 40;  // milliseconds from creation to the first frame
constexpr std::uint32_t kFramePeriod = 33;

struct Options {
    std::string module;
    std::string stem;
    int preset = 0;
    int width = 0;
    int height = 0;
    int played = 0;
    int paused = 0;
    bool images = true;
};

bool parseOptions(int argc, char** argv, Options& options) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-images") == 0) {
            options.images = false;
        } else {
            positional.emplace_back(argv[i]);
        }
    }
    if (positional.size() < 5 || positional.size() > 6) {
        return false;
    }
    options.module = positional[0];
    options.stem = positional[1];
    options.preset = std::atoi(positional[2].c_str());
    if (std::sscanf(positional[3].c_str(), "%dx%d", &options.width, &options.height) != 2) {
        return false;
    }
    options.played = std::atoi(positional[4].c_str());
    options.paused = positional.size() == 6 ? std::atoi(positional[5].c_str()) : 0;
    return options.width > 0 && options.height > 0 && options.played >= 0 && options.paused >= 0;
}

// The levels of the demo music at 30 frames a second, the way the host renders it; the last
// `paused` frames repeat the final levels with the player paused.
FrameSequence recordSession(const Options& options) {
    FrameSequence sequence;
    const render::DisplayMode display = render::software::adapterSettings().displayMode;
    sequence.displayWidth = display.Width;
    sequence.displayHeight = display.Height;
    sequence.width = options.width;
    sequence.height = options.height;
    sequence.preset = options.preset;
    sequence.creationClock = kCreationClock;

    host::DemoSignal music;
    host::SampleHistory history(4 * host::LevelAnalyser::kTransformSize);
    host::LevelAnalyser analyser;
    std::vector<float> block(2 * 4096);
    RecordedFrame frame;
    for (int i = 0; i < options.played + options.paused; ++i) {
        frame.clock =
            kCreationClock + kFirstFrameDelay + static_cast<std::uint32_t>(i) * kFramePeriod;
        if (i < options.played) {
            const std::int64_t centre =
                (std::int64_t{i} * host::kSampleRate * 2 + kFramesPerSecond) /
                (2 * kFramesPerSecond);
            while (history.end() < centre + host::LevelAnalyser::kTransformSize / 2) {
                const std::size_t got = music.read(block.data(), 4096);
                if (got == 0) {
                    throw host::HostError("the demo music is shorter than the session");
                }
                history.append(block.data(), got, 2);
            }
            const std::int64_t timeStamp = std::int64_t{i} * 10000000 / kFramesPerSecond;
            analyser.analyse(history, centre, timeStamp, plugin::kPlaying, frame.levels);
        } else {
            frame.levels.state = plugin::kPaused;
        }
        sequence.frames.push_back(frame);
    }
    return sequence;
}

void setVirtualClock(DWORD milliseconds) {
    gsTestUseVirtualClock(TRUE, milliseconds);
}

int run(const Options& options) {
    const FrameSequence sequence = recordSession(options);
    std::string error;
    if (!writeSequence(options.stem + ".sequence", sequence, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (!options.images) {
        return 0;
    }

    host::PluginModule module(options.module);
    host::ComPtr<IClassFactory> factory = module.classFactory(plugin::kCLSIDGlimmerstrand);
    HWND window = gsCreateWindow(options.width, options.height);
    FrameImages images;
    images.width = options.width;
    images.height = options.height;
    images.pixels.resize(images.pixelsPerFrame() * sequence.frames.size());
    {
        std::unique_ptr<SequencePlayer> player =
            SequencePlayer::start(factory.get(), sequence, window, setVirtualClock, error);
        if (!player) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        for (std::size_t i = 0; i < sequence.frames.size(); ++i) {
            if (const HRESULT result = player->render(i); result != S_OK) {
                std::fprintf(stderr, "frame %zu: Render answered 0x%08X\n", i,
                             static_cast<unsigned>(result));
                return 1;
            }
            player->copyPixels(images.pixels.data() + i * images.pixelsPerFrame());
        }
    }
    gsDestroyWindow(window);
    if (gsTestMessageBoxCount() != 0) {
        std::fprintf(stderr, "the plug-in showed %u message boxes\n", gsTestMessageBoxCount());
        return 1;
    }
    if (!writeImages(options.stem + ".frames", images, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace gs::differential

int main(int argc, char** argv) {
    gs::differential::Options options;
    if (!gs::differential::parseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s <module> <stem> <preset> <width>x<height> <played> [<paused>] "
                     "[--no-images]\n",
                     argv[0]);
        return 2;
    }
    try {
        return gs::differential::run(options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
}
