#include "gl/portable/gentle.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

namespace portable {
namespace {

enum Framebuffer {
    frame_fb0,
    frame_fb1,
    means_fb0,
    means_fb1,
    area_fb0,
    area_fb1,
    recheck_fb,
    tile_fb,
    framebuffer_count
};
enum Texture {
    frame_tex0, // copies of the frame as drawn, this one and the last
    frame_tex1,
    frame_means_tex0, // per tile, integers: the frame's colour sums (whole, and left part)
    frame_means_tex1,
    last_means_tex, // and the last shown frame's
    flash_tex0,     // per area: share of light and flash states, general and red, and their counts
    general_tex0,
    red_tex0,
    counts_tex0,
    flash_tex1,
    general_tex1,
    red_tex1,
    counts_tex1,
    area_dims_tex, // per area: its share of light, checked again against the tiles' shares
    tile_dims_tex, // per tile: the share of light let through
    linear_tex,    // sRGB's 256 values in linear light
    texture_count
};
enum Program {
    means_program,
    area_program,
    recheck_program,
    tile_program,
    dim_program,
    program_count
};

static_assert(texture_count <= std::size(GentleStep{}.textures));
static_assert(framebuffer_count <= std::size(GentleStep{}.framebuffers));
static_assert(program_count <= std::size(GentleStep{}.programs));

// One triangle over the whole target; no vertex buffer.
const char* const pass_vertex_body = R"(
void main() {
    vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

// Two triangles over each tile that lets through less than all of its light, none elsewhere
// (the six vertices of a tile the step leaves alone meet outside the picture): the frame is
// already in the caller's framebuffer as drawn, and only dimmed tiles are drawn again.
const char* const dim_vertex_body = R"(
precision highp int;
uniform sampler2D u_dims;
uniform vec2 u_size;
void main() {
    int tiles_x = textureSize(u_dims, 0).x;
    int t = gl_VertexID / 6;
    ivec2 tile = ivec2(t % tiles_x, t / tiles_x);
    vec4 share = texelFetch(u_dims, tile, 0);
    if (share.r >= 1.0 && share.a >= 1.0) {
        gl_Position = vec4(2.0, 2.0, 0.0, 1.0);
        return;
    }
    int corner = gl_VertexID - t * 6;
    corner = corner < 3 ? corner : 6 - corner; // 0 1 2, then 3 2 1
    vec2 top_left = vec2(tile * 16);
    vec2 p = min(top_left + vec2(float(corner & 1), float(corner >> 1)) * 16.0, u_size);
    gl_Position = vec4(p.x / u_size.x * 2.0 - 1.0, 1.0 - p.y / u_size.y * 2.0, 0.0, 1.0);
}
)";

// What the fragment passes share: sRGB to linear light (from a table) and back, relative
// luminance, a value of 0 to 1 kept to 16 bits in two 8-bit channels, and what a pixel is shown
// as where its tile lets through only `dim` of its light: rounded down to 8 bits, so that no area
// ends above what its share allows; exactly as drawn where nothing is dimmed.
const char* const pass_common = R"(
precision highp int;
const int tile = 16;
uniform sampler2D u_linear;
float linear_of(float c) {
    return texelFetch(u_linear, ivec2(int(c * 255.0 + 0.5), 0), 0).r;
}
vec3 to_linear(vec3 c) {
    return vec3(linear_of(c.r), linear_of(c.g), linear_of(c.b));
}
vec3 to_srgb(vec3 l) {
    return mix(l * 12.92, 1.055 * pow(l, vec3(1.0 / 2.4)) - 0.055, step(0.0031308, l));
}
float luminance(vec3 l) {
    return dot(l, vec3(0.2126, 0.7152, 0.0722));
}
vec2 pack16(float v) {
    float x = floor(clamp(v, 0.0, 1.0) * 65535.0 + 0.5);
    float high = floor(x / 256.0);
    return vec2(high, x - high * 256.0) / 255.0;
}
float unpack16(vec2 c) {
    vec2 b = floor(c * 255.0 + 0.5);
    return (b.x * 256.0 + b.y) / 65535.0;
}
// A share of light, kept to 16 bits in a texel's first and last channels, rounded down: a kept
// share never lets through more than was asked.
vec4 share_texel(float v) {
    float x = floor(clamp(v, 0.0, 1.0) * 65535.0);
    float high = floor(x / 256.0);
    return vec4(high, 0.0, 0.0, x - high * 256.0) / 255.0;
}
float share_of(vec4 texel) {
    return unpack16(texel.ra);
}
vec3 shown_colour(vec3 drawn, float dim) {
    if (dim >= 1.0) {
        return drawn;
    }
    return floor(to_srgb(dim * to_linear(drawn)) * 255.0 + 0.01) / 255.0;
}
)";

// Per tile (tiles counted from the picture's top row, as areas are): the sums of the colour in
// linear light of the new frame and of the last shown one, over the whole tile and over its
// u_part left columns (where an area ends inside the tile), as shares of a whole tile's pixels
// kept to 16 bits. Pixels past the picture's edge are black. The last shown frame is the last
// frame drawn, dimmed by its tile's share: where nothing was dimmed its sums are the ones that
// frame had.
const char* const means_body = R"(
uniform sampler2D u_frame;
uniform sampler2D u_last;
uniform highp usampler2D u_last_means;
uniform sampler2D u_dims;
uniform vec2 u_size;
uniform float u_part;
layout(location = 0) out uvec4 o_frame;
layout(location = 1) out uvec4 o_last;
uint fixed16(float v) {
    return uint(floor(clamp(v, 0.0, 1.0) * 65535.0 + 0.5));
}
uvec4 pack_sums(vec3 whole, vec3 part) {
    float n = float(tile * tile);
    uvec3 w = uvec3(fixed16(whole.r / n), fixed16(whole.g / n), fixed16(whole.b / n));
    uvec3 p = uvec3(fixed16(part.r / n), fixed16(part.g / n), fixed16(part.b / n));
    return uvec4((w.r << 16) | w.g, (w.b << 16) | p.r, (p.g << 16) | p.b, 0u);
}
// The sums of `image` over the tile, each pixel as shown with `dim` of its light.
uvec4 tile_sums(sampler2D image, float dim) {
    ivec2 size = ivec2(u_size);
    int part = int(u_part);
    ivec2 origin = ivec2(gl_FragCoord.xy) * tile;
    vec3 sum = vec3(0.0);
    vec3 part_sum = vec3(0.0);
    for (int x = 0; x < tile; ++x) {
        if (x == part) {
            part_sum = sum;
        }
        for (int y = 0; y < tile; ++y) {
            ivec2 p = ivec2(origin.x + x, size.y - 1 - (origin.y + y));
            if (p.x < size.x && p.y >= 0) {
                sum += to_linear(shown_colour(texelFetch(image, p, 0).rgb, dim));
            }
        }
    }
    return pack_sums(sum, part_sum);
}
void main() {
    o_frame = tile_sums(u_frame, 1.0);
    float dim = share_of(texelFetch(u_dims, ivec2(gl_FragCoord.xy), 0));
    o_last = dim >= 1.0 ? texelFetch(u_last_means, ivec2(gl_FragCoord.xy), 0)
                        : tile_sums(u_last, dim);
}
)";

