#include "tools/capture/yuv_pass.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// BT.709 luma weights and the limited-range scale: Y in 16..235, Cb and Cr in 16..240.
constexpr double kr = 0.2126;
constexpr double kg = 0.7152;
constexpr double kb = 0.0722;

// The formula in fixed point with 16 fractional bits, one table per plane and channel: a sample
// is the offset plus three looked-up terms. Chroma tables take the sum of four channel values
// (a 2x2 block, or one pixel four times), which keeps the mean exact.
struct FixedTables {
    std::int32_t y[3][256];
    std::int32_t cb[3][1021];
    std::int32_t cr[3][1021];
};

constexpr int fraction_bits = 16;
constexpr double one = 1 << fraction_bits;

FixedTables make_tables() {
    FixedTables t{};
    const double luma[3] = {kr, kg, kb};
    for (int c = 0; c < 3; ++c) {
        const double blue = (c == 2 ? 1.0 : 0.0) - luma[c];
        const double red = (c == 0 ? 1.0 : 0.0) - luma[c];
        for (int v = 0; v < 256; ++v) {
            t.y[c][v] = static_cast<std::int32_t>(std::lround(219.0 / 255.0 * luma[c] * v * one));
        }
        for (int sum = 0; sum < 1021; ++sum) {
            const double mean = sum / 4.0;
            t.cb[c][sum] = static_cast<std::int32_t>(
                std::lround(224.0 / 255.0 * blue * mean / (2.0 * (1.0 - kb)) * one));
            t.cr[c][sum] = static_cast<std::int32_t>(
                std::lround(224.0 / 255.0 * red * mean / (2.0 * (1.0 - kr)) * one));
        }
    }
    return t;
}

const FixedTables& fixed_tables() {
    static const FixedTables tables = make_tables();
    return tables;
}

// Rounds a fixed-point sample (offset `base` included) to a byte.
std::uint8_t byte_of(std::int32_t value) {
    const std::int32_t rounded = (value + (1 << (fraction_bits - 1))) >> fraction_bits;
    return static_cast<std::uint8_t>(std::clamp(rounded, 0, 255));
}

constexpr std::int32_t luma_base = 16 << fraction_bits;
constexpr std::int32_t chroma_base = 128 << fraction_bits;

// The fragment shader writes four samples of one plane row per texel, drawn one part of the
// target at a time: the Y plane, then Cb and Cr (at 4:2:0 each in two halves side by side, the
// even and the odd chroma rows). A sample is offset + weights . rgb of one pixel, or of the mean
// of a 2x2 block, which linear filtering gives in one fetch from the shared corner. The frame is
// copied into its texture turned over, so that texture rows count from the top as image rows
// do. No branches: a software renderer shades every side of a branch.
constexpr char fragment_body[] = R"(
uniform sampler2D frame;
uniform vec2 size;     // of the frame
uniform vec2 origin;   // where this part of the target starts
uniform int row_scale; // image rows per target row: 1, or 2 for 4:2:0 chroma
uniform int row_add;   // which row of such a pair this part holds
uniform vec3 weights;
uniform float offset;
out vec4 colour;

vec3 rgb_at(int x, int row) {
#ifdef MEAN
    return texture(frame, vec2(float(2 * x + 1), float(2 * row + 1)) / size).rgb;
#else
    return texelFetch(frame, ivec2(x, row), 0).rgb;
#endif
}

void main() {
    ivec2 at = ivec2(gl_FragCoord.xy - origin);
    int row = at.y * row_scale + row_add;
    int x = at.x * 4;
    colour = offset + vec4(dot(weights, rgb_at(x, row)), dot(weights, rgb_at(x + 1, row)),
                           dot(weights, rgb_at(x + 2, row)), dot(weights, rgb_at(x + 3, row)));
}
)";

// One triangle that covers the whole target; no vertex attributes.
constexpr char vertex_body[] = R"(
void main() {
    vec2 corner = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1));
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";

// The pass's source for one kind of shader: the dialect's version line, then `defines`.
std::string pass_source(ShaderDialect dialect, const char* defines, const char* body) {
    return std::string(dialect == ShaderDialect::es300 ? "#version 300 es\nprecision highp float;\n"
                                                         "precision highp int;\n"
                                                       : "#version 330 core\n") +
           defines + body;
}

