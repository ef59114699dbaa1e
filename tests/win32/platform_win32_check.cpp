// Checks of the Win32 backend, run under wine (or Windows) with a display: the window class, the
// window procedure, the windows of both kinds with their OpenGL contexts, the message pump, the
// quit path and the failure reports. Prints one line per failed check; exit status 0 when all
// pass.
#include "platform/win32/platform_win32.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Checks {
    int run = 0;
    int failed = 0;
};

void check(Checks& checks, bool ok, const char* what, int line) {
    ++checks.run;
    if (!ok) {
        ++checks.failed;
        std::printf("FAILED (line %d): %s\n", line, what);
    }
}

#define CHECK(checks, condition) check(checks, (condition), #condition, __LINE__)

bool starts_with(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool quit_pending() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

// Pumps until the quit request comes through; counts the other messages handled before it.
bool pump_until_quit(PlatformWindow* window, int* handled, int* quit_code) {
    *handled = 0;
    for (int i = 0; i < 1000; ++i) {
        switch (platform_pump_message(window, quit_code)) {
        case PumpResult::quit:
            return true;
        case PumpResult::handled:
        case PumpResult::quit_posted: // the Windows backend leaves holding a quit to the system
            ++*handled;
            break;
        case PumpResult::empty:
            return false;
        }
    }
    return false;
}

// Handles whatever is pending; reports whether a quit request was among it.
bool drain(PlatformWindow* window) {
    int handled = 0;
    int code = -1;
    return pump_until_quit(window, &handled, &code);
}

// The show state this program sees when started with `flags` and `show` in its start-up
// information.
int show_state_of_child(DWORD flags, WORD show) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string command = std::string("\"") + path + "\" --show-state";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = flags;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(path, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 30000);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(status);
}

void check_startup(Checks& checks) {
    const PlatformStartup startup = platform_startup();
    CHECK(checks, startup.instance == GetModuleHandleA(nullptr));
    CHECK(checks, show_state_of_child(0, SW_HIDE) == SW_SHOWDEFAULT);
    CHECK(checks,
          show_state_of_child(STARTF_USESHOWWINDOW, SW_SHOWMINNOACTIVE) == SW_SHOWMINNOACTIVE);
}

void check_class(Checks& checks, const PlatformStartup& startup) {
    static_assert(sizeof(void*) != 8 || sizeof(WNDCLASSEXA) == 80);
    std::string error;
    CHECK(checks, platform_register_class(startup, &error));
    CHECK(checks, error.empty());

    WNDCLASSEXA found{};
    found.cbSize = sizeof found;
    const HINSTANCE instance = static_cast<HINSTANCE>(startup.instance);
    CHECK(checks, GetClassInfoExA(instance, demo_class_name, &found) != 0);
    CHECK(checks, found.style == CS_OWNDC);
    CHECK(checks, found.lpfnWndProc == demo_window_proc);
    CHECK(checks, found.cbClsExtra == 0 && found.cbWndExtra == 0);
    CHECK(checks, found.hIcon == LoadIconA(nullptr, IDI_APPLICATION));
    CHECK(checks, found.hCursor == LoadCursorA(nullptr, IDC_ARROW));
    CHECK(checks, found.hbrBackground == GetStockObject(BLACK_BRUSH));
    CHECK(checks, found.lpszMenuName == nullptr);

    // The 32-bit record size is refused by a 64-bit system: the class would never exist.
    if (sizeof(void*) == 8) {
        WNDCLASSEXA short_record = found;
        short_record.cbSize = 48;
        short_record.lpszClassName = "Tarme48";
        CHECK(checks, RegisterClassExA(&short_record) == 0);
    }

    // A second registration of the same class is refused, and said so.
    error.clear();
    CHECK(checks, !platform_register_class(startup, &error));
    CHECK(checks, starts_with(error, "cannot register the window class: "));
    CHECK(checks, error.size() > std::strlen("cannot register the window class: "));
    CHECK(checks, error.find('\n') == std::string::npos && error.find('\r') == std::string::npos);
}

void check_window_procedure(Checks& checks, PlatformWindow* window) {
    const HWND hwnd = window->window;
    drain(window);

    // Keys other than Esc are swallowed: no quit, no character message from the default handling.
    CHECK(checks, SendMessageA(hwnd, WM_KEYDOWN, 'A', 0) == 0);
    CHECK(checks, SendMessageA(hwnd, WM_KEYDOWN, VK_RETURN, 0) == 0);
    CHECK(checks, !quit_pending());

    // Esc asks to quit with code 0.
    CHECK(checks, SendMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0) == 0);
    int handled = 0;
    int code = -1;
    CHECK(checks, pump_until_quit(window, &handled, &code));
    CHECK(checks, code == 0);

    // The close command asks to quit and leaves the window alone.
    CHECK(checks, SendMessageA(hwnd, WM_CLOSE, 0, 0) == 0);
    CHECK(checks, IsWindow(hwnd));
    CHECK(checks, quit_pending());
    drain(window);

    // WM_DESTROY by itself does nothing.
    CHECK(checks, SendMessageA(hwnd, WM_DESTROY, 0, 0) == 0);
    CHECK(checks, !quit_pending());
    CHECK(checks, IsWindow(hwnd));

    // Everything else gets the default handling.
    CHECK(checks, SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("renamed")) != 0);
    char title[32] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    CHECK(checks, std::strcmp(title, "renamed") == 0);
    SetWindowTextA(hwnd, demo_window_title);

    // A posted close among a burst of other messages: every one is handled before the quit.
    drain(window);
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    for (int i = 0; i < 5; ++i) {
        PostMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(10 + i, 10));
    }
    code = -1;
    CHECK(checks, pump_until_quit(window, &handled, &code));
    CHECK(checks, handled >= 6);
    CHECK(checks, code == 0);
    CHECK(checks, platform_pump_message(window, &code) != PumpResult::quit);
}

