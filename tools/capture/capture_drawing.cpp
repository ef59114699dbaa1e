#include "tools/capture/capture_drawing.h"

#include "gl/gl11_constants.h"

#include <cstdio>

namespace {

void say(const char* message) {
    std::fprintf(stderr, "dadadazo-capture: %s\n", message);
}

} // namespace

CaptureDrawing::~CaptureDrawing() {
    readback_.reset();
    frame_renderer_close(&renderer_);
    close_offscreen_gl(&gl_);
}

bool CaptureDrawing::open(Renderer choice, int width, int height, bool gentle, std::string* error) {
    if (!open_offscreen_gl(width, height, choice, &gl_, error)) {
        return false;
    }
    const std::string where = gl_.renderer + " (" + gl_.kind.name + ")";
    if (!frame_renderer_open(choice, gl_.kind, egl_proc, gl_.width, gl_.height, &renderer_,
                             error)) {
        *error = (choice == Renderer::portable ? "the portable renderer cannot start on " + where
                                               : gl_.renderer + " offers no OpenGL 1.1") +
                 ": " + *error;
        return false;
    }
    if (gentle && !portable_gl_set_gentle(renderer_.portable, true, error)) {
        *error = "the gentle step cannot start on " + where + ": " + *error;
        return false;
    }
    if (choice == Renderer::portable) {
        name_ = std::string(gentle ? "the portable renderer, gentle, on "
                                   : "the portable renderer on ") +
                where;
    } else {
        name_ = gl_.renderer + "'s own OpenGL 1.1";
        gl_.functions.GetFloatv(gl11_point_size_range, smooth_range_);
        gl_.functions.GetFloatv(gl11_aliased_point_size_range, aliased_range_);
    }
    readback_ = std::make_unique<PixelReadback>();
    readback_->open(gl_.functions, gl_.width, gl_.height);
    return true;
}

void CaptureDrawing::finish_frame(double seconds) {
    if (renderer_.portable != nullptr) {
        portable_gl_set_frame_time(renderer_.portable, seconds);
    }
    frame_renderer_finish_frame(renderer_);
    if (!warned_) {
        check_point_size();
    }
}

void CaptureDrawing::start_reading() {
    readback_->start();
}

bool CaptureDrawing::collect(std::uint8_t* out) {
    return readback_->collect(out);
}

// Round points stop growing at the renderer's limit; say so once.
void CaptureDrawing::check_point_size() {
    char message[256];
    if (renderer_.portable != nullptr) {
        const float size = portable_gl_point_size(renderer_.portable);
        if (size <= portable_point_size_limit) {
            return;
        }
        std::snprintf(message, sizeof message,
                      "points of %g pixels asked for; round points are drawn at most %g pixels "
                      "across, so larger ones stay at that size",
                      static_cast<double>(size), static_cast<double>(portable_point_size_limit));
    } else {
        GLfloat size = 0.0f;
        gl_.functions.GetFloatv(gl11_point_size, &size);
        if (size <= smooth_range_[1]) {
            return;
        }
        std::snprintf(message, sizeof message,
                      "points of %g pixels asked for; this renderer draws round points of %g to "
                      "%g pixels (square ones %g to %g), so larger ones stay at %g",
                      static_cast<double>(size), static_cast<double>(smooth_range_[0]),
                      static_cast<double>(smooth_range_[1]), static_cast<double>(aliased_range_[0]),
                      static_cast<double>(aliased_range_[1]),
                      static_cast<double>(smooth_range_[1]));
    }
    say(message);
    warned_ = true;
}
