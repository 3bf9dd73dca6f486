#include "host/live_player.h"

#include <SDL.h>

#include <algorithm>
#include <vector>

#include "host/host_error.h"
#include "host/interruption.h"
#include "host/level_analyser.h"
#include "host/sample_history.h"
#include "host/target_limits.h"

namespace gs::host {

namespace {

// How far the decoder runs ahead of the device: enough to ride out a slow frame, little enough
// that pausing and quitting feel immediate.
constexpr double kQueueAheadSeconds = 0.25;
constexpr std::size_t kReadBlock = 2048;

class SdlSession {
public:
    SdlSession() {
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO | SDL_INIT_EVENTS) != 0) {
            throw HostError(std::string("cannot start SDL: ") + SDL_GetError());
        }
    }
    ~SdlSession() { SDL_Quit(); }
    SdlSession(const SdlSession&) = delete;
    SdlSession& operator=(const SdlSession&) = delete;
};

template <typename T, void (*Destroy)(T*)>
struct SdlDeleter {
    void operator()(T* object) const { Destroy(object); }
};
using WindowPointer = std::unique_ptr<SDL_Window, SdlDeleter<SDL_Window, SDL_DestroyWindow>>;
using RendererPointer =
    std::unique_ptr<SDL_Renderer, SdlDeleter<SDL_Renderer, SDL_DestroyRenderer>>;
using TexturePointer = std::unique_ptr<SDL_Texture, SdlDeleter<SDL_Texture, SDL_DestroyTexture>>;

class AudioDevice {
public:
    AudioDevice(int channels) {
        SDL_AudioSpec wanted{};
        wanted.freq = kSampleRate;
        wanted.format = AUDIO_F32SYS;
        wanted.channels = static_cast<Uint8>(channels);
        wanted.samples = 1024;
        // No changes allowed: SDL converts to whatever the hardware takes.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained_, 0);
        if (device_ == 0) {
            throw HostError(std::string("cannot open an audio device: ") + SDL_GetError());
        }
        bytesPerFrame_ = static_cast<int>(sizeof(float)) * channels;
    }
    ~AudioDevice() { SDL_CloseAudioDevice(device_); }
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    void queue(const float* samples, std::size_t frames) {
        SDL_QueueAudio(device_, samples, static_cast<Uint32>(frames * bytesPerFrame_));
        queued_ += static_cast<std::int64_t>(frames);
    }
    std::int64_t framesWaiting() const {
        return SDL_GetQueuedAudioSize(device_) / static_cast<Uint32>(bytesPerFrame_);
    }
    // The frame being heard: what was queued, less what still waits, less the device's buffer.
    std::int64_t playing() const {
        return std::max<std::int64_t>(0, queued_ - framesWaiting() - obtained_.samples);
    }
    void pause(bool paused) { SDL_PauseAudioDevice(device_, paused ? 1 : 0); }

private:
    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec obtained_{};
    int bytesPerFrame_ = 8;
    std::int64_t queued_ = 0;
};

}  // namespace

LivePlayerReport playLive(AudioSource& audio, Visualizer& visualizer,
                          const LivePlayerOptions& options) {
    SdlSession sdl;
    WindowPointer window(SDL_CreateWindow(options.windowTitle.c_str(), SDL_WINDOWPOS_CENTERED,
                                          SDL_WINDOWPOS_CENTERED, options.width, options.height,
                                          SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI));
    if (!window) {
        throw HostError(std::string("cannot open a window: ") + SDL_GetError());
    }
    RendererPointer renderer(SDL_CreateRenderer(window.get(), -1, SDL_RENDERER_PRESENTVSYNC));
    if (!renderer) {
        renderer.reset(SDL_CreateRenderer(window.get(), -1, SDL_RENDERER_SOFTWARE));
    }
    if (!renderer) {
        throw HostError(std::string("cannot draw into the window: ") + SDL_GetError());
    }
    int width = options.width;
    int height = options.height;
    TexturePointer texture;
    auto makeTexture = [&] {
        texture.reset(SDL_CreateTexture(renderer.get(), SDL_PIXELFORMAT_RGB888,
                                        SDL_TEXTUREACCESS_STREAMING, width, height));
        if (!texture) {
            throw HostError(std::string("cannot create a texture: ") + SDL_GetError());
        }
    };
    makeTexture();

    const int channels = audio.info().channels;
    AudioDevice device(channels);
    SampleHistory history(2 * LevelAnalyser::kTransformSize +
                          static_cast<std::size_t>(kQueueAheadSeconds * kSampleRate) + kReadBlock);
    std::vector<float> block(kReadBlock * static_cast<std::size_t>(channels));
    LevelAnalyser analyser;
    plugin::TimedLevel levels{};
    LivePlayerReport report;
    bool ended = false;
    bool paused = false;
    bool fullscreen = false;
    std::int64_t pausedAt = 0;

    visualizer.beginStream(audio.info());
    device.pause(false);
    for (;; ++report.frames) {
        if (options.beforeFrame) {
            options.beforeFrame(report.frames);
        }
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) {
                report.quitByUser = true;
            } else if (event.type == SDL_KEYDOWN && event.key.repeat == 0) {
                switch (event.key.keysym.sym) {
                    case SDLK_q:
                    case SDLK_ESCAPE:
                        report.quitByUser = true;
                        break;
                    case SDLK_n:
                    case SDLK_RIGHT:
                        if (visualizer.presetCount() > 0) {
                            visualizer.selectPreset((visualizer.currentPreset() + 1) %
                                                    visualizer.presetCount());
                            ++report.presetChanges;
                        }
                        break;
                    case SDLK_f:
                        fullscreen = !fullscreen;
                        SDL_SetWindowFullscreen(window.get(),
                                                fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
                        break;
                    case SDLK_SPACE:
                        paused = !paused;
                        pausedAt = device.playing();
                        device.pause(paused);
                        break;
                    default:
                        break;
                }
            } else if (event.type == SDL_WINDOWEVENT &&
                       event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                // The window's size is the target; beyond the adapter's display, the picture
                // is stretched by SDL instead.
                const TargetLimits limits = displaySize();
                width = std::clamp(event.window.data1, 2, limits.width);
                height = std::clamp(event.window.data2, 2, limits.height);
                visualizer.resize(width, height);
                makeTexture();
            }
        }
        if (report.quitByUser || interruptionRequested()) {
            report.quitByUser = true;
            break;
        }

        while (!ended && device.framesWaiting() < kQueueAheadSeconds * kSampleRate) {
            const std::size_t got = audio.read(block.data(), kReadBlock);
            if (got == 0) {
                ended = true;
                break;
            }
            history.append(block.data(), got, channels);
            device.queue(block.data(), got);
        }
        if (ended && device.framesWaiting() == 0 && !paused) {
            break;
        }

        const std::int64_t playing = paused ? pausedAt : device.playing();
        analyser.analyse(history, playing, playing * 10'000'000 / kSampleRate,
                         paused ? plugin::kPaused : plugin::kPlaying, levels);
        report.pausedFrames += paused ? 1 : 0;
        const FrameView frame = visualizer.render(levels);
        SDL_UpdateTexture(texture.get(), nullptr, frame.pixels, static_cast<int>(frame.stride * 4));
        SDL_RenderClear(renderer.get());
        SDL_RenderCopy(renderer.get(), texture.get(), nullptr, nullptr);
        SDL_RenderPresent(renderer.get());
        report.playedSeconds = static_cast<double>(playing) / kSampleRate;
    }
    report.finalWidth = width;
    report.finalHeight = height;
    return report;
}

}  // namespace gs::host
