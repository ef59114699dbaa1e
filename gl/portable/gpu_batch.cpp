#include "gl/portable/gpu_batch.h"

#include "gl/portable/limits.h"
#include "gl/portable/portable_vertex.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace portable {
namespace {

constexpr unsigned int gl_program_point_size = 0x8642; // desktop OpenGL 3.2 and later only

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

// Round points: the pixels whose centres lie outside the disc are dropped.
const char* const disc_fragment_shader_body = R"(
in vec3 v_colour;
flat in vec3 v_disc;
layout(location = 0) out vec4 o_colour;
void main() {
    vec2 offset = gl_FragCoord.xy - v_disc.xy;
    if (dot(offset, offset) > v_disc.z) {
        discard;
    }
    o_colour = vec4(v_colour, 1.0);
}
)";

// Lines and square points light their whole quad. Without a discard a rasteriser may test depth
// before shading, and software ones draw such quads much faster.
const char* const solid_fragment_shader_body = R"(
in vec3 v_colour;
layout(location = 0) out vec4 o_colour;
void main() {
    o_colour = vec4(v_colour, 1.0);
}
)";

std::string shader_source(ShaderDialect dialect, const char* body) {
    return shader_preamble(dialect) + std::string(body);
}

unsigned int link_program(const Gles3Functions& gl, ShaderDialect dialect,
                          const char* fragment_shader_body, std::string* error) {
    return build_shader_program(gl, shader_source(dialect, vertex_shader_body),
                                shader_source(dialect, fragment_shader_body), error);
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

// The vertex array: one buffer of PortableVertex, the quads' corners indexed by another.
void make_vertex_array(GpuBatch& gpu) {
    const Gles3Functions& gl = gpu.gl;
    gl.GenVertexArrays(1, &gpu.vertex_array);
    gl.GenBuffers(1, &gpu.vertex_buffer);
    gl.GenBuffers(1, &gpu.index_buffer);
    gl.BindVertexArray(gpu.vertex_array);
    gl.BindBuffer(GL_ARRAY_BUFFER, gpu.vertex_buffer);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, gpu.index_buffer);
    const auto stride = static_cast<GLsizei>(sizeof(PortableVertex));
    const std::size_t offsets[3] = {offsetof(PortableVertex, x), offsetof(PortableVertex, r),
                                    offsetof(PortableVertex, centre_x)};
    for (GLuint attribute = 0; attribute < 3; ++attribute) {
        gl.EnableVertexAttribArray(attribute);
        gl.VertexAttribPointer(attribute, 3, GL_FLOAT, GL_FALSE, stride,
                               reinterpret_cast<const void*>(offsets[attribute]));
    }
}

// Index buffer of at least `quads` quads, each two triangles, listed last to first: the last n
// indices' quads draw quads n-1 down to 0.
void ensure_indices(GpuBatch& gpu, std::size_t quads) {
    if (quads <= gpu.index_capacity) {
        return;
    }
    std::size_t capacity = std::max(gpu.index_capacity, first_index_capacity);
    while (capacity < quads) {
        capacity *= 2;
    }
    std::vector<std::uint32_t> indices(capacity * portable_indices_per_quad);
    for (std::size_t position = 0; position < capacity; ++position) {
        const std::size_t quad = capacity - 1 - position;
        const auto base = static_cast<std::uint32_t>(quad * portable_vertices_per_quad);
        std::uint32_t* out = &indices[position * portable_indices_per_quad];
        out[0] = base;
        out[1] = base + 1;
        out[2] = base + 2;
        out[3] = base;
        out[4] = base + 2;
        out[5] = base + 3;
    }
    gpu.gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, gpu.index_buffer);
    gpu.gl.BufferData(GL_ELEMENT_ARRAY_BUFFER,
                      static_cast<GLsizeiptr>(indices.size() * sizeof(std::uint32_t)),
                      indices.data(), GL_STATIC_DRAW);
    gpu.index_capacity = capacity;
}

// The depth test, and the clear of a new frame; a batch after another in the same frame covers
// it whatever their depths, so it clears the depth buffer alone.
void start_pass(const GpuBatch& gpu, Batch& batch) {
    const Gles3Functions& gl = gpu.gl;
    gl.BindVertexArray(gpu.vertex_array);
    gl.Viewport(0, 0, gpu.width, gpu.height);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.DepthMask(GL_TRUE);
    if (batch.clear_pending) {
        gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        batch.clear_pending = false;
    } else if (batch.primitives > 0) {
        gl.Clear(GL_DEPTH_BUFFER_BIT);
    }
}

void use_program(const GpuBatch& gpu, const GpuProgram& program, std::size_t primitives) {
    const Gles3Functions& gl = gpu.gl;
    gl.UseProgram(program.id);
    if (gpu.dialect == ShaderDialect::glsl330) {
        // Desktop OpenGL takes the sprite size from the shader only when asked to.
        gl.Enable(gl_program_point_size);
    }
    gl.Uniform2f(program.half_size_location, static_cast<float>(gpu.width) * 0.5f,
                 static_cast<float>(gpu.height) * 0.5f);
    gl.Uniform1f(program.count_location, static_cast<float>(primitives));
}

