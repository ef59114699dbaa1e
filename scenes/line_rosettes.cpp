#include "gl/gl11.h"
#include "scenes/angles.h"
#include "scenes/scenes.h"

#include <cmath>

namespace {

// A quarter turn further along the fan: the angle of counter `k` + 45.
double quarter_turn_on(double k) {
    return (((k + 45) * 2) * std::numbers::pi) / 180;
}

} // namespace

void draw_line_rosettes(double t) {
    glColor3f(static_cast<float>(std::sin(9 * t)), static_cast<float>(std::sin(7 * t)),
              static_cast<float>(std::sin(11 * t)));
    const double c1 = std::cos(t / 2);
    const double c2 = std::sin(t / 2);

    // First fan: from the circle of radius 4 around (c1, 0) to the horizontal axis.
    for (float k = 0.0f; k < 180.0f; k += 1.0f) {
        const double theta = degree_step_angle(k, 2);
        glBegin(GL_LINES);
        glVertex2d(c1 + 4 * std::sin(theta), 4 * std::cos(theta));
        glVertex2d(c1 + 2 * std::sin(quarter_turn_on(k)), 0.0);
        glEnd();
    }
    // Second fan: from the circle of radius 2 around (c2, 0) to the vertical axis.
    for (float k = 0.0f; k < 180.0f; k += 1.0f) {
        const double theta = degree_step_angle(k, 2);
        glBegin(GL_LINES);
        glVertex2d(c2 + 2 * std::sin(theta), 2 * std::cos(theta));
        glVertex2d(0.0, 2 * std::cos(quarter_turn_on(k)));
        glEnd();
    }
}
