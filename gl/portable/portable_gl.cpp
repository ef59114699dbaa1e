#include "gl/portable/portable_gl.h"

#include "gl/portable/portable_vertex.h"
#include "gl/record/gl_record.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// OpenGL 1.1 values the frame passes that OpenGL ES does not name.
constexpr unsigned int gl11_points = 0x0000;
constexpr unsigned int gl11_lines = 0x0001;
constexpr unsigned int gl11_point_smooth = 0x0B10;
constexpr unsigned int gl11_color_buffer_bit = 0x4000;
constexpr unsigned int gl_program_point_size = 0x8642; // desktop OpenGL 3.2 and later only
// No glBegin is open.
constexpr unsigned int no_primitive = 0xFFFFFFFF;

// Round points from this radius on are worth culling their hidden parts (cull_large_points).
constexpr float cull_radius = 8.0f;

// OpenGL 1.1 promises a modelview stack at least 32 deep; deeper pushes are refused, as there.
constexpr int matrix_stack_depth = 32;

// Column-major, as OpenGL keeps it: element (row, column) at [column * 4 + row].
using Matrix = std::array<float, 16>;

constexpr Matrix identity_matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

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
    const double radians = static_cast<double>(angle) * 3.141592653589793 / 180.0;
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

float clamp_unit(float value) {
    return std::clamp(value, 0.0f, 1.0f);
}

struct Corner {
    float x, y;
    float r, g, b;
};

} // namespace

struct PortableGl {
    Gles3Functions gl;
    int width;
    int height;
    bool depth;           // batches go back to front against the depth buffer
    unsigned int program; // the one shader program
    int half_size_location;
    int count_location;
    unsigned int vertex_array;
    unsigned int vertex_buffer;
    unsigned int index_buffer;
    std::size_t index_capacity;  // quads the index buffer holds
    std::size_t vertex_capacity; // bytes the vertex buffer holds
    std::size_t batch_limit;     // most primitives one batch may hold (depth precision)
    float sprite_limit;          // largest point sprite the context draws; 0: no sprites
    ShaderDialect dialect;

    // OpenGL 1.1 state.
    std::array<Matrix, matrix_stack_depth> matrices;
    int matrix_top;
    float colour[3];
    float point_size;
    float line_width;
    bool point_smooth;
    unsigned int primitive; // the open glBegin's mode, or no_primitive
    bool other_primitive;   // a glBegin mode this renderer does not draw: its vertices are dropped
    bool have_line_start;
    Corner line_start;

    // The batch: quads in draw order, small round points as sprites (one vertex each; only
    // against a depth buffer, which keeps the order between the two), the number of primitives
    // in both, and whether a clear comes before them.
    std::vector<PortableVertex> vertices;
    std::vector<PortableVertex> sprites;
    std::size_t primitives;
    bool clear_pending;
    bool has_large_points; // the batch holds round points worth culling

    // Hidden-part culling of large round points (see cull_large_points).
    std::vector<PortableVertex> visible;
    std::vector<std::uint64_t> covered; // one bit per pixel, rows of covered_words words
    std::size_t covered_words;
    std::vector<int> band_left, band_right, band_bottom, band_top;
};

namespace {

const char* const vertex_shader_body = R"(
uniform vec2 u_half_size;
uniform float u_count;
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec3 a_colour;
layout(location = 2) in vec3 a_disc;
out vec3 v_colour;
flat out vec3 v_disc;
void main() {
    v_colour = a_colour;
    v_disc = a_disc;
    // Later primitives lie nearer, so that a depth test keeps the last one drawn on a pixel.
    float depth = 1.0 - 2.0 * (a_position.z + 1.0) / (u_count + 1.0);
    gl_Position = vec4(a_position.xy / u_half_size - 1.0, depth, 1.0);
    // Round points drawn as sprites: see sprite_size.
    gl_PointSize = a_disc.z >= 0.0 ? 2.0 * sqrt(a_disc.z) + 0.5 : 1.0;
}
)";

