#include "gl/renderer/frame_renderer.h"

#include "gl/gl11_constants.h"
#include "gl/record/gl_record.h"
#include "gl/renderer/driver_pin.h"

namespace {

constexpr ContextKind gl11_kinds[] = {
    {ContextProfile::compatibility, 0, 0, "OpenGL compatibility"},
};
constexpr ContextKind portable_kinds[] = {
    {ContextProfile::es, 3, 0, "OpenGL ES 3"},
    {ContextProfile::core, 3, 3, "OpenGL 3.3 core"},
};

// Mesa hands out a core profile under MESA_GL_VERSION_OVERRIDE=3.3FC whatever was asked for.
// Contexts older than 3.2 know no profiles and are all compatible.
bool is_compatibility_context(GlProcLoader load, std::string* error) {
    const auto get_integer = reinterpret_cast<void (*)(unsigned int, int*)>(load("glGetIntegerv"));
    int profile = 0;
    if (get_integer != nullptr) {
        get_integer(gl_context_profile_mask, &profile);
    }
    if ((profile & gl_context_core_profile_bit) != 0) {
        *error = "the driver gave a core-profile context";
        return false;
    }
    return true;
}

} // namespace

std::span<const ContextKind> context_kinds(Renderer choice) {
    if (choice == Renderer::gl11) {
        return gl11_kinds;
    }
    return portable_kinds;
}

bool frame_renderer_open(Renderer choice, const ContextKind& kind, GlProcLoader load, int width,
                         int height, FrameRenderer* renderer, std::string* error) {
    *renderer = FrameRenderer{choice, {}, nullptr};
    driver_pin_after_open();
    if (choice == Renderer::gl11) {
        return load_system_gl11_functions(load, &renderer->gl11, error) &&
               is_compatibility_context(load, error);
    }
    Gles3Functions functions;
    if (!load_gles3_functions(load, &functions, error)) {
        return false;
    }
    const ShaderDialect dialect =
        kind.profile == ContextProfile::es ? ShaderDialect::es300 : ShaderDialect::glsl330;
    renderer->portable = portable_gl_open(functions, dialect, width, height, error);
    return renderer->portable != nullptr;
}

void frame_renderer_route(const FrameRenderer& renderer) {
    if (renderer.choice == Renderer::portable) {
        portable_gl_make_current(renderer.portable);
    } else {
        system_gl11_make_current(&renderer.gl11);
    }
}

void frame_renderer_discard() {
    gl_record_to(nullptr, nullptr);
}

void frame_renderer_finish_frame(const FrameRenderer& renderer) {
    if (renderer.portable != nullptr) {
        portable_gl_finish_frame(renderer.portable);
    }
}

void frame_renderer_close(FrameRenderer* renderer) {
    gl_record_to(nullptr, nullptr);
    portable_gl_close(renderer->portable);
    *renderer = FrameRenderer{renderer->choice, {}, nullptr};
}
