// The portable renderer's OpenGL 1.1 state, seen through a stand-in OpenGL ES 3 table that keeps
// what the renderer uploads and draws: the quads of a frame (window positions, colours, disc
// sizes, order) and the draw calls that carry them.
#include "gl/gl11.h"
#include "gl/portable/portable_gl.h"
#include "gl/portable/portable_vertex.h"

#include "scenes/drift_state.h"
#include "timeline/display_mode.h"
#include "timeline/draw_frame.h"
#include "timeline/scene_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Draw {
    std::vector<PortableVertex> vertices; // the quads' corners in the order they are drawn
    bool discards;                        // the program's fragment shader may drop fragments
};

// What the stand-in context was asked to do. One per process, as a driver's would be.
struct FakeContext {
    int depth_bits = 24;
    float largest_sprite = 0.0f; // GL_ALIASED_POINT_SIZE_RANGE's top; 0: no sprites used
    float widest_line = 0.0f;    // GL_ALIASED_LINE_WIDTH_RANGE's top; 0: lines as quads
    float line_width = 0.0f;     // the last glLineWidth
    bool compiles = true;
    unsigned int last_id = 0;
    std::map<unsigned int, std::string> shader_sources;
    std::map<unsigned int, bool> program_discards;
    unsigned int program_in_use = 0;
    unsigned int array_buffer = 0;
    std::vector<PortableVertex> uploaded;
    std::vector<std::uint32_t> indices;
    std::vector<Draw> draws;
    std::vector<PortableVertex> sprites; // vertices of the last glDrawArrays(GL_POINTS)
    std::vector<PortableVertex> lines;   // vertices of the last glDrawArrays(GL_LINES)
    // "clear 0x...", "draw N", "solid N", "lines N", "sprites N" in order
    std::vector<std::string> events;
};
FakeContext fake;

// Every function does nothing and returns zero unless given a body below.
template <typename Result, typename... Arguments> void stub(Result (**function)(Arguments...)) {
    *function = [](Arguments...) -> Result { return Result(); };
}

// Shaders and programs: every shader compiles as `fake.compiles` says; a program discards when
// one of its shaders does.
void fake_shader_functions(Gles3Functions& f) {
    f.CreateShader = [](GLenum) -> GLuint { return ++fake.last_id; };
    f.CreateProgram = []() -> GLuint { return ++fake.last_id; };
    f.ShaderSource = [](GLuint shader, GLsizei, const GLchar* const* text, const GLint*) {
        fake.shader_sources[shader] = text[0];
    };
    f.AttachShader = [](GLuint program, GLuint shader) {
        const bool discards = fake.shader_sources[shader].find("discard") != std::string::npos;
        fake.program_discards[program] = fake.program_discards[program] || discards;
    };
    f.UseProgram = [](GLuint program) { fake.program_in_use = program; };
    f.GetShaderiv = [](GLuint, GLenum, GLint* value) {
        *value = fake.compiles ? GL_TRUE : GL_FALSE;
    };
    f.GetShaderInfoLog = [](GLuint, GLsizei size, GLsizei*, GLchar* log) {
        std::snprintf(log, static_cast<std::size_t>(size), "%s", "0:3: syntax error");
    };
    f.GetProgramiv = [](GLuint, GLenum, GLint* value) { *value = GL_TRUE; };
    f.GetFramebufferAttachmentParameteriv = [](GLenum, GLenum, GLenum name, GLint* value) {
        if (name == GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE) {
            *value = fake.depth_bits > 0 ? GL_FRAMEBUFFER_DEFAULT : GL_NONE;
        } else if (name == GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE) {
            *value = fake.depth_bits;
        }
    };
}