const char* const fragment_shader_body = R"(
in vec3 v_colour;
flat in vec3 v_disc;
layout(location = 0) out vec4 o_colour;
void main() {
    if (v_disc.z >= 0.0) {
        vec2 offset = gl_FragCoord.xy - v_disc.xy;
        if (dot(offset, offset) > v_disc.z) {
            discard;
        }
    }
    o_colour = vec4(v_colour, 1.0);
}
)";

std::string shader_source(ShaderDialect dialect, const char* body) {
    const std::string version = dialect == ShaderDialect::es300
                                    ? "#version 300 es\nprecision highp float;\n"
                                    : "#version 330 core\n";
    return version + body;
}

unsigned int compile_shader(const Gles3Functions& gl, GLenum kind, const std::string& source,
                            std::string* error) {
    const unsigned int shader = gl.CreateShader(kind);
    const char* text = source.c_str();
    gl.ShaderSource(shader, 1, &text, nullptr);
    gl.CompileShader(shader);
    GLint compiled = GL_FALSE;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        char log[2048] = {};
        gl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        *error = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") +
                 " shader does not compile: " + log;
        gl.DeleteShader(shader);
        return 0;
    }
    return shader;
}

unsigned int link_program(const Gles3Functions& gl, ShaderDialect dialect, std::string* error) {
    const unsigned int vertex =
        compile_shader(gl, GL_VERTEX_SHADER, shader_source(dialect, vertex_shader_body), error);
    if (vertex == 0) {
        return 0;
    }
    const unsigned int fragment =
        compile_shader(gl, GL_FRAGMENT_SHADER, shader_source(dialect, fragment_shader_body), error);
    if (fragment == 0) {
        gl.DeleteShader(vertex);
        return 0;
    }
    const unsigned int program = gl.CreateProgram();
    gl.AttachShader(program, vertex);
    gl.AttachShader(program, fragment);
    gl.LinkProgram(program);
    gl.DeleteShader(vertex);
    gl.DeleteShader(fragment);
    GLint linked = GL_FALSE;
    gl.GetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        char log[2048] = {};
        gl.GetProgramInfoLog(program, sizeof log, nullptr, log);
        *error = std::string("shader program does not link: ") + log;
        gl.DeleteProgram(program);
        return 0;
    }
    return program;
}

// Bits of the depth buffer of the framebuffer bound for drawing; 0 when it has none.
int depth_bits(const Gles3Functions& gl) {
    GLint bound = 0;
    gl.GetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    const GLenum attachment = bound == 0 ? GL_DEPTH : GL_DEPTH_ATTACHMENT;
    GLint type = GL_NONE;
    gl.GetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment,
                                           GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    GLint bits = 0;
    if (type != GL_NONE) {
        gl.GetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment,
                                               GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &bits);
    }
    while (gl.GetError() != GL_NO_ERROR) {
    }
    return bits;
}

// Window coordinates of a vertex as OpenGL 1.1 computes them; false when it lies outside the
// view volume (only points care: OpenGL drops a point whose centre is outside).
bool to_window(const PortableGl& r, double vx, double vy, float* wx, float* wy) {
    const Matrix& m = r.matrices[static_cast<std::size_t>(r.matrix_top)];
    const float x = static_cast<float>(vx);
    const float y = static_cast<float>(vy);
    const float cx = m[0] * x + m[4] * y + m[12];
    const float cy = m[1] * x + m[5] * y + m[13];
    const float cz = m[2] * x + m[6] * y + m[14];
    const float cw = m[3] * x + m[7] * y + m[15];
    const float half_w = static_cast<float>(r.width) * 0.5f;
    const float half_h = static_cast<float>(r.height) * 0.5f;
    *wx = cx / cw * half_w + half_w;
    *wy = cy / cw * half_h + half_h;
    return cw > 0.0f && -cw <= cx && cx <= cw && -cw <= cy && cy <= cw && -cw <= cz && cz <= cw;
}

