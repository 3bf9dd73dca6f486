#include "host/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace gs::host {

namespace {

std::string clock(double seconds) {
    const auto whole = static_cast<long long>(std::max(0.0, seconds) + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

ProgressBar::ProgressBar(std::FILE* out, std::int64_t total, bool enabled)
    : out_(out),
      total_(total),
      enabled_(enabled),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

ProgressBar::~ProgressBar() {
    // A render cut short by an error leaves the cursor at the start of a clean line.
    if (enabled_ && drawn_) {
        std::fputs("\n", out_);
        std::fflush(out_);
    }
}

bool ProgressBar::isTerminal(std::FILE* file) {
    return isatty(fileno(file)) == 1;
}

std::string ProgressBar::line(std::int64_t done, std::int64_t total, double elapsedSeconds) {
    constexpr int kWidth = 30;
    char text[160];
    if (total > 0) {
        const double fraction = std::clamp(static_cast<double>(done) / total, 0.0, 1.0);
        const int filled = static_cast<int>(fraction * kWidth);
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.resize(kWidth, '-');
        const std::string remaining =
            done > 0 ? clock(elapsedSeconds * (total - done) / done) : std::string("?");
        std::snprintf(text, sizeof text, "%3d%% [%s] %lld/%lld frames  %s elapsed  %s left",
                      static_cast<int>(fraction * 100), bar.c_str(), static_cast<long long>(done),
                      static_cast<long long>(total), clock(elapsedSeconds).c_str(),
                      remaining.c_str());
    } else {
        std::snprintf(text, sizeof text, "%lld frames  %s elapsed", static_cast<long long>(done),
                      clock(elapsedSeconds).c_str());
    }
    return text;
}

void ProgressBar::update(std::int64_t done) {
    done_ = done;
    const auto now = std::chrono::steady_clock::now();
    if (enabled_ && (!drawn_ || now - lastDraw_ >= std::chrono::milliseconds(100))) {
        lastDraw_ = now;
        draw();
    }
}

void ProgressBar::finish() {
    if (enabled_) {
        draw();
        std::fputs("\n", out_);
        std::fflush(out_);
        drawn_ = false;
    }
}

void ProgressBar::draw() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    // \r returns to the line's start, \x1b[K clears what a longer earlier line left.
    std::fprintf(out_, "\r%s\x1b[K", line(done_, total_, elapsed).c_str());
    std::fflush(out_);
    drawn_ = true;
}

}  // namespace gs::host