// Buffers: what is uploaded to the vertex and index buffers is kept.
void fake_buffer_functions(Gles3Functions& f) {
    f.BindBuffer = [](GLenum target, GLuint buffer) {
        if (target == GL_ARRAY_BUFFER) {
            fake.array_buffer = buffer;
        }
    };
    f.BufferData = [](GLenum target, GLsizeiptr size, const void* data, GLenum) {
        const auto bytes = static_cast<std::size_t>(size);
        if (target == GL_ARRAY_BUFFER) {
            fake.uploaded.assign(bytes / sizeof(PortableVertex), PortableVertex{});
            if (data != nullptr) {
                std::memcpy(fake.uploaded.data(), data, bytes);
            }
        } else if (target == GL_ELEMENT_ARRAY_BUFFER) {
            fake.indices.assign(bytes / sizeof(std::uint32_t), 0);
            if (data != nullptr) {
                std::memcpy(fake.indices.data(), data, bytes);
            }
        }
    };
    f.BufferSubData = [](GLenum target, GLintptr offset, GLsizeiptr size, const void* data) {
        ASSERT_EQ(target, static_cast<GLenum>(GL_ARRAY_BUFFER));
        ASSERT_LE(static_cast<std::size_t>(offset + size),
                  fake.uploaded.size() * sizeof(PortableVertex));
        std::memcpy(reinterpret_cast<char*>(fake.uploaded.data()) + offset, data,
                    static_cast<std::size_t>(size));
    };
}

// Draws and clears are recorded as events; the limits are the fake's.
void fake_draw_functions(Gles3Functions& f) {
    f.DrawElements = [](GLenum, GLsizei count, GLenum, const void* offset) {
        const auto first = reinterpret_cast<std::uintptr_t>(offset) / sizeof(std::uint32_t);
        const auto quads = static_cast<std::size_t>(count) / portable_indices_per_quad;
        ASSERT_LE(first + quads * portable_indices_per_quad, fake.indices.size());
        Draw draw{{}, fake.program_discards[fake.program_in_use]};
        for (std::size_t q = 0; q < quads; ++q) {
            const std::uint32_t base = fake.indices[first + q * portable_indices_per_quad];
            ASSERT_LE(base + portable_vertices_per_quad, fake.uploaded.size());
            draw.vertices.insert(draw.vertices.end(), fake.uploaded.begin() + base,
                                 fake.uploaded.begin() + base + portable_vertices_per_quad);
        }
        fake.draws.push_back(draw);
        fake.events.push_back((draw.discards ? "draw " : "solid ") + std::to_string(quads));
    };
    f.DrawArrays = [](GLenum mode, GLint first, GLsizei count) {
        ASSERT_TRUE(mode == GL_POINTS || mode == GL_LINES);
        ASSERT_LE(static_cast<std::size_t>(first + count), fake.uploaded.size());
        (mode == GL_POINTS ? fake.sprites : fake.lines)
            .assign(fake.uploaded.begin() + first, fake.uploaded.begin() + first + count);
        fake.events.push_back((mode == GL_POINTS ? "sprites " : "lines ") +
                              std::to_string(mode == GL_POINTS ? count : count / 2));
    };
    f.LineWidth = [](GLfloat width) { fake.line_width = width; };
    f.GetFloatv = [](GLenum name, GLfloat* values) {
        if (name == GL_ALIASED_POINT_SIZE_RANGE || name == GL_ALIASED_LINE_WIDTH_RANGE) {
            values[0] = 1.0f;
            values[1] =
                name == GL_ALIASED_POINT_SIZE_RANGE ? fake.largest_sprite : fake.widest_line;
        }
    };
    f.Clear = [](GLbitfield mask) {
        char text[32];
        std::snprintf(text, sizeof text, "clear 0x%X", mask);
        fake.events.emplace_back(text);
    };
}

Gles3Functions fake_functions() {
    Gles3Functions f{};
#define DADADAZO_STUB(type, name) stub(&f.name);
    DADADAZO_GLES3_FUNCTIONS(DADADAZO_STUB)
#undef DADADAZO_STUB
    fake_shader_functions(f);
    fake_buffer_functions(f);
    fake_draw_functions(f);
    return f;
}

