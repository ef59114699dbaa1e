// draw_frame for one frame of each scene, with every GL call discarded: what the show's own
// computation costs beside the 10 ms pause between frames.
#include "gl/record/gl_record.h"
#include "scenes/drift_state.h"
#include "timeline/display_mode.h"
#include "timeline/draw_frame.h"
#include "timeline/scene_clock.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

// The frames' time lines go to /dev/null while a benchmark runs; its report still reaches the
// console.
class QuietStdout {
  public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, STDOUT_FILENO);
        close(null_fd);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

  private:
    int saved_;
};

void frame_at(benchmark::State& state, long long ms) {
    const SceneClock clock = scene_clock_from_ms(ms);
    const DisplayMode mode = fallback_mode;
    gl_record_to(nullptr, nullptr);
    const QuietStdout quiet;
    for (auto _ : state) {
        DriftState drift{0.0f, 0.0f, 0.0f};
        draw_frame(clock.t, clock.t_f, mode, drift);
        benchmark::DoNotOptimize(drift);
    }
}

} // namespace

BENCHMARK_CAPTURE(frame_at, wave_field_red, 1000LL)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(frame_at, wave_field, 5000LL)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(frame_at, wave_field_falling, 7500LL)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(frame_at, line_rosettes, 10000LL)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(frame_at, ring_stack, 16000LL)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(frame_at, twin_clouds, 30000LL)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(frame_at, wave_rows, 50000LL)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(frame_at, wave_rows_swelling, 60000LL)->Unit(benchmark::kMicrosecond);
