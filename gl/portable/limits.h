// Every tunable limit of the portable renderer in one place.
#pragma once

#include <cstddef>

// Round points are drawn at most this many pixels across, as Mesa's software renderer draws
// them, so that the live show, the capture and the web show agree at the final swell.
constexpr float portable_point_size_limit = 255.0f;

namespace portable {

// OpenGL 1.1 promises a modelview stack at least 32 deep; deeper pushes are refused, as there.
constexpr int matrix_stack_depth = 32;

// Round points from this radius on are worth culling their hidden parts (see cull.h); smaller
// ones go as point sprites where the context draws sprites that large.
constexpr float cull_radius = 8.0f;
// Culling cuts a round point into bands of this many rows.
constexpr int cull_band_rows = 8;
// Slack against rounding between culling and the shader, on (distance)^2 and on distance.
constexpr float cull_slack_sq = 0.02f;
constexpr float cull_slack_sq_per_radius_sq = 2.0e-4f;
constexpr float cull_slack = 0.01f;

// The drawable must have at least this many depth bits: every primitive of a batch gets a depth
// value of its own, with a margin of depth_margin_bits, and no more than max_depth_bits are used.
constexpr int min_depth_bits = 16;
constexpr int max_depth_bits = 26;
constexpr int depth_margin_bits = 2;

// The index buffer starts with room for this many quads and doubles as needed.
constexpr std::size_t first_index_capacity = 1024;

// Room for a shader's compile or link log.
constexpr std::size_t shader_log_size = 2048;

} // namespace portable
