// A frame as OpenGL reads it back (RGBA, bottom row first) turned, on the writer thread, into
// what the outputs take: packed RGB rows for PNGs, or planar YUV (BT.709 matrix, limited range)
// for videos and Y4M streams.
//
// A planar frame is the Y plane (width x height), then Cb, then Cr (width/2 x height/2 each for
// 4:2:0, width x height for 4:4:4), rows top first, one byte a sample: what ffmpeg calls yuv420p
// or yuv444p and a Y4M frame holds. A 4:2:0 colour sample is that of the mean of its 2x2 block.
#pragma once

#include "tools/capture/capture_options.h"

#include <cstddef>
#include <cstdint>
#include <vector>

std::size_t planar_frame_bytes(int width, int height, Chroma chroma);

// `rgba`: the frame as OpenGL reads it back, bottom row first. `planar` gets
// planar_frame_bytes(width, height, chroma) bytes. Width and height must be even.
void rgba_to_planar(const std::uint8_t* rgba, int width, int height, Chroma chroma,
                    std::uint8_t* planar);

// Packed 8-bit RGB rows, top row first. `rgb` is resized to width * height * 3.
void rgba_to_rgb_rows(const std::uint8_t* rgba, int width, int height,
                      std::vector<std::uint8_t>& rgb);