void flush(PortableGl& r);

// A round point drawn as a sprite is a square of this side around it: it holds every pixel centre
// within the radius, and the shader drops those outside. The shader computes the same.
float sprite_size(float radius_sq) {
    return 2.0f * std::sqrt(radius_sq) + 0.5f;
}

// The next primitive's place in the batch, flushing a full batch first.
float next_order(PortableGl& r) {
    if (r.primitives >= r.batch_limit) {
        flush(r);
    }
    return static_cast<float>(r.primitives++);
}

void add_quad(PortableGl& r, const Corner (&corners)[4], float centre_x, float centre_y,
              float radius_sq) {
    const float order = next_order(r);
    for (const Corner& c : corners) {
        r.vertices.push_back(
            PortableVertex{c.x, c.y, order, c.r, c.g, c.b, centre_x, centre_y, radius_sq});
    }
}

void add_point(PortableGl& r, double vx, double vy) {
    float wx = 0.0f, wy = 0.0f;
    if (!to_window(r, vx, vy, &wx, &wy)) {
        return;
    }
    const float red = clamp_unit(r.colour[0]);
    const float green = clamp_unit(r.colour[1]);
    const float blue = clamp_unit(r.colour[2]);
    if (r.point_smooth) {
        // Lit: the pixels whose centres lie within size / 2 of the point. The square reaches a
        // little further so that no such centre lies on its edge.
        const float size = std::min(r.point_size, portable_point_size_limit);
        const float radius = size * 0.5f;
        if (radius < cull_radius && sprite_size(radius * radius) <= r.sprite_limit) {
            const float order = next_order(r);
            r.sprites.push_back(
                PortableVertex{wx, wy, order, red, green, blue, wx, wy, radius * radius});
            return;
        }
        const float reach = radius + 0.25f;
        const Corner corners[4] = {{wx - reach, wy - reach, red, green, blue},
                                   {wx + reach, wy - reach, red, green, blue},
                                   {wx + reach, wy + reach, red, green, blue},
                                   {wx - reach, wy + reach, red, green, blue}};
        add_quad(r, corners, wx, wy, radius * radius);
        r.has_large_points = r.has_large_points || radius >= cull_radius;
        return;
    }
    // A square point: a whole number of pixels, centred on the pixel holding the point (odd
    // sizes) or on the pixel corner nearest to it (even sizes).
    const float side =
        std::max(1.0f, std::round(std::min(r.point_size, portable_point_size_limit)));
    const bool odd = std::fmod(side, 2.0f) == 1.0f;
    const float cx = odd ? std::floor(wx) + 0.5f : std::floor(wx + 0.5f);
    const float cy = odd ? std::floor(wy) + 0.5f : std::floor(wy + 0.5f);
    const float half = side * 0.5f;
    const Corner corners[4] = {{cx - half, cy - half, red, green, blue},
                               {cx + half, cy - half, red, green, blue},
                               {cx + half, cy + half, red, green, blue},
                               {cx - half, cy + half, red, green, blue}};
    add_quad(r, corners, cx, cy, -1.0f);
}

// A wide aliased line: an x-major line covers, in each column between its ends, the pixels
// within width / 2 vertically of it; a y-major one the same horizontally.
void add_line(PortableGl& r, const Corner& a, const Corner& b) {
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    if (dx == 0.0f && dy == 0.0f) {
        return;
    }
    const float half = std::max(1.0f, r.line_width) * 0.5f;
    const bool x_major = std::fabs(dx) >= std::fabs(dy);
    const float ox = x_major ? 0.0f : half;
    const float oy = x_major ? half : 0.0f;
    const Corner corners[4] = {{a.x - ox, a.y - oy, a.r, a.g, a.b},
                               {b.x - ox, b.y - oy, b.r, b.g, b.b},
                               {b.x + ox, b.y + oy, b.r, b.g, b.b},
                               {a.x + ox, a.y + oy, a.r, a.g, a.b}};
    add_quad(r, corners, 0.0f, 0.0f, -1.0f);
}

