// The platform on Linux and other systems with SDL2: an SDL window with an OpenGL context, SDL's
// event queue, and looping playback through SDL audio. The frame's OpenGL 1.1 calls go through
// the recorder's entry points, either on to the driver's own OpenGL 1.1 in a
// compatibility-profile context or to the portable renderer in an OpenGL ES 3 or GL 3.3 core
// context.
#include "gl/renderer/frame_renderer.h"
#include "platform/platform.h"
#include "platform/sdl/music_loop.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xutil.h>
#include <alsa/asoundlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char window_title[] = "Dadadazo";
constexpr char window_class[] = "Tarme";

// The whole file in memory, played round and round by SDL's audio thread.
struct Music {
    SDL_AudioDeviceID device = 0;
    MusicLoop loop;
};

} // namespace

struct PlatformWindow {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    FrameRenderer renderer; // the driver's OpenGL 1.1 or the portable renderer
    Music music;
};

namespace {

// SDL falls back by itself to drivers whose windows nobody sees (offscreen, dummy), and its
// display-server drivers complain loudly when their server is not there. Unless the user names a
// driver, only those that can show a window on this session's display are tried.
bool driver_may_show_a_window(const char* name) {
    if (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
        std::strcmp(name, "evdev") == 0) {
        return false;
    }
    if (std::strcmp(name, "x11") == 0) {
        return std::getenv("DISPLAY") != nullptr;
    }
    if (std::strcmp(name, "wayland") == 0) {
        return std::getenv("WAYLAND_DISPLAY") != nullptr;
    }
    return true;
}

// Gives the X11 window the class name the show's windows are known by, before it is mapped.
void set_window_class(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    XClassHint hint;
    hint.res_name = const_cast<char*>(window_class);
    hint.res_class = const_cast<char*>(window_class);
    XSetClassHint(info.info.x11.display, info.info.x11.window, &hint);
    XFlush(info.info.x11.display);
}

// A windowed mode's width and height are the outer size: where the window system reports its
// decorations, the drawable area gives way to them.
void fit_outer_size(SDL_Window* window, const DisplayMode& mode) {
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0) {
        return;
    }
    const int width = mode.width - left - right;
    const int height = mode.height - top - bottom;
    if ((left + right + top + bottom) > 0 && width > 0 && height > 0) {
        SDL_SetWindowSize(window, width, height);
    }
}

void fill_audio(void* userdata, Uint8* stream, int length) {
    music_loop_fill(*static_cast<MusicLoop*>(userdata), stream, length);
}

// ALSA writes its own diagnostics to stderr while SDL probes for a sound card; the show reports
// a missing sound device in one line of its own instead.
void ignore_alsa_message(const char*, int, const char*, int, const char*, ...) {}

void stop_music(Music& music) {
    if (music.device != 0) {
        SDL_CloseAudioDevice(music.device);
        music.device = 0;
    }
    music_loop_free(music.loop);
}

void release_context(PlatformWindow& window) {
    if (window.context != nullptr) {
        frame_renderer_close(&window.renderer);
        SDL_GL_MakeCurrent(window.window, nullptr);
        SDL_GL_DeleteContext(window.context);
        window.context = nullptr;
    }
}

void release_window(PlatformWindow& window) {
    release_context(window);
    if (window.window != nullptr) {
        SDL_DestroyWindow(window.window);
        window.window = nullptr;
    }
}

// The attributes of the next context: RGBA, double-buffered, with a depth buffer of 16 bits, the
// least the portable renderer takes (portable::min_depth_bits, gl/portable/limits.h); of
// `kind`'s profile and, where it names one, version.
void ask_for_context(const ContextKind& kind) {
    constexpr int profiles[] = {SDL_GL_CONTEXT_PROFILE_COMPATIBILITY, SDL_GL_CONTEXT_PROFILE_ES,
                                SDL_GL_CONTEXT_PROFILE_CORE};
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, profiles[static_cast<int>(kind.profile)]);
    if (kind.major != 0) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, kind.major);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, kind.minor);
    }
}

void* load_gl_function(const char* name) {
    return SDL_GL_GetProcAddress(name);
}

