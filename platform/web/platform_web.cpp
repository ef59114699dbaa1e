// The platform in a web page: the canvas "#screen" with a WebGL 2 context is the window, and the
// portable renderer draws the frame's OpenGL 1.1 calls on it. The page's keys, close button and
// full-screen state are the window's messages, Web Audio plays the music and Asyncify lets the
// show's sleeps (and its read of standard input) yield to the browser. The page itself
// (index.html) owns the DOM; this file reaches it through page_bridge.js.
#include "platform/platform.h"

#include "gl/portable/portable_gl.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <string>

extern "C" {
// Implemented by page_bridge.js.
int dadadazo_page_open_screen(int width, int height, int full_screen);
int dadadazo_page_take_event();
void dadadazo_page_start_music(const char* file);
void dadadazo_page_stop_music();
void dadadazo_page_close_screen();
int dadadazo_page_has_webgl2();
int dadadazo_page_gentle();
}

namespace {

constexpr char canvas_selector[] = "#screen";

// What dadadazo_page_take_event reports: nothing pending, a quit request (Esc, the close button,
// leaving full screen), the canvas's WebGL context taken away (the show goes on, drawing
// nothing), given back (the renderer makes its GL objects anew and draws again), or not given
// back in time (the page has said so: the show ends as a failure), or 1 for any other message
// (another key), taken and ignored.
constexpr int page_no_event = 0;
constexpr int page_quit_request = 2;
constexpr int page_context_lost = 3;
constexpr int page_context_restored = 4;
constexpr int page_context_gone = 5;

} // namespace

struct PlatformWindow {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    PortableGl* renderer = nullptr;
    bool closed = false;
    bool context_lost = false;  // until the browser gives the context back, nothing is drawn
    bool gentle_failed = false; // the gentle step could not start: the show ends
};

namespace {

void release_window(PlatformWindow& window) {
    if (window.closed) {
        return;
    }
    window.closed = true;
    portable_gl_make_current(nullptr);
    portable_gl_close(window.renderer);
    window.renderer = nullptr;
    // The context stays: the canvas keeps showing the last frame once the show is over.
    dadadazo_page_close_screen();
}

// The context is back, without any of the renderer's objects: they are made anew. Should it be
// taken away again meanwhile, the page reports that too and the show waits once more. false when
// the context is back but the frame cannot be drawn on it.
bool context_restored(PlatformWindow& window) {
    if (!window.context_lost || window.renderer == nullptr) {
        return true;
    }
    std::string reason;
    if (portable_gl_rebuild(window.renderer, &reason)) {
        window.context_lost = false;
        portable_gl_make_current(window.renderer);
    } else if (emscripten_is_webgl_context_lost(window.context) == EM_FALSE) {
        std::fprintf(stderr,
                     "dadadazo: the browser gave the canvas's WebGL context back, but the frame "
                     "cannot be drawn on it: %s\n",
                     reason.c_str());
        return false;
    }
    return true;
}

// Takes one event from the page; true when it asks the show to end, with its status.
bool take_page_event(PlatformWindow& window, int event, int* quit_code) {
    switch (event) {
    case page_quit_request:
        *quit_code = 0;
        return true;
    case page_context_lost:
        window.context_lost = true;
        portable_gl_make_current(nullptr); // the frame's calls go nowhere meanwhile
        return false;
    case page_context_restored:
        if (context_restored(window)) {
            return false;
        }
        *quit_code = 1;
        return true;
    case page_context_gone:
        *quit_code = 1;
        return true;
    default:
        return false;
    }
}

// The gentle step follows the page's control, from the next frame on. Where it cannot start, the
// show ends rather than flash: the next pump asks for the end, with status 1.
void follow_gentle_control(PlatformWindow& window) {
    std::string reason;
    if (!portable_gl_set_gentle(window.renderer, dadadazo_page_gentle() != 0, &reason)) {
        std::fprintf(stderr, "dadadazo: cannot draw gently: %s\n", reason.c_str());
        window.gentle_failed = true;
    }
}

// Emscripten's WebGL functions by their OpenGL ES names.
void* webgl_proc(const char* name) {
    return emscripten_webgl_get_proc_address(name);
}

} // namespace

PlatformStartup platform_startup() {
    return PlatformStartup{nullptr, 0};
}

bool platform_register_class(const PlatformStartup&, std::string*) {
    return true;
}

PlatformWindow* platform_open_window(const PlatformStartup&, const DisplayMode& mode,
                                     std::string* error) {
    if (dadadazo_page_open_screen(mode.width, mode.height, mode.full_screen ? 1 : 0) == 0) {
        *error = "cannot open a window: the page has no canvas \"screen\"";
        return nullptr;
    }
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    // The last frame stays readable (and on screen) after the show ends.
    attributes.preserveDrawingBuffer = EM_TRUE;
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        dadadazo_page_has_webgl2() != 0
            ? emscripten_webgl_create_context(canvas_selector, &attributes)
            : 0;
    if (context <= 0) {
        *error = "cannot open a window: this browser gives the canvas no WebGL 2 context";
        dadadazo_page_close_screen();
        return nullptr;
    }
    emscripten_webgl_make_context_current(context);

    Gles3Functions functions{};
    std::string reason;
    PortableGl* renderer = nullptr;
    if (load_gles3_functions(webgl_proc, &functions, &reason)) {
        functions.Viewport(0, 0, mode.width, mode.height);
        renderer =
            portable_gl_open(functions, ShaderDialect::es300, mode.width, mode.height, &reason);
    }
    if (renderer == nullptr) {
        *error = "cannot open a window: WebGL 2 cannot draw the frame: " + reason;
        emscripten_webgl_destroy_context(context);
        dadadazo_page_close_screen();
        return nullptr;
    }
    portable_gl_make_current(renderer);

    auto* window = new PlatformWindow;
    window->context = context;
    window->renderer = renderer;
    follow_gentle_control(*window);
    return window;
}

void platform_start_music(PlatformWindow*, const char* file) {
    dadadazo_page_start_music(file);
}

long long platform_clock_ms() {
    // The page's monotonic clock, in whole milliseconds.
    return static_cast<long long>(std::floor(emscripten_get_now()));
}

void platform_sleep_ms(unsigned milliseconds) {
    emscripten_sleep(milliseconds);
}

void platform_raise_window(PlatformWindow*) {}

PumpResult platform_pump_message(PlatformWindow* window, int* quit_code) {
    if (window->gentle_failed) {
        window->gentle_failed = false; // asked once: no frame is drawn after it
        *quit_code = 1;
        return PumpResult::quit_posted;
    }
    const int event = dadadazo_page_take_event();
    if (event == page_no_event) {
        return PumpResult::empty;
    }
    if (take_page_event(*window, event, quit_code)) {
        return PumpResult::quit_posted;
    }
    return PumpResult::handled;
}

void platform_swap_buffers(PlatformWindow* window) {
    // The browser presents the canvas when the show next yields (its pause after each frame).
    if (window->renderer != nullptr && !window->context_lost) {
        portable_gl_set_frame_time(window->renderer, emscripten_get_now() / 1000.0);
        portable_gl_finish_frame(window->renderer);
        follow_gentle_control(*window);
    }
}

void platform_close_window(PlatformWindow* window) {
    release_window(*window);
}

void platform_finish(PlatformWindow* window) {
    dadadazo_page_stop_music();
    release_window(*window);
    delete window;
}

std::string platform_data_folder() {
    return "";
}