unsigned int link(const Gles3Functions& gl, ShaderDialect dialect, const char* defines,
                  std::string* error) {
    const unsigned int program =
        build_shader_program(gl, pass_source(dialect, "", vertex_body),
                             pass_source(dialect, defines, fragment_body), error);
    if (program == 0) {
        *error = "the YUV conversion pass: " + *error;
    }
    return program;
}

// An RGBA8 texture of the given size.
unsigned int make_texture(const Gles3Functions& gl, int width, int height, GLint filter) {
    unsigned int texture = 0;
    gl.GenTextures(1, &texture);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

} // namespace

std::size_t planar_frame_bytes(int width, int height, Chroma chroma) {
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return chroma == Chroma::yuv444 ? pixels * 3 : pixels + pixels / 2;
}

void rgba_to_planar(const std::uint8_t* rgba, int width, int height, Chroma chroma,
                    std::uint8_t* planar) {
    const FixedTables& t = fixed_tables();
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const auto at = [&](std::size_t x, std::size_t row) {
        return rgba + ((h - 1 - row) * w + x) * 4;
    };
    const bool full = chroma == Chroma::yuv444;
    const std::size_t cw = full ? w : w / 2;
    const std::size_t ch = full ? h : h / 2;
    std::uint8_t* cb = planar + w * h;
    std::uint8_t* cr = cb + cw * ch;
    for (std::size_t row = 0; row < h; ++row) {
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t* p = at(x, row);
            planar[row * w + x] = byte_of(luma_base + t.y[0][p[0]] + t.y[1][p[1]] + t.y[2][p[2]]);
        }
    }
    // The colour of one pixel (4:4:4) or of the mean of a 2x2 block (4:2:0).
    for (std::size_t row = 0; row < ch; ++row) {
        for (std::size_t x = 0; x < cw; ++x) {
            int sum[3] = {0, 0, 0};
            for (std::size_t corner = 0; corner < 4; ++corner) {
                const std::uint8_t* p =
                    full ? at(x, row) : at(2 * x + (corner & 1), 2 * row + (corner >> 1));
                for (int c = 0; c < 3; ++c) {
                    sum[c] += p[c];
                }
            }
            cb[row * cw + x] =
                byte_of(chroma_base + t.cb[0][sum[0]] + t.cb[1][sum[1]] + t.cb[2][sum[2]]);
            cr[row * cw + x] =
                byte_of(chroma_base + t.cr[0][sum[0]] + t.cr[1][sum[1]] + t.cr[2][sum[2]]);
        }
    }
}

bool YuvPass::open(const Gles3Functions& gl, ShaderDialect dialect, int width, int height,
                   Chroma chroma, std::string* error) {
    gl_ = &gl;
    width_ = width;
    height_ = height;
    chroma_ = chroma;
    if (width % 8 != 0 || height % 4 != 0) {
        *error = "a YUV frame needs a width divisible by 8 and a height by 4";
        return false;
    }
    programs_[0] = link(gl, dialect, "", error);
    programs_[1] = programs_[0] == 0 ? 0 : link(gl, dialect, "#define MEAN\n", error);
    if (programs_[1] == 0) {
        return false;
    }
    for (const unsigned int program : programs_) {
        gl.UseProgram(program);
        gl.Uniform1i(gl.GetUniformLocation(program, "frame"), 0);
        gl.Uniform2f(gl.GetUniformLocation(program, "size"), static_cast<float>(width),
                     static_cast<float>(height));
    }
    plan_parts();
    gl.GenVertexArrays(1, &vertex_array_);
    gl.GetIntegerv(GL_FRAMEBUFFER_BINDING, &frame_framebuffer_);
    frame_texture_ = make_texture(gl, width, height, GL_LINEAR);
    target_texture_ = make_texture(gl, target_width(), target_rows(), GL_NEAREST);
    gl.GenFramebuffers(1, &copy_framebuffer_);
    gl.BindFramebuffer(GL_FRAMEBUFFER, copy_framebuffer_);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, frame_texture_, 0);
    bool complete = gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl.GenFramebuffers(1, &target_framebuffer_);
    gl.BindFramebuffer(GL_FRAMEBUFFER, target_framebuffer_);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target_texture_,
                            0);
    complete = complete && gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl.BindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(frame_framebuffer_));
    if (!complete) {
        *error = "no framebuffer for the YUV conversion";
        return false;
    }
    return true;
}

