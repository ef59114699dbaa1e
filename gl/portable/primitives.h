// Turning the frame's points and lines into what the GPU draws: a wide line becomes the
// parallelogram of OpenGL's wide aliased lines, a round point a square whose fragments outside
// the disc are dropped (or, when small, a point sprite of one vertex), a square point a square
// of whole pixels. Everything lands in the frame's batch in window coordinates.
#pragma once

#include "gl/portable/gl11_state.h"
#include "gl/portable/portable_vertex.h"

#include <cstddef>
#include <vector>

namespace portable {

// What the primitives need to know of the drawable.
struct Drawable {
    int width = 0;
    int height = 0;
    float sprite_limit = 0.0f; // largest point sprite the context draws; 0: no sprites
    float line_limit = 0.0f;   // widest line the context draws itself; 0: lines as quads
};

// The primitives batched for one draw, each kind in draw order: round points as quads (their
// shader drops what lies outside the disc), lines and square points as quads drawn whole, lines
// the context draws itself as two vertices each, all of one width, and small round points as
// sprites (one vertex each). The depth buffer keeps the order between the kinds. Also the number
// of primitives in all of them, and whether a clear comes before them.
struct Batch {
    std::vector<PortableVertex> discs;
    std::vector<PortableVertex> solids;
    std::vector<PortableVertex> lines;
    float line_width = 0.0f; // of every line in `lines`
    std::vector<PortableVertex> sprites;
    std::size_t primitives = 0;
    bool clear_pending = false;
    bool has_large_points = false; // the batch holds round points worth culling
};

// Empties the batch once it has been drawn.
void reset_batch(Batch& batch);

// glClear of the colour buffer: everything batched so far would be painted over.
void clear_batch(Batch& batch);

// glVertex2d between glBegin and glEnd: adds at most one primitive to `batch`.
void add_vertex(Gl11State& state, const Drawable& drawable, Batch& batch, double vx, double vy);

} // namespace portable