class PortableGlState : public testing::Test {
  protected:
    void SetUp() override {
        fake = FakeContext{};
        open(24);
    }
    void TearDown() override {
        portable_gl_make_current(nullptr);
        portable_gl_close(renderer);
    }

    void open(int depth_bits, float largest_sprite = 0.0f, float widest_line = 0.0f) {
        portable_gl_close(renderer);
        fake.depth_bits = depth_bits;
        fake.largest_sprite = largest_sprite;
        fake.widest_line = widest_line;
        std::string error;
        renderer = portable_gl_open(fake_functions(), ShaderDialect::es300, width, height, &error);
        ASSERT_NE(renderer, nullptr) << error;
        portable_gl_make_current(renderer);
    }

    // The quads of the frame's draw calls, in the order of their primitives.
    std::vector<PortableVertex> drawn() {
        portable_gl_finish_frame(renderer);
        std::vector<std::array<PortableVertex, portable_vertices_per_quad>> quads;
        for (const Draw& draw : fake.draws) {
            for (std::size_t v = 0; v < draw.vertices.size(); v += portable_vertices_per_quad) {
                quads.push_back({draw.vertices[v], draw.vertices[v + 1], draw.vertices[v + 2],
                                 draw.vertices[v + 3]});
            }
        }
        std::stable_sort(quads.begin(), quads.end(),
                         [](const auto& a, const auto& b) { return a[0].order < b[0].order; });
        std::vector<PortableVertex> corners;
        for (const auto& quad : quads) {
            corners.insert(corners.end(), quad.begin(), quad.end());
        }
        return corners;
    }

    static void point_at(double x, double y) {
        glBegin(GL_POINTS);
        glVertex2d(x, y);
        glEnd();
    }

    static constexpr int width = 400;
    static constexpr int height = 200;
    PortableGl* renderer = nullptr;
};

// The window position of quad `q` (its centre), origin at the bottom left.
void expect_centre(const std::vector<PortableVertex>& v, std::size_t q, float x, float y) {
    ASSERT_GE(v.size(), (q + 1) * portable_vertices_per_quad);
    const PortableVertex* c = &v[q * portable_vertices_per_quad];
    EXPECT_NEAR((c[0].x + c[2].x) / 2, x, 1e-3) << "quad " << q;
    EXPECT_NEAR((c[0].y + c[2].y) / 2, y, 1e-3) << "quad " << q;
}

TEST_F(PortableGlState, MatrixStackAndTheOrderOfScaleAndRotation) {
    glEnable(GL_POINT_SMOOTH);
    // Scale, then rotate: the vertex is rotated first, then squeezed, as OpenGL multiplies.
    glPushMatrix();
    glScaled(0.5, 1.0, 0.0);
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
    point_at(0.5, 0.0); // rotated to (0, 0.5), then scaled: (0, 0.5)
    point_at(0.0, 0.5); // rotated to (-0.5, 0), then scaled: (-0.25, 0)
    glPushMatrix();
    glRotatef(-90.0f, 0.0f, 0.0f, 1.0f);
    point_at(0.5, 0.0); // back to unrotated, scaled: (0.25, 0)
    glPopMatrix();
    point_at(0.5, 0.0); // the inner rotation is gone again
    glPopMatrix();
    point_at(0.5, 0.5); // identity
    // A pop of the last matrix is refused and changes nothing.
    glPopMatrix();
    point_at(0.5, 0.5);
    const std::vector<PortableVertex> v = drawn();
    ASSERT_EQ(v.size(), 6u * portable_vertices_per_quad);
    expect_centre(v, 0, 200, 150);
    expect_centre(v, 1, 150, 100);
    expect_centre(v, 2, 250, 100);
    expect_centre(v, 3, 200, 150);
    expect_centre(v, 4, 300, 150);
    expect_centre(v, 5, 300, 150);
}