// What the passes over areas share: an area's mean colour from the tile sums, and WCAG's
// classes of colour.
const char* const area_common = R"(
uniform vec3 u_area;    // whole tiles across, whether a part of one more, tiles down
uniform float u_pixels; // pixels in an area
uniform vec2 u_limits;  // general and red transitions in the counted bins before dimming
const vec2 white = vec2(0.1978, 0.4683);
vec3 whole_sums(uvec4 m) {
    return vec3(float(m.x >> 16), float(m.x & 65535u), float(m.y >> 16)) / 65535.0;
}
vec3 part_sums(uvec4 m) {
    return vec3(float(m.y & 65535u), float(m.z >> 16), float(m.z & 65535u)) / 65535.0;
}
// The area's mean colour: its whole tiles, and the left part of the one it ends in, each tile's
// light scaled by its share in `dims` where `dimmed`.
vec3 area_mean(highp usampler2D means, sampler2D dims, bool dimmed, ivec2 first, vec3 area,
               float pixels) {
    vec3 sum = vec3(0.0);
    int across = int(area.x);
    for (int y = 0; y < int(area.z); ++y) {
        for (int x = 0; x <= across; ++x) {
            ivec2 t = first + ivec2(x, y);
            float share = dimmed ? share_of(texelFetch(dims, t, 0)) : 1.0;
            if (x < across) {
                sum += share * whole_sums(texelFetch(means, t, 0));
            } else if (area.y > 0.0) {
                sum += share * part_sums(texelFetch(means, t, 0));
            }
        }
    }
    return sum * float(tile * tile) / pixels;
}
bool is_dark(vec3 c) {
    return max(c.r, max(c.g, c.b)) < 0.01;
}
// CIE 1976 u'v' of a colour that is not black; of the white point where dark.
vec2 hue_of(vec3 c) {
    float x = dot(c, vec3(0.4124, 0.3576, 0.1805));
    float z = dot(c, vec3(0.0193, 0.1192, 0.9505));
    return vec2(4.0 * x, 9.0 * luminance(c)) / (x + 15.0 * luminance(c) + 3.0 * z);
}
vec2 chromaticity(vec3 c) {
    return is_dark(c) ? white : hue_of(c);
}

