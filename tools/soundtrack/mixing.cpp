#include "tools/soundtrack/mixing.h"

#include <cmath>
#include <cstddef>

namespace synth {

namespace {

constexpr double ln2 = 0.6931471805599453;

} // namespace

// sin(x) for |x| up to a few hundred, from a Taylor series on [-pi/2, pi/2] (error below 1e-13).
double sine(double x) {
    const double turns = std::floor(x / (2.0 * pi) + 0.5);
    double r = x - turns * (2.0 * pi);
    if (r > pi / 2.0) {
        r = pi - r;
    } else if (r < -pi / 2.0) {
        r = -pi - r;
    }
    const double r2 = r * r;
    double term = r;
    double sum = r;
    for (int n = 1; n <= 9; ++n) {
        term *= -r2 / static_cast<double>((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

// e^x by halving the argument, a Taylor series and squaring back.
double exponential(double x) {
    int halvings = 0;
    while (x > 0.25 || x < -0.25) {
        x *= 0.5;
        ++halvings;
    }
    double term = 1.0;
    double sum = 1.0;
    for (int n = 1; n <= 12; ++n) {
        term *= x / n;
        sum += term;
    }
    for (; halvings > 0; --halvings) {
        sum *= sum;
    }
    return sum;
}

double midi_frequency(double pitch) {
    return 440.0 * exponential((pitch - 69.0) / 12.0 * ln2);
}

double cents_ratio(double cents) {
    return exponential(cents / 1200.0 * ln2);
}

double decay_per_frame(double seconds) {
    return exponential(-1.0 / (seconds * rate));
}

double smoothstep(double u) {
    if (u <= 0.0) {
        return 0.0;
    }
    if (u >= 1.0) {
        return 1.0;
    }
    return u * u * (3.0 - 2.0 * u);
}

double next_noise(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<double>(state) / 2147483648.0 - 1.0;
}

Mix silent_mix() {
    const auto n = static_cast<std::size_t>(frames);
    return {std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)};
}

Pan pan_gains(double position) {
    return {std::sqrt((1.0 - position) * 0.5), std::sqrt((1.0 + position) * 0.5)};
}

void add_frame(Mix& mix, long long frame, double value, Pan pan) {
    const auto index = static_cast<std::size_t>(frame % frames);
    mix.left[index] += value * pan.left;
    mix.right[index] += value * pan.right;
}

void add_room(Mix& mix) {
    struct Tap {
        double seconds;
        double gain;
        bool crossed;
    };
    static constexpr Tap left_taps[5] = {{0.0071, 0.2, true},
                                         {0.0137, 0.15, false},
                                         {0.0193, 0.12, true},
                                         {0.0299, 0.09, false},
                                         {0.0413, 0.06, true}};
    static constexpr Tap right_taps[5] = {{0.0083, 0.2, true},
                                          {0.0121, 0.15, false},
                                          {0.0217, 0.12, true},
                                          {0.0271, 0.09, false},
                                          {0.0379, 0.06, true}};
    const auto n = static_cast<std::size_t>(frames);
    Mix wet = silent_mix();
    for (int t = 0; t < 5; ++t) {
        const auto left_delay = static_cast<std::size_t>(left_taps[t].seconds * rate);
        const auto right_delay = static_cast<std::size_t>(right_taps[t].seconds * rate);
        const std::vector<double>& left_source = left_taps[t].crossed ? mix.right : mix.left;
        const std::vector<double>& right_source = right_taps[t].crossed ? mix.left : mix.right;
        for (std::size_t i = 0; i < n; ++i) {
            wet.left[i] += left_source[(i + n - left_delay) % n] * left_taps[t].gain;
            wet.right[i] += right_source[(i + n - right_delay) % n] * right_taps[t].gain;
        }
    }
    // Walls swallow the highs: a one-pole low-pass at 2.5 kHz, run over the loop twice so the
    // second pass starts from the state the loop's end leaves.
    const double smoothing = 1.0 - exponential(-2.0 * pi * 2500.0 / rate);
    double left_state = 0.0;
    double right_state = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < n; ++i) {
            left_state += (wet.left[i] - left_state) * smoothing;
            right_state += (wet.right[i] - right_state) * smoothing;
            if (pass == 1) {
                mix.left[i] += left_state;
                mix.right[i] += right_state;
            }
        }
    }
}

// Run over the loop twice, as the room's filter is: the seam sees the state the loop leaves.
void block_dc(std::vector<double>& channel) {
    const double pole = exponential(-2.0 * pi * 10.0 / rate);
    double previous_input = 0.0;
    double previous_output = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        for (double& sample : channel) {
            const double output = sample - previous_input + pole * previous_output;
            previous_input = sample;
            previous_output = output;
            if (pass == 1) {
                sample = output;
            }
        }
    }
}

std::vector<std::int16_t> mix_samples(const Mix& mix) {
    const auto n = static_cast<std::size_t>(frames);
    double peak = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        peak = std::fmax(peak, std::fmax(std::fabs(mix.left[i]), std::fabs(mix.right[i])));
    }
    const double scale = peak > 0.0 ? 0.84 * 32767.0 / peak : 0.0;
    std::vector<std::int16_t> samples(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        samples[2 * i] = static_cast<std::int16_t>(std::floor(mix.left[i] * scale + 0.5));
        samples[2 * i + 1] = static_cast<std::int16_t>(std::floor(mix.right[i] * scale + 0.5));
    }
    return samples;
}

} // namespace synth
