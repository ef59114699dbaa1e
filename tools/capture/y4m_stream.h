// A YUV4MPEG2 stream: a header, then each frame as "FRAME\n" and its planar bytes (see
// frame_colour.h).
#pragma once

#include "tools/capture/capture_options.h"

#include <cstdint>
#include <string>
#include <vector>

// The stream header: size, frame rate, chroma (4:2:0 sited at the centre of each 2x2 block, or
// 4:4:4) and limited colour range.
std::string y4m_header(int width, int height, int fps, Chroma chroma);

// Writes one frame of the stream. False on a write error (errno tells which).
bool write_y4m_frame(int fd, const std::vector<std::uint8_t>& planar);
