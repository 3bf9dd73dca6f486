// What one Render call costs on the software device, stage by stage and as a whole, at 1280x720,
// 1920x1080 and 3840x2160, on one thread.
//
// Every benchmark reports milliseconds per frame (the time column), pixels per second of the target
// (items_per_second) and the allocations made per frame (allocs, counted by the replaced global
// operator new of this program). The stages repeat the calls the frame renderer makes, with the
// renderer's own geometry; Frame runs renderFrame itself with the pacing sleep taken out by the
// virtual clock. The memory the renderer's device takes at each size is reported by Frame as
// device_MiB: the growth of the C heap (large blocks included) and of the platform's virtual memory
// regions across device creation and the first frame, so the pixel storage, the effect and every
// cache the first frame fills are in it.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/support/allocation_counter.h"
#include "platform/linux/host.h"
#include "platform/linux/testing.h"
#include "platform/win32.h"
#include "render/band_energies.h"
#include "render/colour_model.h"
#include "render/device_lifecycle.h"
#include "render/frame_geometry.h"
#include "render/frame_renderer.h"
#include "render/software/adapter.h"
#include "render/software/simd/instruction_set.h"

namespace gs::render {
namespace {

// Levels that keep every part of the frame busy: a falling spectrum with a moving bump on both
// channels and a waveform of two mixed sines.
void fillLevels(plugin::TimedLevel& levels, int frame) {
    levels.state = plugin::kPlaying;
    levels.timeStamp = frame * 250000LL;
    for (int channel = 0; channel < 2; ++channel) {
        for (int i = 0; i < plugin::kSpectrumSize; ++i) {
            const double fall = 220.0 * std::exp(-i / 300.0);
            const double bump =
                60.0 * std::exp(-std::pow((i - 300 - 200 * std::sin(frame * 0.05)) / 40.0, 2));
            levels.frequency[channel][i] = static_cast<unsigned char>(
                std::clamp(fall + bump + (i * 7 + frame) % 13, 0.0, 255.0));
            const double t = (i + frame * 31) * (channel == 0 ? 0.031 : 0.027);
            levels.waveform[channel][i] =
                static_cast<unsigned char>(128.0 + 90.0 * std::sin(t) + 30.0 * std::sin(5.3 * t));
        }
    }
}

// A 32-bit top-down DIB section selected into a memory DC: the player's device context.
class MemoryTarget {
public:
    MemoryTarget(LONG width, LONG height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous_ = SelectObject(dc_, bitmap_);
        rect_ = {0, 0, width, height};
    }
    ~MemoryTarget() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    MemoryTarget(const MemoryTarget&) = delete;
    MemoryTarget& operator=(const MemoryTarget&) = delete;

    HDC dc() const { return dc_; }
    const RECT& rect() const { return rect_; }
    bool ready() const { return bitmap_ != nullptr; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    RECT rect_{};
};

// A visualizer's renderer with its device made at the benchmark's size: the display mode is the
// target size, so the back buffer is exactly the frame.
class FrameFixture : public benchmark::Fixture {
public:
    void SetUp(benchmark::State& state) override {
        width_ = static_cast<UINT>(state.range(0));
        height_ = static_cast<UINT>(state.range(1));
        preset_ = state.range(2);
        gsTestReset();
        gsTestSilenceMessageBoxes(TRUE);
        gsTestUseVirtualClock(TRUE, 100000);
        software::resetAdapter();
        software::AdapterSettings settings = software::adapterSettings();
        settings.displayMode = {width_, height_, 60, Format::X8R8G8B8};
        software::setAdapterSettings(settings);
        window_ = gsCreateWindow(static_cast<LONG>(width_), static_cast<LONG>(height_));
        moduleHandle_ = GetModuleHandleA(nullptr);  // this program carries EFFECT.OBJ
        target_ = new MemoryTarget(static_cast<LONG>(width_), static_cast<LONG>(height_));
        state_ = RenderState{};
        hue_ = 30.0f;
        levelCycle_.resize(kLevelFrames);
        for (int frame = 0; frame < kLevelFrames; ++frame) {
            fillLevels(levelCycle_[static_cast<std::size_t>(frame)], frame);
        }
        const std::size_t memoryBefore = memoryInUse();
        if (!target_->ready() || FAILED(initializeDirect3D(view())) || FAILED(renderFrame())) {
            state.SkipWithError("no renderer on the software device");
            return;
        }
        deviceBytes_ = memoryInUse() - memoryBefore;
        geometry_ = makeFrameGeometry(width_, height_, hue_);
    }

