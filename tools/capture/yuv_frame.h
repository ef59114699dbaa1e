// Frames as planar YUV (BT.709 matrix, limited range), for videos and Y4M streams: converted on
// the writer thread from RGBA as OpenGL reads it back, and written as a YUV4MPEG2 stream (a
// header, then each frame as "FRAME\n" and its planar bytes) or down ffmpeg's pipe.
//
// A planar frame is the Y plane (width x height), then Cb, then Cr (width/2 x height/2 each for
// 4:2:0, width x height for 4:4:4), rows top first, one byte a sample: what ffmpeg calls yuv420p
// or yuv444p and a Y4M frame holds. A 4:2:0 colour sample is that of the mean of its 2x2 block.
#pragma once

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

// The stream header of a YUV4MPEG2 file: size, frame rate, chroma (4:2:0 sited at the centre of
// each 2x2 block, or 4:4:4) and limited colour range.
std::string y4m_header(int width, int height, int fps, Chroma chroma);

// Writes one frame of a Y4M stream. False on a write error (errno tells which).
bool write_y4m_frame(int fd, const std::vector<std::uint8_t>& planar);

// Writes all of `bytes` to `fd`, going on after interruptions. False on a write error (errno
// tells which).
bool write_all(int fd, const std::uint8_t* bytes, std::size_t size);