bool is_red(vec3 c) {
    return !is_dark(c) && c.r >= 0.8 * (c.r + c.g + c.b);
}
// Red, or so near it that a check of the shown video, with its colour conversion and rounding,
// may find it red, were it not dark.
bool reddish(vec3 c) {
    return c.r > 0.0 && c.r >= 0.75 * (c.r + c.g + c.b);
}
// A red whose brightest channel is within 10% of the dark's 0.01: a check of the shown video
// (its colour conversion moves an area's mean by 3% or so) may find it either.
bool on_the_line(vec3 c) {
    float top = max(c.r, max(c.g, c.b));
    return reddish(c) && top >= 0.009 && top < 0.011;
}
float red_count(vec4 counts) {
    vec4 binned = floor(counts * 255.0 + 0.5);
    return dot(binned - 16.0 * floor(binned / 16.0), vec4(1.0));
}
// A red near the line may be found dark in one frame and red in the next, a red flash each time
// it crosses; where a frame would bring one there, it is kept below, dark to any check. `shown` is
// reckoned from the sums before each pixel is rounded down, up to 16% above what is shown where
// the share is small: hence the band from 0.009 to 0.0125. And with its red budget spent, an
// area that is not red now may not turn red, nor near it. The share of the drawn light `frame`
// that does so, or 1.
float red_share(vec3 frame, vec3 shown, bool red, float counted_red) {
    float top = max(shown.r, max(shown.g, shown.b));
    bool near_line = top >= 0.009 && top < 0.0125;
    bool over_budget = counted_red >= u_limits.y && !red && top >= 0.0085;
    return reddish(shown) && (near_line || over_budget)
               ? 0.0085 / max(frame.r, max(frame.g, frame.b))
               : 1.0;
}
)";