void check_context(Checks& checks, PlatformWindow* window) {
    CHECK(checks, wglGetCurrentContext() == window->context);
    CHECK(checks, wglGetCurrentDC() == window->device);
    PIXELFORMATDESCRIPTOR format{};
    const int index = GetPixelFormat(window->device);
    CHECK(checks, index > 0);
    CHECK(checks, DescribePixelFormat(window->device, index, sizeof format, &format) != 0);
    const DWORD wanted = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    CHECK(checks, (format.dwFlags & wanted) == wanted);
    CHECK(checks, format.iPixelType == PFD_TYPE_RGBA);
    CHECK(checks, format.cColorBits >= 24);
    CHECK(checks, glGetString(GL_VERSION) != nullptr);

    // The context draws into the window's back buffer, and the buffers swap.
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glReadBuffer(GL_BACK);
    unsigned char pixel[4] = {};
    glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    CHECK(checks, pixel[0] == 0 && pixel[1] == 255 && pixel[2] == 0);
    platform_swap_buffers(window);
    CHECK(checks, glGetError() == GL_NO_ERROR);
}

void check_windowed(Checks& checks, const PlatformStartup& startup) {
    std::string error;
    PlatformWindow* window = platform_open_window(startup, DisplayMode{480, 320, false}, &error);
    CHECK(checks, window != nullptr);
    if (window == nullptr) {
        std::printf("%s\n", error.c_str());
        return;
    }
    const HWND hwnd = window->window;
    char text[32] = {};
    GetClassNameA(hwnd, text, sizeof text);
    CHECK(checks, std::strcmp(text, "Tarme") == 0);
    GetWindowTextA(hwnd, text, sizeof text);
    CHECK(checks, std::strcmp(text, "Dadadazo") == 0);
    const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
    CHECK(checks, (style & WS_SYSMENU) != 0);
    CHECK(checks, (style & WS_POPUP) == 0);
    CHECK(checks, IsWindowVisible(hwnd));
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    CHECK(checks, outer.right - outer.left == 480 && outer.bottom - outer.top == 320);
    RECT client{};
    GetClientRect(hwnd, &client);
    CHECK(checks, client.right < 480 && client.bottom < 320);
    CHECK(checks, GetCapture() != hwnd);

    check_context(checks, window);
    check_window_procedure(checks, window);

    platform_raise_window(window);
    GetWindowRect(hwnd, &outer);
    CHECK(checks, outer.right - outer.left == 480 && outer.bottom - outer.top == 320);

    // The quit path: no context is current and the window is gone.
    platform_close_window(window);
    CHECK(checks, wglGetCurrentContext() == nullptr);
    CHECK(checks, !IsWindow(hwnd));
    platform_finish(window);
}

void check_full_screen(Checks& checks, const PlatformStartup& startup) {
    std::string error;
    PlatformWindow* window = platform_open_window(startup, DisplayMode{800, 600, true}, &error);
    CHECK(checks, window != nullptr);
    if (window == nullptr) {
        std::printf("%s\n", error.c_str());
        return;
    }
    const HWND hwnd = window->window;
    const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
    CHECK(checks, (style & WS_POPUP) != 0);
    CHECK(checks, (style & (WS_CAPTION | WS_SYSMENU)) == 0);
    RECT outer{};
    RECT client{};
    GetWindowRect(hwnd, &outer);
    GetClientRect(hwnd, &client);
    CHECK(checks, outer.right - outer.left == 800 && outer.bottom - outer.top == 600);
    CHECK(checks, client.right == 800 && client.bottom == 600);
    CHECK(checks, GetCapture() == hwnd);
    CHECK(checks, wglGetCurrentContext() == window->context);
    platform_close_window(window);
    CHECK(checks, !IsWindow(hwnd));
    platform_finish(window);
}

void check_failures(Checks& checks, const PlatformStartup& startup) {
    // Without its class no window can be made, and the report says why.
    UnregisterClassA(demo_class_name, static_cast<HINSTANCE>(startup.instance));
    std::string error;
    PlatformWindow* window = platform_open_window(startup, DisplayMode{480, 320, false}, &error);
    CHECK(checks, window == nullptr);
    CHECK(checks, starts_with(error, "cannot open a window: "));
    CHECK(checks, error.size() > std::strlen("cannot open a window: "));
    CHECK(checks, system_message(ERROR_CANNOT_FIND_WND_CLASS).find('\n') == std::string::npos);
    CHECK(checks, system_message(0xFFFFFF0u) == "error 268435440");
}

void check_clock(Checks& checks) {
    const long long start = platform_clock_ms();
    platform_sleep_ms(100);
    const long long elapsed = platform_clock_ms() - start;
    CHECK(checks, elapsed >= 80 && elapsed < 5000);
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--show-state") == 0) {
        return platform_startup().show_state;
    }
    Checks checks;
    const PlatformStartup startup = platform_startup();
    check_startup(checks);
    check_class(checks, startup);
    check_windowed(checks, startup);
    check_full_screen(checks, startup);
    check_clock(checks);
    check_failures(checks, startup);
    std::printf("%d checks, %d failed\n", checks.run, checks.failed);
    return checks.failed == 0 ? 0 : 1;
}