void add_vertex(PortableGl& r, double vx, double vy) {
    if (r.primitive == gl11_points) {
        add_point(r, vx, vy);
        return;
    }
    if (r.primitive != gl11_lines) {
        return;
    }
    Corner corner{0.0f, 0.0f, clamp_unit(r.colour[0]), clamp_unit(r.colour[1]),
                  clamp_unit(r.colour[2])};
    // Lines are clipped in the window by the viewport; only points drop by their centre.
    to_window(r, vx, vy, &corner.x, &corner.y);
    if (!r.have_line_start) {
        r.line_start = corner;
        r.have_line_start = true;
        return;
    }
    r.have_line_start = false;
    add_line(r, r.line_start, corner);
}

// Large round points: culling the parts later points hide.
//
// With blending off the last primitive drawn on a pixel decides its colour, so the parts of a round
// point that later round points cover need not reach the rasteriser at all. At the final swell
// thousands of points 255 pixels across lie on top of each other and only thin crescents of most
// of them show: drawing every fragment costs the software rasteriser far more than this pass.
//
// The batch is walked from its last quad to its first, keeping a bit per pixel of what the round
// points seen so far cover for certain. Each round point is cut into bands of rows, and a band
// becomes a rectangle around the pixels of it that may still show; a band with none is dropped.
// The rectangles keep the point's centre, size, colour and place in the order, so the shader draws
// in them exactly the pixels the whole point would have drawn there. Lines and square points are
// kept whole and are not counted as covering anything. Every estimate errs on the safe side: a
// point's own extent is taken a little larger, what it covers a little smaller.

constexpr int cull_band_rows = 8;
// Slack against rounding between this pass and the shader, on (distance)^2 and on distance.
constexpr float cull_slack_sq = 0.02f;
constexpr float cull_slack_sq_per_radius_sq = 2.0e-4f;
constexpr float cull_slack = 0.01f;

// The clear bits of `row`'s 64-bit `word` that fall within pixels [left, right].
std::uint64_t clear_bits(const std::uint64_t* row, int word, int left, int right) {
    std::uint64_t clear = ~row[word];
    if (word == left / 64) {
        clear &= ~std::uint64_t{0} << (left % 64);
    }
    if (word == right / 64 && right % 64 != 63) {
        clear &= (std::uint64_t{1} << (right % 64 + 1)) - 1;
    }
    return clear;
}

// First (lowest) pixel in [left, right] of `row` whose bit is clear; -1 when all are set.
int first_clear(const std::uint64_t* row, int left, int right) {
    for (int word = left / 64; word <= right / 64; ++word) {
        const std::uint64_t clear = clear_bits(row, word, left, right);
        if (clear != 0) {
            return word * 64 + std::countr_zero(clear);
        }
    }
    return -1;
}

// Last (highest) pixel in [left, right] of `row` whose bit is clear; -1 when all are set.
int last_clear(const std::uint64_t* row, int left, int right) {
    for (int word = right / 64; word >= left / 64; --word) {
        const std::uint64_t clear = clear_bits(row, word, left, right);
        if (clear != 0) {
            return word * 64 + 63 - std::countl_zero(clear);
        }
    }
    return -1;
}

void set_bits(std::uint64_t* row, int left, int right) {
    for (int word = left / 64; word <= right / 64; ++word) {
        std::uint64_t bits = ~std::uint64_t{0};
        if (word == left / 64) {
            bits &= ~std::uint64_t{0} << (left % 64);
        }
        if (word == right / 64 && right % 64 != 63) {
            bits &= (std::uint64_t{1} << (right % 64 + 1)) - 1;
        }
        row[word] |= bits;
    }
}

