#include "gl/portable/portable_gl.h"

#include "gl/portable/cull.h"
#include "gl/portable/gentle.h"
#include "gl/portable/gl11_state.h"
#include "gl/portable/gpu_batch.h"
#include "gl/portable/primitives.h"
#include "gl/record/gl_record.h"

// The renderer is its four parts: the OpenGL 1.1 state, the batch the primitives go into, the
// culling scratch and the GPU objects that draw a batch.
struct PortableGl {
    portable::Gl11State state;
    portable::Drawable drawable;
    portable::Batch batch;
    portable::Culling culling;
    portable::GpuBatch gpu;
    portable::GentleStep gentle; // when on, it dims the drawn frame where it would flash
    bool gentle_on = false;
    double frame_seconds = 0.0;
};

namespace {

void flush(PortableGl& r) {
    portable::gpu_batch_flush(r.gpu, r.batch, r.culling);
}

// Every call of the frame, in order.
void draw_call(const GlCall& call, void* context) {
    PortableGl& r = *static_cast<PortableGl*>(context);
    switch (call.entry) {
    case GlEntry::vertex2d:
        if (portable::inside_begin(r.state)) {
            // Each primitive needs a depth of its own: a full batch is drawn first.
            if (r.batch.primitives >= r.gpu.batch_limit) {
                flush(r);
            }
            portable::add_vertex(r.state, r.drawable, r.batch, call.d[0], call.d[1]);
        }
        return;
    case GlEntry::clear:
        if (!portable::inside_begin(r.state) && (call.e & gl11_color_buffer_bit) != 0) {
            portable::clear_batch(r.batch);
        }
        return;
    default:
        portable::apply_state_call(r.state, call);
        return;
    }
}

} // namespace

PortableGl* portable_gl_open(const Gles3Functions& functions, ShaderDialect dialect, int width,
                             int height, std::string* error) {
    if (width <= 0 || height <= 0) {
        *error = "the drawable has no pixels";
        return nullptr;
    }
    portable::GpuBatch gpu;
    if (!portable::gpu_batch_open(functions, dialect, width, height, &gpu, error)) {
        return nullptr;
    }
    auto* renderer = new PortableGl{};
    renderer->gpu = gpu;
    renderer->drawable = portable::Drawable{width, height, gpu.sprite_limit, gpu.line_limit};
    return renderer;
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
    if (renderer->gentle_on) {
        portable::gentle_show(renderer->gentle, renderer->frame_seconds);
    }
}

bool portable_gl_set_gentle(PortableGl* renderer, bool on, std::string* error) {
    if (on == renderer->gentle_on) {
        return true;
    }
    if (!on) {
        portable::gentle_close(renderer->gentle);
        renderer->gentle_on = false;
        return true;
    }
    const portable::GpuBatch& gpu = renderer->gpu;
    renderer->gentle_on =
        portable::gentle_open(gpu.gl, gpu.dialect, gpu.width, gpu.height, &renderer->gentle, error);
    return renderer->gentle_on;
}

void portable_gl_set_frame_time(PortableGl* renderer, double seconds) {
    renderer->frame_seconds = seconds;
}

void portable_gl_close(PortableGl* renderer) {
    if (renderer == nullptr) {
        return;
    }
    portable::gentle_close(renderer->gentle);
    portable::gpu_batch_close(renderer->gpu);
    delete renderer;
}

bool portable_gl_rebuild(PortableGl* renderer, std::string* error) {
    const portable::GpuBatch old = renderer->gpu;
    // The old names are let go; they stand for nothing in the new context.
    const bool gentle = renderer->gentle_on;
    portable::gentle_close(renderer->gentle);
    renderer->gentle_on = false;
    portable::gpu_batch_close(renderer->gpu);
    renderer->gpu.gl = old.gl;
    renderer->batch = portable::Batch{};
    if (!portable::gpu_batch_open(old.gl, old.dialect, old.width, old.height, &renderer->gpu,
                                  error)) {
        renderer->gpu = portable::GpuBatch{};
        renderer->gpu.gl = old.gl;
        return false;
    }
    renderer->drawable = portable::Drawable{old.width, old.height, renderer->gpu.sprite_limit,
                                            renderer->gpu.line_limit};
    // A gentle step starts afresh, in the framebuffer bound now.
    return !gentle || portable_gl_set_gentle(renderer, true, error);
}

float portable_gl_point_size(const PortableGl* renderer) {
    return renderer->state.point_size;
}
