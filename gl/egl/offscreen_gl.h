// An OpenGL context without a window: EGL on Mesa's surfaceless platform or on an EGL device,
// drawing into a pbuffer (or, where pbuffers are missing, a framebuffer object) of a fixed size.
#pragma once

#include "gl/portable/gles3.h"
#include "gl/renderer/frame_renderer.h"

#include <EGL/egl.h>

#include <string>

struct OffscreenGl {
    EGLDisplay display;
    EGLContext context;
    EGLSurface surface;            // EGL_NO_SURFACE when drawing into the framebuffer object
    unsigned int framebuffer;      // 0 when drawing into the pbuffer
    unsigned int renderbuffers[2]; // colour and depth storage of the framebuffer object
    int width;
    int height;
    Renderer choice;          // what the context is for
    std::string platform;     // "surfaceless" or "device"
    std::string renderer;     // GL_RENDERER of the context
    ContextKind kind;         // of the context opened, one of context_kinds(choice)
    Gles3Functions functions; // loaded from the context once it is current
};

// Opens a context of a kind `choice` draws in (gl/renderer/frame_renderer.h), with a colour
// buffer of width x height (and, for the portable renderer, a depth buffer), and makes it
// current. A hardware renderer is preferred where one is reachable; Mesa's software renderer is
// the fallback. On failure stores why and returns false, with every display it opened
// terminated.
bool open_offscreen_gl(int width, int height, Renderer choice, OffscreenGl* gl, std::string* error);

// Releases the context, the surface and the display connection, and this thread's EGL state:
// the driver's own threads end with the display.
void close_offscreen_gl(OffscreenGl* gl);

// Any GL or EGL function of the driver, by name.
void* egl_proc(const char* name);
