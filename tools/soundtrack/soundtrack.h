// The show's own music: a short polka rendered from code into a seamless loop.
//
// The rendering uses only IEEE double arithmetic, square roots and the sine and exponential
// approximations in mixing.cpp (no libm transcendental functions, no clock, no outside
// seed), so the same source gives the same bytes on every machine that builds it with the
// project's flags (SSE arithmetic, no contraction, no fast-math).
#pragma once

#include <cstdint>
#include <vector>

constexpr int soundtrack_rate = 44100;
constexpr int soundtrack_channels = 2;
constexpr int soundtrack_bits = 16;
constexpr int soundtrack_beats_per_minute = 126;
// 21,000 frames: at 126 beats per minute a beat is a whole number of frames, so every note
// starts on an exact frame and the loop length is exact.
constexpr int soundtrack_frames_per_beat = soundtrack_rate * 60 / soundtrack_beats_per_minute;
constexpr int soundtrack_beats_per_bar = 2;
constexpr int soundtrack_bars = 32;
// 1,344,000 frames, 30.476 s: the piece plays twice in the 61-second show.
constexpr int soundtrack_frames =
    soundtrack_frames_per_beat * soundtrack_beats_per_bar * soundtrack_bars;

// One pass of the loop as interleaved left/right 16-bit samples. Played round and round, the
// last frame runs straight into the first: the tails of the last bar ring on at the start.
// Empty only if the built-in score is malformed.
std::vector<std::int16_t> render_soundtrack();
