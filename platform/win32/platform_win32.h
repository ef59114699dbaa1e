// The Win32 backend's own pieces, visible to the backend and to its checks: the window class,
// the window procedure and the OpenGL context on the window's device context.
#pragma once

#include "platform/platform.h"

#include <windows.h>

#include <string>

struct PlatformWindow {
    HWND window;
    HDC device;
    HGLRC context;
};

// The window class every show window belongs to.
inline constexpr char demo_class_name[] = "Tarme";
inline constexpr char demo_window_title[] = "Dadadazo";

// Esc and the close command post a quit request with code 0; every other key is swallowed;
// the window is destroyed only by the show's quit path.
LRESULT CALLBACK demo_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

struct GlContext {
    HDC device;
    HGLRC context;
};

// Gets the window's device context, gives it a double-buffered RGBA pixel format and makes a new
// rendering context current on it. On failure releases what it took, stores a reason and
// returns false.
bool gl_context_open(HWND window, GlContext* context, std::string* error);

// Makes no context current, deletes the rendering context and releases the device context.
void gl_context_close(HWND window, HDC device, HGLRC context);

// The system's text for an error code from GetLastError, on one line.
std::string system_message(DWORD code);
