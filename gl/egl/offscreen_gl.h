// An OpenGL context without a window: EGL on Mesa's surfaceless platform or on an EGL device,
// drawing into a pbuffer (or, where pbuffers are missing, a framebuffer object) of a fixed size.
#pragma once

#include "gl/portable/gles3.h"
#include "gl/portable/portable_gl.h"

#include <EGL/egl.h>

#include <cstdint>
#include <string>
#include <vector>

// What the context is for: the driver's own OpenGL 1.1 (a compatibility-profile context), or the
// portable renderer (OpenGL ES 3.0, or desktop GL 3.3 core where ES is not offered).
enum class OffscreenApi { gl11, portable };

struct OffscreenGl {
    EGLDisplay display;
    EGLContext context;
    EGLSurface surface;            // EGL_NO_SURFACE when drawing into the framebuffer object
    unsigned int framebuffer;      // 0 when drawing into the pbuffer
    unsigned int renderbuffers[2]; // colour and depth storage of the framebuffer object
    int width;
    int height;
    std::string platform; // "surfaceless" or "device"
    std::string renderer; // GL_RENDERER of the context
    float point_size_max; // largest point size the renderer draws (smooth points)
    OffscreenApi api;
    ShaderDialect dialect;    // what the portable renderer's shaders are written in
    std::string context_kind; // "OpenGL ES 3", "OpenGL 3.3 core" or "OpenGL compatibility"
    Gles3Functions functions; // loaded from the context once it is current
};

// Opens a context for `api` with a colour buffer of width x height (and, for the portable
// renderer, a depth buffer), and makes it current. A hardware renderer is preferred where one is
// reachable; Mesa's software renderer is the fallback. On failure stores why and returns false.
bool open_offscreen_gl(int width, int height, OffscreenApi api, OffscreenGl* gl,
                       std::string* error);

// Releases the context, the surface and the display connection.
void close_offscreen_gl(OffscreenGl* gl);

// Turns a frame as OpenGL reads it back (RGBA, bottom row first) into packed 8-bit RGB rows, top
// row first. `rgb` is resized to width * height * 3.
void rgba_to_rgb_rows(const std::uint8_t* rgba, int width, int height,
                      std::vector<std::uint8_t>& rgb);

// Whether a GL_RENDERER string names a software rasteriser (Mesa's llvmpipe, softpipe, swrast).
bool is_software_renderer(const std::string& renderer);