// Per area: the flashes of its mean colour through the shown frames, counted as WCAG 2.3.1
// counts them, and how much of the new frame's light to let through. The states follow the last
// shown frame; the counts are kept in four bins of a third of a second (oldest first), so that
// they cover the last second or more. While an area has had fewer than u_limits.x general
// transitions there, the frame goes as drawn; after that a rise that would complete another is
// dimmed away, just under 0.1 above the area's lowest level. The same with red transitions
// (u_limits.y): an area that is not red may not turn red, and is dimmed to the dark (red_share
// above, with the line between dark and red). Falls need no dimming: each follows a rise, so
// that no second holds more than one transition over the limit. (Red transitions, too,
// alternate: into red and out of it. Two saturated reds are never 0.2 apart.)
const char* const area_body = R"(
uniform highp usampler2D u_frame_means;
uniform highp usampler2D u_last_means;
uniform sampler2D u_flash;
uniform sampler2D u_general;
uniform sampler2D u_red;
uniform sampler2D u_counts;
uniform vec3 u_history; // bins to shift out, whether the states are known, whether to dim
layout(location = 0) out vec4 o_flash;
layout(location = 1) out vec4 o_general;
layout(location = 2) out vec4 o_red;
layout(location = 3) out vec4 o_counts;
// A transition is a swing of 0.1. Counted here from 0.085, and a rise over the budget held below
// 0.075, the areas' means may differ a little from what a check of the shown video measures
// (its colour conversion, the rounding of every sum) without a transition slipping through.
const float swing = 0.085;
const float rise_cap = 0.075;
void main() {
    ivec2 here = ivec2(gl_FragCoord.xy);
    vec3 frame = area_mean(u_frame_means, u_flash, false, here, u_area, u_pixels);
    vec3 last = area_mean(u_last_means, u_flash, false, here, u_area, u_pixels);
    float lum = luminance(last);
    vec4 flash = texelFetch(u_flash, here, 0);
    vec4 g = texelFetch(u_general, here, 0);
    vec4 r = texelFetch(u_red, here, 0);
    vec4 binned = floor(texelFetch(u_counts, here, 0) * 255.0 + 0.5);
    float direction = floor(flash.g * 255.0 + 0.5) - 1.0;
    float extreme = unpack16(g.rg);  // the run's extreme; the lowest while no direction yet
    float other = unpack16(g.ba);    // the highest while no direction yet
    vec2 uv = vec2(unpack16(r.rg), unpack16(r.ba));
    bool red = flash.b > 0.5;
    float general[4];
    float reds[4];
    int shift = int(u_history.x);
    for (int i = 0; i < 4; ++i) {
        int j = min(i + shift, 3);
        float p = j == 0 ? binned.r : j == 1 ? binned.g : j == 2 ? binned.b : binned.a;
        bool kept = u_history.y > 0.0 && i + shift < 4;
        general[i] = kept ? floor(p / 16.0) : 0.0;
        reds[i] = kept ? p - 16.0 * floor(p / 16.0) : 0.0;
    }
    if (u_history.y <= 0.0) {
        direction = 0.0;
        extreme = lum;
        other = lum;
        uv = chromaticity(last);
        red = is_red(last);
    } else {
        if (direction > 0.0) {
            extreme = max(extreme, lum);
        } else {
            extreme = min(extreme, lum);
        }
        if (direction == 0.0) {
            other = max(other, lum);
        }
        bool rising = direction <= 0.0 && lum >= extreme + swing && extreme < 0.8;
        bool falling = lum < 0.8 && (direction > 0.0 ? lum <= extreme - swing
                                                     : direction == 0.0 && lum <= other - swing);
        if (rising || falling) {
            direction = rising ? 1.0 : -1.0;
            extreme = lum;
            general[3] += 1.0;
        }
        vec2 now = chromaticity(last);
        bool red_now = is_red(last);
        if (on_the_line(last)) {
            // Found by a check as whichever it was not: counted so, it cannot cross unseen.
            red_now = !red;
            now = red ? white : hue_of(last);
        }
        if (distance(now, uv) > 0.2 && (red_now || red)) {
            uv = now;
            red = red_now;
            reds[3] += 1.0;
        }
    }
    float dim = 1.0;
    if (u_history.z > 0.0) {
        // The level a rise would be counted from: none while the area is rising.
        float floor_level = direction <= 0.0 ? extreme : 2.0;
        float counted = general[0] + general[1] + general[2] + general[3];
        float level = luminance(frame);
        if (counted >= u_limits.x && floor_level < 0.8 && level >= floor_level + rise_cap) {
            dim = (floor_level + rise_cap) / level;
        }
        float counted_red = reds[0] + reds[1] + reds[2] + reds[3];
        dim = min(dim, red_share(frame, frame * dim, red, counted_red));
    }
    vec4 counts;
    for (int i = 0; i < 4; ++i) {
        float c = min(general[i], 15.0) * 16.0 + min(reds[i], 15.0);
        if (i == 0) counts.r = c; else if (i == 1) counts.g = c; else if (i == 2) counts.b = c;
        else counts.a = c;
    }
    o_flash = share_texel(dim) + vec4(0.0, (direction + 1.0) / 255.0, red ? 1.0 : 0.0, 0.0);
    o_general = vec4(pack16(extreme), pack16(other));
    o_red = vec4(pack16(uv.x), pack16(uv.y));
    o_counts = counts / 255.0;
}
)";

