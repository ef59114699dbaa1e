#include "gl/egl/offscreen_gl.h"

#include "gl/renderer/frame_renderer.h"

#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>

namespace {

bool has_word(const char* list, const char* word) {
    if (list == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(word);
    for (const char* p = list; (p = std::strstr(p, word)) != nullptr; p += length) {
        const bool starts = p == list || p[-1] == ' ';
        const bool ends = p[length] == '\0' || p[length] == ' ';
        if (starts && ends) {
            return true;
        }
    }
    return false;
}

std::string egl_error_text(const std::string& what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(eglGetError()));
    return what + " failed (EGL error " + code + ")";
}

// Whether a GL_RENDERER string names a software rasteriser (Mesa's llvmpipe, softpipe, swrast).
bool is_software_renderer(const std::string& renderer) {
    for (const char* name : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"}) {
        if (renderer.find(name) != std::string::npos) {
            return true;
        }
    }
    return false;
}

constexpr EGLint es3_attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
constexpr EGLint core33_attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        3,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
constexpr EGLint compatibility_attributes[] = {
    EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};

// A kind of context in EGL's words.
struct EglKind {
    EGLenum api;       // eglBindAPI
    EGLint renderable; // EGL_RENDERABLE_TYPE
    const EGLint* attributes;
    // The portable renderer draws against a depth buffer, one depth value per primitive of a
    // batch: 24 bits, more than the least it takes (portable::min_depth_bits), so that a
    // capture's batches are large. OpenGL 1.1 needs none.
    EGLint depth;
};

EglKind egl_kind(const ContextKind& kind) {
    switch (kind.profile) {
    case ContextProfile::es:
        return {EGL_OPENGL_ES_API, EGL_OPENGL_ES3_BIT, es3_attributes, 24};
    case ContextProfile::core:
        return {EGL_OPENGL_API, EGL_OPENGL_BIT, core33_attributes, 24};
    case ContextProfile::compatibility:
        break;
    }
    return {EGL_OPENGL_API, EGL_OPENGL_BIT, compatibility_attributes, 0};
}

EGLContext create_context(EGLDisplay display, EGLConfig config, const EglKind& kind) {
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, kind.attributes);
    // An EGL without EGL_KHR_create_context gets the plain request, whose desktop context is a
    // compatibility one anyway.
    if (context == EGL_NO_CONTEXT && kind.attributes == compatibility_attributes) {
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    }
    return context;
}

bool choose_config(EGLDisplay display, EGLint surface_type, const EglKind& kind,
                   EGLConfig* config) {
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 surface_type,
                                 EGL_RENDERABLE_TYPE,
                                 kind.renderable,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_DEPTH_SIZE,
                                 kind.depth,
                                 EGL_NONE};
    EGLint count = 0;
    return eglChooseConfig(display, attributes, config, 1, &count) == EGL_TRUE && count > 0;
}

void destroy_context(OffscreenGl* gl) {
    eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (gl->context != EGL_NO_CONTEXT) {
        eglDestroyContext(gl->display, gl->context);
    }
    if (gl->surface != EGL_NO_SURFACE) {
        eglDestroySurface(gl->display, gl->surface);
    }
    gl->context = EGL_NO_CONTEXT;
    gl->surface = EGL_NO_SURFACE;
}

// Pbuffer of the frame's size. Leaves the context current on success.
bool open_with_pbuffer(OffscreenGl* gl, const ContextKind& kind, std::string* why) {
    const EglKind egl = egl_kind(kind);
    EGLConfig config = nullptr;
    if (!choose_config(gl->display, EGL_PBUFFER_BIT, egl, &config)) {
        *why = std::string("no pbuffer configuration with 8-bit RGB for ") + kind.name;
        return false;
    }
    const EGLint size[] = {EGL_WIDTH, gl->width, EGL_HEIGHT, gl->height, EGL_NONE};
    gl->surface = eglCreatePbufferSurface(gl->display, config, size);
    if (gl->surface == EGL_NO_SURFACE) {
        *why = egl_error_text("eglCreatePbufferSurface");
        return false;
    }
    gl->context = create_context(gl->display, config, egl);
    if (gl->context == EGL_NO_CONTEXT) {
        *why = egl_error_text(std::string("eglCreateContext for ") + kind.name);
    } else if (eglMakeCurrent(gl->display, gl->surface, gl->surface, gl->context) != EGL_TRUE) {
        *why = egl_error_text("eglMakeCurrent");
    } else {
        return true;
    }
    destroy_context(gl);
    return false;
}

