#include <cmath>

#include "render/messages.h"
#include "renderer_fixture.h"

namespace gs::render::testing {
namespace {

using software::Fault;

constexpr DWORD kGrey178 = 0x00B2B2B2;  // white feedback at 178/255 over black

class FrameRendererTest : public RendererTest {
protected:
    void SetUp() override {
        RendererTest::SetUp();
        ASSERT_EQ(initialize(), S_OK);
    }

    // Pixels of the target that differ from `colour` by more than `tolerance`, away from the
    // target's border (where the wobbling background samples the texture's edge).
    static int countOff(const MemoryTarget& target, LONG width, LONG height, DWORD colour,
                        int tolerance) {
        int off = 0;
        for (LONG y = 4; y < height - 4; ++y) {
            for (LONG x = 4; x < width - 4; ++x) {
                off += !closeTo(target.pixel(x, y), colour, tolerance);
            }
        }
        return off;
    }
};

TEST_F(FrameRendererTest, FirstFrameStartsFromFadedWhite) {
    preset_ = 7;  // no effect pass
    levels_.state = plugin::kStopped;
    MemoryTarget target(120, 90);
    ASSERT_EQ(render(target), S_OK);
    EXPECT_EQ(countOff(target, 120, 90, kGrey178, 1), 0);
    EXPECT_EQ(state_.targetWidth, 120u);
    EXPECT_EQ(state_.targetHeight, 90u);
}

TEST_F(FrameRendererTest, PausedFramesKeepHueAndStripsButStillDraw) {
    MemoryTarget target(120, 90);
    for (std::int32_t playState :
         {std::int32_t{plugin::kStopped}, std::int32_t{plugin::kPaused}, 7}) {
        levels_.state = playState;
        hue_ = 42.0f;
        target.fill(MemoryTarget::kUntouched);
        ASSERT_EQ(render(target), S_OK);
        EXPECT_EQ(hue_, 42.0f);
        EXPECT_FALSE(target.untouched());
        for (Colour texel : strip(state_.leftHistorySurface)) {
            ASSERT_EQ(texel, 0xFF004600u);
        }
        for (Colour texel : strip(state_.rightHistorySurface)) {
            ASSERT_EQ(texel, 0xFF0A00FCu);
        }
    }
    levels_.state = plugin::kPlaying;
    ASSERT_EQ(render(target), S_OK);
    EXPECT_FLOAT_EQ(hue_, 42.05f);
}

TEST_F(FrameRendererTest, PlayedFramesShiftColoursIntoTheStrips) {
    MemoryTarget target(120, 90);
    // Silence: each side's colour is black while the smoothing starts from zero.
    for (int frame = 0; frame < 3; ++frame) {
        ASSERT_EQ(render(target), S_OK);
    }
    std::vector<Colour> left = strip(state_.leftHistorySurface);
    std::vector<Colour> right = strip(state_.rightHistorySurface);
    for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(left[i], i < 3 ? 0xFF000000u : 0xFF004600u) << i;
        ASSERT_EQ(right[i], i < 3 ? 0xFF000000u : 0xFF0A00FCu) << i;
    }
    // A loud low band on channel 0 only: the left strip takes a colour, the right stays black.
    std::memset(levels_.frequency[0], 255, 512);
    ASSERT_EQ(render(target), S_OK);
    left = strip(state_.leftHistorySurface);
    right = strip(state_.rightHistorySurface);
    EXPECT_NE(left[0], 0xFF000000u);
    EXPECT_EQ(right[0], 0xFF000000u);
    EXPECT_EQ(left[1], 0xFF000000u);  // the previous newest moved one texel on
    EXPECT_EQ(left[4], 0xFF004600u);
}

TEST_F(FrameRendererTest, MonoFeedsTheRightSideFromChannelZero) {
    MemoryTarget target(120, 90);
    std::memset(levels_.frequency[0], 200, sizeof levels_.frequency[0]);
    isMono_ = true;
    ASSERT_EQ(render(target), S_OK);
    const Colour right = strip(state_.rightHistorySurface)[0];
    EXPECT_NE(right, 0xFF000000u);
    isMono_ = false;
    setSmoothedColour(Side::Right, {0, 0, 0});
    ASSERT_EQ(render(target), S_OK);
    EXPECT_EQ(strip(state_.rightHistorySurface)[0], 0xFF000000u);  // channel 1 is silent
}

TEST_F(FrameRendererTest, PresetsOutsideTheTableSkipTheEffect) {
    levels_.state = plugin::kStopped;
    MemoryTarget plain(120, 90);
    preset_ = -1;
    ASSERT_EQ(render(plain), S_OK);
    EXPECT_EQ(countOff(plain, 120, 90, kGrey178, 1), 0);
    releaseAll();
    ASSERT_EQ(initialize(), S_OK);
    MemoryTarget withEffect(120, 90);
    preset_ = 0;
    ASSERT_EQ(render(withEffect), S_OK);
    EXPECT_GT(countOff(withEffect, 120, 90, kGrey178, 1), 0);
}

// The two-source pass over uniform strips adds the same colour everywhere: S = L + R and
// F = |L - R|^0.45 per channel, with the fresh strips' dark green on the left and blue on the
// right.
TEST_F(FrameRendererTest, EffectPassOverUniformStripsMatchesTheFormula) {
    levels_.state = plugin::kStopped;
    preset_ = 0;
    MemoryTarget target(120, 90);
    ASSERT_EQ(render(target), S_OK);
    const double left[3] = {0.0, 70 / 255.0, 0.0};           // 0xFF004600
    const double right[3] = {10 / 255.0, 0.0, 252 / 255.0};  // 0xFF0A00FC
    DWORD expected = 0;
    for (int c = 0; c < 3; ++c) {
        const double s = left[c] + right[c];
        const double f = std::pow(std::fabs(left[c] - right[c]), 0.45);
        const double value = std::min(255.0, std::round(178.0 + 255.0 * s * f));
        expected |= static_cast<DWORD>(value) << (16 - 8 * c);
    }
    EXPECT_EQ(countOff(target, 120, 90, expected, 2), 0) << std::hex << expected;
}

TEST_F(FrameRendererTest, DeviceLossSkipsTheFrameAndRebuilds) {
    MemoryTarget target(120, 90);
    ASSERT_EQ(render(target), S_OK);
    software::loseDevices();
    ASSERT_NE(state_.device->TestCooperativeLevel(), S_OK);
    target.fill(MemoryTarget::kUntouched);
    EXPECT_EQ(render(target), S_OK);
    EXPECT_TRUE(target.untouched());
    ASSERT_NE(state_.device, nullptr);
    EXPECT_EQ(state_.device->TestCooperativeLevel(), S_OK);  // a new device
    EXPECT_EQ(software::liveObjects().devices, 1);
    EXPECT_EQ(gsTestMessageBoxCount(), 0u);
    // The rebuilt strips start again from their fills.
    EXPECT_EQ(strip(state_.leftHistorySurface)[0], 0xFF004600u);
    EXPECT_EQ(render(target), S_OK);
    EXPECT_FALSE(target.untouched());
}

TEST_F(FrameRendererTest, FailedClearDrawsAndCopiesNothing) {
    MemoryTarget target(120, 90);
    ASSERT_EQ(render(target), S_OK);
    software::injectFault(Fault::Clear, E_FAIL, 1);
    target.fill(MemoryTarget::kUntouched);
    EXPECT_EQ(render(target), E_FAIL);
    EXPECT_TRUE(target.untouched());
}

TEST_F(FrameRendererTest, FailedSceneStillCopiesTheClearedTarget) {
    MemoryTarget target(120, 90);
    ASSERT_EQ(render(target), S_OK);
    software::injectFault(Fault::BeginScene, E_FAIL, 1);
    const float hue = hue_;
    EXPECT_EQ(render(target), S_OK);
    EXPECT_EQ(hue_, hue);  // nothing of the scene ran
    EXPECT_EQ(countOff(target, 120, 90, 0x000000, 0), 0);
}

TEST_F(FrameRendererTest, SurfaceDcFailureDisablesRendering) {
    MemoryTarget target(120, 90);
    software::injectFault(Fault::SurfaceGetDC, E_FAIL, 1);
    EXPECT_EQ(render(target), E_FAIL);
    EXPECT_FALSE(isRenderingEnabled_);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{messages::kSurfaceDcFailed});
    target.fill(MemoryTarget::kUntouched);
    EXPECT_EQ(render(target), S_OK);
    EXPECT_TRUE(target.untouched());
    EXPECT_EQ(gsTestMessageBoxCount(), 1u);
}

