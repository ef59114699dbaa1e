#include "tools/capture/offscreen_gl.h"

#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
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

bool is_software_renderer(const std::string& renderer) {
    for (const char* name : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"}) {
        if (renderer.find(name) != std::string::npos) {
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

// The framebuffer-object entry points are not part of OpenGL 1.1: they come from the driver.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC gen_framebuffers;
    PFNGLBINDFRAMEBUFFERPROC bind_framebuffer;
    PFNGLGENRENDERBUFFERSPROC gen_renderbuffers;
    PFNGLBINDRENDERBUFFERPROC bind_renderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status;
    PFNGLDELETEFRAMEBUFFERSPROC delete_framebuffers;
    PFNGLDELETERENDERBUFFERSPROC delete_renderbuffers;
};

FramebufferCalls load_framebuffer_calls() {
    FramebufferCalls calls{};
    calls.gen_framebuffers =
        reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(eglGetProcAddress("glGenFramebuffers"));
    calls.bind_framebuffer =
        reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(eglGetProcAddress("glBindFramebuffer"));
    calls.gen_renderbuffers =
        reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(eglGetProcAddress("glGenRenderbuffers"));
    calls.bind_renderbuffer =
        reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(eglGetProcAddress("glBindRenderbuffer"));
    calls.renderbuffer_storage =
        reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(eglGetProcAddress("glRenderbufferStorage"));
    calls.framebuffer_renderbuffer = reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(
        eglGetProcAddress("glFramebufferRenderbuffer"));
    calls.check_framebuffer_status = reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(
        eglGetProcAddress("glCheckFramebufferStatus"));
    calls.delete_framebuffers =
        reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(eglGetProcAddress("glDeleteFramebuffers"));
    calls.delete_renderbuffers =
        reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(eglGetProcAddress("glDeleteRenderbuffers"));
    return calls;
}

bool complete(const FramebufferCalls& c) {
    return c.gen_framebuffers && c.bind_framebuffer && c.gen_renderbuffers && c.bind_renderbuffer &&
           c.renderbuffer_storage && c.framebuffer_renderbuffer && c.check_framebuffer_status &&
           c.delete_framebuffers && c.delete_renderbuffers;
}

EGLContext create_context(EGLDisplay display, EGLConfig config) {
    // Ask for the compatibility profile outright; an EGL without EGL_KHR_create_context gets
    // the plain request, whose desktop context is a compatibility one anyway.
    const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, compatibility);
    if (context == EGL_NO_CONTEXT) {
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    }
    return context;
}

bool choose_config(EGLDisplay display, EGLint surface_type, EGLConfig* config) {
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 surface_type,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_NONE};
    EGLint count = 0;
    return eglChooseConfig(display, attributes, config, 1, &count) == EGL_TRUE && count > 0;
}

// Pbuffer of the frame's size. Leaves the context current on success.
bool open_with_pbuffer(OffscreenGl* gl, std::string* why) {
    EGLConfig config = nullptr;
    if (!choose_config(gl->display, EGL_PBUFFER_BIT, &config)) {
        *why = "no pbuffer configuration with 8-bit RGB for desktop OpenGL";
        return false;
    }
    const EGLint size[] = {EGL_WIDTH, gl->width, EGL_HEIGHT, gl->height, EGL_NONE};
    gl->surface = eglCreatePbufferSurface(gl->display, config, size);
    if (gl->surface == EGL_NO_SURFACE) {
        *why = egl_error_text("eglCreatePbufferSurface");
        return false;
    }
    gl->context = create_context(gl->display, config);
    if (gl->context == EGL_NO_CONTEXT) {
        *why = egl_error_text("eglCreateContext");
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
bool open_with_framebuffer(OffscreenGl* gl, std::string* why) {
    if (!has_word(eglQueryString(gl->display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        *why += "; no surfaceless contexts either";
        return false;
    }
    EGLConfig config = nullptr;
    if (!choose_config(gl->display, 0, &config)) {
        *why += "; no configuration for desktop OpenGL";
        return false;
    }
    gl->context = create_context(gl->display, config);
    if (gl->context == EGL_NO_CONTEXT ||
        eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, gl->context) != EGL_TRUE) {
        *why += "; " + egl_error_text("surfaceless context");
        if (gl->context != EGL_NO_CONTEXT) {
            eglDestroyContext(gl->display, gl->context);
            gl->context = EGL_NO_CONTEXT;
        }
        return false;
    }
    const FramebufferCalls calls = load_framebuffer_calls();
    bool made = complete(calls);
    if (made) {
        calls.gen_framebuffers(1, &gl->framebuffer);
        calls.bind_framebuffer(GL_FRAMEBUFFER, gl->framebuffer);
        calls.gen_renderbuffers(1, &gl->renderbuffer);
        calls.bind_renderbuffer(GL_RENDERBUFFER, gl->renderbuffer);
        calls.renderbuffer_storage(GL_RENDERBUFFER, GL_RGBA8, gl->width, gl->height);
        calls.framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                       gl->renderbuffer);
        made = calls.check_framebuffer_status(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    if (!made) {
        *why += "; no usable framebuffer object";
        eglMakeCurrent(gl->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(gl->display, gl->context);
        gl->context = EGL_NO_CONTEXT;
        gl->framebuffer = 0;
        gl->renderbuffer = 0;
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
    gl->renderbuffer = 0;
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        *why = "desktop OpenGL is not offered";
        eglTerminate(display);
        return false;
    }
    if (!open_with_pbuffer(gl, why) && !open_with_framebuffer(gl, why)) {
        eglTerminate(display);
        return false;
    }
    gl->platform = platform;
    const GLubyte* renderer = glGetString(GL_RENDERER);
    gl->renderer = renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "unknown";
    GLfloat smooth_range[2] = {1.0f, 1.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, smooth_range);
    gl->point_size_max = smooth_range[1];
    glViewport(0, 0, gl->width, gl->height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // A new colour buffer holds whatever memory it was given: start from black.
    glClear(GL_COLOR_BUFFER_BIT);
    return true;
}

} // namespace

bool open_offscreen_gl(int width, int height, OffscreenGl* gl, std::string* error) {
    *gl = OffscreenGl{};
    gl->width = width;
    gl->height = height;
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
        const FramebufferCalls calls = load_framebuffer_calls();
        calls.delete_framebuffers(1, &gl->framebuffer);
        calls.delete_renderbuffers(1, &gl->renderbuffer);
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

void read_frame_rgb(const OffscreenGl& gl, std::vector<std::uint8_t>& rgb) {
    const std::size_t row = static_cast<std::size_t>(gl.width) * 3;
    rgb.resize(row * static_cast<std::size_t>(gl.height));
    glReadPixels(0, 0, gl.width, gl.height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    for (std::size_t top = 0, bottom = static_cast<std::size_t>(gl.height) - 1; top < bottom;
         ++top, --bottom) {
        std::swap_ranges(rgb.begin() + static_cast<std::ptrdiff_t>(top * row),
                         rgb.begin() + static_cast<std::ptrdiff_t>((top + 1) * row),
                         rgb.begin() + static_cast<std::ptrdiff_t>(bottom * row));
    }
}
