#include "tools/capture/yuv_pass.h"

#include <cmath>

namespace {

// BT.709 luma weights and the limited-range scale: Y in 16..235, Cb and Cr in 16..240.
constexpr double kr = 0.2126;
constexpr double kg = 0.7152;
constexpr double kb = 0.0722;

struct Yuv {
    double y, cb, cr;
};

// `r`, `g`, `b` from 0 to 255.
Yuv yuv_of(double r, double g, double b) {
    const double luma = kr * r + kg * g + kb * b;
    return Yuv{16.0 + 219.0 / 255.0 * luma, 128.0 + 224.0 / 255.0 * (b - luma) / (2.0 * (1.0 - kb)),
               128.0 + 224.0 / 255.0 * (r - luma) / (2.0 * (1.0 - kr))};
}

std::uint8_t byte_of(double value) {
    return static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, value))));
}

// The fragment shader writes four samples of one plane row per texel. Rows of the target: the
// Y plane (one image row each), then Cb and Cr; at 4:2:0 one target row holds two chroma rows.
// The frame texture has the bottom row first; image rows count from the top.
constexpr char fragment_body[] = R"(
uniform sampler2D frame;
uniform int width;
uniform int height;
uniform int full_chroma;
out vec4 colour;

const vec3 luma = vec3(0.2126, 0.7152, 0.0722);

vec3 pixel(int x, int row) {
    return texelFetch(frame, ivec2(x, height - 1 - row), 0).rgb;
}

vec3 block(int x, int row) {
    return 0.25 * (pixel(2 * x, 2 * row) + pixel(2 * x + 1, 2 * row) +
                   pixel(2 * x, 2 * row + 1) + pixel(2 * x + 1, 2 * row + 1));
}

float sample_of(vec3 rgb, int plane) {
    float y = dot(luma, rgb);
    if (plane == 0) {
        return (16.0 + 219.0 * y) / 255.0;
    }
    float difference = plane == 1 ? (rgb.b - y) / 1.8556 : (rgb.r - y) / 1.5748;
    return (128.0 + 224.0 * difference) / 255.0;
}

void main() {
    ivec2 at = ivec2(gl_FragCoord.xy);
    int plane = 0;
    int row = at.y;
    int x = at.x * 4;
    bool mean = false;
    if (at.y >= height && full_chroma == 1) {
        plane = at.y / height;
        row = at.y - plane * height;
    } else if (at.y >= height) {
        int quarter = height / 4;
        int chroma_row = at.y - height;
        plane = chroma_row < quarter ? 1 : 2;
        chroma_row -= (plane - 1) * quarter;
        int half_row = width / 8;
        bool second = at.x >= half_row;
        row = chroma_row * 2 + (second ? 1 : 0);
        x = (at.x - (second ? half_row : 0)) * 4;
        mean = true;
    }
    vec4 samples;
    for (int i = 0; i < 4; ++i) {
        vec3 rgb = mean ? block(x + i, row) : pixel(x + i, row);
        samples[i] = sample_of(rgb, plane);
    }
    colour = samples;
}
)";

// One triangle that covers the whole target; no vertex attributes.
constexpr char vertex_body[] = R"(
void main() {
    vec2 corner = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1));
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";

unsigned int compile(const Gles3Functions& gl, ShaderDialect dialect, GLenum kind, const char* body,
                     std::string* error) {
    const std::string source =
        std::string(dialect == ShaderDialect::es300 ? "#version 300 es\nprecision highp float;\n"
                                                      "precision highp int;\n"
                                                    : "#version 330 core\n") +
        body;
    const char* text = source.c_str();
    const unsigned int shader = gl.CreateShader(kind);
    gl.ShaderSource(shader, 1, &text, nullptr);
    gl.CompileShader(shader);
    GLint compiled = GL_FALSE;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled != GL_TRUE) {
        char log[2048] = {};
        gl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
        *error = std::string("the YUV conversion shader does not compile: ") + log;
        gl.DeleteShader(shader);
        return 0;
    }
    return shader;
}

