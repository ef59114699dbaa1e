#include "tools/capture/offscreen_gl.h"

#include <EGL/eglext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>

namespace {

// OpenGL 1.1 state the ES 3 header does not name.
constexpr GLenum gl11_point_size_range = 0x0B12;

void* egl_proc(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

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

std::string egl_error_text(const char* what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(eglGetError()));
    return std::string(what) + " failed (EGL error " + code + ")";
}

// The context kinds tried for an api, best first.
struct ContextKind {
    EGLenum api;       // eglBindAPI
    EGLint renderable; // EGL_RENDERABLE_TYPE
    const EGLint* attributes;
    const char* name;
    ShaderDialect dialect;
};

constexpr EGLint es3_attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
constexpr EGLint core33_attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        3,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
// Ask for the compatibility profile outright; an EGL without EGL_KHR_create_context gets the
// plain request below, whose desktop context is a compatibility one anyway.
constexpr EGLint compatibility_attributes[] = {
    EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};

constexpr ContextKind portable_kinds[] = {
    {EGL_OPENGL_ES_API, EGL_OPENGL_ES3_BIT, es3_attributes, "OpenGL ES 3", ShaderDialect::es300},
    {EGL_OPENGL_API, EGL_OPENGL_BIT, core33_attributes, "OpenGL 3.3 core", ShaderDialect::glsl330},
};
constexpr ContextKind gl11_kinds[] = {
    {EGL_OPENGL_API, EGL_OPENGL_BIT, compatibility_attributes, "OpenGL compatibility",
     ShaderDialect::glsl330},
};

EGLContext create_context(EGLDisplay display, EGLConfig config, const ContextKind& kind) {
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, kind.attributes);
    if (context == EGL_NO_CONTEXT && kind.attributes == compatibility_attributes) {
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    }
    return context;
}

bool choose_config(EGLDisplay display, EGLint surface_type, const ContextKind& kind,
                   EGLConfig* config) {
    // The portable renderer draws back to front against a depth buffer; OpenGL 1.1 needs none.
    const EGLint depth = kind.attributes == compatibility_attributes ? 0 : 24;
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
                                 depth,
                                 EGL_NONE};
    EGLint count = 0;
    return eglChooseConfig(display, attributes, config, 1, &count) == EGL_TRUE && count > 0;
}

// Pbuffer of the frame's size. Leaves the context current on success.
bool open_with_pbuffer(OffscreenGl* gl, const ContextKind& kind, std::string* why) {
    EGLConfig config = nullptr;
    if (!choose_config(gl->display, EGL_PBUFFER_BIT, kind, &config)) {
        *why = std::string("no pbuffer configuration with 8-bit RGB for ") + kind.name;
        return false;
    }
    const EGLint size[] = {EGL_WIDTH, gl->width, EGL_HEIGHT, gl->height, EGL_NONE};
    gl->surface = eglCreatePbufferSurface(gl->display, config, size);
    if (gl->surface == EGL_NO_SURFACE) {
        *why = egl_error_text("eglCreatePbufferSurface");
        return false;
    }
    gl->context = create_context(gl->display, config, kind);
    if (gl->context == EGL_NO_CONTEXT) {
        *why = egl_error_text((std::string("eglCreateContext for ") + kind.name).c_str());
        eglDestroySurface(gl->display, gl->surface);
        gl->surface = EGL_NO_SURFACE;
        return false;
    }
    if (eglMakeCurrent(gl->display, gl->surface, gl->surface, gl->context) != EGL_TRUE) {
        *why = egl_error_text("eglMakeCurrent");
        eglDestroyContext(gl->display, gl->context);
        eglDestroySurface(gl->display, gl->surface);
        gl->context = EGL_NO_CONTEXT;
        gl->surface = EGL_NO_SURFACE;
        return false;
    }
    return true;
}

// A context without any surface, drawing into a framebuffer object of the frame's size.
bool open_with_framebuffer(OffscreenGl* gl, const ContextKind& kind, std::string* why) {
    if (!has_word(eglQueryString(gl->display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        *why += "; no surfaceless contexts either";
        return false;
    }
    EGLConfig config = nullptr;
    if (!choose_config(gl->display, 0, kind, &config)) {
        *why += std::string("; no configuration for ") + kind.name;
        return false;
    }
    gl->context = create_context(gl->display, config, kind);
    if (gl->context == EGL_NO_CONTEXT ||
        eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, gl->context) != EGL_TRUE) {
        *why += "; " + egl_error_text("surfaceless context");
        if (gl->context != EGL_NO_CONTEXT) {
            eglDestroyContext(gl->display, gl->context);
            gl->context = EGL_NO_CONTEXT;
        }
        return false;
    }
    std::string missing;
    bool made = load_gles3_functions(egl_proc, &gl->functions, &missing);
    if (made) {
        const Gles3Functions& f = gl->functions;
        f.GenFramebuffers(1, &gl->framebuffer);
        f.BindFramebuffer(GL_FRAMEBUFFER, gl->framebuffer);
        f.GenRenderbuffers(2, gl->renderbuffers);
        f.BindRenderbuffer(GL_RENDERBUFFER, gl->renderbuffers[0]);
        f.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, gl->width, gl->height);
        f.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  gl->renderbuffers[0]);
        if (gl->api == OffscreenApi::portable) {
            f.BindRenderbuffer(GL_RENDERBUFFER, gl->renderbuffers[1]);
            f.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, gl->width, gl->height);
            f.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                      gl->renderbuffers[1]);
        }
        made = f.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    if (!made) {
        *why += "; no usable framebuffer object" + (missing.empty() ? "" : ": " + missing);
        eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(gl->display, gl->context);
        gl->context = EGL_NO_CONTEXT;
        gl->framebuffer = 0;
        return false;
    }
    return true;
}

