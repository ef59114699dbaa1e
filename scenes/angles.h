// Angles as the scenes form them: the double pi and degree steps of a loop counter.
#pragma once

constexpr double scene_pi = 3.141592653589793;

// Counter `k` turned into radians in steps of `m` degrees, formed as ((k * m) * pi) / 180.
inline double degree_step_angle(double k, double m) {
    return ((k * m) * scene_pi) / 180.0;
}
