// The frame's OpenGL 1.1 calls drawn on OpenGL ES 3.0, WebGL 2 or desktop GL 3.3 core.
//
// The renderer keeps the fixed-function state the frame uses (modelview matrix stack, current
// colour, point size, line width, smooth points), transforms each vertex as OpenGL 1.1 does, and
// batches every point and line of a frame as a screen-space quad: a round point is a square
// whose fragments outside the disc are dropped, a wide line the parallelogram of OpenGL's wide
// aliased lines. Every primitive gets a depth of its own (later ones nearer) and the quads are
// drawn back to front, so hidden fragments can be rejected before shading, and small round points
// go as point sprites (one vertex each) in a draw call of their own; the picture is the same as
// drawing in order. Large round points are cut to the parts later round points leave showing
// before they are drawn.
//
// Its parts: gl11_state.h (the OpenGL 1.1 state and matrices), primitives.h (points and lines to
// sprites and quads), cull.h (hidden parts of large round points), gpu_batch.h (the shaders and
// the draw of a batch); limits.h holds every tunable limit.
#pragma once

#include "gl/portable/gles3.h"
#include "gl/portable/limits.h"

#include <string>

struct PortableGl;

// Needs a current context of that kind whose drawable is width x height and has a depth buffer
// (16 bits or more). nullptr + error on failure (shader compile/link log included).
PortableGl* portable_gl_open(const Gles3Functions& functions, ShaderDialect dialect, int width,
                             int height, std::string* error);

// From now on the frame's GL 1.1 entry points (from dadadazo_gl_record) draw through `renderer`;
// nullptr discards them.
void portable_gl_make_current(PortableGl* renderer);

// Draws everything batched so far; call before swapping buffers or reading pixels.
void portable_gl_finish_frame(PortableGl* renderer);

void portable_gl_close(PortableGl* renderer);

// Makes the renderer's GL objects anew in its context, which has lost every one of them (a
// WebGL context the browser took away and gave back), keeping the OpenGL 1.1 state. false +
// error when they cannot be made; the renderer then draws nothing until a rebuild succeeds.
bool portable_gl_rebuild(PortableGl* renderer, std::string* error);

// Turns the gentle step (gentle.h) on or off for the frames from now on, in the renderer's
// context, whose framebuffer bound now is the one the shown frames go to. false + error when it
// cannot start; the frames are then drawn as they are.
bool portable_gl_set_gentle(PortableGl* renderer, bool on, std::string* error);

// When the frame being drawn is shown, in seconds on any clock that does not run backwards: the
// gentle step limits how fast light falls from one shown frame to the next.
void portable_gl_set_frame_time(PortableGl* renderer, double seconds);

// The point size last set through glPointSize, before portable_point_size_limit
// (gl/portable/limits.h) is applied.
float portable_gl_point_size(const PortableGl* renderer);
