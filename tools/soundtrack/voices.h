// The soundtrack's instruments: wavetables built from sine harmonics, the accordion's reeds,
// the tuba and a light kit. Each voice adds one note or hit into the mix.
#pragma once

#include "tools/soundtrack/mixing.h"

#include <cstdint>
#include <vector>

namespace synth {

inline constexpr int table_size = 4096;

// One cycle built from sine harmonics, scaled to a peak of 1, with one extra entry for
// interpolation.
struct Wavetable {
    std::vector<double> samples;
};

Wavetable pulse_table(double duty, double corner, int harmonics, int power);

// The table's value at `phase` in [0, 1), interpolated.
double lookup(const Wavetable& table, double phase);

struct Tables {
    Wavetable musette;  // the melody's bright reeds (strain A)
    Wavetable clarinet; // the melody's mellow register (strain B)
    Wavetable chord;    // the left hand's chord reeds
    Wavetable tuba_body;
    Wavetable tuba_edge;
};

Tables make_tables();

// One reed of a register: its tuning against the written pitch, its place and its share.
struct Reed {
    double octave;
    double cents;
    double pan;
    double level;
};

struct Register {
    const Wavetable* table;
    std::vector<Reed> reeds;
    double attack_s;
    double release_s;
    double accent; // extra level at the onset, fading with `accent_s`
    double accent_s;
};

// Adds one held note: every reed from its own phase, a smooth attack, an onset accent, held for
// `gate` frames and released smoothly.
void add_reed_note(Mix& mix, const Register& reg, long long start, long long gate, double pitch,
                   double level);

// The tuba's "oom": a round body plus a brassy edge that fades quickly after the onset.
void add_tuba_note(Mix& mix, const Tables& tables, long long start, long long gate, double pitch,
                   double level);

// A soft kick: a sine falling from about 130 Hz to 48 Hz.
void add_kick(Mix& mix, long long start, double level);

// A brushed snare: band-passed noise over a short low body.
void add_snare(Mix& mix, long long start, double level, std::uint32_t& noise);

// A closed hi-hat tick: high-passed noise, very short.
void add_hat(Mix& mix, long long start, double level, std::uint32_t& noise);

} // namespace synth