// A context of the first kind in which `choice` opens, current and drawing the frame.
bool open_context(PlatformWindow& window, Renderer choice, std::string* reason) {
    for (const ContextKind& kind : context_kinds(choice)) {
        ask_for_context(kind);
        window.context = SDL_GL_CreateContext(window.window);
        std::string failure = window.context == nullptr ? SDL_GetError() : "";
        if (window.context != nullptr) {
            SDL_GL_MakeCurrent(window.window, window.context);
            int width = 0, height = 0;
            SDL_GL_GetDrawableSize(window.window, &width, &height);
            if (frame_renderer_open(choice, kind, load_gl_function, width, height, &window.renderer,
                                    &failure)) {
                frame_renderer_route(window.renderer);
                return true;
            }
            release_context(window);
        }
        *reason += (reason->empty() ? "" : "; ") + failure;
    }
    return false;
}

// The gentle step after every frame, or an error: a show asked to be gentle never flashes.
bool make_gentle(PlatformWindow& window, std::string* error) {
    std::string reason;
    if (portable_gl_set_gentle(window.renderer.portable, true, &reason)) {
        return true;
    }
    *error = "cannot draw gently: " + reason;
    release_context(window);
    return false;
}

// The context and renderer `startup` asks for; OpenGL 1.1 gives way to the portable renderer
// where the system offers no compatibility-profile context, or where the show is to be gentle.
bool open_renderer(PlatformWindow& window, Renderer renderer, bool gentle, std::string* error) {
    std::string reason;
    if (gentle) {
        if (renderer == Renderer::gl11) {
            std::fprintf(stderr, "dadadazo: --gentle draws through the portable renderer\n");
        }
        if (open_context(window, Renderer::portable, &reason)) {
            return make_gentle(window, error);
        }
        *error = "cannot open a window: no OpenGL context: " + reason;
        return false;
    }
    if (renderer == Renderer::gl11) {
        if (open_context(window, Renderer::gl11, &reason)) {
            return true;
        }
        std::fprintf(stderr,
                     "dadadazo: no OpenGL 1.1 compatibility context (%s): drawing through the "
                     "portable renderer\n",
                     reason.c_str());
        reason.clear();
    }
    if (open_context(window, Renderer::portable, &reason)) {
        return true;
    }
    *error = "cannot open a window: no OpenGL context: " + reason;
    return false;
}

} // namespace

PlatformStartup platform_startup() {
    return PlatformStartup{nullptr, 0};
}

bool platform_register_class(const PlatformStartup&, std::string* error) {
    const char* named = std::getenv("SDL_VIDEODRIVER");
    if (named != nullptr && *named != '\0') {
        // The user's choice is honoured as it is, invisible drivers included.
        if (SDL_Init(SDL_INIT_VIDEO) != 0) {
            *error = std::string("cannot open a window: ") + SDL_GetError();
            return false;
        }
        return true;
    }
    std::string failures;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* driver = SDL_GetVideoDriver(i);
        if (!driver_may_show_a_window(driver)) {
            continue;
        }
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            return true;
        }
        failures += (failures.empty() ? "" : "; ") + std::string(driver) + ": " + SDL_GetError();
    }
    if (failures.empty()) {
        *error = "cannot open a window: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    } else {
        *error = "cannot open a window: no display (" + failures + ")";
    }
    SDL_Quit();
    return false;
}

PlatformWindow* platform_open_window(const PlatformStartup& startup, const DisplayMode& mode,
                                     std::string* error) {
    // The window is made for the kind of context asked for first.
    ask_for_context(context_kinds(startup.gentle ? Renderer::portable : startup.renderer).front());

    // A full-screen mode is a borderless window of the mode's size: the display keeps its
    // resolution. A windowed mode is decorated and keeps its size.
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN |
                         (mode.full_screen ? Uint32{SDL_WINDOW_BORDERLESS} : Uint32{0});
    SDL_Window* sdl_window =
        SDL_CreateWindow(window_title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, mode.width,
                         mode.height, flags);
    if (sdl_window == nullptr) {
        *error = std::string("cannot open a window: ") + SDL_GetError();
        SDL_Quit();
        return nullptr;
    }
    set_window_class(sdl_window);

    auto* window = new PlatformWindow;
    window->window = sdl_window;

    SDL_ShowWindow(sdl_window);
    if (!mode.full_screen) {
        fit_outer_size(sdl_window, mode);
    } else {
        SDL_SetWindowGrab(sdl_window, SDL_TRUE);
        SDL_ShowCursor(SDL_DISABLE);
    }
    // To the foreground, with the keyboard: Esc must reach the show even where no window
    // manager hands out the focus.
    SDL_RaiseWindow(sdl_window);
    SDL_SetWindowInputFocus(sdl_window);

    if (!open_renderer(*window, startup.renderer, startup.gentle, error)) {
        release_window(*window);
        delete window;
        SDL_Quit();
        return nullptr;
    }
    return window;
}

