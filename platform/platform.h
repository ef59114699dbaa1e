// What the show needs of the operating system, and nothing more. One backend implements these
// functions per platform (platform/sdl, platform/win32, platform/web); CMake links exactly one of
// them. No operating-system header is reachable from here: window and start-up handles are
// opaque.
#pragma once

#include "gl/renderer_choice.h"
#include "timeline/display_mode.h"

#include <string>

// The process's start-up values: the module instance and the initial show state (Win32), or
// nothing in particular (elsewhere); and the renderer the command line asked for. A backend that
// offers only one (Win32: OpenGL 1.1; the web: the portable renderer) draws with it whatever is
// asked. `gentle`: the portable renderer's gentle step after every frame (no more than three
// flashes a second); a backend that cannot offer it refuses to start.
struct PlatformStartup {
    void* instance;
    int show_state;
    Renderer renderer = Renderer::gl11;
    bool gentle = false;
};

// The window, its drawing surface and its OpenGL context, owned by the backend.
struct PlatformWindow;

// What one look at the message queue found. A quit's status is stored through the
// out-parameter.
enum class PumpResult {
    empty,       // no message was pending
    handled,     // one message was taken and handled
    quit_posted, // a request to end the show was taken (Esc, the close button); the show loop
                 // ends once nothing else is pending
    quit,        // the system's own quit message, which it hands out only once nothing else is
                 // pending (Win32's WM_QUIT): the show loop ends at once
};

PlatformStartup platform_startup();

// Prepares the window system (on Win32: fills and registers the window class). On failure
// stores a one-line reason without the program's name ("cannot register the window class: ...",
// "cannot open a window: ...") and returns false.
bool platform_register_class(const PlatformStartup& startup, std::string* error);

// Creates and shows the window for `mode` and opens a double-buffered RGBA OpenGL context
// current on this thread, with the frame's OpenGL 1.1 calls drawn by startup.renderer. Where
// OpenGL 1.1 is asked for and the system has no compatibility-profile context, the portable
// renderer draws instead and one line on stderr says so. On failure stores a one-line reason and
// returns nullptr.
PlatformWindow* platform_open_window(const PlatformStartup& startup, const DisplayMode& mode,
                                     std::string* error);

// Starts `file` (a path; a relative one from the working folder) playing from its beginning,
// looping until the process ends, in the background.
// Never blocks the caller and never fails loudly: problems leave the show silent.
void platform_start_music(PlatformWindow* window, const char* file);

// The folder an installed show keeps its data in, found from the program's location at run time:
// <prefix>/share/dadadazo for <prefix>/bin/dadadazo on Linux, the program's own folder on
// Windows; empty where there is none.
std::string platform_data_folder();

// Whole milliseconds of a wall clock that never runs backwards; only differences are used.
long long platform_clock_ms();

void platform_sleep_ms(unsigned milliseconds);

// Raises the window to the top without moving or resizing it.
void platform_raise_window(PlatformWindow* window);

// Takes at most one pending message and handles it. Esc and the window's close request become a
// quit with status 0: posted at once, or the system's quit message once every message before it
// has been handled.
PumpResult platform_pump_message(PlatformWindow* window, int* quit_code);

// Draws whatever the renderer still holds of the frame and swaps the buffers.
void platform_swap_buffers(PlatformWindow* window);

// The quit path: the context is made not current and deleted, then the window is destroyed.
void platform_close_window(PlatformWindow* window);

// The show is over, by quit or by time: whatever the process's exit would release is released
// (the window and context too, where the quit path has not closed them). `window` is invalid
// afterwards.
void platform_finish(PlatformWindow* window);
