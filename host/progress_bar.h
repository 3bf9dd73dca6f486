// A one-line progress display for long renders: percentage, bar, frames, elapsed and remaining
// time, redrawn in place on a terminal at most ten times a second. Silent when the output is not
// a terminal, so logs and pipes stay clean.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace gs::host {

class ProgressBar {
public:
    // `total` frames, or 0 when the length is not known in advance.
    ProgressBar(std::FILE* out, std::int64_t total, bool enabled);
    ~ProgressBar();

    void update(std::int64_t done);
    // Draws the final state and ends the line.
    void finish();

    // The line as drawn for `done` frames after `elapsedSeconds` (for tests).
    static std::string line(std::int64_t done, std::int64_t total, double elapsedSeconds);

    // True when `file` is a terminal.
    static bool isTerminal(std::FILE* file);

private:
    std::FILE* out_;
    std::int64_t total_;
    bool enabled_;
    bool drawn_ = false;
    std::int64_t done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;

    void draw();
};

}  // namespace gs::host
