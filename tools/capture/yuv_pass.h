// The frame turned into planar YUV (BT.709 matrix, limited range) before it is read back: on
// the GPU by a shader pass for the portable renderer, or on the CPU for frames read as RGBA.
//
// A planar frame is the Y plane (width x height), then Cb, then Cr (width/2 x height/2 each for
// 4:2:0, width x height for 4:4:4), rows top first, one byte a sample: what ffmpeg calls yuv420p
// or yuv444p and a Y4M frame holds. A 4:2:0 colour sample is that of the mean of its 2x2 block.
#pragma once

#include "gl/portable/gles3.h"
#include "gl/portable/portable_gl.h"
#include "tools/capture/capture_options.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

std::size_t planar_frame_bytes(int width, int height, Chroma chroma);

// `rgba`: the frame as OpenGL reads it back, bottom row first. `planar` gets
// planar_frame_bytes(width, height, chroma) bytes. Width and height must be even.
void rgba_to_planar(const std::uint8_t* rgba, int width, int height, Chroma chroma,
                    std::uint8_t* planar);

// The GPU pass. The frame is drawn where it always is (the context's own framebuffer, whose
// pixels are exactly those of the PNGs) and copied into a texture, top row first; the pass draws
// the planar frame from it into a target of its own, four samples to an RGBA texel, so that reading
// the target back gives the planar bytes in order.
class YuvPass {
  public:
    YuvPass() = default;
    YuvPass(const YuvPass&) = delete;
    YuvPass& operator=(const YuvPass&) = delete;
    ~YuvPass();

    // Needs the context current, with the framebuffer the frames are drawn into bound. Width a
    // multiple of 8, height a multiple of 4 (every mode of the show). On failure stores why and
    // returns false.
    bool open(const Gles3Functions& gl, ShaderDialect dialect, int width, int height, Chroma chroma,
              std::string* error);

    // Converts the frame drawn so far and leaves the planar target bound for reading: read
    // target_width() x target_rows() RGBA texels from (0, 0) to get the planar frame.
    void convert() const;

    int target_width() const { return width_ / 4; }
    int target_rows() const;

  private:
    // One draw of the pass: a rectangle of the target holding one plane, or half of one.
    struct Part {
        bool mean; // samples of 2x2 blocks (4:2:0 chroma)
        int x, y, width, height;
        int row_scale, row_add; // image row = (target row - y) * row_scale + row_add
        float weights[4];       // R, G and B weights, then the offset
    };
    void plan_parts();

    const Gles3Functions* gl_ = nullptr;
    std::vector<Part> parts_;
    int width_ = 0;
    int height_ = 0;
    Chroma chroma_ = Chroma::yuv420;
    unsigned int programs_[2] = {0, 0}; // one pixel a sample; the mean of 2x2 blocks
    unsigned int vertex_array_ = 0;
    int frame_framebuffer_ = 0; // where the frame is drawn
    unsigned int frame_texture_ = 0;
    unsigned int copy_framebuffer_ = 0; // the frame texture, as a blit's destination
    unsigned int target_framebuffer_ = 0;
    unsigned int target_texture_ = 0;
};
