#include "tools/capture/progress.h"

#include <cstdio>
#include <unistd.h>

namespace {

double seconds_since(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

} // namespace

Progress::Progress()
    : start_(std::chrono::steady_clock::now()), last_(start_), terminal_(isatty(2) == 1) {}

Progress::~Progress() {
    if (terminal_ && shown_) {
        std::fputc('\n', stderr);
    }
}

void Progress::show(long long done, long long total) {
    const double period = terminal_ ? 0.25 : 5.0;
    if (seconds_since(last_) < period || done >= total) {
        return;
    }
    last_ = std::chrono::steady_clock::now();
    const double elapsed = seconds_since(start_);
    const double rate = elapsed > 0.0 ? static_cast<double>(done) / elapsed : 0.0;
    const double left = rate > 0.0 ? static_cast<double>(total - done) / rate : 0.0;
    std::fprintf(stderr, "%sdadadazo-capture: frame %lld of %lld, %.1f frames/s, %.0f s left%s",
                 terminal_ ? "\r" : "", done, total, rate, left, terminal_ ? "   " : "\n");
    shown_ = true;
}