// Per area, once the tiles' shares are known: other areas' dimming of shared tiles may have
// brought this one's red near the dark, or into red over its budget, where its own share did not.
// Its share again, the least of the two.
const char* const recheck_body = R"(
uniform highp usampler2D u_frame_means;
uniform sampler2D u_tile_dims;
uniform sampler2D u_flash;
uniform sampler2D u_counts;
layout(location = 0) out vec4 o_dim;
void main() {
    ivec2 here = ivec2(gl_FragCoord.xy);
    vec4 flash = texelFetch(u_flash, here, 0);
    vec3 frame = area_mean(u_frame_means, u_tile_dims, false, here, u_area, u_pixels);
    vec3 shown = area_mean(u_frame_means, u_tile_dims, true, here, u_area, u_pixels);
    float share = red_share(frame, shown, flash.b > 0.5, red_count(texelFetch(u_counts, here, 0)));
    o_dim = share_texel(min(share_of(flash), share));
}
)";

// Per tile: the least any area over it lets through.
const char* const tile_body = R"(
uniform sampler2D u_dims;
uniform vec2 u_area;
uniform vec2 u_areas;
layout(location = 0) out vec4 o_dim;
void main() {
    ivec2 here = ivec2(gl_FragCoord.xy);
    ivec2 area = ivec2(u_area);
    ivec2 areas = ivec2(u_areas);
    float dim = 1.0;
    for (int y = 0; y < area.y; ++y) {
        for (int x = 0; x < area.x; ++x) {
            ivec2 a = here - ivec2(x, y);
            if (all(greaterThanEqual(a, ivec2(0))) && all(lessThan(a, areas))) {
                dim = min(dim, share_of(texelFetch(u_dims, a, 0)));
            }
        }
    }
    o_dim = share_texel(dim);
}
)";

// A dimmed tile of the shown frame, into the caller's framebuffer.
const char* const dim_body = R"(
uniform sampler2D u_frame;
uniform sampler2D u_dims;
uniform vec2 u_size;
layout(location = 0) out vec4 o_colour;
void main() {
    ivec2 p = ivec2(gl_FragCoord.xy);
    ivec2 t = ivec2(p.x, int(u_size.y) - 1 - p.y) / tile;
    float dim = share_of(texelFetch(u_dims, t, 0));
    o_colour = vec4(shown_colour(texelFetch(u_frame, p, 0).rgb, dim), 1.0);
}
)";

