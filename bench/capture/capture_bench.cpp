// Throughput of whole captures as the tool runs them: render offscreen, read back, and write
// PNGs or feed ffmpeg. Every part is captured twice in a row, once through the driver's own
// OpenGL 1.1 and once through the portable renderer, and the benchmark reports both rates and
// their ratio. Frames before each part are computed only for the drift, and that lead-in is
// counted in the time, as a user waiting for the part would count it. A video gets the
// soundtrack when tarmelipolkka.wav lies in the working folder, as with the tool. For each
// renderer it also prints where a kept frame's time goes on the drawing thread, in milliseconds:
// drawing, queueing the read, reading back (waiting for the pixels,
// where the GPU's own work shows) and handing over to the writer thread (waiting for it).
#include "timeline/display_mode.h"
#include "tools/capture/capture.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Seconds one capture of the part takes; negative when it fails.
double time_capture(const CaptureOptions& options, CaptureTimings* timings) {
    namespace fs = std::filesystem;
    fs::remove_all(options.output);
    const auto start = std::chrono::steady_clock::now();
    const int status = run_capture(options, timings);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    fs::remove_all(options.output);
    return status == 0 ? elapsed.count() : -1.0;
}

// Milliseconds per kept frame in each stage of the drawing thread.
void add_stage_counters(benchmark::State& state, const std::string& renderer,
                        const CaptureTimings& t) {
    const double frames = t.frames > 0 ? static_cast<double>(t.frames) : 1.0;
    const std::pair<const char*, double> stages[] = {{"draw", t.draw},
                                                     {"convert", t.convert},
                                                     {"read", t.read_back},
                                                     {"hand-over", t.hand_over}};
    for (const auto& [stage, seconds] : stages) {
        state.counters[renderer + " " + stage + " ms"] = seconds * 1000.0 / frames;
    }
}

void capture_part(benchmark::State& state, long long from_ms, long long length_ms,
                  OutputKind kind) {
    namespace fs = std::filesystem;
    const fs::path out =
        fs::temp_directory_path() / ("dadadazo-capture-bench-" + std::to_string(from_ms) +
                                     (kind == OutputKind::mp4 ? ".mp4" : ""));
    CaptureOptions options{mode_for_key('6'),   {},           60,   from_ms,
                           from_ms + length_ms, out.string(), kind, Renderer::gl11,
                           Chroma::yuv420};
    const double frames = static_cast<double>(length_ms * 60 / 1000);
    double gl11_seconds = 0.0, portable_seconds = 0.0;
    CaptureTimings gl11_stages, portable_stages;
    for (auto _ : state) {
        options.renderer = Renderer::gl11;
        const double gl11 = time_capture(options, &gl11_stages);
        options.renderer = Renderer::portable;
        const double portable = time_capture(options, &portable_stages);
        if (gl11 < 0.0 || portable < 0.0) {
            state.SkipWithError(gl11 < 0.0 ? "capture through OpenGL 1.1 failed"
                                           : "capture through the portable renderer failed");
            break;
        }
        gl11_seconds += gl11;
        portable_seconds += portable;
        state.SetIterationTime(portable);
    }
    if (portable_seconds > 0.0) {
        const auto iterations = static_cast<double>(state.iterations());
        state.counters["gl11 frames/s"] = frames * iterations / gl11_seconds;
        state.counters["portable frames/s"] = frames * iterations / portable_seconds;
        state.counters["portable s/frame"] = portable_seconds / (frames * iterations);
        state.counters["speed-up"] = gl11_seconds / portable_seconds;
        add_stage_counters(state, "gl11", gl11_stages);
        add_stage_counters(state, "portable", portable_stages);
    }
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
                ->UseManualTime();
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