TEST_F(FrameRendererTest, CopiesArePaced) {
    MemoryTarget target(64, 48);
    gsTestClearSleeps();
    ASSERT_EQ(render(target), S_OK);
    EXPECT_EQ(gsTestSleepCount(), 0u);  // the first copy does not wait
    ASSERT_EQ(render(target), S_OK);    // at once: 1500/60 = 25 ms to wait
    ASSERT_EQ(gsTestSleepCount(), 1u);
    EXPECT_EQ(gsTestSleepDuration(0), 25u);
    gsTestAdvanceClock(10);
    ASSERT_EQ(render(target), S_OK);
    ASSERT_EQ(gsTestSleepCount(), 2u);
    EXPECT_EQ(gsTestSleepDuration(1), 15u);
    gsTestAdvanceClock(30);
    ASSERT_EQ(render(target), S_OK);
    EXPECT_EQ(gsTestSleepCount(), 2u);  // later than the interval: no wait
}

TEST_F(FrameRendererTest, PacingSurvivesARefreshRateOfZeroAndClockWrap) {
    EXPECT_EQ(pacingInterval(60), 25u);
    EXPECT_EQ(pacingInterval(75), 20u);
    EXPECT_EQ(pacingInterval(85), 17u);
    EXPECT_EQ(pacingInterval(100), 15u);
    EXPECT_EQ(pacingInterval(0), 25u);  // real drivers report 0: paced as 60 Hz
    releaseAll();
    setDisplay(160, 120, 0);
    ASSERT_EQ(initialize(), S_OK);
    MemoryTarget target(64, 48);
    // The first copy just before the millisecond counter wraps, the next one just after it.
    gsTestUseVirtualClock(TRUE, 0xFFFFFFF0u);
    gsTestClearSleeps();
    ASSERT_EQ(render(target), S_OK);
    EXPECT_EQ(gsTestSleepCount(), 0u);
    gsTestAdvanceClock(20);
    ASSERT_EQ(render(target), S_OK);
    ASSERT_EQ(gsTestSleepCount(), 1u);
    EXPECT_EQ(gsTestSleepDuration(0), 5u);
}

