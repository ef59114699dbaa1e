// How a clock reading becomes the scene clock every frame is drawn at.
#pragma once

struct SceneClock {
    double t;  // seconds
    float t_f; // the same reading rounded to single precision
};

// `elapsed_ms` is a whole number of milliseconds since the music started. Both copies are
// rounded from the one double quotient, never one from the other.
inline SceneClock scene_clock_from_ms(long long elapsed_ms) {
    const double q = static_cast<double>(elapsed_ms) / static_cast<double>(1000.0f);
    return SceneClock{q, static_cast<float>(q)};
}

// The show is over on the first reading whose single-precision clock is past 61 s.
inline bool show_is_over(float t_f) {
    return t_f > 61.0f;
}