// An RGBA8 texture of w x h (four 32-bit integers a texel where `integers`), sampled texel by
// texel.
unsigned int make_texture(const Gles3Functions& gl, int w, int h, bool integers) {
    unsigned int texture = 0;
    gl.GenTextures(1, &texture);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    if (integers) {
        gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32UI, w, h, 0, GL_RGBA_INTEGER, GL_UNSIGNED_INT,
                      nullptr);
    } else {
        gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

// A framebuffer drawing into `textures` in order; false when incomplete.
bool make_framebuffer(const GentleStep& step, unsigned int* framebuffer,
                      std::initializer_list<int> textures) {
    const Gles3Functions& gl = step.gl;
    gl.GenFramebuffers(1, framebuffer);
    gl.BindFramebuffer(GL_FRAMEBUFFER, *framebuffer);
    GLenum attachments[4] = {};
    GLsizei count = 0;
    for (const int texture : textures) {
        attachments[count] = GL_COLOR_ATTACHMENT0 + static_cast<GLenum>(count);
        gl.FramebufferTexture2D(GL_FRAMEBUFFER, attachments[count], GL_TEXTURE_2D,
                                step.textures[texture], 0);
        ++count;
    }
    gl.DrawBuffers(count, attachments);
    return gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// sRGB's 256 values in linear light, a 256x1 texture of floats.
unsigned int make_linear_table(const Gles3Functions& gl) {
    float table[256];
    for (int i = 0; i < 256; ++i) {
        const double c = static_cast<double>(i) / 255.0;
        table[i] =
            static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    unsigned int texture = 0;
    gl.GenTextures(1, &texture);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_R32F, 256, 1, 0, GL_RED, GL_FLOAT, table);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return texture;
}

// Every texture, sized for the picture, its tiles or its areas.
void make_textures(GentleStep& step) {
    for (int i = 0; i < linear_tex; ++i) {
        int w = step.tiles_x, h = step.tiles_y;
        if (i <= frame_tex1) {
            w = step.width;
            h = step.height;
        } else if (i >= flash_tex0 && i <= area_dims_tex) {
            w = step.areas_x;
            h = step.areas_y;
        }
        const bool sums = i >= frame_means_tex0 && i <= last_means_tex;
        step.textures[i] = make_texture(step.gl, w, h, sums);
    }
    step.textures[linear_tex] = make_linear_table(step.gl);
}

// Every framebuffer: the frames' copies, the second look at the areas and the tiles go into one
// texture each, the means and the areas' passes write two and four.
bool make_targets(GentleStep& step, std::string* error) {
    const Gles3Functions& gl = step.gl;
    make_textures(step);
    unsigned int* fb = step.framebuffers;
    bool complete = true;
    for (int i = 0; i < 2; ++i) {
        complete = make_framebuffer(step, &fb[frame_fb0 + i], {frame_tex0 + i}) && complete;
        complete =
            make_framebuffer(step, &fb[means_fb0 + i], {frame_means_tex0 + i, last_means_tex}) &&
            complete;
    }
    complete =
        make_framebuffer(step, &fb[area_fb0], {flash_tex0, general_tex0, red_tex0, counts_tex0}) &&
        complete;
    complete =
        make_framebuffer(step, &fb[area_fb1], {flash_tex1, general_tex1, red_tex1, counts_tex1}) &&
        complete;
    complete = make_framebuffer(step, &fb[recheck_fb], {area_dims_tex}) && complete;
    complete = make_framebuffer(step, &fb[tile_fb], {tile_dims_tex}) && complete;
    gl.BindFramebuffer(GL_FRAMEBUFFER, static_cast<unsigned int>(step.target));
    if (!complete) {
        *error = "the gentle step's framebuffers are incomplete";
    }
    return complete;
}

bool make_programs(GentleStep& step, ShaderDialect dialect, std::string* error) {
    const char* const bodies[program_count] = {means_body, area_body, recheck_body, tile_body,
                                               dim_body};
    for (int i = 0; i < program_count; ++i) {
        const std::string vertex =
            shader_preamble(dialect) +
            std::string(i == dim_program ? dim_vertex_body : pass_vertex_body);
        const bool areas = i == area_program || i == recheck_program;
        const std::string fragment = shader_preamble(dialect) + std::string(pass_common) +
                                     (areas ? area_common : "") + bodies[i];
        step.programs[i] = build_shader_program(step.gl, vertex, fragment, error);
        if (step.programs[i] == 0) {
            *error = "gentle step: " + *error;
            return false;
        }
    }
    return true;
}

// Starts a pass of `program` into `framebuffer` (-1: the caller's), w x h, with the textures
// bound to units 0, 1, ... as the samplers named.
void begin_pass(const GentleStep& step, int program, int framebuffer, int w, int h,
                std::initializer_list<std::pair<const char*, int>> samplers) {
    const Gles3Functions& gl = step.gl;
    const unsigned int id = step.programs[program];
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer < 0 ? static_cast<unsigned int>(step.target)
                                                       : step.framebuffers[framebuffer]);
    gl.Viewport(0, 0, w, h);
    gl.UseProgram(id);
    int unit = 0;
    for (const auto& [name, texture] : samplers) {
        gl.ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        gl.BindTexture(GL_TEXTURE_2D, step.textures[texture]);
        gl.Uniform1i(gl.GetUniformLocation(id, name), unit);
        ++unit;
    }
}

// The frame, as drawn into the caller's framebuffer, copied for the passes to read.
void copy_frame(const GentleStep& step) {
    const Gles3Functions& gl = step.gl;
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<unsigned int>(step.target));
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, step.framebuffers[frame_fb0 + step.current]);
    gl.BlitFramebuffer(0, 0, step.width, step.height, 0, 0, step.width, step.height,
                       GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

// Whether the caller's framebuffer can be copied (a multisampled one of another format, for
// one, cannot): tried once, so that a step that could only show the frame unmeasured says so.
bool frame_copies(const GentleStep& step, std::string* error) {
    const Gles3Functions& gl = step.gl;
    for (int earlier = 0; earlier < 8 && gl.GetError() != GL_NO_ERROR; ++earlier) {
        // an error left by an earlier call is not this copy's
    }
    copy_frame(step);
    const GLenum failure = gl.GetError();
    gl.BindFramebuffer(GL_FRAMEBUFFER, static_cast<unsigned int>(step.target));
    if (failure != GL_NO_ERROR) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%04x", failure);
        *error = std::string("the gentle step cannot copy the frame it is to measure (GL error ") +
                 code + ")";
        return false;
    }
    return true;
}

