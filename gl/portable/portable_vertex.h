// One corner of a batched quad, as the portable renderer stores it in its vertex buffer.
#pragma once

struct PortableVertex {
    float x, y;      // window coordinates, origin at the bottom left, in pixels
    float order;     // the primitive's place in its batch: 0, 1, 2, ...
    float r, g, b;   // colour, clamped to 0..1
    float centre_x;  // round points: the point's window position ...
    float centre_y;  //
    float radius_sq; // ... and (size / 2)^2; negative for lines and square points
};

constexpr int portable_vertices_per_quad = 4;
constexpr int portable_indices_per_quad = 6;