    void TearDown(benchmark::State&) override {
        releaseDeviceResources(state_);
        if (state_.direct3d != nullptr) {
            state_.direct3d->Release();
            state_.direct3d = nullptr;
        }
        delete target_;
        target_ = nullptr;
        gsDestroyWindow(window_);
        software::resetAdapter();
        gsTestReset();
    }

protected:
    VisualizerView view() {
        return {state_, window_, moduleHandle_, preset_, false, isRenderingEnabled_, hue_};
    }

    // One whole Render call, the pacing interval already over, with the next of the levels made
    // beforehand: the figures are Render's alone, not those of making its input.
    HRESULT renderFrame() {
        const plugin::TimedLevel& levels =
            levelCycle_[static_cast<std::size_t>(frame_++ % kLevelFrames)];
        gsTestAdvanceClock(1000);
        return render::renderFrame(view(), &levels, target_->dc(), &target_->rect());
    }
    const plugin::TimedLevel& firstLevels() const { return levelCycle_.front(); }

    // The timed loop: `step` once per iteration, then the counters every benchmark reports.
    template <class Step>
    void measure(benchmark::State& state, double pixelsPerFrame, Step step) {
        const long long before = bench::allocationCount();
        for (auto _ : state) {
            step();
        }
        const long long allocations = bench::allocationCount() - before;
        state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * pixelsPerFrame));
        state.counters["allocs"] =
            benchmark::Counter(static_cast<double>(allocations) / state.iterations());
    }

    double targetPixels() const { return double(width_) * height_; }

    // Bytes of the C heap in use, blocks served by mmap included, and of the regions of pages
    // that pixel buffers take.
    static std::size_t memoryInUse() {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd + gsTestVirtualBytes();
    }

    UINT width_ = 0, height_ = 0;
    LONG preset_ = 0;
    HWND window_ = nullptr;
    HMODULE moduleHandle_ = nullptr;
    MemoryTarget* target_ = nullptr;
    RenderState state_;
    bool isRenderingEnabled_ = false;
    float hue_ = 0.0f;
    int frame_ = 0;
    std::size_t deviceBytes_ = 0;
    static constexpr int kLevelFrames = 64;
    std::vector<plugin::TimedLevel> levelCycle_;
    FrameGeometry geometry_{};
};

// A draw in a scene of its own: on a device that holds a scene's draws back (a large target),
// the draw runs by the end of the iteration that times it.
template <class Draw>
void inScene(Device* device, Draw draw) {
    device->BeginScene();
    draw();
    device->EndScene();
}

void setBlend(Device* device, Blend source, TextureArg colourSource) {
    device->SetRenderState(RenderStateType::SrcBlend, DWORD(source));
    device->SetRenderState(RenderStateType::DestBlend, DWORD(Blend::One));
    device->SetTextureStageState(0, TextureStageState::ColorOp, DWORD(TextureOp::SelectArg1));
    device->SetTextureStageState(0, TextureStageState::ColorArg1, DWORD(colourSource));
}

// A clear of the whole target is written when its pixels are next used, or by the frame's first
// draw as it reaches them: here the next use is a device context, which costs next to nothing
// itself, so that the figure is that of the clear written out on its own.
BENCHMARK_DEFINE_F(FrameFixture, Clear)(benchmark::State& state) {
    Device* device = state_.device;
    Surface* backBuffer = nullptr;
    device->GetRenderTarget(0, &backBuffer);
    measure(state, targetPixels(), [&] {
        device->Clear(0, nullptr, kClearTarget, 0xFF000000u, 1.0f, 0);
        HDC dc = nullptr;
        backBuffer->GetDC(&dc);
        backBuffer->ReleaseDC(dc);
    });
    backBuffer->Release();
}

BENCHMARK_DEFINE_F(FrameFixture, BackgroundQuad)(benchmark::State& state) {
    Device* device = state_.device;
    BackgroundVertex quad[4];
    buildBackgroundQuad(geometry_, quad);
    setBlend(device, Blend::SrcAlpha, TextureArg::Texture);
    device->SetFVF(kBackgroundFvf);
    device->SetTexture(0, state_.feedbackTexture);
    measure(state, targetPixels(), [&] {
        inScene(device, [&] {
            device->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(BackgroundVertex));
        });
    });
    device->SetTexture(0, nullptr);
}

