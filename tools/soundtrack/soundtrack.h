// The show's own music: a short polka rendered from code into a seamless loop.
//
// The rendering uses only IEEE double arithmetic, square roots and the sine and exponential
// approximations in mixing.cpp (no libm transcendental functions, no clock, no outside
// seed), so the same source gives the same bytes on every machine that builds it with the
// project's flags (SSE arithmetic, no contraction, no fast-math).
#pragma once

#include "tools/soundtrack/soundtrack_format.h"

#include <cstdint>
#include <vector>

// One pass of the loop as interleaved left/right 16-bit samples. Played round and round, the
// last frame runs straight into the first: the tails of the last bar ring on at the start.
// Empty only if the built-in score is malformed.
std::vector<std::int16_t> render_soundtrack();
