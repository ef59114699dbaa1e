#include "app/show.h"

#include "app/menu.h"
#include "app/music_file.h"
#include "app/options.h"
#include "scenes/drift_state.h"
#include "timeline/draw_frame.h"
#include "timeline/scene_clock.h"

#include <cstdio>
#include <string>

namespace {

constexpr char music_file[] = "tarmelipolkka.wav";
constexpr unsigned frame_pause_ms = 10;

// A request to end the show, posted: like the system's own quit message it is taken only once
// nothing else is pending. A failure's status stands over a later plain quit.
struct PostedQuit {
    bool posted = false;
    int status = 0;
};

void post_quit(PostedQuit& quit, int status) {
    if (!quit.posted || quit.status == 0) {
        quit = PostedQuit{true, status};
    }
}

} // namespace

int run_show_loop(PlatformWindow* window, const DisplayMode& mode) {
    platform_sleep_ms(frame_pause_ms);
    const std::string music =
        choose_music_file(music_file, platform_data_folder(), file_can_be_opened);
    platform_start_music(window, music.c_str());
    const long long start_ms = platform_clock_ms();
    platform_raise_window(window);

    SceneClock clock{0.0, 0.0f};
    DriftState drift{0.0f, 0.0f, 0.0f};
    PostedQuit posted;

    for (;;) {
        int quit_code = 0;
        const PumpResult message = platform_pump_message(window, &quit_code);
        if (message == PumpResult::quit_posted) {
            post_quit(posted, quit_code);
        }
        if (message == PumpResult::quit || (message == PumpResult::empty && posted.posted)) {
            platform_close_window(window);
            return message == PumpResult::quit ? quit_code : posted.status;
        }
        if (message != PumpResult::empty) {
            continue; // every pending message is handled before the next frame
        }

        draw_frame(clock.t, clock.t_f, mode, drift);
        platform_swap_buffers(window);
        clock = scene_clock_from_ms(platform_clock_ms() - start_ms);
        platform_sleep_ms(frame_pause_ms);
        if (show_is_over(clock.t_f)) {
            return 0;
        }
    }
}

int run_demo(void* instance, void* /*previous_instance*/, const char* command_line,
             int show_state) {
    ShowOptions options;
    std::string error;
    if (!parse_show_options(command_line, &options, &error)) {
        std::fprintf(stderr, "dadadazo: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(show_usage, stdout);
        return 0;
    }
    const PlatformStartup startup{instance, show_state, options.renderer, options.gentle};
    if (!platform_register_class(startup, &error)) {
        std::fprintf(stderr, "dadadazo: %s\n", error.c_str());
        return 1;
    }

    const DisplayMode mode = choose_mode();

    PlatformWindow* window = platform_open_window(startup, mode, &error);
    if (window == nullptr) {
        std::fprintf(stderr, "dadadazo: %s\n", error.c_str());
        return 1;
    }
    const int status = run_show_loop(window, mode);
    platform_finish(window);
    return status;
}