BENCHMARK_DEFINE_F(FrameFixture, TracePoints)(benchmark::State& state) {
    Device* device = state_.device;
    static TracePointVertex points[kTracePointCount];
    buildTracePoints(geometry_, firstLevels(), 1, hue_, points);
    setBlend(device, Blend::DestColor, TextureArg::Diffuse);
    device->SetFVF(kTracePointFvf);
    measure(state, kTracePointCount, [&] {
        inScene(device, [&] {
            device->DrawPrimitiveUP(PrimitiveType::PointList, kTracePointCount, points,
                                    sizeof(TracePointVertex));
        });
    });
}

BENCHMARK_DEFINE_F(FrameFixture, StripShift)(benchmark::State& state) {
    Device* device = state_.device;
    const LONG n = state_.historyLength;
    const RECT head = {0, 0, 1, 1}, older = {0, 0, n - 1, 1}, shifted = {1, 0, n, 1};
    Colour colour = 0xFF102030u;
    measure(state, 2.0 * n, [&] {
        for (Surface* strip : {state_.leftHistorySurface, state_.rightHistorySurface}) {
            const BandEnergies bands = bandEnergies(firstLevels().frequency[0]);
            colour = bandColour(bands.low, bands.mid, bands.high, hue_, Side::Left);
            device->StretchRect(strip, nullptr, state_.scratchSurface, nullptr,
                                TextureFilter::None);
            device->ColorFill(strip, &head, colour);
            device->StretchRect(state_.scratchSurface, &older, strip, &shifted,
                                TextureFilter::None);
        }
    });
}

BENCHMARK_DEFINE_F(FrameFixture, EffectPass)(benchmark::State& state) {
    Device* device = state_.device;
    fx::Effect* effect = state_.effectObject;
    EffectQuadVertex quad[4];
    buildEffectQuad(geometry_, quad);
    fx::Vector4 positions[4];
    effectPositions(geometry_, positions);
    measure(state, targetPixels(), [&] {
        device->BeginScene();
        effect->SetTechnique(state_.techniqueHandle);
        effect->Begin(nullptr, 0);
        effect->BeginPass(static_cast<UINT>(preset_));
        for (int i = 0; i < 4; ++i) {
            effect->SetVector(state_.posHandles[i], &positions[i]);
        }
        effect->SetTexture(state_.leftTextureHandle, state_.leftHistoryTexture);
        effect->SetTexture(state_.rightTextureHandle, state_.rightHistoryTexture);
        effect->SetFloat(state_.texWidthHandle,
                         static_cast<float>(std::max(width_, height_)) * 15.0f);
        effect->CommitChanges();
        device->SetFVF(kEffectQuadFvf);
        device->DrawPrimitiveUP(PrimitiveType::TriangleFan, 2, quad, sizeof(EffectQuadVertex));
        effect->EndPass();
        effect->End();
        device->EndScene();
    });
}

BENCHMARK_DEFINE_F(FrameFixture, FeedbackCapture)(benchmark::State& state) {
    Device* device = state_.device;
    Surface* backBuffer = nullptr;
    device->GetRenderTarget(0, &backBuffer);
    const RECT source = {0, 0, LONG(width_), LONG(height_)};
    measure(state, targetPixels() / 4, [&] {
        device->StretchRect(backBuffer, &source, state_.feedbackSurface, nullptr,
                            TextureFilter::None);
    });
    backBuffer->Release();
}

BENCHMARK_DEFINE_F(FrameFixture, CopyToDC)(benchmark::State& state) {
    Device* device = state_.device;
    measure(state, targetPixels(), [&] {
        Surface* backBuffer = nullptr;
        HDC dc = nullptr;
        device->GetRenderTarget(0, &backBuffer);
        backBuffer->GetDC(&dc);
        BitBlt(target_->dc(), 0, 0, LONG(width_), LONG(height_), dc, 0, 0, SRCCOPY);
        backBuffer->ReleaseDC(dc);
        backBuffer->Release();
    });
}

BENCHMARK_DEFINE_F(FrameFixture, Frame)(benchmark::State& state) {
    HRESULT result = S_OK;
    measure(state, targetPixels(), [&] { result |= renderFrame(); });
    if (FAILED(result)) {
        state.SkipWithError("a frame failed");
    }
    state.counters["device_MiB"] = double(deviceBytes_) / (1024 * 1024);
}