TEST_F(PortableGlState, AStackDeeperThanOpenGlPromisesRefusesThePushAndStaysBalanced) {
    glEnable(GL_POINT_SMOOTH);
    for (int i = 0; i < 40; ++i) {
        glPushMatrix();
        glScaled(0.5, 0.5, 1.0); // only the first 31 pushes take; the scales go on the 32nd
    }
    for (int i = 0; i < 40; ++i) {
        glPopMatrix();
    }
    point_at(0.5, 0.5);
    const std::vector<PortableVertex> v = drawn();
    expect_centre(v, 0, 300, 150);
}

TEST_F(PortableGlState, ColourIsCarriedPerVertexAndClamped) {
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex2d(-0.5, 0.0);
    glColor3f(0.0f, 2.0f, -1.0f);
    glVertex2d(0.5, 0.0);
    glEnd();
    glEnable(GL_POINT_SMOOTH);
    glBegin(GL_POINTS);
    glColor3f(0.25f, 0.5f, 0.75f);
    glVertex2d(0.0, 0.0);
    glColor3f(0.5f, 0.5f, 0.5f);
    glEnd();
    const std::vector<PortableVertex> v = drawn();
    ASSERT_EQ(v.size(), 2u * portable_vertices_per_quad);
    // The line's corners at its first end are red, at its second green (clamped to 0..1).
    for (int corner : {0, 3}) {
        EXPECT_EQ(v[corner].r, 1.0f);
        EXPECT_EQ(v[corner].g, 0.0f);
        EXPECT_NEAR(v[corner].x, 100.0f, 1e-3);
    }
    for (int corner : {1, 2}) {
        EXPECT_EQ(v[corner].r, 0.0f);
        EXPECT_EQ(v[corner].g, 1.0f);
        EXPECT_EQ(v[corner].b, 0.0f);
        EXPECT_NEAR(v[corner].x, 300.0f, 1e-3);
    }
    // The point has the colour current at its vertex, not the one set after it.
    for (int corner = 4; corner < 8; ++corner) {
        EXPECT_EQ(v[corner].r, 0.25f);
        EXPECT_EQ(v[corner].g, 0.5f);
        EXPECT_EQ(v[corner].b, 0.75f);
    }
}

TEST_F(PortableGlState, PointSizeAndLineWidthHoldPerBatch) {
    glEnable(GL_POINT_SMOOTH);
    glPointSize(10.0f);
    point_at(0.0, 0.0);
    glBegin(GL_POINTS);
    glPointSize(12.0f); // refused between glBegin and glEnd
    glVertex2d(0.0, 0.0);
    glEnd();
    glPointSize(3.0f);
    point_at(0.0, 0.0);
    glPointSize(-1.0f); // refused
    point_at(0.0, 0.0);
    // An x-major line of width 2 reaches a pixel up and down; a y-major one left and right.
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    glVertex2d(-0.5, 0.0);
    glVertex2d(0.5, 0.1);
    glEnd();
    glLineWidth(6.0f);
    glBegin(GL_LINES);
    glVertex2d(0.0, -0.5);
    glVertex2d(0.1, 0.5);
    glEnd();
    const std::vector<PortableVertex> v = drawn();
    ASSERT_EQ(v.size(), 6u * portable_vertices_per_quad);
    const float radii[] = {5.0f, 5.0f, 1.5f, 1.5f};
    for (std::size_t q = 0; q < 4; ++q) {
        EXPECT_FLOAT_EQ(v[q * portable_vertices_per_quad].radius_sq, radii[q] * radii[q])
            << "point " << q;
        EXPECT_EQ(v[q * portable_vertices_per_quad].order, static_cast<float>(q));
    }
    const PortableVertex* x_major = &v[4 * portable_vertices_per_quad];
    EXPECT_LT(x_major[0].radius_sq, 0.0f);
    EXPECT_FLOAT_EQ(x_major[3].y - x_major[0].y, 2.0f);
    EXPECT_FLOAT_EQ(x_major[3].x, x_major[0].x);
    const PortableVertex* y_major = &v[5 * portable_vertices_per_quad];
    EXPECT_FLOAT_EQ(y_major[3].x - y_major[0].x, 6.0f);
    EXPECT_FLOAT_EQ(y_major[3].y, y_major[0].y);
}