// Pixels whose centres lie within sqrt(reach_sq) of `centre` on a row, as a pixel range; false
// when none does.
bool row_span(float centre, float reach_sq, float grow, int width, int* left, int* right) {
    if (reach_sq < 0.0f) {
        return false;
    }
    const float reach = std::sqrt(reach_sq) + grow;
    if (reach < 0.0f) {
        return false;
    }
    *left = std::max(0, static_cast<int>(std::ceil(centre - reach - 0.5f)));
    *right = std::min(width - 1, static_cast<int>(std::floor(centre + reach - 0.5f)));
    return *left <= *right;
}

// The visible bands of one round point (its first corner `point`), appended to r.visible.
void cull_point(PortableGl& r, const PortableVertex* point) {
    const float cx = point->centre_x;
    const float cy = point->centre_y;
    const float radius_sq = point->radius_sq;
    const float slack_sq = cull_slack_sq + cull_slack_sq_per_radius_sq * radius_sq;
    const float reach = std::sqrt(radius_sq + slack_sq) + cull_slack;
    const int bottom = std::max(0, static_cast<int>(std::ceil(cy - reach - 0.5f)));
    const int top = std::min(r.height - 1, static_cast<int>(std::floor(cy + reach - 0.5f)));
    if (bottom > top) {
        return;
    }
    const int first_band = bottom / cull_band_rows;
    const int last_band = top / cull_band_rows;
    for (int band = first_band; band <= last_band; ++band) {
        r.band_left[static_cast<std::size_t>(band)] = r.width;
        r.band_right[static_cast<std::size_t>(band)] = -1;
        r.band_bottom[static_cast<std::size_t>(band)] = r.height;
        r.band_top[static_cast<std::size_t>(band)] = -1;
    }
    for (int row = bottom; row <= top; ++row) {
        std::uint64_t* bits = &r.covered[static_cast<std::size_t>(row) * r.covered_words];
        const float dy = static_cast<float>(row) + 0.5f - cy;
        const float left_sq = radius_sq - dy * dy;
        int left = 0, right = 0;
        if (row_span(cx, left_sq + slack_sq, cull_slack, r.width, &left, &right)) {
            const int first = first_clear(bits, left, right);
            if (first >= 0) {
                const auto band = static_cast<std::size_t>(row / cull_band_rows);
                r.band_left[band] = std::min(r.band_left[band], first);
                r.band_right[band] = std::max(r.band_right[band], last_clear(bits, left, right));
                r.band_bottom[band] = std::min(r.band_bottom[band], row);
                r.band_top[band] = std::max(r.band_top[band], row);
            }
        }
        if (row_span(cx, left_sq - slack_sq, -cull_slack, r.width, &left, &right)) {
            set_bits(bits, left, right);
        }
    }
    // Bands are appended top first: the whole list is reversed at the end.
    for (int band = last_band; band >= first_band; --band) {
        const auto b = static_cast<std::size_t>(band);
        if (r.band_right[b] < 0) {
            continue;
        }
        const float x0 = static_cast<float>(r.band_left[b]);
        const float x1 = static_cast<float>(r.band_right[b] + 1);
        const float y0 = static_cast<float>(r.band_bottom[b]);
        const float y1 = static_cast<float>(r.band_top[b] + 1);
        const float xs[4] = {x0, x1, x1, x0};
        const float ys[4] = {y0, y0, y1, y1};
        // Corners in reverse too, so that reversing the list restores their winding.
        for (int corner = 3; corner >= 0; --corner) {
            PortableVertex v = *point;
            v.x = xs[corner];
            v.y = ys[corner];
            r.visible.push_back(v);
        }
    }
}

