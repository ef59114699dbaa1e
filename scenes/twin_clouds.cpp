#include "gl/gl11.h"
#include "scenes/angles.h"
#include "scenes/scenes.h"

#include <cmath>

namespace {

constexpr int ring_count = 50;
constexpr int points_per_ring = 90;

// One disc: 50 rings of 90 points around (centre_x, 0), each point its own colour and batch.
void draw_disc(double centre_x, float green, float blue, const double* red, const double* radius,
               const double* sin_theta, const double* cos_theta) {
    for (int n = 0; n < ring_count; ++n) {
        const float ring_red = static_cast<float>(red[n]);
        const double r = 2 * radius[n];
        for (int k = 0; k < points_per_ring; ++k) {
            glBegin(GL_POINTS);
            glColor3f(ring_red, green, blue);
            glVertex2d(centre_x + r * sin_theta[k], r * cos_theta[k]);
            glEnd();
        }
    }
}

} // namespace

void draw_twin_clouds(double t, float t_f) {
    const double half_t = t / 2;
    const float phase = static_cast<float>(0.5 * static_cast<double>(t_f));

    // Per ring: the red channel cos n and the radius factor sin(phase + n / 40).
    double red[ring_count];
    double radius[ring_count];
    {
        int index = 0;
        for (float n = 0.0f; n < 50.0f; n += 1.0f, ++index) {
            red[index] = std::cos(static_cast<double>(n));
            radius[index] = std::sin(static_cast<double>(phase) + static_cast<double>(n) / 40);
        }
    }
    // The 4-degree circle is the same for every ring of both discs.
    double sin_theta[points_per_ring];
    double cos_theta[points_per_ring];
    fill_circle(points_per_ring, 4, sin_theta, cos_theta);

    draw_disc(std::sin(half_t), 1.0f, 0.0f, red, radius, sin_theta, cos_theta);
    draw_disc(std::cos(half_t), 0.0f, 1.0f, red, radius, sin_theta, cos_theta);
}
