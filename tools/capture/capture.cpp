#include "tools/capture/capture.h"

#include "gl/portable/portable_gl.h"
#include "gl/record/gl_record.h"
#include "gl/system/system_gl11.h"
#include "scenes/drift_state.h"
#include "timeline/draw_frame.h"
#include "timeline/scene_clock.h"
#include "tools/capture/offscreen_gl.h"
#include "tools/capture/png_file.h"
#include "tools/capture/video_pipe.h"

#include <EGL/egl.h>
#include <malloc.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

// draw_frame writes a time line per frame to stdout; a capture keeps stdout quiet by pointing it
// at /dev/null while it runs.
struct QuietStdout {
    int saved;
};

QuietStdout quiet_stdout() {
    std::fflush(stdout);
    QuietStdout quiet{fcntl(1, F_DUPFD_CLOEXEC, 3)};
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, 1);
        close(null);
    }
    return quiet;
}

void restore_stdout(const QuietStdout& quiet) {
    std::fflush(stdout);
    if (quiet.saved >= 0) {
        dup2(quiet.saved, 1);
        close(quiet.saved);
    }
}

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Makes `path` and any missing folders above it; remembers what it made so that a failed
// capture can take it away again.
bool make_folder(const std::string& path, std::vector<std::string>& made, std::string* error) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    struct stat info {};
    if (stat(trimmed.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            *error = "cannot write " + path + ": it exists and is not a folder";
            return false;
        }
        if (access(trimmed.c_str(), W_OK | X_OK) != 0) {
            *error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    const auto slash = trimmed.rfind('/');
    if (slash != std::string::npos && slash > 0 &&
        !make_folder(trimmed.substr(0, slash), made, error)) {
        return false;
    }
    if (mkdir(trimmed.c_str(), 0777) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    made.push_back(trimmed);
    return true;
}

// Everything a capture has put on disk so far, to be taken away if it fails.
struct Written {
    std::vector<std::string> files;
    std::vector<std::string> folders;
    std::string partial_video;
};

void take_away(const Written& written) {
    for (const std::string& file : written.files) {
        std::remove(file.c_str());
    }
    if (!written.partial_video.empty()) {
        std::remove(written.partial_video.c_str());
    }
    for (auto folder = written.folders.rbegin(); folder != written.folders.rend(); ++folder) {
        rmdir(folder->c_str());
    }
}

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

std::string size_text(const DisplayMode& mode) {
    return std::to_string(mode.width) + "x" + std::to_string(mode.height);
}

int capture_frames(const CaptureOptions& options, const FramePlan& plan, Written& written,
                   std::string* where) {
    const bool video = options.output_kind != OutputKind::png_folder;
    const long long kept = static_cast<long long>(plan.readings.size() - plan.first_kept);
    std::string error;

    // The output first: a name that cannot be written fails before any frame is drawn.
    std::string partial;
    if (video) {
        struct stat info {};
        if (stat(options.output.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            say("cannot write " + options.output + ": it is a folder");
            return 1;
        }
        const std::string folder = folder_of(options.output);
        const auto slash = options.output.rfind('/');
        const std::string name =
            slash == std::string::npos ? options.output : options.output.substr(slash + 1);
        partial = join(folder, "." + name + "." + std::to_string(getpid()) + ".partial");
        const int probe = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (probe < 0) {
            say("cannot write " + options.output + ": " + std::strerror(errno));
            return 1;
        }
        close(probe);
        written.partial_video = partial;
    } else if (!make_folder(options.output, written.folders, &error)) {
        say(error);
        return 1;
    }

    // A software renderer allocates and frees megabytes for every frame (vertices after the
    // vertex shader, binned triangles). Keep freed memory in the process for the next frame
    // instead of handing it back to the system and taking it again page by page.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);

    OffscreenGl gl{};
    const OffscreenApi api =
        options.renderer == CaptureRenderer::gl11 ? OffscreenApi::gl11 : OffscreenApi::portable;
    if (!open_offscreen_gl(options.mode.width, options.mode.height, api, &gl, &error)) {
        say(error);
        return 1;
    }
    FrameRenderer renderer{};
    if (!open_frame_renderer(gl, &renderer, &error)) {
        close_offscreen_gl(&gl);
        say(error);
        return 1;
    }

    VideoPipe pipe{-1, -1, -1};
    const bool with_audio = video && access("tarmelipolkka.wav", R_OK) == 0;
    if (video) {
        VideoSettings settings{options.mode.width,
                               options.mode.height,
                               options.fps,
                               kept,
                               static_cast<double>(plan.first_kept) / options.fps,
                               with_audio ? "tarmelipolkka.wav" : "",
                               partial,
                               options.output_kind};
        const VideoStart started = start_video(settings, &pipe, &error);
        if (started != VideoStart::started) {
            close_frame_renderer(&renderer);
            close_offscreen_gl(&gl);
            if (started == VideoStart::ffmpeg_missing) {
                say("ffmpeg not found, so " + options.output +
                    " cannot be made; install ffmpeg, or give a folder name (-o frames) for "
                    "numbered PNGs instead");
            } else {
                say(error);
            }
            return 1;
        }
    }

    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    Progress progress{std::chrono::steady_clock::now(), std::chrono::steady_clock::now(),
                      isatty(2) == 1, false};
    DriftState drift{0.0f, 0.0f, 0.0f};
    std::vector<std::uint8_t> rgba;
    std::vector<std::uint8_t> rgb;
    bool warned = false;
    int status = 0;
    const QuietStdout quiet = quiet_stdout();
    // Frames before the part are computed only for the drift they carry: their calls go nowhere.
    // Every frame sets the state it draws with, so the first one kept starts as the show's does.
    route_frame_calls(renderer, plan.first_kept == 0);
    for (std::size_t i = 0; i < plan.readings.size() && status == 0; ++i) {
        if (interrupted) {
            error = "interrupted";
            status = 1;
            break;
        }
        if (i == plan.first_kept && i > 0) {
            route_frame_calls(renderer, true);
        }
        const SceneClock clock = scene_clock_from_ms(plan.readings[i]);
        draw_frame(clock.t, clock.t_f, options.mode, drift);
        if (i < plan.first_kept) {
            continue;
        }
        if (renderer.portable != nullptr) {
            portable_gl_finish_frame(renderer.portable);
        }
        check_point_size(gl, renderer, &warned);
        read_frame_rgb(gl, rgba, rgb);
        const std::size_t k = i - plan.first_kept;
        if (video) {
            if (!write_video_frame(pipe, rgb)) {
                finish_video(&pipe, &error);
                if (error.empty()) {
                    error = "ffmpeg stopped taking frames";
                }
                status = 1;
            }
        } else {
            const std::string path = join(options.output, plan.names[k]);
            if (write_png(path, gl.width, gl.height, rgb, &error)) {
                written.files.push_back(path);
            } else {
                status = 1;
            }
        }
        show_progress(progress, static_cast<long long>(k + 1), kept);
    }
    restore_stdout(quiet);
    end_progress(progress);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    const std::string renderer_name = renderer.name;
    close_frame_renderer(&renderer);
    close_offscreen_gl(&gl);

    if (video && status == 0) {
        if (!finish_video(&pipe, &error)) {
            status = 1;
        } else if (std::rename(partial.c_str(), options.output.c_str()) != 0) {
            error = "cannot write " + options.output + ": " + std::strerror(errno);
            status = 1;
        } else {
            written.partial_video.clear();
        }
    } else if (video) {
        abort_video(&pipe);
    }
    if (status != 0) {
        say(error);
        return status;
    }
    const double elapsed = seconds_since(progress.start);
    std::string summary =
        std::to_string(kept) + (kept == 1 ? " frame (" : " frames (") + size_text(options.mode);
    if (video) {
        summary +=
            ", " + std::to_string(options.fps) + " fps" +
            (with_audio ? ", with tarmelipolkka.wav" : ", silent: no tarmelipolkka.wav here");
    }
    char rate[96];
    std::snprintf(rate, sizeof rate, ") in %.1f s, %.1f frames/s", elapsed,
                  elapsed > 0.0 ? static_cast<double>(kept) / elapsed : 0.0);
    summary += rate + (", drawn by " + renderer_name);
    *where = summary;
    return 0;
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

int run_capture(const CaptureOptions& options) {
    const FramePlan plan = plan_frames(options);
    if (plan.first_kept >= plan.readings.size()) {
        say("the part from " + std::to_string(options.from_ms) + " ms holds no frames (the show " +
            "ends after 61000 ms)");
        return 2;
    }
    Written written;
    std::string summary;
    const int status = capture_frames(options, plan, written, &summary);
    if (status != 0) {
        take_away(written);
        return status;
    }
    say("wrote " + options.output + ": " + summary);
    return 0;
}