TEST_F(FrameRendererTest, FirstFrameAfterLongUptimeDoesNotWait) {
    // More than 2^31 ms since boot: read as a signed difference, the time since the (never made)
    // previous copy would look negative and ask for a wait of weeks.
    gsTestUseVirtualClock(TRUE, 0x80000000u + 1000u);
    gsTestClearSleeps();
    MemoryTarget target(64, 48);
    ASSERT_EQ(render(target), S_OK);
    EXPECT_EQ(gsTestSleepCount(), 0u);
    ASSERT_EQ(render(target), S_OK);
    ASSERT_EQ(gsTestSleepCount(), 1u);
    EXPECT_EQ(gsTestSleepDuration(0), 25u);
}

TEST_F(FrameRendererTest, EmptyAndOversizedRectangles) {
    MemoryTarget target(200, 150);
    for (const RECT& empty : {RECT{0, 0, 0, 0}, RECT{10, 10, 5, 20}, RECT{0, 0, 50, -3}}) {
        target.fill(MemoryTarget::kUntouched);
        EXPECT_EQ(render(target, empty), S_OK);
        EXPECT_TRUE(target.untouched());
    }
    // Larger than the 160 x 120 back buffer: drawn and copied as far as the back buffer goes.
    target.fill(MemoryTarget::kUntouched);
    EXPECT_EQ(render(target, RECT{0, 0, 200, 150}), S_OK);
    EXPECT_NE(target.pixel(100, 60), MemoryTarget::kUntouched);
    EXPECT_EQ(target.pixel(180, 140), MemoryTarget::kUntouched);
    // Offset rectangles copy to their place.
    target.fill(MemoryTarget::kUntouched);
    EXPECT_EQ(render(target, RECT{50, 40, 110, 90}), S_OK);
    EXPECT_EQ(target.pixel(45, 60), MemoryTarget::kUntouched);
    EXPECT_NE(target.pixel(80, 60), MemoryTarget::kUntouched);
    EXPECT_EQ(state_.targetWidth, 60u);
    // The widest rectangle a caller can pass: its extent does not fit a LONG.
    target.fill(MemoryTarget::kUntouched);
    const LONG far = 0x7FFFFFFF;
    EXPECT_EQ(render(target, RECT{-far - 1, -far - 1, far, far}), S_OK);
    EXPECT_EQ(state_.targetWidth, 0xFFFFFFFFu);
    EXPECT_EQ(state_.targetHeight, 0xFFFFFFFFu);
    EXPECT_TRUE(target.untouched()) << "copied far off to the left and above";
}

TEST_F(FrameRendererTest, NullArgumentsAreRefused) {
    MemoryTarget target(64, 48);
    const RECT rc = target.rect();
    EXPECT_EQ(renderFrame(view(), nullptr, target.dc(), &rc), E_POINTER);
    EXPECT_EQ(renderFrame(view(), &levels_, target.dc(), nullptr), E_POINTER);
    EXPECT_TRUE(target.untouched());
}

}  // namespace
}  // namespace gs::render::testing
