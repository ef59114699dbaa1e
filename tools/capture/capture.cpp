#include "tools/capture/capture.h"

#include "gl/portable/portable_gl.h"
#include "gl/record/gl_record.h"
#include "gl/system/system_gl11.h"
#include "timeline/scene_clock.h"
#include "tools/capture/capture_output.h"
#include "tools/capture/frame_writer.h"
#include "tools/capture/offscreen_gl.h"
#include "tools/capture/pixel_readback.h"
#include "tools/capture/yuv_pass.h"
#include "tools/readings/frame_run.h"

#include <EGL/egl.h>
#include <malloc.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

// Set by SIGINT/SIGTERM; the frame loop stops at the next frame and cleans up.
volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) {
    interrupted = 1;
}

void say(const std::string& message) {
    std::fprintf(stderr, "dadadazo-capture: %s\n", message.c_str());
}

// Ctrl-C and SIGTERM end a capture cleanly while the frames are drawn.
class InterruptWatch {
  public:
    InterruptWatch() {
        interrupted = 0;
        std::signal(SIGINT, on_interrupt);
        std::signal(SIGTERM, on_interrupt);
    }
    ~InterruptWatch() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
};

// draw_frame writes a time line per frame to stdout; a capture keeps stdout quiet by pointing it
// at /dev/null while it runs.
class QuietStdout {
  public:
    QuietStdout() : saved_(fcntl(1, F_DUPFD_CLOEXEC, 3)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            dup2(null, 1);
            close(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
        }
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

  private:
    int saved_;
};

// Frames done of total, frames per second and time left: on one rewritten line on a terminal,
// otherwise a line every few seconds.
struct Progress {
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point last;
    bool terminal;
    bool shown;
};

double seconds_since(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void show_progress(Progress& progress, long long done, long long total) {
    const double period = progress.terminal ? 0.25 : 5.0;
    if (seconds_since(progress.last) < period || done >= total) {
        return;
    }
    progress.last = std::chrono::steady_clock::now();
    const double elapsed = seconds_since(progress.start);
    const double rate = elapsed > 0.0 ? static_cast<double>(done) / elapsed : 0.0;
    const double left = rate > 0.0 ? static_cast<double>(total - done) / rate : 0.0;
    std::fprintf(stderr, "%sdadadazo-capture: frame %lld of %lld, %.1f frames/s, %.0f s left%s",
                 progress.terminal ? "\r" : "", done, total, rate, left,
                 progress.terminal ? "   " : "\n");
    progress.shown = true;
}

void end_progress(const Progress& progress) {
    if (progress.terminal && progress.shown) {
        std::fputc('\n', stderr);
    }
}

// OpenGL 1.1 state the ES 3 header does not name.
constexpr GLenum gl11_point_size = 0x0B11;
constexpr GLenum gl11_point_size_range = 0x0B12;
constexpr GLenum gl11_aliased_point_size_range = 0x846D;

// What draws the frames: the portable renderer, or the driver's OpenGL 1.1 behind the recorder.
struct FrameRenderer {
    PortableGl* portable;       // nullptr when drawing through the driver's OpenGL 1.1
    SystemGl11Functions system; // the driver's entry points, for gl11
    std::string name;           // for the closing line
};

void* egl_proc(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

bool open_frame_renderer(const OffscreenGl& gl, FrameRenderer* renderer, std::string* error) {
    *renderer = FrameRenderer{nullptr, {}, ""};
    if (gl.api == OffscreenApi::portable) {
        renderer->portable = portable_gl_open(gl.functions, gl.dialect, gl.width, gl.height, error);
        if (renderer->portable == nullptr) {
            *error = "the portable renderer cannot start on " + gl.renderer + " (" +
                     gl.context_kind + "): " + *error;
            return false;
        }
        renderer->name = "the portable renderer on " + gl.renderer + " (" + gl.context_kind + ")";
        return true;
    }
    if (!load_system_gl11_functions(egl_proc, &renderer->system, error)) {
        *error = gl.renderer + " offers no OpenGL 1.1: " + *error;
        return false;
    }
    renderer->name = gl.renderer + "'s own OpenGL 1.1";
    return true;
}

// Points the frame's entry points at the renderer; `drawn` false discards the frame's calls.
void route_frame_calls(const FrameRenderer& renderer, bool drawn) {
    if (!drawn) {
        gl_record_to(nullptr, nullptr);
    } else if (renderer.portable != nullptr) {
        portable_gl_make_current(renderer.portable);
    } else {
        system_gl11_make_current(&renderer.system);
    }
}

void close_frame_renderer(FrameRenderer* renderer) {
    gl_record_to(nullptr, nullptr);
    portable_gl_close(renderer->portable);
    renderer->portable = nullptr;
}

// Round points stop growing at the renderer's limit; say so once.
void check_point_size(const OffscreenGl& gl, const FrameRenderer& renderer, bool* warned) {
    if (*warned) {
        return;
    }
    if (renderer.portable != nullptr) {
        const float size = portable_gl_point_size(renderer.portable);
        if (size > portable_point_size_limit) {
            char message[160];
            std::snprintf(message, sizeof message,
                          "points of %g pixels asked for; round points are drawn at most %g "
                          "pixels across, so larger ones stay at that size",
                          static_cast<double>(size),
                          static_cast<double>(portable_point_size_limit));
            say(message);
            *warned = true;
        }
        return;
    }
    const Gles3Functions& f = gl.functions;
    GLfloat size = 0.0f;
    f.GetFloatv(gl11_point_size, &size);
    if (size <= gl.point_size_max) {
        return;
    }
    GLfloat smooth[2] = {0.0f, 0.0f};
    GLfloat aliased[2] = {0.0f, 0.0f};
    f.GetFloatv(gl11_point_size_range, smooth);
    f.GetFloatv(gl11_aliased_point_size_range, aliased);
    char message[256];
    std::snprintf(message, sizeof message,
                  "points of %g pixels asked for; this renderer draws round points of %g to %g "
                  "pixels (square ones %g to %g), so larger ones stay at %g",
                  static_cast<double>(size), static_cast<double>(smooth[0]),
                  static_cast<double>(smooth[1]), static_cast<double>(aliased[0]),
                  static_cast<double>(aliased[1]), static_cast<double>(gl.point_size_max));
    say(message);
    *warned = true;
}

struct FramePlan {
    std::vector<long long> readings; // every frame drawn, in order
    std::size_t first_kept;          // frames before this only carry the drift forward
    std::vector<std::string> names;  // file names of the kept frames (PNG output)
};

FramePlan plan_frames(const CaptureOptions& options) {
    FramePlan plan{{}, 0, {}};
    if (options.fps == 0) {
        plan.readings = options.at;
        std::vector<std::pair<long long, int>> seen;
        for (const long long reading : options.at) {
            int occurrence = 1;
            for (auto& entry : seen) {
                if (entry.first == reading) {
                    occurrence = ++entry.second;
                }
            }
            if (occurrence == 1) {
                seen.emplace_back(reading, 1);
            }
            plan.names.push_back(reading_file_name(reading, occurrence));
        }
        return plan;
    }
    const long long count = show_frame_count(options.fps);
    bool first_found = false;
    for (long long n = 0; n < count; ++n) {
        const long long reading = show_frame_reading(n, options.fps);
        if (options.to_ms >= 0 && reading >= options.to_ms) {
            break;
        }
        if (!first_found && reading >= options.from_ms) {
            plan.first_kept = plan.readings.size();
            first_found = true;
        }
        plan.readings.push_back(reading);
        if (first_found) {
            plan.names.push_back(frame_file_name(n));
        }
    }
    if (!first_found) {
        plan.first_kept = plan.readings.size();
    }
    return plan;
}

// Whether the portable renderer's frames go through the YUV pass: as asked, or where the context
// has a hardware renderer.
bool converts_on_gpu(Conversion convert, const OffscreenGl& gl) {
    if (convert == Conversion::automatic) {
        return !is_software_renderer(gl.renderer);
    }
    return convert == Conversion::gpu;
}

// The drawing side of a capture: the context, what draws the frames, the YUV pass where the
// frames are converted on the GPU, and the read-back. Closes them all, in order, when it goes.
class Drawing {
  public:
    Drawing() = default;
    Drawing(const Drawing&) = delete;
    Drawing& operator=(const Drawing&) = delete;
    ~Drawing() {
        readback_.reset();
        pass_.reset();
        close_frame_renderer(&renderer_);
        close_offscreen_gl(&gl_);
    }

    // `planar`: frames are wanted as planar YUV (videos and Y4M); the portable renderer then
    // converts them itself.
    bool open(const CaptureOptions& options, bool planar, std::string* error) {
        const bool portable = options.renderer == CaptureRenderer::portable;
        if (!open_offscreen_gl(options.mode.width, options.mode.height,
                               portable ? OffscreenApi::portable : OffscreenApi::gl11, &gl_,
                               error)) {
            return false;
        }
        if (portable && planar && converts_on_gpu(options.convert, gl_)) {
            pass_ = std::make_unique<YuvPass>();
            if (!pass_->open(gl_.functions, gl_.dialect, gl_.width, gl_.height, options.chroma,
                             error)) {
                return false;
            }
        }
        if (!open_frame_renderer(gl_, &renderer_, error)) {
            return false;
        }
        readback_ = std::make_unique<PixelReadback>();
        readback_->open(gl_.functions, pass_ ? pass_->target_width() : gl_.width,
                        pass_ ? pass_->target_rows() : gl_.height);
        return true;
    }

    bool planar() const { return pass_ != nullptr; }
    const std::string& name() const { return renderer_.name; }
    std::size_t frame_bytes() const { return readback_->bytes(); }
    int reads_in_flight() const { return reads_; }

    void route(bool drawn) const { route_frame_calls(renderer_, drawn); }

    // Draws what the renderer has batched of the frame.
    void finish_frame() {
        if (renderer_.portable != nullptr) {
            portable_gl_finish_frame(renderer_.portable);
        }
        check_point_size(gl_, renderer_, &warned_);
    }

    // Converts the frame where that is done on the GPU and starts reading it back.
    void start_reading() {
        if (pass_) {
            pass_->convert();
        }
        readback_->start();
        ++reads_;
    }

    // The oldest frame being read; false when it cannot be read.
    bool collect(std::uint8_t* out) {
        --reads_;
        return readback_->collect(out);
    }

  private:
    OffscreenGl gl_{};
    FrameRenderer renderer_{nullptr, {}, ""};
    std::unique_ptr<YuvPass> pass_;
    std::unique_ptr<PixelReadback> readback_;
    int reads_ = 0;
    bool warned_ = false;
};

std::string size_text(const DisplayMode& mode) {
    return std::to_string(mode.width) + "x" + std::to_string(mode.height);
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
bool draw_and_hand_over(const CaptureOptions& options, const FramePlan& plan, Drawing& drawing,
                        FrameWriter& writer, CaptureTimings& timings, std::string* error) {
    Progress progress{std::chrono::steady_clock::now(), std::chrono::steady_clock::now(),
                      isatty(2) == 1, false};
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
        show_progress(progress, ++timings.frames, kept);
    };
    // Frames before the part are computed only for the drift they carry: their calls go nowhere.
    // Every frame sets the state it draws with, so the first one kept starts as the show's does.
    drawing.route(plan.first_kept == 0);
    DriftState drift{0.0f, 0.0f, 0.0f};
    draw_readings(plan.readings, options.mode, drift, [&](std::size_t i) {
        if (i < plan.first_kept) {
            if (i + 1 == plan.first_kept) {
                drawing.route(true);
            }
            clock.lap(timings.lead_in);
            return interrupted == 0;
        }
        drawing.finish_frame();
        clock.lap(timings.draw);
        drawing.start_reading();
        clock.lap(timings.convert);
        if (drawing.reads_in_flight() == 2) {
            hand_over_oldest();
        }
        return interrupted == 0 && !read_failed && !writer.failed();
    });
    while (drawing.reads_in_flight() > 0 && !read_failed && interrupted == 0) {
        hand_over_oldest();
    }
    end_progress(progress);
    if (read_failed) {
        *error = "cannot read a frame back from the renderer";
    } else if (interrupted != 0) {
        *error = "interrupted";
    }
    return !read_failed && interrupted == 0;
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
    std::string summary =
        std::to_string(kept) + (kept == 1 ? " frame (" : " frames (") + size_text(options.mode);
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
    Drawing drawing;
    if (!drawing.open(options, options.output_kind != OutputKind::png_folder, error) ||
        !output.start(kept, static_cast<double>(plan.first_kept) / options.fps, plan.names,
                      drawing.planar(), error)) {
        return false;
    }
    bool drawn = false;
    bool written = false;
    {
        const InterruptWatch watch;
        const QuietStdout quiet;
        FrameWriter writer(3, [&output](const HandedFrame& frame, std::string* why) {
            return output.write(frame, why);
        });
        drawn = draw_and_hand_over(options, plan, drawing, writer, timings, error);
        std::string write_error;
        written = writer.finish(&write_error);
        if (!written) {
            *error = write_error;
        }
    }
    if (!drawn || !written || !output.commit(error)) {
        return false;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    *summary = summary_of(options, kept, output.with_audio(), elapsed, drawing.name());
    return true;
}

} // namespace

long long show_frame_reading(long long n, int fps) {
    return n * 1000 / fps;
}

long long show_frame_count(int fps) {
    long long n = 0;
    while (!show_is_over(scene_clock_from_ms(show_frame_reading(n, fps)).t_f)) {
        ++n;
    }
    return n;
}

std::string reading_file_name(long long reading_ms, int occurrence) {
    char name[64];
    if (occurrence <= 1) {
        std::snprintf(name, sizeof name, "%06lld.png", reading_ms);
    } else {
        std::snprintf(name, sizeof name, "%06lld-%d.png", reading_ms, occurrence);
    }
    return name;
}

std::string frame_file_name(long long n) {
    char name[64];
    std::snprintf(name, sizeof name, "frame-%05lld.png", n);
    return name;
}

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