// Replaces r.vertices by its round points' visible bands and everything else as it is.
void cull_large_points(PortableGl& r) {
    r.covered_words = (static_cast<std::size_t>(r.width) + 63) / 64;
    r.covered.assign(r.covered_words * static_cast<std::size_t>(r.height), 0);
    const std::size_t bands = static_cast<std::size_t>(r.height / cull_band_rows + 1);
    r.band_left.resize(bands);
    r.band_right.resize(bands);
    r.band_bottom.resize(bands);
    r.band_top.resize(bands);
    r.visible.clear();
    for (std::size_t end = r.vertices.size(); end > 0; end -= portable_vertices_per_quad) {
        const PortableVertex* quad = &r.vertices[end - portable_vertices_per_quad];
        if (quad->radius_sq >= 0.0f) {
            cull_point(r, quad);
        } else {
            for (int corner = portable_vertices_per_quad - 1; corner >= 0; --corner) {
                r.visible.push_back(quad[corner]);
            }
        }
    }
    std::reverse(r.visible.begin(), r.visible.end());
    r.vertices.swap(r.visible);
}

// Index buffer of `capacity` quads, each two triangles. With depth the quads are listed last to
// first, so the last n of them draw quads n-1 down to 0.
void ensure_indices(PortableGl& r, std::size_t quads) {
    if (quads <= r.index_capacity) {
        return;
    }
    std::size_t capacity = std::max<std::size_t>(r.index_capacity, 1024);
    while (capacity < quads) {
        capacity *= 2;
    }
    std::vector<std::uint32_t> indices(capacity * portable_indices_per_quad);
    for (std::size_t position = 0; position < capacity; ++position) {
        const std::size_t quad = r.depth ? capacity - 1 - position : position;
        const auto base = static_cast<std::uint32_t>(quad * portable_vertices_per_quad);
        std::uint32_t* out = &indices[position * portable_indices_per_quad];
        out[0] = base;
        out[1] = base + 1;
        out[2] = base + 2;
        out[3] = base;
        out[4] = base + 2;
        out[5] = base + 3;
    }
    r.gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.index_buffer);
    r.gl.BufferData(GL_ELEMENT_ARRAY_BUFFER,
                    static_cast<GLsizeiptr>(indices.size() * sizeof(std::uint32_t)), indices.data(),
                    GL_STATIC_DRAW);
    r.index_capacity = capacity;
}

void flush(PortableGl& r) {
    const std::size_t sprites = r.sprites.size();
    const std::size_t primitives = r.primitives;
    r.primitives = 0;
    if (primitives == 0 && !r.clear_pending) {
        return;
    }
    const Gles3Functions& gl = r.gl;
    gl.BindVertexArray(r.vertex_array);
    gl.Viewport(0, 0, r.width, r.height);
    if (r.depth) {
        gl.Enable(GL_DEPTH_TEST);
        gl.DepthFunc(GL_LESS);
        gl.DepthMask(GL_TRUE);
    } else {
        gl.Disable(GL_DEPTH_TEST);
    }
    if (r.clear_pending) {
        gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        gl.Clear(GL_COLOR_BUFFER_BIT | (r.depth ? GL_DEPTH_BUFFER_BIT : 0));
        r.clear_pending = false;
    } else if (r.depth && primitives > 0) {
        // A batch after another in the same frame covers it whatever their depths.
        gl.Clear(GL_DEPTH_BUFFER_BIT);
    }
    if (primitives == 0) {
        return;
    }
    if (r.has_large_points) {
        cull_large_points(r);
        r.has_large_points = false;
    }
    const std::size_t drawn = r.vertices.size() / portable_vertices_per_quad;
    gl.UseProgram(r.program);
    if (r.dialect == ShaderDialect::glsl330) {
        // Desktop OpenGL takes the sprite size from the shader only when asked to.
        gl.Enable(gl_program_point_size);
    }
    gl.Uniform2f(r.half_size_location, static_cast<float>(r.width) * 0.5f,
                 static_cast<float>(r.height) * 0.5f);
    gl.Uniform1f(r.count_location, static_cast<float>(primitives));
    // Sprites after the quads in one buffer whose storage is kept from frame to frame: new
    // storage for every frame costs a software renderer fresh memory pages each time.
    gl.BindBuffer(GL_ARRAY_BUFFER, r.vertex_buffer);
    const std::size_t quad_bytes = r.vertices.size() * sizeof(PortableVertex);
    const std::size_t bytes = quad_bytes + sprites * sizeof(PortableVertex);
    if (bytes > r.vertex_capacity) {
        r.vertex_capacity = std::max(bytes, r.vertex_capacity * 2);
        gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(r.vertex_capacity), nullptr,
                      GL_DYNAMIC_DRAW);
    }
    if (drawn > 0) {
        gl.BufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(quad_bytes),
                         r.vertices.data());
        ensure_indices(r, drawn);
        const std::size_t first = r.depth ? r.index_capacity - drawn : 0;
        gl.DrawElements(GL_TRIANGLES, static_cast<GLsizei>(drawn * portable_indices_per_quad),
                        GL_UNSIGNED_INT,
                        reinterpret_cast<const void*>(first * portable_indices_per_quad *
                                                      sizeof(std::uint32_t)));
    }
    if (sprites > 0) {
        gl.BufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(quad_bytes),
                         static_cast<GLsizeiptr>(sprites * sizeof(PortableVertex)),
                         r.sprites.data());
        gl.DrawArrays(GL_POINTS, static_cast<GLint>(drawn * portable_vertices_per_quad),
                      static_cast<GLsizei>(sprites));
    }
    r.vertices.clear();
    r.sprites.clear();
}

