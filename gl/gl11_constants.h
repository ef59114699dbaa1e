// The OpenGL 1.1 values the seam needs where <GL/gl.h> cannot be included beside the OpenGL ES 3
// header: those the frame passes (the portable renderer reads them) and those the driver's own
// OpenGL 1.1 is asked about.
#pragma once

constexpr unsigned int gl11_points = 0x0000;
constexpr unsigned int gl11_lines = 0x0001;
constexpr unsigned int gl11_point_smooth = 0x0B10;
constexpr unsigned int gl11_point_size = 0x0B11;
constexpr unsigned int gl11_point_size_range = 0x0B12; // smooth (round) points
constexpr unsigned int gl11_color_buffer_bit = 0x4000;
constexpr unsigned int gl11_aliased_point_size_range = 0x846D; // square points (OpenGL 1.2)
// Which profile a context of OpenGL 3.2 or later runs (older ones know no profiles).
constexpr unsigned int gl_context_profile_mask = 0x9126;
constexpr unsigned int gl_context_core_profile_bit = 0x1;