// A colour (and, for the portable renderer, depth) framebuffer object of the frame's size, bound.
bool make_framebuffer(OffscreenGl* gl) {
    const Gles3Functions& f = gl->functions;
    f.GenFramebuffers(1, &gl->framebuffer);
    f.BindFramebuffer(GL_FRAMEBUFFER, gl->framebuffer);
    f.GenRenderbuffers(2, gl->renderbuffers);
    f.BindRenderbuffer(GL_RENDERBUFFER, gl->renderbuffers[0]);
    f.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, gl->width, gl->height);
    f.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              gl->renderbuffers[0]);
    if (gl->choice == Renderer::portable) {
        f.BindRenderbuffer(GL_RENDERBUFFER, gl->renderbuffers[1]);
        f.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, gl->width, gl->height);
        f.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                  gl->renderbuffers[1]);
    }
    return f.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// A context without any surface, made current; it draws into a framebuffer object of the
// frame's size (load_functions).
bool open_with_framebuffer(OffscreenGl* gl, const ContextKind& kind, std::string* why) {
    if (!has_word(eglQueryString(gl->display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        *why += "; no surfaceless contexts either";
        return false;
    }
    const EglKind egl = egl_kind(kind);
    EGLConfig config = nullptr;
    if (!choose_config(gl->display, 0, egl, &config)) {
        *why += std::string("; no configuration for ") + kind.name;
        return false;
    }
    gl->context = create_context(gl->display, config, egl);
    if (gl->context == EGL_NO_CONTEXT ||
        eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, gl->context) != EGL_TRUE) {
        *why += "; " + egl_error_text("surfaceless context");
        destroy_context(gl);
        return false;
    }
    return true;
}

// Loads the functions of the context just made current and, where it has no surface, makes the
// framebuffer object it draws into. On failure the context is released again.
bool load_functions(OffscreenGl* gl, const ContextKind& kind, std::string* why) {
    std::string missing;
    if (!load_gles3_functions(egl_proc, &gl->functions, &missing)) {
        *why += (why->empty() ? "" : "; ") + std::string(kind.name) +
                " context lacks what it should offer: " + missing;
    } else if (gl->surface != EGL_NO_SURFACE || make_framebuffer(gl)) {
        return true;
    } else {
        *why += "; no usable framebuffer object";
    }
    destroy_context(gl);
    gl->framebuffer = 0;
    return false;
}

// The first kind of context `gl->choice` draws in that opens on the display, made current.
bool open_context(OffscreenGl* gl, std::string* why) {
    std::string tried;
    for (const ContextKind& kind : context_kinds(gl->choice)) {
        std::string kind_why;
        if (eglBindAPI(egl_kind(kind).api) != EGL_TRUE) {
            kind_why = std::string(kind.name) + " is not offered";
        } else if ((open_with_pbuffer(gl, kind, &kind_why) ||
                    open_with_framebuffer(gl, kind, &kind_why)) &&
                   load_functions(gl, kind, &kind_why)) {
            gl->kind = kind;
            return true;
        }
        tried += (tried.empty() ? "" : "; ") + kind_why;
    }
    *why = tried;
    return false;
}

// Names the current context's renderer and clears its colour buffer.
void prepare_context(OffscreenGl* gl) {
    const Gles3Functions& f = gl->functions;
    const GLubyte* renderer = f.GetString(GL_RENDERER);
    gl->renderer = renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "unknown";
    f.Viewport(0, 0, gl->width, gl->height);
    f.PixelStorei(GL_PACK_ALIGNMENT, 1);
    // A new colour buffer holds whatever memory it was given: start from black.
    f.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    f.Clear(GL_COLOR_BUFFER_BIT);
}

// Initialises `display` and opens the context on it. Whatever fails, nothing is left open: the
// display is terminated again.
bool open_on_display(EGLDisplay display, const char* platform, OffscreenGl* gl, std::string* why) {
    if (display == EGL_NO_DISPLAY) {
        *why = "no display";
        return false;
    }
    if (eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
        *why = egl_error_text("eglInitialize");
        return false;
    }
    gl->display = display;
    gl->context = EGL_NO_CONTEXT;
    gl->surface = EGL_NO_SURFACE;
    gl->framebuffer = 0;
    gl->renderbuffers[0] = gl->renderbuffers[1] = 0;
    gl->platform = platform;
    if (open_context(gl, why)) {
        prepare_context(gl);
        return true;
    }
    close_offscreen_gl(gl);
    return false;
}

// EGL's ways to displays: the client extensions and the functions they bring.
struct EglPlatforms {
    const char* extensions;
    PFNEGLGETPLATFORMDISPLAYEXTPROC get_display;
    PFNEGLQUERYDEVICESEXTPROC query_devices;
    PFNEGLQUERYDEVICESTRINGEXTPROC query_device_string;
};

EglPlatforms egl_platforms() {
    return {eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS),
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(egl_proc("eglGetPlatformDisplayEXT")),
            reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(egl_proc("eglQueryDevicesEXT")),
            reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(egl_proc("eglQueryDeviceStringEXT"))};
}

