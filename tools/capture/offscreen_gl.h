// An OpenGL context without a window: EGL on Mesa's surfaceless platform or on an EGL device,
// drawing into a pbuffer (or, where pbuffers are missing, a framebuffer object) of a fixed size.
#pragma once

#include <EGL/egl.h>

#include <cstdint>
#include <string>
#include <vector>

struct OffscreenGl {
    EGLDisplay display;
    EGLContext context;
    EGLSurface surface;        // EGL_NO_SURFACE when drawing into the framebuffer object
    unsigned int framebuffer;  // 0 when drawing into the pbuffer
    unsigned int renderbuffer; // colour storage of the framebuffer object
    int width;
    int height;
    std::string platform; // "surfaceless" or "device"
    std::string renderer; // GL_RENDERER of the context
    float point_size_max; // largest point size the renderer draws (smooth points)
};

// Opens a compatibility-profile context (OpenGL 1.1 immediate mode works in it) with a colour
// buffer of width x height, and makes it current. A hardware renderer is preferred where one is
// reachable; Mesa's software renderer is the fallback. On failure stores why and returns false.
bool open_offscreen_gl(int width, int height, OffscreenGl* gl, std::string* error);

// Releases the context, the surface and the display connection.
void close_offscreen_gl(OffscreenGl* gl);

// Reads the finished frame as packed 8-bit RGB rows, top row first (OpenGL gives the bottom row
// first; the rows are turned over here). `rgb` is resized to width * height * 3.
void read_frame_rgb(const OffscreenGl& gl, std::vector<std::uint8_t>& rgb);