// The pixel rectangle of quad `q`: left, bottom, right, top.
std::array<float, 4> rectangle(const std::vector<PortableVertex>& v, std::size_t q) {
    const PortableVertex* c = &v[q * portable_vertices_per_quad];
    return {c[0].x, c[0].y, c[2].x, c[2].y};
}

TEST_F(PortableGlState, LargePointsStopAtTheLimitAndOnlyWhatMayShowIsDrawn) {
    glEnable(GL_POINT_SMOOTH);
    glColor3f(0.0f, 1.0f, 0.0f);
    glPointSize(200.0f);
    point_at(0.0, 0.0); // at 200,100: hidden wholly by the next one
    glPointSize(410.0f);
    EXPECT_EQ(portable_gl_point_size(renderer), 410.0f);
    point_at(0.0, 0.0); // at 200,100: its left part shows
    point_at(0.1, 0.0); // at 220,100
    glBegin(GL_LINES);  // under nothing: drawn whole
    glVertex2d(-0.5, 0.0);
    glVertex2d(0.5, 0.0);
    glEnd();
    const std::vector<PortableVertex> v = drawn();
    ASSERT_EQ(v.size() % portable_vertices_per_quad, 0u);
    const std::size_t quads = v.size() / portable_vertices_per_quad;
    ASSERT_GE(quads, 3u);
    const float radius = portable_point_size_limit / 2;
    float lowest[2] = {1e9f, 1e9f}, highest[2] = {-1e9f, -1e9f};
    float rightmost[2] = {-1e9f, -1e9f};
    for (std::size_t q = 0; q + 1 < quads; ++q) {
        const PortableVertex& corner = v[q * portable_vertices_per_quad];
        ASSERT_GE(corner.order, 1.0f) << "the first point is hidden by the second";
        ASSERT_LE(corner.order, 2.0f);
        if (q > 0) {
            EXPECT_GE(corner.order, v[(q - 1) * portable_vertices_per_quad].order);
        }
        EXPECT_FLOAT_EQ(corner.radius_sq, radius * radius);
        EXPECT_EQ(corner.g, 1.0f);
        const auto point = static_cast<std::size_t>(corner.order) - 1;
        const std::array<float, 4> box = rectangle(v, q);
        lowest[point] = std::min(lowest[point], box[1]);
        highest[point] = std::max(highest[point], box[3]);
        rightmost[point] = std::max(rightmost[point], box[2]);
        EXPECT_GE(box[0], corner.centre_x - radius - 1.0f);
        EXPECT_LE(box[2], corner.centre_x + radius + 1.0f);
    }
    // The last point shows whole (clipped to the window's 200 rows); of the one before only its
    // left crescent, widest on the rows furthest from the centre: on the bottom row (99.5 below
    // it) the last point reaches left to 220 - sqrt(127.5^2 - 99.5^2) = 140.28, so pixel 139 is
    // the last one showing there.
    EXPECT_EQ(lowest[1], 0.0f);
    EXPECT_EQ(highest[1], 200.0f);
    EXPECT_EQ(lowest[0], 0.0f);
    EXPECT_EQ(highest[0], 200.0f);
    EXPECT_GE(rightmost[0], 140.0f);
    EXPECT_LE(rightmost[0], 141.0f);
    // The line comes last, whole.
    const PortableVertex& line = v[(quads - 1) * portable_vertices_per_quad];
    EXPECT_LT(line.radius_sq, 0.0f);
    EXPECT_EQ(line.order, 3.0f);
    EXPECT_NEAR(line.x, 100.0f, 1e-3);
}