bool open_surfaceless(const EglPlatforms& egl, OffscreenGl* gl, std::string* why) {
    if (!has_word(egl.extensions, "EGL_MESA_platform_surfaceless")) {
        *why = "EGL_MESA_platform_surfaceless is not offered";
        return false;
    }
    return open_on_display(
        egl.get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr), "surfaceless",
        gl, why);
}

// The device platform: a GPU whose driver offers no surfaceless platform is found here. Software
// devices only serve when nothing else opened (`opened`: `gl` holds a context already, which a
// device's replaces).
bool open_on_device(const EglPlatforms& egl, bool opened, OffscreenGl* gl, std::string* why) {
    if (!has_word(egl.extensions, "EGL_EXT_platform_device") || egl.query_devices == nullptr ||
        egl.query_device_string == nullptr) {
        *why = "EGL_EXT_platform_device is not offered";
        return false;
    }
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (egl.query_devices(16, devices, &count) != EGL_TRUE || count == 0) {
        *why = "no EGL devices";
        return false;
    }
    for (const bool software_pass : {false, true}) {
        for (EGLint i = 0; i < count && !(software_pass && opened); ++i) {
            if (has_word(egl.query_device_string(devices[i], EGL_EXTENSIONS),
                         "EGL_MESA_device_software") != software_pass) {
                continue;
            }
            OffscreenGl candidate = *gl;
            if (open_on_display(egl.get_display(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr),
                                "device", &candidate, why)) {
                if (opened) {
                    close_offscreen_gl(gl);
                    eglMakeCurrent(candidate.display, candidate.surface, candidate.surface,
                                   candidate.context);
                }
                *gl = candidate;
                return true;
            }
            // Closing the failed display made nothing current: restore ours.
            if (opened) {
                eglMakeCurrent(gl->display, gl->surface, gl->surface, gl->context);
            }
        }
    }
    return false;
}

} // namespace

void* egl_proc(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

bool open_offscreen_gl(int width, int height, Renderer choice, OffscreenGl* gl,
                       std::string* error) {
    *gl = OffscreenGl{};
    gl->width = width;
    gl->height = height;
    gl->choice = choice;
    const EglPlatforms egl = egl_platforms();
    if (egl.extensions == nullptr || egl.get_display == nullptr) {
        *error = "no OpenGL renderer available: EGL offers no platform displays";
        return false;
    }
    std::string surfaceless_why;
    const bool opened = open_surfaceless(egl, gl, &surfaceless_why);
    if (opened && !is_software_renderer(gl->renderer)) {
        return true;
    }
    std::string device_why;
    if (open_on_device(egl, opened, gl, &device_why) || opened) {
        return true;
    }
    *error = "no OpenGL renderer available: surfaceless platform: " + surfaceless_why +
             "; device platform: " + device_why;
    return false;
}

void close_offscreen_gl(OffscreenGl* gl) {
    if (gl->display == EGL_NO_DISPLAY || gl->display == nullptr) {
        return;
    }
    if (gl->framebuffer != 0 && gl->functions.DeleteFramebuffers != nullptr) {
        gl->functions.DeleteFramebuffers(1, &gl->framebuffer);
        gl->functions.DeleteRenderbuffers(2, gl->renderbuffers);
    }
    // The driver's queued work is done before the context that owns it goes.
    if (gl->context != EGL_NO_CONTEXT && gl->functions.Finish != nullptr) {
        gl->functions.Finish();
    }
    destroy_context(gl);
    // Terminating the display ends the driver's own threads: none may still run when the process
    // exits, where a thread ending while the leak checker of a sanitized build stops them all
    // can crash it.
    eglTerminate(gl->display);
    eglReleaseThread();
    *gl = OffscreenGl{};
}
