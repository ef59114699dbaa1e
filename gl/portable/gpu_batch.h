// The GPU side of the portable renderer: its shader program, vertex and index buffers, and the
// draw of one batch. Every primitive of a batch gets a depth of its own (later ones nearer) and
// the quads are drawn last to first against the depth buffer, so hidden fragments can be rejected
// before shading; small round points go as point sprites in a draw call of their own, kept in
// order with the quads by the same depth test. Lines and square points have a shader of their own
// that drops nothing; where an OpenGL ES context draws lines of the width asked for, lines go to
// it as lines.
#pragma once

#include "gl/portable/cull.h"
#include "gl/portable/gles3.h"
#include "gl/portable/primitives.h"

#include <cstddef>
#include <string>

namespace portable {

// A shader program and where its uniforms are.
struct GpuProgram {
    unsigned int id = 0;
    int half_size_location = -1;
    int count_location = -1;
};

struct GpuBatch {
    Gles3Functions gl{};
    ShaderDialect dialect = ShaderDialect::es300;
    int width = 0;
    int height = 0;
    GpuProgram discs;  // round points: drops the pixels outside the disc
    GpuProgram solids; // lines and square points: lights the whole quad
    unsigned int vertex_array = 0;
    unsigned int vertex_buffer = 0;
    unsigned int index_buffer = 0;
    std::size_t index_capacity = 0;  // quads the index buffer holds
    std::size_t vertex_capacity = 0; // bytes the vertex buffer holds
    std::size_t batch_limit = 0;     // most primitives one batch may hold (depth precision)
    float sprite_limit = 0.0f;       // largest point sprite the context draws
    float line_limit = 0.0f;         // widest line the context draws itself; 0: none
};

// Compiles the shaders and makes the buffers, in the current context whose drawable is
// width x height and has a depth buffer. false + error on failure (compile/link log included).
bool gpu_batch_open(const Gles3Functions& functions, ShaderDialect dialect, int width, int height,
                    GpuBatch* gpu, std::string* error);

void gpu_batch_close(GpuBatch& gpu);

// Draws `batch` (its clear first, where one is pending) and empties it.
void gpu_batch_flush(GpuBatch& gpu, Batch& batch, Culling& culling);

} // namespace portable