// Initialises `display` and opens the context on it. Terminates the display on failure.
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
    std::string tried;
    bool opened = false;
    for (const ContextKind& kind : gl->api == OffscreenApi::portable
                                       ? std::span<const ContextKind>(portable_kinds)
                                       : std::span<const ContextKind>(gl11_kinds)) {
        std::string kind_why;
        if (eglBindAPI(kind.api) != EGL_TRUE) {
            kind_why = std::string(kind.name) + " is not offered";
        } else if (open_with_pbuffer(gl, kind, &kind_why) ||
                   open_with_framebuffer(gl, kind, &kind_why)) {
            gl->context_kind = kind.name;
            gl->dialect = kind.dialect;
            opened = true;
            break;
        }
        tried += (tried.empty() ? "" : "; ") + kind_why;
    }
    if (!opened) {
        *why = tried;
        eglTerminate(display);
        return false;
    }
    std::string missing;
    if (!load_gles3_functions(egl_proc, &gl->functions, &missing)) {
        *why = gl->context_kind + " context lacks what it should offer: " + missing;
        close_offscreen_gl(gl);
        return false;
    }
    const Gles3Functions& f = gl->functions;
    gl->platform = platform;
    const GLubyte* renderer = f.GetString(GL_RENDERER);
    gl->renderer = renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "unknown";
    GLfloat smooth_range[2] = {1.0f, 1.0f};
    if (gl->api == OffscreenApi::gl11) {
        f.GetFloatv(gl11_point_size_range, smooth_range);
    }
    gl->point_size_max = smooth_range[1];
    f.Viewport(0, 0, gl->width, gl->height);
    f.PixelStorei(GL_PACK_ALIGNMENT, 1);
    // A new colour buffer holds whatever memory it was given: start from black.
    f.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    f.Clear(GL_COLOR_BUFFER_BIT);
    return true;
}

} // namespace

bool is_software_renderer(const std::string& renderer) {
    for (const char* name : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"}) {
        if (renderer.find(name) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool open_offscreen_gl(int width, int height, OffscreenApi api, OffscreenGl* gl,
                       std::string* error) {
    *gl = OffscreenGl{};
    gl->width = width;
    gl->height = height;
    gl->api = api;
    const char* client_extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const auto get_platform_display = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (client_extensions == nullptr || get_platform_display == nullptr) {
        *error = "no OpenGL renderer available: EGL offers no platform displays";
        return false;
    }

    std::string surfaceless_why = "EGL_MESA_platform_surfaceless is not offered";
    bool opened = false;
    if (has_word(client_extensions, "EGL_MESA_platform_surfaceless")) {
        opened = open_on_display(
            get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr),
            "surfaceless", gl, &surfaceless_why);
    }
    if (opened && !is_software_renderer(gl->renderer)) {
        return true;
    }

    // The device platform: a GPU whose driver offers no surfaceless platform is found here.
    // Software devices only serve when nothing else opened.
    std::string device_why = "EGL_EXT_platform_device is not offered";
    const auto query_devices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    const auto query_device_string = reinterpret_cast<PFNEGLQUERYDEVICESTRINGEXTPROC>(
        eglGetProcAddress("eglQueryDeviceStringEXT"));
    if (has_word(client_extensions, "EGL_EXT_platform_device") && query_devices != nullptr &&
        query_device_string != nullptr) {
        EGLDeviceEXT devices[16];
        EGLint count = 0;
        if (query_devices(16, devices, &count) != EGL_TRUE || count == 0) {
            device_why = "no EGL devices";
        }
        for (const bool software_pass : {false, true}) {
            if (software_pass && opened) {
                break;
            }
            for (EGLint i = 0; i < count; ++i) {
                const bool software = has_word(query_device_string(devices[i], EGL_EXTENSIONS),
                                               "EGL_MESA_device_software");
                if (software != software_pass) {
                    continue;
                }
                OffscreenGl candidate = *gl;
                std::string why;
                if (open_on_display(
                        get_platform_display(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr),
                        "device", &candidate, &why)) {
                    if (opened) {
                        close_offscreen_gl(gl);
                    }
                    *gl = candidate;
                    return true;
                }
                device_why = why;
                // Opening another display may have made nothing current: restore ours.
                if (opened) {
                    eglMakeCurrent(gl->display, gl->surface, gl->surface, gl->context);
                }
            }
        }
    }
    if (opened) {
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
    if (gl->framebuffer != 0) {
        gl->functions.DeleteFramebuffers(1, &gl->framebuffer);
        gl->functions.DeleteRenderbuffers(2, gl->renderbuffers);
    }
    eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (gl->context != EGL_NO_CONTEXT) {
        eglDestroyContext(gl->display, gl->context);
    }
    if (gl->surface != EGL_NO_SURFACE) {
        eglDestroySurface(gl->display, gl->surface);
    }
    // The display itself stays initialised: EGL keeps one per process and a later open finds it
    // ready. Terminating it would unload the driver while its own allocations are still live.
    eglReleaseThread();
    *gl = OffscreenGl{};
}

void rgba_to_rgb_rows(const std::uint8_t* rgba, int width, int height,
                      std::vector<std::uint8_t>& rgb) {
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    rgb.resize(w * h * 3);
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* in = rgba + (h - 1 - y) * w * 4;
        std::uint8_t* out = rgb.data() + y * w * 3;
        for (std::size_t x = 0; x < w; ++x) {
            out[x * 3] = in[x * 4];
            out[x * 3 + 1] = in[x * 4 + 1];
            out[x * 3 + 2] = in[x * 4 + 2];
        }
    }
}