bool inside_begin(const PortableGl& r) {
    return r.primitive != no_primitive || r.other_primitive;
}

// Every call of the frame, in order. Calls OpenGL refuses (matrix, size and state calls between
// glBegin and glEnd, a pop of the last matrix, a push beyond the stack, non-positive sizes) leave
// the state as it is, as they do there.
void draw_call(const GlCall& call, void* context) {
    PortableGl& r = *static_cast<PortableGl*>(context);
    const bool between = inside_begin(r);
    Matrix& top = r.matrices[static_cast<std::size_t>(r.matrix_top)];
    switch (call.entry) {
    case GlEntry::color3f:
        r.colour[0] = call.f[0];
        r.colour[1] = call.f[1];
        r.colour[2] = call.f[2];
        return;
    case GlEntry::vertex2d:
        if (between) {
            add_vertex(r, call.d[0], call.d[1]);
        }
        return;
    case GlEntry::end:
        r.primitive = no_primitive;
        r.other_primitive = false;
        r.have_line_start = false;
        return;
    default:
        break;
    }
    if (between) {
        return;
    }
    switch (call.entry) {
    case GlEntry::clear:
        if ((call.e & gl11_color_buffer_bit) != 0) {
            // Everything batched so far would be painted over.
            r.vertices.clear();
            r.sprites.clear();
            r.primitives = 0;
            r.has_large_points = false;
            r.clear_pending = true;
        }
        break;
    case GlEntry::push_matrix:
        if (r.matrix_top + 1 < matrix_stack_depth) {
            r.matrices[static_cast<std::size_t>(r.matrix_top + 1)] = top;
            ++r.matrix_top;
        }
        break;
    case GlEntry::pop_matrix:
        if (r.matrix_top > 0) {
            --r.matrix_top;
        }
        break;
    case GlEntry::point_size:
        if (call.f[0] > 0.0f) {
            r.point_size = call.f[0];
        }
        break;
    case GlEntry::line_width:
        if (call.f[0] > 0.0f) {
            r.line_width = call.f[0];
        }
        break;
    case GlEntry::enable:
        if (call.e == gl11_point_smooth) {
            r.point_smooth = true;
        }
        break;
    case GlEntry::scaled:
        scale_matrix(top, call.d[0], call.d[1], call.d[2]);
        break;
    case GlEntry::rotatef:
        rotate_matrix(top, call.f[0], call.f[1], call.f[2], call.f[3]);
        break;
    case GlEntry::begin:
        if (call.e == gl11_points || call.e == gl11_lines) {
            r.primitive = call.e;
        } else {
            r.other_primitive = true;
        }
        r.have_line_start = false;
        break;
    case GlEntry::color3f:
    case GlEntry::vertex2d:
    case GlEntry::end:
        break;
    }
}

} // namespace

