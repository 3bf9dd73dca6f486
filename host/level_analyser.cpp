#include "host/level_analyser.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <span>

#include <fftw3.h>

#include "host/audio_source.h"
#include "host/sample_history.h"

namespace gs::host {

namespace {

constexpr int kCells = plugin::kSpectrumSize;
constexpr int kBins = LevelAnalyser::kTransformSize / 2 + 1;
constexpr double kCellWidth =
    (LevelAnalyser::kHighestFrequency - LevelAnalyser::kLowestFrequency) / kCells;
constexpr double kBinWidth = static_cast<double>(kSampleRate) / LevelAnalyser::kTransformSize;

// FFTW's planner is not thread-safe; executing a plan is.
std::mutex& plannerMutex() {
    static std::mutex mutex;
    return mutex;
}

// Four-term Blackman-Harris: side lobes 92 dB down, below the byte scale's 80 dB range, so a loud
// tone does not smear across the spectrum; its main lobe spans four cells.
constexpr double kWindowTerms[4] = {0.35875, 0.48829, 0.14128, 0.01168};

}  // namespace

struct LevelAnalyser::Transform {
    float* input = nullptr;
    fftwf_complex* output = nullptr;
    fftwf_plan plan = nullptr;
    float window[kTransformSize];
    float samples[kTransformSize];
    // Bins [firstBin[c], firstBin[c + 1]) make up cell c.
    int firstBin[kCells + 1];
    // Power of a full-scale sine's peak bin: the spectrum's 0 dB.
    double referencePower;

    Transform() {
        {
            std::lock_guard lock(plannerMutex());
            input = fftwf_alloc_real(kTransformSize);
            output = fftwf_alloc_complex(kBins);
            if (input != nullptr && output != nullptr) {
                plan = fftwf_plan_dft_r2c_1d(kTransformSize, input, output, FFTW_ESTIMATE);
            }
        }
        if (plan == nullptr) {
            release();
            throw std::bad_alloc();
        }
        double windowSum = 0.0;
        for (int n = 0; n < kTransformSize; ++n) {
            const double x = 2.0 * std::numbers::pi * n / kTransformSize;
            const double w = kWindowTerms[0] - kWindowTerms[1] * std::cos(x) +
                             kWindowTerms[2] * std::cos(2 * x) - kWindowTerms[3] * std::cos(3 * x);
            window[n] = static_cast<float>(w);
            windowSum += w;
        }
        referencePower = (windowSum / 2) * (windowSum / 2);
        // Cells are equal slices of 20 Hz to 22050 Hz; a bin belongs to the cell holding its
        // centre frequency. Bins are narrower than cells, so every cell holds one to three bins.
        for (int cell = 0; cell <= kCells; ++cell) {
            const double lower = kLowestFrequency + cell * kCellWidth;
            firstBin[cell] = std::min(kBins, static_cast<int>(std::ceil(lower / kBinWidth)));
        }
    }

    ~Transform() { release(); }

    void release() {
        std::lock_guard lock(plannerMutex());
        if (plan != nullptr) {
            fftwf_destroy_plan(plan);
        }
        fftwf_free(input);
        fftwf_free(output);
    }

    // The spectrum of `samples` as levels on the byte scale (0 to 255, unrounded).
    void levels(float (&cells)[kCells]) {
        for (int n = 0; n < kTransformSize; ++n) {
            input[n] = samples[n] * window[n];
        }
        fftwf_execute(plan);
        constexpr double kBytesPerDecibel = 255.0 / -kFloorDecibels;
        for (int cell = 0; cell < kCells; ++cell) {
            double peak = 0.0;
            for (int bin = firstBin[cell]; bin < firstBin[cell + 1]; ++bin) {
                const double re = output[bin][0];
                const double im = output[bin][1];
                peak = std::max(peak, re * re + im * im);
            }
            double level = 0.0;
            if (peak > 0.0) {
                const double decibels = 10.0 * std::log10(peak / referencePower);
                level = std::clamp((decibels - kFloorDecibels) * kBytesPerDecibel, 0.0, 255.0);
            }
            cells[cell] = static_cast<float>(level);
        }
    }
};

LevelAnalyser::LevelAnalyser() : transform_(std::make_unique<Transform>()) {}

LevelAnalyser::~LevelAnalyser() = default;

void LevelAnalyser::reset() {
    hasHistory_ = false;
    for (auto& channel : smoothed_) {
        std::fill(std::begin(channel), std::end(channel), 0.0f);
    }
}

int LevelAnalyser::cellOf(double frequency) {
    if (!(frequency >= kLowestFrequency && frequency <= kHighestFrequency)) {
        return -1;
    }
    return std::min(kCells - 1, static_cast<int>((frequency - kLowestFrequency) / kCellWidth));
}

void LevelAnalyser::analyse(const SampleHistory& history, std::int64_t centre,
                            std::int64_t timeStamp, plugin::PlayState state,
                            plugin::TimedLevel& levels) {
    double elapsed = 0.0;
    if (hasHistory_ && timeStamp >= lastTimeStamp_) {
        elapsed = static_cast<double>(timeStamp - lastTimeStamp_) * 1e-7;
    } else {
        reset();
    }
    const auto release =
        static_cast<float>(kReleaseDecibelsPerSecond * elapsed * 255.0 / -kFloorDecibels);

    float cells[kCells];
    for (int channel = 0; channel < plugin::kChannelCount; ++channel) {
        history.copy(channel, centre - kTransformSize / 2, transform_->samples);
        transform_->levels(cells);
        float* smoothed = smoothed_[channel];
        for (int cell = 0; cell < kCells; ++cell) {
            smoothed[cell] = std::max(cells[cell], smoothed[cell] - release);
            levels.frequency[channel][cell] =
                static_cast<unsigned char>(std::lround(std::max(0.0f, smoothed[cell])));
        }

        // The waveform is the middle 1024 samples of the same window.
        const float* middle = transform_->samples + (kTransformSize - plugin::kSpectrumSize) / 2;
        for (int i = 0; i < plugin::kSpectrumSize; ++i) {
            const long sample = std::clamp(std::lround(middle[i] * 128.0f), -128L, 127L);
            levels.waveform[channel][i] = static_cast<unsigned char>(sample + 128);
        }
    }
    levels.state = state;
    levels.timeStamp = timeStamp;
    lastTimeStamp_ = timeStamp;
    hasHistory_ = true;
}

}  // namespace gs::host
