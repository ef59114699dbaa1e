// One still frame for checks and for sharing (index.html?mode=DIGIT&at=MS): the page calls this
// instead of the program's main. It draws the frame at one clock reading from a fresh drift, as
// an offline capture of that single reading does, and tells the page when it can be read.
#include "platform/platform.h"
#include "scenes/drift_state.h"
#include "timeline/display_mode.h"
#include "timeline/draw_frame.h"
#include "timeline/scene_clock.h"

#include <emscripten.h>

#include <cstdio>
#include <string>

extern "C" {
// Implemented by page_bridge.js.
void dadadazo_page_frame_ready();
}

// `digit` is the menu's key ('1' to '8'); `at_ms` the clock reading in whole milliseconds.
// Returns 0, or 1 when no canvas could be drawn on.
extern "C" EMSCRIPTEN_KEEPALIVE int dadadazo_show_still(int digit, double at_ms) {
    const DisplayMode mode = mode_for_key(digit);
    const PlatformStartup startup = platform_startup();
    std::string error;
    PlatformWindow* window = platform_open_window(startup, mode, &error);
    if (window == nullptr) {
        std::fprintf(stderr, "dadadazo: %s\n", error.c_str());
        return 1;
    }
    DriftState drift{0.0f, 0.0f, 0.0f};
    const SceneClock clock = scene_clock_from_ms(static_cast<long long>(at_ms));
    draw_frame(clock.t, clock.t_f, mode, drift);
    platform_swap_buffers(window);
    std::fflush(stdout);
    dadadazo_page_frame_ready();
    return 0;
}