PortableGl* portable_gl_open(const Gles3Functions& functions, ShaderDialect dialect, int width,
                             int height, std::string* error) {
    if (width <= 0 || height <= 0) {
        *error = "the drawable has no pixels";
        return nullptr;
    }
    const unsigned int program = link_program(functions, dialect, error);
    if (program == 0) {
        return nullptr;
    }
    auto* r = new PortableGl{};
    r->gl = functions;
    r->width = width;
    r->height = height;
    const int bits = depth_bits(functions);
    r->depth = bits >= 16;
    r->dialect = dialect;
    // Small round points go as sprites where the depth buffer keeps them in order with the quads.
    GLfloat sprite_range[2] = {0.0f, 0.0f};
    functions.GetFloatv(GL_ALIASED_POINT_SIZE_RANGE, sprite_range);
    r->sprite_limit = r->depth ? sprite_range[1] : 0.0f;
    // Each primitive of a batch needs a depth value of its own (with a margin of 4).
    r->batch_limit = r->depth ? std::size_t{1} << (std::min(bits, 26) - 2) : SIZE_MAX;
    r->program = program;
    r->half_size_location = functions.GetUniformLocation(program, "u_half_size");
    r->count_location = functions.GetUniformLocation(program, "u_count");
    functions.GenVertexArrays(1, &r->vertex_array);
    functions.GenBuffers(1, &r->vertex_buffer);
    functions.GenBuffers(1, &r->index_buffer);
    functions.BindVertexArray(r->vertex_array);
    functions.BindBuffer(GL_ARRAY_BUFFER, r->vertex_buffer);
    functions.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, r->index_buffer);
    const auto stride = static_cast<GLsizei>(sizeof(PortableVertex));
    functions.EnableVertexAttribArray(0);
    functions.VertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                                  reinterpret_cast<const void*>(offsetof(PortableVertex, x)));
    functions.EnableVertexAttribArray(1);
    functions.VertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                                  reinterpret_cast<const void*>(offsetof(PortableVertex, r)));
    functions.EnableVertexAttribArray(2);
    functions.VertexAttribPointer(
        2, 3, GL_FLOAT, GL_FALSE, stride,
        reinterpret_cast<const void*>(offsetof(PortableVertex, centre_x)));
    r->matrices[0] = identity_matrix;
    r->matrix_top = 0;
    r->colour[0] = r->colour[1] = r->colour[2] = 1.0f;
    r->point_size = 1.0f;
    r->line_width = 1.0f;
    r->point_smooth = false;
    r->primitive = no_primitive;
    r->other_primitive = false;
    r->have_line_start = false;
    r->clear_pending = false;
    r->primitives = 0;
    r->has_large_points = false;
    return r;
}

void portable_gl_make_current(PortableGl* renderer) {
    if (renderer == nullptr) {
        gl_record_to(nullptr, nullptr);
    } else {
        gl_record_to(draw_call, renderer);
    }
}

void portable_gl_finish_frame(PortableGl* renderer) {
    flush(*renderer);
}

void portable_gl_close(PortableGl* renderer) {
    if (renderer == nullptr) {
        return;
    }
    const Gles3Functions& gl = renderer->gl;
    gl.DeleteBuffers(1, &renderer->vertex_buffer);
    gl.DeleteBuffers(1, &renderer->index_buffer);
    gl.DeleteVertexArrays(1, &renderer->vertex_array);
    gl.DeleteProgram(renderer->program);
    delete renderer;
}

float portable_gl_point_size(const PortableGl* renderer) {
    return renderer->point_size;
}

bool portable_gl_uses_depth(const PortableGl* renderer) {
    return renderer->depth;
}