void set_vec2(const GentleStep& step, int program, const char* name, int x, int y) {
    step.gl.Uniform2f(step.gl.GetUniformLocation(step.programs[program], name),
                      static_cast<float>(x), static_cast<float>(y));
}

void draw_pass(const GentleStep& step) {
    step.gl.DrawArrays(GL_TRIANGLES, 0, 3);
}

// What both passes over areas need to know of them.
void set_area_uniforms(const GentleStep& step, int program) {
    const Gles3Functions& gl = step.gl;
    const unsigned int id = step.programs[program];
    gl.Uniform3f(
        gl.GetUniformLocation(id, "u_area"), static_cast<float>(step.area_width / gentle_tile),
        step.area_width % gentle_tile != 0 ? 1.0f : 0.0f, static_cast<float>(step.area_tiles_y));
    gl.Uniform1f(gl.GetUniformLocation(id, "u_pixels"),
                 static_cast<float>(step.area_width * step.area_height));
    gl.Uniform2f(gl.GetUniformLocation(id, "u_limits"), step.limits.general_transitions,
                 step.limits.red_transitions);
}

// Per tile, the least share of light of the areas over it, from the areas' shares in `dims`.
void tile_pass(const GentleStep& step, int dims) {
    begin_pass(step, tile_program, tile_fb, step.tiles_x, step.tiles_y, {{"u_dims", dims}});
    set_vec2(step, tile_program, "u_area", step.area_tiles_x, step.area_tiles_y);
    set_vec2(step, tile_program, "u_areas", step.areas_x, step.areas_y);
    draw_pass(step);
}

// Every area's share again, now that the tiles' are known (the areas' states are the new ones);
// and the tiles' shares from those.
void recheck_areas(const GentleStep& step) {
    const int states = step.state == 0 ? flash_tex0 : flash_tex1;
    begin_pass(step, recheck_program, recheck_fb, step.areas_x, step.areas_y,
               {{"u_frame_means", frame_means_tex0 + step.current},
                {"u_tile_dims", tile_dims_tex},
                {"u_flash", states},
                {"u_counts", states + 3}});
    set_area_uniforms(step, recheck_program);
    draw_pass(step);
    tile_pass(step, area_dims_tex);
}

