// The drawing side of a capture: the offscreen context, the renderer that draws the frames in it
// and the read-back of their pixels, closed in order when it goes.
#pragma once

#include "gl/egl/offscreen_gl.h"
#include "gl/renderer/frame_renderer.h"
#include "tools/capture/pixel_readback.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CaptureDrawing {
  public:
    CaptureDrawing() = default;
    CaptureDrawing(const CaptureDrawing&) = delete;
    CaptureDrawing& operator=(const CaptureDrawing&) = delete;
    ~CaptureDrawing();

    // Opens `choice` in a context of width x height, with the gentle step after every frame
    // where `gentle` (the portable renderer only). On failure stores why and returns false.
    bool open(Renderer choice, int width, int height, bool gentle, std::string* error);

    // What draws, for the closing line: "the portable renderer on ..." or "...'s own OpenGL 1.1".
    const std::string& name() const { return name_; }
    std::size_t frame_bytes() const { return readback_->bytes(); }
    int reads_in_flight() const { return readback_->outstanding(); }

    // Points the frame's entry points at the renderer, or nowhere: the frame's calls discarded.
    void route() const { frame_renderer_route(renderer_); }
    void discard() const { frame_renderer_discard(); }

    // Draws what the renderer has batched of the frame, shown at `seconds` of the show's clock;
    // says once, on stderr, where points grow past what the renderer draws.
    void finish_frame(double seconds);

    // Starts reading the frame back.
    void start_reading();

    // The oldest frame being read (RGBA, bottom row first); false when it cannot be read.
    bool collect(std::uint8_t* out);

  private:
    void check_point_size();

    OffscreenGl gl_{};
    FrameRenderer renderer_;
    std::unique_ptr<PixelReadback> readback_;
    std::string name_;
    float smooth_range_[2] = {1.0f, 1.0f};  // round points the driver's OpenGL 1.1 draws
    float aliased_range_[2] = {1.0f, 1.0f}; // and square ones
    bool warned_ = false;
};
