#include "tools/soundtrack/voices.h"

#include <cmath>
#include <cstddef>

namespace synth {

// Harmonic n has amplitude sin(pi n duty) / n^power (with power 1, a band-limited pulse of that
// duty cycle; duty 0 leaves out the sine factor), softened above `corner` by
// 1 / (1 + (n / corner)^2).
Wavetable pulse_table(double duty, double corner, int harmonics, int power) {
    Wavetable table;
    table.samples.assign(table_size + 1, 0.0);
    for (int n = 1; n <= harmonics; ++n) {
        const double nd = n;
        const double shape = duty > 0.0 ? sine(pi * nd * duty) : 1.0;
        double falloff = 1.0;
        for (int p = 0; p < power; ++p) {
            falloff *= nd;
        }
        const double amplitude = shape / falloff / (1.0 + (nd / corner) * (nd / corner));
        for (int i = 0; i < table_size; ++i) {
            const double phase = 2.0 * pi * nd * i / table_size;
            table.samples[static_cast<std::size_t>(i)] += amplitude * sine(phase);
        }
    }
    double peak = 0.0;
    for (int i = 0; i < table_size; ++i) {
        peak = std::fmax(peak, std::fabs(table.samples[static_cast<std::size_t>(i)]));
    }
    for (int i = 0; i < table_size; ++i) {
        table.samples[static_cast<std::size_t>(i)] /= peak;
    }
    table.samples[table_size] = table.samples[0];
    return table;
}

double lookup(const Wavetable& table, double phase) {
    const double position = phase * table_size;
    const double whole = std::floor(position);
    const auto index = static_cast<std::size_t>(whole);
    const double fraction = position - whole;
    return table.samples[index] + (table.samples[index + 1] - table.samples[index]) * fraction;
}

Tables make_tables() {
    return {pulse_table(0.3, 14.0, 20, 1), pulse_table(0.46, 7.0, 20, 1),
            pulse_table(0.36, 9.0, 20, 1), pulse_table(0.0, 3.0, 8, 2),
            pulse_table(0.4, 12.0, 20, 1)};
}

void add_reed_note(Mix& mix, const Register& reg, long long start, long long gate, double pitch,
                   double level) {
    const long long attack = static_cast<long long>(reg.attack_s * rate);
    const long long release = static_cast<long long>(reg.release_s * rate);
    const double accent_decay = decay_per_frame(reg.accent_s);
    // Each reed starts at its own point of the cycle, so the reeds do not all strike in phase.
    double start_phase = 0.0;
    for (const Reed& reed : reg.reeds) {
        start_phase += 0.37;
        if (start_phase >= 1.0) {
            start_phase -= 1.0;
        }
        const double step =
            midi_frequency(pitch + 12.0 * reed.octave) * cents_ratio(reed.cents) / rate;
        const Pan pan = pan_gains(reed.pan);
        double phase = start_phase;
        double accent = reg.accent;
        for (long long i = 0; i < gate + release; ++i) {
            double envelope = smoothstep(static_cast<double>(i) / attack);
            if (i >= gate) {
                envelope *= 1.0 - smoothstep(static_cast<double>(i - gate) / release);
            }
            const double value = lookup(*reg.table, phase) * envelope * (1.0 + accent);
            add_frame(mix, start + i, value * level * reed.level, pan);
            accent *= accent_decay;
            phase += step;
            if (phase >= 1.0) {
                phase -= 1.0;
            }
        }
    }
}

void add_tuba_note(Mix& mix, const Tables& tables, long long start, long long gate, double pitch,
                   double level) {
    const long long attack = static_cast<long long>(0.012 * rate);
    const long long release = static_cast<long long>(0.07 * rate);
    const double step = midi_frequency(pitch) / rate;
    const double edge_decay = decay_per_frame(0.05);
    const double body_decay = decay_per_frame(0.6);
    const Pan pan = pan_gains(-0.12);
    double phase = 0.0;
    double edge = 0.7;
    double body = 1.0;
    for (long long i = 0; i < gate + release; ++i) {
        double envelope = smoothstep(static_cast<double>(i) / attack);
        if (i >= gate) {
            envelope *= 1.0 - smoothstep(static_cast<double>(i - gate) / release);
        }
        const double value =
            lookup(tables.tuba_body, phase) * body + lookup(tables.tuba_edge, phase) * edge;
        add_frame(mix, start + i, value * envelope * level, pan);
        edge *= edge_decay;
        body *= body_decay;
        phase += step;
        if (phase >= 1.0) {
            phase -= 1.0;
        }
    }
}

namespace {

// 1 until the last `release` frames of a sound `length` frames long, then a smooth fall to 0.
double fade_out(long long i, long long length, long long release) {
    return 1.0 -
           smoothstep(static_cast<double>(i - (length - release)) / static_cast<double>(release));
}

// How a drum hit of noise runs: its length, a smooth rise over `attack` frames at the start and
// a smooth fall over `release` frames at the end, and its place.
struct NoiseHit {
    long long length;
    long long attack;
    long long release;
    double pan;
};

// Adds one hit of the kit's noise, shaped frame by frame by `sound` (which takes the frame's
// noise and its index, keeps its filter's state and returns the frame's value) under the hit's
// rise and fall.
template <typename Sound>
void add_noise_hit(Mix& mix, long long start, double level, std::uint32_t& noise,
                   const NoiseHit& hit, Sound sound) {
    const Pan pan = pan_gains(hit.pan);
    for (long long i = 0; i < hit.length; ++i) {
        const double value = sound(next_noise(noise), i);
        const double envelope =
            smoothstep(static_cast<double>(i) / static_cast<double>(hit.attack)) *
            fade_out(i, hit.length, hit.release);
        add_frame(mix, start + i, value * envelope * level, pan);
    }
}

} // namespace

void add_kick(Mix& mix, long long start, double level) {
    const long long length = static_cast<long long>(0.3 * rate);
    const double sweep_decay = decay_per_frame(0.025);
    const double amplitude_decay = decay_per_frame(0.09);
    const Pan pan = pan_gains(0.0);
    double sweep = 1.0;
    double amplitude = 1.0;
    double phase = 0.0;
    for (long long i = 0; i < length; ++i) {
        const double fade = fade_out(i, length, 2000);
        add_frame(mix, start + i, sine(2.0 * pi * phase) * amplitude * fade * level, pan);
        phase += (48.0 + 82.0 * sweep) / rate;
        if (phase >= 1.0) {
            phase -= 1.0;
        }
        sweep *= sweep_decay;
        amplitude *= amplitude_decay;
    }
}

void add_snare(Mix& mix, long long start, double level, std::uint32_t& noise) {
    const double noise_decay = decay_per_frame(0.055);
    const double body_decay = decay_per_frame(0.03);
    // Chamberlin state-variable filter around 3 kHz.
    const double tune = 2.0 * sine(pi * 3000.0 / rate);
    const double damping = 1.1;
    double low = 0.0;
    double band = 0.0;
    double noise_level = 1.0;
    double body_level = 0.5;
    const NoiseHit hit{static_cast<long long>(0.22 * rate), 60, 1500, -0.25};
    add_noise_hit(mix, start, level, noise, hit, [&](double input, long long i) {
        const double high = input - low - damping * band;
        band += tune * high;
        low += tune * band;
        const double body = sine(2.0 * pi * 185.0 * static_cast<double>(i) / rate) * body_level;
        const double value = band * 0.6 * noise_level + body;
        noise_level *= noise_decay;
        body_level *= body_decay;
        return value;
    });
}

void add_hat(Mix& mix, long long start, double level, std::uint32_t& noise) {
    const double decay = decay_per_frame(0.018);
    const double smoothing = 1.0 - exponential(-2.0 * pi * 7000.0 / rate);
    double low = 0.0;
    double amplitude = 1.0;
    const NoiseHit hit{static_cast<long long>(0.09 * rate), 40, 800, 0.35};
    add_noise_hit(mix, start, level, noise, hit, [&](double input, long long) {
        low += (input - low) * smoothing;
        const double value = (input - low) * amplitude;
        amplitude *= decay;
        return value;
    });
}

} // namespace synth