// The tile means, then every area's flashes and share of light, into the other set of states.
void measure_areas(GentleStep& step, long long bin) {
    const int now = step.current;
    begin_pass(step, means_program, means_fb0 + now, step.tiles_x, step.tiles_y,
               {{"u_frame", frame_tex0 + now},
                {"u_last", frame_tex0 + 1 - now},
                {"u_last_means", frame_means_tex0 + 1 - now},
                {"u_dims", tile_dims_tex},
                {"u_linear", linear_tex}});
    set_vec2(step, means_program, "u_size", step.width, step.height);
    const unsigned int means = step.programs[means_program];
    step.gl.Uniform1f(step.gl.GetUniformLocation(means, "u_part"),
                      static_cast<float>(step.area_width % gentle_tile));
    draw_pass(step);
    const int from = step.state == 0 ? flash_tex0 : flash_tex1;
    begin_pass(step, area_program, step.state == 0 ? area_fb1 : area_fb0, step.areas_x,
               step.areas_y,
               {{"u_frame_means", frame_means_tex0 + now},
                {"u_last_means", last_means_tex},
                {"u_flash", from},
                {"u_general", from + 1},
                {"u_red", from + 2},
                {"u_counts", from + 3}});
    const unsigned int id = step.programs[area_program];
    set_area_uniforms(step, area_program);
    const long long shift = std::clamp(bin - step.last_bin, 0LL, 4LL);
    step.gl.Uniform3f(step.gl.GetUniformLocation(id, "u_history"), static_cast<float>(shift),
                      step.frames_shown >= 2 ? 1.0f : 0.0f, step.frames_shown >= 1 ? 1.0f : 0.0f);
    draw_pass(step);
    step.state = 1 - step.state;
}

} // namespace

bool gentle_open(const Gles3Functions& functions, ShaderDialect dialect, int width, int height,
                 GentleStep* step, std::string* error) {
    *step = GentleStep{};
    step->gl = functions;
    GLint bound = 0;
    functions.GetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    step->target = bound;
    step->width = width;
    step->height = height;
    step->tiles_x = (width + gentle_tile - 1) / gentle_tile;
    step->tiles_y = (height + gentle_tile - 1) / gentle_tile;
    // Areas as scripts/flash-check.py places them: whole inside the picture, a tile apart.
    step->area_width = std::min(width, step->limits.area_width);
    step->area_height = std::min(height, step->limits.area_height);
    step->area_tiles_x = (step->area_width + gentle_tile - 1) / gentle_tile;
    step->area_tiles_y = (step->area_height + gentle_tile - 1) / gentle_tile;
    step->areas_x = (width - step->area_width) / gentle_tile + 1;
    step->areas_y = (height - step->area_height) / gentle_tile + 1;
    if (!make_programs(*step, dialect, error) || !make_targets(*step, error) ||
        !frame_copies(*step, error)) {
        gentle_close(*step);
        return false;
    }
    functions.GenVertexArrays(1, &step->vertex_array);
    return true;
}

void gentle_close(GentleStep& step) {
    const Gles3Functions& gl = step.gl;
    if (gl.DeleteFramebuffers == nullptr) {
        return;
    }
    gl.BindFramebuffer(GL_FRAMEBUFFER, static_cast<unsigned int>(step.target));
    gl.DeleteFramebuffers(framebuffer_count, step.framebuffers);
    gl.DeleteTextures(texture_count, step.textures);
    for (const unsigned int program : step.programs) {
        gl.DeleteProgram(program);
    }
    gl.DeleteVertexArrays(1, &step.vertex_array);
    step = GentleStep{};
}

void gentle_show(GentleStep& step, double seconds) {
    const Gles3Functions& gl = step.gl;
    const double since = seconds - step.last_seconds;
    if (since < 0.0 || since > 1.0) {
        step.frames_shown = 0;
    }
    const auto bin = static_cast<long long>(std::floor(seconds / gentle_bin_s));
    gl.Disable(GL_DEPTH_TEST);
    gl.BindVertexArray(step.vertex_array);
    copy_frame(step);
    measure_areas(step, bin);
    tile_pass(step, step.state == 0 ? flash_tex0 : flash_tex1);
    if (step.frames_shown >= 1) {
        recheck_areas(step);
    }
    begin_pass(step, dim_program, -1, step.width, step.height,
               {{"u_frame", frame_tex0 + step.current},
                {"u_dims", tile_dims_tex},
                {"u_linear", linear_tex}});
    set_vec2(step, dim_program, "u_size", step.width, step.height);
    gl.DrawArrays(GL_TRIANGLES, 0, 6 * step.tiles_x * step.tiles_y);
    step.current = 1 - step.current;
    gl.ActiveTexture(GL_TEXTURE0);
    step.frames_shown = std::min(step.frames_shown + 1, 2);
    step.last_bin = bin;
    step.last_seconds = seconds;
}

} // namespace portable