// For every pixel, the place in the order of the last primitive that lights it (-1: none), as a
// rasteriser draws `quads` with the renderer's shader: pixel centres inside a quad, and for round
// points within the disc, computed in single floats as the shader does.
std::vector<int> last_lit(const std::vector<PortableVertex>& quads, int width, int height) {
    std::vector<int> winner(static_cast<std::size_t>(width * height), -1);
    for (std::size_t q = 0; q < quads.size(); q += portable_vertices_per_quad) {
        const PortableVertex& c = quads[q];
        const float left = std::min(c.x, quads[q + 2].x), right = std::max(c.x, quads[q + 2].x);
        const float bottom = std::min(c.y, quads[q + 2].y), top = std::max(c.y, quads[q + 2].y);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
                if (px <= left || px >= right || py <= bottom || py >= top) {
                    continue;
                }
                const float dx = px - c.centre_x, dy = py - c.centre_y;
                if (dx * dx + dy * dy > c.radius_sq) {
                    continue;
                }
                int& w = winner[static_cast<std::size_t>(y * width + x)];
                w = std::max(w, static_cast<int>(c.order));
            }
        }
    }
    return winner;
}

TEST_F(PortableGlState, CullingLargePointsNeverChangesAPixel) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> place(-1.0, 1.0);
    std::uniform_real_distribution<float> size(16.0f, 300.0f);
    glEnable(GL_POINT_SMOOTH);
    for (int frame = 0; frame < 12; ++frame) {
        fake.draws.clear();
        glClear(GL_COLOR_BUFFER_BIT);
        std::vector<PortableVertex> whole; // every point as its whole square
        for (int point = 0; point < 40; ++point) {
            const double x = place(random), y = place(random);
            const float point_size = size(random);
            glPointSize(point_size);
            point_at(x, y);
            // The window position as the renderer computes it (identity matrix).
            const float wx = static_cast<float>(x) / 1.0f * (width * 0.5f) + width * 0.5f;
            const float wy = static_cast<float>(y) / 1.0f * (height * 0.5f) + height * 0.5f;
            const float radius = std::min(point_size, portable_point_size_limit) * 0.5f;
            const float reach = radius + 1.0f;
            for (int corner = 0; corner < 4; ++corner) {
                const float cx = corner == 1 || corner == 2 ? wx + reach : wx - reach;
                const float cy = corner >= 2 ? wy + reach : wy - reach;
                whole.push_back(PortableVertex{cx, cy, static_cast<float>(point), 0, 0, 0, wx, wy,
                                               radius * radius});
            }
        }
        const std::vector<PortableVertex> culled = drawn();
        // Within the window, the bands cover far fewer pixels than the whole squares.
        const auto area = [](const std::vector<PortableVertex>& quads) {
            double sum = 0.0;
            for (std::size_t q = 0; q < quads.size(); q += portable_vertices_per_quad) {
                const auto clip = [](float v, int limit) {
                    return std::clamp(static_cast<double>(v), 0.0, static_cast<double>(limit));
                };
                sum += std::fabs(clip(quads[q + 2].x, width) - clip(quads[q].x, width)) *
                       std::fabs(clip(quads[q + 2].y, height) - clip(quads[q].y, height));
            }
            return sum;
        };
        EXPECT_LT(area(culled), area(whole) / 2) << "frame " << frame;
        const std::vector<int> expected = last_lit(whole, width, height);
        const std::vector<int> actual = last_lit(culled, width, height);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(actual[i], expected[i])
                << "frame " << frame << ", pixel " << i % width << "," << i / width;
        }
    }
}

