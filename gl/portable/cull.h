// Large round points: culling the parts later points hide.
//
// With blending off the last primitive drawn on a pixel decides its colour, so the parts of a round
// point that later round points cover need not reach the rasteriser at all. At the final swell
// thousands of points 255 pixels across lie on top of each other and only thin crescents of most
// of them show: drawing every fragment costs the software rasteriser far more than this pass.
//
// The batch is walked from its last quad to its first, keeping a bit per pixel of what the round
// points seen so far cover for certain. Each round point is cut into bands of rows, and a band
// becomes a rectangle around the pixels of it that may still show; a band with none is dropped.
// The rectangles keep the point's centre, size, colour and place in the order, so the shader draws
// in them exactly the pixels the whole point would have drawn there. Lines and square points are
// kept whole and are not counted as covering anything. Every estimate errs on the safe side: a
// point's own extent is taken a little larger, what it covers a little smaller.
#pragma once

#include "gl/portable/portable_vertex.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace portable {

// Scratch memory kept from batch to batch.
struct Culling {
    std::vector<PortableVertex> visible;
    std::vector<std::uint64_t> covered; // one bit per pixel, rows of covered_words words
    std::size_t covered_words = 0;
    std::vector<int> band_left, band_right, band_bottom, band_top;
};

// Replaces `quads` (in draw order, on a width x height drawable) by its round points' visible
// bands and everything else as it is.
void cull_large_points(Culling& culling, std::vector<PortableVertex>& quads, int width, int height);

} // namespace portable
