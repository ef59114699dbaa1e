#include "gl/portable/primitives.h"

#include <algorithm>
#include <cmath>

namespace portable {
namespace {

float clamp_unit(float value) {
    return std::clamp(value, 0.0f, 1.0f);
}

Corner coloured_corner(const Gl11State& state, float x, float y) {
    return Corner{x, y, clamp_unit(state.colour[0]), clamp_unit(state.colour[1]),
                  clamp_unit(state.colour[2])};
}

// Window coordinates of a vertex as OpenGL 1.1 computes them; false when it lies outside the
// view volume (only points care: OpenGL drops a point whose centre is outside).
bool to_window(const Gl11State& state, const Drawable& d, double vx, double vy, float* wx,
               float* wy) {
    const Matrix& m = current_matrix(state);
    const float x = static_cast<float>(vx);
    const float y = static_cast<float>(vy);
    const float cx = m[0] * x + m[4] * y + m[12];
    const float cy = m[1] * x + m[5] * y + m[13];
    const float cz = m[2] * x + m[6] * y + m[14];
    const float cw = m[3] * x + m[7] * y + m[15];
    const float half_w = static_cast<float>(d.width) * 0.5f;
    const float half_h = static_cast<float>(d.height) * 0.5f;
    *wx = cx / cw * half_w + half_w;
    *wy = cy / cw * half_h + half_h;
    return cw > 0.0f && -cw <= cx && cx <= cw && -cw <= cy && cy <= cw && -cw <= cz && cz <= cw;
}

// A round point drawn as a sprite is a square of this side around it: it holds every pixel centre
// within the radius, and the shader drops those outside. The shader computes the same.
float sprite_size(float radius_sq) {
    return 2.0f * std::sqrt(radius_sq) + 0.5f;
}

void add_quad(Batch& batch, const Corner (&corners)[4], float centre_x, float centre_y,
              float radius_sq) {
    const auto order = static_cast<float>(batch.primitives++);
    std::vector<PortableVertex>& quads = radius_sq >= 0.0f ? batch.discs : batch.solids;
    for (const Corner& c : corners) {
        quads.push_back(
            PortableVertex{c.x, c.y, order, c.r, c.g, c.b, centre_x, centre_y, radius_sq});
    }
}

// An axis-aligned square of side 2 * half around (cx, cy), in the colour of `colour`.
void add_square(Batch& batch, const Corner& colour, float cx, float cy, float half,
                float radius_sq) {
    const Corner corners[4] = {{cx - half, cy - half, colour.r, colour.g, colour.b},
                               {cx + half, cy - half, colour.r, colour.g, colour.b},
                               {cx + half, cy + half, colour.r, colour.g, colour.b},
                               {cx - half, cy + half, colour.r, colour.g, colour.b}};
    add_quad(batch, corners, cx, cy, radius_sq);
}

// Lit: the pixels whose centres lie within size / 2 of the point. A quad reaches a little
// further so that no such centre lies on its edge.
void add_round_point(const Gl11State& state, const Drawable& d, Batch& batch, const Corner& at) {
    const float size = std::min(state.point_size, portable_point_size_limit);
    const float radius = size * 0.5f;
    if (radius < cull_radius && sprite_size(radius * radius) <= d.sprite_limit) {
        const auto order = static_cast<float>(batch.primitives++);
        batch.sprites.push_back(
            PortableVertex{at.x, at.y, order, at.r, at.g, at.b, at.x, at.y, radius * radius});
        return;
    }
    add_square(batch, at, at.x, at.y, radius + 0.25f, radius * radius);
    batch.has_large_points = batch.has_large_points || radius >= cull_radius;
}

// A square point: a whole number of pixels, centred on the pixel holding the point (odd sizes)
// or on the pixel corner nearest to it (even sizes).
void add_square_point(const Gl11State& state, Batch& batch, const Corner& at) {
    const float side =
        std::max(1.0f, std::round(std::min(state.point_size, portable_point_size_limit)));
    const bool odd = std::fmod(side, 2.0f) == 1.0f;
    const float cx = odd ? std::floor(at.x) + 0.5f : std::floor(at.x + 0.5f);
    const float cy = odd ? std::floor(at.y) + 0.5f : std::floor(at.y + 0.5f);
    add_square(batch, at, cx, cy, side * 0.5f, -1.0f);
}

// A line the context draws itself, where it draws lines that wide and the batch's lines have the
// same width: software rasterisers draw a line as one primitive, faster than the two slivers of
// a quad, and by the same rule as their own OpenGL 1.1.
bool add_native_line(const Gl11State& state, const Drawable& d, Batch& batch, const Corner& a,
                     const Corner& b) {
    const float width = std::max(1.0f, state.line_width);
    if (width > d.line_limit || (!batch.lines.empty() && batch.line_width != width)) {
        return false;
    }
    batch.line_width = width;
    const auto order = static_cast<float>(batch.primitives++);
    for (const Corner& c : {a, b}) {
        batch.lines.push_back(PortableVertex{c.x, c.y, order, c.r, c.g, c.b, 0.0f, 0.0f, -1.0f});
    }
    return true;
}

// A wide aliased line: an x-major line covers, in each column between its ends, the pixels
// within width / 2 vertically of it; a y-major one the same horizontally. Drawn as a quad where
// the context does not draw it itself.
void add_line(const Gl11State& state, const Drawable& d, Batch& batch, const Corner& a,
              const Corner& b) {
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    if (dx == 0.0f && dy == 0.0f) {
        return;
    }
    if (add_native_line(state, d, batch, a, b)) {
        return;
    }
    const float half = std::max(1.0f, state.line_width) * 0.5f;
    const bool x_major = std::fabs(dx) >= std::fabs(dy);
    const float ox = x_major ? 0.0f : half;
    const float oy = x_major ? half : 0.0f;
    const Corner corners[4] = {{a.x - ox, a.y - oy, a.r, a.g, a.b},
                               {b.x - ox, b.y - oy, b.r, b.g, b.b},
                               {b.x + ox, b.y + oy, b.r, b.g, b.b},
                               {a.x + ox, a.y + oy, a.r, a.g, a.b}};
    add_quad(batch, corners, 0.0f, 0.0f, -1.0f);
}

} // namespace

void reset_batch(Batch& batch) {
    batch.discs.clear();
    batch.solids.clear();
    batch.lines.clear();
    batch.sprites.clear();
    batch.primitives = 0;
    batch.has_large_points = false;
}

void clear_batch(Batch& batch) {
    reset_batch(batch);
    batch.clear_pending = true;
}

void add_vertex(Gl11State& state, const Drawable& drawable, Batch& batch, double vx, double vy) {
    Corner at = coloured_corner(state, 0.0f, 0.0f);
    if (state.primitive == gl11_points) {
        if (to_window(state, drawable, vx, vy, &at.x, &at.y)) {
            if (state.point_smooth) {
                add_round_point(state, drawable, batch, at);
            } else {
                add_square_point(state, batch, at);
            }
        }
        return;
    }
    if (state.primitive != gl11_lines) {
        return;
    }
    // Lines are clipped in the window by the viewport; only points drop by their centre.
    to_window(state, drawable, vx, vy, &at.x, &at.y);
    if (!state.have_line_start) {
        state.line_start = at;
        state.have_line_start = true;
        return;
    }
    state.have_line_start = false;
    add_line(state, drawable, batch, state.line_start, at);
}

} // namespace portable
