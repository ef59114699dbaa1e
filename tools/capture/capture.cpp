#include "tools/capture/capture.h"

#include "tools/capture/capture_drawing.h"
#include "tools/capture/capture_output.h"
#include "tools/capture/frame_plan.h"
#include "tools/capture/frame_writer.h"
#include "tools/capture/progress.h"
#include "tools/capture/quiet_run.h"
#include "tools/readings/frame_run.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>

namespace {

void say(const std::string& message) {
    std::fprintf(stderr, "dadadazo-capture: %s\n", message.c_str());
}

// Times the stages of the drawing thread: each lap adds the time since the last one.
struct StageClock {
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
    void lap(double& into) {
        const auto now = std::chrono::steady_clock::now();
        into += std::chrono::duration<double>(now - last).count();
        last = now;
    }
};

// Draws every frame of the plan and hands the kept ones to the writer, reading frame n back
// while frame n + 1 is drawn. False with the reason when interrupted or when a frame cannot be
// read; a failed write stops the drawing too (the writer tells why).
bool draw_and_hand_over(const CaptureOptions& options, const FramePlan& plan,
                        CaptureDrawing& drawing, FrameWriter& writer, const QuietRun& run,
                        CaptureTimings& timings, std::string* error) {
    Progress progress;
    const auto kept = static_cast<long long>(plan.readings.size() - plan.first_kept);
    StageClock clock;
    bool read_failed = false;
    const auto hand_over_oldest = [&] {
        HandedFrame* frame = writer.acquire();
        clock.lap(timings.hand_over);
        frame->pixels.resize(drawing.frame_bytes());
        read_failed = !drawing.collect(frame->pixels.data());
        clock.lap(timings.read_back);
        writer.submit(frame);
        progress.show(++timings.frames, kept);
    };
    // Frames before the part are computed only for the drift they carry: their calls go nowhere.
    // Every frame sets the state it draws with, so the first one kept starts as the show's does.
    if (plan.first_kept == 0) {
        drawing.route();
    } else {
        drawing.discard();
    }
    DriftState drift{0.0f, 0.0f, 0.0f};
    draw_readings(plan.readings, options.mode, drift, [&](std::size_t i) {
        if (i < plan.first_kept) {
            if (i + 1 == plan.first_kept) {
                drawing.route();
            }
            clock.lap(timings.lead_in);
            return !run.interrupted();
        }
        drawing.finish_frame(static_cast<double>(plan.readings[i]) / 1000.0);
        clock.lap(timings.draw);
        drawing.start_reading();
        clock.lap(timings.convert);
        if (drawing.reads_in_flight() == 2) {
            hand_over_oldest();
        }
        return !run.interrupted() && !read_failed && !writer.failed();
    });
    while (drawing.reads_in_flight() > 0 && !read_failed && !run.interrupted()) {
        hand_over_oldest();
    }
    if (read_failed) {
        *error = "cannot read a frame back from the renderer";
    } else if (run.interrupted()) {
        *error = "interrupted";
    }
    return !read_failed && !run.interrupted();
}

// A software renderer allocates and frees megabytes for every frame (vertices after the vertex
// shader, binned triangles). Keep freed memory in the process for the next frame instead of
// handing it back to the system and taking it again page by page.
void keep_freed_memory() {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
}

std::string summary_of(const CaptureOptions& options, long long kept, bool with_audio,
                       double elapsed, const std::string& renderer_name) {
    std::string summary = std::to_string(kept) + (kept == 1 ? " frame (" : " frames (") +
                          std::to_string(options.mode.width) + "x" +
                          std::to_string(options.mode.height);
    if (options.output_kind == OutputKind::y4m) {
        summary += ", " + std::to_string(options.fps) + " fps, " +
                   (options.chroma == Chroma::yuv444 ? "4:4:4" : "4:2:0");
    } else if (options.output_kind != OutputKind::png_folder) {
        summary +=
            ", " + std::to_string(options.fps) + " fps" +
            (options.chroma == Chroma::yuv444 ? ", 4:4:4" : "") +
            (with_audio ? ", with tarmelipolkka.wav" : ", silent: no tarmelipolkka.wav here");
    }
    char rate[96];
    std::snprintf(rate, sizeof rate, ") in %.1f s, %.1f frames/s", elapsed,
                  elapsed > 0.0 ? static_cast<double>(kept) / elapsed : 0.0);
    return summary + rate + ", drawn by " + renderer_name;
}

// Draws and writes every frame with the output and the drawing opened; the writer has finished
// when it returns.
bool draw_and_write(const CaptureOptions& options, const FramePlan& plan, CaptureOutput& output,
                    CaptureDrawing& drawing, CaptureTimings& timings, std::string* error) {
    const QuietRun run;
    FrameWriter writer(3, [&output](const HandedFrame& frame, std::string* why) {
        return output.write(frame, why);
    });
    const bool drawn = draw_and_hand_over(options, plan, drawing, writer, run, timings, error);
    std::string write_error;
    if (!writer.finish(&write_error)) {
        *error = write_error;
        return false;
    }
    return drawn;
}

// Claims the output, opens the renderer, draws and writes every frame, and gives the output its
// name. Whatever fails, everything opened is closed and nothing is left under the output's name.
bool capture_frames(const CaptureOptions& options, const FramePlan& plan, CaptureTimings& timings,
                    std::string* summary, std::string* error) {
    const auto start = std::chrono::steady_clock::now();
    const auto kept = static_cast<long long>(plan.readings.size() - plan.first_kept);
    CaptureOutput output;
    if (!output.claim(options, error)) {
        return false;
    }
    keep_freed_memory();
    CaptureDrawing drawing;
    if (!drawing.open(options.renderer, options.mode.width, options.mode.height, options.gentle,
                      error) ||
        !output.start(kept, static_cast<double>(plan.first_kept) / options.fps, plan.names,
                      error) ||
        !draw_and_write(options, plan, output, drawing, timings, error) || !output.commit(error)) {
        return false;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *summary = summary_of(options, kept, output.with_audio(), elapsed, drawing.name());
    return true;
}

} // namespace

int run_capture(const CaptureOptions& options, CaptureTimings* timings) {
    const FramePlan plan = plan_frames(options);
    if (plan.first_kept >= plan.readings.size()) {
        say("the part from " + std::to_string(options.from_ms) + " ms holds no frames (the show " +
            "ends after 61000 ms)");
        return 2;
    }
    CaptureTimings own_timings;
    std::string summary;
    std::string error;
    if (!capture_frames(options, plan, timings != nullptr ? *timings : own_timings, &summary,
                        &error)) {
        say(error);
        return 1;
    }
    say("wrote " + (writes_to_stdout(options) ? std::string("standard output") : options.output) +
        ": " + summary);
    return 0;
}