// The reference the issue measured: pass effect0 as a plain per-pixel C++ loop (floats, the C
// library's pow, strips unpacked per read), single-threaded, into a target of 32-bit pixels.
BENCHMARK_DEFINE_F(FrameFixture, PlainScalarEffect0)(benchmark::State& state) {
    const int n = std::max(width_, height_);
    std::vector<std::uint32_t> left(n), right(n), pixels(std::size_t{width_} * height_);
    for (int i = 0; i < n; ++i) {
        left[i] = 0xFF000000u | ((i * 7) & 0xFF) << 16 | ((i * 3) & 0xFF) << 8 | (i & 0xFF);
        right[n - 1 - i] = left[i];
    }
    fx::Vector4 positions[4];
    effectPositions(geometry_, positions);
    const float k = 1.0f / (float(n) * 15.0f);
    auto read = [n](const std::vector<std::uint32_t>& strip, float u, float(&out)[4]) {
        const float s = u * float(n) - 0.5f;
        const float i0 = std::floor(s);
        const float f = s - i0;
        auto mirror = [n](long i) {
            long j = i % (2L * n);
            j = j < 0 ? j + 2L * n : j;
            return j < n ? j : 2L * n - 1 - j;
        };
        const std::uint32_t a = strip[mirror(long(i0))], b = strip[mirror(long(i0) + 1)];
        for (int c = 0; c < 4; ++c) {
            const int shift = (c == 3) ? 24 : 16 - 8 * c;
            const float x = float((a >> shift) & 0xFF) / 255.0f;
            const float y = float((b >> shift) & 0xFF) / 255.0f;
            out[c] = x + (y - x) * f;
        }
    };
    measure(state, targetPixels(), [&] {
        for (UINT y = 0; y < height_; ++y) {
            for (UINT x = 0; x < width_; ++x) {
                const float px = float(x), py = float(y);
                const float d0 = std::sqrt((px - positions[0].x) * (px - positions[0].x) +
                                           (py - positions[0].y) * (py - positions[0].y));
                const float d1 = std::sqrt((px - positions[1].x) * (px - positions[1].x) +
                                           (py - positions[1].y) * (py - positions[1].y));
                float l0[4], r1[4];
                read(left, d0 * k, l0);
                read(right, d1 * k, r1);
                std::uint32_t& target = pixels[std::size_t{y} * width_ + x];
                std::uint32_t result = 0;
                for (int c = 0; c < 4; ++c) {
                    const int shift = (c == 3) ? 24 : 16 - 8 * c;
                    const float e = std::fabs(l0[c] - r1[c]);
                    const float out = (l0[c] + r1[c]) * std::pow(e, 0.45f);
                    const float sum = float((target >> shift) & 0xFF) / 255.0f + out;
                    result |= std::uint32_t(std::min(sum, 1.0f) * 255.0f + 0.5f) << shift;
                }
                target = result;
            }
        }
        benchmark::DoNotOptimize(pixels.data());
    });
}

// Stages that do not depend on the preset run with preset 0.
void sizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"width", "height", "preset"});
    for (const auto& [w, h] : {std::pair{1280, 720}, {1920, 1080}, {3840, 2160}}) {
        b->Args({w, h, 0});
    }
    b->Unit(benchmark::kMillisecond);
}

void sizesAndPresets(benchmark::internal::Benchmark* b) {
    b->ArgNames({"width", "height", "preset"});
    for (const auto& [w, h] : {std::pair{1280, 720}, {1920, 1080}, {3840, 2160}}) {
        for (int preset : {0, 1}) {
            b->Args({w, h, preset});
        }
    }
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK_REGISTER_F(FrameFixture, Clear)->Apply(sizes);
BENCHMARK_REGISTER_F(FrameFixture, BackgroundQuad)->Apply(sizes);
BENCHMARK_REGISTER_F(FrameFixture, TracePoints)->Apply(sizes);
BENCHMARK_REGISTER_F(FrameFixture, StripShift)->Apply(sizes);
BENCHMARK_REGISTER_F(FrameFixture, EffectPass)->Apply(sizesAndPresets);
BENCHMARK_REGISTER_F(FrameFixture, FeedbackCapture)->Apply(sizes);
BENCHMARK_REGISTER_F(FrameFixture, CopyToDC)->Apply(sizes);
BENCHMARK_REGISTER_F(FrameFixture, Frame)->Apply(sizesAndPresets);
BENCHMARK_REGISTER_F(FrameFixture, PlainScalarEffect0)->Apply(sizes);

}  // namespace
}  // namespace gs::render

// The instruction set the device's kernels run, in the results' context: the best this machine
// has, or the older one GLIMMERSTRAND_INSTRUCTION_SET names. (This program's own copy of the
// choice makes it as the device's library does.)
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    namespace simd = gs::render::software::simd;
    benchmark::AddCustomContext("instruction set",
                                simd::instructionSetName(simd::activeInstructionSet()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
