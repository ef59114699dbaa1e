#include "gl/gl11.h"
#include "scenes/angles.h"
#include "scenes/scenes.h"

#include <cmath>

namespace {

constexpr int points_per_ring = 180;

} // namespace

void draw_ring_stack(double t, float t_f) {
    glColor3f(static_cast<float>(std::sin(9 * t)), static_cast<float>(std::sin(7 * t)),
              static_cast<float>(std::sin(11 * t)));

    // The 2-degree circle is the same for every ring.
    double sin_theta[points_per_ring];
    double cos_theta[points_per_ring];
    fill_circle(points_per_ring, 2, sin_theta, cos_theta);

    for (float m = 1.0f; m < 9.0f; m += 1.0f) {
        const float psi = static_cast<float>(0.5 * static_cast<double>(t_f) * m);
        const double half_x = std::sin(static_cast<double>(psi));
        const double half_y = std::cos(static_cast<double>(psi));
        for (int k = 0; k < points_per_ring; ++k) {
            glBegin(GL_POINTS);
            glVertex2d(half_x * sin_theta[k], cos_theta[k] * half_y);
            glEnd();
        }
    }
}
