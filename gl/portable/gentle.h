// The gentle step: the frame as drawn, then dimmed just enough, where needed, that no area of
// the picture flashes more than three times a second (general or red flashes, as WCAG 2.3.1
// counts them).
//
// The frame is drawn into the caller's framebuffer as always. The step follows every area of 25%
// of a 10-degree field at the density of a 1024x768 screen (170x128 pixels, placed every 16
// pixels) through the shown frames by its mean colour in linear light, and counts its general and
// red transitions as WCAG does, over the last second or more. While an area has had fewer than
// its budget (GentleLimits), the frame is shown there exactly as drawn; after that, a rise that
// would make another is dimmed away. Dimming scales a pixel's light: it keeps its hue and adds
// nothing that was not drawn.
//
// The passes, all on the GPU: a copy of the frame; tile means (16x16 pixels) of the new frame and
// of the last shown one; per area, its transitions and the share of light to let through; per
// tile, the least share of the areas over it; a second look at each area with those shares, and
// the tiles' shares again; and the dimmed tiles drawn again into the caller's framebuffer (only
// those: the rest of the frame stays as drawn).
#pragma once

#include "gl/portable/gles3.h"

#include <string>

namespace portable {

// How many transitions of each kind an area may show in its counted bins (a second or more)
// before the step dims the next rise: one more can follow, a fall, so that no second holds
// more than six (three flashes). Red keeps one in hand: near the dark a check of the shown video
// may see a red transition the step's own sums do not. And the area, in pixels.
struct GentleLimits {
    float general_transitions = 5.0f;
    float red_transitions = 4.0f;
    int area_width = 170;
    int area_height = 128;
};

constexpr int gentle_tile = 16;            // pixels across a tile; areas are a tile apart
constexpr double gentle_bin_s = 1.0 / 3.0; // seconds a bin of counts spans; four are kept

struct GentleStep {
    Gles3Functions gl{};
    GentleLimits limits{};
    int width = 0, height = 0;
    int tiles_x = 0, tiles_y = 0;           // tiles over the picture (the last ones partial)
    int area_width = 0, area_height = 0;    // pixels an area covers
    int area_tiles_x = 0, area_tiles_y = 0; // tiles an area reaches into
    int areas_x = 0, areas_y = 0;           // areas placed
    unsigned int framebuffers[8] = {};      // see gentle.cpp
    unsigned int textures[16] = {};         // see gentle.cpp
    unsigned int programs[5] = {};          // tile means, areas, areas again, tiles, dimmed tiles
    unsigned int vertex_array = 0;          // none: the passes' triangle comes from gl_VertexID
    int target = 0;                         // the framebuffer the caller draws into and reads
    int current = 0;        // which of the two frame textures the next frame goes to
    int state = 0;          // which of the two sets of area states is the current one
    int frames_shown = 0;   // since the step started afresh (counted up to 2)
    long long last_bin = 0; // the bin the last frame fell in
    double last_seconds = 0.0;
};

// Makes the textures, framebuffers and shaders for a width x height picture in the current
// context, remembering the framebuffer bound now as the one every shown frame goes to. false +
// error on failure, with everything made so far deleted.
bool gentle_open(const Gles3Functions& functions, ShaderDialect dialect, int width, int height,
                 GentleStep* step, std::string* error);

void gentle_close(GentleStep& step);

// Dims the drawn frame, shown at `seconds`, where the areas' budgets ask, writes it into the
// caller's framebuffer and leaves that bound. A frame shown earlier than the last one, or more
// than a second after it, starts afresh: it is shown as drawn.
void gentle_show(GentleStep& step, double seconds);

} // namespace portable
