#include "host/live_player.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "host/audio_decoder.h"
#include "tests/host/pattern_visualizer.h"
#include "tests/host/test_media.h"

namespace gs::host {
namespace {

void pushKey(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

void pushResize(int width, int height) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    event.window.data1 = width;
    event.window.data2 = height;
    SDL_PushEvent(&event);
}

// Headless: SDL's dummy video and audio drivers stand in for a display and a sound card; the
// dummy audio device consumes the queue in real time, so the clock the picture follows is real.
TEST(LivePlayer, PlaysToTheEndFollowingKeysAndResizes) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    testing::ScratchFolder folder;
    const std::string input = folder.file("short.flac");
    testing::writeAudioFile(input, "flac", 2, 44100, 0.6, testing::sine(1000.0, 0.5));
    AudioFileDecoder audio(input);
    testing::PatternVisualizer visualizer(160, 120);

    LivePlayerOptions options;
    options.width = 160;
    options.height = 120;
    options.beforeFrame = [](std::int64_t frame) {
        if (frame == 2) {
            pushKey(SDLK_n);
            pushResize(200, 100);
        } else if (frame == 4 || frame == 10) {
            pushKey(SDLK_SPACE);  // pause, then resume
        } else if (frame == 5000) {
            pushKey(SDLK_q);  // a safety net: the sound should have ended long before
        }
        SDL_Delay(5);
    };
    const LivePlayerReport report = playLive(audio, visualizer, options);
    EXPECT_FALSE(report.quitByUser);
    EXPECT_EQ(report.presetChanges, 1);
    EXPECT_EQ(visualizer.currentPreset(), 1);
    EXPECT_EQ(report.pausedFrames, 6);
    EXPECT_EQ(report.finalWidth, 200);
    EXPECT_EQ(report.finalHeight, 100);
    EXPECT_NEAR(report.playedSeconds, 0.6, 0.1);
    // Time stamps follow the audio clock: they never run backwards.
    EXPECT_TRUE(std::is_sorted(visualizer.timeStamps().begin(), visualizer.timeStamps().end()));
    EXPECT_EQ(visualizer.stream().sourceChannels, 2);
}

}  // namespace
}  // namespace gs::host
