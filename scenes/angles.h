// Angles as the scenes form them: degree steps of a loop counter, with std::numbers::pi (the
// double 3.141592653589793) as pi.
#pragma once

#include <cmath>
#include <numbers>

// Counter `k` turned into radians in steps of `m` degrees, formed as ((k * m) * pi) / 180.
inline double degree_step_angle(double k, double m) {
    return ((k * m) * std::numbers::pi) / 180.0;
}

// Sine and cosine of the angles of counters 0.0, 1.0, ... (`count` of them) in steps of `m`
// degrees: one full turn, the same for every ring a scene draws.
inline void fill_circle(int count, double m, double* sines, double* cosines) {
    int index = 0;
    for (float k = 0.0f; index < count; k += 1.0f, ++index) {
        const double theta = degree_step_angle(k, m);
        sines[index] = std::sin(theta);
        cosines[index] = std::cos(theta);
    }
}
