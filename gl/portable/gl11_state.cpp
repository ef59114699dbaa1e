#include "gl/portable/gl11_state.h"

#include <cmath>
#include <cstddef>
#include <numbers>

namespace portable {
namespace {

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix product{};
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[column * 4 + k];
            }
            product[column * 4 + row] = sum;
        }
    }
    return product;
}

// glScaled: the arguments are used as single floats, the matrix multiplied on the right.
void scale_matrix(Matrix& m, double x, double y, double z) {
    const float factors[3] = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 4; ++row) {
            m[column * 4 + row] *= factors[column];
        }
    }
}

// glRotatef: a rotation by `angle` degrees about the axis (x, y, z), multiplied on the right. An
// axis too short to normalise leaves the matrix as it is.
void rotate_matrix(Matrix& m, float angle, float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length <= 1.0e-4f) {
        return;
    }
    x /= length;
    y /= length;
    z /= length;
    const double radians = static_cast<double>(angle) * std::numbers::pi / 180.0;
    const float s = static_cast<float>(std::sin(radians));
    const float c = static_cast<float>(std::cos(radians));
    const float one_c = 1.0f - c;
    Matrix r = identity_matrix;
    r[0] = one_c * x * x + c;
    r[4] = one_c * x * y - z * s;
    r[8] = one_c * z * x + y * s;
    r[1] = one_c * x * y + z * s;
    r[5] = one_c * y * y + c;
    r[9] = one_c * y * z - x * s;
    r[2] = one_c * z * x - y * s;
    r[6] = one_c * y * z + x * s;
    r[10] = one_c * z * z + c;
    m = multiply(m, r);
}

Matrix& top_matrix(Gl11State& state) {
    return state.matrices[static_cast<std::size_t>(state.matrix_top)];
}

// The calls OpenGL refuses between glBegin and glEnd.
void apply_outside_begin(Gl11State& s, const GlCall& call) {
    switch (call.entry) {
    case GlEntry::push_matrix:
        if (s.matrix_top + 1 < matrix_stack_depth) {
            s.matrices[static_cast<std::size_t>(s.matrix_top + 1)] = top_matrix(s);
            ++s.matrix_top;
        }
        break;
    case GlEntry::pop_matrix:
        if (s.matrix_top > 0) {
            --s.matrix_top;
        }
        break;
    case GlEntry::scaled:
        scale_matrix(top_matrix(s), call.d[0], call.d[1], call.d[2]);
        break;
    case GlEntry::rotatef:
        rotate_matrix(top_matrix(s), call.f[0], call.f[1], call.f[2], call.f[3]);
        break;
    case GlEntry::point_size:
        s.point_size = call.f[0] > 0.0f ? call.f[0] : s.point_size;
        break;
    case GlEntry::line_width:
        s.line_width = call.f[0] > 0.0f ? call.f[0] : s.line_width;
        break;
    case GlEntry::enable:
        s.point_smooth = s.point_smooth || call.e == gl11_point_smooth;
        break;
    case GlEntry::begin:
        if (call.e == gl11_points || call.e == gl11_lines) {
            s.primitive = call.e;
        } else {
            s.other_primitive = true;
        }
        s.have_line_start = false;
        break;
    default:
        break;
    }
}

} // namespace

bool inside_begin(const Gl11State& state) {
    return state.primitive != no_primitive || state.other_primitive;
}

const Matrix& current_matrix(const Gl11State& state) {
    return state.matrices[static_cast<std::size_t>(state.matrix_top)];
}

void apply_state_call(Gl11State& state, const GlCall& call) {
    switch (call.entry) {
    case GlEntry::color3f:
        state.colour[0] = call.f[0];
        state.colour[1] = call.f[1];
        state.colour[2] = call.f[2];
        return;
    case GlEntry::end:
        state.primitive = no_primitive;
        state.other_primitive = false;
        state.have_line_start = false;
        return;
    default:
        break;
    }
    if (!inside_begin(state)) {
        apply_outside_begin(state, call);
    }
}

} // namespace portable