TEST_F(PortableGlState, OneDrawPerKindAndAClearDropsWhatCameBefore) {
    glEnable(GL_POINT_SMOOTH);
    point_at(0.0, 0.0);
    glClear(GL_COLOR_BUFFER_BIT);
    for (int batch = 0; batch < 3; ++batch) {
        glPointSize(static_cast<float>(5 + batch));
        point_at(0.1 * batch, 0.0);
        glBegin(GL_LINES);
        glVertex2d(0.0, 0.0);
        glVertex2d(0.5, 0.5);
        glVertex2d(0.0, 0.0); // the odd vertex makes no line
        glEnd();
    }
    // Outside the view: the point is dropped, the line is kept (the viewport clips it).
    point_at(1.5, 0.0);
    glBegin(GL_LINES);
    glVertex2d(0.5, 0.0);
    glVertex2d(1.5, 0.0);
    glEnd();
    const std::vector<PortableVertex> v = drawn();
    // Lines go through a shader that drops nothing, round points through one that drops what
    // lies outside the disc.
    EXPECT_EQ(fake.events, (std::vector<std::string>{"clear 0x4100", "solid 4", "draw 3"}));
    ASSERT_EQ(v.size(), 7u * portable_vertices_per_quad);
    for (std::size_t q = 0; q < 7; ++q) {
        EXPECT_EQ(v[q * portable_vertices_per_quad].order, static_cast<float>(q));
    }
    // Against the depth buffer each draw goes from its last quad to its first.
    for (const Draw& draw : fake.draws) {
        for (std::size_t c = portable_vertices_per_quad; c < draw.vertices.size();
             c += portable_vertices_per_quad) {
            EXPECT_LT(draw.vertices[c].order, draw.vertices[c - portable_vertices_per_quad].order);
        }
    }
    // Nothing more to draw: finishing again draws nothing.
    portable_gl_finish_frame(renderer);
    EXPECT_EQ(fake.draws.size(), 2u);
}

// Where the context draws them: small round points as sprites, lines as lines.
TEST_F(PortableGlState, SpritesAndLinesTheContextDrawsKeepTheirOrderWithTheQuads) {
    open(24, 12.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_POINT_SMOOTH);
    glPointSize(10.0f);
    point_at(0.0, 0.0); // a sprite 10.5 pixels across
    glPointSize(14.0f);
    point_at(0.5, 0.0); // a sprite would be 14.5 pixels, more than the context draws: a quad
    glBegin(GL_LINES);  // a quad
    glVertex2d(-0.5, 0.0);
    glVertex2d(0.5, 0.0);
    glEnd();
    glPointSize(3.0f);
    point_at(0.0, 0.5); // a sprite
    portable_gl_finish_frame(renderer);
    const std::vector<PortableVertex> quads = drawn();
    EXPECT_EQ(fake.events,
              (std::vector<std::string>{"clear 0x4100", "solid 1", "draw 1", "sprites 2"}));
    ASSERT_EQ(fake.sprites.size(), 2u);
    // A sprite is one vertex at the point, with its place among all the frame's primitives.
    EXPECT_EQ(fake.sprites[0].order, 0.0f);
    EXPECT_EQ(fake.sprites[0].x, 200.0f);
    EXPECT_EQ(fake.sprites[0].y, 100.0f);
    EXPECT_EQ(fake.sprites[0].radius_sq, 25.0f);
    EXPECT_EQ(fake.sprites[1].order, 3.0f);
    EXPECT_EQ(fake.sprites[1].radius_sq, 2.25f);
    ASSERT_EQ(quads.size(), 2u * portable_vertices_per_quad);
    EXPECT_EQ(quads.front().order, 1.0f);
    EXPECT_EQ(quads.back().order, 2.0f);

    // Lines as wide as the context draws go as two vertices each, with the width to draw them;
    // a line of another width in the same batch goes as a quad.
    open(24, 0.0f, 4.0f);
    glLineWidth(2.0f);
    glBegin(GL_LINES);
    glVertex2d(-0.5, 0.0);
    glVertex2d(0.5, 0.0);
    glEnd();
    glLineWidth(3.0f);
    glBegin(GL_LINES);
    glVertex2d(0.0, -0.5);
    glVertex2d(0.0, 0.5);
    glEnd();
    glLineWidth(8.0f); // wider than the context draws: a quad
    glBegin(GL_LINES);
    glVertex2d(0.0, -0.5);
    glVertex2d(0.5, 0.5);
    glEnd();
    fake.events.clear();
    portable_gl_finish_frame(renderer);
    EXPECT_EQ(fake.events, (std::vector<std::string>{"clear 0x100", "solid 2", "lines 1"}));
    EXPECT_EQ(fake.line_width, 2.0f);
    ASSERT_EQ(fake.lines.size(), 2u);
    EXPECT_EQ(fake.lines[0].order, 0.0f);
    EXPECT_EQ(fake.lines[0].x, 100.0f);
    EXPECT_EQ(fake.lines[1].x, 300.0f);
    EXPECT_EQ(fake.lines[1].y, 100.0f);
}

