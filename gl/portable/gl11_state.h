// The OpenGL 1.1 state the frame sets (modelview matrix stack, colour, point size, line width,
// smooth points, the open glBegin) and the calls that change it, kept as OpenGL 1.1 keeps it.
#pragma once

#include "gl/gl11_constants.h"
#include "gl/portable/limits.h"
#include "gl/record/gl_record.h"

#include <array>

namespace portable {

// No glBegin is open.
constexpr unsigned int no_primitive = 0xFFFFFFFF;

// Column-major, as OpenGL keeps it: element (row, column) at [column * 4 + row].
using Matrix = std::array<float, 16>;

constexpr Matrix identity_matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// One end of a line (or corner of a quad) in window coordinates, with its clamped colour.
struct Corner {
    float x = 0.0f, y = 0.0f;
    float r = 0.0f, g = 0.0f, b = 0.0f;
};

struct Gl11State {
    std::array<Matrix, matrix_stack_depth> matrices{identity_matrix};
    int matrix_top = 0;
    float colour[3] = {1.0f, 1.0f, 1.0f};
    float point_size = 1.0f;
    float line_width = 1.0f;
    bool point_smooth = false;
    unsigned int primitive = no_primitive; // the open glBegin's mode
    bool other_primitive = false; // a glBegin mode this renderer does not draw: vertices dropped
    bool have_line_start = false;
    Corner line_start;
};

// Between glBegin and glEnd, whatever the mode.
bool inside_begin(const Gl11State& state);

const Matrix& current_matrix(const Gl11State& state);

// Applies every call but glVertex2d and glClear, which draw. Calls OpenGL refuses (matrix, size
// and state calls between glBegin and glEnd, a pop of the last matrix, a push beyond the stack,
// non-positive sizes) leave the state as it is, as they do there.
void apply_state_call(Gl11State& state, const GlCall& call);

} // namespace portable