void YuvPass::plan_parts() {
    // offset + weights . rgb (rgb from 0 to 1) gives the sample over 255.
    const float scale = 1.0f / 255.0f;
    const float luma[3] = {static_cast<float>(kr), static_cast<float>(kg), static_cast<float>(kb)};
    float planes[3][4]; // weights and offset of Y, Cb, Cr
    for (int c = 0; c < 3; ++c) {
        planes[0][c] = 219.0f * scale * luma[c];
        planes[1][c] = 224.0f * scale * ((c == 2 ? 1.0f : 0.0f) - luma[c]) / 1.8556f;
        planes[2][c] = 224.0f * scale * ((c == 0 ? 1.0f : 0.0f) - luma[c]) / 1.5748f;
    }
    planes[0][3] = 16.0f * scale;
    planes[1][3] = planes[2][3] = 128.0f * scale;
    const int quarter = width_ / 4;
    const auto add = [&](int plane, bool mean, int x, int y, int width, int height, int row_scale,
                         int row_add) {
        Part part{mean, x, y, width, height, row_scale, row_add, {}};
        std::copy(planes[plane], planes[plane] + 4, part.weights);
        parts_.push_back(part);
    };
    parts_.clear();
    add(0, false, 0, 0, quarter, height_, 1, 0);
    for (int plane = 1; plane < 3; ++plane) {
        if (chroma_ == Chroma::yuv444) {
            add(plane, false, 0, plane * height_, quarter, height_, 1, 0);
            continue;
        }
        // Two chroma rows to a target row: even ones on the left half, odd ones on the right.
        const int top = height_ + (plane - 1) * (height_ / 4);
        add(plane, true, 0, top, quarter / 2, height_ / 4, 2, 0);
        add(plane, true, quarter / 2, top, quarter / 2, height_ / 4, 2, 1);
    }
}

int YuvPass::target_rows() const {
    return chroma_ == Chroma::yuv444 ? height_ * 3 : height_ + height_ / 2;
}

void YuvPass::convert() const {
    const Gles3Functions& gl = *gl_;
    // A blit turns the frame over on the way; a software renderer copies that as fast as a
    // plain copy, where copying into the texture directly takes a slow path.
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(frame_framebuffer_));
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, copy_framebuffer_);
    gl.BlitFramebuffer(0, 0, width_, height_, 0, height_, width_, 0, GL_COLOR_BUFFER_BIT,
                       GL_NEAREST);
    gl.ActiveTexture(GL_TEXTURE0);
    gl.BindTexture(GL_TEXTURE_2D, frame_texture_);
    gl.BindFramebuffer(GL_FRAMEBUFFER, target_framebuffer_);
    gl.Disable(GL_DEPTH_TEST);
    gl.BindVertexArray(vertex_array_);
    for (const Part& part : parts_) {
        const unsigned int program = programs_[part.mean ? 1 : 0];
        gl.UseProgram(program);
        gl.Viewport(part.x, part.y, part.width, part.height);
        gl.Uniform2f(gl.GetUniformLocation(program, "origin"), static_cast<float>(part.x),
                     static_cast<float>(part.y));
        gl.Uniform1i(gl.GetUniformLocation(program, "row_scale"), part.row_scale);
        gl.Uniform1i(gl.GetUniformLocation(program, "row_add"), part.row_add);
        gl.Uniform3f(gl.GetUniformLocation(program, "weights"), part.weights[0], part.weights[1],
                     part.weights[2]);
        gl.Uniform1f(gl.GetUniformLocation(program, "offset"), part.weights[3]);
        gl.DrawArrays(GL_TRIANGLES, 0, 3);
    }
    // Drawing the next frame starts from its own framebuffer and viewport; reading stays here.
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(frame_framebuffer_));
    gl.Viewport(0, 0, width_, height_);
}

YuvPass::~YuvPass() {
    if (gl_ == nullptr) {
        return;
    }
    const Gles3Functions& gl = *gl_;
    gl.BindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(frame_framebuffer_));
    const unsigned int framebuffers[] = {copy_framebuffer_, target_framebuffer_};
    gl.DeleteFramebuffers(2, framebuffers);
    const unsigned int textures[] = {frame_texture_, target_texture_};
    gl.DeleteTextures(2, textures);
    gl.DeleteVertexArrays(1, &vertex_array_);
    for (const unsigned int program : programs_) {
        if (program != 0) {
            gl.DeleteProgram(program);
        }
    }
}
