// The platform on Windows: a "Tarme" window with a WGL context on its own device context, the
// thread's message queue, PlaySoundA for the music, clock() for time and Sleep for pacing.
#include "platform/win32/platform_win32.h"

#include <mmsystem.h>

#include <ctime>

namespace {

// The reason for the failure that just happened: the system's text for the thread's last error,
// or `fallback` where the failing call left no error code behind.
std::string failure_reason(const char* fallback) {
    const DWORD code = GetLastError();
    if (code == ERROR_SUCCESS) {
        return fallback;
    }
    return system_message(code);
}

static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

PIXELFORMATDESCRIPTOR pixel_format_request() {
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 24;
    request.cDepthBits = 16;
    request.iLayerType = PFD_MAIN_PLANE;
    return request;
}

} // namespace

std::string system_message(DWORD code) {
    char text[512];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    // The system's texts end in a line break; some hold more than one line.
    for (char& c : message) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    while (!message.empty() && message.back() == ' ') {
        message.pop_back();
    }
    if (message.empty()) {
        return "error " + std::to_string(code);
    }
    return message;
}

LRESULT CALLBACK demo_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (wparam == VK_ESCAPE) {
            PostQuitMessage(0);
        }
        return 0;
    case WM_DESTROY:
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

bool gl_context_open(HWND window, GlContext* context, std::string* error) {
    SetLastError(ERROR_SUCCESS);
    HDC device = GetDC(window);
    if (device == nullptr) {
        *error = failure_reason("the window has no device context");
        return false;
    }
    const PIXELFORMATDESCRIPTOR request = pixel_format_request();
    SetLastError(ERROR_SUCCESS);
    const int format = ChoosePixelFormat(device, &request);
    if (format == 0) {
        *error = failure_reason("no double-buffered RGBA pixel format with OpenGL");
        ReleaseDC(window, device);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    if (!SetPixelFormat(device, format, &request)) {
        *error = failure_reason("the pixel format cannot be set");
        ReleaseDC(window, device);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    HGLRC rendering = wglCreateContext(device);
    if (rendering == nullptr) {
        *error = failure_reason("no OpenGL rendering context");
        ReleaseDC(window, device);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    if (!wglMakeCurrent(device, rendering)) {
        *error = failure_reason("the OpenGL rendering context cannot be made current");
        wglDeleteContext(rendering);
        ReleaseDC(window, device);
        return false;
    }
    *context = GlContext{device, rendering};
    return true;
}

void gl_context_close(HWND window, HDC device, HGLRC context) {
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context);
    ReleaseDC(window, device);
}

PlatformStartup platform_startup() {
    STARTUPINFOA info{};
    info.cb = sizeof info;
    GetStartupInfoA(&info);
    const int show_state =
        (info.dwFlags & STARTF_USESHOWWINDOW) != 0 ? info.wShowWindow : SW_SHOWDEFAULT;
    return PlatformStartup{GetModuleHandleA(nullptr), show_state};
}

bool platform_register_class(const PlatformStartup& startup, std::string* error) {
    if (startup.gentle) {
        *error = "--gentle is not offered by the Windows program, which draws with the system's "
                 "OpenGL 1.1 as it is; the show in a web browser offers it";
        return false;
    }
    WNDCLASSEXA window_class;
    // The record's own size: 80 bytes in a 64-bit program, 48 in a 32-bit one.
    window_class.cbSize = sizeof(WNDCLASSEXA);
    window_class.style = CS_OWNDC;
    window_class.lpfnWndProc = demo_window_proc;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = static_cast<HINSTANCE>(startup.instance);
    window_class.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = demo_class_name;
    window_class.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    if (RegisterClassExA(&window_class) == 0) {
        *error = "cannot register the window class: " +
                 failure_reason("the system refused the window class");
        return false;
    }
    return true;
}

PlatformWindow* platform_open_window(const PlatformStartup& startup, const DisplayMode& mode,
                                     std::string* error) {
    const DWORD style = mode.full_screen ? WS_POPUP : WS_SYSMENU;
    SetLastError(ERROR_SUCCESS);
    HWND window = CreateWindowExA(0, demo_class_name, demo_window_title, style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, mode.width, mode.height, nullptr, nullptr,
                                  static_cast<HINSTANCE>(startup.instance), nullptr);
    if (window == nullptr) {
        *error = "cannot open a window: " + failure_reason("the system refused the window");
        return nullptr;
    }
    if (mode.full_screen) {
        SetCapture(window);
        SetCursor(nullptr);
    }
    ShowWindow(window, startup.show_state);
    SetForegroundWindow(window);

    GlContext context{};
    std::string reason;
    if (!gl_context_open(window, &context, &reason)) {
        *error = "cannot open a window: " + reason;
        DestroyWindow(window);
        return nullptr;
    }
    return new PlatformWindow{window, context.device, context.context};
}

void platform_start_music(PlatformWindow*, const char* file) {
    // PlaySound looks for a bare file name in the program's folder before the working folder;
    // the working folder's file must win, so the name is made a full path first.
    char full_path[MAX_PATH];
    const DWORD length = GetFullPathNameA(file, MAX_PATH, full_path, nullptr);
    const bool resolved = length != 0 && length < MAX_PATH;
    PlaySoundA(resolved ? full_path : file, nullptr, SND_FILENAME | SND_LOOP | SND_ASYNC);
}

long long platform_clock_ms() {
    // On Windows clock() counts wall-clock time since the process started.
    return static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
}

void platform_sleep_ms(unsigned milliseconds) {
    Sleep(milliseconds);
}

void platform_raise_window(PlatformWindow* window) {
    SetWindowPos(window->window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

PumpResult platform_pump_message(PlatformWindow*, int* quit_code) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        return PumpResult::empty;
    }
    if (message.message == WM_QUIT) {
        *quit_code = static_cast<int>(message.wParam);
        return PumpResult::quit;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return PumpResult::handled;
}

void platform_swap_buffers(PlatformWindow* window) {
    SwapBuffers(window->device);
}

void platform_close_window(PlatformWindow* window) {
    gl_context_close(window->window, window->device, window->context);
    DestroyWindow(window->window);
}

void platform_finish(PlatformWindow* window) {
    // When the show ends by time, the window and its contexts stay until the process exits.
    delete window;
}

// The folder the program file lies in, as the ANSI functions (PlaySoundA) take it.
std::string platform_data_folder() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return "";
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) {
            return ""; // longer than any path the system allows
        }
        path.resize(path.size() * 2); // cut short: try again with room for more
    }
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        return "";
    }
    return path.substr(0, separator);
}