// Round points' quads, the solid quads, the lines, then the sprites, one after the other in the
// one vertex buffer, whose storage is kept from frame to frame: new storage for every frame costs
// a software renderer fresh memory pages each time.
void upload(GpuBatch& gpu, const Batch& batch) {
    const Gles3Functions& gl = gpu.gl;
    gl.BindBuffer(GL_ARRAY_BUFFER, gpu.vertex_buffer);
    const std::vector<PortableVertex>* parts[] = {&batch.discs, &batch.solids, &batch.lines,
                                                  &batch.sprites};
    std::size_t bytes = 0;
    for (const std::vector<PortableVertex>* part : parts) {
        bytes += part->size() * sizeof(PortableVertex);
    }
    if (bytes > gpu.vertex_capacity) {
        gpu.vertex_capacity = std::max(bytes, gpu.vertex_capacity * 2);
        gl.BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(gpu.vertex_capacity), nullptr,
                      GL_DYNAMIC_DRAW);
    }
    std::size_t offset = 0;
    for (const std::vector<PortableVertex>* part : parts) {
        const std::size_t part_bytes = part->size() * sizeof(PortableVertex);
        if (part_bytes > 0) {
            gl.BufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset),
                             static_cast<GLsizeiptr>(part_bytes), part->data());
        }
        offset += part_bytes;
    }
}

// Quads [first, first + count) of the vertex buffer, last to first.
void draw_quads(GpuBatch& gpu, std::size_t first, std::size_t count) {
    if (count == 0) {
        return;
    }
    ensure_indices(gpu, first + count);
    const std::size_t position = gpu.index_capacity - (first + count);
    gpu.gl.DrawElements(GL_TRIANGLES, static_cast<GLsizei>(count * portable_indices_per_quad),
                        GL_UNSIGNED_INT,
                        reinterpret_cast<const void*>(position * portable_indices_per_quad *
                                                      sizeof(std::uint32_t)));
}

// Both programs share the vertex shader and its uniforms.
bool open_program(const Gles3Functions& gl, ShaderDialect dialect, const char* fragment_body,
                  GpuProgram* program, std::string* error) {
    program->id = link_program(gl, dialect, fragment_body, error);
    if (program->id == 0) {
        return false;
    }
    program->half_size_location = gl.GetUniformLocation(program->id, "u_half_size");
    program->count_location = gl.GetUniformLocation(program->id, "u_count");
    return true;
}

// Solids and lines first: the depth test keeps the order whichever kind comes first.
void draw_batch(GpuBatch& gpu, const Batch& batch) {
    const Gles3Functions& gl = gpu.gl;
    const std::size_t discs = batch.discs.size() / portable_vertices_per_quad;
    const std::size_t solids = batch.solids.size() / portable_vertices_per_quad;
    const std::size_t line_vertices = batch.lines.size();
    const std::size_t quad_vertices = (discs + solids) * portable_vertices_per_quad;
    if (solids > 0 || line_vertices > 0) {
        use_program(gpu, gpu.solids, batch.primitives);
        draw_quads(gpu, discs, solids);
    }
    if (line_vertices > 0) {
        gl.LineWidth(batch.line_width);
        gl.DrawArrays(GL_LINES, static_cast<GLint>(quad_vertices),
                      static_cast<GLsizei>(line_vertices));
    }
    if (discs > 0 || !batch.sprites.empty()) {
        use_program(gpu, gpu.discs, batch.primitives);
        draw_quads(gpu, 0, discs);
    }
    if (!batch.sprites.empty()) {
        gl.DrawArrays(GL_POINTS, static_cast<GLint>(quad_vertices + line_vertices),
                      static_cast<GLsizei>(batch.sprites.size()));
    }
}

} // namespace

bool gpu_batch_open(const Gles3Functions& functions, ShaderDialect dialect, int width, int height,
                    GpuBatch* gpu, std::string* error) {
    const int bits = depth_bits(functions);
    if (bits < min_depth_bits) {
        *error = "the drawable has " + std::to_string(bits) + " depth bits, fewer than " +
                 std::to_string(min_depth_bits);
        return false;
    }
    *gpu = GpuBatch{};
    gpu->gl = functions;
    if (!open_program(functions, dialect, disc_fragment_shader_body, &gpu->discs, error) ||
        !open_program(functions, dialect, solid_fragment_shader_body, &gpu->solids, error)) {
        functions.DeleteProgram(gpu->discs.id);
        return false;
    }
    gpu->dialect = dialect;
    gpu->width = width;
    gpu->height = height;
    GLfloat sprite_range[2] = {0.0f, 0.0f};
    functions.GetFloatv(GL_ALIASED_POINT_SIZE_RANGE, sprite_range);
    gpu->sprite_limit = sprite_range[1];
    // OpenGL ES draws every line width in this range; a desktop core context may refuse widths
    // above 1 (a forward-compatible one does), so there lines stay quads.
    GLfloat line_range[2] = {0.0f, 0.0f};
    if (dialect == ShaderDialect::es300) {
        functions.GetFloatv(GL_ALIASED_LINE_WIDTH_RANGE, line_range);
    }
    gpu->line_limit = line_range[1];
    gpu->batch_limit = std::size_t{1} << (std::min(bits, max_depth_bits) - depth_margin_bits);
    make_vertex_array(*gpu);
    return true;
}

void gpu_batch_close(GpuBatch& gpu) {
    gpu.gl.DeleteBuffers(1, &gpu.vertex_buffer);
    gpu.gl.DeleteBuffers(1, &gpu.index_buffer);
    gpu.gl.DeleteVertexArrays(1, &gpu.vertex_array);
    gpu.gl.DeleteProgram(gpu.discs.id);
    gpu.gl.DeleteProgram(gpu.solids.id);
    gpu = GpuBatch{};
}

void gpu_batch_flush(GpuBatch& gpu, Batch& batch, Culling& culling) {
    if (batch.primitives == 0 && !batch.clear_pending) {
        return;
    }
    start_pass(gpu, batch);
    if (batch.primitives > 0) {
        if (batch.has_large_points) {
            cull_large_points(culling, batch.discs, gpu.width, gpu.height);
        }
        upload(gpu, batch);
        draw_batch(gpu, batch);
    }
    reset_batch(batch);
}

} // namespace portable
