// The soundtrack's arithmetic and its mix: deterministic sine and exponential approximations
// (no libm transcendental functions, so every machine renders the same bytes), and two circular
// channels one loop long that every voice is added into, a small room and the final 16 bits.
#pragma once

#include "tools/soundtrack/soundtrack_format.h"

#include <cstdint>
#include <numbers>
#include <vector>

namespace synth {

using std::numbers::pi;
inline constexpr double rate = soundtrack_rate;
inline constexpr long long frames = soundtrack_frames;

// sin(x) for |x| up to a few hundred.
double sine(double x);
// e^x.
double exponential(double x);
double midi_frequency(double pitch);
double cents_ratio(double cents);
// Per-frame factor of an exponential decay with time constant `seconds`.
double decay_per_frame(double seconds);
// 0 below 0, 1 above 1, a smooth S between.
double smoothstep(double u);
// xorshift32: the noise of the drums, from a fixed seed, from -1 to 1.
double next_noise(std::uint32_t& state);

// One loop of each channel, silent at first.
struct Mix {
    std::vector<double> left;
    std::vector<double> right;
};

Mix silent_mix();

// Gains for a position from -1 (left) to 1 (right), constant power.
struct Pan {
    double left;
    double right;
};

Pan pan_gains(double position);

// Adds `value` at `frame`, taken round the loop.
void add_frame(Mix& mix, long long frame, double value, Pan pan);

// A few early reflections of a small wooden room, crossed between the sides, no reverb tail.
void add_room(Mix& mix);

// Removes any DC offset with a gentle high-pass (about 10 Hz).
void block_dc(std::vector<double>& channel);

// The mix scaled to a peak of -1.5 dBFS, as interleaved left/right 16-bit samples.
std::vector<std::int16_t> mix_samples(const Mix& mix);

} // namespace synth
