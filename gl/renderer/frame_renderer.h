// The one way to open, route and close what draws the frame in a current context: the driver's
// OpenGL 1.1 behind the recorder's entry points, or the portable renderer. Whoever makes the
// context (SDL for the show, EGL for the capture tool) tries the kinds of context_kinds() in turn.
#pragma once

#include "gl/portable/portable_gl.h"
#include "gl/renderer_choice.h"
#include "gl/system/system_gl11.h"

#include <span>
#include <string>

enum class ContextProfile { compatibility, es, core };

// A kind of context a renderer draws in. The portable renderer writes its shaders for the kind's
// profile; the driver's OpenGL 1.1 runs none.
struct ContextKind {
    ContextProfile profile;
    int major, minor; // the version asked for; 0 when any will do
    const char* name; // "OpenGL compatibility", "OpenGL ES 3" or "OpenGL 3.3 core"
};

// The kinds `choice` draws in, best first.
std::span<const ContextKind> context_kinds(Renderer choice);

struct FrameRenderer {
    Renderer choice = Renderer::gl11;
    SystemGl11Functions gl11{};     // the driver's entry points, when it draws
    PortableGl* portable = nullptr; // the portable renderer, when it draws
};

// Opens `choice` in the current context, of `kind` (one of context_kinds(choice)), whose
// drawable is width x height, with its functions found through `load`. The driver's OpenGL 1.1 is
// refused in a core-profile context, which a driver may hand out whatever was asked (glBegin draws
// nothing there). On failure stores why and returns false.
bool frame_renderer_open(Renderer choice, const ContextKind& kind, GlProcLoader load, int width,
                         int height, FrameRenderer* renderer, std::string* error);

// Points the frame's entry points at the renderer.
void frame_renderer_route(const FrameRenderer& renderer);

// Points the frame's entry points nowhere: its calls are discarded.
void frame_renderer_discard();

// Draws what the portable renderer has batched of the frame; call before swapping or reading.
void frame_renderer_finish_frame(const FrameRenderer& renderer);

// Discards the frame's calls and closes the renderer, in its still current context.
void frame_renderer_close(FrameRenderer* renderer);