void platform_start_music(PlatformWindow* window, const char* file) {
    Music& music = window->music;
    snd_lib_error_set_handler(ignore_alsa_message);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "dadadazo: playing without sound: %s\n", SDL_GetError());
        return;
    }
    // Opened first so that a missing or unreadable file is named as such.
    SDL_RWops* source = SDL_RWFromFile(file, "rb");
    std::size_t size = 0;
    void* bytes = source == nullptr ? nullptr : SDL_LoadFile_RW(source, &size, 1);
    if (bytes == nullptr) {
        std::fprintf(stderr, "dadadazo: playing without sound: %s: %s\n", file, SDL_GetError());
        return;
    }
    std::string error;
    const bool loaded =
        music_loop_load(static_cast<Uint8*>(bytes), size, file, &music.loop, &error);
    SDL_free(bytes);
    if (!loaded) {
        std::fprintf(stderr, "dadadazo: playing without sound: %s\n", error.c_str());
        return;
    }
    SDL_AudioSpec wav_format = music.loop.format;
    wav_format.callback = fill_audio;
    wav_format.userdata = &music.loop;
    // Asking for exactly the file's format lets SDL convert for the device where needed.
    music.device = SDL_OpenAudioDevice(nullptr, 0, &wav_format, nullptr, 0);
    if (music.device == 0) {
        std::fprintf(stderr, "dadadazo: playing without sound: %s\n", SDL_GetError());
        stop_music(music);
        return;
    }
    SDL_PauseAudioDevice(music.device, 0);
}

long long platform_clock_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void platform_sleep_ms(unsigned milliseconds) {
    SDL_Delay(milliseconds);
}

void platform_raise_window(PlatformWindow* window) {
    SDL_RaiseWindow(window->window);
}

PumpResult platform_pump_message(PlatformWindow*, int* quit_code) {
    SDL_Event event;
    if (SDL_PollEvent(&event) == 0) {
        return PumpResult::empty;
    }
    const bool close_request =
        event.type == SDL_QUIT ||
        (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE);
    const bool escape = event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE;
    if (close_request || escape) {
        *quit_code = 0;
        return PumpResult::quit_posted;
    }
    // Every other key and event is swallowed.
    return PumpResult::handled;
}

void platform_swap_buffers(PlatformWindow* window) {
    if (window->renderer.portable != nullptr) {
        portable_gl_set_frame_time(window->renderer.portable,
                                   static_cast<double>(platform_clock_ms()) / 1000.0);
    }
    frame_renderer_finish_frame(window->renderer);
    SDL_GL_SwapWindow(window->window);
}

void platform_close_window(PlatformWindow* window) {
    release_window(*window);
}

void platform_finish(PlatformWindow* window) {
    stop_music(window->music);
    release_window(*window);
    delete window;
    SDL_Quit();
}

// An installed show lives in <prefix>/bin; its data lies in <prefix>/share/dadadazo. A program
// anywhere else (a build folder, say) has no data folder.
std::string platform_data_folder() {
    char* base = SDL_GetBasePath(); // the program's folder, resolved through /proc, with a '/'
    if (base == nullptr) {
        return "";
    }
    std::string folder = base;
    SDL_free(base);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    constexpr char bin[] = "/bin";
    constexpr std::size_t bin_length = sizeof bin - 1;
    if (folder.size() < bin_length ||
        folder.compare(folder.size() - bin_length, bin_length, bin) != 0) {
        return "";
    }
    folder.resize(folder.size() - bin_length);
    return folder + "/share/dadadazo";
}