TEST_F(PortableGlState, EveryFrameOfTheShowIsOneDrawPerKind) {
    const DisplayMode mode{width, height, false};
    DriftState drift{0.0f, 0.0f, 0.0f};
    // Each frame prints its clock: send it nowhere while drawing.
    std::fflush(stdout);
    const int saved_stdout = dup(1);
    const int nowhere = ::open("/dev/null", O_WRONLY);
    ASSERT_GE(saved_stdout, 0);
    ASSERT_GE(nowhere, 0);
    dup2(nowhere, 1);
    close(nowhere);
    // Without sprites one draw of quads; with them the wave field, clouds and rows are one draw
    // of sprites, the swell (large points) one of quads. The rosettes are lines: one draw of
    // quads that drop nothing, or of lines where the context draws them.
    const std::vector<long long> readings = {2500, 10000, 16000, 30000, 45000, 60000};
    std::vector<std::vector<std::string>> without, with;
    for (const bool sprites : {false, true}) {
        open(24, sprites ? 64.0f : 0.0f, sprites ? 8.0f : 0.0f);
        for (const long long reading : readings) {
            fake.events.clear();
            const SceneClock clock = scene_clock_from_ms(reading);
            draw_frame(clock.t, clock.t_f, mode, drift);
            portable_gl_finish_frame(renderer);
            for (std::string& event : fake.events) {
                event = event.substr(0, event.find(' '));
            }
            (sprites ? with : without).push_back(fake.events);
        }
    }
    std::fflush(stdout);
    dup2(saved_stdout, 1);
    close(saved_stdout);
    using Events = std::vector<std::string>;
    const Events quads = {"clear", "draw"}, sprites = {"clear", "sprites"};
    const Events lines = {"clear", "solid"};
    EXPECT_EQ(without, (std::vector<Events>{quads, lines, quads, quads, quads, quads}));
    const Events native_lines = {"clear", "lines"};
    EXPECT_EQ(with, (std::vector<Events>{sprites, native_lines, sprites, sprites, sprites, quads}));
}

TEST(PortableGlOpen, AShaderThatDoesNotCompileOrADrawableWithoutDepthIsReported) {
    fake = FakeContext{};
    fake.compiles = false;
    std::string error;
    EXPECT_EQ(portable_gl_open(fake_functions(), ShaderDialect::glsl330, 64, 64, &error), nullptr);
    EXPECT_NE(error.find("does not compile: 0:3: syntax error"), std::string::npos) << error;
    fake.compiles = true;
    EXPECT_EQ(portable_gl_open(fake_functions(), ShaderDialect::glsl330, 0, 64, &error), nullptr);
    EXPECT_NE(error.find("no pixels"), std::string::npos) << error;
    // Nothing keeps sprites and quads in order without a depth buffer.
    fake.depth_bits = 0;
    EXPECT_EQ(portable_gl_open(fake_functions(), ShaderDialect::glsl330, 64, 64, &error), nullptr);
    EXPECT_NE(error.find("0 depth bits"), std::string::npos) << error;
}

} // namespace