unsigned int link(const Gles3Functions& gl, ShaderDialect dialect, std::string* error) {
    const unsigned int vertex = compile(gl, dialect, GL_VERTEX_SHADER, vertex_body, error);
    const unsigned int fragment =
        vertex == 0 ? 0 : compile(gl, dialect, GL_FRAGMENT_SHADER, fragment_body, error);
    if (fragment == 0) {
        if (vertex != 0) {
            gl.DeleteShader(vertex);
        }
        return 0;
    }
    const unsigned int program = gl.CreateProgram();
    gl.AttachShader(program, vertex);
    gl.AttachShader(program, fragment);
    gl.LinkProgram(program);
    gl.DeleteShader(vertex);
    gl.DeleteShader(fragment);
    GLint linked = GL_FALSE;
    gl.GetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        char log[2048] = {};
        gl.GetProgramInfoLog(program, sizeof log, nullptr, log);
        *error = std::string("the YUV conversion shader does not link: ") + log;
        gl.DeleteProgram(program);
        return 0;
    }
    return program;
}

// An RGBA8 texture of the given size, sampled texel for texel.
unsigned int make_texture(const Gles3Functions& gl, int width, int height) {
    unsigned int texture = 0;
    gl.GenTextures(1, &texture);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return texture;
}

} // namespace

std::size_t planar_frame_bytes(int width, int height, Chroma chroma) {
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return chroma == Chroma::yuv444 ? pixels * 3 : pixels + pixels / 2;
}

void rgba_to_planar(const std::uint8_t* rgba, int width, int height, Chroma chroma,
                    std::uint8_t* planar) {
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
            const Yuv yuv = yuv_of(p[0], p[1], p[2]);
            planar[row * w + x] = byte_of(yuv.y);
            if (full) {
                cb[row * w + x] = byte_of(yuv.cb);
                cr[row * w + x] = byte_of(yuv.cr);
            }
        }
    }
    if (full) {
        return;
    }
    for (std::size_t row = 0; row < ch; ++row) {
        for (std::size_t x = 0; x < cw; ++x) {
            double sum[3] = {0.0, 0.0, 0.0};
            for (const std::size_t dy : {0u, 1u}) {
                for (const std::size_t dx : {0u, 1u}) {
                    const std::uint8_t* p = at(2 * x + dx, 2 * row + dy);
                    for (int c = 0; c < 3; ++c) {
                        sum[c] += p[c];
                    }
                }
            }
            const Yuv yuv = yuv_of(sum[0] / 4.0, sum[1] / 4.0, sum[2] / 4.0);
            cb[row * cw + x] = byte_of(yuv.cb);
            cr[row * cw + x] = byte_of(yuv.cr);
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
    program_ = link(gl, dialect, error);
    if (program_ == 0) {
        return false;
    }
    gl.GenVertexArrays(1, &vertex_array_);
    gl.GetIntegerv(GL_FRAMEBUFFER_BINDING, &frame_framebuffer_);
    frame_texture_ = make_texture(gl, width, height);
    target_texture_ = make_texture(gl, target_width(), target_rows());
    gl.GenFramebuffers(1, &target_framebuffer_);
    gl.BindFramebuffer(GL_FRAMEBUFFER, target_framebuffer_);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target_texture_,
                            0);
    const bool target_complete =
        gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    gl.UseProgram(program_);
    gl.Uniform1i(gl.GetUniformLocation(program_, "frame"), 0);
    gl.Uniform1i(gl.GetUniformLocation(program_, "width"), width);
    gl.Uniform1i(gl.GetUniformLocation(program_, "height"), height);
    gl.Uniform1i(gl.GetUniformLocation(program_, "full_chroma"), chroma == Chroma::yuv444);
    gl.BindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(frame_framebuffer_));
    if (!target_complete) {
        *error = "no framebuffer for the YUV conversion";
        return false;
    }
    return true;
}

int YuvPass::target_rows() const {
    return chroma_ == Chroma::yuv444 ? height_ * 3 : height_ + height_ / 2;
}

void YuvPass::convert() const {
    const Gles3Functions& gl = *gl_;
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(frame_framebuffer_));
    gl.ActiveTexture(GL_TEXTURE0);
    gl.BindTexture(GL_TEXTURE_2D, frame_texture_);
    gl.CopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width_, height_);
    gl.BindFramebuffer(GL_FRAMEBUFFER, target_framebuffer_);
    gl.Viewport(0, 0, target_width(), target_rows());
    gl.Disable(GL_DEPTH_TEST);
    gl.UseProgram(program_);
    gl.BindVertexArray(vertex_array_);
    gl.DrawArrays(GL_TRIANGLES, 0, 3);
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
    gl.DeleteFramebuffers(1, &target_framebuffer_);
    const unsigned int textures[] = {frame_texture_, target_texture_};
    gl.DeleteTextures(2, textures);
    gl.DeleteVertexArrays(1, &vertex_array_);
    if (program_ != 0) {
        gl.DeleteProgram(program_);
    }
}
