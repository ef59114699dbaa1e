// Throughput of whole captures as the tool runs them: render offscreen, read back, and write
// PNGs or feed ffmpeg. Frames before each part are drawn only for the drift (clipped to nothing),
// and that lead-in is counted in the time, as a user waiting for the part would count it.
#include "app/menu.h"
#include "tools/capture/capture.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

void capture_part(benchmark::State& state, long long from_ms, long long length_ms,
                  OutputKind kind) {
    namespace fs = std::filesystem;
    const fs::path out =
        fs::temp_directory_path() / ("dadadazo-capture-bench-" + std::to_string(from_ms) +
                                     (kind == OutputKind::mp4 ? ".mp4" : ""));
    CaptureOptions options{mode_for_key('6'),   {},           60,  from_ms,
                           from_ms + length_ms, out.string(), kind};
    long long frames = 0;
    for (auto _ : state) {
        fs::remove_all(out);
        if (run_capture(options) != 0) {
            state.SkipWithError("capture failed");
            break;
        }
        frames += length_ms * 60 / 1000;
    }
    fs::remove_all(out);
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}

void register_parts() {
    const struct {
        const char* scene;
        long long from_ms;
        long long length_ms;
    } parts[] = {{"wave_field", 2000, 2000},  {"line_rosettes", 9000, 2000},
                 {"ring_stack", 14000, 2000}, {"twin_clouds", 30000, 2000},
                 {"wave_rows", 45000, 2000},  {"swell", 58500, 1000}};
    for (const auto& part : parts) {
        for (const OutputKind kind : {OutputKind::png_folder, OutputKind::mp4}) {
            const std::string name = std::string("capture_1280x720_60fps/") + part.scene + "/" +
                                     (kind == OutputKind::mp4 ? "mp4" : "png");
            const long long from_ms = part.from_ms;
            const long long length_ms = part.length_ms;
            benchmark::RegisterBenchmark(
                name.c_str(),
                [=](benchmark::State& state) { capture_part(state, from_ms, length_ms, kind); })
                ->Iterations(1)
                ->Unit(benchmark::kSecond)
                ->UseRealTime();
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    unsetenv("DISPLAY");
    register_parts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
